#include "tests/support/grid_copy.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t cellCount = static_cast<std::size_t>(gridSize) * gridSize * gridSize;
}

std::vector<Cell> copyOfGrid() {
    const Cell* first = &grid[0][0][0];
    return std::vector<Cell>(first, first + cellCount);
}

void restoreGrid(const std::vector<Cell>& cells) {
    std::memcpy(&grid[0][0][0], cells.data(), std::min(cells.size(), cellCount) * sizeof(Cell));
}

bool gridEquals(const std::vector<Cell>& cells) {
    return cells.size() == cellCount && std::memcmp(cells.data(), &grid[0][0][0], cellCount * sizeof(Cell)) == 0;
}

int countCellsIn(std::uint8_t state) {
    int count = 0;
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z) count += grid[x][y][z].state == state;
    return count;
}
