// Projections with the screen's own aspect: a negative aspect stands for the screen's height over
// its width, at a screen size other than 640 x 480.
#include <cmath>
#include <cstring>

#include "draw_fixture.h"

TEST_F(DrawTest, NegativeAspectTakesTheScreensHeightOverWidth) {
    g_ScreenSettings.width = 800;
    g_ScreenSettings.height = 400;
    StartGraphics(false);
    int w = 0, h = 0;
    GetScreenSize(&w, &h);
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 400);

    Matrix4 given, screen;
    ASSERT_EQ(MakePerspectiveMatrix(&given, 1.0f, 1.0f, 100.0f, 0.5f), 0);
    ASSERT_EQ(MakePerspectiveMatrix(&screen, 1.0f, 1.0f, 100.0f, -1.0f), 0);
    EXPECT_EQ(screen.m[0][0], given.m[0][0]);
    EXPECT_EQ(std::memcmp(&screen, &given, sizeof given), 0);

    ASSERT_EQ(MakeOrthoMatrix(&given, 100.0f, 1.0f, 100.0f, 0.5f), 0);
    EXPECT_EQ(given.m[0][0], 0.01f);  // width 100 / 0.5
    ASSERT_EQ(MakeOrthoMatrix(&screen, 100.0f, 1.0f, 100.0f, -2.0f), 0);
    EXPECT_EQ(std::memcmp(&screen, &given, sizeof given), 0);
    ASSERT_EQ(MakeOrthoMatrix(&screen, 100.0f, 1.0f, 100.0f, std::nanf("")), 0);
    EXPECT_EQ(std::memcmp(&screen, &given, sizeof given), 0);
}
