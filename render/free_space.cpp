// The free-space view of grid, rebuilt at the start of every frame so that it always matches grid,
// whoever wrote grid since the last frame (controls, world builders, automaton).
//
// The empty cells are kept as one 64-bit word per (x, y) column, bit z set when cell (x, y, z) is
// Empty. Eroding that set by a 3 x 3 x 3 cube, with everything outside the grid counted as solid,
// leaves the cells of radius 2 or more; eroding again those of radius 3 or more, and so on until
// nothing is left. A cell's radius is the number of sets it belongs to.
#include "render/ray_walk.h"

#include <immintrin.h>

#include <array>
#include <cstring>

std::uint8_t freeRadius[gridSize * gridSize * gridSize + 64];

namespace {

// Column words with a border one column wide on every side that stays 0 (solid): entry (x, y) of
// the grid lives at index (x + 1) * borderedSide + (y + 1).
constexpr int borderedSide = gridSize + 2;
constexpr int borderedWords = borderedSide * borderedSide;

alignas(64) std::uint64_t freeSetA[borderedWords];
alignas(64) std::uint64_t freeSetB[borderedWords];
alignas(64) std::uint64_t rowMeet[borderedWords];  // AND of each word with its y neighbours

int borderedIndex(int x, int y) {
    return (x + 1) * borderedSide + (y + 1);
}

// next = the cells of current whose 3 x 3 x 3 cube lies wholly in current. Returns false when next
// is empty. The y pass, then the x pass; the z pass is two shifts of the word, whose vacated end bits
// are 0 because the cells beyond the grid count as solid.
[[gnu::always_inline]] inline bool erode(const std::uint64_t* current, std::uint64_t* next) {
    for (int x = 0; x < gridSize; ++x) {
        const int row = borderedIndex(x, 0);
        for (int y = 0; y < gridSize; ++y)
            rowMeet[row + y] = current[row + y - 1] & current[row + y] & current[row + y + 1];
    }
    std::uint64_t any = 0;
    for (int x = 0; x < gridSize; ++x) {
        const int row = borderedIndex(x, 0);
        for (int y = 0; y < gridSize; ++y) {
            const std::uint64_t cube = rowMeet[row + y - borderedSide] & rowMeet[row + y] & rowMeet[row + y + borderedSide];
            const std::uint64_t word = cube & (cube << 1) & (cube >> 1);
            next[row + y] = word;
            any |= word;
        }
    }
    return any != 0;
}

// Byte i of spreadBits[b] is bit i of b.
constexpr std::array<std::uint64_t, 256> spreadBits = [] {
    std::array<std::uint64_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if ((b >> i) & 1) table[b] |= std::uint64_t{1} << (8 * i);
    return table;
}();

// Adds 1 to the radius of every cell of the set.
void countSetPortable(const std::uint64_t* set) {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            const std::uint64_t word = set[borderedIndex(x, y)];
            if (word == 0) continue;
            std::uint8_t* column = freeRadius + cellOffset(x, y, 0);
            for (int part = 0; part < 8; ++part) {
                std::uint64_t bytes;
                std::memcpy(&bytes, column + 8 * part, 8);
                bytes += spreadBits[(word >> (8 * part)) & 0xFF];  // radii stay far below 256: no carry
                std::memcpy(column + 8 * part, &bytes, 8);
            }
        }
}

#define CELLVANE_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

CELLVANE_AVX512 void countSetAvx512(const std::uint64_t* set) {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            const std::uint64_t word = set[borderedIndex(x, y)];
            if (word == 0) continue;
            void* column = freeRadius + cellOffset(x, y, 0);
            const __m512i counts = _mm512_loadu_si512(column);
            // movm gives 0xFF (-1) in every byte whose bit is set: subtracting it adds 1.
            _mm512_storeu_si512(column, _mm512_sub_epi8(counts, _mm512_movm_epi8(word)));
        }
}

// Empty cells of grid into freeSetA.
void findEmptyPortable() {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            std::uint64_t word = 0;
            for (int z = 0; z < gridSize; ++z)
                word |= std::uint64_t{grid[x][y][z].state == Empty} << z;
            freeSetA[borderedIndex(x, y)] = word;
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
            freeSetA[borderedIndex(x, y)] = word;
        }
}

// Counts freeSetA and every erosion of it into freeRadius.
template <void (*countSet)(const std::uint64_t*)>
[[gnu::always_inline]] inline void countAllErosions() {
    std::memset(freeRadius, 0, sizeof freeRadius);
    std::uint64_t* current = freeSetA;
    std::uint64_t* next = freeSetB;
    countSet(current);
    while (erode(current, next)) {
        countSet(next);
        std::uint64_t* done = current;
        current = next;
        next = done;
    }
}

}  // namespace

void buildFreeSpacePortable() {
    findEmptyPortable();
    countAllErosions<countSetPortable>();
}

CELLVANE_AVX512 void buildFreeSpaceAvx512() {
    findEmptyAvx512();
    countAllErosions<countSetAvx512>();
}

bool processorHasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
}
