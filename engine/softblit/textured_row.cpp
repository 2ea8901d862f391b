// The set-up of the textured rows: the job's views and the inside columns of a row.
#include "softblit/textured_row.h"

#include "graphics/graphics_services.h"
#include "softblit/blit_rows.h"

namespace softblit {

namespace {

bool& RegisterLookupWanted() {
    thread_local bool wanted = true;
    return wanted;
}

} // namespace

void UseRegisterLookup(bool use) {
    RegisterLookupWanted() = use;
}

TexturedJob MakeTexturedJob(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend,
                            const FrameSetup& setup) {
    TexturedJob job = {};
    job.context = setup.context;
    job.destination = destination->pixels;
    job.destinationPitch = destination->base->pitch;
    job.source = source->pixels;
    job.sourcePitch = source->base->pitch;
    job.blend = blend != nullptr ? blend->pixels : nullptr;
    job.blendPitch = blend != nullptr ? blend->base->pitch : 0;
    job.uLimit = static_cast<uint32_t>(source->width) << kFixedShift;
    job.vLimit = static_cast<uint32_t>(source->height) << kFixedShift;
    // The AVX2 run computes 32-bit byte offsets.
    int64_t pitch = job.sourcePitch;
    job.avx2Run = HasAvx2() && pitch >= 0 &&
                 pitch * (source->height - 1) + 4 * int64_t{source->width} < (int64_t{1} << 31);
    // The 16-bit plain copy of a small source looks its texels up in registers.
    const KernelChoice& choice = setup.choice;
    job.small16 = !choice.wide && choice.kind == SourceKind::Direct && choice.mode == 0 && !choice.blend &&
                  choice.white && source->width <= kSmallSourceSide && source->height <= kSmallSourceSide &&
                  HasAvx512Bw() && RegisterLookupWanted();
    return job;
}

namespace {

constexpr int64_t kWrap = int64_t{1} << 32;

// The first i of [0, n] at which s + i d (d > 0) reaches bound; n when it does not before n.
int64_t FirstReaching(int64_t s, int64_t d, int64_t bound, int64_t n) {
    if (s >= bound) return 0;
    // A floating-point estimate, made exact by the integer steps after it.
    double estimate = static_cast<double>(bound - s) / static_cast<double>(d);
    int64_t i = estimate < static_cast<double>(n) ? static_cast<int64_t>(estimate) : n;
    while (i > 0 && s + (i - 1) * d >= bound) --i;
    while (i < n && s + i * d < bound) ++i;
    return i;
}

} // namespace

bool FindInsideColumns(uint32_t start, uint32_t step, uint32_t limit, int64_t n, ColumnRange* range) {
    *range = {0, 0};
    if (n <= 0) return true;
    // The position as a signed walk s + i d; between -2^32 + limit and 2^32 it is inside exactly
    // where it lies in [0, limit), and a monotone walk stays there when both of its ends do.
    const int64_t s = static_cast<int32_t>(start);
    const int64_t d = static_cast<int32_t>(step);
    const int64_t last = s + (n - 1) * d;
    if (last < int64_t{limit} - kWrap || last >= kWrap) return false;
    if (d > 0) {
        range->first = FirstReaching(s, d, 0, n);
        range->end = FirstReaching(s, d, limit, n);
    } else if (d < 0) {
        // The walk -s - i d rises: inside from where it passes -limit until it passes 0.
        range->first = FirstReaching(-s, -d, 1 - int64_t{limit}, n);
        range->end = FirstReaching(-s, -d, 1, n);
    } else if (s >= 0 && s < int64_t{limit}) {
        range->end = n;
    }
    return true;
}

namespace {

// One coordinate s = s0 + c d + r e over the region's columns c and rows r, inside for
// 0 <= s < limit.
inline AxisBounds MakeAxisBounds(int64_t s0, int64_t d, int64_t e, int64_t limit, int64_t width) {
    AxisBounds axis;
    // d < 0: s < limit from c >= (s0 + r e - limit + 1) / -d on, s < 0 from (s0 + r e + 1) / -d.
    // d >= 0: s >= 0 from c >= (-s0 - r e) / d on, s >= limit from (limit - s0 - r e) / d.
    // Masks rather than branches: the sign of d follows the angle and cannot be foreseen.
    const int64_t falling = -static_cast<int64_t>(d < 0);
    const int64_t rising = ~falling;
    axis.divisor = ((d ^ falling) - falling) + (d == 0);
    axis.origin = ((s0 ^ rising) - rising) + (falling & (1 - limit));
    axis.slope = (e ^ rising) - rising;
    // A constant row (d = 0) is all inside or all outside: its bounds are scaled past the width.
    axis.scale = 1 + (width & -static_cast<int64_t>(d == 0));
    const FloorQuotient step = DivideRoundingDown(axis.slope * axis.scale, axis.divisor);
    axis.quotientStep = step.quotient;
    axis.remainderStep = step.remainder;
    const FloorQuotient length = DivideRoundingDown(limit * axis.scale, axis.divisor);
    axis.lengthQuotient = length.quotient;
    axis.lengthRemainder = length.remainder;
    return axis;
}

} // namespace

namespace {

// True when s0 + c d + r e stays in the window [limit - 2^32, 2^32) over the columns c < width
// and rows r < height: its least and greatest values lie at corners of the region.
inline bool AxisInWindow(int64_t s0, int64_t d, int64_t e, int64_t limit, int64_t width,
                         int64_t height) {
    int64_t across = (width - 1) * d;
    int64_t down = (height - 1) * e;
    int64_t least = s0 + std::min<int64_t>(across, 0) + std::min<int64_t>(down, 0);
    int64_t greatest = s0 + std::max<int64_t>(across, 0) + std::max<int64_t>(down, 0);
    return least >= limit - kWrap && greatest < kWrap;
}

// The positions at the region's top-left, taken as signed: across the region they are then
// exact in 64 bits and agree with the wrapping ones modulo 2^32.
struct RegionStart {
    int64_t u;
    int64_t v;
};

inline RegionStart StartOf(const SourcePlane& plane, const DrawBounds& region) {
    uint32_t dx = static_cast<uint32_t>(region.left - plane.xRef);
    uint32_t dy = static_cast<uint32_t>(region.top - plane.yRef);
    return {static_cast<int32_t>(plane.uRef + dx * plane.ux + dy * plane.uy),
            static_cast<int32_t>(plane.vRef + dx * plane.vx + dy * plane.vy)};
}

inline bool PlaneInWindow(const TexturedJob& job, RegionStart start, int64_t width,
                          int64_t height) {
    const SourcePlane& plane = job.plane;
    return AxisInWindow(start.u, static_cast<int32_t>(plane.ux), static_cast<int32_t>(plane.uy),
                        job.uLimit, width, height) &&
           AxisInWindow(start.v, static_cast<int32_t>(plane.vx), static_cast<int32_t>(plane.vy),
                        job.vLimit, width, height);
}

} // namespace

bool StaysInWindow(const TexturedJob& job, const DrawBounds& region) {
    int64_t width = region.right - region.left;
    int64_t height = region.bottom - region.top;
    if (width <= 0 || height <= 0) return false;
    return PlaneInWindow(job, StartOf(job.plane, region), width, height);
}

InsideColumns PrepareInsideColumns(const TexturedJob& job, const DrawBounds& region) {
    InsideColumns inside;
    inside.stepped = false;
    int64_t width = region.right - region.left;
    int64_t height = region.bottom - region.top;
    constexpr int64_t kMaxSide = int64_t{1} << 20;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return inside;
    const SourcePlane& plane = job.plane;
    const RegionStart start = StartOf(plane, region);
    if (!PlaneInWindow(job, start, width, height)) return inside;
    inside.u = MakeAxisBounds(start.u, static_cast<int32_t>(plane.ux),
                              static_cast<int32_t>(plane.uy), job.uLimit, width);
    inside.v = MakeAxisBounds(start.v, static_cast<int32_t>(plane.vx),
                              static_cast<int32_t>(plane.vy), job.vLimit, width);
    inside.u.Seek(0);
    inside.v.Seek(0);
    inside.stepped = true;
    return inside;
}

} // namespace softblit
