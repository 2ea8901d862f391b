// The unscaled blit: refusals, clipping on every edge, and the run-table road.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blit_reference.h"
#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"

namespace {

// A source of w x h pixels numbered 1, 2, 3, ... row by row.
void Number(TestImage& image, uint32_t first = 1) {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image.set(x, y, first + static_cast<uint32_t>(y * image->width + x));
}

TEST(BlitMemImg, RefusalsLeaveTheDestinationByteIdentical) {
    TestImage destination(8, 8, 1);
    TestImage destination16(8, 8, 0);
    TestImage paletteDestination(8, 8, 1, 1);
    TestImage alphaDestination(8, 8, 1, 0, 1);
    TestImage source(4, 4, 1);
    TestImage source16(4, 4, 0);
    TestImage smallBlend(3, 4, 2);
    Number(source);
    Number(source16);
    destination.fill(0x11223344);
    destination16.fill(0x5566);
    auto before = destination.snapshot();
    auto before16 = destination16.snapshot();

    SetBlend(0, 0);
    BlitMemImg(destination.get(), source16.get(), 0, 0, 0, nullptr);
    BlitMemImg(destination16.get(), source.get(), 0, 0, 0, nullptr);
    BlitMemImg(paletteDestination.get(), source.get(), 0, 0, 0, nullptr);
    BlitMemImg(alphaDestination.get(), source.get(), 0, 0, 0, nullptr);
    BlitMemImg(destination.get(), source.get(), 0, 0, 0, smallBlend.get());
    BlitMemImg(destination.get(), source.get(), 8, 0, 0, nullptr);  // empty clip, right
    BlitMemImg(destination.get(), source.get(), -4, 0, 0, nullptr); // empty clip, left
    BlitMemImg(destination.get(), source.get(), 0, 8, 0, nullptr);
    BlitMemImg(destination.get(), source.get(), 0, -4, 0, nullptr);
    MEMIMG invalid = {};
    BlitMemImg(destination.get(), &invalid, 0, 0, 0, nullptr);
    BlitMemImg(destination.get(), source.get(), 0, 0, 0, &invalid);
    for (int mode : {5, 6, 7, 8, 9, -1, 12, 1000}) {
        SetBlend(mode, 128);
        BlitMemImg(destination.get(), source.get(), 0, 0, 0, nullptr);
        BlitMemImg(destination16.get(), source16.get(), 0, 0, 1, nullptr);
    }
    for (int mode : {1, 2, 3}) {
        SetBlend(mode, 0);
        BlitMemImg(destination.get(), source.get(), 0, 0, 0, nullptr);
        BlitMemImg(destination16.get(), source16.get(), 0, 0, 0, nullptr);
    }
    // An empty draw area draws nothing.
    SetBlend(0, 0);
    g_DrawSettings.drawArea = {4, 4, 4, 8};
    BlitMemImg(destination.get(), source.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(destination.snapshot(), before);
    EXPECT_EQ(destination16.snapshot(), before16);
}

TEST(BlitMemImg, ClipsOnEveryEdgeAndReadsTheBlendImageFromTheSameOffset) {
    SetBlend(0, 0);
    TestImage source(4, 3, 1);
    Number(source);
    struct Case {
        int x, y;
        V_RECT area;
    };
    const Case cases[] = {
        {-2, 1, {0, 0, 10, 10}}, {7, 1, {0, 0, 10, 10}}, {3, -1, {0, 0, 10, 10}},
        {3, 8, {0, 0, 10, 10}},  {1, 1, {2, 2, 4, 3}},   {-100000, 0, {0, 0, 10, 10}},
        {2147483600, 2147483600, {0, 0, 10, 10}}, {0, 0, {-50, -50, 5000, 5000}},
    };
    for (const Case& c : cases) {
        TestImage destination(10, 10, 1);
        destination.fill(0xEE);
        g_DrawSettings.drawArea = c.area;
        BlitMemImg(destination.get(), source.get(), c.x, c.y, 0, nullptr);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                int64_t sx = int64_t{x} - c.x, sy = int64_t{y} - c.y;
                bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 3 && x >= c.area.left &&
                              x < c.area.right && y >= c.area.top && y < c.area.bottom;
                uint32_t expected = inside ? static_cast<uint32_t>(1 + sy * 4 + sx) : 0xEE;
                ASSERT_EQ(destination.get(x, y), expected) << c.x << "," << c.y << " at " << x << "," << y;
            }
        }
    }
    // Clipped at the left and top, the blend weights come from the same source position.
    SetBlend(0, 0);
    TestImage blend(4, 3, 2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) blend.set(x, y, x == 1 && y == 1 ? 255 : 0);
    SetBlendImageTable(128, 0);
    TestImage white(4, 3, 1);
    white.fill(0x00FFFFFF);
    TestImage destination(4, 3, 1);
    destination.fill(0);
    BlitMemImg(destination.get(), white.get(), -1, -1, 0, blend.get());
    SetBlendImageTable(0, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(destination.get(x, y), x == 0 && y == 0 ? 0x00FEFEFEu : 0u) << x << "," << y;
}

TEST(BlitMemImg, KeyedPaletteAndDirectSources) {
    SetBlend(0, 0);
    TestImage palette(6, 1, 0, 1, 0, 0, 3);
    for (int i = 0; i < 6; ++i) palette.setPalette16(i, static_cast<uint16_t>(0x1000 + i));
    palette.setRow(0, {0, 3, 3, 3, 3, 5});
    TestImage destination(6, 1, 0);
    destination.fill(0xAAAA);
    BlitMemImg(destination.get(), palette.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x1000u);
    for (int x = 1; x < 5; ++x) EXPECT_EQ(destination.get(x, 0), 0xAAAAu);
    EXPECT_EQ(destination.get(5, 0), 0x1005u);
    // Unkeyed, the key index is drawn like any other.
    BlitMemImg(destination.get(), palette.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(destination.get(2, 0), 0x1003u);
}

// A source with a run table, made the way a transfer leaves it.
struct RunSource {
    TestImage image;
    RunSource(int w, int h, int type, int alpha, uint32_t key)
        : image(w, h, type, 0, alpha, 1, key) {}
    void code() { UpdateMemImgRunCode(image.get(), image->width, image->height); }
};

TEST(BlitMemImg, RunTableIsCodedInRunsOfAtMost64) {
    RunSource source(150, 2, 1, 0, 0);
    source.image.fill(0x00FFFFFF);
    source.image.set(149, 1, 0);
    source.code();
    const uint8_t* code = source.image->base->runBuffer;
    EXPECT_EQ(source.image->base->runCodeValid, 1);
    const uint8_t expected[] = {0x40 | 63, 0x40 | 63, 0x40 | 21, 0xC0,
                                0x40 | 63, 0x40 | 63, 0x40 | 20, 0x00, 0xC0};
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(code[i], expected[i]) << i;
}

TEST(BlitMemImg, RunTableRoadDiffersOnlyWhereStated) {
    // Mode 1 at 128, 32-bit: the run road mixes and keeps the top byte; the keyed loop halves.
    SetBlend(1, 128);
    RunSource source(2, 1, 1, 0, 0);
    source.image.setRow(0, {Rgb32(3, 3, 3), 0});
    source.code();
    TestImage destination(2, 1, 1);
    destination.fill(Rgb32(1, 1, 1, 0x7F));
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(2, 2, 2, 0x7F));
    EXPECT_EQ(destination.get(1, 0), Rgb32(1, 1, 1, 0x7F));
    destination.fill(Rgb32(1, 1, 1, 0x7F));
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 2, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(1, 1, 1, 0));

