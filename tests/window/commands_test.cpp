// The command keys and the mouse of the real program, pressed and moved as a user does, checked in
// the window's pictures and captions.
#include "tests/support/captions.h"
#include "tests/window/expected_picture.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

using namespace window_test;

namespace {

const std::string& title = expectedTitleCaption;
const std::string& about = expectedAboutCaption;

// The rightmost column that shows a caption pixel, or -1.
int rightmostCaptionColumn(const Image& picture) {
    int column = -1;
    for (int j = 0; j < picture.height; ++j)
        for (int i = 0; i < picture.width; ++i)
            if (picture.at(i, j)[0] == 255 && i > column) column = i;
    return column;
}

// Whether the program has presented the whole window all black since the given time.
bool clearedSince(const Viewer& v, double since) {
    for (const Present& p : v.presents())
        if (p.at >= since && p.x == 0 && p.y == 0 && p.width == 640 && p.height == 480 && p.black == 1) return true;
    return false;
}

std::string describe(const Rgb& p) {
    char text[40];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", p[0], p[1], p[2]);
    return text;
}

bool isUniform(const Image& picture, Rgb colour) {
    if (picture.pixels.empty()) return false;
    for (const Rgb& p : picture.pixels)
        if (p != colour) return false;
    return true;
}

// Starts the program with the default rules, recording its presentations so that its passes can be
// counted, and waits until its start picture is on the screen.
struct StartedViewer {
    Viewer viewer;
    Image start;

    StartedViewer() : viewer(withRulesRecorded()) {
        if (!viewer.waitForWindow()) throw std::runtime_error("no window: " + viewer.seen());
        Image window;
        std::string fault;
        if (!waitUntil(60, [&] {
                window = viewer.whole();
                fault = checkFillsExactly(window, startRect);
                return fault.empty();
            }))
            throw std::runtime_error("the start picture did not appear: " + fault + "; " + viewer.seen());
        start = window.crop(startRect.x, startRect.y, startRect.w, startRect.h);
    }

    Image picture(Rect rect = startRect) { return viewer.picture(rect); }
};

}  // namespace

TEST(Commands, AboutCaptionThenEachSizeKeyClearsTheWindowAndEnlargesThePicture) {
    StartedViewer s;
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 60)) << v.seen();
    ASSERT_TRUE(v.holdUntil({XK_r}, [&] { return v.caption() == about; })) << v.seen();

    struct Size {
        unsigned long key;
        Rect rect;
    };
    // The keypad's keys by their NumLock-independent names: SDL reports them as keypad 7, 8 and 9.
    for (const Size& size : {Size{XK_KP_Home, rect200}, Size{XK_KP_Up, rect320}, Size{XK_KP_Prior, wholeWindow}}) {
        SCOPED_TRACE(std::to_string(size.rect.w) + " x " + std::to_string(size.rect.h));
        // Every pass that finds the key held clears the window: the recorder in the program sees a
        // whole-window presentation of an all-black surface.
        const double pressed = monotonicNow();
        ASSERT_TRUE(v.holdUntil({size.key}, [&] { return clearedSince(v, pressed); }))
            << "the window was not cleared; " << v.seen();
        std::string fault;
        Image window;
        ASSERT_TRUE(waitUntil(60, [&] {
            window = v.whole();
            fault = checkFillsExactly(window, size.rect);
            return fault.empty();
        })) << fault << "; " << v.seen();
        // Once the key is up the picture stays at its new size.
        ASSERT_TRUE(v.waitForPasses(2)) << v.seen();
        window = v.whole();
        ASSERT_EQ(checkFillsExactly(window, size.rect), "");

        const Image picture = window.crop(size.rect.x, size.rect.y, size.rect.w, size.rect.h);
        EXPECT_EQ(checkStartWorldColours(picture), "");
        EXPECT_GT(countCaptionPixels(picture), size.rect.w * size.rect.h / 200);
        const int differences = countDifferences(picture, expectedStartPicture(size.rect));
        EXPECT_LE(differences, size.rect.w * size.rect.h / 500) << "pixels unlike the headless picture";
        if (size.rect.w == 200) {
            EXPECT_EQ(picture.at(100, 74), (Rgb{160, 160, 160}));
        }
    }
    EXPECT_EQ(v.caption(), about) << "the About caption stays until another command replaces it";
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}

