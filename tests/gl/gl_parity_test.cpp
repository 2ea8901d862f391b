// One scene set drawn on the OpenGL device and on the software screen, at 16 and at 32 bits a
// pixel, compared pixel by pixel. Every pixel must match exactly unless a row of the tolerance
// table covers it; each row names the rule of the two paths that makes its difference.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "core/core_services.h"
#include "gl/gl_fixture.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A colour ramp in blocks of 4 × 4 texels (so that sampling at a pixel's corner or its centre
// picks the same texel) with a black, transparent frame of 4 texels.
uint32_t SpriteColour(int x, int y) {
    if (x < 4 || y < 4 || x >= 28 || y >= 28) return 0;
    x &= ~3, y &= ~3;
    return static_cast<uint32_t>(96 + x * 5) << 16 | static_cast<uint32_t>(40 + y * 6) << 8 |
           static_cast<uint32_t>(240 - x * 6);
}

struct Rect {
    int left, top, right, bottom;
    bool Has(int x, int y) const { return x >= left && y >= top && x < right && y < bottom; }
};

// The scene set: each scene in a panel of its own on a grey background.
constexpr Rect kBoxes{0, 0, 160, 120};
constexpr Rect kGraphs{160, 0, 320, 120};
constexpr Rect kTurned{320, 0, 480, 120};
constexpr Rect kQuads{480, 0, 640, 120};
constexpr Rect kAlphaAdd{0, 120, 160, 240};
constexpr Rect kSubtract{160, 120, 320, 240};
constexpr Rect kMultiply{320, 120, 480, 240};
constexpr Rect kModes5And7{480, 120, 640, 240};
constexpr Rect kThickLines{0, 240, 160, 360};
constexpr Rect kBright{160, 240, 320, 360};
constexpr Rect kText{320, 240, 640, 360};
constexpr Rect kPolygons{0, 360, 320, 480};

void DrawScenes(int sprite) {
    FillBox(0, 0, kWidth, kHeight, GetScreenColor(128, 128, 128));
    const uint32_t red = GetScreenColor(240, 40, 40), green = GetScreenColor(40, 240, 40);
    const uint32_t blue = GetScreenColor(40, 40, 240), white = GetScreenColor(255, 255, 255);
    // Boxes, outlines with corners reversed in one axis and in both, straight lines.
    FillBox(10, 10, 50, 40, red);
    FillBox(90, 40, 60, 10, green);
    FrameBox(10, 50, 50, 90, blue);
    FrameBox(100, 50, 60, 90, white);
    FrameBox(110, 90, 150, 50, red);
    DrawLineShape(10, 100, 150, 100, green, 1);
    DrawLineShape(155, 10, 155, 110, blue, 1);
    // Graphs whole, in part, stretched twice, mirrored.
    DrawGraphAt(165, 5, sprite, 1);
    DrawGraphPart(200, 5, 4, 4, 16, 20, sprite, 1, 0);
    DrawGraphStretched(220, 5, 284, 69, sprite, 1);
    DrawGraphMirrored(285, 5, sprite, 1);
    DrawGraphPart(165, 80, 8, 8, 20, 16, sprite, 1, 1);
    // Turned a quarter and a half turn.
    DrawGraphRotated(360, 40, 1.0, M_PI / 2, sprite, 1, 0);
    DrawGraphRotated(430, 40, 2.0, M_PI, sprite, 1, 0);
    // Free quadrilaterals: a parallelogram and a trapezoid.
    DrawGraphQuad(490, 10, 530, 10, 540, 50, 500, 50, sprite, 1);
    DrawGraphQuad(560, 10, 600, 10, 630, 90, 540, 90, sprite, 1);
    // Blend modes over a three-colour ground.
    for (const Rect& r : {kAlphaAdd, kSubtract, kMultiply, kModes5And7}) {
        FillBox(r.left, r.top, r.left + 53, r.bottom, red);
        FillBox(r.left + 53, r.top, r.left + 106, r.bottom, GetScreenColor(250, 250, 250));
        FillBox(r.left + 106, r.top, r.right, r.bottom, GetScreenColor(20, 20, 20));
    }
    auto blended = [&](const Rect& r, int mode, int parameter) {
        SetBlendMode(mode, parameter);
        for (int i = 0; i < 4; ++i) DrawGraphAt(r.left + 5 + 38 * i, r.top + 10, sprite, 1);
        FillBox(r.left + 5, r.top + 60, r.right - 5, r.top + 80, GetScreenColor(60, 180, 120));
        SetBlendMode(0, 0);
    };
    blended(kAlphaAdd, 1, 128);
    SetBlendMode(2, 200);
    FillBox(kAlphaAdd.left + 5, kAlphaAdd.top + 90, kAlphaAdd.right - 5, kAlphaAdd.top + 110,
            GetScreenColor(60, 40, 20));
    SetBlendMode(0, 0);
    blended(kSubtract, 3, 160);
    blended(kMultiply, 4, 255);
    blended(kModes5And7, 5, 200);
    SetBlendMode(7, 200);
    FillBox(kModes5And7.left + 5, kModes5And7.top + 90, kModes5And7.right - 5,
            kModes5And7.top + 110, GetScreenColor(60, 180, 120));
    SetBlendMode(0, 0);
    // Thick lines: horizontal, vertical and slanted bands.
    DrawLineShape(10, 260, 150, 260, red, 4);
    DrawLineShape(20, 270, 20, 350, green, 5);
    DrawLineShape(40, 280, 150, 350, blue, 3);
    // The bright colour on a graph and on a box.
    SetDrawBrightness(255, 128, 64);
    DrawGraphAt(170, 250, sprite, 1);
    FillBox(210, 250, 300, 290, white);
    SetDrawBrightness(255, 255, 255);
    // Text in the default font, horizontal and vertical.
    DrawStringDefault(330, 250, "Velk 0123 ABC", white, 0);
    DrawStringDefault(330, 280, "xyz", red, 0);
    DrawStringWithFont(600, 250, "Velk", green, GetDefaultFontHandle(), 0, 1);
    // A string under a blend graph: glyphs are drawn without it on both paths. Graphs drawn under
    // a blend graph have a test of their own (the wipe), since the soft border of a range is
    // ramped by each path's own arithmetic.
    SetBlendGraph(sprite, 128, 64);
    DrawStringDefault(440, 320, "blend", white, 0);
    DrawStringWithFont(400, 300, "Vk", green, GetDefaultFontHandle(), 0, 1);
    SetBlendGraph(-1, 0, 0);
    // Polygons: a triangle and a strip of two.
    PolygonVertex tri[3] = {{10, 370, 0, 0, 0xFFE0A020}, {150, 370, 0, 0, 0xFFE0A020},
                            {10, 470, 0, 0, 0xFFE0A020}};
    DrawPolygonList(tri, 3, 4, -5, 0, 0);
    PolygonVertex strip[4] = {{170, 370, 0, 0, 0xFF2060E0}, {300, 370, 0, 0, 0xFF2060E0},
                              {170, 460, 0, 0, 0xFF2060E0}, {300, 460, 0, 0, 0xFF2060E0}};
    DrawPolygonList(strip, 4, 5, -5, 0, 0);
}

