// What the device code needs of the main window and the display, until the window code provides
// it: no window handle, windowed mode, a black background, no display-mode changes.
#include "core/core.h"
#include "platform/kernel.h"
#include "graphics/device.h"

V_HWND GetDeviceWindow() { return nullptr; }
int IsWindowedMode() { return 1; }
uint32_t GetBackgroundColorRGB() { return 0; }

int ChangeToFullScreenMode() {
    WriteLog("画面モードの変更に失敗しました\n");
    return -1;
}

void RestoreDisplayMode() {}

void ListDisplayModes(int* count, DisplayModeEntry** list) {
    if (*list != nullptr) V_HeapFree(V_GetProcessHeap(), 0, *list);
    *list = nullptr;
    *count = 0;
}
