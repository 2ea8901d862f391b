// Clearing the draw target to the window's background colour.
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"

namespace {

// The draw target's level-0 surface on the device path.
V_IDirect3DSurface9* TargetSurface() {
    GraphRecord* record = GetGraphRecord(g_DrawSettings.drawTarget);
    if (record != nullptr && record->pieceCount > 0) return record->pieces[0].piece->surface;
    return GetScreenTargetSurface();
}

int ClearDeviceTarget(uint32_t rgb) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    EndDeviceScene();
    V_IDirect3DSurface9* surface = TargetSurface();
    if (surface == nullptr) return 0;
    device->ColorFill(surface, nullptr, rgb);
    if (g_GraphicsDevice.depthSurface == nullptr) return 0;
    // The depth buffer is cleared whole, then the viewport goes back to the draw area.
    V_D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    SetViewportRect(0, 0, static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    device->Clear(0, nullptr, V_D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    const V_RECT& area = g_DrawSettings.drawArea;
    SetViewportRect(area.left, area.top, area.right, area.bottom);
    return 0;
}

}  // namespace

void FillMemImgWithBackground(MEMIMG* image) {
    if (!IsMemImgValid(image)) return;
    const uint32_t rgb = GetBackgroundColorRGB();
    const MemImgBase* base = image->base;
    const ColorFormat* format =
        GetMemImgColorFormat(base->colorType, base->alphaFlag, base->paletteFlag);
    FillMemImgRect(image, nullptr,
                   EncodePixel(format, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 255));
}

int ClearDrawScreen() {
    if (!g_ScreenSettings.initialised) return -1;
    if (g_ScreenSettings.useDirect3D) return ClearDeviceTarget(GetBackgroundColorRGB() & 0x00FFFFFF);
    GraphRecord* record = GetGraphRecord(g_DrawSettings.drawTarget);
    FillMemImgWithBackground(record != nullptr ? &record->view : &g_ScreenImages.primary);
    return 0;
}
