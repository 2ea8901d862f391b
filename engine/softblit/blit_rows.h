// Whole-row forms of the busiest unscaled loops, four or eight pixels per step with SSE2. Each
// gives exactly the pixels of the per-pixel formulas; the last pixels of a row go through the
// per-pixel code.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "softblit/blit_pixel.h"

namespace softblit {

// The AVX2 forms, used when the processor has them.
bool HasAvx2();
int AlphaCopyRow32Avx2(uint8_t* to, const uint8_t* from, int n);
int MixRow16Avx2(uint8_t* to, const uint8_t* from, int n, uint32_t q, uint32_t key, bool keyed);
int MixRow32Avx2(uint8_t* to, const uint8_t* from, int n, uint32_t p, uint32_t key, bool keyed);
int SaturateRow32Avx2(uint8_t* to, const uint8_t* from, int n, bool add, uint32_t key, bool keyed);
int MultiplyRowAvx2(int bytes, uint8_t* to, const uint8_t* from, int n, uint32_t key, bool keyed);

// A block of rows drawn by one call: the first pixel of each side and the pitches.
struct RowBlock {
    uint8_t* to;
    ptrdiff_t toPitch;
    const uint8_t* from;
    ptrdiff_t fromPitch;
    int width;
    int height;
};

// The operations of the AVX-512 block forms (blit_rows_avx512.cpp): the plain copy, the keyed
// copy of an alpha source, mode 1's mix (32-bit by the parameter, 16-bit by the mix table's
// weight p >> 2), the multiply, and the per-byte saturating add and subtract (32-bit only).
enum class BlockOp { Copy, AlphaCopy, Mix, Multiply, AddBytes, SubtractBytes };

// The AVX-512 forms, used when the processor has AVX-512 F, BW and VL: every pixel of the
// block, keyed pixels (key or alpha 0) left as they are.
// Read inline: every unscaled call asks, and a call to ask costs a noticeable share of a
// sprite's draw.
extern const bool kHasAvx512Rows;
inline bool HasAvx512Rows() {
    return kHasAvx512Rows;
}
void DrawBlock32Avx512(BlockOp op, const RowBlock& block, uint32_t key, uint32_t parameter, bool keyed);
void DrawBlock16Avx512(BlockOp op, const RowBlock& block, uint32_t key, uint32_t parameter, bool keyed);

// Copies the source pixels (2 or 4 bytes) of the listed columns side by side, n of them; the
// columns run one way (a stretched row's).
void GatherRowAvx512(int bytes, uint8_t* to, const uint8_t* from, const int* columns, int n);

// Draws the block by its AVX-512 form; false (nothing drawn) on processors without one.
template <class Px>
inline bool DrawBlockAvx512(BlockOp op, const RowBlock& block, uint32_t key, uint32_t parameter, bool keyed) {
    if (!HasAvx512Rows()) return false;
    if constexpr (Px::kBytes == 4) DrawBlock32Avx512(op, block, key, parameter, keyed);
    else DrawBlock16Avx512(op, block, key, parameter, keyed);
    return true;
}

// No row form unless specialised below. A specialisation with kHasBlock draws whole blocks by
// Block when the processor allows (true), else row by row with Run.
template <class Px, SourceKind Kind, class Op, bool Keyed>
struct RowKernel {
    static constexpr bool kAvailable = false;
    static constexpr bool kHasBlock = false;
    static int Run(const BlitContext&, uint8_t*, const uint8_t*, int) { return 0; }
    static bool Block(const BlitContext&, const RowBlock&) { return false; }
};

inline __m128i LoadVector(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
inline void StoreVector(uint8_t* at, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}
inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// (d * 256 + (s - d) * w) >> 8 on 16-bit lanes, for d, s <= 255 and w <= 256. The sum always lies
// in 0..65280, so computing it modulo 2^16 with one low multiply is exact.
inline __m128i MixLanes(__m128i d, __m128i s, __m128i w) {
    __m128i sum = _mm_add_epi16(_mm_slli_epi16(d, 8), _mm_mullo_epi16(_mm_sub_epi16(s, d), w));
    return _mm_srli_epi16(sum, 8);
}

// Plain copy of a direct source: rows moved whole, or the key pixels kept.
template <class Px, bool Keyed>
struct RowKernel<Px, SourceKind::Direct, PixelOp<Px, 0, false, true, Form::Normal>, Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Px>(BlockOp::Copy, block, c.key, 0, Keyed);
    }
    // Returns the number of pixels done; the caller draws the rest one by one.
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        if constexpr (!Keyed) {
            std::memcpy(to, from, static_cast<size_t>(n) * Px::kBytes);
            return n;
        } else {
            constexpr int kStep = 16 / Px::kBytes;
            __m128i key = Px::kBytes == 4 ? _mm_set1_epi32(static_cast<int>(c.key))
                                          : _mm_set1_epi16(static_cast<short>(c.key));
            int x = 0;
            for (; x + kStep <= n; x += kStep) {
                __m128i s = LoadVector(from + Px::kBytes * x);
                __m128i isKey = Px::kBytes == 4 ? _mm_cmpeq_epi32(s, key) : _mm_cmpeq_epi16(s, key);
                int keys = _mm_movemask_epi8(isKey);
                if (keys == 0xFFFF) continue;
                if (keys == 0) {
                    StoreVector(to + Px::kBytes * x, s);
                } else {
                    __m128i d = LoadVector(to + Px::kBytes * x);
                    StoreVector(to + Px::kBytes * x, Select(isKey, d, s));
                }
            }
            return x;
        }
    }
};

