#include "tests/reference/plain_automaton.h"

namespace {

bool entryEquals(const std::int32_t (&list)[ruleListLength], int count) {
    for (std::int32_t entry : list)
        if (entry == count) return true;
    return false;
}

}  // namespace

int plainCountLiveNeighbours(const CellGrid& g, int x, int y, int z) {
    int count = 0;
    for (int i = x - 1; i <= x + 1; ++i)
        for (int j = y - 1; j <= y + 1; ++j)
            for (int k = z - 1; k <= z + 1; ++k)
                if (g[i][j][k].state == Live) ++count;
    if (g[x][y][z].state == Live) --count;
    return count;
}

void plainStepGeneration(CellGrid& g, CellGrid& next, const RuleSet& r) {
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                const bool occupied = g[x][y][z].state != Empty;
                const int count = plainCountLiveNeighbours(g, x, y, z);
                const bool live = occupied ? entryEquals(r.survival, count) : entryEquals(r.birth, count);
                next[x][y][z].state = live ? Live : Empty;
            }
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) g[x][y][z].state = next[x][y][z].state;
}
