// The automaton's fast step, written once over Highway vectors and compiled for every vector target
// (foreach_target.h includes this file again per target). The generation works on vectors of 64-bit
// column words; packing and writing back work on 32-bit lanes, one cell each. The part after
// HWY_ONCE is compiled once and calls the target chosen at run time (shell/vector_targets.h).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "world/step_kernel.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include "world/step_kernel.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace cellvane {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

using D = hn::ScalableTag<std::uint64_t>;
using V = hn::Vec<D>;

constexpr int planeWords = gridSize;  // the columns of one x plane, y = 0..63
constexpr int zPad = 8;               // zero words around the z sums, read by the y sums at y = 0 and 63

// The z sums of two consecutive x planes (2 bit planes each), and the y sums of three (4 bit planes
// each), reused as x advances.
struct ZSums {
    alignas(64) std::uint64_t bits[2][zPad + planeWords + zPad];
};
ZSums zSums[2];
alignas(64) std::uint64_t ySumBits[3][4][planeWords];

// Per column of a plane, the bits that a generation computes: interior cells of interior columns.
struct ComputedBits {
    std::uint64_t word[planeWords];
};
constexpr ComputedBits makeComputedBits() {
    ComputedBits bits{};
    for (int y = interiorFirst; y <= interiorLast; ++y) bits.word[y] = interiorBits;
    return bits;
}
alignas(64) constexpr ComputedBits computedBits = makeComputedBits();

// Three-input bitwise functions. AVX-512 computes any of them in one instruction from its truth
// table (bit 4a + 2b + c); elsewhere they are built from two-input operations.
#if HWY_TARGET <= HWY_AVX3
template <int table>
HWY_INLINE V ternary(V a, V b, V c) {
    return V{_mm512_ternarylogic_epi64(a.raw, b.raw, c.raw, table)};
}
#endif

// sum = a ^ b ^ c, carry = majority(a, b, c).
HWY_INLINE void fullAdd(V a, V b, V c, V& sum, V& carry) {
#if HWY_TARGET <= HWY_AVX3
    sum = ternary<0x96>(a, b, c);
    carry = ternary<0xE8>(a, b, c);
#else
    const V ab = hn::Xor(a, b);
    sum = hn::Xor(ab, c);
    carry = hn::OrAnd(hn::And(a, b), ab, c);
#endif
}

// a | (b ^ c)
HWY_INLINE V orXor(V a, V b, V c) {
#if HWY_TARGET <= HWY_AVX3
    return ternary<0xF6>(a, b, c);
#else
    return hn::Or(a, hn::Xor(b, c));
#endif
}

// a | (~b & c)
HWY_INLINE V orAndNot(V a, V b, V c) {
#if HWY_TARGET <= HWY_AVX3
    return ternary<0xF2>(a, b, c);
#else
    return hn::Or(a, hn::AndNot(b, c));
#endif
}

// The bits of a where m is set, of b elsewhere (bit by bit, not lane by lane).
HWY_INLINE V select(V m, V a, V b) {
#if HWY_TARGET <= HWY_AVX3
    return ternary<0xCA>(m, a, b);
#else
    return hn::Xor(b, hn::And(hn::Xor(a, b), m));
#endif
}

// The AND of a, b and c, each taken as is where the matching bit of i (4, 2, 1) is set, else negated.
template <int i>
HWY_INLINE V minterm(V a, V b, V c) {
#if HWY_TARGET <= HWY_AVX3
    return ternary<1 << i>(a, b, c);
#else
    const V ab = (i & 4) ? ((i & 2) ? hn::And(a, b) : hn::AndNot(b, a))
                         : ((i & 2) ? hn::AndNot(a, b) : hn::Not(hn::Or(a, b)));
    return (i & 1) ? hn::And(ab, c) : hn::AndNot(c, ab);
#endif
}

// The minterms of (a, b, c) whose bits are set in used, into out.
template <int... i>
HWY_INLINE void usedMinterms(V* out, unsigned used, V a, V b, V c, std::integer_sequence<int, i...>) {
    ((used & (1u << i) ? void(out[i] = minterm<i>(a, b, c)) : void()), ...);
}

