// Textures and surfaces of the OpenGL Direct3D device: GL images in their logical format with a
// memory copy for LockRect, render targets and the back buffer as framebuffers.
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace {

// Texture unit used for uploads, so that the stage bindings stay as the device set them.
constexpr GLenum kUploadUnit = GL_TEXTURE0 + 15;
// Uploads above this many bytes bypass the streaming buffer.
constexpr size_t kLargeUpload = 1024 * 1024;

bool NeedsOpaqueAlpha(V_D3DFORMAT format) { return !GlFormatHasAlpha(format); }

}  // namespace

bool GlContext::MakeCurrent() {
    if (context == nullptr || SDL_WasInit(SDL_INIT_VIDEO) == 0 ||
        SDL_GetWindowFromID(windowId) != window)
        return false;
    if (SDL_GL_GetCurrentContext() == context && SDL_GL_GetCurrentWindow() == window) return true;
    return SDL_GL_MakeCurrent(window, context) == 0;
}

GlContext::~GlContext() {
    if (context != nullptr && SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_GL_DeleteContext(context);
}

GlImage::~GlImage() {
    if (!context || !context->MakeCurrent()) return;
    context->FlushDraws(texture);
    const GlApi& gl = context->gl;
    if (framebuffer != 0) gl.DeleteFramebuffers(1, &framebuffer);
    if (texture != 0) gl.DeleteTextures(1, &texture);
    if (depth != 0) gl.DeleteRenderbuffers(1, &depth);
    if (orderFramebuffer != 0) gl.DeleteFramebuffers(1, &orderFramebuffer);
    if (orderDepth != 0) gl.DeleteRenderbuffers(1, &orderDepth);
}

GLuint GlImage::Framebuffer() {
    zeroLevels &= ~1u;  // whatever asks for it may draw into level 0
    if (framebuffer != 0 || texture == 0 || !context->MakeCurrent()) return framebuffer;
    const GlApi& gl = context->gl;
    gl.GenFramebuffers(1, &framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        gl.DeleteFramebuffers(1, &framebuffer);
        framebuffer = 0;
    }
    return framebuffer;
}

GLuint GlImage::OrderFramebuffer() {
    if (orderFramebuffer != 0 || texture == 0 || !context->MakeCurrent()) return orderFramebuffer;
    const GlApi& gl = context->gl;
    gl.GenRenderbuffers(1, &orderDepth);
    gl.BindRenderbuffer(GL_RENDERBUFFER, orderDepth);
    // Float depth: the order values are stored and compared exactly.
    gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, width, height);
    gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.GenFramebuffers(1, &orderFramebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, orderFramebuffer);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, orderDepth);
    if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        gl.DeleteFramebuffers(1, &orderFramebuffer);
        gl.DeleteRenderbuffers(1, &orderDepth);
        orderFramebuffer = orderDepth = 0;
        return 0;
    }
    RestartOrder();
    return orderFramebuffer;
}

void GlImage::RestartOrder() {
    orderNext = 0;
    if (orderFramebuffer == 0 || !context->MakeCurrent()) return;
    const GlApi& gl = context->gl;
    gl.BindFramebuffer(GL_FRAMEBUFFER, orderFramebuffer);
    gl.Disable(GL_SCISSOR_TEST);
    gl.DepthMask(GL_TRUE);
    gl.ClearDepth(1.0);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    GlCountStateChanges(4);
}

GlImageRef CreateGlTextureImage(const GlContextRef& context, int width, int height, int levels,
                                V_D3DFORMAT format, bool drawable) {
    if (!context->MakeCurrent()) return nullptr;
    const GlApi& gl = context->gl;
    auto image = std::make_shared<GlImage>();
    image->context = context;
    image->width = width;
    image->height = height;
    image->levels = levels;
    image->opaqueAlpha = NeedsOpaqueAlpha(format);
    image->drawable = drawable;
    // Drawn-into 16-bit targets keep 16 bits, so that blending rounds as on the platform.
    GLint internal = drawable && format == V_D3DFMT_R5G6B5 ? GL_RGB565 : GL_RGBA8;
    std::vector<uint8_t> zeros(static_cast<size_t>(width) * height * 4, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        gl.GenTextures(1, &image->texture);
        gl.ActiveTexture(kUploadUnit);
        gl.BindTexture(GL_TEXTURE_2D, image->texture);
        int w = width, h = height;
        for (int level = 0; level < levels; ++level) {
            gl.TexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                          zeros.data());
            GlCountTextureUpload(static_cast<uint64_t>(w) * h * 4);
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
        if (NeedsOpaqueAlpha(format)) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
        gl.BindTexture(GL_TEXTURE_2D, 0);
        if (!drawable || image->Framebuffer() != 0) break;
        gl.DeleteTextures(1, &image->texture);
        image->texture = 0;
        if (internal == GL_RGBA8) return nullptr;
        internal = GL_RGBA8;
    }
    if (gl.GetError() != GL_NO_ERROR) return nullptr;
    if (!drawable) image->zeroLevels = levels < 32 ? (1u << levels) - 1 : ~0u;
    return image;
}

