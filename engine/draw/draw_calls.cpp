// Public draw calls: checks, the subtract emulation and the choice between the device builders
// and the software front-ends.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw.h"
#include "draw/draw_coords.h"
#include "draw/draw_settings.h"
#include "draw/draw_soft.h"
#include "draw/mask.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "movie/movie.h"
#include "softblit/softblit.h"

namespace {

bool OnDevicePath(const GraphRecord* graph) {
    return graph->image != nullptr && graph->image->desc.textureMode != 0 &&
           GetDevice() != nullptr;
}

bool DevicePathForShapes() { return g_ScreenSettings.useDirect3D != 0 && GetDevice() != nullptr; }

void StoreBlendDirect(int mode, int parameter) {
    g_DrawSettings.blendMode = mode;
    g_DrawSettings.blendParameter = parameter;
    g_DrawSettings.drawColor = ComputeDrawColor();
}

}  // namespace

bool NeedsSubtractEmulation(bool device) {
    return device && g_DrawSettings.blendMode == 3 && !g_GraphicsDevice.blendOperation;
}

SubtractNote SubtractBlendPrePass(const V_RECT& rect) {
    SubtractNote note{g_DrawSettings.blendParameter, g_DrawSettings.brightColor};
    g_DrawSettings.brightColor = 0x00FFFFFF;
    if (g_DrawSettings.blendMode != 3 || g_DrawSettings.blendParameter != 255)
        StoreBlendDirect(3, 255);
    g_DrawSettings.drawColor = ComputeDrawColor();
    PutFilledBoxQuads(rect.left, rect.top, rect.right, rect.bottom, GetScreenColor(255, 255, 255));
    SetDrawBrightnessPacked(note.bright & 0x00FFFFFF);
    SetBlendMode(5, note.parameter);
    return note;
}

void SubtractBlendPostPass(const V_RECT& rect, const SubtractNote& note) {
    uint32_t bright = g_DrawSettings.brightColor;
    g_DrawSettings.brightColor = 0x00FFFFFF;
    StoreBlendDirect(3, 255);
    PutFilledBoxQuads(rect.left, rect.top, rect.right, rect.bottom, GetScreenColor(255, 255, 255));
    SetDrawBrightnessPacked(bright);
    SetBlendMode(3, note.parameter);
}

namespace {

// The common road of the graph draws up to the draw itself: 1 to draw, 0 or -1 to return.
int BeginGraphDraw(int graph, GraphRecord** out) {
    if (!IsLibraryUp()) return -1;
    if (g_DrawSettings.suspended || g_DrawSettings.drawAreaEmpty) return 0;
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr) return -1;
    if (g_DrawSettings.blendGraph != -1 && CheckBlendGraphSize(record) != 0) return -1;
    WaitWhileInactive();
    // A movie bound to the graph brings its frame up to date first.
    if (record->movie != -1) UpdateMovieFrame(record->movie, 0);
    *out = record;
    return 1;
}

template <typename Device, typename Soft>
int RunDraw(const GraphRecord* graph, const V_RECT& rect, Device device, Soft soft) {
    return DrawMasked(rect, [&] {
        if (!OnDevicePath(graph)) return soft();
        UseDeviceBlendGraph();
        if (NeedsSubtractEmulation(true)) {
            SubtractNote note = SubtractBlendPrePass(rect);
            int result = device();
            SubtractBlendPostPass(rect, note);
            return result;
        }
        return device();
    });
}

// A shape on the device path, with the subtract emulation where it is needed.
template <typename Device>
int RunShapeOnDevice(const V_RECT& rect, Device device) {
    if (NeedsSubtractEmulation(true)) {
        SubtractNote note = SubtractBlendPrePass(rect);
        int result = device();
        SubtractBlendPostPass(rect, note);
        return result;
    }
    return device();
}

V_RECT Normalised(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// The pixels a draw between these extents may write, for the mask bracket: the box rounded
// outward, with a pixel to spare on each side for the paths' different rounding of corners.
V_RECT BoxAround(double minX, double minY, double maxX, double maxY) {
    return {TruncateCoord(std::floor(minX) - 1.0), TruncateCoord(std::floor(minY) - 1.0),
            TruncateCoord(std::ceil(maxX) + 1.0), TruncateCoord(std::ceil(maxY) + 1.0)};
}

}  // namespace

