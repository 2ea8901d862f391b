// AVX2 form of the plain copy of a textured run: eight source positions a step, their texels
// fetched by one gather, the key pixels keeping the destination.
#include <immintrin.h>

#include "softblit/textured_row.h"

namespace softblit {
namespace {

struct GatherConstants {
    __m256i pitch;
    __m256i key;
    const int* source;
};

// Eight source positions from start on.
__attribute__((target("avx2"))) inline __m256i Positions(uint32_t start, uint32_t step) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(start)),
                            _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(step))));
}

// Draws the eight pixels at to whose source positions are (us, vs).
template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) inline void CopyEight(const GatherConstants& k, uint8_t* to,
                                                      __m256i us, __m256i vs) {
    __m256i column = _mm256_srli_epi32(us, kFixedShift);
    __m256i rowStart = _mm256_mullo_epi32(_mm256_srli_epi32(vs, kFixedShift), k.pitch);
    if constexpr (Bytes == 4) {
        __m256i offset = _mm256_add_epi32(rowStart, _mm256_slli_epi32(column, 2));
        __m256i texel = _mm256_i32gather_epi32(k.source, offset, 1);
        __m256i* at = reinterpret_cast<__m256i*>(to);
        if constexpr (Keyed)
            texel = _mm256_blendv_epi8(texel, _mm256_loadu_si256(at), _mm256_cmpeq_epi32(texel, k.key));
        _mm256_storeu_si256(at, texel);
    } else {
        // Four bytes read from the texel's left neighbour on (from the texel itself in the first
        // column) stay inside the source row; the texel is their high (low) half.
        __m256i after = _mm256_cmpgt_epi32(column, _mm256_setzero_si256());
        __m256i offset = _mm256_add_epi32(rowStart, _mm256_add_epi32(column, column));
        offset = _mm256_add_epi32(offset, _mm256_add_epi32(after, after));
        __m256i pair = _mm256_i32gather_epi32(k.source, offset, 1);
        __m256i texel = _mm256_srlv_epi32(pair, _mm256_and_si256(after, _mm256_set1_epi32(16)));
        texel = _mm256_and_si256(texel, _mm256_set1_epi32(0xFFFF));
        __m128i packed =
            _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(texel, texel), 0x08));
        __m128i* at = reinterpret_cast<__m128i*>(to);
        if constexpr (Keyed) {
            __m256i keep = _mm256_cmpeq_epi32(texel, k.key);
            __m128i keep16 =
                _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packs_epi32(keep, keep), 0x08));
            packed = _mm_blendv_epi8(packed, _mm_loadu_si128(at), keep16);
        }
        _mm_storeu_si128(at, packed);
    }
}

template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) void CopyRun(const TexturedJob& job, uint8_t* to, uint32_t u,
                                             uint32_t v, int64_t n) {
    const GatherConstants k = {_mm256_set1_epi32(static_cast<int>(job.sourcePitch)),
                               _mm256_set1_epi32(static_cast<int>(job.context.key)),
                               reinterpret_cast<const int*>(job.source)};
    const uint32_t du = job.plane.ux;
    const uint32_t dv = job.plane.vx;
    __m256i us = Positions(u, du);
    __m256i vs = Positions(v, dv);
    const __m256i uStep = _mm256_set1_epi32(static_cast<int>(du * 8));
    const __m256i vStep = _mm256_set1_epi32(static_cast<int>(dv * 8));
    int64_t x = 0;
    for (; x + 8 <= n; x += 8) {
        CopyEight<Bytes, Keyed>(k, to + Bytes * x, us, vs);
        us = _mm256_add_epi32(us, uStep);
        vs = _mm256_add_epi32(vs, vStep);
    }
    // The rest as the last eight pixels: the copy draws the pixels it overlaps the same again.
    if (x < n) {
        uint32_t last = static_cast<uint32_t>(n - 8);
        CopyEight<Bytes, Keyed>(k, to + Bytes * (n - 8), Positions(u + last * du, du),
                                Positions(v + last * dv, dv));
    }
}

} // namespace

void CopyTexturedRunAvx2(const TexturedJob& job, int bytes, bool keyed, uint8_t* to, uint32_t u,
                         uint32_t v, int64_t n) {
    if (bytes == 4) {
        if (keyed) CopyRun<4, true>(job, to, u, v, n);
        else CopyRun<4, false>(job, to, u, v, n);
    } else if (keyed) {
        CopyRun<2, true>(job, to, u, v, n);
    } else {
        CopyRun<2, false>(job, to, u, v, n);
    }
}

} // namespace softblit
