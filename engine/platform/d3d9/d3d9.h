// Direct3D 9 stand-in: the interfaces the library calls, and how to get them.
// The OpenGL device (d3d9_gl*) stands behind them; a creation hook can put other objects in its
// place (the unit tests' recording device does).
#pragma once

#include "platform/d3d9/d3d9_types.h"

struct V_IDirect3DDevice9;

// Reference counting shared by every object below; QueryInterface answers only for the object
// itself.
template <class Interface>
class V_RefCounted : public Interface {
public:
    V_HRESULT QueryInterface(const V_GUID&, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        *object = this;
        AddRef();
        return V_S_OK;
    }
    V_ULONG AddRef() override { return ++references_; }
    V_ULONG Release() override {
        V_ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    virtual ~V_RefCounted() = default;

private:
    V_ULONG references_ = 1;
};

struct V_IDirect3DResource9 : V_IUnknown {
    virtual V_HRESULT GetDevice(V_IDirect3DDevice9** device) = 0;
};

struct V_IDirect3DSurface9 : V_IDirect3DResource9 {
    virtual V_HRESULT GetDesc(V_D3DSURFACE_DESC* desc) = 0;
    virtual V_HRESULT LockRect(V_D3DLOCKED_RECT* locked, const V_RECT* rect, V_DWORD flags) = 0;
    virtual V_HRESULT UnlockRect() = 0;
};

struct V_IDirect3DTexture9 : V_IDirect3DResource9 {
    virtual V_DWORD GetLevelCount() = 0;
    virtual V_HRESULT GetLevelDesc(V_UINT level, V_D3DSURFACE_DESC* desc) = 0;
    virtual V_HRESULT GetSurfaceLevel(V_UINT level, V_IDirect3DSurface9** surface) = 0;
    virtual V_HRESULT LockRect(V_UINT level, V_D3DLOCKED_RECT* locked, const V_RECT* rect,
                               V_DWORD flags) = 0;
    virtual V_HRESULT UnlockRect(V_UINT level) = 0;
};

struct V_IDirect3DSwapChain9 : V_IUnknown {
    virtual V_HRESULT Present(const V_RECT* source, const V_RECT* dest, V_HWND window,
                              const void* dirtyRegion, V_DWORD flags) = 0;
    virtual V_HRESULT GetBackBuffer(V_UINT index, uint32_t type,
                                    V_IDirect3DSurface9** surface) = 0;
};

struct V_IDirect3DVertexShader9 : V_IUnknown {};
struct V_IDirect3DPixelShader9 : V_IUnknown {};
struct V_IDirect3DVertexDeclaration9 : V_IUnknown {};

struct V_IDirect3DVertexBuffer9 : V_IDirect3DResource9 {
    virtual V_HRESULT Lock(V_UINT offset, V_UINT size, void** data, V_DWORD flags) = 0;
    virtual V_HRESULT Unlock() = 0;
};

struct V_IDirect3DIndexBuffer9 : V_IDirect3DResource9 {
    virtual V_HRESULT Lock(V_UINT offset, V_UINT size, void** data, V_DWORD flags) = 0;
    virtual V_HRESULT Unlock() = 0;
};

struct V_IDirect3DDevice9 : V_IUnknown {
    virtual V_HRESULT TestCooperativeLevel() = 0;
    virtual V_HRESULT Reset(V_D3DPRESENT_PARAMETERS* parameters) = 0;
    virtual V_HRESULT GetDeviceCaps(V_D3DCAPS9* caps) = 0;
    virtual V_HRESULT Present(const V_RECT* source, const V_RECT* dest, V_HWND window,
                              const void* dirtyRegion) = 0;
    virtual V_HRESULT GetBackBuffer(V_UINT swapChain, V_UINT index, uint32_t type,
                                    V_IDirect3DSurface9** surface) = 0;
    virtual V_HRESULT GetSwapChain(V_UINT index, V_IDirect3DSwapChain9** swapChain) = 0;
    virtual void SetDialogBoxMode(V_BOOL on) = 0;

