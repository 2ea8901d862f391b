// AVX-512 forms of the busiest row operations, for processors with AVX-512BW and VL. One call
// draws a whole block of rows: the constants are set up once, each row is walked sixteen or
// thirty-two pixels a step, and the last pixels of a row are a masked step of their own, so no
// pixel is left to the per-pixel code. Skipped pixels (key, alpha 0) are masked out of the store.
// The pixels are those of the per-pixel formulas, bit for bit.
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "softblit/blit_rows.h"

namespace softblit {

namespace {

bool DetectAvx512Rows() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
}

} // namespace

const bool kHasAvx512Rows = DetectAvx512Rows();

// Everything below is compiled for AVX-512 (the lambdas included) and only reached after the
// check above.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512vl"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vl")
#endif
// The note on passing 512-bit vectors concerns calls from code built without AVX-512; none of
// these functions' vectors leave this file.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {


// The zero-masked forms of the 32-bit shifts and narrowing stand in for the plain ones, which
// start from an undefined register that this compiler's headers report as uninitialised.
constexpr __mmask16 kAll16 = 0xFFFF;
constexpr __mmask8 kAll8 = 0xFF;
constexpr __mmask8 kAll4 = 0x0F;

// Walks the block: full steps of Step::kPixels, then one masked step for the rest of the row
// (the same in every row). The block's fields are copied first, as the stores may alias them.
template <class Step>
inline void WalkBlock(const RowBlock& block, const Step& step) {
    constexpr int kPixels = Step::kPixels;
    using Mask = typename Step::Mask;
    uint8_t* to = block.to;
    const uint8_t* from = block.from;
    const ptrdiff_t toPitch = block.toPitch, fromPitch = block.fromPitch;
    const int width = block.width, height = block.height;
    const int full = width - width % kPixels;
    const Mask all = static_cast<Mask>(~Mask{0});
    const Mask tail = static_cast<Mask>((uint64_t{1} << (width - full)) - 1);
    if constexpr (Step::kPairs) {
        // Rows of at most half a step: two rows a step, the first in the low half.
        if (width <= kPixels / 2) {
            const Mask half = static_cast<Mask>((uint64_t{1} << width) - 1);
            int y = 0;
            if (width == kPixels / 2 && !Step::kKeyed) {
                // Rows of exactly half a step: whole halves in and out, no masks.
                for (; y + 2 <= height; y += 2, to += 2 * toPitch, from += 2 * fromPitch)
                    step.WholePair(to, from, to + toPitch, from + fromPitch);
            }
            for (; y + 2 <= height; y += 2, to += 2 * toPitch, from += 2 * fromPitch)
                step.Pair(to, from, to + toPitch, from + fromPitch, half);
            if (y < height) step(to, from, half);
            return;
        }
    }
    if (width <= kPixels) {
        // One step a row, the mask the same for every row.
        const Mask row = width == kPixels ? all : tail;
        for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch) step(to, from, row);
        return;
    }
    for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch) {
        int x = 0;
        for (; x < full; x += kPixels) step(to + Step::kOutBytes * x, from + Step::kInBytes * x, all);
        if (x < width) step(to + Step::kOutBytes * x, from + Step::kInBytes * x, tail);
    }
}

// d * 256 + (s - d) * w on 16-bit lanes, for d, s <= 255 and w <= 256: the sum lies in
// 0..65280, so one low multiply modulo 2^16 is exact; its high byte is the mix.
inline __m512i MixSum512(__m512i d, __m512i s, __m512i w) {
    return _mm512_add_epi16(_mm512_slli_epi16(d, 8), _mm512_mullo_epi16(_mm512_sub_epi16(s, d), w));
}
// The mix itself, (d * 256 + (s - d) * w) >> 8, on the 16-bit lanes of the alpha copy's fields.
inline __m256i MixLanes256(__m256i d, __m256i s, __m256i w) {
    __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(d, 8), _mm256_mullo_epi16(_mm256_sub_epi16(s, d), w));
    return _mm256_srli_epi16(sum, 8);
}

