// Free quadrilateral with integer corners on the device path: a rectangle goes to the stretched
// builder, a quadrilateral without a blend graph to the float builder, and one under a blend
// graph is drawn piece by piece through two affine maps, each piece a four-vertex strip.
#include <utility>

#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"

namespace {

struct Point {
    float x, y;
};

// Graph pixels to the quadrilateral from one corner: origin, plus the first edge per width and
// the second per height.
struct AffineMap {
    Point origin, perX, perY;
    Point Place(float gx, float gy) const {
        return {origin.x + perX.x * gx + perY.x * gy, origin.y + perX.y * gx + perY.y * gy};
    }
};

template <typename V>
void FillCommon(V* v, const Point* at) {
    for (int i = 0; i < 4; ++i) {
        v[i].x = at[i].x;
        v[i].y = at[i].y;
        v[i].z = g_DrawSettings.vertexZ;
        v[i].rhw = 1.0f;
        v[i].diffuse = g_DrawSettings.drawColor;
    }
}

void SendFvf(V_IDirect3DDevice9* device, uint32_t fvf) {
    if (g_RenderStates.fvf == fvf) return;
    g_RenderStates.fvf = fvf;
    device->SetFVF(fvf);
}

}  // namespace

int PutFreeQuadInt(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                   const GraphRecord* graph, int trans) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    auto f = [](int value) { return static_cast<float>(value); };
    // An upright rectangle goes to the stretched draw; one without width or height is drawn as
    // any other quadrilateral (nothing), as without a blend graph and in software.
    if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4 && x1 != x4 && y1 != y4)
        return PutGraphStretchedQuads(graph, x1, y1, x4, y4, f(x1), f(y1), f(x4), f(y4), trans,
                                      1);
    if (g_DrawSettings.blendGraph == -1)
        return PutFreeQuadTiles(graph, f(x1), f(y1), f(x2), f(y2), f(x3), f(y3), f(x4), f(y4),
                                trans);
    FlushVertexBatch();
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    V_IDirect3DTexture9* first = graph->pieceCount > 0 && graph->pieces[0].piece != nullptr
                                     ? graph->pieces[0].piece->texture
                                     : nullptr;
    PrepareDrawState(&graph->image->desc, first,
                     static_cast<uint32_t>(trans) | kDrawIntegerPlacement);
    float w = f(graph->width), h = f(graph->height);
    // The corners stay where they are given, as in the float builder without a blend graph, so
    // that a quadrilateral covers the same pixels with and without one.
    AffineMap topLeft{{f(x1), f(y1)},
                      {f(x2 - x1) / w, f(y2 - y1) / w},
                      {f(x3 - x1) / h, f(y3 - y1) / h}};
    AffineMap bottomRight{{f(x4), f(y4)},
                          {f(x4 - x3) / w, f(y4 - y3) / w},
                          {f(x4 - x2) / h, f(y4 - y2) / h}};
    const DrawSettings& s = g_DrawSettings;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const PieceDrawRecord& p = graph->pieces[i];
        V_IDirect3DTexture9* texture = p.piece != nullptr ? p.piece->texture : nullptr;
        if (texture != g_RenderStates.texture) {
            SetDeviceTexture(texture);
            ApplyTextureBlendState(1, nullptr, 0);
        }
        Point at[4];
        float u[4], v[4];
        int order[4] = {0, 1, 2, 3};
        for (int c = 0; c < 4; ++c) {
            const PieceCorner& k = p.corners[c];
            at[c] = p.side[c] ? topLeft.Place(k.x, k.y) : bottomRight.Place(k.x - w, k.y - h);
            u[c] = k.u;
            v[c] = k.v;
        }
        float k1 = (at[2].y - at[0].y) * (at[1].x - at[0].x) -
                   (at[1].y - at[0].y) * (at[2].x - at[0].x);
        float k2 = (at[1].y - at[3].y) * (at[2].x - at[3].x) -
                   (at[2].y - at[3].y) * (at[1].x - at[3].x);
        if ((k1 <= 0 && k2 <= 0) || (k1 * k2 < 0 && k1 < 0)) std::swap(order[1], order[2]);
        Point placed[4];
        for (int c = 0; c < 4; ++c) placed[c] = at[order[c]];
        int type = CurrentVertexType();
        if (type == 1) {
            Vertex2DTex out[4];
            FillCommon(out, placed);
            for (int c = 0; c < 4; ++c) out[c].u = u[order[c]], out[c].v = v[order[c]];
            SendFvf(device, kVertexTypeTable[1].fvf);
            device->DrawPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 2,
                                    PlaceAtTargetOrigin(out, 4, kVertexTypeTable[1].stride),
                                    kVertexTypeTable[1].stride);
        } else if (type == 2) {
            Vertex2DBlend out[4];
            FillCommon(out, placed);
            for (int c = 0; c < 4; ++c) {
                const PieceCorner& k = p.corners[order[c]];
                out[c].specular = 0xFFFFFFFF;
                out[c].u2 = k.u;
                out[c].v2 = k.v;
                out[c].u1 = (static_cast<float>(s.texelOffsetU) + k.x) * g_BlendScaleX;
                out[c].v1 = (static_cast<float>(s.texelOffsetV) + k.y) * g_BlendScaleY;
            }
            SendFvf(device, kVertexTypeTable[2].fvf);
            device->DrawPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 2,
                                    PlaceAtTargetOrigin(out, 4, kVertexTypeTable[2].stride),
                                    kVertexTypeTable[2].stride);
        }
    }
    return 0;
}
