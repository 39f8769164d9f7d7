// The block-letter caption on the far wall, read back from the grid glyph by glyph.
#include "world/grid.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr int wallX = gridSize - 1;

// A glyph as it stands on the wall: its first and last column (y) and its five rows from the top,
// '1' for a Caption cell, read towards larger y.
struct Placed {
    int firstY;
    int lastY;
    std::array<std::string, 5> rows;
};

bool isCaption(int y, int z) {
    return grid[wallX][y][z].state == Caption;
}

// Splits the line whose top row is topZ into glyphs: runs of columns holding at least one Caption
// cell, separated by empty columns. Every glyph uses each of its columns, so a run is one glyph.
std::vector<Placed> readLine(int topZ) {
    std::vector<Placed> glyphs;
    for (int y = 0; y < gridSize; ++y) {
        bool used = false;
        for (int row = 0; row < 5; ++row) used = used || isCaption(y, topZ - row);
        if (!used) continue;
        if (glyphs.empty() || glyphs.back().lastY != y - 1) glyphs.push_back({y, y, {}});
        glyphs.back().lastY = y;
    }
    for (Placed& glyph : glyphs)
        for (int row = 0; row < 5; ++row)
            for (int y = glyph.firstY; y <= glyph.lastY; ++y) glyph.rows[row] += isCaption(y, topZ - row) ? '1' : '0';
    return glyphs;
}

using Shape = std::array<std::string, 5>;
const Shape three{"110", "001", "011", "001", "110"};
const Shape letterD{"110", "101", "101", "101", "110"};
const Shape letterB{"110", "101", "110", "101", "110"};
const Shape letterY{"101", "101", "111", "010", "010"};
const Shape letterE{"111", "100", "110", "100", "111"};
const Shape letterL{"100", "100", "100", "100", "111"};
const Shape letterO{"010", "101", "101", "101", "010"};
const Shape letterR{"1110", "1001", "1110", "1010", "1001"};
const Shape letterT{"11111", "00100", "00100", "00100", "00100"};
const Shape letterQ{"01110", "10001", "10001", "10010", "01101"};
const Shape letterU{"101", "101", "101", "101", "111"};
const Shape letterP{"1110", "1001", "1110", "1000", "1000"};
const Shape letterW{"10001", "10001", "10101", "10101", "01010"};
const Shape letterH{"101", "101", "111", "101", "101"};

// The columns left empty between glyph i - 1 and glyph i.
int gapBefore(const std::vector<Placed>& glyphs, std::size_t i) {
    return glyphs[i].firstY - glyphs[i - 1].lastY - 1;
}

class WallCaption : public testing::Test {
protected:
    void SetUp() override { buildStartWorld(); }
};

}  // namespace

TEST_F(WallCaption, SecondLineIsThreeDAtItsDocumentedColumns) {
    const std::vector<Placed> glyphs = readLine(15);
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].firstY, 11);
    EXPECT_EQ(glyphs[0].lastY, 13);
    EXPECT_EQ(glyphs[0].rows, three);
    EXPECT_EQ(glyphs[1].firstY, 15);
    EXPECT_EQ(glyphs[1].lastY, 17);
    EXPECT_EQ(glyphs[1].rows, letterD);
    EXPECT_EQ(grid[wallX][11][15].state, Caption);
    EXPECT_EQ(grid[wallX][13][15].state, Wall);
}

TEST_F(WallCaption, ThirdLineReadsByAndTheAuthorsName) {
    const std::vector<Placed> glyphs = readLine(9);
    ASSERT_EQ(glyphs.size(), 11u);  // B Y, then P E L L W O R T H
    EXPECT_EQ(glyphs[0].firstY, 2);
    EXPECT_EQ(glyphs[0].rows, letterB);
    EXPECT_EQ(glyphs[1].firstY, 6);
    EXPECT_EQ(glyphs[1].lastY, 8);
    EXPECT_EQ(glyphs[1].rows, letterY);
    EXPECT_EQ(gapBefore(glyphs, 2), 4);  // between the words
    EXPECT_EQ(glyphs[2].firstY, 13);
    for (std::size_t i = 3; i < glyphs.size(); ++i) EXPECT_EQ(gapBefore(glyphs, i), 1) << "before glyph " << i;

    EXPECT_EQ(glyphs[2].rows, letterP);
    EXPECT_EQ(glyphs[3].rows, letterE);
    EXPECT_EQ(glyphs[4].rows, letterL);
    EXPECT_EQ(glyphs[5].rows, letterL);
    EXPECT_EQ(glyphs[6].rows, letterW);
    EXPECT_EQ(glyphs[7].rows, letterO);
    EXPECT_EQ(glyphs[8].rows, letterR);
    EXPECT_EQ(glyphs[9].rows, letterT);
    EXPECT_EQ(glyphs[10].rows, letterH);
    EXPECT_LE(glyphs.back().lastY, gridSize - 2) << "the name runs off the wall";

    EXPECT_EQ(grid[wallX][2][9].state, Caption);
    EXPECT_EQ(grid[wallX][4][9].state, Wall);
}