TEST(Commands, InvertPlaceRemoveAndResetShowInThePicture) {
    StartedViewer s;
    Viewer& v = s.viewer;

    // Every interior cell becomes Live, the eye's cell (32, 32, 32) with colour (128, 128, 128)
    // included, so every ray stops at once and takes the face left by the last ray of the frame
    // before: the top ray of the right column, which ended on the x = 63 wall (face x drops blue).
    v.client->keyDown(XK_i);
    Image inverted;
    const bool invertedOnce = waitUntil(60, [&] { return isUniform(inverted = s.picture(), {128, 128, 0}); });
    // Held on pass after pass, i inverts no more: a pass must see it up before the next press counts.
    for (int pass = 0; invertedOnce && pass < 3; ++pass) {
        EXPECT_TRUE(v.waitForPasses(1)) << v.seen();
        EXPECT_TRUE(isUniform(inverted = s.picture(), {128, 128, 0})) << "holding i inverted more than once";
    }
    v.client->keyUp(XK_i);
    ASSERT_TRUE(invertedOnce) << "centre after i: " << describe(inverted.at(50, 36)) << "; " << v.seen();
    ASSERT_TRUE(v.waitForPasses(1)) << v.seen();
    ASSERT_TRUE(v.holdUntil({XK_i}, [&] { return s.picture() == s.start; }))
        << "a second i did not restore; " << countDifferences(s.picture(), s.start) << " pixels differ; " << v.seen();

    // b makes the cell one unit ahead, (33, 32, 32), Live. It covers the upper right quarter of the
    // picture: the ray just above the centre meets its x face (blue dropped).
    Image placed;
    ASSERT_TRUE(v.holdUntil({XK_b}, [&] {
        placed = s.picture();
        return placed.at(50, 36) == Rgb{132, 128, 0};
    })) << "centre after b: " << describe(placed.at(50, 36)) << "; " << v.seen();
    EXPECT_EQ(placed.at(99, 0), (Rgb{132, 128, 0}));
    for (int j = 38; j < 75; ++j)
        for (int i = 0; i < 49; ++i) {
            ASSERT_EQ(placed.at(i, j), s.start.at(i, j)) << "lower left changed at " << i << "," << j;
        }
    ASSERT_TRUE(v.holdUntil({XK_n}, [&] { return s.picture() == s.start; }))
        << "n did not remove the cell: " << countDifferences(s.picture(), s.start) << " pixels differ; " << v.seen();

    // c rebuilds the world without its caption: the far wall is plain grey where the letters were.
    Image reset;
    ASSERT_TRUE(v.holdUntil({XK_c}, [&] {
        reset = s.picture();
        return countCaptionPixels(reset) == 0;
    })) << countCaptionPixels(reset) << " caption pixels after c; " << v.seen();
    EXPECT_GT(countCaptionPixels(s.start), 0);
    for (std::size_t k = 0; k < reset.pixels.size(); ++k) {
        const Rgb& now = reset.pixels[k];
        const Rgb& before = s.start.pixels[k];
        ASSERT_TRUE(now[0] == now[1] && now[1] == now[2]) << "not grey at pixel " << k;
        if (before[0] != 255) {
            ASSERT_EQ(now, before) << "a wall pixel changed at " << k;
        }
    }
    EXPECT_EQ(v.closeAndWait(10), std::optional<int>(0));
}

