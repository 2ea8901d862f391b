// The AVX-512 walk of a run-table draw by its masks (RunMasks), and the step of an operation on
// source and destination pixels it draws with. Included inside an anonymous namespace of each
// file compiled for AVX-512 (F, BW, VL and what else that file's forms use), so that each file
// instantiates it under its own target. Needs <immintrin.h>, <cstring>, <type_traits>, <utility>
// and blit_rows.h.
#pragma once

// A row's run bits a step at a time: step i's bits (those of pixels from kPixels i on) are the
// mask-sized unit i of the row's 16-bit units, read through a type that may alias them; and 64
// bits at once, those of a row of up to 64 pixels or of the next rows of shorter ones.
typedef uint16_t RunBits16 __attribute__((may_alias));
typedef uint32_t RunBits32 __attribute__((may_alias));
typedef uint64_t RunBits64 __attribute__((may_alias));
template <class Mask>
Mask RunBits(const uint16_t* row, int i);
// Straight from memory into a mask register: through a general register it costs a move more.
template <>
inline __mmask16 RunBits<__mmask16>(const uint16_t* row, int i) {
    __mmask16 m;
    __asm__("kmovw %1, %0" : "=k"(m) : "m"(reinterpret_cast<const RunBits16*>(row)[i]));
    return m;
}
template <>
inline __mmask32 RunBits<__mmask32>(const uint16_t* row, int i) {
    __mmask32 m;
    __asm__("kmovd %1, %0" : "=k"(m) : "m"(reinterpret_cast<const RunBits32*>(row)[i]));
    return m;
}
inline __mmask64 RunBits64At(const uint16_t* at) {
    __mmask64 m;
    __asm__("kmovq %1, %0" : "=k"(m) : "m"(*reinterpret_cast<const RunBits64*>(at)));
    return m;
}

// Masked loads and stores of 32-bit (sixteen) or 16-bit (thirty-two) pixels.
template <int Bytes>
struct Pixels512;
template <>
struct Pixels512<4> {
    static __m512i Load(__mmask16 m, const uint8_t* at) { return _mm512_maskz_loadu_epi32(m, at); }
    static void Store(uint8_t* at, __mmask16 m, __m512i v) { _mm512_mask_storeu_epi32(at, m, v); }
};
template <>
struct Pixels512<2> {
    static __m512i Load(__mmask32 m, const uint8_t* at) { return _mm512_maskz_loadu_epi16(m, at); }
    static void Store(uint8_t* at, __mmask32 m, __m512i v) { _mm512_mask_storeu_epi16(at, m, v); }
};

// Holds a loaded vector in a register: without it the compiler folds an unmasked load into each
// instruction that reads it, which loads the same pixels up to three times a step.
inline void InRegister(__m512i& v) {
    __asm__("" : "+v"(v));
}

// A step of an operation f(d, s) on source and destination pixels of Bytes bytes (4: sixteen a
// step, 2: thirty-two) for the run walk; ReadsDestination false, d is zero.
template <class F, int Bytes, bool ReadsDestination = true>
struct RunStep {
    static constexpr int kPixels = Bytes == 4 ? 16 : 32;
    static constexpr int kOutBytes = Bytes;
    static constexpr int kInBytes = Bytes;
    static constexpr bool kRunPairs = Bytes == 2 && ReadsDestination;
    static constexpr bool kNarrowCopy = Bytes == 2 && !ReadsDestination;
    static constexpr bool kCopies = !ReadsDestination;
    static constexpr bool kWeighs = false;
    using Px = Pixels512<Bytes>;
    using Mask = std::conditional_t<Bytes == 4, __mmask16, __mmask32>;
    F f;
    void Runs(uint8_t* to, const uint8_t* from, Mask load, Mask m, Mask) const {
        __m512i s = Px::Load(load, from);
        __m512i d = ReadsDestination ? Px::Load(load, to) : _mm512_setzero_si512();
        InRegister(s);
        InRegister(d);
        Px::Store(to, m, f(d, s));
    }
    // Two rows of at most half a step (16-bit) in the halves of one step: each row comes in and
    // goes out by a 256-bit move of its own, as a 512-bit move with half its lanes masked off
    // costs as much as a whole one.
    void RunsPair(uint8_t* to0, const uint8_t* from0, uint8_t* to1, const uint8_t* from1, __mmask16 half,
                  __mmask16 first, __mmask16 second) const {
        auto both = [half](const uint8_t* low, const uint8_t* high) {
            const __m512i lowHalf = _mm512_maskz_inserti64x4(0xFF, _mm512_setzero_si512(),
                                                             _mm256_maskz_loadu_epi16(half, low), 0);
            return _mm512_maskz_inserti64x4(0xFF, lowHalf, _mm256_maskz_loadu_epi16(half, high), 1);
        };
        __m512i s = both(from0, from1);
        __m512i d = ReadsDestination ? both(to0, to1) : _mm512_setzero_si512();
        __m512i out = f(d, s);
        __m256i low;
        std::memcpy(&low, &out, sizeof low);  // the low half, with no instruction of its own
        _mm256_mask_storeu_epi16(to0, first, low);
        _mm256_mask_storeu_epi16(to1, second, _mm512_maskz_extracti64x4_epi64(0xF, out, 1));
    }
};