int DrawGraphAt(int x, int y, int graph, int trans) {
    GraphRecord* g = nullptr;
    int go = BeginGraphDraw(graph, &g);
    if (go != 1) return go;
    V_RECT rect{x, y, SaturatingAdd(x, g->width), SaturatingAdd(y, g->height)};
    return RunDraw(
        g, rect,
        [&] {
            return PutGraphQuads(g, x, y, static_cast<float>(x), static_cast<float>(y), trans, 1);
        },
        [&] { return DrawGraphSoft(trans, x, y, g); });
}

int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans) {
    GraphRecord* g = nullptr;
    int go = BeginGraphDraw(graph, &g);
    if (go != 1) return go;
    auto f = [](int v) { return static_cast<float>(v); };
    return RunDraw(
        g, Normalised(x1, y1, x2, y2),
        [&] {
            return PutGraphStretchedQuads(g, x1, y1, x2, y2, f(x1), f(y1), f(x2), f(y2), trans, 1);
        },
        [&] { return DrawGraphStretchedSoft(x1, y1, x2, y2, g, trans); });
}

int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int trans) {
    if (!AllFinite({x1, y1, x2, y2})) return -1;
    GraphRecord* g = nullptr;
    int go = BeginGraphDraw(graph, &g);
    if (go != 1) return go;
    int ix1 = TruncateCoord(x1), iy1 = TruncateCoord(y1);
    int ix2 = TruncateCoord(x2), iy2 = TruncateCoord(y2);
    V_RECT rect = BoxAround(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
    return RunDraw(
        g, rect,
        [&] { return PutGraphStretchedQuads(g, ix1, iy1, ix2, iy2, x1, y1, x2, y2, trans, 0); },
        [&] { return DrawGraphStretchedSoft(ix1, iy1, ix2, iy2, g, trans); });
}

int DrawGraphRotatedF(float x, float y, double scale, double angle, int graph, int trans,
                      int turn) {
    if (!AllFinite({x, y, scale, angle})) return -1;
    GraphRecord* g = nullptr;
    int go = BeginGraphDraw(graph, &g);
    if (go != 1) return go;
    // The software path without a mask does not use the box: spared its sine and cosine.
    if (!g_MaskScreen.active && !OnDevicePath(g)) return DrawGraphRotatedSoft(x, y, scale, angle, g, trans, turn);
    // Bounding box of the four turned and scaled corners.
    int hw = g->width / 2, hh = g->height / 2;
    double cs = std::cos(angle) * scale, sn = std::sin(angle) * scale;
    double cornersX[4] = {-static_cast<double>(hw), static_cast<double>(g->width - hw),
                          -static_cast<double>(hw), static_cast<double>(g->width - hw)};
    double cornersY[4] = {-static_cast<double>(hh), -static_cast<double>(hh),
                          static_cast<double>(g->height - hh), static_cast<double>(g->height - hh)};
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (int i = 0; i < 4; ++i) {
        double px = cornersX[i] * cs - cornersY[i] * sn, py = cornersX[i] * sn + cornersY[i] * cs;
        minX = std::min(minX, px), maxX = std::max(maxX, px);
        minY = std::min(minY, py), maxY = std::max(maxY, py);
    }
    V_RECT rect = BoxAround(x + minX, y + minY, x + maxX, y + maxY);
    return RunDraw(
        g, rect, [&] { return PutGraphRotatedQuads(g, x, y, scale, angle, trans, turn); },
        [&] { return DrawGraphRotatedSoft(x, y, scale, angle, g, trans, turn); });
}

int DrawGraphRotated(int x, int y, double scale, double angle, int graph, int trans, int turn) {
    return DrawGraphRotatedF(static_cast<float>(x), static_cast<float>(y), scale, angle, graph,
                             trans, turn);
}

int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  int graph, int trans) {
    if (!AllFinite({x1, y1, x2, y2, x3, y3, x4, y4})) return -1;
    GraphRecord* g = nullptr;
    int go = BeginGraphDraw(graph, &g);
    if (go != 1) return go;
    double minX = x1, minY = y1, maxX = x1, maxY = y1;
    for (float x : {x2, x3, x4}) minX = std::min<double>(minX, x), maxX = std::max<double>(maxX, x);
    for (float y : {y2, y3, y4}) minY = std::min<double>(minY, y), maxY = std::max<double>(maxY, y);
    V_RECT rect = BoxAround(minX, minY, maxX, maxY);
    // The caller gives the corners clockwise; the builders take bottom-left before bottom-right.
    return RunDraw(
        g, rect, [&] { return PutFreeQuadTiles(g, x1, y1, x2, y2, x4, y4, x3, y3, trans); },
        [&] { return DrawGraphQuadSoft(x1, y1, x2, y2, x4, y4, x3, y3, g, trans); });
}

