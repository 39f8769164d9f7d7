#include "tests/support/rule_lists.h"

#include <stdexcept>

void setList(std::int32_t (&list)[ruleListLength], std::initializer_list<std::int32_t> counts) {
    if (counts.size() > static_cast<std::size_t>(ruleListLength)) throw std::length_error("more counts than a rule list holds");
    for (std::int32_t& entry : list) entry = noCount;
    int i = 0;
    for (std::int32_t count : counts) list[i++] = count;
}

RuleSet listsOf(std::initializer_list<std::int32_t> survival, std::initializer_list<std::int32_t> birth) {
    RuleSet rules;
    setList(rules.survival, survival);
    setList(rules.birth, birth);
    return rules;
}
