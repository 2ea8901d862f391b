// The run-table walk drawn sixteen pixels at a time: each row is taken in steps of sixteen
// pixels, held in 32-bit lanes, with the row's masks of the table's runs (RunMasks); the mode's
// formula is computed on all lanes at once, with the table rows the per-pixel loops read replaced by the arithmetic they hold
// (c * r / 255 rounded down, d * p / 255 rounded toward zero). The pixels are those of the
// per-pixel formulas (blit_pixel.h), bit for bit.
//
// Included by each processor level's file (blit_runs*.cpp) inside its own unnamed namespace, after
// that file has defined `Level`: Load32 and Load16 of the first n (1 to 16) pixels of a step,
// Store32 and Store16 of those of its first n pixels whose bits are set in a mask, and Select of
// lanes by a mask.
//
// No include guard: every level compiles its own copy, for its own instruction set.

using Lanes = uint32_t __attribute__((vector_size(64)));
using SignedLanes = int32_t __attribute__((vector_size(64)));
constexpr int kLanes = 16;

// floor(x / 255) for 0 <= x <= 65025.
inline Lanes Div255(Lanes x) {
    return (x + 1 + (x >> 8)) >> 8;
}

inline SignedLanes AsSigned(Lanes v) {
    return (SignedLanes)v;
}
inline Lanes AsUnsigned(SignedLanes v) {
    return (Lanes)v;
}

inline Lanes Mix(Lanes d, Lanes t, Lanes w, int shift) {
    return (d * ((1u << shift) - w) + t * w) >> shift;
}

// The per-pixel formulas of PixelOp (normal form) on sixteen pixels: s the source colours, a
// their alpha (a factor only when HasAlpha), b the blend weights (read only with a blend image).
template <class Px, int Mode, bool Blend, bool White>
struct LaneOp {
    static constexpr bool kWide = Px::kBytes == 4;
    // The plain copy writes the source whatever the destination.
    static constexpr bool kCopies = Mode == 0 && !Blend && White;

    const uint32_t p;
    const uint32_t bright[3];  // per channel: blue, green, red

    template <class F>
    static Lanes PerChannel(Lanes d, Lanes s, F f) {
        Lanes out = {};
        [&]<int... I>(std::integer_sequence<int, I...>) {
            ((out |= f(std::integral_constant<int, I>{}, (d >> Px::kShift[I]) & ((1u << Px::kBits[I]) - 1),
                       (s >> Px::kShift[I]) & ((1u << Px::kBits[I]) - 1))
                     << Px::kShift[I]),
             ...);
        }(std::make_integer_sequence<int, 3>{});
        if constexpr (kWide) return (d & 0xFF000000u) | out;
        else return out;
    }

    Lanes Bright(int channel, Lanes s) const {
        if constexpr (White) return s;
        else return Div255(s * bright[channel]);
    }

    // d + trunc(p (t - d) / 255).
    Lanes Step(Lanes d, Lanes t) const {
        SignedLanes x = (AsSigned(t) - AsSigned(d)) * static_cast<int32_t>(p);
        SignedLanes negative = x < 0;
        Lanes q = Div255(AsUnsigned((x ^ negative) - negative));
        return d + AsUnsigned((AsSigned(q) ^ negative) - negative);
    }

    template <bool HasAlpha>
    Lanes Toward(Lanes d, Lanes t, Lanes a, Lanes b) const {
        if constexpr (Blend) return HasAlpha ? Mix(d, t, p * b * a, 24) : Mix(d, t, p * b, 16);
        else if constexpr (kWide) return HasAlpha ? Mix(d, t, p * a, 16) : Mix(d, t, Lanes{} + p, 8);
        else return HasAlpha ? Mix(d, t, p * a, 16) : Step(d, t);
    }

    template <bool HasAlpha>
    Lanes Amount(int channel, Lanes sv, Lanes a, Lanes b) const {
        if constexpr (kWide) {
            Lanes t = Bright(channel, sv);
            if constexpr (Blend) return HasAlpha ? (t * b * a * p) >> 24 : (t * b * p) >> 16;
            else return HasAlpha ? (t * a * p) >> 16 : Div255(t * p);
        } else if constexpr (!Blend && HasAlpha) {
            // The alpha scales the field before the bright stage here.
            return Div255(Bright(channel, (sv * a) >> 8) * p);
        } else {
            Lanes t = Bright(channel, sv);
            if constexpr (Blend) return Div255((HasAlpha ? (t * a * b) >> 16 : (t * b) >> 8) * p);
            else return Div255(t * p);
        }
    }

