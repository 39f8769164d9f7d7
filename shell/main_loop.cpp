#include "shell/screen.h"

#include "camera/controls.h"
#include "render/raycaster.h"

#include <SDL/SDL.h>

#include <chrono>
#include <thread>

void mainLoop() {
    using Clock = std::chrono::steady_clock;
    const auto minimumPass = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(minimumPassSeconds));
    bool quit = false;
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
        if (!inputReleased) handleControls();

        // Every row acts once per pass, so passes are paced; a pass that already took longer (a large
        // picture, a batch of generations) is not slowed further.
        if (!quit) std::this_thread::sleep_until(passStart + minimumPass);
    }
}
