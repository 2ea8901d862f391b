// Rotated and scaled drawing and the free quadrilateral: worked placements, the mirrored path,
// refusals, the texel rules shared with the triangle kernel, and agreement with the exact rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"
#include "rotate_reference.h"

namespace {

void FillIndexed(TestImage& image, uint32_t base = 0x01000000) {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) image.set(x, y, base | y << 8 | x);
}

TEST(Rotate, QuarterTurnPlacesEverySourcePixel) {
    SetBlend(0, 0);
    TestImage source(4, 2, kMemImgX8R8G8B8);
    FillIndexed(source);
    TestImage dest(200, 100, kMemImgX8R8G8B8);
    dest.fill(0);
    BlitMemImgRotated(dest.get(), source.get(), 100, 50, static_cast<float>(M_PI / 2), 1.0f, 0, 0, nullptr);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            bool drawn = (x == 100 || x == 101) && y >= 48 && y <= 51;
            uint32_t expected = drawn ? (0x01000000u | (101 - x) << 8 | (y - 48)) : 0u;
            ASSERT_EQ(dest.get(x, y), expected) << x << "," << y;
        }
}

TEST(Rotate, UnturnedAtScaleOneEqualsTheUnscaledBlit) {
    std::mt19937 random(3);
    for (int type : {0, 1}) {
        for (int trans : {0, 1}) {
            SetBlend(0, 0);
            TestImage source(7, 6, type, 0, 0, 0, 5);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 7; ++x) source.set(x, y, random() % 8);
            TestImage a(32, 32, type), b(32, 32, type);
            a.fill(0x1234);
            b.fill(0x1234);
            BlitMemImgRotated(a.get(), source.get(), 10, 9, 0.0f, 1.0f, trans, 0, nullptr);
            BlitMemImg(b.get(), source.get(), 10 - 7 / 2, 9 - 6 / 2, trans, nullptr);
            EXPECT_EQ(a.snapshot(), b.snapshot()) << type << " " << trans;
            // Partly outside the draw area too.
            a.fill(0x1234);
            b.fill(0x1234);
            g_DrawSettings.drawArea = {0, 0, 11, 30};
            BlitMemImgRotated(a.get(), source.get(), 10, 0, 0.0f, 1.0f, trans, 0, nullptr);
            BlitMemImg(b.get(), source.get(), 10 - 7 / 2, 0 - 6 / 2, trans, nullptr);
            EXPECT_EQ(a.snapshot(), b.snapshot()) << type << " " << trans;
        }
    }
}

TEST(Rotate, HalfScaleTakesTheEvenColumns) {
    SetBlend(0, 0);
    TestImage source(16, 16, kMemImgR5G6B5);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) source.set(x, y, 0x8000 | y << 5 | x);
    TestImage dest(64, 64, kMemImgR5G6B5);
    dest.fill(0);
    BlitMemImgRotated(dest.get(), source.get(), 30, 20, 0.0f, 0.5f, 0, 0, nullptr);
    int drawn = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t got = dest.get(x, y);
            if (got == 0) continue;
            ++drawn;
            EXPECT_TRUE(x >= 26 && x < 34 && y >= 16 && y < 24) << x << "," << y;
            EXPECT_EQ(got, 0x8000u | uint32_t(2 * (y - 16)) << 5 | uint32_t(2 * (x - 26)));
        }
    EXPECT_EQ(drawn, 64);
}

