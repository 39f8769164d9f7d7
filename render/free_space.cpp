// The free-space view of grid, checked against grid at the start of every frame so that it always
// matches it, whoever wrote grid since the last frame (controls, world builders, automaton).
//
// The empty cells are kept as one 64-bit word per (x, y) column, bit z set when cell (x, y, z) is
// Empty: the cells of radius 1 or more. Eroding that set by a 3 x 3 x 3 cube, with everything outside
// the grid counted as solid, leaves the cells of radius 2 or more; eroding again those of radius 3 or
// more, and so on until nothing is left. The view is built again only when the empty cells differ
// from those it was built from, which a whole comparison of the column words tells every frame.
#include "render/ray_walk.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

std::uint8_t freeRadius[gridSize * gridSize * gridSize + 64];

namespace {

// Column words with a border one column wide on every side that stays 0 (solid): entry (x, y) of
// the grid lives at index (x + 1) * borderedSide + (y + 1).
constexpr int borderedSide = gridSize + 2;
constexpr int borderedWords = borderedSide * borderedSide;

alignas(64) std::uint64_t emptyNow[borderedWords];    // the empty cells of grid this frame
alignas(64) std::uint64_t emptyBuilt[borderedWords];  // those freeRadius was built from
alignas(64) std::uint64_t freeSet[borderedWords];     // eroded in place, level by level
alignas(64) std::uint64_t rowMeet[borderedWords];     // AND of each word with its y neighbours

// Which build last wrote freeRadius, so that a test forcing the other one really runs it.
enum class Builder { None, Portable, Avx512 };
Builder builtBy = Builder::None;

int borderedIndex(int x, int y) {
    return (x + 1) * borderedSide + (y + 1);
}

// Byte i of spreadBits[b] is 1 when bit i of b is set.
constexpr std::array<std::uint64_t, 256> spreadBits = [] {
    std::array<std::uint64_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if ((b >> i) & 1) table[b] |= std::uint64_t{1} << (8 * i);
    return table;
}();

// Sets the radius of the cells of column (x, y) whose bits are set in gone (all 0 so far) to radius.
void markGonePortable(int x, int y, std::uint64_t gone, int radius) {
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

#define CELLVANE_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

CELLVANE_AVX512 void markGoneAvx512(int x, int y, std::uint64_t gone, int radius) {
    _mm512_mask_storeu_epi8(freeRadius + cellOffset(x, y, 0), gone, _mm512_set1_epi8(static_cast<char>(radius)));
}

void findEmptyPortable() {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            std::uint64_t word = 0;
            for (int z = 0; z < gridSize; ++z)
                word |= std::uint64_t{grid[x][y][z].state == Empty} << z;
            emptyNow[borderedIndex(x, y)] = word;
        }
}

CELLVANE_AVX512 void findEmptyAvx512() {
    // A Cell read as a little-endian 32-bit word has its state in the top byte.
    const __m512i firstSolid = _mm512_set1_epi32(1 << 24);
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            const Cell* column = grid[x][y];
            std::uint64_t word = 0;
            for (int part = 0; part < 4; ++part) {
                const __m512i cells = _mm512_loadu_si512(column + 16 * part);
                word |= std::uint64_t{_mm512_cmplt_epu32_mask(cells, firstSolid)} << (16 * part);
            }
            emptyNow[borderedIndex(x, y)] = word;
        }
}

// Builds freeRadius from emptyNow unless it was built from the same empty cells, by the same builder.
// Each round erodes freeSet by a 3 x 3 x 3 cube in place: the y pass into rowMeet, then the x pass
// back, with the z pass as two shifts of the word whose vacated end bits are 0 because the cells
// beyond the grid count as solid. The cells a round removes have the round's number as radius. Only
// the box of columns that can still hold cells is visited; it shrinks by one column a side per round.
template <void (*markGone)(int, int, std::uint64_t, int)>
[[gnu::always_inline]] inline void buildFromEmptyCells(Builder builder) {
    if (builtBy == builder && std::memcmp(emptyNow, emptyBuilt, sizeof emptyNow) == 0) return;
    std::memcpy(emptyBuilt, emptyNow, sizeof emptyNow);
    std::memcpy(freeSet, emptyNow, sizeof emptyNow);
    builtBy = builder;
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

void buildFreeSpacePortable() {
    findEmptyPortable();
    buildFromEmptyCells<markGonePortable>(Builder::Portable);
}

CELLVANE_AVX512 void buildFreeSpaceAvx512() {
    findEmptyAvx512();
    buildFromEmptyCells<markGoneAvx512>(Builder::Avx512);
}

bool processorHasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
}