TEST_F(WallCaption, FirstLineReadsTheEngineName) {
    const std::vector<Placed> glyphs = readLine(22);
    ASSERT_EQ(glyphs.size(), 7u);  // Q U O R B E L
    EXPECT_EQ(glyphs[0].firstY, 2);
    for (std::size_t i = 1; i < glyphs.size(); ++i) EXPECT_EQ(gapBefore(glyphs, i), 1) << "before glyph " << i;
    EXPECT_EQ(glyphs[0].rows, letterQ);
    EXPECT_EQ(glyphs[1].rows, letterU);
    EXPECT_EQ(glyphs[2].rows, letterO);
    EXPECT_EQ(glyphs[3].rows, letterR);
    EXPECT_EQ(glyphs[4].rows, letterB);
    EXPECT_EQ(glyphs[5].rows, letterE);
    EXPECT_EQ(glyphs[6].rows, letterL);
}

// A cell of the wall is one or two pixels of the picture, so each letter must differ from its
// neighbours in the alphabet by more than a cell at an edge.
TEST_F(WallCaption, LettersThatAreOursToShapeCannotBeTakenForOthers) {
    const std::vector<Placed> name = readLine(9);
    ASSERT_EQ(name.size(), 11u);
    const Shape& p = name[2].rows;
    // P: R's top three rows, then a bare stem; the second row closes the bowl at the right, which an F
    // or an E (a stem alone there) never does. The start view shows only the top two rows of this line.
    for (int row = 0; row < 3; ++row) EXPECT_EQ(p[row], letterR[row]) << "row " << row;
    EXPECT_EQ(p[1].front(), '1');
    EXPECT_EQ(p[1].back(), '1');
    for (int row = 3; row < 5; ++row) {
        EXPECT_EQ(p[row].front(), '1') << "row " << row;
        EXPECT_EQ(p[row].find('1', 1), std::string::npos) << "row " << row;
    }

    const std::vector<Placed> engine = readLine(22);
    ASSERT_EQ(engine.size(), 7u);
    const Shape& q = engine[0].rows;
    // Q: round at the top corners and the bottom left, where R and B are square, with a tail through
    // its lower right corner that O lacks; and wider than both.
    const std::size_t width = q[0].size();
    EXPECT_GT(width, letterR[0].size());
    EXPECT_EQ(q[0].front(), '0');
    EXPECT_EQ(q[0].back(), '0');
    EXPECT_EQ(q[4].front(), '0');
    EXPECT_EQ(q[4].back(), '1');
    EXPECT_EQ(q[3].back(), '0') << "the tail leaves the ring before the last row";
    EXPECT_EQ(q[1].front(), '1');
    EXPECT_EQ(q[1].back(), '1');
}

TEST_F(WallCaption, LiesOnlyInTheRowsOfItsLinesAndKeepsTheWallColour) {
    auto inALine = [](int z) { return (z >= 18 && z <= 22) || (z >= 11 && z <= 15) || (z >= 5 && z <= 9); };
    int misplaced = 0;
    int discoloured = 0;
    int captionCells = 0;
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z) {
                const Cell& cell = grid[x][y][z];
                if (cell.state != Caption) continue;
                ++captionCells;
                if (x != wallX || y < 1 || y > gridSize - 2 || !inALine(z)) ++misplaced;
                const int grey = 128 + z;
                if (cell.red != grey || cell.green != grey || cell.blue != grey) ++discoloured;
            }
    EXPECT_GT(captionCells, 0);
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(discoloured, 0);
}
