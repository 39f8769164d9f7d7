#include "shell/screen.h"

#include <SDL/SDL.h>

double renderWidth = 100.0;
double renderHeight = 75.0;
bool inputReleased = false;
SDL_Surface* screen = nullptr;

void putPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const Uint32 value = SDL_MapRGB(screen->format, r, g, b);
    const int row = y * screen->pitch;
    auto* pixels = static_cast<Uint8*>(screen->pixels);
    switch (screen->format->BytesPerPixel) {
    case 1:
        pixels[row + x] = static_cast<Uint8>(value);
        break;
    case 2:
        reinterpret_cast<Uint16*>(pixels)[row / 2 + x] = static_cast<Uint16>(value);
        break;
    case 3: {
        Uint8* p = pixels + row + 3 * x;
        p[0] = value & 0xFF;
        p[1] = (value >> 8) & 0xFF;
        p[2] = (value >> 16) & 0xFF;
        break;
    }
    case 4:
        reinterpret_cast<Uint32*>(pixels)[row / 4 + x] = value;
        break;
    default:
        break;  // an unexpected pixel size leaves the pixel unwritten
    }
}

void updateRect(int x, int y, int w, int h) {
    SDL_UpdateRect(screen, x, y, w, h);
}

void clearScreen() {
    lockScreen();
    for (int x = 0; x < screenWidth; ++x)
        for (int y = 0; y < screenHeight; ++y) putPixel(x, y, 0, 0, 0);
    unlockScreen();
    updateRect(0, 0, screenWidth, screenHeight);
}

void lockScreen() {
    if (SDL_MUSTLOCK(screen)) SDL_LockSurface(screen);
}

void unlockScreen() {
    if (SDL_MUSTLOCK(screen)) SDL_UnlockSurface(screen);
}

RenderRect renderRect() {
    return {static_cast<int>((screenWidth / 2) - renderWidth / 2.0), static_cast<int>((screenHeight / 2) - renderHeight / 2.0),
            static_cast<int>(renderWidth), static_cast<int>(renderHeight)};
}
