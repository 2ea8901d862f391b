// Display modes: the display's own list from SDL, full-screen changes of the first window, and
// the display-change message that every change made sends to the windows.
#include <mutex>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/user/user_internal.h"

namespace {

struct DisplayMode {
    int width, height, bits, rate;
};

struct DisplayState {
    bool testList = false;
    std::vector<DisplayMode> testModes;
    bool changed = false;  // a mode other than the desktop's is in force
};

DisplayState& Display() {
    static DisplayState state;
    return state;
}

std::vector<DisplayMode> ListModes() {
    DisplayState& state = Display();
    if (state.testList) return state.testModes;
    std::vector<DisplayMode> modes;
    if (!UserEnsureVideo()) return modes;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        for (int bits : {16, 32}) modes.push_back({mode.w, mode.h, bits, mode.refresh_rate});
    }
    return modes;
}

void SendDisplayChange(int bits, int width, int height) {
    V_LPARAM size = static_cast<V_LPARAM>((static_cast<uint32_t>(height) & 0xFFFF) << 16 |
                                          (static_cast<uint32_t>(width) & 0xFFFF));
    for (V_HWND window : UserAllWindows())
        V_SendMessageA(window, V_WM_DISPLAYCHANGE, static_cast<V_WPARAM>(bits), size);
}

// The first listed mode that the record asks for, or null.
const DisplayMode* FindMode(const std::vector<DisplayMode>& modes, const V_DEVMODEA& want) {
    for (const DisplayMode& mode : modes) {
        if ((want.dmFields & V_DM_PELSWIDTH) && mode.width != static_cast<int>(want.dmPelsWidth))
            continue;
        if ((want.dmFields & V_DM_PELSHEIGHT) && mode.height != static_cast<int>(want.dmPelsHeight))
            continue;
        if ((want.dmFields & V_DM_BITSPERPEL) && mode.bits != static_cast<int>(want.dmBitsPerPel))
            continue;
        if ((want.dmFields & V_DM_DISPLAYFREQUENCY) && want.dmDisplayFrequency != 0 &&
            mode.rate != static_cast<int>(want.dmDisplayFrequency))
            continue;
        return &mode;
    }
    return nullptr;
}

// Puts the first window full screen in the mode, or back on the desktop.
bool ApplyToWindow(const DisplayMode* mode) {
    SDL_Window* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        if (UserWindow* first = UserFirstWindow()) window = first->sdl;
    }
    if (window == nullptr) return false;
    if (mode == nullptr) return SDL_SetWindowFullscreen(window, 0) == 0;
    SDL_DisplayMode sdlMode{};
    sdlMode.w = mode->width;
    sdlMode.h = mode->height;
    sdlMode.refresh_rate = mode->rate;
    if (SDL_SetWindowDisplayMode(window, &sdlMode) != 0) return false;
    return SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) == 0;
}

}  // namespace

V_BOOL V_EnumDisplaySettingsA(const char* device, V_DWORD index, V_DEVMODEA* mode) {
    if (device != nullptr || mode == nullptr) return V_FALSE;
    std::vector<DisplayMode> modes;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        modes = ListModes();
    }
    if (index >= modes.size()) return V_FALSE;
    const DisplayMode& found = modes[index];
    mode->dmSize = sizeof(V_DEVMODEA);
    mode->dmFields = V_DM_BITSPERPEL | V_DM_PELSWIDTH | V_DM_PELSHEIGHT | V_DM_DISPLAYFREQUENCY;
    mode->dmBitsPerPel = static_cast<V_DWORD>(found.bits);
    mode->dmPelsWidth = static_cast<V_DWORD>(found.width);
    mode->dmPelsHeight = static_cast<V_DWORD>(found.height);
    mode->dmDisplayFrequency = static_cast<V_DWORD>(found.rate);
    return V_TRUE;
}

V_LONG V_ChangeDisplaySettingsA(V_DEVMODEA* mode, V_DWORD) {
    DisplayState& state = Display();
    bool testList;
    std::vector<DisplayMode> modes;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        testList = state.testList;
        modes = ListModes();
    }
    if (mode == nullptr) {
        // Back to the desktop: nothing to do (and nothing to tell) unless a mode was set.
        if (!state.changed) return V_DISP_CHANGE_SUCCESSFUL;
        if (!testList) ApplyToWindow(nullptr);
        state.changed = false;
        SendDisplayChange(V_GetDeviceCaps(reinterpret_cast<V_HDC>(1), V_BITSPIXEL),
                          V_GetSystemMetrics(V_SM_CXSCREEN), V_GetSystemMetrics(V_SM_CYSCREEN));
        return V_DISP_CHANGE_SUCCESSFUL;
    }
    const DisplayMode* found = FindMode(modes, *mode);
    if (found == nullptr) return V_DISP_CHANGE_BADMODE;
    DisplayMode chosen = *found;
    if (!testList && !ApplyToWindow(&chosen)) return V_DISP_CHANGE_FAILED;
    state.changed = true;
    SendDisplayChange(chosen.bits, chosen.width, chosen.height);
    return V_DISP_CHANGE_SUCCESSFUL;
}

void V_SetDisplayModesForTest(const V_DEVMODEA* modes, int count) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    DisplayState& state = Display();
    state.testList = count >= 0;
    state.testModes.clear();
    state.changed = false;
    for (int i = 0; i < count; ++i)
        state.testModes.push_back({static_cast<int>(modes[i].dmPelsWidth),
                                   static_cast<int>(modes[i].dmPelsHeight),
                                   static_cast<int>(modes[i].dmBitsPerPel),
                                   static_cast<int>(modes[i].dmDisplayFrequency)});
}