// 32-bit modes 2 and 3 at parameter 255 with the MMX-usable flag: per-byte saturation.
template <int Mode, bool Keyed>
struct RowKernel<Pixel32, SourceKind::Direct, PixelOp<Pixel32, Mode, false, true, Form::SaturateBytes>,
                 Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Pixel32>(Mode == 2 ? BlockOp::AddBytes : BlockOp::SubtractBytes, block, c.key, 0,
                                        Keyed);
    }
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        __m128i key = _mm_set1_epi32(static_cast<int>(c.key));
        int x = HasAvx2() ? SaturateRow32Avx2(to, from, n, Mode == 2, c.key, Keyed) : 0;
        for (; x + 4 <= n; x += 4) {
            __m128i s = LoadVector(from + 4 * x);
            __m128i d = LoadVector(to + 4 * x);
            __m128i out = Mode == 2 ? _mm_adds_epu8(d, s) : _mm_subs_epu8(d, s);
            if constexpr (Keyed) out = Select(_mm_cmpeq_epi32(s, key), d, out);
            StoreVector(to + 4 * x, out);
        }
        return x;
    }
};

// 32-bit mode 1 without modifiers: each channel mixed toward the source by the parameter, the
// destination's top byte kept.
template <bool Keyed>
struct RowKernel<Pixel32, SourceKind::Direct, PixelOp<Pixel32, 1, false, true, Form::Normal>, Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Pixel32>(BlockOp::Mix, block, c.key, c.p, Keyed);
    }
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        const __m128i weight = _mm_set1_epi16(static_cast<short>(c.p));
        const __m128i key = _mm_set1_epi32(static_cast<int>(c.key));
        auto mix = [&](__m128i d, __m128i s) { return MixLanes(d, s, weight); };
        int x = HasAvx2() ? MixRow32Avx2(to, from, n, c.p, c.key, Keyed) : 0;
        for (; x + 4 <= n; x += 4) {
            __m128i s = LoadVector(from + 4 * x);
            __m128i d = LoadVector(to + 4 * x);
            __m128i mixed = _mm_packus_epi16(mix(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero)),
                                             mix(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero)));
            __m128i out = Select(top, d, mixed);
            if constexpr (Keyed) out = Select(_mm_cmpeq_epi32(s, key), d, out);
            StoreVector(to + 4 * x, out);
        }
        return x;
    }
};

// floor((s q + d (63 - q)) / 63) on 16-bit lanes, for fields s, d <= 63 and q <= 63: the sum
// stays below 3970, where the high half of a product by 2081, halved, is the exact quotient.
inline __m128i MixField16(__m128i s, __m128i d, __m128i q, __m128i rest) {
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(s, q), _mm_mullo_epi16(d, rest));
    return _mm_srli_epi16(_mm_mulhi_epu16(sum, _mm_set1_epi16(2081)), 1);
}

// The three fields of eight R5G6B5 pixels mixed toward the source by q = p >> 2, as the 16-bit
// mix table gives them.
inline __m128i MixPixels16(__m128i s, __m128i d, __m128i q, __m128i rest) {
    const __m128i low5 = _mm_set1_epi16(0x1F);
    const __m128i low6 = _mm_set1_epi16(0x3F);
    __m128i red = MixField16(_mm_srli_epi16(s, 11), _mm_srli_epi16(d, 11), q, rest);
    __m128i green = MixField16(_mm_and_si128(_mm_srli_epi16(s, 5), low6),
                               _mm_and_si128(_mm_srli_epi16(d, 5), low6), q, rest);
    __m128i blue = MixField16(_mm_and_si128(s, low5), _mm_and_si128(d, low5), q, rest);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
}