// The tolerance table. A pixel takes the last row that covers it; it may differ by the row's
// steps per channel at 32 or at 16 bits a pixel, or hold the other picture's colour within
// shift pixels, or is left out (skip). Where a 16-bit figure exceeds the 32-bit one, the row's
// rule meets the 16-bit screen's: a 5-bit channel step is 8 or 9 steps of 8 bits, and textures
// with alpha test (A1R5G5B5) keep one bit of green less than the R5G6B5 screen.
struct ToleranceRow {
    const char* rule;
    Rect area;
    int steps32, steps16;
    int shift;
    bool skip;
};

const ToleranceRow kTolerances[] = {
    {"the 16-bit green bit of alpha-tested textures: 5 bits of green in the texture, 6 on the "
     "screen",
     kGraphs, 0, 4, 0, false},
    {"the rotated kernel's corner mapping: it samples each pixel at its top-left corner, the "
     "device at its centre, so a turned graph may lie a pixel over",
     {330, 0, 480, 100}, 1, 4, 1, false},
    {"the parallelogram's two triangles: the kernel samples at pixel corners, the device at "
     "centres, so texels change a pixel apart",
     {485, 5, 545, 55}, 1, 4, 1, false},
    {"the grid of a non-parallelogram quad: the device bends the texture over 7 x 7 cells, the "
     "software draws two flat triangles",
     {535, 5, 635, 95}, 0, 0, 0, true},
    {"alpha and add: the kernels' tables round down, the device rounds to nearest",
     kAlphaAdd, 1, 9, 0, false},
    {"mode 3's carry arithmetic: the kernel subtracts the upper seven bits and rounds the "
     "parameter down",
     kSubtract, 3, 25, 0, false},
    {"mode 4 divides by 256 in the kernel and exactly on the device",
     kMultiply, 2, 8, 0, false},
    {"mode 4 under a colour key: the device multiplies by the transparent texels too (black "
     "with alpha 0), the kernel skips them",
     {kMultiply.left, kMultiply.top, kMultiply.right, kMultiply.top + 50}, 0, 0, 0, true},
    {"modes 5 and 7: only the device draws them, the software kernels draw nothing",
     kModes5And7, 0, 0, 0, true},
    {"the thick-line band: the device fills its triangles by pixel centres, the software "
     "triangles by pixel corners",
     kThickLines, 1, 1, 1, false},
    {"the bright colour: the kernels' brightness rows round down, the device modulates to "
     "nearest",
     kBright, 1, 9, 0, false},
    {"polygon lists: only the device draws them, the software path draws nothing",
     kPolygons, 0, 0, 0, true},
};

