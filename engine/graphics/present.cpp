// Presenting the finished back picture: through the swap chain on the device path, by a
// bitmap transfer to the window on the software path; and the 32 ms present timer.
#include <cstring>

#include "core/core.h"
#include "core/screen_log.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "platform/gdi/gdi_dib.h"

void ComputePresentRects(PresentRects* rects) {
    int width = 0;
    int height = 0;
    GetScreenSize(&width, &height);
    rects->doubled = (g_ScreenState.doubled || g_DrawSettings.emulation320x240) && width == 640 &&
                     height == 480;
    rects->source = rects->doubled ? V_RECT{0, 0, 320, 240} : V_RECT{0, 0, width, height};
    if (rects->doubled || !IsWindowedMode()) {
        rects->destination = {0, 0, width, height};
        return;
    }
    double scaleX = 1.0;
    double scaleY = 1.0;
    GetPresentWindowScale(&scaleX, &scaleY);
    rects->destination = {0, 0, static_cast<int>(width * scaleX), static_cast<int>(height * scaleY)};
}

void FillScreenBitmapInfo(const MEMIMG* image, V_BITMAPINFO* info, uint32_t* masks) {
    const ColorFormat* format = image->base->colorFormat;
    std::memset(&info->bmiHeader, 0, sizeof(info->bmiHeader));
    info->bmiHeader.biSize = 40;
    // The row length is the image's pitch, so widths that are not multiples of 8 do not shear.
    int bytes = GetMemImgBytesPerPixel(image->base);
    info->bmiHeader.biWidth = image->base->pitch / (bytes > 0 ? bytes : 1);
    info->bmiHeader.biHeight = -image->height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<V_WORD>(format->bitDepth);
    info->bmiHeader.biCompression = V_BI_BITFIELDS;
    masks[0] = format->redMask;
    masks[1] = format->greenMask;
    masks[2] = format->blueMask;
}

namespace {

int PresentSoftware(const PresentRects& rects) {
    const MEMIMG* image = &g_ScreenImages.primary;
    if (!IsMemImgValid(image)) return 0;
    if (GetWaitVSync()) WaitVerticalBlank();
    struct {
        V_BITMAPINFOHEADER header;
        uint32_t masks[3];
    } info{};
    FillScreenBitmapInfo(image, reinterpret_cast<V_BITMAPINFO*>(&info), info.masks);
    const auto* bitmap = reinterpret_cast<const V_BITMAPINFO*>(&info);
    int width = image->width;
    int height = image->height;
    const V_RECT& d = rects.destination;
    if (rects.doubled) {
        TransferDibToWindow(bitmap, image->pixels, 0, 0, 640, 480, 0, 240, 320, 240);
    } else {
        TransferDibToWindow(bitmap, image->pixels, 0, 0, d.right - d.left, d.bottom - d.top, 0, 0,
                            width, height);
    }
    return 0;
}

int PresentDevice(const PresentRects& rects) {
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    FlushPendingVertices();
    EndDeviceScene();
    if (rects.doubled) PrepareSubBackBuffer();
    if (g_GraphicsDevice.subBackBuffer != nullptr) {
        if (rects.doubled) {
            V_RECT destination{0, 0, 640, 480};
            if (V_FAILED(device->StretchRect(g_GraphicsDevice.subBackBuffer, &rects.source,
                                             g_GraphicsDevice.backBuffer, &destination,
                                             V_D3DTEXF_POINT)) &&
                V_FAILED(device->StretchRect(g_GraphicsDevice.subBackBuffer, &rects.source,
                                             g_GraphicsDevice.backBuffer, &destination,
                                             V_D3DTEXF_NONE)))
                return -1;
        } else if (V_FAILED(device->StretchRect(g_GraphicsDevice.subBackBuffer, nullptr,
                                                g_GraphicsDevice.backBuffer, nullptr,
                                                V_D3DTEXF_NONE))) {
            return -1;
        }
    }
    if (g_GraphicsDevice.swapChain != nullptr) {
        V_HRESULT result;
        if (IsWindowedMode() && !rects.doubled) {
            result = g_GraphicsDevice.swapChain->Present(&rects.source, &rects.destination,
                                                         GetDeviceWindow(), nullptr, 0);
        } else {
            result = g_GraphicsDevice.swapChain->Present(nullptr, nullptr, GetDeviceWindow(),
                                                         nullptr, 0);
        }
        if (V_FAILED(result)) return -1;
    }
    return 0;
}

// Draws the on-screen log over the picture in white at blend mode 0, over the whole screen; the
// draw area, blend mode and bright colour are put back afterwards.
void DrawScreenLogOver() {
    DrawSettings& s = g_DrawSettings;
    V_RECT area = s.requestedArea;
    int mode = s.blendMode;
    int parameter = s.blendParameter;
    uint32_t bright = s.brightColor;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    SetDrawArea(0, 0, width, height);
    SetBlendMode(0, 0);
    if ((bright & 0x00FFFFFF) != 0x00FFFFFF) SetDrawBrightness(255, 255, 255);
    DrawScreenLog();
    SetDrawArea(area.left, area.top, area.right, area.bottom);
    SetBlendMode(mode, parameter);
    SetDrawBrightnessPacked(bright & 0x00FFFFFF);
}

}  // namespace

int PresentScreen() {
    if (!IsLibraryUp() || IsLibraryQuitting() || !g_ScreenSettings.initialised) return -1;
    if (IsScreenLogActive()) DrawScreenLogOver();
    PresentRects rects;
    ComputePresentRects(&rects);
    if (!g_ScreenSettings.useDirect3D || g_GraphicsDevice.device == nullptr)
        return PresentSoftware(rects);
    return PresentDevice(rects);
}

int PrepareSubBackBuffer() {
    if (g_GraphicsDevice.subBackBuffer != nullptr) return 0;
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (device == nullptr) return -1;
    FlushPendingVertices();
    EndDeviceScene();
    if (CreateSubBackBuffer() != 0) return -1;
    device->StretchRect(g_GraphicsDevice.backBuffer, nullptr, g_GraphicsDevice.subBackBuffer,
                        nullptr, V_D3DTEXF_NONE);
    if (g_RenderStates.force || g_DrawSettings.drawTarget < 0)
        SetRenderTargetSurface(g_GraphicsDevice.subBackBuffer);
    return 0;
}

int PresentDeviceOnce() {
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (!g_ScreenSettings.useDirect3D || device == nullptr) return 0;
    FlushPendingVertices();
    EndDeviceScene();
    return V_FAILED(device->Present(nullptr, nullptr, nullptr, nullptr)) ? -1 : 0;
}

int RefreshScreen(const V_RECT*) {
    if (!IsWindowedMode() && g_ScreenSettings.useDirect3D) PrepareSubBackBuffer();
    return PresentScreen();
}

void PresentTimerProc(V_HWND, V_UINT, uintptr_t, V_DWORD) {
    ArmPresentTimer(0);
    g_ScreenState.presentTimerArmed = 0;
    if (g_DrawSettings.drawTarget != -4) return;
    RefreshScreen(nullptr);
    ArmPresentTimer(1);
    g_ScreenState.presentTimerArmed = 1;
}