// The z sums of the columns y..y + lanes - 1 of plane, into z.
HWY_INLINE void sumAlongZ(const std::uint64_t* plane, int y, ZSums& z) {
    const D d;
    const V c = hn::LoadU(d, plane + y);
    V low, high;
    fullAdd(c, hn::ShiftLeft<1>(c), hn::ShiftRight<1>(c), low, high);
    hn::Store(low, d, z.bits[0] + zPad + y);
    hn::Store(high, d, z.bits[1] + zPad + y);
}

// The y sums of the z sums in z at columns y..y + lanes - 1, as four bit planes.
struct YSum {
    V bit[4];
};
HWY_INLINE YSum sumAlongY(const ZSums& z, int y) {
    const D d;
    const std::uint64_t* zLow = z.bits[0] + zPad;
    const std::uint64_t* zHigh = z.bits[1] + zPad;
    V s0, carry2, twos, fours;
    fullAdd(hn::LoadU(d, zLow + y - 1), hn::Load(d, zLow + y), hn::LoadU(d, zLow + y + 1), s0, carry2);
    fullAdd(hn::LoadU(d, zHigh + y - 1), hn::Load(d, zHigh + y), hn::LoadU(d, zHigh + y + 1), twos, fours);
    const V carry4 = hn::And(twos, carry2);
    return YSum{{s0, hn::Xor(twos, carry2), hn::Xor(fours, carry4), hn::And(fours, carry4)}};
}

HWY_INLINE void storeYSum(const YSum& sum, int y, std::uint64_t (&sums)[4][planeWords]) {
    const D d;
    for (int bit = 0; bit < 4; ++bit) hn::Store(sum.bit[bit], d, sums[bit] + y);
}

// Plane x of out, with the sums of the planes around it moving one plane ahead in the same pass:
// the z sums of plane x + 2 are formed (unless zAhead is null) and the y sums of plane x + 1 from
// z sums stored one pass earlier, used at once from registers and kept (into r) for the next two
// planes. The y sums of planes x - 1 and x (p, q) come from earlier passes. With few listed cases each of their counts is compared bit by bit and masked by
// the centres it applies to; with more, the minterms of the case's high and low three bits are
// formed once and each case is one AND of two of them.
template <bool fewCases>
HWY_INLINE void stepPlane(const std::uint64_t* zAhead, ZSums& zAheadSums, const ZSums& zNext,
                          const std::uint64_t (&p)[4][planeWords], const std::uint64_t (&q)[4][planeWords],
                          std::uint64_t (&r)[4][planeWords], const std::uint64_t* in, std::uint64_t* out,
                          const RuleCases& ruleCases) {
    const D d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    // Local copies of what the loop reads per word: the stores to out cannot change them.
    const int count = ruleCases.count;
    const int countValues = ruleCases.countValues;
    const unsigned highUsed = ruleCases.highUsed, lowUsed = ruleCases.lowUsed;
    std::uint8_t high[RuleCases::largest], low[RuleCases::largest];
    for (int i = 0; i < count; ++i) high[i] = ruleCases.high[i], low[i] = ruleCases.low[i];
    const V complement = hn::Set(d, ruleCases.complement ? ~0ull : 0);
    for (int y = 0; y < planeWords; y += lanes) {
        if (zAhead != nullptr) sumAlongZ(zAhead, y, zAheadSums);
        const YSum ahead = sumAlongY(zNext, y);
        storeYSum(ahead, y, r);

        V s0, c2;
        fullAdd(hn::Load(d, p[0] + y), hn::Load(d, q[0] + y), ahead.bit[0], s0, c2);

        V t2, c4a;
        fullAdd(hn::Load(d, p[1] + y), hn::Load(d, q[1] + y), ahead.bit[1], t2, c4a);
        const V s1 = hn::Xor(t2, c2);
        const V c4b = hn::And(t2, c2);

        V t4, c8a, s2, c8b;
        fullAdd(hn::Load(d, p[2] + y), hn::Load(d, q[2] + y), ahead.bit[2], t4, c8a);
        fullAdd(t4, c4a, c4b, s2, c8b);

        V t8, c16a, s3, c16b;
        fullAdd(hn::Load(d, p[3] + y), hn::Load(d, q[3] + y), ahead.bit[3], t8, c16a);
        fullAdd(t8, c8a, c8b, s3, c16b);
        const V s4 = hn::Or(c16a, c16b);  // the count is at most 27: the two carries are never both set

        const V live = hn::LoadU(d, in + y);

        // The rule: whether the case (live, s4 s3 s2 s1 s0) is one of the listed ones.
        V listed = hn::Zero(d);
        if constexpr (fewCases) {
            for (int i = 0; i < countValues; ++i) {
                const std::uint64_t* bits = ruleCases.countBits[i];
                V differs = hn::Xor(s4, hn::Set(d, bits[0]));
                differs = orXor(differs, s3, hn::Set(d, bits[1]));
                differs = orXor(differs, s2, hn::Set(d, bits[2]));
                differs = orXor(differs, s1, hn::Set(d, bits[3]));
                differs = orXor(differs, s0, hn::Set(d, bits[4]));
                const V applies =
                    orXor(hn::Set(d, ruleCases.bothCentres[i]), live, hn::Set(d, ruleCases.emptyCentreOnly[i]));
                listed = orAndNot(listed, differs, applies);
            }
        } else {
            V highTerms[8], lowTerms[8];
            usedMinterms(highTerms, highUsed, live, s4, s3, std::make_integer_sequence<int, 8>{});
            usedMinterms(lowTerms, lowUsed, s2, s1, s0, std::make_integer_sequence<int, 8>{});
            for (int i = 0; i < count; ++i) listed = hn::OrAnd(listed, highTerms[high[i]], lowTerms[low[i]]);
        }
        const V next = hn::Xor(listed, complement);

        hn::StoreU(select(hn::Load(d, computedBits.word + y), next, live), d, out + y);
    }
}

