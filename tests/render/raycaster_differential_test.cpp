// The fast renderer against the plain one, bit for bit: the whole window surface, hitFace and the
// nudged camera position, over seeded random poses and worlds. Each case runs the plain walk and the
// fast walk on every vector target this processor runs.
#include "camera/camera.h"
#include "camera/vec3.h"
#include "render/ray_walk.h"
#include "render/raycaster.h"
#include "shell/screen.h"
#include "tests/reference/plain_raycaster.h"
#include "shell/vector_targets.h"
#include "tests/support/program_state.h"
#include "tests/support/vec3_checks.h"
#include "tests/support/vector_targets.h"
#include "world/grid.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

struct PictureSize {
    double w, h;
};
constexpr PictureSize pictureSizes[] = {{100, 75}, {200, 150}, {320, 240}, {640, 480}};

struct Outcome {
    std::vector<unsigned char> surface;
    int hitFace;
    Vec3 position;
};

// Fills the surface with a pattern no picture has, so that a pixel written by one renderer and not
// by the other shows.
void scribble() {
    auto* bytes = static_cast<unsigned char*>(screen->pixels);
    for (int i = 0; i < screen->h * screen->pitch; ++i) bytes[i] = static_cast<unsigned char>(0xA5 ^ (i * 7));
}

template <typename Render>
Outcome run(Render render, const Camera& pose, int faceBefore) {
    camera = pose;
    hitFace = faceBefore;
    scribble();
    render();
    const auto* bytes = static_cast<const unsigned char*>(screen->pixels);
    return {std::vector<unsigned char>(bytes, bytes + screen->h * screen->pitch), hitFace, camera.position};
}

// The first differing pixel, for the failure message.
std::string firstDifference(const Outcome& expected, const Outcome& actual) {
    for (std::size_t i = 0; i < expected.surface.size(); ++i)
        if (expected.surface[i] != actual.surface[i]) {
            const int row = static_cast<int>(i) / screen->pitch;
            const int column = static_cast<int>(i) % screen->pitch / screen->format->BytesPerPixel;
            return "pixel (" + std::to_string(column) + ", " + std::to_string(row) + ")";
        }
    return "none";
}

void expectSame(const Outcome& plain, const Outcome& fast, const char* which) {
    SCOPED_TRACE(which);
    EXPECT_TRUE(plain.surface == fast.surface) << "first difference at " << firstDifference(plain, fast);
    EXPECT_EQ(plain.hitFace, fast.hitFace);
    EXPECT_TRUE(sameBits(plain.position, fast.position))
        << "plain (" << plain.position.x << ", " << plain.position.y << ", " << plain.position.z << "), fast ("
        << fast.position.x << ", " << fast.position.y << ", " << fast.position.z << ")";
}

// Draws one frame from pose with the plain renderer and with the fast one on every vector target, all
// from the same state, and compares them; with fastFrames 2 each target draws it twice, and
// beforeEachTarget may change the world before a target's frames. Leaves the program as the plain
// renderer left it, so that frames can follow one another.
void compareFrame(const Camera& pose, int faceBefore, PictureSize size, int fastFrames = 1,
                  const std::function<void()>& beforeEachTarget = {}) {
    renderWidth = size.w;
    renderHeight = size.h;
    SCOPED_TRACE(testing::Message() << "picture " << size.w << " x " << size.h << ", eye (" << pose.position.x << ", "
                                    << pose.position.y << ", " << pose.position.z << "), hitFace before " << faceBefore);
    for (const std::int64_t target : runnableVectorTargets()) {
        ASSERT_TRUE(restrictVectorTarget(target));
        ASSERT_EQ(walkPictureTarget(), target) << "the walk runs another target than " << vectorTargetName(target);
        if (beforeEachTarget) beforeEachTarget();
        for (int n = 0; n < fastFrames; ++n) {
            SCOPED_TRACE(testing::Message() << "frame " << n + 1 << " of " << fastFrames);
            const Outcome fast = run(renderFrame, pose, faceBefore);
            const Outcome plain = run(plainRenderFrame, pose, faceBefore);
            expectSame(plain, fast, vectorTargetName(target));
        }
    }
    restrictVectorTarget(0);
}

// A camera turned the way the controls turn it: pitch about right, yaw about z, roll about direction.
Camera turned(Vec3 position, double yaw, double pitch, double rollAngle) {
    Camera c = startCamera;
    c.position = position;
    const Vec3 pitchAxis = c.right;
    c.direction = rotateAroundAxis(c.direction, pitchAxis, pitch);
    c.up = rotateAroundAxis(c.up, pitchAxis, pitch);
    c.right = rotateAroundAxis(c.right, pitchAxis, pitch);
    c.direction = rotateZ(c.direction, yaw);
    c.up = rotateZ(c.up, yaw);
    c.right = rotateZ(c.right, yaw);
    const Vec3 rollAxis = c.direction;
    c.direction = rotateAroundAxis(c.direction, rollAxis, rollAngle);
    c.up = rotateAroundAxis(c.up, rollAxis, rollAngle);
    c.right = rotateAroundAxis(c.right, rollAxis, rollAngle);
    return c;
}

// A coordinate inside the interior: sometimes whole (to be nudged), sometimes next to a wall or on
// either side of a cell boundary, otherwise anywhere.
double interiorCoordinate(std::mt19937_64& random) {
    std::uniform_real_distribution<double> anywhere(1.0, 63.0);
    switch (random() % 6) {
    case 0: return static_cast<double>(1 + random() % 62);
    case 1: return 1.0 + static_cast<double>(random() % 1000) / 1000.0;     // next to the low wall
    case 2: return 62.0 + static_cast<double>(random() % 1000) / 1000.0;    // next to the high wall
    case 3: return std::nextafter(static_cast<double>(2 + random() % 60), 0.0);  // just below a boundary
    default: return anywhere(random);
    }
}

