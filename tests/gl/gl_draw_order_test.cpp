// Draws of one state joined past the draws between them on the OpenGL device: the order of the
// picture stays that of the draws. Each scene is drawn once with draws joined and once with every
// draw on its own, and the pictures must be equal pixel for pixel: sprites with transparent holes
// and lines over each other, draws that read the target (additive, subtractive, semi-transparent
// texels or vertices, linear filtering, a texture factor's alpha, texels filled semi-transparent
// after the upload) between replacing draws, scissor changes, a clear, a texture target drawn,
// sampled and drawn again, and draws that use the Direct3D depth buffer.
#include "gl/gl_draw_scene.h"

namespace {

using namespace drawscene;

constexpr int kSize = 128;

// Opaque ground texels, and creature texels with square transparent holes (alpha 0 or 255 only).
uint32_t GroundTexel(int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>(x * 12) << 16 | static_cast<uint32_t>(y * 9) << 8 |
           0x30u;
}
uint32_t CreatureTexel(int x, int y) {
    if ((x / 4 + y / 4) % 2 == 0) return 0x00FFFFFFu;
    return 0xFF000000u | static_cast<uint32_t>(200 - x * 8) << 16 | 0x4000u |
           static_cast<uint32_t>(y * 14);
}

struct Textures {
    V_IDirect3DTexture9* ground = nullptr;
    V_IDirect3DTexture9* creature = nullptr;
    bool Made() const { return ground != nullptr && creature != nullptr; }
    ~Textures() {
        if (ground != nullptr) ground->Release();
        if (creature != nullptr) creature->Release();
    }
};

void MakeTextures(V_IDirect3DDevice9* d, Textures* t) {
    t->ground = MakeTexture(d, 16, 16, GroundTexel);
    t->creature = MakeTexture(d, 16, 16, CreatureTexel);
}

// 16 × 16 tiles of 8 pixels over the whole target, blended as the library blends them.
void Ground(V_IDirect3DDevice9* d, V_IDirect3DTexture9* ground) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            BlendedSprite(d, ground, static_cast<float>(x * 8), static_cast<float>(y * 8), 8.0f,
                          0xFFFFFFFFu);
}

// Where the i-th creature stands, and where its line goes; they crowd over each other.
float CreatureX(int i) { return static_cast<float>(i * 37 % 112); }
float CreatureY(int i) { return static_cast<float>(i * 53 % 112); }
uint32_t LineColour(int i) { return 0xFF000000u | (static_cast<uint32_t>(i * 0x3B1F47) & 0xFFFFFFu); }
void CreatureLine(V_IDirect3DDevice9* d, int i) {
    PlainLine(d, CreatureX(i) + 6.0f, CreatureY(i) + 6.0f, static_cast<float>(i * 71 % kSize),
              static_cast<float>(i * 29 % kSize), LineColour(i));
}

TEST_F(GlLibraryTest, CrowdedSpritesAndLinesJoinIntoThreeDrawsWithTheSamePicture) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    Textures t;
    MakeTextures(device, &t);
    ASSERT_TRUE(t.Made());
    constexpr int kCreatures = 150;
    auto scene = [&](V_IDirect3DDevice9* d, V_IDirect3DSurface9*) {
        Ground(d, t.ground);
        for (int i = 0; i < kCreatures; ++i) {
            BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 12.0f + static_cast<float>(i % 5),
                          0xFFFFFFFFu);
            CreatureLine(d, i);
        }
    };
    Pass passes[2];
    DrawBothWays(device, g_GraphicsDevice.backBuffer, kSize, scene, passes);
    ExpectSamePicture(passes, kSize);
    // Lines show through the holes of sprites drawn after them: the holes leave the target.
    int lineThroughHole = 0;
    for (int i = 0; i < kSize * kSize; ++i)
        for (int c = 100; c < kCreatures; ++c)
            if (passes[1].picture[i] == (LineColour(c) & 0xFFFFFFu)) ++lineThroughHole;
    EXPECT_GT(lineThroughHole, 0);
    // The ground, the sprites and the lines: one GL draw each.
    EXPECT_EQ(passes[0].counts.drawsReceived, 256u + 2u * kCreatures);
    EXPECT_EQ(passes[1].counts.glDraws, passes[1].counts.drawsReceived);
    EXPECT_EQ(passes[0].counts.glDraws, 3u);
}

// The states of a draw that reads what the target holds, set up and taken back.
struct ReadingCase {
    const char* name;
    std::function<void(V_IDirect3DDevice9*)> set;
    std::function<void(V_IDirect3DDevice9*)> unset;
    V_IDirect3DTexture9* texture;
    uint32_t colour;
    float size;
};

