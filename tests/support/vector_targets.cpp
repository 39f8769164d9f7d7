#include "tests/support/vector_targets.h"

#include "shell/vector_targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string targetNames(std::int64_t targets) {
    std::string names;
    for (; targets != 0; targets &= targets - 1) names += std::string(names.empty() ? "" : " ") + vectorTargetName(targets & -targets);
    return names.empty() ? "none" : names;
}

}  // namespace

int randomCases(int full) {
    const char* text = std::getenv("CELLVANE_RANDOM_CASES");
    if (text == nullptr || *text == '\0') return full;
    return std::max(1, std::min(full, std::atoi(text)));
}

std::vector<std::int64_t> runnableVectorTargets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t bits = processorVectorTargets(); bits != 0; bits &= bits - 1) targets.push_back(bits & -bits);
    return targets;
}

void reportVectorTargets(const std::string& label) {
    std::printf("[ targets  ] %s: ran %s; not run (this processor lacks them): %s\n", label.c_str(),
                targetNames(processorVectorTargets()).c_str(), targetNames(builtVectorTargets() & ~processorVectorTargets()).c_str());
    std::fflush(stdout);
}

void forEachVectorTarget(const std::string& label, const std::function<void(std::int64_t, const char*)>& check) {
    for (const std::int64_t target : runnableVectorTargets()) {
        const char* name = vectorTargetName(target);
        ASSERT_TRUE(restrictVectorTarget(target)) << name;
        ASSERT_EQ(activeVectorTarget(), target) << name;
        check(target, name);
        if (::testing::Test::HasFatalFailure()) break;
    }
    restrictVectorTarget(0);
    reportVectorTargets(label);
}
