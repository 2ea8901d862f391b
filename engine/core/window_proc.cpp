// The main window's procedure: window state flags, typed characters, activation, painting,
// the aspect rule of resizing, dropped files and the notifications of other subsystems.
#include "core/core.h"
#include "core/input.h"
#include "core/key_input.h"
#include "core/library_state.h"
#include "core/window.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "platform/gdi/gdi.h"
#include "platform/shell/shell.h"
#include "sound/sound.h"
#include "sound/sound_services.h"

namespace {

// Editing keys of WM_KEYDOWN and the character codes they enter, ended by 0.
const unsigned char kControlCodes[][2] = {
    {0x2E, 0x10}, {0x25, 0x1D}, {0x27, 0x1C}, {0x26, 0x1E}, {0x28, 0x1F},
    {0x24, 0x1A}, {0x23, 0x19}, {0x21, 0x17}, {0x22, 0x15}, {0, 0},
};

void StoreWindowRect(V_HWND window) { V_GetWindowRect(window, &g_Window.windowRect); }

void PostCloseOnce() {
    if (g_Window.closePosted) return;
    g_Window.closePosted = 1;
    V_PostMessageA(g_Window.mainWindow, V_WM_CLOSE, 0, 0);
}

void ApplyCursorRule() {
    if (g_Window.cursorShown) return;
    V_SetCursor(nullptr);
    while (V_ShowCursor(V_FALSE) >= 0) {
    }
}

void HandleActivation(V_HWND window, int active, V_WPARAM wParam) {
    g_Window.active = active;
    if (g_Window.creating) return;
    const WindowSettings& settings = g_Window.settings;
    if (active) {
        StartImeRestoreOnActivation();
        if (settings.windowed && IsDirect3DInUse()) {
            if (PresentDeviceOnce() != 0) RecreateDeviceSameMode();
            if (!settings.alwaysRun) ResumeAllMovies();
            ReacquireInputDevices();
        } else if (!settings.windowed && g_Library.initialised) {
            if (((wParam >> 16) & 0xFFFF) == 0) RecreateDeviceSameMode();
            ResumeAllMovies();
            ReacquireInputDevices();
        } else {
            if (!settings.alwaysRun) ResumeAllMovies();
            ReacquireInputDevices();
        }
    } else {
        if (!settings.windowed && !IsDirect3DInUse()) {
            V_ChangeDisplaySettingsA(nullptr, 0);
            V_ShowWindow(window, V_SW_MINIMIZE);
        }
        if (!settings.windowed && HasDirectDrawObject()) {
            if (!IsGraphRestoreCallbackSet()) {
                WriteLog("復元関数が登録されていないため終了します\n");
                PostCloseOnce();
                return;
            }
            PauseAllMovies();
        } else {
            if (!settings.alwaysRun) PauseAllMovies();
            ReacquireInputDevices();
        }
        V_HDC dc = V_GetDC(window);
        RedrawInactiveWindow(dc);
        V_ReleaseDC(window, dc);
    }
    ApplyJoypadVibration();
}

void HandlePaint(V_HWND window) {
    V_PAINTSTRUCT paint;
    V_HDC dc = V_BeginPaint(window, &paint);
    if (dc != nullptr && g_Window.settings.windowed) {
        g_Window.inPaint = 1;
        const WindowSettings& settings = g_Window.settings;
        if (!g_Window.active && !settings.alwaysRun && RedrawInactiveWindow(dc) == 0) {
            // the inactive-window picture was drawn
        } else if (!g_Library.initialised) {
            V_HBRUSH brush = nullptr;
            bool own = false;
            if (settings.backgroundSet) {
                brush = V_CreateSolidBrush(settings.backgroundColor);
                own = brush != nullptr;
            }
            if (brush == nullptr) brush = reinterpret_cast<V_HBRUSH>(V_GetStockObject(V_BLACK_BRUSH));
            V_FillRect(dc, &paint.rcPaint, brush);
            if (own) V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(brush));
        } else if (GetDrawTarget() == -2) {
            int wait = GetWaitVSyncFlag();
            SetWaitVSyncFlag(0);
            RefreshScreen(&paint.rcPaint);
            SetWaitVSyncFlag(wait);
        }
        g_Window.inPaint = 0;
    }
    V_EndPaint(window, &paint);
}

