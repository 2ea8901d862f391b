// AVX2 form of the plain copy of a textured run: the source offsets of eight pixels a step
// computed together, each texel read on its own (on processors whose gathers are slow this is
// faster than a gather), and the key pixels keeping the destination. Each depth and key variant
// is one function with everything inlined: the runs are short, so a call and its register saves
// per run cost as much as several pixels.
#include <immintrin.h>

#include "softblit/textured_row.h"

namespace softblit {
namespace {

#define VELK_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Lanes 0 to 7 of start + lane * step.
VELK_AVX2 __m256i Positions(uint32_t start, uint32_t step) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(start)),
                            _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(step))));
}

// What a run's steps share, in registers.
struct CopyConstants {
    const uint8_t* source;
    __m256i pitch;
    __m256i key;      // the key in every 16- or 32-bit lane
};

// The byte offsets in the source of the texels at (us, vs), stored to o.
template <int Bytes>
VELK_AVX2 void StoreOffsets(const CopyConstants& k, __m256i us, __m256i vs, uint32_t* o) {
    __m256i rowStart = _mm256_mullo_epi32(_mm256_srli_epi32(vs, kFixedShift), k.pitch);
    __m256i column = _mm256_slli_epi32(_mm256_srli_epi32(us, kFixedShift), Bytes == 4 ? 2 : 1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(o), _mm256_add_epi32(rowStart, column));
}

template <int Bytes>
inline uint32_t Texel(const uint8_t* source, uint32_t offset) {
    return Bytes == 4 ? Load32(source + offset) : Load16(source + offset);
}

// The texels at the first Count offsets, packed in lane order (16 or 32 bits each).
template <int Bytes, int Count>
VELK_AVX2 __m128i ReadTexels(const uint8_t* source, const uint32_t* o) {
    __m128i t = _mm_cvtsi32_si128(static_cast<int>(Texel<Bytes>(source, o[0])));
    if constexpr (Bytes == 2) {
        t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[1])), 1);
        t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[2])), 2);
        t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[3])), 3);
        if constexpr (Count == 8) {
            t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[4])), 4);
            t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[5])), 5);
            t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[6])), 6);
            t = _mm_insert_epi16(t, static_cast<int>(Texel<2>(source, o[7])), 7);
        }
    } else {
        t = _mm_insert_epi32(t, static_cast<int>(Texel<4>(source, o[1])), 1);
        if constexpr (Count == 4) {
            t = _mm_insert_epi32(t, static_cast<int>(Texel<4>(source, o[2])), 2);
            t = _mm_insert_epi32(t, static_cast<int>(Texel<4>(source, o[3])), 3);
        }
    }
    return t;
}

// The texels keep their place where they are not the key; the key pixels keep the destination.
template <int Bytes, bool Keyed>
VELK_AVX2 __m128i Keep128(const CopyConstants& k, __m128i t, __m128i d) {
    if constexpr (!Keyed) return t;
    __m128i key = _mm256_castsi256_si128(k.key);
    __m128i isKey = Bytes == 4 ? _mm_cmpeq_epi32(t, key) : _mm_cmpeq_epi16(t, key);
    return _mm_blendv_epi8(t, d, isKey);
}

// Draws the Count (4 or 8) pixels at to whose source positions are the first Count lanes of
// (us, vs).
template <int Bytes, bool Keyed, int Count>
VELK_AVX2 void CopyStep(const CopyConstants& k, uint8_t* to, __m256i us, __m256i vs) {
    alignas(32) uint32_t o[8];
    StoreOffsets<Bytes>(k, us, vs, o);
    constexpr int kStoreBytes = Bytes * Count;
    if constexpr (kStoreBytes == 32) {
        __m256i t = _mm256_set_m128i(ReadTexels<4, 4>(k.source, o + 4), ReadTexels<4, 4>(k.source, o));
        __m256i* at = reinterpret_cast<__m256i*>(to);
        if constexpr (Keyed) t = _mm256_blendv_epi8(t, _mm256_loadu_si256(at), _mm256_cmpeq_epi32(t, k.key));
        _mm256_storeu_si256(at, t);
    } else if constexpr (kStoreBytes == 16) {
        __m128i* at = reinterpret_cast<__m128i*>(to);
        __m128i t = ReadTexels<Bytes, Count>(k.source, o);
        if constexpr (Keyed) t = Keep128<Bytes, Keyed>(k, t, _mm_loadu_si128(at));
        _mm_storeu_si128(at, t);
    } else {
        __m128i* at = reinterpret_cast<__m128i*>(to);
        __m128i t = ReadTexels<Bytes, Count>(k.source, o);
        if constexpr (Keyed) t = Keep128<Bytes, Keyed>(k, t, _mm_loadl_epi64(at));
        _mm_storel_epi64(at, t);
    }
}

