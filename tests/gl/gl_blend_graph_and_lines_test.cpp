// Drawing on the OpenGL device under a blend graph that lets every pixel through, thick lines
// under the blend settings, the subtract emulation of polygon lists, and box frames whose
// corners come in reversed: each picture follows from the draw rules pixel for pixel.
#include <cstdlib>
#include <functional>

#include "core/core_services.h"
#include "draw/draw.h"
#include "gl_fixture.h"
#include "graphics/graphics_services.h"

namespace {

constexpr int kWidth = 640;

// A 24-bit BMP of one colour (0xRRGGBB).
void WriteSolidBmp(const char* path, int width, int height, uint32_t colour) {
    WriteTestBmp(path, width, height, [colour](int, int) { return colour; });
}

// Blend-graph wipes: a 64 x 8 white sprite under 64 x 8 blend graphs whose value in column x is
// 4x + 2, never equal to a threshold that is a multiple of 64. ramp.bmp takes its alpha from the
// grey companion ramp_a.bmp; grey.bmp is the same grey ramp without alpha.
void WriteWipeFiles() {
    auto grey = [](int x, int) { return (4u * x + 2) * 0x010101u; };
    WriteSolidBmp("sprite.bmp", 64, 8, 0xFFFFFF);
    WriteSolidBmp("ramp.bmp", 64, 8, 0xFFFFFF);
    WriteTestBmp("ramp_a.bmp", 64, 8, grey);
    WriteTestBmp("grey.bmp", 64, 8, grey);
}

// The desktop's depth for a whole test: a re-created screen follows it too.
struct DesktopBits32 {
    DesktopBits32() { setenv("VELK_DESKTOP_BITS", "32", 1); }
    ~DesktopBits32() { unsetenv("VELK_DESKTOP_BITS"); }
};

class GlDeviceRulesTest : public GlLibraryTest {
protected:
    // The device path at 32 bits; false (the test skips) without OpenGL here.
    bool StartDevice32() {
        setenv("VELK_DESKTOP_BITS", "32", 1);
        bool ok = Start(true);
        unsetenv("VELK_DESKTOP_BITS");
        if (ok) ProcessMessage();
        return ok;
    }
    void Clear(uint32_t rgb) {
        FillBox(0, 0, 640, 480, GetScreenColor(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF));
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) {
        return p[static_cast<size_t>(y) * kWidth + x];
    }
    // Pixels of (x0, y0)-(x1, y1) that differ from want(x, y); the first few are reported.
    static int CountWrong(const std::vector<uint32_t>& p, int x0, int y0, int x1, int y1,
                          const std::function<uint32_t(int, int)>& want) {
        int wrong = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (At(p, x, y) != want(x, y) && wrong++ < 4)
                    ADD_FAILURE() << "(" << x << ", " << y << ") is " << std::hex << At(p, x, y)
                                  << " not " << want(x, y);
        return wrong;
    }
    // The first of the 64 columns of row y that holds the white sprite, when every column from it
    // on does and every column before it is black; else -1.
    static int FirstWhiteColumn(const std::vector<uint32_t>& p, int y) {
        int first = 64;
        for (int x = 0; x < 64; ++x) {
            const uint32_t c = At(p, x, y);
            const bool white = (c >> 16) >= 0xF0 && (c >> 8 & 0xFF) >= 0xF0 && (c & 0xFF) >= 0xF0;
            if (white && first == 64) first = x;
            if (white != (x >= first) || (!white && c != 0)) return -1;
        }
        return first;
    }
};

constexpr uint32_t kBack = 0x102030;
constexpr uint32_t kSprite = 0x20C060;

}  // namespace

