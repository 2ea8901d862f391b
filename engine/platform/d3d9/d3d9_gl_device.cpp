// The OpenGL Direct3D device: objects it makes, render targets, clearing, copies between
// surfaces and presenting the back buffer into the window.
#include "platform/d3d9/d3d9_gl_device.h"

#include <time.h>

#include <cstring>

#include "platform/user/user.h"

namespace {

GlSurface* AsSurface(V_IDirect3DSurface9* surface) {
    return dynamic_cast<GlSurface*>(surface);
}

V_D3DMATRIX Identity() {
    V_D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

template <class Interface>
class GlPlainObject : public V_RefCounted<Interface> {};

template <class Interface>
class GlBuffer : public V_RefCounted<Interface> {
public:
    explicit GlBuffer(V_UINT length) : bytes_(length) {}
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_HRESULT Lock(V_UINT offset, V_UINT, void** data, V_DWORD) override {
        if (data == nullptr || offset > bytes_.size()) return V_D3DERR_INVALIDCALL;
        *data = bytes_.data() + offset;
        return V_S_OK;
    }
    V_HRESULT Unlock() override { return V_S_OK; }

private:
    std::vector<uint8_t> bytes_;
};

class GlSwapChain : public V_RefCounted<V_IDirect3DSwapChain9> {
public:
    explicit GlSwapChain(V_IDirect3DDevice9* device) : device_(device) { device_->AddRef(); }
    ~GlSwapChain() override { device_->Release(); }
    V_HRESULT Present(const V_RECT* source, const V_RECT* dest, V_HWND window,
                      const void* dirtyRegion, V_DWORD) override {
        return device_->Present(source, dest, window, dirtyRegion);
    }
    V_HRESULT GetBackBuffer(V_UINT index, uint32_t type, V_IDirect3DSurface9** surface) override {
        return device_->GetBackBuffer(0, index, type, surface);
    }

private:
    V_IDirect3DDevice9* device_;
};

// A program text compiled as a shader of the kind; the shader is kept but never drawn with.
template <class Interface>
class GlShaderObject : public V_RefCounted<Interface> {
public:
    GlShaderObject(const GlContextRef& context, GLuint shader)
        : context_(context), shader_(shader) {}
    ~GlShaderObject() override {
        if (context_->MakeCurrent()) context_->gl.DeleteShader(shader_);
    }

private:
    GlContextRef context_;
    GLuint shader_;
};

GLuint CompileShaderText(const GlContextRef& context, GLenum kind, const V_DWORD* function) {
    if (function == nullptr || !context->MakeCurrent()) return 0;
    const GlApi& gl = context->gl;
    const char* text = reinterpret_cast<const char*>(function);
    GLuint shader = gl.CreateShader(kind);
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    GLint ok = 0;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GlDevice::GlDevice(const GlContextRef& context, const V_D3DPRESENT_PARAMETERS& parameters)
    : context_(context),
      parameters_(parameters),
      fixed_(DefaultGlFixedState()),
      programs_([this](const GlProgramKey& key) { return BuildProgram(key); }) {
    int width = static_cast<int>(parameters.BackBufferWidth);
    int height = static_cast<int>(parameters.BackBufferHeight);
    GlImageRef image =
        CreateGlTextureImage(context, width, height, 1, parameters.BackBufferFormat, true);
    if (!image) return;
    V_D3DSURFACE_DESC desc{parameters.BackBufferFormat,
                           V_D3DRTYPE_SURFACE,
                           V_D3DUSAGE_RENDERTARGET,
                           V_D3DPOOL_DEFAULT,
                           0,
                           0,
                           parameters.BackBufferWidth,
                           parameters.BackBufferHeight};
    backBuffer_ =
        new GlSurface(desc, GlSurfaceKind::BackBuffer,
                      (parameters.Flags & V_D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0, image, 0);
    world_ = view_ = projection_ = Identity();
    // The platform's render-state defaults that the draws read.
    renderStates_[V_D3DRS_ZENABLE] = V_D3DZB_FALSE;
    renderStates_[V_D3DRS_ZWRITEENABLE] = V_TRUE;
    renderStates_[V_D3DRS_ZFUNC] = V_D3DCMP_LESSEQUAL;
    renderStates_[V_D3DRS_SRCBLEND] = V_D3DBLEND_ONE;
    renderStates_[V_D3DRS_DESTBLEND] = V_D3DBLEND_ZERO;
    renderStates_[V_D3DRS_BLENDOP] = V_D3DBLENDOP_ADD;
    renderStates_[V_D3DRS_CULLMODE] = V_D3DCULL_CCW;
    renderStates_[V_D3DRS_SHADEMODE] = V_D3DSHADE_GOURAUD;
    renderStates_[V_D3DRS_ALPHAFUNC] = V_D3DCMP_ALWAYS;
    renderStates_[V_D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    for (auto& stage : samplerStates_) {
        stage[V_D3DSAMP_ADDRESSU] = stage[V_D3DSAMP_ADDRESSV] = V_D3DTADDRESS_WRAP;
        stage[V_D3DSAMP_MAGFILTER] = stage[V_D3DSAMP_MINFILTER] = V_D3DTEXF_POINT;
        stage[V_D3DSAMP_MIPFILTER] = V_D3DTEXF_NONE;
        stage[V_D3DSAMP_MAXANISOTROPY] = 1;
    }
    CreateDrawObjects();
    ReplaceTarget(backBuffer_);
    context_->flushDraws = [this](GLuint texture) { FlushDrawsUsing(texture); };
}

GlDevice::~GlDevice() {
    FlushDraws();
    context_->flushDraws = nullptr;
    for (GlTexture*& texture : textures_)
        if (texture != nullptr) texture->Release();
    if (target_ != nullptr) target_->Release();
    if (depth_ != nullptr) depth_->Release();
    if (backBuffer_ != nullptr) backBuffer_->Release();
    ReleaseDrawObjects();
    if (!parameters_.Windowed) V_ChangeDisplaySettingsA(nullptr, 0);
}

void GlDevice::ReplaceTarget(GlSurface* surface) {
    surface->AddRef();
    if (target_ != nullptr) target_->Release();
    target_ = surface;
    // As on the platform, a new render target resets the viewport and the scissor rectangle.
    viewport_ = {0, 0, surface->Desc().Width, surface->Desc().Height, 0.0f, 1.0f};
    scissor_ = {0, 0, static_cast<V_LONG>(surface->Desc().Width),
                static_cast<V_LONG>(surface->Desc().Height)};
}

V_HRESULT GlDevice::TestCooperativeLevel() {
    return GlDeviceLost() ? V_D3DERR_DEVICELOST : V_S_OK;
}

V_HRESULT GlDevice::Reset(V_D3DPRESENT_PARAMETERS* parameters) {
    if (parameters == nullptr || GlDeviceLost()) return V_D3DERR_INVALIDCALL;
    return V_S_OK;
}

V_HRESULT GlDevice::GetDeviceCaps(V_D3DCAPS9* caps) {
    if (caps == nullptr) return V_D3DERR_INVALIDCALL;
    *caps = MakeGlCaps();
    return V_S_OK;
}

V_HRESULT GlDevice::GetBackBuffer(V_UINT swapChain, V_UINT index, uint32_t,
                                  V_IDirect3DSurface9** surface) {
    if (surface == nullptr || swapChain != 0 || index != 0) return V_D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *surface = backBuffer_;
    return V_S_OK;
}

V_HRESULT GlDevice::GetSwapChain(V_UINT index, V_IDirect3DSwapChain9** swapChain) {
    if (swapChain == nullptr || index != 0) return V_D3DERR_INVALIDCALL;
    *swapChain = new GlSwapChain(this);
    return V_S_OK;
}

V_HRESULT GlDevice::Present(const V_RECT* source, const V_RECT* dest, V_HWND, const void*) {
    if (GlDeviceLost()) return V_D3DERR_DEVICELOST;
    if (!context_->MakeCurrent()) return V_D3DERR_DEVICELOST;
    FlushDraws();
    const GlApi& gl = context_->gl;
    GLuint framebuffer = backBuffer_->Image()->Framebuffer();
    int backWidth = static_cast<int>(parameters_.BackBufferWidth);
    int backHeight = static_cast<int>(parameters_.BackBufferHeight);
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(context_->window, &windowWidth, &windowHeight);
    V_RECT from = source != nullptr ? *source : V_RECT{0, 0, backWidth, backHeight};
    V_RECT to = dest != nullptr ? *dest : V_RECT{0, 0, windowWidth, windowHeight};
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    bool scaled = from.right - from.left != to.right - to.left ||
                  from.bottom - from.top != to.bottom - to.top;
    // The stored rows run top first; the window's run bottom first.
    gl.BlitFramebuffer(from.left, from.top, from.right, from.bottom, to.left, windowHeight - to.top,
                       to.right, windowHeight - to.bottom, GL_COLOR_BUFFER_BIT,
                       scaled ? GL_LINEAR : GL_NEAREST);
    SDL_GL_SwapWindow(context_->window);
    GlEndCountedFrame(vertexStream_.capacity + indexStream_.capacity +
                      context_->pixelStream.capacity);
    PaceFrames();
    return V_S_OK;
}

// A present that waits for the vertical blank never runs faster than the display's refresh,
// also where the GL driver ignores the swap interval (virtual displays, some compositors):
// presents closer together than one refresh period wait out the rest of it. Where the swap
// already waited, the period has passed and nothing more is waited.
void GlDevice::PaceFrames() {
    if (parameters_.PresentationInterval == V_D3DPRESENT_INTERVAL_IMMEDIATE) return;
    SDL_DisplayMode mode{};
    int display = SDL_GetWindowDisplayIndex(context_->window);
    int refresh =
        display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0
            ? mode.refresh_rate
            : 60;
    uint64_t frequency = SDL_GetPerformanceFrequency();
    uint64_t period = frequency / static_cast<uint64_t>(refresh);
    uint64_t slack = frequency / 1000;  // a present this close to the period counts as on time
    uint64_t now = SDL_GetPerformanceCounter();
    // The wait sleeps to the microsecond: spinning out the last millisecond would cost the
    // thread's time.
    while (nextFrame_ != 0 && now + slack < nextFrame_) {
        uint64_t left = (nextFrame_ - now) * 1000000000 / frequency;
        timespec wait{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        nanosleep(&wait, nullptr);
        now = SDL_GetPerformanceCounter();
    }
    // Keep to a steady rhythm, but start afresh after a long frame.
    nextFrame_ = nextFrame_ != 0 && now < nextFrame_ + period ? nextFrame_ + period : now + period;
}

V_HRESULT GlDevice::CreateTexture(V_UINT width, V_UINT height, V_UINT levels, V_DWORD usage,
                                  V_D3DFORMAT format, uint32_t pool, V_IDirect3DTexture9** texture,
                                  void*) {
    V_D3DCAPS9 caps = MakeGlCaps();
    if (texture == nullptr || width == 0 || height == 0 || width > caps.MaxTextureWidth ||
        height > caps.MaxTextureHeight || !GlTextureFormatSupported(format))
        return V_D3DERR_INVALIDCALL;
    bool drawable = (usage & V_D3DUSAGE_RENDERTARGET) != 0;
    if (drawable && (pool != V_D3DPOOL_DEFAULT || !GlTargetFormatSupported(format)))
        return V_D3DERR_INVALIDCALL;
    int full = 1;
    for (V_UINT w = width, h = height; w > 1 || h > 1; w /= 2, h /= 2) ++full;
    int count = levels == 0 || static_cast<int>(levels) > full ? full : static_cast<int>(levels);
    if (drawable) count = 1;
    GlImageRef image = CreateGlTextureImage(context_, static_cast<int>(width),
                                            static_cast<int>(height), count, format, drawable);
    if (!image) return V_D3DERR_OUTOFVIDEOMEMORY;
    *texture = new GlTexture(image, static_cast<int>(width), static_cast<int>(height), count, usage,
                             format, pool);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateRenderTarget(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                       uint32_t multiSample, V_DWORD, V_BOOL lockable,
                                       V_IDirect3DSurface9** surface, void*) {
    if (surface == nullptr || width == 0 || height == 0 || multiSample != 0 ||
        !GlTargetFormatSupported(format))
        return V_D3DERR_INVALIDCALL;
    GlImageRef image = CreateGlTextureImage(context_, static_cast<int>(width),
                                            static_cast<int>(height), 1, format, true);
    if (!image) return V_D3DERR_OUTOFVIDEOMEMORY;
    V_D3DSURFACE_DESC desc{
        format, V_D3DRTYPE_SURFACE, V_D3DUSAGE_RENDERTARGET, V_D3DPOOL_DEFAULT, 0, 0, width,
        height};
    *surface = new GlSurface(desc, GlSurfaceKind::RenderTarget, lockable != 0, image, 0);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateDepthStencilSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                              uint32_t multiSample, V_DWORD, V_BOOL,
                                              V_IDirect3DSurface9** surface, void*) {
    if (surface == nullptr || width == 0 || height == 0 || multiSample != 0 ||
        (format != V_D3DFMT_D16 && format != V_D3DFMT_D24X8 && format != V_D3DFMT_D32))
        return V_D3DERR_INVALIDCALL;
    GlImageRef image =
        CreateGlDepthImage(context_, static_cast<int>(width), static_cast<int>(height));
    if (!image) return V_D3DERR_OUTOFVIDEOMEMORY;
    V_D3DSURFACE_DESC desc{
        format, V_D3DRTYPE_SURFACE, V_D3DUSAGE_DEPTHSTENCIL, V_D3DPOOL_DEFAULT, 0, 0, width,
        height};
    *surface = new GlSurface(desc, GlSurfaceKind::Depth, false, image, 0);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateOffscreenPlainSurface(V_UINT width, V_UINT height, V_D3DFORMAT format,
                                                uint32_t pool, V_IDirect3DSurface9** surface,
                                                void*) {
    if (surface == nullptr || width == 0 || height == 0 || !GlTextureFormatSupported(format))
        return V_D3DERR_INVALIDCALL;
    V_D3DSURFACE_DESC desc{format, V_D3DRTYPE_SURFACE, 0, pool, 0, 0, width, height};
    *surface = new GlSurface(desc, GlSurfaceKind::Memory, true, nullptr, 0);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateVertexBuffer(V_UINT length, V_DWORD, V_DWORD, uint32_t,
                                       V_IDirect3DVertexBuffer9** buffer, void*) {
    if (buffer == nullptr || length == 0) return V_D3DERR_INVALIDCALL;
    *buffer = new GlBuffer<V_IDirect3DVertexBuffer9>(length);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateIndexBuffer(V_UINT length, V_DWORD, V_D3DFORMAT, uint32_t,
                                      V_IDirect3DIndexBuffer9** buffer, void*) {
    if (buffer == nullptr || length == 0) return V_D3DERR_INVALIDCALL;
    *buffer = new GlBuffer<V_IDirect3DIndexBuffer9>(length);
    return V_S_OK;
}

V_HRESULT GlDevice::CreateVertexDeclaration(const V_D3DVERTEXELEMENT9* elements,
                                            V_IDirect3DVertexDeclaration9** declaration) {
    if (elements == nullptr || declaration == nullptr) return V_D3DERR_INVALIDCALL;
    *declaration = new GlPlainObject<V_IDirect3DVertexDeclaration9>;
    return V_S_OK;
}

V_HRESULT GlDevice::CreateVertexShader(const V_DWORD* function, V_IDirect3DVertexShader9** shader) {
    if (shader == nullptr) return V_D3DERR_INVALIDCALL;
    GLuint compiled = CompileShaderText(context_, GL_VERTEX_SHADER, function);
    if (compiled == 0) return V_D3DERR_INVALIDCALL;
    *shader = new GlShaderObject<V_IDirect3DVertexShader9>(context_, compiled);
    return V_S_OK;
}

V_HRESULT GlDevice::CreatePixelShader(const V_DWORD* function, V_IDirect3DPixelShader9** shader) {
    if (shader == nullptr) return V_D3DERR_INVALIDCALL;
    GLuint compiled = CompileShaderText(context_, GL_FRAGMENT_SHADER, function);
    if (compiled == 0) return V_D3DERR_INVALIDCALL;
    *shader = new GlShaderObject<V_IDirect3DPixelShader9>(context_, compiled);
    return V_S_OK;
}

namespace {

// The rectangle of a surface, or the whole surface; false when it is empty or reaches outside.
bool SurfaceRect(const GlSurface* surface, const V_RECT* rect, V_RECT* out) {
    int width = static_cast<int>(surface->Desc().Width);
    int height = static_cast<int>(surface->Desc().Height);
    *out = rect != nullptr ? *rect : V_RECT{0, 0, width, height};
    return out->left >= 0 && out->top >= 0 && out->left < out->right && out->top < out->bottom &&
           out->right <= width && out->bottom <= height;
}

// The framebuffer of a surface that lives in GL (level 0 only).
GLuint SurfaceFramebuffer(GlSurface* surface) {
    if (surface == nullptr || !surface->Image() || surface->Level() != 0 ||
        surface->Kind() == GlSurfaceKind::Depth)
        return 0;
    return surface->Image()->Framebuffer();
}

}  // namespace

V_HRESULT GlDevice::UpdateSurface(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                                  V_IDirect3DSurface9* dest, const V_POINT* destPoint) {
    GlSurface* from = AsSurface(source);
    GlSurface* to = AsSurface(dest);
    if (from == nullptr || to == nullptr || from->Kind() != GlSurfaceKind::Memory ||
        to->Kind() != GlSurfaceKind::TextureLevel || from->Desc().Format != to->Desc().Format)
        return V_D3DERR_INVALIDCALL;
    const V_D3DFORMAT format = from->Desc().Format;
    const int bytes = GlBytesPerPixel(format);
    V_RECT a;
    if (bytes == 0 || !SurfaceRect(from, sourceRect, &a)) return V_D3DERR_INVALIDCALL;
    const int width = a.right - a.left, height = a.bottom - a.top;
    const int x = destPoint != nullptr ? destPoint->x : 0;
    const int y = destPoint != nullptr ? destPoint->y : 0;
    V_RECT b{x, y, x + width, y + height};
    V_RECT checked;
    if (!SurfaceRect(to, &b, &checked) || !to->Image() || to->Image()->texture == 0 ||
        !context_->MakeCurrent())
        return V_D3DERR_INVALIDCALL;
    FlushDrawsUsing(to->Image()->texture);
    const int pitch = GlPitch(format, static_cast<int>(from->Desc().Width));
    const uint8_t* first = from->Memory().data() + static_cast<size_t>(a.top) * pitch +
                           static_cast<size_t>(a.left) * bytes;
    std::vector<uint8_t>& rgba = context_->scratch;
    rgba.resize(static_cast<size_t>(width) * height * 4);
    GlLogicalToRgba(format, first, pitch, width, height, rgba.data());
    // A lockable level keeps its memory copy in step.
    if (!to->Memory().empty()) {
        const int toPitch = GlPitch(format, static_cast<int>(to->Desc().Width));
        for (int row = 0; row < height; ++row)
            std::memcpy(to->Memory().data() + static_cast<size_t>(y + row) * toPitch +
                            static_cast<size_t>(x) * bytes,
                        first + static_cast<size_t>(row) * pitch, static_cast<size_t>(width) * bytes);
    }
    GlUploadRgba(*to->Image(), to->Level(), x, y, width, height, rgba.data());
    return V_S_OK;
}

V_HRESULT GlDevice::StretchRect(V_IDirect3DSurface9* source, const V_RECT* sourceRect,
                                V_IDirect3DSurface9* dest, const V_RECT* destRect,
                                uint32_t filter) {
    GlSurface* from = AsSurface(source);
    GlSurface* to = AsSurface(dest);
    if (from == nullptr || to == nullptr || !context_->MakeCurrent()) return V_D3DERR_INVALIDCALL;
    V_RECT a, b;
    if (!SurfaceRect(from, sourceRect, &a) || !SurfaceRect(to, destRect, &b))
        return V_D3DERR_INVALIDCALL;
    // The destination must be drawable, as on the platform.
    bool drawable = (to->Desc().Usage & V_D3DUSAGE_RENDERTARGET) != 0;
    GLuint read = SurfaceFramebuffer(from), draw = drawable ? SurfaceFramebuffer(to) : 0;
    if (read == 0 || draw == 0) return V_D3DERR_INVALIDCALL;
    FlushDraws();
    const GlApi& gl = context_->gl;
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, read);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
    gl.BlitFramebuffer(a.left, a.top, a.right, a.bottom, b.left, b.top, b.right, b.bottom,
                       GL_COLOR_BUFFER_BIT, filter == V_D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    return V_S_OK;
}

V_HRESULT GlDevice::ColorFill(V_IDirect3DSurface9* surface, const V_RECT* rect, V_D3DCOLOR color) {
    GlSurface* target = AsSurface(surface);
    V_RECT r;
    if (target == nullptr || !SurfaceRect(target, rect, &r)) return V_D3DERR_INVALIDCALL;
    if (target->Kind() == GlSurfaceKind::Memory) {
        int bytes = GlBytesPerPixel(target->Desc().Format);
        if (bytes == 0) return V_D3DERR_INVALIDCALL;
        uint32_t value = GlEncodeColor(target->Desc().Format, color);
        int pitch = GlPitch(target->Desc().Format, static_cast<int>(target->Desc().Width));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                std::memcpy(target->Memory().data() + static_cast<size_t>(y) * pitch + x * bytes,
                            &value, static_cast<size_t>(bytes));
        return V_S_OK;
    }
    GLuint framebuffer = SurfaceFramebuffer(target);
    if (framebuffer == 0 || !context_->MakeCurrent()) return V_D3DERR_INVALIDCALL;
    FlushDraws();
    // The whole rectangle, whatever the viewport and scissor say.
    const GlApi& gl = context_->gl;
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.ClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                  (color & 0xFF) / 255.0f, ((color >> 24) & 0xFF) / 255.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    // A fill of a texture level tells what its alphas can be now, as an upload does.
    const V_D3DCOLOR alpha = color >> 24;
    if (alpha != 0 && alpha != 0xFF) target->Image()->partialAlphaLevels |= 1u;
    return V_S_OK;
}

V_HRESULT GlDevice::GetRenderTargetData(V_IDirect3DSurface9* target, V_IDirect3DSurface9* dest) {
    GlSurface* from = AsSurface(target);
    GlSurface* to = AsSurface(dest);
    if (from == nullptr || to == nullptr || to->Kind() != GlSurfaceKind::Memory ||
        from->Desc().Width != to->Desc().Width || from->Desc().Height != to->Desc().Height ||
        from->Desc().Format != to->Desc().Format || GlBytesPerPixel(to->Desc().Format) == 0)
        return V_D3DERR_INVALIDCALL;
    GLuint framebuffer = SurfaceFramebuffer(from);
    if (framebuffer == 0 || !context_->MakeCurrent()) return V_D3DERR_INVALIDCALL;
    FlushDraws();
    int width = static_cast<int>(from->Desc().Width),
        height = static_cast<int>(from->Desc().Height);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    const GlApi& gl = context_->gl;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    GlRgbaToLogical(to->Desc().Format, rgba.data(), width, height, to->Memory().data(),
                    GlPitch(to->Desc().Format, width));
    return V_S_OK;
}

V_HRESULT GlDevice::SetRenderTarget(V_DWORD index, V_IDirect3DSurface9* surface) {
    GlSurface* target = AsSurface(surface);
    if (index != 0 || target == nullptr || SurfaceFramebuffer(target) == 0 ||
        (target->Desc().Usage & V_D3DUSAGE_RENDERTARGET) == 0)
        return V_D3DERR_INVALIDCALL;
    ReplaceTarget(target);
    return V_S_OK;
}

V_HRESULT GlDevice::SetDepthStencilSurface(V_IDirect3DSurface9* surface) {
    GlSurface* depth = AsSurface(surface);
    if (surface != nullptr && (depth == nullptr || depth->Kind() != GlSurfaceKind::Depth))
        return V_D3DERR_INVALIDCALL;
    if (depth != nullptr) depth->AddRef();
    if (depth_ != nullptr) depth_->Release();
    depth_ = depth;
    return V_S_OK;
}

V_HRESULT GlDevice::BeginScene() {
    return V_S_OK;
}
V_HRESULT GlDevice::EndScene() {
    return V_S_OK;
}

bool GlDevice::BindTarget() {
    if (!context_->MakeCurrent()) return false;
    GlImage* image = target_->Image().get();
    GLuint framebuffer = image->Framebuffer();
    if (framebuffer == 0) return false;
    const GlApi& gl = context_->gl;
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    // The depth surface serves targets it covers.
    GLuint depth = 0;
    if (depth_ != nullptr && depth_->Image()->width >= image->width &&
        depth_->Image()->height >= image->height)
        depth = depth_->Image()->depth;
    if (image->attachedDepth != depth) {
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        image->attachedDepth = depth;
    }
    return true;
}

// The viewport, and the scissor rectangle when its test is on, cut out of a rectangle.
void GlDevice::ClipRect(int* x0, int* y0, int* x1, int* y1) const {
    auto cut = [&](int left, int top, int right, int bottom) {
        if (*x0 < left) *x0 = left;
        if (*y0 < top) *y0 = top;
        if (*x1 > right) *x1 = right;
        if (*y1 > bottom) *y1 = bottom;
    };
    cut(static_cast<int>(viewport_.X), static_cast<int>(viewport_.Y),
        static_cast<int>(viewport_.X + viewport_.Width),
        static_cast<int>(viewport_.Y + viewport_.Height));
    if (renderStates_[V_D3DRS_SCISSORTESTENABLE])
        cut(scissor_.left, scissor_.top, scissor_.right, scissor_.bottom);
    cut(0, 0, static_cast<int>(target_->Desc().Width), static_cast<int>(target_->Desc().Height));
}

V_HRESULT GlDevice::Clear(V_DWORD count, const V_D3DRECT* rects, V_DWORD flags, V_D3DCOLOR color,
                          float z, V_DWORD stencil) {
    if (context_->MakeCurrent()) FlushDraws();
    if (!BindTarget()) return V_D3DERR_INVALIDCALL;
    const GlApi& gl = context_->gl;
    GLbitfield mask = 0;
    if (flags & V_D3DCLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl.ClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                      (color & 0xFF) / 255.0f, ((color >> 24) & 0xFF) / 255.0f);
    }
    if ((flags & V_D3DCLEAR_ZBUFFER) && target_->Image()->attachedDepth != 0) {
        mask |= GL_DEPTH_BUFFER_BIT;
        gl.DepthMask(GL_TRUE);
        gl.ClearDepth(z);
    }
    (void)stencil;
    if (mask == 0) return V_S_OK;
    gl.Enable(GL_SCISSOR_TEST);
    V_DWORD pieces = rects != nullptr && count != 0 ? count : 1;
    for (V_DWORD i = 0; i < pieces; ++i) {
        int x0 = 0, y0 = 0, x1 = 1 << 30, y1 = 1 << 30;
        if (rects != nullptr && count != 0) {
            x0 = rects[i].x1, y0 = rects[i].y1, x1 = rects[i].x2, y1 = rects[i].y2;
        }
        ClipRect(&x0, &y0, &x1, &y1);
        if (x0 >= x1 || y0 >= y1) continue;
        gl.Scissor(x0, y0, x1 - x0, y1 - y0);
        gl.Clear(mask);
    }
    gl.DepthMask(renderStates_[V_D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    return V_S_OK;
}

V_HRESULT GlDevice::SetTransform(uint32_t state, const V_D3DMATRIX* matrix) {
    if (matrix == nullptr) return V_D3DERR_INVALIDCALL;
    if (state == V_D3DTS_WORLD)
        world_ = *matrix;
    else if (state == V_D3DTS_VIEW)
        view_ = *matrix;
    else if (state == V_D3DTS_PROJECTION)
        projection_ = *matrix;
    return V_S_OK;
}

V_HRESULT GlDevice::SetViewport(const V_D3DVIEWPORT9* viewport) {
    if (viewport == nullptr || viewport->X + viewport->Width > target_->Desc().Width ||
        viewport->Y + viewport->Height > target_->Desc().Height)
        return V_D3DERR_INVALIDCALL;
    viewport_ = *viewport;
    return V_S_OK;
}

V_HRESULT GlDevice::SetScissorRect(const V_RECT* rect) {
    if (rect == nullptr) return V_D3DERR_INVALIDCALL;
    scissor_ = *rect;
    return V_S_OK;
}

V_HRESULT GlDevice::SetRenderState(uint32_t state, V_DWORD value) {
    if (state >= 256) return V_D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    switch (state) {
        case V_D3DRS_SHADEMODE:
            fixed_.shadeMode = value;
            break;
        case V_D3DRS_SPECULARENABLE:
            fixed_.specularEnable = value;
            break;
        case V_D3DRS_ALPHATESTENABLE:
            fixed_.alphaTestEnable = value;
            break;
        case V_D3DRS_ALPHAFUNC:
            fixed_.alphaFunc = value;
            break;
        case V_D3DRS_FOGENABLE:
            fixed_.fogEnable = value;
            break;
        default:
            break;
    }
    return V_S_OK;
}

V_HRESULT GlDevice::SetTexture(V_DWORD stage, V_IDirect3DTexture9* texture) {
    if (stage >= kGlStages) return V_D3DERR_INVALIDCALL;
    GlTexture* gl = texture != nullptr ? dynamic_cast<GlTexture*>(texture) : nullptr;
    if (texture != nullptr && gl == nullptr) return V_D3DERR_INVALIDCALL;
    if (gl != nullptr) gl->AddRef();
    if (textures_[stage] != nullptr) textures_[stage]->Release();
    textures_[stage] = gl;
    fixed_.textureBound[stage] = gl != nullptr;
    return V_S_OK;
}

V_HRESULT GlDevice::SetTextureStageState(V_DWORD stage, uint32_t type, V_DWORD value) {
    if (stage >= kGlStages) return V_D3DERR_INVALIDCALL;
    switch (type) {
        case V_D3DTSS_COLOROP:
            fixed_.colorOp[stage] = value;
            break;
        case V_D3DTSS_COLORARG1:
            fixed_.colorArg1[stage] = value;
            break;
        case V_D3DTSS_COLORARG2:
            fixed_.colorArg2[stage] = value;
            break;
        case V_D3DTSS_ALPHAOP:
            fixed_.alphaOp[stage] = value;
            break;
        case V_D3DTSS_ALPHAARG1:
            fixed_.alphaArg1[stage] = value;
            break;
        case V_D3DTSS_ALPHAARG2:
            fixed_.alphaArg2[stage] = value;
            break;
        case V_D3DTSS_TEXCOORDINDEX:
            fixed_.texCoordIndex[stage] = value;
            break;
        default:
            break;
    }
    return V_S_OK;
}

V_HRESULT GlDevice::SetSamplerState(V_DWORD sampler, uint32_t type, V_DWORD value) {
    if (sampler >= kGlStages || type >= 16) return V_D3DERR_INVALIDCALL;
    samplerStates_[sampler][type] = value;
    return V_S_OK;
}

V_HRESULT GlDevice::SetFVF(V_DWORD fvf) {
    fvf_ = fvf;
    return V_S_OK;
}

V_IDirect3DDevice9* CreateGlDevice(const GlContextRef& context,
                                   const V_D3DPRESENT_PARAMETERS& parameters) {
    auto* device = new GlDevice(context, parameters);
    if (!device->Valid()) {
        device->Release();
        return nullptr;
    }
    return device;
}
