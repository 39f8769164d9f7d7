// The free-space view of grid, checked against grid at the start of every frame so that it always
// matches it, whoever wrote grid since the last frame (controls, world builders, automaton).
//
// The empty cells are kept as one 64-bit word per (x, y) column, bit z set when cell (x, y, z) is
// Empty: the cells whose box of side 1 is free. Finding them reads the whole 1 MiB grid every frame:
// that part is a vector kernel built for every instruction set the program dispatches to. When they
// differ from those the tables were built from, the cube table is built again at once and every
// octant's table is out of date; an octant's table is built again, on 64-bit words, when a walk first
// needs it in a frame that finds the world as it was.
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

std::uint8_t freeReach[freeReachTables][freeReachCells];
std::int64_t freeReachOffset[octantCount];
unsigned freeReachReadyOctants = 0;

namespace {

alignas(64) std::uint64_t emptyNow[borderedWords];    // the empty cells of grid this frame
alignas(64) std::uint64_t emptyBuilt[borderedWords];  // those the tables were built from
alignas(64) std::uint64_t freeSet[borderedWords];     // eroded in place, level by level
alignas(64) std::uint64_t rowMeet[borderedWords];     // AND of each word with its y neighbours

std::uint8_t* const cubeReach = freeReach[octantCount];

// The number of rounds of an octant's build that kept each cell, one bit of it per plane.
constexpr int keptRoundBits = 6;
static_assert(gridSize <= 1 << keptRoundBits, "a count of up to gridSize - 1 rounds fits the planes");
alignas(64) std::uint64_t keptRounds[keptRoundBits][borderedWords];

// Whether the cube table has been built at all.
bool built = false;
// Bit o set when freeReach[o] is up to date with emptyBuilt.
unsigned builtOctants = 0;

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
    std::uint8_t* column = cubeReach + cellOffset(x, y, 0);
    for (int part = 0; part < 8; ++part) {
        const std::uint64_t bits = (gone >> (8 * part)) & 0xFF;
        if (bits == 0) continue;
        std::uint64_t bytes;
        std::memcpy(&bytes, column + 8 * part, 8);
        bytes |= spreadBits[bits] * static_cast<std::uint64_t>(radius);  // bytes of 0 or 1: no carry
        std::memcpy(column + 8 * part, &bytes, 8);
    }
}

// Builds the cube table from emptyNow unless it was built from the same empty cells; reports whether
// it did.
// Each round erodes freeSet by a 3 x 3 x 3 cube in place: the y pass into rowMeet, then the x pass
// back, with the z pass as two shifts of the word whose vacated end bits are 0 because the cells
// beyond the grid count as solid. The cells a round removes have the round's number as radius. Only
// the box of columns that can still hold cells is visited; it shrinks by one column a side per round.
bool buildFromEmptyCells() {
    if (built && std::memcmp(emptyNow, emptyBuilt, sizeof emptyNow) == 0) return false;
    std::memcpy(emptyBuilt, emptyNow, sizeof emptyNow);
    std::memcpy(freeSet, emptyNow, sizeof emptyNow);
    built = true;
    std::memset(cubeReach, 0, freeReachCells);

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
    return true;
}

// The column word with every bit moved to the cell one step back along z (toward lower z for
// sign +1): bit z of the result is bit z + sign of word, and the cells beyond the grid count as solid.
std::uint64_t nextAlongZ(std::uint64_t word, int sign) {
    return sign > 0 ? word >> 1 : word << 1;
}

// Builds freeReach[octant] from emptyBuilt. The cells whose box of side k is free form a set that
// shrinks as k grows: the box of side k + 1 at a cell is the union of the boxes of side k at the
// cell and at its seven neighbours one step ahead, so each round meets the set with itself moved
// back one step along y, x and z. Working toward the octant's direction, each word is replaced only
// after the words ahead of it were read. A cell's reach is 1 and the number of rounds that keep it:
// counted for 64 cells at once, the count's bits in planes of words.
void buildOctant(int octant) {
    const int sx = octantSign(octant, 0), sy = octantSign(octant, 1), sz = octantSign(octant, 2);
    std::memcpy(freeSet, emptyBuilt, sizeof freeSet);
    std::memset(keptRounds, 0, sizeof keptRounds);
    for (int reach = 1; reach < gridSize; ++reach) {
        // Columns whose box of side reach + 1 can lie inside the grid: reach cells ahead of them.
        const int span = gridSize - reach;
        std::uint64_t any = 0;
        for (int u = 0; u <= span; ++u) {
            const int x = sx > 0 ? u : gridSize - 1 - u;
            for (int v = 0; v <= span; ++v) {
                const int y = sy > 0 ? v : gridSize - 1 - v;
                const int here = borderedIndex(x, y);
                const std::uint64_t word = freeSet[here];
                if (word == 0) continue;
                const std::uint64_t meet =
                    word & freeSet[here + sy] & freeSet[here + sx * borderedSide] & freeSet[here + sx * borderedSide + sy];
                const std::uint64_t kept = meet & nextAlongZ(meet, sz);
                freeSet[here] = kept;
                any |= kept;
                std::uint64_t carry = kept;  // adds 1 to the count of every kept cell
                for (std::uint64_t(&plane)[borderedWords] : keptRounds) {
                    const std::uint64_t next = plane[here] & carry;
                    plane[here] ^= carry;
                    carry = next;
                }
            }
        }
        if (any == 0) break;
    }
    std::uint8_t* table = freeReach[octant];
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            const int here = borderedIndex(x, y);
            for (int part = 0; part < 8; ++part) {
                const int shift = 8 * part;
                std::uint64_t reach = spreadBits[(emptyBuilt[here] >> shift) & 0xFF];
                for (int p = 0; p < keptRoundBits; ++p) reach += spreadBits[(keptRounds[p][here] >> shift) & 0xFF] << p;
                std::memcpy(table + cellOffset(x, y, part * 8), &reach, 8);
            }
        }
}

}  // namespace

void updateFreeSpace() {
    HWY_DYNAMIC_DISPATCH(cellvane::FindEmptyCells)(emptyNow);
    // While the world changes from frame to frame, the walks read the cube table, whose upkeep is the
    // cheapest; in a frame that finds it as it was, each octant's own table, built when first needed.
    const bool changed = buildFromEmptyCells();
    if (changed) builtOctants = 0;
    const bool readOctants = !changed;
    for (int octant = 0; octant < octantCount; ++octant)
        freeReachOffset[octant] = static_cast<std::int64_t>(freeReachCells) * (readOctants ? octant : octantCount);
    freeReachReadyOctants = readOctants ? builtOctants : (1u << octantCount) - 1;
}

std::uint64_t emptyColumn(int x, int y) {
    return emptyNow[borderedIndex(x, y)];
}

void buildOctants(unsigned octants) {
    for (int octant = 0; octant < octantCount; ++octant)
        if ((octants >> octant & 1) != 0 && (freeReachReady() >> octant & 1) == 0) {
            buildOctant(octant);
            builtOctants |= 1u << octant;
            freeReachReadyOctants |= 1u << octant;
        }
}

#endif  // HWY_ONCE
