// Copies of the whole world grid, for tests that step or edit it and compare before with after.
#pragma once

#include "world/grid.h"

#include <cstdint>
#include <vector>

// Every cell of the grid, in x, y, z order (the grid's own layout).
std::vector<Cell> copyOfGrid();
// Puts a copy taken by copyOfGrid back into the grid.
void restoreGrid(const std::vector<Cell>& cells);
// Whether the grid holds exactly these cells, states and colours alike.
bool gridEquals(const std::vector<Cell>& cells);
// The number of cells of the whole grid, shell included, in this state.
int countCellsIn(std::uint8_t state);