TEST(Commands, MouseMotionTurnsTheViewOneDegreePerCount) {
    StartedViewer s;
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForPasses(1)) << v.seen();  // the first pass discards the motion gathered at start

    // The side walls are grey by height alone, like the far wall: only the letters on the far wall
    // (x = 63) tell the directions apart. The right end of the letters is a vertical edge; at the start
    // it lies between the rays of its rightmost column i0 and the next, whose horizontal offsets are
    // (i - 50) / 50. 45 counts right turn the view by 45 degrees about the vertical, which moves that
    // edge to the offset tan(atan(c) - 45 degrees).
    const int i0 = rightmostCaptionColumn(s.start);
    ASSERT_GT(i0, 80);
    auto columnAfterTurn = [](double offset) {
        return static_cast<int>(std::floor(50 + 50 * std::tan(std::atan(offset) - std::numbers::pi / 4)));
    };
    const int low = columnAfterTurn((i0 - 50) / 50.0), high = columnAfterTurn((i0 + 1 - 50) / 50.0);
    v.client->moveMouseBy(45, 0);
    int rightmost = 0;
    ASSERT_TRUE(waitUntil(60, [&] {
        rightmost = rightmostCaptionColumn(s.picture());
        return rightmost >= low && rightmost <= high;
    })) << "the letters end in column " << rightmost << ", expected " << low << " to " << high << "; " << v.seen();
    // 45 more: the camera looks along +y and the letters are out of sight.
    v.client->moveMouseBy(45, 0);
    int captionPixels = 0;
    ASSERT_TRUE(waitUntil(60, [&] { return (captionPixels = countCaptionPixels(s.picture())) == 0; }))
        << captionPixels << " caption pixels still in sight; " << v.seen();
    // 90 counts left: back where it started, apart from the last bits of the turn.
    v.client->moveMouseBy(-90, 0);
    int differences = 0;
    EXPECT_TRUE(waitUntil(60, [&] { return (differences = countDifferences(s.picture(), s.start)) <= 20; }))
        << differences << " pixels differ after turning back";
    // 90 counts down: straight down at the floor, grey 128 everywhere but at most the edge columns,
    // which may meet the bottom of the side walls. A steeper or shallower turn shows a wall's grey
    // along one edge of the picture.
    v.client->moveMouseBy(0, 90);
    int floorPixels = 0;
    EXPECT_TRUE(waitUntil(60, [&] {
        const Image p = s.picture();
        floorPixels = 0;
        for (const Rgb& q : p.pixels) floorPixels += q == Rgb{128, 128, 128};
        return p.at(50, 36) == Rgb{128, 128, 128} && floorPixels >= 7500 - 2 * 75;
    })) << floorPixels << " floor pixels";
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}

TEST(Commands, DAndFRunTenThousandGenerationsWithElevenCaptionsInOrder) {
    StartedViewer s;
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 60)) << v.seen();
    CaptionRecorder recorder(v.server->display, v.window);
    const int changesAtStart = recorder.changes();

    // Either key alone, held for a few passes, does nothing.
    ASSERT_TRUE(v.press({XK_d}, 3)) << v.seen();
    ASSERT_TRUE(v.press({XK_f}, 3)) << v.seen();
    EXPECT_EQ(v.captionCalls(), std::vector<std::string>{title});
    EXPECT_TRUE(recorder.entries().empty()) << "a caption changed: " << recorder.entries().front().caption;

    const std::vector<std::string>& expected = expectedBatchCaptions();
    // Released as soon as the program has set the first caption of the batch (its own call, seen in
    // the recorder's log), so that the pass after the batch finds the keys up.
    auto callCount = [&] { return v.captionCalls().size(); };
    ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return callCount() > 1; }, 60, 0.001)) << v.seen();
    std::vector<std::string> calls;
    ASSERT_TRUE(waitUntil(900, [&] { return (calls = v.captionCalls()).size() >= 1 + expected.size(); }, 0.05))
        << calls.size() << " caption calls, the last \"" << (calls.empty() ? "" : calls.back()) << "\"; " << v.seen();
    // No second batch follows.
    ASSERT_TRUE(v.waitForPasses(3, 300)) << v.seen();
    calls = v.captionCalls();
    EXPECT_EQ(calls.front(), title);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()), expected);

    // A block of 1,000 generations takes a few milliseconds, quicker than another client can read
    // the window's name after each change: the window must have changed its name eleven times, and
    // the program's own caption calls give their texts in order.
    ASSERT_TRUE(waitUntil(60, [&] { return recorder.changes() - changesAtStart >= 11; }))
        << recorder.changes() - changesAtStart << " changes of the window's name";
    EXPECT_EQ(recorder.changes() - changesAtStart, 11);
    const auto entries = recorder.entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().caption, expected.back());
    const double seconds = Seconds(entries.back().at - entries.front().at).count();
    std::printf("10,000 generations in the real program: %.2f s (first to last caption seen)\n", seconds);
    ::testing::Test::RecordProperty("batch_seconds", std::to_string(seconds));

    // The program draws and answers again.
    ASSERT_TRUE(v.holdUntil({XK_r}, [&] { return v.caption() == about; })) << v.seen();
    // The empty start world stays empty under the default rules.
    EXPECT_EQ(s.picture(), s.start);

    // Closed while a second batch runs: the batch finishes with all its captions, and the close is
    // seen at the next drain, where the keys are already up.
    ASSERT_TRUE(v.waitForPasses(1)) << v.seen();  // passes that still saw r held are over
    const std::size_t callsBefore = callCount();
    ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return callCount() > callsBefore; }, 60, 0.001)) << v.seen();
    EXPECT_EQ(v.closeAndWait(300), std::optional<int>(0)) << v.seen();
    calls = v.captionCalls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), calls.end()), expected)
        << "the caption calls of the interrupted run";
}

