// Stand-ins for the window services the library uses: window classes and windows, the message
// queue and window-procedure dispatch, cursor, system metrics and parameters, display settings,
// clipboard, painting and the IME switch. Built on SDL2: SDL events become messages in the queue
// of the thread that owns the windows.
#pragma once

#include "platform/types.h"

typedef V_LRESULT (*V_WNDPROC)(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);
typedef V_HANDLE V_HGLOBAL;
typedef V_HANDLE V_HDROP;
typedef uint32_t V_COLORREF;

// ---- Messages ----
constexpr V_UINT V_WM_CREATE = 0x0001;
constexpr V_UINT V_WM_DESTROY = 0x0002;
constexpr V_UINT V_WM_MOVE = 0x0003;
constexpr V_UINT V_WM_SIZE = 0x0005;
constexpr V_UINT V_WM_ACTIVATE = 0x0006;
constexpr V_UINT V_WM_PAINT = 0x000F;
constexpr V_UINT V_WM_CLOSE = 0x0010;
constexpr V_UINT V_WM_QUIT = 0x0012;
constexpr V_UINT V_WM_ACTIVATEAPP = 0x001C;
constexpr V_UINT V_WM_SETCURSOR = 0x0020;
constexpr V_UINT V_WM_DISPLAYCHANGE = 0x007E;
constexpr V_UINT V_WM_NCHITTEST = 0x0084;
constexpr V_UINT V_WM_KEYDOWN = 0x0100;
constexpr V_UINT V_WM_KEYUP = 0x0101;
constexpr V_UINT V_WM_CHAR = 0x0102;
constexpr V_UINT V_WM_SYSKEYDOWN = 0x0104;
constexpr V_UINT V_WM_SYSKEYUP = 0x0105;
constexpr V_UINT V_WM_SYSCHAR = 0x0106;
constexpr V_UINT V_WM_IME_STARTCOMPOSITION = 0x010D;
constexpr V_UINT V_WM_IME_ENDCOMPOSITION = 0x010E;
constexpr V_UINT V_WM_IME_COMPOSITION = 0x010F;
constexpr V_UINT V_WM_COMMAND = 0x0111;
constexpr V_UINT V_WM_SYSCOMMAND = 0x0112;
constexpr V_UINT V_WM_MOUSEMOVE = 0x0200;
constexpr V_UINT V_WM_LBUTTONDOWN = 0x0201;
constexpr V_UINT V_WM_LBUTTONUP = 0x0202;
constexpr V_UINT V_WM_RBUTTONDOWN = 0x0204;
constexpr V_UINT V_WM_RBUTTONUP = 0x0205;
constexpr V_UINT V_WM_MBUTTONDOWN = 0x0207;
constexpr V_UINT V_WM_MBUTTONUP = 0x0208;
constexpr V_UINT V_WM_MOUSEWHEEL = 0x020A;
constexpr V_UINT V_WM_SIZING = 0x0214;
constexpr V_UINT V_WM_MOVING = 0x0216;
constexpr V_UINT V_WM_DROPFILES = 0x0233;
constexpr V_UINT V_WM_IME_SETCONTEXT = 0x0281;
constexpr V_UINT V_WM_IME_NOTIFY = 0x0282;
constexpr V_UINT V_MM_MCINOTIFY = 0x03B9;
constexpr V_UINT V_WM_USER = 0x0400;