// Per byte of the pixels: f(d, s) gets the even bytes (blue, red) and then the odd bytes
// (green, top) as 16-bit values and gives a 16-bit value whose high byte is that byte's result.
// No shuffles: the even results are shifted down, the odd ones masked in place.
template <class F>
inline __m512i PerByte(__m512i d, __m512i s, F f) {
    const __m512i low = _mm512_set1_epi16(0x00FF);
    __m512i even = f(_mm512_and_si512(d, low), _mm512_and_si512(s, low));
    __m512i odd = f(_mm512_srli_epi16(d, 8), _mm512_srli_epi16(s, 8));
    // (even >> 8) | (odd & 0xFF00)
    return _mm512_ternarylogic_epi32(_mm512_srli_epi16(even, 8), odd, _mm512_set1_epi16(static_cast<short>(0xFF00)),
                                     0xF8);
}

// The destination's top byte with the low three bytes of the value.
inline __m512i KeepTop(__m512i d, __m512i value) {
    return _mm512_ternarylogic_epi32(_mm512_set1_epi32(static_cast<int>(0xFF000000u)), d, value, 0xCA);
}

// ---------------------------------------------------------------- 32-bit destinations

// A 32-bit operation of source and destination pixels, sixteen pixels a step; keyed, a source
// pixel equal to the key (all 32 bits) is not drawn.
template <class F, bool Keyed, bool ReadsDestination = true>
struct Step32 {
    static constexpr int kPixels = 16;
    static constexpr int kOutBytes = 4;
    static constexpr int kInBytes = 4;
    static constexpr bool kPairs = false;
    using Mask = __mmask16;
    F f;
    __m512i key;
    void operator()(uint8_t* to, const uint8_t* from, __mmask16 m) const {
        __m512i s = _mm512_maskz_loadu_epi32(m, from);
        if constexpr (Keyed) m = _mm512_mask_cmpneq_epi32_mask(m, s, key);
        __m512i d = ReadsDestination ? _mm512_maskz_loadu_epi32(m, to) : _mm512_setzero_si512();
        _mm512_mask_storeu_epi32(to, m, f(d, s));
    }
};

template <bool Keyed, class F>
void Walk32(const RowBlock& block, uint32_t key, F f) {
    WalkBlock(block, Step32<F, Keyed>{f, _mm512_set1_epi32(static_cast<int>(key))});
}

template <class F>
void Walk32(const RowBlock& block, uint32_t key, bool keyed, F f) {
    if (keyed) Walk32<true>(block, key, f);
    else Walk32<false>(block, key, f);
}

// The keyed 32-bit copy of an alpha source: alpha 0 not drawn, 255 copied whole, others mixed on
// blue, green and red by the alpha with the destination's top byte kept.
struct AlphaStep32 {
    static constexpr int kPixels = 16;
    static constexpr int kOutBytes = 4;
    static constexpr int kInBytes = 4;
    static constexpr bool kPairs = false;
    using Mask = __mmask16;
    void operator()(uint8_t* to, const uint8_t* from, __mmask16 m) const {
        __m512i s = _mm512_maskz_loadu_epi32(m, from);
        // The alpha in both 16-bit halves of its pixel, by one byte shuffle (within each 128-bit
        // lane, pixel k's byte 4k + 3 to its bytes 0 and 2, zero to 1 and 3).
        const __m512i spread = _mm512_set4_epi32(static_cast<int>(0x800F800Fu), static_cast<int>(0x800B800Bu),
                                                 static_cast<int>(0x80078007u), static_cast<int>(0x80038003u));
        __m512i a = _mm512_shuffle_epi8(s, spread);
        m = _mm512_mask_test_epi32_mask(m, a, a);
        __mmask16 opaque = _mm512_cmpeq_epi32_mask(a, _mm512_set1_epi32(0x00FF00FF));
        __m512i d = _mm512_maskz_loadu_epi32(m, to);
        __m512i mixed = PerByte(d, s, [&](__m512i dv, __m512i sv) { return MixSum512(dv, sv, a); });
        _mm512_mask_storeu_epi32(to, m, _mm512_mask_mov_epi32(KeepTop(d, mixed), opaque, s));
    }
};