Camera randomPose(std::mt19937_64& random) {
    std::uniform_real_distribution<double> angle(-pi, pi);
    const Vec3 position{interiorCoordinate(random), interiorCoordinate(random), interiorCoordinate(random)};
    switch (random() % 5) {
    case 0: return turned(position, 0, 0, 0);  // the start orientation: many zero components
    case 1: {
        // Whole multiples of 45 degrees: diagonals and exact ties between axes.
        const double quarter = pi / 4;
        return turned(position, quarter * static_cast<double>(random() % 8), quarter * static_cast<double>(random() % 3), 0);
    }
    default: return turned(position, angle(random), angle(random) / 2, angle(random));
    }
}

// Fills each interior cell with Live at the given share, from a fixed seed; the shell stays.
void fillInterior(double liveShare, std::uint64_t seed) {
    resetWorld();
    std::mt19937_64 random(seed);
    std::bernoulli_distribution live(liveShare);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z)
                if (live(random)) grid[x][y][z].state = Live;
}

// The parts of the last frame's rays that the clearance is worked out from (after a frame, which
// nudges the camera and brings the free-space view up to date).
FrameRays clearanceInputs() {
    const RenderRect rect = renderRect();
    FrameRays rays{};
    rays.width = rect.w;
    rays.height = rect.h;
    rays.position = camera.position;
    rays.right = camera.right;
    rays.up = camera.up;
    rays.direction = camera.direction;
    for (int a = 0; a < 3; ++a) {
        const double p = a == 0 ? camera.position.x : a == 1 ? camera.position.y : camera.position.z;
        rays.towardLower[a] = p - std::floor(p);
        rays.towardUpper[a] = std::ceil(p) - p;
        rays.eyeCell[a] = cellIndexOf(p);
    }
    return rays;
}

class RaycasterDifferential : public testing::Test {
protected:
    void SetUp() override {
        openTestScreen();
        resetProgramState();
    }
    void TearDown() override {
        restrictVectorTarget(0);
        resetProgramState();
        reportVectorTargets(testing::UnitTest::GetInstance()->current_test_info()->name());
    }
};

TEST_F(RaycasterDifferential, RandomPosesInTheStartWorldAtEverySize) {
    compareFrame(startCamera, 0, pictureSizes[0]);
    compareFrame(startCamera, 0, pictureSizes[3]);
    std::mt19937_64 random(20261207);
    const int casesPerSize[] = {60, 24, 10, 4};
    for (int s = 0; s < 4; ++s)
        for (int n = 0; n < randomCases(casesPerSize[s]); ++n) compareFrame(randomPose(random), static_cast<int>(random() % 4), pictureSizes[s]);
}

TEST_F(RaycasterDifferential, WorldsOfSeveralDensities) {
    std::mt19937_64 random(7);
    for (const double share : {0.0, 0.01, 0.3, 0.7, 1.0}) {
        SCOPED_TRACE(testing::Message() << "live share " << share);
        fillInterior(share, static_cast<std::uint64_t>(share * 1000) + 1);
        for (int n = 0; n < randomCases(12); ++n) compareFrame(randomPose(random), static_cast<int>(random() % 4), pictureSizes[n % 3]);
        compareFrame(randomPose(random), 0, pictureSizes[3]);
        // Which way the walks took: none from the middle of the empty cube, the pixels' clearances in
        // the sparse world, and in the crowded ones (more than a sixth solid) two lanes walk rays one
        // at a time.
        camera = startCamera;
        renderFrame();
        const Clearance found = findClearance(clearanceInputs());
        EXPECT_EQ(found, share == 0 ? Clearance::none : share < 0.1 ? Clearance::perPixel : Clearance::crowded);
    }
}

// Frames one after another, with hitFace and the nudged position carried from each to the next, and
// the grid changed between frames the way the keys and the automaton change it.
TEST_F(RaycasterDifferential, FramesInARowWithTheWorldChangingBetweenThem) {
    std::mt19937_64 random(99);
    fillInterior(0.02, 5);
    Camera pose = turned({20, 30, 31.5}, 0.3, -0.2, 0.1);
    int face = 0;
    for (int frame = 0; frame < randomCases(40); ++frame) {
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        compareFrame(pose, face, pictureSizes[frame % 2]);
        face = hitFace;
        pose = camera;
        // Flip a few cells, some right in front of the eye, and move on.
        for (int k = 0; k < 20; ++k) {
            const int x = 1 + static_cast<int>(random() % 62), y = 1 + static_cast<int>(random() % 62), z = 1 + static_cast<int>(random() % 62);
            grid[x][y][z].state = grid[x][y][z].state == Live ? Empty : Live;
        }
        const int ahead = std::min(62, static_cast<int>(pose.position.x) + 2);
        Cell& front = grid[ahead][static_cast<int>(pose.position.y)][static_cast<int>(pose.position.z)];
        front.state = front.state == Live ? Empty : Live;
        pose.position.x += 0.25;
        if (frame % 5 == 4) pose.position.y = std::floor(pose.position.y) + 1;  // whole again
    }
}