// The rows of a copy of one 16-pixel step a row, each row's bits in one unit: the bits of sixteen
// rows read into four mask registers before any of their stores, each row's shifted out of them
// and passed to row(bits). A copy's loop is bound by its loads and stores: a read of each row's
// bits among them costs more than the compare of the general loops. The reads may run up to
// sixteen units past the last row, into the masks' padding (MemImgBase::runMasks).
template <int R, class Row>
inline bool BulkRow(const __mmask64 (&bits)[4], int rows, Row& row) {
    if (R == rows) return false;
    if constexpr (R % 4 == 0) row(static_cast<__mmask16>(bits[R / 4]));
    else row(static_cast<__mmask16>(_kshiftri_mask64(bits[R / 4], 16 * (R % 4))));
    return true;
}
template <class Row, int... R>
inline void BulkRows(const __mmask64 (&bits)[4], int rows, Row& row, std::integer_sequence<int, R...>) {
    (BulkRow<R>(bits, rows, row) && ...);
}
template <class Row>
inline void ForRowsByBulkBits(int height, const uint16_t* drawn, Row row) {
    for (int y = 0; y < height; y += 16, drawn += 16) {
        const __mmask64 bits[4] = {RunBits64At(drawn), RunBits64At(drawn + 4), RunBits64At(drawn + 8),
                                   RunBits64At(drawn + 12)};
        BulkRows(bits, height - y, row, std::make_integer_sequence<int, 16>{});
    }
}

// The rows of the block by the run masks: every step of Step::kPixels pixels of the row, each
// drawing the pixels whose bits are set (none beyond the row's width are); the step gets the
// alpha-run bits too. The loops have the shape of WalkBlock's, and a step loads by the row's own
// mask (all of a whole step, the row's last pixels at its end), so no load waits for the run
// bits; only the store is masked by them. The caller leaves out the rows above the first and below
// the last with a bit set; of the others, a row of several steps with no bit set is stepped over,
// but no single step is, as a step with no bit set stores nothing and costs less than a branch on
// the bits that the shapes of sprites would often mispredict.
// The masks of the row shapes are formed in general registers and moved to mask registers once.
// Short: the rows of at most one step; else the rows of several.
template <class Step, bool Short>
[[gnu::always_inline]] inline void WalkRunRows(const RowBlock& block, const RunMasks& masks, const Step& step) {
    constexpr int kPixels = Step::kPixels;
    using Mask = typename Step::Mask;
    // The block's and masks' fields are copied first, as the stores may alias them.
    uint8_t* to = block.to;
    const uint8_t* from = block.from;
    const ptrdiff_t toPitch = block.toPitch, fromPitch = block.fromPitch;
    const int width = block.width, height = block.height;
    const uint16_t* drawn = masks.bits;
    const uint16_t* alpha = masks.alpha;
    const ptrdiff_t units = masks.units;
    const Mask none = 0;
    if constexpr (Short) {
        if constexpr (Step::kRunPairs) {
            // Rows of at most half a step: two rows a step, the first in the low half.
            if (2 * width <= kPixels) {
                const __mmask16 half = static_cast<__mmask16>((1u << width) - 1);
                int y = 0;
                for (; y + 2 <= height; y += 2, to += 2 * toPitch, from += 2 * fromPitch) {
                    const uint16_t* pair = drawn + units * y;
                    step.RunsPair(to, from, to + toPitch, from + fromPitch, half, RunBits<__mmask16>(pair, 0),
                                  RunBits<__mmask16>(pair + units, 0));
                }
                if (y < height)
                    step.Runs(to, from, static_cast<Mask>(half), RunBits<Mask>(drawn + units * y, 0), none);
                return;
            }
        }
        if constexpr (Step::kNarrowCopy) {
            // A copy of rows of at most sixteen 16-bit pixels: one 256-bit step a row.
            if (2 * width <= kPixels && units == 1) {
                const __mmask16 row = static_cast<__mmask16>((1u << width) - 1);
                ForRowsByBulkBits(height, drawn, [&](__mmask16 bits) {
                    _mm256_mask_storeu_epi16(to, bits, _mm256_maskz_loadu_epi16(row, from));
                    to += toPitch;
                    from += fromPitch;
                });
                return;
            }
        }
        // One step a row.
        const Mask row = static_cast<Mask>(width == kPixels ? ~uint32_t{0} : (uint32_t{1} << width) - 1);
        if constexpr (Step::kCopies && kPixels == 16) {
            if (units == 1) {
                ForRowsByBulkBits(height, drawn, [&](__mmask16 bits) {
                    step.Runs(to, from, row, bits, none);
                    to += toPitch;
                    from += fromPitch;
                });
                return;
            }
        }
#pragma GCC unroll 2
        for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch)
            step.Runs(to, from, row, RunBits<Mask>(drawn + units * y, 0),
                      Step::kWeighs ? RunBits<Mask>(alpha + units * y, 0) : none);
    } else {
        // Rows of several steps, in one of four loops: with or without a last part step, and with
        // the row's bits in one read (up to 64 pixels: two units or four) or in several, so that
        // neither is asked again each row.
        const int full = width - width % kPixels;
        const Mask all = static_cast<Mask>(~Mask{0});
        const Mask tail = static_cast<Mask>((uint32_t{1} << (width - full)) - 1);
        auto rows = [&](auto tailed, auto oneRead) {
            const int steps = full / kPixels;
            for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch, drawn += units, alpha += units) {
                if constexpr (decltype(oneRead)::value != 0) {
                    // The row's bits in a mask register at once, each step's shifted out of it.
                    __mmask64 bits;
                    if constexpr (decltype(oneRead)::value == 2) bits = RunBits<__mmask32>(drawn, 0);
                    else bits = RunBits64At(drawn);
                    if (_ktestz_mask64_u8(bits, bits)) continue;
                    __mmask64 left = bits;
                    for (int i = 0; i < steps; ++i, left = _kshiftri_mask64(left, kPixels))
                        step.Runs(to + Step::kOutBytes * kPixels * i, from + Step::kInBytes * kPixels * i, all,
                                  static_cast<Mask>(left), Step::kWeighs ? RunBits<Mask>(alpha, i) : none);
                    if constexpr (decltype(tailed)::value)
                        step.Runs(to + Step::kOutBytes * full, from + Step::kInBytes * full, tail,
                                  static_cast<Mask>(left), Step::kWeighs ? RunBits<Mask>(alpha, steps) : none);
                    continue;
                }
                uint64_t any = 0;
                for (ptrdiff_t w = 0; w < units; w += 4) any |= reinterpret_cast<const RunBits64*>(drawn)[w / 4];
                if (any == 0) continue;
                for (int i = 0; i < steps; ++i)
                    step.Runs(to + Step::kOutBytes * kPixels * i, from + Step::kInBytes * kPixels * i, all,
                              RunBits<Mask>(drawn, i), Step::kWeighs ? RunBits<Mask>(alpha, i) : none);
                if constexpr (decltype(tailed)::value)
                    step.Runs(to + Step::kOutBytes * full, from + Step::kInBytes * full, tail,
                              RunBits<Mask>(drawn, steps), Step::kWeighs ? RunBits<Mask>(alpha, steps) : none);
            }
        };
        using Yes = std::true_type;
        using No = std::false_type;
        using Units = std::integral_constant<int, 0>;   // several reads a row
        using Two = std::integral_constant<int, 2>;     // one 32-bit read
        using Four = std::integral_constant<int, 4>;    // one 64-bit read
        if (full < width) {
            if (units == 2) rows(Yes{}, Two{});
            else if (units == 4) rows(Yes{}, Four{});
            else rows(Yes{}, Units{});
        } else {
            if (units == 2) rows(No{}, Two{});
            else if (units == 4) rows(No{}, Four{});
            else rows(No{}, Units{});
        }
    }
}