// ---------------------------------------------------------------- 16-bit destinations

// A 16-bit operation of source and destination pixels, thirty-two pixels a step; keyed, a source
// pixel equal to the key's low 16 bits is not drawn.
// An operation that computes (ReadsDestination) packs two rows of at most sixteen pixels into
// one step.
template <class F, bool Keyed, bool ReadsDestination = true>
struct Step16 {
    static constexpr int kPixels = 32;
    static constexpr int kOutBytes = 2;
    static constexpr int kInBytes = 2;
    static constexpr bool kPairs = ReadsDestination;
    using Mask = __mmask32;
    F f;
    __m512i key;
    void operator()(uint8_t* to, const uint8_t* from, __mmask32 m) const {
        __m512i s = _mm512_maskz_loadu_epi16(m, from);
        if constexpr (Keyed) m = _mm512_mask_cmpneq_epi16_mask(m, s, key);
        __m512i d = ReadsDestination ? _mm512_maskz_loadu_epi16(m, to) : _mm512_setzero_si512();
        _mm512_mask_storeu_epi16(to, m, f(d, s));
    }
    static constexpr bool kKeyed = Keyed;
    // Two rows of exactly sixteen pixels, unkeyed: each half loaded and stored whole.
    void WholePair(uint8_t* to0, const uint8_t* from0, uint8_t* to1, const uint8_t* from1) const {
        auto both = [](const uint8_t* low, const uint8_t* high) {
            return _mm512_maskz_inserti64x4(kAll8, _mm512_maskz_loadu_epi64(kAll4, low),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(high)), 1);
        };
        __m512i out = f(ReadsDestination ? both(to0, to1) : _mm512_setzero_si512(), both(from0, from1));
        __m256i low;
        std::memcpy(&low, &out, sizeof low);  // the low half, with no instruction of its own
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to0), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to1), _mm512_maskz_extracti64x4_epi64(kAll4, out, 1));
    }
    // The second row goes in and out of the high half through an address 32 bytes before it,
    // whose low half the mask leaves untouched.
    void Pair(uint8_t* to0, const uint8_t* from0, uint8_t* to1, const uint8_t* from1, __mmask32 half) const {
        const __mmask32 high = half << 16;
        __m512i s = _mm512_mask_loadu_epi16(_mm512_maskz_loadu_epi16(half, from0), high, from1 - 32);
        __mmask32 m = half | high;
        if constexpr (Keyed) m = _mm512_mask_cmpneq_epi16_mask(m, s, key);
        __m512i d = _mm512_mask_loadu_epi16(_mm512_maskz_loadu_epi16(m & half, to0), m & high, to1 - 32);
        __m512i out = f(d, s);
        _mm512_mask_storeu_epi16(to0, m & half, out);
        _mm512_mask_storeu_epi16(to1 - 32, m & high, out);
    }
};

template <bool Keyed, class F>
void Walk16(const RowBlock& block, uint32_t key, F f) {
    WalkBlock(block, Step16<F, Keyed>{f, _mm512_set1_epi16(static_cast<short>(key))});
}

template <class F>
void Walk16(const RowBlock& block, uint32_t key, bool keyed, F f) {
    if (keyed) Walk16<true>(block, key, f);
    else Walk16<false>(block, key, f);
}

// The red, green and blue fields of R5G6B5 lanes, each in its own 16-bit lanes, and back.
struct Fields512 {
    __m512i red, green, blue;
};
inline Fields512 Split(__m512i v) {
    return {_mm512_srli_epi16(v, 11), _mm512_and_si512(_mm512_srli_epi16(v, 5), _mm512_set1_epi16(0x3F)),
            _mm512_and_si512(v, _mm512_set1_epi16(0x1F))};
}
inline __m512i Join(__m512i red, __m512i green, __m512i blue) {
    return _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(red, 11), _mm512_slli_epi16(green, 5)), blue);
}

