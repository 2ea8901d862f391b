// The OpenGL Direct3D device: its state, and the methods split between the device file
// (objects, targets, clear, present) and the draw file (states to GL, programs, draws).
#pragma once

#include <unordered_map>

#include "platform/d3d9_gl_internal.h"

// Uniform places of a generated program.
struct GlProgramUniforms {
    GLint target, matrix, factor, fogColor, alphaRef;
};

class GlDevice : public V_RefCounted<V_IDirect3DDevice9> {
public:
    GlDevice(const GlContextRef& context, const V_D3DPRESENT_PARAMETERS& parameters);
    ~GlDevice() override;
    bool Valid() const { return backBuffer_ != nullptr && vertexArray_ != 0; }

    V_HRESULT TestCooperativeLevel() override;
    V_HRESULT Reset(V_D3DPRESENT_PARAMETERS* parameters) override;
    V_HRESULT GetDeviceCaps(V_D3DCAPS9* caps) override;
    V_HRESULT Present(const V_RECT* source, const V_RECT* dest, V_HWND window,
                      const void* dirtyRegion) override;
    V_HRESULT GetBackBuffer(V_UINT swapChain, V_UINT index, uint32_t type,
                            V_IDirect3DSurface9** surface) override;
    V_HRESULT GetSwapChain(V_UINT index, V_IDirect3DSwapChain9** swapChain) override;
    void SetDialogBoxMode(V_BOOL) override {}

    V_HRESULT CreateTexture(V_UINT width, V_UINT height, V_UINT levels, V_DWORD usage,
                            V_D3DFORMAT format, uint32_t pool, V_IDirect3DTexture9** texture,
                            void* sharedHandle) override;
    V_HRESULT CreateRenderTarget(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                 uint32_t multiSample, V_DWORD quality, V_BOOL lockable,
                                 V_IDirect3DSurface9** surface, void* sharedHandle) override;
    V_HRESULT CreateDepthStencilSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                        uint32_t multiSample, V_DWORD quality, V_BOOL discard,
                                        V_IDirect3DSurface9** surface,
                                        void* sharedHandle) override;
    V_HRESULT CreateOffscreenPlainSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                          uint32_t pool, V_IDirect3DSurface9** surface,
                                          void* sharedHandle) override;
    V_HRESULT CreateVertexBuffer(V_UINT length, V_DWORD usage, V_DWORD fvf, uint32_t pool,
                                 V_IDirect3DVertexBuffer9** buffer, void* sharedHandle) override;
    V_HRESULT CreateIndexBuffer(V_UINT length, V_DWORD usage, V_D3DFORMAT format, uint32_t pool,
                                V_IDirect3DIndexBuffer9** buffer, void* sharedHandle) override;
    V_HRESULT UpdateSurface(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                            V_IDirect3DSurface9* dest, const V_POINT* destPoint) override;
    V_HRESULT StretchRect(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                          V_IDirect3DSurface9* dest, const V_RECT* destRect,
                          uint32_t filter) override;
    V_HRESULT ColorFill(V_IDirect3DSurface9* surface, const V_RECT* rect,
                        V_D3DCOLOR color) override;
    V_HRESULT GetRenderTargetData(V_IDirect3DSurface9* target,
                                  V_IDirect3DSurface9* dest) override;
    V_HRESULT SetRenderTarget(V_DWORD index, V_IDirect3DSurface9* surface) override;
    V_HRESULT SetDepthStencilSurface(V_IDirect3DSurface9* surface) override;

    V_HRESULT BeginScene() override;
    V_HRESULT EndScene() override;
    V_HRESULT Clear(V_DWORD count, const V_D3DRECT* rects, V_DWORD flags, V_D3DCOLOR color,
                    float z, V_DWORD stencil) override;
    V_HRESULT SetTransform(uint32_t state, const V_D3DMATRIX* matrix) override;
    V_HRESULT SetViewport(const V_D3DVIEWPORT9* viewport) override;
    V_HRESULT SetMaterial(const V_D3DMATERIAL9*) override { return V_S_OK; }
    V_HRESULT SetLight(V_DWORD, const V_D3DLIGHT9*) override { return V_S_OK; }
    V_HRESULT LightEnable(V_DWORD, V_BOOL) override { return V_S_OK; }
    V_HRESULT SetRenderState(uint32_t state, V_DWORD value) override;
    V_HRESULT SetTexture(V_DWORD stage, V_IDirect3DTexture9* texture) override;
    V_HRESULT SetTextureStageState(V_DWORD stage, uint32_t type, V_DWORD value) override;
    V_HRESULT SetSamplerState(V_DWORD sampler, uint32_t type, V_DWORD value) override;
    V_HRESULT SetScissorRect(const V_RECT* rect) override;
    V_HRESULT DrawPrimitiveUP(uint32_t type, V_UINT count, const void* vertices,
                              V_UINT stride) override;
    V_HRESULT DrawIndexedPrimitiveUP(uint32_t type, V_UINT minIndex, V_UINT vertexCount,
                                     V_UINT primitiveCount, const void* indices,
                                     V_D3DFORMAT indexFormat, const void* vertices,
                                     V_UINT stride) override;
    V_HRESULT CreateVertexDeclaration(const V_D3DVERTEXELEMENT9* elements,
                                      V_IDirect3DVertexDeclaration9** declaration) override;
    V_HRESULT SetVertexDeclaration(V_IDirect3DVertexDeclaration9*) override { return V_S_OK; }
    V_HRESULT SetFVF(V_DWORD fvf) override;
    V_HRESULT CreateVertexShader(const V_DWORD* function,
                                 V_IDirect3DVertexShader9** shader) override;
    V_HRESULT SetVertexShader(V_IDirect3DVertexShader9*) override { return V_S_OK; }
    V_HRESULT SetVertexShaderConstantF(V_UINT, const float*, V_UINT) override { return V_S_OK; }
    V_HRESULT SetVertexShaderConstantI(V_UINT, const int*, V_UINT) override { return V_S_OK; }
    V_HRESULT SetVertexShaderConstantB(V_UINT, const V_BOOL*, V_UINT) override { return V_S_OK; }
    V_HRESULT CreatePixelShader(const V_DWORD* function,
                                V_IDirect3DPixelShader9** shader) override;
    V_HRESULT SetPixelShader(V_IDirect3DPixelShader9*) override { return V_S_OK; }
    V_HRESULT SetPixelShaderConstantF(V_UINT, const float*, V_UINT) override { return V_S_OK; }
    V_HRESULT SetPixelShaderConstantI(V_UINT, const int*, V_UINT) override { return V_S_OK; }
    V_HRESULT SetPixelShaderConstantB(V_UINT, const V_BOOL*, V_UINT) override { return V_S_OK; }