// The walks read the cube table in a frame that finds the world changed, and the tables of the rays'
// octants in one that finds it as it was; those are built when first needed and go out of date with
// any change. In a sparse world seen toward every octant, each target draws every frame twice, first
// after a change (a corner cell of the interior flips before each target's frames), then with the
// world standing still; cells flip right next to the eye and a few steps ahead of it between frames.
TEST_F(RaycasterDifferential, CubeAndOctantTablesAsTheWorldChangesAndStandsStill) {
    std::mt19937_64 random(17);
    fillInterior(0.02, 9);
    int face = 0;
    for (int octant = 0; octant < octantCount; ++octant) {
        const double yaw = pi / 4 + pi / 2 * (octant & 3), pitch = (octant & 4) != 0 ? -0.5 : 0.5;
        const Camera pose = turned({interiorCoordinate(random), interiorCoordinate(random), interiorCoordinate(random)}, yaw,
                                   pitch, static_cast<double>(random() % 7) * 0.3);
        for (int change = 0; change < 3; ++change) {
            SCOPED_TRACE(testing::Message() << "view " << octant << ", change " << change);
            const int eye[3] = {cellIndexOf(pose.position.x), cellIndexOf(pose.position.y), cellIndexOf(pose.position.z)};
            for (int k = 0; k < 6; ++k) {
                // A neighbour of the eye's cell, and a cell two to five steps along the view.
                const int near[3] = {eye[0] + static_cast<int>(random() % 3) - 1, eye[1] + static_cast<int>(random() % 3) - 1,
                                     eye[2] + static_cast<int>(random() % 3) - 1};
                const int steps = 2 + static_cast<int>(random() % 4);
                const int ahead[3] = {eye[0] + static_cast<int>(std::lround(steps * pose.direction.x)),
                                      eye[1] + static_cast<int>(std::lround(steps * pose.direction.y)),
                                      eye[2] + static_cast<int>(std::lround(steps * pose.direction.z))};
                for (const int* c : {near, ahead})
                    if (!isShellCell(c[0], c[1], c[2]) && std::min({c[0], c[1], c[2]}) >= 0 && std::max({c[0], c[1], c[2]}) < gridSize &&
                        (c[0] != eye[0] || c[1] != eye[1] || c[2] != eye[2])) {
                        Cell& cell = grid[c[0]][c[1]][c[2]];
                        cell.state = cell.state == Live ? Empty : Live;
                    }
            }
            compareFrame(pose, face, pictureSizes[change % 2], 2, [] {
                Cell& corner = grid[interiorFirst][interiorFirst][interiorFirst];
                corner.state = corner.state == Live ? Empty : Live;
            });
            face = hitFace;
        }
    }
}

// Every octant's table against the boxes it stands for, worked out cell by cell: a cell's reach in
// an octant is the side of its largest free box there, and its radius in the cube table is no larger.
TEST_F(RaycasterDifferential, OctantTablesHoldTheLargestFreeBoxes) {
    static std::uint8_t box[gridSize][gridSize][gridSize];
    for (const double share : {0.0, 0.01, 0.05, 0.3}) {
        SCOPED_TRACE(testing::Message() << "live share " << share);
        fillInterior(share, static_cast<std::uint64_t>(share * 100) + 3);
        grid[0][20][30].state = Empty;  // a gap in the shell: outside the grid counts as solid
        updateFreeSpace();
        updateFreeSpace();  // the world as it was: the octants' own tables
        buildOctants((1u << octantCount) - 1);
        ASSERT_EQ(freeReachReady(), (1u << octantCount) - 1);
        for (int octant = 0; octant < octantCount; ++octant) {
            ASSERT_EQ(freeReachOffset[octant], static_cast<std::int64_t>(freeReachCells) * octant);
            const int s[3] = {octantSign(octant, 0), octantSign(octant, 1), octantSign(octant, 2)};
            const auto at = [&](int x, int y, int z) {
                const bool inside = std::min({x, y, z}) >= 0 && std::max({x, y, z}) < gridSize;
                return inside ? int{box[x][y][z]} : 0;
            };
            int wrong = 0;
            // From the far corner back: the box of side k + 1 at a cell is free when the cell is
            // Empty and the boxes of side k at its seven neighbours ahead are.
            for (int i = gridSize - 1; i >= 0; --i)
                for (int j = gridSize - 1; j >= 0; --j)
                    for (int l = gridSize - 1; l >= 0; --l) {
                        const int x = s[0] > 0 ? i : gridSize - 1 - i, y = s[1] > 0 ? j : gridSize - 1 - j,
                                  z = s[2] > 0 ? l : gridSize - 1 - l;
                        int side = 0;
                        if (grid[x][y][z].state == Empty) {
                            side = gridSize;
                            for (int b = 1; b < 8; ++b)
                                side = std::min(side, at(x + (b & 1) * s[0], y + (b >> 1 & 1) * s[1], z + (b >> 2 & 1) * s[2]));
                            ++side;
                        }
                        box[x][y][z] = static_cast<std::uint8_t>(side);
                        const int cube = freeReach[octantCount][cellOffset(x, y, z)];
                        const int reach = freeReach[octant][cellOffset(x, y, z)];
                        if (reach != side && ++wrong <= 5)
                            ADD_FAILURE() << "octant " << octant << ", cell (" << x << ", " << y << ", " << z << "): reach "
                                          << reach << ", its largest free box " << side << ", cube radius " << cube;
                        if (cube > side && ++wrong <= 5)
                            ADD_FAILURE() << "cell (" << x << ", " << y << ", " << z << "): cube radius " << cube
                                          << " beyond its largest free box in octant " << octant << ", " << side;
                    }
            EXPECT_EQ(wrong, 0) << "octant " << octant;
        }
    }
}

