// The OpenGL Direct3D object: adapter answers, capabilities, and device creation with an
// OpenGL 3.3 core context on the device window.
#include <malloc.h>

#include <cstdio>
#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user_internal.h"

namespace {

bool g_DeviceLost = false;
bool g_BlendOperation = true;
bool g_SquareOnly = false;
int g_ProgramCount = 0;
char g_Renderer[256] = "OpenGL";
char g_Version[256] = "3.3";

void Report(const char* reason) {
    char text[512];
    std::snprintf(text, sizeof text, "Direct3D on OpenGL: %s\n", reason);
    V_OutputDebugStringA(text);
}

V_D3DFORMAT DesktopFormat() {
    int bits = V_GetDeviceCaps(reinterpret_cast<V_HDC>(1), V_BITSPIXEL);
    if (bits == 32) return V_D3DFMT_X8R8G8B8;
    if (bits == 24) return 20;  // R8G8B8: no device format
    return V_D3DFMT_R5G6B5;
}

bool VersionAtLeast33(const char* version) {
    int major = 0, minor = 0;
    if (version == nullptr || std::sscanf(version, "%d.%d", &major, &minor) != 2) return false;
    return major > 3 || (major == 3 && minor >= 3);
}

// A 3.3 core context on the window, current; null (and the reason reported) when none can be had.
GlContextRef CreateContext(SDL_Window* window) {
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) {
        Report("the window was made without OpenGL");
        return nullptr;
    }
    int major = 0, minor = 0, profile = 0;
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, &major);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, &minor);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext made = SDL_GL_CreateContext(window);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
    if (made == nullptr) {
        Report(SDL_GetError());
        return nullptr;
    }
    auto context = std::make_shared<GlContext>();
    context->window = window;
    context->windowId = SDL_GetWindowID(window);
    context->context = made;
    const char* missing = nullptr;
    if (!context->MakeCurrent() || !LoadGlApi(&context->gl, &missing)) {
        Report(missing != nullptr ? missing : "the context cannot be made current");
        return nullptr;
    }
    const char* version = reinterpret_cast<const char*>(context->gl.GetString(GL_VERSION));
    if (!VersionAtLeast33(version)) {
        Report("OpenGL 3.3 is not offered");
        return nullptr;
    }
    const char* renderer = reinterpret_cast<const char*>(context->gl.GetString(GL_RENDERER));
    std::snprintf(g_Renderer, sizeof g_Renderer, "%s", renderer != nullptr ? renderer : "OpenGL");
    std::snprintf(g_Version, sizeof g_Version, "%s", version);
    return context;
}

// The software GL drivers allocate and free large blocks as they draw. With the allocator's
// defaults those blocks are mapped and unmapped, or the heap grown and trimmed, each time: the
// page faults of the fresh memory cost more than the drawing. Blocks up to 32 MB come from the
// heap, and up to 16 MB of free heap is kept (4 MB more taken at each growth): with the frame's
// draws joined into a few GL draws that keeps the same pages frame after frame without holding
// much more than the drawing uses.
void KeepFreedMemoryForDrawing() {
#ifdef __GLIBC__
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
        mallopt(M_TOP_PAD, 4 * 1024 * 1024);
        return true;
    }();
    (void)done;
#endif
}

class GlDirect3D : public V_RefCounted<V_IDirect3D9> {
public:
    ~GlDirect3D() override { SDL_GL_UnloadLibrary(); }

