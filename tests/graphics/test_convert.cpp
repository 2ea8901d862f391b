// The pixel-format converter and the routines built on it.
#include <gtest/gtest.h>

#include <random>

#include "core/core_services.h"
#include "graphics/graphics_services.h"
#include "platform/gdi/gdi_dib.h"
#include "test_image_util.h"

using namespace imagetest;

namespace {

ColorFormat Format(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f = {};
    SetColorFormatFromMasks(&f, depth, r, g, b, a);
    return f;
}

const ColorFormat k565 = Format(16, 0xF800, 0x7E0, 0x1F, 0);
const ColorFormat k555 = Format(16, 0x7C00, 0x3E0, 0x1F, 0);
const ColorFormat k1555 = Format(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
const ColorFormat k4444 = Format(16, 0xF00, 0xF0, 0xF, 0xF000);
const ColorFormat k888 = Format(24, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat kX888 = Format(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat k8888 = Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);

struct Options {
    int mirror = 0, toAlpha = 0, dither = 0, alphaOnly = 0, alphaFromRed = 0, skip = 0, remap = 0;
    uint32_t key = 0;
    const void* alpha = nullptr;
    int alphaPitch = 0;
    const ColorFormat* alphaFormat = nullptr;
};

template <typename D, typename S>
int Convert(D* dst, int dstPitch, const ColorFormat& df, const S* src, int srcPitch,
            const ColorFormat& sf, int w, int h, const Options& o = {}, int dx = 0, int dy = 0,
            int sx = 0, int sy = 0) {
    V_RECT rect = {sx, sy, sx + w, sy + h};
    return ConvertPixelFormatRect(dst, dstPitch, &df, src, srcPitch, &sf, o.alpha, o.alphaPitch,
                                  o.alphaFormat, dx, dy, &rect, o.mirror, o.toAlpha, o.key,
                                  o.dither, o.alphaOnly, o.alphaFromRed, o.skip, o.remap);
}

uint32_t One(const ColorFormat& df, uint32_t value, const ColorFormat& sf, const Options& o = {}) {
    uint8_t src[4], dst[4] = {};
    std::memcpy(src, &value, 4);
    Convert(dst, 4, df, src, 4, sf, 1, 1, o);
    uint32_t out = 0;
    std::memcpy(&out, dst, df.bytesPerPixel);
    return out;
}

}  // namespace

TEST(Convert, EmptyRectangleAndPlainCopies) {
    uint32_t src[3] = {1, 2, 3}, dst[3] = {9, 9, 9};
    EXPECT_EQ(Convert(dst, 12, kX888, src, 12, kX888, 0, 1), -1);
    EXPECT_EQ(Convert(dst, 12, kX888, src, 12, kX888, 3, 0), -1);
    EXPECT_EQ(dst[0], 9u);

    Options mirror;
    mirror.mirror = 1;
    EXPECT_EQ(Convert(dst, 12, kX888, src, 12, kX888, 3, 1, mirror), 0);
    EXPECT_EQ(dst[0], 3u);
    EXPECT_EQ(dst[1], 2u);
    EXPECT_EQ(dst[2], 1u);

    // Skipping the transparent colour leaves those pixels; with mirroring it is dropped.
    Options skip;
    skip.skip = 1;
    skip.key = 2;
    uint32_t out[3] = {7, 7, 7};
    Convert(out, 12, kX888, src, 12, kX888, 3, 1, skip);
    EXPECT_EQ(out[0], 1u);
    EXPECT_EQ(out[1], 7u);
    EXPECT_EQ(out[2], 3u);
    skip.mirror = 1;
    Convert(out, 12, kX888, src, 12, kX888, 3, 1, skip);
    EXPECT_EQ(out[0], 3u);
    EXPECT_EQ(out[1], 2u);
    EXPECT_EQ(out[2], 1u);

    // A sub-rectangle lands at the destination position.
    uint16_t grid[4][4] = {};
    uint16_t source[2][3] = {{1, 2, 3}, {4, 5, 6}};
    Convert(&grid[0][0], 8, k565, &source[0][0], 6, k565, 2, 2, {}, 2, 1, 1, 0);
    EXPECT_EQ(grid[1][2], 2);
    EXPECT_EQ(grid[1][3], 3);
    EXPECT_EQ(grid[2][2], 5);
    EXPECT_EQ(grid[2][3], 6);
    EXPECT_EQ(grid[0][2], 0);
}

TEST(Convert, FastPathValues) {
    EXPECT_EQ(One(k565, 0xFF8040, k888), 0xFC08u);
    EXPECT_EQ(One(kX888, 0xF800, k565), 0x00F80000u);
    EXPECT_EQ(One(kX888, 0xF80000, k888), 0xFFF80000u);
    EXPECT_EQ(One(k555, 0xFF8040, k888), 0x8000u | (31 << 10) | (16 << 5) | 8);
    EXPECT_EQ(One(k565, 0x12FF8040, kX888), 0xFC08u);
    EXPECT_EQ(One(k888, 0x07E0, k565), 0x00FC00u);
    EXPECT_EQ(One(k555, 0xFFFF, k565), 0x7FFFu);
    EXPECT_EQ(One(k565, 0x7FFF, k555), 0xFFFFu);
    EXPECT_EQ(One(k565, 0x0020, k555), 0x0040u | 0x0020u);  // lowest green bit repeated

    ColorFormat pal = {};
    SetColorFormatPalette8(&pal);
    pal.palette[5] = PaletteEntry{0x40, 0x80, 0xFF, 0x11};
    EXPECT_EQ(One(k565, 5, pal), 0xFC08u);
    EXPECT_EQ(One(kX888, 5, pal), 0xFFFF8040u);
    EXPECT_EQ(One(k555, 5, pal), 0x8000u | (31 << 10) | (16 << 5) | 8);
}

TEST(Convert, SixteenBitPairsGiveTheSameBitsWithAndWithoutMmx) {
    std::mt19937 random(7);
    uint16_t src[5][13];
    for (auto& row : src)
        for (auto& p : row) p = static_cast<uint16_t>(random());
    for (const ColorFormat* pair : {&k565, &k555}) {
        const ColorFormat& from = *pair;
        const ColorFormat& to = pair == &k565 ? k555 : k565;
        uint16_t a[5][13] = {}, b[5][13] = {};
        SetMmxFlag(1);
        Convert(&a[0][0], 26, to, &src[0][0], 26, from, 13, 5);
        SetMmxFlag(0);
        Convert(&b[0][0], 26, to, &src[0][0], 26, from, 13, 5);
        SetMmxFlag(1);
        EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) ASSERT_EQ(a[y][x], One(to, src[y][x], from));
    }
}

// Rows of every width up to 23, from a source column other than the first: the screen-format
// conversions give each pixel what a lone pixel gets, whatever part of the row it is in.
TEST(Convert, RowsGiveEachPixelItsOwnValue) {
    std::mt19937 random(11);
    uint8_t src[3][24 * 4];
    for (auto& row : src)
        for (auto& b : row) b = static_cast<uint8_t>(random());
    struct Pair {
        const ColorFormat* to;
        const ColorFormat* from;
    };
    for (Pair pair : {Pair{&k565, &k888}, Pair{&k565, &kX888}, Pair{&kX888, &k888}}) {
        const int sb = pair.from->bytesPerPixel, db = pair.to->bytesPerPixel;
        for (int w = 1; w <= 23; ++w) {
            uint8_t dst[3][24 * 4] = {};
            Convert(&dst[0][0], sizeof dst[0], *pair.to, &src[0][0], sizeof src[0], *pair.from, w, 3,
                    {}, 0, 0, 1, 0);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t in = 0, out = 0;
                    std::memcpy(&in, &src[y][(x + 1) * sb], sb);
                    std::memcpy(&out, &dst[y][x * db], db);
                    ASSERT_EQ(out, One(*pair.to, in, *pair.from)) << "width " << w << " x " << x;
                }
            EXPECT_EQ(dst[0][w * db], 0) << "width " << w;  // nothing written past the row
        }
    }
}

