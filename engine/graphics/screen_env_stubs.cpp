// Least versions of what the screen code needs of the engine core and the movie system, until
// the window code and the movies provide them: the library counts as up, no window exists (so
// nothing is transferred to it), no timer runs, the fatal exit logs and ends the process.
#include <cstdlib>

#include "core/core.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"

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

int TransferDibToWindow(const V_BITMAPINFO*, const void*, int, int, int, int, int, int, int, int) {
    return -1;
}

int CloseMovie(int) { return -1; }
