// The stretched and mirrored blit: sampling rules, mirroring, clipping and its own pixel rules.
#include <gtest/gtest.h>

#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"

namespace {

constexpr uint32_t kGeneralBright = 0x00FFFFFE; // not white: the general sampling rule

// Source columns shown by a one-row stretch of an n-pixel source into (x1, 0, x2, 1).
std::vector<int> Columns(int n, int x1, int x2, uint32_t bright) {
    SetBlend(0, 0, bright);
    TestImage source(n, 1, 1);
    for (int i = 0; i < n; ++i) source.set(i, 0, static_cast<uint32_t>(i + 1) << 8);
    int width = std::abs(x2 - x1);
    TestImage destination(width, 1, 1);
    destination.fill(0);
    V_RECT rect = {x1, 0, x2, 1};
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    std::vector<int> out;
    for (int x = 0; x < width; ++x) out.push_back(static_cast<int>(destination.get(x, 0) >> 8) - 1);
    return out;
}

std::vector<int> Prefix(std::vector<int> v, size_t n) {
    v.resize(n);
    return v;
}

TEST(BlitMemImgStretched, GeneralAndStrictSampling) {
    using V = std::vector<int>;
    EXPECT_EQ(Columns(8, 0, 4, kGeneralBright), (V{0, 2, 4, 6}));
    EXPECT_EQ(Columns(8, 0, 4, 0x00FFFFFF), (V{0, 1, 3, 5}));
    EXPECT_EQ(Columns(8, 4, 0, kGeneralBright), (V{7, 5, 3, 1}));
    EXPECT_EQ(Columns(8, 4, 0, 0x00FFFFFF), (V{7, 6, 4, 2}));
    EXPECT_EQ(Prefix(Columns(640, 0, 480, kGeneralBright), 8), (V{0, 1, 2, 4, 5, 6, 8, 9}));
    EXPECT_EQ(Prefix(Columns(640, 0, 480, 0x00FFFFFF), 8), (V{0, 1, 2, 3, 5, 6, 7, 9}));
    for (uint32_t bright : {kGeneralBright, 0x00FFFFFFu}) {
        EXPECT_EQ(Columns(5, 0, 3, bright), (V{0, 1, 3}));
        EXPECT_EQ(Columns(4, 0, 8, bright), (V{0, 0, 1, 1, 2, 2, 3, 3}));
        EXPECT_EQ(Columns(3, 0, 5, bright), (V{0, 0, 1, 1, 2}));
    }
}

TEST(BlitMemImgStretched, RowsSampleLikeColumnsAndBothAxesMirror) {
    SetBlend(0, 0, kGeneralBright);
    TestImage source(2, 8, 1);
    for (int y = 0; y < 8; ++y) source.setRow(y, {static_cast<uint32_t>(y + 1) << 8, 0x100000});
    TestImage destination(2, 4, 1);
    destination.fill(0);
    V_RECT rect = {2, 4, 0, 0}; // both axes reversed
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    const int rows[] = {7, 5, 3, 1};
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(destination.get(1, y) >> 8, static_cast<uint32_t>(rows[y] + 1)) << y;
        EXPECT_EQ(destination.get(0, y), 0x100000u);
    }
}

TEST(BlitMemImgStretched, SameSizeIsTheUnscaledBlitAndReversedIsItsMirror) {
    SetBlend(1, 128);
    TestImage source(3, 2, 1, 0, 0, 1, 0);
    source.setRow(0, {Rgb32(3, 3, 3), 0, Rgb32(9, 9, 9)});
    source.setRow(1, {Rgb32(5, 5, 5), Rgb32(7, 7, 7), 0});
    UpdateMemImgRunCode(source.get(), 3, 2);
    TestImage a(5, 4, 1), b(5, 4, 1);
    a.fill(Rgb32(1, 1, 1, 0x7F));
    b.fill(Rgb32(1, 1, 1, 0x7F));
    V_RECT rect = {1, 1, 4, 3};
    BlitMemImgStretched(a.get(), source.get(), &rect, 1, nullptr);
    BlitMemImg(b.get(), source.get(), 1, 1, 1, nullptr);
    EXPECT_EQ(a.snapshot(), b.snapshot());
    EXPECT_EQ(a.get(1, 1), Rgb32(2, 2, 2, 0x7F)); // the run road's mix

    SetBlend(0, 0);
    TestImage mirrored(3, 2, 1);
    V_RECT reversed = {3, 0, 0, 2};
    BlitMemImgStretched(mirrored.get(), source.get(), &reversed, 0, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(mirrored.get(x, y), source.get(2 - x, y));
}

TEST(BlitMemImgStretched, ClippingKeepsTheUnclippedSamples) {
    SetBlend(0, 0, kGeneralBright);
    TestImage source(7, 5, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) source.set(x, y, static_cast<uint32_t>(y * 16 + x) << 8);
    for (bool mirror : {false, true}) {
        V_RECT rect = mirror ? V_RECT{17, 0, 0, 13} : V_RECT{0, 0, 17, 13};
        TestImage whole(17, 13, 1);
        whole.fill(0);
        BlitMemImgStretched(whole.get(), source.get(), &rect, 0, nullptr);
        TestImage clipped(17, 13, 1);
        clipped.fill(0);
        g_DrawSettings.drawArea = {5, 3, 11, 10};
        BlitMemImgStretched(clipped.get(), source.get(), &rect, 0, nullptr);
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 17; ++x) {
                bool inside = x >= 5 && x < 11 && y >= 3 && y < 10;
                EXPECT_EQ(clipped.get(x, y), inside ? whole.get(x, y) : 0u) << x << "," << y;
            }
        }
        // The first drawn column of the mirrored draw: width - 1 - floor(ox * 65536 / qx).
        if (mirror) {
            int qx = 17 * 65536 / 7;
            EXPECT_EQ((clipped.get(5, 3) >> 8) & 15, static_cast<uint32_t>(6 - 5 * 65536 / qx));
        }
    }
}

