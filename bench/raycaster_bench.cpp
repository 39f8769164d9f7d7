// Frames of the ray caster, fast against plain, at each of the four picture sizes and from several
// poses, the fast one on every vector target this processor runs. They are named BM_<Pose>/Plain/<width>
// and BM_<Pose>/<target>/<width> so that bench/run-benchmarks can set them side by side. Pixels go to a surface of the window's own format
// (32 bits, R 0x00FF0000, G 0x0000FF00, B 0x000000FF).
#include "camera/camera.h"
#include "camera/vec3.h"
#include "render/raycaster.h"
#include "shell/screen.h"
#include "shell/vector_targets.h"
#include "tests/reference/plain_raycaster.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

Camera turned(Vec3 position, double yaw, double pitch) {
    Camera c = startCamera;
    c.position = position;
    const Vec3 pitchAxis = c.right;
    c.direction = rotateAroundAxis(c.direction, pitchAxis, pitch);
    c.up = rotateAroundAxis(c.up, pitchAxis, pitch);
    c.right = rotateAroundAxis(c.right, pitchAxis, pitch);
    c.direction = rotateZ(c.direction, yaw);
    c.up = rotateZ(c.up, yaw);
    c.right = rotateZ(c.right, yaw);
    return c;
}

void startWorld() {
    buildStartWorld();
}

// 30 % of the interior Live (fixed seed), the eye's cell left Empty.
void denseWorld() {
    buildStartWorld();
    std::mt19937_64 random(30);
    std::bernoulli_distribution live(0.3);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) grid[x][y][z].state = live(random) ? Live : Empty;
    grid[32][32][32].state = Empty;
}

// share of the interior Live at random (fixed seed), the rest Empty.
void randomWorld(double share, unsigned seed) {
    buildStartWorld();
    std::mt19937_64 random(seed);
    std::bernoulli_distribution live(share);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) grid[x][y][z].state = live(random) ? Live : Empty;
}

void onePercent() { randomWorld(0.01, 1); }
void sparseWorld() { randomWorld(0.02, 2); }
void fivePercent() { randomWorld(0.05, 5); }
void tenPercent() { randomWorld(0.10, 11); }

// What the default rules leave of 10 % live cells after 20 generations: clumps and scattered cells.
void churnedWorld() {
    randomWorld(0.10, 10);
    setDefaultRules();
    stepGenerations(20);
}

// A sparse world a user builds with the ready clouds rules (rules/clouds.ini): i makes every interior
// cell Live, s runs fifty generations, in which cells die along the edges and in patches next to the
// walls, and i again leaves those Live: about 1.6 % of the interior, all in the two layers next to the
// walls.
void cloudsHollowed() {
    buildStartWorld();
    const std::int32_t survival[] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};
    const std::int32_t birth[] = {13, 14, 17, 18, 19};
    std::fill(std::begin(rules.survival), std::end(rules.survival), noCount);
    std::fill(std::begin(rules.birth), std::end(rules.birth), noCount);
    std::copy(std::begin(survival), std::end(survival), rules.survival);
    std::copy(std::begin(birth), std::end(birth), rules.birth);
    invertInterior();
    stepGenerations(50);
    invertInterior();
    setDefaultRules();
}

// A camera looking along direction (any length), rolled by roll radians about it: right is level
// (perpendicular to z) before the roll, or along +y when looking straight up or down.
Camera looking(Vec3 position, Vec3 direction, double roll) {
    Camera c = startCamera;
    c.position = position;
    c.direction = normalize(direction);
    const Vec3& d = c.direction;
    Vec3 right{-d.y, d.x, 0};  // z x d
    right = length(right) == 0 ? Vec3{0, 1, 0} : normalize(right);
    const Vec3 up{d.y * right.z - d.z * right.y, d.z * right.x - d.x * right.z, d.x * right.y - d.y * right.x};  // d x right
    c.right = rotateAroundAxis(right, d, roll);
    c.up = rotateAroundAxis(scale(up, 0.75), d, roll);
    return c;
}

struct Pose {
    const char* name;
    void (*world)();
    Camera camera;
    bool changing;  // one cell flips before every frame, as while the automaton runs
};

