#include "world/grid.h"

CellGrid grid;
CellGrid nextGrid;

namespace {

void setGrey(Cell& cell, int grey) {
    cell.red = cell.green = cell.blue = static_cast<std::uint8_t>(grey);
}

// Every cell gets the colour of its position and becomes Empty; then the six faces become Wall,
// coloured grey by height. Where faces share an edge the later write wins.
void buildColoursAndShell() {
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z)
                grid[x][y][z] = Cell{static_cast<std::uint8_t>(4 * x), static_cast<std::uint8_t>(4 * y),
                                     static_cast<std::uint8_t>(4 * z), Empty};

    constexpr int last = gridSize - 1;
    for (int a = 0; a < gridSize; ++a) {
        for (int b = 0; b < gridSize; ++b) {
            grid[a][b][0].state = Wall;
            grid[a][0][b].state = Wall;
            grid[0][a][b].state = Wall;
            grid[a][b][last].state = Wall;
            grid[a][last][b].state = Wall;
            grid[last][a][b].state = Wall;

            setGrey(grid[a][b][0], 128);     // floor
            setGrey(grid[a][b][last], 192);  // ceiling
            setGrey(grid[a][0][b], 128 + b);  // the four side walls darken towards the floor
            setGrey(grid[0][a][b], 128 + b);
            setGrey(grid[a][last][b], 128 + b);
            setGrey(grid[last][a][b], 128 + b);
        }
    }
}

}  // namespace

void buildStartWorld() {
    buildColoursAndShell();
    drawWallCaption();
}

void resetWorld() {
    buildColoursAndShell();
}

void invertInterior() {
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                std::uint8_t& state = grid[x][y][z].state;
                state = state == Empty ? Live : Empty;
            }
}
