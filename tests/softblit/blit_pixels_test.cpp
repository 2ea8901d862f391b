// Worked pixel values of every blend mode on 32-bit and 16-bit images, and the differences
// between the variants of one mode.
#include <gtest/gtest.h>

#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"

namespace {

struct Pixel {
    uint32_t source;
    uint32_t destination;
};

// Draws a one-row source of the given pixels onto a destination row and returns the result.
std::vector<uint32_t> Draw(int type, std::vector<Pixel> pixels, int trans = 0, int alpha = 0,
                           uint32_t key = 0, const MEMIMG* blend = nullptr) {
    int n = static_cast<int>(pixels.size());
    TestImage source(n, 1, type, 0, alpha, 0, key);
    TestImage destination(n, 1, type);
    for (int i = 0; i < n; ++i) {
        source.set(i, 0, pixels[i].source);
        destination.set(i, 0, pixels[i].destination);
    }
    BlitMemImg(destination.get(), source.get(), 0, 0, trans, blend);
    std::vector<uint32_t> out;
    for (int i = 0; i < n; ++i) out.push_back(destination.get(i, 0));
    return out;
}

uint32_t Draw1(int type, uint32_t s, uint32_t d, int trans = 0, int alpha = 0) {
    return Draw(type, {{s, d}}, trans, alpha)[0];
}

TEST(BlitPixels32, ModeWorkedValues) {
    SetBlend(1, 64);
    EXPECT_EQ(Draw1(1, Rgb32(0, 0, 200), Rgb32(0, 0, 100)) & 0xFF, 125u);
    SetBlend(2, 128);
    EXPECT_EQ(Draw1(1, Rgb32(0, 0, 255), Rgb32(0, 0, 200)) & 0xFF, 255u);
    // Mode 1 at 127, 128 (half-sum, top byte cleared) and 129.
    SetBlend(1, 127);
    EXPECT_EQ(Draw1(1, Rgb32(3, 3, 3), Rgb32(1, 1, 1, 0x7F)), Rgb32(1, 1, 1, 0x7F));
    SetBlend(1, 128);
    EXPECT_EQ(Draw1(1, Rgb32(3, 3, 3), Rgb32(1, 1, 1, 0x7F)), Rgb32(1, 1, 1, 0));
    SetBlend(1, 129);
    EXPECT_EQ(Draw1(1, Rgb32(3, 3, 3), Rgb32(1, 1, 1, 0x7F)), Rgb32(2, 2, 2, 0x7F));
    // Mode 1 at 255 is the plain copy, whole pixel.
    SetBlend(1, 255);
    EXPECT_EQ(Draw1(1, 0xAB123456, 0x00000000), 0xAB123456u);
    // Mode 4 on white gives white; mode 10 at 0 leaves, at 255 misses the inverse by a little.
    SetBlend(4, 0);
    EXPECT_EQ(Draw1(1, 0x00FFFFFF, 0x00FFFFFF), 0x00FEFEFEu);
    SetBlend(10, 0);
    EXPECT_EQ(Draw1(1, Rgb32(9, 8, 7), Rgb32(1, 2, 3)), Rgb32(1, 2, 3));
    SetBlend(10, 255);
    EXPECT_EQ(Draw1(1, 0x00FFFFFF, 0), 0u);
    EXPECT_EQ(Draw1(1, 0, 0), Rgb32(254, 254, 254));
    // Mode 11 moves toward s * d / 256.
    SetBlend(11, 255);
    EXPECT_EQ(Draw1(1, Rgb32(128, 0, 255), Rgb32(200, 100, 255)), Rgb32(100, 0, 254));
}

TEST(BlitPixels32, AddAndSubtractAtFullStrength) {
    // Source (B1, G3, R3) on (B1, G1, R253) at 255: MMX per byte, or the packed form without
    // the low-bit term.
    uint32_t s = Rgb32(3, 3, 1), d = Rgb32(253, 1, 1);
    SetBlend(2, 255);
    SetMmxFlag(1);
    EXPECT_EQ(Draw1(1, s, d), Rgb32(255, 4, 2));
    SetMmxFlag(0);
    EXPECT_EQ(Draw1(1, s, d), Rgb32(254, 2, 2));
    // At 254 the ordinary packed add keeps the operands' low bits.
    SetBlend(2, 254);
    EXPECT_EQ(Draw1(1, s, d), Rgb32(255, 3, 1));
    // The MMX forms saturate the top bytes too.
    SetBlend(2, 255);
    SetMmxFlag(1);
    EXPECT_EQ(Draw1(1, 0x80000000, 0x90000000), 0xFF000000u);
    SetBlend(3, 255);
    EXPECT_EQ(Draw1(1, 0x10102030, 0x30201010), 0x20100000u);
    SetMmxFlag(0);
    EXPECT_EQ(Draw1(1, 0x10102030, 0x30201010), 0x00100000u);
    SetMmxFlag(1);
}

TEST(BlitPixels32, PaletteSubtractAtZeroRewritesEveryPixel) {
    SetBlend(3, 0);
    TestImage source(2, 1, 1, 1, 0, 0, 5);
    TestImage destination(2, 1, 1);
    source.setPalette32(0, 0x00FFFFFF);
    source.set(0, 0, 0);
    source.set(1, 0, 5); // the key
    destination.set(0, 0, Rgb32(0x10, 0x20, 0x30, 0x44));
    destination.set(1, 0, Rgb32(0x10, 0x20, 0x30, 0x44));
    BlitMemImg(destination.get(), source.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), Rgb32(0x11, 0x21, 0x30, 0));
    EXPECT_EQ(destination.get(1, 0), Rgb32(0x10, 0x20, 0x30, 0x44));
    // A direct source at parameter 0 draws nothing.
    EXPECT_EQ(Draw1(1, 0x00FFFFFF, 0x44102030), 0x44102030u);
}

