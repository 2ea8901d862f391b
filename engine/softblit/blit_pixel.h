// Per-pixel arithmetic of the blit kernels: one template per blend mode, instantiated for every
// combination of pixel depth, blend image, bright colour and special form.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace softblit {

enum class SourceKind { Palette, Direct, Alpha };

// Where a loop runs: the unscaled general loops, the unscaled run-table walk, or the stretched walk.
enum class Road { General, Fast, Stretched };

// Special whole-pixel forms that some loops use in place of the mode's per-channel formula.
enum class Form {
    Normal,
    HalfSum,       // mode 1 at parameter 128: per-channel halves added
    Mix16,         // 16-bit mode 1: the 6-bit mix table
    SaturateBytes, // modes 2 and 3 at parameter 255 with the MMX-usable flag: per-byte saturation
    NoLowBits,     // mode 2 at parameter 255 without it: packed add without the low-bit term
};

// Per-call values the pixel formulas read: table rows picked from the draw settings.
struct BlitContext {
    uint32_t p;                        // blend parameter
    uint32_t key;                      // transparent colour or index
    const uint8_t* brightRows[3];      // bright rows of blue, green and red
    const uint8_t* parameterRow;       // unsigned scale row p
    const int16_t* stepRow;            // signed scale row p, centred on a difference of 0
    const uint8_t (*mix16Block)[64];   // 16-bit mix block p >> 2: [source][destination]
    const uint8_t* blendMap;           // blend-image weights
    const uint8_t* palette;            // the source base's palette
};

inline uint32_t Load16(const uint8_t* at) {
    uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}
inline uint32_t Load32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}
inline void Store16(uint8_t* at, uint32_t value) {
    uint16_t half = static_cast<uint16_t>(value);
    std::memcpy(at, &half, 2);
}
inline void Store32(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, 4);
}

// X8R8G8B8: three 8-bit channels; the top byte is kept by per-channel formulas.
struct Pixel32 {
    static constexpr int kBytes = 4;
    static constexpr int kShift[3] = {0, 8, 16};
    static constexpr int kBits[3] = {8, 8, 8};
    static uint32_t Load(const uint8_t* at) { return Load32(at); }
    static void Store(uint8_t* at, uint32_t value) { Store32(at, value); }
    static uint32_t Merge(uint32_t d, uint32_t channels) { return (d & 0xFF000000u) | channels; }
};

// R5G6B5: blue 5 bits, green 6 bits, red 5 bits; the whole word is rewritten.
struct Pixel16 {
    static constexpr int kBytes = 2;
    static constexpr int kShift[3] = {0, 5, 11};
    static constexpr int kBits[3] = {5, 6, 5};
    static uint32_t Load(const uint8_t* at) { return Load16(at); }
    static void Store(uint8_t* at, uint32_t value) { Store16(at, value); }
    static uint32_t Merge(uint32_t, uint32_t channels) { return channels; }
};

// floor((d * 2^shift + (t - d) * w) / 2^shift) for a weight product w <= 2^shift.
inline uint32_t Mix(uint32_t d, uint32_t t, uint32_t w, int shift) {
    return (d * ((1u << shift) - w) + t * w) >> shift;
}

// Applies f(channel index, d, s) to blue, green and red and assembles the channels.
template <class Px, class F>
inline uint32_t PerChannel(uint32_t d, uint32_t s, F f) {
    uint32_t out = 0;
    [&]<int... I>(std::integer_sequence<int, I...>) {
        ((out |= f(std::integral_constant<int, I>{}, (d >> Px::kShift[I]) & ((1u << Px::kBits[I]) - 1),
                   (s >> Px::kShift[I]) & ((1u << Px::kBits[I]) - 1))
                 << Px::kShift[I]),
         ...);
    }(std::make_integer_sequence<int, 3>{});
    return Px::Merge(d, out);
}

template <bool White>
inline uint32_t Bright(const BlitContext& c, int channel, uint32_t s) {
    if constexpr (White) return s;
    else return c.brightRows[channel][s];
}

// The result of one mode for one pixel. Apply<HasAlpha> writes the destination pixel from the
// source colour s (whole pixel or palette entry), the alpha a (a factor only when HasAlpha) and
// the blend weight b (read only with a blend image).
template <class Px, int Mode, bool Blend, bool White, Form F>
struct PixelOp {
    static constexpr bool kWide = Px::kBytes == 4;
    // The plain copy: the result is the source colour whatever the destination.
    static constexpr bool kCopies = Mode == 0 && !Blend && White;

    template <bool HasAlpha>
    static inline void Apply(const BlitContext& c, uint8_t* at, uint32_t s, uint32_t a, uint32_t b) {
        uint32_t d = Px::Load(at);
        Px::Store(at, Compute<HasAlpha>(c, d, s, a, b));
    }

