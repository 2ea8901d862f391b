// Public draw calls and graph loading on the software screen, checked pixel by pixel.
#include <cmath>
#include <utility>

#include "draw_fixture.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kWhite = 0xFFFFFF;

// A 16 x 8 sprite: left half red, right half blue, with a black (transparent) 2 x 2 corner.
Rgb Sprite(int x, int y) {
    if (x < 2 && y < 2) return {0, 0, 0};
    return x < 8 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
}
uint32_t SpriteColour(int x, int y) {
    if (x < 2 && y < 2) return 0;
    return x < 8 ? kRed : kBlue;
}

class SoftDrawTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        StartGraphics(false);
        WriteBmp("sprite.bmp", 16, 8, Sprite);
        sprite_ = LoadGraphHandle("sprite.bmp", 0);
        ASSERT_GE(sprite_, 0);
        ClearScreen();
    }
    // Every pixel of (x0, y0)-(x0 + w, y0 + h) equals the expected colour at its offset.
    void ExpectArea(int x0, int y0, int w, int h, const std::function<uint32_t(int, int)>& want) {
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (ScreenPixel(x0 + x, y0 + y) != want(x, y) && bad++ < 5)
                    ADD_FAILURE() << "pixel (" << x0 + x << ", " << y0 + y << ") is " << std::hex
                                  << ScreenPixel(x0 + x, y0 + y) << " not " << want(x, y);
    }
    int sprite_ = -1;
};

TEST_F(SoftDrawTest, WholePartAndClippedSprite) {
    ASSERT_EQ(DrawGraphAt(10, 10, sprite_, 1), 0);
    ExpectArea(9, 9, 18, 10, [](int x, int y) {
        return x >= 1 && x <= 16 && y >= 1 && y <= 8 ? SpriteColour(x - 1, y - 1) : 0u;
    });
    ClearScreen();
    // Columns 6..9 of rows 0..3 at (40, 40).
    ASSERT_EQ(DrawGraphPart(40, 40, 6, 0, 4, 4, sprite_, 1, 0), 0);
    ExpectArea(38, 38, 8, 8, [](int x, int y) {
        return x >= 2 && x < 6 && y >= 2 && y < 6 ? SpriteColour(x - 2 + 6, y - 2) : 0u;
    });
    EXPECT_EQ(g_DrawSettings.drawArea.right, 640);
    ClearScreen();
    ASSERT_EQ(DrawGraphAt(-4, 0, sprite_, 0), 0);
    ExpectArea(0, 0, 14, 8, [](int x, int y) { return x < 12 ? SpriteColour(x + 4, y) : 0u; });
}

TEST_F(SoftDrawTest, StretchedAndMirrored) {
    ASSERT_EQ(DrawGraphStretched(0, 0, 32, 16, sprite_, 0), 0);
    ExpectArea(0, 0, 32, 16, [](int x, int y) { return SpriteColour(x / 2, y / 2); });
    ClearScreen();
    // Reversed corners mirror the image left to right.
    ASSERT_EQ(DrawGraphStretched(100, 0, 0, 50, sprite_, 0), 0);
    EXPECT_EQ(ScreenPixel(2, 20), kBlue);
    EXPECT_EQ(ScreenPixel(97, 20), kRed);
    ClearScreen();
    ASSERT_EQ(DrawGraphPart(200, 100, 0, 0, 16, 8, sprite_, 0, 1), 0);
    ExpectArea(200, 100, 16, 8, [](int x, int y) { return SpriteColour(15 - x, y); });
}

TEST_F(SoftDrawTest, RotatedAtTheGameScales) {
    // A quarter turn about (100, 100): the sprite's left (red) half ends up on top.
    ASSERT_EQ(DrawGraphRotated(100, 100, 1.0, 3.14159265358979323846 / 2, sprite_, 0, 0), 0);
    EXPECT_EQ(ScreenPixel(100, 95), kRed);
    EXPECT_EQ(ScreenPixel(100, 104), kBlue);
    ClearScreen();
    ASSERT_EQ(DrawGraphRotated(100, 100, 2.0, 0.0, sprite_, 0, 1), 0);
    // Mirrored and doubled: blue on the left, red on the right, 32 x 16 around the centre.
    EXPECT_EQ(ScreenPixel(86, 104), kBlue);
    EXPECT_EQ(ScreenPixel(113, 104), kRed);
    EXPECT_EQ(ScreenPixel(100, 120), 0u);
}

