// Direct3D creation: the OpenGL objects, or those of a creation hook a program installed, none
// when hardware drawing is switched off.
#include "platform/d3d9/d3d9.h"

#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/kernel/kernel.h"

V_IDirect3D9* V_CreateOpenGLDirect3D9();

namespace {

V_D3D9CreateHook g_CreateHook = nullptr;
int g_HardwareAllowed = -1;  // -1: not decided yet (the environment decides)

bool HardwareAllowed() {
    if (g_HardwareAllowed < 0) {
        const char* setting = std::getenv("VELK_NO_GL");
        g_HardwareAllowed = setting != nullptr && std::strcmp(setting, "1") == 0 ? 0 : 1;
    }
    return g_HardwareAllowed != 0;
}

}  // namespace

void V_D3D9SetHardwareAllowed(bool allowed) { g_HardwareAllowed = allowed ? 1 : 0; }
bool V_D3D9HardwareIsAllowed() { return HardwareAllowed(); }
void V_D3D9SetCreateHook(V_D3D9CreateHook hook) { g_CreateHook = hook; }

V_IDirect3D9* V_Direct3DCreate9(V_UINT sdkVersion) {
    if (sdkVersion != V_D3D_SDK_VERSION) return nullptr;
    if (!HardwareAllowed()) {
        V_OutputDebugStringA("Direct3D on OpenGL: hardware drawing is switched off\n");
        return nullptr;
    }
    if (g_CreateHook != nullptr) return g_CreateHook();
    return V_CreateOpenGLDirect3D9();
}
