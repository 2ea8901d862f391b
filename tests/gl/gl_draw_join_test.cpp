// Draws recorded and joined on the OpenGL device: a scene of many small draws (lists, strips,
// fans, indexed strips, lines, points, flat shading, blending, scissor, texture changes, a
// texture rewritten between draws, a clear and a second target in the middle) drawn once with
// draws joined and once with every draw sent on its own gives the same picture, pixel for pixel,
// and joining sends far fewer GL draws.
#include "gl/gl_draw_scene.h"

namespace {

using namespace drawscene;

constexpr int kSize = 128;

// A 16 × 16 texture of a pattern that depends on the seed.
V_IDirect3DTexture9* MakeSeededTexture(V_IDirect3DDevice9* device, int seed) {
    V_IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(16, 16, 1, 0, V_D3DFMT_A8R8G8B8, V_D3DPOOL_MANAGED, &texture,
                              nullptr) != V_S_OK)
        return nullptr;
    V_D3DLOCKED_RECT locked{};
    if (texture->LockRect(0, &locked, nullptr, 0) != V_S_OK) return texture;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t alpha = (x + y) % 5 == 0 ? 0x40u : 0xFFu;
            static_cast<uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] =
                alpha << 24 | static_cast<uint32_t>((x * 16 + seed * 40) & 0xFF) << 16 |
                static_cast<uint32_t>((y * 16) & 0xFF) << 8 | static_cast<uint32_t>(seed * 90 & 0xFF);
        }
    texture->UnlockRect(0);
    return texture;
}

