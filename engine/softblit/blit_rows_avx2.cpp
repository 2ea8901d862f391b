// AVX2 forms of the row kernels (the 32-bit keyed alpha copy, the 32-bit mix and per-byte
// saturation, the 16-bit mix, the multiply), eight or sixteen pixels per step, for processors that have it;
// the same pixels as the SSE2 and per-pixel forms.
#include <immintrin.h>

#include "softblit/blit_rows.h"

namespace softblit {

namespace {

__attribute__((target("avx2"))) __m256i Select256(__m256i mask, __m256i ifSet, __m256i ifClear) {
    return _mm256_or_si256(_mm256_and_si256(mask, ifSet), _mm256_andnot_si256(mask, ifClear));
}

// (d * 256 + (s - d) * a) >> 8 on 16-bit lanes, exact modulo 2^16 as in the SSE2 form.
__attribute__((target("avx2"))) __m256i MixHalf256(__m256i d, __m256i s) {
    __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, 0xFF), 0xFF);
    __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(d, 8), _mm256_mullo_epi16(_mm256_sub_epi16(s, d), a));
    return _mm256_srli_epi16(sum, 8);
}

} // namespace

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

__attribute__((target("avx2"))) int AlphaCopyRow32Avx2(uint8_t* to, const uint8_t* from, int n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 4 * x));
        __m256i alpha = _mm256_and_si256(s, top);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, zero)) == -1) continue;
        __m256i opaque = _mm256_cmpeq_epi32(alpha, top);
        if (_mm256_movemask_epi8(opaque) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 4 * x), s);
            continue;
        }
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + 4 * x));
        __m256i low = MixHalf256(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(s, zero));
        __m256i high = MixHalf256(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(s, zero));
        __m256i mixed = Select256(top, d, _mm256_packus_epi16(low, high));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 4 * x), Select256(opaque, s, mixed));
    }
    return x;
}

namespace {

// The AVX2 twins of MixField16 and MixPixels16 in blit_rows.h.
__attribute__((target("avx2"))) __m256i MixField16Avx2(__m256i s, __m256i d, __m256i q, __m256i rest) {
    __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(s, q), _mm256_mullo_epi16(d, rest));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(sum, _mm256_set1_epi16(2081)), 1);
}

__attribute__((target("avx2"))) __m256i MixPixels16Avx2(__m256i s, __m256i d, __m256i q, __m256i rest) {
    const __m256i low5 = _mm256_set1_epi16(0x1F);
    const __m256i low6 = _mm256_set1_epi16(0x3F);
    __m256i red = MixField16Avx2(_mm256_srli_epi16(s, 11), _mm256_srli_epi16(d, 11), q, rest);
    __m256i green = MixField16Avx2(_mm256_and_si256(_mm256_srli_epi16(s, 5), low6),
                                   _mm256_and_si256(_mm256_srli_epi16(d, 5), low6), q, rest);
    __m256i blue = MixField16Avx2(_mm256_and_si256(s, low5), _mm256_and_si256(d, low5), q, rest);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 11), _mm256_slli_epi16(green, 5)), blue);
}

template <bool Keyed>
__attribute__((target("avx2"))) int MixRow16(uint8_t* to, const uint8_t* from, int n, uint32_t q,
                                             uint32_t key) {
    const __m256i weight = _mm256_set1_epi16(static_cast<short>(q));
    const __m256i rest = _mm256_set1_epi16(static_cast<short>(63 - q));
    const __m256i keys = _mm256_set1_epi16(static_cast<short>(key));
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 2 * x));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + 2 * x));
        __m256i out = MixPixels16Avx2(s, d, weight, rest);
        if constexpr (Keyed) out = Select256(_mm256_cmpeq_epi16(s, keys), d, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 2 * x), out);
    }
    return x;
}

// (d * 256 + (s - d) * w) >> 8 on 16-bit lanes, exact modulo 2^16 as in the SSE2 form.
__attribute__((target("avx2"))) __m256i MixLanes256(__m256i d, __m256i s, __m256i w) {
    __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(d, 8), _mm256_mullo_epi16(_mm256_sub_epi16(s, d), w));
    return _mm256_srli_epi16(sum, 8);
}

template <bool Keyed>
__attribute__((target("avx2"))) int MixRow32(uint8_t* to, const uint8_t* from, int n, uint32_t p, uint32_t key) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i weight = _mm256_set1_epi16(static_cast<short>(p));
    const __m256i keys = _mm256_set1_epi32(static_cast<int>(key));
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 4 * x));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + 4 * x));
        __m256i mixed =
            _mm256_packus_epi16(MixLanes256(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(s, zero), weight),
                                MixLanes256(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(s, zero), weight));
        __m256i out = Select256(top, d, mixed);
        if constexpr (Keyed) out = Select256(_mm256_cmpeq_epi32(s, keys), d, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 4 * x), out);
    }
    return x;
}

