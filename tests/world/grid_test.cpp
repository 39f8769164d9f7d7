#include "tests/support/grid_copy.h"
#include "world/grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int last = gridSize - 1;

const Cell& cellIn(const std::vector<Cell>& cells, int x, int y, int z) {
    return cells[(x * gridSize + y) * gridSize + z];
}

bool isInterior(int x, int y, int z) {
    return !isShellCell(x, y, z);
}

// The grey the shell shows at (x, y, z): the floor and the bottom row of every wall 128, the walls
// 128 + z, the ceiling 192 except on the top edges of the walls x = 0, y = 0 and y = 63 and at the
// two ends of the top edge of the wall x = 63, where the wall's 191 holds.
int expectedShellGrey(int x, int y, int z) {
    if (z == 0) return 128;
    if (z < last) return 128 + z;
    const bool onSideWall = x == 0 || y == 0 || y == last;
    return onSideWall ? 191 : 192;
}

void expectCell(int x, int y, int z, CellState state, int red, int green, int blue) {
    const Cell& cell = grid[x][y][z];
    EXPECT_EQ(cell.state, state) << "at " << x << ", " << y << ", " << z;
    EXPECT_EQ(cell.red, red) << "at " << x << ", " << y << ", " << z;
    EXPECT_EQ(cell.green, green) << "at " << x << ", " << y << ", " << z;
    EXPECT_EQ(cell.blue, blue) << "at " << x << ", " << y << ", " << z;
}

void expectGrey(int x, int y, int z, CellState state, int grey) {
    expectCell(x, y, z, state, grey, grey, grey);
}

// Counts cells of the region for which the check fails, so that a broken builder reports one
// figure instead of thousands of messages.
template <typename Check>
int countFailures(Check check) {
    int failures = 0;
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z)
                if (!check(x, y, z)) ++failures;
    return failures;
}

}  // namespace

TEST(StartWorld, DocumentedCellsHaveTheirColourAndState) {
    buildStartWorld();
    expectCell(10, 20, 30, Empty, 40, 80, 120);
    expectCell(62, 62, 62, Empty, 248, 248, 248);
    expectCell(1, 1, 1, Empty, 4, 4, 4);
    expectGrey(7, 9, 0, Wall, 128);
    expectGrey(7, 9, 63, Wall, 192);
    expectGrey(0, 5, 40, Wall, 168);
    expectGrey(0, 9, 63, Wall, 191);
    expectGrey(63, 0, 63, Wall, 191);
    expectGrey(63, 63, 63, Wall, 191);
    expectGrey(63, 9, 63, Wall, 192);
    expectGrey(63, 62, 63, Wall, 192);
    expectGrey(5, 0, 63, Wall, 191);
    expectGrey(5, 63, 63, Wall, 191);
    expectGrey(0, 0, 0, Wall, 128);
    expectGrey(63, 63, 0, Wall, 128);
}

TEST(StartWorld, EveryInteriorCellIsEmptyInThePositionColour) {
    buildStartWorld();
    const int failures = countFailures([](int x, int y, int z) {
        if (!isInterior(x, y, z)) return true;
        const Cell& cell = grid[x][y][z];
        return cell.state == Empty && cell.red == 4 * x && cell.green == 4 * y && cell.blue == 4 * z;
    });
    EXPECT_EQ(failures, 0);
}

TEST(StartWorld, EveryShellCellIsSolidAndGreyByHeight) {
    buildStartWorld();
    int shellCells = 0;
    const int failures = countFailures([&](int x, int y, int z) {
        if (isInterior(x, y, z)) return true;
        ++shellCells;
        const Cell& cell = grid[x][y][z];
        const int grey = expectedShellGrey(x, y, z);
        const bool solid = cell.state == Wall || (cell.state == Caption && x == last);
        return solid && cell.red == grey && cell.green == grey && cell.blue == grey;
    });
    EXPECT_EQ(shellCells, 23816);
    EXPECT_EQ(failures, 0);
}

TEST(StartWorld, BuildingAgainOverAnyContentGivesTheSameWorld) {
    buildStartWorld();
    const std::vector<Cell> first = copyOfGrid();
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z) grid[x][y][z] = Cell{1, 2, 3, Live};
    buildStartWorld();
    EXPECT_TRUE(gridEquals(first));
}

TEST(ResetWorld, ClearsTheInteriorAndTheCaptionButKeepsEveryColour) {
    buildStartWorld();
    const std::vector<Cell> built = copyOfGrid();
    invertInterior();
    grid[20][30][40].red = 7;  // a stray colour must not survive a reset either

    resetWorld();
    int captionCells = 0;
    const int failures = countFailures([&](int x, int y, int z) {
        const Cell& cell = grid[x][y][z];
        const Cell& before = cellIn(built, x, y, z);
        if (before.state == Caption) ++captionCells;
        const CellState expected = isInterior(x, y, z) ? Empty : Wall;
        return cell.state == expected && cell.red == before.red && cell.green == before.green &&
               cell.blue == before.blue;
    });
    EXPECT_GT(captionCells, 0);
    EXPECT_EQ(failures, 0);
}

TEST(InvertInterior, SwapsEmptyAndLiveInsideAndLeavesTheShellAlone) {
    buildStartWorld();
    const std::vector<Cell> built = copyOfGrid();

    invertInterior();
    int liveCells = 0;
    const int failures = countFailures([&](int x, int y, int z) {
        const Cell& cell = grid[x][y][z];
        const Cell& before = cellIn(built, x, y, z);
        if (isInterior(x, y, z)) {
            if (cell.state == Live) ++liveCells;
            return cell.state == Live && cell.red == before.red && cell.green == before.green &&
                   cell.blue == before.blue;
        }
        return cell.state == before.state && cell.red == before.red && cell.green == before.green &&
               cell.blue == before.blue;
    });
    EXPECT_EQ(liveCells, 238328);
    EXPECT_EQ(failures, 0);

    invertInterior();
    EXPECT_TRUE(gridEquals(built));
}

TEST(InvertInterior, TurnsAMixedInteriorInsideOut) {
    buildStartWorld();
    grid[1][1][1].state = Live;
    grid[62][62][62].state = Live;
    grid[30][31][32].state = Live;
    invertInterior();
    EXPECT_EQ(grid[1][1][1].state, Empty);
    EXPECT_EQ(grid[62][62][62].state, Empty);
    EXPECT_EQ(grid[30][31][32].state, Empty);
    EXPECT_EQ(grid[30][31][33].state, Live);
    EXPECT_EQ(grid[62][1][62].state, Live);
}

TEST(CellIndex, TruncatesInsideTheGridAndRejectsEverythingElse) {
    EXPECT_EQ(cellIndexOf(0.0), 0);
    EXPECT_EQ(cellIndexOf(32.99), 32);
    EXPECT_EQ(cellIndexOf(63.999), 63);
    EXPECT_EQ(cellIndexOf(64.0), -1);
    EXPECT_EQ(cellIndexOf(-0.5), -1);  // truncation alone would give cell 0
    EXPECT_EQ(cellIndexOf(1e300), -1);
    EXPECT_EQ(cellIndexOf(std::numeric_limits<double>::quiet_NaN()), -1);
}
