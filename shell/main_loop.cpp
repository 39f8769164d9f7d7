#include "shell/screen.h"

#include "camera/controls.h"
#include "render/raycaster.h"
#include "shell/platform.h"

#include <SDL/SDL.h>

#include <chrono>
#include <thread>

namespace {
constexpr int startUpPresentations = 3;
}  // namespace

void mainLoop() {
    using Clock = std::chrono::steady_clock;
    const auto minimumPass = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(minimumPassSeconds));
    bool quit = false;
    // SDL finishes its start in the first presentations (SDL 1.2 over SDL 2 builds its renderer's
    // textures and shaders there), so a crash of SDL's libraries before the third has returned is
    // reported as the start-up failure it is; initVideo turned the reporting on.
    int presentations = 0;
    SDL_Event event;
    while (!quit) {
        const auto passStart = Clock::now();
        // The keyboard and mouse are read later as held state, which draining the queue keeps current.
        while (SDL_PollEvent(&event) != 0)
            if (event.type == SDL_QUIT) quit = true;

        if (!inputReleased) {
            lockScreen();
            renderFrame();
            unlockScreen();
        }
        const RenderRect rect = renderRect();
        updateRect(rect.x, rect.y, rect.w, rect.h);
        if (presentations < startUpPresentations && ++presentations == startUpPresentations)
            platform::reportCrashesWhileStarting(false);
        if (!inputReleased) handleControls();

        // Every row acts once per pass, so passes are paced; a pass that already took longer (a large
        // picture, a batch of generations) is not slowed further.
        if (!quit) std::this_thread::sleep_until(passStart + minimumPass);
    }
}
