// The generation step, through its public functions only, so that the same tests hold for any way of
// computing it.
#include "tests/support/grid_copy.h"
#include "tests/support/rule_lists.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

namespace {

using Position = std::array<int, 3>;

int indexOf(int x, int y, int z) {
    return (x * gridSize + y) * gridSize + z;
}

void makeLive(std::initializer_list<Position> cells) {
    for (const Position& p : cells) grid[p[0]][p[1]][p[2]].state = Live;
}

// Every Live cell of the interior, in x, y, z order.
std::vector<Position> liveCells() {
    std::vector<Position> found;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z)
                if (grid[x][y][z].state == Live) found.push_back({x, y, z});
    return found;
}

int liveCount() {
    return static_cast<int>(liveCells().size());
}

// The next states of the interior worked out cell by cell from a copy of the grid, the slow and
// obvious way: 26 neighbours that are exactly Live, matched against the 26 entries of a list.
std::vector<std::uint8_t> nextStatesOf(const std::vector<Cell>& cells) {
    auto matches = [](const std::int32_t (&list)[ruleListLength], int count) {
        for (std::int32_t entry : list)
            if (entry == count) return true;
        return false;
    };
    std::vector<std::uint8_t> next(cells.size(), 0);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                int count = 0;
                for (int i = -1; i <= 1; ++i)
                    for (int j = -1; j <= 1; ++j)
                        for (int k = -1; k <= 1; ++k)
                            if ((i != 0 || j != 0 || k != 0) && cells[indexOf(x + i, y + j, z + k)].state == Live) ++count;
                const bool occupied = cells[indexOf(x, y, z)].state != Empty;
                next[indexOf(x, y, z)] = matches(occupied ? rules.survival : rules.birth, count) ? Live : Empty;
            }
    return next;
}

// Fills the interior with a random soup of the given density.
void fillWithSoup(unsigned seed, double density) {
    std::mt19937 random(seed);
    std::bernoulli_distribution live(density);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) grid[x][y][z].state = live(random) ? Live : Empty;
}

// Counts the cells where grid differs from what a step of `before` must give: interior states from
// the slow rule, every colour and every shell state as they were.
int mismatchesAfterStep(const std::vector<Cell>& before, const std::vector<std::uint8_t>& expectedStates) {
    int mismatches = 0;
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z) {
                const Cell& now = grid[x][y][z];
                const Cell& was = before[indexOf(x, y, z)];
                const std::uint8_t state = isShellCell(x, y, z) ? was.state : expectedStates[indexOf(x, y, z)];
                if (now.state != state || now.red != was.red || now.green != was.green || now.blue != was.blue)
                    ++mismatches;
            }
    return mismatches;
}

class Automaton : public testing::Test {
protected:
    void SetUp() override {
        setDefaultRules();
        buildStartWorld();
    }
    void TearDown() override { setDefaultRules(); }
};

}  // namespace

TEST_F(Automaton, DefaultRulesLeaveAnEmptyWorldAndKillALoneCell) {
    const std::vector<Cell> built = copyOfGrid();
    stepGeneration();
    EXPECT_TRUE(gridEquals(built));

    makeLive({{{20, 30, 40}}});
    stepGeneration();
    EXPECT_TRUE(gridEquals(built));
}

// Three cells in a row along each axis: the middle survives with 2, the ends die with 1, and the
// eight cells around the middle in the plane across the row are born with 3.
TEST_F(Automaton, ThreeInARowBecomeThePlateAcrossTheRow) {
    for (int axis = 0; axis < 3; ++axis) {
        buildStartWorld();
        std::vector<Position> row;
        for (int offset = -1; offset <= 1; ++offset) {
            Position p{10, 10, 10};
            p[axis] += offset + 1;
            row.push_back(p);
        }
        for (const Position& p : row) grid[p[0]][p[1]][p[2]].state = Live;

        stepGeneration();
        std::vector<Position> plate;
        for (int a = 9; a <= 11; ++a)
            for (int b = 9; b <= 11; ++b) {
                Position p{0, 0, 0};
                p[axis] = 11;
                p[(axis + 1) % 3] = a;
                p[(axis + 2) % 3] = b;
                plate.push_back(p);
            }
        std::sort(plate.begin(), plate.end());
        EXPECT_EQ(liveCells(), plate) << "row along axis " << axis;
    }
}