// A few solid cells in an empty interior, each covering a small patch of the picture, with the rays of
// every other pixel going straight past them: from random poses, and from an eye a hair's breadth from
// the edge between two neighbours of its cell. There the rays that pass the edge cross the corner of
// the solid neighbour and leave it again, all within 1e-6 of the eye, or go on through it.
TEST_F(RaycasterDifferential, FewSolidCellsAndTheirCornersNextToTheEye) {
    std::mt19937_64 random(23);
    for (int n = 0; n < randomCases(12); ++n) {
        resetWorld();
        for (int k = 0; k <= n % 3; ++k) {
            const auto at = [&] { return interiorFirst + static_cast<int>(random() % (interiorLast - interiorFirst + 1)); };
            grid[at()][at()][at()].state = Live;
        }
        compareFrame(randomPose(random), n % 4, pictureSizes[n % 3]);
    }
    resetWorld();
    grid[11][20][30].state = Live;
    const double hair = 1e-7;
    for (int n = 0; n < 6; ++n)
        compareFrame(turned({11 - hair, 21 - hair, 30.5}, -pi / 4 + 0.05 * (n - 3), 0.1 * (n % 3 - 1), 0), n % 4, pictureSizes[n % 2]);
}

// Cameras zoomed far in, aimed at an edge or a corner of a solid cell in a sparse world: the picture
// spans so small an angle that the walk's rounding decides on which side of the edge each ray
// passes, and a pixel's ray that misses the cell's image by a fraction of a pixel may still enter it.
TEST_F(RaycasterDifferential, CamerasZoomedInOnACellsEdge) {
    std::mt19937_64 random(59);
    const double zooms[] = {1e-3, 1e-7, 1e-10, 1e-12};
    for (int n = 0; n < randomCases(16); ++n) {
        fillInterior(0.01, 300 + static_cast<std::uint64_t>(n));
        const int cell[3] = {8 + static_cast<int>(random() % 48), 8 + static_cast<int>(random() % 48), 8 + static_cast<int>(random() % 48)};
        grid[cell[0]][cell[1]][cell[2]].state = Live;
        // A corner, or the middle of an edge along axis n % 3.
        Vec3 target{static_cast<double>(cell[0] + static_cast<int>(random() % 2)), static_cast<double>(cell[1] + static_cast<int>(random() % 2)),
                    static_cast<double>(cell[2] + static_cast<int>(random() % 2))};
        if (n % 4 != 3) (n % 3 == 0 ? target.x : n % 3 == 1 ? target.y : target.z) = cell[n % 3] + 0.5;
        Camera pose = startCamera;
        Vec3 toward;
        do {
            pose.position = {interiorCoordinate(random), interiorCoordinate(random), interiorCoordinate(random)};
            toward = {target.x - pose.position.x, target.y - pose.position.y, target.z - pose.position.z};
        } while (length(toward) < 4);
        pose.direction = normalize(toward);
        const Vec3 right = normalize(cross(pose.direction, std::fabs(pose.direction.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0}));
        const double zoom = zooms[n % 4];
        pose.right = scale(right, zoom);
        pose.up = scale(cross(right, pose.direction), zoom * 0.75);
        SCOPED_TRACE(testing::Message() << "zoom " << zoom << ", aimed at (" << target.x << ", " << target.y << ", " << target.z << ")");
        compareFrame(pose, n % 4, pictureSizes[n % 2]);
    }
}

// An empty interior seen from within two cells of its walls, edges and corners, level with a wall or
// along the diagonal: there the eye's free box is small, and the walks jump straight to the
// interior's last cell where the rest of the way is long (rays skimming a wall, or crossing the cube).
TEST_F(RaycasterDifferential, EmptyInteriorSeenFromNextToItsWallsAndCorners) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> nearWall(0.0, 2.0), slight(-0.15, 0.15), any(-pi, pi);
    const int cases = randomCases(30);
    int jumpingFrames = 0;
    for (int n = 0; n < cases; ++n) {
        double p[3];
        for (double& c : p) {
            const unsigned where = random() % 3;
            c = where == 0 ? interiorCoordinate(random) : where == 1 ? 1.0 + nearWall(random) : 63.0 - nearWall(random);
        }
        // Level (rays skimming the floor or the ceiling), or from the eye toward the farthest corner.
        Camera pose = turned({p[0], p[1], p[2]}, any(random), slight(random), n % 3 == 0 ? slight(random) : 0);
        if (n % 2 == 1) {
            const double toward[3] = {p[0] < 32 ? 1.0 : -1.0, p[1] < 32 ? 1.0 : -1.0, p[2] < 32 ? 1.0 : -1.0};
            pose = turned(pose.position, -std::atan2(toward[1], toward[0]), toward[2] * std::atan(1 / std::sqrt(2.0)), 0);
        }
        compareFrame(pose, static_cast<int>(random() % 4), pictureSizes[n % 3]);
        jumpingFrames += findClearance(clearanceInputs()) == Clearance::emptyInterior;
    }
    EXPECT_GE(jumpingFrames, cases * 2 / 3) << "of " << cases << " frames";

    // Frames in a row along a wall, with a cell beside the eye and one ahead of it set and cleared
    // before each target's frames: the interior goes from empty to sparse and back, and the free-space
    // view is built again each time.
    Camera along = turned({61.7, 2.3, 40.5}, 0.1 - pi / 2, 0.02, 0);
    int face = 0;
    for (int frame = 0; frame < 6; ++frame) {
        SCOPED_TRACE(testing::Message() << "frame " << frame << " along the wall");
        compareFrame(along, face, pictureSizes[frame % 2], 2, [] {
            for (Cell* cell : {&grid[60][2][40], &grid[61][6][40]}) cell->state = cell->state == Live ? Empty : Live;
        });
        face = hitFace;
        along = camera;
    }
}

