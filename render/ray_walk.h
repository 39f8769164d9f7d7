// Inside the renderer: what the walks of one frame share. renderFrame fills a FrameRays, brings the
// free-space view of grid up to date, and hands both to walkPicture, one vector kernel built for every
// instruction set and chosen at run time.
#pragma once

#include "camera/vec3.h"
#include "world/grid.h"

#include <cstddef>
#include <cstdint>

constexpr int maxPictureWidth = 640;
constexpr int maxPictureHeight = 480;
// No vector walks more rays side by side than this (AVX-512 walks 8); per-column tables are padded by
// as much, so that the columns past the picture's right edge in the last tile of a row read valid
// values.
constexpr int maxRayLanes = 16;

// What findClearance found for a frame (see there).
enum class Clearance { none, perPixel, emptyInterior, crowded };

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
    const double* cx;                 // per column (padded): 2F / W
    const double* cy;                 // per row: 2G / H
    const std::uint32_t* captionRed;  // per column (padded): red 255 and the green of a Caption cell, 0xRRGG00
    const std::uint8_t* rampBlue;     // per row: the blue of a Caption cell
    // Output, row-major with width entries per row, each colour packed as 0xRRGGBB.
    std::uint32_t* rgb;
    // What findClearance found: with perPixel, each ray's clearance is in clearance.
    Clearance found;
};

// The free-space view of grid. A ray's octant tells the directions of its steps: bit a of it is set
// when the ray steps by -1 along axis a (0 for x, 1 for y, 2 for z), and clear for +1. A cell's reach
// is a number k such that the box of k x k x k cells that has the cell as its corner and extends k - 1
// cells ahead along each axis, in the directions of the octant, holds only Empty cells inside the
// grid; 0 marks a solid cell. freeReach holds a table for each octant, with the side of every cell's
// largest such box, and after them the cube table: for every cell its radius r, the largest with an
// Empty cube of side 2r - 1 centred on it inside the grid, which holds the box of side r in every
// octant, so r is a reach in all of them. Each table is padded so that an eight-byte load at its last
// cell stays inside.
constexpr int octantCount = 8;
constexpr int freeReachTables = octantCount + 1;
constexpr std::size_t freeReachCells = gridSize * gridSize * gridSize + 64;
extern std::uint8_t freeReach[freeReachTables][freeReachCells];
// Where in freeReach (counted in bytes from its start) the rays of each octant read their cells'
// reaches this frame: in their octant's table, or in the cube table.
extern std::int64_t freeReachOffset[octantCount];

// The step along axis a (0 for x, 1 for y, 2 for z) of the rays of octant: -1 or +1.
constexpr int octantSign(int octant, int a) {
    return (octant >> a & 1) != 0 ? -1 : 1;
}

inline int cellOffset(int x, int y, int z) {
    return (x * gridSize + y) * gridSize + z;
}

// The walks take steps in jumps. Along each axis the side distances form a sequence of their own
// (the first one, plus the delta, plus the delta again, each sum rounded), whatever the order in which
// the axes take their turns, and the plain walk takes the elements of the three sequences in
// increasing order (ties to z over y over x). So all elements below a bound are taken before any
// other, and the cell the walk reaches after them is found by advancing each axis on its own while its
// side distance is below the bound, with the same additions and no comparison between the axes.
//
// From a cell of reach k in the ray's octant, every cell within k - 1 steps ahead along each axis is
// Empty and inside the grid: the walk may take, without looking, all the elements below the smallest
// of the axes' side distances k - 1 steps ahead. The side distance of an axis n steps ahead,
// side + n * delta, is lowered by a relative 2^-30, far more than the product differs from the
// repeated rounded sums and far less than a delta, so that rounding can only make the jump shorter.
// Then the walk takes one ordinary step, the one that may leave that box, and looks again.
constexpr double jumpMargin = 1.0 - 0x1p-30;
inline double jumpBound(double side, double delta, int stepsAhead) {
    return (side + stepsAhead * delta) * jumpMargin;
}

// Brings the free-space view up to date with grid: when the Empty cells differ from those its tables
// were built from, whoever changed them, the cube table is built again and the octants' tables are out
// of date. A frame that finds the world changed reads the cube table; one that finds it as it was,
// the octants' tables, each built when a walk first needs it.
void updateFreeSpace();
// The octants whose rays can read their tables this frame, as bits (bit o for octant o).
extern unsigned freeReachReadyOctants;
inline unsigned freeReachReady() {
    return freeReachReadyOctants;
}
// Makes the tables of the octants whose bits are set in octants ready; the walks call it before they
// read a table.
void buildOctants(unsigned octants);