TEST(BlitPixels32, AlphaAndKeyRules) {
    SetBlend(0, 0);
    // Unkeyed plain copy copies the alpha byte and ignores it.
    EXPECT_EQ(Draw1(1, 0x00102030, 0x00FFFFFF, 0, 1), 0x00102030u);
    // Keyed: a = 0 skipped, a = 255 copied whole, others blended on three channels.
    auto keyed = Draw(1, {{0x00102030, 0x55FFFFFF}, {0xFF102030, 0x55FFFFFF}, {0x80FF0000, 0x55000000}},
                      1, 1);
    EXPECT_EQ(keyed[0], 0x55FFFFFFu);
    EXPECT_EQ(keyed[1], 0xFF102030u);
    EXPECT_EQ(keyed[2], 0x55000000u | (255u * 128 / 256) << 16);
    // With a bright colour the same unkeyed source is weighted by its alpha.
    SetBlend(0, 0, 0x00FFFFFE);
    EXPECT_EQ(Draw1(1, 0x00102030, 0x77FFFFFF, 0, 1), 0x77FFFFFFu);
    // A key pixel whose colour matches but whose top byte differs is drawn.
    SetBlend(0, 0);
    auto key = Draw(1, {{0x00123456, 0}, {0x01123456, 0}}, 1, 0, 0x00123456);
    EXPECT_EQ(key[0], 0u);
    EXPECT_EQ(key[1], 0x01123456u);
    // Multiply blackens where a = 0, keyed or not; the top byte stays.
    SetBlend(4, 0);
    EXPECT_EQ(Draw1(1, 0x00FFFFFF, 0x66FFFFFF, 0, 1), 0x66000000u);
    EXPECT_EQ(Draw1(1, 0x00FFFFFF, 0x66FFFFFF, 1, 1), 0x66000000u);
}

TEST(BlitPixels32, BlendImageWeighsTheSource) {
    SetBlend(0, 0);
    TestImage blend(2, 1, 2);
    blend.set(0, 0, 0);
    blend.set(1, 0, 255);
    SetBlendImageTable(128, 0); // 0 below 128, 255 from 129
    auto out = Draw(1, {{0x00FFFFFF, 0}, {0x00FFFFFF, 0}}, 0, 0, 0, blend.get());
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], Rgb32(254, 254, 254));
    SetBlendImageTable(0, 0);
}

TEST(BlitPixels16, ModeWorkedValues) {
    // Mode 1 at 200: the mix table with white bright, the step with any other.
    SetBlend(1, 200);
    EXPECT_EQ(Draw1(0, Rgb16(0, 63, 0), 0) >> 5 & 63, 50u);
    SetBlend(1, 200, 0x00FFFEFF);
    EXPECT_EQ(Draw1(0, Rgb16(0, 63, 0), 0) >> 5 & 63, 48u);
    SetBlend(2, 128);
    EXPECT_EQ(Draw1(0, 0xFFFF, 0), Rgb16(15, 31, 15));
    SetBlend(3, 128);
    EXPECT_EQ(Draw1(0, 0xFFFF, 0xFFFF), Rgb16(17, 32, 16));
    SetBlend(4, 0);
    EXPECT_EQ(Draw1(0, 0xFFFF, 0xFFFF), Rgb16(30, 62, 30));
    // Mode 1 without modifiers: parameters 1 to 3 change nothing, 252 to 254 copy.
    for (int p : {1, 2, 3}) {
        SetBlend(1, p);
        EXPECT_EQ(Draw1(0, 0xFFFF, 0x1234), 0x1234u) << p;
    }
    for (int p : {252, 253, 254}) {
        SetBlend(1, p);
        EXPECT_EQ(Draw1(0, 0xBEEF, 0x1234), 0xBEEFu) << p;
    }
    const std::pair<int, uint32_t> sums[] = {{127, 1}, {128, 1}, {129, 2}};
    for (auto [p, blue] : sums) {
        SetBlend(1, p);
        EXPECT_EQ(Draw1(0, 3, 1) & 31, blue) << p;
    }
    // Mode 10 without a blend image reaches the inverse at 255.
    SetBlend(10, 255);
    EXPECT_EQ(Draw1(0, 0x1234, 0xFFFF), 0xEDCBu);
}