// The walks pass without looking the cells below each pixel's clearance. It must lie at or below the
// side distance at which the plain walk enters the solid interior cell where the pixel's ray stops:
// checked in sparse worlds from random poses, a cell now and then right next to the eye.
TEST_F(RaycasterDifferential, ClearanceLiesBelowEveryPlainHit) {
    std::mt19937_64 random(41);
    int framesChecked = 0, pixelsPastHalfway = 0;
    for (int n = 0; n < randomCases(16); ++n) {
        fillInterior(n % 2 == 0 ? 0.01 : 0.02, 100 + static_cast<std::uint64_t>(n));
        camera = randomPose(random);
        const int eye[3] = {cellIndexOf(camera.position.x), cellIndexOf(camera.position.y), cellIndexOf(camera.position.z)};
        if (n % 3 == 0 && eye[0] + 1 <= interiorLast) grid[eye[0] + 1][eye[1]][eye[2]].state = Live;
        renderWidth = pictureSizes[n % 3].w;
        renderHeight = pictureSizes[n % 3].h;
        renderFrame();  // nudges the camera and brings the free-space view up to date
        const RenderRect rect = renderRect();
        const std::vector<PlainRayEnd> ends = plainRayEnds();
        ASSERT_EQ(findClearance(clearanceInputs()), Clearance::perPixel) << "frame " << n;
        ++framesChecked;
        for (int p = 0; p < rect.w * rect.h; ++p) {
            const PlainRayEnd& end = ends[static_cast<std::size_t>(p)];
            if (end.cell[0] < 0 || isShellCell(end.cell[0], end.cell[1], end.cell[2])) continue;
            ASSERT_LE(clearance[p], end.entered)
                << "frame " << n << ", pixel (" << p % rect.w << ", " << p / rect.w << "): the plain walk enters solid cell ("
                << end.cell[0] << ", " << end.cell[1] << ", " << end.cell[2] << ") below the clearance";
            pixelsPastHalfway += clearance[p] > end.entered / 2;
        }
    }
    EXPECT_EQ(framesChecked, randomCases(16));
    // Not a bound of 0 everywhere: many rays may pass most of the way to their cell.
    EXPECT_GT(pixelsPastHalfway, 1000);
}

// With the eye in a Live cell no ray steps: every pixel takes the face left by earlier frames, or face
// 3 when no ray has stepped yet, and hitFace stays.
TEST_F(RaycasterDifferential, EyeInsideALiveCellWithEveryEarlierFace) {
    grid[10][20][30].state = Live;
    std::mt19937_64 random(3);
    for (int face = 0; face <= 3; ++face)
        for (const PictureSize size : pictureSizes) {
            compareFrame(turned({10.5, 20.25, 30.75}, 0.4, 0.1, 0), face, size);
            EXPECT_EQ(hitFace, face);
        }
    // Whole coordinates are nudged first and stay inside the cell.
    compareFrame(turned({10, 20, 30}, 1.0, -0.3, 0.2), 2, pictureSizes[1]);
    // A dense world: the eye in a Live cell among others.
    fillInterior(0.7, 11);
    for (int n = 0; n < randomCases(10); ++n) {
        const Camera pose = randomPose(random);
        grid[static_cast<int>(pose.position.x + 0.01)][static_cast<int>(pose.position.y + 0.01)][static_cast<int>(pose.position.z + 0.01)].state = Live;
        compareFrame(pose, static_cast<int>(random() % 4), pictureSizes[n % 4]);
    }
}

// The eye in the shell itself: a Wall cell, and a Caption cell whose colour ramp covers the picture.
TEST_F(RaycasterDifferential, EyeInsideShellCells) {
    int captionY = -1, captionZ = -1;
    for (int y = 0; y < gridSize && captionY < 0; ++y)
        for (int z = 0; z < gridSize; ++z)
            if (grid[63][y][z].state == Caption) {
                captionY = y;
                captionZ = z;
                break;
            }
    ASSERT_GE(captionY, 0) << "the start world has a caption";
    for (const PictureSize size : pictureSizes) {
        compareFrame(turned({63.5, captionY + 0.5, captionZ + 0.5}, 2.0, 0.2, 0), 1, size);
        compareFrame(turned({0.5, 12.5, 40.5}, -0.5, 0.3, 0), 0, size);
    }
}

// Outside the grid nothing is read: the picture is black and hitFace stays.
TEST_F(RaycasterDifferential, EyeOutsideTheGrid) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Vec3 outside[] = {{-0.5, 32, 32}, {32, 64, 32}, {32, 32, 64.0001}, {-1e300, 5, 5}, {1e300, 1e300, 1e300},
                            {nan, 32, 32},  {32, 32, nan}, {inf, 32, 32},    {32, -inf, 32}, {-0.0, 32, 64}};
    int n = 0;
    for (const Vec3& position : outside) {
        compareFrame(turned(position, 0.7, 0.2, 0), n % 4, pictureSizes[n % 4]);
        EXPECT_EQ(hitFace, n % 4);
        ++n;
    }
    // Just inside the edges: the shell cells themselves.
    compareFrame(turned({0.0, 32, 32}, 3.0, 0, 0), 2, pictureSizes[0]);
    compareFrame(turned({63.999, 63.999, 63.999}, -2.4, -0.6, 0), 2, pictureSizes[1]);
}