    virtual V_HRESULT CreateTexture(V_UINT width, V_UINT height, V_UINT levels, V_DWORD usage,
                                    V_D3DFORMAT format, uint32_t pool,
                                    V_IDirect3DTexture9** texture, void* sharedHandle) = 0;
    virtual V_HRESULT CreateRenderTarget(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                         uint32_t multiSample, V_DWORD quality, V_BOOL lockable,
                                         V_IDirect3DSurface9** surface, void* sharedHandle) = 0;
    virtual V_HRESULT CreateDepthStencilSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                                uint32_t multiSample, V_DWORD quality,
                                                V_BOOL discard, V_IDirect3DSurface9** surface,
                                                void* sharedHandle) = 0;
    virtual V_HRESULT CreateOffscreenPlainSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                                  uint32_t pool, V_IDirect3DSurface9** surface,
                                                  void* sharedHandle) = 0;
    virtual V_HRESULT CreateVertexBuffer(V_UINT length, V_DWORD usage, V_DWORD fvf, uint32_t pool,
                                         V_IDirect3DVertexBuffer9** buffer,
                                         void* sharedHandle) = 0;
    virtual V_HRESULT CreateIndexBuffer(V_UINT length, V_DWORD usage, V_D3DFORMAT format,
                                        uint32_t pool, V_IDirect3DIndexBuffer9** buffer,
                                        void* sharedHandle) = 0;
    // Copies a rectangle (null: all) of a system-memory surface into a default-pool surface of
    // the same format, its top-left corner at the point (null: the origin).
    virtual V_HRESULT UpdateSurface(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                                    V_IDirect3DSurface9* dest, const V_POINT* destPoint) = 0;
    virtual V_HRESULT StretchRect(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                                  V_IDirect3DSurface9* dest, const V_RECT* destRect,
                                  uint32_t filter) = 0;
    virtual V_HRESULT ColorFill(V_IDirect3DSurface9* surface, const V_RECT* rect,
                                V_D3DCOLOR color) = 0;
    virtual V_HRESULT GetRenderTargetData(V_IDirect3DSurface9* target,
                                          V_IDirect3DSurface9* dest) = 0;
    virtual V_HRESULT SetRenderTarget(V_DWORD index, V_IDirect3DSurface9* surface) = 0;
    virtual V_HRESULT SetDepthStencilSurface(V_IDirect3DSurface9* surface) = 0;

    virtual V_HRESULT BeginScene() = 0;
    virtual V_HRESULT EndScene() = 0;
    virtual V_HRESULT Clear(V_DWORD count, const V_D3DRECT* rects, V_DWORD flags,
                            V_D3DCOLOR color, float z, V_DWORD stencil) = 0;
    virtual V_HRESULT SetTransform(uint32_t state, const V_D3DMATRIX* matrix) = 0;
    virtual V_HRESULT SetViewport(const V_D3DVIEWPORT9* viewport) = 0;
    virtual V_HRESULT SetMaterial(const V_D3DMATERIAL9* material) = 0;
    virtual V_HRESULT SetLight(V_DWORD index, const V_D3DLIGHT9* light) = 0;
    virtual V_HRESULT LightEnable(V_DWORD index, V_BOOL enable) = 0;
    virtual V_HRESULT SetRenderState(uint32_t state, V_DWORD value) = 0;
    virtual V_HRESULT SetTexture(V_DWORD stage, V_IDirect3DTexture9* texture) = 0;
    virtual V_HRESULT SetTextureStageState(V_DWORD stage, uint32_t type, V_DWORD value) = 0;
    virtual V_HRESULT SetSamplerState(V_DWORD sampler, uint32_t type, V_DWORD value) = 0;
    virtual V_HRESULT SetScissorRect(const V_RECT* rect) = 0;
    virtual V_HRESULT DrawPrimitiveUP(uint32_t type, V_UINT count, const void* vertices,
                                      V_UINT stride) = 0;
    virtual V_HRESULT DrawIndexedPrimitiveUP(uint32_t type, V_UINT minIndex, V_UINT vertexCount,
                                             V_UINT primitiveCount, const void* indices,
                                             V_D3DFORMAT indexFormat, const void* vertices,
                                             V_UINT stride) = 0;
    virtual V_HRESULT CreateVertexDeclaration(const V_D3DVERTEXELEMENT9* elements,
                                              V_IDirect3DVertexDeclaration9** declaration) = 0;
    virtual V_HRESULT SetVertexDeclaration(V_IDirect3DVertexDeclaration9* declaration) = 0;
    virtual V_HRESULT SetFVF(V_DWORD fvf) = 0;
    virtual V_HRESULT CreateVertexShader(const V_DWORD* function,
                                         V_IDirect3DVertexShader9** shader) = 0;
    virtual V_HRESULT SetVertexShader(V_IDirect3DVertexShader9* shader) = 0;
    virtual V_HRESULT SetVertexShaderConstantF(V_UINT start, const float* data, V_UINT count) = 0;
    virtual V_HRESULT SetVertexShaderConstantI(V_UINT start, const int* data, V_UINT count) = 0;
    virtual V_HRESULT SetVertexShaderConstantB(V_UINT start, const V_BOOL* data,
                                               V_UINT count) = 0;
    virtual V_HRESULT CreatePixelShader(const V_DWORD* function,
                                        V_IDirect3DPixelShader9** shader) = 0;
    virtual V_HRESULT SetPixelShader(V_IDirect3DPixelShader9* shader) = 0;
    virtual V_HRESULT SetPixelShaderConstantF(V_UINT start, const float* data, V_UINT count) = 0;
    virtual V_HRESULT SetPixelShaderConstantI(V_UINT start, const int* data, V_UINT count) = 0;
    virtual V_HRESULT SetPixelShaderConstantB(V_UINT start, const V_BOOL* data,
                                              V_UINT count) = 0;
};

