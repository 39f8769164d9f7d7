// The automaton step written literally: a 27-cell scan per interior cell, the count matched against
// the rule list entry by entry, every cell computed into the second grid and then committed. The
// program's fast step must give exactly what this gives, generation after generation.
#pragma once

#include "world/automaton.h"
#include "world/grid.h"

// The number of Live cells among the 26 neighbours of interior cell (x, y, z) of g.
int plainCountLiveNeighbours(const CellGrid& g, int x, int y, int z);

// One generation of the interior of g, computed into next and copied back into g.
void plainStepGeneration(CellGrid& g, CellGrid& next, const RuleSet& r);
