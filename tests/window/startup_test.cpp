// Start-up of the real program: its window, title, first picture, messages and exit statuses.
#include "tests/support/captions.h"
#include "tests/window/expected_picture.h"
#include "tests/window/x_harness.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace window_test;

namespace {

const std::string& title = expectedTitleCaption;

}  // namespace

TEST(StartUp, OpensTheTitledWindowWithTheStartPictureAndEndsWhenClosed) {
    std::printf("[ SDL      ] the viewer runs on %s\n", sdlLibraryName().c_str());
    Viewer viewer;  // no rules.ini in its working directory
    ASSERT_TRUE(viewer.waitForWindow()) << viewer.standardError();

    EXPECT_EQ(viewer.client->size(viewer.window), std::make_pair(640, 480));
    EXPECT_TRUE(viewer.waitForCaption(title, 60)) << viewer.seen();
    const std::string net = viewer.client->netCaption(viewer.window);
    if (!net.empty()) {
        EXPECT_EQ(net, title);
    }

    // Partial updates reach the screen up to a refresh later: poll until the window settles.
    Image window;
    std::string fault;
    waitUntil(60, [&] {
        window = viewer.whole();
        fault = checkFillsExactly(window, startRect);
        return fault.empty();
    });
    ASSERT_EQ(fault, "");
    const Image picture = window.crop(startRect.x, startRect.y, startRect.w, startRect.h);
    EXPECT_EQ(checkStartWorldColours(picture), "");
    EXPECT_GT(countCaptionPixels(picture), 50) << "the caption on the far wall is not in the picture";
    // The ray just above the centre runs along x into the far wall at height 32: grey 128 + 32.
    EXPECT_EQ(picture.at(50, 36), (Rgb{160, 160, 160}));
    // The same picture as the program's ray caster draws headless for the start camera. The turns by
    // angle 0 of every pass may move a few rays that pass exactly over a cell edge.
    const int differences = countDifferences(picture, expectedStartPicture(startRect));
    EXPECT_LE(differences, 20) << "pixels that differ from the headless start picture";

    EXPECT_EQ(viewer.standardOutput(), "Error opening rules.ini, default rules loaded");
    EXPECT_EQ(viewer.closeAndWait(60), std::optional<int>(0));
    EXPECT_EQ(viewer.standardOutput(), "Error opening rules.ini, default rules loaded");
    EXPECT_EQ(viewer.standardError(), "");
}

TEST(StartUp, WithARulesFilePrintsNothingAndEndsWhenClosed) {
    ProgramOptions options;
    options.withRulesFile = true;
    Viewer viewer(options);
    ASSERT_TRUE(viewer.waitForWindow()) << viewer.standardError();
    EXPECT_TRUE(viewer.waitForCaption(title, 60)) << viewer.seen();
    // Two close requests drained in one pass end the program once, as one does.
    viewer.client->closeWindow(viewer.window);
    EXPECT_EQ(viewer.closeAndWait(60), std::optional<int>(0));
    EXPECT_EQ(viewer.standardOutput(), "");
}

TEST(StartUp, WithoutADisplayReportsWhySDLCannotStartAndExitsWithOne) {
    // Unset SDL_VIDEODRIVER: SDL would fall back to an invisible driver and run on without a window.
    // Asked for x11: SDL itself fails.
    for (const bool askForX11 : {false, true}) {
        SCOPED_TRACE(askForX11 ? "SDL_VIDEODRIVER=x11" : "SDL_VIDEODRIVER unset");
        ProgramOptions options;
        options.withRulesFile = true;
        options.withDisplay = false;
        options.setVideoDriver = askForX11;
        Viewer viewer(options);
        ASSERT_TRUE(viewer.process.waitForExit(60)) << "still running without a display";
        EXPECT_EQ(viewer.process.exitStatus, std::optional<int>(1));
        const std::string out = viewer.standardOutput();
        const std::string prefix = "Unable to init SDL: ";
        ASSERT_EQ(out.rfind(prefix, 0), 0u) << out;
        EXPECT_GT(out.size(), prefix.size() + 1) << "no reason given";
        EXPECT_EQ(out.find('\n'), out.size() - 1) << "not exactly one line: " << out;
    }
}

TEST(StartUp, RefusedVideoModeReportsAndExitsWithOne) {
    ProgramOptions options;
    options.withRulesFile = true;
    options.preload = {refuseVideoShimPath()};
    Viewer viewer(options);
    ASSERT_TRUE(viewer.process.waitForExit(60));
    EXPECT_EQ(viewer.process.exitStatus, std::optional<int>(1));
    EXPECT_EQ(viewer.standardOutput(), "Unable to set video: the video mode was refused on purpose\n");
}