    template <bool HasAlpha>
    Lanes Compute(Lanes d, Lanes s, Lanes a, Lanes b) const {
        if constexpr (Mode == 0) {
            if constexpr (!Blend && White && !HasAlpha) {
                return kWide ? s : (s & 0xFFFFu);
            } else {
                return PerChannel(d, s, [&](auto ch, Lanes dv, Lanes sv) -> Lanes {
                    Lanes t = Bright(ch, sv);
                    if constexpr (Blend) return HasAlpha ? Mix(dv, t, b * a, 16) : Mix(dv, t, b, 8);
                    else if constexpr (HasAlpha) return Mix(dv, t, a, 8);
                    else return t;
                });
            }
        } else if constexpr (Mode == 1) {
            return PerChannel(d, s, [&](auto ch, Lanes dv, Lanes sv) -> Lanes {
                return Toward<HasAlpha>(dv, Bright(ch, sv), a, b);
            });
        } else if constexpr (Mode == 10 || Mode == 11) {
            return PerChannel(d, s, [&](auto ch, Lanes dv, Lanes sv) -> Lanes {
                constexpr int kBits = Px::kBits[decltype(ch)::value];
                if constexpr (Mode == 10) {
                    return Toward<HasAlpha>(dv, Bright(ch, ((1u << kBits) - 1) - sv), a, b);
                } else {
                    if constexpr (!kWide && !Blend && White && HasAlpha && kBits == 6) {
                        // The 16-bit alpha loop keeps five more bits of the green product (the
                        // sum stays within 0 .. 2^31).
                        SignedLanes product = AsSigned((sv * dv) >> 1) - 32 * AsSigned(dv);
                        SignedLanes sum = (AsSigned(dv) << 21) + product * AsSigned(a) * static_cast<int32_t>(p);
                        return AsUnsigned(sum >> 21);
                    }
                    return Toward<HasAlpha>(dv, (Bright(ch, sv) * dv) >> kBits, a, b);
                }
            });
        } else if constexpr (Mode == 4) {
            return PerChannel(d, s, [&](auto ch, Lanes dv, Lanes sv) -> Lanes {
                constexpr int kBits = Px::kBits[decltype(ch)::value];
                Lanes product = Bright(ch, sv) * dv;
                if constexpr (Blend) return HasAlpha ? (product * b * a) >> (kBits + 16) : (product * b) >> (kBits + 8);
                else return HasAlpha ? (product * a) >> (kBits + 8) : product >> kBits;
            });
        } else {
            Lanes v = {};
            [&]<int... I>(std::integer_sequence<int, I...>) {
                ((v |= Amount<HasAlpha>(I, (s >> Px::kShift[I]) & ((1u << Px::kBits[I]) - 1), a, b)
                       << Px::kShift[I]),
                 ...);
            }(std::make_integer_sequence<int, 3>{});
            if constexpr (kWide) {
                if constexpr (Mode == 2) {
                    Lanes x = (d & 0x00FEFEFFu) + (v & 0x00FEFEFFu);
                    Lanes k = x & 0x01010100u;
                    return x | (k - (k >> 8)) | ((d | v) & 0x00010100u);
                } else {
                    Lanes x = (d | 0x01010100u) - (v & 0x00FEFEFFu);
                    Lanes k = x & 0x01010100u;
                    return x & (k - (k >> 8));
                }
            } else {
                if constexpr (Mode == 2) {
                    Lanes x = (d & 0xF7DFu) + (v & 0xF7DFu);
                    Lanes k = x & 0x08210820u;
                    return (x | (k - (k >> 5)) | ((d | v) & 0x0820u)) & 0xFFFFu;
                } else {
                    Lanes x = (d | 0x08210820u) - (v & 0xF7DFu);
                    Lanes k = x & 0x08210820u;
                    return (x & (k - (k >> 5))) & 0xFFFFu;
                }
            }
        }
    }
};

// The unit of the step at pixel x (a multiple of 16) out of the 64 bits from unit 4 (x / 64):
// faster here than a 16-bit read. A row of fewer than four units reads on into the next rows or
// the masks' padding, whose bits are shifted or masked off.
inline uint32_t ReadRunUnit(const uint16_t* row, int x) {
    uint64_t word;
    std::memcpy(&word, row + 4 * (x >> 6), sizeof word);
    return static_cast<uint32_t>(word >> (x & 63)) & 0xFFFFu;
}