TEST(Rotate, TurnMirrorsInPlaceAndTheQuadrilateral) {
    SetBlend(0, 0);
    TestImage source(6, 4, kMemImgX8R8G8B8);
    FillIndexed(source);
    TestImage plain(32, 32, kMemImgX8R8G8B8), mirrored(32, 32, kMemImgX8R8G8B8);
    plain.fill(0);
    mirrored.fill(0);
    BlitMemImgRotated(plain.get(), source.get(), 12, 12, 0.0f, 1.0f, 0, 0, nullptr);
    BlitMemImgRotated(mirrored.get(), source.get(), 12, 12, 0.0f, 1.0f, 0, 1, nullptr);
    // The same 6 x 4 pixels from (9, 10), each with the texel of the mirrored column.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint32_t p = plain.get(x, y);
            ASSERT_EQ(p != 0, x >= 9 && x < 15 && y >= 10 && y < 14) << x << "," << y;
            uint32_t column = p & 0xFF;
            EXPECT_EQ(mirrored.get(x, y), p == 0 ? 0u : (p & ~0xFFu) | (5 - column)) << x << "," << y;
        }

    // The quadrilateral upright and with left and right swapped, on the same pixels.
    TestImage quad(32, 32, kMemImgX8R8G8B8);
    quad.fill(0);
    int32_t upright[8] = {2, 3, 8, 3, 2, 7, 8, 7};
    FillMemImgQuad(quad.get(), source.get(), upright, 0, nullptr);
    EXPECT_EQ(quad.get(2, 3), 0x01000000u);
    EXPECT_EQ(quad.get(7, 6), 0x01000305u);
    quad.fill(0);
    int32_t swapped[8] = {8, 3, 2, 3, 8, 7, 2, 7};
    FillMemImgQuad(quad.get(), source.get(), swapped, 0, nullptr);
    EXPECT_EQ(quad.get(2, 3), 0x01000005u);
    EXPECT_EQ(quad.get(7, 6), 0x01000300u);
    EXPECT_EQ(quad.get(8, 3), 0u);
    // A quadrilateral beyond its margins from the draw area draws nothing.
    quad.fill(0);
    g_DrawSettings.drawArea = {12, 12, 32, 32};
    int32_t away[8] = {2, 2, 7, 2, 2, 7, 7, 7};
    FillMemImgQuad(quad.get(), source.get(), away, 0, nullptr);
    EXPECT_EQ(quad.snapshot(), std::vector<uint8_t>(quad.snapshot().size(), 0));
}

TEST(Rotate, Refusals) {
    TestImage source(8, 8, kMemImgR5G6B5);
    source.fill(0xFFFF);
    TestImage other(8, 8, kMemImgX8R8G8B8);
    FillIndexed(other);
    auto untouched = [&](TestImage& dest, const MEMIMG* src, float angle, float scale, int turn,
                         const MEMIMG* blend = nullptr) {
        dest.fill(0);
        BlitMemImgRotated(dest.get(), src, 8, 8, angle, scale, 0, turn, blend);
        return dest.snapshot() == std::vector<uint8_t>(dest.snapshot().size(), 0);
    };
    SetBlend(0, 0);
    TestImage dest(16, 16, kMemImgR5G6B5), destPalette(16, 16, kMemImgR5G6B5, 1),
        destAlpha(16, 16, kMemImgR5G6B5, 0, 1);
    for (int turn : {0, 1}) {
        EXPECT_TRUE(untouched(dest, other.get(), 0.3f, 1.0f, turn));
        EXPECT_TRUE(untouched(destPalette, source.get(), 0.3f, 1.0f, turn));
        EXPECT_FALSE(untouched(destAlpha, source.get(), 0.3f, 1.0f, turn));  // drawn into
        EXPECT_TRUE(untouched(dest, source.get(), 0.3f, 0.0f, turn));
        EXPECT_TRUE(untouched(dest, source.get(), NAN, 1.0f, turn));
        EXPECT_TRUE(untouched(dest, source.get(), 0.3f, INFINITY, turn));
        TestImage small(4, 8, kMemImgChannel8);
        EXPECT_TRUE(untouched(dest, source.get(), 0.3f, 1.0f, turn, small.get()));
    }
    // Steps beyond the 32-bit range (a tiny scale) are refused, not wrapped.
    EXPECT_TRUE(untouched(dest, source.get(), 0.0f, 1e-30f, 0));
    for (int mode : {5, 9, 12, -1}) {
        SetBlend(mode, 128);
        EXPECT_TRUE(untouched(dest, source.get(), 0.3f, 1.0f, 0)) << mode;
    }
    for (int mode : {1, 2}) {
        SetBlend(mode, 0);
        EXPECT_TRUE(untouched(dest, source.get(), 0.3f, 1.0f, 0)) << mode;
    }
    SetBlend(0, 0);
    g_DrawSettings.drawArea = {14, 0, 14, 16};
    EXPECT_TRUE(untouched(dest, source.get(), 0.3f, 1.0f, 0));
    SetBlend(0, 0);
    EXPECT_FALSE(untouched(dest, source.get(), 0.3f, 1.0f, 0));
}

