#include "camera/camera.h"
#include "camera/controls.h"
#include "render/raycaster.h"
#include "shell/screen.h"
#include "tests/support/captions.h"
#include "tests/support/grid_copy.h"
#include "tests/support/program_state.h"
#include "tests/support/sdl_spy.h"
#include "tests/support/vec3_checks.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

InputSnapshot holding(std::initializer_list<SDLKey> keys, int dx = 0, int dy = 0) {
    InputSnapshot input;
    for (SDLKey key : keys) input.keys[key] = 1;
    input.dx = dx;
    input.dy = dy;
    return input;
}

// One pass of the controls with these keys held and this mouse motion.
void pass(std::initializer_list<SDLKey> keys, int dx = 0, int dy = 0) {
    applyControls(holding(keys, dx, dy));
}

void passes(int count, std::initializer_list<SDLKey> keys) {
    for (int i = 0; i < count; ++i) pass(keys);
}

bool same(Vec3 a, Vec3 b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

void expectStartOrientation() {
    expectSame(camera.direction, startCamera.initialDirection);
    expectSame(camera.right, startCamera.initialRight);
    expectSame(camera.up, startCamera.initialUp);
}

constexpr int interiorCells = 62 * 62 * 62;

// A seeded soup of live cells in the middle of the world: under the default rules it keeps
// changing for many thousands of generations, so its state tells how many ran.
void seedSoup() {
    std::mt19937 random(4242);
    for (int x = 20; x < 44; ++x)
        for (int y = 20; y < 44; ++y)
            for (int z = 20; z < 44; ++z)
                if (random() % 8 == 0) grid[x][y][z].state = Live;
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        openTestScreen();
        resetProgramState();
        resetSdlSpy();
    }
};

}  // namespace

// ---- Mouse look and roll ----

TEST_F(Controls, FirstPassDiscardsMouseMotionThenOneCountTurnsOneDegree) {
    pass({}, 500, -300);
    EXPECT_TRUE(mouseLookStarted);
    expectStartOrientation();

    pass({}, 1, 0);
    const double a = pi / 180;
    expectNear(camera.direction, {std::cos(a), std::sin(a), 0}, 1e-15);
    expectNear(camera.right, {-std::sin(a), std::cos(a), 0}, 1e-15);
    expectNear(camera.up, {0, 0, 0.75}, 1e-15);
}

TEST_F(Controls, NinetyCountsTurnAQuarter) {
    pass({});
    pass({}, 90, 0);  // to the right: direction turns towards right
    expectNear(camera.direction, {0, 1, 0}, 1e-12);
    expectNear(camera.right, {-1, 0, 0}, 1e-12);
    expectNear(camera.up, {0, 0, 0.75}, 1e-12);

    resetProgramState();
    pass({});
    pass({}, 0, 90);  // down: direction turns towards -up
    expectNear(camera.direction, {0, 0, -1}, 1e-12);
    expectNear(camera.up, {0.75, 0, 0}, 1e-12);
    expectNear(camera.right, {0, 1, 0}, 1e-12);
}

// Pitch turns about right as it was before the pass, yaw about world z: after pitching down, a
// yaw still swings the view about the vertical, not about the camera's own up.
TEST_F(Controls, PitchAndYawInOnePassTurnPitchFirst) {
    pass({});
    pass({}, 90, 90);
    // Pitch first: direction goes straight down, then the yaw about z leaves it there.
    expectNear(camera.direction, {0, 0, -1}, 1e-12);
    expectNear(camera.up, {0, 0.75, 0}, 1e-12);
    expectNear(camera.right, {-1, 0, 0}, 1e-12);
}

TEST_F(Controls, EighteenRollStepsMakeAQuarterRoll) {
    passes(18, {SDLK_KP6});
    expectNear(camera.direction, {1, 0, 0}, 1e-12);
    expectNear(camera.up, {0, 0.75, 0}, 1e-12);
    expectNear(camera.right, {0, 0, -1}, 1e-12);

    passes(36, {SDLK_KP4});
    expectNear(camera.direction, {1, 0, 0}, 1e-12);
    expectNear(camera.up, {0, -0.75, 0}, 1e-12);
    expectNear(camera.right, {0, 0, 1}, 1e-12);
}

