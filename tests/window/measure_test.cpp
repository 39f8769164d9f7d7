// Figures of the real program (reported, not asserted: speed is no test's business) and the
// screenshots of the real window that the README shows.
#include "shell/vector_targets.h"
#include "tests/support/vector_targets.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace window_test;

namespace {

// Passes per second over the next `passes` passes, from the times the recorder wrote: the number of
// intervals between the first and the last of them over the time they span. On a slow build the
// measurement stops after about three seconds with the passes made by then (at least two), so it
// costs little time anywhere; it never decides whether a test passes. 0 when the program did not
// make the passes, or made them at another picture width.
double measurePassesPerSecond(Viewer& v, int passes, int width) {
    const int first = v.presentCount();
    waitUntil(3, [&] { return v.presentCount() >= first + passes || !v.alive(); });
    if (!waitUntil(300, [&] { return v.presentCount() >= first + 2 || !v.alive(); })) return 0;
    const std::vector<Present> presents = v.presents();
    if (presents.size() < static_cast<std::size_t>(first) + 2) return 0;
    const Present& from = presents[static_cast<std::size_t>(first)];
    const Present& to = presents.back();
    for (std::size_t i = static_cast<std::size_t>(first); i < presents.size(); ++i)
        if (presents[i].width != width) return 0;
    const double intervals = static_cast<double>(presents.size() - static_cast<std::size_t>(first) - 1);
    return to.at > from.at ? intervals / (to.at - from.at) : 0;
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
    if (!v.waitForPasses(1)) return false;
    return waitUntil(60, [&] { return checkFillsExactly(v.whole(), wholeWindow).empty(); });
}

}  // namespace

TEST(Measure, PassesPerSecondAtTheSmallestAndTheLargestPicture) {
    Viewer v(withRulesRecorded());
    ASSERT_TRUE(v.waitForWindow()) << v.seen();

    const double small = measurePassesPerSecond(v, 60, 100);
    ASSERT_TRUE(enlargeToWholeWindow(v)) << v.seen();
    const double large = measurePassesPerSecond(v, 60, 640);
    ASSERT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
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
        ProgramOptions options = withRulesRecorded();
        options.extraEnv.push_back("CELLVANE_VECTOR_TARGET=" + name);
        Viewer v(options);
        ASSERT_TRUE(v.waitForWindow()) << v.seen();
        ASSERT_TRUE(enlargeToWholeWindow(v)) << v.seen();
        const Image farWall = v.whole();
        const double wall = measurePassesPerSecond(v, 60, 640);
        v.client->moveMouseBy(45, -35);
        ASSERT_TRUE(waitUntil(60, [&] { return !(v.whole() == farWall); })) << "the turn did not show; " << v.seen();
        ASSERT_TRUE(v.waitForPasses(1)) << v.seen();
        const double diagonal = measurePassesPerSecond(v, 60, 640);
        ASSERT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
        // The program accepted the target: it names any it cannot use on standard error.
        EXPECT_EQ(v.standardError().find("CELLVANE_VECTOR_TARGET"), std::string::npos) << v.standardError();
        std::printf("passes per second at 640 x 480, %s target: %.1f at the far wall, %.1f along the diagonal\n",
                    name.c_str(), wall, diagonal);
        ::testing::Test::RecordProperty("passes_per_second_640x480_far_wall_" + name, std::to_string(wall));
        ::testing::Test::RecordProperty("passes_per_second_640x480_diagonal_" + name, std::to_string(diagonal));
        EXPECT_GT(wall, 0);
        EXPECT_GT(diagonal, 0);
    }
    reportVectorTargets("Measure.PassesPerSecondAtTheWholeWindowOnEveryTarget");
}

