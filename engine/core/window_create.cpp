// Creating the main window at start-up and closing it at the end.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/key_input.h"
#include "core/library.h"
#include "core/library_state.h"
#include "core/window.h"
#include "graphics/graphics.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_process.h"
#include "platform/winmm/winmm.h"

namespace {

// Measures how often the millisecond clock and the performance counter change while messages
// flow, and keeps the performance counter only when it is the finer of the two.
void TestTimers(uint32_t minimumPeriod) {
    WriteLog("タイマーの精度を検査します\n");
    int lastMilliseconds = GetMilliseconds();
    V_LARGE_INTEGER lastCounter;
    V_QueryPerformanceCounter(&lastCounter);
    int start = lastMilliseconds;
    int millisecondChanges = 0, counterChanges = 0;
    while (ProcessMessage() == 0 && millisecondChanges < 60 && counterChanges < 60 &&
           GetMillisecondsSince(start) < 1000) {
        V_LARGE_INTEGER counter;
        V_QueryPerformanceCounter(&counter);
        if (counter.QuadPart != lastCounter.QuadPart) {
            ++counterChanges;
            lastCounter = counter;
        }
        int now = GetMilliseconds();
        if (now != lastMilliseconds) {
            ++millisecondChanges;
            lastMilliseconds = now;
        }
    }
    WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d",
                   millisecondChanges, counterChanges);
    WriteLog(" ");
    if (millisecondChanges > counterChanges) {
        WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ",
                       static_cast<int>(minimumPeriod));
        g_Library.performanceCounterFlag = 0;
    } else {
        WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                       static_cast<double>(g_Library.performanceFrequency) / 1000.0);
    }
    WriteLog(" ");
}

// The windowed window rectangle for a client size, centred on the desktop.
V_RECT CentredWindowRect(int clientWidth, int clientHeight, int* frameTop) {
    const WindowStyleRow& row = kWindowStyles[g_Window.settings.styleIndex];
    V_RECT rect{0, 0, clientWidth, clientHeight};
    V_DWORD style = row.windowed | (g_Window.visibleStyle ? V_WS_VISIBLE : 0);
    V_AdjustWindowRectEx(&rect, style, V_FALSE, row.windowedEx);
    if (frameTop != nullptr) *frameTop = -rect.top;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int left = (g_Window.desktopWidth - width) / 2;
    int top = (g_Window.desktopHeight - height) / 2;
    return V_RECT{left, top, left + width, top + height};
}

// The class name the window registers: the one set, else the title, else the library's own.
const char* ChosenClassName(const WindowSettings& settings) {
    return settings.className[0] != '\0' ? settings.className
           : settings.title[0] != '\0'   ? settings.title
                                          : "V123987K";
}

}  // namespace

bool IsOtherCopyRunning() {
    const WindowSettings& settings = g_Window.settings;
    return !settings.allowDoubleStart && V_FindWindowA(ChosenClassName(settings), nullptr) != nullptr;
}

void ReleaseDoubleStartClaim() { V_ReleaseWindowClassClaim(ChosenClassName(g_Window.settings)); }

void EndDoubleStartLook() { V_EndWindowClassLook(ChosenClassName(g_Window.settings)); }

