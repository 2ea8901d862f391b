// Clearing the draw target to the window's background colour.
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"

namespace {

int ClearDeviceTarget(uint32_t rgb) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    FlushPendingVertices();
    EndDeviceScene();
    const GraphRecord* record = GetGraphRecord(g_DrawSettings.drawTarget);
    int originX = 0, originY = 0;
    V_IDirect3DSurface9* surface = GetTargetSurface(record, &originX, &originY);
    if (surface == nullptr) {
        surface = GetScreenTargetSurface();
        record = nullptr;
    }
    if (surface == nullptr) return 0;
    if (record != nullptr) {
        // A graph target is cleared over its own rectangle, which for a sub-graph is a part of
        // its sheet's surface.
        V_RECT own{originX, originY, originX + record->width, originY + record->height};
        device->ColorFill(surface, &own, rgb);
    } else {
        device->ColorFill(surface, nullptr, rgb);
    }
    if (g_GraphicsDevice.depthSurface == nullptr) return 0;
    // The depth buffer is cleared whole, then the viewport goes back to the draw area.
    V_D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    SetViewportRect(0, 0, static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    device->Clear(0, nullptr, V_D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    SetDeviceDrawArea(g_DrawSettings.drawArea);
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
