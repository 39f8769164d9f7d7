// The automaton's fast step. The world is held one bit per cell: word [x * 64 + y] is the (x, y)
// column along z, bit z set when that cell is Live. Neighbours are counted with bitwise adders, 64
// cells per word: the Live cells of each z-triple (2 bits), then of each 3 x 3 column block along y
// (4 bits), then of each 3 x 3 x 3 block along x (5 bits, 0..27, the centre included). The rule is
// one boolean function of that count and the centre's state, turned once per run into a table.
// The kernels that pack, step and write back this world are in world/step_kernel.h.
#pragma once

#include "world/automaton.h"
#include "world/grid.h"

#include <cstdint>

constexpr int packedColumns = gridSize * gridSize;
// The bits of a column word that belong to interior cells (z = 1..62).
constexpr std::uint64_t interiorBits = 0x7FFFFFFFFFFFFFFEull;

// The rule as a list of cases. A case is the centre's state (Live or not) with the number of Live
// cells in its 3 x 3 x 3 block, centre included: c = live * 32 + count, a 6-bit number split into
// (live, count bit 4, count bit 3) and (count bits 2, 1, 0). Only the 54 cases that can occur are
// considered (an Empty centre has a count of 0..26, a Live one 1..27). The list holds the cases
// that make the cell Live or, when those are more than half, the ones that make it Empty
// (complement set): at most 27 either way, so a rule costs at most 27 terms per word.
struct RuleCases {
    static constexpr int largest = 27;
    static constexpr int few = 8;  // up to this many cases, each count is tested against its pattern
    bool complement;
    int count;
    std::uint8_t high[largest];  // (live, bit 4, bit 3) of each listed case
    std::uint8_t low[largest];   // (bit 2, bit 1, bit 0)
    std::uint8_t highUsed;       // bit i set when some listed case has high part i
    std::uint8_t lowUsed;
    // With few listed cases, the same cases grouped by count: each distinct count as five masks (all
    // ones where the count has a 1, bits 4 to 0) and the centres it applies to: a mask that is all
    // ones when it applies to both, and one that turns the centre's Live bit into "applies".
    int countValues;
    std::uint64_t countBits[few][5];
    std::uint64_t bothCentres[few];
    std::uint64_t emptyCentreOnly[few];
};

RuleCases ruleCasesFrom(const RuleSet& r);
