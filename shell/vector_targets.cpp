#include "shell/vector_targets.h"

#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What the processor runs, read before any restriction: a restriction replaces what
// hwy::SupportedTargets reports.
std::int64_t processorTargets() {
    static const std::int64_t targets = hwy::SupportedTargets() & HWY_TARGETS;
    return targets;
}

std::int64_t lowestBit(std::int64_t bits) {
    return bits & -bits;
}

}  // namespace

std::int64_t builtVectorTargets() {
    return HWY_TARGETS;
}

std::int64_t processorVectorTargets() {
    return processorTargets();
}

std::int64_t activeVectorTarget() {
    return lowestBit(hwy::SupportedTargets() & HWY_TARGETS);
}

const char* vectorTargetName(std::int64_t target) {
    return hwy::TargetName(target);
}

bool restrictVectorTarget(std::int64_t target) {
    const std::int64_t usable = processorTargets();
    if (target != 0 && (target != lowestBit(target) || (usable & target) == 0)) return false;
    // Highway's test hook replaces the processor's answer for every dispatched kernel at once and
    // makes each choose again at its next call.
    hwy::SetSupportedTargetsForTest(target);
    return true;
}

void restrictVectorTargetFromEnvironment() {
    const char* wanted = std::getenv("CELLVANE_VECTOR_TARGET");
    if (wanted == nullptr || *wanted == '\0') return;
    for (std::int64_t bits = builtVectorTargets(); bits != 0; bits &= bits - 1) {
        const std::int64_t target = lowestBit(bits);
        if (std::strcmp(vectorTargetName(target), wanted) != 0) continue;
        if (!restrictVectorTarget(target))
            std::fprintf(stderr, "CELLVANE_VECTOR_TARGET=%s: this processor cannot run it; using %s\n", wanted,
                         vectorTargetName(activeVectorTarget()));
        return;
    }
    std::fprintf(stderr, "CELLVANE_VECTOR_TARGET=%s: no such target; using %s\n", wanted,
                 vectorTargetName(activeVectorTarget()));
}
