// Window mode and geometry: switching between windowed and full screen, styling the window
// for the mode, keeping its size in step with the screen size and the window scale.
#include "core/core.h"
#include "core/core_services.h"
#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw_settings.h"
#include "draw/mask.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

namespace {

int ScaledClientWidth(int screenWidth) {
    double scaleX = 1.0;
    GetWindowScale(&scaleX, nullptr);
    return static_cast<int>(screenWidth * scaleX);
}

int ScaledClientHeight(int screenHeight) {
    double scaleY = 1.0;
    GetWindowScale(nullptr, &scaleY);
    return static_cast<int>(screenHeight * scaleY);
}

}  // namespace

uint32_t SetWindowModeFlag(int windowed) {
    g_Window.settings.windowed = windowed;
    WriteLog(windowed == 1 ? "ウインドウモードフラグが立てられました\n"
                           : "ウインドウモードフラグが倒されました\n");
    UpdateMenuAttachment(1);  // no menu is ever attached here
    return 0;
}

// Full screen needs a listed display mode of the screen size; 320 x 240 may go without one
// on the hardware path.
bool CanShowScreenFullScreen() {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    int count = GetDisplayModeCount();
    for (int i = 0; i < count; ++i) {
        int modeWidth = 0, modeHeight = 0, modeBits = 0;
        if (GetDisplayMode(i, &modeWidth, &modeHeight, &modeBits) == 0 && modeWidth == width &&
            modeHeight == height)
            return true;
    }
    return width == 320 && height == 240 && !GetForceSoftwareFlag();
}

int ChangeWindowMode(int windowed) {
    WriteLog("ChangeWindowMode実行 \n");
    if (g_Window.settings.windowed == windowed) return 0;
    // A running window stays as it is when the display has no mode for the screen: the mode
    // change could not start the graphics again.
    if (g_Window.mainWindow != nullptr && windowed == 0 && !CanShowScreenFullScreen()) {
        WriteLog("画面サイズに合う画面モードが無いためフルスクリーンモードに変更できません\n");
        return -1;
    }
    g_Window.visibleStyle = 1;
    g_Window.displayChanged = 0;
    SetWindowModeFlag(windowed);
    if (g_Window.mainWindow == nullptr) return 0;

    g_Window.modeChanging = 1;
    ApplyWindowStyle();
    int result = ChangeScreenMode(-1, -1, -1, 1, -1);
    // The display change may never come (the mode did not really change): wait a bounded time.
    int start = GetMilliseconds();
    while (ProcessMessage() == 0 && !g_Window.displayChanged && GetMillisecondsSince(start) < 3000) {
    }
    g_Window.modeChanging = 0;
    return result;
}

uint32_t ApplyWindowStyle() {
    V_HWND window = g_Window.mainWindow;
    if (window == nullptr) return 0;
    const WindowStyleRow& row = kWindowStyles[g_Window.settings.styleIndex];
    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);

    if (!g_Window.settings.windowed) {
        WriteLog("ウインドウスタイルをフルスクリーンモード用に変更します... ");
        V_SetWindowLongA(window, V_GWL_EXSTYLE, static_cast<V_LONG>(row.fullScreenEx));
        V_SetWindowLongA(window, V_GWL_STYLE, static_cast<V_LONG>(row.fullScreen));
        g_Window.clientRect = {0, 0, screenWidth, screenHeight};
        V_ShowWindow(window, V_SW_SHOW);
        V_UpdateWindow(window);
        V_SetWindowPos(window, V_HWND_TOPMOST, 0, 0, screenWidth, screenHeight, V_SWP_NOREDRAW);
        SetCursorVisible(0);
    } else {
        WriteLog("ウインドウスタイルをウインドウモード用に変更します... ");
        V_DWORD style = row.windowed | (g_Window.visibleStyle ? V_WS_VISIBLE : 0);
        V_SetWindowLongA(window, V_GWL_EXSTYLE, static_cast<V_LONG>(row.windowedEx));
        V_SetWindowLongA(window, V_GWL_STYLE, static_cast<V_LONG>(style));
        V_RECT rect{0, 0, ScaledClientWidth(screenWidth),
                    ScaledClientHeight(screenHeight) + static_cast<int>(GetToolbarHeight())};
        V_AdjustWindowRectEx(&rect, style, V_FALSE, row.windowedEx);
        int width = rect.right - rect.left, height = rect.bottom - rect.top;
        int left = (g_Window.desktopWidth - width) / 2;
        int top = (g_Window.desktopHeight - height) / 2;
        V_SetWindowPos(window, V_HWND_NOTOPMOST, left, top, width, height, 0);
        V_SetWindowPos(window, V_HWND_TOP, left, top, width, height, 0);
        V_RECT client;
        V_GetClientRect(window, &client);
        V_POINT origin{client.left, client.top}, corner{client.right, client.bottom};
        V_ClientToScreen(window, &origin);
        V_ClientToScreen(window, &corner);
        g_Window.clientRect = {origin.x, origin.y, corner.x, corner.y};
        if (origin.x < 0 || origin.y < 0) {
            if (origin.x < 0) left -= origin.x;
            if (origin.y < 0) top -= origin.y;
            V_SetWindowPos(window, V_HWND_TOP, left, top, width, height, 0);
        }
        SetCursorVisible(1);
    }
    WriteLog("完了\n");
    V_SetActiveWindow(window);
    V_PostMessageA(window, V_WM_SETCURSOR, reinterpret_cast<V_WPARAM>(window), 0);
    return 0;
}