// The scene, into the target; returns the target's pixels (0x00RRGGBB) through a memory surface.
std::vector<uint32_t> DrawScene(V_IDirect3DDevice9* d, V_IDirect3DSurface9* target,
                                V_IDirect3DSurface9* other, V_IDirect3DTexture9* a,
                                V_IDirect3DTexture9* b, V_IDirect3DTexture9* rewritten) {
    std::vector<uint32_t> pixels;
    if (d->SetRenderTarget(0, target) != V_S_OK) return pixels;
    SetCommonStates(d);
    d->Clear(0, nullptr, V_D3DCLEAR_TARGET, 0xFF203040u, 1.0f, 0);
    // Sprites of one texture in a row, then sprites whose textures alternate, with lines between.
    d->SetTexture(0, a);
    for (int i = 0; i < 12; ++i)
        Sprite(d, static_cast<float>(i * 9 % 100), static_cast<float>(i * 5 % 40), 13.0f,
               0xFFFFFFFFu - static_cast<uint32_t>(i) * 0x00100804u);
    for (int i = 0; i < 10; ++i) {
        d->SetTexture(0, i % 3 == 0 ? b : a);
        Sprite(d, static_cast<float>(i * 11 % 90) + 0.5f, 30.0f + static_cast<float>(i % 4) * 7,
               11.0f, 0xFFFFFFFFu);
        Line(d, static_cast<float>(i * 13 % kSize), 20.0f, static_cast<float>(i * 29 % kSize),
             77.0f + static_cast<float>(i), 0xFF000000u | static_cast<uint32_t>(i) * 0x151A23u);
    }
    // Blended sprites over each other, the blend switched on and off between them.
    d->SetTexture(0, b);
    for (int i = 0; i < 6; ++i) {
        d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, i % 3 != 2 ? V_TRUE : V_FALSE);
        Sprite(d, 60.0f + static_cast<float>(i) * 5, 50.0f + static_cast<float>(i) * 3, 20.0f,
               0xA0FFFFFFu - static_cast<uint32_t>(i) * 0x10000000u);
    }
    d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_FALSE);
    // Untextured strips, fans (flat and smooth) and points.
    d->SetTexture(0, nullptr);
    d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_SELECTARG2);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_SELECTARG2);
    d->SetFVF(kPlain);
    for (int shade = 0; shade < 2; ++shade) {
        d->SetRenderState(V_D3DRS_SHADEMODE, shade == 0 ? V_D3DSHADE_FLAT : V_D3DSHADE_GOURAUD);
        for (int i = 0; i < 3; ++i) {
            float x = 5.0f + static_cast<float>(i) * 20, y = 85.0f + static_cast<float>(shade) * 20;
            const Plain strip[6] = {P(x, y, 0xFFFF0000u),          P(x, y + 15, 0xFF00FF00u),
                                    P(x + 6, y + 2, 0xFF0000FFu),  P(x + 7, y + 17, 0xFFFFFF00u),
                                    P(x + 15, y, 0xFF00FFFFu),     P(x + 14, y + 14, 0xFFFF00FFu)};
            d->DrawPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 4, strip, sizeof(Plain));
            const Plain fan[5] = {P(x + 70, y + 8, 0xFFFFFFFFu), P(x + 62, y, 0xFFFF0000u),
                                  P(x + 78, y + 1, 0xFF00FF00u), P(x + 77, y + 16, 0xFF0000FFu),
                                  P(x + 63, y + 15, 0xFF808000u)};
            d->DrawPrimitiveUP(V_D3DPT_TRIANGLEFAN, 3, fan, sizeof(Plain));
        }
    }
    d->SetRenderState(V_D3DRS_SHADEMODE, V_D3DSHADE_GOURAUD);
    for (int i = 0; i < 8; ++i) {
        const Plain points[3] = {P(100.0f + static_cast<float>(i), 3.0f, 0xFFFFFFFFu),
                                 P(101.0f + static_cast<float>(i), 6.0f, 0xFFFF8000u),
                                 P(102.0f, 9.0f + static_cast<float>(i), 0xFF0080FFu)};
        d->DrawPrimitiveUP(V_D3DPT_POINTLIST, 3, points, sizeof(Plain));
    }
    // Two line strips that touch, and an indexed strip in 16-bit indices.
    const Plain zigzag[4] = {P(90, 100, 0xFFFFFFFFu), P(110, 110, 0xFFFFFFFFu),
                             P(95, 120, 0xFFFFFFFFu), P(125, 125, 0xFFFFFFFFu)};
    d->DrawPrimitiveUP(V_D3DPT_LINESTRIP, 3, zigzag, sizeof(Plain));
    d->DrawPrimitiveUP(V_D3DPT_LINESTRIP, 2, zigzag + 1, sizeof(Plain));
    const Plain grid[6] = {P(100, 60, 0xFFFF0000u), P(127, 60, 0xFF00FF00u),
                           P(100, 75, 0xFF0000FFu), P(127, 75, 0xFFFFFFFFu),
                           P(100, 90, 0xFF000000u), P(127, 90, 0xFF808080u)};
    const uint16_t order[6] = {0, 2, 1, 3, 5, 4};
    d->DrawIndexedPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 0, 6, 4, order, V_D3DFMT_INDEX16, grid,
                              sizeof(Plain));
    // Scissored sprites: the rectangle changes between them.
    d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_MODULATE);
    d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_MODULATE);
    d->SetTexture(0, a);
    d->SetRenderState(V_D3DRS_SCISSORTESTENABLE, V_TRUE);
    for (int i = 0; i < 4; ++i) {
        V_RECT clip{10 + i * 4, 40, 30 + i * 4, 48 + i};
        d->SetScissorRect(&clip);
        Sprite(d, 8.0f, 38.0f, 30.0f, 0xFFFFFFFFu);
    }
    d->SetRenderState(V_D3DRS_SCISSORTESTENABLE, V_FALSE);
    // A texture drawn, rewritten, drawn again: the first draw keeps the old pixels.
    d->SetTexture(0, rewritten);
    Sprite(d, 40.0f, 100.0f, 16.0f, 0xFFFFFFFFu);
    V_D3DLOCKED_RECT locked{};
    if (rewritten->LockRect(0, &locked, nullptr, 0) == V_S_OK) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                static_cast<uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] = 0xFF10E030u;
        rewritten->UnlockRect(0);
    }
    Sprite(d, 58.0f, 100.0f, 16.0f, 0xFFFFFFFFu);
    // Another target in the middle, then back, a partial clear, and more sprites.
    d->SetRenderTarget(0, other);
    Sprite(d, 0.0f, 0.0f, 16.0f, 0xFFFFFFFFu);
    d->SetRenderTarget(0, target);
    V_D3DRECT box{70, 110, 80, 120};
    d->Clear(1, &box, V_D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
    d->SetTexture(0, b);
    Sprite(d, 72.0f, 112.0f, 12.0f, 0xFFFFFFFFu);

    return ReadTarget(d, target, kSize);
}

