// DirectDraw 7 stand-in: the object the graphics code keeps for the vertical-blank wait, the
// primary-surface test and the capability queries.
#pragma once

#include "platform/types.h"

constexpr V_GUID V_CLSID_DirectDraw7 = {0x3C305196, 0x50DB, 0x11D3,
                                        {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
constexpr V_GUID V_IID_IDirectDraw7 = {0x15E65EC0, 0x3B9C, 0x11D2,
                                       {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

constexpr V_DWORD V_DDSCL_NORMAL = 0x00000008;
constexpr V_DWORD V_DDSCL_FPUPRESERVE = 0x00001000;
constexpr V_DWORD V_DDSD_CAPS = 0x00000001;
constexpr V_DWORD V_DDSCAPS_3DDEVICE = 0x00002000;
constexpr V_DWORD V_DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr V_DWORD V_DDWAITVB_BLOCKBEGIN = 0x00000001;
constexpr V_HRESULT V_DDERR_UNSUPPORTED = V_E_NOTIMPL;
constexpr V_HRESULT V_DDERR_NOTINITIALIZED = static_cast<V_HRESULT>(0x887600A9u);
constexpr int V_DDCAPS_SIZE = 380;

// The surface descriptor: 124 bytes, of which the library fills the size, the flags and the caps.
struct V_DDSURFACEDESC2 {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    uint8_t fields[96];
    V_DWORD ddsCaps[4];  // dwCaps first
    V_DWORD dwTextureStage;
};
static_assert(sizeof(V_DDSURFACEDESC2) == 124, "descriptor size the library passes");

struct V_IDirectDrawSurface7 : V_IUnknown {
    virtual V_HRESULT GetDC(V_HDC* dc) = 0;
    virtual V_HRESULT ReleaseDC(V_HDC dc) = 0;
};

struct V_IDirectDraw7 : V_IUnknown {
    virtual V_HRESULT Initialize(V_GUID* driver) = 0;
    virtual V_HRESULT SetCooperativeLevel(V_HWND window, V_DWORD flags) = 0;
    virtual V_HRESULT CreateSurface(V_DDSURFACEDESC2* desc, V_IDirectDrawSurface7** surface,
                                    V_IUnknown* outer) = 0;
    // Both records are V_DDCAPS_SIZE bytes; each pointer may be null.
    virtual V_HRESULT GetCaps(void* driverCaps, void* emulationCaps) = 0;
    virtual V_HRESULT GetVerticalBlankStatus(V_BOOL* inVerticalBlank) = 0;
    virtual V_HRESULT WaitForVerticalBlank(V_DWORD flags, V_HANDLE event) = 0;
};

// Creates a DirectDraw 7 object (driver null: the primary display).
V_HRESULT V_DirectDrawCreateEx(V_GUID* driver, void** object, const V_GUID& iid,
                               V_IUnknown* outer);
// Test switch: the primary-surface test is refused.
void V_DirectDrawRefusePrimarySurface(bool refuse);
