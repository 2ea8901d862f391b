// The embedded shader pack: it matches what the generator makes, and it turns programmable
// shaders on with the default programs on a device with shader model 2.0.
#include <cstring>
#include <string>

#include "../core/log_capture.h"
#include "device_fixture.h"
#include "shader_pack_builder.h"

namespace {

class ShaderPackTest : public RecordingDeviceTest {};

TEST(ShaderPackSource, EmbeddedImageIsTheGeneratorsOutput) {
    const std::vector<uint8_t> image = BuildShaderPackImage();
    ASSERT_FALSE(image.empty());
    EmbeddedShaderPack embedded = GetEmbeddedShaderPack();
    ASSERT_EQ(embedded.size, image.size())
        << "engine/graphics/shader_pack_data.cpp is stale: build the target shader_pack_source";
    EXPECT_EQ(std::memcmp(embedded.data, image.data(), image.size()), 0);
    // The whole image stays small: the header compresses to almost nothing.
    EXPECT_LT(image.size(), 4096u);

    const std::vector<uint8_t> pack = BuildShaderPack();
    ASSERT_GT(pack.size(), kShaderPackHeaderSize);
    auto sizeAt = [&](size_t flat) { return pack[flat * 2] | pack[flat * 2 + 1] << 8; };
    EXPECT_GT(sizeAt(kDefaultVertexProgram), 0);
    EXPECT_GT(sizeAt(kVertexPrograms + kDefaultPixelProgram), 0);
    EXPECT_EQ(sizeAt(0), 0);
    EXPECT_EQ(pack.back(), 0);  // programs are NUL-terminated text
}

TEST_F(ShaderPackTest, DefaultProgramsCreatedFromEmbeddedPack) {
    StartFreshLog();
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    ASSERT_EQ(g_ShaderState.programmable, 1);
    const char* vertex =
        reinterpret_cast<const char*>(g_ShaderState.vertexPrograms[kDefaultVertexProgram]);
    const char* pixel =
        reinterpret_cast<const char*>(g_ShaderState.pixelPrograms[kDefaultPixelProgram]);
    ASSERT_NE(vertex, nullptr);
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(std::string(vertex).rfind("#version 330 core\n", 0), 0u);
    EXPECT_NE(std::string(vertex).find("gl_Position"), std::string::npos);
    EXPECT_NE(std::string(pixel).find("fragColor"), std::string::npos);
    EXPECT_NE(g_ShaderState.vertexObjects[kDefaultVertexProgram], nullptr);
    EXPECT_NE(g_ShaderState.pixelObjects[kDefaultPixelProgram], nullptr);
    EXPECT_NE(ReadLog().find("プログラマブルシェーダーを使用します"), std::string::npos);

    // A second set-up keeps the loaded pack and makes the default objects again.
    const uint8_t* pack = g_ShaderState.pack;
    Recording().ClearCalls();
    SetupShaders();
    EXPECT_EQ(g_ShaderState.pack, pack);
    EXPECT_EQ(Recording().CallsStartingWith("CreateVertexShader").size(), 1u);
    EXPECT_EQ(Recording().CallsStartingWith("CreatePixelShader").size(), 1u);
}

TEST_F(ShaderPackTest, PixelShader14KeepsShadersOff) {
    StartFreshLog();
    Recording().pixelShaderVersion = V_D3DPS_VERSION(1, 4);
    ASSERT_EQ(SetupGraphicsDevice(), 0);
    EXPECT_EQ(g_ShaderState.programmable, 0);
    EXPECT_EQ(g_ShaderState.pack, nullptr);
    EXPECT_FLOAT_EQ(g_ShaderState.vertexConstants[0][1], 1.0f);
    EXPECT_FLOAT_EQ(g_ShaderState.pixelConstants[0][3], 2.0f);
    EXPECT_NE(ReadLog().find("プログラマブルシェーダーを使用しません"), std::string::npos);
}

}  // namespace