template <bool Add, bool Keyed>
__attribute__((target("avx2"))) int SaturateRow32(uint8_t* to, const uint8_t* from, int n, uint32_t key) {
    const __m256i keys = _mm256_set1_epi32(static_cast<int>(key));
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 4 * x));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + 4 * x));
        __m256i out = Add ? _mm256_adds_epu8(d, s) : _mm256_subs_epu8(d, s);
        if constexpr (Keyed) out = Select256(_mm256_cmpeq_epi32(s, keys), d, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 4 * x), out);
    }
    return x;
}

// The products of mode 4: 32-bit channels (d s) >> 8 with the destination's top byte kept,
// 16-bit fields (d s) >> 5 (red, blue) and >> 6 (green).
template <int Bytes, bool Keyed>
__attribute__((target("avx2"))) int MultiplyRow(uint8_t* to, const uint8_t* from, int n, uint32_t key) {
    const __m256i keys = Bytes == 4 ? _mm256_set1_epi32(static_cast<int>(key)) : _mm256_set1_epi16(static_cast<short>(key));
    constexpr int kStep = 32 / Bytes;
    int x = 0;
    for (; x + kStep <= n; x += kStep) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + Bytes * x));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + Bytes * x));
        __m256i out;
        if constexpr (Bytes == 4) {
            const __m256i low = _mm256_set1_epi16(0x00FF);
            // Even bytes (blue, red) shifted down, odd bytes (green, top) kept in place.
            __m256i even = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(d, low), _mm256_and_si256(s, low)), 8);
            __m256i odd = _mm256_andnot_si256(low, _mm256_mullo_epi16(_mm256_srli_epi16(d, 8), _mm256_srli_epi16(s, 8)));
            out = Select256(_mm256_set1_epi32(static_cast<int>(0xFF000000u)), d, _mm256_or_si256(even, odd));
        } else {
            const __m256i low5 = _mm256_set1_epi16(0x1F);
            const __m256i low6 = _mm256_set1_epi16(0x3F);
            __m256i red = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(d, 11), _mm256_srli_epi16(s, 11)), 5);
            __m256i green = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(d, 5), low6),
                                                                 _mm256_and_si256(_mm256_srli_epi16(s, 5), low6)),
                                              6);
            __m256i blue = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(d, low5), _mm256_and_si256(s, low5)), 5);
            out = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 11), _mm256_slli_epi16(green, 5)), blue);
        }
        if constexpr (Keyed)
            out = Select256(Bytes == 4 ? _mm256_cmpeq_epi32(s, keys) : _mm256_cmpeq_epi16(s, keys), d, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + Bytes * x), out);
    }
    return x;
}

} // namespace

__attribute__((target("avx2"))) int MultiplyRowAvx2(int bytes, uint8_t* to, const uint8_t* from, int n,
                                                    uint32_t key, bool keyed) {
    if (bytes == 4) return keyed ? MultiplyRow<4, true>(to, from, n, key) : MultiplyRow<4, false>(to, from, n, key);
    return keyed ? MultiplyRow<2, true>(to, from, n, key) : MultiplyRow<2, false>(to, from, n, key);
}

__attribute__((target("avx2"))) int MixRow32Avx2(uint8_t* to, const uint8_t* from, int n, uint32_t p,
                                                 uint32_t key, bool keyed) {
    return keyed ? MixRow32<true>(to, from, n, p, key) : MixRow32<false>(to, from, n, p, key);
}

__attribute__((target("avx2"))) int SaturateRow32Avx2(uint8_t* to, const uint8_t* from, int n, bool add,
                                                      uint32_t key, bool keyed) {
    if (add) return keyed ? SaturateRow32<true, true>(to, from, n, key) : SaturateRow32<true, false>(to, from, n, key);
    return keyed ? SaturateRow32<false, true>(to, from, n, key) : SaturateRow32<false, false>(to, from, n, key);
}

__attribute__((target("avx2"))) int MixRow16Avx2(uint8_t* to, const uint8_t* from, int n, uint32_t q,
                                                 uint32_t key, bool keyed) {
    return keyed ? MixRow16<true>(to, from, n, q, key) : MixRow16<false>(to, from, n, q, key);
}

} // namespace softblit
