// The cell world: a closed cube of 64 x 64 x 64 cells, a solid shell around a 62^3 interior
// where the automaton lives.
#pragma once

#include <cstdint>

// What occupies a cell. Every state above Empty stops a ray; only Empty and Live let the camera in.
enum CellState : std::uint8_t {
    Empty = 0,    // rays pass, the camera may enter
    Live = 1,     // a live automaton cell: drawn, counted as a neighbour, the camera may fly through
    Wall = 2,     // the solid shell
    Caption = 5,  // shell cells of the x = 63 wall that draw the block-letter caption
};

// A cell's colour depends on its position alone; only the world builders write it.
struct Cell {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t state;  // a CellState value
};

constexpr int gridSize = 64;
constexpr int interiorFirst = 1;               // interior cells have every index in 1..62
constexpr int interiorLast = gridSize - 2;

// Indexed [x][y][z], z varying fastest; x and y horizontal, z up.
using CellGrid = Cell[gridSize][gridSize][gridSize];

// The current world, read and written by index by the renderer, the controls and the automaton.
extern CellGrid grid;
// The automaton's second buffer; only the states of its interior cells are used.
extern CellGrid nextGrid;

// Position colours, the shell, and the caption on the far wall; once at start-up.
void buildStartWorld();
// Position colours and the shell without the caption: clears the automaton (key c).
void resetWorld();
// Swaps Empty and Live in every interior cell (key i).
void invertInterior();

// Draws the block-letter caption into the x = 63 wall (part of buildStartWorld).
void drawWallCaption();

// The index of the cell that holds coordinate p (truncated toward zero), or -1 when p lies outside
// the grid (below 0, 64 or more, or NaN).
constexpr int cellIndexOf(double p) {
    return p >= 0.0 && p < gridSize ? static_cast<int>(p) : -1;
}

// True for cells with a coordinate of 0 or 63.
constexpr bool isShellCell(int x, int y, int z) {
    return x == 0 || y == 0 || z == 0 || x == gridSize - 1 || y == gridSize - 1 || z == gridSize - 1;
}
