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

// The columns left empty between glyph i - 1 and glyph i.
int gapBefore(const std::vector<Placed>& glyphs, std::size_t i) {
    return glyphs[i].firstY - glyphs[i - 1].lastY - 1;
}

void expectDesignedGlyph(const Placed& glyph) {
    const int width = glyph.lastY - glyph.firstY + 1;
    EXPECT_GE(width, 1);
    EXPECT_LE(width, 5);
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

    expectDesignedGlyph(glyphs[2]);  // P
    EXPECT_EQ(glyphs[3].rows, letterE);
    EXPECT_EQ(glyphs[4].rows, letterL);
    EXPECT_EQ(glyphs[5].rows, letterL);
    expectDesignedGlyph(glyphs[6]);  // W
    EXPECT_EQ(glyphs[7].rows, letterO);
    EXPECT_EQ(glyphs[8].rows, letterR);
    EXPECT_EQ(glyphs[9].rows, letterT);
    expectDesignedGlyph(glyphs[10]);  // H
    EXPECT_LE(glyphs.back().lastY, gridSize - 2) << "the name runs off the wall";

    EXPECT_EQ(grid[wallX][2][9].state, Caption);
    EXPECT_EQ(grid[wallX][4][9].state, Wall);
}

TEST_F(WallCaption, FirstLineReadsTheEngineName) {
    const std::vector<Placed> glyphs = readLine(22);
    ASSERT_EQ(glyphs.size(), 7u);  // Q U O R B E L
    EXPECT_EQ(glyphs[0].firstY, 2);
    for (std::size_t i = 1; i < glyphs.size(); ++i) EXPECT_EQ(gapBefore(glyphs, i), 1) << "before glyph " << i;
    expectDesignedGlyph(glyphs[0]);  // Q
    expectDesignedGlyph(glyphs[1]);  // U
    EXPECT_EQ(glyphs[2].rows, letterO);
    EXPECT_EQ(glyphs[3].rows, letterR);
    EXPECT_EQ(glyphs[4].rows, letterB);
    EXPECT_EQ(glyphs[5].rows, letterE);
    EXPECT_EQ(glyphs[6].rows, letterL);
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