int CreateMainWindow() {
    // The state reset keeps the settings made before start-up.
    WindowSettings kept = g_Window.settings;
    g_Window = WindowState{};
    g_Window.settings = kept;
    WindowSettings& settings = g_Window.settings;

    // The layered-window entry point has no counterpart here: it stays absent.

    if (settings.className[0] == '\0')
        FormatString(settings.className, sizeof(settings.className), "%s", ChosenClassName(settings));

    g_Window.instance = V_GetModuleHandleA(nullptr);
    g_Window.mainThreadId = V_GetCurrentThreadId();

    V_MEMORYSTATUS memory;
    std::memset(&memory, 0, sizeof(memory));
    memory.dwLength = sizeof(memory);
    V_GlobalMemoryStatus(&memory);
    WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ",
                   static_cast<double>(memory.dwTotalPhys) / 1048576.0,
                   static_cast<double>(memory.dwAvailPhys) / 1048576.0);
    char freeText[64];
    FormatString(freeText, sizeof(freeText), "%.2fMB\n",
                 static_cast<double>(memory.dwAvailPhys) / 1048576.0);
    V_OutputDebugStringA(freeText);
    g_Window.totalPhysicalMemory = memory.dwTotalPhys;
    g_Window.freePhysicalMemory = memory.dwAvailPhys;

    g_Window.desktopWidth = V_GetSystemMetrics(V_SM_CXSCREEN);
    g_Window.desktopHeight = V_GetSystemMetrics(V_SM_CYSCREEN);
    V_HDC screen = V_GetDC(nullptr);
    g_Window.desktopBits = V_GetDeviceCaps(screen, V_BITSPIXEL) * V_GetDeviceCaps(screen, V_PLANES);
    V_ReleaseDC(nullptr, screen);
    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);

    V_LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    V_QueryPerformanceFrequency(&frequency);
    g_Library.performanceFrequency = frequency.QuadPart;
    g_Library.performanceCounterFlag = frequency.QuadPart != 0 ? 1 : 0;
    V_TIMECAPS caps{1, 1000};
    V_timeGetDevCaps(&caps, sizeof(caps));
    V_timeBeginPeriod(caps.wPeriodMin);
    g_Window.minimumTimerPeriod = caps.wPeriodMin;

    if (g_Library.performanceCounterFlag) TestTimers(caps.wPeriodMin);

    SeedRandom(static_cast<uint32_t>(GetMilliseconds()) & 0x7FFFFFFF);

    V_SystemParametersInfoA(V_SPI_SETSCREENSAVEACTIVE, V_FALSE, nullptr, V_SPIF_SENDCHANGE);

    WriteLog("ソフトの二重起動検査... ");
    if (V_FindWindowA(settings.className, nullptr) != nullptr) {
        if (!settings.allowDoubleStart) {
            WriteLog("二重起動されています、ソフトを終了します\n");
            g_Window.quit = 1;
            return -1;
        }
        WriteLog("二重起動されていますが続行します\n");
    } else {
        WriteLog("二重起動はされていませんでした\n");
    }

    g_Window.creating = 1;
    V_WNDCLASSEXA windowClass;
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = V_CS_HREDRAW | V_CS_VREDRAW;
    windowClass.lpfnWndProc = HandleWindowMessage;
    windowClass.hInstance = g_Window.instance;
    windowClass.hIcon = V_LoadIconA(
        g_Window.instance,
        reinterpret_cast<const char*>(static_cast<uintptr_t>(settings.iconId != 0 ? settings.iconId
                                                                               : 32512)));
    windowClass.hCursor =
        V_LoadCursorA(nullptr, reinterpret_cast<const char*>(V_IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<V_HBRUSH>(V_GetStockObject(V_NULL_BRUSH));
    windowClass.lpszClassName = settings.className;
    WriteLog("ウインドウクラスを登録します... ");
    if (V_RegisterClassExA(&windowClass) == 0) {
        g_Window.quit = 1;
        g_Window.creating = 0;
        WriteLog("ウインドウクラスの登録に失敗しました\n");
        return -1;
    }
    WriteLog("登録に成功しました\n");

    if (settings.title[0] == '\0') FormatString(settings.title, sizeof(settings.title), "Velk");

    const WindowStyleRow& row = kWindowStyles[settings.styleIndex];
    V_HWND window;
    if (settings.windowed) {
        WriteLog("ウインドウモード起動用のウインドウを作成します\n");
        g_Window.cursorWanted = 1;
        double scaleX = 1.0, scaleY = 1.0;
        GetWindowScale(&scaleX, &scaleY);
        int clientWidth = static_cast<int>(screenWidth * scaleX);
        int clientHeight = static_cast<int>(screenHeight * scaleY);
        V_RECT rect = CentredWindowRect(clientWidth, clientHeight, &g_Window.frameTopOffset);
        V_DWORD style = row.windowed | (g_Window.visibleStyle ? V_WS_VISIBLE : 0);
        window = V_CreateWindowExA(row.windowedEx, settings.className, settings.title, style,
                                   rect.left, rect.top, rect.right - rect.left,
                                   rect.bottom - rect.top, nullptr, nullptr, g_Window.instance,
                                   nullptr);
    } else {
        WriteLog("フルスクリーンモード用のウインドウを作成します\n");
        window = V_CreateWindowExA(row.fullScreenEx, settings.className, settings.title,
                                   row.fullScreen, 0, 0, screenWidth, screenHeight, nullptr,
                                   nullptr, g_Window.instance, nullptr);
        g_Window.cursorWanted = 0;
    }
    if (window == nullptr) {
        g_Window.quit = 1;
        g_Window.creating = 0;
        WriteLog("ウインドウの作成に失敗しました\n");
        V_UnregisterClassA(settings.className, g_Window.instance);
        return -1;
    }
    g_Window.mainWindow = window;
    WriteLog("ウインドウの作成に成功しました\n");
    V_ShowWindow(window, V_SW_SHOW);
    V_UpdateWindow(window);

    g_Window.closePosted = 0;
    g_Window.destroyed = 0;
    g_Window.active = 1;

    if (!settings.windowed) {
        WriteLog("カーソルを不可視にしました\n");
        V_SetCursor(nullptr);
    }

    WriteLog("ＩＭＥを無効にしました\n");
    if (!GetImeUseFlag()) V_WINNLSEnableIME(window, V_FALSE);

    if (settings.windowed) {
        V_RECT client;
        V_GetClientRect(window, &client);
        V_POINT topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
        V_ClientToScreen(window, &topLeft);
        V_ClientToScreen(window, &bottomRight);
        g_Window.clientRect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    }

    g_Window.dbcsCharacterSet = V_GetOEMCP() == 949 ? 2 : 1;

    SetCursorVisible(g_Window.cursorWanted);
    g_Library.ending = 0;

    V_BringWindowToTop(window);
    SetWindowGeometry();
    g_Window.creating = 0;
    return 0;
}

int EndWindow() {
    V_HWND window = g_Window.mainWindow;
    if (window == nullptr) return 0;

    V_SystemParametersInfoA(V_SPI_SETSCREENSAVEACTIVE, V_TRUE, nullptr, V_SPIF_SENDCHANGE);

    V_WINNLSEnableIME(window, V_TRUE);
    g_Window.cursorWanted = 1;
    if (!g_Window.cursorShown) {
        while (V_ShowCursor(V_TRUE) < 0) {
        }
        V_PostMessageA(window, V_WM_SETCURSOR, reinterpret_cast<V_WPARAM>(window), 0);
        g_Window.cursorShown = 1;
    }

    // No keyboard hook, window region, menu or toolbar is ever made here.

    if (!g_Window.closePosted) {
        g_Window.closePosted = 1;
        V_PostMessageA(window, V_WM_CLOSE, 0, 0);
    }
    int start = GetMilliseconds();
    while (ProcessMessage() == 0 && !g_Window.destroyed) {
        // A fatal exit waits only so long for the window to go.
        if (IsFatalExitRunning() && GetMillisecondsSince(start) > 2000) break;
    }
    V_UnregisterClassA(g_Window.settings.className, g_Window.instance);

    DeleteAllKeyInputs();
    FreeDroppedFiles();

    V_TIMECAPS caps{1, 1000};
    V_timeGetDevCaps(&caps, sizeof(caps));
    V_timeEndPeriod(caps.wPeriodMin);

    g_Window.mainWindow = nullptr;
    return 0;
}