TEST_F(Controls, KeypadFiveRestoresTheStartOrientationExactly) {
    camera.position = {20.5, 30.25, 40.125};
    pass({});
    for (int i = 0; i < 7; ++i) pass({SDLK_KP6}, 17, -23);
    ASSERT_FALSE(same(camera.direction, startCamera.initialDirection));

    // The mouse turn of the same pass comes first and is undone too.
    pass({SDLK_KP5}, 33, 12);
    expectStartOrientation();
    expectSame(camera.position, {20.5, 30.25, 40.125});
    pass({SDLK_KP5}, -5, 8);
    expectStartOrientation();
}

// A rotation by 0 is not a bit-exact identity (the length correction rounds), so a still mouse
// must still turn the camera by 0 in every pass: the pictures depend on the last bits.
TEST_F(Controls, TurnsByZeroRunInEveryPassAfterTheFirst) {
    pass({});
    pass({}, 13, -7);
    pass({}, -4, 29);
    const Camera before = camera;

    Camera expected = before;
    for (int i = 0; i < 60; ++i) {
        const Vec3 axis = expected.right;
        const double pitch = (-pi * 0.0) / 180;
        expected.direction = rotateAroundAxis(expected.direction, axis, pitch);
        expected.up = rotateAroundAxis(expected.up, axis, pitch);
        expected.right = rotateAroundAxis(expected.right, axis, pitch);
        const double yaw = (-pi * 0.0) / 180;
        expected.direction = rotateZ(expected.direction, yaw);
        expected.up = rotateZ(expected.up, yaw);
        expected.right = rotateZ(expected.right, yaw);
    }
    passes(60, {});

    expectSame(camera.direction, expected.direction);
    expectSame(camera.up, expected.up);
    expectSame(camera.right, expected.right);
    // Skipping the still passes would have left the camera as it was.
    EXPECT_FALSE(same(camera.direction, before.direction) && same(camera.up, before.up) &&
                 same(camera.right, before.right));
}

TEST_F(Controls, RandomTurnsAndRollsKeepTheCameraFrame) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> motion(-40, 40);
    std::uniform_int_distribution<int> rollKey(0, 2);
    for (int i = 0; i < 5000; ++i) {
        const int choice = rollKey(random);
        const int dx = motion(random), dy = motion(random);
        if (choice == 0) pass({SDLK_KP6}, dx, dy);
        else if (choice == 1) pass({SDLK_KP4}, dx, dy);
        else pass({}, dx, dy);
    }
    EXPECT_NEAR(length(camera.direction), 1.0, 1e-12);
    EXPECT_NEAR(length(camera.right), 1.0, 1e-12);
    EXPECT_NEAR(length(camera.up), 0.75, 1e-12);
    EXPECT_NEAR(dot(camera.direction, camera.right), 0.0, 1e-12);
    EXPECT_NEAR(dot(camera.direction, camera.up), 0.0, 1e-12);
    EXPECT_NEAR(dot(camera.right, camera.up), 0.0, 1e-12);
    // Turning never moves the eye.
    expectSame(camera.position, startCamera.position);
}

// ---- Movement and collision ----

TEST_F(Controls, FirstUpArrowPassAfterAFrameStepsFromTheNudgedPosition) {
    renderFrame();
    pass({SDLK_UP});
    expectSame(camera.position, {(32.0 + 0.01) + 0.2, 32.0 + 0.01, 32.0 + 0.01});
    expectNear(camera.position, {32.21, 32.01, 32.01}, 1e-12);
}

struct WallRun {
    SDLKey key;
    int axis;       // 0 x, 1 y, 2 z
    double limit;   // the face of the shell that the camera flies towards
    double sign;    // +1 towards 63, -1 towards 1
};

