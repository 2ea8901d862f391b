// What the screen code takes from the engine core: the library state, the main window, its
// scale, the present timer, the bitmap transfer to the window and the fatal exit.
#include "graphics/screen_env.h"

#include "core/core.h"
#include "core/library_state.h"
#include "graphics/screen.h"
#include "platform/gdi/gdi_dib.h"
#include "platform/gdi/gdi_present.h"
#include "platform/user/user.h"

int IsLibraryUp() { return g_Library.initialised || g_Library.initialising ? 1 : 0; }

int IsLibraryQuitting() { return GetQuitFlag(); }

void GraphicsFatalExit(const char* message) { FatalExit(message); }

void GetPresentWindowScale(double* x, double* y) { GetWindowScale(x, y); }

namespace {

constexpr V_UINT_PTR kPresentTimerId = 32767;

void PresentTimerCallback(V_HWND window, V_UINT message, V_UINT_PTR id, V_DWORD time) {
    PresentTimerProc(window, message, id, time);
}

}  // namespace

void ArmPresentTimer(int on) {
    V_HWND window = GetMainWindowHandle();
    if (window == nullptr) return;
    if (on) {
        V_SetTimer(window, kPresentTimerId, 32, PresentTimerCallback);
    } else {
        V_KillTimer(window, kPresentTimerId);
    }
}

int TransferDibToWindow(const V_BITMAPINFO* info, const void* bits, int dx, int dy, int dw, int dh,
                        int sx, int sy, int sw, int sh) {
    V_HWND window = GetMainWindowHandle();
    if (window == nullptr) return 0;
    V_HDC dc = V_GetDC(window);
    if (dc == nullptr) return 0;
    // The 1:1 case hands the rows over as they are; only a size difference stretches.
    if (dw == sw && dh == sh) {
        V_SetDIBitsToDevice(dc, dx, dy, static_cast<V_DWORD>(dw), static_cast<V_DWORD>(dh), sx, sy,
                            0, static_cast<V_UINT>(dh), bits, info, V_DIB_RGB_COLORS);
    } else {
        V_StretchDIBits(dc, dx, dy, dw, dh, sx, sy, sw, sh, bits, info, V_DIB_RGB_COLORS,
                        0x00CC0020 /* SRCCOPY */);
    }
    V_ReleaseDC(window, dc);
    return 0;
}