// Sums planes 0 and 1 ahead, and the z sums of plane 2: what the step of plane 1 expects.
HWY_INLINE void sumAhead(const std::uint64_t* in) {
    const D d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    for (int y = 0; y < planeWords; y += lanes) {
        sumAlongZ(in, y, zSums[0]);
        sumAlongZ(in + planeWords, y, zSums[1]);
    }
    for (int y = 0; y < planeWords; y += lanes) {
        storeYSum(sumAlongY(zSums[0], y), y, ySumBits[0]);
        storeYSum(sumAlongY(zSums[1], y), y, ySumBits[1]);
    }
    for (int y = 0; y < planeWords; y += lanes) sumAlongZ(in + 2 * planeWords, y, zSums[0]);
}

// Plane x of out, once planes up to x + 1 have been stepped (or summed ahead).
template <bool fewCases>
HWY_INLINE void stepPlaneAt(int x, const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    const std::uint64_t* zAhead = x + 2 < gridSize ? in + (x + 2) * planeWords : nullptr;
    stepPlane<fewCases>(zAhead, zSums[x % 2], zSums[(x + 1) % 2], ySumBits[(x - 1) % 3], ySumBits[x % 3],
                        ySumBits[(x + 1) % 3], in + x * planeWords, out + x * planeWords, rule);
}

template <bool fewCases>
HWY_INLINE void stepPlanes(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    sumAhead(in);
    for (int x = interiorFirst; x <= interiorLast; ++x) stepPlaneAt<fewCases>(x, in, out, rule);
}

// The kernels read a Cell as one little-endian 32-bit lane: colours in the low three bytes, the
// state in the top byte.
static_assert(sizeof(Cell) == 4, "a cell is one 32-bit lane");
static_assert(offsetof(Cell, state) == 3, "the state is the last byte of a cell");
static_assert(std::endian::native == std::endian::little, "the state byte is the top byte of a lane");

