// Writes into a rectangle of a texture on the OpenGL device: only the locked rectangle goes to
// GL (whole blocks of compressed formats, nothing for read-only locks), draws recorded before
// the write keep the old pixels and draws after it see the new ones, with draws joined exactly
// as with every draw sent on its own.
#include "gl/gl_draw_scene.h"

namespace {

using namespace drawscene;

constexpr int kSize = 96;
constexpr int kCache = 64;  // side of the glyph-cache-like texture
constexpr int kCell = 8;

// A textured square showing one cell of the cache texture.
void DrawCell(V_IDirect3DDevice9* d, int cellX, int cellY, float x, float y, uint32_t colour) {
    const float u0 = static_cast<float>(cellX * kCell) / kCache;
    const float v0 = static_cast<float>(cellY * kCell) / kCache;
    const float u1 = u0 + static_cast<float>(kCell) / kCache;
    const float v1 = v0 + static_cast<float>(kCell) / kCache;
    const float s = static_cast<float>(kCell);
    const Textured quad[6] = {T(x, y, colour, u0, v0),     T(x + s, y, colour, u1, v0),
                              T(x, y + s, colour, u0, v1), T(x + s, y, colour, u1, v0),
                              T(x + s, y + s, colour, u1, v1), T(x, y + s, colour, u0, v1)};
    d->SetFVF(kTextured);
    d->DrawPrimitiveUP(V_D3DPT_TRIANGLELIST, 2, quad, sizeof(Textured));
}

// A "glyph" into one cell through a lock of that cell only: 16-bit texels, opaque white where
// the pattern of the seed is set, transparent elsewhere, a grey edge in between.
void WriteGlyph(V_IDirect3DTexture9* cache, int cellX, int cellY, int seed) {
    V_RECT cell{cellX * kCell, cellY * kCell, cellX * kCell + kCell, cellY * kCell + kCell};
    V_D3DLOCKED_RECT locked{};
    ASSERT_EQ(cache->LockRect(0, &locked, &cell, 0), V_S_OK);
    for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < kCell; ++x) {
            const int k = (x * (seed + 1) + y * (seed + 2)) % 5;
            const uint16_t texel = k == 0 ? 0xFFFF : k == 1 ? 0x8FFF : 0x0FFF;
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) +
                                        static_cast<size_t>(y) * locked.Pitch)[x] = texel;
        }
    cache->UnlockRect(0);
}

