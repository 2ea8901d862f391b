// DirectDraw 7 stand-in: the vertical blank follows the display's refresh rate (60 Hz when SDL
// does not know it), capabilities are zero and the primary surface may be refused.
#include "platform/ddraw/ddraw.h"

#include <SDL.h>

#include <time.h>

#include <cstring>

#include "platform/d3d9/d3d9.h"

namespace {

bool g_RefusePrimary = false;

int64_t NowMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int RefreshRate() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        SDL_DisplayMode mode;
        if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
            return mode.refresh_rate;
    }
    return 60;
}

class PrimarySurface : public V_RefCounted<V_IDirectDrawSurface7> {
public:
    V_HRESULT GetDC(V_HDC* dc) override {
        *dc = reinterpret_cast<V_HDC>(this);
        return V_S_OK;
    }
    V_HRESULT ReleaseDC(V_HDC) override { return V_S_OK; }
};

class DirectDraw : public V_RefCounted<V_IDirectDraw7> {
public:
    V_HRESULT Initialize(V_GUID*) override {
        initialised_ = true;
        return V_S_OK;
    }
    V_HRESULT SetCooperativeLevel(V_HWND, V_DWORD) override {
        return initialised_ ? V_S_OK : V_DDERR_NOTINITIALIZED;
    }
    V_HRESULT CreateSurface(V_DDSURFACEDESC2* desc, V_IDirectDrawSurface7** surface,
                            V_IUnknown*) override {
        if (desc == nullptr || surface == nullptr) return V_E_INVALIDARG;
        *surface = nullptr;
        if (g_RefusePrimary) return V_DDERR_UNSUPPORTED;
        *surface = new PrimarySurface;
        return V_S_OK;
    }
    V_HRESULT GetCaps(void* driverCaps, void* emulationCaps) override {
        if (driverCaps != nullptr) std::memset(driverCaps, 0, V_DDCAPS_SIZE);
        if (emulationCaps != nullptr) std::memset(emulationCaps, 0, V_DDCAPS_SIZE);
        return V_S_OK;
    }
    // The beam is taken to be in the blank during the first twentieth of each period.
    V_HRESULT GetVerticalBlankStatus(V_BOOL* inVerticalBlank) override {
        int64_t period = 1000000 / RefreshRate();
        *inVerticalBlank = (NowMicroseconds() % period) < period / 20;
        return V_S_OK;
    }
    V_HRESULT WaitForVerticalBlank(V_DWORD, V_HANDLE) override {
        int64_t period = 1000000 / RefreshRate();
        int64_t now = NowMicroseconds();
        int64_t next = (now / period + 1) * period;
        int64_t wait = next - now;
        timespec pause = {static_cast<time_t>(wait / 1000000), static_cast<long>(wait % 1000000) * 1000};
        nanosleep(&pause, nullptr);
        return V_S_OK;
    }

private:
    bool initialised_ = false;
};

}  // namespace

V_HRESULT V_DirectDrawCreateEx(V_GUID*, void** object, const V_GUID& iid, V_IUnknown* outer) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return V_E_INVALIDARG;
    if (!(iid == V_IID_IDirectDraw7)) return V_E_NOINTERFACE;
    *object = static_cast<V_IDirectDraw7*>(new DirectDraw);
    return V_S_OK;
}

void V_DirectDrawRefusePrimarySurface(bool refuse) { g_RefusePrimary = refuse; }
