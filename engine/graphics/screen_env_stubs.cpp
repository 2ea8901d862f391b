// Least versions of what the screen code needs of the engine core and the movie system, until
// the window code and the movies provide them: the library counts as up, the window's client
// area is a buffer of its own, no timer runs, the fatal exit logs and ends the process.
#include <cstdlib>
#include <vector>

#include "core/core.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "platform/gdi_present.h"

int IsLibraryUp() { return 1; }
int IsLibraryQuitting() { return 0; }

void GraphicsFatalExit(const char* message) {
    WriteLog(message);
    WriteLog("\n");
    EndGraphics();
    std::exit(-1);
}

namespace {
double g_ScaleX = 1.0;
double g_ScaleY = 1.0;
}  // namespace

void SetPresentWindowScale(double x, double y) {
    g_ScaleX = x;
    g_ScaleY = y;
}

void GetPresentWindowScale(double* x, double* y) {
    *x = g_ScaleX;
    *y = g_ScaleY;
}

void ArmPresentTimer(int) {}

namespace {
// Stands in for the window's client area: the picture as last presented.
std::vector<uint32_t> g_WindowPixels;
V_DibTarget g_WindowTarget;
}  // namespace

int TransferDibToWindow(const V_BITMAPINFO* info, const void* bits, int dx, int dy, int dw, int dh,
                        int sx, int sy, int sw, int sh) {
    if (dw <= 0 || dh <= 0) return -1;
    g_WindowPixels.assign(static_cast<size_t>(dx + dw) * (dy + dh), 0);
    g_WindowTarget = {reinterpret_cast<uint8_t*>(g_WindowPixels.data()), (dx + dw) * 4, dx + dw,
                      dy + dh};
    return V_TransferDibToPixels(&g_WindowTarget, dx, dy, dw, dh, sx, sy, sw, sh, bits, info) > 0
               ? 0
               : -1;
}

const V_DibTarget* GetPresentedPixels() { return &g_WindowTarget; }

