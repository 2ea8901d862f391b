// Cached device setters: each compares with the kept value, flushes pending vertices and sends
// only what changed (everything while the force flag is raised).
#include "graphics/render_state.h"

#include <cstring>

#include "core/core.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/shader.h"

RenderStateCache g_RenderStates;
void (*g_FlushVertexBatch)() = nullptr;

void FlushPendingVertices() {
    if (g_FlushVertexBatch != nullptr) g_FlushVertexBatch();
}

V_IDirect3DDevice9* GetDevice() { return g_GraphicsDevice.device; }

namespace {

bool Unchanged(bool equal) { return equal && g_RenderStates.force == 0; }

// The common rule for a render state kept as one value: compare, flush, send, store.
int SetCachedRenderState(uint32_t* cached, uint32_t value, uint32_t state, int noDevice) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return noDevice;
    if (Unchanged(*cached == value)) return 0;
    FlushPendingVertices();
    *cached = value;
    return V_FAILED(device->SetRenderState(state, value)) ? -1 : 0;
}

uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void SendFogConstant() {
    float c10[4];
    float span = g_RenderStates.fogEnd - g_RenderStates.fogStart;
    MakeFloat4(c10, g_RenderStates.fogEnd / span, -1.0f / span, g_RenderStates.fogDensity,
               2.7182817f);
    SetVSConstants(10, c10, 1);
}

int SetAddress(int stage, uint32_t mode, uint32_t* copies, uint32_t sampler) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (stage > 7) return -1;
    if (stage < 0) {
        bool same = true;
        for (int i = 0; i < kStageCount; ++i) same = same && copies[i] == mode;
        if (Unchanged(same)) return 0;
        FlushPendingVertices();
        int result = 0;
        for (int i = kStageCount - 1; i >= 0; --i) {
            copies[i] = mode;
            if (V_FAILED(device->SetSamplerState(i, sampler, mode))) result = -1;
        }
        return result;
    }
    if (Unchanged(copies[stage] == mode)) return 0;
    FlushPendingVertices();
    copies[stage] = mode;
    return V_FAILED(device->SetSamplerState(stage, sampler, mode)) ? -1 : 0;
}

}  // namespace

float* MakeFloat4(float* out, float a, float b, float c, float d) {
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
    return out;
}

int ReturnZero() { return 0; }

int SetDeviceLighting(int on) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (Unchanged(g_RenderStates.lighting == on)) return 0;
    g_RenderStates.lighting = on;
    UpdateShaderSelection();
    return V_FAILED(device->SetRenderState(V_D3DRS_LIGHTING, static_cast<uint32_t>(on))) ? -1 : 0;
}

int SetDeviceLightingArg(int on) { return SetDeviceLighting(on); }

int SetDeviceTextureFilter(int mode) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    if (Unchanged(g_RenderStates.filterMode == mode)) return 0;
    FlushPendingVertices();
    uint32_t mag, min, mip;
    switch (mode) {
    case 0: mag = V_D3DTEXF_POINT, min = V_D3DTEXF_POINT, mip = V_D3DTEXF_NONE; break;
    case 1: mag = V_D3DTEXF_LINEAR, min = V_D3DTEXF_LINEAR, mip = V_D3DTEXF_NONE; break;
    case 2: mag = V_D3DTEXF_LINEAR, min = V_D3DTEXF_ANISOTROPIC, mip = V_D3DTEXF_LINEAR; break;
    default: return -1;
    }
    g_RenderStates.filterMode = mode;
    int stages = g_RenderStates.current.header.stageCount;
    if (stages < 1) stages = 1;
    if (stages > kStageCount) stages = kStageCount;
    for (int i = 0; i < stages; ++i) {
        if (g_RenderStates.force || g_RenderStates.magFilter[i] != mag) {
            g_RenderStates.magFilter[i] = mag;
            device->SetSamplerState(i, V_D3DSAMP_MAGFILTER, mag);
        }
        if (g_RenderStates.force || g_RenderStates.minFilter[i] != min) {
            g_RenderStates.minFilter[i] = min;
            device->SetSamplerState(i, V_D3DSAMP_MINFILTER, min);
        }
        if (g_RenderStates.force || g_RenderStates.mipFilter[i] != mip) {
            g_RenderStates.mipFilter[i] = mip;
            device->SetSamplerState(i, V_D3DSAMP_MIPFILTER, mip);
        }
    }
    return 0;
}