// The block of a whole image's walk: the rows of the image's base from its first with a pixel to
// draw to its end row, `to` and `from` at the first.
inline RowBlock ImageBlock(uint8_t* to, ptrdiff_t toPitch, const uint8_t* from, const MemImgBase& image) {
    return {to, toPitch, from, image.pitch, image.width, image.runEndRow - image.runFirstRow};
}

// The walk of a step with no state of its own, out of line: the caller's call becomes a jump with
// its arguments in registers, and the short rows' calls, most of them sprites' at sixteen or
// thirty-two pixels, pay for no register the long rows' loops need.
template <class Step, bool Short>
[[gnu::noinline]] void WalkImageRowsApart(uint8_t* to, ptrdiff_t toPitch, const uint8_t* from,
                                          const MemImgBase& image, const Step& step) {
    WalkRunRows<Step, Short>(ImageBlock(to, toPitch, from, image), ImageRunMasks(image), step);
}

// A step with state (a parameter's vectors, tables) is walked inline, so that its vectors stay in
// registers rather than pass through memory.
template <class Step>
void WalkImageRuns(uint8_t* to, ptrdiff_t toPitch, const uint8_t* from, const MemImgBase& image, const Step& step) {
    if constexpr (std::is_empty_v<Step>) {
        if (image.width <= Step::kPixels) WalkImageRowsApart<Step, true>(to, toPitch, from, image, step);
        else WalkImageRowsApart<Step, false>(to, toPitch, from, image, step);
    } else {
        const RowBlock block = ImageBlock(to, toPitch, from, image);
        if (image.width <= Step::kPixels) WalkRunRows<Step, true>(block, ImageRunMasks(image), step);
        else WalkRunRows<Step, false>(block, ImageRunMasks(image), step);
    }
}
