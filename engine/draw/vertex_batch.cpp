// The vertex batch: four static vertex arrays, the flush, the batch set-up and the indexed grid
// strips of free quadrilaterals.
#include "draw/vertex_batch.h"

#include <cstring>
#include <vector>

#include "draw/draw_settings.h"
#include "draw/font.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/screen_env.h"

const VertexTypeRow kVertexTypeTable[4] = {
    {0x44, 20, 3225},
    {0x144, 28, 2340},
    {0x2C4, 40, 1638},
    {0x142, 24, 2730},
};

VertexBatch g_VertexBatch;

namespace {

alignas(16) uint8_t g_Arrays[4][65536];

void SendFvf(uint32_t fvf) {
    if (g_RenderStates.fvf == fvf) return;
    g_RenderStates.fvf = fvf;
    GetDevice()->SetFVF(fvf);
}

void DrawPending3D() {
    VertexBatch& b = g_VertexBatch;
    if (b.count3D == 0) return;
    SendFvf(kVertexTypeTable[3].fvf);
    V_D3DMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
    SetDeviceWorldTransform(&identity);
    GetDevice()->DrawPrimitiveUP(V_D3DPT_TRIANGLELIST, static_cast<V_UINT>(b.count3D / 3),
                                 b.arrays[3], 24);
    SetDeviceWorldTransform(&g_DrawSettings.worldMatrix);
    b.count3D = 0;
    b.write3D = b.arrays[3];
}

void DrawPending() {
    VertexBatch& b = g_VertexBatch;
    // Glyphs stored since the last draw reach their textures first, in one upload each.
    UploadPendingGlyphs();
    const VertexTypeRow& row = kVertexTypeTable[b.type];
    SendFvf(row.fvf);
    GetDevice()->DrawPrimitiveUP(static_cast<uint32_t>(b.primitive),
                                 static_cast<V_UINT>(PrimitiveCount(b.primitive, b.count)),
                                 PlaceAtTargetOrigin(b.arrays[b.type], b.count, row.stride),
                                 row.stride);
}

void ResetBatch() {
    VertexBatch& b = g_VertexBatch;
    b.count3D = 0;
    b.write3D = b.arrays[3];
    b.count = 0;
    b.write = b.arrays[b.type];
    ++b.drawSerial;
}

void FlushHook() { FlushVertexBatch(); }

void DrawIndexList(const uint16_t* indices, int count, int vertexCount,
                   const Vertex2DTex* vertices) {
    UploadPendingGlyphs();
    SendFvf(kVertexTypeTable[1].fvf);
    GetDevice()->DrawIndexedPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 0,
                                        static_cast<V_UINT>(vertexCount),
                                        static_cast<V_UINT>(count - 2), indices,
                                        V_D3DFMT_INDEX16,
                                        PlaceAtTargetOrigin(vertices, vertexCount, 28), 28);
}

}  // namespace

const void* PlaceAtTargetOrigin(const void* vertices, int count, int stride) {
    const int x = g_RenderStates.originX, y = g_RenderStates.originY;
    if ((x == 0 && y == 0) || count <= 0) return vertices;
    static std::vector<uint8_t> moved;
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(stride);
    if (moved.size() < bytes) moved.resize(bytes);
    std::memcpy(moved.data(), vertices, bytes);
    for (int i = 0; i < count; ++i) {
        float position[2];
        uint8_t* at = moved.data() + static_cast<size_t>(i) * static_cast<size_t>(stride);
        std::memcpy(position, at, sizeof position);
        position[0] += static_cast<float>(x);
        position[1] += static_cast<float>(y);
        std::memcpy(at, position, sizeof position);
    }
    return moved.data();
}

int PrimitiveCount(int primitive, int n) {
    switch (primitive) {
        case V_D3DPT_POINTLIST: return n;
        case V_D3DPT_LINELIST: return n / 2;
        case V_D3DPT_LINESTRIP: return n - 1;
        case V_D3DPT_TRIANGLELIST: return n / 3;
        case V_D3DPT_TRIANGLESTRIP:
        case V_D3DPT_TRIANGLEFAN: return n - 2;
        default: return 0;
    }
}

int CurrentVertexType() {
    if (g_RenderStates.texture == nullptr) return 0;
    return g_RenderStates.blendTexture != nullptr ? 2 : 1;
}

uint8_t* AppendVertices(int primitive, int k) {
    VertexBatch& b = g_VertexBatch;
    DrawPending3D();
    int type = CurrentVertexType();
    if (b.count != 0) {
        int capacity = kVertexTypeTable[b.type].capacity;
        bool full = k == 6 ? b.count + 6 >= capacity : b.count + k > capacity;
        if (b.primitive != primitive || full || b.type != type) {
            // Like any flush: nothing is drawn once quitting or while drawing is suppressed.
            if (!IsLibraryQuitting() && !g_RenderStates.threshold255) {
                if (!g_RenderStates.sceneOpen) BeginDeviceScene();
                DrawPending();
            }
            b.count = 0;
            ++b.drawSerial;
        }
    }
    if (b.count == 0) {
        b.type = type;
        b.write = b.arrays[type];
    }
    b.primitive = primitive;
    uint8_t* out = b.write;
    b.write += static_cast<size_t>(k) * kVertexTypeTable[type].stride;
    b.count += k;
    return out;
}