int SetDeviceMaxAnisotropy(int count) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    uint32_t value = count < 1 ? 1 : static_cast<uint32_t>(count);
    g_RenderStates.maxAnisotropy = value;
    int stages = g_RenderStates.current.header.stageCount;
    if (stages < 1) stages = 1;
    if (stages > kStageCount) stages = kStageCount;
    for (int i = 0; i < stages; ++i) {
        if (Unchanged(g_RenderStates.stageAnisotropy[i] == value)) continue;
        FlushPendingVertices();
        g_RenderStates.stageAnisotropy[i] = value;
        device->SetSamplerState(i, V_D3DSAMP_MAXANISOTROPY, value);
    }
    return 0;
}

int SetDeviceBlendState(int mode, int alphaTest, int alpha) {
    if (GetDevice() == nullptr) return -1;
    if (Unchanged(g_RenderStates.blendMode == mode && g_RenderStates.alphaTestFlag == alphaTest &&
                  g_RenderStates.alphaFlag == alpha))
        return 0;
    FlushPendingVertices();
    g_RenderStates.blendMode = mode;
    g_RenderStates.alphaTestFlag = alphaTest;
    g_RenderStates.alphaFlag = alpha;
    g_RenderStates.blendDirty = 1;
    return 0;
}

int SetDeviceZEnable(int value) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    if (Unchanged(g_RenderStates.zEnable == value)) return 0;
    FlushPendingVertices();
    g_RenderStates.zEnable = value;
    device->SetRenderState(V_D3DRS_ZENABLE, value == 1 ? V_D3DZB_TRUE : V_D3DZB_FALSE);
    return 0;
}

int SetDeviceZWrite(uint32_t value) {
    SetCachedRenderState(&g_RenderStates.zWrite, value, V_D3DRS_ZWRITEENABLE, -1);
    return GetDevice() == nullptr ? -1 : 0;
}

int SetDeviceZFunc(uint32_t value) {
    SetCachedRenderState(&g_RenderStates.zFunc, value, V_D3DRS_ZFUNC, -1);
    return GetDevice() == nullptr ? -1 : 0;
}

int SetDeviceDepthBias(uint32_t value) {
    SetCachedRenderState(&g_RenderStates.depthBias, value, V_D3DRS_DEPTHBIAS, -1);
    return GetDevice() == nullptr ? -1 : 0;
}

int SetDeviceTexture(V_IDirect3DTexture9* texture) {
    if (GetDevice() == nullptr) return -1;
    if (Unchanged(g_RenderStates.texture == texture)) return 0;
    FlushPendingVertices();
    if ((g_RenderStates.texture == nullptr) != (texture == nullptr)) g_RenderStates.blendDirty = 1;
    g_RenderStates.texture = texture;
    g_RenderStates.stageDirty = 1;
    return 0;
}

int SetDeviceDiffuseSource(int value) {
    return SetCachedRenderState(&g_RenderStates.diffuseSource,
                                value != 0 ? V_D3DMCS_COLOR1 : V_D3DMCS_MATERIAL,
                                V_D3DRS_DIFFUSEMATERIALSOURCE, 0);
}

int SetDeviceSpecularSource(int value) {
    return SetCachedRenderState(&g_RenderStates.specularSource,
                                value != 0 ? V_D3DMCS_COLOR2 : V_D3DMCS_MATERIAL,
                                V_D3DRS_SPECULARMATERIALSOURCE, 0);
}

