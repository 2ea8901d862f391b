// The recording Direct3D 9 device: objects that write every call into the recording.
#include "support/d3d9_record.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace {

V_D3D9Recording g_Recording;
std::map<const void*, std::string> g_Names;

std::string Name(const void* object) {
    if (object == nullptr) return "null";
    auto found = g_Names.find(object);
    return found == g_Names.end() ? "?" : found->second;
}

void Register(const void* object, const char* kind) {
    g_Names[object] = kind + std::to_string(g_Recording.nextObject++);
}

// Writes the call line and answers as the test asked.
V_HRESULT Record(const char* method, const char* format = nullptr, ...) {
    std::string line = method;
    line += '(';
    if (format != nullptr) {
        char buffer[1024];
        va_list arguments;
        va_start(arguments, format);
        vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        line += buffer;
    }
    line += ')';
    g_Recording.calls.push_back(line);
    return g_Recording.failing.count(method) != 0 ? V_D3DERR_INVALIDCALL : V_S_OK;
}

std::string Floats(const float* data, V_UINT count) {
    std::string text;
    char buffer[32];
    for (V_UINT i = 0; i < count; ++i) {
        snprintf(buffer, sizeof buffer, "%s%g", i == 0 ? "" : ",", data[i]);
        text += buffer;
    }
    return text;
}

template <class T>
std::string Ints(const T* data, V_UINT count) {
    std::string text;
    for (V_UINT i = 0; i < count; ++i) text += (i == 0 ? "" : ",") + std::to_string(data[i]);
    return text;
}

int BytesPerPixel(V_D3DFORMAT format) {
    switch (format) {
    case V_D3DFMT_A8R8G8B8:
    case V_D3DFMT_X8R8G8B8:
    case V_D3DFMT_D32:
    case V_D3DFMT_D24X8: return 4;
    default: return 2;
    }
}

// Bytes of one DXT block; 0 for formats of whole pixels.
int BlockBytes(V_D3DFORMAT format) {
    if (format == V_D3DFMT_DXT1) return 8;
    if (format == V_D3DFMT_DXT2 || format == V_D3DFMT_DXT3 || format == V_D3DFMT_DXT4 ||
        format == V_D3DFMT_DXT5)
        return 16;
    return 0;
}

constexpr V_D3DFORMAT kPlanarYuv = V_MAKEFOURCC('Y', 'V', '1', '2');

// Row pitch and row count of a surface: compressed surfaces are rows of 4 x 4 blocks; a planar
// YUV surface is a byte a pixel with its two half-size chroma planes below the luma rows.
int32_t PitchOf(V_D3DFORMAT format, V_UINT width) {
    if (format == kPlanarYuv) return static_cast<int32_t>(width);
    int block = BlockBytes(format);
    return block != 0 ? static_cast<int32_t>((width + 3) / 4) * block
                      : static_cast<int32_t>(width) * BytesPerPixel(format);
}
V_UINT RowsOf(V_D3DFORMAT format, V_UINT height) {
    if (format == kPlanarYuv) return height + height / 2;
    return BlockBytes(format) != 0 ? (height + 3) / 4 : height;
}

template <class Interface>
class Recorded : public V_RefCounted<Interface> {
public:
    explicit Recorded(const char* kind) { Register(static_cast<Interface*>(this), kind); }
    ~Recorded() override { g_Names.erase(static_cast<Interface*>(this)); }
};

