// Polygons given as ready vertices: brightness and blend alpha applied, drawn at once on the
// device path.
#include <algorithm>
#include <vector>

#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw.h"
#include "draw/draw_coords.h"
#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/mask.h"
#include "draw/vertex_batch.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/screen_env.h"
#include "movie/movie.h"

int PutPolygonTriangles(Vertex2DTex* vertices, int count, int primitive, int trans, int quadMode,
                        int mirror, int is3D, const GraphRecord* graph) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    FlushVertexBatch();
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    if (g_RenderStates.blendTexture != nullptr) {
        g_RenderStates.blendTexture = nullptr;
        g_RenderStates.blendDirty = 1;
    }
    const GraphFormatDesc* desc = nullptr;
    V_IDirect3DTexture9* texture = nullptr;
    if (graph != nullptr && graph->pieceCount > 0 && graph->pieces[0].piece != nullptr) {
        texture = graph->pieces[0].piece->texture;
        desc = &graph->image->desc;
    }
    uint32_t flags = static_cast<uint32_t>(trans) | (is3D ? 0x0880u : 0u) |
                     (quadMode == 1 ? kDrawSettingsAddress : 0x1078u);
    PrepareDrawState(desc, texture, flags);
    if (quadMode == 1 && graph != nullptr && graph->pieceCount > 0) {
        const PieceCorner* c = graph->pieces[0].corners;
        float left = c[0].u, right = c[3].u, top = c[0].v, bottom = c[3].v;
        if (mirror) std::swap(left, right);
        for (int q = 0; q + 6 <= count; q += 6) {
            Vertex2DTex* v = vertices + q;
            v[0].u = left, v[0].v = top;
            v[1].u = right, v[1].v = top;
            v[2].u = left, v[2].v = bottom;
            v[3].u = right, v[3].v = bottom;
            v[4].u = left, v[4].v = bottom;
            v[5].u = right, v[5].v = top;
        }
    }
    int primitives = PrimitiveCount(primitive, count);
    // A polygon of no primitives draws nothing.
    if (primitives <= 0) return 0;
    if (g_RenderStates.fvf != 0x144) {
        g_RenderStates.fvf = 0x144;
        device->SetFVF(0x144);
    }
    device->DrawPrimitiveUP(static_cast<uint32_t>(primitive), static_cast<V_UINT>(primitives),
                            PlaceAtTargetOrigin(vertices, count, 28), 28);
    return 0;
}

int DrawPolygonList(const PolygonVertex* vertices, int count, int primitive, int graph,
                    int trans, int uvInGraph) {
    if (!IsLibraryUp()) return -1;
    if (vertices == nullptr || count <= 0) return 0;
    GraphRecord* record = nullptr;
    bool device;
    if (graph == -5) {
        device = g_ScreenSettings.useDirect3D != 0;
        uvInGraph = 0;
    } else {
        record = GetGraphRecord(graph);
        if (record == nullptr) return -1;
        device = record->image != nullptr && record->image->desc.textureMode != 0;
        if (!device) uvInGraph = 0;
        if (record->pieceCount == 1 && record->pieces[0].piece != nullptr &&
            record->pieces[0].piece->textureWidth == record->width &&
            record->pieces[0].piece->textureHeight == record->height)
            uvInGraph = 0;
    }
    WaitWhileInactive();
    if (record != nullptr && record->movie != -1) UpdateMovieFrame(record->movie, 0);
    if (!device || GetDevice() == nullptr) return 0;
    float su = 1.0f, sv = 1.0f, ou = 0.0f, ov = 0.0f;
    if (uvInGraph && record->pieceCount > 0 && record->pieces[0].piece != nullptr) {
        const PieceDrawRecord& p = record->pieces[0];
        float tw = static_cast<float>(p.piece->textureWidth);
        float th = static_cast<float>(p.piece->textureHeight);
        su = static_cast<float>(p.width) / tw;
        sv = static_cast<float>(p.height) / th;
        ou = static_cast<float>(p.textureX) / tw;
        ov = static_cast<float>(p.textureY) / th;
    }
    const DrawSettings& s = g_DrawSettings;
    bool copy = (s.brightColor & 0x00FFFFFF) == 0x00FFFFFF &&
                (s.blendMode == 0 || s.blendParameter == 255);
    int alphaRow = s.blendMode == 0 ? 255 : s.blendParameter;
    int br = static_cast<int>((s.brightColor >> 16) & 0xFF);
    int bg = static_cast<int>((s.brightColor >> 8) & 0xFF);
    int bb = static_cast<int>(s.brightColor & 0xFF);
    std::vector<Vertex2DTex> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const PolygonVertex& in = vertices[i];
        uint32_t c = in.colour;
        if (!copy) {
            uint32_t a = GetBrightnessRowsEntry(alphaRow, static_cast<int>(c >> 24));
            uint32_t r = GetBrightnessRowsEntry(br, static_cast<int>((c >> 16) & 0xFF));
            uint32_t g = GetBrightnessRowsEntry(bg, static_cast<int>((c >> 8) & 0xFF));
            uint32_t b = GetBrightnessRowsEntry(bb, static_cast<int>(c & 0xFF));
            c = (a << 24) | (r << 16) | (g << 8) | b;
        }
        out[i] = {in.x, in.y, 0.0f, 1.0f, c, in.u * su + ou, in.v * sv + ov};
    }
    float minX = 100000000.0f, minY = 100000000.0f, maxX = -100000000.0f, maxY = -100000000.0f;
    for (int i = 0; i < count; ++i) {
        minX = std::min(minX, vertices[i].x), maxX = std::max(maxX, vertices[i].x);
        minY = std::min(minY, vertices[i].y), maxY = std::max(maxY, vertices[i].y);
    }
    V_RECT rect{TruncateCoord(minX - 1.0f), TruncateCoord(minY - 1.0f),
                TruncateCoord(maxX + 1.0f), TruncateCoord(maxY + 1.0f)};
    return DrawMasked(rect, [&] {
        if (NeedsSubtractEmulation(true)) {
            SubtractNote note = SubtractBlendPrePass(rect);
            int result = PutPolygonTriangles(out.data(), count, primitive, trans, 0, 0, 0, record);
            SubtractBlendPostPass(rect, note);
            return result;
        }
        return PutPolygonTriangles(out.data(), count, primitive, trans, 0, 0, 0, record);
    });
}