TEST(Convert, WideningKeepsFullScale) {
    // X1R5G5B5 to A8R8G8B8 takes the general path: 31 becomes 255, 16 becomes 131.
    EXPECT_EQ(One(k8888, (31 << 10) | (16 << 5), k555), 0xFFFF8300u);
    // A4R4G4B4 to A8R8G8B8 widens alpha too.
    EXPECT_EQ(One(k8888, 0x8F00, k4444), 0x88FF0000u);
    // Narrowing drops low bits.
    EXPECT_EQ(One(k4444, 0x80FF8040, k8888), 0x8F84u);
}

TEST(Convert, TransparentColourBecomesAlpha) {
    Options key;
    key.toAlpha = 1;
    key.key = 0x00FF00FF;
    // Same layout, 32 bits: unused bits are set before the comparison.
    EXPECT_EQ(One(k8888, 0x00FF00FF, kX888, key), 0x00FF00FFu);
    EXPECT_EQ(One(k8888, 0x00FF00FE, kX888, key), 0xFFFF00FEu);
    // 16-bit source with its unused top bit clear still matches.
    EXPECT_EQ(One(k1555, 0x7C1F, k555, key), 0x7C1Fu);
    EXPECT_EQ(One(k1555, 0x7C1E, k555, key), 0xFC1Eu);
    // Fast paths.
    EXPECT_EQ(One(k8888, 0xFF00FF, k888, key), 0x00FF00FFu);
    EXPECT_EQ(One(k8888, 0xFF00FE, k888, key), 0xFFFF00FEu);
    EXPECT_EQ(One(k1555, 0xF81F, k565, key), 0x7C1Fu);
    EXPECT_EQ(One(k1555, 0xF83F, k565, key), 0x7C1Fu);  // equal on 5 bits a channel
    EXPECT_EQ(One(k1555, 0xF85F, k565, key), 0xFC3Fu);
    ColorFormat pal = {};
    SetColorFormatPalette8(&pal);
    pal.palette[1] = PaletteEntry{0xFF, 0, 0xFF, 0};
    EXPECT_EQ(One(k8888, 1, pal, key), 0x00FF00FFu);
    EXPECT_EQ(One(k8888, 0, pal, key), 0xFF000000u);
    // General path (A4R4G4B4 from R5G6B5): the key compared on the source's own widths.
    EXPECT_EQ(One(k4444, 0xF81F, k565, key), 0x0F0Fu);
    EXPECT_EQ(One(k4444, 0xF800, k565, key), 0xFF00u);
    // Dropped when the source has alpha or with alpha from red.
    EXPECT_EQ(One(k8888, 0x80FF00FF, k8888, key), 0x80FF00FFu);
    key.alphaFromRed = 1;
    EXPECT_EQ(One(k8888, 0xFF00FF, k888, key), 0xFFFF00FFu);
}

