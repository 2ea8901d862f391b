// The draw-settings reset, the blend graph and the lit 3D steps of the draw-state preparation.
#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/draw_soft.h"
#include "draw_fixture.h"
#include "draw/mask.h"
#include "graphics/camera.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"

namespace {

void NoRestore() {}

TEST_F(DrawTest, ResetGivesDefaultsAndKeepsTheKeptFields) {
    StartGraphics(true);
    const DrawSettings& s = g_DrawSettings;
    EXPECT_EQ(s.blendMode, 0);
    EXPECT_EQ(s.blendParameter, 0);
    EXPECT_EQ(s.brightColor, 0x00FFFFFFu);
    EXPECT_EQ(s.drawTarget, -4);
    EXPECT_EQ(s.drawArea.right, 640);
    EXPECT_EQ(s.drawArea.bottom, 480);
    EXPECT_FLOAT_EQ(s.vertexZ, 0.2f);
    EXPECT_EQ(s.blendGraph, -1);
    EXPECT_EQ(s.fogMode, 3);
    EXPECT_EQ(s.fogColor, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(s.fogEnd, 1500.0f);
    EXPECT_EQ(s.alphaTest, 1);
    EXPECT_FLOAT_EQ(s.nearZ, 10.0f);
    EXPECT_FLOAT_EQ(s.farZ, 10000.0f);
    EXPECT_FLOAT_EQ(s.material.Diffuse.r, 0.8f);
    EXPECT_FLOAT_EQ(s.material.Power, 20.0f);
    EXPECT_EQ(s.materialDirty, 1);
    EXPECT_EQ(GetUseMaskScreen(), 1);
    ASSERT_GT(g_LightTable.defaultLight, 0);
    const LightRecord* light = g_LightTable.slots[g_LightTable.defaultLight & 0xFFFF];
    EXPECT_EQ(light->light.Type, V_D3DLIGHT_DIRECTIONAL);
    EXPECT_NEAR(light->light.Direction.y, -0.57735f, 1e-5);

    // A restart resets the blend mode but keeps the callback, emulation and lighting setting.
    SetBlendMode(2, 300);
    EXPECT_EQ(s.blendParameter, 255);
    SetBlendMode(1, -5);
    EXPECT_EQ(s.blendParameter, 0);
    SetGraphRestoreCallback(NoRestore);
    g_DrawSettings.emulation320x240 = 1;
    g_DrawSettings.lightingOff = 1;
    EndGraphics();
    ASSERT_EQ(InitGraphics(), 0);
    EXPECT_EQ(s.blendMode, 0);
    EXPECT_EQ(s.graphRestoreCallback, &NoRestore);
    EXPECT_EQ(s.emulation320x240, 1);
    EXPECT_EQ(s.lightingOff, 1);
    g_DrawSettings.emulation320x240 = 0;
}

TEST_F(DrawTest, BlendGraphOnTheDevice) {
    StartGraphics(true);
    int blend = MakeGraph(64, 64);
    int small = MakeGraph(16, 16);
    int graph = MakeGraph(32, 32);
    ASSERT_GE(graph, 0);
    EXPECT_EQ(SetBlendGraph(12345, 0, 0), -1);
    ASSERT_EQ(SetBlendGraph(blend, 300, -4), 0);
    EXPECT_EQ(g_DrawSettings.blendBorder, 255);  // clamped
    EXPECT_EQ(g_DrawSettings.blendRange, 0);
    EXPECT_NE(g_RenderStates.blendTexture, nullptr);
    EXPECT_FLOAT_EQ(g_BlendScaleX, 1.0f / 64.0f);

    // Drawn with two texture sets: the blend graph's coordinates first.
    ASSERT_EQ(SetBlendGraph(blend, 128, 0), 0);
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphAt(8, 4, graph, 0), 0);
    FlushVertexBatch();
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,2,40)"});
    const auto* v = reinterpret_cast<const Vertex2DBlend*>(g_VertexBatch.arrays[2]);
    EXPECT_FLOAT_EQ(v[0].u1, 0.0f);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHAREF, 128)));

    // A drawn graph larger than the blend graph is refused.
    ASSERT_EQ(SetBlendGraph(small, 128, 0), 0);
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), -1);

    // A deleted blend graph stops being the blend graph: its texture leaves the device and
    // later draws are not wiped.
    ASSERT_EQ(SetBlendGraph(blend, 128, 0), 0);
    DeleteGraph(blend);
    EXPECT_EQ(g_RenderStates.blendTexture, nullptr);
    EXPECT_EQ(g_DrawSettings.blendGraph, -1);
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
    EXPECT_EQ(g_RenderStates.blendTexture, nullptr);
}

