// Rotated and scaled drawing: the corners and bounding box of the turned image, the inverse
// mapping of the clipped box into the source (14.18, single-precision set-up) as a plane, and
// the textured rows; the mirrored case goes to the quadrilateral kernel. What follows from the
// angle, scale and source size is kept between draws (rotate_setup.h).
#include <algorithm>
#include <cmath>

#include "core/core.h"
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
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    RotationSetup& rotation = FindRotationSetup(angle, scale, source->width, source->height);
    const RotationShape& shape = rotation.shape;
    if (!shape.cornersFit) return;
    const int64_t centreX = int64_t{x} * kFixedOne;
    const int64_t centreY = int64_t{y} * kFixedOne;

    if (turn != 0) {
        // Corners 3, 0, 2, 1 take the source's top-left, top-right, bottom-left and bottom-right:
        // the image comes out mirrored left to right.
        const int64_t order[4][2] = {
            {-shape.x1, -shape.y1}, {shape.x0, shape.y0}, {-shape.x0, -shape.y0}, {shape.x1, shape.y1}};
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
    if (job.small16) DrawSmallRows16(job, box, setup.choice.keyed);
    else WithTexelLoop(setup.choice, [&](auto loop) { WalkRotated<decltype(loop)>(job, box); });
}