TEST(BlitMemImgStretched, OwnPixelRules) {
    TestImage destination(2, 1, 1);
    TestImage source(1, 1, 1);
    V_RECT rect = {0, 0, 2, 1};
    // Mode 1 at 128 mixes and keeps the top byte (no half-sum).
    SetBlend(1, 128);
    source.set(0, 0, Rgb32(3, 3, 3));
    destination.fill(Rgb32(1, 1, 1, 0x7F));
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(2, 2, 2, 0x7F));
    // Mode 3 at 255: per byte with the MMX flag, the packed subtract (top byte 0) without.
    SetBlend(3, 255);
    source.set(0, 0, 0x10102030);
    SetMmxFlag(1);
    destination.fill(0x30201010);
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(1, 0), 0x20100000u);
    SetMmxFlag(0);
    destination.fill(0x30201010);
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(1, 0), 0x00100000u);
    // Mode 2 at 255: the ordinary packed add, no special form.
    SetBlend(2, 255);
    SetMmxFlag(1);
    source.set(0, 0, Rgb32(3, 3, 1));
    destination.fill(Rgb32(253, 1, 1));
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(255, 3, 2));
    // Alpha sources: mode 0 unkeyed blends by the alpha; mode 4 keyed skips a = 0.
    TestImage alpha(1, 1, 1, 0, 1);
    SetBlend(0, 0);
    alpha.set(0, 0, 0xFFFFFFFF);
    destination.fill(0x44000000);
    BlitMemImgStretched(destination.get(), alpha.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x44FEFEFEu);
    SetBlend(4, 0);
    alpha.set(0, 0, 0x00FFFFFF);
    destination.fill(0x00FFFFFF);
    BlitMemImgStretched(destination.get(), alpha.get(), &rect, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x00FFFFFFu);
    BlitMemImgStretched(destination.get(), alpha.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0u);
    // 16-bit mode 1 steps by the parameter for every value.
    SetBlend(1, 200);
    TestImage source16(1, 1, 0), destination16(2, 1, 0);
    source16.set(0, 0, Rgb16(10, 20, 5));
    destination16.fill(Rgb16(20, 40, 25));
    BlitMemImgStretched(destination16.get(), source16.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination16.get(1, 0), Rgb16(13, 25, 10));
}

TEST(BlitMemImgStretched, Refusals) {
    SetBlend(0, 0);
    TestImage source(4, 4, 1), destination(8, 8, 1), source16(4, 4, 0);
    source.fill(1);
    destination.fill(0xEE);
    auto before = destination.snapshot();
    V_RECT flat = {2, 0, 2, 8}, thin = {0, 3, 8, 3}, rect = {0, 0, 8, 8};
    BlitMemImgStretched(destination.get(), source.get(), &flat, 0, nullptr);
    BlitMemImgStretched(destination.get(), source.get(), &thin, 0, nullptr);
    BlitMemImgStretched(destination.get(), source.get(), nullptr, 0, nullptr);
    BlitMemImgStretched(destination.get(), source16.get(), &rect, 0, nullptr);
    V_RECT outside = {8, 8, 16, 16};
    BlitMemImgStretched(destination.get(), source.get(), &outside, 0, nullptr);
    for (int mode : {5, 9, -1, 12}) {
        SetBlend(mode, 100);
        BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    }
    SetBlend(1, 0);
    BlitMemImgStretched(destination.get(), source.get(), &rect, 0, nullptr);
    EXPECT_EQ(destination.snapshot(), before);
}

} // namespace