GlImageRef CreateGlDepthImage(const GlContextRef& context, int width, int height) {
    if (!context->MakeCurrent()) return nullptr;
    const GlApi& gl = context->gl;
    auto image = std::make_shared<GlImage>();
    image->context = context;
    image->width = width;
    image->height = height;
    gl.GenRenderbuffers(1, &image->depth);
    gl.BindRenderbuffer(GL_RENDERBUFFER, image->depth);
    gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
    // A new depth surface starts at the far value.
    GLuint framebuffer = 0;
    gl.GenFramebuffers(1, &framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, image->depth);
    gl.Disable(GL_SCISSOR_TEST);
    gl.DepthMask(GL_TRUE);
    gl.ClearDepth(1.0);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.DeleteFramebuffers(1, &framebuffer);
    if (gl.GetError() != GL_NO_ERROR) return nullptr;
    return image;
}

// ---------------------------------------------------------------- surfaces

GlSurface::GlSurface(const V_D3DSURFACE_DESC& desc, GlSurfaceKind kind, bool lockable,
                     GlImageRef image, int level)
    : desc_(desc), kind_(kind), lockable_(lockable), image_(std::move(image)), level_(level) {
    if (kind_ == GlSurfaceKind::Memory || (kind_ == GlSurfaceKind::TextureLevel && lockable_))
        memory_.assign(static_cast<size_t>(GlPitch(desc.Format, static_cast<int>(desc.Width))) *
                           GlRows(desc.Format, static_cast<int>(desc.Height)),
                       0);
}

V_HRESULT GlSurface::GetDesc(V_D3DSURFACE_DESC* desc) {
    if (desc == nullptr) return V_D3DERR_INVALIDCALL;
    *desc = desc_;
    return V_S_OK;
}

V_HRESULT GlSurface::LockRect(V_D3DLOCKED_RECT* locked, const V_RECT* rect, V_DWORD flags) {
    if (locked == nullptr || !lockable_ || locked_) return V_D3DERR_INVALIDCALL;
    int width = static_cast<int>(desc_.Width), height = static_cast<int>(desc_.Height);
    if (rect != nullptr && (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
                            rect->top >= rect->bottom || rect->right > width ||
                            rect->bottom > height))
        return V_D3DERR_INVALIDCALL;
    if (kind_ == GlSurfaceKind::RenderTarget || kind_ == GlSurfaceKind::BackBuffer) ReadBack();
    if (memory_.empty()) return V_D3DERR_INVALIDCALL;
    int pitch = GlPitch(desc_.Format, width);
    size_t offset = 0;
    if (rect != nullptr) {
        bool blocks = GlIsDxt(desc_.Format);
        int x = blocks ? rect->left / 4 : rect->left, y = blocks ? rect->top / 4 : rect->top;
        int unit = blocks ? (desc_.Format == V_D3DFMT_DXT1 ? 8 : 16) : GlBytesPerPixel(desc_.Format);
        offset = static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * unit;
    }
    locked->Pitch = pitch;
    locked->pBits = memory_.data() + offset;
    locked_ = true;
    lockedReadOnly_ = (flags & V_D3DLOCK_READONLY) != 0;
    lockedArea_ = rect != nullptr ? *rect : V_RECT{0, 0, width, height};
    return V_S_OK;
}

V_HRESULT GlSurface::UnlockRect() {
    if (!locked_) return V_D3DERR_INVALIDCALL;
    locked_ = false;
    // Only what the lock let the caller write is sent.
    if (!lockedReadOnly_ && kind_ != GlSurfaceKind::Memory) Upload(lockedArea_);
    return V_S_OK;
}

void GlSurface::ReadBack() {
    if (!image_ || !image_->context->MakeCurrent()) return;
    image_->context->FlushDraws(image_->texture);
    GLuint framebuffer = image_->Framebuffer();
    if (framebuffer == 0) return;
    int width = static_cast<int>(desc_.Width), height = static_cast<int>(desc_.Height);
    memory_.resize(static_cast<size_t>(GlPitch(desc_.Format, width)) * height);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    const GlApi& gl = image_->context->gl;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    GlRgbaToLogical(desc_.Format, rgba.data(), width, height, memory_.data(),
                    GlPitch(desc_.Format, width));
}

void GlSurface::Upload() {
    Upload(V_RECT{0, 0, static_cast<int>(desc_.Width), static_cast<int>(desc_.Height)});
}

