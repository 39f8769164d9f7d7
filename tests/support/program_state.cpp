#include "tests/support/program_state.h"

#include "camera/camera.h"
#include "camera/controls.h"
#include "render/raycaster.h"
#include "shell/screen.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <SDL/SDL.h>

#include <cstdlib>
#include <stdexcept>

void resetProgramState() {
    camera = startCamera;
    moveSpeed = 0.2;
    mouseLookStarted = false;
    invertKeyLatch = false;
    inputReleased = false;
    renderWidth = 100.0;
    renderHeight = 75.0;
    hitFace = 0;
    setDefaultRules();
    buildStartWorld();
}

void openTestScreen() {
    if (screen != nullptr) return;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) throw std::runtime_error(SDL_GetError());
    std::atexit(SDL_Quit);
    screen = SDL_SetVideoMode(screenWidth, screenHeight, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (screen == nullptr) throw std::runtime_error(SDL_GetError());
}

Rgb pixelAt(int x, int y) {
    const auto* row = static_cast<const Uint8*>(screen->pixels) + y * screen->pitch;
    Uint32 value = 0;
    switch (screen->format->BytesPerPixel) {
    case 1: value = row[x]; break;
    case 2: value = reinterpret_cast<const Uint16*>(row)[x]; break;
    case 3: value = row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16; break;
    default: value = reinterpret_cast<const Uint32*>(row)[x]; break;
    }
    Rgb rgb{};
    SDL_GetRGB(value, screen->format, &rgb[0], &rgb[1], &rgb[2]);
    return rgb;
}

void fillScreen(const Rgb& colour) {
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x) putPixel(x, y, colour[0], colour[1], colour[2]);
}