TEST_F(SoftDrawTest, BoxesCoverExactlyTheirPixels) {
    ASSERT_EQ(DrawBoxShape(10, 10, 20, 20, GetScreenColor(255, 255, 255), 1), 0);
    ExpectArea(9, 9, 12, 12, [](int x, int y) {
        return x >= 1 && x <= 10 && y >= 1 && y <= 10 ? kWhite : 0u;
    });
    ClearScreen();
    ASSERT_EQ(DrawBoxShape(20, 10, 10, 20, GetScreenColor(255, 255, 255), 0), 0);
    ASSERT_EQ(DrawBoxShape(10, 10, 20, 20, GetScreenColor(255, 255, 255), 0), 0);
    ExpectArea(9, 9, 12, 12, [](int x, int y) {
        bool inside = x >= 1 && x <= 10 && y >= 1 && y <= 10;
        bool border = x == 1 || x == 10 || y == 1 || y == 10;
        return inside && border ? kWhite : 0u;
    });
    ClearScreen();
    ASSERT_EQ(DrawLineShape(0, 5, 10, 5, GetScreenColor(255, 255, 255), 1), 0);
    ExpectArea(0, 4, 12, 3, [](int x, int y) { return y == 1 && x < 10 ? kWhite : 0u; });
    ClearScreen();
    ASSERT_EQ(DrawLineShape(50, 50, 80, 50, GetScreenColor(255, 255, 255), 3), 0);
    EXPECT_EQ(ScreenPixel(60, 49), kWhite);
    EXPECT_EQ(ScreenPixel(60, 50), kWhite);
    EXPECT_EQ(ScreenPixel(60, 53), 0u);
}

// An outline covers each of its pixels once, also when the box is one pixel wide or high: added
// at half strength over black, every pixel comes out as the filled box's, half bright.
TEST_F(SoftDrawTest, ThinOutlinesBlendEachPixelOnce) {
    const uint32_t white = GetScreenColor(255, 255, 255);
    const int boxes[3][4] = {{10, 10, 11, 11}, {20, 10, 30, 11}, {40, 10, 41, 20}};
    auto inBox = [&](int x, int y) {
        for (const auto& b : boxes)
            if (x >= b[0] && x < b[2] && y >= b[1] && y < b[3]) return true;
        return false;
    };
    SetBlendMode(2, 128);
    ASSERT_EQ(FillBox(0, 0, 1, 1, white), 0);
    const uint32_t once = ScreenPixel(0, 0);
    EXPECT_NEAR(static_cast<int>(once >> 16), 128, 9);  // within one 5-bit step
    ClearScreen();
    for (const auto& b : boxes) ASSERT_EQ(FrameBox(b[0], b[1], b[2], b[3], white), 0);
    SetBlendMode(0, 0);
    ExpectArea(0, 0, 60, 30, [&](int x, int y) { return inBox(x, y) ? once : 0u; });
}

TEST_F(SoftDrawTest, BlendModesOnTheSoftwareScreen) {
    const uint32_t grey = GetScreenColor(128, 128, 128);
    auto background = [&] {
        ClearScreen();
        SetBlendMode(0, 0);
        FillBox(0, 0, 16, 8, grey);
    };
    background();
    SetBlendMode(1, 255);
    DrawGraphAt(0, 0, sprite_, 0);
    EXPECT_EQ(ScreenPixel(4, 4), kRed);
    background();
    SetBlendMode(1, 128);
    DrawGraphAt(0, 0, sprite_, 0);
    uint32_t half = ScreenPixel(4, 4);
    EXPECT_NEAR(static_cast<int>(half >> 16), 191, 9);
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 64, 9);
    background();
    SetBlendMode(2, 255);
    DrawGraphAt(0, 0, sprite_, 0);
    EXPECT_EQ(ScreenPixel(4, 4) >> 16, 255u);
    EXPECT_NEAR(static_cast<int>(ScreenPixel(4, 4) & 0xFF), 132, 5);
    background();
    SetBlendMode(3, 255);
    DrawGraphAt(0, 0, sprite_, 0);
    EXPECT_EQ(ScreenPixel(4, 4) >> 16, 0u);
    background();
    SetBlendMode(4, 255);
    DrawGraphAt(0, 0, sprite_, 0);
    EXPECT_NEAR(static_cast<int>(ScreenPixel(4, 4) >> 16), 132, 9);  // one 5-bit step
    EXPECT_EQ(ScreenPixel(4, 4) & 0xFF, 0u);
}

