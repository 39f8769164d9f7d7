// The kernel on AVX2: four column words per register. Chosen at run time only on processors that
// have AVX2.
#if defined(__x86_64__)

#include "world/bit_step.h"

#include <immintrin.h>

#define BIT_STEP_TARGET __attribute__((target("avx2")))
#include "world/bit_step_kernel.h"

namespace {

struct Avx2Ops {
    using V = __m256i;
    static constexpr int lanes = 4;
    static constexpr bool hasTernary = false;
    BIT_STEP_TARGET static V load(const std::uint64_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    BIT_STEP_TARGET static void store(std::uint64_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
    BIT_STEP_TARGET static V broadcast(std::uint64_t w) { return _mm256_set1_epi64x(static_cast<long long>(w)); }
    BIT_STEP_TARGET static V andOf(V a, V b) { return _mm256_and_si256(a, b); }
    BIT_STEP_TARGET static V orOf(V a, V b) { return _mm256_or_si256(a, b); }
    BIT_STEP_TARGET static V xorOf(V a, V b) { return _mm256_xor_si256(a, b); }
    BIT_STEP_TARGET static V andNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    BIT_STEP_TARGET static V notOf(V a) { return _mm256_xor_si256(a, _mm256_set1_epi64x(-1)); }
    BIT_STEP_TARGET static V xor3(V a, V b, V c) { return xorOf(xorOf(a, b), c); }
    BIT_STEP_TARGET static V majority(V a, V b, V c) { return orOf(andOf(a, b), andOf(c, xorOf(a, b))); }
    BIT_STEP_TARGET static V xorAnd(V a, V b, V c) { return xorOf(a, andOf(b, c)); }
    BIT_STEP_TARGET static V and3(V a, V b, V c) { return andOf(andOf(a, b), c); }
    BIT_STEP_TARGET static V orAnd(V a, V b, V c) { return orOf(a, andOf(b, c)); }
    BIT_STEP_TARGET static V orXor(V a, V b, V c) { return orOf(a, xorOf(b, c)); }
    BIT_STEP_TARGET static V orAndNot(V a, V b, V c) { return orOf(a, andNot(b, c)); }
    BIT_STEP_TARGET static V select(V m, V a, V b) { return xorOf(b, andOf(xorOf(a, b), m)); }
    BIT_STEP_TARGET static V up(V c) { return _mm256_slli_epi64(c, 1); }
    BIT_STEP_TARGET static V down(V c) { return _mm256_srli_epi64(c, 1); }
};

constexpr int cellsPerLoad = 8;
constexpr int loadsPerColumn = gridSize / cellsPerLoad;


BIT_STEP_TARGET bool packAvx2(const CellGrid& g, std::uint64_t* live) {
    const unsigned char* cells = cellBytes(g);
    const __m256i stateByte = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i stateAboveLive = _mm256_set1_epi32(static_cast<int>(0xFE000000u));
    const __m256i liveState = _mm256_set1_epi32(0x01000000);
    const __m256i zero = _mm256_setzero_si256();
    std::uint64_t odd = 0;
    for (int column = 0; column < packedColumns; ++column) {
        const unsigned char* c = cells + column * gridSize * sizeof(Cell);
        std::uint64_t word = 0, other = 0;
        for (int k = 0; k < loadsPerColumn; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + k * cellsPerLoad * sizeof(Cell)));
            const int isLive = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(v, stateByte), liveState)));
            const int isLow = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(v, stateAboveLive), zero)));
            word |= static_cast<std::uint64_t>(isLive) << (k * cellsPerLoad);
            other |= static_cast<std::uint64_t>(~isLow & 0xFF) << (k * cellsPerLoad);
        }
        live[column] = word;
        const int x = column / gridSize, y = column % gridSize;
        if (!isShellCell(x, y, interiorFirst)) odd |= other & interiorBits;
    }
    return odd != 0;
}

BIT_STEP_TARGET void stepAvx2(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    stepPlanes<Avx2Ops>(in, out, rule);
}

// Writes the state bytes of the eight cells at c from bits, leaving colours and the cells whose lanes
// keep marks untouched.
BIT_STEP_TARGET inline void storeStates(unsigned char* c, __m256i states, __m256i keep) {
    __m256i* p = reinterpret_cast<__m256i*>(c);
    _mm256_storeu_si256(p, _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(p), keep), states));
}

BIT_STEP_TARGET void unpackAvx2(const std::uint64_t* start, const std::uint64_t* result, CellGrid& g, CellGrid& next) {
    unsigned char* cells = cellBytes(g);
    unsigned char* nextCells = cellBytes(next);
    const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i liveState = _mm256_set1_epi32(0x01000000);
    const __m256i colours = _mm256_set1_epi32(0x00FFFFFF);
    // Cells z = 0 and z = 63 are shell: kept whole.
    const __m256i keepFirst = _mm256_setr_epi32(-1, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF);
    const __m256i keepLast = _mm256_setr_epi32(0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, -1);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y) {
            const int column = x * gridSize + y;
            const std::uint64_t word = result[column];
            const std::uint64_t changed = (word ^ start[column]) & interiorBits;
            const std::size_t offset = static_cast<std::size_t>(column) * gridSize * sizeof(Cell);
            for (int k = 0; k < loadsPerColumn; ++k) {
                const __m256i keep = k == 0 ? keepFirst : k == loadsPerColumn - 1 ? keepLast : colours;
                const __m256i bits = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>((word >> (k * cellsPerLoad)) & 0xFF)), laneBits);
                const __m256i states = _mm256_andnot_si256(keep, _mm256_and_si256(_mm256_cmpeq_epi32(bits, laneBits), liveState));
                const std::size_t at = offset + k * cellsPerLoad * sizeof(Cell);
                // Only the changed cells of g are stored, by a lane mask rather than a branch per
                // chunk: in a sparse world such a branch goes either way at random.
                const __m256i changedBits = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>((changed >> (k * cellsPerLoad)) & 0xFF)), laneBits);
                const __m256i changedLanes = _mm256_cmpeq_epi32(changedBits, laneBits);
                const __m256i* p = reinterpret_cast<const __m256i*>(cells + at);
                _mm256_maskstore_epi32(reinterpret_cast<int*>(cells + at), changedLanes,
                                       _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(p), keep), states));
                storeStates(nextCells + at, states, keep);
            }
        }
}

}  // namespace

const StepKernelFunctions avx2StepKernel{packAvx2, stepAvx2, unpackAvx2};

#endif
