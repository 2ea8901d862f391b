// Rotated and scaled drawing: the corners and bounding box of the turned image, the inverse
// mapping of the clipped box into the source (14.18, single-precision set-up) as a plane, and
// the textured rows; the mirrored case goes to the quadrilateral kernel.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "softblit/blit_frame.h"
#include "softblit/fixed_sincos.h"
#include "softblit/kernel_common.h"
#include "softblit/textured_row.h"
#include "softblit/softblit.h"

namespace softblit {
namespace {

// A float truncated toward zero, refused unless it lies strictly between -2^31 and 2^31.
bool TruncateChecked(float value, int32_t* out) {
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

// The greater of two values of less than 2^62, without a branch: which of two corners reaches
// further follows the angle and cannot be foreseen.
int64_t Greater(int64_t a, int64_t b) {
    int64_t difference = a - b;
    return a - (difference & (difference >> 63));
}

// difference / rows truncated toward zero, for rows in 1 .. 2^31 - 1; the 32-bit division when
// the difference fits it (the common case: it is the cheaper one).
int64_t RowStep(int64_t difference, int64_t rows) {
    if (difference == static_cast<int32_t>(difference))
        return static_cast<int32_t>(difference) / static_cast<int32_t>(rows);
    return difference / rows;
}

// The 14.18 sine and cosine of the last angle turned by: the tiles of a frame mostly share one
// angle. Keyed by the angle's bits, so the values are exactly those a fresh computation gives.
struct TurnCache {
    bool valid = false;
    uint32_t angleBits = 0;
    int64_t sine = 0;
    int64_t cosine = 0;
};

void FixedSinCos(float angle, int64_t* sine, int64_t* cosine) {
    thread_local TurnCache cache;
    uint32_t bits;
    std::memcpy(&bits, &angle, sizeof bits);
    if (!cache.valid || cache.angleBits != bits) {
        ComputeFixedSinCos(angle, &cache.sine, &cache.cosine);
        cache.angleBits = bits;
        cache.valid = true;
    }
    *sine = cache.sine;
    *cosine = cache.cosine;
}

// Every row of the clipped box, each drawn over its inside columns only.
template <class Loop>
void WalkRotated(const TexturedJob& job, const DrawBounds& box) {
    const InsideColumns inside = PrepareInsideColumns(job, box);
    const int64_t width = box.right - box.left;
    if (!inside.stepped) {
        for (int64_t y = box.top; y < box.bottom; ++y) DrawTexturedRow<Loop>(job, y, box.left, width);
        return;
    }
    AxisBounds u = inside.u;
    AxisBounds v = inside.v;
    for (int64_t y = box.top; y < box.bottom; ++y, u.Step(), v.Step()) {
        int64_t first = std::max(int64_t{0}, std::max(u.first, v.first));
        int64_t end = std::min(width, std::min(u.past, v.past));
        if (first < end) DrawInsideRun<Loop>(job, y, box.left + first, end - first);
    }
}

} // namespace
} // namespace softblit

using namespace softblit;

void BlitMemImgRotated(MEMIMG* destination, const MEMIMG* source, int x, int y, float angle,
                       float scale, int trans, int turn, const MEMIMG* blend) {
    if (!std::isfinite(angle) || !std::isfinite(scale) || scale == 0.0f) return;
    // The turn by -angle takes the same sine negated and the same cosine: the library's sine is
    // odd and its cosine even to the last bit (checked for every float), so one call serves both.
    // They come first, so that the checks of the images run while they are computed.
    int64_t sinPlus, cosPlus;
    FixedSinCos(angle, &sinPlus, &cosPlus);
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    int64_t sinMinus = -sinPlus;
    int64_t cosMinus = cosPlus;

    const uint32_t width = static_cast<uint32_t>(source->width);
    const uint32_t height = static_cast<uint32_t>(source->height);
    float hw = static_cast<float>(width) * scale * 0.5f;
    float hh = static_cast<float>(height) * scale * 0.5f;
    float a = hw * static_cast<float>(cosPlus);
    float b = hw * static_cast<float>(sinPlus);
    float c = hh * static_cast<float>(cosPlus);
    float d = hh * static_cast<float>(sinPlus);
    // Offsets of corners 0 (the source's top-left) and 1 (bottom-left) from the centre. Corners
    // 2 (bottom-right) and 3 (top-right) lie opposite them: their offsets a - d, c + b, a + d and
    // b - c are the exact negations of these (rounding and truncation are symmetric about zero).
    int32_t x0, y0, x1, y1;
    if (!TruncateChecked(d - a, &x0) || !TruncateChecked(-c - b, &y0) ||
        !TruncateChecked(-a - d, &x1) || !TruncateChecked(c - b, &y1))
        return;
    const int64_t centreX = int64_t{x} * kFixedOne;
    const int64_t centreY = int64_t{y} * kFixedOne;

    if (turn != 0) {
        // Corners 3, 0, 2, 1 take the source's top-left, top-right, bottom-left and bottom-right:
        // the image comes out mirrored left to right.
        const int64_t order[4][2] = {{-x1, -y1}, {x0, y0}, {-x0, -y0}, {x1, y1}};
        int32_t points[8];
        for (int i = 0; i < 4; ++i) {
            int64_t px = (centreX + order[i][0]) / kFixedOne;
            int64_t py = (centreY + order[i][1]) / kFixedOne;
            if (px != static_cast<int32_t>(px) || py != static_cast<int32_t>(py)) return;
            points[2 * i] = static_cast<int32_t>(px);
            points[2 * i + 1] = static_cast<int32_t>(py);
        }
        FillMemImgQuad(destination, source, points, trans, blend);
        return;
    }

    // The views first: they do not wait on the geometry.
    TexturedJob job = MakeTexturedJob(destination, source, blend, setup);
    int32_t columnU, columnV;
    if (!TruncateChecked(static_cast<float>(cosPlus) / scale, &columnU) ||
        !TruncateChecked(static_cast<float>(sinMinus) / scale, &columnV))
        return;

    // The corners reach this far either way from the centre.
    const int64_t reachX = Greater(std::abs(int64_t{x0}), std::abs(int64_t{x1}));
    const int64_t reachY = Greater(std::abs(int64_t{y0}), std::abs(int64_t{y1}));
    if (reachY == 0) return;
    DrawBounds box = {(centreX - reachX) / kFixedOne - 2, (centreY - reachY) / kFixedOne - 2,
                      (centreX + reachX) / kFixedOne + 4, (centreY + reachY) / kFixedOne + 4};
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &box)) return;

    // Source positions on the box's left edge at its top and bottom rows.
    int64_t ex = box.left - x;
    int64_t et = box.top - y;
    int64_t eb = box.bottom - y;
    int32_t uTop, vTop, uBottom, vBottom;
    if (!TruncateChecked(static_cast<float>(ex * cosMinus - et * sinMinus) / scale, &uTop) ||
        !TruncateChecked(static_cast<float>(et * cosMinus + ex * sinMinus) / scale, &vTop) ||
        !TruncateChecked(static_cast<float>(ex * cosMinus - eb * sinMinus) / scale, &uBottom) ||
        !TruncateChecked(static_cast<float>(eb * cosMinus + ex * sinMinus) / scale, &vBottom))
        return;
    uint32_t centreU = (width >> 1) << kFixedShift;
    uint32_t centreV = (height >> 1) << kFixedShift;
    uint32_t u0 = static_cast<uint32_t>(uTop) + centreU;
    uint32_t v0 = static_cast<uint32_t>(vTop) + centreV;
    int64_t rows = box.bottom - box.top;

    // The box's top-left pixel maps to (u0, v0); the rows step by the mean change down its left
    // edge.
    job.plane.xRef = box.left;
    job.plane.yRef = box.top;
    job.plane.uRef = u0;
    job.plane.vRef = v0;
    job.plane.ux = static_cast<uint32_t>(columnU);
    job.plane.vx = static_cast<uint32_t>(columnV);
    // The row steps from the edge's ends in 64 bits: at tiny scales the ends lie more than 2^31
    // apart. With two rows or more a step fits 32 bits; a single row never takes it.
    job.plane.uy = static_cast<uint32_t>(RowStep(int64_t{uBottom} - uTop, rows));
    job.plane.vy = static_cast<uint32_t>(RowStep(int64_t{vBottom} - vTop, rows));
    if (job.small16) DrawSmallRows16(job, box, setup.choice.keyed);
    else WithTexelLoop(setup.choice, [&](auto loop) { WalkRotated<decltype(loop)>(job, box); });
}
