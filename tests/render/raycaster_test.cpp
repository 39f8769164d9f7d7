#include "camera/camera.h"
#include "render/raycaster.h"
#include "shell/screen.h"
#include "tests/support/program_state.h"
#include "world/grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Never drawn by the world: every shell colour is a grey of 128 or more, caption pixels have red
// 255 and live cells drop a channel, so a pixel still holding this was not written.
const Rgb unwritten{1, 2, 3};
const Rgb black{0, 0, 0};

void setSize(double width, double height) {
    renderWidth = width;
    renderHeight = height;
}

// At 200 x 150 the ray of column 100, row 74 (screen 320, 239) has cx = cy = 0: it runs exactly
// along the camera's direction, so one pixel shows what a single ray of a chosen direction meets.
Rgb centreRay(Vec3 eye, Vec3 direction) {
    setSize(200, 150);
    camera.position = eye;
    camera.direction = direction;
    renderFrame();
    return pixelAt(320, 239);
}

struct Rect {
    int left, top, right, bottom;  // inclusive
};

// Counts the pixels of the picture rectangle that differ from colour.
int countOtherThan(Rect r, Rgb colour) {
    int count = 0;
    for (int x = r.left; x <= r.right; ++x)
        for (int y = r.top; y <= r.bottom; ++y) count += pixelAt(x, y) != colour;
    return count;
}

constexpr Rect smallPicture{270, 202, 369, 276};

void clearShell() {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z)
                if (isShellCell(x, y, z)) grid[x][y][z].state = Empty;
}

class Raycaster : public ::testing::Test {
protected:
    void SetUp() override {
        openTestScreen();
        resetProgramState();
        fillScreen(unwritten);
    }
};

}  // namespace

TEST_F(Raycaster, TheCentreRayOfTheStartViewHitsTheGreyWallAhead) {
    setSize(200, 150);
    renderFrame();
    EXPECT_EQ(pixelAt(320, 239), (Rgb{160, 160, 160}));
}

TEST_F(Raycaster, FirstFrameNudgesWholeCoordinatesOnce) {
    renderFrame();
    EXPECT_EQ(camera.position.x, 32.0 + 0.01);
    EXPECT_EQ(camera.position.y, 32.0 + 0.01);
    EXPECT_EQ(camera.position.z, 32.0 + 0.01);
    renderFrame();
    EXPECT_EQ(camera.position.x, 32.0 + 0.01);

    camera.position = {10.5, 7, 3.25};
    renderFrame();
    EXPECT_EQ(camera.position.x, 10.5);
    EXPECT_EQ(camera.position.y, 7.0 + 0.01);
    EXPECT_EQ(camera.position.z, 3.25);
}

struct FaceCase {
    const char* name;
    Vec3 eye;
    Vec3 direction;
    Rgb expected;
};

// The live cell (10, 20, 30) has colour (40, 80, 120): an x face drops blue, a y face red, a z face
// green. Axis-aligned rays also check that a zero component is never stepped.
TEST_F(Raycaster, LiveCellsAreTintedByTheFaceTheRayCrossed) {
    grid[10][20][30].state = Live;
    const FaceCase cases[] = {
        {"+x", {5.5, 20.5, 30.5}, {1, 0, 0}, {40, 80, 0}},
        {"-x", {15.5, 20.5, 30.5}, {-1, 0, 0}, {40, 80, 0}},
        {"+y", {10.5, 15.5, 30.5}, {0, 1, 0}, {0, 80, 120}},
        {"-y", {10.5, 25.5, 30.5}, {0, -1, 0}, {0, 80, 120}},
        {"+z", {10.5, 20.5, 25.5}, {0, 0, 1}, {40, 0, 120}},
        {"-z", {10.5, 20.5, 35.5}, {0, 0, -1}, {40, 0, 120}},
        // Oblique, mostly along one axis: crosses a few boundaries of the others on the way.
        {"oblique x", {3.5, 19.8, 29.7}, {1, 0.05, 0.06}, {40, 80, 0}},
        {"oblique z", {9.6, 19.5, 22.5}, {0.1, 0.1, 1}, {40, 0, 120}},
    };
    for (const FaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(centreRay(c.eye, c.direction), c.expected);
    }
}

// Walls keep their own colour on every face; a ray with two zero components walks one axis only.
TEST_F(Raycaster, AxisRaysReachTheShellStraightAhead) {
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, 1, 0}), (Rgb{128 + 20, 128 + 20, 128 + 20}));
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, 0, 1}), (Rgb{192, 192, 192}));
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, 0, -1}), (Rgb{128, 128, 128}));
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, -1, 0}), (Rgb{148, 148, 148}));
    // Along +y the ray passes under a live cell that lies just off its line.
    grid[32][50][21].state = Live;
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, 1, 0}), (Rgb{148, 148, 148}));
    grid[32][50][20].state = Live;
    EXPECT_EQ(centreRay({32.5, 40.5, 20.5}, {0, 1, 0}), (Rgb{0, 200, 80}));
}

