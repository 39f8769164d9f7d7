#include "shell/screen.h"
#include "tests/support/program_state.h"
#include "tests/support/sdl_spy.h"

#include <gtest/gtest.h>

TEST(Screen, ClearScreenPresentsTheWholeWindowOnce) {
    openTestScreen();
    resetSdlSpy();
    clearScreen();
    ASSERT_EQ(sdlSpy.updates.size(), 1u);
    EXPECT_EQ(sdlSpy.updates[0], (UpdateCall{0, 0, 640, 480}));
}
