// The kernel on AVX-512 (F and BW): eight column words per register, every three-input bitwise
// function in one instruction. Chosen at run time only on processors that have both.
#if defined(__x86_64__)

#include "world/bit_step.h"

#include <immintrin.h>

#define BIT_STEP_TARGET __attribute__((target("avx512f,avx512bw")))
#include "world/bit_step_kernel.h"

namespace {

// Truth tables of the three-input instruction: operand a is 0xF0, b 0xCC, c 0xAA.
constexpr int tableXor3 = 0x96;
constexpr int tableMajority = 0xE8;
constexpr int tableXorAnd = 0x78;  // a ^ (b & c)
constexpr int tableAnd3 = 0x80;
constexpr int tableSelect = 0xCA;  // a ? b : c
constexpr int tableOrAnd = 0xF8;   // a | (b & c)
constexpr int tableOrXor = 0xF6;   // a | (b ^ c)
constexpr int tableOrAndNot = 0xF2;  // a | (~b & c)

typedef unsigned long long Words __attribute__((vector_size(64)));

struct Avx512Ops {
    using V = __m512i;
    static constexpr int lanes = 8;
    static constexpr bool hasTernary = true;
    template <int table>
    BIT_STEP_TARGET static V ternary(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, table); }
    BIT_STEP_TARGET static V load(const std::uint64_t* p) { return _mm512_loadu_si512(p); }
    BIT_STEP_TARGET static void store(std::uint64_t* p, V v) { _mm512_storeu_si512(p, v); }
    BIT_STEP_TARGET static V broadcast(std::uint64_t w) { return _mm512_set1_epi64(static_cast<long long>(w)); }
    BIT_STEP_TARGET static V andOf(V a, V b) { return _mm512_and_si512(a, b); }
    BIT_STEP_TARGET static V orOf(V a, V b) { return _mm512_or_si512(a, b); }
    BIT_STEP_TARGET static V xorOf(V a, V b) { return _mm512_xor_si512(a, b); }
    BIT_STEP_TARGET static V andNot(V a, V b) { return ~a & b; }
    BIT_STEP_TARGET static V notOf(V a) { return _mm512_ternarylogic_epi64(a, a, a, 0x0F); }
    BIT_STEP_TARGET static V xor3(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableXor3); }
    BIT_STEP_TARGET static V majority(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableMajority); }
    BIT_STEP_TARGET static V xorAnd(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableXorAnd); }
    BIT_STEP_TARGET static V and3(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableAnd3); }
    BIT_STEP_TARGET static V orAnd(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableOrAnd); }
    BIT_STEP_TARGET static V orXor(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableOrXor); }
    BIT_STEP_TARGET static V orAndNot(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, tableOrAndNot); }
    BIT_STEP_TARGET static V select(V m, V a, V b) { return _mm512_ternarylogic_epi64(m, a, b, tableSelect); }
    // Vector operators rather than the shift intrinsics, which trip GCC 12's uninitialised-value
    // warning inside their own header.
    BIT_STEP_TARGET static V up(V c) { return reinterpret_cast<V>(reinterpret_cast<Words>(c) << 1); }
    BIT_STEP_TARGET static V down(V c) { return reinterpret_cast<V>(reinterpret_cast<Words>(c) >> 1); }
};

constexpr int cellsPerLoad = 16;
constexpr int loadsPerColumn = gridSize / cellsPerLoad;


BIT_STEP_TARGET bool packAvx512(const CellGrid& g, std::uint64_t* live) {
    const unsigned char* cells = cellBytes(g);
    const __m512i stateByte = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const __m512i liveState = _mm512_set1_epi32(0x01000000);
    // The state bits above Live, in the cells of a column load that are interior (z = 1..62).
    const __m512i aboveLive = _mm512_set1_epi32(static_cast<int>(0xFE000000u));
    const __m512i aboveLiveFirst = _mm512_mask_mov_epi32(aboveLive, 1, _mm512_setzero_si512());
    const __m512i aboveLiveLast = _mm512_mask_mov_epi32(aboveLive, 1 << 15, _mm512_setzero_si512());
    __m512i other = _mm512_setzero_si512();
    for (int column = 0; column < packedColumns; ++column) {
        const unsigned char* c = cells + column * gridSize * sizeof(Cell);
        const __m512i v0 = _mm512_loadu_si512(c);
        const __m512i v1 = _mm512_loadu_si512(c + 64);
        const __m512i v2 = _mm512_loadu_si512(c + 128);
        const __m512i v3 = _mm512_loadu_si512(c + 192);
        const __mmask16 k0 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(v0, stateByte), liveState);
        const __mmask16 k1 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(v1, stateByte), liveState);
        const __mmask16 k2 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(v2, stateByte), liveState);
        const __mmask16 k3 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(v3, stateByte), liveState);
        live[column] = static_cast<std::uint64_t>(_mm512_kunpackd(_mm512_kunpackw(k3, k2), _mm512_kunpackw(k1, k0)));
        const int x = column / gridSize, y = column % gridSize;
        if (isShellCell(x, y, interiorFirst)) continue;
        other = _mm512_ternarylogic_epi64(other, v0, aboveLiveFirst, tableOrAnd);
        other = _mm512_ternarylogic_epi64(other, v1, aboveLive, tableOrAnd);
        other = _mm512_ternarylogic_epi64(other, v2, aboveLive, tableOrAnd);
        other = _mm512_ternarylogic_epi64(other, v3, aboveLiveLast, tableOrAnd);
    }
    return _mm512_test_epi64_mask(other, other) != 0;
}

BIT_STEP_TARGET void stepAvx512(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    stepPlanes<Avx512Ops>(in, out, rule);
}

// Only the changed cells of g are stored, by a byte mask rather than a branch per chunk: in a sparse
// world such a branch goes either way at random and costs more in mispredictions than it saves.
BIT_STEP_TARGET void unpackAvx512(const std::uint64_t* start, const std::uint64_t* result, CellGrid& g, CellGrid& next) {
    unsigned char* cells = cellBytes(g);
    unsigned char* nextCells = cellBytes(next);
    const __m512i stateByte = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const __m512i liveState = _mm512_set1_epi32(0x01000000);
    // The state byte of each cell, less those of z = 0 and z = 63 (shell).
    constexpr std::uint64_t stateBytes = 0x8888888888888888ull;
    constexpr std::uint64_t byteMasks[loadsPerColumn] = {stateBytes & ~(1ull << 3), stateBytes, stateBytes,
                                                         stateBytes & ~(1ull << 63)};
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y) {
            const int column = x * gridSize + y;
            const std::uint64_t word = result[column];
            const std::uint64_t changed = (word ^ start[column]) & interiorBits;
            const std::size_t offset = static_cast<std::size_t>(column) * gridSize * sizeof(Cell);
            for (int k = 0; k < loadsPerColumn; ++k) {
                const __m512i states = _mm512_maskz_mov_epi32(static_cast<__mmask16>(word >> (k * cellsPerLoad)), liveState);
                // The state bytes of the changed cells: the sign bits of their bytes in changedBytes.
                const __m512i changedBytes = _mm512_maskz_mov_epi32(static_cast<__mmask16>(changed >> (k * cellsPerLoad)), stateByte);
                const std::size_t at = offset + k * cellsPerLoad * sizeof(Cell);
                _mm512_mask_storeu_epi8(cells + at, _mm512_movepi8_mask(changedBytes), states);
                _mm512_mask_storeu_epi8(nextCells + at, byteMasks[k], states);
            }
        }
}

}  // namespace

const StepKernelFunctions avx512StepKernel{packAvx512, stepAvx512, unpackAvx512};

#endif
