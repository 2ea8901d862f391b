// The window state block, the style table and the window getters and setters.
#include "core/core.h"
#include "core/library_state.h"
#include "core/window.h"
#include "platform/gdi/gdi.h"

WindowState g_Window;

const WindowStyleRow kWindowStyles[kWindowStyleCount] = {
    {0x80CA0000u, 0x300, 0x80000000u, 0x8}, {0x80080000u, 0x300, 0x80000000u, 0x8},
    {0x80080000u, 0x000, 0x80000000u, 0x8}, {0x80CA0000u, 0x080, 0x80000000u, 0x8},
    {0x80080000u, 0x080, 0x80000000u, 0x8}, {0x80C80000u, 0x100, 0x80000000u, 0x8},
    {0x80CA0000u, 0x300, 0x80000000u, 0x8}, {0x80CB0000u, 0x300, 0x80000000u, 0x8},
    {0x81CB0000u, 0x300, 0x80000000u, 0x8}, {0x80CA0000u, 0x100, 0x80000000u, 0x8},
};

int GetQuitFlag() { return g_Window.quit; }

V_HWND GetMainWindowHandle() { return g_Window.mainWindow; }

int GetWindowModeFlag() { return g_Window.settings.windowed; }

int GetWindowActiveFlag() { return g_Window.active; }

int GetClosePostedFlag() { return g_Window.closePosted; }

int GetDesktopMode(int* width, int* height, int* bits) {
    if (g_Library.initialised) {
        if (width != nullptr) *width = g_Window.desktopWidth;
        if (height != nullptr) *height = g_Window.desktopHeight;
        if (bits != nullptr) *bits = g_Window.desktopBits;
        return 0;
    }
    if (width != nullptr) *width = V_GetSystemMetrics(V_SM_CXSCREEN);
    if (height != nullptr) *height = V_GetSystemMetrics(V_SM_CYSCREEN);
    if (bits != nullptr) {
        V_HDC screen = V_GetDC(nullptr);
        *bits = V_GetDeviceCaps(screen, V_BITSPIXEL) * V_GetDeviceCaps(screen, V_PLANES);
        V_ReleaseDC(nullptr, screen);
    }
    return 0;
}

double GetWindowScale(double* x, double* y) {
    WindowSettings& settings = g_Window.settings;
    if (settings.scaleX <= 0.0) settings.scaleX = 1.0;
    if (settings.scaleY <= 0.0) settings.scaleY = 1.0;
    double scaleX = settings.windowed ? settings.scaleX : 1.0;
    double scaleY = settings.windowed ? settings.scaleY : 1.0;
    if (x != nullptr) *x = scaleX;
    if (y != nullptr) *y = scaleY;
    return scaleX;
}

int SetAlwaysRunFlag(int flag) {
    g_Window.settings.alwaysRun = flag;
    return 0;
}
