// Coordinates at the ends of their ranges: non-finite floats are refused, far floats and
// corners at the int limits draw what lies inside the draw area, on both paths.
#include <climits>
#include <cmath>
#include <limits>

#include "draw/font_fixture.h"
#include "graphics/graphics_services.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

TEST_F(DrawTest, NonFiniteFloatDrawsAreRefusedAndFarOnesDraw) {
    for (bool device : {false, true}) {
        StartGraphics(device);
        int graph = MakeGraph(16, 16);
        ASSERT_GE(graph, 0);
        EXPECT_EQ(DrawGraphStretchedF(kNaN, 0, 10, 10, graph, 0), -1) << device;
        EXPECT_EQ(DrawGraphStretchedF(0, 0, kInf, 10, graph, 0), -1) << device;
        EXPECT_EQ(DrawGraphRotatedF(kNaN, 10, 1.0, 0.0, graph, 0, 0), -1) << device;
        EXPECT_EQ(DrawGraphRotatedF(10, 10, std::nan(""), 0.0, graph, 0, 0), -1) << device;
        EXPECT_EQ(DrawGraphRotatedF(10, 10, 1.0, INFINITY, graph, 0, 0), -1) << device;
        EXPECT_EQ(DrawGraphQuad(0, 0, 10, 0, 10, kNaN, 0, 10, graph, 0), -1) << device;
        EXPECT_EQ(DrawGraphPartStretchedF(kNaN, 0, 10, 10, 0, 0, 8, 8, graph, 0), 0) << device;
        EXPECT_EQ(DrawGraphStretchedF(-1e12f, -1e12f, 1e12f, 1e12f, graph, 0), 0) << device;
        EXPECT_EQ(DrawGraphRotatedF(1e12f, -1e12f, 1e6, 0.5, graph, 0, 0), 0) << device;
        EXPECT_EQ(DrawGraphQuad(-1e12f, -1e12f, 1e12f, -1e12f, 1e12f, 1e12f, -1e12f, 1e12f,
                                graph, 0),
                  0)
            << device;
        EXPECT_EQ(DrawGraphAt(INT_MAX, INT_MAX, graph, 0), 0) << device;
        FlushVertexBatch();
        EndGraphics();
        g_ScreenSettings.softwareForced = 0;
    }
}

TEST_F(DrawTest, BoxesAndLinesWithCornersAtTheIntLimits) {
    StartGraphics(false);
    ClearScreen();
    const uint32_t red = GetScreenColor(255, 0, 0);
    // A frame far wider than the screen: its top and bottom rows cross the whole area.
    ASSERT_EQ(FrameBox(INT_MIN, 10, INT_MAX, 20, red), 0);
    for (int x : {0, 320, 639}) {
        EXPECT_EQ(ScreenPixel(x, 10), 0xFF0000u) << x;
        EXPECT_EQ(ScreenPixel(x, 19), 0xFF0000u) << x;
        EXPECT_EQ(ScreenPixel(x, 15), 0u) << x;
    }
    ClearScreen();
    ASSERT_EQ(FrameBox(INT_MAX, INT_MAX, INT_MIN, INT_MIN, red), 0);
    ASSERT_EQ(FrameBox(INT_MAX, INT_MAX, INT_MAX, INT_MAX, red), 0);
    ASSERT_EQ(FillBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, red), 0);
    EXPECT_EQ(ScreenPixel(0, 0), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(639, 479), 0xFF0000u);
    EXPECT_EQ(DrawLineShape(0, INT_MAX, 10, INT_MAX, red, 1), 0);
    EXPECT_EQ(DrawLineShape(INT_MIN, 5, INT_MAX, 5, red, 3), 0);
    EndGraphics();
    g_ScreenSettings.softwareForced = 0;

    StartGraphics(true);
    ASSERT_EQ(FrameBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, red), 0);
    const auto* v = reinterpret_cast<const Vertex2D*>(g_VertexBatch.arrays[0]);
    EXPECT_FLOAT_EQ(v[0].x, static_cast<float>(INT_MIN));
    EXPECT_FLOAT_EQ(v[3].y, static_cast<float>(INT_MIN) + 1.0f);
    EXPECT_EQ(DrawLineShape(INT_MIN, 5, INT_MAX, 5, red, 3), 0);
    EXPECT_EQ(DrawLineShape(0, INT_MAX, 10, INT_MAX, red, 1), 0);
}

TEST_F(FontTest, FontSizesAtTheIntLimitsTakeThePlatformsLargestGlyphs) {
    StartGraphics(false);
    // Sizes beyond what the platform renders are made at its largest glyph height.
    for (int size : {INT_MAX, INT_MIN}) {
        int font = CreateFontToHandle(nullptr, size, 6, 0, -1, -1, 0, -1, -1);
        ASSERT_GE(font, 0) << size;
        EXPECT_EQ(ReleaseFont(font), 0);
    }
    // An edge whose glyph cell no cache can hold is refused.
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 1, -1, INT_MAX, 0, -1, -1), -1);
    EXPECT_GE(CreateFontToHandle(nullptr, 16, INT_MAX, 0, -1, -1, 0, -1, -1), 0);
    EXPECT_EQ(SetDefaultFontSize(0x7FFFFFFF), 0);
    EXPECT_GE(GetDefaultFontHandle(), 0);
    EXPECT_EQ(DrawStringDefault(0, 0, "AB", 0xFFFF, 0), 0);
    EXPECT_EQ(SetDefaultFontSize(20), 0);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 20);
    EXPECT_EQ(DrawStringDefault(0, 0, "AB", 0xFFFF, 0), 0);
}

}  // namespace
