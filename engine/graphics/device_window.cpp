// What the device code needs of the main window, and the display mode on the software path.
#include <initializer_list>

#include "core/core.h"
#include "core/window.h"
#include "graphics/device.h"
#include "platform/kernel.h"

V_HWND GetDeviceWindow() { return g_Window.mainWindow; }
int IsWindowedMode() { return g_Window.settings.windowed; }

uint32_t GetBackgroundColorRGB() {
    uint32_t bgr = g_Window.settings.backgroundColor;  // 0x00BBGGRR
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// The full-screen software path. The desktop keeps its mode here (the window covers it), so the
// change is logged as the library does and reported done; only depths other than 16 and 32 fail.
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
    WriteLog("成功しました\n");
    DecreaseLogIndent();
    return 0;
}

void RestoreDisplayMode() { V_ChangeDisplaySettingsA(nullptr, 0); }

// The display modes of 16 bits and more: the desktop's size in 16 and 32 bits, and the usual
// smaller sizes below it.
void ListDisplayModes(int* count, DisplayModeEntry** list) {
    if (*list != nullptr) V_HeapFree(V_GetProcessHeap(), 0, *list);
    *list = nullptr;
    *count = 0;
    static const uint32_t kSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    int desktopWidth = V_GetSystemMetrics(V_SM_CXSCREEN);
    int desktopHeight = V_GetSystemMetrics(V_SM_CYSCREEN);
    DisplayModeEntry modes[10];
    int found = 0;
    for (const auto& size : kSizes)
        if (static_cast<int>(size[0]) <= desktopWidth && static_cast<int>(size[1]) <= desktopHeight)
            for (uint32_t bits : {16u, 32u}) modes[found++] = {size[0], size[1], bits, 60};
    if (found == 0) return;
    auto* entries = static_cast<DisplayModeEntry*>(
        V_HeapAlloc(V_GetProcessHeap(), 0, sizeof(DisplayModeEntry) * found));
    if (entries == nullptr) return;
    for (int i = 0; i < found; ++i) entries[i] = modes[i];
    *list = entries;
    *count = found;
}
