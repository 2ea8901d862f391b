// The weights of a drawable (or movie) blend graph on the device. Its texture is a render target
// with no key in its alpha, so its pixels are read back and an alpha texture is made from them:
// 0 where the colour is the transparent colour and 255 elsewhere, as the alpha-test texture of a
// loaded graph holds. It is made again before each draw, since the graph's pixels can change
// between draws (drawn into, a new movie frame).
#include <cstring>

#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "graphics/render_state.h"

namespace {

struct KeyTexture {
    V_IDirect3DTexture9* texture;
    V_IDirect3DSurface9* copy;  // system-memory copy of the render target
    V_UINT width, height;
    V_D3DFORMAT copyFormat;
};
KeyTexture g_Key;

template <typename T>
void Release(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

// The colour bits of a pixel in the format.
uint32_t ColourMask(const ColorFormat& f) {
    return f.redMask | f.greenMask | f.blueMask;
}

uint32_t ReadPixel(const uint8_t* at, int bytes) {
    uint32_t pixel = 0;
    std::memcpy(&pixel, at, static_cast<size_t>(bytes));
    return pixel;
}

bool MakeObjects(V_IDirect3DDevice9* device, const V_D3DSURFACE_DESC& desc) {
    if (g_Key.texture != nullptr && g_Key.width == desc.Width && g_Key.height == desc.Height &&
        g_Key.copyFormat == desc.Format)
        return true;
    ReleaseBlendKeyTexture();
    const V_D3DFORMAT alphaFormat = g_GraphicsDevice.textureFormats.formats[kTexture32Alpha];
    if (V_FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                     V_D3DPOOL_SYSTEMMEM, &g_Key.copy, nullptr)) ||
        V_FAILED(device->CreateTexture(desc.Width, desc.Height, 1, 0, alphaFormat,
                                       V_D3DPOOL_MANAGED, &g_Key.texture, nullptr)) ||
        g_Key.copy == nullptr || g_Key.texture == nullptr) {
        ReleaseBlendKeyTexture();
        return false;
    }
    g_Key.width = desc.Width;
    g_Key.height = desc.Height;
    g_Key.copyFormat = desc.Format;
    return true;
}

// Writes the weights of the copied pixels into the key texture.
bool FillKeyTexture(uint32_t transparentColor) {
    const ColorFormat* from = GetD3DFormatColorFormat(g_Key.copyFormat);
    V_D3DSURFACE_DESC keyDesc{};
    g_Key.texture->GetLevelDesc(0, &keyDesc);
    const ColorFormat* to = GetD3DFormatColorFormat(keyDesc.Format);
    if (from == nullptr || to == nullptr || to->alphaMask == 0) return false;
    V_D3DLOCKED_RECT source{}, target{};
    if (V_FAILED(g_Key.copy->LockRect(&source, nullptr, V_D3DLOCK_READONLY))) return false;
    if (V_FAILED(g_Key.texture->LockRect(0, &target, nullptr, 0))) {
        g_Key.copy->UnlockRect();
        return false;
    }
    const uint32_t mask = ColourMask(*from);
    // The transparent colour as the pixels hold it, each channel cut to its width.
    const uint32_t key = EncodePixel(from, (transparentColor >> 16) & 0xFF,
                                     (transparentColor >> 8) & 0xFF, transparentColor & 0xFF, 0) &
                         mask;
    const uint32_t open = ColourMask(*to) | to->alphaMask, shut = ColourMask(*to);
    const int inBytes = from->bytesPerPixel, outBytes = to->bytesPerPixel;
    for (V_UINT y = 0; y < g_Key.height; ++y) {
        const uint8_t* in = static_cast<const uint8_t*>(source.pBits) + source.Pitch * y;
        uint8_t* out = static_cast<uint8_t*>(target.pBits) + target.Pitch * y;
        for (V_UINT x = 0; x < g_Key.width; ++x) {
            const uint32_t weight =
                (ReadPixel(in + inBytes * x, inBytes) & mask) == key ? shut : open;
            std::memcpy(out + outBytes * x, &weight, static_cast<size_t>(outBytes));
        }
    }
    g_Key.texture->UnlockRect(0);
    g_Key.copy->UnlockRect();
    return true;
}

}  // namespace

bool NeedsBlendKeyTexture(const SharedImage* image) {
    const DrawSettings& s = g_DrawSettings;
    return image->desc.textureMode != 0 && image->desc.drawable && !image->desc.alphaChannel &&
           s.alphaTest && !s.noColorKey;
}

V_IDirect3DTexture9* UpdateBlendKeyTexture(const TexturePiece& piece, uint32_t transparentColor) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr || piece.surface == nullptr) return nullptr;
    // Pending vertices may draw into the graph or read the key texture as it is now.
    FlushPendingVertices();
    V_D3DSURFACE_DESC desc{};
    piece.surface->GetDesc(&desc);
    if (!MakeObjects(device, desc) ||
        V_FAILED(device->GetRenderTargetData(piece.surface, g_Key.copy)) ||
        !FillKeyTexture(transparentColor))
        return nullptr;
    return g_Key.texture;
}

void ReleaseBlendKeyTexture() {
    // A device that was given the texture keeps it as long as it needs it.
    Release(&g_Key.copy);
    Release(&g_Key.texture);
    g_Key = KeyTexture{};
}