constexpr V_WPARAM V_WA_INACTIVE = 0;
constexpr V_WPARAM V_WA_ACTIVE = 1;
constexpr V_WPARAM V_SIZE_RESTORED = 0;
constexpr V_WPARAM V_SIZE_MINIMIZED = 1;
constexpr V_WPARAM V_SIZE_MAXIMIZED = 2;
constexpr V_WPARAM V_SC_CLOSE = 0xF060;
constexpr V_WPARAM V_SC_SCREENSAVE = 0xF140;
constexpr V_WPARAM V_SC_MONITORPOWER = 0xF170;
constexpr V_LRESULT V_HTCLIENT = 1;
constexpr V_LRESULT V_HTMENU = 5;
// Edges of WM_SIZING.
constexpr V_WPARAM V_WMSZ_LEFT = 1;
constexpr V_WPARAM V_WMSZ_RIGHT = 2;
constexpr V_WPARAM V_WMSZ_TOP = 3;
constexpr V_WPARAM V_WMSZ_TOPLEFT = 4;
constexpr V_WPARAM V_WMSZ_TOPRIGHT = 5;
constexpr V_WPARAM V_WMSZ_BOTTOM = 6;
constexpr V_WPARAM V_WMSZ_BOTTOMLEFT = 7;
constexpr V_WPARAM V_WMSZ_BOTTOMRIGHT = 8;
// Mouse message key flags.
constexpr V_WPARAM V_MK_LBUTTON = 0x01;
constexpr V_WPARAM V_MK_RBUTTON = 0x02;
constexpr V_WPARAM V_MK_SHIFT = 0x04;
constexpr V_WPARAM V_MK_CONTROL = 0x08;
constexpr V_WPARAM V_MK_MBUTTON = 0x10;
constexpr int V_WHEEL_DELTA = 120;

// Virtual-key codes the window procedure and the translation use.
constexpr int V_VK_BACK = 0x08;
constexpr int V_VK_TAB = 0x09;
constexpr int V_VK_RETURN = 0x0D;
constexpr int V_VK_SHIFT = 0x10;
constexpr int V_VK_CONTROL = 0x11;
constexpr int V_VK_MENU = 0x12;
constexpr int V_VK_ESCAPE = 0x1B;
constexpr int V_VK_SPACE = 0x20;
constexpr int V_VK_PRIOR = 0x21;
constexpr int V_VK_NEXT = 0x22;
constexpr int V_VK_END = 0x23;
constexpr int V_VK_HOME = 0x24;
constexpr int V_VK_LEFT = 0x25;
constexpr int V_VK_UP = 0x26;
constexpr int V_VK_RIGHT = 0x27;
constexpr int V_VK_DOWN = 0x28;
constexpr int V_VK_INSERT = 0x2D;
constexpr int V_VK_DELETE = 0x2E;

struct V_MSG {
    V_HWND hwnd;
    V_UINT message;
    V_WPARAM wParam;
    V_LPARAM lParam;
    V_DWORD time;
    V_POINT pt;
};

constexpr V_UINT V_PM_NOREMOVE = 0;
constexpr V_UINT V_PM_REMOVE = 1;

// Takes the next message of the calling thread. window null: any message; the window handle -1:
// messages posted to the thread only; otherwise that window's messages. A filter range of 0, 0
// takes every message. Converts pending SDL events first when called on the windows' thread.
V_BOOL V_PeekMessageA(V_MSG* message, V_HWND window, V_UINT filterMin, V_UINT filterMax,
                      V_UINT removeFlags);
V_BOOL V_PostMessageA(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);
V_LRESULT V_SendMessageA(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);
void V_PostQuitMessage(int exitCode);
// Character messages are made when the key events are converted; this only reports whether
// the message was a key message.
V_BOOL V_TranslateMessage(const V_MSG* message);
V_LRESULT V_DispatchMessageA(const V_MSG* message);
V_LRESULT V_DefWindowProcA(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);

// ---- Window classes and windows ----
constexpr V_UINT V_CS_VREDRAW = 0x0001;
constexpr V_UINT V_CS_HREDRAW = 0x0002;

struct V_WNDCLASSEXA {
    V_UINT cbSize;
    V_UINT style;
    V_WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    V_HINSTANCE hInstance;
    V_HICON hIcon;
    V_HCURSOR hCursor;
    V_HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
    V_HICON hIconSm;
};

typedef uint16_t V_ATOM;
V_ATOM V_RegisterClassExA(const V_WNDCLASSEXA* windowClass);
V_BOOL V_UnregisterClassA(const char* className, V_HINSTANCE instance);

