// Clearing the draw screen on the OpenGL device: the back picture, or a graph target, takes the
// window's background colour.
#include <cstdlib>

#include "core/core_services.h"
#include "core/window.h"
#include "draw/cleared_target.h"
#include "gl_fixture.h"
#include "velk.h"

TEST_F(GlLibraryTest, ClearDrawScreenPaintsTheBackgroundColour) {
    setenv("VELK_DESKTOP_BITS", "32", 1);
    bool device = Start(true);
    unsetenv("VELK_DESKTOP_BITS");
    if (!device) GTEST_SKIP() << "no OpenGL device on this display";
    ProcessMessage();
    g_Window.settings.backgroundSet = 1;
    g_Window.settings.backgroundColor = 0x00302010;  // red 0x10, green 0x20, blue 0x30
    FillBox(0, 0, 640, 480, GetScreenColor(255, 0, 0));
    ASSERT_EQ(ClearDrawScreen(), 0);
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p[0], 0x102030u);
    EXPECT_EQ(p[240 * 640 + 320], 0x102030u);
    EXPECT_EQ(p[479 * 640 + 639], 0x102030u);

    int target = -1;
    ASSERT_NO_FATAL_FAILURE(MakeClearedTarget(&target));
    FillBox(0, 0, 640, 480, 0);
    ASSERT_EQ(DrawGraphAt(100, 100, target, 0), 0);
    p = ReadScreen();
    g_Window.settings.backgroundSet = 0;
    g_Window.settings.backgroundColor = 0;
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p[100 * 640 + 100], 0x102030u);
    EXPECT_EQ(p[115 * 640 + 115], 0x102030u);
    EXPECT_EQ(p[116 * 640 + 116], 0u);
}