void HandleDisplayChange(V_WPARAM wParam, V_LPARAM lParam) {
    // Every display change counts for a mode change waiting on it, even one made by itself.
    g_Window.displayChanged = 1;
    if (!g_Window.settings.windowed || g_Window.modeChanging) return;
    int width = 0, height = 0, bits = 0;
    GetScreenState(&width, &height, &bits);
    int newBits = static_cast<int>(wParam);
    int newWidth = static_cast<int>(lParam & 0xFFFF);
    int newHeight = static_cast<int>((lParam >> 16) & 0xFFFF);
    if (newBits != bits || newWidth != width || newHeight != height) {
        if (!IsGraphRestoreCallbackSet() || newBits == 24 || (newBits == 8 && bits != 8) ||
            newWidth < width || newHeight < height) {
            WriteLog("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
            WriteLog("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
            PostCloseOnce();
            return;
        }
        ResumeAllMovies();
    }
}

void HandleSizing(V_HWND window, V_WPARAM edge, V_RECT* proposed) {
    if (!g_Window.settings.windowed || proposed == nullptr) return;
    StoreWindowRect(window);
    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);
    V_RECT client;
    V_GetClientRect(window, &client);
    int frameWidth = (g_Window.windowRect.right - g_Window.windowRect.left) -
                     (client.right - client.left);
    int frameHeight = (g_Window.windowRect.bottom - g_Window.windowRect.top) -
                      (client.bottom - client.top);
    ApplySizingAspect(static_cast<int>(edge), proposed, frameWidth, frameHeight, screenWidth,
                      screenHeight, &g_Window.settings.scaleX, &g_Window.settings.scaleY);
}

void CollectDroppedFiles(V_HDROP drop) {
    V_UINT count = V_DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    for (V_UINT i = 0; i < count && g_Window.droppedFileCount < kMaxDroppedFiles; ++i) {
        V_UINT length = V_DragQueryFileA(drop, i, nullptr, 0);
        char* name = static_cast<char*>(AllocateMemory(length + 1, "", 0));
        if (name == nullptr) break;
        V_DragQueryFileA(drop, i, name, length + 1);
        g_Window.droppedFiles[g_Window.droppedFileCount++] = name;
    }
    V_DragFinish(drop);
}

}  // namespace

void ApplySizingAspect(int edge, V_RECT* proposed, int frameWidth, int frameHeight,
                       int screenWidth, int screenHeight, double* scaleX, double* scaleY) {
    if (proposed == nullptr || screenWidth <= 0 || screenHeight <= 0) return;
    int clientWidth = (proposed->right - proposed->left) - frameWidth;
    int clientHeight = (proposed->bottom - proposed->top) - frameHeight;
    bool wider = static_cast<double>(clientHeight) / screenHeight <
                 static_cast<double>(clientWidth) / screenWidth;
    bool heightFollows;
    switch (edge) {
    case V_WMSZ_LEFT:
    case V_WMSZ_RIGHT: heightFollows = true; break;
    case V_WMSZ_TOP:
    case V_WMSZ_BOTTOM: heightFollows = false; break;
    default: heightFollows = wider; break;
    }
    double scale;
    if (heightFollows) {
        proposed->bottom = proposed->top + clientWidth * screenHeight / screenWidth + frameHeight;
        scale = static_cast<double>(clientWidth) / screenWidth;
    } else {
        int width = clientHeight * screenWidth / screenHeight;
        proposed->right = proposed->left + width + frameWidth;
        scale = static_cast<double>(width) / screenWidth;
    }
    if (scaleX != nullptr) *scaleX = scale;
    if (scaleY != nullptr) *scaleY = scale;
}

