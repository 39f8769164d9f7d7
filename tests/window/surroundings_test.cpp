// The real program in surroundings that are not what it expects: the X display going away, standard
// streams closed or unread, a rules.ini that is no regular file or is enormous, and little memory.
// Each must end promptly with a clear line, or run normally; every wait has a deadline, so a program
// that hangs or spins fails the test instead of holding it up.
#include "tests/window/x_harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace window_test;

namespace {

namespace fs = std::filesystem;

constexpr double exitDeadline = 20;  // seconds a program given up by its display may take to end

const std::string missingRulesMessage = "Error opening rules.ini, default rules loaded";

std::string describe(const Viewer& viewer) {
    return "standard output: [" + viewer.standardOutput() + "]\nstandard error: [" + viewer.standardError() + "]";
}

// Waits for the program to end on its own; false (and the program stopped) if it has not by the
// deadline, as a program that hangs or spins would not.
bool endsOnItsOwn(Viewer& viewer) {
    return viewer.process.waitForExit(exitDeadline);
}

// Starts the program, waits for its window, then closes it as a user does: the run a program that
// copes with its surroundings makes.
void expectNormalRun(Viewer& viewer) {
    ASSERT_TRUE(viewer.waitForWindow()) << "no window\n" << describe(viewer);
    EXPECT_EQ(viewer.closeAndWait(), 0) << describe(viewer);
}

}  // namespace

// The X server ending, or another program ending the viewer's connection (xdotool windowkill does
// this), leaves the program nothing to draw on: it ends at once with status 1 and says why, where
// the exit path of SDL would wait for ever on the dead connection.
TEST(DisplayLoss, ServerEndingOrConnectionKilledEndsTheProgramWithOneLine) {
    for (const bool killServer : {true, false}) {
        SCOPED_TRACE(killServer ? "X server ended" : "connection killed by another client");
        Viewer viewer;
        ASSERT_TRUE(viewer.waitForWindow()) << describe(viewer);
        const std::string display = viewer.server->display;
        if (killServer) {
            viewer.client.reset();  // the test's own connection would die with the server
            viewer.server->process.stop();
        } else {
            viewer.client->killClientOf(viewer.window);
        }
        ASSERT_TRUE(endsOnItsOwn(viewer)) << "still running " << exitDeadline << " s after losing the display\n"
                                          << describe(viewer);
        EXPECT_EQ(viewer.process.exitStatus, 1) << describe(viewer);
        EXPECT_EQ(viewer.standardError(), "cellvane: lost the connection to X display " + display + "; ending\n");
        EXPECT_EQ(viewer.standardOutput(), missingRulesMessage);
    }
}

// Another client destroying the window (xdotool windowclose) ends the program the same way.
TEST(DisplayLoss, WindowDestroyedByAnotherClientEndsTheProgramWithOneLine) {
    Viewer viewer;
    ASSERT_TRUE(viewer.waitForWindow()) << describe(viewer);
    viewer.client->destroyWindow(viewer.window);
    ASSERT_TRUE(endsOnItsOwn(viewer)) << describe(viewer);
    EXPECT_EQ(viewer.process.exitStatus, 1) << describe(viewer);
    EXPECT_EQ(viewer.standardError().rfind("cellvane: the window on X display " + viewer.server->display +
                                               " was destroyed by another program (",
                                           0),
              0u)
        << describe(viewer);
    EXPECT_EQ(viewer.standardOutput(), missingRulesMessage);
}

// Started with standard streams closed (`cellvane 2>&-`), the program must not let the X connection
// take descriptor 2, where a library's message would be written into it and stall start-up. Here
// the message comes from the OpenGL library, made to miss its driver, which SDL then does without.
TEST(StandardStreams, ClosedAtStartTheProgramStillRuns) {
    for (const auto& closed : {std::vector<int>{2}, std::vector<int>{0, 1, 2}}) {
        SCOPED_TRACE("closed: " + std::to_string(closed.size()) + " descriptors");
        ProgramOptions options;
        options.closedStreams = closed;
        options.extraEnv = {"LIBGL_DRIVERS_PATH=/nonexistent"};
        Viewer viewer(options);
        expectNormalRun(viewer);
    }
}