// One source pixel drawn onto destination pixel (0, 0), by the rotated kernel (a 1 x 1 source
// at angle 0) or by the triangle kernel (a triangle whose only pixel inside the source is it).
uint32_t Texel(bool triangle, TestImage& source, uint32_t destination, int trans,
               const MEMIMG* blend = nullptr) {
    TestImage dest(2, 1, source->base->colorType);
    dest.set(0, 0, destination);
    if (triangle) {
        TriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}};
        FillMemImgTriangle(dest.get(), source.get(), v, trans, blend, 0);
    } else {
        BlitMemImgRotated(dest.get(), source.get(), 0, 0, 0.0f, 1.0f, trans, 0, blend);
    }
    return dest.get(0, 0);
}

TEST(Rotate, TexelRulesOfBothTexturedKernels) {
    for (bool triangle : {false, true}) {
        SCOPED_TRACE(triangle ? "triangle" : "rotated");
        // 32-bit alpha source, mode 0: without the flag a = 255 still weighs (255 over 0 gives
        // 254, X kept); with it the texel is copied whole.
        SetBlend(0, 0);
        TestImage alpha32(1, 1, kMemImgX8R8G8B8, 0, 1);
        alpha32.set(0, 0, 0xFFFFFFFF);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11000000, 0), 0x11FEFEFEu);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11000000, 1), 0xFFFFFFFFu);
        // Alpha 0 with the flag: skipped in mode 0, blackening in mode 4, kept in modes 10, 11.
        alpha32.set(0, 0, 0x00FFFFFF);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11223344, 1), 0x11223344u);
        SetBlend(4, 0);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11223344, 1), 0x11000000u);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11223344, 0), 0x11000000u);
        SetBlend(10, 200);
        EXPECT_EQ(Texel(triangle, alpha32, 0x11223344, 1), 0x11223344u);

        // 16-bit alpha source: 0xFFFF at a = 255 without the flag gives 0xF7DE; mode 4 at a = 0
        // turns the pixel black with or without the flag.
        SetBlend(0, 0);
        TestImage alpha16(1, 1, kMemImgR5G6B5, 0, 1);
        alpha16.set(0, 0, 0x00FFFFFF);
        EXPECT_EQ(Texel(triangle, alpha16, 0, 0), 0xF7DEu);
        EXPECT_EQ(Texel(triangle, alpha16, 0, 1), 0xFFFFu);
        SetBlend(4, 0);
        alpha16.set(0, 0, 0x0000FFFF);
        EXPECT_EQ(Texel(triangle, alpha16, 0x1234, 1), 0u);
        EXPECT_EQ(Texel(triangle, alpha16, 0x1234, 0), 0u);

        // The transparent value is compared whole: beyond 16 bits it matches nothing.
        SetBlend(0, 0);
        TestImage keyed16(1, 1, kMemImgR5G6B5, 0, 0, 0, 0x10ABC);
        keyed16.set(0, 0, 0x0ABC);
        EXPECT_EQ(Texel(triangle, keyed16, 0, 1), 0x0ABCu);
        keyed16->base->transparentColor = 0x0ABC;
        EXPECT_EQ(Texel(triangle, keyed16, 7, 1), 7u);
        EXPECT_EQ(Texel(triangle, keyed16, 7, 0), 0x0ABCu);

        // Palette sources: the index is the key (256 matches none); mode 3 draws at parameter 0.
        TestImage palette16(1, 1, kMemImgR5G6B5, 1, 0, 0, 256);
        palette16.setPalette16(0, 0x0000);
        palette16.set(0, 0, 0);
        EXPECT_EQ(Texel(triangle, palette16, 0x1234, 1), 0u);
        palette16->base->transparentColor = 0;
        EXPECT_EQ(Texel(triangle, palette16, 0x1234, 1), 0x1234u);
        SetBlend(3, 0);
        EXPECT_EQ(Texel(triangle, palette16, 0x1234, 0), 0x1A14u);
        EXPECT_EQ(Texel(triangle, palette16, 0x5555, 0), 0x5D55u);
        TestImage palette32(1, 1, kMemImgX8R8G8B8, 1);
        palette32.setPalette32(0, 0x00FFFFFF);
        palette32.set(0, 0, 0);
        EXPECT_EQ(Texel(triangle, palette32, 0x77808080, 0), 0x00818180u);
        // Direct sources draw nothing in mode 3 at parameter 0.
        TestImage direct16(1, 1, kMemImgR5G6B5);
        direct16.set(0, 0, 0xFFFF);
        EXPECT_EQ(Texel(triangle, direct16, 0x1234, 0), 0x1234u);

        // Mode 0 with a blend image of weight 255: 0xF800 over 0 gives 0xF000.
        SetBlend(0, 0);
        TestImage blend(1, 1, kMemImgChannel8);
        blend.set(0, 0, 255);
        SetBlendImageTable(0, 255);
        ASSERT_EQ(g_MemImgTables.blendImageMap[255], 255);
        direct16.set(0, 0, 0xF800);
        EXPECT_EQ(Texel(triangle, direct16, 0, 0, blend.get()), 0xF000u);
        SetBlendImageTable(0, 0);
    }
}