TEST_F(DrawTest, BlendGraphOnTheSoftwareScreen) {
    StartGraphics(false);
    int blend = MakeGraph(32, 32);
    ASSERT_GE(blend, 0);
    ASSERT_EQ(SetBlendGraph(blend, 100, 50), 0);
    // The kernels get an 8-bit map of the graph's size, not the graph's own pixels.
    ASSERT_NE(g_SoftBlendImage, nullptr);
    EXPECT_EQ(g_SoftBlendImage->base->colorType, kMemImgChannel8);
    EXPECT_EQ(g_SoftBlendImage->width, 32);
    EXPECT_EQ(g_SoftBlendImage->height, 32);
    uint32_t withGraph[256];
    for (int i = 0; i < 256; ++i) withGraph[i] = GetBlendImageMapEntry(i);
    ASSERT_EQ(SetBlendGraph(blend, 200, 50), 0);
    bool changed = false;
    for (int i = 0; i < 256; ++i) changed |= withGraph[i] != GetBlendImageMapEntry(i);
    EXPECT_TRUE(changed);
    // Another graph gets a map of its own size; keyed away is exactly its transparent colour,
    // here (0, 4, 0): green's low bit in 16-bit pixels.
    g_DrawSettings.transparentColor = 0x000400;
    SetCreateDrawValidGraphFlag(1);
    int keyed = MakeGraph(64, 32);
    SetCreateDrawValidGraphFlag(0);
    g_DrawSettings.transparentColor = 0;
    ASSERT_EQ(SetDrawTarget(keyed), 0);
    FillBox(0, 0, 32, 32, GetScreenColor(0, 4, 0));
    FillBox(32, 0, 64, 32, GetScreenColor(0, 0, 0));
    ASSERT_EQ(SetDrawTarget(-4), 0);
    ASSERT_EQ(SetBlendGraph(keyed, 100, 50), 0);
    EXPECT_EQ(g_SoftBlendImage->width, 64);
    EXPECT_EQ(g_SoftBlendImage->height, 32);
    EXPECT_EQ(g_SoftBlendImage->pixels[g_SoftBlendImage->base->pitch * 7 + 31], 0);
    EXPECT_EQ(g_SoftBlendImage->pixels[g_SoftBlendImage->base->pitch * 7 + 32], 255);
    DeleteGraph(keyed);
    DeleteGraph(blend);
    EXPECT_EQ(g_SoftBlendImage, nullptr);
    ASSERT_EQ(SetBlendGraph(-1, 0, 0), 0);
    EXPECT_EQ(g_SoftBlendImage, nullptr);
}

TEST_F(DrawTest, LitDrawsSendLightsMaterialAndSources) {
    StartGraphics(true);
    PrepareDrawState(nullptr, nullptr, kDrawLighting);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_LIGHTING, 1)));
    EXPECT_TRUE(Called("LightEnable(0,1)"));
    EXPECT_EQ(Recording().CallsStartingWith("SetMaterial(").size(), 1u);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DIFFUSEMATERIALSOURCE, V_D3DMCS_COLOR1)));
    EXPECT_EQ(g_DrawSettings.materialDirty, 0);

    // Nothing is sent again for a second lit draw; an unlit draw switches lighting off.
    Recording().ClearCalls();
    PrepareDrawState(nullptr, nullptr, kDrawLighting);
    EXPECT_TRUE(Recording().CallsStartingWith("SetMaterial(").empty());
    EXPECT_TRUE(Recording().CallsStartingWith("LightEnable(").empty());
    PrepareDrawState(nullptr, nullptr, 0);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_LIGHTING, 0)));

    // The material source setting picks the material; lighting off by setting sends nothing.
    g_DrawSettings.diffuseSource = 1;
    PrepareDrawState(nullptr, nullptr, kDrawLighting);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DIFFUSEMATERIALSOURCE, V_D3DMCS_MATERIAL)));
    g_DrawSettings.lightingOff = 1;
    g_DrawSettings.materialDirty = 1;
    Recording().ClearCalls();
    PrepareDrawState(nullptr, nullptr, kDrawLighting);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_LIGHTING, 0)));
    EXPECT_TRUE(Recording().CallsStartingWith("SetMaterial(").empty());
    g_DrawSettings.lightingOff = 0;

    // Changed texture transforms go out for every stage, once.
    g_DrawSettings.textureTransformOn[1] = 1;
    g_DrawSettings.textureMatrices[1].m[0][0] = 2.0f;
    g_DrawSettings.textureTransformChanged = 1;
    Recording().ClearCalls();
    PrepareDrawState(nullptr, nullptr, 0);
    EXPECT_EQ(Recording().CallsStartingWith("SetTransform(17,2,").size(), 1u);
    EXPECT_EQ(g_DrawSettings.textureTransformChanged, 0);
}