TEST_F(GlLibraryTest, DrawsThatReadTheTargetKeepTheirPlaceAmongJoinedDraws) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    Textures t;
    MakeTextures(device, &t);
    ASSERT_TRUE(t.Made());
    // Texels of alpha 0x80 among opaque ones.
    V_IDirect3DTexture9* half = MakeTexture(device, 16, 16, [](int x, int y) {
        return ((x + y) % 3 == 0 ? 0x80000000u : 0xFF000000u) | 0x20C0E0u;
    });
    ASSERT_NE(half, nullptr);
    // Opaque and clear texels at first; a fill of alpha 0x80 over half of it afterwards.
    V_IDirect3DTexture9* filled = MakeTexture(device, 16, 16, CreatureTexel);
    ASSERT_NE(filled, nullptr);
    V_IDirect3DSurface9* filledLevel = nullptr;
    ASSERT_EQ(filled->GetSurfaceLevel(0, &filledLevel), V_S_OK);
    const V_RECT halfRect{0, 0, 16, 8};
    ASSERT_EQ(device->ColorFill(filledLevel, &halfRect, 0x80E0A020u), V_S_OK);
    filledLevel->Release();
    auto none = [](V_IDirect3DDevice9*) {};
    const ReadingCase cases[] = {
        {"additive",
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_ONE);
             d->SetRenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_ONE);
         },
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_SRCALPHA);
             d->SetRenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_INVSRCALPHA);
         },
         t.creature, 0xFF606060u, 14.0f},
        {"subtractive",
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_ONE);
             d->SetRenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_ONE);
             d->SetRenderState(V_D3DRS_BLENDOP, V_D3DBLENDOP_REVSUBTRACT);
         },
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_SRCALPHA);
             d->SetRenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_INVSRCALPHA);
             d->SetRenderState(V_D3DRS_BLENDOP, V_D3DBLENDOP_ADD);
         },
         t.creature, 0xFF505050u, 14.0f},
        {"semi-transparent texels", none, none, half, 0xFFFFFFFFu, 14.0f},
        {"texels filled semi-transparent", none, none, filled, 0xFFFFFFFFu, 14.0f},
        {"160-opacity vertices", none, none, t.creature, 0xA0FFFFFFu, 14.0f},
        {"linear filtering",
         [](V_IDirect3DDevice9* d) {
             d->SetSamplerState(0, V_D3DSAMP_MAGFILTER, V_D3DTEXF_LINEAR);
             d->SetSamplerState(0, V_D3DSAMP_MINFILTER, V_D3DTEXF_LINEAR);
         },
         [](V_IDirect3DDevice9* d) {
             d->SetSamplerState(0, V_D3DSAMP_MAGFILTER, V_D3DTEXF_POINT);
             d->SetSamplerState(0, V_D3DSAMP_MINFILTER, V_D3DTEXF_POINT);
         },
         t.creature, 0xFFFFFFFFu, 27.0f},
        {"texture factor alpha",
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_TEXTUREFACTOR, 0x70FFFFFFu);
             d->SetTextureStageState(0, V_D3DTSS_ALPHAARG2, V_D3DTA_TFACTOR);
         },
         [](V_IDirect3DDevice9* d) {
             d->SetRenderState(V_D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
             d->SetTextureStageState(0, V_D3DTSS_ALPHAARG2, V_D3DTA_DIFFUSE);
         },
         t.creature, 0xFFFFFFFFu, 14.0f},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Creature, the reading draw over it, the creature's line: the reading draws share one
        // state and lie over replacing draws made between them.
        auto scene = [&](V_IDirect3DDevice9* d, V_IDirect3DSurface9*) {
            Ground(d, t.ground);
            for (int i = 0; i < 40; ++i) {
                BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 13.0f, 0xFFFFFFFFu);
                c.set(d);
                BlendedSprite(d, c.texture, CreatureX(i) + 5.0f, CreatureY(i) + 3.0f, c.size,
                              c.colour);
                c.unset(d);
                CreatureLine(d, i);
            }
        };
        Pass passes[2];
        DrawBothWays(device, g_GraphicsDevice.backBuffer, kSize, scene, passes);
        ExpectSamePicture(passes, kSize);
        EXPECT_LT(passes[0].counts.glDraws, passes[1].counts.glDraws);
    }
    half->Release();
    filled->Release();
}

