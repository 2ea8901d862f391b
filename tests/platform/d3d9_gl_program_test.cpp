// Program keys and the program cache of the OpenGL Direct3D device (no GL needed).
#include <gtest/gtest.h>

#include "platform/d3d9/d3d9_gl_program.h"

namespace {

constexpr V_DWORD kSprite = V_D3DFVF_XYZRHW | V_D3DFVF_DIFFUSE | V_D3DFVF_TEX1;

GlFixedState SpriteState() {
    GlFixedState state = DefaultGlFixedState();
    state.colorOp[0] = V_D3DTOP_MODULATE;
    state.colorArg1[0] = V_D3DTA_TEXTURE;
    state.colorArg2[0] = V_D3DTA_DIFFUSE;
    state.alphaOp[0] = V_D3DTOP_SELECTARG1;
    state.alphaArg1[0] = V_D3DTA_TEXTURE;
    state.textureBound[0] = true;
    state.shadeMode = V_D3DSHADE_FLAT;
    return state;
}

TEST(GlProgramKey, KeepsWhatChangesTheProgramOnly) {
    GlFixedState state = SpriteState();
    GlProgramKey key = MakeGlProgramKey(state, kSprite);
    EXPECT_EQ(key.stageCount, 1);
    EXPECT_EQ(key.pretransformed, 1);
    EXPECT_EQ(key.texCoordSets, 1);
    EXPECT_EQ(key.flat, 1);
    EXPECT_EQ(key.stages[0].sampled, 1);

    // States behind the first disabled stage, and the alpha reference, leave the key alone.
    GlFixedState other = state;
    other.colorArg1[2] = V_D3DTA_TFACTOR;
    other.textureBound[3] = true;
    other.alphaFunc = V_D3DCMP_GREATER;  // alpha test is off
    EXPECT_TRUE(MakeGlProgramKey(other, kSprite) == key);

    // A texture bound to a stage that does not read it is not sampled.
    other = state;
    other.colorOp[0] = V_D3DTOP_SELECTARG2;
    other.alphaOp[0] = V_D3DTOP_SELECTARG2;
    EXPECT_EQ(MakeGlProgramKey(other, kSprite).stages[0].sampled, 0);

    // Each of these does change it.
    other = state;
    other.alphaTestEnable = 1;
    other.alphaFunc = V_D3DCMP_GREATER;
    EXPECT_FALSE(MakeGlProgramKey(other, kSprite) == key);
    other = state;
    other.colorArg1[0] = V_D3DTA_TEXTURE | V_D3DTA_COMPLEMENT;
    EXPECT_FALSE(MakeGlProgramKey(other, kSprite) == key);
    other = state;
    other.shadeMode = V_D3DSHADE_GOURAUD;
    EXPECT_FALSE(MakeGlProgramKey(other, kSprite) == key);
    EXPECT_FALSE(MakeGlProgramKey(state, V_D3DFVF_XYZ | V_D3DFVF_DIFFUSE | V_D3DFVF_TEX1) == key);

    // A stage reading texture coordinates the vertices do not have reads none.
    other = state;
    other.texCoordIndex[0] = 1;
    EXPECT_EQ(MakeGlProgramKey(other, kSprite).stages[0].texCoord, 0xFF);
}

TEST(GlProgramKey, GeneratedTextFollowsTheStages) {
    GlFixedState state = SpriteState();
    state.colorOp[1] = V_D3DTOP_BLENDCURRENTALPHA;
    state.colorArg1[1] = V_D3DTA_CURRENT;
    state.colorArg2[1] = V_D3DTA_TFACTOR;
    state.alphaOp[1] = V_D3DTOP_SELECTARG1;
    state.alphaArg1[1] = V_D3DTA_CURRENT;
    state.colorArg1[0] = V_D3DTA_TEXTURE | V_D3DTA_COMPLEMENT;
    state.alphaTestEnable = 1;
    state.alphaFunc = V_D3DCMP_GREATEREQUAL;
    GlProgramKey key = MakeGlProgramKey(state, kSprite);
    std::string fragment = GenerateGlFragmentShader(key);
    EXPECT_NE(fragment.find("(1.0 - texel.rgb) * diffuse.rgb"), std::string::npos) << fragment;
    EXPECT_NE(fragment.find("mix(uFactor.rgb, current.rgb, current.a)"), std::string::npos);
    EXPECT_NE(fragment.find("alpha >= uAlphaRef"), std::string::npos);
    EXPECT_NE(fragment.find("flat in vec4 vDiffuse"), std::string::npos);
    EXPECT_EQ(fragment.find("uTex1"), std::string::npos);  // stage 1 reads no texture
    std::string vertex = GenerateGlVertexShader(key);
    EXPECT_NE(vertex.find("1.0 / aPosition.w"), std::string::npos);
    EXPECT_NE(vertex.find("flat out vec4 vDiffuse"), std::string::npos);
}

TEST(GlProgramCache, BuildsEachKeyOnceAndReleasesAll) {
    int builds = 0;
    GlProgramCache cache([&builds](const GlProgramKey&) { return static_cast<unsigned>(++builds); });
    GlFixedState state = SpriteState();
    GlProgramKey a = MakeGlProgramKey(state, kSprite);
    state.specularEnable = 1;
    GlProgramKey b = MakeGlProgramKey(state, kSprite);
    EXPECT_EQ(cache.Get(a), 1u);
    EXPECT_EQ(cache.Get(b), 2u);
    EXPECT_EQ(cache.Get(a), 1u);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(cache.Size(), 2u);

    // A failed build (0) is remembered too, and not released.
    GlProgramCache failing([&builds](const GlProgramKey&) { ++builds; return 0u; });
    EXPECT_EQ(failing.Get(a), 0u);
    EXPECT_EQ(failing.Get(a), 0u);
    EXPECT_EQ(builds, 3);
    int released = 0;
    failing.Clear([&released](unsigned) { ++released; });
    cache.Clear([&released](unsigned) { ++released; });
    EXPECT_EQ(released, 2);
    EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