class RecordSurface : public Recorded<V_IDirect3DSurface9> {
public:
    RecordSurface(V_UINT width, V_UINT height, V_D3DFORMAT format, V_DWORD usage, uint32_t pool,
                  bool lockable)
        : Recorded("surf"), lockable_(lockable) {
        desc_ = {format, V_D3DRTYPE_SURFACE, usage, pool, 0, 0, width, height};
        pixels_.resize(static_cast<size_t>(PitchOf(format, width)) * RowsOf(format, height));
    }
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_HRESULT GetDesc(V_D3DSURFACE_DESC* desc) override {
        *desc = desc_;
        return V_S_OK;
    }
    V_HRESULT LockRect(V_D3DLOCKED_RECT* locked, const V_RECT*, V_DWORD flags) override {
        V_HRESULT result = Record("Surface::LockRect", "%s,%u", Name(this).c_str(), flags);
        if (!lockable_) return V_D3DERR_INVALIDCALL;
        if (V_FAILED(result)) return result;
        locked->pBits = pixels_.data();
        locked->Pitch = PitchOf(desc_.Format, desc_.Width);
        return V_S_OK;
    }
    V_HRESULT UnlockRect() override { return Record("Surface::UnlockRect", "%s", Name(this).c_str()); }

private:
    V_D3DSURFACE_DESC desc_;
    bool lockable_;
    std::vector<uint8_t> pixels_;
};

// A texture of one surface per mip level, each level's sides halved from the one before
// (never below 1). Level locks are recorded with their level.
class RecordTexture : public Recorded<V_IDirect3DTexture9> {
public:
    RecordTexture(V_UINT width, V_UINT height, V_UINT levels, V_D3DFORMAT format, V_DWORD usage,
                  uint32_t pool)
        : Recorded("tex") {
        V_UINT full = 1;
        for (V_UINT w = width, h = height; w > 1 || h > 1; w /= 2, h /= 2) ++full;
        if (levels == 0 || levels > full) levels = full;
        if (usage & V_D3DUSAGE_RENDERTARGET) levels = 1;
        for (V_UINT level = 0; level < levels; ++level) {
            V_UINT w = width >> level, h = height >> level;
            levels_.push_back(new RecordSurface(w > 0 ? w : 1, h > 0 ? h : 1, format, usage, pool,
                                                pool != V_D3DPOOL_DEFAULT));
        }
    }
    ~RecordTexture() override {
        for (RecordSurface* level : levels_) level->Release();
    }
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_DWORD GetLevelCount() override { return static_cast<V_DWORD>(levels_.size()); }
    V_HRESULT GetLevelDesc(V_UINT level, V_D3DSURFACE_DESC* desc) override {
        if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
        return levels_[level]->GetDesc(desc);
    }
    V_HRESULT GetSurfaceLevel(V_UINT level, V_IDirect3DSurface9** surface) override {
        if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
        levels_[level]->AddRef();
        *surface = levels_[level];
        return V_S_OK;
    }
    V_HRESULT LockRect(V_UINT level, V_D3DLOCKED_RECT* locked, const V_RECT* rect,
                       V_DWORD flags) override {
        V_HRESULT result = Record("Texture::LockRect", "%s,%u,%u", Name(this).c_str(), level,
                                  flags);
        if (V_FAILED(result)) return result;
        if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
        return levels_[level]->LockRect(locked, rect, flags);
    }
    V_HRESULT UnlockRect(V_UINT level) override {
        Record("Texture::UnlockRect", "%s,%u", Name(this).c_str(), level);
        return level >= levels_.size() ? V_D3DERR_INVALIDCALL : levels_[level]->UnlockRect();
    }

private:
    std::vector<RecordSurface*> levels_;
};

class RecordSwapChain : public Recorded<V_IDirect3DSwapChain9> {
public:
    explicit RecordSwapChain(V_IDirect3DSurface9* backBuffer) : Recorded("swap"), back_(backBuffer) {
        back_->AddRef();
    }
    ~RecordSwapChain() override { back_->Release(); }
    V_HRESULT Present(const V_RECT*, const V_RECT*, V_HWND, const void*, V_DWORD flags) override {
        V_HRESULT result = Record("SwapChain::Present", "%u", flags);
        return g_Recording.deviceLost ? V_D3DERR_DEVICELOST : result;
    }
    V_HRESULT GetBackBuffer(V_UINT index, uint32_t, V_IDirect3DSurface9** surface) override {
        if (index != 0) return V_D3DERR_INVALIDCALL;
        back_->AddRef();
        *surface = back_;
        return V_S_OK;
    }

private:
    V_IDirect3DSurface9* back_;
};