    V_UINT GetAdapterModeCount(V_UINT adapter, V_D3DFORMAT format) override {
        if (adapter != 0 || (format != V_D3DFMT_R5G6B5 && format != V_D3DFMT_X1R5G5B5 &&
                             format != V_D3DFMT_X8R8G8B8))
            return 0;
        int count = SDL_GetNumDisplayModes(0);
        return count > 0 ? static_cast<V_UINT>(count) : 0;
    }
    V_HRESULT GetAdapterDisplayMode(V_UINT adapter, V_D3DDISPLAYMODE* mode) override {
        if (adapter != 0 || mode == nullptr) return V_D3DERR_INVALIDCALL;
        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) desktop = {0, 640, 480, 60, nullptr};
        *mode = {static_cast<V_UINT>(desktop.w), static_cast<V_UINT>(desktop.h),
                 static_cast<V_UINT>(desktop.refresh_rate), DesktopFormat()};
        return V_S_OK;
    }
    V_HRESULT GetAdapterIdentifier(V_UINT adapter, V_DWORD,
                                   V_D3DADAPTER_IDENTIFIER9* identifier) override {
        if (adapter != 0 || identifier == nullptr) return V_D3DERR_INVALIDCALL;
        *identifier = {};
        std::snprintf(identifier->Driver, sizeof identifier->Driver, "OpenGL %s", g_Version);
        std::snprintf(identifier->Description, sizeof identifier->Description, "%s", g_Renderer);
        std::snprintf(identifier->DeviceName, sizeof identifier->DeviceName, "\\\\.\\DISPLAY1");
        return V_S_OK;
    }
    V_HRESULT CheckDeviceFormat(V_UINT adapter, uint32_t, V_D3DFORMAT, V_DWORD usage, uint32_t,
                                V_D3DFORMAT format) override {
        if (adapter != 0) return V_D3DERR_INVALIDCALL;
        bool accepted = (usage & V_D3DUSAGE_DEPTHSTENCIL)
                            ? format == V_D3DFMT_D16 || format == V_D3DFMT_D24X8 ||
                                  format == V_D3DFMT_D32
                        : (usage & V_D3DUSAGE_RENDERTARGET) ? GlTargetFormatSupported(format)
                                                            : GlTextureFormatSupported(format);
        return accepted ? V_S_OK : V_D3DERR_NOTAVAILABLE;
    }
    V_HRESULT CheckDeviceMultiSampleType(V_UINT, uint32_t, V_D3DFORMAT, V_BOOL, uint32_t type,
                                         V_DWORD* levels) override {
        if (levels != nullptr) *levels = 1;
        return type == V_D3DMULTISAMPLE_NONE ? V_S_OK : V_D3DERR_NOTAVAILABLE;
    }
    V_HRESULT CheckDepthStencilMatch(V_UINT, uint32_t, V_D3DFORMAT, V_D3DFORMAT target,
                                     V_D3DFORMAT depth) override {
        bool depthKnown = depth == V_D3DFMT_D16 || depth == V_D3DFMT_D24X8 || depth == V_D3DFMT_D32;
        return depthKnown && GlTargetFormatSupported(target) ? V_S_OK : V_D3DERR_NOTAVAILABLE;
    }
    V_HRESULT GetDeviceCaps(V_UINT adapter, uint32_t, V_D3DCAPS9* caps) override {
        if (adapter != 0 || caps == nullptr) return V_D3DERR_INVALIDCALL;
        *caps = MakeGlCaps();
        return V_S_OK;
    }
    V_HRESULT CreateDevice(V_UINT adapter, uint32_t type, V_HWND window, V_DWORD,
                           V_D3DPRESENT_PARAMETERS* parameters,
                           V_IDirect3DDevice9** device) override {
        if (device == nullptr) return V_D3DERR_INVALIDCALL;
        *device = nullptr;
        if (adapter != 0 || type != V_D3DDEVTYPE_HAL || parameters == nullptr)
            return V_D3DERR_INVALIDCALL;
        V_D3DPRESENT_PARAMETERS kept = *parameters;
        if (kept.hDeviceWindow != nullptr) window = kept.hDeviceWindow;
        SDL_Window* sdl = UserGetSdlWindow(window);
        if (sdl == nullptr) return V_D3DERR_INVALIDCALL;
        if (kept.BackBufferFormat == V_D3DFMT_UNKNOWN) kept.BackBufferFormat = DesktopFormat();
        if (kept.BackBufferWidth == 0 || kept.BackBufferHeight == 0) {
            int w = 0, h = 0;
            SDL_GetWindowSize(sdl, &w, &h);
            kept.BackBufferWidth = static_cast<V_UINT>(w);
            kept.BackBufferHeight = static_cast<V_UINT>(h);
        }
        if (!GlTargetFormatSupported(kept.BackBufferFormat) ||
            kept.MultiSampleType != V_D3DMULTISAMPLE_NONE)
            return V_D3DERR_NOTAVAILABLE;
        GlContextRef context = CreateContext(sdl);
        if (!context) return V_D3DERR_NOTAVAILABLE;
        KeepFreedMemoryForDrawing();
        SDL_GL_SetSwapInterval(kept.PresentationInterval == V_D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
        *device = CreateGlDevice(context, kept);
        if (*device == nullptr) {
            Report("the back buffer cannot be made");
            return V_D3DERR_NOTAVAILABLE;
        }
        // A full-screen device takes the display mode of its back buffer (given back when the
        // device goes).
        if (!kept.Windowed && !TakeFullScreenMode(kept)) {
            (*device)->Release();
            *device = nullptr;
            Report("the full-screen display mode is refused");
            return V_D3DERR_NOTAVAILABLE;
        }
        *parameters = kept;
        return V_S_OK;
    }
};

}  // namespace

