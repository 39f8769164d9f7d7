// Inside the renderer: what the walks of one frame share. renderFrame fills a FrameRays, builds the
// free-space view of grid, and hands both to the widest walk the processor runs.
#pragma once

#include "camera/vec3.h"
#include "world/grid.h"

#include <cstdint>

constexpr int maxPictureWidth = 640;
constexpr int maxPictureHeight = 480;

// Everything a ray needs besides its pixel, computed once per frame with the arithmetic of the plain
// walk, so that every ray's values come out bit for bit the same.
struct FrameRays {
    int width;   // picture size in pixels: columns i in 0..width-1, rows j in 0..height-1
    int height;
    Vec3 position;  // the nudged eye point
    Vec3 right;
    Vec3 up;
    Vec3 direction;
    // Per axis x, y, z: position - floor(position) and ceil(position) - position, the brackets of the
    // first side distance for a negative and for a non-negative direction component.
    double towardLower[3];
    double towardUpper[3];
    int eyeCell[3];  // inside the grid
    int startFace;   // hitFace before the frame: the face of a ray that takes no step
    const double* cx;              // per column: 2F / W
    const double* cy;              // per row: 2G / H
    const std::uint8_t* rampGreen;  // per column: the green of a Caption cell
    const std::uint8_t* rampBlue;   // per row: the blue of a Caption cell
    // Output, row-major with width entries per row, each colour packed as 0xRRGGBB.
    std::uint32_t* rgb;
};

// The free-space view of grid: for every cell, the number of steps any walk may take from it before it
// must look at a cell again. A cell has radius k when every cell within k - 1 steps along each axis
// (a cube of side 2k - 1 around it) is Empty and inside the grid, so k steps lead at most one cell out
// of that cube; 0 marks a solid cell. Padded so that a four-byte load at the last cell stays inside.
extern std::uint8_t freeRadius[gridSize * gridSize * gridSize + 64];

inline int cellOffset(int x, int y, int z) {
    return (x * gridSize + y) * gridSize + z;
}

// Rebuilds freeRadius from grid: the portable way, and with AVX-512 for processors that have it.
void buildFreeSpacePortable();
void buildFreeSpaceAvx512();

// Walk every ray of the picture, writing the colours to rays.rgb.
void walkPicturePortable(const FrameRays& rays);
void walkPictureAvx512(const FrameRays& rays);

// Walks the ray of column i and row j on its own and returns the face of its last step (startFace if
// it takes none); writes its colour to *rgb.
int walkOneRay(const FrameRays& rays, int i, int j, std::uint32_t* rgb);

// Whether this processor runs walkPictureAvx512 and buildFreeSpaceAvx512.
bool processorHasAvx512();

// The colour of a solid cell seen across face, as the plain walk shades it, packed as 0xRRGGBB.
inline std::uint32_t shadeCell(const Cell& cell, int face, std::uint8_t rampGreen, std::uint8_t rampBlue) {
    const std::uint32_t r = cell.red, g = cell.green, b = cell.blue;
    switch (cell.state) {
    case Live:
        if (face == 1) return r << 16 | g << 8;
        if (face == 2) return g << 8 | b;
        return r << 16 | b;
    case Caption:
        return 0xFF0000u | std::uint32_t{rampGreen} << 8 | rampBlue;
    default:
        return r << 16 | g << 8 | b;
    }
}
