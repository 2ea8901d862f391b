// Boxes, box outlines and lines of the device path as untextured vertices in the batch.
#include <cstdint>
#include <utility>

#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"

namespace {

// The colour value in the screen's format, modulated by the vertex colour of the settings.
uint32_t ShapeColour(uint32_t colour) {
    int r = 0, g = 0, b = 0;
    GetScreenColorRGB(colour, &r, &g, &b);
    uint32_t draw = g_DrawSettings.drawColor;
    uint32_t R = static_cast<uint32_t>(r) * ((draw >> 16) & 0xFF) / 255;
    uint32_t G = static_cast<uint32_t>(g) * ((draw >> 8) & 0xFF) / 255;
    uint32_t B = static_cast<uint32_t>(b) * (draw & 0xFF) / 255;
    return (draw & 0xFF000000) | (R << 16) | (G << 8) | B;
}

void PrepareUntextured() {
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    if (g_RenderStates.texture != nullptr) SetDeviceTexture(nullptr);
    PrepareDrawState(nullptr, nullptr, kDrawColorModulation);
}

// Six vertices of the band (left, top, right, bottom); colour into every vertex when all is set.
void WriteBand(Vertex2D* v, float left, float top, float right, float bottom, uint32_t colour,
               bool all) {
    float xs[6] = {left, right, left, right, left, right};
    float ys[6] = {top, top, bottom, bottom, bottom, top};
    float z = g_DrawSettings.vertexZ;
    for (int i = 0; i < 6; ++i) {
        v[i].x = xs[i];
        v[i].y = ys[i];
        v[i].z = z;
        if (all) v[i].diffuse = colour;
    }
    v[0].diffuse = colour;
    v[3].diffuse = colour;
}

}  // namespace

int PutFilledBoxQuads(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (GetDevice() == nullptr) return -1;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    V_RECT rect{x1, y1, x2, y2};
    ClipRect(&rect, &g_DrawSettings.drawArea);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
    PrepareUntextured();
    uint32_t c = ShapeColour(colour);
    auto* v = reinterpret_cast<Vertex2D*>(AppendVertices(V_D3DPT_TRIANGLELIST, 6));
    WriteBand(v, static_cast<float>(rect.left), static_cast<float>(rect.top),
              static_cast<float>(rect.right), static_cast<float>(rect.bottom), c, false);
    return 0;
}

int PutBoxOutlineLines(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (GetDevice() == nullptr) return -1;
    if (x1 > x2 || y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    // An empty box has no border; one of at most two pixels across is all border, one band.
    const int64_t width = int64_t{x2} - x1, height = int64_t{y2} - y1;
    if (width <= 0 || height <= 0) return 0;
    const bool solid = width <= 2 || height <= 2;
    PrepareUntextured();
    uint32_t c = ShapeColour(colour);
    auto* v = reinterpret_cast<Vertex2D*>(AppendVertices(V_D3DPT_TRIANGLELIST, solid ? 6 : 24));
    // In floats: a corner at the end of the int range has no int neighbour.
    float l = static_cast<float>(x1), t = static_cast<float>(y1);
    float r = static_cast<float>(x2), b = static_cast<float>(y2);
    if (solid) {
        WriteBand(v, l, t, r, b, c, true);
        return 0;
    }
    // Bands that do not overlap, so that each pixel is blended once.
    WriteBand(v, l, t, r, t + 1.0f, c, true);
    WriteBand(v + 6, r - 1.0f, t + 1.0f, r, b, c, true);
    WriteBand(v + 12, l, t + 1.0f, l + 1.0f, b, c, true);
    WriteBand(v + 18, l + 1.0f, b - 1.0f, r - 1.0f, b, c, true);
    return 0;
}

int PutLineVertices(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (GetDevice() == nullptr) return -1;
    if (x1 == x2 && y1 == y2) return 0;
    PrepareUntextured();
    uint32_t c = ShapeColour(colour);
    float ex = static_cast<float>(x2), ey = static_cast<float>(y2);
    // The end point is left out: the end moves a tenth of a pixel toward the start.
    if (x1 == x2) ey += y1 < y2 ? -0.1f : 0.1f;
    if (y1 == y2) ex += x1 < x2 ? -0.1f : 0.1f;
    auto* v = reinterpret_cast<Vertex2D*>(AppendVertices(V_D3DPT_LINELIST, 2));
    float z = g_DrawSettings.vertexZ;
    v[0] = {static_cast<float>(x1), static_cast<float>(y1), z, 1.0f, c};
    v[1] = {ex, ey, z, 1.0f, c};
    return 0;
}