bool TakeFullScreenMode(const V_D3DPRESENT_PARAMETERS& parameters) {
    V_DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmFields = V_DM_BITSPERPEL | V_DM_PELSWIDTH | V_DM_PELSHEIGHT;
    bool sixteen = parameters.BackBufferFormat == V_D3DFMT_R5G6B5 ||
                   parameters.BackBufferFormat == V_D3DFMT_X1R5G5B5 ||
                   parameters.BackBufferFormat == V_D3DFMT_A1R5G5B5;
    mode.dmBitsPerPel = sixteen ? 16 : 32;
    mode.dmPelsWidth = parameters.BackBufferWidth;
    mode.dmPelsHeight = parameters.BackBufferHeight;
    if (parameters.FullScreen_RefreshRateInHz != 0) {
        mode.dmFields |= V_DM_DISPLAYFREQUENCY;
        mode.dmDisplayFrequency = parameters.FullScreen_RefreshRateInHz;
    }
    return V_ChangeDisplaySettingsA(&mode, V_CDS_FULLSCREEN) == V_DISP_CHANGE_SUCCESSFUL;
}

V_D3DCAPS9 MakeGlCaps() {
    V_D3DCAPS9 caps{};
    caps.DeviceType = V_D3DDEVTYPE_HAL;
    caps.PrimitiveMiscCaps = g_BlendOperation ? V_D3DPMISCCAPS_BLENDOP : 0;
    caps.TextureCaps = V_D3DPTEXTURECAPS_POW2 | (g_SquareOnly ? V_D3DPTEXTURECAPS_SQUAREONLY : 0);
    caps.MaxTextureWidth = 2048;
    caps.MaxTextureHeight = 2048;
    caps.MaxAnisotropy = 16;
    caps.MaxTextureBlendStages = kGlStages;
    caps.MaxSimultaneousTextures = kGlStages;
    caps.MaxActiveLights = 8;
    caps.VertexShaderVersion = V_D3DVS_VERSION(2, 0);
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = V_D3DPS_VERSION(2, 0);
    return caps;
}

bool GlDeviceLost() { return g_DeviceLost; }
void GlCountProgram() { ++g_ProgramCount; }

void V_D3D9GlSetDeviceLost(bool lost) { g_DeviceLost = lost; }
void V_D3D9GlSetBlendOperationCap(bool on) { g_BlendOperation = on; }
void V_D3D9GlSetSquareOnly(bool on) { g_SquareOnly = on; }
int V_D3D9GlProgramCount() { return g_ProgramCount; }

V_IDirect3D9* V_CreateOpenGLDirect3D9() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        Report("no video system");
        return nullptr;
    }
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        Report(SDL_GetError());
        return nullptr;
    }
    return new GlDirect3D;
}
