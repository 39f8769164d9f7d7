// Two minutes of random real key and mouse events on the real program, with checks at intervals that
// it still answers commands, then Escape and the close. Every wait is for something the program does:
// its presentations (counted by the preloaded recorder), its captions or its picture, so a machine
// busy with other work makes the soak slower, never wrong.
#include "tests/support/captions.h"
#include "tests/window/expected_picture.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace window_test;

namespace {

constexpr double checkEverySeconds = 20;
// Generous: a check may have to wait for a batch of 10,000 generations, or for slow passes of the
// whole-window picture in a sanitizer build.
constexpr double checkDeadline = 600;

const std::string& about = expectedAboutCaption;

// Every key the program reads except Escape, which comes at the end, and a few it ignores. d and f
// are in the list, but a random chord never holds both: the one batch of the run is timed.
const std::vector<unsigned long> soakKeys = {
    XK_Up, XK_Down, XK_Left, XK_Right, XK_KP_End, XK_KP_Insert, XK_KP_Begin, XK_KP_Right, XK_KP_Left,
    XK_r, XK_KP_Home, XK_KP_Up, XK_KP_Prior, XK_b, XK_n, XK_KP_Add, XK_KP_Subtract, XK_c, XK_i,
    XK_space, XK_s, XK_d, XK_f, XK_a, XK_Return, XK_x,
};

const std::string& batchStarted = expectedBatchCaptions().front();

// How many batches of generations the program has begun, from its own caption calls.
int batchesBegun(const Viewer& v) {
    int count = 0;
    for (const std::string& call : v.captionCalls()) count += call == batchStarted;
    return count;
}

// Waits until the program has presented `presentations` more times (or has ended).
void waitForPresentations(Viewer& v, int presentations) {
    const int target = v.presentCount() + presentations;
    waitUntil(checkDeadline, [&] { return v.presentCount() >= target || !v.alive(); });
}

// The picture rectangle the program shows now: the one that it fills exactly.
std::optional<Rect> currentPictureRect(Viewer& v) {
    std::optional<Rect> found;
    waitUntil(checkDeadline, [&] {
        const Image window = v.whole();
        for (const Rect& r : {wholeWindow, rect320, rect200, startRect})
            if (checkFillsExactly(window, r).empty()) {
                found = r;
                return true;
            }
        return !v.alive();
    });
    return found;
}

// The program is alive and answers: r puts the About caption back after the test has changed the
// caption itself, and each of two presses of i changes much of the picture (inverting the world flips
// the eye's own cell, so the view cannot stay the same).
void checkResponsive(Viewer& v, int& events) {
    ASSERT_TRUE(v.alive()) << "the program or its X server ended: " << v.seen();
    v.client->setCaption(v.window, "soak probe");
    ASSERT_TRUE(v.holdUntil({XK_r}, [&] { return v.caption() == about; }, checkDeadline)) << "r: " << v.seen();
    events += 2;
    ASSERT_TRUE(v.waitForPasses(1, checkDeadline)) << "r was not seen up: " << v.seen();
    const auto rect = currentPictureRect(v);
    ASSERT_TRUE(rect.has_value()) << "no picture fills its rectangle: " << v.seen();
    for (int press = 0; press < 2; ++press) {
        const Image before = v.picture(*rect);
        int differing = 0;
        const bool changed = v.holdUntil({XK_i}, [&] {
            differing = countDifferences(v.picture(*rect), before);
            return differing > rect->w * rect->h / 4;
        }, checkDeadline);
        ASSERT_TRUE(changed) << "press " << press + 1 << " of i changed " << differing << " of " << rect->w * rect->h
                             << " pixels; " << v.seen();
        events += 2;
        // A pass must find i up before the next press inverts again.
        ASSERT_TRUE(v.waitForPasses(1, checkDeadline)) << "i was not seen up: " << v.seen();
    }
}

}  // namespace