constexpr std::uint32_t stateMask = 0xFF000000u;
constexpr std::uint32_t liveState = std::uint32_t{Live} << 24;
constexpr std::uint32_t aboveLive = 0xFE000000u;  // the state bits that Empty and Live never set

#if HWY_TARGET != HWY_SCALAR
const std::uint32_t* cellLanes(const CellGrid& g) {
    return reinterpret_cast<const std::uint32_t*>(&g[0][0][0]);
}
std::uint8_t* cellBytes(CellGrid& g) {
    return reinterpret_cast<std::uint8_t*>(&g[0][0][0]);
}

// Stores the bytes of v where m is set; the others keep what p holds. A blend into a full load,
// stored whole: exact with one thread, and faster than a byte-masked store (which Highway emulates
// lane by lane on AVX2 and SSE4, and which measured slower on AVX-512 for these grids too).
template <class D8, class M8>
HWY_INLINE void storeBytes(D8 d8, hn::Vec<D8> v, M8 m, std::uint8_t* p) {
    hn::StoreU(hn::IfThenElse(m, v, hn::LoadU(d8, p)), d8, p);
}

#if HWY_TARGET > HWY_AVX3
// For targets of up to eight 32-bit lanes: the lanes of cells with each pattern of Live bits, the
// state byte Live or Empty and the colour bytes zero. One load replaces a broadcast and two tests.
constexpr int tableLanes = static_cast<int>(hn::MaxLanes(hn::ScalableTag<std::uint32_t>()));
static_assert(tableLanes <= 8, "a table of 2^lanes patterns");
struct StateTable {
    static constexpr int patterns = 1 << tableLanes;
    alignas(64) std::uint32_t states[patterns][tableLanes];
};
constexpr StateTable makeStateTable() {
    StateTable table{};
    for (int pattern = 0; pattern < StateTable::patterns; ++pattern)
        for (int lane = 0; lane < tableLanes; ++lane) table.states[pattern][lane] = (pattern >> lane) & 1 ? liveState : 0;
    return table;
}
constexpr StateTable stateTable = makeStateTable();
#endif
#endif

}  // namespace

#if HWY_TARGET == HWY_SCALAR