int FlushVertexBatch() {
    VertexBatch& b = g_VertexBatch;
    if (GetDevice() == nullptr) return -1;
    if (b.arrays[0] == nullptr) return 0;  // not set up yet
    if (b.count != 0 || b.count3D != 0) {
        if (!IsLibraryQuitting()) {
            if (!g_RenderStates.sceneOpen) BeginDeviceScene();
            if (!g_RenderStates.threshold255) {
                DrawPending3D();
                if (b.count != 0) DrawPending();
            }
        }
    }
    ResetBatch();
    return 0;
}

int SetupVertexBatch() {
    VertexBatch& b = g_VertexBatch;
    for (int t = 0; t < 4; ++t) b.arrays[t] = g_Arrays[t];
    for (int i = 0; i < kVertexTypeTable[0].capacity; ++i) {
        auto* v = reinterpret_cast<Vertex2D*>(g_Arrays[0]) + i;
        v->z = 0.0f;
        v->rhw = 1.0f;
    }
    for (int i = 0; i < kVertexTypeTable[1].capacity; ++i) {
        auto* v = reinterpret_cast<Vertex2DTex*>(g_Arrays[1]) + i;
        v->z = 0.0f;
        v->rhw = 1.0f;
    }
    for (int i = 0; i < kVertexTypeTable[2].capacity; ++i) {
        auto* v = reinterpret_cast<Vertex2DBlend*>(g_Arrays[2]) + i;
        v->z = 0.0f;
        v->rhw = 1.0f;
        v->specular = 0xFFFFFFFF;
    }
    DrawSettings& s = g_DrawSettings;
    for (int i = 0; i < kStageCount; ++i) {
        if (s.addressU[i] == 0) s.addressU[i] = 3;
        if (s.addressV[i] == 0) s.addressV[i] = 3;
    }
    g_FlushVertexBatch = FlushHook;
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    for (int i = 0; i < kStageCount; ++i) {
        device->SetSamplerState(i, V_D3DSAMP_ADDRESSU, static_cast<V_DWORD>(s.addressU[i]));
        device->SetSamplerState(i, V_D3DSAMP_ADDRESSV, static_cast<V_DWORD>(s.addressV[i]));
        g_RenderStates.addressU[i] = static_cast<uint32_t>(s.addressU[i]);
        g_RenderStates.addressV[i] = static_cast<uint32_t>(s.addressV[i]);
    }
    // Culling off, as the cached cull setting (0) says: mirrored and turned quads are drawn.
    device->SetRenderState(V_D3DRS_CULLMODE, V_D3DCULL_NONE);
    device->SetRenderState(V_D3DRS_SPECULARENABLE, 1);
    b.specularEnable = 1;
    device->SetRenderState(V_D3DRS_SHADEMODE, 1);
    g_RenderStates.shadeMode = 1;
    ResetBatch();
    b.count = 0;
    b.type = 1;
    b.write = b.arrays[1];
    g_RenderStates.threshold255 = 0;
    // Every cached state goes to the new device, whatever an earlier device was sent.
    ReapplyRenderStates();
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    PrepareDrawState(nullptr, nullptr, 0);
    if (g_RenderStates.blendDirty || g_RenderStates.stageDirty)
        ApplyTextureBlendState(1, nullptr, 0);
    // One black, fully transparent point at the top-left pixel opens the batch.
    auto* point = reinterpret_cast<Vertex2D*>(AppendVertices(V_D3DPT_POINTLIST, 1));
    point->x = 0.0f;
    point->y = 0.0f;
    point->z = 0.0f;
    return 0;
}

int DrawVertexGridStrip(int columns, const Vertex2DTex* vertices, int rows) {
    if (GetDevice() == nullptr) return 0;
    if (columns < 2 || rows < 2) return -1;
    // A band of more than 499 columns cannot fit the index list.
    if (2 * columns + 2 > 1000) return -1;
    FlushVertexBatch();
    uint16_t indices[1000];
    int count = 0;
    int vertex = 0;
    int vertexCount = columns * rows;
    for (int band = 0; band <= rows - 2; ++band) {
        if (count + 2 * columns + 2 > 1000) {
            DrawIndexList(indices, count, vertexCount, vertices);
            count = 0;
        } else if (count != 0) {
            indices[count++] = static_cast<uint16_t>(vertex + columns);
        }
        for (int c = 0; c < columns; ++c) {
            indices[count++] = static_cast<uint16_t>(vertex + columns);
            indices[count++] = static_cast<uint16_t>(vertex);
            ++vertex;
        }
        if (band != rows - 2) {
            indices[count] = indices[count - 1];
            ++count;
        }
    }
    if (count != 0) DrawIndexList(indices, count, vertexCount, vertices);
    return 0;
}
