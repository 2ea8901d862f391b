// The camera: the draw target's default camera, the projection from the camera settings, the
// draw area's adjustment and the combined matrices, on the recording device.
#include <cmath>

#include "draw_fixture.h"
#include "graphics/camera.h"
#include "graphics/graphics.h"
#include "graphics/shader.h"

namespace {

class CameraTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        StartGraphics(true);
        SetCreateDrawValidGraphFlag(1);
        target_ = MakeGraph(100, 50);
        SetCreateDrawValidGraphFlag(0);
        ASSERT_GE(target_, 0);
        ASSERT_EQ(SetDrawTarget(target_), 0);
    }
    int target_ = -1;
};

TEST_F(CameraTest, DrawableGraphTargetPlacesTheCamera) {
    const DrawSettings& s = g_DrawSettings;
    EXPECT_EQ(s.drawArea.right, 100);
    EXPECT_EQ(s.drawArea.bottom, 50);
    // Eye at (50, 25, -25 / tan 30 degrees), looking along +z with y up.
    const float distance = 25.0f / 0.57735026f;
    EXPECT_FLOAT_EQ(s.viewMatrix.m[3][0], -50.0f);
    EXPECT_FLOAT_EQ(s.viewMatrix.m[3][1], -25.0f);
    EXPECT_NEAR(s.viewMatrix.m[3][2], distance, 1e-3);
    EXPECT_FLOAT_EQ(s.cameraAxes[2][2], 1.0f);
    EXPECT_FLOAT_EQ(s.cameraAxes[0][0], 1.0f);
    EXPECT_EQ(s.combinedValid, 1);

    // 60 degrees, aspect 50 / 100, near 0.1 d, far d + 20000.
    const float cot = 1.7320508f;
    EXPECT_NEAR(s.projectionMatrix.m[0][0], 0.5f * cot, 1e-5);
    EXPECT_NEAR(s.projectionMatrix.m[1][1], cot, 1e-5);
    EXPECT_NEAR(s.nearZ, 0.1f * distance, 1e-4);
    EXPECT_NEAR(s.farZ, distance + 20000.0f, 1e-2);
    EXPECT_EQ(s.projectionMode, 0);

    // A point on the camera axis ends at the target's centre in screen space.
    const float* m = &s.viewProjectionScreen.m[0][0];
    float x = 50 * m[0] + 25 * m[4] + 10 * m[8] + m[12];
    float w = 50 * m[3] + 25 * m[7] + 10 * m[11] + m[15];
    EXPECT_NEAR(x / w, 50.0f, 1e-3);
}

TEST_F(CameraTest, NearFarFovAndCallersMatrix) {
    ASSERT_TRUE(g_ShaderState.programmable);
    Recording().ClearCalls();
    ASSERT_EQ(SetCameraNearFar(1.0f, 101.0f), 0);
    const V_D3DMATRIX& p = g_DrawSettings.projectionMatrix;
    EXPECT_FLOAT_EQ(p.m[2][2], 1.01f);
    EXPECT_FLOAT_EQ(p.m[3][2], -1.01f);
    EXPECT_FLOAT_EQ(p.m[2][3], 1.0f);
    EXPECT_EQ(Recording().CallsStartingWith("SetTransform(3,").size(), 1u);
    // The shaders see the transposed projection: c2 is its first column.
    EXPECT_NEAR(g_ShaderState.vertexConstants[2][0], p.m[0][0], 1e-5);
    EXPECT_NEAR(g_ShaderState.vertexConstants[4][3], p.m[3][2], 1e-5);

    // Half the width as draw area: the projection sent stretches x twice as far.
    SetDrawArea(0, 0, 50, 50);
    EXPECT_NEAR(g_ShaderState.vertexConstants[2][0], 2.0f * p.m[0][0], 1e-4);
    SetDrawArea(0, 0, 100, 50);
    EXPECT_NEAR(g_ShaderState.vertexConstants[2][0], p.m[0][0], 1e-4);

    ASSERT_EQ(SetCameraFov(1.5707964f), 0);  // 90 degrees: cot 1
    EXPECT_NEAR(g_DrawSettings.projectionMatrix.m[1][1], 1.0f, 1e-5);
    EXPECT_NEAR(g_DrawSettings.projectionMatrix.m[0][0], 0.5f, 1e-5);

    V_D3DMATRIX mine = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 1, 1}, {0, 0, -1, 0}}};
    ASSERT_EQ(SetUserProjectionMatrix(&mine), 0);
    EXPECT_EQ(g_DrawSettings.projectionMode, 2);
    EXPECT_FLOAT_EQ(g_DrawSettings.projectionMatrix.m[1][1], 3.0f);
    // Near equal to far keeps the projection instead of dividing by zero.
    SetCameraFov(1.0f);
    const float before = g_DrawSettings.projectionMatrix.m[0][0];
    SetCameraNearFar(5.0f, 5.0f);
    EXPECT_FLOAT_EQ(g_DrawSettings.projectionMatrix.m[0][0], before);
}

TEST_F(CameraTest, MatrixSettersInvalidateAndRebuildTheProducts) {
    V_D3DMATRIX world = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {7, 8, 9, 1}}};
    Recording().ClearCalls();
    ASSERT_EQ(SetWorldMatrix(&world), 0);
    EXPECT_EQ(Recording().CallsStartingWith("SetTransform(256,").size(), 1u);
    const V_D3DMATRIX& all = g_DrawSettings.worldViewProjectionScreen;
    const V_D3DMATRIX& rest = g_DrawSettings.viewProjectionScreen;
    // The world's translation row moves the origin to (7, 8, 9) before the rest.
    EXPECT_NEAR(all.m[3][0], 7 * rest.m[0][0] + 8 * rest.m[1][0] + 9 * rest.m[2][0] + rest.m[3][0],
                1e-2);
    // Back to the screen: the target's size decides the camera again.
    ASSERT_EQ(SetDrawTarget(-4), 0);
    EXPECT_FLOAT_EQ(g_DrawSettings.viewMatrix.m[3][0], -320.0f);
    EXPECT_FLOAT_EQ(g_DrawSettings.worldMatrix.m[3][0], 0.0f);
}

}  // namespace