TEST_F(GlLibraryTest, JoinedDrawsGiveTheSamePictureAsSeparateDraws) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);
    std::vector<uint32_t> pictures[2];
    V_D3D9GlFrameCounts counts[2] = {};
    for (int pass = 0; pass < 2; ++pass) {
        const bool join = pass == 0;
        V_D3D9GlSetJoinDraws(join);
        V_IDirect3DSurface9* target = nullptr;
        V_IDirect3DSurface9* other = nullptr;
        ASSERT_EQ(device->CreateRenderTarget(kSize, kSize, V_D3DFMT_X8R8G8B8, 0, 0, V_FALSE,
                                             &target, nullptr),
                  V_S_OK);
        ASSERT_EQ(device->CreateRenderTarget(32, 32, V_D3DFMT_X8R8G8B8, 0, 0, V_FALSE, &other,
                                             nullptr),
                  V_S_OK);
        V_IDirect3DTexture9* a = MakeSeededTexture(device, 1);
        V_IDirect3DTexture9* b = MakeSeededTexture(device, 2);
        V_IDirect3DTexture9* rewritten = MakeSeededTexture(device, 3);
        ASSERT_TRUE(a != nullptr && b != nullptr && rewritten != nullptr);
        device->Present(nullptr, nullptr, nullptr, nullptr);  // what the library left is sent
        V_D3D9GlResetCounts();
        pictures[pass] = DrawScene(device, target, other, a, b, rewritten);
        device->SetTexture(0, nullptr);
        device->SetRenderTarget(0, g_GraphicsDevice.backBuffer);
        device->Present(nullptr, nullptr, nullptr, nullptr);
        counts[pass] = V_D3D9GlLastFrameCounts();
        a->Release();
        b->Release();
        rewritten->Release();
        target->Release();
        other->Release();
    }
    V_D3D9GlSetJoinDraws(true);
    ASSERT_EQ(pictures[0].size(), static_cast<size_t>(kSize * kSize));
    ASSERT_EQ(pictures[1].size(), pictures[0].size());
    int differing = 0;
    std::string first;
    for (int i = 0; i < kSize * kSize; ++i)
        if (pictures[0][i] != pictures[1][i] && differing++ == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "(%d, %d): joined %06x, separate %06x", i % kSize,
                          i / kSize, pictures[0][i], pictures[1][i]);
            first = text;
        }
    EXPECT_EQ(differing, 0) << "first difference at " << first;
    // The scene was really drawn: sprites, the rewritten texture's green, the cleared box.
    EXPECT_NE(pictures[0][5 * kSize + 5], 0x203040u);
    EXPECT_EQ(pictures[0][108 * kSize + 66], 0x10E030u);
    for (const std::vector<uint32_t>& picture : pictures)
        EXPECT_NE(picture[108 * kSize + 48], 0x10E030u);  // drawn before the rewrite
    EXPECT_EQ(pictures[0][111 * kSize + 71], 0x00FF00u);

    // Both passes received the same draws; separately, each is a GL draw of its own.
    EXPECT_EQ(counts[0].drawsReceived, counts[1].drawsReceived);
    EXPECT_EQ(counts[1].glDraws, counts[1].drawsReceived);
    // Joined: draws of one state join past the draws between them where nothing forbids it
    // (21 of 69).
    EXPECT_EQ(counts[1].glDraws, 69u);
    EXPECT_EQ(counts[0].glDraws, 21u);
    EXPECT_GT(counts[0].bufferBytes, 0u);
}

}  // namespace