    // Mode 1 at 200, 16-bit: the run road steps, the keyed loop uses the mix table.
    SetBlend(1, 200);
    RunSource source16(1, 1, 0, 0, 0);
    source16.image.set(0, 0, Rgb16(10, 20, 5));
    source16.code();
    TestImage destination16(1, 1, 0);
    destination16.set(0, 0, Rgb16(20, 40, 25));
    BlitMemImg(destination16.get(), source16.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination16.get(0, 0), Rgb16(13, 25, 10));
    destination16.set(0, 0, Rgb16(20, 40, 25));
    BlitMemImg(destination16.get(), source16.image.get(), 0, 0, 2, nullptr);
    EXPECT_EQ(destination16.get(0, 0), Rgb16(12, 24, 9));

    // Mode 2 at 255: the run road uses the ordinary packed add, whatever the MMX flag.
    SetBlend(2, 255);
    SetMmxFlag(1);
    source.image.setRow(0, {Rgb32(3, 3, 1), Rgb32(3, 3, 1)});
    source.code();
    destination.fill(Rgb32(253, 1, 1));
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(255, 3, 2));
    destination.fill(Rgb32(253, 1, 1));
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 2, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(255, 4, 2));

    // Mode 4 from an alpha source: a = 0 lies in a skip run on the run road.
    SetBlend(4, 0);
    RunSource alpha(2, 1, 1, 1, 0);
    alpha.image.setRow(0, {0x00FFFFFF, 0x80FFFFFF});
    alpha.code();
    destination.fill(0x00FFFFFF);
    BlitMemImg(destination.get(), alpha.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(destination.get(1, 0), Rgb32(127, 127, 127));
    destination.fill(0x00FFFFFF);
    BlitMemImg(destination.get(), alpha.image.get(), 0, 0, 2, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0u);
}