// The one-lane target (the portable one where the compiler's emulated 128-bit vectors are not
// usable) cannot view a cell as bytes: cell by cell in plain C++.
bool packPlane(const CellGrid& g, int x, std::uint64_t* live) {
    std::uint64_t odd = 0;
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

template <bool withNext, bool backwards = false>
void unpackPlane(const std::uint64_t* result, CellGrid& g, CellGrid* next, int x) {
    for (int y = interiorFirst; y <= interiorLast; ++y) {
        const std::uint64_t word = result[x * gridSize + y];
        for (int z = interiorFirst; z <= interiorLast; ++z) {
            const auto state = static_cast<std::uint8_t>((word >> z) & 1);
            g[x][y][z].state = state;
            if constexpr (withNext) (*next)[x][y][z].state = state;
        }
    }
}

#else

bool packPlane(const CellGrid& g, int x, std::uint64_t* live) {
    const hn::ScalableTag<std::uint32_t> d32;
    const int lanes = static_cast<int>(hn::Lanes(d32));
    const int loads = gridSize / lanes;
    const std::uint32_t* cells = cellLanes(g);
    const auto states = hn::Set(d32, stateMask);
    const auto liveStates = hn::Set(d32, liveState);
    // The state bits above Live, in the lanes of a column load that hold interior cells (z = 1..62).
    const auto oddBits = hn::Set(d32, aboveLive);
    const auto oddBitsFirst = hn::IfThenZeroElse(hn::FirstN(d32, 1), oddBits);
    const auto oddBitsLast = hn::IfThenElseZero(hn::FirstN(d32, lanes - 1), oddBits);
    auto odd = hn::Zero(d32);
    for (int y = 0; y < gridSize; ++y) {
        const int column = x * gridSize + y;
        const std::uint32_t* c = cells + column * gridSize;
        // The mask bits of each load go straight into the column word's bytes when they fill whole
        // bytes; four-lane targets gather two loads a byte.
        std::uint8_t* wordBytes = reinterpret_cast<std::uint8_t*>(live + column);
        std::uint64_t word = 0;
        const bool interior = !isShellCell(x, y, interiorFirst);
        for (int k = 0; k < loads; ++k) {
            const auto v = hn::LoadU(d32, c + k * lanes);
            const auto isLive = hn::Eq(hn::And(v, states), liveStates);
            if (lanes >= 8) {
                hn::StoreMaskBits(d32, isLive, wordBytes + k * lanes / 8);
            } else {
                std::uint8_t bits = 0;
                hn::StoreMaskBits(d32, isLive, &bits);
                word |= static_cast<std::uint64_t>(bits) << (k * lanes);
            }
            // Whole cells of the middle loads: the bits that matter are picked out once, below.
            if (interior)
                odd = k == 0           ? hn::OrAnd(odd, v, oddBitsFirst)
                      : k == loads - 1 ? hn::OrAnd(odd, v, oddBitsLast)
                                       : hn::Or(odd, v);
        }
        if (lanes < 8) live[column] = word;
    }
    return !hn::AllTrue(d32, hn::Eq(hn::And(odd, oddBits), hn::Zero(d32)));
}

// Every interior state of plane x of g (and of next) from result. In g the unchanged cells get back
// the state they hold: cheaper than finding the lanes that changed, since a store of part of a
// vector costs a load and a blend here anyway.
template <bool withNext, bool backwards = false>
void unpackPlane(const std::uint64_t* result, CellGrid& g, CellGrid* next, int x) {
    const hn::ScalableTag<std::uint32_t> d32;
    const hn::Repartition<std::uint8_t, decltype(d32)> d8;
    const int lanes = static_cast<int>(hn::Lanes(d32));
    const int loads = gridSize / lanes;
    std::uint8_t* cells = cellBytes(g);
    std::uint8_t* nextCells = withNext ? cellBytes(*next) : nullptr;
    const auto states = hn::Set(d32, stateMask);
    // The state bytes of the interior cells of a column load: z = 0 and z = 63 are shell.
    const auto interiorStates = hn::MaskFromVec(hn::BitCast(d8, states));
    const auto interiorStatesFirst = hn::MaskFromVec(hn::BitCast(d8, hn::IfThenZeroElse(hn::FirstN(d32, 1), states)));
    const auto interiorStatesLast =
        hn::MaskFromVec(hn::BitCast(d8, hn::IfThenElseZero(hn::FirstN(d32, lanes - 1), states)));
#if HWY_TARGET <= HWY_AVX3
    // Lane i of firstBits tests bit i of a 32-bit half of a column word, of laneBits bit i + 16.
    const auto liveStates = hn::Set(d32, liveState);
    const auto firstBits = hn::Shl(hn::Set(d32, 1u), hn::Iota(d32, 0));
    const auto laneBits = hn::ShiftLeftSame(firstBits, lanes);
#endif
    for (int i = interiorFirst; i <= interiorLast; ++i) {
        const int y = backwards ? interiorFirst + interiorLast - i : i;
        const int column = x * gridSize + y;
        const std::uint64_t word = result[column];
#if HWY_TARGET <= HWY_AVX3
        const auto wordLow = hn::Set(d32, static_cast<std::uint32_t>(word));
        const auto wordHigh = hn::Set(d32, static_cast<std::uint32_t>(word >> 32));
#endif
        const std::size_t offset = static_cast<std::size_t>(column) * gridSize * sizeof(Cell);
        for (int k = 0; k < loads; ++k) {
#if HWY_TARGET <= HWY_AVX3
            // Sixteen lanes: two loads a 32-bit half of the word.
            const auto half = k < 2 ? wordLow : wordHigh;
            const auto nowLive = hn::TestBit(half, k % 2 ? laneBits : firstBits);
            const auto newStates = hn::BitCast(d8, hn::IfThenElseZero(nowLive, liveStates));
#else
            const std::uint64_t pattern = (word >> (k * lanes)) & (stateTable.patterns - 1);
            const auto newStates = hn::BitCast(d8, hn::Load(d32, stateTable.states[pattern]));
#endif
            const auto stored = k == 0 ? interiorStatesFirst : k == loads - 1 ? interiorStatesLast : interiorStates;
            const std::size_t at = offset + static_cast<std::size_t>(k * lanes) * sizeof(Cell);
            if constexpr (withNext) storeBytes(d8, newStates, stored, nextCells + at);
            storeBytes(d8, newStates, stored, cells + at);
        }
    }
}

#endif

bool packColumns(const CellGrid& g, std::uint64_t* live) {
    bool odd = false;
    for (int x = 0; x < gridSize; ++x) odd |= packPlane(g, x, live);
    return odd;
}

void stepColumns(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    if (rule.count <= RuleCases::few)
        stepPlanes<true>(in, out, rule);
    else
        stepPlanes<false>(in, out, rule);
}

void unpackColumns(const std::uint64_t* result, CellGrid& g, CellGrid& next) {
    // Backwards: the planes packed last are the likeliest still to be in cache.
    for (int x = interiorLast; x >= interiorFirst; --x) unpackPlane<true, true>(result, g, &next, x);
}

// With planes 0 to 3 of g packed into start: packs plane x + 3 of g (read by the step of plane
// x + 1), steps plane x and writes it back while it is still in cache. On finding a state other
// than Empty or Live, puts back the planes of g already written and returns false.
template <bool fewCases>
bool streamPlanes(CellGrid& g, CellGrid& next, const RuleCases& rule, std::uint64_t* start, std::uint64_t* out) {
    sumAhead(start);
    for (int x = interiorFirst; x <= interiorLast; ++x) {
        if (x + 3 < gridSize && packPlane(g, x + 3, start)) {
            for (int done = interiorFirst; done < x; ++done) unpackPlane<false>(start, g, nullptr, done);
            return false;
        }
        stepPlaneAt<fewCases>(x, start, out, rule);
        unpackPlane<true>(out, g, &next, x);
    }
    return true;
}

bool stepGridColumns(CellGrid& g, CellGrid& next, const RuleCases& rule, std::uint64_t* start, std::uint64_t* out) {
    bool odd = false;
    for (int x = 0; x < 4; ++x) odd |= packPlane(g, x, start);
    if (odd) return false;
    return rule.count <= RuleCases::few ? streamPlanes<true>(g, next, rule, start, out)
                                        : streamPlanes<false>(g, next, rule, start, out);
}

std::int64_t targetOfThisBuild() {
    return HWY_TARGET;
}

}  // namespace HWY_NAMESPACE
}  // namespace cellvane
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace cellvane {

HWY_EXPORT(packColumns);
HWY_EXPORT(stepColumns);
HWY_EXPORT(unpackColumns);
HWY_EXPORT(stepGridColumns);
HWY_EXPORT(targetOfThisBuild);

}  // namespace cellvane

bool packLiveBits(const CellGrid& g, std::uint64_t* live) {
    return HWY_DYNAMIC_DISPATCH(cellvane::packColumns)(g, live);
}

void stepLiveBits(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    HWY_DYNAMIC_DISPATCH(cellvane::stepColumns)(in, out, rule);
}

void unpackLiveBits(const std::uint64_t* result, CellGrid& g, CellGrid& next) {
    HWY_DYNAMIC_DISPATCH(cellvane::unpackColumns)(result, g, next);
}

bool stepGridOnce(CellGrid& g, CellGrid& next, const RuleCases& rule, std::uint64_t* start, std::uint64_t* out) {
    return HWY_DYNAMIC_DISPATCH(cellvane::stepGridColumns)(g, next, rule, start, out);
}

std::int64_t stepKernelTarget() {
    return HWY_DYNAMIC_DISPATCH(cellvane::targetOfThisBuild)();
}

#endif  // HWY_ONCE
