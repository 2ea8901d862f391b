// Light handles and their assignment to the device's numbered lights, the device-side light,
// material and ambient setters.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

constexpr int kLightSlots = 4096;
constexpr int32_t kLightHandleKind = 0x60000000;

struct LightRecord {
    uint32_t check;
    int32_t handle;
    V_D3DLIGHT9 light;
    int32_t deviceIndex;  // -1 for none
    uint32_t enabled;
    uint32_t changed;
};

struct LightTable {
    LightRecord* slots[kLightSlots];
    int32_t count;
    int32_t high;
    uint32_t checkCounter;
    int32_t dirty;
    int32_t reapply;
    int32_t nextDeviceIndex;
    int32_t highestDeviceIndex;
    int32_t defaultLight;
};
extern LightTable g_LightTable;

int CreateLight();
int MakeLightDirectional(float x, float y, float z);
int DeleteLight(int handle);
int DeleteAllLights();
int ApplyLights();
int SetDeviceLightSlot(int index, int on, const V_D3DLIGHT9* light);
int EnableDeviceLight(int index, int on);
int SetDeviceMaterial(const V_D3DMATERIAL9* material);
int SetAmbientColor(uint32_t argb);