const Pose poses[] = {
    {"Start", startWorld, startCamera, false},
    // Two cells from the captioned wall, looking at it.
    {"NearWall", startWorld, turned({61.5, 20.25, 40.75}, 0.2, 0.1), false},
    // From near a corner along the cube's diagonal: the longest walks.
    {"Diagonal", startWorld, turned({3.5, 3.5, 3.5}, -pi / 4, 0.6154797086703873), false},
    {"Dense", denseWorld, startCamera, false},
    // The start view of a world that changes before every frame: the fast renderer builds its view of
    // the free space again each time.
    {"ChangingWorld", startWorld, startCamera, true},
    // The slowest poses the sweep (BM_Sweep, below) found: sparse worlds seen across the cube from a
    // wall, where rays pass fifty to ninety cells among scattered solid ones.
    {"SparseAcross", onePercent, looking({1.02, 62.98, 32.5}, {1, -1, 0}, 0), false},
    {"SparseFromTop", sparseWorld, looking({51.5, 12.5, 62.98}, {-1, 1, -1}, 0), false},
    {"SparseFromFloor", onePercent, looking({51.5, 12.5, 1.02}, {-1, 1, 1}, 0), false},
    // The slowest pose the sweep found in the sparse world a user builds with a ready rule file.
    {"HollowedClouds", cloudsHollowed, looking({12.5, 12.5, 62.98}, {1, 1, -1}, 0), false},
    // The slowest start-world pose the sweep found, the portable walk's slowest in one run: from next to
    // a wall, near the ceiling, the rays look again and again in small free boxes (measured with AVX2:
    // five rounds of looks a tile, against one from the start camera).
    {"StartAlongWall", startWorld, looking({12.5, 62.98, 51.5}, {1, -1, 0}, 0), false},
};

void prepareScreen() {
    if (screen != nullptr) return;
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, screenWidth, screenHeight, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    if (screen == nullptr) std::abort();
}

template <void (*render)()>
void frame(benchmark::State& state, const Pose* pose, std::int64_t target) {
    prepareScreen();
    if (target != 0 && !restrictVectorTarget(target)) {
        state.SkipWithError("target not runnable here");
        return;
    }
    pose->world();
    renderWidth = static_cast<double>(state.range(0));
    renderHeight = renderWidth * 3 / 4;
    hitFace = 0;
    for (auto _ : state) {
        if (pose->changing) grid[10][50][20].state = grid[10][50][20].state == Live ? Empty : Live;
        camera = pose->camera;
        render();
        benchmark::ClobberMemory();
    }
    state.counters["rays"] = benchmark::Counter(renderWidth * renderHeight, benchmark::Counter::kIsIterationInvariantRate);
    restrictVectorTarget(0);
}

// The pose sweep: eyes on a grid over the whole cube (corners, edges, faces, centre), looking along
// the axes, the face and the space diagonals (the space diagonals also rolled), in worlds from empty
// to dense. Every pose is ranked by a 100 x 75 frame on the target measured; the slowest few are
// timed again at 640 x 480 and the slowest of those is the target's BM_Sweep pose. Set
// CELLVANE_SWEEP_SHOW=n to have the n slowest ranked poses of each target printed with their times,
// and CELLVANE_SWEEP_WORLD=text to sweep only the worlds whose names hold text.
struct SweepWorld {
    const char* name;
    void (*build)();
};


const SweepWorld sweepWorlds[] = {
    {"start", startWorld},          {"1 %", onePercent},     {"2 %", sparseWorld}, {"5 %", fivePercent},
    {"10 %", tenPercent},           {"30 %", denseWorld},    {"churned", churnedWorld}, {"clouds i d i", cloudsHollowed},
};

struct SweepPose {
    int world;  // index into sweepWorlds
    Vec3 eye;
    Vec3 direction;
    double roll;
    double ms = 0;  // the ranking frame, then the full-size one
};

std::vector<SweepPose> sweepPoses() {
    std::vector<SweepPose> poses;
    const double at[] = {1.02, 12.5, 32.5, 51.5, 62.98};
    const char* only = std::getenv("CELLVANE_SWEEP_WORLD");
    for (int w = 0; w < static_cast<int>(std::size(sweepWorlds)); ++w) {
        if (only != nullptr && std::strstr(sweepWorlds[w].name, only) == nullptr) continue;
        for (const double x : at)
            for (const double y : at)
                for (const double z : at)
                    for (int a = -1; a <= 1; ++a)
                        for (int b = -1; b <= 1; ++b)
                            for (int c = -1; c <= 1; ++c) {
                                if (a == 0 && b == 0 && c == 0) continue;
                                const Vec3 d{double(a), double(b), double(c)};
                                poses.push_back({w, {x, y, z}, d, 0});
                                if (a != 0 && b != 0 && c != 0) poses.push_back({w, {x, y, z}, d, 0.4});
                            }
    }
    return poses;
}

CellGrid sweepGrids[std::size(sweepWorlds)];

void buildSweepWorlds() {
    static bool built = false;
    if (built) return;
    for (size_t w = 0; w < std::size(sweepWorlds); ++w) {
        sweepWorlds[w].build();
        std::memcpy(&sweepGrids[w], &grid, sizeof grid);
    }
    built = true;
}

int loadedWorld = -1;  // the sweep world in grid, -1 when grid may hold anything else

