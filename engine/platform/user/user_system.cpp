// Cursor, icons, system metrics and parameters, display settings and the IME switch.
#include "platform/user/user_internal.h"

namespace {

struct SystemState {
    int cursorCount = 0;          // the display counter of V_ShowCursor
    bool cursorCleared = false;   // V_SetCursor(null) took the shape away
    V_UINT foregroundLockTimeout = 200000;
    bool imeEnabled = true;
};

SystemState& State() {
    static SystemState* state = new SystemState;
    return *state;
}

// Stock icons and cursors are tokens: the desktop draws its own.
char g_ArrowCursor;
char g_ApplicationIcon;

void ApplyCursor() {
    SystemState& state = State();
    if (!UserEnsureVideo()) return;
    SDL_ShowCursor(state.cursorCount >= 0 && !state.cursorCleared ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace

V_HICON V_LoadIconA(V_HINSTANCE, const char*) {
    return reinterpret_cast<V_HICON>(&g_ApplicationIcon);
}

V_HCURSOR V_LoadCursorA(V_HINSTANCE instance, const char* name) {
    if (instance != nullptr || reinterpret_cast<uintptr_t>(name) != V_IDC_ARROW) return nullptr;
    return reinterpret_cast<V_HCURSOR>(&g_ArrowCursor);
}

V_HCURSOR V_SetCursor(V_HCURSOR cursor) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    SystemState& state = State();
    V_HCURSOR previous =
        state.cursorCleared ? nullptr : reinterpret_cast<V_HCURSOR>(&g_ArrowCursor);
    state.cursorCleared = cursor == nullptr;
    ApplyCursor();
    return previous;
}

int V_ShowCursor(V_BOOL show) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    SystemState& state = State();
    state.cursorCount += show ? 1 : -1;
    if (show && state.cursorCount >= 0) state.cursorCleared = false;
    ApplyCursor();
    return state.cursorCount;
}

int V_GetSystemMetrics(int index) {
    if (index != V_SM_CXSCREEN && index != V_SM_CYSCREEN) return 0;
    if (!UserEnsureVideo()) return 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    return index == V_SM_CXSCREEN ? mode.w : mode.h;
}

V_BOOL V_SystemParametersInfoA(V_UINT action, V_UINT uiParam, void* pvParam, V_UINT) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    SystemState& state = State();
    switch (action) {
    case V_SPI_SETSCREENSAVEACTIVE:
        if (!UserEnsureVideo()) return V_FALSE;
        if (uiParam) SDL_EnableScreenSaver();
        else SDL_DisableScreenSaver();
        return V_TRUE;
    case V_SPI_GETFOREGROUNDLOCKTIMEOUT:
        if (pvParam == nullptr) return V_FALSE;
        *static_cast<V_DWORD*>(pvParam) = state.foregroundLockTimeout;
        return V_TRUE;
    case V_SPI_SETFOREGROUNDLOCKTIMEOUT:
        state.foregroundLockTimeout =
            static_cast<V_UINT>(reinterpret_cast<uintptr_t>(pvParam));
        return V_TRUE;
    default:
        return V_FALSE;
    }
}

V_BOOL V_WINNLSEnableIME(V_HWND, V_BOOL enable) {
    // Typed text keeps arriving either way; only composition would depend on it.
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    bool previous = State().imeEnabled;
    State().imeEnabled = enable != 0;
    return previous ? V_TRUE : V_FALSE;
}

bool UserImeEnabled() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    return State().imeEnabled;
}