// Flying straight at the shell stops less than one step short of it, inside the last interior cell.
TEST_F(Controls, EachMovementKeyStopsLessThanOneStepShortOfTheShell) {
    const WallRun runs[] = {
        {SDLK_UP, 0, 63, +1},  {SDLK_DOWN, 0, 1, -1}, {SDLK_RIGHT, 1, 63, +1},
        {SDLK_LEFT, 1, 1, -1}, {SDLK_KP1, 2, 63, +1}, {SDLK_KP0, 2, 1, -1},
    };
    for (const WallRun& run : runs) {
        SCOPED_TRACE(run.key);
        resetProgramState();
        camera.position = {32.5, 32.5, 32.5};
        passes(400, {run.key});
        const double p[3] = {camera.position.x, camera.position.y, camera.position.z};
        const double gap = run.sign * (run.limit - p[run.axis]);
        EXPECT_GT(gap, 0.0);
        EXPECT_LT(gap, moveSpeed + 1e-9);
        for (int other = 0; other < 3; ++other) {
            if (other != run.axis) {
                EXPECT_EQ(p[other], 32.5);
            }
        }
    }
}

TEST_F(Controls, FlyingAtAnAngleIntoAWallSlidesAlongIt) {
    camera.position = {55.5, 10.5, 20.5};
    camera.direction = {0.6, 0.8, 0};
    camera.right = {0.8, -0.6, 0};
    passes(70, {SDLK_UP});  // x reaches the wall after about 63 passes
    EXPECT_GT(camera.position.x, 63 - 0.12 - 1e-9);
    EXPECT_LT(camera.position.x, 63.0);
    const Vec3 stuck = camera.position;

    passes(10, {SDLK_UP});
    EXPECT_EQ(camera.position.x, stuck.x);
    EXPECT_NEAR(camera.position.y, stuck.y + 10 * 0.16, 1e-9);
    EXPECT_EQ(camera.position.z, 20.5);

    // Further on, the y wall stops the camera too, in the corner.
    passes(400, {SDLK_UP});
    EXPECT_LT(camera.position.x, 63.0);
    EXPECT_LT(camera.position.y, 63.0);
    EXPECT_GT(camera.position.y, 63 - 0.16 - 1e-9);
}

TEST_F(Controls, VerticalMovesStopShortOfASolidCellAboveOrBelow) {
    grid[32][32][38].state = Wall;
    grid[32][32][27].state = Caption;
    camera.position = {32.5, 32.5, 35.5};

    passes(100, {SDLK_KP1});
    EXPECT_GT(camera.position.z, 38 - 0.2 - 1e-9);
    EXPECT_LT(camera.position.z, 38.0);

    passes(100, {SDLK_KP0});
    EXPECT_GE(camera.position.z, 28.0);
    EXPECT_LT(camera.position.z, 28.2 + 1e-9);
    EXPECT_EQ(camera.position.x, 32.5);
    EXPECT_EQ(camera.position.y, 32.5);
}

TEST_F(Controls, TheCameraFliesThroughLiveCells) {
    for (int a = 1; a <= 62; ++a)
        for (int b = 1; b <= 62; ++b) {
            grid[40][a][b].state = Live;  // a live wall across the view
            grid[a][b][45].state = Live;  // and a live ceiling above
        }
    camera.position = {32.5, 32.5, 32.5};
    passes(200, {SDLK_UP});
    EXPECT_GT(camera.position.x, 62.8 - 1e-9);
    passes(200, {SDLK_KP1});
    EXPECT_GT(camera.position.z, 62.8 - 1e-9);
}