// Random draws against the exact rules, tiny scales among them (a few ten-thousandths, where the
// row steps exceed the 32-bit range of their difference). Mode 0 copies the texel; modes 3 and 4
// give what the unscaled blit of that texel gives, and every other pixel stays untouched.
TEST(Rotate, AgreesWithTheExactRules) {
    std::mt19937 random(5);
    auto uniform = [&](double low, double high) {
        return low + (high - low) * (random() / 4294967296.0);
    };
    int drawnCalls = 0, tinyDrawn = 0;
    for (int round = 0; round < 3000; ++round) {
        int mode = round % 3 == 0 ? 0 : round % 3 == 1 ? 3 : 4;
        SetBlend(mode, 255);
        int type = round % 2;
        int w = 1 + random() % 20, h = 1 + random() % 20;
        TestImage source(w, h, type);
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx)
                source.set(xx, yy, type ? (0x01000000u | yy << 8 | xx) : (0x8000u | yy << 5 | xx));
        bool tiny = round % 4 == 0;
        float angle = static_cast<float>(uniform(-7, 7));
        if (tiny && round % 8 == 0) angle = static_cast<float>((int(random() % 9) - 4) * M_PI_2);
        float scale = tiny ? static_cast<float>(std::exp(uniform(std::log(1e-4), std::log(3e-3))))
                           : static_cast<float>(uniform(0.4, 3));
        int cx = 4 + random() % 56, cy = 4 + random() % 56;
        if (random() % 4 == 0)
            g_DrawSettings.drawArea = {int(random() % 20), int(random() % 20), 40 + int(random() % 30),
                                       40 + int(random() % 30)};
        TestImage dest(64, 64, type);
        uint32_t background = type ? 0x00FFFFFFu : 0xFFFFu;
        dest.fill(background);
        BlitMemImgRotated(dest.get(), source.get(), cx, cy, angle, scale, 0, 0, nullptr);
        std::vector<ReferencePixel> expected = ReferenceRotation(64, 64, w, h, cx, cy, angle, scale);
        drawnCalls += !expected.empty();
        tinyDrawn += tiny && !expected.empty();
        std::vector<uint32_t> want(64 * 64, background);
        for (const ReferencePixel& p : expected) {
            uint32_t texel = source.get(p.u, p.v);
            if (mode != 0) {
                // The blend of one texel over the background, by the unscaled blit (without its
                // per-byte saturation of the MMX-usable flag, which the rotated draw lacks).
                TestImage one(1, 1, type), over(1, 1, type);
                one.set(0, 0, texel);
                over.set(0, 0, background);
                V_RECT area = g_DrawSettings.drawArea;
                int mmx = GetMmxFlag();
                g_DrawSettings.drawArea = {0, 0, 1, 1};
                SetMmxFlag(0);
                BlitMemImg(over.get(), one.get(), 0, 0, 0, nullptr);
                SetMmxFlag(mmx);
                g_DrawSettings.drawArea = area;
                texel = over.get(0, 0);
            }
            want[p.y * 64 + p.x] = texel;
        }
        for (int yy = 0; yy < 64; ++yy)
            for (int xx = 0; xx < 64; ++xx)
                ASSERT_EQ(dest.get(xx, yy), want[yy * 64 + xx])
                    << "round " << round << " pixel " << xx << "," << yy << " angle " << angle
                    << " scale " << scale << " source " << w << "x" << h << " centre " << cx << ","
                    << cy << " area " << g_DrawSettings.drawArea.left << "," << g_DrawSettings.drawArea.top
                    << "," << g_DrawSettings.drawArea.right << "," << g_DrawSettings.drawArea.bottom;
    }
    EXPECT_GT(drawnCalls, 2000);
    EXPECT_GT(tinyDrawn, 60);
}

