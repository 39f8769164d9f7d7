// The kernel in plain C++ on 64-bit words: runs on any processor.
#include "world/bit_step.h"

#define BIT_STEP_TARGET
#include "world/bit_step_kernel.h"

namespace {

struct WordOps {
    using V = std::uint64_t;
    static constexpr int lanes = 1;
    static constexpr bool hasTernary = false;
    static V load(const std::uint64_t* p) { return *p; }
    static void store(std::uint64_t* p, V v) { *p = v; }
    static V broadcast(std::uint64_t w) { return w; }
    static V andOf(V a, V b) { return a & b; }
    static V orOf(V a, V b) { return a | b; }
    static V xorOf(V a, V b) { return a ^ b; }
    static V andNot(V a, V b) { return ~a & b; }
    static V notOf(V a) { return ~a; }
    static V xor3(V a, V b, V c) { return a ^ b ^ c; }
    static V majority(V a, V b, V c) { return (a & b) | (c & (a ^ b)); }
    static V xorAnd(V a, V b, V c) { return a ^ (b & c); }
    static V and3(V a, V b, V c) { return a & b & c; }
    static V orAnd(V a, V b, V c) { return a | (b & c); }
    static V orXor(V a, V b, V c) { return a | (b ^ c); }
    static V orAndNot(V a, V b, V c) { return a | (~b & c); }
    static V select(V m, V a, V b) { return b ^ ((a ^ b) & m); }
    static V up(V c) { return c << 1; }
    static V down(V c) { return c >> 1; }
};

bool packWords(const CellGrid& g, std::uint64_t* live) {
    std::uint64_t odd = 0;
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y) {
            std::uint64_t word = 0, other = 0;
            for (int z = 0; z < gridSize; ++z) {
                const std::uint8_t state = g[x][y][z].state;
                word |= static_cast<std::uint64_t>(state == Live) << z;
                other |= static_cast<std::uint64_t>(state > Live) << z;
            }
            live[x * gridSize + y] = word;
            if (!isShellCell(x, y, interiorFirst)) odd |= other & interiorBits;
        }
    return odd != 0;
}

void stepWords(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    stepPlanes<WordOps>(in, out, rule);
}

void unpackWords(const std::uint64_t* start, const std::uint64_t* result, CellGrid& g, CellGrid& next) {
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y) {
            const std::uint64_t word = result[x * gridSize + y];
            const std::uint64_t changed = word ^ start[x * gridSize + y];
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                const auto state = static_cast<std::uint8_t>((word >> z) & 1);
                if ((changed >> z) & 1) g[x][y][z].state = state;
                next[x][y][z].state = state;
            }
        }
}

}  // namespace

const StepKernelFunctions portableStepKernel{packWords, stepWords, unpackWords};
