// Figures of the real program (reported, not asserted: speed is no test's business) and the
// screenshots of the real window that the README shows.
#include "shell/vector_targets.h"
#include "tests/support/vector_targets.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace window_test;

namespace {

double passesPerSecond(const std::vector<Present>& presents, int width, double from, double to) {
    int count = 0;
    for (const Present& p : presents) count += p.width == width && p.at >= from && p.at < to;
    return count / (to - from);
}

// Default rules, and the presentations recorded.
ProgramOptions withRules() {
    ProgramOptions options;
    options.withRulesFile = true;
    options.recordPresents = true;
    return options;
}

// Keypad 9, held until the program has cleared the window (seen by the recorder of presentations),
// then the picture must cover the window.
bool enlargeToWholeWindow(Viewer& v) {
    const double pressed = monotonicNow();
    if (!v.holdUntil({XK_KP_Prior}, [&] {
            for (const Present& p : v.presents())
                if (p.at >= pressed && p.width == 640 && p.height == 480 && p.black == 1) return true;
            return false;
        }))
        return false;
    // Passes that began before the key went up still clear the window.
    if (!v.waitForPresents(wholeWindow, 2)) return false;
    return waitUntil(60, [&] { return checkFillsExactly(v.whole(), wholeWindow).empty(); });
}

}  // namespace

TEST(Measure, PassesPerSecondAtTheSmallestAndTheLargestPicture) {
    Viewer v(withRules());
    ASSERT_TRUE(v.waitForWindow()) << v.standardError();

    const double smallFrom = monotonicNow();
    sleepFor(3);
    const double smallTo = monotonicNow();
    ASSERT_TRUE(enlargeToWholeWindow(v));
    sleepFor(0.5);
    const double largeFrom = monotonicNow();
    sleepFor(4);
    const double largeTo = monotonicNow();
    ASSERT_EQ(v.closeAndWait(30), std::optional<int>(0));

    const auto presents = v.presents();
    ASSERT_FALSE(presents.empty()) << "the recorder recorded nothing";
    const double small = passesPerSecond(presents, 100, smallFrom, smallTo);
    const double large = passesPerSecond(presents, 640, largeFrom, largeTo);
    std::printf("passes per second of the real program: %.1f at 100 x 75, %.1f at 640 x 480\n", small, large);
    ::testing::Test::RecordProperty("passes_per_second_100x75", std::to_string(small));
    ::testing::Test::RecordProperty("passes_per_second_640x480", std::to_string(large));
    EXPECT_GT(small, 0);
    EXPECT_GT(large, 0);
}

// The whole-window picture on every vector target this processor runs (CELLVANE_VECTOR_TARGET), as
// the program runs on processors with fewer instructions: passes per second looking at the far wall
// from the start, then turned 45 degrees right and 35 up, along the diagonal of the cube.
TEST(Measure, PassesPerSecondAtTheWholeWindowOnEveryTarget) {
    for (const std::int64_t target : runnableVectorTargets()) {
        const std::string name = vectorTargetName(target);
        SCOPED_TRACE(name);
        ProgramOptions options = withRules();
        options.extraEnv.push_back("CELLVANE_VECTOR_TARGET=" + name);
        Viewer v(options);
        ASSERT_TRUE(v.waitForWindow()) << v.standardError();
        ASSERT_TRUE(enlargeToWholeWindow(v));
        const Image farWall = v.whole();
        const double wallFrom = monotonicNow();
        sleepFor(3);
        const double wallTo = monotonicNow();
        v.client->moveMouseBy(45, -35);
        ASSERT_TRUE(waitUntil(10, [&] { return !(v.whole() == farWall); })) << "the turn did not show";
        ASSERT_TRUE(v.waitForPresents(wholeWindow, 2));
        const double diagonalFrom = monotonicNow();
        sleepFor(3);
        const double diagonalTo = monotonicNow();
        ASSERT_EQ(v.closeAndWait(30), std::optional<int>(0));
        // The program accepted the target: it names any it cannot use on standard error.
        EXPECT_EQ(v.standardError().find("CELLVANE_VECTOR_TARGET"), std::string::npos) << v.standardError();
        const auto presents = v.presents();
        const double wall = passesPerSecond(presents, 640, wallFrom, wallTo);
        const double diagonal = passesPerSecond(presents, 640, diagonalFrom, diagonalTo);
        std::printf("passes per second at 640 x 480, %s target: %.1f at the far wall, %.1f along the diagonal\n",
                    name.c_str(), wall, diagonal);
        ::testing::Test::RecordProperty("passes_per_second_640x480_far_wall_" + name, std::to_string(wall));
        ::testing::Test::RecordProperty("passes_per_second_640x480_diagonal_" + name, std::to_string(diagonal));
        EXPECT_GT(wall, 0);
        EXPECT_GT(diagonal, 0);
    }
    reportVectorTargets("Measure.PassesPerSecondAtTheWholeWindowOnEveryTarget");
}