// Equal side distances: z wins over y, y over x. Each eye and direction below makes the tie exact
// (the same products of the same doubles), and a live cell sits only on the path of the right choice.
TEST_F(Raycaster, TiesStepZOverYAndYOverX) {
    // All three equal: the first step is along z, into (10, 10, 11).
    grid[10][10][11].state = Live;
    EXPECT_EQ(centreRay({10.5, 10.5, 10.5}, {1, 1, 1}), (Rgb{40, 0, 44}));
    resetProgramState();

    // side_x = side_y < side_z: the first step is along y, into (10, 11, 10).
    grid[10][11][10].state = Live;
    EXPECT_EQ(centreRay({10.5, 10.5, 10.25}, {1, 1, 1}), (Rgb{0, 44, 40}));
    resetProgramState();

    // side_x = side_z < side_y: the first step is along z, into (10, 10, 11).
    grid[10][10][11].state = Live;
    EXPECT_EQ(centreRay({10.5, 10.25, 10.5}, {1, 1, 1}), (Rgb{40, 0, 44}));
    resetProgramState();

    // Ties again after steps: from (10.5, 10.5, 10.5) along (1, 1, 1) the walk goes z, y, x, z, y,
    // x, ... so (11, 11, 11) is entered across an x face and (11, 11, 12) across a z face.
    grid[11][11][11].state = Live;
    EXPECT_EQ(centreRay({10.5, 10.5, 10.5}, {1, 1, 1}), (Rgb{44, 44, 0}));
    // Going the other way, negative steps tie the same way: (10, 10, 9) is entered first.
    grid[10][10][9].state = Live;
    EXPECT_EQ(centreRay({10.5, 10.5, 10.5}, {-1, -1, -1}), (Rgb{40, 0, 36}));
}

