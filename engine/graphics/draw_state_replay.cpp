// Sends every cached draw state to a re-created device, so that the cache and the device agree
// again. The states the render-state re-apply sends (draw area, texture filter, culling, depth,
// shading, dithering, lighting, the stage set-up) are left to it, called last: each state has
// one sender, so that a fault in it is not hidden by a second one.
#include <cmath>

#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"
#include "graphics/camera.h"
#include "graphics/device.h"
#include "graphics/light.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"
#include "graphics/shader.h"

int RestoreDrawStates() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    RenderStateCache& c = g_RenderStates;
    c.force = 1;
    c.texture = nullptr;
    // Pending vertices were meant for the old device: they are dropped.
    VertexBatch& batch = g_VertexBatch;
    batch.count = 0;
    batch.count3D = 0;
    if (batch.arrays[0] != nullptr) {
        batch.write = batch.arrays[batch.type];
        batch.write3D = batch.arrays[3];
    }
    void (*flush)() = g_FlushVertexBatch;
    g_FlushVertexBatch = nullptr;

    SetDeviceBlendState(c.blendMode, c.alphaTestFlag, c.alphaFlag);
    SetDeviceMaxAnisotropy(static_cast<int>(c.maxAnisotropy));
    for (int stage = 0; stage < kStageCount; ++stage) {
        SetDeviceAddressU(stage, c.addressU[stage]);
        SetDeviceAddressV(stage, c.addressV[stage]);
    }
    for (int stage = 0; stage < kStageCount; ++stage) {
        V_D3DMATRIX matrix = c.textureMatrix[stage];
        SetDeviceTextureTransform(stage, c.textureTransform[stage], &matrix);
    }
    UpdateShaderSelection();
    device->SetRenderState(V_D3DRS_FOGENABLE, c.fogEnable ? 1 : 0);
    SetDeviceFogMode(c.fogMode);
    device->SetRenderState(V_D3DRS_FOGCOLOR, c.fogColor);
    SetDeviceFogRange(c.fogStart, c.fogEnd);
    SetDeviceFogDensity(c.fogDensity);

    DrawSettings& s = g_DrawSettings;
    s.combinedValid = 0;
    UpdateCombinedMatrices();
    device->SetTransform(V_D3DTS_WORLD, &s.worldMatrix);
    s.worldSet = 1;
    SetDeviceViewTransform(&s.viewMatrix);
    s.viewSet = 1;
    // The device projection is the product with the screen-space matrix of the draw target.
    V_D3DMATRIX projection = s.projectionMatrix, screenSpace = s.viewportMatrix;
    SetProjectionMatrix(&projection);
    SetViewportMatrix(&screenSpace);

    V_D3DMATERIAL9 material = c.material;
    SetDeviceMaterial(&material);
    device->SetRenderState(V_D3DRS_SPECULARENABLE, batch.specularEnable);
    device->SetRenderState(V_D3DRS_DIFFUSEMATERIALSOURCE, c.diffuseSource != 0 ? 1 : 0);
    device->SetRenderState(V_D3DRS_SPECULARMATERIALSOURCE, static_cast<int32_t>(c.specularSource) > 0 ? 2 : 0);

    // The kept channels (0..1) back to the word that was set, each rounded to nearest.
    uint32_t ambient = 0;
    const int shifts[4] = {16, 8, 0, 24};
    for (int i = 0; i < 4; ++i)
        ambient |= static_cast<uint32_t>(std::lround(c.ambient[i] * 255.0f)) << shifts[i];
    SetAmbientColor(ambient);

    UpdateShaderSelection();
    // Every light that was set, enabled or not, with its enable state.
    for (int index = 0; index < kMaxLights; ++index) {
        if (!c.lightUsed[index]) continue;
        V_D3DLIGHT9 light = c.lights[index];
        int enabled = c.lightEnabled[index];
        SetDeviceLight(index, &light);
        EnableDeviceLight(index, enabled);
    }

    ResetTexCoordIndices();
    g_FlushVertexBatch = flush;
    ReapplyRenderStates();
    c.force = 0;
    return 0;
}