int DrawGraphMirrored(int x, int y, int graph, int trans) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    return DrawGraphStretched(x + g->width, y, x, y + g->height, graph, trans);
}

int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                  int turn) {
    if (!IsLibraryUp()) return -1;
    DrawSettings& s = g_DrawSettings;
    V_RECT savedArea = s.drawArea;
    float savedF[4];
    std::copy(s.drawAreaF, s.drawAreaF + 4, savedF);
    V_RECT area{x, y, x + width, y + height};
    ClipRect(&area, &savedArea);
    s.drawArea = area;
    s.drawAreaF[0] = static_cast<float>(area.left);
    s.drawAreaF[1] = static_cast<float>(area.top);
    s.drawAreaF[2] = static_cast<float>(area.right);
    s.drawAreaF[3] = static_cast<float>(area.bottom);
    int result;
    if (turn != 0) {
        GraphRecord* g = GetGraphRecord(graph);
        result = g == nullptr ? -1
                              : DrawGraphMirrored(x - g->width + srcX + width, y - srcY, graph,
                                                  trans);
    } else {
        result = DrawGraphAt(x - srcX, y - srcY, graph, trans);
    }
    // Pending vertices were clipped against the part's area already; the area goes back.
    s.drawArea = savedArea;
    std::copy(savedF, savedF + 4, s.drawAreaF);
    return result;
}

int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int srcX, int srcY,
                            int width, int height, int graph, int trans) {
    if (!IsLibraryUp()) return -1;
    int part = CreateSubGraph(srcX, srcY, width, height, graph);
    if (part < 0) return -1;
    DrawGraphStretchedF(x1, y1, x2, y2, part, trans);
    DeleteGraph(part);
    return 0;
}

int FillBox(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!IsLibraryUp()) return -1;
    if (g_DrawSettings.suspended || g_DrawSettings.drawAreaEmpty) return 0;
    V_RECT rect = Normalised(x1, y1, x2, y2);
    return DrawMasked(rect, [&] {
        if (!DevicePathForShapes()) return FillBoxSoft(x1, y1, x2, y2, colour);
        return RunShapeOnDevice(rect, [&] { return PutFilledBoxQuads(x1, y1, x2, y2, colour); });
    });
}

int FrameBox(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!IsLibraryUp()) return -1;
    if (g_DrawSettings.suspended || g_DrawSettings.drawAreaEmpty) return 0;
    V_RECT rect = Normalised(x1, y1, x2, y2);
    return DrawMasked(rect, [&] {
        // Both paths frame the normalised rectangle.
        if (!DevicePathForShapes())
            return FrameBoxSoft(rect.left, rect.top, rect.right, rect.bottom, colour);
        return RunShapeOnDevice(rect, [&] {
            return PutBoxOutlineLines(rect.left, rect.top, rect.right, rect.bottom, colour);
        });
    });
}

int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
    return fill != 0 ? FillBox(x1, y1, x2, y2, colour) : FrameBox(x1, y1, x2, y2, colour);
}

