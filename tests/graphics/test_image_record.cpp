// Colour formats, image records, pixel access, mirroring, the 2 x 2 reduction and soft images.
#include <gtest/gtest.h>

#include "graphics/image_soft.h"
#include "test_image_util.h"

using namespace imagetest;

TEST(ColorFormat, MasksGiveShiftsWidthsAndUnusedBits) {
    ColorFormat f = {};
    SetColorFormatFromMasks(&f, 16, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(f.bytesPerPixel, 2);
    EXPECT_EQ(f.redWidth, 5);
    EXPECT_EQ(f.greenWidth, 6);
    EXPECT_EQ(f.blueWidth, 5);
    EXPECT_EQ(f.alphaWidth, 0);
    EXPECT_EQ(f.redShift, 11);
    EXPECT_EQ(f.greenShift, 5);
    EXPECT_EQ(f.blueShift, 0);
    EXPECT_EQ(f.unusedMask, 0u);
    EXPECT_EQ(f.unusedWidth, 0);

    SetColorFormatFromMasks(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
    EXPECT_EQ(f.unusedMask, 0x8000u);
    EXPECT_EQ(f.unusedShift, 15);
    EXPECT_EQ(f.unusedWidth, 1);

    // A mask with a gap counts only its lowest run.
    SetColorFormatFromMasks(&f, 32, 0x00F0F000, 0, 0, 0);
    EXPECT_EQ(f.redShift, 12);
    EXPECT_EQ(f.redWidth, 4);

    // Widths filling the depth clear the unused mask; otherwise it is recomputed.
    f.unusedMask = 0x1234;
    f.bitDepth = 16;
    f.redWidth = 5, f.greenWidth = 6, f.blueWidth = 5, f.alphaWidth = 0;
    UpdateUnusedBitsMask(&f);
    EXPECT_EQ(f.unusedMask, 0u);
}

TEST(ColorFormat, PresetsAndPixelPacking) {
    ColorFormat f = {};
    SetColorFormatX8R8G8B8(&f);
    EXPECT_EQ(EncodePixel(&f, 1, 2, 3, 77), 0xFF010203u);
    SetColorFormatA8R8G8B8(&f);
    EXPECT_EQ(EncodePixel(&f, 1, 2, 3, 0x80), 0x80010203u);
    SetColorFormatFromMasks(&f, 16, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(EncodePixel(&f, 255, 255, 255, 0), 0xFFFFu);
    int r = -1, g = -1, b = -1, a = -1;
    DecodePixel(&f, 0xF800, &r, &g, &b, &a);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(a, 0);
    DecodePixel(&f, 0x0010, nullptr, nullptr, &b, nullptr);  // null outputs are allowed
    EXPECT_EQ(b, 16 * 255 / 31);

    // 8-bit channels leave alpha alone when the format has none.
    SetColorFormatR8G8B8(&f);
    a = 99;
    DecodePixel(&f, 0x123456, &r, &g, &b, &a);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(b, 0x56);
    EXPECT_EQ(a, 99);

    // Grey palette; the nearest entry wins and the lowest index wins a tie.
    SetColorFormatGray8(&f);
    EXPECT_EQ(f.palette[200].red, 200);
    EXPECT_EQ(EncodePixel(&f, 10, 10, 10, 0), 10u);
    SetColorFormatPalette8(&f);
    std::memset(f.palette, 0, sizeof(f.palette));
    for (int i = 0; i < 256; ++i) f.palette[i] = PaletteEntry{255, 255, 255, 0};
    f.palette[3] = PaletteEntry{0, 0, 100, 0};
    f.palette[7] = PaletteEntry{0, 0, 100, 0};
    EXPECT_EQ(EncodePixel(&f, 90, 0, 0, 0), 3u);
}

TEST(ImageRecord, CreatePixelAccessAndClear) {
    ColorFormat f = {};
    SetColorFormatR8G8B8(&f);
    ImageRecord r = {};
    ASSERT_EQ(CreateImageRecord(5, 3, &f, &r), 0);
    EXPECT_EQ(r.pitch, 16);  // 15 rounded up to a multiple of 4
    EXPECT_EQ(r.mipCount, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(SetImagePixel(&r, x, y, x * 40, y * 60, 7, 0), 0);
    EXPECT_EQ(Argb(&r, 4, 2), 0xFFA0780Du - 0x00000006u);
    int red = -1;
    EXPECT_EQ(GetImagePixel(&r, 5, 0, &red, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(GetImagePixel(&r, -1, 0, &red, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(GetImagePixel(&r, 0, 3, &red, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(red, -1);
    EXPECT_EQ(SetImagePixel(&r, 0, -1, 1, 1, 1, 1), -1);
    EXPECT_EQ(GetImagePixelArgb(&r, 1, 1), 0x00283C07u);
    ClearImageRect(&r, 1, 1, 2, 1);
    EXPECT_EQ(Argb(&r, 1, 1), 0xFF000000u);
    EXPECT_EQ(Argb(&r, 3, 1), 0xFF783C07u);
    ReleaseImageRecord(&r);
    EXPECT_EQ(r.pixels, nullptr);
    EXPECT_EQ(r.width, 0);

    // 16-bit record: the packed A8R8G8B8 form does not replicate low bits.
    SetColorFormatFromMasks(&f, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_EQ(CreateImageRecord(1, 1, &f, &r), 0);
    SetImagePixel(&r, 0, 0, 255, 0, 255, 0);
    EXPECT_EQ(GetImagePixelArgb(&r, 0, 0), 0x00F800F8u);
    ReleaseImageRecord(&r);

    ASSERT_EQ(CreateArgbImageRecord(3, 2, &r), 0);
    EXPECT_EQ(r.pitch, 12);
    SetImagePixel(&r, 2, 1, 1, 2, 3, 4);
    EXPECT_EQ(Argb(&r, 2, 1), 0x04010203u);
    EXPECT_EQ(GetImagePixelArgb(&r, 2, 1), 0x04010203u);
    ReleaseImageRecord(&r);
    ASSERT_EQ(CreateXrgbImageRecord(2, 2, &r), 0);
    EXPECT_EQ(r.format.unusedMask, 0xFF000000u);
    ReleaseImageRecord(&r);
}

TEST(ImageRecord, SizesBeyondTheLimitAreRefusedWithoutPixels) {
    ImageRecord r = {};
    for (auto [width, height] : {std::pair{0x7FFFFFFF, 1}, std::pair{1, 0x7FFFFFFF},
                                 std::pair{0x40000000, 4}, std::pair{-1, 1},
                                 std::pair{kMaxImageSide + 1, 1}}) {
        EXPECT_EQ(CreateArgbImageRecord(width, height, &r), -1) << width << " x " << height;
        EXPECT_EQ(r.pixels, nullptr);
        EXPECT_EQ(r.pitch, 0);
    }
    ASSERT_EQ(CreateArgbImageRecord(kMaxImageSide, 1, &r), 0);
    EXPECT_EQ(r.pitch, 4 * kMaxImageSide);
    ReleaseImageRecord(&r);
}

TEST(ImageRecord, MirrorSwapsWholePixels) {
    ColorFormat f = {};
    SetColorFormatR8G8B8(&f);
    ImageRecord r = {};
    ASSERT_EQ(CreateImageRecord(3, 2, &f, &r), 0);
    for (int x = 0; x < 3; ++x) SetImagePixel(&r, x, 1, x + 1, 10 * x, 0, 0);
    ASSERT_EQ(MirrorImageHorizontally(&r), 0);
    EXPECT_EQ(Argb(&r, 0, 1), 0xFF031400u);
    EXPECT_EQ(Argb(&r, 1, 1), 0xFF020A00u);
    EXPECT_EQ(Argb(&r, 2, 1), 0xFF010000u);
    ReleaseImageRecord(&r);

    ASSERT_EQ(CreateArgbImageRecord(1, 2, &r), 0);
    SetImagePixel(&r, 0, 0, 9, 8, 7, 6);
    EXPECT_EQ(MirrorImageHorizontally(&r), 0);
    EXPECT_EQ(Argb(&r, 0, 0), 0x06090807u);
    ReleaseImageRecord(&r);
    ImageRecord empty = {};
    EXPECT_EQ(MirrorImageHorizontally(&empty), -1);
}

TEST(ImageRecord, ShrinkHalfAveragesChannels) {
    ColorFormat f = {};
    SetColorFormatX8R8G8B8(&f);
    uint32_t src[4] = {0xFF000004, 0xFF000008, 0xFF100000, 0xFF000000};
    uint32_t dst[4] = {};
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 8, 0, 0, 0, 0, 2, 2), 0);
    EXPECT_EQ(dst[0], 0x00040003u);  // unused bits are not carried
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 8, 0, 0, 0, 0, 3, 2), -1);
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 8, 0, 0, 0, 0, 2, 3), -1);
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 4, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(dst[0], 0xFF000004u);
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 8, 0, 0, 0, 0, 2, 1), 0);  // horizontal pair
    EXPECT_EQ(dst[0], 0x00000006u);
    EXPECT_EQ(ShrinkImageHalf(&f, dst, 4, src, 8, 0, 0, 0, 0, 1, 2), 0);  // vertical pair
    EXPECT_EQ(dst[0], 0x00080002u);

    ColorFormat f565 = {};
    SetColorFormatFromMasks(&f565, 16, 0xF800, 0x07E0, 0x001F, 0);
    uint16_t s16[4] = {0xF800, 0x0000, 0x001F, 0x07E0};
    uint16_t d16[1] = {};
    EXPECT_EQ(ShrinkImageHalf(&f565, d16, 2, s16, 4, 0, 0, 0, 0, 2, 2), 0);
    EXPECT_EQ(d16[0], (7 << 11) | (15 << 5) | 7);
    ColorFormat f24 = {};
    SetColorFormatR8G8B8(&f24);
    d16[0] = 0x5555;
    EXPECT_EQ(ShrinkImageHalf(&f24, d16, 2, s16, 4, 0, 0, 0, 0, 2, 2), 0);  // depth not written
    EXPECT_EQ(d16[0], 0x5555);
}

namespace {

int StoreSoftImage(int slot, uint32_t check) {
    auto* stored = static_cast<StoredSoftImage*>(VELK_ALLOC_ZEROED(sizeof(StoredSoftImage)));
    CreateArgbImageRecord(2, 2, &stored->record);
    stored->checkNumber = check;
    g_SoftImages.slots[slot] = stored;
    ++g_SoftImages.liveCount;
    if (slot >= g_SoftImages.highWater) g_SoftImages.highWater = slot + 1;
    return static_cast<int>(((check | 0x7000u) << 16) | static_cast<uint32_t>(slot));
}

}  // namespace

TEST(SoftImage, DeleteValidatesHandlesAndLowersHighWater) {
    int a = StoreSoftImage(2, 5);
    int b = StoreSoftImage(9, 6);
    EXPECT_EQ(g_SoftImages.highWater, 10);
    EXPECT_EQ(DeleteSoftImage(-1), -1);
    EXPECT_EQ(DeleteSoftImage(b ^ 0x08000000), -1);           // other kind
    EXPECT_EQ(DeleteSoftImage((b & ~0x07FF0000) | (7 << 16)), -1);  // wrong check number
    EXPECT_EQ(DeleteSoftImage(0x70000000 | 8191), -1);        // empty slot
    EXPECT_EQ(DeleteSoftImage(b), 0);
    EXPECT_EQ(g_SoftImages.highWater, 3);
    EXPECT_EQ(DeleteSoftImage(b), -1);
    StoreSoftImage(4, 2047);
    EXPECT_EQ(DeleteAllSoftImages(), 0);
    EXPECT_EQ(g_SoftImages.liveCount, 0);
    EXPECT_EQ(g_SoftImages.highWater, 0);
    EXPECT_EQ(DeleteSoftImage(a), -1);
}