TEST_F(SoftDrawTest, DividedLoadCutsRowByRow) {
    // 160 x 16: cell i has the colour (i * 20, 255 - i * 20, 0) and a white pixel at its (0, 0).
    WriteBmp("cells.bmp", 160, 16, [](int x, int y) {
        int cell = x / 16;
        if (x % 16 == 0 && y == 0) return Rgb{255, 255, 255};
        return Rgb{static_cast<uint8_t>(cell * 20), static_cast<uint8_t>(255 - cell * 20), 0};
    });
    int handles[12];
    ASSERT_EQ(LoadDividedGraphs("cells.bmp", 10, 10, 1, 16, 16, handles, 0), 0);
    for (int i = 0; i < 10; ++i) {
        int w = 0, h = 0;
        ASSERT_EQ(GetGraphSize(handles[i], &w, &h), 0);
        EXPECT_EQ(w, 16);
        EXPECT_EQ(h, 16);
    }
    DrawGraphAt(0, 0, handles[0], 0);
    DrawGraphAt(20, 0, handles[3], 0);
    EXPECT_EQ(ScreenPixel(0, 0), kWhite);
    EXPECT_EQ(ScreenPixel(15, 15), 0x00FF00u);
    EXPECT_EQ(ScreenPixel(16, 0), 0u);
    EXPECT_EQ(ScreenPixel(20, 0), kWhite);
    // Asking for more cells than the rows hold names only those made.
    handles[11] = 77;
    ASSERT_EQ(LoadDividedGraphs("cells.bmp", 12, 10, 1, 16, 16, handles, 0), 0);
    EXPECT_GE(handles[9], 0);
    EXPECT_EQ(handles[10], -1);
    EXPECT_EQ(handles[11], -1);
}

TEST_F(SoftDrawTest, LoadFailures) {
    EXPECT_EQ(LoadGraphHandle("missing.bmp", 0), -1);
    FILE* f = std::fopen("junk.bmp", "wb");
    std::fputs("not an image at all", f);
    std::fclose(f);
    EXPECT_EQ(LoadGraphHandle("junk.bmp", 0), -1);
    // A picture of width 5 and height 0 loads, but makes no graph.
    f = std::fopen("empty.bgra", "wb");
    std::fwrite("BGRA\x08\x08\x08\x08\x05\0\0\0\0\0\0\0", 1, 16, f);
    std::fclose(f);
    EXPECT_EQ(LoadGraphHandle("empty.bgra", 0), -1);
    int handles[2];
    EXPECT_EQ(LoadDividedGraphs("missing.bmp", 2, 2, 1, 8, 8, handles, 0), -1);
}

// Shapes made of two triangles cover every pixel once: an additive draw on black gives the same
// picture as a plain copy, with no doubled seam along the shared diagonal.
TEST_F(SoftDrawTest, TwoTriangleShapesBlendEachPixelOnce) {
    WriteBmp("dim.bmp", 32, 32, [](int, int) { return Rgb{64, 64, 64}; });
    int dim = LoadGraphHandle("dim.bmp", 0);
    ASSERT_GE(dim, 0);
    const uint32_t dimColour = GetScreenColor(64, 64, 64);
    auto picture = [&](int mode) {
        ClearScreen();
        SetBlendMode(mode, 255);
        DrawGraphQuad(20, 20, 90, 30, 80, 100, 10, 80, dim, 0);   // free quadrilateral
        DrawGraphQuad(120, 20, 152, 20, 152, 52, 120, 52, dim, 0);  // the graph's own rectangle
        DrawGraphRotated(250, 60, 1.5, 0.6, dim, 0, 0);             // turned
        DrawLineShape(320, 20, 420, 110, dimColour, 5);              // thick diagonal line
        DrawLineShape(440, 110, 540, 30, dimColour, 4);
        SetBlendMode(0, 0);
        std::vector<uint32_t> p;
        for (int y = 0; y < 130; ++y)
            for (int x = 0; x < 640; ++x) p.push_back(ScreenPixel(x, y));
        return p;
    };
    std::vector<uint32_t> copied = picture(0);
    std::vector<uint32_t> added = picture(2);
    int covered = 0, doubled = 0;
    for (size_t i = 0; i < copied.size(); ++i) {
        covered += copied[i] != 0;
        if (added[i] != copied[i] && doubled++ < 5)
            ADD_FAILURE() << "pixel (" << i % 640 << ", " << i / 640 << ") is " << std::hex
                          << added[i] << " not " << copied[i];
    }
    EXPECT_GT(covered, 5000);
    EXPECT_EQ(doubled, 0);
}