int DrawLineShape(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
    if (!IsLibraryUp()) return -1;
    if (thickness > 1) return DrawThickLine(x1, y1, x2, y2, colour, thickness);
    if (g_DrawSettings.suspended || g_DrawSettings.drawAreaEmpty) return 0;
    V_RECT rect = Normalised(x1, y1, x2, y2);
    rect.right = SaturatingAdd(rect.right, 1);
    rect.bottom = SaturatingAdd(rect.bottom, 1);
    return DrawMasked(rect, [&] {
        if (!DevicePathForShapes()) {
            if (g_ScreenImages.drawSurface != nullptr)
                DrawMemImgLine(g_ScreenImages.drawSurface, x1, y1, x2, y2, colour);
            return 0;
        }
        return RunShapeOnDevice(rect, [&] { return PutLineVertices(x1, y1, x2, y2, colour); });
    });
}

int DrawThickLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
    if (!IsLibraryUp()) return -1;
    // A line of no length has no direction to widen across: nothing is drawn.
    if (x1 == x2 && y1 == y2) return 0;
    if (g_DrawSettings.suspended || g_DrawSettings.drawAreaEmpty) return 0;
    float nx = static_cast<float>(static_cast<int64_t>(y2) - y1);
    float ny = static_cast<float>(static_cast<int64_t>(x1) - x2);
    float h = static_cast<float>(thickness) * 0.5f / std::sqrt(nx * nx + ny * ny);
    float ax = nx * h, ay = ny * h;
    float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    if (DevicePathForShapes()) {
        // A strip of two triangles through the polygon road: blend parameter, bright colour,
        // mask and subtract emulation as for any polygon.
        int r = 0, g = 0, b = 0;
        GetScreenColorRGB(colour, &r, &g, &b);
        uint32_t c = 0xFF000000u | (static_cast<uint32_t>(r) << 16) |
                     (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
        PolygonVertex corners[4] = {{fx1 + ax, fy1 + ay, 0.0f, 0.0f, c},
                                    {fx2 + ax, fy2 + ay, 0.0f, 0.0f, c},
                                    {fx1 - ax, fy1 - ay, 0.0f, 0.0f, c},
                                    {fx2 - ax, fy2 - ay, 0.0f, 0.0f, c}};
        DrawPolygonList(corners, 4, V_D3DPT_TRIANGLESTRIP, -5, 0, 0);
        return 0;
    }
    // The mask bracket covers the widened line's bounding box and a pixel around it.
    float xs[4] = {fx1 + ax, fx2 + ax, fx1 - ax, fx2 - ax};
    float ys[4] = {fy1 + ay, fy2 + ay, fy1 - ay, fy2 - ay};
    V_RECT rect{TruncateCoord(*std::min_element(xs, xs + 4)) - 1,
                TruncateCoord(*std::min_element(ys, ys + 4)) - 1,
                TruncateCoord(*std::max_element(xs, xs + 4)) + 1,
                TruncateCoord(*std::max_element(ys, ys + 4)) + 1};
    return DrawMasked(rect, [&] {
        // The software triangles draw both end columns of a span (half a pixel more on either
        // side than the device, which covers the pixels whose centres lie inside the widened
        // line). So the quadrilateral handed to them is the device's, narrowed by half a pixel
        // across every row: the sides moved in by half a pixel times the sine of the line's
        // slant, the ends by half a pixel times its cosine. Columns round halves down, rows up.
        const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
        const double length = std::sqrt(dx * dx + dy * dy);
        const double ux = dx / length, uy = dy / length;
        const double half = thickness * 0.5 - 0.5 * std::fabs(uy);
        const double pull = 0.5 * std::fabs(ux);
        const double sx = x1 + ux * pull, sy = y1 + uy * pull;
        const double ex = x2 - ux * pull, ey = y2 - uy * pull;
        const double nx2 = uy * half, ny2 = -ux * half;  // across the line, as (ax, ay)
        auto cx = [](double value) { return TruncateCoord(std::ceil(value - 0.5)); };
        auto cy = [](double value) { return TruncateCoord(std::floor(value + 0.5)); };
        DrawQuadShapeSoft(cx(sx + nx2), cy(sy + ny2), cx(ex + nx2), cy(ey + ny2), cx(sx - nx2),
                          cy(sy - ny2), cx(ex - nx2), cy(ey - ny2), colour, 1);
        return 0;
    });
}
