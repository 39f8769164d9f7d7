#include "shell/screen.h"

#include "shell/platform.h"

#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// SDL over SDL 2 does not fail when there is no display: it quietly picks a video driver that shows
// nothing, and the program would run on with no window. Such a driver is accepted only when the user
// asked for it by name; otherwise the reason why no window can open is returned.
const char* invisibleDriverReason() {
    static char reason[200];
    char driver[32] = "";
    if (SDL_VideoDriverName(driver, sizeof driver) == nullptr) return nullptr;
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return nullptr;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') return nullptr;
    std::snprintf(reason, sizeof reason,
                  "no display is available (SDL fell back to its invisible \"%s\" video driver; "
                  "check DISPLAY, or choose a driver with SDL_VIDEODRIVER)",
                  driver);
    return reason;
}

}  // namespace

void initVideo(int width, int height, int bitsPerPixel) {
    endWithTheDisplay(DisplayPhase::OpeningWindow);
    // SDL's libraries can crash while they start, for one when an address-space limit lets a driver's
    // allocation fail unchecked: such a crash is reported as the start-up failure it is.
    platform::setStartUpStep("Unable to init SDL: ");
    platform::reportCrashesWhileStarting(true);
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) {
        std::printf("Unable to init SDL: %s\n", SDL_GetError());
        std::exit(1);
    }
    std::atexit(SDL_Quit);
    platform::setStartUpStep("Unable to set video: ");
    if (const char* reason = invisibleDriverReason()) {
        std::printf("Unable to init SDL: %s\n", reason);
        std::exit(1);
    }
    screen = SDL_SetVideoMode(width, height, bitsPerPixel, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (screen == nullptr) {
        std::printf("Unable to set video: %s\n", SDL_GetError());
        std::exit(1);
    }
    platform::reportCrashesWhileStarting(false);
    endWithTheDisplay(DisplayPhase::WindowOpen);
}