// Cells outside the grid are never read and never entered, however far or strange the point.
TEST_F(Controls, IsPassableAnswersByStateAndRefusesPointsOutsideTheGrid) {
    grid[10][10][10].state = Live;
    grid[11][10][10].state = Wall;
    grid[12][10][10].state = Caption;
    EXPECT_TRUE(isPassable(9.5, 10.5, 10.5));
    EXPECT_TRUE(isPassable(10.99, 10.0, 10.5));
    EXPECT_FALSE(isPassable(11.0, 10.5, 10.5));
    EXPECT_FALSE(isPassable(12.5, 10.5, 10.99));
    EXPECT_FALSE(isPassable(63.5, 32.5, 32.5));
    EXPECT_FALSE(isPassable(32.5, 0.5, 32.5));

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double outside[] = {-1.5, -1e-300, 64.0, 64.5, 100.0, 1e300, -1e300, inf, -inf, nan, 3e9, -3e9};
    for (double p : outside) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(isPassable(p, 32.5, 32.5));
        EXPECT_FALSE(isPassable(32.5, p, 32.5));
        EXPECT_FALSE(isPassable(32.5, 32.5, p));
    }
}

TEST_F(Controls, AStepBeyondTheShellIsRefused) {
    moveSpeed = 5.0;
    camera.position = {61.5, 61.5, 61.5};
    pass({SDLK_UP});
    pass({SDLK_RIGHT});
    pass({SDLK_KP1});
    expectSame(camera.position, {61.5, 61.5, 61.5});

    camera.position = {2.5, 2.5, 2.5};
    pass({SDLK_DOWN});
    pass({SDLK_LEFT});
    pass({SDLK_KP0});
    expectSame(camera.position, {2.5, 2.5, 2.5});
}

// ---- Speed ----

TEST_F(Controls, KeypadPlusStopsJustAboveOneAfterSixteenPasses) {
    passes(15, {SDLK_KP_PLUS});
    EXPECT_LT(moveSpeed, 1.0);
    pass({SDLK_KP_PLUS});
    EXPECT_EQ(moveSpeed, 1.0 + std::ldexp(1.0, -52));
    passes(20, {SDLK_KP_PLUS});
    EXPECT_EQ(moveSpeed, 1.0 + std::ldexp(1.0, -52));
}

TEST_F(Controls, KeypadMinusDividesBy1_3AndPlusAddsBack) {
    passes(10, {SDLK_KP_MINUS});
    double expected = 0.2;
    for (int i = 0; i < 10; ++i) expected = expected / 1.3;
    EXPECT_EQ(moveSpeed, expected);

    pass({SDLK_KP_PLUS});
    EXPECT_EQ(moveSpeed, expected + 0.05);

    // Both in one pass: plus acts before minus.
    moveSpeed = 0.2;
    pass({SDLK_KP_PLUS, SDLK_KP_MINUS});
    EXPECT_EQ(moveSpeed, (0.2 + 0.05) / 1.3);

    // The speed is what an arrow step covers.
    moveSpeed = 0.5;
    camera.position = {32.5, 32.5, 32.5};
    pass({SDLK_UP});
    EXPECT_EQ(camera.position.x, 33.0);
}

// ---- Placing and removing cells ----

TEST_F(Controls, BInTheFirstPassAfterAFrameMakesTheCellAheadLive) {
    const Cell before = grid[33][32][32];
    renderFrame();
    pass({SDLK_b});
    EXPECT_EQ(grid[33][32][32].state, Live);
    EXPECT_EQ(grid[33][32][32].red, before.red);
    EXPECT_EQ(grid[33][32][32].green, before.green);
    EXPECT_EQ(grid[33][32][32].blue, before.blue);
    EXPECT_EQ(countCellsIn(Live), 1);

    pass({SDLK_n});
    EXPECT_EQ(grid[33][32][32].state, Empty);
    EXPECT_EQ(countCellsIn(Live), 0);
}

TEST_F(Controls, BAndNTogetherLeaveTheCellAheadEmpty) {
    camera.position = {20.5, 20.5, 20.5};
    pass({SDLK_b, SDLK_n});
    EXPECT_EQ(grid[21][20][20].state, Empty);
    grid[21][20][20].state = Live;
    pass({SDLK_b, SDLK_n});
    EXPECT_EQ(grid[21][20][20].state, Empty);
}

