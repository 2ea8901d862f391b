// Public setters of the draw settings that reach the device: blend mode, brightness, filter,
// draw area and fog.
#include <utility>

#include "core/library_state.h"
#include "draw/draw_settings.h"
#include "graphics/camera.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/render_state.h"

namespace {

int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

bool OnDevice() { return g_ScreenSettings.useDirect3D != 0; }

// The size that bounds the draw area: the screen's for the screen targets, else the draw-target
// graph's; -1 when the target is no longer a graph.
int GetDrawTargetSize(int* width, int* height) {
    const int target = g_DrawSettings.drawTarget;
    if (target == -4 || target == -2 || target == -3 || target == -5)
        return GetScreenSize(width, height);
    return GetGraphSize(target, width, height);
}

}  // namespace

uint32_t ComputeDrawColor() {
    uint32_t alpha = g_DrawSettings.blendMode != 0
                         ? static_cast<uint32_t>(g_DrawSettings.blendParameter)
                         : 255u;
    return (alpha << 24) | (g_DrawSettings.brightColor & 0x00FFFFFF);
}

int SetBlendMode(int mode, int parameter) {
    int clamped = Clamp255(parameter);
    if (g_DrawSettings.blendMode == mode && g_DrawSettings.blendParameter == clamped) return 0;
    g_DrawSettings.blendMode = mode;
    g_DrawSettings.blendParameter = clamped;
    if (OnDevice()) g_DrawSettings.drawColor = ComputeDrawColor();
    return 0;
}

int SetDrawBrightness(int red, int green, int blue) {
    uint32_t rgb = (static_cast<uint32_t>(Clamp255(red)) << 16) |
                   (static_cast<uint32_t>(Clamp255(green)) << 8) |
                   static_cast<uint32_t>(Clamp255(blue));
    return SetDrawBrightnessPacked(rgb);
}

int SetDrawBrightnessPacked(uint32_t rgb) {
    rgb &= 0x00FFFFFF;
    if (g_DrawSettings.brightColor == rgb) return 0;
    g_DrawSettings.brightColor = rgb;
    if (OnDevice()) g_DrawSettings.drawColor = ComputeDrawColor();
    return 0;
}

int SetDrawFilterMode(int mode) {
    if (g_DrawSettings.drawMode == mode) return 0;
    g_DrawSettings.drawMode = mode;
    if (OnDevice()) SetDeviceTextureFilter(mode);
    return 0;
}

int SetDrawArea(int x1, int y1, int x2, int y2) {
    g_DrawSettings.requestedArea = {x1, y1, x2, y2};
    int width, height;
    if (GetDrawTargetSize(&width, &height) != 0) return -1;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    auto clamp = [](int v, int limit) { return v < 0 ? 0 : v > limit ? limit : v; };
    x1 = clamp(x1, width);
    x2 = clamp(x2, width);
    y1 = clamp(y1, height);
    y2 = clamp(y2, height);
    g_DrawSettings.drawArea = {x1, y1, x2, y2};
    g_DrawSettings.drawAreaF[0] = static_cast<float>(x1);
    g_DrawSettings.drawAreaF[1] = static_cast<float>(y1);
    g_DrawSettings.drawAreaF[2] = static_cast<float>(x2);
    g_DrawSettings.drawAreaF[3] = static_cast<float>(y2);
    if (x1 == x2 || y1 == y2) {
        g_DrawSettings.drawAreaEmpty = 1;
        return 0;
    }
    g_DrawSettings.drawAreaEmpty = 0;
    if (!OnDevice()) return 0;
    if (GetDevice() == nullptr) return -1;
    SetDeviceDrawArea(g_DrawSettings.drawArea);
    // The projection maps into the draw area: undo the area's own screen-space mapping.
    const float areaWidth = static_cast<float>(x2 - x1);
    const float areaHeight = static_cast<float>(y2 - y1);
    Matrix4 area;
    MakeViewportMatrix(&area, static_cast<float>(x1) + 0.5f * areaWidth,
                       static_cast<float>(y1) + 0.5f * areaHeight, areaWidth, areaHeight);
    InvertMatrix(reinterpret_cast<Matrix4*>(&g_DrawSettings.viewportInverse), &area);
    SendProjectionProduct();
    return 0;
}

int SetFogMode(int mode) {
    bool deviceSame = !OnDevice() || g_RenderStates.fogMode == static_cast<uint32_t>(mode);
    if (g_DrawSettings.fogMode == mode && deviceSame) return 0;
    FlushPendingVertices();
    g_DrawSettings.fogMode = mode;
    if (OnDevice()) SetDeviceFogMode(static_cast<uint32_t>(mode));
    return 0;
}

int SetFogColor(int red, int green, int blue) {
    uint32_t color = 0xFF000000u | (static_cast<uint32_t>(red & 255) << 16) |
                     (static_cast<uint32_t>(green & 255) << 8) | static_cast<uint32_t>(blue & 255);
    bool deviceSame = !OnDevice() || g_RenderStates.fogColor == color;
    if (g_DrawSettings.fogColor == color && deviceSame) return 0;
    FlushPendingVertices();
    g_DrawSettings.fogColor = color;
    if (OnDevice()) SetDeviceFogColor(color);
    return 0;
}

int SetFogRange(float start, float end) {
    bool deviceSame =
        !OnDevice() || (g_RenderStates.fogStart == start && g_RenderStates.fogEnd == end);
    if (g_DrawSettings.fogStart == start && g_DrawSettings.fogEnd == end && deviceSame) return 0;
    FlushPendingVertices();
    g_DrawSettings.fogStart = start;
    g_DrawSettings.fogEnd = end;
    if (OnDevice()) SetDeviceFogRange(start, end);
    return 0;
}

int SetUseHardware(int on) {
    if (g_Library.initialised.load() != 0) return -1;
    g_ScreenSettings.softwareForced = on == 0;
    return 0;
}
