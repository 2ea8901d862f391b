// The render-state cache on the recording device: unchanged values cost nothing, the force
// flag re-sends, per-stage setters and the draw area's viewport and scissor.
#include "device_fixture.h"
#include "core/window.h"
#include "graphics/graphics.h"

namespace {

int g_Flushes = 0;
void CountFlush() { ++g_Flushes; }

class RenderStateCacheTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        StartDevice();
        g_Flushes = 0;
        g_FlushVertexBatch = &CountFlush;
    }
};

TEST_F(RenderStateCacheTest, UnchangedSendsNothingAndForceResends) {
    EXPECT_EQ(SetDeviceZWrite(1), 0);
    EXPECT_EQ(SetDeviceFogColor(0xFF102030), 0);
    EXPECT_EQ(SetDeviceCullMode(2), 0);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ZWRITEENABLE, 1)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_CULLMODE, V_D3DCULL_CW)));
    EXPECT_EQ(g_Flushes, 3);

    Recording().ClearCalls();
    g_Flushes = 0;
    EXPECT_EQ(SetDeviceZWrite(1), 0);
    EXPECT_EQ(SetDeviceFogColor(0xFF102030), 0);
    EXPECT_EQ(SetDeviceCullMode(2), 0);
    EXPECT_EQ(SetDeviceTextureFilter(g_RenderStates.filterMode), 0);
    V_D3DVIEWPORT9 same = g_RenderStates.viewport;
    same.MaxZ = 0.5f;  // depth range is not compared
    EXPECT_EQ(SetDeviceViewport(&same), 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(g_Flushes, 0);

    g_RenderStates.force = 1;
    SetDeviceZWrite(1);
    SetDeviceCullMode(2);
    g_RenderStates.force = 0;
    EXPECT_EQ(Calls().size(), 2u);
    EXPECT_EQ(g_Flushes, 2);
    // Each stage value of the filter goes again too.
    SetDeviceTextureFilter(1);
    Recording().ClearCalls();
    g_RenderStates.force = 1;
    SetDeviceTextureFilter(1);
    g_RenderStates.force = 0;
    EXPECT_EQ(Recording().CallsStartingWith("SetSamplerState(0,").size(), 3u);

    // Without a device the setters keep their copy and return as listed.
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    g_GraphicsDevice.device = nullptr;
    EXPECT_EQ(SetDeviceZWrite(0), -1);
    EXPECT_EQ(SetDeviceCullMode(0), 0);
    EXPECT_EQ(g_RenderStates.zWrite, 1u);
    g_GraphicsDevice.device = device;
}

TEST_F(RenderStateCacheTest, FilterAndAddressModes) {
    EXPECT_EQ(SetDeviceTextureFilter(3), -1);
    EXPECT_EQ(SetDeviceTextureFilter(2), 0);
    EXPECT_TRUE(Called("SetSamplerState(0,6,3)"));  // MINFILTER anisotropic
    EXPECT_TRUE(Called("SetSamplerState(0,7,2)"));  // MIPFILTER linear
    EXPECT_EQ(g_RenderStates.filterMode, 2);
    EXPECT_EQ(SetDeviceTextureFilter(7), -1);
    EXPECT_EQ(g_RenderStates.filterMode, 2);
    EXPECT_EQ(SetDeviceTextureFilter(0), 0);
    Recording().ClearCalls();
    EXPECT_EQ(SetDeviceTextureFilter(1), 0);
    EXPECT_TRUE(Called("SetSamplerState(0,5,2)"));  // MAGFILTER linear
    EXPECT_TRUE(Called("SetSamplerState(0,6,2)"));  // MINFILTER linear

    Recording().ClearCalls();
    EXPECT_EQ(SetDeviceAddressU(8, V_D3DTADDRESS_CLAMP), -1);
    EXPECT_EQ(SetDeviceAddressU(-1, V_D3DTADDRESS_CLAMP), 0);
    auto calls = Recording().CallsStartingWith("SetSamplerState(");
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls.front(), "SetSamplerState(7,1,3)");
    EXPECT_EQ(calls.back(), "SetSamplerState(0,1,3)");
    Recording().ClearCalls();
    EXPECT_EQ(SetDeviceAddressU(-1, V_D3DTADDRESS_CLAMP), 0);
    EXPECT_EQ(SetDeviceAddressU(3, V_D3DTADDRESS_CLAMP), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(RenderStateCacheTest, DrawAreaBecomesViewportAndScissor) {
    g_ScreenSettings.useDirect3D = 1;
    EXPECT_EQ(SetDrawArea(100, 50, 20, 10), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.left, 20);
    EXPECT_EQ(g_DrawSettings.drawArea.top, 10);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 50);
    EXPECT_TRUE(Called("SetViewport(20,10,80,40,0,1)"));
    EXPECT_TRUE(Called("SetScissorRect(20,10,100,50)"));
    EXPECT_EQ(g_DrawSettings.drawAreaEmpty, 0);
    // Only the bottom moves: the viewport's height and the scissor's bottom go.
    Recording().ClearCalls();
    EXPECT_EQ(SetDrawArea(20, 10, 100, 60), 0);
    EXPECT_TRUE(Called("SetViewport(20,10,80,50,0,1)"));
    EXPECT_TRUE(Called("SetScissorRect(20,10,100,60)"));
    EXPECT_EQ(SetDrawArea(20, 10, 100, 50), 0);
    // A new render target resets the device's scissor: the same area is sent again after it.
    V_IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(GetDevice()->GetBackBuffer(0, 0, 0, &back), V_S_OK);
    SetRenderTargetSurface(back);
    back->Release();
    Recording().ClearCalls();
    EXPECT_EQ(SetDeviceDrawArea(g_DrawSettings.drawArea), 0);
    EXPECT_TRUE(Called("SetScissorRect(20,10,100,50)"));

    Recording().ClearCalls();
    EXPECT_EQ(SetDrawArea(5, 5, 5, 40), 0);
    EXPECT_EQ(g_DrawSettings.drawAreaEmpty, 1);
    EXPECT_TRUE(Calls().empty());

    EXPECT_EQ(SetDrawArea(-10, -10, 9999, 9999), 0);
    EXPECT_TRUE(Called("SetViewport(0,0,640,480,0,1)"));

    // A failing viewport call keeps the copy.
    Recording().failing = {"SetViewport"};
    EXPECT_EQ(SetViewportRect(1, 2, 3, 4), -1);
    EXPECT_EQ(g_RenderStates.viewport.Width, 640u);
}

