// Software graphs and the screen as they start, the draw area of a graph target, and the
// software graph fill under the draw settings.
#include "core/window.h"
#include "draw_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF;

uint16_t RawScreenPixel(int x, int y) {
    const MEMIMG& p = g_ScreenImages.primary;
    return *reinterpret_cast<const uint16_t*>(p.pixels + y * p.base->pitch + x * 2);
}

}  // namespace

TEST_F(DrawTest, GraphTargetBoundsTheDrawArea) {
    StartGraphics(false);
    SetCreateDrawValidGraphFlag(1);
    int target = MakeGraph(100, 50);
    SetCreateDrawValidGraphFlag(0);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(SetDrawArea(0, 0, 640, 480), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.left, 0);
    EXPECT_EQ(g_DrawSettings.drawArea.top, 0);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 50);
    ASSERT_EQ(SetDrawArea(120, 70, -5, 20), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.left, 0);
    EXPECT_EQ(g_DrawSettings.drawArea.top, 20);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 50);
    // A target handle that names no graph any more is refused.
    int stale = target;
    ASSERT_EQ(SetDrawTarget(-4), 0);
    ASSERT_EQ(DeleteGraph(target), 0);
    g_DrawSettings.drawTarget = stale;
    EXPECT_EQ(SetDrawArea(0, 0, 10, 10), -1);
    g_DrawSettings.drawTarget = -4;
}

TEST_F(DrawTest, NewSoftwareGraphsAreBlackAndTheScreenStartsInTheBackgroundColour) {
    g_Window.settings.backgroundSet = 1;
    g_Window.settings.backgroundColor = 0x00302010;  // blue 0x30, green 0x20, red 0x10
    StartGraphics(false);
    g_Window.settings.backgroundSet = 0;
    g_Window.settings.backgroundColor = 0;
    uint16_t background = static_cast<uint16_t>(GetScreenColor(0x10, 0x20, 0x30));
    EXPECT_EQ(RawScreenPixel(0, 0), background);
    EXPECT_EQ(RawScreenPixel(639, 479), background);
    EXPECT_EQ(RawScreenPixel(320, 240), background);

    // A graph filled and deleted leaves nothing behind in the next one of its size.
    SetCreateDrawValidGraphFlag(1);
    int first = MakeGraph(16, 16);
    ASSERT_GE(first, 0);
    ASSERT_EQ(SetDrawTarget(first), 0);
    ASSERT_EQ(FillBox(0, 0, 16, 16, GetScreenColor(255, 255, 255)), 0);
    ASSERT_EQ(SetDrawTarget(-4), 0);
    ASSERT_EQ(DeleteGraph(first), 0);
    for (int drawable : {1, 0}) {
        SetCreateDrawValidGraphFlag(drawable);
        int fresh = MakeGraph(16, 16);
        ASSERT_GE(fresh, 0);
        ClearScreen();
        FillBox(0, 0, 40, 40, GetScreenColor(0, 0, 255));
        ASSERT_EQ(DrawGraphAt(4, 4, fresh, 0), 0);
        int nonBlack = 0;
        for (int y = 4; y < 20; ++y)
            for (int x = 4; x < 20; ++x) nonBlack += ScreenPixel(x, y) != 0;
        EXPECT_EQ(nonBlack, 0) << "drawable " << drawable;
        EXPECT_EQ(ScreenPixel(20, 20), kBlue);
        ASSERT_EQ(DeleteGraph(fresh), 0);
    }
    SetCreateDrawValidGraphFlag(0);
}

TEST_F(DrawTest, SoftwareGraphFillFollowsAreaBlendModeAndBrightColour) {
    StartGraphics(false);
    int graph = MakeGraph(16, 16);
    ASSERT_GE(graph, 0);
    auto show = [&] {
        ClearScreen();
        ASSERT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
    };
    ASSERT_EQ(FillGraphColor(graph, 0, 0, 255, 255), 0);
    show();
    EXPECT_EQ(ScreenPixel(0, 0), kBlue);
    EXPECT_EQ(ScreenPixel(15, 15), kBlue);

    // Only the part inside the draw area is filled.
    ASSERT_EQ(SetDrawArea(0, 0, 8, 480), 0);
    ASSERT_EQ(FillGraphColor(graph, 255, 0, 0, 255), 0);
    ASSERT_EQ(SetDrawArea(0, 0, 640, 480), 0);
    show();
    EXPECT_EQ(ScreenPixel(7, 3), kRed);
    EXPECT_EQ(ScreenPixel(8, 3), kBlue);
    EXPECT_EQ(ScreenPixel(15, 15), kBlue);

    // Added in blend mode 2.
    ASSERT_EQ(SetBlendMode(2, 255), 0);
    ASSERT_EQ(FillGraphColor(graph, 0, 255, 0, 255), 0);
    ASSERT_EQ(SetBlendMode(0, 0), 0);
    show();
    EXPECT_EQ(ScreenPixel(0, 0), kYellow);
    EXPECT_EQ(ScreenPixel(15, 15), kCyan);

    // Tinted by the bright colour once per fill, each field times its bright byte over 256:
    // a bright byte of 255 in a bright colour that is not white still takes red and blue
    // of white from 31 to 30.
    ASSERT_EQ(SetDrawBrightness(255, 0, 255), 0);
    ASSERT_EQ(FillGraphColor(graph, 255, 255, 255, 255), 0);
    ASSERT_EQ(SetDrawBrightness(255, 255, 255), 0);
    show();
    constexpr uint16_t kDarkMagenta = (30 << 11) | 30;
    EXPECT_EQ(RawScreenPixel(0, 0), kDarkMagenta);
    EXPECT_EQ(RawScreenPixel(15, 15), kDarkMagenta);

    // A graph loaded with alpha takes the colour and the alpha.
    WriteBmp("fill.bmp", 4, 4, [](int, int) { return Rgb{0, 0, 0}; });
    WriteBmp("fill_a.bmp", 4, 4, [](int x, int) { return x < 2 ? Rgb{0, 0, 0} : Rgb{255, 0, 0}; });
    const int alphaGraph = LoadGraphHandle("fill.bmp", 0);
    ASSERT_EQ(FillGraphColor(alphaGraph, 255, 0, 0, 255), 0);
    ClearScreen();
    ASSERT_EQ(DrawGraphAt(0, 0, alphaGraph, 1), 0);
    EXPECT_EQ(ScreenPixel(0, 0), kRed);
    EXPECT_EQ(ScreenPixel(3, 3), kRed);
    // ... alpha 0 included: drawn with its alpha, it leaves the screen as it was.
    ASSERT_EQ(FillGraphColor(alphaGraph, 0, 0, 255, 0), 0);
    ASSERT_EQ(DrawGraphAt(0, 0, alphaGraph, 1), 0);
    EXPECT_EQ(ScreenPixel(3, 3), kRed);
}
