// initVideo's start-up failures, each run in a fresh child process (SDL is set up once per process).
#include "shell/screen.h"
#include "tests/support/sdl_spy.h"
#include "world/grid.h"

#include <SDL/SDL.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// When set, SDL_SetVideoMode fails the way it does when no mode can be had.
bool refuseVideoMode = false;

// The child's standard output is collected in a file and copied to its standard error between << and
// >> when it exits, so the death test sees exactly what the program printed there.
std::FILE* collectedOutput = nullptr;

void copyCollectedOutput() {
    std::fflush(stdout);
    std::rewind(collectedOutput);
    std::fputs("<<", stderr);
    for (int c = std::fgetc(collectedOutput); c != EOF; c = std::fgetc(collectedOutput)) std::fputc(c, stderr);
    std::fputs(">>", stderr);
}

void collectStandardOutput() {
    std::fflush(stdout);
    collectedOutput = std::tmpfile();
    dup2(fileno(collectedOutput), STDOUT_FILENO);
    std::atexit(copyCollectedOutput);
}

void noDisplayAnywhere() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

class InitVideo : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

extern "C" SDL_Surface* SDL_SetVideoMode(int width, int height, int bitsPerPixel, Uint32 flags) {
    if (refuseVideoMode) {
        SDL_SetError("no such mode");
        return nullptr;
    }
    static auto real = reinterpret_cast<SDL_Surface* (*)(int, int, int, Uint32)>(dlsym(RTLD_NEXT, "SDL_SetVideoMode"));
    return real(width, height, bitsPerPixel, flags);
}

TEST_F(InitVideo, WithoutADisplayItReportsAndExitsWithOne) {
    EXPECT_EXIT(
        {
            noDisplayAnywhere();
            collectStandardOutput();
            initVideo(screenWidth, screenHeight, 32);
            std::exit(0);
        },
        testing::ExitedWithCode(1), "<<Unable to init SDL: [^\n]+\n>>");
}

TEST_F(InitVideo, InvisibleDriverAskedForByNameOpensTheWindow) {
    EXPECT_EXIT(
        {
            noDisplayAnywhere();
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            initVideo(screenWidth, screenHeight, 32);
            const bool opened = screen != nullptr && screen->w == 640 && screen->h == 480 &&
                                screen->format->BytesPerPixel == 4;
            std::fprintf(stderr, opened ? "opened" : "wrong surface");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^opened$");
}

TEST_F(InitVideo, FailedVideoModeReportsSdlsReasonAndExitsWithOne) {
    EXPECT_EXIT(
        {
            noDisplayAnywhere();
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            refuseVideoMode = true;
            collectStandardOutput();
            initVideo(screenWidth, screenHeight, 32);
            std::exit(0);
        },
        testing::ExitedWithCode(1), "<<Unable to set video: no such mode\n>>");
}

// SDL 1.2 over SDL 2 finishes its start in the first presentations of the main loop: a crash of
// SDL's libraries up to the third of them ends the program with the start-up failure, as a crash in
// initVideo does.
TEST_F(InitVideo, SdlCrashingInTheThirdPresentationIsAStartUpFailure) {
    EXPECT_EXIT(
        {
            noDisplayAnywhere();
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            std::fflush(stdout);
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the death test reads standard error
            initVideo(screenWidth, screenHeight, 32);
            buildStartWorld();
            resetSdlSpy();
            sdlSpy.crashingUpdate = 3;
            alarm(60);
            mainLoop();  // no close event: only the crash ends it
            std::exit(0);
        },
        testing::ExitedWithCode(1), "^Unable to set video: SDL's libraries crashed \\(\\w.*\\)\n");
}