// The keyed 16-bit copy of an alpha source (colour in the low half of each 32-bit source pixel,
// alpha in the byte above): alpha 0 not drawn, 255 copied, others mixed per field by the alpha.
struct AlphaStep16 {
    static constexpr int kPixels = 16;
    static constexpr int kOutBytes = 2;
    static constexpr int kInBytes = 4;
    static constexpr bool kPairs = false;
    using Mask = __mmask16;
    void operator()(uint8_t* to, const uint8_t* from, __mmask16 m) const {
        const __m256i low5 = _mm256_set1_epi16(0x1F);
        const __m256i low6 = _mm256_set1_epi16(0x3F);
        __m512i s = _mm512_maskz_loadu_epi32(m, from);
        __m256i colour = _mm512_maskz_cvtepi32_epi16(kAll16, s);
        __m256i a = _mm256_and_si256(_mm512_maskz_cvtepi32_epi16(kAll16, _mm512_maskz_srli_epi32(kAll16, s, 16)),
                                     _mm256_set1_epi16(0xFF));
        m = _mm256_mask_test_epi16_mask(m, a, a);
        __mmask16 opaque = _mm256_cmpeq_epi16_mask(a, _mm256_set1_epi16(255));
        __m256i d = _mm256_maskz_loadu_epi16(m, to);
        __m256i red = MixLanes256(_mm256_srli_epi16(d, 11), _mm256_srli_epi16(colour, 11), a);
        __m256i green = MixLanes256(_mm256_and_si256(_mm256_srli_epi16(d, 5), low6),
                                    _mm256_and_si256(_mm256_srli_epi16(colour, 5), low6), a);
        __m256i blue = MixLanes256(_mm256_and_si256(d, low5), _mm256_and_si256(colour, low5), a);
        __m256i mixed = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 11), _mm256_slli_epi16(green, 5)), blue);
        _mm256_mask_storeu_epi16(to, m, _mm256_mask_mov_epi16(mixed, opaque, colour));
    }
};

} // namespace

void DrawBlock32Avx512(BlockOp op, const RowBlock& block, uint32_t key, uint32_t parameter,
                                   bool keyed) {
    switch (op) {
    case BlockOp::Copy:
        if (keyed) {
            Walk32<true>(block, key, [](__m512i, __m512i s) { return s; });
        } else {
            auto copy = [](__m512i, __m512i s) { return s; };
            WalkBlock(block, Step32<decltype(copy), false, false>{copy, _mm512_setzero_si512()});
        }
        break;
    case BlockOp::AlphaCopy: WalkBlock(block, AlphaStep32{}); break;
    case BlockOp::Mix: {
        const __m512i w = _mm512_set1_epi16(static_cast<short>(parameter));
        Walk32(block, key, keyed, [w](__m512i d, __m512i s) {
            return KeepTop(d, PerByte(d, s, [w](__m512i dv, __m512i sv) { return MixSum512(dv, sv, w); }));
        });
        break;
    }
    case BlockOp::Multiply:
        Walk32(block, key, keyed, [](__m512i d, __m512i s) {
            return KeepTop(d, PerByte(d, s, [](__m512i dv, __m512i sv) { return _mm512_mullo_epi16(dv, sv); }));
        });
        break;
    case BlockOp::AddBytes:
        Walk32(block, key, keyed, [](__m512i d, __m512i s) { return _mm512_adds_epu8(d, s); });
        break;
    case BlockOp::SubtractBytes:
        Walk32(block, key, keyed, [](__m512i d, __m512i s) { return _mm512_subs_epu8(d, s); });
        break;
    }
}