// Whether cell (x, y, z) of the grid was Empty when updateFreeSpace last looked: bit z of the
// column's word.
std::uint64_t emptyColumn(int x, int y);

// Per pixel of the picture, row-major with rays.width entries per row, a distance from the eye along
// the pixel's ray such that every cell of the grid's interior that the walk enters at a side distance
// below it is Empty (as updateFreeSpace found the grid). findClearance works it out (perPixel), or
// finds instead that the interior holds no solid cell, so that every cell a walk enters before it
// leaves the interior is Empty, and that the jump there may pay for some ray (emptyInterior, see
// shellJumpPays), or that more than a sixth of its cells are solid, so that rays stop within a few
// cells (crowded). Otherwise none: where the interior holds too many solid cells for the clearance to
// pay, where the eye is not in the interior, where the camera's vectors cannot be inverted, or where
// in an empty interior no ray's jump would pay.
extern float clearance[maxPictureWidth * maxPictureHeight + maxRayLanes];
Clearance findClearance(const FrameRays& rays);

// In an empty interior every ray may jump straight to the interior's last cell on its way, but the
// jump's set-up costs more than the free boxes' few long jumps of most rays. It pays where the box of
// the eye's cell (the cube of its radius, a reach in every octant) ends before a share of the ray's way
// to the interior's last cell: box and exit are the smallest of the axes' side distances that far
// ahead. Such rays start near a wall, and those running along it would go on in boxes of one or two
// cells all the way (measured: 1.3 to 2 times as fast with the jump from a corner or along a wall).
constexpr double shellJumpShare = 0.5;
inline bool shellJumpPays(double box, double exit) {
    return box < shellJumpShare * exit;
}
// The eye's radius in the cube table.
inline int eyeRadius(const FrameRays& rays) {
    return freeReach[octantCount][cellOffset(rays.eyeCell[0], rays.eyeCell[1], rays.eyeCell[2])];
}

// The side distance of axis a below which a ray of rays stays in the grid's interior, from the
// ray's side distance, delta and direction (step -1 or +1) along that axis, lowered as jumpBound does.
inline double interiorBound(const FrameRays& rays, int a, double side, double delta, int step) {
    const int ahead = step < 0 ? rays.eyeCell[a] - interiorFirst : interiorLast - rays.eyeCell[a];
    return jumpBound(side, delta, ahead < 0 ? 0 : ahead);
}

// Walks every ray of the picture, writing the colours to rays.rgb.
void walkPicture(const FrameRays& rays);
// The vector target walkPicture runs on now, as the kernel itself reports it.
std::int64_t walkPictureTarget();
// The jumps' count of the steps an axis took from side distance before[k] to after[k], with delta[k],
// for k below count (a multiple of maxRayLanes), as the vector walk counts them on the target it runs.
void countJumpSteps(const double* before, const double* after, const double* delta, double* steps, std::size_t count);
// Side distance side[k] of an axis with delta[k] after the long jumps' binade jumps to bound[k]: the
// first of side, side + delta, side + delta + delta, ... (each sum rounded) not below the bound, as
// the vector walk finds it on the target it runs; for k below count (a multiple of maxRayLanes).
void jumpByBinades(const double* side, const double* bound, const double* delta, double* after, std::size_t count);

// Walks the ray of column i and row j on its own and returns the face of its last step (startFace if
// it takes none); writes its colour to *rgb.
int walkOneRay(const FrameRays& rays, int i, int j, std::uint32_t* rgb);

// The vector walks read a Cell as one little-endian 32-bit word: red in the lowest byte, state in the
// highest.
static_assert(sizeof(Cell) == 4 && offsetof(Cell, red) == 0 && offsetof(Cell, green) == 1 && offsetof(Cell, blue) == 2 &&
              offsetof(Cell, state) == 3);

// The channels a Live cell keeps, by the face its ray crossed (index hitFace: 0 before any step, then
// 1 for x, 2 for y, 3 for z): an x face drops blue, a y face red, a z face (and none) green.
constexpr std::uint32_t liveFaceChannels[4] = {0xFF00FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

// The colour of a solid cell seen across face, as the plain walk shades it, packed as 0xRRGGBB.
// caption is the colour a Caption cell takes at this pixel.
inline std::uint32_t shadeCell(const Cell& cell, int face, std::uint32_t caption) {
    const std::uint32_t colour = std::uint32_t{cell.red} << 16 | std::uint32_t{cell.green} << 8 | cell.blue;
    switch (cell.state) {
    case Live: return colour & liveFaceChannels[face];
    case Caption: return caption;
    default: return colour;
    }
}