TEST_F(DrawTest, CreationFormatsOfTexturesByTheirSettings) {
    StartGraphics(true);
    const ColorFormat* alpha = GetCreationFormatColorFormat(1, 0, 0, 0);
    const ColorFormat* tested = GetCreationFormatColorFormat(0, 1, 0, 0);
    const ColorFormat* wide = GetCreationFormatColorFormat(0, 0, 1, 0);
    const ColorFormat* target = GetCreationFormatColorFormat(1, 0, 0, 1);
    ASSERT_TRUE(alpha && tested && wide && target);
    EXPECT_EQ(alpha->bitDepth, 16);
    EXPECT_EQ(alpha->alphaMask, 0xF000u);
    EXPECT_EQ(tested->bitDepth, 16);
    EXPECT_EQ(tested->alphaMask, 0x8000u);
    EXPECT_EQ(wide->bitDepth, 32);
    EXPECT_EQ(wide->alphaMask, 0u);
    EXPECT_EQ(target->bitDepth, 32);
    EXPECT_EQ(target->alphaMask, 0xFF000000u);
}

TEST_F(DrawTest, RestoredStatesMatchTheCachesAndDropPendingVertices) {
    StartGraphics(true);
    DrawSettings& s = g_DrawSettings;
    // The projection as a normal set sends it: the product with the screen-space matrix.
    V_D3DMATRIX projection = s.projectionMatrix;
    SetProjectionMatrix(&projection);
    std::vector<std::string> sent = Recording().CallsStartingWith("SetTransform(3,");
    ASSERT_EQ(sent.size(), 1u);
    // A light set and then switched off; specular off in its own cache, on by its source.
    V_D3DLIGHT9 light{};
    light.Type = V_D3DLIGHT_POINT;
    SetDeviceLight(5, &light);
    EnableDeviceLight(5, 0);
    g_VertexBatch.specularEnable = 0;
    g_RenderStates.specularSource = 1;
    // A texture transform of stage 1.
    V_D3DMATRIX turn{};
    turn.m[0][1] = turn.m[1][0] = turn.m[2][2] = turn.m[3][3] = 1.0f;
    SetDeviceTextureTransform(1, 1, &turn);
    s.combinedValid = 1;
    s.worldViewProjectionScreen = V_D3DMATRIX{};
    ASSERT_EQ(FillBox(0, 0, 10, 10, 0), 0);
    ASSERT_GT(g_VertexBatch.count, 0);
    Recording().ClearCalls();

    ASSERT_EQ(RestoreDrawStates(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("SetTransform(3,").back(), sent[0]);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_SPECULARENABLE, 0)));
    EXPECT_FALSE(Called(RenderState(V_D3DRS_SPECULARENABLE, 1)));
    EXPECT_EQ(Recording().CallsStartingWith("SetLight(5,").size(), 1u);
    EXPECT_TRUE(Called("LightEnable(5,0)"));
    const std::string texture1 = "SetTransform(" + std::to_string(V_D3DTS_TEXTURE0 + 1) + ",";
    EXPECT_EQ(Recording().CallsStartingWith(texture1).size(), 1u);
    EXPECT_EQ(s.combinedValid, 1);
    EXPECT_NE(s.worldViewProjectionScreen.m[3][3], 0.0f);
    EXPECT_EQ(g_VertexBatch.count, 0);
    Recording().ClearCalls();
    FlushVertexBatch();
    EXPECT_TRUE(Draws().empty());
}

}  // namespace
