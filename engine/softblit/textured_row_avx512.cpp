// The plain 16-bit copy from a source of at most 16 x 16 pixels, for processors with AVX-512BW:
// the whole source lies in eight registers, so the texels of thirty-two pixels a step come from
// permutes instead of one load each. Each pixel's source position is tested against the source's
// bounds in the registers too, so the rows need no search for their inside columns; the pixels
// outside, the key pixels and the pixels past the span are masked out of the store.
#include <immintrin.h>

#include "softblit/textured_row.h"

namespace softblit {

bool HasAvx512Bw() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has;
}

namespace {

#define VELK_AVX512 __attribute__((target("avx512f,avx512bw")))
#define VELK_AVX512_INLINE __attribute__((target("avx512f,avx512bw"), always_inline)) inline

// The zero-masked forms of the shifts: the plain ones start from an undefined register, which
// this compiler's headers make a false warning of.
constexpr __mmask32 kAll32 = 0xFFFFFFFFu;

// What every step of a draw shares: the source, rows 2k and 2k + 1 in register k (sixteen
// entries a row, zero past the source's width and height), the positions of lanes 0 to 15 and
// 16 to 31 relative to lane 0, the limits and the key.
struct SmallRegisters {
    __m512i table[8];
    __m512i uLanes[2];
    __m512i vLanes[2];
    __m512i uLimit;      // the limits in 16-bit lanes, over 2^16: a position is inside exactly
    __m512i vLimit;      // when its top sixteen bits lie below them
    __m512i key;
    __m512i high;        // picks the top halves of two sets of 32-bit lanes, as 16-bit lanes
    uint32_t uStride;    // the positions' change over thirty-two pixels
    uint32_t vStride;
};

VELK_AVX512_INLINE SmallRegisters PrepareRegisters(const TexturedJob& job) {
    SmallRegisters r;
    const int width = static_cast<int>(job.uLimit >> kFixedShift);
    const int height = static_cast<int>(job.vLimit >> kFixedShift);
    const __mmask32 row = (__mmask32{1} << width) - 1;
    for (int k = 0; k < 8; ++k) {
        __m512i pair = _mm512_setzero_si512();
        const uint8_t* even = job.source + job.sourcePitch * (2 * k);
        if (2 * k < height) pair = _mm512_maskz_loadu_epi16(row, even);
        // The odd row goes to lanes 16 to 31: loaded from 32 bytes before its start, the lanes
        // below 16 masked off (they are not read).
        if (2 * k + 1 < height) {
            uintptr_t odd = reinterpret_cast<uintptr_t>(even) + static_cast<uintptr_t>(job.sourcePitch) - 32;
            pair = _mm512_mask_loadu_epi16(pair, row << 16, reinterpret_cast<const void*>(odd));
        }
        r.table[k] = pair;
    }
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const uint32_t du = job.plane.ux, dv = job.plane.vx;
    r.uLanes[0] = _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int>(du)));
    r.vLanes[0] = _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int>(dv)));
    r.uLanes[1] = _mm512_add_epi32(r.uLanes[0], _mm512_set1_epi32(static_cast<int>(du * 16)));
    r.vLanes[1] = _mm512_add_epi32(r.vLanes[0], _mm512_set1_epi32(static_cast<int>(dv * 16)));
    // The limits are whole multiples of 2^18 (16 or less times it).
    r.uLimit = _mm512_set1_epi16(static_cast<int16_t>(job.uLimit >> 16));
    r.vLimit = _mm512_set1_epi16(static_cast<int16_t>(job.vLimit >> 16));
    r.key = _mm512_set1_epi16(static_cast<int16_t>(job.context.key));
    r.high = _mm512_set_epi16(63, 61, 59, 57, 55, 53, 51, 49, 47, 45, 43, 41, 39, 37, 35, 33,
                              31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
    r.uStride = du * 32;
    r.vStride = dv * 32;
    return r;
}

// The top sixteen bits of thirty-two positions, lanes 0 to 15 from the 32-bit lanes of p0 and 16
// to 31 from those of p1: below the limit exactly when the position is, and then the source
// column or row is them over 4.
VELK_AVX512_INLINE __m512i TopHalves(const SmallRegisters& r, __m512i p0, __m512i p1) {
    return _mm512_permutex2var_epi16(p0, r.high, p1);
}

