// The automaton's fast step on the one-bit world (see world/bit_step.h): packing a grid into column
// words, one generation on those words, and writing the result back. One source, compiled for every
// vector target (shell/vector_targets.h); each call runs the target chosen there.
#pragma once

#include "world/bit_step.h"
#include "world/grid.h"

#include <cstdint>

// Writes the Live bits of every column of g, shell included, into live[packedColumns]. Returns true
// when some interior cell holds a state other than Empty or Live.
bool packLiveBits(const CellGrid& g, std::uint64_t* live);

// One generation: every interior bit of out from in; the shell bits of rows x = 1..62 are copied
// from in; rows x = 0 and x = 63 of out are not written.
void stepLiveBits(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule);

// Writes every interior state that result gives into g and into next, whatever they held (the
// cells of g that did not change get back the state they hold). Colours and shell cells are not
// touched.
void unpackLiveBits(const std::uint64_t* result, CellGrid& g, CellGrid& next);

// One generation of g, with next as in unpackLiveBits, packing, stepping and writing back plane by
// plane so that each plane of g is still in cache when it is written back; start and out are
// packedColumns words of scratch. Returns false when some interior cell of g holds a state other
// than Empty or Live: g is then as it was, and the interior states of next may have been changed.
bool stepGridOnce(CellGrid& g, CellGrid& next, const RuleCases& rule, std::uint64_t* start, std::uint64_t* out);

// The vector target that the three functions above run on now (a bit of shell/vector_targets.h), as
// the kernels themselves report it.
std::int64_t stepKernelTarget();
