// Device contexts of windows and the screen, painting and filling rectangles.
#include "platform/gdi/gdi.h"
#include "platform/user/user_internal.h"

namespace {

// A device context: the window it draws into (null for the screen) and whether fills wait
// to be shown.
struct UserDc {
    uint32_t tag;
    V_HWND window;
    bool dirty;
};
constexpr uint32_t kDcTag = 0x44435831;  // "DCX1"
UserDc g_ScreenDc{kDcTag, nullptr, false};

UserDc* ToDc(V_HDC dc) {
    UserDc* record = reinterpret_cast<UserDc*>(dc);
    return record != nullptr && record->tag == kDcTag ? record : nullptr;
}

void ShowFills(UserDc* dc) {
    if (dc->window == nullptr || !dc->dirty) return;
    dc->dirty = false;
    SDL_Window* sdl = UserGetSdlWindow(dc->window);
    if (sdl != nullptr) SDL_UpdateWindowSurface(sdl);
}

}  // namespace

V_HDC V_GetDC(V_HWND window) {
    if (window == nullptr) return reinterpret_cast<V_HDC>(&g_ScreenDc);
    if (!V_IsWindow(window)) return nullptr;
    return reinterpret_cast<V_HDC>(new UserDc{kDcTag, window, false});
}

int V_ReleaseDC(V_HWND, V_HDC dc) {
    UserDc* record = ToDc(dc);
    if (record == nullptr) return 0;
    if (record == &g_ScreenDc) return 1;
    ShowFills(record);
    record->tag = 0;
    delete record;
    return 1;
}

V_HDC V_BeginPaint(V_HWND window, V_PAINTSTRUCT* paint) {
    if (paint == nullptr) return nullptr;
    V_RECT client;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* record = UserFindWindow(window);
        if (record == nullptr) return nullptr;
        record->invalid = false;  // painting validates the whole window
    }
    V_GetClientRect(window, &client);
    *paint = V_PAINTSTRUCT{};
    paint->hdc = V_GetDC(window);
    paint->fErase = V_TRUE;
    paint->rcPaint = client;
    return paint->hdc;
}

V_BOOL V_EndPaint(V_HWND window, const V_PAINTSTRUCT* paint) {
    if (paint == nullptr) return V_FALSE;
    V_ReleaseDC(window, paint->hdc);
    return V_TRUE;
}

int V_FillRect(V_HDC dc, const V_RECT* rect, V_HBRUSH brush) {
    UserDc* record = ToDc(dc);
    V_COLORREF color;
    if (record == nullptr || rect == nullptr) return 0;
    if (!GdiGetBrushColor(brush, &color)) return 1;  // the null brush paints nothing
    if (record->window == nullptr) return 1;        // the desktop is not ours to paint
    SDL_Window* sdl = UserGetSdlWindow(record->window);
    SDL_Surface* surface = sdl != nullptr ? SDL_GetWindowSurface(sdl) : nullptr;
    if (surface == nullptr) return 0;
    SDL_Rect area{rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
    if (area.w <= 0 || area.h <= 0) return 1;
    Uint32 pixel = SDL_MapRGB(surface->format, color & 0xFF, (color >> 8) & 0xFF,
                              (color >> 16) & 0xFF);
    SDL_FillRect(surface, &area, pixel);
    record->dirty = true;
    return 1;
}

int UserDcIsWindowDc(V_HDC dc) { return ToDc(dc) != nullptr ? 1 : 0; }

SDL_Window* UserDcSdlWindow(V_HDC dc) {
    UserDc* record = ToDc(dc);
    return record != nullptr && record->window != nullptr ? UserGetSdlWindow(record->window)
                                                          : nullptr;
}
