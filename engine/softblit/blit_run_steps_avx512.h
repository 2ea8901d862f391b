// The AVX-512 walk of a run-table draw by its masks (RunMasks), and the step of an operation on
// source and destination pixels it draws with. Included inside an anonymous namespace of each
// file compiled for AVX-512 (F, BW, VL and what else that file's forms use), so that each file
// instantiates it under its own target. Needs <immintrin.h>, <cstring>, <type_traits> and
// blit_rows.h.
#pragma once

// A row's run bits a step at a time: step i's bits (those of pixels from kPixels i on) lie in
// mask-sized unit i of the row's words, read through a type that may alias them.
typedef uint16_t RunBits16 __attribute__((may_alias));
typedef uint32_t RunBits32 __attribute__((may_alias));
template <class Mask>
Mask RunBits(const uint64_t* row, int i);
// Straight from memory into a mask register: through a general register it costs a move more.
template <>
inline __mmask16 RunBits<__mmask16>(const uint64_t* row, int i) {
    __mmask16 m;
    __asm__("kmovw %1, %0" : "=k"(m) : "m"(reinterpret_cast<const RunBits16*>(row)[i]));
    return m;
}
template <>
inline __mmask32 RunBits<__mmask32>(const uint64_t* row, int i) {
    __mmask32 m;
    __asm__("kmovd %1, %0" : "=k"(m) : "m"(reinterpret_cast<const RunBits32*>(row)[i]));
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

// The rows of the block by the run masks: every step of Step::kPixels pixels of the row, each
// drawing the pixels whose bits are set (none beyond the row's width are); the step gets the
// alpha-run bits too. The loops have the shape of WalkBlock's, and a step loads by the row's own
// mask (all of a whole step, the row's last pixels at its end), so no load waits for the run
// bits; only the store is masked by them. The caller leaves out the rows above the first and below
// the last with a bit set; of the others, a row of several steps with no bit set is stepped over,
// but no single step is, as a step with no bit set stores nothing and costs less than a branch on
// the bits that the shapes of sprites would often mispredict.
// The masks of the row shapes are formed in general registers and moved to mask registers once.
template <class Step>
void WalkRunMasks(const RowBlock& block, const RunMasks& masks, const Step& step) {
    constexpr int kPixels = Step::kPixels;
    static_assert(64 % kPixels == 0, "a step lies within one mask word");
    using Mask = typename Step::Mask;
    // The block's and masks' fields are copied first, as the stores may alias them.
    uint8_t* to = block.to;
    const uint8_t* from = block.from;
    const ptrdiff_t toPitch = block.toPitch, fromPitch = block.fromPitch;
    const int width = block.width, height = block.height;
    const uint64_t* drawn = masks.bits;
    const uint64_t* alpha = masks.alpha;
    const ptrdiff_t words = masks.words;
    const int full = width - width % kPixels;
    const Mask all = static_cast<Mask>(~Mask{0});
    const Mask tail = static_cast<Mask>((uint32_t{1} << (width - full)) - 1);
    const Mask none = 0;
    if constexpr (Step::kRunPairs) {
        // Rows of at most half a step: two rows a step, the first in the low half.
        if (2 * width <= kPixels) {
            const __mmask16 half = static_cast<__mmask16>((1u << width) - 1);
            int y = 0;
            for (; y + 2 <= height; y += 2, to += 2 * toPitch, from += 2 * fromPitch, drawn += 2 * words) {
                step.RunsPair(to, from, to + toPitch, from + fromPitch, half, RunBits<__mmask16>(drawn, 0),
                              RunBits<__mmask16>(drawn + words, 0));
            }
            if (y < height) step.Runs(to, from, static_cast<Mask>(half), RunBits<Mask>(drawn, 0), none);
            return;
        }
    }
    if constexpr (Step::kNarrowCopy) {
        // A copy of rows of at most sixteen 16-bit pixels: one 256-bit step a row.
        if (2 * width <= kPixels) {
            const __mmask16 row = static_cast<__mmask16>((1u << width) - 1);
#pragma GCC unroll 2
            for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch, drawn += words)
                _mm256_mask_storeu_epi16(to, RunBits<__mmask16>(drawn, 0), _mm256_maskz_loadu_epi16(row, from));
            return;
        }
    }
    if (width <= kPixels) {
        // One step a row.
        const Mask row = static_cast<Mask>(width == kPixels ? ~uint32_t{0} : (uint32_t{1} << width) - 1);
#pragma GCC unroll 2
        for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch, drawn += words, alpha += words)
            step.Runs(to, from, row, RunBits<Mask>(drawn, 0), Step::kWeighs ? RunBits<Mask>(alpha, 0) : none);
        return;
    }
    // Rows of several steps, in one of four loops: with or without a last part step, and with the
    // row's bits in one word or in several, so that neither is asked again each row.
    auto rows = [&](auto tailed, auto oneWord) {
        const int steps = full / kPixels;
        for (int y = 0; y < height; ++y, to += toPitch, from += fromPitch, drawn += words, alpha += words) {
            if constexpr (decltype(oneWord)::value) {
                // The row's one word in a mask register at once, each step's bits shifted out of it.
                __mmask64 bits;
                __asm__("kmovq %1, %0" : "=k"(bits) : "m"(*drawn));
                if (_ktestz_mask64_u8(bits, bits)) continue;
                __mmask64 left = bits;
                for (int i = 0; i < steps; ++i, left = _kshiftri_mask64(left, kPixels))
                    step.Runs(to + Step::kOutBytes * kPixels * i, from + Step::kInBytes * kPixels * i, all,
                              static_cast<Mask>(left), Step::kWeighs ? RunBits<Mask>(alpha, i) : none);
                if constexpr (decltype(tailed)::value)
                    step.Runs(to + Step::kOutBytes * full, from + Step::kInBytes * full, tail, static_cast<Mask>(left),
                              Step::kWeighs ? RunBits<Mask>(alpha, steps) : none);
                continue;
            }
            uint64_t any = drawn[0];
            for (ptrdiff_t w = 1; w < words; ++w) any |= drawn[w];
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
    if (full < width) {
        if (words == 1) rows(Yes{}, Yes{});
        else rows(Yes{}, No{});
    } else {
        if (words == 1) rows(No{}, Yes{});
        else rows(No{}, No{});
    }
}
