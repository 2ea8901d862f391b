// The graphics device: the choice between the Direct3D device and the software screen, the
// platform objects of that choice, and the device facts kept after creation.
#pragma once

#include <cstdint>

#include "graphics/graphics_services.h"
#include "platform/d3d9/d3d9.h"
#include "platform/types.h"

struct V_IDirectDraw7;

// Screen as the library set it up (shared with screen set-up, re-creation and the settings).
struct ScreenSettings {
    int32_t initialised;
    int32_t width;          // 640 when 0
    int32_t height;         // 480 when 0
    int32_t colorDepth;     // 16 when 0
    int32_t refreshRate;    // 0: the driver's choice
    int32_t useDirect3D;    // the Direct3D path is in use
    int32_t softwareForced; // the software renderer was asked for
    int32_t noVSync;        // presenting does not wait for the vertical blank
};
extern ScreenSettings g_ScreenSettings;

// Texture format indices of the library.
enum TextureFormatIndex : int {
    kTexture16 = 0,
    kTexture32 = 1,
    kTexture16Alpha = 2,
    kTexture32Alpha = 3,
    kTexture16AlphaTest = 4,
    kTexture32AlphaTest = 5,
    kTextureDxt1 = 6,
    kTextureDxt5 = 10,
    kTextureTarget16 = 11,
    kTextureTarget32 = 12,
    kTextureTarget32Alpha = 13,
    kTextureTargetScreen = 14,
    kTextureAlphaTestScreen = 15,
    kTextureFormatCount = 16,
};

struct TextureFormatTable {
    V_D3DFORMAT formats[kTextureFormatCount];
    V_D3DFORMAT depthFormat;
};

// Settings of device creation; nothing in the library sets them, tests may.
struct DeviceCreationSettings {
    int32_t adapterSwitch;
    int32_t adapter;
    int32_t forceSoftwareVertexProcessing;
    int32_t multithreaded;
    int32_t keepFpuState;
    uint32_t multiSampleType;
    uint32_t multiSampleQuality;
    int32_t primarySurfaceTest;
    int32_t pacingInterval;  // milliseconds between vertical-blank waits
};

struct DisplayModeEntry {
    uint32_t width;
    uint32_t height;
    uint32_t bits;
    uint32_t refreshRate;
};

struct GraphicsDevice {
    V_HMODULE module;  // "d3d9.dll"
    V_IDirectDraw7* directDraw;
    V_IDirect3D9* direct3D;
    V_IDirect3DDevice9* device;
    V_IDirect3DSurface9* backBuffer;
    V_IDirect3DSwapChain9* swapChain;
    V_IDirect3DSurface9* depthSurface;
    int32_t depthWidth;
    int32_t depthHeight;
    V_IDirect3DSurface9* subBackBuffer;

    V_D3DCAPS9 caps;
    int32_t shaderModel;        // vertex and pixel shader 2.0 at creation
    int32_t vertexShader20;
    int32_t pixelShader20;
    int32_t blendOperation;     // the device has blend operations (subtraction)
    int32_t maxTextureSize;
    V_D3DFORMAT backBufferFormat;
    TextureFormatTable textureFormats;
    DeviceCreationSettings settings;

    int32_t displayModeCount;
    DisplayModeEntry* displayModes;  // process heap
    int32_t lastVerticalBlank;       // millisecond clock of the last wait
};
extern GraphicsDevice g_GraphicsDevice;

int SetupGraphicsDevice();
int CreateDirectDraw();
int CreateDirect3D();
int CreateDevice9();
int CreateZBuffer();
int CreateSubBackBuffer();
int TerminateGraphicsDevice();
int ReleaseVertexDeclarations();
int ReleaseShaderObjects();
int WaitVerticalBlank();
int GetScreenSize(int* width, int* height);
int GetColorBitDepth();
int IsFullScreen();
V_IDirectDraw7* GetDirectDraw();
void* ClearDirectDrawCaps(void* caps);
int RefreshDialogBoxMode(int on);
int EndSceneSetDialogBoxMode(int on);
V_IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(V_UINT length, V_DWORD usage, V_DWORD fvf,
                                                   uint32_t pool);
V_IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(V_UINT length, V_DWORD usage,
                                                 V_D3DFORMAT format, uint32_t pool);
int GetDisplayModeCount();
DisplayModeEntry GetDisplayMode(int index);
int IsDisplayModeAvailable(int width, int height, int bits);

// The display mode on the software path (full screen) and the display-mode list.
int ChangeToFullScreenMode();
void RestoreDisplayMode();
void FreeDisplayModeList();
void ListDisplayModes(int* count, DisplayModeEntry** list);

// What the device code needs of the main window (window state of the engine core).
V_HWND GetDeviceWindow();
int IsWindowedMode();
uint32_t GetBackgroundColorRGB();  // 0x00RRGGBB

// The queries the window code makes (declared with the least graphics calls).
int GetDisplayMode(int index, int* width, int* height, int* bits);
int GetForceSoftwareFlag();
int IsDirect3DInUse();
int HasDirectDrawObject();