TEST(Convert, AlphaFromSecondImageRedAndAlphaOnly) {
    uint8_t src[2][3] = {{1, 2, 3}, {4, 5, 6}};
    uint32_t alpha[2] = {0x00110000, 0x00EE0000};
    uint32_t dst[2] = {};
    Options o;
    o.alpha = alpha;
    o.alphaPitch = 8;
    o.alphaFormat = &kX888;
    Convert(dst, 8, k8888, &src[0][0], 6, k888, 2, 1, o);
    EXPECT_EQ(dst[0], 0x11030201u);
    EXPECT_EQ(dst[1], 0xEE060504u);
    // An alpha image without a format reads as all zero.
    o.alphaFormat = nullptr;
    Convert(dst, 8, k8888, &src[0][0], 6, k888, 2, 1, o);
    EXPECT_EQ(dst[1], 0x00060504u);
    o.alphaFormat = &kX888;
    // Ignored when the source has alpha of its own.
    uint32_t argb[2] = {0x7F000000, 0x80000000};
    Convert(dst, 8, k8888, argb, 8, k8888, 2, 1, o);
    EXPECT_EQ(dst[0], 0x7F000000u);

    Options red;
    red.alphaFromRed = 1;
    EXPECT_EQ(One(k8888, 0x00C01020, kX888, red), 0xC0C01020u);
    Options only;
    only.alphaOnly = 1;
    EXPECT_EQ(One(k8888, 0x40C01020, k8888, only), 0x40000000u);
    // Without alpha anywhere the destination alpha is full.
    EXPECT_EQ(One(k4444, 0x00FFFFFF, kX888), 0xFFFFu);
}

TEST(Convert, DitherSpreadsTheDroppedBits) {
    // Red 0x84 keeps 16 in five bits with 4 of 8 dropped.
    uint8_t src[4][4][3];
    for (auto& row : src)
        for (auto& p : row) p[0] = 0, p[1] = 0, p[2] = 0x84;
    uint16_t dst[4][4];
    auto redSum = [&]() {
        int sum = 0;
        for (auto& row : dst)
            for (uint16_t p : row) sum += p >> 11;
        return sum;
    };
    Options o;
    Convert(&dst[0][0], 8, k565, &src[0][0][0], 12, k888, 4, 4, o);
    EXPECT_EQ(redSum(), 16 * 16);
    o.dither = 1;
    Convert(&dst[0][0], 8, k565, &src[0][0][0], 12, k888, 4, 4, o);
    EXPECT_EQ(redSum(), 16 * 16 + 8);  // dropped 4 exceeds (matrix * 8) >> 4 for matrix 0..7
    EXPECT_EQ(dst[0][0] >> 11, 17);
    EXPECT_EQ(dst[0][1] >> 11, 16);
    o.dither = 2;
    Convert(&dst[0][0], 8, k565, &src[0][0][0], 12, k888, 4, 4, o);
    EXPECT_EQ(redSum(), 16 * 16 + 8);  // the carried remainder adds one every second pixel
    // Full channels stay within their mask.
    for (auto& row : src)
        for (auto& p : row) p[2] = 0xFF;
    o.dither = 1;
    Convert(&dst[0][0], 8, k565, &src[0][0][0], 12, k888, 4, 4, o);
    EXPECT_EQ(dst[3][3] >> 11, 31);
    EXPECT_EQ(dst[3][3] & 0x7FF, 0);
}

