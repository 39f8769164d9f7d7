#include "world/bit_step.h"

RuleCases ruleCasesFrom(const RuleSet& r) {
    constexpr int liveCases = 32;
    constexpr int largestBlockCount = 27;  // a Live centre and its 26 neighbours
    bool makesLive[2 * liveCases] = {};
    bool possible[2 * liveCases] = {};
    int liveCount = 0;
    for (int count = 0; count <= largestBlockCount; ++count) {
        // An Empty centre has count Live neighbours, a Live one count - 1.
        if (count < largestBlockCount) {
            possible[count] = true;
            makesLive[count] = listMatches(r.birth, count);
        }
        if (count >= 1) {
            possible[liveCases + count] = true;
            makesLive[liveCases + count] = listMatches(r.survival, count - 1);
        }
    }
    for (int c = 0; c < 2 * liveCases; ++c) liveCount += makesLive[c];
    RuleCases cases{};
    cases.complement = liveCount > RuleCases::largest;
    for (int c = 0; c < 2 * liveCases; ++c) {
        if (!possible[c] || makesLive[c] == cases.complement) continue;
        cases.high[cases.count] = static_cast<std::uint8_t>(c >> 3);
        cases.low[cases.count] = static_cast<std::uint8_t>(c & 7);
        cases.highUsed |= static_cast<std::uint8_t>(1u << (c >> 3));
        cases.lowUsed |= static_cast<std::uint8_t>(1u << (c & 7));
        ++cases.count;
    }
    if (cases.count > RuleCases::few) return cases;
    for (int count = 0; count < liveCases; ++count) {
        const bool forEmpty = possible[count] && makesLive[count] != cases.complement;
        const bool forLive = possible[liveCases + count] && makesLive[liveCases + count] != cases.complement;
        if (!forEmpty && !forLive) continue;
        const int i = cases.countValues++;
        for (int bit = 0; bit < 5; ++bit) cases.countBits[i][bit] = (count >> (4 - bit)) & 1 ? ~0ull : 0;
        cases.bothCentres[i] = forEmpty && forLive ? ~0ull : 0;
        cases.emptyCentreOnly[i] = forEmpty && !forLive ? ~0ull : 0;
    }
    return cases;
}