TEST_F(GlLibraryTest, RegionWritesBetweenDrawsGiveTheSamePictureJoinedAndSeparate) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);
    Pass passes[2];
    V_IDirect3DTexture9* caches[2] = {};
    for (V_IDirect3DTexture9*& cache : caches)
        ASSERT_EQ(device->CreateTexture(kCache, kCache, 1, 0, V_D3DFMT_A4R4G4B4,
                                        V_D3DPOOL_MANAGED, &cache, nullptr),
                  V_S_OK);
    int pass = 0;
    DrawBothWays(device, g_GraphicsDevice.backBuffer, kSize,
                 [&](V_IDirect3DDevice9* d, V_IDirect3DSurface9*) {
                     V_IDirect3DTexture9* cache = caches[pass++];
                     d->SetTexture(0, cache);
                     d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_TRUE);
                     // Text, a glyph added, text again, another glyph, text again; one cell is
                     // written again after it was drawn, and a line crosses the text.
                     WriteGlyph(cache, 0, 0, 1);
                     DrawCell(d, 0, 0, 4, 4, 0xFFFFFFFFu);
                     WriteGlyph(cache, 0, 1, 2);
                     DrawCell(d, 0, 0, 14, 4, 0xFFFF8080u);
                     DrawCell(d, 0, 1, 24, 4, 0xFFFFFFFFu);
                     WriteGlyph(cache, 3, 2, 3);
                     for (int i = 0; i < 6; ++i)
                         DrawCell(d, i % 2 == 0 ? 0 : 3, i % 2 == 0 ? 1 : 2,
                                  4.0f + static_cast<float>(i) * 9, 20, 0xFFFFFFFFu);
                     WriteGlyph(cache, 0, 0, 4);  // cell (0, 0) drawn above keeps the old glyph
                     DrawCell(d, 0, 0, 4, 40, 0xFF80FF80u);
                     DrawCell(d, 3, 2, 14, 40, 0xFFFFFFFFu);
                     PlainLine(d, 0, 8, 90, 44, 0xFFFF0000u);
                     d->SetTexture(0, cache);
                     d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_MODULATE);
                     d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_MODULATE);
                     d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_TRUE);
                     DrawCell(d, 0, 1, 24, 40, 0xFFFFFFFFu);
                 },
                 passes);
    for (V_IDirect3DTexture9* cache : caches) cache->Release();
    ExpectSamePicture(passes, kSize);
    // Glyph 1 (seed 1) at (4, 4): its texel (0, 0) is opaque white; glyph 4 drawn at (4, 40)
    // tinted green has its texel (0, 0) opaque too, so the first draw kept the old glyph only
    // if (5, 4) differs: glyph 1's texel (1, 0) is k = 2 (transparent), glyph 4's is k = 0.
    const std::vector<uint32_t>& picture = passes[0].picture;
    EXPECT_EQ(picture[4 * kSize + 4], 0xFFFFFFu);
    EXPECT_EQ(picture[4 * kSize + 5], 0x203040u);
    EXPECT_EQ(picture[40 * kSize + 5], 0x80FF80u);
    for (const Pass& p : passes) {
        // Four cells written, each 8 × 8 texels of four bytes in GL: nothing more was sent.
        EXPECT_EQ(p.counts.textureUploads, 4u);
        EXPECT_EQ(p.counts.textureUploadBytes, 4u * kCell * kCell * 4);
    }
    // Joined, the draws between the writes still join: fewer GL draws than draws received.
    EXPECT_LT(passes[0].counts.glDraws, passes[1].counts.glDraws);
}

TEST_F(GlLibraryTest, RegionLocksOfBlocksAndReadOnlyLocksSendWhatTheyMust) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);
    V_IDirect3DTexture9* blocks = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, V_D3DFMT_DXT1, V_D3DPOOL_MANAGED, &blocks,
                                    nullptr),
              V_S_OK);
    V_IDirect3DTexture9* plain = MakeTexture(device, 16, 16, [](int, int) { return 0xFF0000FFu; });
    ASSERT_NE(plain, nullptr);
    device->Present(nullptr, nullptr, nullptr, nullptr);

    // A rectangle inside one block: the block it lies in is the lock's start, and that whole
    // block (4 × 4 texels) is what goes to GL.
    V_D3DLOCKED_RECT locked{};
    V_RECT inside{5, 5, 7, 7};
    ASSERT_EQ(blocks->LockRect(0, &locked, &inside, 0), V_S_OK);
    const uint8_t red[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};  // colour 0 pure red, index 0
    std::memcpy(locked.pBits, red, sizeof red);
    blocks->UnlockRect(0);
    // A rectangle over two blocks' rows and columns, ending inside the last: all four blocks.
    V_RECT across{8, 8, 13, 13};
    ASSERT_EQ(blocks->LockRect(0, &locked, &across, 0), V_S_OK);
    blocks->UnlockRect(0);
    // A read-only lock of a rectangle sends nothing.
    V_RECT read{2, 3, 9, 11};
    ASSERT_EQ(plain->LockRect(0, &locked, &read, V_D3DLOCK_READONLY), V_S_OK);
    EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[0], 0xFF0000FFu);
    plain->UnlockRect(0);
    // A rectangle reaching outside the level is refused.
    V_RECT outside{10, 10, 17, 12};
    EXPECT_EQ(plain->LockRect(0, &locked, &outside, 0), V_D3DERR_INVALIDCALL);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    V_D3D9GlFrameCounts counts = V_D3D9GlLastFrameCounts();
    EXPECT_EQ(counts.textureUploads, 2u);
    EXPECT_EQ(counts.textureUploadBytes, (16u + 64u) * 4);

    // The block went where it belongs: drawn 1:1, its texels are red and the rest black.
    V_IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(16, 16, V_D3DFMT_X8R8G8B8, 0, 0, V_FALSE, &target,
                                         nullptr),
              V_S_OK);
    ASSERT_EQ(device->SetRenderTarget(0, target), V_S_OK);
    SetCommonStates(device);
    device->SetTexture(0, blocks);
    Sprite(device, 0, 0, 16, 0xFFFFFFFFu);
    std::vector<uint32_t> picture = ReadTarget(device, target, 16);
    ASSERT_EQ(picture.size(), 256u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(picture[y * 16 + x], x >= 4 && x < 8 && y >= 4 && y < 8 ? 0xFF0000u : 0u)
                << x << ", " << y;
    device->SetTexture(0, nullptr);
    device->SetRenderTarget(0, g_GraphicsDevice.backBuffer);
    target->Release();
    blocks->Release();
    plain->Release();
}