// Draws one row of the run-table walk from its masks (RunMasks): steps of sixteen pixels, those
// without a pixel to draw stepped over; of an alpha source, the pixels of the alpha mask weighed
// by their alpha, the others drawn opaque.
template <class Px, SourceKind Kind, int Mode, bool Blend, bool White>
void WalkRunMasks(const BlitJob& job, const RunMasks& masks) {
    using Op = LaneOp<Px, Mode, Blend, White>;
    constexpr int kSourceBytes = Kind == SourceKind::Palette ? 1 : Kind == SourceKind::Alpha ? 4 : Px::kBytes;
    const BlitContext& c = job.context;
    const Op op = {c.p, {c.brightRows[0][255], c.brightRows[1][255], c.brightRows[2][255]}};
    const int width = job.width;
    for (int y = 0; y < job.height; ++y) {
        uint8_t* const to = job.destination + static_cast<ptrdiff_t>(job.destinationPitch) * y;
        const uint8_t* const from = job.source + static_cast<ptrdiff_t>(job.sourcePitch) * y;
        const uint8_t* const blend = Blend ? job.blend + static_cast<ptrdiff_t>(job.blendPitch) * y : nullptr;
        const uint16_t* const drawn = masks.bits + static_cast<size_t>(masks.units) * y;
        const uint16_t* const weighed = masks.alpha + static_cast<size_t>(masks.units) * y;
        static_assert(kLanes == 16, "a step's bits are one unit of the row's masks");
        for (int x = 0; x < width; x += kLanes) {
            const uint32_t m = ReadRunUnit(drawn, x);
            if (m == 0) continue;
            const int n = width - x < kLanes ? width - x : kLanes;
            uint8_t* const at = to + Px::kBytes * x;
            const uint8_t* const in = from + kSourceBytes * x;
            Lanes s, a = {}, b = {};
            if constexpr (Kind == SourceKind::Palette) {
                uint32_t colours[kLanes] = {};
                for (int j = 0; j < n; ++j)
                    colours[j] = Px::kBytes == 4 ? softblit::Load32(c.palette + 4 * in[j])
                                                 : softblit::Load16(c.palette + 2 * in[j]);
                std::memcpy(&s, colours, sizeof s);
            } else if constexpr (Kind == SourceKind::Alpha || Px::kBytes == 4) {
                s = Level::Load32(in, n);
                if constexpr (Kind == SourceKind::Alpha) {
                    if constexpr (Px::kBytes == 4) {
                        a = s >> 24;
                    } else {
                        a = (s >> 16) & 0xFFu;
                        s &= 0xFFFFu;
                    }
                }
            } else {
                s = Level::Load16(in, n);
            }
            if constexpr (Blend) {
                uint32_t weights[kLanes] = {};
                for (int j = 0; j < n; ++j) weights[j] = c.blendMap[blend[x + j]];
                std::memcpy(&b, weights, sizeof b);
            }
            Lanes d = {};
            Lanes out;
            const uint32_t ma = Kind == SourceKind::Alpha ? ReadRunUnit(weighed, x) : 0;
            if (ma == 0) {
                if constexpr (!Op::kCopies) d = Px::kBytes == 4 ? Level::Load32(at, n) : Level::Load16(at, n);
                out = op.template Compute<false>(d, s, a, b);
            } else {
                d = Px::kBytes == 4 ? Level::Load32(at, n) : Level::Load16(at, n);
                out = op.template Compute<true>(d, s, a, b);
                if (ma != m) out = Level::Select(ma, out, op.template Compute<false>(d, s, a, b));
            }
            if constexpr (Px::kBytes == 4) Level::Store32(at, out, m, n);
            else Level::Store16(at, out, m, n);
        }
    }
}

// From the call's choices to one walk.
inline void DrawRunsOfLevel(const KernelChoice& choice, const BlitJob& job, const RunMasks& masks) {
    auto withDepth = [&](auto pixel) {
        using Px = decltype(pixel);
        WithKind(choice.kind, [&](auto kind) {
            WithMode(choice.mode, [&](auto mode) {
                WithBool(choice.blend, [&](auto blend) {
                    WithBool(choice.white, [&](auto white) {
                        WalkRunMasks<Px, decltype(kind)::value, decltype(mode)::value, decltype(blend)::value,
                                     decltype(white)::value>(job, masks);
                    });
                });
            });
        });
    };
    if (choice.wide) withDepth(Pixel32{});
    else withDepth(Pixel16{});
}
