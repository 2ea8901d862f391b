// The OpenGL Direct3D implementation's shared parts: the context every object holds, the GL
// images behind textures and surfaces, pixel formats, and the object classes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl_api.h"
#include "platform/d3d9/d3d9_gl_program.h"

// A streaming GL buffer: data is written behind what the storage already holds, and storage that
// cannot take it is replaced (grown when too small), never rewritten while GL may still read it.
struct GlStream {
    GLenum target = 0;
    GLuint buffer = 0;
    size_t capacity = 0, used = 0;
    // Room for the bytes, not to be rewritten while GL may read it: its place in the buffer
    // (left bound to the target).
    size_t Reserve(const GlApi& gl, size_t bytes);
    // Writes the bytes and returns their place in the buffer (left bound to the target).
    size_t Put(const GlApi& gl, const void* data, size_t bytes);
};

// One OpenGL context on one window; textures and surfaces keep it alive, so GL names are always
// deleted in the context that made them.
struct GlContext {
    SDL_Window* window = nullptr;
    uint32_t windowId = 0;  // the window is looked up by it, so a destroyed one is never used
    SDL_GLContext context = nullptr;
    GlApi gl;
    // Sends the draws the device has recorded and not yet sent that use the GL texture (as a
    // texture or as their target), or all of them for 0; called before anything reads or
    // changes a texture or framebuffer.
    std::function<void(GLuint)> flushDraws;
    void FlushDraws(GLuint texture = 0) {
        if (flushDraws) flushDraws(texture);
    }
    // Texture pixels go to GL through this stream, converted in the scratch array.
    GlStream pixelStream;
    std::vector<uint8_t> scratch;
    bool MakeCurrent();
    ~GlContext();
};
using GlContextRef = std::shared_ptr<GlContext>;

// The GL texture (and framebuffer, for drawing into it or reading it) behind a texture, a render
// target or the back buffer, or the renderbuffer behind a depth surface. Rows are stored top row
// first, so GL y equals the platform's y.
struct GlImage {
    GlContextRef context;
    GLuint texture = 0;
    GLuint framebuffer = 0;
    GLuint depth = 0;           // depth renderbuffer (depth surfaces)
    GLuint attachedDepth = 0;   // depth renderbuffer attached to the framebuffer now
    int width = 0;
    int height = 0;
    int levels = 1;
    // What the alpha of a texel can be: always 1 (a format without alpha), anything (a target
    // drawn into), or 0 or 255 only on the levels whose bit is clear (tracked at uploads).
    bool opaqueAlpha = false;
    bool drawable = false;
    uint32_t partialAlphaLevels = 0;
    // Levels whose GL texels are still the zeros they were made with (never uploaded to, never
    // a framebuffer's): all-zero memory sent there would change nothing.
    uint32_t zeroLevels = 0;
    // Drawing ordered by depth: a framebuffer of level 0 with a private depth buffer (the
    // Direct3D depth surface is never touched by it), and the next draw's order number. Later
    // draws get nearer depths, so the private depth is cleared only when the numbers run out.
    GLuint orderFramebuffer = 0;
    GLuint orderDepth = 0;
    uint32_t orderNext = 0;
    ~GlImage();
    // The framebuffer of level 0, made on first use; 0 when GL refuses it.
    GLuint Framebuffer();
    // The ordering framebuffer, made on first use; 0 when GL refuses it.
    GLuint OrderFramebuffer();
    // Clears the private depth to the far value and starts the order numbers again.
    void RestartOrder();
    // Whether every texel of level 0 (or of every level) has alpha 0 or 255.
    bool AlphaOnlyZeroOrFull(bool allLevels) const {
        if (opaqueAlpha) return true;
        if (drawable) return false;
        return allLevels ? partialAlphaLevels == 0 : (partialAlphaLevels & 1u) == 0;
    }
};
using GlImageRef = std::shared_ptr<GlImage>;

// ---- pixel formats (d3d9_gl_format.cpp)
bool GlIsDxt(V_D3DFORMAT format);
int GlBytesPerPixel(V_D3DFORMAT format);  // 0 for block formats and unknown ones
int GlPitch(V_D3DFORMAT format, int width);
int GlRows(V_D3DFORMAT format, int height);  // rows of the locked layout (blocks for DXT)
bool GlFormatHasAlpha(V_D3DFORMAT format);
bool GlTextureFormatSupported(V_D3DFORMAT format);
bool GlTargetFormatSupported(V_D3DFORMAT format);
// Pixels of a logical format (DXT decoded) into RGBA bytes, width × height, and back.
void GlLogicalToRgba(V_D3DFORMAT format, const uint8_t* source, int pitch, int width, int height,
                     uint8_t* rgba);
