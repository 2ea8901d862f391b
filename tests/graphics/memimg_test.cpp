// Software images and their blend tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/core.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

// The screen-depth image maker; weak, so that the program links (and the test fails) without it.
int CreateScreenDepthMemImg(MEMIMG* view, int width, int height, int type) __attribute__((weak));

namespace {

TEST(MemImg, PitchBytesAndFlags) {
    MEMIMG a = {}, b = {}, c = {}, d = {};
    ASSERT_EQ(CreateMemImg(&a, 640, 480, -1, 0, 0, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(a.base->pitch, 1280);
    EXPECT_EQ(a.base->pitchShift, -1);
    ASSERT_EQ(CreateMemImg(&b, 512, 2, -1, 0, 0, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(b.base->pitch, 1024);
    EXPECT_EQ(b.base->pitchShift, 10);
    ASSERT_EQ(CreateMemImg(&c, 5, 5, -1, 0, 1, 1, 1, 1, nullptr), 0);
    EXPECT_EQ(c.base->alphaFlag, 0);
    EXPECT_EQ(GetMemImgBytesPerPixel(c.base), 1);
    EXPECT_EQ(c.base->pitch, 16);
    EXPECT_NE(c.base->runBuffer, nullptr);
    EXPECT_EQ(c.base->paletteSecondHalf, c.base->palette + 1024);
    ASSERT_EQ(CreateMemImg(&d, 3, 3, -1, 0, 0, 0, 1, 1, nullptr), 0);
    EXPECT_EQ(GetMemImgBytesPerPixel(d.base), 4);
    EXPECT_NE(d.alpha, nullptr);
    // A pitch shorter than a row is refused.
    MEMIMG shortPitch = {};
    EXPECT_EQ(CreateMemImg(&shortPitch, 10, 2, 8, 0, 1, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(IsMemImgValid(&shortPitch), 0);
    // A tagged view cannot be created over.
    EXPECT_EQ(CreateMemImg(&d, 3, 3, -1, 0, 0, 0, 1, 1, nullptr), -1);
    // Single-channel types drop palette and alpha; type 2 gets no run buffer.
    MEMIMG e = {};
    ASSERT_EQ(CreateMemImg(&e, 4, 4, -1, 0, 2, 1, 1, 1, nullptr), 0);
    EXPECT_EQ(e.base->paletteFlag + e.base->alphaFlag, 0);
    EXPECT_EQ(e.base->runBuffer, nullptr);
    for (MEMIMG* view : {&a, &b, &c, &d, &e}) ReleaseMemImg(view);
}

TEST(MemImg, ViewsShareTheBaseUntilTheLastRelease) {
    MEMIMG whole = {}, part = {}, untouched = {};
    ASSERT_EQ(CreateMemImg(&whole, 8, 8, -1, 0, 1, 0, 0, 0, nullptr), 0);
    MakeMemImgView(&part, &whole, 2, 3, 4, 5);
    EXPECT_EQ(IsMemImgValid(&part), 1);
    EXPECT_EQ(part.pixels, whole.pixels + whole.base->pitch * 3 + 4 * 2);
    EXPECT_EQ(whole.base->referenceCount, 2);
    MakeMemImgView(&untouched, &whole, 5, 0, 4, 1); // leaves the source: nothing happens
    EXPECT_EQ(IsMemImgValid(&untouched), 0);
    ReleaseMemImg(&whole);
    EXPECT_EQ(IsMemImgValid(&whole), 0);
    part.pixels[0] = 7; // the pixels are still there
    EXPECT_EQ(part.base->referenceCount, 1);
    ReleaseMemImg(&part);
    ReleaseMemImg(&part); // untagged: nothing
    EXPECT_EQ(part.base, nullptr);
}

TEST(MemImg, FillClipsToTheImage) {
    MEMIMG image = {};
    ASSERT_EQ(CreateMemImg(&image, 4, 3, -1, 0, 0, 0, 0, 0, nullptr), 0);
    FillMemImgRect(&image, nullptr, 0x1111);
    V_RECT outside = {10, 10, 20, 20}, edge = {-5, 1, 2, 99};
    FillMemImgRect(&image, &outside, 0x2222);
    FillMemImgRect(&image, &edge, 0x3333);
    for (int y = 0; y < 3; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(image.pixels + image.base->pitch * y);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(row[x], y >= 1 && x < 2 ? 0x3333 : 0x1111);
    }
    ReleaseMemImg(&image);
}

TEST(MemImg, RunCodeAndPremultipliedCopy) {
    MEMIMG image = {};
    ASSERT_EQ(CreateMemImg(&image, 4, 1, -1, 0, 1, 0, 1, 1, nullptr), 0);
    const uint32_t pixels[] = {0x00FFFFFF, 0xFF808080, 0x80FF0000, 0x80FF0000};
    std::memcpy(image.pixels, pixels, sizeof pixels);
    UpdateMemImgRunCode(&image, 4, 1);
    EXPECT_EQ(image.base->runCodeValid, 1);
    EXPECT_EQ(image.base->premultipliedValid, 1);
    const uint8_t expected[] = {0x00, 0x40, 0x81, 0xC0};
    EXPECT_EQ(std::memcmp(image.base->runBuffer, expected, 4), 0);
    uint32_t premultiplied[4];
    std::memcpy(premultiplied, image.alpha, sizeof premultiplied);
    EXPECT_EQ(premultiplied[0], 0u);
    EXPECT_EQ(premultiplied[1], 0xFF7F7F7Fu);
    EXPECT_EQ(premultiplied[2], 0x807F0000u);
    // A partial transfer clears the flags.
    UpdateMemImgRunCode(&image, 3, 1);
    EXPECT_EQ(image.base->runCodeValid, 0);
    ReleaseMemImg(&image);
}

TEST(MemImgTables, Entries) {
    InitMemImgTables();
    EXPECT_EQ(GetParameterRowsEntry(128, -255), -128);
    EXPECT_EQ(GetParameterRowsEntry(128, 1), 0);
    EXPECT_EQ(GetParameterRowsEntry(200, -10), -7);
    EXPECT_EQ(GetBrightnessRowsEntry(200, 128), 100u);
    EXPECT_EQ(GetBrightnessRowsEntry(255, 77), 77u);
    EXPECT_EQ(GetBlend16RowsEntry(32, 10, 20), 14u);
    EXPECT_EQ(GetBlend16RowsEntry(0, 10, 20), 20u);
    EXPECT_EQ(GetBlend16RowsEntry(63, 10, 20), 10u);
    SetBlendImageTable(0, 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(GetBlendImageMapEntry(i), 255u);
    SetBlendImageTable(128, 0);
    EXPECT_EQ(GetBlendImageMapEntry(0), 0u);
    EXPECT_EQ(GetBlendImageMapEntry(127), 0u);
    EXPECT_EQ(GetBlendImageMapEntry(128), 128u);
    EXPECT_EQ(GetBlendImageMapEntry(129), 255u);
    EXPECT_EQ(GetBlendImageMapEntry(255), 255u);
}

} // namespace

namespace {

TEST(MemImgFormats, StaticFormatsOfTheColourTypes) {
    const ColorFormat* plain16 = GetMemImgColorFormat(0, 0, 0);
    const ColorFormat* alpha16 = GetMemImgColorFormat(0, 1, 0);
    const ColorFormat* palette32 = GetMemImgColorFormat(1, 1, 1);
    ASSERT_NE(plain16, nullptr);
    EXPECT_EQ(plain16->bitDepth, 16);
    EXPECT_EQ(plain16->redMask, 0xF800u);
    EXPECT_EQ(alpha16->bitDepth, 32);
    EXPECT_EQ(alpha16->alphaMask, 0xFF0000u);
    EXPECT_EQ(palette32->bitDepth, 8);
    EXPECT_EQ(palette32->alphaMask, 0xFF000000u);
    EXPECT_EQ(GetMemImgColorFormat(1, 0, 0), GetMemImgColorFormat(1, 0, 0));
    EXPECT_EQ(GetMemImgColorFormat(2, 1, 1)->redMask, 0xFFu);
    EXPECT_EQ(GetMemImgColorFormat(3, 0, 0)->bytesPerPixel, 2);
    EXPECT_EQ(GetMemImgColorFormat(4, 0, 0), nullptr);
}

TEST(MemImgTransfer, WholeTransferCodesTheRunsPartialDoesNot) {
    ImageRecord record = {};
    ASSERT_EQ(CreateArgbImageRecord(3, 2, &record), 0);
    const uint32_t pixels[] = {0x00000000, 0xFF102030, 0x80405060, 0xFFFFFFFF, 0xFFFFFFFF, 0x00123456};
    for (int y = 0; y < 2; ++y) std::memcpy(record.pixels + record.pitch * y, pixels + 3 * y, 12);
    MEMIMG image = {};
    ASSERT_EQ(CreateMemImg(&image, 3, 2, -1, 0, 1, 0, 1, 1, nullptr), 0);
    ASSERT_EQ(TransferImageMemImg(&record, nullptr, &image, 0, 0, 3, 2, 0, 0, 0), 0);
    EXPECT_EQ(std::memcmp(image.pixels, pixels, 12), 0);
    EXPECT_EQ(image.base->runCodeValid, 1);
    EXPECT_EQ(image.base->premultipliedValid, 1);
    const uint8_t code[] = {0x00, 0x40, 0x80, 0xC0, 0x41, 0x00, 0xC0};
    EXPECT_EQ(std::memcmp(image.base->runBuffer, code, sizeof code), 0);
    ASSERT_EQ(TransferImageMemImg(&record, nullptr, &image, 1, 0, 2, 2, 0, 0, 0), 0);
    EXPECT_EQ(image.base->runCodeValid, 0);
    // Rectangles that leave an image are refused.
    EXPECT_EQ(TransferImageMemImg(&record, nullptr, &image, 2, 0, 2, 2, 0, 0, 0), -1);
    EXPECT_EQ(TransferImageMemImg(&record, nullptr, &image, 0, 0, 3, 2, 1, 0, 0), -1);
    ReleaseMemImg(&image);

    // Into a 16-bit image: the converter packs the channels.
    MEMIMG image16 = {};
    ASSERT_EQ(CreateMemImg(&image16, 3, 2, -1, 0, 0, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(TransferImageMemImg(&record, nullptr, &image16, 0, 0, 3, 2, 0, 0, 0), 0);
    uint16_t white;
    std::memcpy(&white, image16.pixels + image16.base->pitch, 2);
    EXPECT_EQ(white, 0xFFFF);
    MEMIMG copy = {};
    ASSERT_EQ(CreateMemImg(&copy, 3, 2, -1, 0, 0, 0, 0, 0, nullptr), 0);
    std::memset(copy.pixels, 0, copy.base->pitch * 2);
    V_RECT part = {0, 1, 1, 2};
    EXPECT_GE(CopyMemImg(&copy, &image16, &part, 2, 0), 0);
    std::memcpy(&white, copy.pixels + 4, 2);
    EXPECT_EQ(white, 0xFFFF);
    EXPECT_EQ(CopyMemImg(&copy, &image16, &part, 3, 0), -1);
    ReleaseMemImg(&copy);
    ReleaseMemImg(&image16);
    ReleaseImageRecord(&record);
}

TEST(MemImgTransfer, PaletteImagesTakeThePaletteAndTheEntryCount) {
    ImageRecord record = {};
    ColorFormat format = {};
    SetColorFormatPalette8(&format);
    format.palette[2] = {0x08, 0x10, 0xF8, 0};
    ASSERT_EQ(CreateImageRecord(4, 1, &format, &record), 0);
    const uint8_t indices[] = {0, 2, 1, 2};
    std::memcpy(record.pixels, indices, 4);
    MEMIMG image = {};
    ASSERT_EQ(CreateMemImg(&image, 4, 1, -1, 0, 0, 1, 0, 1, nullptr), 0);
    ASSERT_EQ(TransferImageMemImg(&record, nullptr, &image, 0, 0, 4, 1, 0, 0, 1), 0);
    EXPECT_EQ(std::memcmp(image.pixels, indices, 4), 0);
    EXPECT_EQ(image.base->paletteCount, 3);
    uint16_t entry;
    std::memcpy(&entry, image.base->palette + 4, 2);
    EXPECT_EQ(entry, (0xF8 << 8) | (0x10 << 3) | (0x08 >> 3));
    std::memcpy(&entry, image.base->paletteSecondHalf + 4, 2);
    EXPECT_EQ(entry, (0xF8 << 8) | (0x10 << 3) | (0x08 >> 3));
    EXPECT_EQ(image.base->runBuffer[0], 0x00); // index 0 is the transparent colour

    // Pixels of direct colour take entries holding their colours: a whole write starts the
    // palette afresh, a partial one adds to it, a fill is one entry.
    ImageRecord direct = {};
    ASSERT_EQ(CreateArgbImageRecord(4, 1, &direct), 0);
    const uint32_t colours[] = {0xFF00FF00, 0xFF000000, 0xFF00FF00, 0xFF0000FF};
    std::memcpy(direct.pixels, colours, 16);
    auto expectPalette = [&](std::vector<uint8_t> pixels, std::vector<uint16_t> entries) {
        EXPECT_EQ(std::memcmp(image.pixels, pixels.data(), 4), 0);
        ASSERT_EQ(image.base->paletteCount, static_cast<int>(entries.size()));
        EXPECT_EQ(std::memcmp(image.base->palette, entries.data(), 2 * entries.size()), 0);
    };
    ASSERT_EQ(TransferImageMemImg(&direct, nullptr, &image, 0, 0, 4, 1, 0, 0, 1), 0);
    expectPalette({0, 1, 0, 2}, {0x07E0, 0x0000, 0x001F});
    ASSERT_EQ(TransferImageMemImg(&direct, nullptr, &image, 3, 0, 1, 1, 1, 0, 1), 0);
    expectPalette({0, 2, 0, 2}, {0x07E0, 0x0000, 0x001F});
    ASSERT_EQ(FillPaletteMemImg(&image, 0xFFFFFF), 0);
    expectPalette({0, 0, 0, 0}, {0xFFFF});
    // Into a full palette a colour that no entry holds takes the nearest entry.
    std::vector<uint16_t> full(256, 0xFFFF);
    full[0] = 0x0000, full[200] = 0x0018;
    std::memcpy(image.base->palette, full.data(), 512);
    image.base->paletteCount = 256;
    ASSERT_EQ(TransferImageMemImg(&direct, nullptr, &image, 3, 0, 1, 1, 2, 0, 1), 0);
    expectPalette({0, 0, 200, 0}, full);
    ReleaseImageRecord(&direct);
    ReleaseMemImg(&image);
    ReleaseImageRecord(&record);
}


TEST(MemImgTransfer, SingleChannelImagesTakeTheSourceRedAndScreenDepthImagesExist) {
    ImageRecord argb = {}, xrgb = {};
    ASSERT_EQ(CreateArgbImageRecord(4, 1, &argb), 0);
    ASSERT_EQ(CreateXrgbImageRecord(4, 1, &xrgb), 0);
    const uint32_t pixels[] = {0xFF000000, 0x80FF0000, 0x00400000, 0xFFC81020};
    std::memcpy(argb.pixels, pixels, 16);
    const uint32_t greys[] = {0x00000000, 0x00808080, 0x00F0F0F0, 0x00FFFFFF};
    std::memcpy(xrgb.pixels, greys, 16);
    MEMIMG channel = {};
    ASSERT_EQ(CreateMemImg(&channel, 4, 2, -1, 0, kMemImgChannel8, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(TransferImageMemImg(&argb, nullptr, &channel, 0, 0, 4, 1, 0, 0, 0), 0);
    ASSERT_EQ(TransferImageMemImg(&xrgb, nullptr, &channel, 0, 0, 4, 1, 0, 1, 0), 0);
    const uint8_t reds[] = {0x00, 0xFF, 0x40, 0xC8};
    const uint8_t greyReds[] = {0x00, 0x80, 0xF0, 0xFF};
    EXPECT_EQ(std::memcmp(channel.pixels, reds, 4), 0)
        << int(channel.pixels[0]) << " " << int(channel.pixels[1]) << " "
        << int(channel.pixels[2]) << " " << int(channel.pixels[3]);
    EXPECT_EQ(std::memcmp(channel.pixels + channel.base->pitch, greyReds, 4), 0);
    ReleaseMemImg(&channel);
    ReleaseImageRecord(&argb);
    ReleaseImageRecord(&xrgb);

    // A screen-depth image: the view cleared first, pitch chosen, no palette, alpha or work.
    ASSERT_NE(&CreateScreenDepthMemImg, nullptr) << "CreateScreenDepthMemImg is missing";
    MEMIMG screen = {};
    screen.tag = kMemImgTag;
    ASSERT_EQ(CreateScreenDepthMemImg(&screen, 5, 3, kMemImgX8R8G8B8), 0);
    EXPECT_EQ(screen.base->pitch, 32);
    EXPECT_EQ(screen.base->colorType, kMemImgX8R8G8B8);
    EXPECT_EQ(screen.base->paletteFlag + screen.base->alphaFlag, 0);
    EXPECT_EQ(screen.base->runBuffer, nullptr);
    ReleaseMemImg(&screen);
}

} // namespace
