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

// The rule as 64 cases: (centre Live) x (Live cells of the 3 x 3 x 3 block, centre included, as a
// 5-bit count). Case c = live * 32 + count. lowBits[c / 4] holds, in bit (c % 4), whether case c
// makes the cell Live: sixteen functions of the count's two low bits, chosen by its three high bits
// and the centre.
struct RuleMux {
    std::uint8_t lowBits[16];
};

// The table for r. Counts that cannot occur (an Empty centre with 27, a Live centre with 0, counts
// above 27) give Empty.
RuleMux ruleMuxFrom(const RuleSet& r);

// One build of the kernel.
struct StepKernelFunctions {
    // Writes the Live bits of every column of g, shell included, into live[packedColumns]. Returns
    // true when some interior cell holds a state other than Empty or Live.
    bool (*pack)(const CellGrid& g, std::uint64_t* live);
    // One generation: every interior bit of out from in; the shell bits of rows x = 1..62 are copied
    // from in; rows x = 0 and x = 63 of out are not written.
    void (*step)(const std::uint64_t* in, std::uint64_t* out, const RuleMux& rule);
    // Writes the interior states that result gives: into g for the columns whose interior bits differ
    // from start (g must hold exactly start there), into every interior cell of next. Colours and
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
