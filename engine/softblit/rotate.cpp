// Rotated and scaled drawing: the corners and bounding box of the turned image, the inverse
// mapping of the clipped box into the source (14.18, single-precision set-up) as a plane, and
// the textured rows; the mirrored case takes the same plane with its u reflected. What follows
// from the angle, scale and source size is kept between draws (rotate_setup.h).
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/blit_frame.h"
#include "softblit/kernel_common.h"
#include "softblit/rotate_setup.h"
#include "softblit/textured_row.h"
#include "softblit/softblit.h"

namespace softblit {
namespace {

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
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, 0, [&](MEMIMG* to, const MEMIMG* from, uint32_t) {
            BlitMemImgRotated(to, from, x, y, angle, scale, trans, turn, blend);
        });
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    RotationSetup& rotation = FindRotationSetup(angle, scale, source->width, source->height);
    const RotationShape& shape = rotation.shape;
    const int64_t centreX = int64_t{x} * kFixedOne;
    const int64_t centreY = int64_t{y} * kFixedOne;

    if (!shape.stepsFit || shape.reachY == 0) return;

    DrawBounds box = {(centreX - shape.reachX) / kFixedOne - 2, (centreY - shape.reachY) / kFixedOne - 2,
                      (centreX + shape.reachX) / kFixedOne + 4, (centreY + shape.reachY) / kFixedOne + 4};
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &box)) return;

    // Source positions on the box's left edge at its top and bottom rows; the box's top-left pixel
    // maps to (u0, v0), and the rows step by the mean change down its left edge.
    const RotationStart& start = FindRotationStart(rotation, box.left - x, box.top - y, box.bottom - y);
    if (!start.fits) return;
    TexturedJob job = MakeTexturedJob(destination, source, blend, setup);
    job.plane.xRef = box.left;
    job.plane.yRef = box.top;
    job.plane.uRef = start.u0;
    job.plane.vRef = start.v0;
    job.plane.ux = static_cast<uint32_t>(shape.columnU);
    job.plane.vx = static_cast<uint32_t>(shape.columnV);
    job.plane.uy = start.uy;
    job.plane.vy = start.vy;
    if (turn != 0) {
        // Mirrored: every pixel keeps its place and takes the texel at u' = uLimit - 1 - u, whose
        // column is width - 1 minus the unturned one. The map is exact in the wrapping 32-bit
        // arithmetic and takes [0, uLimit) onto itself, so the turned draw covers exactly the
        // unturned draw's pixels.
        job.plane.uRef = job.uLimit - 1 - job.plane.uRef;
        job.plane.ux = 0u - job.plane.ux;
        job.plane.uy = 0u - job.plane.uy;
    }
    if (job.small16) DrawSmallRows16(job, box, setup.choice.keyed);
    else WithTexelLoop(setup.choice, [&](auto loop) { WalkRotated<decltype(loop)>(job, box); });
}
