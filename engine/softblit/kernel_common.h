// What the triangle, rotated, box and line kernels share: the texel rules of
// the textured loops, the prepared colour of the flat loops and the choice of one loop per call.
// The per-pixel arithmetic is the blit kernels' PixelOp.
#pragma once

#include <cstdint>
#include <type_traits>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_frame.h"

namespace softblit {

// Fixed point 14.18 of the triangle and rotated kernels.
constexpr int kFixedShift = 18;
constexpr int64_t kFixedOne = int64_t{1} << kFixedShift;
// Sources of this many pixels or more in either direction overflow the 14.18 source limits.
constexpr int kMaxKernelSource = 8192;

// The integer part of a 14.18 value, rounded toward zero.
inline int64_t FixedIntPart(int64_t value) {
    return value >= 0 ? value >> kFixedShift : (value + (kFixedOne - 1)) >> kFixedShift;
}

// One textured loop's per-pixel work. Against the unscaled and stretched blits the skip rules
// differ: a 16-bit colour is compared zero-extended with the whole transparent value, so a value
// beyond 0xFFFF never matches (the blits compare its low 16 bits); with alpha and the
// transparent flag, mode 4 weighs by an alpha of 0 (blackening) instead of skipping it; without
// the flag the alpha always weighs, also in the plain copy.
template <class Px, SourceKind Kind, class Op, bool Keyed, bool Blend, int Mode>
struct TexelLoop {
    using Pixel = Px;
    using Src = Source<Px, Kind>;
    static constexpr bool kBlend = Blend;
    static constexpr bool kKeyed = Keyed;
    // A direct source copied as it is (the destination only kept at key pixels).
    static constexpr bool kPlainCopy = Kind == SourceKind::Direct && Op::kCopies;

    static inline void Draw(const BlitContext& c, uint8_t* at, const uint8_t* texel,
                            const uint8_t* blendByte) {
        SourcePixel s = Src::Fetch(c, texel);
        uint32_t b = 0;
        if constexpr (Blend) b = c.blendMap[*blendByte];
        if constexpr (Kind != SourceKind::Alpha) {
            if constexpr (Keyed && Op::kCopies) {
                // A keyed copy writes the destination back unchanged rather than branch on the
                // key, whose pattern the processor cannot foresee at a picture's outline.
                uint32_t d = Px::Load(at);
                uint32_t keep = 0u - static_cast<uint32_t>(s.raw == c.key);
                Px::Store(at, (d & keep) | (Op::template Compute<false>(c, d, s.colour, 0, 0) & ~keep));
                return;
            }
            if constexpr (Keyed) {
                if (s.raw == c.key) return;
            }
            Op::template Apply<false>(c, at, s.colour, 0, b);
        } else if constexpr (Keyed) {
            if (s.alpha == 255) Op::template Apply<false>(c, at, s.colour, 0, b);
            else if (s.alpha != 0 || Mode == 4 || Mode == 10 || Mode == 11)
                Op::template Apply<true>(c, at, s.colour, s.alpha, b);
        } else {
            Op::template Apply<true>(c, at, s.colour, s.alpha, b);
        }
    }
};

// Calls f(TexelLoop<...>{}) with the loop of the call's choice (mode 1 at 255 already made 0).
template <class F>
void WithTexelLoop(const KernelChoice& choice, F&& f) {
    auto withDepth = [&](auto pixel) {
        using Px = decltype(pixel);
        WithKind(choice.kind, [&](auto kind) {
            WithMode(choice.mode, [&](auto mode) {
                WithBool(choice.blend, [&](auto blend) {
                    WithBool(choice.white, [&](auto white) {
                        WithBool(choice.keyed, [&](auto keyed) {
                            using Op = PixelOp<Px, decltype(mode)::value, blend, white, Form::Normal>;
                            f(TexelLoop<Px, decltype(kind)::value, Op, keyed, blend,
                                        decltype(mode)::value>{});
                        });
                    });
                });
            });
        });
    };
    if (choice.wide) withDepth(Pixel32{});
    else withDepth(Pixel16{});
}

// How a flat colour takes the bright colour: the triangle through the bright table rows
// (x * k / 255, always), the box and the lines by a shift (x * k >> 8, only when not white).
enum class BrightRule { Table, Shift };

struct FlatSetup {
    BlitContext context;
    int mode;          // 0, 1, 2, 3, 4, 10 or 11 (mode 1 at 255 made 0)
    bool wide;         // X8R8G8B8, else R5G6B5
    uint32_t colour;   // the prepared colour
    int bytes;         // destination bytes per pixel
};

// Refuses (false) an invalid destination, a palette or alpha destination, a colour type other
// than 16- or 32-bit, and the modes and parameters that draw nothing; prepares the colour (a
// 16-bit colour is first masked to its 16 bits).
bool PrepareFlat(const MEMIMG* destination, uint32_t colour, BrightRule rule, FlatSetup* setup);

// A flat colour is the source of a white, unweighted, alpha-free PixelOp: the bright colour is
// already in the prepared colour, so mode 10 inverts the scaled colour and the 32-bit mode 0
// stores all four bytes of it.
template <class F>
void WithFlatOp(const FlatSetup& setup, F&& f) {
    auto withDepth = [&](auto pixel) {
        using Px = decltype(pixel);
        WithMode(setup.mode, [&](auto mode) {
            f(PixelOp<Px, decltype(mode)::value, false, true, Form::Normal>{});
        });
    };
    if (setup.wide) withDepth(Pixel32{});
    else withDepth(Pixel16{});
}

// The 16-bit flat modes whose every channel of the result follows from the same channel of the
// destination alone (blend, multiply, toward the inverted colour or the product): a box of them
// is drawn through one table per channel.
template <class Op>
constexpr bool kChannelwise16 = std::is_same_v<Op, PixelOp<Pixel16, 1, false, true, Form::Normal>> ||
                                std::is_same_v<Op, PixelOp<Pixel16, 4, false, true, Form::Normal>> ||
                                std::is_same_v<Op, PixelOp<Pixel16, 10, false, true, Form::Normal>> ||
                                std::is_same_v<Op, PixelOp<Pixel16, 11, false, true, Form::Normal>>;

// A channelwise 16-bit op's result for every value of each channel of the destination.
struct ChannelTables {
    uint16_t red[32];
    uint16_t green[64];
    uint16_t blue[32];

    uint32_t Apply(uint32_t d) const { return red[d >> 11] | green[(d >> 5) & 63] | blue[d & 31]; }
};

template <class Op>
ChannelTables MakeChannelTables(const BlitContext& c, uint32_t colour) {
    ChannelTables t;
    auto at = [&](uint32_t d, uint32_t mask) {
        return static_cast<uint16_t>(Op::template Compute<false>(c, d, colour, 0, 0) & mask);
    };
    for (uint32_t i = 0; i < 32; ++i) t.red[i] = at(i << 11, 0xF800);
    for (uint32_t i = 0; i < 64; ++i) t.green[i] = at(i << 5, 0x07E0);
    for (uint32_t i = 0; i < 32; ++i) t.blue[i] = at(i, 0x001F);
    return t;
}

} // namespace softblit
