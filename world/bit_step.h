// The automaton's fast step. The world is held one bit per cell: word [x * 64 + y] is the (x, y)
// column along z, bit z set when that cell is Live. Neighbours are counted with bitwise adders, 64
// cells per word: the Live cells of each z-triple (2 bits), then of each 3 x 3 column block along y
// (4 bits), then of each 3 x 3 x 3 block along x (5 bits, 0..27, the centre included). The rule is
// one boolean function of that count and the centre's state, turned once per run into a table.
//
// Three builds of the same kernel: portable C++ for any processor, and AVX2 and AVX-512 versions
// that are chosen at run time only when the processor has those instructions. All three give the
// same bits.
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

// A grid as bytes, for the vector kernels' wide loads and stores (four bytes a cell, state last).
inline const unsigned char* cellBytes(const CellGrid& g) { return reinterpret_cast<const unsigned char*>(&g[0][0][0]); }
inline unsigned char* cellBytes(CellGrid& g) { return reinterpret_cast<unsigned char*>(&g[0][0][0]); }

// One build of the kernel.
struct StepKernelFunctions {
    // Writes the Live bits of every column of g, shell included, into live[packedColumns]. Returns
    // true when some interior cell holds a state other than Empty or Live.
    bool (*pack)(const CellGrid& g, std::uint64_t* live);
    // One generation: every interior bit of out from in; the shell bits of rows x = 1..62 are copied
    // from in; rows x = 0 and x = 63 of out are not written.
    void (*step)(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule);
    // Writes the interior states that result gives: into g where they differ from start (g must hold
    // exactly start there), into every interior cell of next. Colours and
    // shell cells are not touched.
    void (*unpack)(const std::uint64_t* start, const std::uint64_t* result, CellGrid& g, CellGrid& next);
};

enum class StepKernel { Portable, Avx2, Avx512 };

extern const StepKernelFunctions portableStepKernel;
#if defined(__x86_64__)
extern const StepKernelFunctions avx2StepKernel;
extern const StepKernelFunctions avx512StepKernel;
#endif

// Whether this processor runs kernel k.
bool stepKernelSupported(StepKernel k);
// Makes the automaton use kernel k from now on (the best supported one is used from start-up).
// Returns false, changing nothing, when the processor lacks its instructions.
bool chooseStepKernel(StepKernel k);
StepKernel chosenStepKernel();
const char* stepKernelName(StepKernel k);
