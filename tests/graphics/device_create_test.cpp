// Device creation on the recording device: the path choice, the fallbacks, the format table.
#include "device_fixture.h"
#include "../core/log_capture.h"

namespace {

class DeviceCreateTest : public RecordingDeviceTest {};

TEST_F(DeviceCreateTest, CreatesDeviceAndFormatTable) {
    StartFreshLog();
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 1);
    EXPECT_NE(g_GraphicsDevice.backBuffer, nullptr);
    EXPECT_NE(g_GraphicsDevice.swapChain, nullptr);
    EXPECT_NE(g_GraphicsDevice.depthSurface, nullptr);
    EXPECT_EQ(g_GraphicsDevice.depthWidth, 1024);
    EXPECT_EQ(g_GraphicsDevice.depthHeight, 512);
    EXPECT_EQ(g_GraphicsDevice.maxTextureSize, 2048);
    EXPECT_EQ(g_GraphicsDevice.blendOperation, 1);
    EXPECT_EQ(g_ScreenSettings.colorDepth, 16);
    const V_D3DFORMAT* rows = g_GraphicsDevice.textureFormats.formats;
    EXPECT_EQ(rows[kTexture16], V_D3DFMT_R5G6B5);
    EXPECT_EQ(rows[kTexture32], V_D3DFMT_X8R8G8B8);
    EXPECT_EQ(rows[kTexture16Alpha], V_D3DFMT_A4R4G4B4);
    EXPECT_EQ(rows[kTexture16AlphaTest], V_D3DFMT_A1R5G5B5);
    EXPECT_EQ(rows[kTextureDxt1], V_D3DFMT_DXT1);
    EXPECT_EQ(rows[kTextureTargetScreen], rows[kTextureTarget16]);
    EXPECT_EQ(rows[kTextureAlphaTestScreen], rows[kTexture16AlphaTest]);
    EXPECT_EQ(g_GraphicsDevice.textureFormats.depthFormat, V_D3DFMT_D16);
    // The start clears and presents three times, then clears once more, copy swap effect.
    EXPECT_EQ(Recording().CallsStartingWith("Present").size(), 3u);
    EXPECT_EQ(Recording().CallsStartingWith("Clear").size(), 4u);
    EXPECT_EQ(Recording().CallsStartingWith("CreateDevice(0,1,128,640x480,23,3,1,1)").size(), 1u);
    std::string log = ReadLog();
    EXPECT_NE(log.find("Driver:recording  Description:recording device"), std::string::npos);
    EXPECT_EQ(TerminateGraphicsDevice(), 0);
    EXPECT_EQ(g_GraphicsDevice.device, nullptr);
    EXPECT_EQ(g_GraphicsDevice.directDraw, nullptr);
}

TEST_F(DeviceCreateTest, FormatRowsFallBack) {
    Recording().refusedFormats = {V_D3DFMT_X8R8G8B8, V_D3DFMT_DXT2};
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    const V_D3DFORMAT* rows = g_GraphicsDevice.textureFormats.formats;
    EXPECT_EQ(rows[kTexture32], rows[kTexture16]);  // the 16-bit row repeated
    EXPECT_EQ(rows[kTextureDxt1 + 1], rows[kTexture32Alpha]);
    EXPECT_EQ(rows[kTextureTarget32], V_D3DFMT_R5G6B5);
}

TEST_F(DeviceCreateTest, DesktopDepthDecidesWindowedDepth) {
    Recording().desktopFormat = V_D3DFMT_X8R8G8B8;
    g_ScreenSettings.colorDepth = 16;
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.colorDepth, 32);
    EXPECT_EQ(g_GraphicsDevice.textureFormats.formats[kTextureTargetScreen],
              g_GraphicsDevice.textureFormats.formats[kTextureTarget32]);
}

TEST_F(DeviceCreateTest, FailuresFallBackToSoftware) {
    // No usable depth format: everything of the device is released.
    Recording().refusedDepths = {V_D3DFMT_D16, V_D3DFMT_D24X8, V_D3DFMT_D32};
    EXPECT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
    EXPECT_EQ(g_GraphicsDevice.device, nullptr);
    EXPECT_EQ(g_GraphicsDevice.backBuffer, nullptr);
    EXPECT_EQ(g_GraphicsDevice.swapChain, nullptr);
    EXPECT_EQ(g_GraphicsDevice.direct3D, nullptr);
    EXPECT_NE(g_GraphicsDevice.directDraw, nullptr);
    TerminateGraphicsDevice();

    // Hardware device creation fails: software vertex processing is tried, then the path falls.
    Recording().refusedDepths.clear();
    Recording().failing = {"CreateDevice"};
    Recording().ClearCalls();
    EXPECT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
    EXPECT_EQ(Recording().CallsStartingWith("CreateDevice(").size(), 2u);
    TerminateGraphicsDevice();

    // Hardware drawing switched off, and the software renderer forced.
    Recording().failing.clear();
    V_D3D9SetHardwareAllowed(false);
    EXPECT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
    TerminateGraphicsDevice();
    V_D3D9SetHardwareAllowed(true);
    g_ScreenSettings.softwareForced = 1;
    EXPECT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
}

TEST_F(DeviceCreateTest, ShaderModelNeedsBothKinds) {
    Recording().pixelShaderVersion = V_D3DPS_VERSION(1, 4);
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ShaderState.programmable, 0);
    EXPECT_EQ(g_ShaderState.pack, nullptr);
    EXPECT_FLOAT_EQ(g_ShaderState.vertexConstants[0][1], 1.0f);
    EXPECT_FLOAT_EQ(g_ShaderState.pixelConstants[0][3], 2.0f);
    EXPECT_TRUE(Recording().CallsStartingWith("SetVertexShaderConstantF").empty());
}

TEST_F(DeviceCreateTest, SmallQueries) {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(GetColorBitDepth(), 16);
    DisplayModeEntry none = GetDisplayMode(-1);
    EXPECT_EQ(none.width, 0xFFFFFFFFu);
    EXPECT_EQ(GetDisplayMode(GetDisplayModeCount()).refreshRate, 0xFFFFFFFFu);
    unsigned char caps[400];
    std::fill(std::begin(caps), std::end(caps), 0xAB);
    ClearDirectDrawCaps(caps);
    EXPECT_EQ(caps[379], 0);
    EXPECT_EQ(caps[380], 0xAB);
    EXPECT_EQ(CreateSubBackBuffer(), -1);  // no device
}

}  // namespace