    template <bool HasAlpha>
    static inline uint32_t Compute(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a,
                                   uint32_t b) {
        if constexpr (Mode == 0) return Copy<HasAlpha>(c, d, s, a, b);
        else if constexpr (Mode == 1) return Alpha<HasAlpha>(c, d, s, a, b);
        else if constexpr (Mode == 2 || Mode == 3) return AddSubtract<HasAlpha>(c, d, s, a, b);
        else if constexpr (Mode == 4) return Multiply<HasAlpha>(c, d, s, a, b);
        else return TowardTarget<HasAlpha>(c, d, s, a, b);
    }

    // Mode 0: copy, weighted by the blend image and the alpha when present.
    template <bool HasAlpha>
    static uint32_t Copy(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a, uint32_t b) {
        if constexpr (!Blend && White && !HasAlpha) {
            return kWide ? s : (s & 0xFFFF);
        } else {
            return PerChannel<Px>(d, s, [&](auto ch, uint32_t dv, uint32_t sv) -> uint32_t {
                uint32_t t = Bright<White>(c, ch, sv);
                if constexpr (Blend) return HasAlpha ? Mix(dv, t, b * a, 16) : Mix(dv, t, b, 8);
                else return HasAlpha ? Mix(dv, t, a, 8) : t;
            });
        }
    }

    // The 16-bit step toward t: d + trunc(p * (t - d) / 255).
    static uint32_t Step(const BlitContext& c, uint32_t d, uint32_t t) {
        return static_cast<uint32_t>(static_cast<int32_t>(d) +
                                     c.stepRow[static_cast<int32_t>(t) - static_cast<int32_t>(d)]);
    }

    // Moves d toward t by the parameter and the present weights. The 32-bit loops always mix;
    // the 16-bit loops without a blend image step by the parameter row when there is no alpha.
    template <bool HasAlpha>
    static uint32_t Toward(const BlitContext& c, uint32_t d, uint32_t t, uint32_t a, uint32_t b) {
        if constexpr (Blend) {
            return HasAlpha ? Mix(d, t, c.p * b * a, 24) : Mix(d, t, c.p * b, 16);
        } else if constexpr (kWide) {
            return HasAlpha ? Mix(d, t, c.p * a, 16) : Mix(d, t, c.p, 8);
        } else {
            return HasAlpha ? Mix(d, t, c.p * a, 16) : Step(c, d, t);
        }
    }

    // Mode 1: blend toward the source by the parameter.
    template <bool HasAlpha>
    static uint32_t Alpha(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a, uint32_t b) {
        if constexpr (F == Form::HalfSum) {
            if constexpr (kWide) return ((s >> 1) & 0x007F7F7Fu) + ((d >> 1) & 0x007F7F7Fu);
            else return ((s >> 1) & 0x7BEFu) + ((d >> 1) & 0x7BEFu);
        } else if constexpr (F == Form::Mix16) {
            return PerChannel<Px>(d, s, [&](auto, uint32_t dv, uint32_t sv) -> uint32_t {
                return c.mix16Block[sv][dv];
            });
        } else {
            return PerChannel<Px>(d, s, [&](auto ch, uint32_t dv, uint32_t sv) -> uint32_t {
                return Toward<HasAlpha>(c, dv, Bright<White>(c, ch, sv), a, b);
            });
        }
    }

    // Modes 10 and 11: blend toward the inverted source or toward the product.
    template <bool HasAlpha>
    static uint32_t TowardTarget(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a,
                                 uint32_t b) {
        return PerChannel<Px>(d, s, [&](auto ch, uint32_t dv, uint32_t sv) -> uint32_t {
            constexpr int kBits = Px::kBits[decltype(ch)::value];
            if constexpr (Mode == 10) {
                uint32_t t = Bright<White>(c, ch, ((1u << kBits) - 1) - sv);
                return Toward<HasAlpha>(c, dv, t, a, b);
            } else {
                if constexpr (!kWide && !Blend && White && HasAlpha && kBits == 6) {
                    // The 16-bit alpha loop keeps five more bits of the green product.
                    int64_t product = static_cast<int64_t>((sv * dv) >> 1) - 32 * int64_t{dv};
                    int64_t sum = (int64_t{dv} << 21) + product * a * c.p;
                    return static_cast<uint32_t>(sum >> 21);
                }
                uint32_t t = (Bright<White>(c, ch, sv) * dv) >> kBits;
                return Toward<HasAlpha>(c, dv, t, a, b);
            }
        });
    }

    // Mode 4: multiply; the weights scale the product.
    template <bool HasAlpha>
    static uint32_t Multiply(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a, uint32_t b) {
        return PerChannel<Px>(d, s, [&](auto ch, uint32_t dv, uint32_t sv) -> uint32_t {
            constexpr int kBits = Px::kBits[decltype(ch)::value];
            uint32_t product = Bright<White>(c, ch, sv) * dv;
            if constexpr (Blend) {
                return HasAlpha ? (product * b * a) >> (kBits + 16) : (product * b) >> (kBits + 8);
            } else {
                return HasAlpha ? (product * a) >> (kBits + 8) : product >> kBits;
            }
        });
    }

