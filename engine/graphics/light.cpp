// Light handles, their assignment to device lights, and the cached material and ambient colour.
#include "graphics/light.h"

#include <cmath>
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"

LightTable g_LightTable;

namespace {

LightRecord* FindLight(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kLightHandleKind) return nullptr;
    int slot = handle & 0xFFFF;
    if (slot >= kLightSlots) return nullptr;
    LightRecord* record = g_LightTable.slots[slot];
    if (record == nullptr || record->check != ((static_cast<uint32_t>(handle) >> 16) & 0x7FF))
        return nullptr;
    return record;
}

void FillDefaults(V_D3DLIGHT9* light) {
    *light = {};
    light->Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light->Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    light->Ambient = {0.33f, 0.33f, 0.33f, 0.33f};
    light->Range = 2000.0f;
    light->Falloff = 1.0f;
    light->Attenuation0 = 0.1f;
    light->Theta = 2.0f;
    light->Phi = 2.0f;
}

}  // namespace

int CreateLight() {
    int slot = g_LightTable.high;
    if (slot >= kLightSlots) {
        slot = 0;
        while (slot < kLightSlots && g_LightTable.slots[slot] != nullptr) ++slot;
        if (slot == kLightSlots) return -1;  // the table is full
    }
    auto* record = static_cast<LightRecord*>(VELK_ALLOC_ZEROED(sizeof(LightRecord)));
    if (record == nullptr) {
        WriteLog("ライト用のメモリの確保に失敗しました\n");
        return -1;
    }
    FillDefaults(&record->light);
    record->deviceIndex = -1;
    record->check = g_LightTable.checkCounter;
    if (++g_LightTable.checkCounter > 2047) g_LightTable.checkCounter = 0;
    record->handle = static_cast<int32_t>(((record->check | 0x6000u) << 16) | static_cast<uint32_t>(slot));
    g_LightTable.slots[slot] = record;
    ++g_LightTable.count;
    if (slot == g_LightTable.high) ++g_LightTable.high;
    record->enabled = 1;
    record->changed = 1;
    g_LightTable.dirty = 1;
    return record->handle;
}

int MakeLightDirectional(float x, float y, float z) {
    int handle = CreateLight();
    LightRecord* record = FindLight(handle);
    if (record == nullptr) return -1;
    record->light.Type = V_D3DLIGHT_DIRECTIONAL;
    float length = std::sqrt(x * x + y * y + z * z);
    // A zero vector has no direction: it is kept as zero instead of dividing by zero.
    if (length > 0.0f) record->light.Direction = {x / length, y / length, z / length};
    return handle;
}

int DeleteLight(int handle) {
    LightRecord* record = FindLight(handle);
    if (record == nullptr) return -1;
    int slot = handle & 0xFFFF;
    if (record->deviceIndex != -1) g_LightTable.dirty = 1;
    --g_LightTable.count;
    if (slot == g_LightTable.high - 1 && g_LightTable.count == 0) g_LightTable.high = 0;
    FreeMemory(record);
    g_LightTable.slots[slot] = nullptr;
    g_LightTable.dirty = 1;
    return 0;
}

int DeleteAllLights() {
    for (int i = 0; i < g_LightTable.high && i < kLightSlots; ++i) {
        LightRecord* record = g_LightTable.slots[i];
        if (record != nullptr && record->handle != g_LightTable.defaultLight)
            DeleteLight(record->handle);
    }
    return 0;
}

int ApplyLights() {
    SetDeviceLighting(g_DrawSettings.lightingOff ? 0 : 1);
    if (!g_LightTable.dirty && !g_LightTable.reapply) return 0;
    int previousHighest = g_LightTable.highestDeviceIndex;
    int next = 0;
    int highest = -1;
    int seen = 0;
    for (int slot = 0; slot < kLightSlots && seen < g_LightTable.count; ++slot) {
        LightRecord* record = g_LightTable.slots[slot];
        if (record == nullptr) continue;
        ++seen;
        if (!record->enabled) continue;
        if (record->deviceIndex != next || record->changed || g_LightTable.reapply) {
            record->deviceIndex = next;
            record->changed = 0;
            SetDeviceLightSlot(next, 1, &record->light);
        }
        highest = next;
        ++next;
    }
    for (int i = highest + 1; i <= previousHighest; ++i) SetDeviceLightSlot(i, 0, nullptr);
    g_LightTable.nextDeviceIndex = next;
    g_LightTable.highestDeviceIndex = highest;
    g_LightTable.dirty = 0;
    g_LightTable.reapply = 0;
    return 0;
}

int SetDeviceLightSlot(int index, int on, const V_D3DLIGHT9* light) {
    if (GetDevice() == nullptr) return 0;
    if (on && light != nullptr) SetDeviceLight(index, light);
    return EnableDeviceLight(index, on);
}

int EnableDeviceLight(int index, int on) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    if (index >= 0 && index < kMaxLights) {
        g_RenderStates.lightEnabled[index] = on != 0;
        if (on && index > g_RenderStates.highestLight) g_RenderStates.highestLight = index;
        if (!on && index == g_RenderStates.highestLight) {
            int lower = index - 1;
            while (lower >= 0 && !g_RenderStates.lightEnabled[lower]) --lower;
            g_RenderStates.highestLight = lower < 0 ? 0 : lower;
        }
        UpdateLightColorConstants();
    }
    if (g_ShaderState.programmable && index >= 0 && index < 4) {
        V_BOOL state = on != 0;
        SwitchShaderConstantSet(0);
        device->SetVertexShaderConstantB(4 + 3 * index, &state, 1);
    }
    UpdateShaderSelection();
    return V_FAILED(device->LightEnable(static_cast<V_DWORD>(index), on != 0)) ? -1 : 0;
}

int SetDeviceMaterial(const V_D3DMATERIAL9* material) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    if (!g_RenderStates.force &&
        std::memcmp(&g_RenderStates.material, material, sizeof(V_D3DMATERIAL9)) == 0)
        return 0;
    FlushPendingVertices();
    g_RenderStates.material = *material;
    float vectors[3][4];
    std::memcpy(vectors[0], &material->Diffuse, sizeof vectors[0]);
    std::memcpy(vectors[1], &material->Specular, sizeof vectors[1]);
    MakeFloat4(vectors[2], material->Power, 0.0f, 0.0f, 0.0f);
    if (g_ShaderState.programmable) {
        SwitchShaderConstantSet(0);
        device->SetVertexShaderConstantF(11, &vectors[0][0], 3);
        SwitchShaderConstantSet(0);
        device->SetPixelShaderConstantF(2, &vectors[0][0], 3);
    }
    std::memcpy(g_ShaderState.materialVertexCopy, vectors, sizeof vectors);
    std::memcpy(g_ShaderState.materialPixelCopy, vectors, sizeof vectors);
    UpdateLightColorConstants();
    return V_FAILED(device->SetMaterial(material)) ? -1 : 0;
}

int SetAmbientColor(uint32_t argb) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    MakeFloat4(g_RenderStates.ambient, ((argb >> 16) & 255) / 255.0f, ((argb >> 8) & 255) / 255.0f,
               (argb & 255) / 255.0f, (argb >> 24) / 255.0f);
    UpdateLightColorConstants();
    return V_FAILED(device->SetRenderState(V_D3DRS_AMBIENT, argb)) ? -1 : 0;
}
