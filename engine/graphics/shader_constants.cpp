// Shader constants: the library's registers kept in a local copy and sent while programmable
// shaders are on, derived from the fixed-function state (view, projection, fog, lights, material).
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "graphics/device.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"

ShaderState g_ShaderState;

namespace {

void TransformPosition(float out[4], const V_D3DVECTOR& v, const V_D3DMATRIX& m) {
    for (int c = 0; c < 3; ++c)
        out[c] = v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c] + m.m[3][c];
    out[3] = 1.0f;
}

void TransformDirection(float out[4], const V_D3DVECTOR& v, const V_D3DMATRIX& m) {
    for (int c = 0; c < 3; ++c) out[c] = v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c];
    out[3] = 0.0f;
}

const V_D3DMATRIX& ViewMatrix() {
    static const V_D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    return g_ShaderState.viewSet ? g_ShaderState.view : kIdentity;
}

void SendTransposed(int start, const V_D3DMATRIX& matrix) {
    float rows[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) rows[r][c] = matrix.m[c][r];
    SetVSConstants(start, &rows[0][0], 4);
}

void SendLightPlacement(int n, const V_D3DLIGHT9& light) {
    float placement[2][4];
    TransformPosition(placement[0], light.Position, ViewMatrix());
    TransformDirection(placement[1], light.Direction, ViewMatrix());
    SetVSConstants(14 + 7 * n, &placement[0][0], 2);
}

void Multiply(float out[4], const V_D3DCOLORVALUE& a, const V_D3DCOLORVALUE& b) {
    MakeFloat4(out, a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a);
}

int LightKind(int n, bool pixel) {
    if (!g_RenderStates.lighting || !g_RenderStates.lightEnabled[n]) return 0;
    uint32_t type = g_RenderStates.lights[n].Type;
    if (!pixel) return static_cast<int>(type);
    return type == V_D3DLIGHT_DIRECTIONAL ? 2 : (type == V_D3DLIGHT_POINT || type == V_D3DLIGHT_SPOT);
}

}  // namespace

void SetVSConstants(int start, const float* data, int count) {
    if (start < 0 || count <= 0 || start + count > kVertexConstantCount) return;
    V_IDirect3DDevice9* device = GetDevice();
    if (g_ShaderState.programmable && device != nullptr) {
        if (g_ShaderState.callerSetOn) SwitchShaderConstantSet(0);
        device->SetVertexShaderConstantF(start, data, count);
    }
    std::memcpy(g_ShaderState.vertexConstants[start], data, sizeof(float) * 4 * count);
}

void SetPSConstants(int start, const float* data, int count) {
    if (start < 0 || count <= 0 || start + count > kPixelConstantCount) return;
    V_IDirect3DDevice9* device = GetDevice();
    if (g_ShaderState.programmable && device != nullptr) {
        if (g_ShaderState.callerSetOn) SwitchShaderConstantSet(0);
        device->SetPixelShaderConstantF(start, data, count);
    }
    std::memcpy(g_ShaderState.pixelConstants[start], data, sizeof(float) * 4 * count);
}

void SwitchShaderConstantSet(int callerSet) {
    V_IDirect3DDevice9* device = GetDevice();
    if (!g_ShaderState.programmable || device == nullptr) return;
    if ((callerSet != 0) == (g_ShaderState.callerSetOn != 0)) return;
    g_ShaderState.callerSetOn = callerSet != 0;
    if (callerSet) {
        const SavedConstantRange* r = g_ShaderState.savedRanges;
        if (r[0].count) device->SetVertexShaderConstantF(r[0].start, static_cast<float*>(r[0].data), r[0].count);
        if (r[1].count) device->SetVertexShaderConstantI(r[1].start, static_cast<int*>(r[1].data), r[1].count);
        if (r[2].count) device->SetVertexShaderConstantB(r[2].start, static_cast<V_BOOL*>(r[2].data), r[2].count);
        if (r[3].count) device->SetPixelShaderConstantF(r[3].start, static_cast<float*>(r[3].data), r[3].count);
        if (r[4].count) device->SetPixelShaderConstantI(r[4].start, static_cast<int*>(r[4].data), r[4].count);
        if (r[5].count) device->SetPixelShaderConstantB(r[5].start, static_cast<V_BOOL*>(r[5].data), r[5].count);
    } else {
        device->SetVertexShaderConstantF(0, &g_ShaderState.vertexConstants[0][0], kVertexConstantCount);
        device->SetPixelShaderConstantF(0, &g_ShaderState.pixelConstants[0][0], kPixelConstantCount);
    }
}

