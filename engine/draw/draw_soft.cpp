// Software drawing front-ends.
#include "draw/draw_soft.h"

#include <algorithm>

#include "draw/draw_coords.h"
#include "draw/draw_settings.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "softblit/softblit.h"

MEMIMG* g_SoftBlendImage = nullptr;

namespace {

MEMIMG* Surface() { return g_ScreenImages.drawSurface; }

// The blend image as the graph's draw reads it: the kernels read it over the source's rectangle.
MEMIMG* BlendImageFor(const GraphRecord* graph) {
    return RefreshSoftBlendImage(graph->view.width, graph->view.height);
}

}  // namespace

int DrawGraphSoft(int trans, int x, int y, const GraphRecord* graph) {
    if (Surface() == nullptr) return 0;
    BlitMemImg(Surface(), &graph->view, x, y, trans, BlendImageFor(graph));
    return 0;
}

int DrawGraphStretchedSoft(int x1, int y1, int x2, int y2, const GraphRecord* graph, int trans) {
    // A rectangle without width or height is refused, as on the device.
    if (x1 == x2 || y1 == y2) return -1;
    if (Surface() == nullptr) return 0;
    V_RECT rect{x1, y1, x2, y2};
    BlitMemImgStretched(Surface(), &graph->view, &rect, trans,
                        BlendImageFor(graph));
    return 0;
}

int DrawGraphRotatedSoft(float x, float y, double scale, double angle, const GraphRecord* graph,
                         int trans, int turn) {
    // A scale of 0 is refused, as on the device.
    if (scale == 0.0) return -1;
    if (Surface() == nullptr) return 0;
    BlitMemImgRotated(Surface(), &graph->view, TruncateCoord(x), TruncateCoord(y),
                      static_cast<float>(angle), static_cast<float>(scale),
                      trans, turn, BlendImageFor(graph));
    return 0;
}

int DrawGraphQuadSoft(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                      float y4, const GraphRecord* graph, int trans) {
    auto t = [](float v) { return TruncateCoord(v); };
    return DrawGraphQuadIntSoft(graph, t(x1), t(y1), t(x2), t(y2), t(x3), t(y3), t(x4), t(y4),
                                trans);
}

int DrawGraphQuadIntSoft(const GraphRecord* graph, int x1, int y1, int x2, int y2, int x3, int y3,
                         int x4, int y4, int trans) {
    if (Surface() == nullptr) return 0;
    int w = graph->width, h = graph->height;
    // The triangles (TL, TR, BL) and (TR, BL, BR), meeting along the diagonal once.
    TriangleVertex corners[4] = {{x1, y1, 0, 0}, {x2, y2, w, 0}, {x3, y3, 0, h}, {x4, y4, w, h}};
    FillMemImgTrianglePair(Surface(), &graph->view, corners, trans,
                           BlendImageFor(graph), 0);
    return 0;
}

int FillBoxSoft(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (Surface() == nullptr) return 0;
    int32_t rect[4] = {x1, y1, x2, y2};
    FillMemImgBox(Surface(), rect, colour);
    return 0;
}

int FrameBoxSoft(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (Surface() == nullptr) return 0;
    // An empty box has no border.
    if (x2 <= x1 || y2 <= y1) return 0;
    int32_t p = g_DrawSettings.blendParameter;
    // The edges are axis-parallel: ends held one pixel beyond the draw area draw the same
    // pixels, and keep the line arithmetic of far corners inside the int range.
    const V_RECT& area = g_DrawSettings.drawArea;
    auto hx = [&](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, area.left - 1, area.right + 1));
    };
    auto hy = [&](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, area.top - 1, area.bottom + 1));
    };
    int l = hx(x1), t = hy(y1), r = hx(static_cast<int64_t>(x2) - 1);
    int b = hy(static_cast<int64_t>(y2) - 1);
    // A box one pixel high or wide is a single line (each line leaves out its end point, so the
    // four edges would cover it twice, and a 1 x 1 box not at all).
    if (t == b || l == r) {
        LineRecord line = t == b ? LineRecord{l, t, hx(x2), t, colour, p}
                                 : LineRecord{l, t, l, hy(y2), colour, p};
        DrawMemImgLines(Surface(), &line, 1);
        return 0;
    }
    LineRecord lines[4] = {
        {l, t, r, t, colour, p},
        {r, t, r, b, colour, p},
        {r, b, l, b, colour, p},
        {l, b, l, t, colour, p},
    };
    DrawMemImgLines(Surface(), lines, 4);
    return 0;
}

int DrawQuadShapeSoft(int x0, int y0, int x1, int y1, int x2, int y2, int x3, int y3,
                      uint32_t colour, int fill) {
    if (Surface() == nullptr) return 0;
    if (fill == 1) {
        // The flat triangles (P0, P1, P2) and (P1, P2, P3), meeting along the diagonal once.
        TriangleVertex corners[4] = {{x0, y0, 0, 0}, {x1, y1, 0, 0}, {x2, y2, 0, 0}, {x3, y3, 0, 0}};
        FillMemImgTrianglePair(Surface(), nullptr, corners, 0, g_SoftBlendImage, colour);
        return 0;
    }
    int32_t p = g_DrawSettings.blendParameter;
    LineRecord lines[4] = {
        {x0, y0, x1, y1, colour, p},
        {x1, y1, x3, y3, colour, p},
        {x3, y3, x2, y2, colour, p},
        {x2, y2, x0, y0, colour, p},
    };
    DrawMemImgLines(Surface(), lines, 4);
    return 0;
}