TEST_F(Controls, SolidCellsAheadAreNeverChanged) {
    int captionY = -1, captionZ = -1;
    for (int y = 1; y < 63 && captionY < 0; ++y)
        for (int z = 1; z < 63; ++z)
            if (grid[63][y][z].state == Caption) {
                captionY = y;
                captionZ = z;
                break;
            }
    ASSERT_GE(captionY, 0);

    camera.position = {62.5, captionY + 0.5, captionZ + 0.5};
    pass({SDLK_b});
    pass({SDLK_n});
    pass({SDLK_b, SDLK_n});
    EXPECT_EQ(grid[63][captionY][captionZ].state, Caption);

    camera.position = {62.5, 40.5, 40.5};
    ASSERT_EQ(grid[63][40][40].state, Wall);
    pass({SDLK_b});
    pass({SDLK_n});
    EXPECT_EQ(grid[63][40][40].state, Wall);

    // b on a Live cell leaves it Live; n on an Empty cell leaves it Empty.
    camera.position = {30.5, 30.5, 30.5};
    grid[31][30][30].state = Live;
    pass({SDLK_b});
    EXPECT_EQ(grid[31][30][30].state, Live);
    grid[31][30][30].state = Empty;
    pass({SDLK_n});
    EXPECT_EQ(grid[31][30][30].state, Empty);
}

// The target is one direction-length ahead in any direction; along a diagonal it can stay in the
// camera's own cell.
TEST_F(Controls, TheCellAheadIsOneDirectionLengthAway) {
    camera.position = {20.5, 20.5, 20.5};
    camera.direction = {0, 0, -1};
    pass({SDLK_b});
    EXPECT_EQ(grid[20][20][19].state, Live);

    camera.direction = {0.6, 0, 0.8};
    pass({SDLK_b});
    EXPECT_EQ(grid[21][20][21].state, Live);

    camera.position = {30.1, 30.1, 30.1};
    const double c = 1 / std::sqrt(3.0);
    camera.direction = {c, c, c};
    pass({SDLK_b});
    EXPECT_EQ(grid[30][30][30].state, Live);
    EXPECT_EQ(countCellsIn(Live), 3);
}

// ---- World commands ----

TEST_F(Controls, HoldingIInvertsOncePerPress) {
    passes(40, {SDLK_i});
    EXPECT_EQ(countCellsIn(Live), interiorCells);
    EXPECT_TRUE(invertKeyLatch);

    pass({});
    EXPECT_FALSE(invertKeyLatch);
    passes(25, {SDLK_i});
    EXPECT_EQ(countCellsIn(Live), 0);

    // Other keys held in between do not clear the latch; only a pass without i does.
    pass({SDLK_i, SDLK_r});
    EXPECT_EQ(countCellsIn(Live), 0);
    pass({SDLK_r});
    pass({SDLK_i});
    EXPECT_EQ(countCellsIn(Live), interiorCells);
}

TEST_F(Controls, CWithIResetsTheWorldThenInvertsIt) {
    ASSERT_GT(countCellsIn(Caption), 0);
    grid[10][10][10].state = Live;
    pass({SDLK_c, SDLK_i});
    EXPECT_EQ(countCellsIn(Caption), 0);
    EXPECT_EQ(countCellsIn(Live), interiorCells);
    EXPECT_EQ(countCellsIn(Wall), 64 * 64 * 64 - interiorCells);
    // The camera stays where it was.
    expectSame(camera.position, startCamera.position);
}

TEST_F(Controls, SpaceRunsOneGenerationPerPassAndSFifty) {
    seedSoup();
    const std::vector<Cell> start = copyOfGrid();
    stepGenerations(3);
    const std::vector<Cell> afterThree = copyOfGrid();
    stepGenerations(47);
    const std::vector<Cell> afterFifty = copyOfGrid();
    restoreGrid(start);

    passes(3, {SDLK_SPACE});
    EXPECT_TRUE(gridEquals(afterThree));

    restoreGrid(start);
    pass({SDLK_s});
    EXPECT_TRUE(gridEquals(afterFifty));
}

