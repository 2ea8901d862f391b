// Shader constants, lights and material on the recording device, and the shader pack.
#include <cmath>
#include <cstring>

#include "archive_writer.h"
#include "device_fixture.h"
#include "graphics/graphics.h"

namespace {

// A pack with the two default programs, packed as the program carries it.
std::vector<uint8_t> MakePackImage(bool corrupt) {
    std::vector<uint8_t> pack(kShaderPackHeaderSize, 0);
    const char vertex[] = "vertex program";
    const char pixel[] = "pixel program";
    auto setSize = [&](int flatIndex, uint16_t size) {
        std::memcpy(&pack[static_cast<size_t>(flatIndex) * 2], &size, 2);
    };
    setSize(kDefaultVertexProgram, sizeof vertex);
    setSize(kVertexPrograms + kDefaultPixelProgram, corrupt ? 60000 : sizeof pixel);
    pack.insert(pack.end(), vertex, vertex + sizeof vertex);
    pack.insert(pack.end(), pixel, pixel + sizeof pixel);
    ArchiveWriterOptions options;
    options.compression = ArchiveCompression::Always;
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(BuildArchive({{"VelkShaderPack.bin", pack}}, options, &image, &error)) << error;
    return EncodeArchiveData(image.data(), image.size());
}

class ShaderLightTest : public RecordingDeviceTest {
protected:
    void StartWithPack(bool corrupt) {
        image_ = MakePackImage(corrupt);
        SetShaderPackImageForTest(image_.data(), image_.size());
        StartDevice();
    }
    std::vector<uint8_t> image_;
};

TEST_F(ShaderLightTest, PackTurnsShadersOn) {
    StartWithPack(false);
    ASSERT_EQ(g_ShaderState.programmable, 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(g_ShaderState.vertexPrograms[kDefaultVertexProgram]),
                 "vertex program");
    EXPECT_STREQ(reinterpret_cast<const char*>(g_ShaderState.pixelPrograms[kDefaultPixelProgram]),
                 "pixel program");
    EXPECT_EQ(g_ShaderState.vertexPrograms[0], nullptr);
    EXPECT_NE(g_ShaderState.declarations[53], nullptr);
    EXPECT_NE(g_ShaderState.extraDeclaration, nullptr);
}

TEST_F(ShaderLightTest, CorruptPackLeavesShadersOff) {
    StartWithPack(true);
    EXPECT_EQ(g_ShaderState.programmable, 0);
    EXPECT_EQ(g_ShaderState.pack, nullptr);
}

TEST_F(ShaderLightTest, DeclarationLayout) {
    V_D3DVERTEXELEMENT9 elements[24];
    const int firstTexCoord[2][3] = {{32, 52, 72}, {56, 76, 96}};
    for (int normals = 0; normals < 2; ++normals)
        for (int skinning = 0; skinning < 3; ++skinning) {
            int count = BuildVertexDeclaration(normals, skinning, 2, elements);
            EXPECT_EQ(elements[count - 2].Offset, firstTexCoord[normals][skinning]);
            EXPECT_EQ(elements[count].Stream, 0xFF);
        }
}

TEST_F(ShaderLightTest, FogAndSpotConstants) {
    StartWithPack(false);
    SetDeviceFogDensity(0.5f);
    SetDeviceFogRange(100.0f, 300.0f);
    const float* c10 = g_ShaderState.vertexConstants[10];
    EXPECT_FLOAT_EQ(c10[0], 1.5f);
    EXPECT_FLOAT_EQ(c10[1], -0.005f);
    EXPECT_FLOAT_EQ(c10[2], 0.5f);
    EXPECT_FLOAT_EQ(c10[3], 2.7182817f);
    EXPECT_TRUE(Called("SetVertexShaderConstantF(10,1.5,-0.005,0.5,2.71828)"));

    V_D3DLIGHT9 spot{};
    spot.Type = V_D3DLIGHT_SPOT;
    spot.Theta = 0.5f;
    spot.Phi = 1.0f;
    spot.Range = 10.0f;
    ASSERT_EQ(SetDeviceLight(1, &spot), 0);
    const float* c27 = g_ShaderState.vertexConstants[20 + 7];
    EXPECT_NEAR(c27[1], std::cos(0.5f), 1e-4);
    EXPECT_NEAR(c27[2], 1.0f / (std::cos(0.25f) - std::cos(0.5f)), 1e-2);
    EXPECT_FLOAT_EQ(g_ShaderState.vertexConstants[19 + 7][0], 100.0f);
    EXPECT_TRUE(Called("SetVertexShaderConstantB(8,1,1)"));

    // Equal cone angles do not divide by zero.
    spot.Theta = spot.Phi = 2.0f;
    SetDeviceLight(2, &spot);
    EXPECT_EQ(g_ShaderState.vertexConstants[20 + 14][2], 0.0f);
}

TEST_F(ShaderLightTest, SelectionIndices) {
    StartWithPack(false);
    V_D3DLIGHT9 light{};
    light.Type = V_D3DLIGHT_DIRECTIONAL;
    SetDeviceLight(0, &light);
    SetDeviceLighting(1);
    EnableDeviceLight(0, 1);
    EXPECT_EQ(g_ShaderState.vertexSelection, 29056);
    EXPECT_EQ(g_ShaderState.pixelSelection, 2304);
}

TEST_F(ShaderLightTest, LightsRenumberedAfterDelete) {
    StartDevice();
    int a = CreateLight();
    int b = CreateLight();
    int c = CreateLight();
    ASSERT_GE(c, 0);
    ApplyLights();
    EXPECT_TRUE(Called("LightEnable(2,1)"));
    Recording().ClearCalls();
    EXPECT_EQ(DeleteLight(b), 0);
    EXPECT_EQ(DeleteLight(b), -1);
    ApplyLights();
    EXPECT_EQ(Recording().CallsStartingWith("SetLight(").size(), 1u);
    EXPECT_TRUE(Called("LightEnable(1,1)"));
    EXPECT_TRUE(Called("LightEnable(2,0)"));
    EXPECT_EQ(g_LightTable.high, 3);  // deleting with lights left keeps the mark
    EXPECT_EQ(CreateLight() & 0xFFFF, 3);
    (void)a;

    int directional = MakeLightDirectional(0, 0, 2);
    LightRecord* record = g_LightTable.slots[directional & 0xFFFF];
    EXPECT_FLOAT_EQ(record->light.Direction.z, 1.0f);
    int zero = MakeLightDirectional(0, 0, 0);
    EXPECT_EQ(g_LightTable.slots[zero & 0xFFFF]->light.Direction.x, 0.0f);
}

TEST_F(ShaderLightTest, FullLightTable) {
    StartDevice();
    for (int i = 0; i < kLightSlots; ++i) ASSERT_GE(CreateLight(), 0);
    EXPECT_EQ(CreateLight(), -1);
}

TEST_F(ShaderLightTest, MaterialAndAmbient) {
    StartDevice();
    V_D3DMATERIAL9 material{};
    material.Diffuse = {1, 0.5f, 0.25f, 1};
    EXPECT_EQ(SetDeviceMaterial(&material), 0);
    EXPECT_EQ(SetDeviceMaterial(&material), 0);
    EXPECT_EQ(Recording().CallsStartingWith("SetMaterial(").size(), 1u);
    EXPECT_EQ(SetAmbientColor(0x80FF0000u), 0);
    EXPECT_FLOAT_EQ(g_RenderStates.ambient[0], 1.0f);
    EXPECT_FLOAT_EQ(g_RenderStates.ambient[1], 0.0f);
    EXPECT_FLOAT_EQ(g_RenderStates.ambient[3], 128.0f / 255.0f);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_AMBIENT, 0x80FF0000u)));
}