// Rays that leave through gaps in the shell are drawn black and nothing outside the grid is read.
TEST_F(RaycasterDifferential, GapsInTheShell) {
    std::mt19937_64 random(42);
    // Whole walls missing, one at a time, then scattered holes in every wall.
    const int walls[][2] = {{0, 0}, {0, 63}, {1, 0}, {1, 63}, {2, 0}, {2, 63}};
    for (const auto& wall : walls) {
        buildStartWorld();
        for (int u = 0; u < gridSize; ++u)
            for (int v = 0; v < gridSize; ++v) {
                int c[3];
                c[wall[0]] = wall[1];
                c[(wall[0] + 1) % 3] = u;
                c[(wall[0] + 2) % 3] = v;
                grid[c[0]][c[1]][c[2]].state = Empty;
            }
        for (int n = 0; n < randomCases(6); ++n) compareFrame(randomPose(random), static_cast<int>(random() % 4), pictureSizes[n % 3]);
    }
    buildStartWorld();
    for (int k = 0; k < 3000; ++k) {
        int c[3] = {static_cast<int>(random() % 64), static_cast<int>(random() % 64), static_cast<int>(random() % 64)};
        c[random() % 3] = random() % 2 == 0 ? 0 : 63;
        grid[c[0]][c[1]][c[2]].state = Empty;
    }
    for (int n = 0; n < randomCases(16); ++n) compareFrame(randomPose(random), static_cast<int>(random() % 4), pictureSizes[n % 4]);
    // The eye in a shell cell that is now a gap.
    grid[0][30][30].state = Empty;
    compareFrame(turned({0.5, 30.5, 30.5}, pi, 0, 0), 1, pictureSizes[1]);
    compareFrame(turned({0.5, 30.5, 30.5}, 0, 0, 0), 1, pictureSizes[1]);
}

// Vectors with zero, infinite or NaN components: zero components give infinite deltas, the others
// NaN side distances; every walk still ends, and both renderers end it at the same cell.
TEST_F(RaycasterDifferential, UnusualCameraVectors) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Camera pose = startCamera;
    pose.position = {32.5, 20.5, 10.5};
    // Cells in the eye's column above and below it, on the path of rays that step along z alone.
    grid[32][20][30].state = Live;
    grid[32][20][5].state = Live;
    const Vec3 vectors[][3] = {
        {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},       {{0, 0, -1}, {1, 0, 0}, {0, 0, 0}},
        {{1, 1, 1}, {1, -1, 0}, {-1, -1, 2}},  {{nan, 0, 1}, {0, 1, 0}, {0, 0, 0.75}},   {{inf, 0, 0}, {0, 1, 0}, {0, 0, 0.75}},
        {{1e-300, 0, 0}, {0, 1e300, 0}, {0, 0, 0.75}}, {{-1, 0, 0}, {0, -inf, 0}, {0, 0, 0.75}},
        // Squares that underflow: a division by zero must give an infinity (or NaN for 0 / 0) on
        // every target.
        {{1e-300, 0, 0}, {0, 0, 0}, {0, 0, 0}},       {{-1e-170, 1e-170, 0.5}, {0, 0, 0}, {1e-200, 0, 0}},
        // y's square underflows and z's is zero: y's delta is NaN, and every step goes along z; so it
        // does in the columns of a picture where z's square underflows and y's is zero.
        {{1, 1e-170, 0}, {0, 0, 0}, {0, 0, 0}},       {{1, 0, 1e-170}, {0, 1, 0}, {0, 0, 0.75}},
    };
    int n = 0;
    for (const auto& v : vectors) {
        pose.direction = v[0];
        pose.right = v[1];
        pose.up = v[2];
        for (const PictureSize size : {pictureSizes[0], pictureSizes[1]}) compareFrame(pose, n++ % 4, size);
    }
    // Every ray along one direction whose components are each 0, a number whose square underflows,
    // or 1, of either sign: each delta finite, infinite or NaN.
    const double components[] = {0, 1e-170, -1e-170, 1, -1};
    pose.right = pose.up = {0, 0, 0};
    for (const double x : components)
        for (const double y : components)
            for (const double z : components) {
                pose.direction = {x, y, z};
                compareFrame(pose, n++ % 4, pictureSizes[0]);
            }
}

// The renderer on a 16-bit surface: the whole path, pixel formats included.
TEST_F(RaycasterDifferential, SixteenBitSurface) {
    SDL_Surface* window = screen;
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, screenWidth, screenHeight, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_NE(surface, nullptr);
    screen = surface;
    std::mt19937_64 random(16);
    for (int n = 0; n < randomCases(8); ++n) compareFrame(randomPose(random), static_cast<int>(random() % 4), pictureSizes[n % 4]);
    screen = window;
    SDL_FreeSurface(surface);
}

// The jumps count the steps each axis took from the growth of its side distance. The count must be
// the number of deltas added, exactly, on every target: checked for every delta and first side
// distance of every ray of the start pictures and of random poses, from side distances up to 64 steps
// out (farther than any walk in the grid goes), and for edge deltas (1, the largest a jump takes).
struct StepCounts {
    std::vector<double> before, after, delta, expected;
    long long checked = 0;
    int faults = 0;
    std::string firstFault;

