// The command keys and the mouse of the real program, pressed and moved as a user does, checked in
// the window's pictures and captions.
#include "tests/window/expected_picture.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

using namespace window_test;

namespace {

const std::string title = "Cellvane 3D - with Quorbel 3D engine (press kp7,8,9 for better resolution)";
const std::string about = "About: Quorbel 3D Engine by Pellworth - Cellvane Version";

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

bool isUniform(const Image& picture, Rgb colour) {
    if (picture.pixels.empty()) return false;
    for (const Rgb& p : picture.pixels)
        if (p != colour) return false;
    return true;
}

// Starts the program with the default rules and waits until its start picture is on the screen.
struct StartedViewer {
    Viewer viewer;
    Image start;

    explicit StartedViewer(bool recordPresents = false) : viewer(withRules(recordPresents)) {
        if (!viewer.waitForWindow()) throw std::runtime_error("no window: " + viewer.standardError());
        Image window;
        if (!waitUntil(10, [&] {
                window = viewer.whole();
                return checkFillsExactly(window, startRect).empty();
            }))
            throw std::runtime_error("the start picture did not appear");
        start = window.crop(startRect.x, startRect.y, startRect.w, startRect.h);
    }

    static ProgramOptions withRules(bool recordPresents) {
        ProgramOptions options;
        options.withRulesFile = true;
        options.recordPresents = recordPresents;
        return options;
    }

    Image picture(Rect rect = startRect) { return viewer.picture(rect); }
};

}  // namespace

TEST(Commands, AboutCaptionThenEachSizeKeyClearsTheWindowAndEnlargesThePicture) {
    StartedViewer s(true);
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 10));
    ASSERT_TRUE(v.holdUntil({XK_r}, [&] { return v.caption() == about; }, 30)) << v.caption();

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
        ASSERT_TRUE(v.holdUntil({size.key}, [&] { return clearedSince(v, pressed); })) << "the window was not cleared";
        std::string fault;
        Image window;
        ASSERT_TRUE(waitUntil(30, [&] {
            window = v.whole();
            fault = checkFillsExactly(window, size.rect);
            return fault.empty();
        })) << fault;
        // Once the key is up the picture stays at its new size.
        ASSERT_TRUE(v.waitForPresents(size.rect, 2));
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
    EXPECT_EQ(v.closeAndWait(10), std::optional<int>(0));
}

TEST(Commands, InvertPlaceRemoveAndResetShowInThePicture) {
    StartedViewer s;
    Viewer& v = s.viewer;

    // Every interior cell becomes Live, the eye's cell (32, 32, 32) with colour (128, 128, 128)
    // included, so every ray stops at once and takes the face left by the last ray of the frame
    // before: the top ray of the right column, which ended on the x = 63 wall (face x drops blue).
    ASSERT_TRUE(v.holdUntil({XK_i}, [&] { return isUniform(s.picture(), {128, 128, 0}); }, 30))
        << "centre after i: " << int(s.picture().at(50, 36)[0]) << "," << int(s.picture().at(50, 36)[1]) << ","
        << int(s.picture().at(50, 36)[2]);
    // Holding i inverted once only; a pass must see it up before the next press counts.
    ASSERT_TRUE(v.waitForPresents(startRect, 3));
    EXPECT_TRUE(isUniform(s.picture(), {128, 128, 0})) << "holding i inverted more than once";
    ASSERT_TRUE(v.holdUntil({XK_i}, [&] { return s.picture() == s.start; }, 30)) << "a second i did not restore";

    // b makes the cell one unit ahead, (33, 32, 32), Live. It covers the upper right quarter of the
    // picture: the ray just above the centre meets its x face (blue dropped).
    Image placed;
    ASSERT_TRUE(v.holdUntil({XK_b}, [&] {
        placed = s.picture();
        return placed.at(50, 36) == Rgb{132, 128, 0};
    }, 30));
    EXPECT_EQ(placed.at(99, 0), (Rgb{132, 128, 0}));
    for (int j = 38; j < 75; ++j)
        for (int i = 0; i < 49; ++i) {
            ASSERT_EQ(placed.at(i, j), s.start.at(i, j)) << "lower left changed at " << i << "," << j;
        }
    ASSERT_TRUE(v.holdUntil({XK_n}, [&] { return s.picture() == s.start; }, 30)) << "n did not remove the cell";

    // c rebuilds the world without its caption: the far wall is plain grey where the letters were.
    Image reset;
    ASSERT_TRUE(v.holdUntil({XK_c}, [&] {
        reset = s.picture();
        return countCaptionPixels(reset) == 0;
    }, 30));
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
    ASSERT_TRUE(v.waitForPresents(startRect, 3));  // the first pass discards the motion gathered at start

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
    ASSERT_TRUE(waitUntil(10, [&] {
        rightmost = rightmostCaptionColumn(s.picture());
        return rightmost >= low && rightmost <= high;
    })) << "the letters end in column " << rightmost << ", expected " << low << " to " << high;
    // 45 more: the camera looks along +y and the letters are out of sight.
    v.client->moveMouseBy(45, 0);
    ASSERT_TRUE(waitUntil(10, [&] { return countCaptionPixels(s.picture()) == 0; }));
    // 90 counts left: back where it started, apart from the last bits of the turn.
    v.client->moveMouseBy(-90, 0);
    int differences = 0;
    EXPECT_TRUE(waitUntil(10, [&] { return (differences = countDifferences(s.picture(), s.start)) <= 20; }))
        << differences << " pixels differ after turning back";
    // 90 counts down: straight down at the floor, grey 128 everywhere but at most the edge columns,
    // which may meet the bottom of the side walls. A steeper or shallower turn shows a wall's grey
    // along one edge of the picture.
    v.client->moveMouseBy(0, 90);
    int floorPixels = 0;
    EXPECT_TRUE(waitUntil(10, [&] {
        const Image p = s.picture();
        floorPixels = 0;
        for (const Rgb& q : p.pixels) floorPixels += q == Rgb{128, 128, 128};
        return p.at(50, 36) == Rgb{128, 128, 128} && floorPixels >= 7500 - 2 * 75;
    })) << floorPixels << " floor pixels";
    EXPECT_EQ(v.closeAndWait(10), std::optional<int>(0));
}