// Free quadrilaterals under a blend graph are drawn with integer corners: a rectangle as a
// stretched graph, any other shape through the two corner maps.
TEST_F(GlDeviceRulesTest, FreeQuadrilateralUnderABlendGraph) {
    WriteSolidBmp("sprite.bmp", 32, 32, kSprite);
    WriteSolidBmp("blend.bmp", 64, 64, 0xFFFFFF);
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    int sprite = LoadGraphHandle("sprite.bmp", 0);
    int blend = LoadGraphHandle("blend.bmp", 0);
    ASSERT_GE(sprite, 0);
    ASSERT_GE(blend, 0);
    Clear(kBack);
    ASSERT_EQ(SetBlendGraph(blend, 0, 0), 0);
    ASSERT_EQ(DrawGraphAt(20, 20, sprite, 0), 0);
    ASSERT_EQ(DrawGraphQuad(300.7f, 100.2f, 364.0f, 100.0f, 364.9f, 164.0f, 300.0f, 164.5f, sprite,
                            0),
              0);
    ASSERT_EQ(DrawGraphQuad(100, 200, 200, 220, 190, 320, 90, 300, sprite, 0), 0);
    ASSERT_EQ(SetBlendGraph(-1, 0, 0), 0);
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    // The whole graph, as a check that this blend graph lets every pixel through.
    EXPECT_EQ(CountWrong(p, 19, 19, 53, 53,
                         [](int x, int y) {
                             return x >= 20 && x < 52 && y >= 20 && y < 52 ? kSprite : kBack;
                         }),
              0);
    // Truncated corners (300, 100)-(364, 164): exactly that rectangle.
    EXPECT_EQ(CountWrong(p, 298, 98, 366, 166,
                         [](int x, int y) {
                             return x >= 300 && x < 364 && y >= 100 && y < 164 ? kSprite : kBack;
                         }),
              0);
    // The tilted one: its middle is covered, the corners' outsides are not.
    EXPECT_EQ(CountWrong(p, 135, 250, 155, 270, [](int, int) { return kSprite; }), 0);
    EXPECT_EQ(At(p, 95, 205), kBack);
    EXPECT_EQ(At(p, 195, 215), kBack);
    // The tilted one covers the same pixels as without the blend graph.
    Clear(kBack);
    ASSERT_EQ(DrawGraphQuad(100, 200, 200, 220, 190, 320, 90, 300, sprite, 0), 0);
    std::vector<uint32_t> plain = ReadScreen();
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(CountWrong(p, 80, 190, 210, 330, [&](int x, int y) { return At(plain, x, y); }), 0);
}

// Glyphs are drawn with the blend graph put aside: text looks the same with or without one,
// horizontal and vertical, and the blend graph is back afterwards.
TEST_F(GlDeviceRulesTest, TextUnderABlendGraphIsDrawnAsWithout) {
    WriteSolidBmp("blend.bmp", 64, 64, 0xFFFFFF);
    WriteSolidBmp("large.bmp", 128, 128, kSprite);
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    int blend = LoadGraphHandle("blend.bmp", 0);
    int large = LoadGraphHandle("large.bmp", 0);
    ASSERT_GE(blend, 0);
    ASSERT_GE(large, 0);
    auto scene = [&](bool withBlendGraph) {
        Clear(kBack);
        if (withBlendGraph) {
            EXPECT_EQ(SetBlendGraph(blend, 0, 0), 0);
        }
        uint32_t white = GetScreenColor(255, 255, 255);
        EXPECT_EQ(DrawStringDefault(20, 20, "Ecosystem 0123", white, 0), 0);
        EXPECT_EQ(DrawStringWithFont(400, 20, "ABCDEF", white, GetDefaultFontHandle(), 0, 1), 0);
        if (withBlendGraph) {
            // Still set: a graph larger than the blend graph is refused.
            EXPECT_EQ(DrawGraphAt(0, 300, large, 0), -1);
            EXPECT_EQ(SetBlendGraph(-1, 0, 0), 0);
        }
        return ReadScreen();
    };
    std::vector<uint32_t> plain = scene(false);
    std::vector<uint32_t> blended = scene(true);
    ASSERT_EQ(plain.size(), blended.size());
    ASSERT_FALSE(plain.empty());
    int inkHorizontal = 0, inkVertical = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (At(plain, x, y) != kBack) {
                (x < 380 ? inkHorizontal : inkVertical)++;
            }
    EXPECT_GT(inkHorizontal, 100);
    EXPECT_GT(inkVertical, 50);
    EXPECT_EQ(CountWrong(blended, 0, 0, kWidth, 200,
                         [&](int x, int y) { return At(plain, x, y); }),
              0);
}