TEST(ScreenSettingsTest, ColoursAndFlags) {
    g_ScreenSettings = {};
    g_ScreenSettings.colorDepth = 16;
    EXPECT_EQ(GetScreenColor(255, 255, 255), 0xFFFFu);
    EXPECT_EQ(GetScreenColor(0x1FF, 0, 0), 0xF800u);  // channels masked to 8 bits
    int r = -1, g = -1, b = -1;
    GetScreenColorRGB(0xF800, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    g_ScreenSettings.colorDepth = 32;
    EXPECT_EQ(GetScreenColor(1, 2, 3), 0xFF010203u);
    GetScreenColorRGB(0x00804020, &r, &g, &b);
    EXPECT_EQ(r, 0x80);
    EXPECT_EQ(b, 0x20);

    SetWaitVSync(0);
    EXPECT_EQ(GetWaitVSync(), 0);
    SetWaitVSync(5);
    EXPECT_EQ(GetWaitVSync(), 1);

    SetEmulation320x240(1);
    int width, height, bits;
    GetScreenState(&width, &height, &bits);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(bits, 32);
    SetEmulation320x240(0);
    GetScreenState(&width, nullptr, nullptr);
    EXPECT_EQ(width, 640);
    g_ScreenSettings = {};
}

}  // namespace
