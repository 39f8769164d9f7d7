// The free-space view of grid, checked against grid at the start of every frame so that it always
// matches it, whoever wrote grid since the last frame (controls, world builders, automaton).
//
// The empty cells are kept as one 64-bit word per (x, y) column, bit z set when cell (x, y, z) is
// Empty: the cells of radius 1 or more. Eroding that set by a 3 x 3 x 3 cube, with everything outside
// the grid counted as solid, leaves the cells of radius 2 or more; eroding again those of radius 3 or
// more, and so on until nothing is left. The view is built again only when the empty cells differ
// from those it was built from, which a whole comparison of the column words tells every frame.
// Finding the empty cells reads the whole 1 MiB grid every frame: that part is a vector kernel built
// for every instruction set the program dispatches to; the erosion works on 64-bit words.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/free_space.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "render/ray_walk.h"

#include <algorithm>
#include <array>
#include <cstring>

// Defined once, before the first of the kernel's builds: this file is read once per target.
#ifndef CELLVANE_FREE_SPACE_LAYOUT
#define CELLVANE_FREE_SPACE_LAYOUT
// Column words with a border one column wide on every side that stays 0 (solid): entry (x, y) of
// the grid lives at index (x + 1) * borderedSide + (y + 1).
constexpr int borderedSide = gridSize + 2;
constexpr int borderedWords = borderedSide * borderedSide;

constexpr int borderedIndex(int x, int y) {
    return (x + 1) * borderedSide + (y + 1);
}
#endif

HWY_BEFORE_NAMESPACE();
namespace cellvane::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Writes the Empty cells of every column of grid as a word, bit z set when cell (x, y, z) is Empty,
// into words at the column's bordered index.
void FindEmptyCells(std::uint64_t* words) {
#if HWY_TARGET == HWY_SCALAR
    // One lane: scanning the grid cell by cell costs more than a small picture's walk, so the grid is
    // first compared whole with the one scanned last (the C library compares memory as fast as the
    // processor can), and an unchanged grid gives the same words again.
    static CellGrid scanned;
    static std::uint64_t scannedWords[borderedWords];
    static bool anyScanned = false;
    if (anyScanned && std::memcmp(&scanned, &grid, sizeof grid) == 0) {
        std::memcpy(words, scannedWords, sizeof scannedWords);
        return;
    }
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            std::uint64_t word = 0;
            for (int z = 0; z < gridSize; ++z) word |= std::uint64_t{grid[x][y][z].state == Empty} << z;
            words[borderedIndex(x, y)] = word;
        }
    std::memcpy(&scanned, &grid, sizeof grid);
    std::memcpy(scannedWords, words, sizeof scannedWords);
    anyScanned = true;
#else
    const hn::ScalableTag<std::uint32_t> d;
    const size_t lanes = hn::Lanes(d);
    // A Cell read as a little-endian 32-bit word has its state in the top byte.
    const auto firstSolid = hn::Set(d, std::uint32_t{1} << 24);
    const auto* cells = reinterpret_cast<const std::uint32_t*>(&grid[0][0][0]);
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            const std::uint32_t* column = cells + cellOffset(x, y, 0);
            std::uint64_t word = 0;
            for (size_t z = 0; z < gridSize; z += lanes) {
                std::uint8_t bits[8] = {};
                hn::StoreMaskBits(d, hn::Lt(hn::LoadU(d, column + z), firstSolid), bits);
                std::uint64_t part;
                std::memcpy(&part, bits, sizeof part);
                word |= part << z;
            }
            words[borderedIndex(x, y)] = word;
        }
#endif
}

}  // namespace cellvane::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace cellvane {
HWY_EXPORT(FindEmptyCells);
}  // namespace cellvane

std::uint8_t freeRadius[gridSize * gridSize * gridSize + 64];

namespace {

alignas(64) std::uint64_t emptyNow[borderedWords];    // the empty cells of grid this frame
alignas(64) std::uint64_t emptyBuilt[borderedWords];  // those freeRadius was built from
alignas(64) std::uint64_t freeSet[borderedWords];     // eroded in place, level by level
alignas(64) std::uint64_t rowMeet[borderedWords];     // AND of each word with its y neighbours

// Whether freeRadius has been built at all.
bool built = false;

// Byte i of spreadBits[b] is 1 when bit i of b is set.
constexpr std::array<std::uint64_t, 256> spreadBits = [] {
    std::array<std::uint64_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if ((b >> i) & 1) table[b] |= std::uint64_t{1} << (8 * i);
    return table;
}();

// Sets the radius of the cells of column (x, y) whose bits are set in gone (all 0 so far) to radius.
void markGone(int x, int y, std::uint64_t gone, int radius) {
    std::uint8_t* column = freeRadius + cellOffset(x, y, 0);
    for (int part = 0; part < 8; ++part) {
        const std::uint64_t bits = (gone >> (8 * part)) & 0xFF;
        if (bits == 0) continue;
        std::uint64_t bytes;
        std::memcpy(&bytes, column + 8 * part, 8);
        bytes |= spreadBits[bits] * static_cast<std::uint64_t>(radius);  // bytes of 0 or 1: no carry
        std::memcpy(column + 8 * part, &bytes, 8);
    }
}

// Builds freeRadius from emptyNow unless it was built from the same empty cells.
// Each round erodes freeSet by a 3 x 3 x 3 cube in place: the y pass into rowMeet, then the x pass
// back, with the z pass as two shifts of the word whose vacated end bits are 0 because the cells
// beyond the grid count as solid. The cells a round removes have the round's number as radius. Only
// the box of columns that can still hold cells is visited; it shrinks by one column a side per round.
void buildFromEmptyCells() {
    if (built && std::memcmp(emptyNow, emptyBuilt, sizeof emptyNow) == 0) return;
    std::memcpy(emptyBuilt, emptyNow, sizeof emptyNow);
    std::memcpy(freeSet, emptyNow, sizeof emptyNow);
    built = true;
    std::memset(freeRadius, 0, sizeof freeRadius);

    int low = 0, high = gridSize - 1;  // the box: columns low..high along both x and y
    for (int radius = 1; low <= high; ++radius, ++low, --high) {
        for (int x = std::max(low - 1, 0); x <= std::min(high + 1, gridSize - 1); ++x) {
            const int row = borderedIndex(x, 0);
            for (int y = low; y <= high; ++y)
                rowMeet[row + y] = freeSet[row + y - 1] & freeSet[row + y] & freeSet[row + y + 1];
        }
        std::uint64_t any = 0;
        for (int x = low; x <= high; ++x) {
            const int row = borderedIndex(x, 0);
            for (int y = low; y <= high; ++y) {
                const std::uint64_t cube = rowMeet[row + y - borderedSide] & rowMeet[row + y] & rowMeet[row + y + borderedSide];
                const std::uint64_t kept = cube & (cube << 1) & (cube >> 1);
                const std::uint64_t gone = freeSet[row + y] & ~kept;
                freeSet[row + y] = kept;
                any |= kept;
                if (gone != 0) markGone(x, y, gone, radius);
            }
        }
        if (any == 0) break;
    }
}

}  // namespace

void updateFreeSpace() {
    HWY_DYNAMIC_DISPATCH(cellvane::FindEmptyCells)(emptyNow);
    buildFromEmptyCells();
}

#endif  // HWY_ONCE