struct RowCount {
    int differing = 0;
    int worst = 0;
};

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {16, 8, 0}) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        worst = std::max(worst, d < 0 ? -d : d);
    }
    return worst;
}

uint32_t At(const std::vector<uint32_t>& p, int x, int y) {
    return p[static_cast<size_t>(y) * kWidth + x];
}

bool HeldAround(const std::vector<uint32_t>& p, int x, int y, uint32_t value, int steps,
                int shift) {
    for (int dy = -shift; dy <= shift; ++dy)
        for (int dx = -shift; dx <= shift; ++dx) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= kWidth || ny >= kHeight) continue;
            if (ChannelDistance(At(p, nx, ny), value) <= steps) return true;
        }
    return false;
}

std::vector<uint32_t> DrawOnPath(GlLibraryTest* test, bool device, bool* started) {
    *started = test->Start(device, !device);
    if (!*started) return {};
    int sprite = LoadGraphHandle("parity.bmp", 0);
    EXPECT_GE(sprite, 0);
    ProcessMessage();
    DrawScenes(sprite);
    std::vector<uint32_t> picture = ReadScreen();
    const char* dump = std::getenv("VELK_GL_TEST_DUMP");
    if (dump != nullptr)
        WritePpm(std::string(dump) + "/parity-" + (device ? "device" : "software") + "-" +
                     std::to_string(GetColorBitDepth()) + ".ppm",
                 picture, kWidth, kHeight);
    test->Stop();
    return picture;
}

}  // namespace

TEST_F(GlLibraryTest, SceneSetMatchesOnBothPathsAtBothDepths) {
    WriteTestBmp("parity.bmp", 32, 32, SpriteColour);
    for (int depth : {16, 32}) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        setenv("VELK_DESKTOP_BITS", std::to_string(depth).c_str(), 1);
        bool started = false;
        std::vector<uint32_t> dev = DrawOnPath(this, true, &started);
        if (!started) {
            unsetenv("VELK_DESKTOP_BITS");
            GTEST_SKIP() << "no OpenGL device on this display";
        }
        std::vector<uint32_t> soft = DrawOnPath(this, false, &started);
        ASSERT_TRUE(started);
        ASSERT_EQ(dev.size(), soft.size());
        ASSERT_EQ(dev.size(), static_cast<size_t>(kWidth) * kHeight);
        constexpr int kRows = sizeof kTolerances / sizeof kTolerances[0];
        RowCount counts[kRows + 1];  // the last: pixels no row covers
        std::string firstUnexplained;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                // The device opens its batch with one transparent black point at (0, 0).
                if (x == 0 && y == 0) continue;
                uint32_t a = At(dev, x, y), b = At(soft, x, y);
                int distance = ChannelDistance(a, b);
                if (distance == 0) continue;
                int row = kRows;
                for (int i = 0; i < kRows; ++i)
                    if (kTolerances[i].area.Has(x, y)) row = i;
                RowCount& count = counts[row];
                count.worst = std::max(count.worst, distance);
                if (row < kRows) {
                    const ToleranceRow& t = kTolerances[row];
                    int steps = depth == 16 ? t.steps16 : t.steps32;
                    if (t.skip || distance <= steps) continue;
                    if (t.shift > 0 && HeldAround(soft, x, y, a, steps, t.shift) &&
                        HeldAround(dev, x, y, b, steps, t.shift))
                        continue;
                }
                if (count.differing++ == 0 && row == kRows && firstUnexplained.empty()) {
                    char text[96];
                    std::snprintf(text, sizeof text, "(%d, %d): device %06x, software %06x", x,
                                  y, a, b);
                    firstUnexplained = text;
                }
            }
        for (int i = 0; i < kRows; ++i)
            EXPECT_EQ(counts[i].differing, 0)
                << "beyond the tolerance of \"" << kTolerances[i].rule << "\" (worst "
                << counts[i].worst << " steps)";
        EXPECT_EQ(counts[kRows].differing, 0)
            << "unexplained differences, the first at " << firstUnexplained << " (worst "
            << counts[kRows].worst << " steps)";
    }
    unsetenv("VELK_DESKTOP_BITS");
}