// A message nobody reads (`cellvane | true`, or standard error a closed pipe while the rules file
// warns) is lost; the program goes on instead of dying of SIGPIPE.
TEST(StandardStreams, UnreadPipesDoNotEndTheProgram) {
    ProgramOptions output;
    output.brokenPipeStreams = {1};  // the missing-rules message goes to a pipe with no reader
    Viewer first(output);
    expectNormalRun(first);

    ProgramOptions errors;
    errors.brokenPipeStreams = {2};
    errors.prepareWorkDir = [](const fs::path& work) { std::ofstream(work / "rules.ini") << std::string(5000, 'h') << "\n"; };
    Viewer second(errors);
    expectNormalRun(second);
}

// A rules.ini that is no regular file is never waited on nor read: the defaults, the usual message,
// and one line saying why. An enormous sparse file is passed over without reading its holes.
TEST(RulesFileSurroundings, NoRegularFileAndHugeFilesDoNotHoldUpTheWindow) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        std::string output;
        std::string error;
    };
    const std::vector<Case> cases{
        {"a FIFO with no writer", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, missingRulesMessage,
         "rules.ini: is a FIFO (named pipe); only a regular file is read\n"},
        {"a link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, missingRulesMessage,
         "rules.ini: is a character device; only a regular file is read\n"},
        {"a 4 GiB sparse file", [](const fs::path& p) {
             std::ofstream(p).close();
             fs::resize_file(p, 4ull << 30);
         },
         "",
         "rules.ini:1: warning: heading of 4294967296 characters is longer than 99; the whole line is skipped\n"
         "rules.ini:1: warning: the file ends after line 1; the entries from line 2 on stay unused (99)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramOptions options;
        options.prepareWorkDir = [&](const fs::path& work) { c.make(work / "rules.ini"); };
        Viewer viewer(options);
        expectNormalRun(viewer);
        EXPECT_EQ(viewer.standardOutput(), c.output);
        EXPECT_EQ(viewer.standardError(), c.error);
    }
}

// Under an address-space limit (ulimit -v) the program either runs, or ends with status 1 and a
// start-up failure on standard output, also where a driver that SDL loads crashes for want of memory
// (which with this machine's libraries happens at some limits between 250 and 500 MB, not at others).
TEST(MemoryLimits, TheProgramRunsOrEndsWithAStartUpFailure) {
#ifdef CELLVANE_SANITIZED_PROGRAM
    GTEST_SKIP() << "the sanitizers reserve far more address space than any such limit";
#endif
    int failures = 0;
    for (const unsigned long megabytes : {40ul, 100ul, 250ul, 270ul, 420ul, 500ul, 1024ul}) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        ProgramOptions options;
        options.addressSpaceLimit = megabytes << 20;
        Viewer viewer(options);
        if (viewer.waitForWindow()) {
            EXPECT_EQ(viewer.closeAndWait(), 0) << describe(viewer);
            continue;
        }
        ++failures;
        ASSERT_TRUE(endsOnItsOwn(viewer)) << "neither a window nor an end\n" << describe(viewer);
        EXPECT_EQ(viewer.process.exitStatus, 1) << describe(viewer);
        const std::string out = viewer.standardOutput();
        EXPECT_EQ(out.rfind(missingRulesMessage + "Unable to ", 0), 0u) << describe(viewer);
        EXPECT_EQ(out.back(), '\n') << describe(viewer);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << describe(viewer);
        if (megabytes == 1024) ADD_FAILURE() << "1 GB is room enough for the program\n" << describe(viewer);
    }
    // SDL 1.2 over SDL 2 cannot start in 40 MB, so that the failure is seen at least once there; the
    // classic library starts in about 32 MB, less than the dynamic loader itself needs to fail
    // visibly before the program runs.
    std::printf("[ SDL      ] MemoryLimits: %s, %d of 7 limits too small\n", sdlLibraryName().c_str(), failures);
    if (!classicSdl()) {
        EXPECT_GE(failures, 1) << "40 MB is too little for SDL's libraries";
    }
}
