// Scenes of small draws sent straight to the OpenGL device for the tests of its recording of
// draws: vertices of pre-transformed sprites and lines, textures from a pixel function, the
// platform states the library uses, and one scene drawn once with draws joined and once with
// every draw sent on its own.
#pragma once

#include "gl/gl_fixture.h"

namespace drawscene {

constexpr V_DWORD kPlain = V_D3DFVF_XYZRHW | V_D3DFVF_DIFFUSE;
constexpr V_DWORD kTextured = V_D3DFVF_XYZRHW | V_D3DFVF_DIFFUSE | V_D3DFVF_TEX1;

struct Plain {
    float x, y, z, w;
    uint32_t colour;
};
struct Textured {
    float x, y, z, w;
    uint32_t colour;
    float u, v;
};

inline Plain P(float x, float y, uint32_t c, float z = 0.5f) { return {x, y, z, 1.0f, c}; }
inline Textured T(float x, float y, uint32_t c, float u, float v) {
    return {x, y, 0.5f, 1.0f, c, u, v};
}

// A managed texture of the format whose pixel (x, y) is pixel(x, y) as 0xAARRGGBB.
template <class Pixel>
V_IDirect3DTexture9* MakeTexture(V_IDirect3DDevice9* device, int width, int height,
                                 Pixel pixel, V_D3DFORMAT format = V_D3DFMT_A8R8G8B8) {
    V_IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(static_cast<V_UINT>(width), static_cast<V_UINT>(height), 1, 0,
                              format, V_D3DPOOL_MANAGED, &texture, nullptr) != V_S_OK)
        return nullptr;
    V_D3DLOCKED_RECT locked{};
    if (texture->LockRect(0, &locked, nullptr, 0) != V_S_OK) return texture;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            static_cast<uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] = pixel(x, y);
    texture->UnlockRect(0);
    return texture;
}

// Blending off (source alpha over the target when switched on), texture × diffuse for colour
// and alpha, point sampling, no culling, no depth, no scissor, Gouraud shading.
inline void SetCommonStates(V_IDirect3DDevice9* d) {
    d->SetRenderState(V_D3DRS_ZENABLE, V_D3DZB_FALSE);
    d->SetRenderState(V_D3DRS_CULLMODE, V_D3DCULL_NONE);
    d->SetRenderState(V_D3DRS_ALPHATESTENABLE, V_FALSE);
    d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_FALSE);
    d->SetRenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_SRCALPHA);
    d->SetRenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_INVSRCALPHA);
    d->SetRenderState(V_D3DRS_BLENDOP, V_D3DBLENDOP_ADD);
    d->SetRenderState(V_D3DRS_SCISSORTESTENABLE, V_FALSE);
    d->SetRenderState(V_D3DRS_SHADEMODE, V_D3DSHADE_GOURAUD);
    d->SetRenderState(V_D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_MODULATE);
    d->SetTextureStageState(0, V_D3DTSS_COLORARG1, V_D3DTA_TEXTURE);
    d->SetTextureStageState(0, V_D3DTSS_COLORARG2, V_D3DTA_DIFFUSE);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_MODULATE);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAARG1, V_D3DTA_TEXTURE);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAARG2, V_D3DTA_DIFFUSE);
    d->SetTextureStageState(1, V_D3DTSS_COLOROP, V_D3DTOP_DISABLE);
    d->SetSamplerState(0, V_D3DSAMP_MAGFILTER, V_D3DTEXF_POINT);
    d->SetSamplerState(0, V_D3DSAMP_MINFILTER, V_D3DTEXF_POINT);
    d->SetSamplerState(0, V_D3DSAMP_MIPFILTER, V_D3DTEXF_NONE);
}

// A textured square with the whole texture, in the states set now.
inline void Sprite(V_IDirect3DDevice9* d, float x, float y, float size, uint32_t colour) {
    const Textured quad[6] = {T(x, y, colour, 0, 0),        T(x + size, y, colour, 1, 0),
                              T(x, y + size, colour, 0, 1), T(x + size, y, colour, 1, 0),
                              T(x + size, y + size, colour, 1, 1), T(x, y + size, colour, 0, 1)};
    d->SetFVF(kTextured);
    d->DrawPrimitiveUP(V_D3DPT_TRIANGLELIST, 2, quad, sizeof(Textured));
}

inline void Line(V_IDirect3DDevice9* d, float x1, float y1, float x2, float y2, uint32_t colour) {
    const Plain line[2] = {P(x1, y1, colour), P(x2, y2, colour)};
    d->SetFVF(kPlain);
    d->DrawPrimitiveUP(V_D3DPT_LINELIST, 1, line, sizeof(Plain));
}