struct V_IDirect3D9 : V_IUnknown {
    virtual V_UINT GetAdapterModeCount(V_UINT adapter, V_D3DFORMAT format) = 0;
    virtual V_HRESULT GetAdapterDisplayMode(V_UINT adapter, V_D3DDISPLAYMODE* mode) = 0;
    virtual V_HRESULT GetAdapterIdentifier(V_UINT adapter, V_DWORD flags,
                                           V_D3DADAPTER_IDENTIFIER9* identifier) = 0;
    virtual V_HRESULT CheckDeviceFormat(V_UINT adapter, uint32_t deviceType,
                                        V_D3DFORMAT adapterFormat, V_DWORD usage,
                                        uint32_t resourceType, V_D3DFORMAT format) = 0;
    virtual V_HRESULT CheckDeviceMultiSampleType(V_UINT adapter, uint32_t deviceType,
                                                 V_D3DFORMAT format, V_BOOL windowed,
                                                 uint32_t type, V_DWORD* qualityLevels) = 0;
    virtual V_HRESULT CheckDepthStencilMatch(V_UINT adapter, uint32_t deviceType,
                                             V_D3DFORMAT adapterFormat,
                                             V_D3DFORMAT targetFormat,
                                             V_D3DFORMAT depthFormat) = 0;
    virtual V_HRESULT GetDeviceCaps(V_UINT adapter, uint32_t deviceType, V_D3DCAPS9* caps) = 0;
    virtual V_HRESULT CreateDevice(V_UINT adapter, uint32_t deviceType, V_HWND window,
                                   V_DWORD behaviour, V_D3DPRESENT_PARAMETERS* parameters,
                                   V_IDirect3DDevice9** device) = 0;
};

// Creates the Direct3D object: the OpenGL implementation, or the creation hook's object when one
// is installed. Null when hardware drawing is switched off (V_D3D9SetHardwareAllowed) or the SDK
// version is not the one the stand-in speaks.
V_IDirect3D9* V_Direct3DCreate9(V_UINT sdkVersion);

// Switches of the stand-in for tests and for the environment (VELK_NO_GL=1 switches the OpenGL
// device off at start).
void V_D3D9SetHardwareAllowed(bool allowed);
// Makes V_Direct3DCreate9 hand out the hook's objects instead of the OpenGL ones; null restores
// the OpenGL implementation.
using V_D3D9CreateHook = V_IDirect3D9* (*)();
void V_D3D9SetCreateHook(V_D3D9CreateHook hook);