constexpr V_DWORD V_WS_POPUP = 0x80000000u;
constexpr V_DWORD V_WS_VISIBLE = 0x10000000u;
constexpr V_DWORD V_WS_CAPTION = 0x00C00000u;
constexpr V_DWORD V_WS_SYSMENU = 0x00080000u;
constexpr V_DWORD V_WS_THICKFRAME = 0x00040000u;
constexpr V_DWORD V_WS_MINIMIZEBOX = 0x00020000u;
constexpr V_DWORD V_WS_MAXIMIZEBOX = 0x00010000u;
constexpr V_DWORD V_WS_EX_TOPMOST = 0x00000008u;
constexpr V_DWORD V_WS_EX_TOOLWINDOW = 0x00000080u;
constexpr V_DWORD V_WS_EX_WINDOWEDGE = 0x00000100u;
constexpr V_DWORD V_WS_EX_CLIENTEDGE = 0x00000200u;

// Windows are top-level SDL windows; a window has no frame of its own (the desktop's window
// manager draws any decoration outside it), so its window and client rectangles coincide.
// Creation sends WM_CREATE; a window created with WS_VISIBLE is shown at once.
V_HWND V_CreateWindowExA(V_DWORD exStyle, const char* className, const char* title, V_DWORD style,
                         int x, int y, int width, int height, V_HWND parent, V_HMENU menu,
                         V_HINSTANCE instance, void* parameter);
// Sends WM_DESTROY, then removes the window.
V_BOOL V_DestroyWindow(V_HWND window);
V_BOOL V_IsWindow(V_HWND window);
// A window of the class in this process, or one made by another process of the user on the
// same display (kept by a lock file keyed by class name and display). Finding none, the look
// claims the class for this process in the same step: other processes' looks find a window
// from then on, until the claim is released (the windows of the class made meanwhile hold it).
// A look by another process while one that claimed is still open (until V_EndWindowClassLook,
// the class's window or the claim's release) waits for it, up to ten seconds.
V_HWND V_FindWindowA(const char* className, const char* title);
// Ends the claiming look: other processes' looks go on to find the claim.
void V_EndWindowClassLook(const char* className);
// Gives up the class claim of V_FindWindowA (the program's end, or its failed start).
void V_ReleaseWindowClassClaim(const char* className);

constexpr int V_SW_HIDE = 0;
constexpr int V_SW_SHOWNORMAL = 1;
constexpr int V_SW_SHOW = 5;
constexpr int V_SW_MINIMIZE = 6;
// The first showing makes the window the active one (WM_ACTIVATEAPP, WM_ACTIVATE are sent).
V_BOOL V_ShowWindow(V_HWND window, int command);
// Sends WM_PAINT when part of the window is invalid.
V_BOOL V_UpdateWindow(V_HWND window);
V_BOOL V_InvalidateRect(V_HWND window, const V_RECT* rect, V_BOOL erase);

V_BOOL V_AdjustWindowRectEx(V_RECT* rect, V_DWORD style, V_BOOL menu, V_DWORD exStyle);
V_BOOL V_GetWindowRect(V_HWND window, V_RECT* rect);
V_BOOL V_GetClientRect(V_HWND window, V_RECT* rect);
V_BOOL V_ClientToScreen(V_HWND window, V_POINT* point);
// Moves and sizes sends WM_MOVE when the position changes and WM_SIZE when the size changes.
V_BOOL V_MoveWindow(V_HWND window, int x, int y, int width, int height, V_BOOL repaint);