TEST(Convert, EightBitDestinations) {
    ColorFormat a = {}, b = {};
    SetColorFormatPalette8(&a);
    SetColorFormatPalette8(&b);
    for (int i = 0; i < 256; ++i) a.palette[i] = b.palette[i] = PaletteEntry{uint8_t(i), 0, 0, 0};
    uint8_t src[2][3] = {{1, 9, 2}, {3, 4, 5}};
    uint8_t dst[3][4] = {};
    Options remap;
    remap.remap = 1;
    // Equal palettes: a byte copy that reports the highest index.
    EXPECT_EQ(Convert(&dst[0][0], 4, b, &src[0][0], 3, a, 3, 2, remap, 1, 1), 9);
    EXPECT_EQ(dst[1][1], 1);
    EXPECT_EQ(dst[1][2], 9);
    EXPECT_EQ(dst[2][3], 5);
    EXPECT_EQ(dst[0][0], 0);
    // Different palettes: each index becomes the nearest destination entry.
    for (int i = 0; i < 256; ++i) b.palette[i] = PaletteEntry{uint8_t(255 - i), 0, 0, 0};
    EXPECT_EQ(Convert(&dst[0][0], 4, b, &src[0][0], 3, a, 3, 2, remap), 0);
    EXPECT_EQ(dst[0][0], 254);
    EXPECT_EQ(dst[0][1], 246);
    // From 16 bits: channels are widened before the nearest-colour search.
    ColorFormat grey = {};
    SetColorFormatGray8(&grey);
    uint16_t white = 0xFFFF;
    uint8_t out = 0;
    Convert(&out, 1, grey, &white, 2, k565, 1, 1);
    EXPECT_EQ(out, 255);
}

TEST(ConvertRoutines, RecordToDib) {
    ImageRecord r = {};
    ASSERT_EQ(CreateImageRecord(4, 2, &k888, &r), 0);
    EXPECT_EQ(r.pitch, 12);
    std::vector<uint8_t> infoBlock(sizeof(V_BITMAPINFOHEADER) + 1024);
    auto* info = reinterpret_cast<V_BITMAPINFO*>(infoBlock.data());
    void* pixels = nullptr;
    EXPECT_EQ(ImageRecordToDib(&r, info, &pixels, 0, 0), 0);
    EXPECT_EQ(pixels, r.pixels);
    EXPECT_EQ(info->bmiHeader.biHeight, -2);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(ImageRecordToDib(&r, info, &pixels, 1, 0), 1);
    EXPECT_NE(pixels, r.pixels);
    FreeMemory(pixels);
    ReleaseImageRecord(&r);

    ASSERT_EQ(CreateArgbImageRecord(3, 1, &r), 0);
    SetImagePixel(&r, 2, 0, 0x10, 0x20, 0x30, 0x40);
    EXPECT_EQ(ImageRecordToDib(&r, info, &pixels, 0, 0), 1);
    auto* rows = static_cast<uint8_t*>(pixels);
    EXPECT_EQ(rows[6], 0x30);
    EXPECT_EQ(rows[8], 0x10);
    FreeMemory(pixels);
    ReleaseImageRecord(&r);

    ColorFormat grey = {};
    SetColorFormatGray8(&grey);
    ASSERT_EQ(CreateImageRecord(3, 2, &grey, &r), 0);
    EXPECT_EQ(ImageRecordToDib(&r, info, &pixels, 0, 0), 0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 8);
    EXPECT_EQ(info->bmiColors[77].rgbGreen, 77);
    EXPECT_EQ(ImageRecordToDib(&r, info, &pixels, 0, 1), 1);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    FreeMemory(pixels);
    ReleaseImageRecord(&r);
}