TEST_F(Automaton, NeighbourCountsOfAFullInteriorAndOneInvertedStep) {
    invertInterior();
    EXPECT_EQ(countLiveNeighbours(1, 1, 1), 7);
    EXPECT_EQ(countLiveNeighbours(62, 62, 62), 7);
    EXPECT_EQ(countLiveNeighbours(1, 1, 30), 11);
    EXPECT_EQ(countLiveNeighbours(1, 30, 30), 17);
    EXPECT_EQ(countLiveNeighbours(62, 11, 15), 17);  // beside the caption
    EXPECT_EQ(countLiveNeighbours(30, 30, 30), 26);

    const std::vector<Cell> before = copyOfGrid();
    stepGeneration();
    EXPECT_EQ(liveCount(), 0);
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z)
                if (isShellCell(x, y, z)) {
                    ASSERT_EQ(grid[x][y][z].state, before[indexOf(x, y, z)].state);
                }
}

TEST_F(Automaton, WallsAndCaptionCountAsNoNeighbours) {
    EXPECT_EQ(countLiveNeighbours(1, 5, 5), 0);
    EXPECT_EQ(countLiveNeighbours(1, 1, 1), 0);
    EXPECT_EQ(countLiveNeighbours(62, 11, 15), 0);
    EXPECT_EQ(countLiveNeighbours(62, 2, 9), 0);

    // Survival on 0 only: a cell against the shell keeps 0 neighbours and stays.
    setList(rules.survival, {0});
    setList(rules.birth, {});
    makeLive({{{1, 5, 5}}, {{62, 11, 15}}, {{62, 62, 62}}});
    stepGeneration();
    EXPECT_EQ(liveCells(), (std::vector<Position>{{1, 5, 5}, {62, 11, 15}, {62, 62, 62}}));
}

TEST_F(Automaton, BirthBesideTheShellStaysInTheInterior) {
    // Birth on 1 and no survival: a lone cell is replaced by its interior neighbours, and no shell
    // cell is ever written.
    setList(rules.survival, {});
    setList(rules.birth, {1});
    const std::vector<Cell> built = copyOfGrid();

    makeLive({{{1, 1, 1}}});
    stepGeneration();
    EXPECT_EQ(liveCount(), 7);
    EXPECT_EQ(grid[1][1][1].state, Empty);
    EXPECT_EQ(grid[2][2][2].state, Live);

    buildStartWorld();
    makeLive({{{62, 11, 15}}});  // against the caption
    stepGeneration();
    EXPECT_EQ(liveCount(), 17);
    EXPECT_EQ(grid[61][10][14].state, Live);
    EXPECT_EQ(grid[62][12][16].state, Live);
    for (int y = 0; y < gridSize; ++y)
        for (int z = 0; z < gridSize; ++z) ASSERT_EQ(grid[63][y][z].state, built[indexOf(63, y, z)].state);
}

TEST_F(Automaton, BirthOnZeroFillsTheInteriorAndOnlyTheInterior) {
    setList(rules.birth, {0});
    setList(rules.survival, {});
    const std::vector<Cell> built = copyOfGrid();
    stepGeneration();
    EXPECT_EQ(liveCount(), 238328);
    std::vector<Cell> filled = built;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) filled[indexOf(x, y, z)].state = Live;
    EXPECT_TRUE(gridEquals(filled));

    stepGeneration();  // no survival: everything dies again
    EXPECT_TRUE(gridEquals(built));
}