class RecordVertexShader : public Recorded<V_IDirect3DVertexShader9> {
public:
    RecordVertexShader() : Recorded("vs") {}
};
class RecordPixelShader : public Recorded<V_IDirect3DPixelShader9> {
public:
    RecordPixelShader() : Recorded("ps") {}
};
class RecordDeclaration : public Recorded<V_IDirect3DVertexDeclaration9> {
public:
    RecordDeclaration() : Recorded("decl") {}
};

template <class Interface>
class RecordBuffer : public Recorded<Interface> {
public:
    explicit RecordBuffer(V_UINT length) : Recorded<Interface>("buf"), bytes_(length) {}
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_HRESULT Lock(V_UINT offset, V_UINT, void** data, V_DWORD) override {
        if (offset > bytes_.size()) return V_D3DERR_INVALIDCALL;
        *data = bytes_.data() + offset;
        return V_S_OK;
    }
    V_HRESULT Unlock() override { return V_S_OK; }

private:
    std::vector<uint8_t> bytes_;
};

V_D3DCAPS9 MakeCaps() {
    V_D3DCAPS9 caps{};
    caps.DeviceType = V_D3DDEVTYPE_HAL;
    caps.PrimitiveMiscCaps = g_Recording.blendOperation ? V_D3DPMISCCAPS_BLENDOP : 0;
    caps.TextureCaps = V_D3DPTEXTURECAPS_POW2 |
                       (g_Recording.squareOnly ? V_D3DPTEXTURECAPS_SQUAREONLY : 0);
    caps.MaxTextureWidth = 2048;
    caps.MaxTextureHeight = 2048;
    caps.MaxAnisotropy = 16;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.MaxActiveLights = 8;
    caps.VertexShaderVersion = g_Recording.vertexShaderVersion;
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = g_Recording.pixelShaderVersion;
    return caps;
}

class RecordDevice : public Recorded<V_IDirect3DDevice9> {
public:
    explicit RecordDevice(const V_D3DPRESENT_PARAMETERS& parameters) : Recorded("dev") {
        back_ = new RecordSurface(parameters.BackBufferWidth, parameters.BackBufferHeight,
                                  parameters.BackBufferFormat, V_D3DUSAGE_RENDERTARGET,
                                  V_D3DPOOL_DEFAULT, true);
        swap_ = new RecordSwapChain(back_);
    }
    ~RecordDevice() override {
        swap_->Release();
        back_->Release();
    }

    V_HRESULT TestCooperativeLevel() override {
        return g_Recording.deviceLost ? V_D3DERR_DEVICELOST : V_S_OK;
    }
    V_HRESULT Reset(V_D3DPRESENT_PARAMETERS*) override { return Record("Reset"); }
    V_HRESULT GetDeviceCaps(V_D3DCAPS9* caps) override {
        *caps = MakeCaps();
        return V_S_OK;
    }
    V_HRESULT Present(const V_RECT*, const V_RECT*, V_HWND, const void*) override {
        V_HRESULT result = Record("Present");
        return g_Recording.deviceLost ? V_D3DERR_DEVICELOST : result;
    }
    V_HRESULT GetBackBuffer(V_UINT, V_UINT index, uint32_t type,
                            V_IDirect3DSurface9** surface) override {
        V_HRESULT result = Record("GetBackBuffer");
        return V_FAILED(result) ? result : swap_->GetBackBuffer(index, type, surface);
    }
    V_HRESULT GetSwapChain(V_UINT index, V_IDirect3DSwapChain9** swapChain) override {
        V_HRESULT result = Record("GetSwapChain", "%u", index);
        if (V_FAILED(result) || index != 0) return V_D3DERR_INVALIDCALL;
        swap_->AddRef();
        *swapChain = swap_;
        return V_S_OK;
    }
    void SetDialogBoxMode(V_BOOL on) override { Record("SetDialogBoxMode", "%d", on); }

