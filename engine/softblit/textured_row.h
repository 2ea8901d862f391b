// The textured rows of the triangle and rotated kernels: each destination pixel of a row maps to
// a source position along a plane in 14.18 fixed point (32-bit arithmetic that wraps) and is
// drawn where that position lies inside the source. The inside columns of a row are found first,
// so the pixel loop itself tests nothing.
#pragma once

#include <algorithm>
#include <cstdint>

#include "graphics/graphics_services.h"
#include "softblit/kernel_common.h"

namespace softblit {

// Maps destination pixel (X, Y) to u = uRef + (X - xRef) ux + (Y - yRef) uy (and v alike), in
// 32-bit arithmetic that wraps.
struct SourcePlane {
    int64_t xRef;
    int64_t yRef;
    uint32_t uRef;
    uint32_t vRef;
    uint32_t ux;
    uint32_t uy;
    uint32_t vx;
    uint32_t vy;
};

// One textured draw: the destination, source and blend image views, the source's 14.18 limits
// and the plane.
struct TexturedJob {
    BlitContext context;
    uint8_t* destination;       // the destination's origin
    int64_t destinationPitch;
    const uint8_t* source;
    int64_t sourcePitch;
    const uint8_t* blend;       // or null
    int64_t blendPitch;
    uint32_t uLimit;
    uint32_t vLimit;
    bool avx2Run;               // the plain copy may take the AVX2 run
    bool small16;               // the plain 16-bit copy of a small source takes the register lookup
    SourcePlane plane;
};

// Sources of at most this many pixels a side fit the register lookup of the 16-bit plain copy.
constexpr int kSmallSourceSide = 16;

// Whether the processor has AVX-512 with 16-bit lanes (the register lookup).
bool HasAvx512Bw();

// Off: the register lookup is not taken even where the processor has it (for tests that compare
// it with the row loops).
void UseRegisterLookup(bool use);

// n pixels of row y from column x on.
struct TexturedSpan {
    int64_t y;
    int64_t x;
    int64_t n;
};

// The plain 16-bit copy of a job marked small16, keyed or not, through the register lookup:
// every pixel of the box, or of the spans, whose source position lies inside the source.
void DrawSmallRows16(const TexturedJob& job, const DrawBounds& box, bool keyed);
void DrawSmallSpans16(const TexturedJob& job, const TexturedSpan* spans, int64_t count, bool keyed);

// The job's views and limits from the call's images and setup (the plane is the caller's).
TexturedJob MakeTexturedJob(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend,
                            const FrameSetup& setup);

// The plain copy of a direct source (mode 0, white, no blend image) for processors with AVX2:
// draws the n >= 4 pixels of a run whose source positions all lie inside, several a step, the
// last step overlapping the one before it, which draws the same pixels again. Bytes is the
// pixel's size (2 or 4).
template <int Bytes, bool Keyed>
void CopyTexturedRunAvx2(const TexturedJob& job, uint8_t* to, uint32_t u, uint32_t v, int64_t n);

// The row helpers are forced inline: the kernels' files instantiate hundreds of loops, past the
// point where the compiler stops inlining on its own.

// Draws the n pixels of row y from column x on, all inside the source.
template <class Loop>
[[gnu::always_inline]] inline void DrawInsideRun(const TexturedJob& job, int64_t y, int64_t x, int64_t n) {
    using Px = typename Loop::Pixel;
    constexpr int kTexel = Loop::Src::kBytes;
    const SourcePlane& plane = job.plane;
    uint32_t dx = static_cast<uint32_t>(x - plane.xRef);
    uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
    uint32_t u = plane.uRef + dx * plane.ux + dy * plane.uy;
    uint32_t v = plane.vRef + dx * plane.vx + dy * plane.vy;
    uint8_t* to = job.destination + job.destinationPitch * y + Px::kBytes * x;
    if constexpr (Loop::kPlainCopy) {
        if (job.avx2Run && n >= 4) {
            __builtin_prefetch(to + job.destinationPitch, 1);
            __builtin_prefetch(to + job.destinationPitch + Px::kBytes * n - 1, 1);
            CopyTexturedRunAvx2<Px::kBytes, Loop::kKeyed>(job, to, u, v, n);
            return;
        }
    }
    // Locals, so that the stores through the destination do not make the loop reload them.
    const BlitContext c = job.context;
    const uint8_t* const source = job.source;
    const int64_t sourcePitch = job.sourcePitch;
    const uint8_t* const blend = job.blend;
    const int64_t blendPitch = job.blendPitch;
    const uint32_t du = plane.ux;
    const uint32_t dv = plane.vx;
    for (int64_t i = 0; i < n; ++i, to += Px::kBytes, u += du, v += dv) {
        size_t column = u >> kFixedShift;
        size_t row = v >> kFixedShift;
        const uint8_t* texel = source + sourcePitch * static_cast<int64_t>(row) + kTexel * column;
        const uint8_t* blendByte = nullptr;
        if constexpr (Loop::kBlend) blendByte = blend + blendPitch * static_cast<int64_t>(row) + column;
        Loop::Draw(c, to, texel, blendByte);
    }
}

// Columns first to end - 1 of a row.
struct ColumnRange {
    int64_t first;
    int64_t end;
};

// The columns i of [0, n) at which start + i * step (mod 2^32, step taken as signed) lies below
// limit (at most 2^31). False when the row walks so far that its position could wrap round and
// come back inside after leaving: then every pixel has to be tested.
bool FindInsideColumns(uint32_t start, uint32_t step, uint32_t limit, int64_t n, ColumnRange* range);

// Draws columns x0 to x0 + n - 1 of row y, each pixel whose source position is inside: the
// inside columns found on their own, or every pixel tested.
template <class Loop>
void DrawTexturedRow(const TexturedJob& job, int64_t y, int64_t x0, int64_t n) {
    const SourcePlane& plane = job.plane;
    uint32_t dx = static_cast<uint32_t>(x0 - plane.xRef);
    uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
    uint32_t u = plane.uRef + dx * plane.ux + dy * plane.uy;
    uint32_t v = plane.vRef + dx * plane.vx + dy * plane.vy;
    ColumnRange inU, inV;
    if (FindInsideColumns(u, plane.ux, job.uLimit, n, &inU) &&
        FindInsideColumns(v, plane.vx, job.vLimit, n, &inV)) {
        int64_t first = std::max(inU.first, inV.first);
        int64_t end = std::min(inU.end, inV.end);
        if (first < end) DrawInsideRun<Loop>(job, y, x0 + first, end - first);
        return;
    }
    for (int64_t i = 0; i < n; ++i, u += plane.ux, v += plane.vx)
        if (u < job.uLimit && v < job.vLimit) DrawInsideRun<Loop>(job, y, x0 + i, 1);
}

// a = quotient b + remainder with 0 <= remainder < b, for b > 0: the quotient rounded down.
// Small operands take the cheaper 32-bit division; the remainder comes from the same division.
struct FloorQuotient {
    int64_t quotient;
    int64_t remainder;
};

inline FloorQuotient DivideRoundingDown(int64_t a, int64_t b) {
    int64_t q, r;
    if (a == static_cast<int32_t>(a) && b == static_cast<int32_t>(b)) {
        q = static_cast<int32_t>(a) / static_cast<int32_t>(b);
        r = static_cast<int32_t>(a) % static_cast<int32_t>(b);
    } else {
        q = a / b;
        r = a % b;
    }
    const int64_t below = r >> 63;  // all ones when a negative quotient was rounded up
    return {q + below, r + (b & below)};
}

// The columns of one coordinate's inside stretch on row r of a region: from first = ceil((origin
// + r slope) scale / divisor) to past = ceil((origin + r slope) scale + length) / divisor), the
// divisor above 0. The first is kept as a quotient and remainder, so that the next row costs a
// few additions, and the past follows from it.
struct AxisBounds {
    int64_t origin;
    int64_t slope;
    int64_t scale;
    int64_t divisor;
    int64_t quotientStep;    // slope scale = quotientStep divisor + remainderStep
    int64_t remainderStep;
    int64_t lengthQuotient;  // length = lengthQuotient divisor + lengthRemainder
    int64_t lengthRemainder;
    int64_t first;           // the bounds at the current row
    int64_t firstRemainder;  // of (origin + r slope) scale + divisor - 1
    int64_t past;

