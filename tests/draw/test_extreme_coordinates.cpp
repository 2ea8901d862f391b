// Draw calls at the ends of their ranges: float coordinates far outside the integer range or not
// numbers, boxes and lines reaching INT_MIN and INT_MAX, and the largest default font size. They
// draw what fits and keep to defined arithmetic (the sanitizer build aborts on any overflow).
#include <climits>
#include <cmath>

#include "font_fixture.h"

namespace {

constexpr uint32_t kGreen = 0x00FF00;

class ExtremeDrawTest : public DrawTest {
protected:
    void DrawEverything() {
        WriteBmp("extreme.bmp", 16, 8, [](int, int) { return Rgb{255, 0, 0}; });
        int sprite = LoadGraphHandle("extreme.bmp", 0);
        ASSERT_GE(sprite, 0);
        const float big = 1e12f, nan = std::nanf("");
        auto zeroOrFail = [](int result) { EXPECT_TRUE(result == 0 || result == -1) << result; };
        for (float v : {big, -big, nan}) {
            SCOPED_TRACE(v);
            zeroOrFail(DrawGraphStretchedF(0, 0, v, v, sprite, 0));
            zeroOrFail(DrawGraphStretchedF(v, v, 10, 10, sprite, 0));
            zeroOrFail(DrawGraphRotatedF(v, v, 1.0, 0.0, sprite, 0, 0));
            zeroOrFail(DrawGraphRotatedF(10, 10, static_cast<double>(v), 1.0, sprite, 0, 0));
            zeroOrFail(DrawGraphQuad(v, v, 10, 0, 10, 10, 0, v, sprite, 0));
            zeroOrFail(DrawGraphPartStretchedF(0, 0, v, v, 0, 0, 8, 8, sprite, 0));
        }
        uint32_t green = GetScreenColor(0, 255, 0);
        EXPECT_EQ(FillBox(0, 0, INT_MAX, INT_MAX, green), 0);
        EXPECT_EQ(FillBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, green), 0);
        EXPECT_EQ(FillBox(INT_MAX, INT_MAX, INT_MIN, INT_MIN, green), 0);
        EXPECT_EQ(FrameBox(INT_MIN, INT_MIN, INT_MAX, INT_MAX, green), 0);
        EXPECT_EQ(DrawBoxShape(INT_MAX - 1, 0, INT_MAX, 10, green, 0), 0);
        zeroOrFail(DrawLineShape(0, 0, INT_MAX, INT_MAX, green, 1));
        zeroOrFail(DrawLineShape(INT_MAX, 5, INT_MIN, 5, green, 1));
        zeroOrFail(DrawLineShape(INT_MIN, 0, INT_MAX, 0, green, 3));
        zeroOrFail(DrawLineShape(0, INT_MIN, 0, INT_MAX, green, 3));
    }
};

}  // namespace

TEST_F(ExtremeDrawTest, SoftwareScreen) {
    StartGraphics(false);
    ClearScreen();
    DrawEverything();
    // The boxes to INT_MAX cover the draw area, the whole screen.
    FillBox(0, 0, INT_MAX, INT_MAX, GetScreenColor(0, 255, 0));
    EXPECT_EQ(ScreenPixel(0, 0), kGreen);
    EXPECT_EQ(ScreenPixel(639, 479), kGreen);
}

TEST_F(ExtremeDrawTest, RecordingDevice) {
    StartGraphics(true);
    DrawEverything();
    FlushVertexBatch();
}

TEST_F(FontTest, LargestDefaultFontSize) {
    StartGraphics(false);
    SetDefaultFontSize(0x7FFFFFFF);
    EXPECT_EQ(SetDefaultFontSize(16), 0);
    EXPECT_GE(GetDefaultFontHandle(), 0);
    EXPECT_EQ(DrawStringDefault(10, 10, "ab", GetScreenColor(255, 255, 255), 0), 0);
}