void GlSurface::Upload(const V_RECT& area) {
    if (!image_ || image_->texture == 0 || memory_.empty() || !image_->context->MakeCurrent())
        return;
    GlContext& context = *image_->context;
    const V_D3DFORMAT format = desc_.Format;
    const int levelWidth = static_cast<int>(desc_.Width);
    const int levelHeight = static_cast<int>(desc_.Height);
    V_RECT r = area;
    size_t offset = 0;
    const int pitch = GlPitch(format, levelWidth);
    if (GlIsDxt(format)) {
        // Whole blocks: the rectangle widened to the blocks it touches, within the level.
        r.left &= ~3;
        r.top &= ~3;
        r.right = (r.right + 3) & ~3;
        r.bottom = (r.bottom + 3) & ~3;
        if (r.right > levelWidth) r.right = levelWidth;
        if (r.bottom > levelHeight) r.bottom = levelHeight;
        offset = static_cast<size_t>(r.top / 4) * pitch +
                 static_cast<size_t>(r.left / 4) * (format == V_D3DFMT_DXT1 ? 8 : 16);
    } else {
        offset = static_cast<size_t>(r.top) * pitch +
                 static_cast<size_t>(r.left) * GlBytesPerPixel(format);
    }
    // A level still as it was made takes only the rows between the first and the last that are
    // not all zero (the others already match); a compressed format's zero blocks do not decode
    // to zero texels.
    if (!GlIsDxt(format) && level_ < 32 && (image_->zeroLevels & (1u << level_)) != 0) {
        const size_t rowBytes =
            static_cast<size_t>(r.right - r.left) * GlBytesPerPixel(format);
        auto zero = [&](int y) {
            const uint8_t* row = memory_.data() + offset + static_cast<size_t>(y - r.top) * pitch;
            uint8_t any = 0;
            for (size_t i = 0; i < rowBytes; ++i) any |= row[i];
            return any == 0;
        };
        while (r.top < r.bottom && zero(r.top)) {
            ++r.top;
            offset += static_cast<size_t>(pitch);
        }
        while (r.bottom > r.top && zero(r.bottom - 1)) --r.bottom;
    }
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    context.FlushDraws(image_->texture);
    std::vector<uint8_t>& rgba = context.scratch;
    rgba.resize(static_cast<size_t>(width) * height * 4);
    GlLogicalToRgba(format, memory_.data() + offset, pitch, width, height, rgba.data());
    GlUploadRgba(*image_, level_, r.left, r.top, width, height, rgba.data());
}

void GlUploadRgba(GlImage& image, int level, int x, int y, int width, int height,
                  const uint8_t* rgba) {
    GlContext& context = *image.context;
    const GLuint texture = image.texture;
    const GlApi& gl = context.gl;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    if (level < 32) {
        bool partial = false;
        for (size_t i = 3; i < bytes && !partial; i += 4) partial = rgba[i] != 0 && rgba[i] != 255;
        const int levelWidth = image.width >> level > 0 ? image.width >> level : 1;
        const int levelHeight = image.height >> level > 0 ? image.height >> level : 1;
        const bool whole = x == 0 && y == 0 && width == levelWidth && height == levelHeight;
        const uint32_t bit = 1u << level;
        image.zeroLevels &= ~bit;
        if (partial)
            image.partialAlphaLevels |= bit;
        else if (whole)
            image.partialAlphaLevels &= ~bit;
    }
    // Small uploads go through the streaming buffer; a large one is read by GL straight from
    // the caller's bytes, as the buffer would be given new (cleared) storage of its size.
    const void* from = rgba;
    if (bytes <= kLargeUpload) {
        context.pixelStream.target = GL_PIXEL_UNPACK_BUFFER;
        from = reinterpret_cast<const void*>(context.pixelStream.Put(gl, rgba, bytes));
    } else {
        gl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    }
    gl.ActiveTexture(kUploadUnit);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexSubImage2D(GL_TEXTURE_2D, level, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, from);
    gl.BindTexture(GL_TEXTURE_2D, 0);
    gl.BindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    GlCountTextureUpload(bytes);
}

// ---------------------------------------------------------------- textures

GlTexture::GlTexture(const GlImageRef& image, int width, int height, int levels, V_DWORD usage,
                     V_D3DFORMAT format, uint32_t pool)
    : image_(image), hasAlpha_(GlFormatHasAlpha(format)) {
    bool lockable = pool != V_D3DPOOL_DEFAULT || (usage & V_D3DUSAGE_DYNAMIC) != 0;
    int w = width, h = height;
    for (int level = 0; level < levels; ++level) {
        V_D3DSURFACE_DESC desc{format, V_D3DRTYPE_SURFACE, usage, pool, 0, 0,
                               static_cast<V_UINT>(w), static_cast<V_UINT>(h)};
        levels_.push_back(new GlSurface(desc, GlSurfaceKind::TextureLevel, lockable, image, level));
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

GlTexture::~GlTexture() {
    for (GlSurface* level : levels_) level->Release();
}

V_HRESULT GlTexture::GetLevelDesc(V_UINT level, V_D3DSURFACE_DESC* desc) {
    if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

V_HRESULT GlTexture::GetSurfaceLevel(V_UINT level, V_IDirect3DSurface9** surface) {
    if (surface == nullptr || level >= levels_.size()) return V_D3DERR_INVALIDCALL;
    levels_[level]->AddRef();
    *surface = levels_[level];
    return V_S_OK;
}

V_HRESULT GlTexture::LockRect(V_UINT level, V_D3DLOCKED_RECT* locked, const V_RECT* rect,
                              V_DWORD flags) {
    if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
    return levels_[level]->LockRect(locked, rect, flags);
}

V_HRESULT GlTexture::UnlockRect(V_UINT level) {
    if (level >= levels_.size()) return V_D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}
