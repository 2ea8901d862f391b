// What the device code needs of the main window, and the display mode on the software path.
#include "core/core.h"
#include "core/window.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "platform/user/user.h"
#include "platform/kernel/kernel.h"

V_HWND GetDeviceWindow() { return g_Window.mainWindow; }
int IsWindowedMode() { return g_Window.settings.windowed; }

uint32_t GetBackgroundColorRGB() {
    uint32_t bgr = g_Window.settings.backgroundColor;  // 0x00BBGGRR
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

namespace {

V_LONG ChangeDisplayTo(V_DEVMODEA* mode, int width, int height, V_DWORD flags) {
    mode->dmPelsWidth = static_cast<V_DWORD>(width);
    mode->dmPelsHeight = static_cast<V_DWORD>(height);
    return V_ChangeDisplaySettingsA(mode, flags);
}

}  // namespace

// The full-screen software path: the display takes the screen's mode, without the refresh rate
// when the rate is refused, and a refused 320 x 240 runs in 640 x 480 with the emulation on.
int ChangeToFullScreenMode() {
    int width, height;
    GetScreenSize(&width, &height);
    int depth = GetColorBitDepth();
    WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ", width, height, depth);
    IncreaseLogIndent();
    if (depth != 16 && depth != 32) {
        DecreaseLogIndent();
        return -1;
    }
    WriteLog("画面解像度を変更します... ");
    V_DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmBitsPerPel = static_cast<V_DWORD>(depth);
    mode.dmFields = V_DM_BITSPERPEL | V_DM_PELSWIDTH | V_DM_PELSHEIGHT;
    if (g_ScreenSettings.refreshRate != 0) {
        mode.dmDisplayFrequency = static_cast<V_DWORD>(g_ScreenSettings.refreshRate);
        mode.dmFields |= V_DM_DISPLAYFREQUENCY;
    }
    bool made = ChangeDisplayTo(&mode, width, height, V_CDS_FULLSCREEN) == V_DISP_CHANGE_SUCCESSFUL;
    if (!made) {
        mode.dmFields &= ~V_DM_DISPLAYFREQUENCY;
        mode.dmDisplayFrequency = 0;
        g_ScreenSettings.refreshRate = 0;
        made = ChangeDisplayTo(&mode, width, height, 0) == V_DISP_CHANGE_SUCCESSFUL;
    }
    if (!made && width == 320 && height == 240) {
        g_ScreenSettings.width = 640;
        g_ScreenSettings.height = 480;
        SetEmulation320x240(1);
        if (ChangeDisplayTo(&mode, 640, 480, 0) == V_DISP_CHANGE_SUCCESSFUL) {
            ApplyWindowStyle();
            WriteLog("成功しました\n");
            DecreaseLogIndent();
            return 0;
        }
    }
    if (!made) {
        WriteLog("画面モードの変更に失敗しました\n");
        DecreaseLogIndent();
        return -1;
    }
    WriteLog("成功しました\n");
    DecreaseLogIndent();
    return 0;
}

void RestoreDisplayMode() { V_ChangeDisplaySettingsA(nullptr, 0); }

// The display modes of 16 bits and more, in the display's order.
void ListDisplayModes(int* count, DisplayModeEntry** list) {
    if (*list != nullptr) V_HeapFree(V_GetProcessHeap(), 0, *list);
    *list = nullptr;
    *count = 0;
    V_DEVMODEA mode;
    int found = 0;
    for (V_DWORD i = 0;; ++i) {
        mode = {};
        mode.dmSize = sizeof(mode);
        if (!V_EnumDisplaySettingsA(nullptr, i, &mode)) break;
        if (mode.dmBitsPerPel >= 16) ++found;
    }
    if (found == 0) return;
    auto* entries = static_cast<DisplayModeEntry*>(
        V_HeapAlloc(V_GetProcessHeap(), 0, sizeof(DisplayModeEntry) * found));
    if (entries == nullptr) return;
    int written = 0;
    for (V_DWORD i = 0; written < found; ++i) {
        mode = {};
        mode.dmSize = sizeof(mode);
        if (!V_EnumDisplaySettingsA(nullptr, i, &mode)) break;
        if (mode.dmBitsPerPel < 16) continue;
        entries[written++] = {mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel,
                              mode.dmDisplayFrequency};
    }
    *list = entries;
    *count = written;
}