// The lanes of store whose positions lie inside the source.
VELK_AVX512_INLINE __mmask32 Inside(const SmallRegisters& r, __mmask32 store, __m512i uTop, __m512i vTop) {
    return _mm512_mask_cmplt_epu16_mask(_mm512_mask_cmplt_epu16_mask(store, uTop, r.uLimit), vTop, r.vLimit);
}

// The texels of thirty-two positions inside the source; the key's lanes taken out of store.
template <bool Keyed>
VELK_AVX512_INLINE __m512i LookUp(const SmallRegisters& r, __m512i uTop, __m512i vTop, __mmask32* store) {
    // The table entry, row << 4 | column: (uTop >> 2) | ((vTop << 2) & 0xF0).
    const __m512i index = _mm512_ternarylogic_epi32(_mm512_maskz_srli_epi16(kAll32, uTop, 2),
                                                    _mm512_maskz_slli_epi16(kAll32, vTop, 2),
                                                    _mm512_set1_epi16(0xF0), 0xF8);
    // Entries 64q to 64q + 63 lie in registers 2q and 2q + 1: bit 6 picks within a half of the
    // table, bit 7 the half.
    const __mmask32 odd = _mm512_test_epi16_mask(index, _mm512_set1_epi16(64));
    const __m512i low = _mm512_mask_mov_epi16(_mm512_permutex2var_epi16(r.table[0], index, r.table[1]), odd,
                                              _mm512_permutex2var_epi16(r.table[2], index, r.table[3]));
    const __m512i high = _mm512_mask_mov_epi16(_mm512_permutex2var_epi16(r.table[4], index, r.table[5]), odd,
                                               _mm512_permutex2var_epi16(r.table[6], index, r.table[7]));
    const __m512i texels = _mm512_mask_mov_epi16(low, _mm512_test_epi16_mask(index, _mm512_set1_epi16(128)), high);
    if constexpr (Keyed) *store = _mm512_mask_cmpneq_epi16_mask(*store, texels, r.key);
    return texels;
}

// Draws the n pixels at to whose first source position is (u, v), those inside the source.
template <bool Keyed>
VELK_AVX512_INLINE void DrawSpan(const SmallRegisters& r, uint8_t* to, uint32_t u, uint32_t v, int64_t n) {
    __m512i u0 = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(u)), r.uLanes[0]);
    __m512i v0 = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(v)), r.vLanes[0]);
    __m512i u1 = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(u)), r.uLanes[1]);
    __m512i v1 = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(v)), r.vLanes[1]);
    const __m512i uStride = _mm512_set1_epi32(static_cast<int>(r.uStride));
    const __m512i vStride = _mm512_set1_epi32(static_cast<int>(r.vStride));
    for (int64_t x = 0; x < n; x += 32) {
        const int64_t left = n - x;
        __mmask32 store = left < 32 ? static_cast<__mmask32>((uint64_t{1} << left) - 1) : kAll32;
        const __m512i uTop = TopHalves(r, u0, u1), vTop = TopHalves(r, v0, v1);
        store = Inside(r, store, uTop, vTop);
        if (store != 0) {
            const __m512i texels = LookUp<Keyed>(r, uTop, vTop, &store);
            _mm512_mask_storeu_epi16(to + 2 * x, store, texels);
        }
        u0 = _mm512_add_epi32(u0, uStride);
        v0 = _mm512_add_epi32(v0, vStride);
        u1 = _mm512_add_epi32(u1, uStride);
        v1 = _mm512_add_epi32(v1, vStride);
    }
}