TEST_F(Raycaster, CaptionCellsShowAColourRampOverThePicture) {
    for (int y = 0; y < gridSize; ++y)
        for (int z = 0; z < gridSize; ++z) grid[63][y][z].state = Caption;
    renderFrame();  // every ray of the start view ends on the x = 63 wall

    EXPECT_EQ(pixelAt(270, 276), (Rgb{255, 0, 0}));      // left column, bottom row
    EXPECT_EQ(pixelAt(369, 202), (Rgb{255, 252, 252}));  // right column, top row
    EXPECT_EQ(pixelAt(270, 202), (Rgb{255, 0, 252}));
    EXPECT_EQ(pixelAt(369, 276), (Rgb{255, 252, 0}));

    // Every size: green from the column, blue from the row, counted from the left and the bottom.
    // Exact integer forms of trunc(F * 255 / W + 128) and trunc(G * 255 / H + 128).
    const int sizes[][2] = {{100, 75}, {200, 150}, {320, 240}, {640, 480}};
    for (const auto& size : sizes) {
        const int W = size[0], H = size[1];
        SCOPED_TRACE(W);
        setSize(W, H);
        renderFrame();
        const int left = (640 - W) / 2, top = (480 - H) / 2;
        int wrong = 0;
        for (int i = 0; i < W; ++i)
            for (int j = 0; j < H; ++j) {
                const int green = ((2 * i - W) * 255 + 256 * W) / (2 * W);
                const int blue = ((H - 2 - 2 * j) * 255 + 256 * H) / (2 * H);
                const Rgb expected{255, static_cast<std::uint8_t>(green), static_cast<std::uint8_t>(blue)};
                wrong += pixelAt(left + i, top + j) != expected;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// In the start world the caption's pixels share their column's green whichever letter they show.
TEST_F(Raycaster, StartWorldCaptionPixelsShareTheirColumnGreen) {
    setSize(320, 240);
    renderFrame();
    int captionPixels = 0;
    for (int x = 160; x < 480; ++x) {
        int green = -1;
        for (int y = 120; y < 360; ++y) {
            const Rgb p = pixelAt(x, y);
            if (p[0] != 255) continue;
            ++captionPixels;
            if (green < 0) green = p[1];
            EXPECT_EQ(p[1], green) << "column " << x;
        }
    }
    EXPECT_GT(captionPixels, 1000);
}

// The eye inside a live cell: every ray hits at once and takes no step, so the whole picture is
// that cell shaded by whatever face the last stepping ray left behind.
TEST_F(Raycaster, AnEyeInsideALiveCellPaintsThePictureWithTheLastFace) {
    grid[20][20][20].state = Live;  // colour (80, 80, 80)
    camera.position = {20.5, 20.5, 20.5};
    renderFrame();  // no ray has stepped since start: shaded as a z face
    EXPECT_EQ(countOtherThan(smallPicture, Rgb{80, 0, 80}), 0);
    EXPECT_EQ(hitFace, 0);

    // A frame in which every ray ends by crossing an x face into a live layer at x = 62.
    for (int y = 1; y <= 62; ++y)
        for (int z = 1; z <= 62; ++z) grid[62][y][z].state = Live;
    camera.position = {61.75, 32.5, 32.5};
    renderFrame();
    EXPECT_EQ(hitFace, 1);
    EXPECT_EQ(pixelAt(320, 239), (Rgb{248, 128, 0}));

    camera.position = {20.5, 20.5, 20.5};
    renderFrame();
    EXPECT_EQ(countOtherThan(smallPicture, Rgb{80, 80, 0}), 0);
    EXPECT_EQ(hitFace, 1);

    // The same after a frame whose last ray ended on a y face.
    camera.direction = {0, 1, 0};
    camera.right = {-1, 0, 0};
    for (int x = 1; x <= 62; ++x)
        for (int z = 1; z <= 62; ++z) grid[x][33][z].state = Live;
    camera.position = {32.5, 32.75, 32.5};
    renderFrame();
    EXPECT_EQ(hitFace, 2);
    camera.position = {20.5, 20.5, 20.5};
    renderFrame();
    EXPECT_EQ(countOtherThan(smallPicture, Rgb{0, 80, 80}), 0);
}

// Pixels go column by column from the left, each column from the bottom row up, so hitFace after a
// frame is the face of the top-right ray. From this eye near the ceiling and the y = 0 wall, the
// four corner rays end on different faces: top right z, bottom right x, top and bottom left y.
TEST_F(Raycaster, TheTopRightRayIsTheLastOfTheFrame) {
    camera.position = {60.5, 1.5, 61.5};
    renderFrame();
    EXPECT_EQ(hitFace, 3);
    EXPECT_EQ(pixelAt(369, 202), (Rgb{192, 192, 192}));  // the ceiling
    EXPECT_EQ(pixelAt(270, 202), (Rgb{128 + 61, 128 + 61, 128 + 61}));  // the y = 0 wall at z = 61
}

// Each picture size fills exactly its centred rectangle and writes nothing outside it.
TEST_F(Raycaster, PixelsAreWrittenExactlyInsideThePictureRectangle) {
    struct Size {
        double width, height;
        Rect rect;
    };
    const Size sizes[] = {
        {100, 75, {270, 202, 369, 276}},
        {200, 150, {220, 165, 419, 314}},
        {320, 240, {160, 120, 479, 359}},
        {640, 480, {0, 0, 639, 479}},
    };
    for (const Size& size : sizes) {
        SCOPED_TRACE(size.width);
        fillScreen(unwritten);
        setSize(size.width, size.height);
        renderFrame();
        int unwrittenInside = 0, writtenOutside = 0;
        for (int x = 0; x < screenWidth; ++x)
            for (int y = 0; y < screenHeight; ++y) {
                const bool inside =
                    x >= size.rect.left && x <= size.rect.right && y >= size.rect.top && y <= size.rect.bottom;
                const bool written = pixelAt(x, y) != unwritten;
                unwrittenInside += inside && !written;
                writtenOutside += !inside && written;
            }
        EXPECT_EQ(unwrittenInside, 0);
        EXPECT_EQ(writtenOutside, 0);
    }
}

// Nothing outside the grid is read: an eye outside it sees black, as does a ray through a gap.
TEST_F(Raycaster, AnEyeOutsideTheGridSeesBlack) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Vec3 eyes[] = {
        {-5.5, 32.5, 32.5}, {70.5, 32.5, 32.5}, {32.5, -1.5, 32.5}, {32.5, 32.5, 64.0},
        {1e300, 32.5, 32.5}, {32.5, -1e300, 32.5}, {nan, 32.5, 32.5},
    };
    for (Vec3 eye : eyes) {
        SCOPED_TRACE(eye.x + eye.y + eye.z);
        fillScreen(unwritten);
        camera.position = eye;
        renderFrame();
        EXPECT_EQ(countOtherThan(smallPicture, black), 0);
    }
}

TEST_F(Raycaster, RaysThroughAGapInTheShellSeeBlack) {
    grid[63][32][32].state = Empty;
    setSize(200, 150);
    renderFrame();
    EXPECT_EQ(pixelAt(320, 239), black);
    EXPECT_EQ(pixelAt(220, 239), (Rgb{160, 160, 160}));  // the rest of the wall is still there

    // Without any shell every ray leaves the grid, whatever its direction.
    clearShell();
    camera.direction = {0.6, -0.48, 0.64};
    camera.right = {0.8, 0.6, 0};
    camera.up = {-0.288, 0.384, 0.45};
    setSize(320, 240);
    renderFrame();
    EXPECT_EQ(countOtherThan({160, 120, 479, 359}, black), 0);

    camera.direction = {-1, 0, 0};
    camera.right = {0, -1, 0};
    camera.up = {0, 0, 0.75};
    camera.position = {2.5, 3.5, 60.5};
    renderFrame();
    EXPECT_EQ(countOtherThan({160, 120, 479, 359}, black), 0);
}
