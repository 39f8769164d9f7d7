#include "shell/screen.h"
#include "tests/support/program_state.h"
#include "tests/support/sdl_spy.h"

#include <SDL/SDL.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Points screen at another surface for the life of the guard.
struct ScreenSwap {
    SDL_Surface* saved = screen;
    explicit ScreenSwap(SDL_Surface* surface) { screen = surface; }
    ~ScreenSwap() { screen = saved; }
};

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

SurfacePtr makeSurface(int width, int bitsPerPixel) {
    Uint32 red = 0, green = 0, blue = 0;
    if (bitsPerPixel == 16) {
        red = 0xF800;
        green = 0x07E0;
        blue = 0x001F;
    } else if (bitsPerPixel > 16) {
        red = 0x00FF0000;
        green = 0x0000FF00;
        blue = 0x000000FF;
    }
    SurfacePtr surface(SDL_CreateRGBSurface(SDL_SWSURFACE, width, screenHeight, bitsPerPixel, red, green, blue, 0));
    if (surface && bitsPerPixel == 8) {
        // A palette of distinct colours, so that different colours map to different indices.
        SDL_Color colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] = {static_cast<Uint8>(i), static_cast<Uint8>(255 - i), static_cast<Uint8>((i * 37) & 0xFF), 0};
        SDL_SetColors(surface.get(), colours, 0, 256);
    }
    return surface;
}

// The bytes a pixel of the surface's size holds for value, in memory order.
std::vector<Uint8> pixelBytes(Uint32 value, int bytesPerPixel) {
    std::vector<Uint8> bytes(bytesPerPixel);
    switch (bytesPerPixel) {
    case 1: bytes[0] = static_cast<Uint8>(value); break;
    case 2: {
        const Uint16 word = static_cast<Uint16>(value);
        std::memcpy(bytes.data(), &word, 2);
        break;
    }
    case 3:  // lowest byte first, whatever the machine's byte order
        bytes = {static_cast<Uint8>(value), static_cast<Uint8>(value >> 8), static_cast<Uint8>(value >> 16)};
        break;
    default: std::memcpy(bytes.data(), &value, 4); break;
    }
    return bytes;
}

struct Written {
    int x, y;
    Uint8 r, g, b;
};

}  // namespace

// putPixel at every pixel size, on a surface exactly as wide as the window and on one whose rows are
// padded (641 pixels wide), so that rows must be found through the pitch.
class PutPixel : public testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PutPixel, StoresTheMappedValueAtTheCornersAndNothingElse) {
    const auto [bitsPerPixel, width] = GetParam();
    openTestScreen();
    SurfacePtr surface = makeSurface(width, bitsPerPixel);
    ASSERT_TRUE(surface) << SDL_GetError();
    ASSERT_EQ(surface->format->BytesPerPixel * 8, bitsPerPixel);
    const int bytesPerPixel = bitsPerPixel / 8;
    const int pitch = surface->pitch;

    const Written writes[] = {{0, 0, 0x12, 0x34, 0x56}, {639, 479, 0xAB, 0xCD, 0xEF}, {5, 1, 0xF0, 0x0F, 0x80}};
    std::vector<std::vector<Uint8>> expectedBytes;
    for (const Written& w : writes)
        expectedBytes.push_back(pixelBytes(SDL_MapRGB(surface->format, w.r, w.g, w.b), bytesPerPixel));

    // A background byte that none of the written bytes equals, so every write shows.
    Uint8 background = 0x5A;
    for (bool clash = true; clash; ++background) {
        clash = false;
        for (const auto& bytes : expectedBytes)
            for (Uint8 byte : bytes) clash = clash || byte == background;
        if (!clash) break;
    }
    const std::size_t size = static_cast<std::size_t>(pitch) * screenHeight;
    std::memset(surface->pixels, background, size);
    std::vector<Uint8> expected(size, background);
    for (std::size_t i = 0; i < std::size(writes); ++i) {
        const std::size_t offset = static_cast<std::size_t>(writes[i].y) * pitch + writes[i].x * bytesPerPixel;
        std::memcpy(&expected[offset], expectedBytes[i].data(), bytesPerPixel);
    }

