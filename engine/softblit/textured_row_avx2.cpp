// AVX2 form of the plain copy of a textured run: the source offsets of eight (or four) pixels a
// step computed together, each texel read on its own (on processors whose gathers are slow this
// is faster than a gather), and the key pixels keeping the destination.
#include <immintrin.h>

#include "softblit/textured_row.h"

namespace softblit {
namespace {

// Lanes 0 to 7 of start + lane * step.
__attribute__((target("avx2"))) inline __m256i Positions(uint32_t start, uint32_t step) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(start)),
                            _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(step))));
}

// The byte offsets in the source of the texels at (us, vs).
__attribute__((target("avx2"))) inline __m256i Offsets(__m256i us, __m256i vs, __m256i pitch,
                                                       int texelShift) {
    __m256i rowStart = _mm256_mullo_epi32(_mm256_srli_epi32(vs, kFixedShift), pitch);
    return _mm256_add_epi32(rowStart, _mm256_slli_epi32(_mm256_srli_epi32(us, kFixedShift), texelShift));
}

template <int Bytes>
inline uint32_t Texel(const uint8_t* source, uint32_t offset) {
    return Bytes == 4 ? Load32(source + offset) : Load16(source + offset);
}

// The texels at the first Count offsets, packed in lane order (16 or 32 bits each).
template <int Bytes, int Count>
__attribute__((target("avx2"))) inline __m128i ReadTexels(const uint8_t* source, const uint32_t* o) {
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
        t = _mm_insert_epi32(t, static_cast<int>(Texel<4>(source, o[2])), 2);
        t = _mm_insert_epi32(t, static_cast<int>(Texel<4>(source, o[3])), 3);
    }
    return t;
}

struct CopyConstants {
    int pitch;
    uint32_t key;
    const uint8_t* source;
};

// Draws the Count (8 or 4) pixels at to whose source positions are the first Count lanes of
// (us, vs).
template <int Bytes, bool Keyed, int Count>
__attribute__((target("avx2"))) inline void CopyStep(const CopyConstants& k, uint8_t* to, __m256i us,
                                                     __m256i vs) {
    alignas(32) uint32_t o[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(o), Offsets(us, vs, _mm256_set1_epi32(k.pitch), Bytes == 4 ? 2 : 1));
    constexpr int kStoreBytes = Bytes * Count;
    if constexpr (kStoreBytes == 32) {
        __m256i t = _mm256_set_m128i(ReadTexels<4, 4>(k.source, o + 4), ReadTexels<4, 4>(k.source, o));
        __m256i* at = reinterpret_cast<__m256i*>(to);
        if constexpr (Keyed)
            t = _mm256_blendv_epi8(t, _mm256_loadu_si256(at),
                                   _mm256_cmpeq_epi32(t, _mm256_set1_epi32(static_cast<int>(k.key))));
        _mm256_storeu_si256(at, t);
    } else {
        __m128i t = ReadTexels<Bytes, Count>(k.source, o);
        __m128i d = kStoreBytes == 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(to))
                                      : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(to));
        if constexpr (Keyed) {
            __m128i isKey = Bytes == 4 ? _mm_cmpeq_epi32(t, _mm_set1_epi32(static_cast<int>(k.key)))
                                       : _mm_cmpeq_epi16(t, _mm_set1_epi16(static_cast<int16_t>(k.key)));
            t = _mm_blendv_epi8(t, d, isKey);
        }
        if constexpr (kStoreBytes == 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(to), t);
        else _mm_storel_epi64(reinterpret_cast<__m128i*>(to), t);
    }
}

// A run of 4 to 7 pixels: two steps of four, the second overlapping the first.
template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) void CopyShortRun(CopyConstants k, uint8_t* to, uint32_t u,
                                                  uint32_t v, uint32_t du, uint32_t dv, int64_t n) {
    uint32_t last = static_cast<uint32_t>(n - 4);
    CopyStep<Bytes, Keyed, 4>(k, to, Positions(u, du), Positions(v, dv));
    CopyStep<Bytes, Keyed, 4>(k, to + Bytes * (n - 4), Positions(u + last * du, du),
                              Positions(v + last * dv, dv));
}

// A run of 8 pixels or more (the constants taken by value, so that the stores do not make the
// loop reload them): eight a step, the rest as the last eight pixels, overlapping the step
// before.
template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) void CopyLongRun(CopyConstants k, uint8_t* to, uint32_t u,
                                                 uint32_t v, uint32_t du, uint32_t dv, int64_t n) {
    __m256i us = Positions(u, du);
    __m256i vs = Positions(v, dv);
    const __m256i uStep = _mm256_set1_epi32(static_cast<int>(du * 8));
    const __m256i vStep = _mm256_set1_epi32(static_cast<int>(dv * 8));
    int64_t x = 0;
    if constexpr (Bytes == 2) {
        // Sixteen 16-bit pixels a step: one 32-byte read and write of the destination.
        const __m256i uStep16 = _mm256_set1_epi32(static_cast<int>(du * 16));
        const __m256i vStep16 = _mm256_set1_epi32(static_cast<int>(dv * 16));
        const __m256i pitch = _mm256_set1_epi32(k.pitch);
        for (; x + 16 <= n; x += 16) {
            alignas(32) uint32_t o[16];
            _mm256_store_si256(reinterpret_cast<__m256i*>(o), Offsets(us, vs, pitch, 1));
            _mm256_store_si256(reinterpret_cast<__m256i*>(o + 8),
                               Offsets(_mm256_add_epi32(us, uStep), _mm256_add_epi32(vs, vStep), pitch, 1));
            __m256i t = _mm256_set_m128i(ReadTexels<2, 8>(k.source, o + 8), ReadTexels<2, 8>(k.source, o));
            __m256i* at = reinterpret_cast<__m256i*>(to + 2 * x);
            if constexpr (Keyed)
                t = _mm256_blendv_epi8(t, _mm256_loadu_si256(at),
                                       _mm256_cmpeq_epi16(t, _mm256_set1_epi16(static_cast<int16_t>(k.key))));
            _mm256_storeu_si256(at, t);
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

template <int Bytes, bool Keyed>
void CopyRun(CopyConstants k, uint8_t* to, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
             int64_t n) {
    if (n < 8) CopyShortRun<Bytes, Keyed>(k, to, u, v, du, dv, n);
    else CopyLongRun<Bytes, Keyed>(k, to, u, v, du, dv, n);
}

} // namespace

// The copy draws the pixels that its steps overlap the same again.
void CopyTexturedRunAvx2(const TexturedJob& job, int bytes, bool keyed, uint8_t* to, uint32_t u,
                         uint32_t v, int64_t n) {
    const CopyConstants k = {static_cast<int>(job.sourcePitch), job.context.key, job.source};
    const uint32_t du = job.plane.ux;
    const uint32_t dv = job.plane.vx;
    if (bytes == 4) {
        if (keyed) CopyRun<4, true>(k, to, u, v, du, dv, n);
        else CopyRun<4, false>(k, to, u, v, du, dv, n);
    } else if (keyed && job.context.key <= 0xFFFF) {
        // (A key of more bits than the texel never matches it.)
        CopyRun<2, true>(k, to, u, v, du, dv, n);
    } else {
        CopyRun<2, false>(k, to, u, v, du, dv, n);
    }
}

} // namespace softblit