V_LRESULT HandleWindowMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    switch (message) {
    case V_WM_CREATE:
        break;  // no window region is ever set
    case V_WM_DESTROY:
        WriteLog("ウインドウが破棄されようとしています\n");
        g_Window.destroyed = 1;
        V_PostQuitMessage(0);
        g_Window.quit = 1;
        WriteLog("ソフトを終了する準備が整いました\n");
        break;
    case V_WM_MOVE:
        StoreWindowRect(window);
        if (g_Window.settings.windowed && !g_Window.modeChanging) UpdateClientOrigin(lParam);
        break;
    case V_WM_SIZE:
        StoreWindowRect(window);
        if (wParam != V_SIZE_MAXIMIZED) SetWindowGeometry();
        break;
    case V_WM_ACTIVATE:
        HandleActivation(window, (wParam & 0xFFFF) != 0 ? 1 : 0, wParam);
        break;
    case V_WM_ACTIVATEAPP:
        if (wParam == 0) HandleActivation(window, 0, 0);
        break;
    case V_WM_PAINT:
        HandlePaint(window);
        break;
    case V_WM_CLOSE:
        WriteLog("ウインドウを閉じようとしています\n");
        V_DestroyWindow(g_Window.mainWindow);
        return 0;
    case V_WM_SETCURSOR:
        ApplyCursorRule();
        break;
    case V_WM_DISPLAYCHANGE:
        HandleDisplayChange(wParam, lParam);
        break;
    case V_WM_NCHITTEST:
        if (IsDirect3DInUse() && !g_Window.settings.windowed &&
            ((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF) < 8)
            return V_HTMENU;
        break;
    case V_WM_KEYDOWN:
        if (!IsCharCodeBufferFull()) {
            for (int i = 0; kControlCodes[i][0] != 0; ++i) {
                if (kControlCodes[i][0] == wParam) {
                    PushCharCode(kControlCodes[i][1]);
                    break;
                }
            }
        }
        break;
    case V_WM_CHAR:
        if (wParam == 10) {
            PushCharCode(13);
        } else if (wParam >= 0x20 || wParam == 1 || wParam == 3 || wParam == 8 || wParam == 9 ||
                   wParam == 13 || wParam == 16 || wParam == 22 || wParam == 24 || wParam == 27) {
            PushCharCode(static_cast<unsigned char>(wParam));
        }
        break;
    case V_WM_SYSCHAR:
        break;
    case V_WM_IME_STARTCOMPOSITION:
    case V_WM_IME_ENDCOMPOSITION:
    case V_WM_IME_COMPOSITION:
    case V_WM_IME_SETCONTEXT:
    case V_WM_IME_NOTIFY:
        return HandleImeMessage(window, message, wParam, lParam);
    case V_WM_COMMAND:
        break;  // no toolbar or menu exists
    case V_WM_SYSCOMMAND:
        if (wParam == V_SC_SCREENSAVE || wParam == V_SC_MONITORPOWER) return 1;
        break;
    case V_WM_LBUTTONDOWN:
    case V_WM_RBUTTONDOWN:
    case V_WM_MBUTTONDOWN:
        PushClickLog(message == V_WM_LBUTTONDOWN ? 1 : message == V_WM_RBUTTONDOWN ? 2 : 4);
        ApplyCursorRule();
        break;
    case V_WM_MOUSEMOVE:
    case V_WM_LBUTTONUP:
    case V_WM_RBUTTONUP:
    case V_WM_MBUTTONUP:
        ApplyCursorRule();
        break;
    case V_WM_MOUSEWHEEL:
        g_Window.wheelCount += static_cast<int16_t>((wParam >> 16) & 0xFFFF) > 0 ? 1 : -1;
        break;
    case V_WM_SIZING:
        HandleSizing(window, wParam, reinterpret_cast<V_RECT*>(lParam));
        break;
    case V_WM_MOVING:
        if (!g_Window.settings.windowed && lParam != 0)
            V_GetWindowRect(window, reinterpret_cast<V_RECT*>(lParam));
        break;
    case V_WM_DROPFILES:
        CollectDroppedFiles(reinterpret_cast<V_HDROP>(wParam));
        break;
    case V_MM_MCINOTIFY:
        HandleMidiNotify();
        break;
    case 0x46F:
    case 0x470:
        g_Window.inputFlags[message - 0x46F] = wParam == 1 ? 1 : 0;
        break;
    case 0x505:
        return HandleSocketEvent(static_cast<intptr_t>(lParam), static_cast<uintptr_t>(wParam));
    default:
        break;
    }
    return V_DefWindowProcA(window, message, wParam, lParam);
}