TEST(Commands, AfterEscapeNothingChangesAndClosingStillEndsTheProgram) {
    StartedViewer s;
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 60)) << v.seen();
    ASSERT_TRUE(v.press({XK_Escape})) << v.seen();
    const Image frozen = v.whole();
    ASSERT_EQ(checkFillsExactly(frozen, startRect), "");

    // Keys that would change the caption, the size, the world and the camera, each held until passes
    // have read it down and up, and the mouse.
    for (unsigned long key : {XK_r, XK_KP_Prior, XK_i, XK_b, XK_c, XK_Up, XK_KP_Right, XK_space, XK_Escape})
        ASSERT_TRUE(v.press({key}, 2)) << "key " << key << "; " << v.seen();
    ASSERT_TRUE(v.press({XK_d, XK_f}, 2)) << v.seen();
    v.client->moveMouseBy(60, 40);
    // The program still presents its frozen picture pass after pass, and nothing in it moves.
    for (int check = 0; check < 5; ++check) {
        ASSERT_TRUE(v.waitForPasses(2)) << v.seen();
        const Image now = v.whole();
        ASSERT_EQ(now, frozen) << "the picture changed after Escape: " << countDifferences(now, frozen)
                               << " pixels differ";
        ASSERT_EQ(v.caption(), title);
    }
    EXPECT_EQ(v.captionCalls(), std::vector<std::string>{title});
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}

// On a machine so busy that one pass takes longer than a quick tap, every press is still read once
// and Escape still holds: passes made 200 ms longer by the recorder, keys pressed as the other tests
// press them.
TEST(Commands, SlowPassesMissNoPress) {
    ProgramOptions options = withRulesRecorded();
    options.extraEnv.push_back("CELLVANE_PASS_DELAY_MS=200");
    Viewer v(options);
    ASSERT_TRUE(v.waitForWindow()) << v.seen();
    ASSERT_TRUE(v.waitForCaption(title, 60)) << v.seen();
    auto aboutCalls = [&] {
        const std::vector<std::string> calls = v.captionCalls();
        return std::count(calls.begin(), calls.end(), about);
    };
    ASSERT_TRUE(v.press({XK_r})) << v.seen();
    EXPECT_GE(aboutCalls(), 1) << "r was not read";

    ASSERT_TRUE(v.press({XK_Escape})) << v.seen();
    const Image frozen = v.whole();
    const auto aboutBefore = aboutCalls();
    ASSERT_TRUE(v.press({XK_i})) << v.seen();
    ASSERT_TRUE(v.press({XK_r})) << v.seen();
    ASSERT_TRUE(v.waitForPasses(1)) << v.seen();
    const Image now = v.whole();
    EXPECT_EQ(now, frozen) << "i acted after Escape: " << countDifferences(now, frozen) << " pixels differ";
    EXPECT_EQ(aboutCalls(), aboutBefore) << "r acted after Escape";
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}
