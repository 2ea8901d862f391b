// Small device queries and operations: screen size and depth, the DirectDraw object, dialog-box
// mode, buffers for the model hooks, the display-mode list and the vertical-blank wait.
#include "core/core.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"

int WaitVerticalBlank() {
    V_IDirectDraw7* directDraw = g_GraphicsDevice.directDraw;
    int interval = g_GraphicsDevice.settings.pacingInterval;
    if (GetMillisecondsSince(g_GraphicsDevice.lastVerticalBlank) >= interval) {
        V_Sleep(0);
        V_BOOL inBlank = V_FALSE;
        if (directDraw != nullptr) directDraw->GetVerticalBlankStatus(&inBlank);
        if (inBlank) {
            g_GraphicsDevice.lastVerticalBlank = GetMilliseconds();
            return g_GraphicsDevice.lastVerticalBlank;
        }
    } else {
        while (GetMillisecondsSince(g_GraphicsDevice.lastVerticalBlank) < interval) V_Sleep(1);
    }
    if (directDraw != nullptr) directDraw->WaitForVerticalBlank(V_DDWAITVB_BLOCKBEGIN, nullptr);
    g_GraphicsDevice.lastVerticalBlank = GetMilliseconds();
    return g_GraphicsDevice.lastVerticalBlank;
}

int GetScreenSize(int* width, int* height) {
    if (width != nullptr) *width = g_ScreenSettings.width != 0 ? g_ScreenSettings.width : 640;
    if (height != nullptr) *height = g_ScreenSettings.height != 0 ? g_ScreenSettings.height : 480;
    return 0;
}

int GetColorBitDepth() { return g_ScreenSettings.colorDepth != 0 ? g_ScreenSettings.colorDepth : 16; }

int IsFullScreen() { return IsWindowedMode() ? 0 : 1; }

V_IDirectDraw7* GetDirectDraw() { return g_GraphicsDevice.directDraw; }

void* ClearDirectDrawCaps(void* caps) {
    FillBytes(caps, 0, V_DDCAPS_SIZE);
    return caps;
}

int RefreshDialogBoxMode(int on) {
    V_IDirect3DDevice9* device = GetDevice();
    if (!g_ScreenSettings.useDirect3D || device == nullptr) return 0;
    device->SetDialogBoxMode(V_FALSE);
    if (on) device->SetDialogBoxMode(V_TRUE);
    return 0;
}

int EndSceneSetDialogBoxMode(int on) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    EndDeviceScene();
    device->SetDialogBoxMode(on != 0);
    return 0;
}

V_IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(V_UINT length, V_DWORD usage, V_DWORD fvf,
                                                   uint32_t pool) {
    V_IDirect3DDevice9* device = GetDevice();
    V_IDirect3DVertexBuffer9* buffer = nullptr;
    if (device == nullptr ||
        V_FAILED(device->CreateVertexBuffer(length, usage, fvf, pool, &buffer, nullptr)))
        return nullptr;
    return buffer;
}

V_IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(V_UINT length, V_DWORD usage,
                                                 V_D3DFORMAT format, uint32_t pool) {
    V_IDirect3DDevice9* device = GetDevice();
    V_IDirect3DIndexBuffer9* buffer = nullptr;
    if (device == nullptr ||
        V_FAILED(device->CreateIndexBuffer(length, usage, format, pool, &buffer, nullptr)))
        return nullptr;
    return buffer;
}

int GetDisplayModeCount() {
    if (g_GraphicsDevice.displayModes == nullptr)
        ListDisplayModes(&g_GraphicsDevice.displayModeCount, &g_GraphicsDevice.displayModes);
    return g_GraphicsDevice.displayModeCount;
}

DisplayModeEntry GetDisplayMode(int index) {
    int count = GetDisplayModeCount();
    if (index < 0 || index >= count || g_GraphicsDevice.displayModes == nullptr)
        return {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    return g_GraphicsDevice.displayModes[index];
}

int IsDisplayModeAvailable(int width, int height, int bits) {
    int count = GetDisplayModeCount();
    for (int i = 0; i < count; ++i) {
        const DisplayModeEntry& mode = g_GraphicsDevice.displayModes[i];
        if (static_cast<int>(mode.width) == width && static_cast<int>(mode.height) == height &&
            static_cast<int>(mode.bits) == bits)
            return 1;
    }
    return 0;
}

void FreeDisplayModeList() {
    if (g_GraphicsDevice.displayModes != nullptr)
        V_HeapFree(V_GetProcessHeap(), 0, g_GraphicsDevice.displayModes);
    g_GraphicsDevice.displayModes = nullptr;
    g_GraphicsDevice.displayModeCount = 0;
}

int GetDisplayMode(int index, int* width, int* height, int* bits) {
    DisplayModeEntry mode = GetDisplayMode(index);
    if (width != nullptr) *width = static_cast<int>(mode.width);
    if (height != nullptr) *height = static_cast<int>(mode.height);
    if (bits != nullptr) *bits = static_cast<int>(mode.bits);
    return mode.width == 0xFFFFFFFFu ? -1 : 0;
}

int GetForceSoftwareFlag() { return g_ScreenSettings.softwareForced; }
int IsDirect3DInUse() { return g_ScreenSettings.useDirect3D; }
int HasDirectDrawObject() { return g_GraphicsDevice.directDraw != nullptr ? 1 : 0; }