    void add(double from, double to, double d, int steps) {
        before.push_back(from);
        after.push_back(to);
        delta.push_back(d);
        expected.push_back(steps);
        if (before.size() >= 4096) flush();
    }
    void flush() {
        while (before.size() % maxRayLanes != 0) {
            before.push_back(0);
            after.push_back(0);
            delta.push_back(1);
            expected.push_back(0);
        }
        std::vector<double> steps(before.size());
        countJumpSteps(before.data(), after.data(), delta.data(), steps.data(), steps.size());
        for (std::size_t k = 0; k < steps.size(); ++k)
            if (steps[k] != expected[k] && faults++ == 0) {
                char text[200];
                std::snprintf(text, sizeof text, "delta %a, from %a to %a: counted %g steps, took %g", delta[k], before[k], after[k],
                              steps[k], expected[k]);
                firstFault = text;
            }
        checked += static_cast<long long>(steps.size());
        before.clear();
        after.clear();
        delta.clear();
        expected.clear();
    }
    // The side distances an axis reaches from its first one, each the last plus delta, as the walks
    // add them; every jump of n steps (0 to 63) from the first and into the last of them, or from every
    // one of them.
    void addWalk(double d, double first, bool everyStart) {
        double side[65];
        side[0] = first;
        for (int i = 0; i < 64; ++i) side[i + 1] = side[i] + d;
        for (int n = 0; n < 64; ++n) {
            if (everyStart) {
                for (int k = 0; k + n <= 64; ++k) add(side[k], side[k + n], d, n);
            } else {
                add(side[0], side[n], d, n);
                add(side[64 - n], side[64], d, n);
            }
        }
    }
};

// The axes of every ray of the picture from pose that a jump steps along (delta below 2^100), each
// pair of delta and first side distance once.
std::vector<PlainRayAxis> jumpingAxes(const Camera& pose, PictureSize size) {
    camera = pose;
    renderWidth = size.w;
    renderHeight = size.h;
    std::vector<PlainRayAxis> axes = plainRayAxes();
    std::erase_if(axes, [](const PlainRayAxis& a) { return !(a.delta < 0x1p100); });
    std::sort(axes.begin(), axes.end(), [](const PlainRayAxis& a, const PlainRayAxis& b) {
        return a.delta != b.delta ? a.delta < b.delta : a.side < b.side;
    });
    axes.erase(std::unique(axes.begin(), axes.end(), [](const PlainRayAxis& a, const PlainRayAxis& b) {
        return a.delta == b.delta && a.side == b.side;
    }), axes.end());
    return axes;
}

TEST_F(RaycasterDifferential, JumpsCountTheirStepsExactly) {
    std::mt19937_64 random(2026);
    std::vector<Camera> poses{startCamera};
    for (int n = 0; n < randomCases(4); ++n) poses.push_back(randomPose(random));
    const double edgeDeltas[] = {1.0, std::nextafter(1.0, 2.0), std::sqrt(2.0), std::sqrt(3.0), 2.0, 64.0, 1e6, 0x1p52,
                                 std::nextafter(0x1p100, 0.0)};
    for (const std::int64_t target : runnableVectorTargets()) {
        ASSERT_TRUE(restrictVectorTarget(target));
        ASSERT_EQ(walkPictureTarget(), target) << "the walk runs another target than " << vectorTargetName(target);
        StepCounts counts;
        int deltas = 0;
        // The start pictures at every size, random poses at the smallest; jumps from every start
        // position for the smallest start picture, from the first and into the last for the others.
        for (std::size_t p = 0; p < poses.size(); ++p)
            for (const PictureSize size : pictureSizes) {
                if (p > 0 && size.w > 100) continue;
                for (const PlainRayAxis& axis : jumpingAxes(poses[p], size)) {
                    counts.addWalk(axis.delta, axis.side, p == 0 && size.w == 100);
                    ++deltas;
                }
            }
        for (const double d : edgeDeltas)
            for (const double toward : {0.0, 0x1p-60, 0.01, 0.5, std::nextafter(1.0, 0.0), 1.0}) {
                counts.addWalk(d, d * toward, true);
                ++deltas;
            }
        counts.flush();
        EXPECT_EQ(counts.faults, 0) << vectorTargetName(target) << ": first wrong count: " << counts.firstFault;
        std::printf("[ jumps    ] %s: %lld counts of %d deltas checked\n", vectorTargetName(target), counts.checked, deltas);
    }
}

// Long jumps take a binade's steps at once. The side distance they reach must be the first element of
// the axis's sequence (side, side + delta, ..., each sum rounded) not below the bound, exactly, on
// every target: from the side distances of the rays of random poses and of deltas that lie half way
// between two multiples of a binade's unit (where a step from an odd multiple adds another amount
// than the others), to bounds at an element, one unit above or below it, and between.
struct BinadeJumps {
    std::vector<double> side, bound, delta, expected;
    long long checked = 0;
    int faults = 0;
    std::string firstFault;

    void add(double from, double to, double d) {
        double s = from;
        while (s < to) s += d;
        side.push_back(from);
        bound.push_back(to);
        delta.push_back(d);
        expected.push_back(s);
    }
    // From the first side distance and from a later one, to bounds about the sequence's elements.
    void addWalk(double d, double first, std::mt19937_64& random) {
        double element[65];
        element[0] = first;
        for (int i = 0; i < 64; ++i) element[i + 1] = element[i] + d;
        for (const int from : {0, static_cast<int>(random() % 32)})
            for (int n = from + 1; n <= 64; n += 1 + static_cast<int>(random() % 4)) {
                const double e = element[n];
                add(element[from], e, d);
                add(element[from], std::nextafter(e, INFINITY), d);
                add(element[from], std::nextafter(e, 0.0), d);
                add(element[from], element[n - 1] + (e - element[n - 1]) * std::uniform_real_distribution<double>(0, 1)(random), d);
            }
    }
    void run() {
        while (side.size() % maxRayLanes != 0) add(1, 0, 1);
        std::vector<double> after(side.size());
        jumpByBinades(side.data(), bound.data(), delta.data(), after.data(), after.size());
        for (std::size_t k = 0; k < after.size(); ++k)
            if (after[k] != expected[k] && faults++ == 0) {
                char text[240];
                std::snprintf(text, sizeof text, "delta %a, from %a to bound %a: reached %a, the additions %a", delta[k], side[k], bound[k],
                              after[k], expected[k]);
                firstFault = text;
            }
        checked = static_cast<long long>(after.size());
    }
};