uint32_t SetWindowGeometry() {
    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);
    int wantedWidth = ScaledClientWidth(screenWidth);
    int wantedHeight = ScaledClientHeight(screenHeight);
    V_HWND window = g_Window.mainWindow;
    V_RECT windowRect, client;
    if (!V_GetWindowRect(window, &windowRect) || !V_GetClientRect(window, &client)) return 0;
    int clientWidth = client.right - client.left, clientHeight = client.bottom - client.top;
    // The stored client rectangle keeps its origin and takes the current size.
    g_Window.clientRect.right = g_Window.clientRect.left + clientWidth;
    g_Window.clientRect.bottom = g_Window.clientRect.top + clientHeight;
    int right = windowRect.right - clientWidth + wantedWidth;
    int bottom = windowRect.bottom - clientHeight + static_cast<int>(GetToolbarHeight()) +
                 wantedHeight;
    V_MoveWindow(window, windowRect.left, windowRect.top, right - windowRect.left,
                 bottom - windowRect.top, V_TRUE);
    if (g_Window.settings.windowed && !g_Window.visibleStyle) {
        g_Window.visibleStyle = 1;
        ApplyWindowStyle();
    }
    return 0;
}

uint32_t UpdateClientOrigin(V_LPARAM lParam) {
    int width = g_Window.clientRect.right - g_Window.clientRect.left;
    int height = g_Window.clientRect.bottom - g_Window.clientRect.top;
    V_RECT client;
    if (V_GetClientRect(g_Window.mainWindow, &client)) {
        width = client.right - client.left;
        height = client.bottom - client.top;
    }
    int left = static_cast<int16_t>(lParam & 0xFFFF);
    int top = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
    g_Window.clientRect = {left, top, left + width, top + height};
    if (GetDrawTarget() == -4) {
        int mask = GetUseMaskScreen();
        SetUseMaskScreen(0);
        SetUseMaskScreen(mask);
    }
    // The stored draw area goes to the screen again (the device's viewport and scissor follow).
    if (g_ScreenSettings.initialised) {
        const V_RECT& area = g_DrawSettings.drawArea;
        SetDrawArea(area.left, area.top, area.right, area.bottom);
    }
    return 0;
}

int BringWindowToFront(V_HWND window, int topmost) {
    V_DWORD foregroundThread = V_GetWindowThreadProcessId(V_GetForegroundWindow(), nullptr);
    V_DWORD windowThread = V_GetWindowThreadProcessId(window, nullptr);
    V_AttachThreadInput(windowThread, foregroundThread, V_TRUE);
    V_DWORD timeout = 0;
    V_SystemParametersInfoA(V_SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    V_SystemParametersInfoA(V_SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    int result = V_SetForegroundWindow(window);
    V_SystemParametersInfoA(V_SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                            reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), 0);
    result = V_AttachThreadInput(windowThread, foregroundThread, V_FALSE);
    if (topmost == 1)
        result = V_SetWindowPos(g_Window.mainWindow, V_HWND_TOPMOST, 0, 0, 0, 0,
                                V_SWP_NOSIZE | V_SWP_NOMOVE | V_SWP_NOREDRAW);
    return result;
}
