// The walk with AVX-512, for processors that have it: 24 rays at a time, a tile of 8 columns by 3 rows,
// one ray per lane of three 8-lane registers. Each lane does the plain walk's arithmetic on its own ray
// (the same multiplications, divisions, square root and additions in the same order, no fused
// multiply-add), so every lane's side distances, and so its choices of axis, match the plain walk
// exactly. The tile shares one step count per round: the smallest free radius among its unfinished
// rays, after which all of them look at their cells again.
#include "render/ray_walk.h"

#include <immintrin.h>

#include <cmath>

namespace {

#define CELLVANE_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

constexpr int tileColumns = 8;
constexpr int tileRows = 3;

// A cell position packed as x << 16 | y << 8 | z. A walk leaves the grid by at most one cell, to -1 or
// 64 along one axis; a borrow then spreads into the fields above, and either way one of the bits below
// is set, while no cell inside the grid sets any of them.
constexpr int outsideGridBits = static_cast<int>(0xFFC0C0C0u);
constexpr int packedStride[3] = {1 << 16, 1 << 8, 1};

struct Lanes {
    __m512d side[3];
    __m512d delta[3];
    __m256i step[3];  // packed increment of the cell position for a step along each axis
    __m256i cell;     // packed cell position
    __m256i face;
    __m256i endCell;  // the solid cell where each finished ray stopped, and the face of its last step
    __m256i endFace;
    __mmask8 active;  // rays still walking
    __mmask8 outside; // rays that left the grid
};

CELLVANE_AVX512 inline __m256i offsetOf(__m256i cell) {
    const __m256i x = _mm256_and_si256(_mm256_srli_epi32(cell, 4), _mm256_set1_epi32(0x3F000));
    const __m256i y = _mm256_and_si256(_mm256_srli_epi32(cell, 2), _mm256_set1_epi32(0xFC0));
    const __m256i z = _mm256_and_si256(cell, _mm256_set1_epi32(0x3F));
    return _mm256_or_si256(_mm256_or_si256(x, y), z);
}

// The plain walk's deltaDistance and set-up of one axis, lane by lane.
CELLVANE_AVX512 inline void setUpAxis(Lanes& lanes, int a, __m512d da, __m512d db, __m512d dc, const FrameRays& rays) {
    const __m512d daSquared = _mm512_mul_pd(da, da);
    const __m512d sum = _mm512_add_pd(_mm512_add_pd(_mm512_div_pd(_mm512_mul_pd(db, db), daSquared), _mm512_set1_pd(1.0)),
                                      _mm512_div_pd(_mm512_mul_pd(dc, dc), daSquared));
    const __mmask8 zero = _mm512_cmp_pd_mask(da, _mm512_setzero_pd(), _CMP_EQ_OQ);
    const __m512d delta = _mm512_mask_sqrt_pd(_mm512_set1_pd(INFINITY), static_cast<__mmask8>(~zero), sum);
    const __mmask8 negative = _mm512_cmp_pd_mask(da, _mm512_setzero_pd(), _CMP_LT_OQ);
    lanes.delta[a] = delta;
    lanes.side[a] = _mm512_mask_blend_pd(negative, _mm512_mul_pd(delta, _mm512_set1_pd(rays.towardUpper[a])),
                                         _mm512_mul_pd(delta, _mm512_set1_pd(rays.towardLower[a])));
    lanes.step[a] = _mm256_mask_blend_epi32(negative, _mm256_set1_epi32(packedStride[a]), _mm256_set1_epi32(-packedStride[a]));
}

// One step of every ray: the axis with the strictly smallest side distance, ties going to z over y
// over x, exactly as the plain walk chooses. Finished rays step on too, unmasked, which keeps the
// loop free of the active masks: their cell and face were kept in endCell and endFace when they
// stopped, and their cells are never looked at again.
template <bool recordFace>
[[gnu::always_inline]] CELLVANE_AVX512 inline void step(Lanes& lanes) {
    __mmask8 xBeforeY = _mm512_cmp_pd_mask(lanes.side[0], lanes.side[1], _CMP_LT_OQ);
    __mmask8 xBeforeZ = _mm512_cmp_pd_mask(lanes.side[0], lanes.side[2], _CMP_LT_OQ);
    __mmask8 yBeforeZ = _mm512_cmp_pd_mask(lanes.side[1], lanes.side[2], _CMP_LT_OQ);
    // Kept as three independent comparisons: the compiler would otherwise chain them as masked
    // comparisons, which lengthens every step by a comparison's latency.
    asm("" : "+k"(xBeforeY), "+k"(xBeforeZ), "+k"(yBeforeZ));
    const __mmask8 alongX = xBeforeY & xBeforeZ;
    const __mmask8 alongY = static_cast<__mmask8>(~xBeforeY & yBeforeZ);
    const __mmask8 notAlongZ = alongX | alongY;
    // Each side distance plus its delta is computed alongside the comparisons and kept where the
    // ray steps along that axis: the same additions as the plain walk, off the step's critical path.
    const __m512d nextX = _mm512_add_pd(lanes.side[0], lanes.delta[0]);
    const __m512d nextY = _mm512_add_pd(lanes.side[1], lanes.delta[1]);
    const __m512d nextZ = _mm512_add_pd(lanes.side[2], lanes.delta[2]);
    lanes.side[0] = _mm512_mask_mov_pd(lanes.side[0], alongX, nextX);
    lanes.side[1] = _mm512_mask_mov_pd(lanes.side[1], alongY, nextY);
    lanes.side[2] = _mm512_mask_mov_pd(nextZ, notAlongZ, lanes.side[2]);
    __m256i cell = _mm256_mask_mov_epi32(_mm256_add_epi32(lanes.cell, lanes.step[2]), notAlongZ, lanes.cell);
    cell = _mm256_mask_add_epi32(cell, alongX, cell, lanes.step[0]);
    cell = _mm256_mask_add_epi32(cell, alongY, cell, lanes.step[1]);
    lanes.cell = cell;
    if constexpr (recordFace) {
        __m256i face = _mm256_set1_epi32(3);
        face = _mm256_mask_mov_epi32(face, alongX, _mm256_set1_epi32(1));
        face = _mm256_mask_mov_epi32(face, alongY, _mm256_set1_epi32(2));
        lanes.face = face;
    }
}

// Looks at the cell of every active ray: a ray that left the grid or stands in a solid cell stops; the
// solid cell and the face of the step into it are kept in endCell and endFace for shading. Returns
// the free radius of each ray still walking, and 255 for the others.
CELLVANE_AVX512 inline __m256i lookAtCells(Lanes& lanes) {
    const __mmask8 left = _mm256_mask_test_epi32_mask(lanes.active, lanes.cell, _mm256_set1_epi32(outsideGridBits));
    lanes.outside |= left;
    lanes.active &= static_cast<__mmask8>(~left);
    __m256i radius = _mm256_mmask_i32gather_epi32(_mm256_setzero_si256(), lanes.active, offsetOf(lanes.cell), freeRadius, 1);
    radius = _mm256_and_si256(radius, _mm256_set1_epi32(0xFF));
    const __mmask8 stopped = _mm256_mask_cmpeq_epi32_mask(lanes.active, radius, _mm256_setzero_si256());
    lanes.endCell = _mm256_mask_mov_epi32(lanes.endCell, stopped, lanes.cell);
    lanes.endFace = _mm256_mask_mov_epi32(lanes.endFace, stopped, lanes.face);
    lanes.active &= static_cast<__mmask8>(~stopped);
    return _mm256_mask_blend_epi32(lanes.active, _mm256_set1_epi32(255), radius);
}

CELLVANE_AVX512 inline int smallest(__m256i values) {
    __m128i m = _mm_min_epu32(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
    m = _mm_min_epu32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epu32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
}

// The colour of every ray of one row of the tile, stored to rgb (masked to the picture's columns).
CELLVANE_AVX512 inline void shade(const Lanes& lanes, __mmask8 columns, __m256i rampGreen, std::uint8_t rampBlue, std::uint32_t* rgb) {
    const __mmask8 hit = static_cast<__mmask8>(columns & ~lanes.outside);
    // A Cell read as a little-endian 32-bit word: red, green, blue, state from the lowest byte up.
    const __m256i cell = _mm256_mmask_i32gather_epi32(_mm256_setzero_si256(), hit, offsetOf(lanes.endCell), &grid[0][0][0], 4);
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i red = _mm256_and_si256(cell, byte);
    const __m256i blue = _mm256_and_si256(_mm256_srli_epi32(cell, 16), byte);
    __m256i colour = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(red, 16), _mm256_and_si256(cell, _mm256_set1_epi32(0xFF00))), blue);
    const __m256i state = _mm256_srli_epi32(cell, 24);