TEST(BlitMemImg, RunTableRoadMatchesTheModelAlongLongRows) {
    // Rows of 150 pixels: opaque runs of 64 and more, short alpha and skip runs at every offset of
    // the 64-pixel words and the 16- and 32-pixel steps, in every mode and modifier; the first row
    // wholly transparent, so the blend image is read from the right row below it.
    const int modes[][2] = {{0, 255}, {1, 100}, {1, 128}, {2, 255}, {3, 128}, {4, 0}, {10, 200}, {11, 77}};
    for (int type = 0; type < 2; ++type) {
        for (int kind = 0; kind < 3; ++kind) {
            const uint32_t key = kind == 0 ? 7 : type == 1 ? 0x00FF00FF : 0xF81F;
            RunSource source(150, 4, type, kind == 2, key);
            if (kind == 0) {
                TestImage palette(150, 4, type, 1, 0, 1, key);
                std::swap(source.image.view, palette.view);
                for (int i = 0; i < 256; ++i) {
                    if (type == 1) source.image.setPalette32(i, i * 0x01030507u);
                    else source.image.setPalette16(i, static_cast<uint16_t>(i * 0x0107u));
                }
            }
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 150; ++x) {
                    const int part = y == 0 ? 0 : x >= 20 && x < 100 ? 1 : (x * 7 + y * 13) / 5 % 4;
                    const uint32_t colour = kind == 0 ? (x * 31 + y) % 256 | 1 : (x * 2654435761u + y) & 0x00FFFFFF;
                    const uint32_t alpha = part == 0 ? 0 : part == 3 ? 40 + x : 255;
                    uint32_t value = kind == 2 ? (type == 1 ? colour | alpha << 24 : (colour & 0xFFFF) | alpha << 16)
                                               : colour & (type == 1 ? 0xFFFFFFFF : kind == 0 ? 0xFF : 0xFFFF);
                    if (kind != 2 && part == 0) value = key;
                    source.image.set(x, y, value);
                }
            }
            source.code();
            TestImage blend(150, 4, 2);
            for (int x = 0; x < 150; ++x)
                for (int y = 0; y < 4; ++y) blend.set(x, y, (x * 37 + y * 11) & 0xFF);
            for (const auto& [mode, parameter] : modes) {
                for (uint32_t bright : {0x00FFFFFFu, 0x0080C0FFu}) {
                    for (bool useBlend : {false, true}) {
                        SetBlend(mode, parameter, bright);
                        SetBlendImageTable(20, 200);
                        TestImage destination(160, 6, type), expected(160, 6, type);
                        for (int y = 0; y < 6; ++y) {
                            for (int x = 0; x < 160; ++x) {
                                const uint32_t value = (x * 40503u + y * 977u) & (type == 1 ? 0xFFFFFFFF : 0xFFFF);
                                destination.set(x, y, value);
                                expected.set(x, y, value);
                            }
                        }
                        const MEMIMG* weights = useBlend ? blend.get() : nullptr;
                        BlitMemImg(destination.get(), source.image.get(), 3, 1, 1, weights);
                        reference::Blit(expected, source.image, weights, 1, false, 3, 1, {});
                        EXPECT_EQ(destination.snapshot(), expected.snapshot())
                            << "type " << type << " kind " << kind << " mode " << mode << " p " << parameter
                            << " bright " << std::hex << bright << " blend " << useBlend;
                    }
                }
            }
        }
    }
    SetBlendImageTable(0, 0);
}

