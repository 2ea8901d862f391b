// A device re-creation while the software screen runs (a full-screen focus loss and return does
// one) keeps every handle and the draw target, and the graphs keep their pixels.
#include "draw/mask.h"
#include "draw_fixture.h"
#include "graphics/graphics_services.h"

TEST_F(DrawTest, SoftwareRecreationKeepsHandlesAndTheDrawTarget) {
    StartGraphics(false);
    WriteBmp("keep.bmp", 8, 8, [](int, int) { return Rgb{0, 0, 255}; });
    int loaded = LoadGraphHandle("keep.bmp", 0);
    SetCreateDrawValidGraphFlag(1);
    int target = MakeGraph(32, 16);
    SetCreateDrawValidGraphFlag(0);
    int font = CreateFontToHandle(nullptr, 20, 3, 0, -1, -1, 0, -1, -1);
    int light = CreateLight();
    int mask = MakeMask(8, 8);
    ASSERT_GE(loaded, 0);
    ASSERT_GE(target, 0);
    ASSERT_GE(font, 0);
    ASSERT_GE(light, 0);
    ASSERT_GE(mask, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(FillBox(0, 0, 32, 16, GetScreenColor(255, 0, 0)), 0);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(RecreateDeviceSameMode(), 0);
        EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
        EXPECT_EQ(GetDrawTarget(), target);
        int width = 0, height = 0;
        EXPECT_EQ(GetGraphSize(loaded, &width, &height), 0);
        EXPECT_EQ(width, 8);
        EXPECT_EQ(GetGraphSize(target, &width, &height), 0);
        EXPECT_EQ(width, 32);
        EXPECT_EQ(height, 16);
        EXPECT_EQ(GetFontSize(font), 20);
        EXPECT_NE(GetMaskRecord(mask), nullptr);
        if (HasFailure()) return;
    }
    // The target's pixels and the loaded graph's pixels are still there.
    ASSERT_EQ(SetDrawTarget(-4), 0);
    ClearScreen();
    ASSERT_EQ(DrawGraphAt(0, 0, target, 0), 0);
    ASSERT_EQ(DrawGraphAt(40, 0, loaded, 0), 0);
    EXPECT_EQ(ScreenPixel(31, 15), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(47, 7), 0x0000FFu);
    EXPECT_EQ(DeleteLight(light), 0);
    EXPECT_EQ(DeleteMask(mask), 0);
    EXPECT_EQ(ReleaseFont(font), 0);
}