// Saves PNG screenshots of the real window: at start, after keypad 9, and with live cells. They go to
// CELLVANE_PICTURE_DIR when it is set (tests/window/make-pictures sets it to docs/images), otherwise
// to "pictures" in the test's working directory.
TEST(Pictures, ScreenshotsOfTheRealWindow) {
    const char* chosen = std::getenv("CELLVANE_PICTURE_DIR");
    const std::filesystem::path dir = std::filesystem::absolute(chosen != nullptr ? chosen : "pictures");
    std::filesystem::create_directories(dir);
    Viewer v(withRules());
    ASSERT_TRUE(v.waitForWindow()) << v.standardError();

    auto save = [&](const Image& image, const std::string& name) {
        const auto ppm = v.scratch.path / (name + ".ppm");
        image.savePpm(ppm);
        ChildProcess convert;
        std::vector<std::string> env;
        convert.start({"/usr/bin/convert", ppm.string(), "-strip", (dir / (name + ".png")).string()}, env,
                      v.scratch.path.string(), (v.scratch.path / "convert.out").string(),
                      (v.scratch.path / "convert.err").string());
        ASSERT_TRUE(convert.waitForExit(60));
        std::ifstream errors(v.scratch.path / "convert.err");
        ASSERT_EQ(convert.exitStatus, std::optional<int>(0)) << errors.rdbuf();
        std::ifstream png(dir / (name + ".png"), std::ios::binary);
        char signature[8] = {};
        png.read(signature, 8);
        EXPECT_EQ(std::string(signature + 1, 3), "PNG") << name;
    };

    Image start;
    ASSERT_TRUE(waitUntil(10, [&] { return checkFillsExactly(start = v.whole(), startRect).empty(); }));
    save(start, "window-start");

    ASSERT_TRUE(enlargeToWholeWindow(v));
    Image large;
    ASSERT_TRUE(waitUntil(10, [&] { return checkFillsExactly(large = v.whole(), wholeWindow).empty(); }));
    save(large, "window-640x480");

    // A row of cells placed while flying sideways (b with the left, then the right arrow), seen from a
    // few cells back after two generations.
    v.client->keyDown(XK_b);
    v.tap({XK_Left}, 0.6);
    v.tap({XK_Right}, 1.2);
    v.client->keyUp(XK_b);
    v.tap({XK_Left}, 0.6);
    v.tap({XK_Down}, 0.7);
    for (int generation = 0; generation < 2; ++generation) {
        v.tap({XK_space}, 0.03);
        sleepFor(0.3);
    }
    ASSERT_TRUE(v.waitForPresents(wholeWindow, 3));
    const Image cells = v.whole();
    int livePixels = 0;  // neither a wall's grey nor the caption's red 255
    for (const Rgb& p : cells.pixels) livePixels += p[0] != 255 && !(p[0] == p[1] && p[1] == p[2]);
    EXPECT_GT(livePixels, 1000) << "no live cells in sight";
    save(cells, "window-cells");
    EXPECT_EQ(v.closeAndWait(30), std::optional<int>(0));
}