TEST(BlitMemImg, RunTableRoadIsTakenOnlyForWholeUnclippedDraws) {
    SetBlend(0, 0);
    RunSource source(4, 2, 1, 0, 0);
    source.image.setRow(0, {0, 1, 2, 3});
    source.image.setRow(1, {4, 5, 0, 7});
    source.code();
    // Pixels drawn over after the coding: the run road still follows the old classes.
    source.image.set(0, 0, 9);
    source.image.set(1, 0, 0);
    TestImage destination(6, 3, 1);
    destination.fill(0xEE);
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0xEEu);
    EXPECT_EQ(destination.get(1, 0), 0u);
    destination.fill(0xEE);
    BlitMemImg(destination.get(), source.image.get(), 0, 0, 2, nullptr);
    EXPECT_EQ(destination.get(0, 0), 9u);
    EXPECT_EQ(destination.get(1, 0), 0xEEu);
    // Of an alpha source the runs decide, not the alpha now: a pixel of an alpha run is weighed by
    // its alpha even at 255, one of an opaque run is copied whole at any alpha.
    RunSource alpha(3, 1, 1, 1, 0);
    alpha.image.setRow(0, {0x80102030, 0xFF405060, 0});
    alpha.code();
    alpha.image.setRow(0, {0xFF102030, 0x80405060, 0xFF708090});
    destination.fill(0x11000000);
    BlitMemImg(destination.get(), alpha.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x110F1F2Fu);
    EXPECT_EQ(destination.get(1, 0), 0x80405060u);
    EXPECT_EQ(destination.get(2, 0), 0x11000000u);
    RunSource alpha16(2, 1, 0, 1, 0);
    alpha16.image.setRow(0, {0x800841, 0xFF0841});
    alpha16.code();
    alpha16.image.setRow(0, {0xFF0841, 0x800841});
    TestImage destination16(2, 1, 0);
    BlitMemImg(destination16.get(), alpha16.image.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination16.get(0, 0), Rgb16(0, 1, 0));
    EXPECT_EQ(destination16.get(1, 0), 0x0841u);
    // One pixel clipped: the general road with the current values.
    destination.fill(0xEE);
    BlitMemImg(destination.get(), source.image.get(), 3, 0, 1, nullptr);
    EXPECT_EQ(destination.get(3, 0), 9u);
    EXPECT_EQ(destination.get(4, 0), 0xEEu);
    // A sub-rectangle view takes the general road and draws exactly that rectangle.
    MEMIMG view = {};
    MakeMemImgView(&view, source.image.get(), 1, 1, 2, 1);
    destination.fill(0xEE);
    BlitMemImg(destination.get(), &view, 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 5u);
    EXPECT_EQ(destination.get(1, 0), 0xEEu);
    EXPECT_EQ(destination.get(2, 0), 0xEEu);
    ReleaseMemImg(&view);
    // At the edges of the draw area, with a stale pixel in the second row too (key 0, now 8) so
    // that every clipped row still shows a stale pixel: an image filling the area exactly follows
    // the table, one pixel outside it takes the general road and draws only the inside part.
    source.image.set(2, 1, 8);
    const uint32_t coded[2][4] = {{0, 1, 2, 3}, {4, 5, 0, 7}};
    const V_RECT full = {0, 0, 1024, 1024}, area = {1, 1, 7, 4};
    struct Edge {
        int x, y;
        V_RECT area;
        bool table;
    };
    const Edge edges[] = {
        {2, 1, {2, 1, 6, 3}, true}, {4, 3, full, true},  // the area exactly; the destination's corner
        {0, 1, area, false}, {2, 0, area, false}, {4, 1, area, false}, {2, 3, area, false},
        {-1, 1, {-5, -5, 1024, 1024}, false}, {2, -1, full, false},
    };
    TestImage edgeDestination(8, 5, 1);
    for (const Edge& e : edges) {
        edgeDestination.fill(0xEE);
        g_DrawSettings.drawArea = e.area;
        BlitMemImg(edgeDestination.get(), source.image.get(), e.x, e.y, 1, nullptr);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int sx = x - e.x, sy = y - e.y;
                const bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 2 && x >= e.area.left &&
                                    x < e.area.right && y >= e.area.top && y < e.area.bottom;
                const uint32_t now = inside ? source.image.get(sx, sy) : 0;
                const bool drawn = inside && (e.table ? coded[sy][sx] : now) != 0;
                ASSERT_EQ(edgeDestination.get(x, y), drawn ? now : 0xEEu)
                    << e.x << "," << e.y << " at " << x << "," << y;
            }
        }
    }
    g_DrawSettings.drawArea = full;
}