// A level still holding the zeros it was made with takes, from a lock of all of it, only the rows
// between the first and the last that are not zero; once written (or filled through GL), every
// row of a lock goes again.
TEST_F(GlLibraryTest, LocksOfALevelStillZeroSendOnlyItsRowsThatAreNot) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);
    V_IDirect3DTexture9* written = nullptr;
    V_IDirect3DTexture9* filled = nullptr;
    for (V_IDirect3DTexture9** texture : {&written, &filled})
        ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, V_D3DFMT_A8R8G8B8, V_D3DPOOL_MANAGED,
                                        texture, nullptr),
                  V_S_OK);
    V_IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(filled->GetSurfaceLevel(0, &level), V_S_OK);
    ASSERT_EQ(device->ColorFill(level, nullptr, 0xFFFF0000u), V_S_OK);
    level->Release();
    device->Present(nullptr, nullptr, nullptr, nullptr);

    V_D3DLOCKED_RECT locked{};
    ASSERT_EQ(written->LockRect(0, &locked, nullptr, 0), V_S_OK);  // zeros stay zeros
    written->UnlockRect(0);
    ASSERT_EQ(written->LockRect(0, &locked, nullptr, 0), V_S_OK);
    for (int y = 5; y < 8; ++y)
        for (int x = 2; x < 5; ++x)
            static_cast<uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] = 0xFF00FF00u;
    written->UnlockRect(0);
    ASSERT_EQ(written->LockRect(0, &locked, nullptr, 0), V_S_OK);  // no longer as made
    written->UnlockRect(0);
    // The filled level's zeros replace the fill.
    ASSERT_EQ(filled->LockRect(0, &locked, nullptr, 0), V_S_OK);
    filled->UnlockRect(0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    const V_D3D9GlFrameCounts counts = V_D3D9GlLastFrameCounts();
    EXPECT_EQ(counts.textureUploads, 3u);
    EXPECT_EQ(counts.textureUploadBytes, (16u * 3 + 256 + 256) * 4);

    V_IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(32, 32, V_D3DFMT_X8R8G8B8, 0, 0, V_FALSE, &target,
                                         nullptr),
              V_S_OK);
    ASSERT_EQ(device->SetRenderTarget(0, target), V_S_OK);
    SetCommonStates(device);
    device->Clear(0, nullptr, V_D3DCLEAR_TARGET, 0xFF203040u, 1.0f, 0);
    device->SetTexture(0, written);
    Sprite(device, 0, 0, 16, 0xFFFFFFFFu);
    device->SetTexture(0, filled);
    Sprite(device, 16, 16, 16, 0xFFFFFFFFu);
    std::vector<uint32_t> picture = ReadTarget(device, target, 32);
    ASSERT_EQ(picture.size(), 32u * 32u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(picture[y * 32 + x], y >= 5 && y < 8 && x >= 2 && x < 5 ? 0x00FF00u : 0u)
                << x << ", " << y;
            EXPECT_EQ(picture[(y + 16) * 32 + x + 16], 0u) << x << ", " << y;
        }
    device->SetTexture(0, nullptr);
    device->SetRenderTarget(0, g_GraphicsDevice.backBuffer);
    target->Release();
    written->Release();
    filled->Release();
}

}  // namespace