// At a tiny scale only the centre pixel reaches the source, and it takes the centre texel: the
// row steps span more than half the 32-bit range.
TEST(Rotate, TinyScaleDrawsTheCentreTexel) {
    for (int type : {0, 1}) {
        SetBlend(0, 0);
        TestImage source(9, 7, type);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) source.set(x, y, 0x100u | y << 4 | x);
        TestImage dest(40, 40, type);
        dest.fill(0);
        BlitMemImgRotated(dest.get(), source.get(), 20, 21, 0.0f, 0.0005f, 0, 0, nullptr);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(dest.get(x, y), x == 20 && y == 21 ? 0x134u : 0u) << type << " " << x << "," << y;
    }
}

// The set-ups of recent angles and scales are kept between calls: a draw gives the same pixels
// whichever angle, source or scale the call before it used (angles next to each other, of
// opposite sign, both zeros).
TEST(Rotate, DrawDoesNotDependOnTheCallBefore) {
    SetBlend(0, 0);
    TestImage first(16, 16, kMemImgR5G6B5), second(9, 7, kMemImgR5G6B5);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) first.set(x, y, 0x8000 | y << 5 | x);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) second.set(x, y, 0x4000 | y << 5 | x);
    const float base = 0.7f;
    const float angles[] = {base, std::nextafter(base, 1.0f), -base, 0.0f, -0.0f, 2.5f, base};
    auto draw = [&](TestImage& dest, TestImage& source, float angle, float scale) {
        BlitMemImgRotated(dest.get(), source.get(), 20, 18, angle, scale, 1, 0, nullptr);
    };
    for (float angle : angles) {
        for (float scale : {0.5f, 1.3f}) {
            // Fresh: after a call at an unrelated angle that draws nothing of note.
            TestImage scratch(40, 40, kMemImgR5G6B5), fresh(40, 40, kMemImgR5G6B5);
            draw(scratch, second, 4.0f, 2.0f);
            fresh.fill(0);
            draw(fresh, first, angle, scale);
            // After each other angle, with the other source and scale.
            for (float before : angles) {
                TestImage dest(40, 40, kMemImgR5G6B5);
                dest.fill(0);
                draw(scratch, second, before, 2.0f - scale);
                draw(dest, first, angle, scale);
                ASSERT_EQ(dest.snapshot(), fresh.snapshot()) << angle << " after " << before;
            }
            // Unturned at scale one after this angle: the unscaled blit's pixels.
            TestImage turned(40, 40, kMemImgR5G6B5), plain(40, 40, kMemImgR5G6B5);
            turned.fill(0);
            plain.fill(0);
            BlitMemImgRotated(turned.get(), second.get(), 20, 18, 0.0f, 1.0f, 1, 0, nullptr);
            BlitMemImg(plain.get(), second.get(), 20 - 9 / 2, 18 - 7 / 2, 1, nullptr);
            ASSERT_EQ(turned.snapshot(), plain.snapshot()) << "after " << angle;
            // The same angle twice in a row draws the same again.
            TestImage again(40, 40, kMemImgR5G6B5);
            again.fill(0);
            draw(again, first, angle, scale);
            ASSERT_EQ(again.snapshot(), fresh.snapshot()) << angle;
        }
    }
}

} // namespace