    const __mmask8 live = _mm256_cmpeq_epi32_mask(state, _mm256_set1_epi32(Live));
    const __mmask8 acrossX = _mm256_cmpeq_epi32_mask(lanes.endFace, _mm256_set1_epi32(1));
    const __mmask8 acrossY = _mm256_cmpeq_epi32_mask(lanes.endFace, _mm256_set1_epi32(2));
    __m256i keep = _mm256_set1_epi32(0xFF00FF);  // across z, or before any step: no green
    keep = _mm256_mask_mov_epi32(keep, acrossX, _mm256_set1_epi32(0xFFFF00));
    keep = _mm256_mask_mov_epi32(keep, acrossY, _mm256_set1_epi32(0x00FFFF));
    colour = _mm256_mask_and_epi32(colour, live, colour, keep);

    const __mmask8 caption = _mm256_cmpeq_epi32_mask(state, _mm256_set1_epi32(Caption));
    const __m256i ramp = _mm256_or_si256(_mm256_set1_epi32(0xFF0000 | rampBlue), _mm256_slli_epi32(rampGreen, 8));
    colour = _mm256_mask_mov_epi32(colour, caption, ramp);

    _mm256_mask_storeu_epi32(rgb, columns, _mm256_maskz_mov_epi32(hit, colour));
}