void SetDefaultShaderConstants() {
    float c0[4];
    SetVSConstants(0, MakeFloat4(c0, 0.0f, 1.0f, 0.0f, 0.0f), 1);
    SetPSConstants(0, MakeFloat4(c0, 0.0f, 0.5f, 1.0f, 2.0f), 1);
}

void UpdateShaderSelection() {
    if (!g_ShaderState.programmable) return;
    int lighting = g_RenderStates.lighting ? 1 : 0;
    int any = lighting && (g_RenderStates.lightEnabled[0] || g_RenderStates.lightEnabled[1] ||
                           g_RenderStates.lightEnabled[2]);
    int fog = g_RenderStates.fogEnable ? static_cast<int>(g_RenderStates.fogMode) : 0;
    int t0 = LightKind(0, false), t1 = LightKind(1, false), t2 = LightKind(2, false);
    int p0 = LightKind(0, true), p1 = LightKind(1, true), p2 = LightKind(2, true);
    g_ShaderState.vertexSelection =
        8 * (t2 + 4 * (t1 + 4 * (t0 + 4 * (fog + 8 * (any + 6 * lighting)))));
    g_ShaderState.pixelSelection = 8 * (p2 + 3 * (p1 + 3 * (p0 + 6 * (any + 4 * lighting))));
}

void UpdateLightColorConstants() {
    const V_D3DMATERIAL9& material = g_RenderStates.material;
    float color[4];
    for (int n = 0; n < 4; ++n) {
        if (!g_RenderStates.lightEnabled[n]) continue;
        Multiply(color, g_RenderStates.lights[n].Ambient, material.Ambient);
        SetVSConstants(18 + 7 * n, color, 1);
        SetPSConstants(11 + 3 * n, color, 1);
    }
    const float* ambient = g_RenderStates.ambient;
    MakeFloat4(color, ambient[0] * material.Ambient.r + material.Emissive.r,
               ambient[1] * material.Ambient.g + material.Emissive.g,
               ambient[2] * material.Ambient.b + material.Emissive.b,
               ambient[3] * material.Ambient.a + material.Emissive.a);
    SetVSConstants(1, color, 1);
    SetPSConstants(1, color, 1);
}

int SetDeviceViewTransform(const V_D3DMATRIX* view) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    device->SetTransform(V_D3DTS_VIEW, view);
    g_ShaderState.view = *view;
    g_ShaderState.viewSet = 1;
    SendTransposed(6, *view);
    for (int n = 0; n < 4; ++n) SendLightPlacement(n, g_RenderStates.lights[n]);
    return 0;
}

int SetDeviceProjection(const V_D3DMATRIX* matrix) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    device->SetTransform(V_D3DTS_PROJECTION, matrix);
    SendTransposed(2, *matrix);
    return 0;
}

int SetDeviceLight(int index, const V_D3DLIGHT9* light) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    if (index >= 0 && index < kMaxLights) {
        g_RenderStates.lights[index] = *light;
        g_RenderStates.lightUsed[index] = 1;
    }
    if (index >= 0 && index < 4) {
        SendLightPlacement(index, *light);
        float rest[5][4];
        std::memcpy(rest[0], &light->Diffuse, sizeof rest[0]);
        std::memcpy(rest[1], &light->Specular, sizeof rest[1]);
        std::memcpy(rest[2], &light->Ambient, sizeof rest[2]);
        MakeFloat4(rest[3], light->Range * light->Range, light->Falloff, light->Attenuation0,
                   light->Attenuation1);
        float sine, cosTheta, cosPhi;
        ComputeSinCos(light->Theta * 0.5f, &sine, &cosTheta);
        ComputeSinCos(light->Phi * 0.5f, &sine, &cosPhi);
        // Equal cone angles have no soft edge: the factor is 0 instead of a division by zero.
        float span = cosTheta - cosPhi;
        MakeFloat4(rest[4], light->Attenuation2, cosPhi, span != 0.0f ? 1.0f / span : 0.0f, 0.0f);
        SetVSConstants(16 + 7 * index, &rest[0][0], 5);
        SetPSConstants(9 + 3 * index, &rest[0][0], 3);
        UpdateLightColorConstants();
        if (g_ShaderState.programmable) {
            V_BOOL kinds[2] = {light->Type == V_D3DLIGHT_POINT || light->Type == V_D3DLIGHT_SPOT,
                               light->Type == V_D3DLIGHT_SPOT};
            SwitchShaderConstantSet(0);
            device->SetVertexShaderConstantB(5 + 3 * index, kinds, 2);
        }
    }
    UpdateShaderSelection();
    return V_FAILED(device->SetLight(static_cast<V_DWORD>(index), light)) ? -1 : 0;
}
