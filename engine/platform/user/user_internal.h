// Internal state of the window stand-ins, shared by their source files (and, for the SDL window
// behind a window handle, by the other stand-ins that draw into it).
#pragma once

#include <SDL.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/user/user.h"

struct UserWindow {
    uintptr_t id = 0;
    SDL_Window* sdl = nullptr;
    uint32_t sdlId = 0;
    std::string className;
    V_WNDPROC procedure = nullptr;
    V_DWORD style = 0;
    V_DWORD exStyle = 0;
    V_RECT rect{};          // screen coordinates; the client area is the whole window
    V_DWORD threadId = 0;
    bool visible = false;
    bool shownOnce = false;
    bool invalid = false;   // a WM_PAINT is due
    bool destroying = false;
    int lockFd = -1;        // the second-copy lock file, held while the window lives
};

// The lock taken for every read or change of the window table and the message queues.
// It is never held while a window procedure runs.
std::recursive_mutex& UserLock();

// Null when the handle names no live window of this process.
UserWindow* UserFindWindow(V_HWND window);
UserWindow* UserFindWindowBySdlId(uint32_t sdlId);
// The first live window, for events that name none.
UserWindow* UserFirstWindow();
// Every live window, for messages sent to all of them.
std::vector<V_HWND> UserAllWindows();
// A window of the thread that needs painting, null for none.
UserWindow* UserFindDuePaint(V_DWORD threadId);
inline V_HWND UserHandle(const UserWindow* window) {
    return reinterpret_cast<V_HWND>(window->id);
}

// Starts SDL's video subsystem once; false when no video driver can be had.
bool UserEnsureVideo();
// True on the thread that started SDL's video subsystem (the only one that may pump events).
bool UserIsVideoThread();
// Ends SDL's video subsystem when no window and no class remains.
void UserReleaseVideoIfUnused();

// The SDL window behind a window handle, null for none (for the stand-ins that draw).
SDL_Window* UserGetSdlWindow(V_HWND window);

// Queue of the window's thread (or of the calling thread for a null window).
void UserPostToThread(V_DWORD threadId, const V_MSG& message);
// Converts every pending SDL event into messages; on the video thread only.
void UserConvertPendingEvents();

// SIGINT and SIGTERM taken as a close request while windows live: installed with the first
// window, removed with the last (a request no window took is then raised again).
void UserInstallCloseSignals();
void UserRemoveCloseSignals();
// True once for each termination signal that asked for the close.
bool UserTakeCloseSignal();

// Activation as the stand-in reports it: the window that is active now (0 for none).
void UserSetActiveWindow(UserWindow* window, bool active, bool send);
V_HWND UserGetActiveWindow();

// The switch of V_WINNLSEnableIME: compositions are reported only while it is on.
bool UserImeEnabled();

// Clears the key and mouse state (a window was destroyed).
void UserResetInputState();

// Device contexts of windows: whether dc is one, and the SDL window it draws into (null for the
// screen or a dc of another kind).
int UserDcIsWindowDc(V_HDC dc);
SDL_Window* UserDcSdlWindow(V_HDC dc);

// A due timer of the thread as a V_WM_TIMER message (re-armed when removed); false for none.
bool UserTakeDueTimer(V_DWORD thread, V_HWND window, V_MSG* message, bool remove);
