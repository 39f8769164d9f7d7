#include "shell/screen.h"

#include "shell/platform.h"

#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool driverChosenByUser() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return asked != nullptr && asked[0] != '\0';
}

// SDL does not fail when there is no display: over SDL 2 it quietly picks a video driver that shows
// nothing, and the classic SDL 1.2 one that draws the picture as coloured letters in the terminal
// (libcaca, made invisible by keepTextDriversQuiet). The program would run on with no window. Such
// a driver is accepted only when the user asked for it by name; otherwise the reason why no window
// can open is returned.
const char* invisibleDriverReason() {
    static char reason[200];
    char driver[32] = "";
    if (SDL_VideoDriverName(driver, sizeof driver) == nullptr) return nullptr;
    const bool invisible = std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                           std::strcmp(driver, "caca") == 0 || std::strcmp(driver, "aalib") == 0;
    if (!invisible || driverChosenByUser()) return nullptr;
    std::snprintf(reason, sizeof reason,
                  "no display is available (SDL fell back to its invisible \"%s\" video driver; "
                  "check DISPLAY, or choose a driver with SDL_VIDEODRIVER)",
                  driver);
    return reason;
}

// libcaca, where classic SDL falls back to it, takes the terminal over as it starts, or with no TERM
// ends the whole program from inside its terminal library. Unless the user chose SDL's driver or
// libcaca's, libcaca draws nowhere, so that the fallback is refused quietly as an invisible one.
void keepTextDriversQuiet() {
    if (!driverChosenByUser() && std::getenv("CACA_DRIVER") == nullptr) SDL_putenv(const_cast<char*>("CACA_DRIVER=null"));
}

}  // namespace

void initVideo(int width, int height, int bitsPerPixel) {
    endWithTheDisplay(DisplayPhase::OpeningWindow);
    // SDL's libraries can crash while they start, for one when an address-space limit lets a driver's
    // allocation fail unchecked: such a crash is reported as the start-up failure it is.
    platform::setStartUpStep("Unable to init SDL: ");
    platform::reportCrashesWhileStarting(true);
    keepTextDriversQuiet();
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
    // The guard stays on through the first presentations (see mainLoop).
    endWithTheDisplay(DisplayPhase::WindowOpen);
}
