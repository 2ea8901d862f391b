// Draw calls at the ends of their ranges: float coordinates far outside the integer range or not
// numbers, boxes and lines reaching INT_MIN and INT_MAX, and the largest default font size. They
// draw what fits and keep to defined arithmetic (the sanitizer build aborts on any overflow).
#include <climits>
#include <cmath>

#include "draw/draw.h"
#include "draw_fixture.h"
#include "graphics/graphics_services.h"

namespace {

constexpr uint32_t kGreen = 0x00FF00;

class ExtremeDrawTest : public DrawTest {
protected:
    static void ZeroOrFail(int result) { EXPECT_TRUE(result == 0 || result == -1) << result; }
    void DrawAtFloatExtremes() {
        WriteBmp("extreme.bmp", 16, 8, [](int, int) { return Rgb{255, 0, 0}; });
        int sprite = LoadGraphHandle("extreme.bmp", 0);
        ASSERT_GE(sprite, 0);
        for (float v : {1e12f, -1e12f, std::nanf("")}) {
            SCOPED_TRACE(v);
            ZeroOrFail(DrawGraphStretchedF(0, 0, v, v, sprite, 0));
            ZeroOrFail(DrawGraphStretchedF(v, v, 10, 10, sprite, 0));
            ZeroOrFail(DrawGraphRotatedF(v, v, 1.0, 0.0, sprite, 0, 0));
            ZeroOrFail(DrawGraphRotatedF(10, 10, static_cast<double>(v), 1.0, sprite, 0, 0));
            ZeroOrFail(DrawGraphQuad(v, v, 10, 0, 10, 10, 0, v, sprite, 0));
            ZeroOrFail(DrawGraphPartStretchedF(0, 0, v, v, 0, 0, 8, 8, sprite, 0));
        }
    }
    void DrawAtIntegerExtremes() {
        uint32_t green = GetScreenColor(0, 255, 0);
        EXPECT_EQ(FillBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, green), 0);
        EXPECT_EQ(FillBox(INT_MAX, INT_MAX, INT_MIN, INT_MIN, green), 0);
        EXPECT_EQ(FrameBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, green), 0);
        EXPECT_EQ(DrawBoxShape(INT_MAX - 1, 0, INT_MAX, 10, green, 0), 0);
        ZeroOrFail(DrawLineShape(0, 0, INT_MAX, INT_MAX, green, 1));
        ZeroOrFail(DrawLineShape(INT_MAX, 5, INT_MIN, 5, green, 1));
        ZeroOrFail(DrawLineShape(INT_MIN, 0, INT_MAX, 0, green, 3));
        ZeroOrFail(DrawLineShape(0, INT_MIN, 0, INT_MAX, green, 3));
        EXPECT_EQ(FillBox(0, 0, INT_MAX, INT_MAX, green), 0);
    }
};

}  // namespace

TEST_F(ExtremeDrawTest, FloatCoordinatesOnTheSoftwareScreen) {
    StartGraphics(false);
    DrawAtFloatExtremes();
}

TEST_F(ExtremeDrawTest, FloatCoordinatesOnTheDevice) {
    StartGraphics(true);
    DrawAtFloatExtremes();
    FlushVertexBatch();
}

TEST_F(ExtremeDrawTest, BoxesAndLinesOnTheSoftwareScreen) {
    StartGraphics(false);
    ClearScreen();
    DrawAtIntegerExtremes();
    // The last box, to INT_MAX, covers the draw area: the whole screen.
    EXPECT_EQ(ScreenPixel(0, 0), kGreen);
    EXPECT_EQ(ScreenPixel(639, 479), kGreen);
}

TEST_F(ExtremeDrawTest, BoxesAndLinesOnTheDevice) {
    StartGraphics(true);
    DrawAtIntegerExtremes();
    FlushVertexBatch();
}

// The system's own fonts at the largest size, in glyph textures and in the memory cache.
TEST_F(ExtremeDrawTest, LargestDefaultFontSize) {
    for (bool device : {true, false}) {
        SCOPED_TRACE(device);
        StartGraphics(device);
        SetDefaultFontSize(0x7FFFFFFF);
        EXPECT_EQ(DrawStringDefault(10, 10, "ab", GetScreenColor(255, 255, 255), 0), 0);
        EXPECT_EQ(SetDefaultFontSize(16), 0);
        EXPECT_GE(GetDefaultFontHandle(), 0);
        EXPECT_EQ(DrawStringDefault(10, 10, "ab", GetScreenColor(255, 255, 255), 0), 0);
        EndGraphics();
        ResetGraphicsState();
    }
}