// Thick lines are polygons: they take the bright colour and the blend parameter.
TEST_F(GlDeviceRulesTest, ThickLinesFollowBrightColourAndBlendParameter) {
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    Clear(0);
    uint32_t white = GetScreenColor(255, 255, 255);
    ASSERT_EQ(DrawLineShape(100, 100, 200, 100, white, 5), 0);
    ASSERT_EQ(SetDrawBrightness(255, 0, 0), 0);
    ASSERT_EQ(DrawLineShape(100, 150, 200, 150, white, 5), 0);
    ASSERT_EQ(SetDrawBrightness(255, 255, 255), 0);
    ASSERT_EQ(SetBlendMode(1, 128), 0);
    ASSERT_EQ(DrawLineShape(100, 200, 200, 200, white, 5), 0);
    ASSERT_EQ(DrawLineShape(300, 100, 300, 200, white, 5), 0);
    ASSERT_EQ(SetBlendMode(0, 0), 0);
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(CountWrong(p, 110, 99, 190, 102, [](int, int) { return 0xFFFFFFu; }), 0);
    EXPECT_EQ(CountWrong(p, 110, 149, 190, 152, [](int, int) { return 0xFF0000u; }), 0);
    EXPECT_EQ(CountWrong(p, 110, 199, 190, 202, [](int, int) { return 0x808080u; }), 0);
    EXPECT_EQ(CountWrong(p, 299, 110, 302, 190, [](int, int) { return 0x808080u; }), 0);
    EXPECT_EQ(At(p, 150, 110), 0u);
}

// Without the reverse-subtract operation, blend mode 3 is emulated for polygon lists (and thick
// lines, which are drawn as polygon lists) too: destination minus source.
TEST_F(GlDeviceRulesTest, SubtractIsEmulatedForPolygonLists) {
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    g_GraphicsDevice.blendOperation = 0;
    Clear(0xC8C8C8);
    PolygonVertex quad[4] = {{300, 300, 0, 0, 0xFF326496},
                             {340, 300, 0, 0, 0xFF326496},
                             {300, 340, 0, 0, 0xFF326496},
                             {340, 340, 0, 0, 0xFF326496}};
    ASSERT_EQ(SetBlendMode(3, 255), 0);
    ASSERT_EQ(DrawPolygonList(quad, 4, 5, -5, 0, 0), 0);
    ASSERT_EQ(DrawLineShape(100, 400, 200, 400, GetScreenColor(0x32, 0x64, 0x96), 5), 0);
    ASSERT_EQ(SetBlendMode(0, 0), 0);
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    constexpr uint32_t kDifference = 0x966432;  // 0xC8 - (0x32, 0x64, 0x96)
    EXPECT_EQ(CountWrong(p, 302, 302, 338, 338, [](int, int) { return kDifference; }), 0);
    EXPECT_EQ(CountWrong(p, 110, 399, 190, 402, [](int, int) { return kDifference; }), 0);
    EXPECT_EQ(At(p, 350, 320), 0xC8C8C8u);
}

// A frame whose corners are reversed in one axis is the frame of the normalised rectangle: the
// border pixels of the 10 x 10 square, each once.
TEST_F(GlDeviceRulesTest, FrameWithReversedCornersIsTheNormalisedFrame) {
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    Clear(0);
    uint32_t c = GetScreenColor(255, 255, 0);
    ASSERT_EQ(FrameBox(100, 100, 110, 110, c), 0);
    ASSERT_EQ(FrameBox(210, 100, 200, 110, c), 0);  // x reversed
    ASSERT_EQ(FrameBox(300, 110, 310, 100, c), 0);  // y reversed
    ASSERT_EQ(FrameBox(410, 110, 400, 100, c), 0);  // both
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    for (int left : {100, 200, 300, 400}) {
        SCOPED_TRACE(left);
        EXPECT_EQ(CountWrong(p, left - 3, 97, left + 13, 113,
                             [left](int x, int y) {
                                 bool inside = x >= left && x < left + 10 && y >= 100 && y < 110;
                                 bool border = x == left || x == left + 9 || y == 100 || y == 109;
                                 return inside && border ? 0xFFFF00u : 0u;
                             }),
                  0);
    }
}

// An outline covers each of its pixels once, also when the box is one pixel wide or high: white
// added at parameter 128 over black gives 0x808080 on every pixel of the box.
TEST_F(GlDeviceRulesTest, ThinFramesBlendEachPixelOnce) {
    if (!StartDevice32()) GTEST_SKIP() << "no OpenGL device on this display";
    Clear(0);
    const int boxes[3][4] = {{100, 100, 101, 101}, {200, 100, 210, 101}, {300, 100, 301, 110}};
    const uint32_t white = GetScreenColor(255, 255, 255);
    SetBlendMode(2, 128);
    for (const auto& b : boxes) ASSERT_EQ(FrameBox(b[0], b[1], b[2], b[3], white), 0);
    SetBlendMode(0, 0);
    std::vector<uint32_t> p = ReadScreen();
    ASSERT_FALSE(p.empty());
    for (const auto& b : boxes) {
        SCOPED_TRACE(b[0]);
        EXPECT_EQ(CountWrong(p, b[0] - 3, b[1] - 3, b[2] + 3, b[3] + 3,
                             [&b](int x, int y) {
                                 bool inside = x >= b[0] && x < b[2] && y >= b[1] && y < b[3];
                                 return inside ? 0x808080u : 0u;
                             }),
                  0);
    }
}

