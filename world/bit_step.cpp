#include "world/bit_step.h"

namespace {

bool listMatches(const std::int32_t (&list)[ruleListLength], int count) {
    for (std::int32_t entry : list)
        if (entry == count) return true;
    return false;
}

StepKernel bestSupportedKernel() {
    if (stepKernelSupported(StepKernel::Avx512)) return StepKernel::Avx512;
    if (stepKernelSupported(StepKernel::Avx2)) return StepKernel::Avx2;
    return StepKernel::Portable;
}

StepKernel chosenKernel = bestSupportedKernel();

}  // namespace

RuleMux ruleMuxFrom(const RuleSet& r) {
    constexpr int liveCases = 32;
    constexpr int largestBlockCount = 27;  // a Live centre and its 26 neighbours
    RuleMux mux{};
    for (int count = 0; count < liveCases; ++count) {
        // An Empty centre has count neighbours; a Live one count - 1.
        const bool birth = count < largestBlockCount && listMatches(r.birth, count);
        const bool survival = count >= 1 && count <= largestBlockCount && listMatches(r.survival, count - 1);
        const int emptyCase = count, liveCase = liveCases + count;
        if (birth) mux.lowBits[emptyCase / 4] |= static_cast<std::uint8_t>(1u << (emptyCase % 4));
        if (survival) mux.lowBits[liveCase / 4] |= static_cast<std::uint8_t>(1u << (liveCase % 4));
    }
    return mux;
}

bool stepKernelSupported(StepKernel k) {
    switch (k) {
    case StepKernel::Portable: return true;
#if defined(__x86_64__)
    case StepKernel::Avx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
    case StepKernel::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#else
    default: return false;
#endif
    }
    return false;
}

bool chooseStepKernel(StepKernel k) {
    if (!stepKernelSupported(k)) return false;
    chosenKernel = k;
    return true;
}

StepKernel chosenStepKernel() {
    return chosenKernel;
}

const char* stepKernelName(StepKernel k) {
    switch (k) {
    case StepKernel::Portable: return "portable";
    case StepKernel::Avx2: return "AVX2";
    case StepKernel::Avx512: return "AVX-512";
    }
    return "unknown";
}
