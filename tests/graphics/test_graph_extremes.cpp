// Graph calls at the edges of their ranges: a sub-graph asked far past its source is clipped,
// divided loading of no cells, the doubled 320 x 240 screen as the program sees it, and sizes
// whose products pass 31 bits (the sanitizer build reports any signed overflow there).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "core/test_window_support.h"
#include "draw/draw.h"
#include "graphics/graphics.h"
#include "support/child_call.h"
#include "support/small_bmp.h"

namespace {

class RunningGraphics : public ::testing::Test {
protected:
    void SetUp() override {
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
    }
    void TearDown() override { EndLibraryLocked(); }
    ScratchFolder folder_;
};

TEST_F(RunningGraphics, SubGraphsAreClippedToTheirSourceWhateverTheAskedSize) {
    int source = MakeGraph(16, 16);
    ASSERT_NE(source, -1);
    struct Case {
        int x, y, width, height, expectedWidth, expectedHeight;
    } cases[] = {
        {2, 2, 5, 6, 5, 6},
        {2, 2, 20, 20, 14, 14},
        {2, 2, INT_MAX, INT_MAX, 14, 14},
        {15, 0, INT_MAX, 1, 1, 1},
        {0, 15, INT_MAX - 1, INT_MAX - 2, 16, 1},
    };
    for (const Case& c : cases) {
        int sub = CreateSubGraph(c.x, c.y, c.width, c.height, source);
        ASSERT_NE(sub, -1) << c.x << "," << c.y << " " << c.width << "x" << c.height;
        int width = 0, height = 0;
        ASSERT_EQ(GetGraphSize(sub, &width, &height), 0);
        EXPECT_EQ(width, c.expectedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(height, c.expectedHeight) << c.width << "x" << c.height;
        EXPECT_EQ(DrawGraphAt(0, 0, sub, 1), 0);
        DeleteGraph(sub);
    }
    EXPECT_EQ(CreateSubGraph(16, 0, INT_MAX, 1, source), -1);
}

TEST_F(RunningGraphics, DividedLoadingOfNoCellsMakesNothingAndSucceeds) {
    WriteSmallBmp("cells.bmp");
    for (int count : {0, -1}) {
        int handles[4] = {-7, -7, -7, -7};
        EXPECT_EQ(LoadDividedGraphs("cells.bmp", count, 2, 2, 8, 8, handles, 0), 0) << count;
        for (int h : handles) EXPECT_EQ(h, -7) << count;
    }
    int handles[4] = {-7, -7, -7, -7};
    ASSERT_EQ(LoadDividedGraphs("cells.bmp", 4, 2, 2, 8, 8, handles, 0), 0);
    for (int h : handles) {
        int width = 0, height = 0;
        EXPECT_EQ(GetGraphSize(h, &width, &height), 0);
        EXPECT_EQ(width, 8);
        EXPECT_EQ(height, 8);
    }
}

TEST_F(RunningGraphics, ImageRecordsOfHugeSizesAreRefused) {
    ImageRecord record{};
    ColorFormat format{};
    ASSERT_EQ(SetColorFormatA8R8G8B8(&format), 0);
    EXPECT_EQ(CreateImageRecord(INT_MAX, 1, &format, &record), -1);
    EXPECT_EQ(CreateImageRecord(0x40000000, 1, &format, &record), -1);
}

TEST_F(RunningGraphics, FontsOfHugeSizesAreRefusedOrClipped) {
    // A font far too large: refused, or made at a size that does not overflow.
    // So is a weight (thickness x 100) past 31 bits.
    const int sizes[][2] = {
        {INT_MAX, -1}, {INT_MAX / 100 + 1, -1}, {16, INT_MAX}, {16, INT_MAX / 100 + 1}};
    for (const auto& [size, thickness] : sizes) {
        int font = CreateFontToHandle(nullptr, size, thickness, -1, -1, -1, 0, -1, -1);
        if (font != -1) {
            EXPECT_GT(GetFontSize(font), 0) << size << " " << thickness;
            ReleaseFont(font);
        }
    }
}

// The doubled screen: a 320 x 240 full screen runs 640 x 480 and shows the picture doubled;
// the program still sees 320 x 240.
TEST(DoubledScreen, ScreenStateReportsTheProgramsSize) {
    ScratchFolder folder;
    ChildResult result = RunInChild([] {
        ChangeWindowMode(0);
        ChangeScreenMode(320, 240, -1, 0, -1);
        int width = 0, height = 0, bits = 0;
        if (GetScreenState(&width, &height, &bits) != 0) return -2;
        return width * 1000 + height;
    });
    EXPECT_TRUE(result.returned) << result.Describe();
    EXPECT_EQ(result.value, 320240) << "width * 1000 + height";
}

}  // namespace