// A device re-creation with a blend graph set keeps the wipe: the draws before and after it open
// the same columns (alpha 4x + 2 against threshold 128: from column 32 on).
TEST_F(GlDeviceRulesTest, BlendGraphSurvivesADeviceRecreation) {
    WriteWipeFiles();
    DesktopBits32 bits;
    if (!Start(true)) GTEST_SKIP() << "no OpenGL device on this display";
    ProcessMessage();
    int sprite = LoadGraphHandle("sprite.bmp", 0);
    int ramp = LoadGraphHandle("ramp.bmp", 0);
    ASSERT_GE(sprite, 0);
    ASSERT_GE(ramp, 0);
    ASSERT_EQ(SetBlendGraph(ramp, 128, 0), 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 1) {
            ASSERT_EQ(RecreateDeviceSameMode(), 0);
        }
        ASSERT_EQ(g_ScreenSettings.useDirect3D, 1);
        Clear(0);
        ASSERT_EQ(DrawGraphAt(0, 0, sprite, 0), 0);
        std::vector<uint32_t> p = ReadScreen();
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(FirstWhiteColumn(p, 4), 32);
    }
    // The device's set-up logs its shader choice once, at start-up and at the re-creation; the
    // re-creation remakes the shader objects without a set-up of its own.
    int shaderLines = 0;
    for (const std::string& line : ReadLogLines())
        shaderLines += line.find("プログラマブルシェーダーを使用します") != std::string::npos;
    EXPECT_EQ(shaderLines, 2);
}

// With range 0 a blend graph lets a pixel through where its alpha reaches the threshold, on
// both paths: the alpha ramp opens the columns from threshold / 4 on; the grey ramp, which has
// no alpha (255 everywhere), opens every column whatever the threshold. A drawable graph with
// alpha gives its alpha, not its colour against the transparent one: opaque black opens all.
TEST_F(GlDeviceRulesTest, BlendGraphWipeDrawsTheSameColumnsOnBothPaths) {
    WriteWipeFiles();
    DesktopBits32 bits;
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        if (!Start(device)) {
            ASSERT_TRUE(device) << "the software path did not start";
            Stop();  // no OpenGL here: the software path alone
            continue;
        }
        ProcessMessage();
        int sprite = LoadGraphHandle("sprite.bmp", 0);
        int ramps[2] = {LoadGraphHandle("ramp.bmp", 0), LoadGraphHandle("grey.bmp", 0)};
        ASSERT_GE(sprite, 0);
        ASSERT_GE(ramps[0], 0);
        ASSERT_GE(ramps[1], 0);
        SetCreateDrawValidGraphFlag(1);
        SetMakeGraphAlphaFlag(1);
        const int opaque = MakeGraph(64, 8);
        SetMakeGraphAlphaFlag(0);
        SetCreateDrawValidGraphFlag(0);
        ASSERT_EQ(FillGraphColor(opaque, 0, 0, 0, 255), 0);
        Clear(0);
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(SetBlendGraph(ramps[i / 4], i % 4 * 64, 0), 0);
            ASSERT_EQ(DrawGraphAt(0, 20 * i, sprite, 0), 0);
        }
        ASSERT_EQ(SetBlendGraph(opaque, 128, 0), 0);
        ASSERT_EQ(DrawGraphAt(0, 160, sprite, 0), 0);
        ASSERT_EQ(SetBlendGraph(-1, 0, 0), 0);
        std::vector<uint32_t> p = ReadScreen();
        ASSERT_FALSE(p.empty());
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(FirstWhiteColumn(p, 20 * i + 4), i < 4 ? i * 16 : 0)
                << (i < 4 ? "alpha" : "grey") << " ramp, threshold " << i % 4 * 64;
        EXPECT_EQ(FirstWhiteColumn(p, 164), 0) << "drawable graph with alpha";
        Stop();
    }
}