// Sixteen 16-bit pixels: one 32-byte read and write of the destination.
template <bool Keyed>
VELK_AVX2 void CopyStep16(const CopyConstants& k, uint8_t* to, __m256i us, __m256i vs, __m256i uStep,
                          __m256i vStep) {
    alignas(32) uint32_t o[16];
    StoreOffsets<2>(k, us, vs, o);
    StoreOffsets<2>(k, _mm256_add_epi32(us, uStep), _mm256_add_epi32(vs, vStep), o + 8);
    __m256i t = _mm256_set_m128i(ReadTexels<2, 8>(k.source, o + 8), ReadTexels<2, 8>(k.source, o));
    __m256i* at = reinterpret_cast<__m256i*>(to);
    if constexpr (Keyed) t = _mm256_blendv_epi8(t, _mm256_loadu_si256(at), _mm256_cmpeq_epi16(t, k.key));
    _mm256_storeu_si256(at, t);
}

// A run of n >= 4 pixels: below eight, two steps of four, the second overlapping the first;
// otherwise sixteen (16-bit) or eight a step, the rest as the last eight pixels, overlapping the
// step before.
template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) void CopyRun(const TexturedJob& job, uint8_t* to, uint32_t u, uint32_t v, int64_t n) {
    const uint32_t du = job.plane.ux;
    const uint32_t dv = job.plane.vx;
    const uint32_t key = job.context.key;
    const CopyConstants k = {job.source, _mm256_set1_epi32(static_cast<int>(job.sourcePitch)),
                             Bytes == 4 ? _mm256_set1_epi32(static_cast<int>(key))
                                        : _mm256_set1_epi16(static_cast<int16_t>(key))};
    if (n < 8) {
        uint32_t last = static_cast<uint32_t>(n - 4);
        CopyStep<Bytes, Keyed, 4>(k, to, Positions(u, du), Positions(v, dv));
        CopyStep<Bytes, Keyed, 4>(k, to + Bytes * (n - 4), Positions(u + last * du, du),
                                  Positions(v + last * dv, dv));
        return;
    }
    __m256i us = Positions(u, du);
    __m256i vs = Positions(v, dv);
    const __m256i uStep = _mm256_set1_epi32(static_cast<int>(du * 8));
    const __m256i vStep = _mm256_set1_epi32(static_cast<int>(dv * 8));
    int64_t x = 0;
    if constexpr (Bytes == 2) {
        const __m256i uStep16 = _mm256_set1_epi32(static_cast<int>(du * 16));
        const __m256i vStep16 = _mm256_set1_epi32(static_cast<int>(dv * 16));
        for (; x + 16 <= n; x += 16) {
            CopyStep16<Keyed>(k, to + 2 * x, us, vs, uStep, vStep);
            us = _mm256_add_epi32(us, uStep16);
            vs = _mm256_add_epi32(vs, vStep16);
        }
    }
    for (; x + 8 <= n; x += 8) {
        CopyStep<Bytes, Keyed, 8>(k, to + Bytes * x, us, vs);
        us = _mm256_add_epi32(us, uStep);
        vs = _mm256_add_epi32(vs, vStep);
    }
    if (x < n) {
        uint32_t last = static_cast<uint32_t>(n - 8);
        CopyStep<Bytes, Keyed, 8>(k, to + Bytes * (n - 8), Positions(u + last * du, du),
                                  Positions(v + last * dv, dv));
    }
}

#undef VELK_AVX2

} // namespace

// The copy draws the pixels that its steps overlap the same again.
template <int Bytes, bool Keyed>
void CopyTexturedRunAvx2(const TexturedJob& job, uint8_t* to, uint32_t u, uint32_t v, int64_t n) {
    // (A key of more bits than a 16-bit texel never matches it.)
    if (Bytes == 2 && Keyed && job.context.key > 0xFFFF) CopyRun<Bytes, false>(job, to, u, v, n);
    else CopyRun<Bytes, Keyed>(job, to, u, v, n);
}

template void CopyTexturedRunAvx2<2, false>(const TexturedJob&, uint8_t*, uint32_t, uint32_t, int64_t);
template void CopyTexturedRunAvx2<2, true>(const TexturedJob&, uint8_t*, uint32_t, uint32_t, int64_t);
template void CopyTexturedRunAvx2<4, false>(const TexturedJob&, uint8_t*, uint32_t, uint32_t, int64_t);
template void CopyTexturedRunAvx2<4, true>(const TexturedJob&, uint8_t*, uint32_t, uint32_t, int64_t);

} // namespace softblit