void DrawBlock16Avx512(BlockOp op, const RowBlock& block, uint32_t key, uint32_t parameter,
                                   bool keyed) {
    switch (op) {
    case BlockOp::Copy:
        if (keyed) {
            Walk16<true>(block, key, [](__m512i, __m512i s) { return s; });
        } else {
            auto copy = [](__m512i, __m512i s) { return s; };
            WalkBlock(block, Step16<decltype(copy), false, false>{copy, _mm512_setzero_si512()});
        }
        break;
    case BlockOp::AlphaCopy: WalkBlock(block, AlphaStep16{}); break;
    case BlockOp::Mix: {
        // floor((s q + d (63 - q)) / 63) per field, q = parameter. Each field of source and
        // destination goes side by side into the bytes of a 16-bit lane (source low), where one
        // multiply-add of bytes by (q, 63 - q) forms the sum; it stays below 3970, where the high
        // half of a product by 2081, halved, is the exact quotient.
        const __m512i weights = _mm512_set1_epi16(static_cast<short>(parameter | (63 - parameter) << 8));
        const __m512i reciprocal = _mm512_set1_epi16(2081);
        const __m512i low5 = _mm512_set1_epi16(0x1F1F);
        const __m512i low6 = _mm512_set1_epi16(0x3F3F);
        const __mmask64 high = 0xAAAAAAAAAAAAAAAAull;
        Walk16(block, key, keyed, [=](__m512i d, __m512i s) {
            auto mix = [&](__m512i sourceLowDestinationHigh, __m512i fieldMask) {
                __m512i pair = _mm512_and_si512(sourceLowDestinationHigh, fieldMask);
                __m512i sum = _mm512_maddubs_epi16(pair, weights);
                return _mm512_srli_epi16(_mm512_mulhi_epu16(sum, reciprocal), 1);
            };
            __m512i red = mix(_mm512_mask_blend_epi8(high, _mm512_srli_epi16(s, 11), _mm512_srli_epi16(d, 3)), low5);
            __m512i green = mix(_mm512_mask_blend_epi8(high, _mm512_srli_epi16(s, 5), _mm512_slli_epi16(d, 3)), low6);
            __m512i blue = mix(_mm512_mask_blend_epi8(high, s, _mm512_slli_epi16(d, 8)), low5);
            return Join(red, green, blue);
        });
        break;
    }
    case BlockOp::Multiply:
        // (d s) >> 5 for red and blue, >> 6 for green.
        Walk16(block, key, keyed, [](__m512i d, __m512i s) {
            Fields512 sf = Split(s), df = Split(d);
            return Join(_mm512_srli_epi16(_mm512_mullo_epi16(sf.red, df.red), 5),
                        _mm512_srli_epi16(_mm512_mullo_epi16(sf.green, df.green), 6),
                        _mm512_srli_epi16(_mm512_mullo_epi16(sf.blue, df.blue), 5));
        });
        break;
    case BlockOp::AddBytes:
    case BlockOp::SubtractBytes:
        break;  // no 16-bit form
    }
}

void GatherRowAvx512(int bytes, uint8_t* to, const uint8_t* from, const int* columns, int n) {
    // Sixteen pixels a step. The columns of a stretched row run one way; where the sixteen lie
    // within sixteen source pixels (enlarging), one load and one permute fetch them, else one
    // load each.
    int x = 0;
    for (; x < n; x += 16) {
        const int count = n - x < 16 ? n - x : 16;
        const __mmask16 m = static_cast<__mmask16>((1u << count) - 1);
        const int first = columns[x], last = columns[x + count - 1];
        const int base = first < last ? first : last;
        const int span = (first < last ? last - first : first - last) + 1;
        if (span > 16) {
            for (int i = x; i < x + count; ++i)
                std::memcpy(to + bytes * i, from + static_cast<ptrdiff_t>(bytes) * columns[i], bytes);
            continue;
        }
        __m512i index = _mm512_sub_epi32(_mm512_maskz_loadu_epi32(m, columns + x), _mm512_set1_epi32(base));
        const __mmask16 part = static_cast<__mmask16>((1u << span) - 1);
        if (bytes == 4) {
            __m512i pixels = _mm512_maskz_loadu_epi32(part, from + 4 * static_cast<ptrdiff_t>(base));
            _mm512_mask_storeu_epi32(to + 4 * x, m, _mm512_maskz_permutexvar_epi32(kAll16, index, pixels));
        } else {
            // 16-bit pixels widened to 32-bit lanes and narrowed again by the store.
            __m512i pixels = _mm512_maskz_cvtepu16_epi32(
                kAll16, _mm256_maskz_loadu_epi16(part, from + 2 * static_cast<ptrdiff_t>(base)));
            _mm512_mask_cvtepi32_storeu_epi16(to + 2 * x, m, _mm512_maskz_permutexvar_epi32(kAll16, index, pixels));
        }
    }
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

} // namespace softblit
