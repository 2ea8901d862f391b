// The main window's state block and the window code's internal calls.
#pragma once

#include <cstdint>

#include "platform/user/user.h"

constexpr int kWindowTitleSize = 256;
constexpr int kMaxDroppedFiles = 1000;
constexpr int kMaxClickLog = 32;
constexpr int kWindowStyleCount = 10;

struct ClickRecord {
    int button;  // 1 left, 2 right, 4 middle
    int x;
    int y;
};

// Settings made before start-up; they survive the state reset of CreateMainWindow.
struct WindowSettings {
    int windowed = 0;
    int alwaysRun = 0;
    int styleIndex = 0;
    char title[kWindowTitleSize] = {};
    char className[kWindowTitleSize] = {};
    int iconId = 0;                 // 0: the platform's default icon
    int backgroundSet = 0;          // 1 when a background colour was chosen
    uint32_t backgroundColor = 0;   // V_COLORREF
    int allowDoubleStart = 0;       // never set in this system
    double scaleX = 1.0;
    double scaleY = 1.0;
};

struct WindowState {
    WindowSettings settings;

    V_HWND mainWindow = nullptr;
    V_HINSTANCE instance = nullptr;
    uint32_t mainThreadId = 0;
    int active = 0;
    int quit = 0;
    int closePosted = 0;
    int destroyed = 0;
    int creating = 0;
    int modeChanging = 0;
    int displayChanged = 0;
    int visibleStyle = 0;
    int cursorWanted = 0;
    int cursorShown = 0;
    V_RECT clientRect{};   // screen coordinates
    V_RECT windowRect{};
    int frameTopOffset = 0;
    int desktopWidth = 0;
    int desktopHeight = 0;
    int desktopBits = 0;
    uint64_t totalPhysicalMemory = 0;
    uint64_t freePhysicalMemory = 0;
    int dbcsCharacterSet = 0;
    uint32_t minimumTimerPeriod = 0;

    // Window procedure and message processing.
    char* droppedFiles[kMaxDroppedFiles] = {};
    int droppedFileCount = 0;
    int inPaint = 0;
    int wheelCount = 0;
    int inputFlags[2] = {};  // the two private input messages
    int updateGuard = 0;

    // Window extras.
    ClickRecord clicks[kMaxClickLog] = {};
    int clickCount = 0;
};

extern WindowState g_Window;

// Window styles of each row: windowed, windowed extended, full screen, full screen extended.
struct WindowStyleRow {
    uint32_t windowed;
    uint32_t windowedEx;
    uint32_t fullScreen;
    uint32_t fullScreenEx;
};
extern const WindowStyleRow kWindowStyles[kWindowStyleCount];

int CreateMainWindow();
// True when a window of the class the main window will have exists already: the double-start
// check of CreateMainWindow will refuse this copy. Otherwise this copy has claimed the class,
// and other copies find it running until ReleaseDoubleStartClaim (after its last log line).
bool IsOtherCopyRunning();
void ReleaseDoubleStartClaim();
// Lets other copies' checks go on once this copy's log is started (they wait for it).
void EndDoubleStartLook();
int EndWindow();
uint32_t SetWindowModeFlag(int windowed);
uint32_t ApplyWindowStyle();
// Whether the display has a mode for the screen size (or the size is 320 x 240 off the forced
// software path), as full screen needs.
bool CanShowScreenFullScreen();
uint32_t SetWindowGeometry();
uint32_t UpdateClientOrigin(V_LPARAM lParam);
int BringWindowToFront(V_HWND window, int topmost);

V_LRESULT HandleWindowMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);

// The aspect rule of WM_SIZING as a pure function: changes the proposed window rectangle in
// place for the dragged edge and gives the new window scales.
void ApplySizingAspect(int edge, V_RECT* proposed, int frameWidth, int frameHeight,
                       int screenWidth, int screenHeight, double* scaleX, double* scaleY);

// Window extras used by the window code.
void PushClickLog(int button);
uint32_t FreeDroppedFiles();
uint32_t GetToolbarHeight();
uint32_t GetClientRectBelowToolbar(V_RECT* rect);
uint32_t IsMenuVisible();
uint32_t UpdateMenuAttachment(int show);
uint32_t UpdateFullScreenMenu();
int RedrawInactiveWindow(V_HDC dc);
int GetDroppedFileCount();
// Null for an index out of range.
const char* GetDroppedFileName(int index);

// The screen size setting in effect (640 x 480 when none is set).
void GetEffectiveScreenSize(int* width, int* height);