// The SSE2 form of the 16-bit mode 1 row; returns the pixels done.
template <bool Keyed>
inline int MixRow16Sse2(uint8_t* to, const uint8_t* from, int n, uint32_t q, uint32_t key) {
    const __m128i weight = _mm_set1_epi16(static_cast<short>(q));
    const __m128i rest = _mm_set1_epi16(static_cast<short>(63 - q));
    const __m128i keys = _mm_set1_epi16(static_cast<short>(key));
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i s = LoadVector(from + 2 * x);
        __m128i d = LoadVector(to + 2 * x);
        __m128i out = MixPixels16(s, d, weight, rest);
        if constexpr (Keyed) out = Select(_mm_cmpeq_epi16(s, keys), d, out);
        StoreVector(to + 2 * x, out);
    }
    return x;
}

// 16-bit mode 1 without modifiers: the mix table's values computed eight or sixteen pixels a step.
template <bool Keyed>
struct RowKernel<Pixel16, SourceKind::Direct, PixelOp<Pixel16, 1, false, true, Form::Mix16>, Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Pixel16>(BlockOp::Mix, block, c.key, c.p >> 2, Keyed);
    }
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        const uint32_t q = c.p >> 2;
        int x = HasAvx2() ? MixRow16Avx2(to, from, n, q, c.key, Keyed) : 0;
        return x + MixRow16Sse2<Keyed>(to + 2 * x, from + 2 * x, n - x, q, c.key);
    }
};

// Mode 4 without modifiers: each channel (field) the product of source and destination, shifted
// down by its width; the 32-bit destination's top byte kept.
template <class Px, bool Keyed>
struct RowKernel<Px, SourceKind::Direct, PixelOp<Px, 4, false, true, Form::Normal>, Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Px>(BlockOp::Multiply, block, c.key, 0, Keyed);
    }
    static __m128i Multiply(__m128i d, __m128i s) {
        if constexpr (Px::kBytes == 4) {
            const __m128i zero = _mm_setzero_si128();
            auto half = [](__m128i dv, __m128i sv) { return _mm_srli_epi16(_mm_mullo_epi16(dv, sv), 8); };
            __m128i product = _mm_packus_epi16(half(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero)),
                                               half(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero)));
            return Select(_mm_set1_epi32(static_cast<int>(0xFF000000u)), d, product);
        } else {
            const __m128i low5 = _mm_set1_epi16(0x1F);
            const __m128i low6 = _mm_set1_epi16(0x3F);
            __m128i red = _mm_srli_epi16(_mm_mullo_epi16(_mm_srli_epi16(d, 11), _mm_srli_epi16(s, 11)), 5);
            __m128i green = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(d, 5), low6),
                                                           _mm_and_si128(_mm_srli_epi16(s, 5), low6)),
                                           6);
            __m128i blue = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(d, low5), _mm_and_si128(s, low5)), 5);
            return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
        }
    }
    // The AVX2 form where the processor has it, then the SSE2 form.
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        int x = HasAvx2() ? MultiplyRowAvx2(Px::kBytes, to, from, n, c.key, Keyed) : 0;
        return x + RunSse2(c, to + Px::kBytes * x, from + Px::kBytes * x, n - x);
    }
    static int RunSse2(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        constexpr int kStep = 16 / Px::kBytes;
        const __m128i key = Px::kBytes == 4 ? _mm_set1_epi32(static_cast<int>(c.key))
                                            : _mm_set1_epi16(static_cast<short>(c.key));
        int x = 0;
        for (; x + kStep <= n; x += kStep) {
            __m128i s = LoadVector(from + Px::kBytes * x);
            __m128i d = LoadVector(to + Px::kBytes * x);
            __m128i out = Multiply(d, s);
            if constexpr (Keyed)
                out = Select(Px::kBytes == 4 ? _mm_cmpeq_epi32(s, key) : _mm_cmpeq_epi16(s, key), d, out);
            StoreVector(to + Px::kBytes * x, out);
        }
        return x;
    }
};