private:
    // d3d9_gl_draw.cpp
    void CreateDrawObjects();
    void ReleaseDrawObjects();
    GLuint BuildProgram(const GlProgramKey& key);
    bool PrepareDraw(V_DWORD fvf);
    void ApplyBlendAndDepth();
    void ApplySampler(int stage);
    void BindVertices(const void* vertices, V_UINT count, V_UINT stride, V_DWORD fvf);
    // d3d9_gl_device.cpp
    bool BindTarget();
    void ClipRect(int* x0, int* y0, int* x1, int* y1) const;
    void ReplaceTarget(GlSurface* surface);
    void PaceFrames();

    GlContextRef context_;
    V_D3DPRESENT_PARAMETERS parameters_;
    uint64_t nextFrame_ = 0;  // performance-counter time before which a paced present waits
    GlSurface* backBuffer_ = nullptr;
    GlSurface* target_ = nullptr;  // held reference
    GlSurface* depth_ = nullptr;   // held reference
    GlTexture* textures_[kGlStages] = {};
    GlFixedState fixed_;
    V_DWORD renderStates_[256] = {};
    V_DWORD samplerStates_[kGlStages][16] = {};
    bool samplerDirty_[kGlStages] = {};
    V_D3DVIEWPORT9 viewport_{};
    V_RECT scissor_{};
    V_DWORD fvf_ = 0;
    V_D3DMATRIX world_{}, view_{}, projection_{};
    GlProgramCache programs_;
    std::unordered_map<GLuint, GlProgramUniforms> uniforms_;
    GLuint vertexArray_ = 0, vertexBuffer_ = 0, indexBuffer_ = 0;
    uint64_t vertexBytes_ = 0, indexBytes_ = 0;  // storage of the two buffers
    GLuint samplers_[kGlStages] = {};
    float maxAnisotropy_ = 1.0f;
};
