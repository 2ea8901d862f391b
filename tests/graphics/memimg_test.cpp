// Software images and their blend tables.
#include <gtest/gtest.h>

#include <cstring>

#include "core/core.h"
#include "graphics/graphics.h"

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
