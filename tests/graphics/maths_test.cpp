// Matrix and vector maths and the rectangle clip.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "graphics/device.h"
#include "graphics/graphics.h"

namespace {

TEST(ClipRect, EdgeCases) {
    const V_RECT clip = {0, 0, 40, 30};
    V_RECT a = {-10, -10, 50, 50}, b = {100, 5, 120, 10}, c = {30, 20, 10, 5};
    ClipRect(&a, &clip);
    ClipRect(&b, &clip);
    ClipRect(&c, &clip);
    EXPECT_EQ((std::array{a.left, a.top, a.right, a.bottom}), (std::array{0, 0, 40, 30}));
    EXPECT_EQ((std::array{b.left, b.top, b.right, b.bottom}), (std::array{40, 5, 40, 10}));
    EXPECT_EQ((std::array{c.left, c.top, c.right, c.bottom}), (std::array{30, 20, 30, 20}));
}

TEST(Matrix, ProductsInversesAndProjections) {
    Matrix4 a, b, saved;
    SetIdentityMatrix(&a);
    a.m[3][0] = 10;
    a.m[3][1] = 20;
    a.m[3][2] = 30;
    Vector3 point = {1, 2, 3}, moved;
    TransformPoint(&moved, &point, &a);
    EXPECT_EQ(moved.x, 11.0f);
    EXPECT_EQ(moved.y, 22.0f);
    EXPECT_EQ(moved.z, 33.0f);
    // Multiplying into an operand.
    SetIdentityMatrix(&b);
    b.m[0][0] = 2;
    Matrix4 expected;
    MultiplyMatrix(&expected, &a, &b);
    MultiplyMatrix(&a, &a, &b);
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0);
    // Inverse of a translation; a near-singular matrix is refused untouched.
    Matrix4 inverse;
    ASSERT_EQ(InvertMatrix(&inverse, &a), 0);
    Vector3 there, back;
    TransformPoint(&there, &point, &a);
    TransformPoint(&back, &there, &inverse);
    EXPECT_NEAR(back.x, point.x, 1e-5);
    EXPECT_NEAR(back.y, point.y, 1e-5);
    EXPECT_NEAR(back.z, point.z, 1e-5);
    Matrix4 tiny = {};
    tiny.m[0][0] = 5e-8f;
    tiny.m[1][1] = tiny.m[2][2] = tiny.m[3][3] = 1;
    saved = inverse;
    EXPECT_EQ(InvertMatrix(&inverse, &tiny), -1);
    EXPECT_EQ(std::memcmp(&inverse, &saved, sizeof saved), 0);
    // Perspective: near = far refused; a negative aspect takes the screen's height / width.
    EXPECT_EQ(MakePerspectiveMatrix(&inverse, 1.0f, 5.0f, 5.0f, 1.0f), -1);
    EXPECT_EQ(std::memcmp(&inverse, &saved, sizeof saved), 0);
    ASSERT_EQ(MakePerspectiveMatrix(&a, 1.0f, 1.0f, 100.0f, -1.0f), 0);
    float cotangent = std::cos(0.5f) / std::sin(0.5f);
    EXPECT_NEAR(a.m[0][0], 0.75f * cotangent, 1e-5);
    EXPECT_EQ(a.m[2][3], 1.0f);
    const ScreenSettings kept = g_ScreenSettings;
    g_ScreenSettings.width = 800;
    g_ScreenSettings.height = 200;
    ASSERT_EQ(MakePerspectiveMatrix(&a, 1.0f, 1.0f, 100.0f, -1.0f), 0);
    EXPECT_NEAR(a.m[0][0], 0.25f * cotangent, 1e-5);
    Matrix4 ortho;
    ASSERT_EQ(MakeOrthoMatrix(&ortho, 100.0f, 0.0f, 10.0f, -1.0f), 0);
    EXPECT_FLOAT_EQ(ortho.m[0][0], 2.0f / 400.0f);
    EXPECT_FLOAT_EQ(ortho.m[1][1], 2.0f / 100.0f);
    g_ScreenSettings = kept;
    // Transpose reads all before writing.
    Matrix4 t = {{{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}}};
    TransposeMatrix(&t, &t);
    EXPECT_EQ(t.m[0][1], 4.0f);
    EXPECT_EQ(t.m[3][2], 11.0f);
}

TEST(Matrix, LookAtAndViewport) {
    Vector3 eye = {0, 0, -10}, target = {0, 0, 0}, up = {0, 1, 0};
    Matrix4 view;
    MakeLookAtMatrix(&view, &eye, &target, &up);
    Vector3 out;
    TransformPoint(&out, &target, &view);
    EXPECT_NEAR(out.z, 10.0f, 1e-5);
    EXPECT_NEAR(out.x, 0.0f, 1e-5);
    Matrix4 port;
    MakeViewportMatrix(&port, 320, 240, 640, 480);
    EXPECT_EQ(port.m[0][0], 320.0f);
    EXPECT_EQ(port.m[1][1], -240.0f);
    Vector3 unit;
    MakeUnitVector(&unit, 3, 0, 4);
    EXPECT_NEAR(unit.x, 0.6f, 1e-6);
    EXPECT_NEAR(DotVector(&unit, &unit), 1.0f, 1e-6);
}

} // namespace