    void Seek(int64_t r) {
        const FloorQuotient top =
            DivideRoundingDown((origin + r * slope) * scale + divisor - 1, divisor);
        first = top.quotient;
        firstRemainder = top.remainder;
        FindPast();
    }

    [[gnu::always_inline]] void Step() {
        firstRemainder += remainderStep;
        int64_t carry = firstRemainder >= divisor;
        first += quotientStep + carry;
        firstRemainder -= divisor & -carry;
        FindPast();
    }

    [[gnu::always_inline]] void FindPast() {
        past = first + lengthQuotient + (firstRemainder >= divisor - lengthRemainder);
    }
};

// True when the source positions of the whole region lie in a window where they cannot wrap
// round: from -2^32 + limit to 2^32, where a position is inside exactly when it lies in
// [0, limit). On any row of such a region the inside columns are then one unbroken stretch.
bool StaysInWindow(const TexturedJob& job, const DrawBounds& region);

// The inside columns of the rows of a region (relative to its left), stepped row by row from its
// top; stepped is false when the region does not stay in the window.
struct InsideColumns {
    bool stepped;
    AxisBounds u;
    AxisBounds v;
};

InsideColumns PrepareInsideColumns(const TexturedJob& job, const DrawBounds& region);

// Draws the inside pixels of columns x0 to x0 + n - 1 of row y of a region that stays in the
// window: the outside pixels at either end of the span are trimmed off one by one (the
// triangle's edges leave few of them).
template <class Loop>
[[gnu::always_inline]] inline void DrawTrimmedRow(const TexturedJob& job, int64_t y, int64_t x0,
                                                  int64_t n) {
    const SourcePlane& plane = job.plane;
    uint32_t dx = static_cast<uint32_t>(x0 - plane.xRef);
    uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
    const uint32_t u = plane.uRef + dx * plane.ux + dy * plane.uy;
    const uint32_t v = plane.vRef + dx * plane.vx + dy * plane.vy;
    auto inside = [&](int64_t i) {
        uint32_t k = static_cast<uint32_t>(i);
        return u + k * plane.ux < job.uLimit && v + k * plane.vx < job.vLimit;
    };
    int64_t first = 0;
    while (first < n && !inside(first)) ++first;
    int64_t end = n;
    while (end > first && !inside(end - 1)) --end;
    if (first < end) DrawInsideRun<Loop>(job, y, x0 + first, end - first);
}

} // namespace softblit
