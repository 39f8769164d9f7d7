// The block-letter caption on the far wall (x = 63): three lines of capitals five cells tall.
#include "world/grid.h"

#include <string_view>

namespace {

struct Glyph {
    char letter;
    const char* rows[5];  // top row first; '1' marks a Caption cell, read towards larger y
};

// The picture shows a cell as one or two pixels, so letters that differ in a single cell are easily
// confused. P therefore has R's width and closed bowl: its second row holds both sides, which no F or
// E has, and the start view, which cuts the third line after its second row, still shows that. Q is
// a full-width O with a tail through its lower right, so that neither O nor R can be read into it.

constexpr Glyph glyphs[] = {
    {'3', {"110", "001", "011", "001", "110"}},
    {'D', {"110", "101", "101", "101", "110"}},
    {'B', {"110", "101", "110", "101", "110"}},
    {'Y', {"101", "101", "111", "010", "010"}},
    {'E', {"111", "100", "110", "100", "111"}},
    {'L', {"100", "100", "100", "100", "111"}},
    {'O', {"010", "101", "101", "101", "010"}},
    {'R', {"1110", "1001", "1110", "1010", "1001"}},
    {'T', {"11111", "00100", "00100", "00100", "00100"}},
    {'Q', {"01110", "10001", "10001", "10010", "01101"}},
    {'U', {"101", "101", "101", "101", "111"}},
    {'P', {"1110", "1001", "1110", "1000", "1000"}},
    {'W', {"10001", "10001", "10101", "10101", "01010"}},
    {'H', {"101", "101", "111", "101", "101"}},
};

const Glyph* findGlyph(char letter) {
    for (const Glyph& glyph : glyphs)
        if (glyph.letter == letter) return &glyph;
    return nullptr;
}

constexpr int letterGap = 1;  // empty columns between the glyphs of a word
constexpr int wordGap = 4;    // empty columns between words
constexpr int wallX = gridSize - 1;

// Draws one line of text whose top row is at height topZ, starting at column firstY.
void drawLine(std::string_view text, int topZ, int firstY) {
    int y = firstY;
    bool wordStarted = false;
    for (char letter : text) {
        if (letter == ' ') {
            y += wordGap - letterGap;
            continue;
        }
        if (wordStarted) y += letterGap;
        const Glyph* glyph = findGlyph(letter);
        if (glyph == nullptr) continue;
        const int width = static_cast<int>(std::string_view(glyph->rows[0]).size());
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < width; ++column)
                if (glyph->rows[row][column] == '1') grid[wallX][y + column][topZ - row].state = Caption;
        y += width;
        wordStarted = true;
    }
}

}  // namespace

void drawWallCaption() {
    drawLine("QUORBEL", 22, 2);
    drawLine("3D", 15, 11);
    drawLine("BY PELLWORTH", 9, 2);
}