TEST_F(Controls, DOrFAloneDoNothing) {
    seedSoup();
    const std::vector<Cell> start = copyOfGrid();
    pass({SDLK_d});
    pass({SDLK_f});
    passes(3, {SDLK_d});
    EXPECT_TRUE(gridEquals(start));
    EXPECT_TRUE(sdlSpy.captions.empty());
}

TEST_F(Controls, EscapeWithSpaceRunsTheGenerationThenReleasesTheInput) {
    seedSoup();
    const std::vector<Cell> start = copyOfGrid();
    stepGeneration();
    const std::vector<Cell> afterOne = copyOfGrid();
    restoreGrid(start);

    pass({SDLK_ESCAPE, SDLK_SPACE});
    EXPECT_TRUE(gridEquals(afterOne));
    EXPECT_TRUE(inputReleased);
    EXPECT_EQ(sdlSpy.cursorToggles, std::vector<int>{SDL_ENABLE});
    EXPECT_EQ(sdlSpy.grabModes, std::vector<int>{SDL_GRAB_OFF});
}

TEST_F(Controls, RShowsTheAboutCaption) {
    pass({SDLK_r});
    ASSERT_EQ(sdlSpy.captions.size(), 1u);
    EXPECT_EQ(sdlSpy.captions[0], expectedAboutCaption);
}

// The batch runs exactly 10,000 generations: its result equals 10,000 plain steps of the same
// soup, and differs from the states one generation either side.
TEST_F(Controls, DWithFRunsTenThousandGenerationsWithElevenCaptions) {
    seedSoup();
    const std::vector<Cell> start = copyOfGrid();
    pass({SDLK_d, SDLK_f});
    const std::vector<Cell> batch = copyOfGrid();

    EXPECT_EQ(sdlSpy.captions, expectedBatchCaptions());

    restoreGrid(start);
    stepGenerations(9999);
    EXPECT_FALSE(gridEquals(batch));
    stepGeneration();
    EXPECT_TRUE(gridEquals(batch));
    stepGeneration();
    EXPECT_FALSE(gridEquals(batch));
}

// ---- Picture size ----

TEST_F(Controls, PictureSizeKeysClearTheWindowAndTheLastHeldWins) {
    struct Case {
        std::initializer_list<SDLKey> keys;
        double width, height;
        std::size_t clears;
    };
    const Case cases[] = {
        {{SDLK_KP7}, 200, 150, 1},
        {{SDLK_KP8}, 320, 240, 1},
        {{SDLK_KP9}, 640, 480, 1},
        {{SDLK_KP7, SDLK_KP9}, 640, 480, 2},
        {{SDLK_KP7, SDLK_KP8}, 320, 240, 2},
        {{SDLK_KP9, SDLK_KP8, SDLK_KP7}, 640, 480, 3},
    };
    for (const Case& c : cases) {
        resetProgramState();
        resetSdlSpy();
        for (int x = 0; x < screenWidth; ++x)
            for (int y = 0; y < screenHeight; ++y) putPixel(x, y, 9, 99, 199);
        applyControls(holding(c.keys));
        EXPECT_EQ(renderWidth, c.width);
        EXPECT_EQ(renderHeight, c.height);
        EXPECT_EQ(sdlSpy.updates.size(), c.clears);
        for (const UpdateCall& update : sdlSpy.updates) EXPECT_EQ(update, (UpdateCall{0, 0, 640, 480}));
        int unblack = 0;
        for (int x = 0; x < screenWidth; ++x)
            for (int y = 0; y < screenHeight; ++y) unblack += pixelAt(x, y) != Rgb{0, 0, 0};
        EXPECT_EQ(unblack, 0);
    }
}