// Passes per second at 640 x 480 with AVX2 (or the best target this processor runs) in the slowest
// view the benchmarks' sweep found in a sparse world a user can build: with the ready clouds rules, i
// makes every interior cell Live, s runs fifty generations, in which cells die along the edges and in
// patches next to the walls, and i again leaves those Live: about 1.6 % of the interior, all in the two
// layers next to the walls. The eye turns to look down the cube's diagonal and flies back toward the
// top corner. The turn is one motion of the mouse: motions of one count each, sent one after another,
// were mostly lost on the way to the program (45 and 35 of them turned the eye by 4 and 2 degrees,
// which left it looking along the x axis from the wall).
TEST(Measure, PassesPerSecondInASparseWorldOfTheCloudsRules) {
    ProgramOptions options = withRulesRecorded();
    options.prepareWorkDir = [](const std::filesystem::path& work) {
        std::filesystem::copy_file(std::filesystem::path(CELLVANE_SOURCE_DIR) / "rules" / "clouds.ini", work / "rules.ini",
                                   std::filesystem::copy_options::overwrite_existing);
    };
    std::string target = "best";
    for (const std::int64_t t : runnableVectorTargets())
        if (std::string(vectorTargetName(t)) == "AVX2") target = "AVX2";
    if (target == "AVX2") options.extraEnv.push_back("CELLVANE_VECTOR_TARGET=AVX2");
    Viewer v(options);
    ASSERT_TRUE(v.waitForWindow()) << v.seen();
    for (const unsigned long key : {XK_i, XK_s, XK_i}) ASSERT_TRUE(v.press({key})) << v.seen();

    // Down the cube's diagonal, (1, 1, -1): 45 degrees right and 35 down; then back toward the top
    // corner for 200 passes of 0.2 cells, to about (8.8, 8.8, 55), clear of the live layers.
    const Image before = v.picture(startRect);
    v.client->moveMouseBy(45, 35);
    ASSERT_TRUE(waitUntil(60, [&] { return !(v.picture(startRect) == before); }) && v.waitForPasses(1))
        << "the turn did not show; " << v.seen();
    ASSERT_TRUE(v.press({XK_Down}, 200)) << v.seen();
    ASSERT_TRUE(enlargeToWholeWindow(v)) << v.seen();
    const double passes = measurePassesPerSecond(v, 60, 640);
    ASSERT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
    std::printf("passes per second at 640 x 480, %s target, clouds rules after i, s, i, eye near the top corner looking down the "
                "diagonal: %.1f\n",
                target.c_str(), passes);
    ::testing::Test::RecordProperty("passes_per_second_640x480_sparse_clouds", std::to_string(passes));
    EXPECT_GT(passes, 0);
}

// Saves PNG screenshots of the real window: at start, after keypad 9, and with live cells. They go to
// CELLVANE_PICTURE_DIR when it is set (tests/window/make-pictures sets it to docs/images), otherwise
// to "pictures" in the test's working directory.
TEST(Pictures, ScreenshotsOfTheRealWindow) {
    const char* chosen = std::getenv("CELLVANE_PICTURE_DIR");
    const std::filesystem::path dir = std::filesystem::absolute(chosen != nullptr ? chosen : "pictures");
    std::filesystem::create_directories(dir);
    Viewer v(withRulesRecorded());
    ASSERT_TRUE(v.waitForWindow()) << v.seen();

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
    ASSERT_TRUE(waitUntil(60, [&] { return checkFillsExactly(start = v.whole(), startRect).empty(); }))
        << checkFillsExactly(start, startRect);
    save(start, "window-start");

    ASSERT_TRUE(enlargeToWholeWindow(v)) << v.seen();
    Image large;
    ASSERT_TRUE(waitUntil(60, [&] { return checkFillsExactly(large = v.whole(), wholeWindow).empty(); }))
        << checkFillsExactly(large, wholeWindow);
    save(large, "window-640x480");

    // A row of cells placed while flying sideways (b with the left, then the right arrow, each for a
    // number of passes), seen from a few cells back after about two generations. The flight is made
    // at 200 x 150 (keypad 7), whose passes are quick in any build, and the picture taken at the
    // whole window again.
    ASSERT_TRUE(v.press({XK_KP_Home})) << v.seen();
    v.client->keyDown(XK_b);
    ASSERT_TRUE(v.press({XK_Left}, 36)) << v.seen();
    ASSERT_TRUE(v.press({XK_Right}, 72)) << v.seen();
    v.client->keyUp(XK_b);
    ASSERT_TRUE(v.press({XK_Left}, 36)) << v.seen();
    ASSERT_TRUE(v.press({XK_Down}, 42)) << v.seen();
    for (int generation = 0; generation < 2; ++generation) ASSERT_TRUE(v.press({XK_space})) << v.seen();
    ASSERT_TRUE(enlargeToWholeWindow(v)) << v.seen();
    Image cells;
    int livePixels = 0;  // neither a wall's grey nor the caption's red 255
    EXPECT_TRUE(waitUntil(60, [&] {
        cells = v.whole();
        livePixels = 0;
        for (const Rgb& p : cells.pixels) livePixels += p[0] != 255 && !(p[0] == p[1] && p[1] == p[2]);
        return livePixels > 1000;
    })) << livePixels << " pixels of live cells in sight; " << v.seen();
    save(cells, "window-cells");
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}