    V_HRESULT CreateTexture(V_UINT width, V_UINT height, V_UINT levels, V_DWORD usage,
                            V_D3DFORMAT format, uint32_t pool, V_IDirect3DTexture9** texture,
                            void*) override {
        V_HRESULT result = Record("CreateTexture", "%u,%u,%u,%u,%u,%u", width, height, levels,
                                  usage, format, pool);
        if (V_FAILED(result)) return result;
        *texture = new RecordTexture(width, height, levels, format, usage, pool);
        return V_S_OK;
    }
    V_HRESULT CreateRenderTarget(V_UINT width, V_UINT height, V_D3DFORMAT format, uint32_t ms,
                                 V_DWORD quality, V_BOOL lockable, V_IDirect3DSurface9** surface,
                                 void*) override {
        V_HRESULT result = Record("CreateRenderTarget", "%u,%u,%u,%u,%u,%d", width, height,
                                  format, ms, quality, lockable);
        if (V_FAILED(result)) return result;
        *surface = new RecordSurface(width, height, format, V_D3DUSAGE_RENDERTARGET,
                                     V_D3DPOOL_DEFAULT, lockable != 0);
        return V_S_OK;
    }
    V_HRESULT CreateDepthStencilSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                        uint32_t ms, V_DWORD quality, V_BOOL discard,
                                        V_IDirect3DSurface9** surface, void*) override {
        V_HRESULT result = Record("CreateDepthStencilSurface", "%u,%u,%u,%u,%u,%d", width,
                                  height, format, ms, quality, discard);
        if (V_FAILED(result)) return result;
        *surface = new RecordSurface(width, height, format, V_D3DUSAGE_DEPTHSTENCIL,
                                     V_D3DPOOL_DEFAULT, false);
        return V_S_OK;
    }
    V_HRESULT CreateOffscreenPlainSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                          uint32_t pool, V_IDirect3DSurface9** surface,
                                          void*) override {
        V_HRESULT result = Record("CreateOffscreenPlainSurface", "%u,%u,%u,%u", width, height,
                                  format, pool);
        if (V_FAILED(result)) return result;
        *surface = new RecordSurface(width, height, format, 0, pool, true);
        return V_S_OK;
    }
    V_HRESULT CreateVertexBuffer(V_UINT length, V_DWORD usage, V_DWORD fvf, uint32_t pool,
                                 V_IDirect3DVertexBuffer9** buffer, void*) override {
        V_HRESULT result = Record("CreateVertexBuffer", "%u,%u,%u,%u", length, usage, fvf, pool);
        if (V_FAILED(result)) return result;
        *buffer = new RecordBuffer<V_IDirect3DVertexBuffer9>(length);
        return V_S_OK;
    }
    V_HRESULT CreateIndexBuffer(V_UINT length, V_DWORD usage, V_D3DFORMAT format, uint32_t pool,
                                V_IDirect3DIndexBuffer9** buffer, void*) override {
        V_HRESULT result = Record("CreateIndexBuffer", "%u,%u,%u,%u", length, usage, format, pool);
        if (V_FAILED(result)) return result;
        *buffer = new RecordBuffer<V_IDirect3DIndexBuffer9>(length);
        return V_S_OK;
    }
    V_HRESULT UpdateSurface(V_IDirect3DSurface9* source, const V_RECT* rect,
                            V_IDirect3DSurface9* dest, const V_POINT* point) override {
        V_RECT r = rect != nullptr ? *rect : V_RECT{};
        V_POINT p = point != nullptr ? *point : V_POINT{};
        return Record("UpdateSurface", "%s,%d,%d,%d,%d,%s,%d,%d", Name(source).c_str(), r.left,
                      r.top, r.right, r.bottom, Name(dest).c_str(), p.x, p.y);
    }
    V_HRESULT StretchRect(V_IDirect3DSurface9* source, const V_RECT*, V_IDirect3DSurface9* dest,
                          const V_RECT*, uint32_t filter) override {
        return Record("StretchRect", "%s,%s,%u", Name(source).c_str(), Name(dest).c_str(),
                      filter);
    }
    V_HRESULT ColorFill(V_IDirect3DSurface9* surface, const V_RECT*, V_D3DCOLOR color) override {
        return Record("ColorFill", "%s,%08x", Name(surface).c_str(), color);
    }
    V_HRESULT GetRenderTargetData(V_IDirect3DSurface9* target, V_IDirect3DSurface9* dest) override {
        return Record("GetRenderTargetData", "%s,%s", Name(target).c_str(), Name(dest).c_str());
    }
    V_HRESULT SetRenderTarget(V_DWORD index, V_IDirect3DSurface9* surface) override {
        return Record("SetRenderTarget", "%u,%s", index, Name(surface).c_str());
    }
    V_HRESULT SetDepthStencilSurface(V_IDirect3DSurface9* surface) override {
        return Record("SetDepthStencilSurface", "%s", Name(surface).c_str());
    }
    V_HRESULT BeginScene() override { return Record("BeginScene"); }
    V_HRESULT EndScene() override { return Record("EndScene"); }
    V_HRESULT Clear(V_DWORD count, const V_D3DRECT*, V_DWORD flags, V_D3DCOLOR color, float z,
                    V_DWORD stencil) override {
        return Record("Clear", "%u,%u,%08x,%g,%u", count, flags, color, z, stencil);
    }
    V_HRESULT SetTransform(uint32_t state, const V_D3DMATRIX* matrix) override {
        return Record("SetTransform", "%u,%s", state, Floats(&matrix->m[0][0], 16).c_str());
    }
    V_HRESULT SetViewport(const V_D3DVIEWPORT9* v) override {
        return Record("SetViewport", "%u,%u,%u,%u,%g,%g", v->X, v->Y, v->Width, v->Height,
                      v->MinZ, v->MaxZ);
    }
    V_HRESULT SetMaterial(const V_D3DMATERIAL9* material) override {
        return Record("SetMaterial", "%s", Floats(&material->Diffuse.r, 17).c_str());
    }
    V_HRESULT SetLight(V_DWORD index, const V_D3DLIGHT9* light) override {
        return Record("SetLight", "%u,%u,%g,%g,%g", index, light->Type, light->Direction.x,
                      light->Direction.y, light->Direction.z);
    }
    V_HRESULT LightEnable(V_DWORD index, V_BOOL enable) override {
        return Record("LightEnable", "%u,%d", index, enable);
    }
    V_HRESULT SetRenderState(uint32_t state, V_DWORD value) override {
        return Record("SetRenderState", "%u,%u", state, value);
    }
    V_HRESULT SetTexture(V_DWORD stage, V_IDirect3DTexture9* texture) override {
        return Record("SetTexture", "%u,%s", stage, Name(texture).c_str());
    }
    V_HRESULT SetTextureStageState(V_DWORD stage, uint32_t type, V_DWORD value) override {
        return Record("SetTextureStageState", "%u,%u,%u", stage, type, value);
    }
    V_HRESULT SetSamplerState(V_DWORD sampler, uint32_t type, V_DWORD value) override {
        return Record("SetSamplerState", "%u,%u,%u", sampler, type, value);
    }
    V_HRESULT SetScissorRect(const V_RECT* r) override {
        return Record("SetScissorRect", "%d,%d,%d,%d", r->left, r->top, r->right, r->bottom);
    }
    V_HRESULT DrawPrimitiveUP(uint32_t type, V_UINT count, const void* data,
                              V_UINT stride) override {
        V_UINT vertices = type == 1 ? count : type == 2 ? count * 2 : type == 3 ? count + 1
                        : type == 4 ? count * 3 : count + 2;
        const auto* bytes = static_cast<const unsigned char*>(data);
        if (bytes != nullptr) g_Recording.lastVertices.assign(bytes, bytes + vertices * stride);
        return Record("DrawPrimitiveUP", "%u,%u,%u", type, count, stride);
    }
    V_HRESULT DrawIndexedPrimitiveUP(uint32_t type, V_UINT minIndex, V_UINT vertexCount,
                                     V_UINT primitiveCount, const void*, V_D3DFORMAT format,
                                     const void*, V_UINT stride) override {
        return Record("DrawIndexedPrimitiveUP", "%u,%u,%u,%u,%u,%u", type, minIndex, vertexCount,
                      primitiveCount, static_cast<unsigned>(format), stride);
    }
    V_HRESULT CreateVertexDeclaration(const V_D3DVERTEXELEMENT9* elements,
                                      V_IDirect3DVertexDeclaration9** declaration) override {
        int count = 0;
        while (elements[count].Stream != 0xFF) ++count;
        V_HRESULT result = Record("CreateVertexDeclaration", "%d", count);
        if (V_FAILED(result)) return result;
        *declaration = new RecordDeclaration;
        return V_S_OK;
    }
    V_HRESULT SetVertexDeclaration(V_IDirect3DVertexDeclaration9* declaration) override {
        return Record("SetVertexDeclaration", "%s", Name(declaration).c_str());
    }
    V_HRESULT SetFVF(V_DWORD fvf) override { return Record("SetFVF", "%u", fvf); }
    V_HRESULT CreateVertexShader(const V_DWORD*, V_IDirect3DVertexShader9** shader) override {
        V_HRESULT result = Record("CreateVertexShader");
        if (V_FAILED(result)) return result;
        *shader = new RecordVertexShader;
        return V_S_OK;
    }
    V_HRESULT SetVertexShader(V_IDirect3DVertexShader9* shader) override {
        return Record("SetVertexShader", "%s", Name(shader).c_str());
    }
    V_HRESULT SetVertexShaderConstantF(V_UINT start, const float* data, V_UINT count) override {
        return Record("SetVertexShaderConstantF", "%u,%s", start, Floats(data, count * 4).c_str());
    }
    V_HRESULT SetVertexShaderConstantI(V_UINT start, const int* data, V_UINT count) override {
        return Record("SetVertexShaderConstantI", "%u,%s", start, Ints(data, count * 4).c_str());
    }
    V_HRESULT SetVertexShaderConstantB(V_UINT start, const V_BOOL* data, V_UINT count) override {
        return Record("SetVertexShaderConstantB", "%u,%s", start, Ints(data, count).c_str());
    }
    V_HRESULT CreatePixelShader(const V_DWORD*, V_IDirect3DPixelShader9** shader) override {
        V_HRESULT result = Record("CreatePixelShader");
        if (V_FAILED(result)) return result;
        *shader = new RecordPixelShader;
        return V_S_OK;
    }
    V_HRESULT SetPixelShader(V_IDirect3DPixelShader9* shader) override {
        return Record("SetPixelShader", "%s", Name(shader).c_str());
    }
    V_HRESULT SetPixelShaderConstantF(V_UINT start, const float* data, V_UINT count) override {
        return Record("SetPixelShaderConstantF", "%u,%s", start, Floats(data, count * 4).c_str());
    }
    V_HRESULT SetPixelShaderConstantI(V_UINT start, const int* data, V_UINT count) override {
        return Record("SetPixelShaderConstantI", "%u,%s", start, Ints(data, count * 4).c_str());
    }
    V_HRESULT SetPixelShaderConstantB(V_UINT start, const V_BOOL* data, V_UINT count) override {
        return Record("SetPixelShaderConstantB", "%u,%s", start, Ints(data, count).c_str());
    }

