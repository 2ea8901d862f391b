// The run-table walk's 16-bit step of mode 1 for processors with AVX-512 VBMI: each field moved
// toward the source by trunc(p (s - d) / 255), looked up for all thirty-two pixels at once in the
// signed scale row p (differences -63 to 63) by one byte permute per field.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "graphics/graphics_services.h"
#include "softblit/blit_rows.h"

namespace softblit {

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

#include "softblit/blit_run_steps_avx512.h"

// d + row[s - d] per field. A difference's low seven bits index the table: 0 to 63 the first
// half (differences 0 to 63), 65 to 127 the second (-63 to -1). The high byte of every 16-bit
// lane indexes entry 0 or 127 (difference 0 or -1), both 0, so the fields come out clean.
struct StepByTable {
    __m512i low, high;  // the row's entries for differences 0..63 and -64..-1, as bytes
    __m512i operator()(__m512i d, __m512i s) const {
        const __m512i low5 = _mm512_set1_epi16(0x1F), low6 = _mm512_set1_epi16(0x3F);
        auto step = [this](__m512i dField, __m512i sField) {
            return _mm512_add_epi8(dField, _mm512_permutex2var_epi8(low, _mm512_sub_epi16(sField, dField), high));
        };
        const __m512i red = step(_mm512_srli_epi16(d, 11), _mm512_srli_epi16(s, 11));
        const __m512i green = step(_mm512_and_si512(_mm512_srli_epi16(d, 5), low6),
                                   _mm512_and_si512(_mm512_srli_epi16(s, 5), low6));
        const __m512i blue = step(_mm512_and_si512(d, low5), _mm512_and_si512(s, low5));
        return _mm512_ternarylogic_epi32(_mm512_slli_epi16(red, 11), _mm512_slli_epi16(green, 5), blue, 0xFE);
    }
};

// 64 of the row's 16-bit entries from `at`, as bytes (each within -63..63, so the saturating pack
// keeps it; the pack interleaves the halves' 64-bit pieces, which the permute puts back in order).
__m512i RowBytes(const int16_t* at) {
    const __m512i packed = _mm512_packs_epi16(_mm512_loadu_si512(at), _mm512_loadu_si512(at + 32));
    return _mm512_maskz_permutexvar_epi64(0xFF, _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), packed);
}

} // namespace

void DrawStepRuns16Avx512Vbmi(uint8_t* to, ptrdiff_t toPitch, const uint8_t* from, const MemImgBase& image,
                              uint32_t p) {
    const int16_t* row = g_MemImgTables.parameterRows[p] + 256;
    WalkImageRuns(to, toPitch, from, image, RunStep<StepByTable, 2>{{RowBytes(row), RowBytes(row - 64)}});
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

} // namespace softblit