TEST(BlitMemImg, RunTableFollowsTheLastCodingAtEveryShape) {
    // Shapes around the 16-, 32- and 64-pixel steps of the walk, odd heights and padded rows; and
    // narrow ones more than sixteen rows high, some with rows of nothing to draw at the top.
    const int shapes[][2] = {{1, 1},  {15, 3}, {16, 7}, {17, 2},  {31, 1},  {32, 3},  {33, 7},
                             {64, 2}, {65, 3}, {130, 7}, {1, 33}, {16, 17}, {13, 40}, {24, 18}};
    const int modes[][2] = {{0, 0}, {4, 0}, {1, 200}, {1, 128}};
    // Class of a pattern's pixel: 0 transparent, 1 opaque, 2 translucent (alpha sources only).
    auto classOf = [](int pattern, int x, int y, bool alpha) {
        if (pattern == 0 ? y % 3 == 1 && x >= 3 : y % 3 == 0 && x >= 1 && x < 100) return 1;
        const int k = pattern == 0 ? (x * 5 + y * 3) % 11 : (x * 3 + y * 7 + 5) % 9;
        if (pattern == 0 ? k == 0 || k == 4 : k <= 1) return 0;
        return (pattern == 0 ? k == 7 : k == 5) && alpha ? 2 : 1;
    };
    auto valueOf = [&](int pattern, int x, int y, int type, bool alpha, uint32_t key) {
        const int c = classOf(pattern, x, y, alpha);
        uint32_t h = x * 2654435761u ^ (y * 40503u + pattern * 0x9E3779B9u);
        h = (h ^ h >> 13) * 0x5BD1E995u;
        h ^= h >> 15;
        if (alpha) {
            const uint32_t a = c == 0 ? 0 : c == 1 ? 255 : 1 + (h >> 24) % 254;
            return type == 1 ? (h & 0x00FFFFFF) | a << 24
                             : (h & 0xFFFF) | a << 16 | (h & 0xFF00) << 16;
        }
        if (c == 0) return key;
        if (type == 1 && (x + y) % 13 == 6)
            return key ^ 0x01000000;  // the key's colour, another top byte
        const uint32_t v = type == 1 ? h : h & 0xFFFF;
        return v == key ? v ^ 1 : v;
    };
    // The run road's pixel (no blend image, white bright) from the coded class and current value.
    auto expect = [](int type, int mode, int p, int c, uint32_t S, uint32_t D) -> uint32_t {
        const bool wide = type == 1;
        if (c == 0) return D;
        if (mode == 0 && c == 1) return wide ? S : S & 0xFFFF;
        const int64_t a = c == 2 ? (wide ? S >> 24 : S >> 16 & 0xFF) : 255;
        uint32_t out = wide ? D & 0xFF000000u : 0;
        for (int i = 0; i < 3; ++i) {
            const int shift = wide ? 8 * i : 5 * i + (i == 2);
            const int bits = wide ? 8 : i == 1 ? 6 : 5;
            const int64_t s = S >> shift & ((1 << bits) - 1), d = D >> shift & ((1 << bits) - 1);
            int64_t r;
            if (mode == 0)
                r = (d * 256 + (s - d) * a) >> 8;
            else if (mode == 4)
                r = c == 2 ? (s * d * a) >> (bits + 8) : (s * d) >> bits;
            else if (c == 2)
                r = (d * 65536 + (s - d) * a * p) >> 16;
            else if (wide)
                r = (d * 256 + (s - d) * p) >> 8;
            else
                r = d + p * (s - d) / 255;
            out |= static_cast<uint32_t>(r) << shift;
        }
        return out;
    };
    SetBlend(0, 0);
    for (const auto& shape : shapes) {
        const int w = shape[0], h = shape[1];
        for (int type = 0; type < 2; ++type) {
            for (bool alpha : {false, true}) {
                const uint32_t key = alpha ? 0 : type == 1 ? 0x00FF00FF : 0xF81F;
                RunSource source(w, h, type, alpha, key);
                auto fill = [&](int pattern) {
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x)
                            source.image.set(x, y, valueOf(pattern, x, y, type, alpha, key));
                };
                // Classes of `coded`, values of `current`: the table when just coded, then a draw
                // in every mode.
                auto check = [&](int coded, int current, bool justCoded) {
                    const std::string where =
                        "shape " + std::to_string(w) + "x" + std::to_string(h) + " type " +
                        std::to_string(type) + " alpha " + std::to_string(alpha) + " coded " +
                        std::to_string(coded) + " current " + std::to_string(current);
                    if (justCoded) {
                        std::vector<uint8_t> code;
                        for (int y = 0; y < h; ++y) {
                            for (int x = 0, n; x < w; x += n) {
                                const int c = classOf(coded, x, y, alpha);
                                for (n = 1;
                                     x + n < w && n < 64 && classOf(coded, x + n, y, alpha) == c;)
                                    ++n;
                                code.push_back(static_cast<uint8_t>(c << 6 | (n - 1)));
                            }
                            code.push_back(0xC0);
                        }
                        ASSERT_EQ(source.image->base->runCodeValid, 1) << where;
                        const uint8_t* table = source.image->base->runBuffer;
                        EXPECT_EQ(std::vector<uint8_t>(table, table + code.size()), code) << where;
                    }
                    for (const auto& [mode, p] : modes) {
                        SetBlend(mode, p);
                        TestImage destination(w + 3, h + 2, type);
                        auto before = [&](int x, int y) {
                            return (x * 40503u + y * 977u + 0x5A5A) &
                                   (type == 1 ? 0xFFFFFFFF : 0xFFFF);
                        };
                        for (int y = 0; y < h + 2; ++y)
                            for (int x = 0; x < w + 3; ++x) destination.set(x, y, before(x, y));
                        BlitMemImg(destination.get(), source.image.get(), 2, 1, 1, nullptr);
                        int wrong = 0;
                        for (int y = 0; y < h + 2; ++y) {
                            for (int x = 0; x < w + 3; ++x) {
                                const int sx = x - 2, sy = y - 1;
                                const bool inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
                                const uint32_t want =
                                    inside ? expect(type, mode, p, classOf(coded, sx, sy, alpha),
                                                    valueOf(current, sx, sy, type, alpha, key),
                                                    before(x, y))
                                           : before(x, y);
                                if (destination.get(x, y) != want && wrong++ < 3)
                                    ADD_FAILURE()
                                        << where << " mode " << mode << " p " << p << " at " << sx
                                        << "," << sy << std::hex << ": got "
                                        << destination.get(x, y) << " want " << want;
                            }
                        }
                        EXPECT_EQ(wrong, 0) << where << " mode " << mode << " p " << p;
                    }
                };
                fill(0);
                source.code();
                check(0, 0, true);
                fill(1);  // drawn over without a transfer: the table keeps pattern 0's classes
                check(0, 1, false);
                source.code();
                check(1, 1, true);
            }
        }
    }
}

} // namespace
