#include "shell/screen.h"

#include "shell/pixel_mapping.h"

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

namespace {

// What the mapping is read from: a format with the same values maps colours the same way.
struct FormatKey {
    SDL_Palette* palette;
    Uint8 bitsPerPixel, bytesPerPixel;
    Uint8 losses[4], shifts[4];
    Uint32 masks[4];
    bool operator==(const FormatKey&) const = default;
};

FormatKey keyOf(const SDL_PixelFormat* f) {
    return {f->palette, f->BitsPerPixel, f->BytesPerPixel, {f->Rloss, f->Gloss, f->Bloss, f->Aloss},
            {f->Rshift, f->Gshift, f->Bshift, f->Ashift}, {f->Rmask, f->Gmask, f->Bmask, f->Amask}};
}

// The last format checked in full, and whether it passed.
FormatKey checkedFormat{};
bool checkedFormatIsDirect = false;
bool formatChecked = false;

// Reads the mapping from the format and checks it against SDL_MapRGB: in full (every value of every
// channel) the first time a format is met, and at a few colours on every later call, so that the
// mapping used is always one SDL_MapRGB gives for this format. False when the format has a palette or
// the check fails.
bool readDirectMapping(SDL_PixelFormat* format, DirectMapping& m) {
    if (format->palette != nullptr) return false;
    if (format->Rloss > 8 || format->Gloss > 8 || format->Bloss > 8) return false;
    if (format->Rshift > 31 || format->Gshift > 31 || format->Bshift > 31) return false;
    m = {format->Rloss, format->Gloss, format->Bloss, format->Rshift, format->Gshift, format->Bshift, SDL_MapRGB(format, 0, 0, 0)};
    const FormatKey key = keyOf(format);
    if (formatChecked && key == checkedFormat) {
        if (!checkedFormatIsDirect) return false;
        return SDL_MapRGB(format, 255, 255, 255) == mapDirect(m, 0xFFFFFF) &&
               SDL_MapRGB(format, 0x12, 0x9C, 0xE5) == mapDirect(m, 0x129CE5);
    }
    checkedFormat = key;
    formatChecked = true;
    checkedFormatIsDirect = false;
    for (std::uint32_t v = 0; v < 256; ++v) {
        const auto c = static_cast<Uint8>(v);
        if (SDL_MapRGB(format, c, 0, 0) != mapDirect(m, v << 16)) return false;
        if (SDL_MapRGB(format, 0, c, 0) != mapDirect(m, v << 8)) return false;
        if (SDL_MapRGB(format, 0, 0, c) != mapDirect(m, v)) return false;
    }
    checkedFormatIsDirect = true;
    return true;
}

}  // namespace

void putPixelBlock(int x, int y, int w, int h, const std::uint32_t* rgb) {
    DirectMapping m;
    const int bytesPerPixel = screen->format->BytesPerPixel;
    if (bytesPerPixel < 2 || bytesPerPixel > 4 || !readDirectMapping(screen->format, m)) {
        for (int row = 0; row < h; ++row)
            for (int column = 0; column < w; ++column) {
                const std::uint32_t c = rgb[row * w + column];
                putPixel(x + column, y + row, static_cast<Uint8>(c >> 16), static_cast<Uint8>(c >> 8), static_cast<Uint8>(c));
            }
        return;
    }
    auto* pixels = static_cast<Uint8*>(screen->pixels);
    // The same addressing as putPixel's, row by row.
    for (int row = 0; row < h; ++row) {
        const int rowStart = (y + row) * screen->pitch;
        const std::uint32_t* source = rgb + row * w;
        switch (bytesPerPixel) {
        case 2:
            mapRow16(m, source, w, reinterpret_cast<Uint16*>(pixels) + rowStart / 2 + x);
            break;
        case 3: {
            Uint8* target = pixels + rowStart + 3 * x;
            for (int column = 0; column < w; ++column) {
                const Uint32 value = mapDirect(m, source[column]);
                target[3 * column] = value & 0xFF;
                target[3 * column + 1] = (value >> 8) & 0xFF;
                target[3 * column + 2] = (value >> 16) & 0xFF;
            }
            break;
        }
        default:
            mapRow32(m, source, w, reinterpret_cast<Uint32*>(pixels) + rowStart / 4 + x);
            break;
        }
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