// An untextured square at a depth.
inline void Square(V_IDirect3DDevice9* d, float x, float y, float size, uint32_t colour, float z) {
    const Plain quad[4] = {P(x, y, colour, z), P(x + size, y, colour, z),
                           P(x, y + size, colour, z), P(x + size, y + size, colour, z)};
    d->SetFVF(kPlain);
    d->DrawPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Plain));
}

// A sprite as the library draws a creature: texture and source-alpha blending on.
inline void BlendedSprite(V_IDirect3DDevice9* d, V_IDirect3DTexture9* texture, float x, float y,
                          float size, uint32_t colour) {
    d->SetTexture(0, texture);
    d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_MODULATE);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_MODULATE);
    d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_TRUE);
    Sprite(d, x, y, size, colour);
}

// A line as the library draws a target line: no texture, no blending.
inline void PlainLine(V_IDirect3DDevice9* d, float x1, float y1, float x2, float y2,
                      uint32_t colour) {
    d->SetTexture(0, nullptr);
    d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_SELECTARG2);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_SELECTARG2);
    d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_FALSE);
    Line(d, x1, y1, x2, y2, colour);
}

// The target's pixels as 0x00RRGGBB, read through a memory surface (which sends what is pending).
inline std::vector<uint32_t> ReadTarget(V_IDirect3DDevice9* d, V_IDirect3DSurface9* target,
                                        int size) {
    std::vector<uint32_t> pixels;
    V_IDirect3DSurface9* memory = nullptr;
    if (d->CreateOffscreenPlainSurface(static_cast<V_UINT>(size), static_cast<V_UINT>(size),
                                       V_D3DFMT_X8R8G8B8, V_D3DPOOL_SYSTEMMEM, &memory,
                                       nullptr) != V_S_OK)
        return pixels;
    V_D3DLOCKED_RECT locked{};
    if (d->GetRenderTargetData(target, memory) == V_S_OK &&
        memory->LockRect(&locked, nullptr, V_D3DLOCK_READONLY) == V_S_OK) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                pixels.push_back(
                    static_cast<const uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] &
                    0xFFFFFFu);
        memory->UnlockRect();
    }
    memory->Release();
    return pixels;
}

struct Pass {
    std::vector<uint32_t> picture;
    V_D3D9GlFrameCounts counts{};
};

// The scene drawn into a fresh size × size target of its own, with draws joined (first) and
// with every draw sent on its own (second); each pass is one presented frame of its own.
template <class Scene>
void DrawBothWays(V_IDirect3DDevice9* d, V_IDirect3DSurface9* backBuffer, int size, Scene scene,
                  Pass passes[2]) {
    for (int pass = 0; pass < 2; ++pass) {
        V_D3D9GlSetJoinDraws(pass == 0);
        V_IDirect3DSurface9* target = nullptr;
        ASSERT_EQ(d->CreateRenderTarget(static_cast<V_UINT>(size), static_cast<V_UINT>(size),
                                        V_D3DFMT_X8R8G8B8, 0, 0, V_FALSE, &target, nullptr),
                  V_S_OK);
        d->Present(nullptr, nullptr, nullptr, nullptr);  // what was drawn before is sent
        V_D3D9GlResetCounts();
        ASSERT_EQ(d->SetRenderTarget(0, target), V_S_OK);
        SetCommonStates(d);
        d->Clear(0, nullptr, V_D3DCLEAR_TARGET, 0xFF203040u, 1.0f, 0);
        scene(d, target);
        passes[pass].picture = ReadTarget(d, target, size);
        d->SetTexture(0, nullptr);
        d->SetRenderTarget(0, backBuffer);
        d->Present(nullptr, nullptr, nullptr, nullptr);
        passes[pass].counts = V_D3D9GlLastFrameCounts();
        target->Release();
    }
    V_D3D9GlSetJoinDraws(true);
}

// Both pictures complete and equal; the first difference otherwise.
inline void ExpectSamePicture(const Pass passes[2], int size) {
    ASSERT_EQ(passes[0].picture.size(), static_cast<size_t>(size) * size);
    ASSERT_EQ(passes[1].picture.size(), passes[0].picture.size());
    int differing = 0;
    std::string first;
    for (int i = 0; i < size * size; ++i)
        if (passes[0].picture[i] != passes[1].picture[i] && differing++ == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "(%d, %d): joined %06x, separate %06x", i % size,
                          i / size, passes[0].picture[i], passes[1].picture[i]);
            first = text;
        }
    EXPECT_EQ(differing, 0) << "first difference at " << first;
}

}  // namespace drawscene
