// Least versions of the graphics calls: settings are kept, nothing is drawn.
#include "graphics/graphics_stubs.h"

namespace {

int g_DrawTarget = -4;
void (*g_RestoreCallback)() = nullptr;
int g_RestoreBuiltIn = 0;

}  // namespace

int SetGraphRestoreCallback(void (*callback)()) {
    g_RestoreCallback = callback;
    g_RestoreBuiltIn = callback == nullptr;  // null selects the built-in restore
    return 0;
}

int IsGraphRestoreCallbackSet() { return g_RestoreCallback != nullptr || g_RestoreBuiltIn; }

int InitGraphics() { return 0; }

int EndGraphics() { return 0; }

int SetDrawTarget(int target) {
    g_DrawTarget = target;
    return 0;
}

int GetDrawTarget() { return g_DrawTarget; }

int ChangeScreenMode(int, int, int, int, int) { return 0; }

int RefreshScreen(const V_RECT*) { return 0; }

int RecreateDeviceSameMode() { return 0; }

int PresentDeviceOnce() { return 0; }
