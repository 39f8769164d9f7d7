// Inside the shell: how SDL_MapRGB maps a colour into a surface format without a palette, and the
// vector kernel that maps whole rows of colours that way.
#pragma once

#include <cstdint>

// Each channel loses its low bits and is shifted into place; the bits every colour has (an opaque
// alpha) are added.
struct DirectMapping {
    int redLoss, greenLoss, blueLoss;
    int redShift, greenShift, blueShift;
    std::uint32_t always;
};

inline std::uint32_t mapDirect(const DirectMapping& m, std::uint32_t rgb) {
    const std::uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return (r >> m.redLoss) << m.redShift | (g >> m.greenLoss) << m.greenShift | (b >> m.blueLoss) << m.blueShift | m.always;
}

// Maps count colours (0xRRGGBB) with m and stores them as 4-byte or as 2-byte pixels (the low half of
// each mapped value), exactly as mapDirect maps them one by one.
void mapRow32(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint32_t* pixels);
void mapRow16(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint16_t* pixels);