#define V_HWND_TOP (reinterpret_cast<V_HWND>(static_cast<intptr_t>(0)))
#define V_HWND_TOPMOST (reinterpret_cast<V_HWND>(static_cast<intptr_t>(-1)))
#define V_HWND_NOTOPMOST (reinterpret_cast<V_HWND>(static_cast<intptr_t>(-2)))
// The window handle -1 of V_PeekMessageA: messages posted to the thread.
#define V_HWND_THREAD_MESSAGES (reinterpret_cast<V_HWND>(static_cast<intptr_t>(-1)))
constexpr V_UINT V_SWP_NOSIZE = 0x0001;
constexpr V_UINT V_SWP_NOMOVE = 0x0002;
constexpr V_UINT V_SWP_NOZORDER = 0x0004;
constexpr V_UINT V_SWP_NOREDRAW = 0x0008;
constexpr V_UINT V_SWP_NOACTIVATE = 0x0010;
V_BOOL V_SetWindowPos(V_HWND window, V_HWND insertAfter, int x, int y, int width, int height,
                      V_UINT flags);

constexpr int V_GWL_STYLE = -16;
constexpr int V_GWL_EXSTYLE = -20;
V_LONG V_SetWindowLongA(V_HWND window, int index, V_LONG value);
V_LONG V_GetWindowLongA(V_HWND window, int index);

V_BOOL V_BringWindowToTop(V_HWND window);
V_HWND V_SetActiveWindow(V_HWND window);
V_HWND V_GetForegroundWindow();
V_BOOL V_SetForegroundWindow(V_HWND window);
V_DWORD V_GetWindowThreadProcessId(V_HWND window, V_DWORD* processId);
V_BOOL V_AttachThreadInput(V_DWORD fromThread, V_DWORD toThread, V_BOOL attach);

// ---- Icons and cursors ----
constexpr uintptr_t V_IDC_ARROW = 32512;
constexpr uintptr_t V_IDI_APPLICATION = 32512;
// Resource names may be integer ids passed as pointers.
V_HICON V_LoadIconA(V_HINSTANCE instance, const char* name);
V_HCURSOR V_LoadCursorA(V_HINSTANCE instance, const char* name);
V_HCURSOR V_SetCursor(V_HCURSOR cursor);
// The display counter: the cursor shows while it is 0 or above. Returns the new count.
int V_ShowCursor(V_BOOL show);
// The mouse position in screen coordinates, as last reported by the converted events.
V_BOOL V_GetCursorPos(V_POINT* point);

// ---- System metrics, parameters and display settings ----
constexpr int V_SM_CXSCREEN = 0;
constexpr int V_SM_CYSCREEN = 1;
int V_GetSystemMetrics(int index);

constexpr V_UINT V_SPI_SETSCREENSAVEACTIVE = 0x0011;
constexpr V_UINT V_SPI_GETFOREGROUNDLOCKTIMEOUT = 0x2000;
constexpr V_UINT V_SPI_SETFOREGROUNDLOCKTIMEOUT = 0x2001;
constexpr V_UINT V_SPIF_SENDCHANGE = 0x0002;
// The screen saver switch and the foreground lock time-out (kept, with no effect here).
V_BOOL V_SystemParametersInfoA(V_UINT action, V_UINT uiParam, void* pvParam, V_UINT winIni);

