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
#include "world/grid.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
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
    return true;
}();

}  // namespace
