// Another build of the program (for another processor, run by an emulator) against the one built
// here, both in real windows: the same title, the same start picture and keypad-9 picture pixel for
// pixel, the last caption of a d+f batch, and status 0 on closing. CELLVANE_OTHER_PROGRAM gives the
// command that starts the other build, its words separated by spaces; CELLVANE_OTHER_TARGETS names
// the vector targets to run it on, one run each (the batch in the first), or none for its best one.
#include "tests/support/captions.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace window_test;

namespace {

std::vector<std::string> words(const char* text) {
    std::vector<std::string> list;
    std::istringstream in(text == nullptr ? "" : text);
    for (std::string w; in >> w;) list.push_back(w);
    return list;
}

// The emulator is slow: generous deadlines, each met as soon as the awaited thing is seen.
constexpr double deadline = 300;

struct Pictures {
    Image start;
    Image keypad9;
};

// A picture of rect once it is whole: the window black outside rect, no black pixel inside, and the
// same again after two more presentations (a pass that still saw a key held may clear the window).
// With `like`, waits until the picture is that one; the last one seen is returned either way.
Image settledPicture(Viewer& v, Rect rect, const Image* like) {
    Image seen;
    std::string fault = "no picture";
    const bool settled = waitUntil(deadline, [&] {
        const Image window = v.whole();
        fault = checkFillsExactly(window, rect);
        if (!fault.empty()) return false;
        seen = window.crop(rect.x, rect.y, rect.w, rect.h);
        if (like != nullptr) return seen == *like;
        if (!v.waitForPresents(rect, 2, deadline)) return false;
        return v.picture(rect) == seen;
    });
    EXPECT_TRUE(settled || like != nullptr) << fault << "; " << v.seen();
    return seen;
}

// Checks the viewer's title, takes its start picture, then holds keypad 9 until the picture fills the
// window and takes that.
Pictures picturesOf(Viewer& v, const Pictures* like) {
    Pictures p;
    if (!v.waitForWindow(deadline)) {
        ADD_FAILURE() << "no window: " << v.seen();
        return p;
    }
    EXPECT_TRUE(v.waitForCaption(expectedTitleCaption, deadline)) << v.seen();
    p.start = settledPicture(v, startRect, like == nullptr ? nullptr : &like->start);
    EXPECT_EQ(checkStartWorldColours(p.start), "");
    std::string fault;
    EXPECT_TRUE(v.holdUntil({XK_KP_Prior}, [&] { return (fault = checkFillsExactly(v.whole(), wholeWindow)).empty(); }, deadline))
        << fault << "; " << v.seen();
    p.keypad9 = settledPicture(v, wholeWindow, like == nullptr ? nullptr : &like->keypad9);
    return p;
}

int differences(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) count += a.pixels[i] != b.pixels[i];
    return count;
}

ProgramOptions otherBuild(const std::string& target) {
    ProgramOptions options;
    options.withRulesFile = true;
    options.command = words(std::getenv("CELLVANE_OTHER_PROGRAM"));
    if (!target.empty()) options.extraEnv.push_back("CELLVANE_VECTOR_TARGET=" + target);
    return options;
}

}  // namespace

TEST(OtherBuild, DrawsTheSamePicturesRunsABatchAndEndsWhenClosed) {
    ASSERT_FALSE(words(std::getenv("CELLVANE_OTHER_PROGRAM")).empty()) << "CELLVANE_OTHER_PROGRAM is not set";
    ProgramOptions here;
    here.withRulesFile = true;
    Pictures expected;
    {
        Viewer v(here);
        expected = picturesOf(v, nullptr);
        EXPECT_EQ(v.closeAndWait(deadline), std::optional<int>(0)) << v.seen();
    }
    ASSERT_FALSE(HasFailure());

    std::vector<std::string> targets = words(std::getenv("CELLVANE_OTHER_TARGETS"));
    if (targets.empty()) targets.push_back("");
    for (const std::string& target : targets) {
        SCOPED_TRACE(target.empty() ? "the other build on its best target" : "the other build on " + target);
        Viewer v(otherBuild(target));
        const Pictures seen = picturesOf(v, &expected);
        EXPECT_EQ(differences(seen.start, expected.start), 0) << "pixels of the start picture unlike this build's";
        EXPECT_EQ(differences(seen.keypad9, expected.keypad9), 0) << "pixels of the keypad-9 picture unlike this build's";
        if (target == targets.front()) {
            // A batch: held until its first caption shows, then released; it ends with its last one.
            const std::vector<std::string>& batch = expectedBatchCaptions();
            EXPECT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return v.caption() != expectedTitleCaption; }, deadline, 0.001))
                << v.seen();
            EXPECT_TRUE(v.waitForCaption(batch.back(), deadline)) << v.seen();
            EXPECT_TRUE(v.waitForPresents(wholeWindow, 3, deadline)) << v.seen();
            EXPECT_EQ(v.caption(), batch.back()) << "another batch followed";
        }
        EXPECT_EQ(v.closeAndWait(deadline), std::optional<int>(0)) << v.seen();
        EXPECT_EQ(v.standardError(), "");
        std::printf("[ other    ] %s: %s\n", target.empty() ? "best target" : target.c_str(),
                    HasFailure() ? "differs or failed" : "same pictures, batch and exit status");
    }
}
