// Rule lists written as the counts they hold, for tests of the generation step.
#pragma once

#include "world/automaton.h"

#include <cstdint>
#include <initializer_list>

// Fills a survival or birth list with these counts, in order, and noCount after them.
void setList(std::int32_t (&list)[ruleListLength], std::initializer_list<std::int32_t> counts);
// A rule set with these survival and birth counts.
RuleSet listsOf(std::initializer_list<std::int32_t> survival, std::initializer_list<std::int32_t> birth);
