// The run-table walk of blit_run_lanes.h compiled for processors with AVX-512 F, BW and VL: the
// pixels of a step beyond the row are masked out of every load, those not drawn out of every store.
#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "softblit/blit_frame.h"

namespace softblit {

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vl")
#endif

namespace {

struct Level {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    static __mmask16 First(int n) { return static_cast<__mmask16>((1u << n) - 1); }
    static Lanes Load32(const uint8_t* at, int n) {
        return (Lanes)_mm512_maskz_loadu_epi32(First(n), at);
    }
    static Lanes Load16(const uint8_t* at, int n) {
        // The zero-masked widening: the plain one starts from an undefined register.
        return (Lanes)_mm512_maskz_cvtepu16_epi32(0xFFFF, _mm256_maskz_loadu_epi16(First(n), at));
    }
    static Lanes Select(uint32_t m, Lanes set, Lanes clear) {
        return (Lanes)_mm512_mask_blend_epi32(static_cast<__mmask16>(m), (__m512i)clear, (__m512i)set);
    }
    static void Store32(uint8_t* at, Lanes v, uint32_t m, int) {
        _mm512_mask_storeu_epi32(at, static_cast<__mmask16>(m), (__m512i)v);
    }
    static void Store16(uint8_t* at, Lanes v, uint32_t m, int) {
        _mm512_mask_cvtepi32_storeu_epi16(at, static_cast<__mmask16>(m), (__m512i)v);
    }
};

#include "softblit/blit_run_lanes.h"

} // namespace

void DrawRunsAvx512(const KernelChoice& choice, const BlitJob& job, const RunMasks& masks) {
    DrawRunsOfLevel(choice, job, masks);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

} // namespace softblit