TEST(BlitPixels16, PairFormsAtFullStrength) {
    SetBlend(2, 255);
    auto pair = Draw(0, {{0xF800, 0xF800}, {0, 0}});
    EXPECT_EQ(pair[0], 0xF800u);
    EXPECT_EQ(pair[1], 0x0001u);
    // At 254 the per-pixel form ORs in the operands' low bits; the pair form does not.
    auto full = Draw(0, {{0, Rgb16(1, 1, 0)}, {0, 0}});
    SetBlend(2, 254);
    auto nearly = Draw(0, {{0, Rgb16(1, 1, 0)}, {0, 0}});
    EXPECT_EQ(full[0], Rgb16(0, 0, 0));
    EXPECT_EQ(nearly[0], Rgb16(1, 1, 0));
    // Subtract pair: a borrow out of the left red clears the right blue's low bit.
    SetBlend(3, 255);
    auto sub = Draw(0, {{Rgb16(2, 0, 0), Rgb16(0, 0, 0)}, {0, Rgb16(0, 0, 3)}});
    EXPECT_EQ(sub[0], 0u);
    EXPECT_EQ(sub[1], Rgb16(1, 0, 2)); // red 0 - 0 leaves its low bit set
    // A keyed pair with one key pixel draws the other alone (single form, no carry in).
    SetBlend(2, 255);
    auto keyed = Draw(0, {{0x0001, 0xF800}, {0xF800, 0}}, 1, 0, 0x0001);
    EXPECT_EQ(keyed[0], 0xF800u);
    EXPECT_EQ(keyed[1], 0xF000u); // alone: red 31 + 0 keeps no low bit
    // An odd last pixel is drawn alone.
    auto odd = Draw(0, {{0, 0}, {0, 0}, {0xF800, 0xF800}});
    EXPECT_EQ(odd[2], 0xF800u);
}

TEST(BlitPixels16, PaletteSubtractAtZero) {
    SetBlend(3, 0);
    TestImage source(3, 1, 0, 1, 0, 0, 7);
    TestImage destination(3, 1, 0);
    source.setPalette16(0, 0xFFFF);
    destination.setRow(0, {0x0000, 0xFFFF, 0x1234});
    source.setRow(0, {0, 0, 7});
    BlitMemImg(destination.get(), source.get(), 0, 0, 1, nullptr);
    EXPECT_EQ(destination.get(0, 0), 0x0800u);
    EXPECT_EQ(destination.get(1, 0), 0xFFDFu);
    EXPECT_EQ(destination.get(2, 0), 0x1234u);
}

TEST(BlitPixels16, AlphaSources) {
    // 4-byte pixels: colour, then alpha.
    auto alphaPixel = [](uint32_t colour, uint32_t a) { return colour | a << 16; };
    // Keyed a = 0: skipped in modes 0, 1, 2, 3, 10, unchanged in 11, black in 4.
    for (int mode : {0, 1, 2, 3, 10, 11}) {
        SetBlend(mode, 200);
        EXPECT_EQ(Draw1(0, alphaPixel(0xFFFF, 0), 0x1234, 1, 1), 0x1234u) << mode;
    }
    SetBlend(4, 200);
    EXPECT_EQ(Draw1(0, alphaPixel(0xFFFF, 0), 0x1234, 1, 1), 0u);
    // Mode 11 keeps five more bits of the green product with white bright only.
    SetBlend(11, 255);
    EXPECT_EQ(Draw1(0, alphaPixel(Rgb16(0, 1, 0), 129), Rgb16(0, 2, 0), 0, 1) >> 5 & 63, 1u);
    SetBlend(11, 255, 0x00FFFFFE);
    EXPECT_EQ(Draw1(0, alphaPixel(Rgb16(0, 1, 0), 129), Rgb16(0, 2, 0), 0, 1) >> 5 & 63, 0u);
    // Mode 1 keyed a = 255 steps by the parameter instead of mixing.
    SetBlend(1, 200);
    EXPECT_EQ(Draw1(0, alphaPixel(Rgb16(10, 20, 5), 255), Rgb16(20, 40, 25), 1, 1),
              Rgb16(13, 25, 10));
    // Modes 2 and 3 scale by the alpha before the bright colour without a blend image.
    SetBlend(2, 255, 0x00FFFFFE);
    uint32_t u = (31 * 200) >> 8;  // 24
    uint32_t expected = u * 254 / 255; // 23
    EXPECT_EQ(Draw1(0, alphaPixel(Rgb16(0, 0, 31), 200), 0, 0, 1) & 31, expected);
}

} // namespace
