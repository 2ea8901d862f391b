// Triangle kernel: corners to 14.18 fixed point, the source plane, the edge walk of one or two
// segments per side, and the span loops (textured or flat colour).
#include <algorithm>
#include <utility>
#include <vector>

#include "core/core.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/blit_frame.h"
#include "softblit/kernel_common.h"
#include "softblit/textured_row.h"
#include "softblit/triangle.h"
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

// Passes the spans of the walk on, or, for the two triangles of a quadrilateral that meet along
// their shared edge, records the first one's spans row by row and keeps the second one's off
// them, so that the pixels along the shared edge are drawn once.
struct SpanGate {
    enum Mode { kPass, kRecord, kLeaveOut };
    Mode mode = kPass;
    int64_t top = 0;
    std::vector<std::pair<int64_t, int64_t>> rows;  // first column and one past the last; empty: first >= past

    // Rows to record: those of the first triangle's walk inside the bounds.
    void Prepare(const EdgeWalk& walk, const DrawBounds& bounds) {
        const Segment& lastLeft = walk.left[walk.leftCount - 1];
        const Segment& lastRight = walk.right[walk.rightCount - 1];
        top = std::max(bounds.top, walk.left[0].row);
        int64_t bottom = std::min(bounds.bottom, std::max(lastLeft.row + lastLeft.rows, lastRight.row + lastRight.rows));
        rows.assign(static_cast<size_t>(std::max<int64_t>(bottom - top, 0)), {0, 0});
        mode = kRecord;
    }

    template <class Span>
    void Pass(int64_t y, int64_t x0, int64_t n, Span& span) {
        const int64_t index = y - top;
        const bool kept = mode != kPass && index >= 0 && index < static_cast<int64_t>(rows.size());
        if (!kept) {
            span(y, x0, n);
            return;
        }
        std::pair<int64_t, int64_t>& row = rows[static_cast<size_t>(index)];
        if (mode == kRecord) {
            // A row walked twice (a walk set back to its middle corner) keeps both spans' extent.
            row = row.first < row.second ? std::pair{std::min(row.first, x0), std::max(row.second, x0 + n)}
                                         : std::pair{x0, x0 + n};
            span(y, x0, n);
            return;
        }
        const int64_t from = std::max(x0, row.first), to = std::min(x0 + n, row.second);
        if (from >= to) {
            span(y, x0, n);
            return;
        }
        if (x0 < from) span(y, x0, from - x0);
        if (to < x0 + n) span(y, to, x0 + n - to);
    }
};

// WalkEdges through a gate (none: every span as walked).
template <class Span>
void WalkGated(const EdgeWalk& walk, const DrawBounds& bounds, SpanGate* gate, Span&& span) {
    if (gate == nullptr || gate->mode == SpanGate::kPass) {
        WalkEdges(walk, bounds, span);
        return;
    }
    WalkEdges(walk, bounds, [&](int64_t y, int64_t x0, int64_t n) { gate->Pass(y, x0, n, span); });
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
    // The exchanges (0, 1), (0, 2), (1, 2) as selects: which corner comes first follows the
    // angle and cannot be foreseen.
    auto exchange = [&](int i, int j) {
        const int a = order[i], b = order[j];
        const bool swap = key[a] > key[b];
        order[i] = swap ? b : a;
        order[j] = swap ? a : b;
    };
    exchange(0, 1);
    exchange(0, 2);
    exchange(1, 2);
}