// Mode 1 at parameter 128: the halves of source and destination added, per channel (the 32-bit
// result's top byte 0, as the per-pixel form gives it).
template <class Px, bool Keyed>
struct RowKernel<Px, SourceKind::Direct, PixelOp<Px, 1, false, true, Form::HalfSum>, Keyed> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = false;
    static bool Block(const BlitContext&, const RowBlock&) { return false; }
    static int Run(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        constexpr bool kWide = Px::kBytes == 4;
        constexpr int kStep = 16 / Px::kBytes;
        const __m128i halves = kWide ? _mm_set1_epi32(0x007F7F7F) : _mm_set1_epi16(0x7BEF);
        const __m128i key = kWide ? _mm_set1_epi32(static_cast<int>(c.key))
                                  : _mm_set1_epi16(static_cast<short>(c.key));
        int x = 0;
        for (; x + kStep <= n; x += kStep) {
            __m128i s = LoadVector(from + Px::kBytes * x);
            __m128i d = LoadVector(to + Px::kBytes * x);
            __m128i hs = kWide ? _mm_srli_epi32(s, 1) : _mm_srli_epi16(s, 1);
            __m128i hd = kWide ? _mm_srli_epi32(d, 1) : _mm_srli_epi16(d, 1);
            __m128i out = _mm_add_epi32(_mm_and_si128(hs, halves), _mm_and_si128(hd, halves));
            if constexpr (Keyed) out = Select(kWide ? _mm_cmpeq_epi32(s, key) : _mm_cmpeq_epi16(s, key), d, out);
            StoreVector(to + Px::kBytes * x, out);
        }
        return x;
    }
};

// 32-bit keyed plain copy of an alpha source: alpha 0 kept, 255 copied whole, others mixed on
// blue, green and red with the destination's top byte kept.
template <>
struct RowKernel<Pixel32, SourceKind::Alpha, PixelOp<Pixel32, 0, false, true, Form::Normal>, true> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Pixel32>(BlockOp::AlphaCopy, block, c.key, 0, true);
    }
    static __m128i MixHalf(__m128i d, __m128i s) {
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
        return MixLanes(d, s, a);
    }
    static int Run(const BlitContext&, uint8_t* to, const uint8_t* from, int n) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        int x = HasAvx2() ? AlphaCopyRow32Avx2(to, from, n) : 0;
        for (; x + 4 <= n; x += 4) {
            __m128i s = LoadVector(from + 4 * x);
            __m128i alpha = _mm_and_si128(s, top);
            int clear = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero));
            if (clear == 0xFFFF) continue;
            __m128i opaque = _mm_cmpeq_epi32(alpha, top);
            if (_mm_movemask_epi8(opaque) == 0xFFFF) {
                StoreVector(to + 4 * x, s);
                continue;
            }
            __m128i d = LoadVector(to + 4 * x);
            __m128i low = MixHalf(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero));
            __m128i high = MixHalf(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero));
            __m128i mixed = Select(top, d, _mm_packus_epi16(low, high));
            StoreVector(to + 4 * x, Select(opaque, s, mixed));
        }
        return x;
    }
};

// 16-bit keyed plain copy of an alpha source (colour, then the alpha byte): the same per field.
template <>
struct RowKernel<Pixel16, SourceKind::Alpha, PixelOp<Pixel16, 0, false, true, Form::Normal>, true> {
    static constexpr bool kAvailable = true;
    static constexpr bool kHasBlock = true;
    static bool Block(const BlitContext& c, const RowBlock& block) {
        return DrawBlockAvx512<Pixel16>(BlockOp::AlphaCopy, block, c.key, 0, true);
    }
    static __m128i Field(__m128i value, int shift, int mask) {
        return _mm_and_si128(_mm_srli_epi16(value, shift), _mm_set1_epi16(static_cast<short>(mask)));
    }

    static int Run(const BlitContext&, uint8_t* to, const uint8_t* from, int n) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i full = _mm_set1_epi16(255);
        int x = 0;
        for (; x + 8 <= n; x += 8) {
            __m128i s0 = LoadVector(from + 4 * x);
            __m128i s1 = LoadVector(from + 4 * x + 16);
            // Low halves (the colours) and the alpha bytes, as eight 16-bit lanes each.
            __m128i colour = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s0, 16), 16),
                                             _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16));
            __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(s0, 16), _mm_set1_epi32(0xFF)),
                                        _mm_and_si128(_mm_srli_epi32(s1, 16), _mm_set1_epi32(0xFF)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
            __m128i opaque = _mm_cmpeq_epi16(a, full);
            if (_mm_movemask_epi8(opaque) == 0xFFFF) {
                StoreVector(to + 2 * x, colour);
                continue;
            }
            __m128i d = LoadVector(to + 2 * x);
            __m128i blue = MixLanes(Field(d, 0, 0x1F), Field(colour, 0, 0x1F), a);
            __m128i green = MixLanes(Field(d, 5, 0x3F), Field(colour, 5, 0x3F), a);
            __m128i red = MixLanes(Field(d, 11, 0x1F), Field(colour, 11, 0x1F), a);
            __m128i mixed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
            StoreVector(to + 2 * x, Select(opaque, colour, mixed));
        }
        return x;
    }
};

} // namespace softblit
