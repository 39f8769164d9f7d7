#include "world/automaton.h"

#include "world/grid.h"

RuleSet rules;

void setDefaultRules() {
    for (int i = 0; i < ruleListLength; ++i) rules.survival[i] = rules.birth[i] = noCount;
    rules.survival[0] = 2;
    rules.survival[1] = 3;
    rules.birth[0] = 3;
}

namespace {

bool listMatches(const std::int32_t (&list)[ruleListLength], int count) {
    for (std::int32_t entry : list)
        if (entry == count) return true;
    return false;
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

void stepGenerations(int count) {
    for (int i = 0; i < count; ++i) stepGeneration();
}