CELLVANE_AVX512 void walkTile(const FrameRays& rays, int i0, int j0) {
    const int columnsLeft = rays.width - i0;
    const __mmask8 columns = static_cast<__mmask8>(columnsLeft >= tileColumns ? 0xFF : (1u << columnsLeft) - 1);
    const __m512d cx = _mm512_maskz_loadu_pd(columns, rays.cx + i0);
    const int eyeCell = rays.eyeCell[0] << 16 | rays.eyeCell[1] << 8 | rays.eyeCell[2];

    Lanes lanes[tileRows];
#pragma GCC unroll 3
    for (int g = 0; g < tileRows; ++g) {
        const int j = j0 + g;
        Lanes& l = lanes[g];
        l.active = j < rays.height ? columns : 0;
        l.outside = 0;
        l.cell = _mm256_set1_epi32(eyeCell);
        l.face = _mm256_set1_epi32(rays.startFace);
        l.endCell = l.cell;
        l.endFace = l.face;
        const __m512d cy = _mm512_set1_pd(j < rays.height ? rays.cy[j] : 0.0);
        // d = right * cx + up * cy + direction, component by component, left to right.
        const __m512d dx = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(rays.right.x), cx), _mm512_mul_pd(_mm512_set1_pd(rays.up.x), cy)),
                                         _mm512_set1_pd(rays.direction.x));
        const __m512d dy = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(rays.right.y), cx), _mm512_mul_pd(_mm512_set1_pd(rays.up.y), cy)),
                                         _mm512_set1_pd(rays.direction.y));
        const __m512d dz = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(rays.right.z), cx), _mm512_mul_pd(_mm512_set1_pd(rays.up.z), cy)),
                                         _mm512_set1_pd(rays.direction.z));
        setUpAxis(l, 0, dx, dy, dz, rays);
        setUpAxis(l, 1, dy, dx, dz, rays);
        setUpAxis(l, 2, dz, dx, dy, rays);
    }

    for (;;) {
        __m256i radius = lookAtCells(lanes[0]);
#pragma GCC unroll 3
        for (int g = 1; g < tileRows; ++g) radius = _mm256_min_epu32(radius, lookAtCells(lanes[g]));
        const int steps = smallest(radius);
        if (steps == 255) break;  // no ray walks on
        for (int s = 1; s < steps; ++s) {
#pragma GCC unroll 3
            for (int g = 0; g < tileRows; ++g) step<false>(lanes[g]);
        }
#pragma GCC unroll 3
        for (int g = 0; g < tileRows; ++g) step<true>(lanes[g]);
    }

    const __m256i rampGreen = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rays.rampGreen + i0)));
#pragma GCC unroll 3
    for (int g = 0; g < tileRows; ++g) {
        const int j = j0 + g;
        if (j < rays.height) shade(lanes[g], columns, rampGreen, rays.rampBlue[j], rays.rgb + j * rays.width + i0);
    }
}

}  // namespace

CELLVANE_AVX512 void walkPictureAvx512(const FrameRays& rays) {
    for (int j0 = 0; j0 < rays.height; j0 += tileRows)
        for (int i0 = 0; i0 < rays.width; i0 += tileColumns) walkTile(rays, i0, j0);
}