// The rows are at least 1; a step that fits in 32 bits (any edge under 8192 pixels wide) takes
// the cheaper 32-bit division, which truncates alike.
Segment MakeSegment(const FixedCorner& from, const FixedCorner& to, int64_t startX) {
    Segment s;
    s.rows = FixedIntPart(to.y - from.y);
    s.x = startX;
    int64_t dx = to.x - startX;
    if (dx == static_cast<int32_t>(dx) && s.rows == static_cast<int32_t>(s.rows))
        s.step = static_cast<int32_t>(dx) / static_cast<int32_t>(s.rows);
    else
        s.step = dx / s.rows;
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

// A 128-bit value rounded to a double; through the processor's 64-bit conversion when it fits
// (the same rounding, without the library's 128-bit one).
inline double ToDouble(__int128 value) {
    const int64_t narrow = static_cast<int64_t>(value);
    return narrow == value ? static_cast<double>(narrow) : static_cast<double>(value);
}

// A gradient of the source plane: numerator * 2^18 / d, truncated toward zero; out of the
// 32-bit range it becomes the conversion's out-of-range value.
uint32_t Gradient(__int128 numerator, __int128 d) {
    return static_cast<uint32_t>(TruncateDoubleToInt(ToDouble(numerator) * 262144.0 / ToDouble(d)));
}

// The pixels the walk can reach: its rows and the corners' columns with a pixel to spare, within
// the bounds. (A span outside it is still drawn right, only found on its own.)
DrawBounds WalkRegion(const EdgeWalk& walk, const FixedCorner* f, const DrawBounds& bounds) {
    const Segment& lastLeft = walk.left[walk.leftCount - 1];
    const Segment& lastRight = walk.right[walk.rightCount - 1];
    int64_t minX = std::min({f[0].x, f[1].x, f[2].x});
    int64_t maxX = std::max({f[0].x, f[1].x, f[2].x});
    DrawBounds region;
    region.left = std::max(bounds.left, FixedIntPart(minX) - 1);
    region.right = std::min(bounds.right, FixedIntPart(maxX) + 2);
    region.top = std::max(bounds.top, walk.left[0].row);
    region.bottom = std::min(bounds.bottom, std::max(lastLeft.row + lastLeft.rows, lastRight.row + lastRight.rows));
    return region;
}

// Spans inside a region that stays in the window draw only their inside pixels: on a short
// region the outside pixels at either end (few, along the triangle's edges) are trimmed one by
// one; on a taller one, where the set-up pays for itself, the region's inside columns are stepped
// from row to row. Other spans are searched on their own.
template <class Loop>
void DrawTextured(const TexturedJob& job, const EdgeWalk& walk, const DrawBounds& region,
                  const DrawBounds& bounds, SpanGate* gate) {
    constexpr int64_t kSteppedRows = 16;
    auto inRegion = [&](int64_t y, int64_t x0, int64_t n) {
        return y >= region.top && y < region.bottom && x0 >= region.left && x0 + n <= region.right;
    };
    const InsideColumns inside = region.bottom - region.top >= kSteppedRows
                                     ? PrepareInsideColumns(job, region)
                                     : InsideColumns{};
    if (!inside.stepped) {
        const bool window = StaysInWindow(job, region);
        WalkGated(walk, bounds, gate, [&](int64_t y, int64_t x0, int64_t n) {
            if (window && inRegion(y, x0, n)) DrawTrimmedRow<Loop>(job, y, x0, n);
            else DrawTexturedRow<Loop>(job, y, x0, n);
        });
        return;
    }
    AxisBounds u = inside.u;
    AxisBounds v = inside.v;
    int64_t boundsRow = region.top;   // the row u and v stand at
    WalkGated(walk, bounds, gate, [&](int64_t y, int64_t x0, int64_t n) {
        if (!inRegion(y, x0, n)) {
            DrawTexturedRow<Loop>(job, y, x0, n);
            return;
        }
        if (y == boundsRow + 1) {
            u.Step();
            v.Step();
        } else if (y != boundsRow) {
            u.Seek(y - region.top);
            v.Seek(y - region.top);
        }
        boundsRow = y;
        int64_t first = std::max(x0, region.left + std::max(u.first, v.first));
        int64_t end = std::min(x0 + n, region.left + std::min(u.past, v.past));
        if (first < end) DrawInsideRun<Loop>(job, y, first, end - first);
    });
}

void DrawFlat(const FlatSetup& setup, uint8_t* pixels, int64_t pitch, const EdgeWalk& walk,
              const DrawBounds& bounds, SpanGate* gate = nullptr) {
    WithFlatOp(setup, [&](auto op) {
        using Op = decltype(op);
        const BlitContext c = setup.context;
        const uint32_t colour = setup.colour;
        const int bytes = setup.bytes;
        WalkGated(walk, bounds, gate, [&](int64_t y, int64_t x0, int64_t n) {
            uint8_t* to = pixels + pitch * y + bytes * x0;
            for (int64_t i = 0; i < n; ++i, to += bytes) Op::template Apply<false>(c, to, colour, 0, 0);
        });
    });
}

// A triangle's source plane and edge walk, from its corners.
struct TriangleShape {
    FixedCorner fixed[3];
    SourcePlane plane;
    EdgeWalk walk;
};

// A corner this far from the origin lies beyond the 14.18 destination range.
constexpr int64_t kFarCorner = kMaxKernelSource;

// u * 2^18 + n * 2^18 / d, the plane's value at a point whose offset from the reference gives the
// numerator n, truncated toward zero and wrapped to 32 bits as the walk wraps.
uint32_t PlaneValue(int32_t u, __int128 n, __int128 d) {
    const __int128 offset = n * kFixedOne / d;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(u) * kFixedOne) +
                                 static_cast<uint64_t>(offset));
}

