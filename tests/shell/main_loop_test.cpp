// mainLoop on the headless window surface: the loop ends after the pass that drained a window-close
// event, and that pass renders (unless input was released) and presents the picture rectangle.
#include "camera/camera.h"
#include "camera/controls.h"
#include "shell/screen.h"
#include "tests/support/program_state.h"
#include "tests/support/sdl_spy.h"

#include <SDL/SDL.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

namespace {

// A colour the renderer never produces at the start position, painted everywhere before a pass.
constexpr Rgb untouched{1, 2, 3};

void pushEvent(Uint8 type) {
    SDL_Event event{};
    event.type = type;
    ASSERT_EQ(SDL_PushEvent(&event), 0) << SDL_GetError();
}

bool queueIsEmpty() {
    SDL_Event event;
    return SDL_PollEvent(&event) == 0;
}

// Pixels inside and outside rect that still hold the colour painted before the pass.
struct Untouched {
    int inside = 0;
    int outside = 0;
};

Untouched countUntouched(const RenderRect& rect) {
    Untouched count;
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x) {
            if (pixelAt(x, y) != untouched) continue;
            const bool inside = x >= rect.x && x < rect.x + rect.w && y >= rect.y && y < rect.y + rect.h;
            ++(inside ? count.inside : count.outside);
        }
    return count;
}

class MainLoop : public testing::Test {
protected:
    void SetUp() override {
        openTestScreen();
        resetProgramState();
        while (!queueIsEmpty()) {
        }
        fillScreen(untouched);
        resetSdlSpy();
    }
    void TearDown() override { resetProgramState(); }

    // A loop that never ends would hang the whole suite: the alarm ends the process instead.
    static void runLoop() {
        alarm(60);
        mainLoop();
        alarm(0);
    }
};

}  // namespace

TEST_F(MainLoop, OneCloseEventEndsTheLoopAfterOneRenderedPass) {
    pushEvent(SDL_QUIT);
    runLoop();

    EXPECT_EQ(sdlSpy.updates, (std::vector<UpdateCall>{{270, 202, 100, 75}}));
    const Untouched left = countUntouched({270, 202, 100, 75});
    EXPECT_EQ(left.inside, 0) << "pixels of the picture not drawn";
    EXPECT_EQ(left.outside, screenWidth * screenHeight - 100 * 75) << "pixels drawn outside the picture";
    EXPECT_TRUE(mouseLookStarted) << "the controls did not run in the closing pass";
    EXPECT_TRUE(queueIsEmpty());
}

TEST_F(MainLoop, SeveralCloseEventsAmongOthersEndItAfterOnePass) {
    pushEvent(SDL_USEREVENT);
    pushEvent(SDL_QUIT);
    pushEvent(SDL_ACTIVEEVENT);
    pushEvent(SDL_QUIT);
    pushEvent(SDL_QUIT);
    runLoop();
    EXPECT_EQ(sdlSpy.updates, (std::vector<UpdateCall>{{270, 202, 100, 75}}));
    EXPECT_TRUE(queueIsEmpty());
}

TEST_F(MainLoop, LargestPictureFillsAndPresentsTheWholeWindow) {
    renderWidth = 640.0;
    renderHeight = 480.0;
    pushEvent(SDL_QUIT);
    runLoop();
    EXPECT_EQ(sdlSpy.updates, (std::vector<UpdateCall>{{0, 0, 640, 480}}));
    EXPECT_EQ(countUntouched({0, 0, 640, 480}).inside, 0);
}

TEST_F(MainLoop, AfterReleaseTheFrozenPictureIsPresentedButNotRedrawn) {
    inputReleased = true;
    const Camera before = camera;
    pushEvent(SDL_QUIT);
    runLoop();

    EXPECT_EQ(sdlSpy.updates, (std::vector<UpdateCall>{{270, 202, 100, 75}}));
    const Untouched left = countUntouched({270, 202, 100, 75});
    EXPECT_EQ(left.inside, 100 * 75);
    EXPECT_EQ(left.outside, screenWidth * screenHeight - 100 * 75);
    // Rendering would have nudged the whole-numbered eye position; the controls would have started
    // mouse look.
    EXPECT_EQ(camera.position.x, before.position.x);
    EXPECT_EQ(camera.position.y, before.position.y);
    EXPECT_EQ(camera.position.z, before.position.z);
    EXPECT_FALSE(mouseLookStarted);
}