int SetDeviceCullMode(int value) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (Unchanged(g_RenderStates.cullMode == value)) return 0;
    FlushPendingVertices();
    g_RenderStates.cullMode = value;
    uint32_t cull = value == 0 ? V_D3DCULL_NONE : value == 2 ? V_D3DCULL_CW : V_D3DCULL_CCW;
    return V_FAILED(device->SetRenderState(V_D3DRS_CULLMODE, cull)) ? -1 : 0;
}

int SetDeviceAddressU(int stage, uint32_t mode) {
    return SetAddress(stage, mode, g_RenderStates.addressU, V_D3DSAMP_ADDRESSU);
}

int SetDeviceAddressV(int stage, uint32_t mode) {
    return SetAddress(stage, mode, g_RenderStates.addressV, V_D3DSAMP_ADDRESSV);
}

int SetDeviceTextureTransform(int stage, int on, const V_D3DMATRIX* matrix) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr || stage >= kStageCount) return 0;
    int first = stage < 0 ? 0 : stage;
    int last = stage < 0 ? 3 : stage;
    for (int i = first; i <= last; ++i) {
        g_RenderStates.textureMatrix[i] = *matrix;
        if (stage >= 0 && on != 1 && g_RenderStates.textureTransform[i] == 0) continue;
        FlushPendingVertices();
        if (on == 1) {
            if (stage < 0 || g_RenderStates.textureTransform[i] == 0 || g_RenderStates.force)
                device->SetTextureStageState(i, V_D3DTSS_TEXTURETRANSFORMFLAGS, V_D3DTTFF_COUNT3);
            device->SetTransform(V_D3DTS_TEXTURE0 + i, matrix);
        } else {
            device->SetTextureStageState(i, V_D3DTSS_TEXTURETRANSFORMFLAGS, V_D3DTTFF_DISABLE);
        }
        g_RenderStates.textureTransform[i] = on == 1;
    }
    return 0;
}

int SetDeviceFogEnable(int on) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (Unchanged(g_RenderStates.fogEnable == on)) return 0;
    FlushPendingVertices();
    g_RenderStates.fogEnable = on;
    UpdateShaderSelection();
    return V_FAILED(device->SetRenderState(V_D3DRS_FOGENABLE, static_cast<uint32_t>(on))) ? -1 : 0;
}

int SetDeviceFogMode(uint32_t mode) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (Unchanged(g_RenderStates.fogMode == mode)) return 0;
    FlushPendingVertices();
    g_RenderStates.fogMode = mode;
    if (g_ShaderState.programmable) {
        V_BOOL flags[4] = {mode == V_D3DFOG_LINEAR, mode == V_D3DFOG_EXP, mode == V_D3DFOG_EXP2,
                           mode != V_D3DFOG_NONE};
        SwitchShaderConstantSet(0);
        device->SetVertexShaderConstantB(0, flags, 4);
    }
    UpdateShaderSelection();
    return V_FAILED(device->SetRenderState(V_D3DRS_FOGVERTEXMODE, mode)) ? -1 : 0;
}

int SetDeviceFogColor(uint32_t color) {
    return SetCachedRenderState(&g_RenderStates.fogColor, color, V_D3DRS_FOGCOLOR, 0);
}

int SetDeviceFogRange(float start, float end) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    if (!Unchanged(g_RenderStates.fogStart == start)) {
        g_RenderStates.fogStart = start;
        SendFogConstant();
        device->SetRenderState(V_D3DRS_FOGSTART, FloatBits(start));
    }
    if (!Unchanged(g_RenderStates.fogEnd == end)) {
        g_RenderStates.fogEnd = end;
        SendFogConstant();
        device->SetRenderState(V_D3DRS_FOGEND, FloatBits(end));
    }
    return 0;
}

int SetDeviceFogDensity(float density) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (Unchanged(g_RenderStates.fogDensity == density)) return 0;
    FlushPendingVertices();
    g_RenderStates.fogDensity = density;
    SendFogConstant();
    return V_FAILED(device->SetRenderState(V_D3DRS_FOGDENSITY, FloatBits(density))) ? -1 : 0;
}

