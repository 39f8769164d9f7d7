#include "world/automaton.h"

#include "world/bit_step.h"
#include "world/grid.h"
#include "world/step_kernel.h"

#include <cstring>

RuleSet rules;

void setDefaultRules() {
    for (int i = 0; i < ruleListLength; ++i) rules.survival[i] = rules.birth[i] = noCount;
    rules.survival[0] = 2;
    rules.survival[1] = 3;
    rules.birth[0] = 3;
}

bool listMatches(const std::int32_t (&list)[ruleListLength], int count) {
    for (std::int32_t entry : list)
        if (entry == count) return true;
    return false;
}

namespace {

// The one-bit world at the start of a run, and the two buffers that generations alternate between.
alignas(64) std::uint64_t packedStart[packedColumns];
alignas(64) std::uint64_t packedBuffers[2][packedColumns];

// One generation cell by cell, as the rule is defined. Used only when the interior holds a state
// other than Empty or Live: such a cell is judged by survival but never counted as a neighbour, a
// case the one-bit world cannot hold. The step leaves only Empty and Live behind.
void stepCellByCell() {
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                const bool occupied = grid[x][y][z].state != Empty;
                const int count = countLiveNeighbours(x, y, z);
                const bool live = occupied ? listMatches(rules.survival, count) : listMatches(rules.birth, count);
                nextGrid[x][y][z].state = live ? Live : Empty;
            }
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) grid[x][y][z].state = nextGrid[x][y][z].state;
}

}  // namespace

int countLiveNeighbours(int x, int y, int z) {
    int count = 0;
    for (int i = x - 1; i <= x + 1; ++i)
        for (int j = y - 1; j <= y + 1; ++j)
            for (int k = z - 1; k <= z + 1; ++k)
                if (grid[i][j][k].state == Live) ++count;
    if (grid[x][y][z].state == Live) --count;
    return count;
}

void stepGeneration() {
    stepGenerations(1);
}

// The rules are read afresh on every call, so a run always follows the current rules. The world is
// packed once, stepped count times in the one-bit form and written back once; a single generation
// does all three plane by plane.
void stepGenerations(int count) {
    if (count <= 0) return;
    if (count == 1) {
        if (!stepGridOnce(grid, nextGrid, ruleCasesFrom(rules), packedStart, packedBuffers[0])) stepCellByCell();
        return;
    }
    if (packLiveBits(grid, packedStart)) {
        stepCellByCell();
        if (--count == 0) return;
        packLiveBits(grid, packedStart);
    }
    const RuleCases rule = ruleCasesFrom(rules);
    // Rows x = 0 and x = 63 are shell, never computed: the same in every generation.
    constexpr std::size_t rowBytes = gridSize * sizeof(std::uint64_t);
    for (std::uint64_t* buffer : packedBuffers) {
        std::memcpy(buffer, packedStart, rowBytes);
        std::memcpy(buffer + (gridSize - 1) * gridSize, packedStart + (gridSize - 1) * gridSize, rowBytes);
    }
    const std::uint64_t* current = packedStart;
    for (int i = 0; i < count; ++i) {
        std::uint64_t* next = packedBuffers[i % 2];
        stepLiveBits(current, next, rule);
        current = next;
    }
    unpackLiveBits(current, grid, nextGrid);
}
