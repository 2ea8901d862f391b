// The loops of the blit kernels: fetching source pixels, classifying them (key, alpha, run kind)
// and walking the rectangle unscaled, by the run table, or stretched.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "softblit/blit_pixel.h"
#include "softblit/blit_rows.h"

namespace softblit {

// One clipped draw, as the walkers see it.
struct BlitJob {
    BlitContext context;
    uint8_t* destination;      // first destination pixel drawn
    int destinationPitch;
    const uint8_t* source;     // unscaled: first source pixel drawn; stretched: the view's origin
    int sourcePitch;
    const uint8_t* blend;      // as the source, or null
    int blendPitch;
    int width;                 // pixels drawn per row
    int height;                // rows drawn
    // Run-table walk: the source's table and the end of its buffer.
    const uint8_t* runCode;
    const uint8_t* runCodeEnd;
    // Stretched walk (columns and rows of the source, 16.16 counters).
    int sourceWidth;
    int sourceHeight;
    int startColumn;
    int startRow;
    int columnStep;            // +1 or -1
    int rowStep;
    int64_t columnQuantum;     // qx
    int64_t rowQuantum;        // qy
    int64_t columnCounterStart;
    int64_t rowCounterStart;
    int64_t advanceLimit;      // advance while the counter is below this: 1 general, 0 strict
};

// A source pixel: the raw value the key is compared with, the colour and the alpha.
struct SourcePixel {
    uint32_t raw;
    uint32_t colour;
    uint32_t alpha;
};

template <class Px, SourceKind Kind>
struct Source {
    static constexpr int kBytes = Kind == SourceKind::Palette ? 1
                                  : Kind == SourceKind::Alpha ? 4
                                                              : Px::kBytes;
    static inline SourcePixel Fetch(const BlitContext& c, const uint8_t* at) {
        if constexpr (Kind == SourceKind::Palette) {
            uint32_t index = *at;
            uint32_t entry = Px::kBytes == 4 ? Load32(c.palette + 4 * index)
                                             : Load16(c.palette + 2 * index);
            return {index, entry, 255};
        } else if constexpr (Kind == SourceKind::Direct) {
            uint32_t value = Px::Load(at);
            return {value, value, 255};
        } else {
            uint32_t value = Load32(at);
            if constexpr (Px::kBytes == 4) return {value, value, value >> 24};
            else return {value, value & 0xFFFF, (value >> 16) & 0xFF};
        }
    }
    static inline bool IsKey(const BlitContext& c, uint32_t raw) {
        // An index is compared with the whole key: a palette without the transparent colour
        // has a key beyond the indices, which no pixel matches.
        if constexpr (Kind == SourceKind::Palette) return raw == c.key;
        else if constexpr (Px::kBytes == 2) return raw == (c.key & 0xFFFF);
        else return raw == c.key;
    }
};

// One pixel of a general or stretched loop: the key or the alpha decides whether and how the
// mode's formula applies.
template <class Px, SourceKind Kind, class Op, bool Keyed, bool Blend, Road R, int Mode,
          bool White>
inline void DrawPixel(const BlitContext& c, uint8_t* at, const uint8_t* from, const uint8_t* blend) {
    using Src = Source<Px, Kind>;
    SourcePixel s = Src::Fetch(c, from);
    uint32_t b = 0;
    if constexpr (Blend) b = c.blendMap[*blend];
    if constexpr (Kind != SourceKind::Alpha) {
        if constexpr (Keyed) {
            if (Src::IsKey(c, s.raw)) return;
        }
        Op::template Apply<false>(c, at, s.colour, 0, b);
    } else if constexpr (Keyed) {
        // Alpha 0 is skipped, except that the general multiply loop weighs by it (blackening).
        constexpr bool kZeroIsFactor = Mode == 4 && R == Road::General;
        if (s.alpha == 255) {
            Op::template Apply<false>(c, at, s.colour, 0, b);
        } else if (s.alpha != 0 || kZeroIsFactor) {
            Op::template Apply<true>(c, at, s.colour, s.alpha, b);
        }
    } else {
        // Unkeyed, the alpha always weighs, except in the general plain copy, which copies it.
        constexpr bool kCopyWhole = Mode == 0 && !Blend && White && R == Road::General;
        if constexpr (kCopyWhole) Op::template Apply<false>(c, at, s.colour, 0, b);
        else Op::template Apply<true>(c, at, s.colour, s.alpha, b);
    }
}

// Unscaled general loops: every pixel of the clipped rectangle once, row by row.
template <class Px, SourceKind Kind, class Op, bool Keyed, bool Blend, int Mode, bool White>
void WalkUnscaled(const BlitJob& job) {
    using Src = Source<Px, Kind>;
    using Rows = RowKernel<Px, Kind, Op, Keyed>;
    const BlitContext c = job.context;
    if constexpr (!Blend && Rows::kHasBlock) {
        if (Rows::Block(c, RowBlock{job.destination, job.destinationPitch, job.source, job.sourcePitch, job.width,
                                    job.height}))
            return;
    }
    for (int y = 0; y < job.height; ++y) {
        uint8_t* to = job.destination + static_cast<ptrdiff_t>(job.destinationPitch) * y;
        const uint8_t* from = job.source + static_cast<ptrdiff_t>(job.sourcePitch) * y;
        const uint8_t* blend =
            Blend ? job.blend + static_cast<ptrdiff_t>(job.blendPitch) * y : nullptr;
        int x = 0;
        if constexpr (!Blend && Rows::kAvailable) x = Rows::Run(c, to, from, job.width);
        for (; x < job.width; ++x) {
            DrawPixel<Px, Kind, Op, Keyed, Blend, Road::General, Mode, White>(
                c, to + Px::kBytes * x, from + Src::kBytes * x, Blend ? blend + x : nullptr);
        }
    }
}

// The 16-bit pair loops of modes 2 and 3 at parameter 255: two pixels per word; a pixel drawn
// alone (odd end, or beside a key pixel) gets the single-pixel form.
template <SourceKind Kind, int Mode, bool Keyed>
void WalkPairs16(const BlitJob& job) {
    using Src = Source<Pixel16, Kind>;
    const BlitContext c = job.context;
    auto single = [](uint8_t* at, uint32_t s) {
        uint32_t d = Load16(at);
        if constexpr (Mode == 2) {
            uint32_t x = (s & 0xF7DFu) + (d & 0xF7DFu);
            uint32_t k = x & 0x08210820u;
            Store16(at, x | (k - (k >> 5)));
        } else {
            uint32_t x = (d | 0x08210820u) - (s & 0xF7DFu);
            uint32_t k = x & 0x08210820u;
            Store16(at, x & (k - (k >> 5)));
        }
    };
    for (int y = 0; y < job.height; ++y) {
        uint8_t* to = job.destination + static_cast<ptrdiff_t>(job.destinationPitch) * y;
        const uint8_t* from = job.source + static_cast<ptrdiff_t>(job.sourcePitch) * y;
        int x = 0;
        for (; x + 1 < job.width; x += 2) {
            SourcePixel s0 = Src::Fetch(c, from + Src::kBytes * x);
            SourcePixel s1 = Src::Fetch(c, from + Src::kBytes * (x + 1));
            uint8_t* at = to + 2 * x;
            if constexpr (Keyed) {
                bool key0 = Src::IsKey(c, s0.raw);
                bool key1 = Src::IsKey(c, s1.raw);
                if (key0 || key1) {
                    if (!key0) single(at, s0.colour);
                    if (!key1) single(at + 2, s1.colour);
                    continue;
                }
            }
            uint32_t d2 = Load32(at);
            uint32_t s2 = s0.colour | s1.colour << 16;
            Store32(at, Mode == 2 ? PairAdd16(d2, s2) : PairSubtract16(d2, s2));
        }
        if (x < job.width) {
            SourcePixel s = Src::Fetch(c, from + Src::kBytes * x);
            if (!Keyed || !Src::IsKey(c, s.raw)) single(to + 2 * x, s.colour);
        }
    }
}

// Unscaled run-table walk of a whole image: skip runs are stepped over, opaque runs drawn without
// the alpha factor, alpha runs with it. Runs are bounded by the pixels left in their row, the
// codes by the end of the table's buffer.
template <class Px, SourceKind Kind, class Op, bool Blend>
void WalkRuns(const BlitJob& job) {
    using Src = Source<Px, Kind>;
    const BlitContext c = job.context;
    const uint8_t* code = job.runCode;
    for (int y = 0; y < job.height; ++y) {
        uint8_t* to = job.destination + static_cast<ptrdiff_t>(job.destinationPitch) * y;
        const uint8_t* from = job.source + static_cast<ptrdiff_t>(job.sourcePitch) * y;
        const uint8_t* blend = Blend ? job.blend + static_cast<ptrdiff_t>(job.blendPitch) * y : nullptr;
        int x = 0;
        while (code < job.runCodeEnd) {
            const uint32_t byte = *code++;
            const uint32_t kind = byte >> 6;
            if (kind == 3) break;
            int n = static_cast<int>(byte & 0x3F) + 1;
            if (n > job.width - x) n = job.width - x;
            if (kind != 0) {
                int i = x;
                // An opaque run of a direct source is the unkeyed loop's work.
                if constexpr (!Blend && Kind == SourceKind::Direct && RowKernel<Px, Kind, Op, false>::kAvailable) {
                    if (kind == 1)
                        i += RowKernel<Px, Kind, Op, false>::Run(c, to + Px::kBytes * x, from + Src::kBytes * x, n);
                }
                for (; i < x + n; ++i) {
                    const SourcePixel s = Src::Fetch(c, from + Src::kBytes * i);
                    const uint32_t b = Blend ? c.blendMap[blend[i]] : 0;
                    if (Kind == SourceKind::Alpha && kind == 2)
                        Op::template Apply<true>(c, to + Px::kBytes * i, s.colour, s.alpha, b);
                    else
                        Op::template Apply<false>(c, to + Px::kBytes * i, s.colour, 0, b);
                }
            }
            x += n;
        }
    }
}

// One destination pixel of a stretched walk along one direction: the 16.16 counter runs down by
// one pixel, and when it runs out the source index advances until the counter is back above the
// limit, clamped into the image.
inline void StepStretched(int* index, int64_t* counter, int step, int64_t quantum, int64_t limit,
                          int size) {
    *counter -= 65536;
    if (*counter > 0) return;
    do {
        *index += step;
        *counter += quantum;
    } while (*counter < limit);
    if (*index < 0) *index = 0;
    if (*index >= size) *index = size - 1;
}

// The source column of each destination column of a stretched walk, and a row of source pixels
// gathered through them; kept per thread and grown as needed.
struct StretchRows {
    std::vector<int> columns;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> blend;
};

inline StretchRows& GetStretchRows(int width, int bytes, bool blend) {
    thread_local StretchRows rows;
    if (rows.columns.size() < static_cast<size_t>(width)) rows.columns.resize(width);
    if (rows.pixels.size() < static_cast<size_t>(width) * bytes) rows.pixels.resize(static_cast<size_t>(width) * bytes);
    if (blend && rows.blend.size() < static_cast<size_t>(width)) rows.blend.resize(width);
    return rows;
}

// Copies the source pixels of the listed columns side by side.
template <int Bytes>
inline void GatherRow(uint8_t* to, const uint8_t* from, const int* columns, int n) {
    for (int x = 0; x < n; ++x) std::memcpy(to + Bytes * x, from + static_cast<ptrdiff_t>(Bytes) * columns[x], Bytes);
}

// Stretched walk: nearest source pixel by two 16.16 counters, mirrored by negative steps.
// Source positions are kept as indices and clamped, so no pointer leaves the image. The columns
// are stepped once per call into a table; each source row drawn is gathered through it into a
// row of destination width (once for the destination rows that repeat it), which the unscaled
// row forms then draw.
template <class Px, SourceKind Kind, class Op, bool Keyed, bool Blend, int Mode, bool White>
void WalkStretched(const BlitJob& job) {
    using Src = Source<Px, Kind>;
    using Rows = RowKernel<Px, Kind, Op, Keyed>;
    const BlitContext c = job.context;
    const int64_t limit = job.advanceLimit;
    const int width = job.width;
    StretchRows& buffers = GetStretchRows(width, Src::kBytes, Blend);
    int* const columns = buffers.columns.data();
    uint8_t* const gathered = buffers.pixels.data();
    uint8_t* const gatheredBlend = Blend ? buffers.blend.data() : nullptr;
    {
        int column = job.startColumn;
        int64_t counter = job.columnCounterStart;
        for (int x = 0;;) {
            columns[x] = column;
            if (++x == width) break;
            StepStretched(&column, &counter, job.columnStep, job.columnQuantum, limit, job.sourceWidth);
        }
    }
    int row = job.startRow;
    int gatheredRow = -1;
    int64_t rowCounter = job.rowCounterStart;
    for (int y = 0; y < job.height; ++y) {
        uint8_t* to = job.destination + static_cast<ptrdiff_t>(job.destinationPitch) * y;
        if (row != gatheredRow) {
            const uint8_t* sourceRow = job.source + static_cast<ptrdiff_t>(job.sourcePitch) * row;
            if (Src::kBytes > 1 && HasAvx512Rows()) GatherRowAvx512(Src::kBytes, gathered, sourceRow, columns, width);
            else GatherRow<Src::kBytes>(gathered, sourceRow, columns, width);
            if constexpr (Blend)
                GatherRow<1>(gatheredBlend, job.blend + static_cast<ptrdiff_t>(job.blendPitch) * row, columns, width);
            gatheredRow = row;
        }
        int x = 0;
        if constexpr (!Blend && Rows::kHasBlock) {
            if (Rows::Block(c, RowBlock{to, 0, gathered, 0, width, 1})) x = width;
        }
        if constexpr (!Blend && Rows::kAvailable)
            if (x == 0) x = Rows::Run(c, to, gathered, width);
        for (; x < width; ++x) {
            DrawPixel<Px, Kind, Op, Keyed, Blend, Road::Stretched, Mode, White>(
                c, to + Px::kBytes * x, gathered + Src::kBytes * x, Blend ? gatheredBlend + x : nullptr);
        }
        if (y + 1 == job.height) break;
        StepStretched(&row, &rowCounter, job.rowStep, job.rowQuantum, limit, job.sourceHeight);
    }
}

} // namespace softblit
