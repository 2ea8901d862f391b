// Triangle kernel: corners to 14.18 fixed point, the source plane, the edge walk of one or two
// segments per side, and the span loops (textured or flat colour).
#include <algorithm>

#include "core/core.h"
#include "softblit/blit_frame.h"
#include "softblit/kernel_common.h"
#include "softblit/softblit.h"

namespace softblit {
namespace {

// One edge segment: start x (14.18), step per row, row count and start row.
struct Segment {
    int64_t x;
    int64_t step;
    int64_t rows;
    int64_t row;
};

struct EdgeWalk {
    Segment left[2];
    Segment right[2];
    int leftCount;
    int rightCount;
};

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

// Walks the rows of the triangle and hands span(Y, x0, n) every span clipped to the bounds.
// Rows outside the bounds are stepped over in one go, with the same edge positions as a row by
// row walk would give.
template <class Span>
void WalkEdges(const EdgeWalk& walk, const DrawBounds& bounds, Span&& span) {
    int leftIndex = 0;
    int rightIndex = 0;
    Segment left = walk.left[0];
    Segment right = walk.right[0];
    int64_t y = left.row;
    for (;;) {
        int64_t n = 1;
        if (y < bounds.top || y >= bounds.bottom) {
            n = std::min(left.rows, right.rows);
            if (y < bounds.top) n = std::min(n, bounds.top - y);
        } else {
            int64_t first = FixedIntPart(left.x);
            int64_t last = FixedIntPart(right.x);
            int64_t x0 = std::max(first, bounds.left);
            int64_t count = last - x0 + 1;
            if (x0 < bounds.right && count > 0) span(y, x0, std::min(count, bounds.right - x0));
        }
        left.x += n * left.step;
        right.x += n * right.step;
        y += n;
        left.rows -= n;
        right.rows -= n;
        if (left.rows == 0) {
            if (leftIndex == walk.leftCount - 1) return;
            left = walk.left[++leftIndex];
            y = left.row;
        }
        if (right.rows == 0) {
            if (rightIndex == walk.rightCount - 1) return;
            right = walk.right[++rightIndex];
        }
    }
}

// Corners in fixed point and the exchange sort of the indices by a key (equal keys stay).
struct FixedCorner {
    int64_t x;
    int64_t y;
};

void SortByKey(const int64_t key[3], int order[3]) {
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
    for (int i = 0; i < 2; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (key[order[i]] > key[order[j]]) std::swap(order[i], order[j]);
}

Segment MakeSegment(const FixedCorner& from, const FixedCorner& to, int64_t startX) {
    Segment s;
    s.rows = FixedIntPart(to.y - from.y);
    s.x = startX;
    s.step = (to.x - startX) / s.rows;
    s.row = FixedIntPart(from.y);
    return s;
}

// Builds the edge walk; the corners are not collinear.
EdgeWalk BuildEdgeWalk(const TriangleVertex* v, const FixedCorner* f) {
    int64_t keys[3] = {f[0].y, f[1].y, f[2].y};
    int order[3];
    SortByKey(keys, order);
    const TriangleVertex& top = v[order[0]];
    const TriangleVertex& middle = v[order[1]];
    const TriangleVertex& bottom = v[order[2]];
    const FixedCorner& ft = f[order[0]];
    const FixedCorner& fm = f[order[1]];
    const FixedCorner& fb = f[order[2]];
    EdgeWalk walk = {};
    walk.leftCount = 1;
    walk.rightCount = 1;
    if (top.y == middle.y) {
        const FixedCorner& topLeft = ft.x < fm.x ? ft : fm;
        const FixedCorner& topRight = ft.x < fm.x ? fm : ft;
        walk.left[0] = MakeSegment(topLeft, fb, topLeft.x);
        walk.right[0] = MakeSegment(topRight, fb, topRight.x);
    } else if (middle.y == bottom.y) {
        const FixedCorner& bottomLeft = fm.x < fb.x ? fm : fb;
        const FixedCorner& bottomRight = fm.x < fb.x ? fb : fm;
        walk.left[0] = MakeSegment(ft, bottomLeft, ft.x);
        walk.right[0] = MakeSegment(ft, bottomRight, ft.x);
    } else {
        double toMiddle = static_cast<double>(fm.x - ft.x) / static_cast<double>(int64_t{middle.y} - top.y);
        double toBottom = static_cast<double>(fb.x - ft.x) / static_cast<double>(int64_t{bottom.y} - top.y);
        if (toMiddle < toBottom) {
            walk.leftCount = 2;
            walk.left[0] = MakeSegment(ft, fm, ft.x);
            walk.left[1] = MakeSegment(fm, fb, fm.x);
            walk.right[0] = MakeSegment(ft, fb, ft.x);
        } else {
            // The lower right edge starts one fraction step right of the middle corner.
            walk.left[0] = MakeSegment(ft, fb, ft.x);
            walk.rightCount = 2;
            walk.right[0] = MakeSegment(ft, fm, ft.x);
            walk.right[1] = MakeSegment(fm, fb, fm.x + 1);
        }
    }
    return walk;
}

// A gradient of the source plane: numerator * 2^18 / d, truncated toward zero; out of the
// 32-bit range it becomes the conversion's out-of-range value.
uint32_t Gradient(int64_t numerator, int64_t d) {
    return static_cast<uint32_t>(
        TruncateDoubleToInt(static_cast<double>(numerator) * 262144.0 / static_cast<double>(d)));
}

struct TexturedJob {
    BlitContext context;
    uint8_t* destination;
    int64_t destinationPitch;
    const uint8_t* source;
    int64_t sourcePitch;
    int sourceBytes;
    const uint8_t* blend;
    int64_t blendPitch;
    uint32_t uLimit;
    uint32_t vLimit;
    SourcePlane plane;
};

template <class Loop>
void DrawTextured(const TexturedJob& job, const EdgeWalk& walk, const DrawBounds& bounds) {
    using Px = typename Loop::Pixel;
    const BlitContext c = job.context;
    const SourcePlane& plane = job.plane;
    WalkEdges(walk, bounds, [&](int64_t y, int64_t x0, int64_t n) {
        uint32_t dx = static_cast<uint32_t>(x0 - plane.xRef);
        uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
        uint32_t u = plane.uRef + dx * plane.ux + dy * plane.uy;
        uint32_t v = plane.vRef + dx * plane.vx + dy * plane.vy;
        uint8_t* to = job.destination + job.destinationPitch * y + Px::kBytes * x0;
        for (int64_t i = 0; i < n; ++i, to += Px::kBytes, u += plane.ux, v += plane.vx) {
            if (u >= job.uLimit || v >= job.vLimit) continue;
            size_t column = u >> kFixedShift;
            size_t row = v >> kFixedShift;
            const uint8_t* texel = job.source + job.sourcePitch * row + job.sourceBytes * column;
            const uint8_t* blendByte = nullptr;
            if constexpr (Loop::kBlend) blendByte = job.blend + job.blendPitch * row + column;
            Loop::Draw(c, to, texel, blendByte);
        }
    });
}

void DrawFlat(const FlatSetup& setup, uint8_t* pixels, int64_t pitch, const EdgeWalk& walk,
              const DrawBounds& bounds) {
    WithFlatOp(setup, [&](auto op) {
        using Op = decltype(op);
        const BlitContext c = setup.context;
        const uint32_t colour = setup.colour;
        const int bytes = setup.bytes;
        WalkEdges(walk, bounds, [&](int64_t y, int64_t x0, int64_t n) {
            uint8_t* to = pixels + pitch * y + bytes * x0;
            for (int64_t i = 0; i < n; ++i, to += bytes) Op::template Apply<false>(c, to, colour, 0, 0);
        });
    });
}

} // namespace
} // namespace softblit

using namespace softblit;

void FillMemImgTriangle(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* vertices,
                        int trans, const MEMIMG* blend, uint32_t colour) {
    if (!IsMemImgValid(destination) || vertices == nullptr) return;
    FrameSetup textured;
    FlatSetup flat;
    if (source != nullptr) {
        if (!PrepareFrame(destination, source, blend, trans, &textured)) return;
        if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    } else if (!PrepareFlat(destination, colour, BrightRule::Table, &flat)) {
        return;
    }
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds)) return;

    FixedCorner fixed[3];
    int64_t xKeys[3];
    for (int i = 0; i < 3; ++i) {
        fixed[i] = {int64_t{vertices[i].x} * kFixedOne + kFixedOne / 2,
                    int64_t{vertices[i].y} * kFixedOne + kFixedOne / 2};
        xKeys[i] = fixed[i].x;
    }
    // The area test and the source plane, from the corner order by x (its first is the reference).
    int byX[3];
    SortByKey(xKeys, byX);
    const TriangleVertex& r = vertices[byX[0]];
    const TriangleVertex& a = vertices[byX[1]];
    const TriangleVertex& b = vertices[byX[2]];
    int64_t dx1 = int64_t{a.x} - r.x, dy1 = int64_t{a.y} - r.y;
    int64_t dx2 = int64_t{b.x} - r.x, dy2 = int64_t{b.y} - r.y;
    int64_t d = dy1 * dx2 - dy2 * dx1;
    if (d == 0) return;
    int64_t du1 = int64_t{a.u} - r.u, dv1 = int64_t{a.v} - r.v;
    int64_t du2 = int64_t{b.u} - r.u, dv2 = int64_t{b.v} - r.v;
    SourcePlane plane;
    plane.ux = Gradient(dy1 * du2 - dy2 * du1, d);
    plane.uy = Gradient(du1 * dx2 - dx1 * du2, d);
    plane.vx = Gradient(dy1 * dv2 - dy2 * dv1, d);
    plane.vy = Gradient(dv1 * dx2 - dx1 * dv2, d);
    plane.xRef = FixedIntPart(fixed[byX[0]].x);
    plane.yRef = FixedIntPart(fixed[byX[0]].y);
    plane.uRef = static_cast<uint32_t>(r.u) << kFixedShift;
    plane.vRef = static_cast<uint32_t>(r.v) << kFixedShift;

    EdgeWalk walk = BuildEdgeWalk(vertices, fixed);
    int64_t pitch = destination->base->pitch;
    if (source == nullptr) {
        DrawFlat(flat, destination->pixels, pitch, walk, bounds);
        return;
    }
    TexturedJob job;
    job.context = textured.context;
    job.destination = destination->pixels;
    job.destinationPitch = pitch;
    job.source = source->pixels;
    job.sourcePitch = source->base->pitch;
    job.sourceBytes = textured.sourceBytes;
    job.blend = blend != nullptr ? blend->pixels : nullptr;
    job.blendPitch = blend != nullptr ? blend->base->pitch : 0;
    job.uLimit = static_cast<uint32_t>(source->width) << kFixedShift;
    job.vLimit = static_cast<uint32_t>(source->height) << kFixedShift;
    job.plane = plane;
    WithTexelLoop(textured.choice, [&](auto loop) {
        DrawTextured<decltype(loop)>(job, walk, bounds);
    });
}