    {
        ScreenSwap swap(surface.get());
        for (const Written& w : writes) putPixel(w.x, w.y, w.r, w.g, w.b);
    }
    const auto* pixels = static_cast<const Uint8*>(surface->pixels);
    int wrongBytes = 0;
    for (std::size_t i = 0; i < size; ++i)
        if (pixels[i] != expected[i]) ++wrongBytes;
    EXPECT_EQ(wrongBytes, 0);
    const std::size_t last = static_cast<std::size_t>(479) * pitch + 639 * bytesPerPixel;
    EXPECT_EQ(std::memcmp(pixels + last, expectedBytes[1].data(), bytesPerPixel), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryPixelSize, PutPixel,
                         testing::Combine(testing::Values(8, 16, 24, 32), testing::Values(640, 641)),
                         [](const testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return std::to_string(std::get<0>(info.param)) + "bits" +
                                    std::to_string(std::get<1>(info.param)) + "wide";
                         });

TEST(Screen, PutPixelOnTheWindowSurfaceReadsBackTheColour) {
    openTestScreen();
    putPixel(0, 0, 10, 20, 30);
    putPixel(639, 479, 200, 100, 50);
    EXPECT_EQ(pixelAt(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(pixelAt(639, 479), (Rgb{200, 100, 50}));
    const auto* first = static_cast<const Uint32*>(screen->pixels);
    EXPECT_EQ(first[0], SDL_MapRGB(screen->format, 10, 20, 30));
}

TEST(Screen, ClearScreenBlackensEveryPixelAndPresentsTheWholeWindowOnce) {
    openTestScreen();
    std::memset(screen->pixels, 0xFF, static_cast<std::size_t>(screen->pitch) * screenHeight);
    resetSdlSpy();
    clearScreen();
    ASSERT_EQ(sdlSpy.updates.size(), 1u);
    EXPECT_EQ(sdlSpy.updates[0], (UpdateCall{0, 0, 640, 480}));
    int notBlack = 0;
    for (int y = 0; y < screenHeight; ++y)
        for (int x = 0; x < screenWidth; ++x)
            if (pixelAt(x, y) != Rgb{0, 0, 0}) ++notBlack;
    EXPECT_EQ(notBlack, 0);
}

TEST(Screen, UpdateRectPassesItsValuesUnchanged) {
    openTestScreen();
    resetSdlSpy();
    updateRect(0, 0, 640, 480);
    updateRect(270, 202, 100, 75);
    updateRect(3, 5, 7, 11);
    EXPECT_EQ(sdlSpy.updates, (std::vector<UpdateCall>{{0, 0, 640, 480}, {270, 202, 100, 75}, {3, 5, 7, 11}}));
}

TEST(Screen, RenderRectCentresEachPictureSize) {
    struct Case {
        double width, height;
        RenderRect rect;
    };
    const Case cases[] = {
        {100.0, 75.0, {270, 202, 100, 75}},
        {200.0, 150.0, {220, 165, 200, 150}},
        {320.0, 240.0, {160, 120, 320, 240}},
        {640.0, 480.0, {0, 0, 640, 480}},
    };
    for (const Case& c : cases) {
        renderWidth = c.width;
        renderHeight = c.height;
        const RenderRect rect = renderRect();
        EXPECT_EQ(rect.x, c.rect.x) << c.width;
        EXPECT_EQ(rect.y, c.rect.y) << c.width;
        EXPECT_EQ(rect.w, c.rect.w) << c.width;
        EXPECT_EQ(rect.h, c.rect.h) << c.width;
    }
    renderWidth = 100.0;
    renderHeight = 75.0;
}
