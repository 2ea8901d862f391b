// Least versions of the graphics calls: settings are kept, nothing is drawn.
#include "graphics/graphics_stubs.h"

namespace {

int g_DrawTarget = -4;
int g_WaitVSync = 1;
void (*g_RestoreCallback)() = nullptr;
int g_RestoreBuiltIn = 0;

}  // namespace

int GetScreenSize(int* width, int* height) {
    if (width != nullptr) *width = 640;
    if (height != nullptr) *height = 480;
    return 0;
}

int GetDisplayModeCount() { return 0; }

int GetDisplayMode(int, int*, int*, int*) { return -1; }

int GetColorBitDepth() { return 16; }

int GetForceSoftwareFlag() { return 0; }

int GetScreenState(int* width, int* height, int* bits) {
    GetScreenSize(width, height);
    if (bits != nullptr) *bits = GetColorBitDepth();
    return 0;
}

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

int IsDirect3DInUse() { return 0; }

int HasDirectDrawObject() { return 0; }

int GetWaitVSyncFlag() { return g_WaitVSync; }

int SetWaitVSyncFlag(int flag) {
    g_WaitVSync = flag;
    return 0;
}