// A display mode. Only the fields named here are read or written; dmSize is 156.
struct V_DEVMODEA {
    char dmDeviceName[32];
    V_WORD dmSpecVersion;
    V_WORD dmDriverVersion;
    V_WORD dmSize;
    V_WORD dmDriverExtra;
    V_DWORD dmFields;
    V_DWORD dmBitsPerPel;
    V_DWORD dmPelsWidth;
    V_DWORD dmPelsHeight;
    V_DWORD dmDisplayFlags;
    V_DWORD dmDisplayFrequency;
    unsigned char dmOther[92];  // fields nothing here uses
};
static_assert(sizeof(V_DEVMODEA) == 156, "the mode record is 156 bytes");
constexpr V_DWORD V_DM_BITSPERPEL = 0x00040000;
constexpr V_DWORD V_DM_PELSWIDTH = 0x00080000;
constexpr V_DWORD V_DM_PELSHEIGHT = 0x00100000;
constexpr V_DWORD V_DM_DISPLAYFREQUENCY = 0x00400000;
constexpr V_DWORD V_CDS_FULLSCREEN = 0x00000004;
constexpr V_LONG V_DISP_CHANGE_SUCCESSFUL = 0;
constexpr V_LONG V_DISP_CHANGE_FAILED = -1;
constexpr V_LONG V_DISP_CHANGE_BADMODE = -2;
// The display's modes (SDL's modes of display 0), each offered in 16 and 32 bits, as the desktop
// depth is the layer's own; false past the last index. The device name must be null.
V_BOOL V_EnumDisplaySettingsA(const char* device, V_DWORD index, V_DEVMODEA* mode);
// A listed mode (width, height, bits, and the refresh rate when its field is given) puts the
// first window full screen in that mode; a null mode returns to the desktop. A change that is
// made sends V_WM_DISPLAYCHANGE (bits, width | height << 16) to every window before returning.
V_LONG V_ChangeDisplaySettingsA(V_DEVMODEA* mode, V_DWORD flags);
// Test switch: the display's mode list is replaced by `count` modes (count < 0: the display's own
// again); a change to one of them is reported made without touching the display.
void V_SetDisplayModesForTest(const V_DEVMODEA* modes, int count);

// ---- Clipboard (code page 932 text, UTF-8 on the desktop) ----
constexpr V_UINT V_CF_TEXT = 1;
V_BOOL V_OpenClipboard(V_HWND owner);
V_BOOL V_CloseClipboard();
V_BOOL V_EmptyClipboard();
// Takes ownership of the global block (its text up to the first 0 byte).
V_HANDLE V_SetClipboardData(V_UINT format, V_HANDLE data);
// A global block owned by the clipboard, valid until the clipboard is closed; null without text.
V_HANDLE V_GetClipboardData(V_UINT format);

// ---- Painting ----
struct V_PAINTSTRUCT {
    V_HDC hdc;
    V_BOOL fErase;
    V_RECT rcPaint;
    V_BOOL fRestore;
    V_BOOL fIncUpdate;
    V_BYTE rgbReserved[32];
};
V_HDC V_BeginPaint(V_HWND window, V_PAINTSTRUCT* paint);
V_BOOL V_EndPaint(V_HWND window, const V_PAINTSTRUCT* paint);
// Fills on a window's device context show in the window at the end of painting or on release.
int V_FillRect(V_HDC dc, const V_RECT* rect, V_HBRUSH brush);
// Null window: the screen's device context.
V_HDC V_GetDC(V_HWND window);
int V_ReleaseDC(V_HWND window, V_HDC dc);

// ---- IME ----
// Switches text input of the windows on or off; returns the previous state.
V_BOOL V_WINNLSEnableIME(V_HWND window, V_BOOL enable);

// ---- Keyboard state ----
// 256 bytes indexed by virtual key, bit 7 set for a key held: the keys and mouse buttons (1
// left, 2 right, 4 middle) as last reported by the converted events; the modifier keys under
// their side-less and their left and right keys.
V_BOOL V_GetKeyboardState(V_BYTE* state);

// The desktop window: a handle of its own that names no window of this program (window ids
// start above it). Calls that take a window of ours treat it as no window.
V_HWND V_GetDesktopWindow();

// ---------------------------------------------------------------- timers
constexpr V_UINT V_WM_TIMER = 0x0113;
typedef void (*V_TIMERPROC)(V_HWND window, V_UINT message, V_UINT_PTR id, V_DWORD time);
// Arms (or re-arms) timer id of the window; every elapse milliseconds a V_WM_TIMER comes out of
// the queue of the calling thread when nothing else is waiting, and dispatching it calls proc.
V_UINT_PTR V_SetTimer(V_HWND window, V_UINT_PTR id, V_UINT elapse, V_TIMERPROC proc);
V_BOOL V_KillTimer(V_HWND window, V_UINT_PTR id);
