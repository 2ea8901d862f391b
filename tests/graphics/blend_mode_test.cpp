// Blend modes and texture stages on the recording device.
#include "device_fixture.h"

namespace {

class BlendModeTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        StartDevice();
        texture_ = V_CreateRecordingTexture(64, 64, V_D3DFMT_A8R8G8B8);
        blend_ = V_CreateRecordingTexture(64, 64, V_D3DFMT_A8R8G8B8);
    }
    void TearDown() override {
        texture_->Release();
        blend_->Release();
        RecordingDeviceTest::TearDown();
    }
    // Sets the blend key and applies it, keeping only the calls of the apply.
    void Apply(int mode, int alphaTest, int alpha, V_IDirect3DTexture9* texture) {
        SetDeviceBlendState(mode, alphaTest, alpha);
        SetDeviceTexture(texture);
        Recording().ClearCalls();
        ApplyTextureBlendState(1, nullptr, 0);
    }
    std::string Name(const void* object) { return V_RecordingName(object); }

    V_IDirect3DTexture9* texture_;
    V_IDirect3DTexture9* blend_;
};

TEST_F(BlendModeTest, Mode3DependsOnBlendOperation) {
    Apply(3, 0, 0, nullptr);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_ONE)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_SRCALPHA)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_BLENDOP, V_D3DBLENDOP_REVSUBTRACT)));
    EXPECT_TRUE(Called(StageState(0, V_D3DTSS_COLOROP, V_D3DTOP_SELECTARG1)));

    g_GraphicsDevice.blendOperation = 0;
    Apply(1, 0, 0, nullptr);
    Apply(3, 0, 0, nullptr);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_ZERO)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_INVDESTCOLOR)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_BLENDOP, V_D3DBLENDOP_ADD)) ||
                g_RenderStates.current.header.blendOp == V_D3DBLENDOP_ADD);
}

TEST_F(BlendModeTest, AlphaTextureTurnsBlendingOn) {
    Apply(0, 0, 1, texture_);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHABLENDENABLE, 1)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_SRCALPHA)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_INVSRCALPHA)));
    EXPECT_TRUE(Called("SetTexture(0," + Name(texture_) + ")"));
    EXPECT_TRUE(Called(StageState(0, V_D3DTSS_ALPHAOP, V_D3DTOP_SELECTARG1)));
    EXPECT_TRUE(Called(StageState(1, V_D3DTSS_COLOROP, V_D3DTOP_DISABLE)));

    // Applying again with nothing dirty sends nothing.
    Recording().ClearCalls();
    EXPECT_EQ(ApplyTextureBlendState(1, nullptr, 0), -1);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(BlendModeTest, TextureOnlyChangeWithBlendTexture) {
    SetDeviceBlendTexture(blend_, 128, 0);
    Apply(1, 0, 1, texture_);
    EXPECT_TRUE(Called("SetTexture(0," + Name(blend_) + ")"));
    EXPECT_TRUE(Called("SetTexture(2," + Name(texture_) + ")"));

    V_IDirect3DTexture9* other = V_CreateRecordingTexture(32, 32, V_D3DFMT_A8R8G8B8);
    SetDeviceTexture(other);
    Recording().ClearCalls();
    EXPECT_EQ(ApplyTextureBlendState(1, nullptr, 0), 0);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0], "SetTexture(2," + Name(other) + ")");
    other->Release();
}

TEST_F(BlendModeTest, BlendThresholdFactor) {
    SetDeviceBlendTexture(blend_, 0, 64);
    Apply(1, 0, 0, texture_);
    EXPECT_EQ(g_RenderStates.current.header.textureFactor, 0x40FFFFFFu);
    EXPECT_EQ(g_RenderStates.current.stages[0].alphaOp, V_D3DTOP_ADD);
    EXPECT_EQ(g_RenderStates.current.stages[1].alphaOp, V_D3DTOP_MODULATE4X);
    EXPECT_EQ(g_RenderStates.threshold255, 0);

    SetDeviceBlendTexture(blend_, 255, 64);
    ApplyTextureBlendState(1, nullptr, 0);
    EXPECT_EQ(g_RenderStates.current.header.textureFactor, 0xFFFFFFFFu);
    EXPECT_EQ(g_RenderStates.current.stages[0].alphaOp, V_D3DTOP_SUBTRACT);
    EXPECT_EQ(g_RenderStates.threshold255, 1);

    SetDeviceBlendTexture(blend_, 255, 0);
    Recording().ClearCalls();
    ApplyTextureBlendState(1, nullptr, 0);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHATESTENABLE, 1)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHAREF, 255)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHAFUNC, V_D3DCMP_GREATEREQUAL)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHABLENDENABLE, 0)));
    // The texture factor also reaches the kept pixel constant c5 as (b, g, r, a) / 255.
    EXPECT_FLOAT_EQ(g_ShaderState.pixelConstants[5][3], 0.0f);
    EXPECT_FLOAT_EQ(g_ShaderState.pixelConstants[5][0], 1.0f);
}

TEST_F(BlendModeTest, StageBlocks) {
    // Mode 11 blends toward the texture factor in a second stage; mode 10 inverts the colour.
    const StageBlock& toFactor = GetStageBlock(24);
    EXPECT_EQ(toFactor.stageCount, 2);
    EXPECT_EQ(toFactor.stages[1].colorOp, V_D3DTOP_BLENDCURRENTALPHA);
    EXPECT_EQ(GetStageBlock(48).stages[0].colorArg1, V_D3DTA_TEXTURE | V_D3DTA_COMPLEMENT);
    const StageBlock& blend16 = GetStageBlock(16);
    EXPECT_EQ(blend16.stageCount, 4);
    EXPECT_EQ(blend16.stages[3].texCoordIndex, 0);
    EXPECT_EQ(GetStageBlock(22).stages[2].colorOp, V_D3DTOP_MODULATE);
    EXPECT_EQ(GetStageBlock(40).stageCount, 0);
}

TEST_F(BlendModeTest, ModeOutsideTableDrawsNothing) {
    Apply(40, 0, 0, nullptr);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_SRCBLEND, V_D3DBLEND_ZERO)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_DESTBLEND, V_D3DBLEND_ONE)));
    EXPECT_TRUE(Called(RenderState(V_D3DRS_ALPHABLENDENABLE, 1)));
}

TEST_F(BlendModeTest, InstalledSetupTakesOver) {
    StageSetup setup{};
    setup.header = {0, 0, V_D3DCMP_ALWAYS, 1, 0xFFFFFFFF, -1, -1, -1, 1};
    setup.stages[0] = {-1, 0, 2, 0, V_D3DTOP_SELECTARG1, 2, 0, V_D3DTOP_SELECTARG1};
    Recording().ClearCalls();
    SetUserTextureStageState(&setup, 0);
    EXPECT_TRUE(Called(StageState(0, V_D3DTSS_COLOROP, V_D3DTOP_SELECTARG1)));
    EXPECT_EQ(g_RenderStates.current.stages[0].texture, 0);  // an invalid graph gives none
    SetUserTextureStageState(nullptr, 0);
    EXPECT_EQ(g_RenderStates.installedInUse, 0);
}

}  // namespace