    // The amount of modes 2 and 3 for one channel.
    template <bool HasAlpha>
    static uint32_t Amount(const BlitContext& c, int channel, uint32_t sv, uint32_t a, uint32_t b) {
        if constexpr (kWide) {
            uint32_t t = White ? sv : c.brightRows[channel][sv];
            if constexpr (Blend) return HasAlpha ? (t * b * a * c.p) >> 24 : (t * b * c.p) >> 16;
            else return HasAlpha ? (t * a * c.p) >> 16 : c.parameterRow[t];
        } else {
            if constexpr (!Blend && HasAlpha) {
                // The alpha scales the field before the bright stage here.
                uint32_t u = (sv * a) >> 8;
                return c.parameterRow[White ? u : c.brightRows[channel][u]];
            } else {
                uint32_t t = White ? sv : c.brightRows[channel][sv];
                if constexpr (Blend) return c.parameterRow[HasAlpha ? (t * a * b) >> 16 : (t * b) >> 8];
                else return c.parameterRow[t];
            }
        }
    }

    // Modes 2 and 3: packed add and subtract of the amounts.
    template <bool HasAlpha>
    static uint32_t AddSubtract(const BlitContext& c, uint32_t d, uint32_t s, uint32_t a,
                                uint32_t b) {
        if constexpr (F == Form::SaturateBytes) {
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                int32_t dv = static_cast<int32_t>((d >> shift) & 0xFF);
                int32_t sv = static_cast<int32_t>((s >> shift) & 0xFF);
                int32_t v = Mode == 2 ? dv + sv : dv - sv;
                v = v < 0 ? 0 : v > 255 ? 255 : v;
                out |= static_cast<uint32_t>(v) << shift;
            }
            return out;
        } else if constexpr (F == Form::NoLowBits) {
            return kWide ? PackedAdd32(d, s, false) : PackedAdd16(d, s, false);
        } else {
            uint32_t v = PerChannel<Px>(0, s, [&](auto ch, uint32_t, uint32_t sv) -> uint32_t {
                return Amount<HasAlpha>(c, ch, sv, a, b);
            });
            if constexpr (Mode == 2) return kWide ? PackedAdd32(d, v, true) : PackedAdd16(d, v, true);
            else return kWide ? PackedSubtract32(d, v) : PackedSubtract16(d, v);
        }
    }

    static uint32_t PackedAdd32(uint32_t d, uint32_t v, bool lowBits) {
        uint32_t x = (d & 0x00FEFEFFu) + (v & 0x00FEFEFFu);
        uint32_t k = x & 0x01010100u;
        uint32_t out = x | (k - (k >> 8));
        return lowBits ? out | ((d | v) & 0x00010100u) : out;
    }
    static uint32_t PackedSubtract32(uint32_t d, uint32_t v) {
        uint32_t x = (d | 0x01010100u) - (v & 0x00FEFEFFu);
        uint32_t k = x & 0x01010100u;
        return x & (k - (k >> 8));
    }
    static uint32_t PackedAdd16(uint32_t d, uint32_t v, bool lowBits) {
        uint32_t x = (d & 0xF7DFu) + (v & 0xF7DFu);
        uint32_t k = x & 0x08210820u;
        uint32_t out = x | (k - (k >> 5));
        return (lowBits ? out | ((d | v) & 0x0820u) : out) & 0xFFFF;
    }
    static uint32_t PackedSubtract16(uint32_t d, uint32_t v) {
        uint32_t x = (d | 0x08210820u) - (v & 0xF7DFu);
        uint32_t k = x & 0x08210820u;
        return (x & (k - (k >> 5))) & 0xFFFF;
    }
};

// Two horizontally adjacent 16-bit pixels (left in the low half) added or subtracted as one word,
// with the carries passing from the left pixel into the right one.
inline uint32_t PairAdd16(uint32_t d2, uint32_t s2) {
    uint64_t sum = uint64_t{s2 & 0xF7DEF7DFu} + (d2 & 0xF7DEF7DFu);
    uint32_t carry = static_cast<uint32_t>(sum >> 32);
    uint32_t x = static_cast<uint32_t>(sum);
    uint32_t k = x & 0x08210820u;
    return x | (k - ((k >> 5) | (carry << 27)));
}

inline uint32_t PairSubtract16(uint32_t d2, uint32_t s2) {
    uint32_t left = d2 | 0x08210820u;
    uint32_t right = s2 & 0xF7DEF7DFu;
    uint32_t borrow = left < right ? 1u : 0u;
    uint32_t x = left - right;
    uint32_t k = x & 0x08210820u;
    return x & ((k - (k >> 5)) | (borrow ? 0u : 0xF8000000u));
}

} // namespace softblit
