// Line kernels: the end points clipped to the draw area in floating point, then an integer walk
// along the major axis; the start point is drawn and the end point is not.
#include <algorithm>
#include <cstdlib>

#include "core/core.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/kernel_common.h"
#include "softblit/softblit.h"

using namespace softblit;

void DrawMemImgLine(MEMIMG* destination, int x1, int y1, int x2, int y2, uint32_t colour) {
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, nullptr, 0, colour, [&](MEMIMG* to, const MEMIMG*, uint32_t c) {
            DrawMemImgLine(to, x1, y1, x2, y2, c);
        });
    FlatSetup setup;
    if (!PrepareFlat(destination, colour, BrightRule::Shift, &setup)) return;
    DrawBounds area;
    if (!GetDrawBounds(destination, &area)) return;
    const int64_t L = area.left, T = area.top, R = area.right, B = area.bottom;
    if (std::max(x1, x2) < L || std::min(x1, x2) > R - 1 || std::max(y1, y2) < T ||
        std::min(y1, y2) > B - 1)
        return;

    // The line's equations: x = cx + kx y and y = cy + ky x.
    double kx = y1 == y2 ? 0.0 : (double(x2) - x1) / (double(y2) - y1);
    double ky = x1 == x2 ? 0.0 : (double(y2) - y1) / (double(x2) - x1);
    double cx = x1 - kx * y1;
    double cy = y1 - ky * x1;
    auto atX = [&](int64_t x) -> int64_t { return TruncateDoubleToInt(cy + ky * double(x)); };
    auto atY = [&](int64_t y) -> int64_t { return TruncateDoubleToInt(cx + kx * double(y)); };
    int64_t sx = x1, sy = y1, ex = x2, ey = y2;
    if (sx < L) sx = L, sy = atX(L);
    else if (sx >= R) sx = R - 1, sy = atX(R - 1);
    if (ex < L) ex = L - 1, ey = atX(L - 1);
    else if (ex >= R) ex = R, ey = atX(R);
    if (sy < T) sy = T, sx = atY(T);
    else if (sy >= B) sy = B - 1, sx = atY(B - 1);
    if (ey < T) ey = T - 1, ex = atY(T - 1);
    else if (ey >= B) ey = B, ex = atY(B);
    sx = std::clamp(sx, L, R - 1);
    sy = std::clamp(sy, T, B - 1);
    ex = std::clamp(ex, L - 1, R);
    ey = std::clamp(ey, T - 1, B);

    int64_t qx = ex - sx;
    int64_t qy = ey - sy;
    if (qx == 0 && qy == 0) return;
    int64_t pitch = destination->base->pitch;
    int64_t stepX = qx >= 0 ? setup.bytes : -setup.bytes;
    int64_t stepY = qy >= 0 ? pitch : -pitch;
    int64_t nx = std::llabs(qx);
    int64_t ny = std::llabs(qy);
    // The major axis advances every pixel, the minor one when the error term reaches the length.
    int64_t major = nx >= ny ? stepX : stepY;
    int64_t minor = nx >= ny ? stepY : stepX;
    int64_t length = std::max(nx, ny);
    int64_t rise = std::min(nx, ny);
    uint8_t* pixels = destination->pixels;
    WithFlatOp(setup, [&](auto op) {
        using Op = decltype(op);
        const BlitContext c = setup.context;
        int64_t e = 0;
        int64_t offset = pitch * sy + setup.bytes * sx;
        for (int64_t i = 0; i < length; ++i) {
            Op::template Apply<false>(c, pixels + offset, setup.colour, 0, 0);
            e += rise;
            offset += major;
            if (e >= length) {
                offset += minor;
                e -= length;
            }
        }
    });
}

void DrawMemImgLines(MEMIMG* destination, const LineRecord* lines, int count) {
    if (lines == nullptr) return;
    for (int i = 0; i < count; ++i)
        DrawMemImgLine(destination, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].colour);
}