void GlRgbaToLogical(V_D3DFORMAT format, const uint8_t* rgba, int width, int height,
                     uint8_t* destination, int pitch);
// A colour as the four bytes of a format's pixel (ColorFill of a memory surface).
uint32_t GlEncodeColor(V_D3DFORMAT format, V_D3DCOLOR color);

// ---- images and surfaces (d3d9_gl_texture.cpp)
// A texture image of that logical format with its levels, or a drawable one (framebuffer made).
GlImageRef CreateGlTextureImage(const GlContextRef& context, int width, int height, int levels,
                                V_D3DFORMAT format, bool drawable);
GlImageRef CreateGlDepthImage(const GlContextRef& context, int width, int height);

enum class GlSurfaceKind { TextureLevel, RenderTarget, BackBuffer, Memory, Depth };

class GlSurface : public V_RefCounted<V_IDirect3DSurface9> {
public:
    GlSurface(const V_D3DSURFACE_DESC& desc, GlSurfaceKind kind, bool lockable, GlImageRef image,
              int level);
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_HRESULT GetDesc(V_D3DSURFACE_DESC* desc) override;
    V_HRESULT LockRect(V_D3DLOCKED_RECT* locked, const V_RECT* rect, V_DWORD flags) override;
    V_HRESULT UnlockRect() override;

    const V_D3DSURFACE_DESC& Desc() const { return desc_; }
    GlSurfaceKind Kind() const { return kind_; }
    const GlImageRef& Image() const { return image_; }
    int Level() const { return level_; }
    std::vector<uint8_t>& Memory() { return memory_; }
    // Reads the GL pixels into the memory copy, and sends the memory copy (all of it, or the
    // rectangle of it) to GL.
    void ReadBack();
    void Upload();
    void Upload(const V_RECT& area);

private:
    V_D3DSURFACE_DESC desc_;
    GlSurfaceKind kind_;
    bool lockable_;
    GlImageRef image_;
    int level_;
    std::vector<uint8_t> memory_;  // the pixels in their logical format
    bool locked_ = false;
    bool lockedReadOnly_ = false;
    V_RECT lockedArea_{};  // the rectangle of the lock (the whole level when none was given)
};

class GlTexture : public V_RefCounted<V_IDirect3DTexture9> {
public:
    GlTexture(const GlImageRef& image, int width, int height, int levels, V_DWORD usage,
              V_D3DFORMAT format, uint32_t pool);
    ~GlTexture() override;
    V_HRESULT GetDevice(V_IDirect3DDevice9**) override { return V_E_NOTIMPL; }
    V_DWORD GetLevelCount() override { return static_cast<V_DWORD>(levels_.size()); }
    V_HRESULT GetLevelDesc(V_UINT level, V_D3DSURFACE_DESC* desc) override;
    V_HRESULT GetSurfaceLevel(V_UINT level, V_IDirect3DSurface9** surface) override;
    V_HRESULT LockRect(V_UINT level, V_D3DLOCKED_RECT* locked, const V_RECT* rect,
                       V_DWORD flags) override;
    V_HRESULT UnlockRect(V_UINT level) override;
    const GlImageRef& Image() const { return image_; }
    bool HasAlpha() const { return hasAlpha_; }

private:
    GlImageRef image_;
    std::vector<GlSurface*> levels_;
    bool hasAlpha_;
};

// RGBA pixels into a rectangle of a texture level, through the context's pixel stream; the
// image notes whether the level's alpha is still only 0 or 255.
void GlUploadRgba(GlImage& image, int level, int x, int y, int width, int height,
                  const uint8_t* rgba);

// ---- the device (d3d9_gl_device.cpp, d3d9_gl_draw.cpp)
V_IDirect3DDevice9* CreateGlDevice(const GlContextRef& context,
                                   const V_D3DPRESENT_PARAMETERS& parameters);
V_D3DCAPS9 MakeGlCaps();
// Puts the device window full screen in the back buffer's mode; false when the display refuses.
bool TakeFullScreenMode(const V_D3DPRESENT_PARAMETERS& parameters);
bool GlDeviceLost();
void GlCountProgram();

// ---- counting (d3d9_gl_counts.cpp)
void GlCountDrawReceived();
void GlCountGlDraw();
void GlCountStateChanges(int count);
void GlCountTextureUpload(uint64_t bytes);
// Ends the frame at a present: the buffer bytes the device holds complete its counts.
void GlEndCountedFrame(uint64_t bufferBytes);