int SetDeviceViewport(const V_D3DVIEWPORT9* viewport) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    const V_D3DVIEWPORT9& kept = g_RenderStates.viewport;
    if (Unchanged(kept.X == viewport->X && kept.Y == viewport->Y &&
                  kept.Width == viewport->Width && kept.Height == viewport->Height))
        return 0;
    FlushPendingVertices();
    EndDeviceScene();
    V_HRESULT result = device->SetViewport(viewport);
    if (V_FAILED(result)) {
        WriteLogFormat("ビューポートのセットに失敗しました ErrorCode %x\n",
                       static_cast<unsigned>(result));
        return -1;
    }
    g_RenderStates.viewport = *viewport;
    return 0;
}

int SetDeviceScissorRect(const V_RECT* rect) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    const V_RECT& kept = g_RenderStates.scissor;
    if (Unchanged(kept.left == rect->left && kept.top == rect->top && kept.right == rect->right &&
                  kept.bottom == rect->bottom))
        return 0;
    FlushPendingVertices();
    EndDeviceScene();
    g_RenderStates.scissor = *rect;
    return V_FAILED(device->SetScissorRect(rect)) ? -1 : 0;
}

int SetRenderTargetSurface(V_IDirect3DSurface9* surface) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    if (Unchanged(g_RenderStates.renderTarget == surface)) return 0;
    FlushPendingVertices();
    g_RenderStates.renderTarget = surface;
    int result = V_FAILED(device->SetRenderTarget(0, surface)) ? -1 : 0;
    V_D3DSURFACE_DESC desc{};
    if (surface != nullptr) surface->GetDesc(&desc);
    V_D3DVIEWPORT9 whole = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    SetDeviceViewport(&whole);
    // A new render target resets the device's scissor rectangle to the whole surface too.
    g_RenderStates.scissor = {0, 0, static_cast<V_LONG>(desc.Width),
                              static_cast<V_LONG>(desc.Height)};
    return result;
}

int ResetTexCoordIndices() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    for (int i = 0; i < kStageCount; ++i) {
        if (Unchanged(g_RenderStates.current.stages[i].texCoordIndex == i)) continue;
        g_RenderStates.current.stages[i].texCoordIndex = i;
        device->SetTextureStageState(i, V_D3DTSS_TEXCOORDINDEX, static_cast<uint32_t>(i));
    }
    return 0;
}

int SetViewportRect(int x1, int y1, int x2, int y2) {
    V_D3DVIEWPORT9 viewport = {static_cast<V_DWORD>(x1), static_cast<V_DWORD>(y1),
                               static_cast<V_DWORD>(x2 - x1), static_cast<V_DWORD>(y2 - y1), 0.0f,
                               1.0f};
    return SetDeviceViewport(&viewport);
}

int SetDeviceDrawArea(const V_RECT& area) {
    const int x = g_RenderStates.originX, y = g_RenderStates.originY;
    V_D3DVIEWPORT9 viewport{static_cast<V_DWORD>(area.left + x), static_cast<V_DWORD>(area.top + y),
                            static_cast<V_DWORD>(area.right - area.left),
                            static_cast<V_DWORD>(area.bottom - area.top), 0.0f, 1.0f};
    int result = SetDeviceViewport(&viewport);
    V_RECT scissor{area.left + x, area.top + y, area.right + x, area.bottom + y};
    if (SetDeviceScissorRect(&scissor) != 0) result = -1;
    return result;
}

int BeginDeviceScene() {
    if (g_GraphicsDevice.direct3D == nullptr || GetDevice() == nullptr ||
        g_RenderStates.sceneOpen)
        return 0;
    GetDevice()->BeginScene();
    g_RenderStates.sceneOpen = 1;
    for (void*& record : g_RenderStates.currentObjects) record = nullptr;
    return 0;
}

int EndDeviceScene() {
    if (!g_RenderStates.sceneOpen) return 0;
    if (GetDevice() != nullptr) GetDevice()->EndScene();
    g_RenderStates.sceneOpen = 0;
    return 0;
}