TEST(ConvertRoutines, CopyAndStretch) {
    ImageRecord src = {}, dst = {};
    ASSERT_EQ(CreateArgbImageRecord(4, 4, &src), 0);
    ASSERT_EQ(CreateImageRecord(4, 4, &k565, &dst), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) SetImagePixel(&src, x, y, x * 80, y * 80, 0, 255);
    ClearImageRect(&dst, 0, 0, 4, 4);
    // Negative positions clip both sides.
    EXPECT_EQ(CopyImageRect(-1, 0, 3, 1, 0, 0, &src, &dst), 0);
    EXPECT_EQ(Argb(&dst, 0, 0), 0xFF000000u);  // the destination moved right by one
    EXPECT_EQ(Argb(&dst, 2, 0) >> 16 & 0xFF, 82u);
    EXPECT_EQ(Argb(&dst, 3, 0), 0xFF000000u);
    EXPECT_EQ(CopyImageRect(0, 0, 4, 4, 3, 3, &src, &dst), 0);
    EXPECT_EQ(Argb(&dst, 3, 3), 0xFF000000u);
    EXPECT_EQ(CopyImageRect(0, 0, 4, 4, 4, 0, &src, &dst), 0);  // nothing left

    ImageRecord big = {};
    ASSERT_EQ(CreateArgbImageRecord(8, 8, &big), 0);
    EXPECT_EQ(StretchImageRect(0, 0, 4, 4, &src, 0, 0, 8, 8, &big, 0), 0);
    EXPECT_EQ(Argb(&big, 7, 7), Argb(&src, 3, 3));
    EXPECT_EQ(Argb(&big, 2, 5), Argb(&src, 1, 2));
    EXPECT_EQ(StretchImageRect(0, 0, 4, 4, &src, 0, 0, 8, 8, &big, 1), 0);  // edges readable
    int red = 0;
    GetImagePixel(&big, 1, 0, &red, nullptr, nullptr, nullptr);
    EXPECT_NEAR(red, 40, 1);
    EXPECT_EQ(StretchImageRect(0, 0, 5, 4, &src, 0, 0, 8, 8, &big, 0), -1);
    EXPECT_EQ(StretchImageRect(2, 0, 2, 4, &src, 0, 0, 8, 8, &big, 0), -1);
    EXPECT_EQ(StretchImageRect(0, 0, 4, 4, &src, -1, 0, 8, 8, &big, 0), -1);
    ReleaseImageRecord(&src);
    ReleaseImageRecord(&dst);
    ReleaseImageRecord(&big);
}

TEST(Convert, NarrowingMatchesChannelModel) {
    std::mt19937 random(11);
    std::vector<uint32_t> src(7 * 5);
    for (uint32_t& p : src) p = random();
    const ColorFormat x4444 = Format(16, 0xF00, 0xF0, 0xF, 0);
    struct Pair {
        const ColorFormat* from;
        const ColorFormat* to;
    } pairs[] = {{&k8888, &k4444}, {&kX888, &k4444}, {&k8888, &k1555}, {&k8888, &x4444}, {&k8888, &k888}};
    for (const Pair& pair : pairs) {
        const ColorFormat& f = *pair.from;
        const ColorFormat& t = *pair.to;
        std::vector<uint8_t> out(7 * 5 * 4, 0);
        Options mirror;
        mirror.mirror = 1;
        Convert(out.data(), 7 * t.bytesPerPixel, t, src.data(), 28, f, 7, 5, mirror);
        for (int i = 0; i < 35; ++i) {
            uint32_t v = src[i];
            uint32_t expect = t.unusedMask;
            auto channel = [&](uint32_t mask, int shift, int width, int toShift, int toWidth) {
                if (toWidth == 0) return;
                uint32_t value = width ? ((v & mask) >> shift) >> (width - toWidth) : (1u << toWidth) - 1;
                expect |= value << toShift;
            };
            channel(f.redMask, f.redShift, f.redWidth, t.redShift, t.redWidth);
            channel(f.greenMask, f.greenShift, f.greenWidth, t.greenShift, t.greenWidth);
            channel(f.blueMask, f.blueShift, f.blueWidth, t.blueShift, t.blueWidth);
            channel(f.alphaMask, f.alphaShift, f.alphaWidth, t.alphaShift, t.alphaWidth);
            int column = 6 - i % 7, row = i / 7;
            uint32_t got = 0;
            std::memcpy(&got, &out[(row * 7 + column) * t.bytesPerPixel], t.bytesPerPixel);
            ASSERT_EQ(got, expect) << i;
        }
    }
}
