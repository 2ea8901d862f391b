// The plain copy of a textured run from a 16-bit source of at most 16 x 16 pixels, for
// processors with AVX-512BW: the whole source lies in eight registers, so the texels of
// thirty-two pixels a step come from permutes instead of one load each; the key pixels and the
// pixels past the run are masked out of the store.
#include <immintrin.h>

#include <cstring>

#include "softblit/textured_row.h"

namespace softblit {

bool HasAvx512Bw() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has;
}

const uint16_t* PrepareSmallSource16(const uint8_t* pixels, int64_t pitch, int width, int height) {
    alignas(64) thread_local uint16_t table[kSmallSourceSide * kSmallSourceSide];
    for (int row = 0; row < height; ++row)
        std::memcpy(table + kSmallSourceSide * row, pixels + pitch * row, 2 * static_cast<size_t>(width));
    return table;
}

namespace {

#define VELK_AVX512 __attribute__((target("avx512f,avx512bw")))

// The zero-masked forms of the shifts and conversions: the plain ones start from an undefined
// register, which this compiler's headers make a false warning of.
constexpr __mmask16 kAll16 = 0xFFFF;
constexpr __mmask32 kAll32 = 0xFFFFFFFFu;

// The table entries (row << 4 | column) of sixteen positions, in 32-bit lanes.
VELK_AVX512 inline __m512i Indices(__m512i us, __m512i vs) {
    __m512i row = _mm512_maskz_slli_epi32(kAll16, _mm512_maskz_srli_epi32(kAll16, vs, kFixedShift), 4);
    __m512i index = _mm512_and_si512(_mm512_or_si512(row, _mm512_maskz_srli_epi32(kAll16, us, kFixedShift)),
                                     _mm512_set1_epi32(0xFF));
    return index;
}

template <bool Keyed>
VELK_AVX512 void CopySmallRun(const TexturedJob& job, uint8_t* to, uint32_t u, uint32_t v, int64_t n) {
    const __m512i* table = reinterpret_cast<const __m512i*>(job.smallSource);
    const __m512i t0 = _mm512_load_si512(table), t1 = _mm512_load_si512(table + 1);
    const __m512i t2 = _mm512_load_si512(table + 2), t3 = _mm512_load_si512(table + 3);
    const __m512i t4 = _mm512_load_si512(table + 4), t5 = _mm512_load_si512(table + 5);
    const __m512i t6 = _mm512_load_si512(table + 6), t7 = _mm512_load_si512(table + 7);
    const uint32_t du = job.plane.ux, dv = job.plane.vx;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i usLow = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(u)),
                                     _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int>(du))));
    __m512i vsLow = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(v)),
                                     _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int>(dv))));
    const __m512i uHalf = _mm512_set1_epi32(static_cast<int>(du * 16));
    const __m512i vHalf = _mm512_set1_epi32(static_cast<int>(dv * 16));
    const __m512i uStep = _mm512_set1_epi32(static_cast<int>(du * 32));
    const __m512i vStep = _mm512_set1_epi32(static_cast<int>(dv * 32));
    const __m512i key = _mm512_set1_epi16(static_cast<int16_t>(job.context.key));
    const __m512i narrow = _mm512_set_epi16(62, 60, 58, 56, 54, 52, 50, 48, 46, 44, 42, 40, 38, 36, 34, 32,
                                            30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i one = _mm512_set1_epi16(1), two = _mm512_set1_epi16(2), three = _mm512_set1_epi16(3);
    for (int64_t x = 0; x < n; x += 32) {
        __m512i low = Indices(usLow, vsLow);
        __m512i high = Indices(_mm512_add_epi32(usLow, uHalf), _mm512_add_epi32(vsLow, vHalf));
        // The low halves of both sets of 32-bit lanes, in order, as thirty-two 16-bit lanes.
        __m512i index = _mm512_permutex2var_epi16(low, narrow, high);
        // Entries 64q to 64q + 63 lie in registers 2q and 2q + 1; the top two bits pick q.
        __m512i quarter = _mm512_maskz_srli_epi16(kAll32, index, 6);
        __m512i texels = _mm512_permutex2var_epi16(t0, index, t1);
        texels = _mm512_mask_mov_epi16(texels, _mm512_cmpeq_epi16_mask(quarter, one),
                                       _mm512_permutex2var_epi16(t2, index, t3));
        texels = _mm512_mask_mov_epi16(texels, _mm512_cmpeq_epi16_mask(quarter, two),
                                       _mm512_permutex2var_epi16(t4, index, t5));
        texels = _mm512_mask_mov_epi16(texels, _mm512_cmpeq_epi16_mask(quarter, three),
                                       _mm512_permutex2var_epi16(t6, index, t7));
        const int64_t left = n - x;
        __mmask32 store = left >= 32 ? ~__mmask32{0} : static_cast<__mmask32>((uint64_t{1} << left) - 1);
        if constexpr (Keyed) store &= _mm512_cmpneq_epi16_mask(texels, key);
        _mm512_mask_storeu_epi16(to + 2 * x, store, texels);
        usLow = _mm512_add_epi32(usLow, uStep);
        vsLow = _mm512_add_epi32(vsLow, vStep);
    }
}

#undef VELK_AVX512

} // namespace

void CopySmallTexturedRun16(const TexturedJob& job, uint8_t* to, uint32_t u, uint32_t v, int64_t n, bool keyed) {
    if (keyed) CopySmallRun<true>(job, to, u, v, n);
    else CopySmallRun<false>(job, to, u, v, n);
}

} // namespace softblit