int SetDeviceWorldTransform(const V_D3DMATRIX* matrix) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    return V_FAILED(device->SetTransform(V_D3DTS_WORLD, matrix)) ? -1 : 0;
}

void ForgetCurrentDeviceObjects() {
    // A new device holds its own defaults in every texture stage, whatever the old one was last
    // sent: each kept stage value becomes one that no set-up sends, so that the next set-up
    // sends the stage in full, also the stages beyond those the replay reaches.
    for (StageEntry& stage : g_RenderStates.current.stages) {
        stage.texture = kStageTextureUnknown;
        stage.texCoordIndex = kStageIndexUnknown;
        stage.alphaArg1 = stage.alphaArg2 = stage.alphaOp = kStageValueUnknown;
        stage.colorArg1 = stage.colorArg2 = stage.colorOp = kStageValueUnknown;
    }
    g_RenderStates.vertexShader = nullptr;
    g_RenderStates.vertexShaderRecord = nullptr;
    g_RenderStates.pixelShader = nullptr;
    g_RenderStates.fvf = 0;
    for (void*& record : g_RenderStates.currentObjects) record = nullptr;
}

int SetDefaultRenderStates() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    FlushPendingVertices();
    for (int i = 0; i < 4; ++i) {
        device->SetSamplerState(i, V_D3DSAMP_ADDRESSU, g_RenderStates.addressU[i]);
        device->SetSamplerState(i, V_D3DSAMP_ADDRESSV, g_RenderStates.addressV[i]);
    }
    static const int kDefaultTexCoords[4] = {0, 1, 1, 0};
    for (int i = 0; i < 4; ++i) {
        g_RenderStates.current.stages[i].texCoordIndex = kDefaultTexCoords[i];
        device->SetTextureStageState(i, V_D3DTSS_TEXCOORDINDEX,
                                     static_cast<uint32_t>(kDefaultTexCoords[i]));
    }
    device->SetRenderState(V_D3DRS_SHADEMODE, g_RenderStates.shadeMode);
    device->SetRenderState(V_D3DRS_LIGHTING, static_cast<uint32_t>(g_RenderStates.lighting));
    device->SetRenderState(V_D3DRS_CULLMODE, V_D3DCULL_NONE);
    device->SetRenderState(V_D3DRS_DITHERENABLE, V_FALSE);
    SetDefaultShaderConstants();
    if (g_RenderStates.vertexShader != nullptr) {
        device->SetVertexShader(nullptr);
        g_RenderStates.vertexShader = nullptr;
        g_RenderStates.vertexShaderRecord = nullptr;
    }
    if (g_RenderStates.pixelShader != nullptr) {
        device->SetPixelShader(nullptr);
        g_RenderStates.pixelShader = nullptr;
    }
    g_RenderStates.fvf = 0;
    g_RenderStates.currentObjects[1] = nullptr;
    g_RenderStates.currentObjects[2] = nullptr;
    return 0;
}

int ReapplyRenderStates() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    g_RenderStates.force = 1;
    V_D3DVIEWPORT9 viewport = g_RenderStates.viewport;
    SetDeviceViewport(&viewport);
    V_RECT scissor = g_RenderStates.scissor;
    SetDeviceScissorRect(&scissor);
    SetDefaultRenderStates();
    SetDeviceTextureFilter(g_RenderStates.filterMode);
    ApplyTextureBlendState(1, nullptr, 0);
    SetDeviceZEnable(g_RenderStates.zEnable);
    SetDeviceZWrite(g_RenderStates.zWrite);
    SetDeviceZFunc(g_RenderStates.zFunc);
    SetDeviceDepthBias(g_RenderStates.depthBias);
    SetDeviceCullMode(g_RenderStates.cullMode);
    FlushPendingVertices();
    device->SetRenderState(V_D3DRS_SHADEMODE, g_RenderStates.shadeMode);
    g_RenderStates.force = 0;
    return 0;
}