TEST(Commands, DAndFRunTenThousandGenerationsWithElevenCaptionsInOrder) {
    StartedViewer s(true);
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 10));
    CaptionRecorder recorder(v.server->display, v.window);
    const int changesAtStart = recorder.changes();

    // Either key alone does nothing.
    v.tap({XK_d}, 0.3);
    v.tap({XK_f}, 0.3);
    ASSERT_TRUE(v.waitForPresents(startRect, 3));
    EXPECT_TRUE(recorder.entries().empty()) << "a caption changed: " << recorder.entries().front().caption;

    const std::vector<std::string> expected = {
        "Calculating rules started. Hang on 30 minutes.",
        "Calculating rules. 10% done",
        "Calculating rules. 20% done",
        "Calculating rules. 30% done",
        "Calculating rules. 40% done",
        "Calculating rules. 50% done",
        "Calculating rules. 60% done",
        "Calculating rules. 70% done",
        "Calculating rules. 80% done",
        "Calculating rules. 90% done",
        "FINISHED CALCULATING RULES 10000 TIMES!",
    };
    // Released as soon as the batch has begun, so that the next pass finds the keys up.
    ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return !recorder.entries().empty(); }, 30));
    ASSERT_TRUE(waitUntil(900, [&] { return recorder.entries().back().caption == expected.back(); }, 0.05))
        << "last caption: " << recorder.entries().back().caption;
    // No second batch follows.
    ASSERT_TRUE(v.waitForPresents(startRect, 3, 120));

    // A block of 1,000 generations takes a few milliseconds, quicker than another client can read
    // the window's name after each change: the window must have changed its name eleven times, and
    // the program's own caption calls give their texts in order.
    EXPECT_EQ(recorder.changes() - changesAtStart, 11);
    const std::vector<std::string> calls = v.captionCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), title);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()), expected);
    const auto entries = recorder.entries();
    const double seconds = Seconds(entries.back().at - entries.front().at).count();
    std::printf("10,000 generations in the real program: %.2f s (first to last caption)\n", seconds);
    ::testing::Test::RecordProperty("batch_seconds", std::to_string(seconds));

    // The program draws and answers again.
    ASSERT_TRUE(v.holdUntil({XK_r}, [&] { return v.caption() == about; }, 30));
    // The empty start world stays empty under the default rules.
    EXPECT_EQ(s.picture(), s.start);

    // Closed while a second batch runs: the batch finishes with all its captions (the last may come
    // too close to the end of the window to be read), and the close is seen at the next drain.
    ASSERT_TRUE(v.waitForPresents(startRect, 2));  // passes that still saw r held are over
    const int changesBefore = recorder.changes();
    ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return recorder.changes() > changesBefore; }, 30));
    EXPECT_EQ(v.closeAndWait(120), std::optional<int>(0));
    EXPECT_TRUE(waitUntil(5, [&] { return recorder.changes() == changesBefore + 11; }))
        << recorder.changes() - changesBefore << " caption changes in the interrupted run";
}

TEST(Commands, AfterEscapeNothingChangesAndClosingStillEndsTheProgram) {
    StartedViewer s;
    Viewer& v = s.viewer;
    ASSERT_TRUE(v.waitForCaption(title, 10));
    v.tap({XK_Escape}, 0.3);
    ASSERT_TRUE(v.waitForPresents(startRect, 3));
    const Image frozen = v.whole();
    ASSERT_EQ(checkFillsExactly(frozen, startRect), "");

    // Keys that would change the caption, the size, the world and the camera, and the mouse.
    for (unsigned long key : {XK_r, XK_KP_Prior, XK_i, XK_b, XK_c, XK_Up, XK_KP_Right, XK_space, XK_Escape})
        v.tap({key}, 0.15);
    v.tap({XK_d, XK_f}, 0.3);
    v.client->moveMouseBy(60, 40);
    // The program still presents its frozen picture pass after pass, and nothing in it moves.
    for (int check = 0; check < 5; ++check) {
        ASSERT_TRUE(v.waitForPresents(startRect, 2));
        ASSERT_EQ(v.whole(), frozen) << "the picture changed after Escape";
        ASSERT_EQ(v.caption(), title);
    }
    EXPECT_EQ(v.closeAndWait(10), std::optional<int>(0));
}