TEST_F(RenderStateCacheTest, PublicSetters) {
    EXPECT_EQ(SetBlendMode(1, 300), 0);
    EXPECT_EQ(g_DrawSettings.blendParameter, 255);
    EXPECT_EQ(SetBlendMode(1, -4), 0);
    EXPECT_EQ(g_DrawSettings.blendParameter, 0);
    EXPECT_EQ(SetBlendMode(99, 10), 0);
    EXPECT_EQ(g_DrawSettings.blendMode, 99);  // kept as given
    SetBlendMode(2, 128);
    SetDrawBrightness(300, 16, -1);
    EXPECT_EQ(ComputeDrawColor(), 0x80FF1000u);
    SetBlendMode(0, 128);
    EXPECT_EQ(ComputeDrawColor(), 0xFFFF1000u);
    // A texture where none was, or none where one was, changes the stage set-up.
    V_IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(GetDevice()->CreateTexture(4, 4, 1, 0, V_D3DFMT_A8R8G8B8, V_D3DPOOL_MANAGED,
                                         &texture, nullptr),
              V_S_OK);
    for (V_IDirect3DTexture9* set : {texture, static_cast<V_IDirect3DTexture9*>(nullptr)}) {
        g_RenderStates.blendDirty = 0;
        EXPECT_EQ(SetDeviceTexture(set), 0);
        EXPECT_EQ(g_RenderStates.blendDirty, 1);
    }
    texture->Release();
    EXPECT_EQ(SetFogColor(255, 0, 0), 0);
    EXPECT_EQ(g_DrawSettings.fogColor, 0xFFFF0000u);
}

TEST_F(RenderStateCacheTest, SceneBracketAndReapply) {
    BeginDeviceScene();
    BeginDeviceScene();
    EXPECT_EQ(Recording().CallsStartingWith("BeginScene").size(), 1u);
    V_D3DVIEWPORT9 viewport = {1, 1, 10, 10, 0, 1};
    SetDeviceViewport(&viewport);  // closes the scene first
    EXPECT_EQ(g_RenderStates.sceneOpen, 0);
    EXPECT_EQ(Calls()[1], "EndScene()");
    V_RECT scissor = {1, 1, 11, 11};
    SetDeviceScissorRect(&scissor);
    SetDeviceZEnable(1);
    SetDeviceCullMode(2);

    Recording().ClearCalls();
    ReapplyRenderStates();
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ZENABLE, V_D3DZB_TRUE)));
    const std::string cull = "SetRenderState(" + std::to_string(V_D3DRS_CULLMODE) + ",";
    EXPECT_EQ(Recording().CallsStartingWith(cull).back(),
              RenderState(V_D3DRS_CULLMODE, V_D3DCULL_CW));
    EXPECT_TRUE(Called("SetViewport(1,1,10,10,0,1)"));
    EXPECT_TRUE(Called("SetScissorRect(1,1,11,11)"));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DITHERENABLE, 0)));
    EXPECT_EQ(g_RenderStates.force, 0);
}

}  // namespace

namespace {

TEST_F(RenderStateCacheTest, WindowMoveAppliesTheStoredDrawAreaAgain) {
    g_ScreenSettings.useDirect3D = 1;
    g_ScreenSettings.initialised = 1;
    EXPECT_EQ(SetDrawArea(20, 10, 100, 50), 0);
    V_D3DVIEWPORT9 other = {0, 0, 16, 16, 0.0f, 1.0f};
    SetDeviceViewport(&other);
    Recording().ClearCalls();
    UpdateClientOrigin(30 | 40 << 16);
    EXPECT_TRUE(Called("SetViewport(20,10,80,40,0,1)"));
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    g_ScreenSettings.initialised = 0;
}

}  // namespace
