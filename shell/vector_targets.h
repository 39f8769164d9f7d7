// The vector instruction sets that the kernels (automaton step, ray walk, free-space view, pixel
// store) are built for, and which of them runs. Each kernel is one source compiled once per target;
// at its first call the best target this processor runs is chosen, for all kernels at once. This is
// the program's only check of the processor.
#pragma once

#include <cstdint>

// Every target the kernels were built for, one bit each; a smaller bit is a wider, faster target.
std::int64_t builtVectorTargets();
// The built targets that this processor runs.
std::int64_t processorVectorTargets();
// The target the kernels use now.
std::int64_t activeVectorTarget();
// A short name: "AVX3" (AVX-512), "AVX2", "SSE4", "NEON", and "EMU128" or "SCALAR" (portable C++).
const char* vectorTargetName(std::int64_t target);

// Makes every kernel use target from now on. Returns false, changing nothing, when target was not
// built or the processor cannot run it. restrictVectorTarget(0) goes back to the best target.
bool restrictVectorTarget(std::int64_t target);

// Applies the environment variable CELLVANE_VECTOR_TARGET (a name as vectorTargetName gives), used
// to measure the program as it runs on a processor with fewer instructions. Results are the same on
// every target; only speed differs. An unknown or unusable name is reported on standard error and
// changes nothing.
void restrictVectorTargetFromEnvironment();
