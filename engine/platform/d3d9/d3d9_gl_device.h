// The OpenGL Direct3D device: its state, and the methods split between the device file
// (objects, targets, clear, present) and the draw file (states to GL, programs, draws).
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/d3d9/d3d9_gl_internal.h"

// Uniform values of a draw, in the order of the places below.
struct GlUniformValues {
    float target[4];
    float matrix[16];
    float factor[4];
    float fogColor[4];
    float alphaRef;
};

// Uniform places of a generated program, and the values it holds now (none at first).
struct GlProgramUniforms {
    GLint target, matrix, factor, fogColor, alphaRef;
    bool set = false;
    GlUniformValues values{};
};

// Everything a draw is made with besides its vertices. Draws with equal states (byte for byte)
// and primitives that join are sent as one GL draw.
struct GlDrawState {
    GlImage* target;   // framebuffer image; images flush pending draws before they go
    GLuint framebuffer;
    GLuint depth;      // depth renderbuffer to attach, or 0
    GLuint program;
    GlUniformValues uniforms;
    GLint viewport[4];
    GLint scissor[4];
    GLboolean blend;
    GLboolean ordered;  // drawn with the target's private order depth (framebuffer and program)
    GLenum blendSource, blendDest, blendEquation;
    GLenum depthFunc;                              // 0: no depth test
    GLboolean depthMask;
    GLenum cullFace;                               // 0: no culling
    GLuint textures[kGlStages];                    // 0 for stages the program does not sample
    V_DWORD samplers[kGlStages][16];               // sampler states of the sampled stages
    V_DWORD fvf;
    V_UINT stride;
};

// What a draw's state says about whether the draw may be ordered by depth: every fragment is
// either discarded or replaces the target's colour, whatever the target holds.
struct GlReplaceInfo {
    GlProgramKey key;
    bool always;        // blending off (or source × 1 + target × 0): every fragment replaces
    bool ifAlphaBinary; // source-alpha blending whose fragment alpha is 0 or 1 exactly when the
                        // inputs below are
    bool needDiffuse;   // ... every vertex's diffuse alpha is 0 or 255
    bool needSpecular;  // ... every vertex's specular alpha is 0 or 255
};

// A run of recorded draws of one state: one GL draw of indices into the vertices of its lane.
// Its draws are in the order they were received; the runs are drawn in the order of the list.
struct GlRun {
    uint32_t state;      // index into the flush's states
    GLenum mode;
    uint32_t lane;
    bool closed;         // takes no further draw (a line strip, or joining is off)
    bool ordered;        // its draws are ordered by depth
    bool barrier;        // uses the Direct3D depth buffer: nothing moves past it
    GlImage* target;
    int box[4];          // pixels its draws may touch: left, top, right, bottom (exclusive)
    std::vector<uint32_t> indices;
    size_t firstIndex;   // into the index upload of the flush
};

// The recorded vertices of one vertex size, and the order value of each vertex.
struct GlLane {
    V_UINT stride = 0;
    std::vector<uint8_t> vertices;
    std::vector<float> order;
    size_t vertexAt = 0, orderAt = 0;  // places in the vertex upload of the flush
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
    bool MakeDrawState(V_DWORD fvf, GlDrawState* state, GlReplaceInfo* replace);
    void ApplySampler(int stage, const V_DWORD* states);
    // d3d9_gl_stream.cpp
    void RecordDraw(GlDrawState& state, const GlReplaceInfo& replace, uint32_t type,
                    V_UINT primitives, const void* vertices, V_UINT vertexCount, V_UINT stride,
                    const void* indices, size_t indexBytes);
    uint32_t InternState(const GlDrawState& state);
    uint32_t InternNewState(const GlDrawState& state);
    GlRun& NewRun();
    void FlushDraws();
    void FlushDrawsUsing(GLuint texture);  // 0: all
    void UploadRecorded(size_t* vertexBase, size_t* indexBase);
    void ApplyRunState(const GlRun& run, size_t vertexBase);
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
    V_DWORD appliedSamplers_[kGlStages][16] = {};  // the sampler objects' states now
    bool samplerApplied_[kGlStages] = {};
    V_D3DVIEWPORT9 viewport_{};
    V_RECT scissor_{};
    V_DWORD fvf_ = 0;
    V_D3DMATRIX world_{}, view_{}, projection_{};
    GlProgramCache programs_;
    std::unordered_map<GLuint, GlProgramUniforms> uniforms_;
    GLuint vertexArray_ = 0;
    // The frame's recorded draws: their vertices by size, their states and their runs, kept
    // until a flush; the storage is kept from frame to frame (runs_ beyond runCount_ are spare).
    std::vector<GlLane> lanes_;
    std::vector<GlDrawState> states_;
    std::unordered_map<uint64_t, uint32_t> stateIds_;  // state hash to its index
    static constexpr int kRecentStates = 4;
    uint32_t recentStates_[kRecentStates] = {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX};
    int recentStateNext_ = 0;
    std::vector<GlRun> runs_;
    size_t runCount_ = 0;
    std::vector<uint32_t> uploadIndices_;
    // The streaming buffers the recorded vertices and indices are sent through.
    GlStream vertexStream_, indexStream_;
    // The state sent to GL during a flush (each flush starts afresh: other operations touch GL).
    GlDrawState applied_{};
    GLenum appliedMode_ = 0;
    size_t appliedVertexBase_ = 0;
    bool appliedValid_ = false;
    GLuint samplers_[kGlStages] = {};
    float maxAnisotropy_ = 1.0f;
};
