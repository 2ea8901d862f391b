// From the per-call choices (depth, source kind, mode, modifiers, form) down to one instantiated
// loop. Each road's source file instantiates its own set.
#pragma once

#include <type_traits>

#include "softblit/blit_walk.h"

namespace softblit {

struct KernelChoice {
    bool wide;        // X8R8G8B8, else R5G6B5
    SourceKind kind;
    int mode;         // 0, 1, 2, 3, 4, 10 or 11 (mode 1 at parameter 255 already made 0)
    bool blend;
    bool white;
    bool keyed;
    Form form;        // a special form, only with no blend image, white bright and no alpha
    bool pairs;       // the 16-bit pair loops of modes 2 and 3
};

template <class F>
inline void WithBool(bool value, F&& f) {
    if (value) f(std::true_type{});
    else f(std::false_type{});
}

template <class F>
inline void WithKind(SourceKind kind, F&& f) {
    switch (kind) {
    case SourceKind::Palette: f(std::integral_constant<SourceKind, SourceKind::Palette>{}); break;
    case SourceKind::Direct: f(std::integral_constant<SourceKind, SourceKind::Direct>{}); break;
    case SourceKind::Alpha: f(std::integral_constant<SourceKind, SourceKind::Alpha>{}); break;
    }
}

template <class F>
inline void WithMode(int mode, F&& f) {
    switch (mode) {
    case 0: f(std::integral_constant<int, 0>{}); break;
    case 1: f(std::integral_constant<int, 1>{}); break;
    case 2: f(std::integral_constant<int, 2>{}); break;
    case 3: f(std::integral_constant<int, 3>{}); break;
    case 4: f(std::integral_constant<int, 4>{}); break;
    case 10: f(std::integral_constant<int, 10>{}); break;
    case 11: f(std::integral_constant<int, 11>{}); break;
    default: break;
    }
}

template <Road R, class Px, SourceKind Kind, class Op, bool Keyed, bool Blend, int Mode, bool White>
inline void RunWalk(const BlitJob& job) {
    if constexpr (R == Road::General) WalkUnscaled<Px, Kind, Op, Keyed, Blend, Mode, White>(job);
    else if constexpr (R == Road::Fast) WalkRuns<Px, Kind, Op, Blend>(job);
    else WalkStretched<Px, Kind, Op, Keyed, Blend, Mode, White>(job);
}

// Special forms: no blend image, white bright, a source without alpha.
template <Road R, class Px, SourceKind Kind, int Mode>
inline void RunSpecialForm(const KernelChoice& choice, const BlitJob& job) {
    if constexpr (Kind != SourceKind::Alpha && R != Road::Fast) {
        auto run = [&](auto form) {
            constexpr Form kForm = decltype(form)::value;
            using Op = PixelOp<Px, Mode, false, true, kForm>;
            WithBool(choice.keyed, [&](auto keyed) {
                RunWalk<R, Px, Kind, Op, keyed, false, Mode, true>(job);
            });
        };
        if constexpr (Mode == 1) {
            if (choice.form == Form::HalfSum) run(std::integral_constant<Form, Form::HalfSum>{});
            else if constexpr (Px::kBytes == 2)
                if (choice.form == Form::Mix16) run(std::integral_constant<Form, Form::Mix16>{});
        } else if constexpr (Mode == 2 || Mode == 3) {
            if constexpr (Px::kBytes == 2 && R == Road::General) {
                if (choice.pairs) {
                    WithBool(choice.keyed, [&](auto keyed) { WalkPairs16<Kind, Mode, keyed>(job); });
                    return;
                }
            }
            if constexpr (Px::kBytes == 4) {
                if (choice.form == Form::SaturateBytes)
                    run(std::integral_constant<Form, Form::SaturateBytes>{});
                else if constexpr (Mode == 2)
                    if (choice.form == Form::NoLowBits)
                        run(std::integral_constant<Form, Form::NoLowBits>{});
            }
        }
    }
}

template <Road R>
void RunKernel(const KernelChoice& choice, const BlitJob& job) {
    auto withDepth = [&](auto pixel) {
        using Px = decltype(pixel);
        WithKind(choice.kind, [&](auto kindConstant) {
            constexpr SourceKind Kind = decltype(kindConstant)::value;
            WithMode(choice.mode, [&](auto modeConstant) {
                constexpr int Mode = decltype(modeConstant)::value;
                if (choice.form != Form::Normal || choice.pairs) {
                    RunSpecialForm<R, Px, Kind, Mode>(choice, job);
                    return;
                }
                WithBool(choice.blend, [&](auto blend) {
                    WithBool(choice.white, [&](auto white) {
                        using Op = PixelOp<Px, Mode, blend, white, Form::Normal>;
                        // The run table keys every draw of its road.
                        if constexpr (R == Road::Fast) {
                            RunWalk<R, Px, Kind, Op, true, blend, Mode, white>(job);
                        } else {
                            WithBool(choice.keyed, [&](auto keyed) {
                                RunWalk<R, Px, Kind, Op, keyed, blend, Mode, white>(job);
                            });
                        }
                    });
                });
            });
        });
    };
    if (choice.wide) withDepth(Pixel32{});
    else withDepth(Pixel16{});
}

} // namespace softblit