// False when the corners are collinear (nothing to draw). The plane is referred to the corner
// of least x; when that corner lies beyond the destination range, to the point of the bounds
// nearest it instead, its values there exact: far from the corner the truncated gradients would
// stray, and a triangle reaching onto the image from far away is drawn as its near part shows.
bool ShapeTriangle(const TriangleVertex* vertices, const DrawBounds& bounds, TriangleShape* shape) {
    FixedCorner* fixed = shape->fixed;
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
    // Differences of 32-bit corners reach 2^32, their products 2^64: 128-bit products.
    using Wide = __int128;
    const Wide dx1 = int64_t{a.x} - r.x, dy1 = int64_t{a.y} - r.y;
    const Wide dx2 = int64_t{b.x} - r.x, dy2 = int64_t{b.y} - r.y;
    const Wide d = dy1 * dx2 - dy2 * dx1;
    if (d == 0) return false;
    const Wide du1 = int64_t{a.u} - r.u, dv1 = int64_t{a.v} - r.v;
    const Wide du2 = int64_t{b.u} - r.u, dv2 = int64_t{b.v} - r.v;
    SourcePlane& plane = shape->plane;
    plane.ux = Gradient(dy1 * du2 - dy2 * du1, d);
    plane.uy = Gradient(du1 * dx2 - dx1 * du2, d);
    plane.vx = Gradient(dy1 * dv2 - dy2 * dv1, d);
    plane.vy = Gradient(dv1 * dx2 - dx1 * dv2, d);
    plane.xRef = FixedIntPart(fixed[byX[0]].x);
    plane.yRef = FixedIntPart(fixed[byX[0]].y);
    plane.uRef = static_cast<uint32_t>(r.u) << kFixedShift;
    plane.vRef = static_cast<uint32_t>(r.v) << kFixedShift;
    const bool far = plane.xRef < -kFarCorner || plane.xRef >= kFarCorner ||
                     plane.yRef < -kFarCorner || plane.yRef >= kFarCorner;
    if (far && bounds.right > bounds.left && bounds.bottom > bounds.top) {
        const int64_t x = std::clamp(plane.xRef, bounds.left, bounds.right - 1);
        const int64_t y = std::clamp(plane.yRef, bounds.top, bounds.bottom - 1);
        const Wide ox = Wide{x} - r.x, oy = Wide{y} - r.y;
        plane.uRef = PlaneValue(r.u, ox * (dy1 * du2 - dy2 * du1) + oy * (du1 * dx2 - dx1 * du2), d);
        plane.vRef = PlaneValue(r.v, ox * (dy1 * dv2 - dy2 * dv1) + oy * (dv1 * dx2 - dx1 * dv2), d);
        plane.xRef = x;
        plane.yRef = y;
    }
    // A pixel is sampled at its top-left corner. A position exactly on a texel border belongs to
    // the texel the pixel reaches into from there: where the map runs backwards (a flipped or
    // mirrored source) that is the texel before the border. So every texel row and column of a
    // flipped or mirrored source is drawn, on the pixels an upright one covers.
    if (static_cast<int32_t>(plane.ux + plane.uy) < 0) plane.uRef -= 1;
    if (static_cast<int32_t>(plane.vx + plane.vy) < 0) plane.vRef -= 1;
    shape->walk = BuildEdgeWalk(vertices, fixed);
    return true;
}

template <class Loop>
void DrawShape(TexturedJob& job, const TriangleShape& shape, const DrawBounds& bounds,
               SpanGate* gate = nullptr) {
    job.plane = shape.plane;
    DrawBounds region = WalkRegion(shape.walk, shape.fixed, bounds);
    DrawTextured<Loop>(job, shape.walk, region, bounds, gate);
}

// The spans of a small 16-bit source's plain copy, handed to the register lookup in batches.
void DrawSmallShape(TexturedJob& job, const TriangleShape& shape, const DrawBounds& bounds, bool keyed,
                    SpanGate* gate = nullptr) {
    job.plane = shape.plane;
    constexpr int kBatch = 256;
    TexturedSpan spans[kBatch];
    int64_t count = 0;
    // The walk gives at most one span a row of its left edge: when they fit, in one batch. (A
    // gate can split a span in two.)
    int64_t rows = 0;
    for (int i = 0; i < shape.walk.leftCount; ++i) rows += shape.walk.left[i].rows;
    if (gate == nullptr && rows <= kBatch) {
        WalkEdges(shape.walk, bounds, [&](int64_t y, int64_t x0, int64_t n) { spans[count++] = {y, x0, n}; });
        if (count > 0) DrawSmallSpans16(job, spans, count, keyed);
        return;
    }
    WalkGated(shape.walk, bounds, gate, [&](int64_t y, int64_t x0, int64_t n) {
        spans[count++] = {y, x0, n};
        if (count == kBatch) {
            DrawSmallSpans16(job, spans, count, keyed);
            count = 0;
        }
    });
    if (count > 0) DrawSmallSpans16(job, spans, count, keyed);
}

