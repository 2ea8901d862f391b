// Image files at the edges of their size: the smallest 16- and 32-bit BMPs, and a tiny JPEG
// whose header claims a huge picture.
#include <gtest/gtest.h>

#include "test_image_util.h"

using namespace imagetest;

namespace {

// A 1 x 1 BMP of the given depth and compression 0 (masks included for compression 3): the file
// ends right after the pixel row.
Bytes OnePixelBmp(int bits, uint32_t pixel, bool bitFields = false) {
    Bytes b;
    uint32_t offset = bitFields ? 66 : 54;
    PutText(b, "BM");
    Put32(b, offset + 4);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, 1);  // width
    Put32(b, 1);  // height
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(bits));
    Put32(b, bitFields ? 3 : 0);
    Put32(b, 4);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    if (bitFields) {
        Put32(b, 0xF800);
        Put32(b, 0x07E0);
        Put32(b, 0x001F);
    }
    if (bits == 16) {
        Put16(b, pixel);
        Put16(b, 0);
    } else {
        Put32(b, pixel);
    }
    return b;
}

// A baseline greyscale JPEG of the given size whose Huffman tables hold one code each (DC
// difference 0, end of block), so that every 8 x 8 block is two zero bits: flat grey 128.
Bytes FlatGreyJpeg(int width, int height, size_t scanBytes) {
    Bytes b = {0xFF, 0xD8};
    b.insert(b.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    b.insert(b.end(), 64, 1);
    b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08, static_cast<uint8_t>(height >> 8),
                       static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
                       static_cast<uint8_t>(width), 0x01, 0x01, 0x11, 0x00});
    for (uint8_t table : {0x00, 0x10}) {
        b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, table, 0x01});
        b.insert(b.end(), 15, 0);
        b.push_back(0x00);
    }
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    b.insert(b.end(), scanBytes, 0x00);
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

}  // namespace

TEST(LoadBmp, OnePixelSixteenAndThirtyTwoBitFiles) {
    Loaded sixteen(LoadBmpImage, OnePixelBmp(16, 0x7C00));
    EXPECT_EQ(sixteen.result, 0);
    if (sixteen.result == 0) {
        EXPECT_EQ(sixteen.r.width, 1);
        EXPECT_EQ(sixteen.r.height, 1);
        EXPECT_EQ(Argb(&sixteen.r, 0, 0), 0xFFFF0000u);
    }

    Loaded thirtyTwo(LoadBmpImage, OnePixelBmp(32, 0x00102030));
    EXPECT_EQ(thirtyTwo.result, 0);
    if (thirtyTwo.result == 0) {
        EXPECT_EQ(Argb(&thirtyTwo.r, 0, 0), 0xFF102030u);
    }

    // With bit fields the three masks are part of the file and are read.
    Loaded fields(LoadBmpImage, OnePixelBmp(16, 0x07E0, true));
    ASSERT_EQ(fields.result, 0);
    EXPECT_EQ(Argb(&fields.r, 0, 0), 0xFF00FF00u);
}

TEST(LoadJpeg, ClaimedSizeOutOfProportionToTheFileIsRefused) {
    // The same construction at a true size decodes.
    Loaded small(LoadJpegImage, FlatGreyJpeg(16, 16, 1));
    ASSERT_EQ(small.result, 0);
    EXPECT_EQ(small.r.width, 16);
    EXPECT_EQ(small.r.height, 16);
    ASSERT_EQ(small.r.format.bitDepth, 8);
    int notGrey = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) notGrey += small.r.pixels[y * small.r.pitch + x] != 128;
    EXPECT_EQ(notGrey, 0);

    // A file of a few hundred bytes claiming 16384 x 16384 pixels.
    Bytes bomb = FlatGreyJpeg(16384, 16384, 64);
    ASSERT_LT(bomb.size(), 400u);
    Loaded big(LoadJpegImage, bomb);
    EXPECT_NE(big.result, 0);
    EXPECT_EQ(big.r.pixels, nullptr);
}