// The processor time this thread has used, in milliseconds: on a machine shared with other work it
// ranks poses far more steadily than the clock on the wall.
double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Milliseconds of processor time of the fastest of `frames` frames of pose at the given width.
template <void (*render)()>
double timeFrame(const SweepPose& pose, int width, int frames) {
    if (pose.world != loadedWorld) std::memcpy(&grid, &sweepGrids[pose.world], sizeof grid);
    loadedWorld = pose.world;
    renderWidth = width;
    renderHeight = renderWidth * 3 / 4;
    double best = INFINITY;
    for (int f = 0; f < frames; ++f) {
        camera = looking(pose.eye, pose.direction, pose.roll);
        const double begin = threadMilliseconds();
        render();
        best = std::min(best, threadMilliseconds() - begin);
    }
    return best;
}

std::string describe(const SweepPose& pose) {
    char text[160];
    std::snprintf(text, sizeof text, "%s world, eye (%.2f, %.2f, %.2f), looking (%g, %g, %g)%s", sweepWorlds[pose.world].name,
                  pose.eye.x, pose.eye.y, pose.eye.z, pose.direction.x, pose.direction.y, pose.direction.z,
                  pose.roll != 0 ? ", rolled" : "");
    return text;
}

// The slowest pose of the sweep on the current target (found once per target).
const SweepPose& slowestPose(std::int64_t target) {
    static std::map<std::int64_t, SweepPose> found;
    if (const auto it = found.find(target); it != found.end()) return it->second;
    prepareScreen();
    buildSweepWorlds();
    std::vector<SweepPose> poses = sweepPoses();
    loadedWorld = -1;
    // The faster of two frames, so that a moment of other work on the machine does not promote a pose.
    for (SweepPose& pose : poses) pose.ms = timeFrame<renderFrame>(pose, 100, 2);
    std::sort(poses.begin(), poses.end(), [](const SweepPose& a, const SweepPose& b) { return a.ms > b.ms; });
    const char* show = std::getenv("CELLVANE_SWEEP_SHOW");
    const size_t timed = std::max<size_t>(16, show != nullptr ? std::strtoul(show, nullptr, 10) : 0);
    poses.resize(std::min(poses.size(), timed));
    for (SweepPose& pose : poses) pose.ms = timeFrame<renderFrame>(pose, 640, 3);
    std::stable_sort(poses.begin(), poses.end(), [](const SweepPose& a, const SweepPose& b) { return a.ms > b.ms; });
    if (show != nullptr)
        for (const SweepPose& pose : poses)
            std::fprintf(stderr, "sweep %s: %7.2f ms at 640 x 480: %s\n", vectorTargetName(activeVectorTarget()), pose.ms,
                         describe(pose).c_str());
    return found[target] = poses.front();
}

// BM_Sweep/<target>/640 times the slowest pose the sweep finds on that target; BM_Sweep/Plain/640
// the plain walk at the pose found for the best target.
void sweepFrame(benchmark::State& state, std::int64_t target) {
    prepareScreen();
    const std::int64_t ranked = target != 0 ? target : processorVectorTargets() & -processorVectorTargets();
    if (!restrictVectorTarget(ranked)) {
        state.SkipWithError("target not runnable here");
        return;
    }
    const SweepPose pose = slowestPose(ranked);
    loadedWorld = -1;
    if (target == 0) restrictVectorTarget(0);
    std::memcpy(&grid, &sweepGrids[pose.world], sizeof grid);
    renderWidth = static_cast<double>(state.range(0));
    renderHeight = renderWidth * 3 / 4;
    hitFace = 0;
    for (auto _ : state) {
        camera = looking(pose.eye, pose.direction, pose.roll);
        if (target == 0)
            plainRenderFrame();
        else
            renderFrame();
        benchmark::ClobberMemory();
    }
    state.SetLabel(describe(pose));
    restrictVectorTarget(0);
}

// Registered side by side, plain then every target at each size, so that those compared run close
// together in time on a shared machine.
[[maybe_unused]] const bool registered = [] {
    std::vector<std::int64_t> targets;
    for (std::int64_t bits = processorVectorTargets(); bits != 0; bits &= bits - 1) targets.push_back(bits & -bits);
    for (const Pose& pose : poses)
        for (const int width : {100, 200, 320, 640}) {
            const std::string name = std::string("BM_") + pose.name + "/";
            benchmark::RegisterBenchmark((name + "Plain").c_str(), frame<plainRenderFrame>, &pose, 0)
                ->Arg(width)
                ->Unit(benchmark::kMicrosecond)
                ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
            for (const std::int64_t target : targets) {
                auto* b = benchmark::RegisterBenchmark((name + vectorTargetName(target)).c_str(), frame<renderFrame>, &pose, target);
                b->Arg(width)->Unit(benchmark::kMicrosecond);
                // With repetitions, the fastest run is the one least disturbed by other work.
                b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
            }
        }
    benchmark::RegisterBenchmark("BM_Sweep/Plain", sweepFrame, 0)->Arg(640)->Unit(benchmark::kMillisecond);
    for (const std::int64_t target : targets)
        benchmark::RegisterBenchmark((std::string("BM_Sweep/") + vectorTargetName(target)).c_str(), sweepFrame, target)
            ->Arg(640)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