// A list has one entry fewer than there are counts: survival on 0..25 still kills a cell with 26.
TEST_F(Automaton, SurvivalOnEveryCountButTwentySixKillsOnlyTheSurroundedCells) {
    setList(rules.survival, {});
    for (int i = 0; i < ruleListLength; ++i) rules.survival[i] = i;
    invertInterior();
    stepGeneration();
    EXPECT_EQ(grid[30][30][30].state, Empty);
    EXPECT_EQ(grid[2][2][2].state, Empty);
    EXPECT_EQ(grid[1][1][1].state, Live);
    EXPECT_EQ(grid[1][1][30].state, Live);
    EXPECT_EQ(grid[1][30][30].state, Live);
    EXPECT_EQ(liveCount(), 238328 - 60 * 60 * 60);  // the outer layer of the interior
}

// Entries outside 0..26 match nothing, also those that share their low bits with a real count
// (35 = 3 + 32, 259 = 3 + 256, -253 = 0x...FF03, 65539 = 3 + 65536) or wrap in a narrower type.
TEST_F(Automaton, RuleValuesOutsideTheCountsNeverMatch) {
    const std::initializer_list<std::int32_t> strange = {
        99, 27, 28, 31, 32, -1, -26, 35, 67, -29, 34, 259, 258, 515, -253, 65539, 65538, 1026,
        INT_MIN, INT_MIN + 2, INT_MIN + 3, INT_MAX, 1 << 30, 3 + (1 << 30), 2 + (1 << 16), 255 + 256 * 3,
    };
    ASSERT_EQ(strange.size(), static_cast<std::size_t>(ruleListLength));
    setList(rules.survival, strange);
    setList(rules.birth, strange);

    fillWithSoup(7, 0.3);
    ASSERT_GT(liveCount(), 0);
    stepGeneration();
    EXPECT_EQ(liveCount(), 0);

    makeLive({{{10, 10, 10}}, {{10, 10, 11}}, {{10, 10, 12}}});
    stepGeneration();
    EXPECT_EQ(liveCount(), 0);
}

TEST_F(Automaton, RandomSoupsFollowTheRuleCellByCell) {
    struct Case {
        std::initializer_list<std::int32_t> survival, birth;
        double density;
    };
    const Case cases[] = {
        {{2, 3}, {3}, 0.25},
        {{4, 5, 6, 7, 8, 9, 10}, {5, 6, 7}, 0.35},
        {{0, 1, 26, 13, 13, -1}, {1, 2, 25, 26, 99}, 0.08},
        {{9, 10, 11, 12, 13, 14, 15, 16, 17, 18}, {12, 13, 14}, 0.6},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        buildStartWorld();
        setList(rules.survival, c.survival);
        setList(rules.birth, c.birth);
        fillWithSoup(seed++, c.density);
        for (int generation = 0; generation < 3; ++generation) {
            const std::vector<Cell> before = copyOfGrid();
            const std::vector<std::uint8_t> expected = nextStatesOf(before);
            stepGeneration();
            ASSERT_EQ(mismatchesAfterStep(before, expected), 0)
                << "case with density " << c.density << ", generation " << generation;
        }
    }
}

TEST_F(Automaton, ManyGenerationsAtOnceEqualSingleSteps) {
    setList(rules.survival, {4, 5, 6, 7});
    setList(rules.birth, {5, 6});
    fillWithSoup(42, 0.3);
    const std::vector<Cell> start = copyOfGrid();

    stepGenerations(0);
    EXPECT_TRUE(gridEquals(start));

    for (int i = 0; i < 12; ++i) stepGeneration();
    const std::vector<Cell> stepped = copyOfGrid();
    ASSERT_FALSE(gridEquals(start));

    restoreGrid(start);
    stepGenerations(12);
    EXPECT_TRUE(gridEquals(stepped));
}
