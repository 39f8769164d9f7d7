// The outer-totalistic automaton over the 26-cell neighbourhood, and its rules.
#pragma once

#include <cstdint>

constexpr int ruleListLength = 26;
// An entry that holds no count; no neighbour count (0..26) equals it.
constexpr std::int32_t noCount = 99;

// A count matches a list when any entry equals it; order and duplicates carry no meaning, and values
// outside 0..26 never match.
struct RuleSet {
    std::int32_t survival[ruleListLength];  // counts at which a non-empty cell stays Live
    std::int32_t birth[ruleListLength];     // counts at which an Empty cell becomes Live
};

// Filled once at start-up by loadRules; read by the automaton step.
extern RuleSet rules;

// True when count equals an entry of list.
bool listMatches(const std::int32_t (&list)[ruleListLength], int count);

// Sets both lists to the defaults: survival on 2 or 3, birth on 3, every other entry 99.
void setDefaultRules();

// The number of Live cells among the 26 neighbours of interior cell (x, y, z) of grid.
int countLiveNeighbours(int x, int y, int z);

// Advances the interior of grid by one generation, using nextGrid as the second buffer.
void stepGeneration();

// Advances the interior of grid by count generations.
void stepGenerations(int count);

// Reads rules.ini from the working directory (see world/rules_file.h).
void loadRules();
