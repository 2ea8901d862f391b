// SSE4.1 forms of the row kernels, eight pixels a step (four for the 32-bit output); the loads
// of 24-bit pixels read four bytes past the pixels they take, so each loop stops while that many
// bytes of the row remain.
#include "graphics/pixel_rows.h"

#include <immintrin.h>

namespace {

// Spreads four 24-bit pixels (the low 12 bytes) into 32-bit lanes with a zero top byte.
__attribute__((target("sse4.1"))) inline __m128i Spread24(__m128i bytes) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm_shuffle_epi8(bytes, order);
}

__attribute__((target("sse4.1"))) inline __m128i Pack565(__m128i v) {
    const __m128i red = _mm_set1_epi32(0xF800), green = _mm_set1_epi32(0x7E0), blue = _mm_set1_epi32(0x1F);
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 8), red),
                                     _mm_and_si128(_mm_srli_epi32(v, 5), green)),
                        _mm_and_si128(_mm_srli_epi32(v, 3), blue));
}

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

}  // namespace

bool HasPixelRowKernels() {
    static const bool has = __builtin_cpu_supports("sse4.1");
    return has;
}

__attribute__((target("sse4.1"))) int Rgb24To565Row(uint8_t* to, const uint8_t* from, int count) {
    int x = 0;
    for (; x + 10 <= count; x += 8) {
        __m128i low = Pack565(Spread24(Load(from + 3 * x)));
        __m128i high = Pack565(Spread24(Load(from + 3 * x + 12)));
        Store(to + 2 * x, _mm_packus_epi32(low, high));
    }
    return x;
}

__attribute__((target("sse4.1"))) int Xrgb32To565Row(uint8_t* to, const uint8_t* from, int count) {
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        __m128i low = Pack565(Load(from + 4 * x));
        __m128i high = Pack565(Load(from + 4 * x + 16));
        Store(to + 2 * x, _mm_packus_epi32(low, high));
    }
    return x;
}

__attribute__((target("sse4.1"))) int Rgb24ToXrgb32Row(uint8_t* to, const uint8_t* from, int count) {
    const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= count; x += 4) Store(to + 4 * x, _mm_or_si128(Spread24(Load(from + 3 * x)), top));
    return x;
}
