// Least versions of the drawing calls: no models, no mask screen, nothing to draw.
#include "draw/draw_stubs.h"

namespace {
int g_UseMaskScreen = 0;
}  // namespace

int InitModels() { return 0; }
int EndModels() { return 0; }
int GetUseMaskScreenFlag() { return g_UseMaskScreen; }
int SetUseMaskScreenFlag(int flag) {
    g_UseMaskScreen = flag;
    return 0;
}
int ReapplyDrawArea() { return 0; }