TEST_F(GlLibraryTest, ScissorClearAndTextureTargetKeepTheOrderOfJoinedDraws) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    Textures t;
    MakeTextures(device, &t);
    ASSERT_TRUE(t.Made());
    V_IDirect3DTexture9* canvas = nullptr;
    ASSERT_EQ(device->CreateTexture(32, 32, 1, V_D3DUSAGE_RENDERTARGET, V_D3DFMT_X8R8G8B8,
                                    V_D3DPOOL_DEFAULT, &canvas, nullptr),
              V_S_OK);
    V_IDirect3DSurface9* canvasSurface = nullptr;
    ASSERT_EQ(canvas->GetSurfaceLevel(0, &canvasSurface), V_S_OK);
    auto scene = [&](V_IDirect3DDevice9* d, V_IDirect3DSurface9* target) {
        Ground(d, t.ground);
        d->SetRenderState(V_D3DRS_SCISSORTESTENABLE, V_TRUE);
        for (int i = 0; i < 30; ++i) {
            if (i % 4 == 0) {
                V_RECT clip{i, i / 2, 70 + i * 2, 60 + i};
                d->SetScissorRect(&clip);
            }
            BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 14.0f, 0xFFFFFFFFu);
            CreatureLine(d, i);
        }
        d->SetRenderState(V_D3DRS_SCISSORTESTENABLE, V_FALSE);
        V_D3DRECT box{20, 20, 90, 70};
        d->Clear(1, &box, V_D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
        for (int i = 30; i < 50; ++i) {
            BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 14.0f, 0xFFFFFFFFu);
            CreatureLine(d, i);
        }
        // The texture target: drawn into, drawn from, drawn into again in the same states,
        // drawn from again.
        for (int round = 0; round < 2; ++round) {
            d->SetRenderTarget(0, canvasSurface);
            for (int i = 0; i < 4; ++i)
                BlendedSprite(d, round == 0 ? t.ground : t.creature, static_cast<float>(i * 8),
                              static_cast<float>(i * 6), 16.0f, 0xFFFFFFFFu);
            d->SetRenderTarget(0, target);
            BlendedSprite(d, canvas, 10.0f + static_cast<float>(round) * 60, 80.0f, 40.0f,
                          0xFFFFFFFFu);
            CreatureLine(d, 50 + round);
        }
    };
    Pass passes[2];
    DrawBothWays(device, g_GraphicsDevice.backBuffer, kSize, scene, passes);
    ExpectSamePicture(passes, kSize);
    // The cleared box shows where nothing was drawn after the clear, and the two copies of the
    // texture target differ (the second was drawn after the target was drawn into again).
    int cleared = 0, copiesDiffer = 0;
    for (int y = 20; y < 70; ++y)
        for (int x = 20; x < 90; ++x) cleared += passes[0].picture[y * kSize + x] == 0x00FF00u;
    for (int y = 82; y < 118; ++y)
        for (int x = 12; x < 48; ++x)
            copiesDiffer += passes[0].picture[y * kSize + x] != passes[0].picture[y * kSize + x + 60];
    EXPECT_GT(cleared, 0);
    EXPECT_GT(copiesDiffer, 0);
    EXPECT_LT(passes[0].counts.glDraws, passes[1].counts.glDraws / 4);
    canvasSurface->Release();
    canvas->Release();
}

TEST_F(GlLibraryTest, DepthTestedDrawsSeeOnlyTheDepthTheyWrote) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    Textures t;
    MakeTextures(device, &t);
    ASSERT_TRUE(t.Made());
    V_IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->CreateDepthStencilSurface(kSize, kSize, V_D3DFMT_D24X8, 0, 0, V_TRUE, &depth,
                                                nullptr),
              V_S_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(depth), V_S_OK);
    auto depthSquares = [](V_IDirect3DDevice9* d, V_DWORD func, float z, uint32_t colour,
                           float from) {
        d->SetTexture(0, nullptr);
        d->SetTextureStageState(0, V_D3DTSS_COLOROP, V_D3DTOP_SELECTARG2);
        d->SetTextureStageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_SELECTARG2);
        d->SetRenderState(V_D3DRS_ALPHABLENDENABLE, V_FALSE);
        d->SetRenderState(V_D3DRS_ZENABLE, V_D3DZB_TRUE);
        d->SetRenderState(V_D3DRS_ZWRITEENABLE, V_TRUE);
        d->SetRenderState(V_D3DRS_ZFUNC, func);
        for (int i = 0; i < 3; ++i)
            Square(d, from + static_cast<float>(i) * 30, from, 24.0f, colour, z);
        d->SetRenderState(V_D3DRS_ZENABLE, V_D3DZB_FALSE);
    };
    auto scene = [&](V_IDirect3DDevice9* d, V_IDirect3DSurface9*) {
        d->Clear(0, nullptr, V_D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
        Ground(d, t.ground);
        for (int i = 0; i < 20; ++i) {
            BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 14.0f, 0xFFFFFFFFu);
            CreatureLine(d, i);
        }
        // Depth 0 everywhere: these pass, whatever the draws before them did.
        depthSquares(d, V_D3DCMP_GREATEREQUAL, 0.25f, 0xFFE02020u, 10.0f);
        for (int i = 20; i < 40; ++i) {
            BlendedSprite(d, t.creature, CreatureX(i), CreatureY(i), 14.0f, 0xFFFFFFFFu);
            CreatureLine(d, i);
        }
        // These pass only where the first squares left depth 0.
        depthSquares(d, V_D3DCMP_GREATER, 0.2f, 0xFF2020E0u, 22.0f);
    };
    Pass passes[2];
    DrawBothWays(device, g_GraphicsDevice.backBuffer, kSize, scene, passes);
    ExpectSamePicture(passes, kSize);
    // A second square passed beside the first ones and failed over them.
    EXPECT_EQ(passes[0].picture[12 * kSize + 12], 0xE02020u);
    EXPECT_EQ(passes[0].picture[24 * kSize + 24], 0xE02020u);
    EXPECT_EQ(passes[0].picture[40 * kSize + 40], 0x2020E0u);
    device->SetDepthStencilSurface(g_GraphicsDevice.depthSurface);
    depth->Release();
}

}  // namespace