TEST_F(RaycasterDifferential, BinadeJumpsReachTheElementTheAdditionsReach) {
    for (const std::int64_t target : runnableVectorTargets()) {
        ASSERT_TRUE(restrictVectorTarget(target));
        std::mt19937_64 random(1607);
        BinadeJumps jumps;
        for (int p = 0; p < randomCases(3); ++p)
            for (const PlainRayAxis& axis : jumpingAxes(p == 0 ? startCamera : randomPose(random), pictureSizes[0]))
                if (random() % 8 == 0) jumps.addWalk(axis.delta, axis.side, random);
        // Deltas of 1 to 8 half way between two multiples of the unit of binade 2^e, from odd and even
        // multiples of it.
        for (int n = 0; n < randomCases(400); ++n) {
            const int e = 3 + static_cast<int>(random() % 5);
            const double unit = std::ldexp(1.0, e - 52);
            const double d = std::floor(std::uniform_real_distribution<double>(1, 8)(random) / unit) * unit + unit / 2;
            const double first = std::ldexp(1.0, e) + static_cast<double>(random() % 1000) * unit;
            jumps.addWalk(d, first, random);
        }
        // Side distances of 0 and below the smallest binade a jump meets, a bound already reached, none.
        for (const double first : {0.0, 0x1p-60, 0.25})
            for (const double d : {1.0, std::sqrt(3.0), 1e6}) jumps.addWalk(d, first, random);
        jumps.add(70, 40, 1.5);
        jumps.add(INFINITY, 40, 1.5);
        jumps.add(3, -INFINITY, 1.5);
        jumps.run();
        EXPECT_EQ(jumps.faults, 0) << vectorTargetName(target) << ": first wrong jump: " << jumps.firstFault;
        std::printf("[ binades  ] %s: %lld jumps checked\n", vectorTargetName(target), jumps.checked);
    }
}

// putPixelBlock against putPixel (SDL_MapRGB per pixel) on surfaces of many formats.
struct Format {
    int bits;
    Uint32 r, g, b, a;
};

void comparePixelBlock(const Format& f, std::mt19937_64& random) {
    SCOPED_TRACE(testing::Message() << f.bits << " bits, masks " << std::hex << f.r << " " << f.g << " " << f.b << " " << f.a);
    SDL_Surface* byBlock = SDL_CreateRGBSurface(SDL_SWSURFACE, 67, 41, f.bits, f.r, f.g, f.b, f.a);
    SDL_Surface* byPixel = SDL_CreateRGBSurface(SDL_SWSURFACE, 67, 41, f.bits, f.r, f.g, f.b, f.a);
    ASSERT_NE(byBlock, nullptr);
    ASSERT_NE(byPixel, nullptr);
    if (byBlock->format->palette != nullptr) {
        // A palette of its own: colours that SDL_MapRGB matches only approximately.
        SDL_Color colours[256];
        for (int i = 0; i < 256; ++i) colours[i] = {static_cast<Uint8>(i * 37), static_cast<Uint8>(i * 11), static_cast<Uint8>(255 - i), 0};
        SDL_SetColors(byBlock, colours, 0, 256);
        SDL_SetColors(byPixel, colours, 0, 256);
    }
    std::memset(byBlock->pixels, 0x5A, static_cast<std::size_t>(byBlock->h) * byBlock->pitch);
    std::memset(byPixel->pixels, 0x5A, static_cast<std::size_t>(byPixel->h) * byPixel->pitch);

    const int x = 3, y = 5, w = 61, h = 33;
    std::vector<std::uint32_t> colours(static_cast<std::size_t>(w) * h);
    for (std::uint32_t& c : colours) c = static_cast<std::uint32_t>(random()) & 0xFFFFFF;
    colours[0] = 0x000000;
    colours[1] = 0xFFFFFF;
    colours[2] = 0xFF0000;
    colours[3] = 0x00FF00;
    colours[4] = 0x0000FF;

    SDL_Surface* window = screen;
    screen = byPixel;
    for (int row = 0; row < h; ++row)
        for (int column = 0; column < w; ++column) {
            const std::uint32_t c = colours[static_cast<std::size_t>(row) * w + column];
            putPixel(x + column, y + row, static_cast<Uint8>(c >> 16), static_cast<Uint8>(c >> 8), static_cast<Uint8>(c));
        }
    screen = byBlock;
    putPixelBlock(x, y, w, h, colours.data());
    screen = window;

    EXPECT_EQ(0, std::memcmp(byBlock->pixels, byPixel->pixels, static_cast<std::size_t>(byBlock->h) * byBlock->pitch));
    SDL_FreeSurface(byBlock);
    SDL_FreeSurface(byPixel);
}

TEST(PixelBlock, StoresWhatPutPixelStoresInEveryFormat) {
    openTestScreen();
    std::mt19937_64 random(1234);
    const Format formats[] = {
        {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},          {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
        {32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF}, {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
        {32, 0x0000FF00, 0x00FF0000, 0xFF000000, 0},          {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0},
        {24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},          {24, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
        {16, 0xF800, 0x07E0, 0x001F, 0},                      {16, 0x7C00, 0x03E0, 0x001F, 0},
        {16, 0x001F, 0x07E0, 0xF800, 0},                      {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
        {8, 0, 0, 0, 0},
    };
    // Rows of 61 pixels: whole vectors and a shorter rest on every target.
    forEachVectorTarget("PixelBlock", [&](std::int64_t, const char* name) {
        SCOPED_TRACE(name);
        for (const Format& f : formats) comparePixelBlock(f, random);
    });
}

}  // namespace
