// What the screen code needs of the engine core (library state, main window, the present timer,
// the fatal exit).
#pragma once

#include "platform/types.h"

struct V_BITMAPINFO;

int IsLibraryUp();        // initialised or initialising
int IsLibraryQuitting();  // the quit flag is set
[[noreturn]] void GraphicsFatalExit(const char* message);
// Window scale of the main window in windowed mode (1.0 each when not scaled).
void GetPresentWindowScale(double* x, double* y);
// Arms or stops the 32 ms present timer of the main window.
void ArmPresentTimer(int on);
// Copies a top-down bit-field DIB into the main window: (dx, dy, dw, dh) from (sx, sy, sw, sh),
// with the source y counted from the bottom of an image of the given height. 0, or -1 without a
// window.
int TransferDibToWindow(const V_BITMAPINFO* info, const void* bits, int dx, int dy, int dw, int dh,
                        int sx, int sy, int sw, int sh);