TEST(Soak, TwoMinutesOfRandomRealInputThenEscapeAndClose) {
    const char* seedText = std::getenv("CELLVANE_SOAK_SEED");
    const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261207u;
    std::printf("soak seed %u (set CELLVANE_SOAK_SEED to repeat another)\n", seed);
    // Two minutes unless CELLVANE_SOAK_SECONDS asks otherwise (for a quick local try).
    const char* secondsText = std::getenv("CELLVANE_SOAK_SECONDS");
    const double soakSeconds = secondsText != nullptr ? std::strtod(secondsText, nullptr) : 120.0;
    std::mt19937 random(seed);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };

    Viewer v(withRulesRecorded());
    ASSERT_TRUE(v.waitForWindow()) << v.seen();

    int events = 0, chords = 0, motions = 0, checks = 0;
    const double batchAt = soakSeconds * uniform(15, 65) / 100.0;
    bool batchDone = false;
    const auto begin = Clock::now();
    auto elapsed = [&] { return Seconds(Clock::now() - begin).count(); };
    double nextCheck = checkEverySeconds;

    while (elapsed() < soakSeconds) {
        if (elapsed() >= nextCheck) {
            checkResponsive(v, events);
            if (HasFatalFailure()) return;
            ++checks;
            nextCheck += checkEverySeconds;
        }
        if (!batchDone && elapsed() >= batchAt) {
            // Held until the program has begun the batch (its first caption call, which the window's
            // name may show for less time than a poll takes), so that it runs once.
            const int before = batchesBegun(v);
            ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return batchesBegun(v) > before; }, checkDeadline, 0.001))
                << "no batch began: " << v.seen();
            events += 4;
            batchDone = true;
        }
        if (uniform(0, 9) < 7) {
            std::vector<unsigned long> chord;
            const int size = uniform(1, 3);
            for (int k = 0; k < size; ++k) {
                const unsigned long key = soakKeys[static_cast<std::size_t>(uniform(0, int(soakKeys.size()) - 1))];
                bool taken = false;
                for (unsigned long held : chord) taken = taken || held == key || (held == XK_d && key == XK_f) ||
                                                         (held == XK_f && key == XK_d);
                if (!taken) chord.push_back(key);
            }
            // Held for up to five presentations: a chord released at once may be missed, one held
            // longer acts for a few passes.
            for (unsigned long key : chord) v.client->keyDown(key);
            waitForPresentations(v, uniform(0, 5));
            for (unsigned long key : chord) v.client->keyUp(key);
            events += 2 * static_cast<int>(chord.size());
            ++chords;
        } else {
            v.client->moveMouseBy(uniform(-150, 150), uniform(-150, 150));
            ++events;
            ++motions;
            waitForPresentations(v, uniform(0, 1));
        }
        ASSERT_TRUE(v.alive()) << "the program or its X server ended during the soak: " << v.seen();
    }
    checkResponsive(v, events);
    if (HasFatalFailure()) return;
    ++checks;

    // Escape releases the input: i, held until passes have read it, leaves the picture as it is and
    // r leaves the caption; then the close ends the program with status 0.
    ASSERT_TRUE(v.press({XK_Escape}, 1, checkDeadline)) << v.seen();
    events += 2;
    const auto rect = currentPictureRect(v);
    ASSERT_TRUE(rect.has_value()) << "no picture fills its rectangle: " << v.seen();
    const Image frozen = v.picture(*rect);
    v.client->setCaption(v.window, "soak probe");
    ASSERT_TRUE(v.press({XK_i}, 2, checkDeadline)) << v.seen();
    ASSERT_TRUE(v.press({XK_r}, 2, checkDeadline)) << v.seen();
    events += 4;
    ASSERT_TRUE(v.waitForPasses(2, checkDeadline)) << v.seen();
    const Image after = v.picture(*rect);
    EXPECT_EQ(after, frozen) << "a key acted after Escape: " << countDifferences(after, frozen) << " pixels changed";
    EXPECT_EQ(v.caption(), "soak probe") << "r acted after Escape";

    std::printf("soak: %d real input events (%d key chords, %d mouse motions, one batch), %d checks in %.0f s\n",
                events, chords, motions, checks, elapsed());
    ::testing::Test::RecordProperty("soak_events", std::to_string(events));
    EXPECT_EQ(v.closeAndWait(checkDeadline), std::optional<int>(0)) << v.seen();
    EXPECT_TRUE(batchDone);
    const std::string errors = v.standardError();
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
}
