// Box fill and line kernels: worked values, clipping, the half-open lines and box outlines,
// refusals.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "softblit/kernel_common.h"

namespace {

using namespace softblit;

using Pixels = std::set<std::pair<int, int>>;

Pixels Changed(TestImage& image, uint32_t background) {
    Pixels out;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (image.get(x, y) != background) out.insert({x, y});
    return out;
}

void Box(TestImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
    int32_t rect[4] = {left, top, right, bottom};
    FillMemImgBox(image.get(), rect, colour);
}

TEST(Box, CoverageAndClipping) {
    SetBlend(0, 0);
    TestImage image(9, 7, kMemImgR5G6B5);
    image.fill(0);
    Box(image, 6, 5, 1, 2, 0xFFFF);   // corners in either order, right and bottom excluded
    Pixels expected;
    for (int y = 2; y < 5; ++y)
        for (int x = 1; x < 6; ++x) expected.insert({x, y});
    EXPECT_EQ(Changed(image, 0), expected);
    // A null rectangle fills the image as clipped by the draw area (odd width included).
    image.fill(0);
    g_DrawSettings.drawArea = {0, 1, 9, 3};
    FillMemImgBox(image.get(), nullptr, 0x1234);
    EXPECT_EQ(Changed(image, 0).size(), 18u);
    EXPECT_EQ(image.get(8, 2), 0x1234u);
    // Outside the area, or empty: nothing.
    image.fill(0);
    Box(image, 0, 4, 9, 7, 0xFFFF);
    Box(image, 3, 1, 3, 3, 0xFFFF);
    EXPECT_TRUE(Changed(image, 0).empty());
    // A draw area beyond the image is cut to it.
    g_DrawSettings.drawArea = {-50, -50, 500, 500};
    Box(image, -100, -100, 100, 100, 0xFFFF);
    EXPECT_EQ(Changed(image, 0).size(), 63u);
}

uint32_t BoxPixel(int type, uint32_t colour, uint32_t destination) {
    TestImage image(1, 1, type);
    image.set(0, 0, destination);
    FillMemImgBox(image.get(), nullptr, colour);
    return image.get(0, 0);
}

TEST(Box, BrightAndModes) {
    // The bright colour scales by a shift: 255 with 255 gives 254, with 254 gives 253.
    SetBlend(0, 0, Rgb32(255, 255, 254));
    EXPECT_EQ(BoxPixel(1, 0x00FFFFFF, 0), Rgb32(254, 254, 253));
    SetBlend(0, 0);
    EXPECT_EQ(BoxPixel(1, 0x00FFFFFF, 0), 0x00FFFFFFu);
    SetBlend(0, 0, Rgb32(128, 0, 255));
    EXPECT_EQ(BoxPixel(0, 0xFFFF, 0), 0x781Eu);
    // Mode 0 and mode 1 at 255 store the fourth byte; modes 1, 4, 10, 11 keep the pixel's.
    SetBlend(1, 255);
    EXPECT_EQ(BoxPixel(1, 0xAB102030, 0x11000000), 0xAB102030u);
    for (int mode : {1, 4, 10, 11}) {
        SetBlend(mode, 100);
        EXPECT_EQ(BoxPixel(1, 0xAB102030, 0x11405060) >> 24, 0x11u) << mode;
    }
    // Mode 2 leaves the carry out of red there, mode 3 zero.
    SetBlend(2, 255);
    EXPECT_EQ(BoxPixel(1, Rgb32(255, 0, 0), Rgb32(2, 0, 0, 0x77)), Rgb32(255, 0, 0, 1));
    SetBlend(3, 255);
    EXPECT_EQ(BoxPixel(1, 0, Rgb32(128, 128, 128, 0x77)), Rgb32(129, 129, 128, 0));
    // Mode 10 complements the darkened colour.
    SetBlend(10, 255, Rgb32(128, 128, 128));
    EXPECT_EQ(BoxPixel(0, 0xFFFF, 0), 0x8410u);
    // Mode 1 at 128 on 16 bits steps by the signed table: 0xFFFF over 0 gives 0x7BEF.
    SetBlend(1, 128);
    EXPECT_EQ(BoxPixel(0, 0xFFFF, 0), 0x7BEFu);
    // Modes 1, 2, 3 at 0 and modes 10, 11 at 0 change nothing; mode 4 ignores p.
    for (int mode : {1, 2, 3, 10, 11}) {
        SetBlend(mode, 0);
        EXPECT_EQ(BoxPixel(1, 0x00FFFFFF, 0x33445566), 0x33445566u) << mode;
    }
    SetBlend(4, 0);
    uint32_t at0 = BoxPixel(0, 0x1234, 0xFFFF);
    SetBlend(4, 255);
    EXPECT_EQ(BoxPixel(0, 0x1234, 0xFFFF), at0);
    // The 16-bit colour is masked to its 16 bits.
    SetBlend(0, 0);
    EXPECT_EQ(BoxPixel(0, 0xFFFF1234, 0), 0x1234u);
}

// The 16-bit boxes drawn through per-channel tables give every destination value the pixel
// formula's result, at the parameter's ends and between, white or not.
TEST(Box, TabledModesMatchThePixelFormula) {
    TestImage image(256, 256, kMemImgR5G6B5);
    for (int mode : {1, 4, 10, 11})
        for (int parameter : {1, 77, 128, 254, 255})
            for (uint32_t bright : {0x00FFFFFFu, 0x00FF8040u}) {
                SetBlend(mode, parameter, bright);
                for (uint32_t d = 0; d < 65536; ++d) image.set(d & 255, d >> 8, d);
                FillMemImgBox(image.get(), nullptr, 0x9A5Cu);
                FlatSetup setup;
                ASSERT_TRUE(PrepareFlat(image.get(), 0x9A5Cu, BrightRule::Shift, &setup));
                int mismatches = 0;
                WithFlatOp(setup, [&](auto op) {
                    using Op = decltype(op);
                    for (uint32_t d = 0; d < 65536; ++d)
                        mismatches += image.get(d & 255, d >> 8) !=
                                      Op::template Compute<false>(setup.context, d, setup.colour, 0, 0);
                });
                EXPECT_EQ(mismatches, 0) << "mode " << mode << " parameter " << parameter;
            }
    SetBlend(0, 255);
}

TEST(Box, Refusals) {
    SetBlend(0, 0);
    TestImage palette(4, 4, kMemImgX8R8G8B8, 1), channel(4, 4, kMemImgChannel8),
        plain(4, 4, kMemImgR5G6B5);
    for (TestImage* image : {&palette, &channel}) {
        auto before = image->snapshot();
        FillMemImgBox(image->get(), nullptr, 0xFFFFFFFF);
        DrawMemImgLine(image->get(), 0, 0, 3, 3, 0xFFFFFFFF);
        EXPECT_EQ(image->snapshot(), before);
    }
    plain.fill(0);
    for (int mode : {5, 9, 12, -1}) {
        SetBlend(mode, 100);
        FillMemImgBox(plain.get(), nullptr, 0xFFFF);
        DrawMemImgLine(plain.get(), 0, 0, 3, 3, 0xFFFF);
        EXPECT_TRUE(Changed(plain, 0).empty()) << mode;
    }
}

Pixels Line(int x1, int y1, int x2, int y2, int size = 16) {
    TestImage image(size, size, kMemImgR5G6B5);
    image.fill(0);
    DrawMemImgLine(image.get(), x1, y1, x2, y2, 0xFFFF);
    return Changed(image, 0);
}

TEST(Line, PixelLists) {
    SetBlend(0, 0);
    EXPECT_EQ(Line(0, 0, 4, 1), (Pixels{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(Line(0, 0, 4, 3), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 2}}));
    EXPECT_EQ(Line(10, 10, 10, 13), (Pixels{{10, 10}, {10, 11}, {10, 12}}));
    EXPECT_EQ(Line(4, 3, 0, 0), (Pixels{{4, 3}, {3, 3}, {2, 2}, {1, 1}}));
    EXPECT_TRUE(Line(5, 5, 5, 5).empty());
}

TEST(Line, Clipping) {
    SetBlend(0, 0);
    g_DrawSettings.drawArea = {0, 0, 100, 100};
    Pixels row;
    for (int x = 0; x < 100; ++x) row.insert({x, 50});
    EXPECT_EQ(Line(-5, 50, 200, 50, 128), row);
    EXPECT_EQ(Line(200, 50, -5, 50, 128), row);
    // A line passing outside the area's corner leaves the corner pixel.
    EXPECT_EQ(Line(-10, 5, 5, -10, 128), (Pixels{{0, 0}}));
    // The box of the end points misses the area: nothing.
    EXPECT_TRUE(Line(-10, -3, -1, 40, 128).empty());
    // Far end points are clipped safely, every drawn pixel inside the area.
    g_DrawSettings.drawArea = {10, 10, 60, 60};
    Pixels far = Line(-2000000000, -1500000000, 2000000000, 1800000000, 128);
    EXPECT_FALSE(far.empty());
    for (auto [x, y] : far) EXPECT_TRUE(x >= 10 && x < 60 && y >= 10 && y < 60) << x << "," << y;
}

TEST(Line, BoxOutlineDrawsEveryPixelOnce) {
    SetBlend(2, 255);
    auto outline = [](int x1, int y1, int x2, int y2) {
        TestImage image(16, 16, kMemImgR5G6B5);
        image.fill(0);
        uint32_t c = 1;
        LineRecord lines[4] = {{x1, y1, x2 - 1, y1, c, 255},
                               {x2 - 1, y1, x2 - 1, y2 - 1, c, 255},
                               {x2 - 1, y2 - 1, x1, y2 - 1, c, 255},
                               {x1, y2 - 1, x1, y1, c, 255}};
        DrawMemImgLines(image.get(), lines, 4);
        std::map<uint32_t, int> counts;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ++counts[image.get(x, y)];
        return counts;
    };
    auto counts = outline(2, 3, 9, 8);   // 7 x 5: perimeter 20, each pixel added once
    EXPECT_EQ(counts[1], 20);
    EXPECT_EQ(counts.size(), 2u);
    counts = outline(2, 3, 3, 8);        // 1 wide: inner pixels twice
    EXPECT_EQ(counts[2], 3);
    counts = outline(2, 3, 3, 4);        // 1 x 1: nothing
    EXPECT_EQ(counts[0], 256);

    TestImage image(4, 4, kMemImgR5G6B5);
    image.fill(0);
    LineRecord one = {0, 0, 3, 0, 0xFFFF, 0};
    DrawMemImgLines(image.get(), &one, 0);
    DrawMemImgLines(image.get(), &one, -1);
    EXPECT_TRUE(Changed(image, 0).empty());
    // Mode 1 at 0 draws nothing; at 255 as mode 0.
    SetBlend(1, 0);
    DrawMemImgLines(image.get(), &one, 1);
    EXPECT_TRUE(Changed(image, 0).empty());
    SetBlend(1, 255);
    DrawMemImgLines(image.get(), &one, 1);
    EXPECT_EQ(Changed(image, 0).size(), 3u);
}

} // namespace