private:
    RecordSurface* back_;
    RecordSwapChain* swap_;
};

class RecordDirect3D : public Recorded<V_IDirect3D9> {
public:
    RecordDirect3D() : Recorded("d3d") {}
    V_UINT GetAdapterModeCount(V_UINT, V_D3DFORMAT format) override {
        return g_Recording.refusedFormats.count(format) != 0 ? 0 : 4;
    }
    V_HRESULT GetAdapterDisplayMode(V_UINT, V_D3DDISPLAYMODE* mode) override {
        *mode = {640, 480, 60, g_Recording.desktopFormat};
        return Record("GetAdapterDisplayMode");
    }
    V_HRESULT GetAdapterIdentifier(V_UINT, V_DWORD, V_D3DADAPTER_IDENTIFIER9* id) override {
        *id = {};
        snprintf(id->Driver, sizeof id->Driver, "recording");
        snprintf(id->Description, sizeof id->Description, "recording device");
        return V_S_OK;
    }
    V_HRESULT CheckDeviceFormat(V_UINT, uint32_t, V_D3DFORMAT, V_DWORD, uint32_t,
                                V_D3DFORMAT format) override {
        return g_Recording.refusedFormats.count(format) != 0 ? V_D3DERR_NOTAVAILABLE : V_S_OK;
    }
    V_HRESULT CheckDeviceMultiSampleType(V_UINT, uint32_t, V_D3DFORMAT, V_BOOL, uint32_t type,
                                         V_DWORD* levels) override {
        if (levels != nullptr) *levels = 1;
        return type == 0 ? V_S_OK : V_D3DERR_NOTAVAILABLE;
    }
    V_HRESULT CheckDepthStencilMatch(V_UINT, uint32_t, V_D3DFORMAT, V_D3DFORMAT,
                                     V_D3DFORMAT depth) override {
        return g_Recording.refusedDepths.count(depth) != 0 ? V_D3DERR_NOTAVAILABLE : V_S_OK;
    }
    V_HRESULT GetDeviceCaps(V_UINT, uint32_t, V_D3DCAPS9* caps) override {
        *caps = MakeCaps();
        return V_S_OK;
    }
    V_HRESULT CreateDevice(V_UINT adapter, uint32_t type, V_HWND, V_DWORD behaviour,
                           V_D3DPRESENT_PARAMETERS* p, V_IDirect3DDevice9** device) override {
        V_HRESULT result = Record("CreateDevice", "%u,%u,%u,%ux%u,%u,%u,%u,%u", adapter, type,
                                  behaviour, p->BackBufferWidth, p->BackBufferHeight,
                                  p->BackBufferFormat, p->SwapEffect, p->Windowed,
                                  p->PresentationInterval);
        if (V_FAILED(result)) return result;
        *device = new RecordDevice(*p);
        return V_S_OK;
    }
};

}  // namespace

std::vector<std::string> V_D3D9Recording::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    return found;
}

V_D3D9Recording& V_GetD3D9Recording() { return g_Recording; }

void V_ResetD3D9Recording() {
    int next = g_Recording.nextObject;
    g_Recording = V_D3D9Recording{};
    g_Recording.nextObject = next;
}

V_IDirect3D9* V_CreateRecordingDirect3D9() { return new RecordDirect3D; }

V_IDirect3DTexture9* V_CreateRecordingTexture(V_UINT width, V_UINT height, V_D3DFORMAT format) {
    return new RecordTexture(width, height, 1, format, 0, V_D3DPOOL_MANAGED);
}

std::string V_RecordingName(const void* object) { return Name(object); }

void V_D3D9UseRecordingDevice(bool on) {
    V_D3D9SetCreateHook(on ? V_CreateRecordingDirect3D9 : nullptr);
}
