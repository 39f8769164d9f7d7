// The bit-sliced generation, written once over a vector of 64-bit lanes. Included only by the
// bit_step_*.cpp files, each after defining BIT_STEP_TARGET (the instruction-set attribute for its
// functions) and a struct Ops over its vector type:
//   V, lanes (64-bit words per V), load/store (any alignment), broadcast(word),
//   andOf, orOf, xorOf, andNot(a, b) = ~a & b, notOf,
//   xor3(a, b, c), majority(a, b, c), xorAnd(a, b, c) = a ^ (b & c), and3(a, b, c),
//   orAnd(a, b, c) = a | (b & c), orXor(a, b, c) = a | (b ^ c), orAndNot(a, b, c) = a | (~b & c),
//   select(m, a, b) = (a where m) | (b elsewhere), up(c) = c << 1, down(c) = c >> 1;
//   and, when hasTernary, ternary<table>(a, b, c): any function of three inputs given by its truth
//   table (bit 4a + 2b + c).
// Everything here has internal linkage, so each file gets its own copy for its own instructions.
#pragma once

#include "world/bit_step.h"

#include <cstdint>
#include <utility>

namespace {

constexpr int planeWords = gridSize;  // the columns of one x plane, y = 0..63
constexpr int zPad = 8;               // zero words around the z sums, read by the y sums at y = 0 and 63

// The z sums of the plane being summed, as two bit planes, and the y sums of three consecutive x
// planes (4 bit planes each), reused as x advances.
alignas(64) std::uint64_t zSumBits[2][zPad + planeWords + zPad];
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

// The AND of a, b and c, each taken as is where the matching bit of i (4, 2, 1) is set, else negated.
template <class Ops, int i>
BIT_STEP_TARGET inline typename Ops::V minterm(typename Ops::V a, typename Ops::V b, typename Ops::V c) {
    if constexpr (Ops::hasTernary) {
        return Ops::template ternary<1 << i>(a, b, c);
    } else {
        const typename Ops::V ab = (i & 4) ? ((i & 2) ? Ops::andOf(a, b) : Ops::andNot(b, a))
                                           : ((i & 2) ? Ops::andNot(a, b) : Ops::notOf(Ops::orOf(a, b)));
        return (i & 1) ? Ops::andOf(ab, c) : Ops::andNot(c, ab);
    }
}

// The minterms of (a, b, c) whose bits are set in used, into out.
template <class Ops, int... i>
BIT_STEP_TARGET inline void usedMinterms(typename Ops::V* out, unsigned used, typename Ops::V a, typename Ops::V b,
                                         typename Ops::V c, std::integer_sequence<int, i...>) {
    ((used & (1u << i) ? void(out[i] = minterm<Ops, i>(a, b, c)) : void()), ...);
}

// The z sums of every column of plane, then their y sums into sums.
template <class Ops>
BIT_STEP_TARGET inline void sumPlane(const std::uint64_t* plane, std::uint64_t (&sums)[4][planeWords]) {
    using V = typename Ops::V;
    std::uint64_t* zLow = zSumBits[0] + zPad;
    std::uint64_t* zHigh = zSumBits[1] + zPad;
    for (int y = 0; y < planeWords; y += Ops::lanes) {
        const V c = Ops::load(plane + y);
        const V below = Ops::up(c);
        const V above = Ops::down(c);
        Ops::store(zLow + y, Ops::xor3(c, below, above));
        Ops::store(zHigh + y, Ops::majority(c, below, above));
    }
    for (int y = 0; y < planeWords; y += Ops::lanes) {
        const V a0 = Ops::load(zLow + y - 1), b0 = Ops::load(zLow + y), c0 = Ops::load(zLow + y + 1);
        const V a1 = Ops::load(zHigh + y - 1), b1 = Ops::load(zHigh + y), c1 = Ops::load(zHigh + y + 1);
        const V carry2 = Ops::majority(a0, b0, c0);
        const V twos = Ops::xor3(a1, b1, c1);
        const V fours = Ops::majority(a1, b1, c1);
        Ops::store(sums[0] + y, Ops::xor3(a0, b0, c0));
        Ops::store(sums[1] + y, Ops::xorOf(twos, carry2));
        Ops::store(sums[2] + y, Ops::xorAnd(fours, twos, carry2));
        Ops::store(sums[3] + y, Ops::and3(fours, twos, carry2));
    }
}

// Adds the y sums of planes x - 1, x and x + 1, applies the rule and writes plane x of out. With
// few listed cases each of their counts is compared bit by bit and masked by the centres it applies
// to; with more, the minterms of the case's high and low three bits are formed once and each case
// is one AND of two of them.
template <class Ops, bool fewCases>
BIT_STEP_TARGET inline void rulePlane(const std::uint64_t (&p)[4][planeWords], const std::uint64_t (&q)[4][planeWords],
                                      const std::uint64_t (&r)[4][planeWords], const std::uint64_t* in,
                                      std::uint64_t* out, const RuleCases& ruleCases) {
    using V = typename Ops::V;
    // Local copies of what the loop reads per word: the stores to out cannot change them.
    const int count = ruleCases.count;
    const int countValues = ruleCases.countValues;
    const unsigned highUsed = ruleCases.highUsed, lowUsed = ruleCases.lowUsed;
    std::uint8_t high[RuleCases::largest], low[RuleCases::largest];
    for (int i = 0; i < count; ++i) high[i] = ruleCases.high[i], low[i] = ruleCases.low[i];
    const V complement = Ops::broadcast(ruleCases.complement ? ~0ull : 0);
    for (int y = 0; y < planeWords; y += Ops::lanes) {
        const V p0 = Ops::load(p[0] + y), q0 = Ops::load(q[0] + y), r0 = Ops::load(r[0] + y);
        const V s0 = Ops::xor3(p0, q0, r0);
        const V c2 = Ops::majority(p0, q0, r0);

        const V p1 = Ops::load(p[1] + y), q1 = Ops::load(q[1] + y), r1 = Ops::load(r[1] + y);
        const V t2 = Ops::xor3(p1, q1, r1);
        const V c4a = Ops::majority(p1, q1, r1);
        const V s1 = Ops::xorOf(t2, c2);
        const V c4b = Ops::andOf(t2, c2);

        const V p2 = Ops::load(p[2] + y), q2 = Ops::load(q[2] + y), r2 = Ops::load(r[2] + y);
        const V t4 = Ops::xor3(p2, q2, r2);
        const V c8a = Ops::majority(p2, q2, r2);
        const V s2 = Ops::xor3(t4, c4a, c4b);
        const V c8b = Ops::majority(t4, c4a, c4b);

        const V p3 = Ops::load(p[3] + y), q3 = Ops::load(q[3] + y), r3 = Ops::load(r[3] + y);
        const V t8 = Ops::xor3(p3, q3, r3);
        const V c16a = Ops::majority(p3, q3, r3);
        const V s3 = Ops::xor3(t8, c8a, c8b);
        const V c16b = Ops::majority(t8, c8a, c8b);
        const V s4 = Ops::xorOf(c16a, c16b);  // the count is at most 27: no carry out of 16

        const V live = Ops::load(in + y);

        // The rule: whether the case (live, s4 s3 s2 s1 s0) is one of the listed ones.
        V listed = Ops::broadcast(0);
        if constexpr (fewCases) {
            for (int i = 0; i < countValues; ++i) {
                const std::uint64_t* bits = ruleCases.countBits[i];
                V differs = Ops::xorOf(s4, Ops::broadcast(bits[0]));
                differs = Ops::orXor(differs, s3, Ops::broadcast(bits[1]));
                differs = Ops::orXor(differs, s2, Ops::broadcast(bits[2]));
                differs = Ops::orXor(differs, s1, Ops::broadcast(bits[3]));
                differs = Ops::orXor(differs, s0, Ops::broadcast(bits[4]));
                const V applies = Ops::orXor(Ops::broadcast(ruleCases.bothCentres[i]), live,
                                             Ops::broadcast(ruleCases.emptyCentreOnly[i]));
                listed = Ops::orAndNot(listed, differs, applies);
            }
        } else {
            V highTerms[8], lowTerms[8];
            usedMinterms<Ops>(highTerms, highUsed, live, s4, s3, std::make_integer_sequence<int, 8>{});
            usedMinterms<Ops>(lowTerms, lowUsed, s2, s1, s0, std::make_integer_sequence<int, 8>{});
            for (int i = 0; i < count; ++i) listed = Ops::orAnd(listed, highTerms[high[i]], lowTerms[low[i]]);
        }
        const V next = Ops::xorOf(listed, complement);

        Ops::store(out + y, Ops::select(Ops::load(computedBits.word + y), next, live));
    }
}

template <class Ops>
BIT_STEP_TARGET void stepPlanes(const std::uint64_t* in, std::uint64_t* out, const RuleCases& rule) {
    sumPlane<Ops>(in, ySumBits[0]);
    sumPlane<Ops>(in + planeWords, ySumBits[1]);
    for (int x = interiorFirst; x <= interiorLast; ++x) {
        sumPlane<Ops>(in + (x + 1) * planeWords, ySumBits[(x + 1) % 3]);
        if (rule.count <= RuleCases::few)
            rulePlane<Ops, true>(ySumBits[(x - 1) % 3], ySumBits[x % 3], ySumBits[(x + 1) % 3], in + x * planeWords,
                                 out + x * planeWords, rule);
        else
            rulePlane<Ops, false>(ySumBits[(x - 1) % 3], ySumBits[x % 3], ySumBits[(x + 1) % 3], in + x * planeWords,
                                  out + x * planeWords, rule);
    }
}

}  // namespace