// Draws the n <= 16 pixels of two rows, the first at to and at (u, v), the second a pitch below
// and a row step further: the second row's positions in lanes 16 to 31.
template <bool Keyed>
VELK_AVX512_INLINE void DrawRowPair(const SmallRegisters& r, __m512i uDown, __m512i vDown, __mmask32 length,
                                    uint8_t* to, int64_t pitch, uint32_t u, uint32_t v) {
    const __m512i uStart = _mm512_set1_epi32(static_cast<int>(u));
    const __m512i vStart = _mm512_set1_epi32(static_cast<int>(v));
    const __m512i u0 = _mm512_add_epi32(uStart, r.uLanes[0]), u1 = _mm512_add_epi32(uStart, uDown);
    const __m512i v0 = _mm512_add_epi32(vStart, r.vLanes[0]), v1 = _mm512_add_epi32(vStart, vDown);
    const __m512i uTop = TopHalves(r, u0, u1), vTop = TopHalves(r, v0, v1);
    __mmask32 store = Inside(r, length, uTop, vTop);
    if (store == 0) return;
    const __m512i texels = LookUp<Keyed>(r, uTop, vTop, &store);
    _mm512_mask_storeu_epi16(to, store & 0xFFFF, texels);
    // Lanes 16 to 31 to the row below: stored from 32 bytes before its start, the lanes below 16
    // masked off (they are not written).
    uintptr_t below = reinterpret_cast<uintptr_t>(to) + static_cast<uintptr_t>(pitch) - 32;
    _mm512_mask_storeu_epi16(reinterpret_cast<void*>(below), store & 0xFFFF0000u, texels);
}

// The position of the plane at (x, y), in 32-bit arithmetic that wraps.
inline void PlaneAt(const SourcePlane& plane, int64_t x, int64_t y, uint32_t* u, uint32_t* v) {
    uint32_t dx = static_cast<uint32_t>(x - plane.xRef);
    uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
    *u = plane.uRef + dx * plane.ux + dy * plane.uy;
    *v = plane.vRef + dx * plane.vx + dy * plane.vy;
}

template <bool Keyed>
VELK_AVX512 void DrawRows(const TexturedJob& job, const DrawBounds& box) {
    const SmallRegisters r = PrepareRegisters(job);
    uint32_t u, v;
    PlaneAt(job.plane, box.left, box.top, &u, &v);
    const int64_t width = box.right - box.left;
    const int64_t pitch = job.destinationPitch;
    const uint32_t uy = job.plane.uy, vy = job.plane.vy;
    uint8_t* to = job.destination + pitch * box.top + 2 * box.left;
    int64_t y = box.top;
    if (width <= 16) {
        // Narrow boxes (the small tiles) two rows a step.
        const __m512i uDown = _mm512_add_epi32(r.uLanes[0], _mm512_set1_epi32(static_cast<int>(uy)));
        const __m512i vDown = _mm512_add_epi32(r.vLanes[0], _mm512_set1_epi32(static_cast<int>(vy)));
        const uint32_t row = (uint32_t{1} << width) - 1;
        const __mmask32 length = row | row << 16;
        for (; y + 1 < box.bottom; y += 2, u += 2 * uy, v += 2 * vy, to += 2 * pitch)
            DrawRowPair<Keyed>(r, uDown, vDown, length, to, pitch, u, v);
    }
    for (; y < box.bottom; ++y, u += uy, v += vy, to += pitch) DrawSpan<Keyed>(r, to, u, v, width);
}

template <bool Keyed>
VELK_AVX512 void DrawSpans(const TexturedJob& job, const TexturedSpan* spans, int64_t count) {
    const SmallRegisters r = PrepareRegisters(job);
    for (int64_t i = 0; i < count; ++i) {
        const TexturedSpan& s = spans[i];
        uint32_t u, v;
        PlaneAt(job.plane, s.x, s.y, &u, &v);
        DrawSpan<Keyed>(r, job.destination + job.destinationPitch * s.y + 2 * s.x, u, v, s.n);
    }
}

#undef VELK_AVX512_INLINE
#undef VELK_AVX512

} // namespace

// (A key of more bits than a 16-bit texel never matches it.)
void DrawSmallRows16(const TexturedJob& job, const DrawBounds& box, bool keyed) {
    if (keyed && job.context.key <= 0xFFFF) DrawRows<true>(job, box);
    else DrawRows<false>(job, box);
}

void DrawSmallSpans16(const TexturedJob& job, const TexturedSpan* spans, int64_t count, bool keyed) {
    if (keyed && job.context.key <= 0xFFFF) DrawSpans<true>(job, spans, count);
    else DrawSpans<false>(job, spans, count);
}

} // namespace softblit