// Whether corners 0 and 3 lie on either side of the line through corners 1 and 2: the two
// triangles then meet only along their shared edge.
bool OnEitherSide(const TriangleVertex* c) {
    using Wide = __int128;
    const Wide ex = Wide{c[2].x} - c[1].x, ey = Wide{c[2].y} - c[1].y;
    auto side = [&](const TriangleVertex& p) {
        const Wide cross = ex * (Wide{p.y} - c[1].y) - ey * (Wide{p.x} - c[1].x);
        return (cross > 0) - (cross < 0);
    };
    return side(c[0]) * side(c[3]) < 0;
}

// The two triangles of a pair (corners 0-1-2 and 1-2-3). When they meet only along their shared
// edge, the gate records the first one's rows so that the second leaves those pixels out.
struct TrianglePair {
    TriangleShape first, second;
    bool drawFirst = false, drawSecond = false;
    SpanGate gate;
    SpanGate* shared = nullptr;

    TrianglePair(const TriangleVertex* corners, const DrawBounds& bounds) {
        drawFirst = ShapeTriangle(corners, bounds, &first);
        drawSecond = ShapeTriangle(corners + 1, bounds, &second);
        if (drawFirst && drawSecond && OnEitherSide(corners)) {
            gate.Prepare(first.walk, bounds);
            shared = &gate;
        }
    }
    void FirstDone() {
        if (shared != nullptr) shared->mode = SpanGate::kLeaveOut;
    }
};

} // namespace

void DrawTexturedQuad(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* corners,
                      int trans, const MEMIMG* blend) {
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds)) return;
    TrianglePair pair(corners, bounds);
    TexturedJob job = MakeTexturedJob(destination, source, blend, setup);
    if (job.small16) {
        if (pair.drawFirst) DrawSmallShape(job, pair.first, bounds, setup.choice.keyed, pair.shared);
        pair.FirstDone();
        if (pair.drawSecond) DrawSmallShape(job, pair.second, bounds, setup.choice.keyed, pair.shared);
        return;
    }
    WithTexelLoop(setup.choice, [&](auto loop) {
        if (pair.drawFirst) DrawShape<decltype(loop)>(job, pair.first, bounds, pair.shared);
        pair.FirstDone();
        if (pair.drawSecond) DrawShape<decltype(loop)>(job, pair.second, bounds, pair.shared);
    });
}

} // namespace softblit

using namespace softblit;

void FillMemImgTrianglePair(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* corners,
                            int trans, const MEMIMG* blend, uint32_t colour) {
    if (!IsMemImgValid(destination) || corners == nullptr) return;
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, colour, [&](MEMIMG* to, const MEMIMG* from, uint32_t c) {
            FillMemImgTrianglePair(to, from, corners, trans, blend, c);
        });
    if (source != nullptr) {
        DrawTexturedQuad(destination, source, corners, trans, blend);
        return;
    }
    FlatSetup flat;
    if (!PrepareFlat(destination, colour, BrightRule::Table, &flat)) return;
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds)) return;
    TrianglePair pair(corners, bounds);
    const int64_t pitch = destination->base->pitch;
    if (pair.drawFirst) DrawFlat(flat, destination->pixels, pitch, pair.first.walk, bounds, pair.shared);
    pair.FirstDone();
    if (pair.drawSecond) DrawFlat(flat, destination->pixels, pitch, pair.second.walk, bounds, pair.shared);
}

void FillMemImgTriangle(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* vertices,
                        int trans, const MEMIMG* blend, uint32_t colour) {
    if (!IsMemImgValid(destination) || vertices == nullptr) return;
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, colour, [&](MEMIMG* to, const MEMIMG* from, uint32_t c) {
            FillMemImgTriangle(to, from, vertices, trans, blend, c);
        });
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

    TriangleShape shape;
    if (!ShapeTriangle(vertices, bounds, &shape)) return;
    int64_t pitch = destination->base->pitch;
    if (source == nullptr) {
        DrawFlat(flat, destination->pixels, pitch, shape.walk, bounds);
        return;
    }
    TexturedJob job = MakeTexturedJob(destination, source, blend, textured);
    if (job.small16) {
        DrawSmallShape(job, shape, bounds, textured.choice.keyed);
        return;
    }
    WithTexelLoop(textured.choice, [&](auto loop) { DrawShape<decltype(loop)>(job, shape, bounds); });
}