// A turned rotated draw is the unturned draw mirrored left to right: the same corners, so the
// same pixels covered, with each row of texels read from the other end.
TEST_F(SoftDrawTest, TurnedRotatedDrawsCoverTheUnturnedPixels) {
    auto shade = [](int x, int y) {
        return Rgb{static_cast<uint8_t>(40 + 5 * x), static_cast<uint8_t>(40 + 5 * y), 200};
    };
    WriteBmp("square.bmp", 32, 32, shade);
    WriteBmp("wide.bmp", 40, 24, shade);
    const int square = LoadGraphHandle("square.bmp", 0), wide = LoadGraphHandle("wide.bmp", 0);
    ASSERT_GE(square, 0);
    ASSERT_GE(wide, 0);
    // The screen after one draw on black; no texel is black.
    auto picture = [&](int graph, int x, int y, double scale, double angle, int turn) {
        ClearScreen();
        EXPECT_EQ(DrawGraphRotated(x, y, scale, angle, graph, 0, turn), 0);
        std::vector<uint32_t> p;
        for (int row = 0; row < 480; ++row)
            for (int col = 0; col < 640; ++col) p.push_back(ScreenPixel(col, row));
        return p;
    };
    auto expectSameCover = [&](int graph, int x, int y, double scale, double angle, int count) {
        SCOPED_TRACE(testing::Message() << "angle " << angle << " at " << x << ", " << y);
        std::vector<uint32_t> plain = picture(graph, x, y, scale, angle, 0);
        std::vector<uint32_t> turned = picture(graph, x, y, scale, angle, 1);
        int plainCount = 0, turnedCount = 0, differ = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            plainCount += plain[i] != 0;
            turnedCount += turned[i] != 0;
            if ((plain[i] != 0) != (turned[i] != 0) && differ++ < 3)
                ADD_FAILURE() << "pixel (" << i % 640 << ", " << i / 640 << ") covered "
                              << (turned[i] != 0) << " turned, " << (plain[i] != 0) << " not";
        }
        if (count > 0) {
            EXPECT_EQ(plainCount, count);
        }
        EXPECT_EQ(turnedCount, plainCount);
        EXPECT_EQ(differ, 0);
        return std::make_pair(plain, turned);
    };
    const double pi = 3.14159265358979323846;
    for (int quarter = 0; quarter < 4; ++quarter)
        expectSameCover(square, 100, 100, 1.0, quarter * pi / 2, 1024);
    expectSameCover(square, 100, 100, 1.0, 0.3, 0);
    expectSameCover(square, 317, 211, 1.0, 0.3, 0);
    expectSameCover(wide, 200, 150, 1.5, pi / 4, 0);
    expectSameCover(wide, 301, 233, 1.5, pi / 4, 0);
    // Unrotated, column x - 16 + i shows the source column 31 - i.
    auto [plain, turned] = expectSameCover(square, 200, 150, 1.0, 0.0, 1024);
    int unmirrored = 0;
    for (int y = 134; y < 166; ++y)
        for (int x = 184; x < 216; ++x)
            unmirrored += turned[y * 640 + x] != plain[y * 640 + 399 - x];
    EXPECT_EQ(unmirrored, 0);
}

// A thick line is a filled quadrilateral as wide as asked and centred on the line, also when the
// line is horizontal or vertical; its far end is left out as a box's is.
TEST_F(SoftDrawTest, ThickLinesAreCentredAndAsWideAsAsked) {
    const uint32_t white = GetScreenColor(255, 255, 255);
    ASSERT_EQ(DrawLineShape(200, 20, 250, 20, white, 3), 0);
    ExpectArea(195, 15, 60, 12, [](int x, int y) {
        return x + 195 >= 200 && x + 195 < 250 && y + 15 >= 19 && y + 15 <= 21 ? kWhite : 0u;
    });
    ClearScreen();
    ASSERT_EQ(DrawLineShape(300, 40, 300, 90, white, 3), 0);
    ExpectArea(295, 35, 12, 60, [](int x, int y) {
        return x + 295 >= 299 && x + 295 <= 301 && y + 35 >= 40 && y + 35 < 90 ? kWhite : 0u;
    });
    ClearScreen();
    ASSERT_EQ(DrawLineShape(100, 200, 150, 200, white, 5), 0);
    ExpectArea(95, 195, 60, 12, [](int x, int y) {
        return x + 95 >= 100 && x + 95 < 150 && y + 195 >= 198 && y + 195 <= 202 ? kWhite : 0u;
    });
}

}  // namespace
