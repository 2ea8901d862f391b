// The loader chain, LoadImageData's mirroring and bitmap output, and the alpha companion.
#include <gtest/gtest.h>

#include "graphics/image_load.h"
#include "platform/gdi/gdi_dib.h"
#include "test_image_util.h"

using namespace imagetest;

namespace {

// A 3 x 1 24-bit top-down BMP with pixels 0x010101, 0x020202, 0x030303.
Bytes SmallBmp(uint8_t base = 0) {
    Bytes b;
    PutText(b, "BM");
    Put32(b, 54 + 12);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, 3);
    Put32(b, static_cast<uint32_t>(-1));
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (int p = 1; p <= 3; ++p)
        for (int c = 0; c < 3; ++c) Put8(b, base + p);
    Put8(b, 0);
    Put8(b, 0);
    Put8(b, 0);
    return b;
}

int g_seen = 0;
bool g_cleanStart = true;

int ScribblingLoader(StreamHolder* stream, ImageRecord* record) {
    ++g_seen;
    g_cleanStart = g_cleanStart && stream->functions.tell(stream->handle) == 0;
    uint8_t buffer[7];
    stream->functions.read(buffer, 1, sizeof(buffer), stream->handle);
    std::memset(record, 0x5A, sizeof(*record));
    return -1;
}

int CheckingLoader(StreamHolder* stream, ImageRecord* record) {
    ++g_seen;
    ImageRecord zero = {};
    g_cleanStart = g_cleanStart && stream->functions.tell(stream->handle) == 0 &&
                   std::memcmp(record, &zero, sizeof(zero)) == 0;
    stream->functions.seek(stream->handle, 0, 2);
    record->width = 77;
    return 1;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

TEST(LoadChain, EveryLoaderStartsAtOffsetZeroWithAZeroedRecord) {
    g_UserImageLoaders.loaders[0] = ScribblingLoader;
    g_UserImageLoaders.loaders[1] = CheckingLoader;
    g_UserImageLoaders.loaders[2] = ScribblingLoader;
    g_UserImageLoaders.count = 3;
    // A TGA is taken by the fifth built-in loader, after BMP, JPEG, PNG and BGRA refused it.
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0x20, 9, 8, 7};
    ByteStream stream(tga);
    ImageRecord r;
    std::memset(&r, 0x33, sizeof(r));
    EXPECT_EQ(LoadImageFromStream(&stream.holder, &r), 0);
    g_UserImageLoaders.count = 0;
    EXPECT_EQ(g_seen, 3);
    EXPECT_TRUE(g_cleanStart);
    EXPECT_EQ(Argb(&r, 0, 0), 0xFF070809u);
    EXPECT_EQ(r.mipCount, 0);
    ReleaseImageRecord(&r);

    ByteStream junk(Bytes(300, 0x42));
    EXPECT_EQ(LoadImageFromStream(&junk.holder, &r), -1);
    ByteStream empty(Bytes{});
    EXPECT_EQ(LoadImageFromStream(&empty.holder, &r), -1);
}

TEST(LoadChain, MemoryLoadsMirrorAndBitmapOutput) {
    Bytes bmp = SmallBmp();
    ImageRecord r = {};
    ASSERT_EQ(LoadImageData(nullptr, bmp.data(), static_cast<int>(bmp.size()), 1, 0, 1, &r, nullptr, nullptr), 0);
    EXPECT_EQ(Argb(&r, 0, 0), 0xFF030303u);
    EXPECT_EQ(Argb(&r, 1, 0), 0xFF020202u);
    EXPECT_EQ(Argb(&r, 2, 0), 0xFF010101u);
    ReleaseImageRecord(&r);

    V_BITMAPINFO* info = nullptr;
    void* pixels = nullptr;
    ASSERT_EQ(LoadImageData(nullptr, bmp.data(), static_cast<int>(bmp.size()), 1, 1, 0, &r, &info, &pixels), 0);
    EXPECT_EQ(info->bmiHeader.biWidth, 3);
    EXPECT_EQ(info->bmiHeader.biHeight, -1);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(static_cast<uint8_t*>(pixels)[3], 2);
    FreeMemory(info);
    FreeMemory(pixels);

    Bytes junk(64, 0);
    std::memset(&r, 0x11, sizeof(r));
    EXPECT_EQ(LoadImageData(nullptr, junk.data(), 64, 1, 0, 0, &r, nullptr, nullptr), -1);
    EXPECT_EQ(r.width, 0x11111111);  // the record out is written only on success

    // An 8-bit image mirrors through the byte copy.
    Bytes bgra;
    PutText(bgra, "BGRA");
    Put32(bgra, 0x08080808);
    Put32(bgra, 2);
    Put32(bgra, 1);
    for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) Put8(bgra, v);
    ASSERT_EQ(LoadImageRecord(nullptr, bgra.data(), static_cast<int>(bgra.size()), 1, &r, 1), 0);
    EXPECT_EQ(Argb(&r, 0, 0), 0x08070605u);
    ReleaseImageRecord(&r);
}

TEST(LoadChain, AlphaCompanionNames) {
    char name[260];
    ASSERT_EQ(MakeAlphaCompanionName("pic.bmp", name, sizeof(name)), 0);
    EXPECT_STREQ(name, "pic_a.bmp");
    ASSERT_EQ(MakeAlphaCompanionName("dir.old/pic", name, sizeof(name)), 0);
    EXPECT_STREQ(name, "dir_a.old/pic");
    ASSERT_EQ(MakeAlphaCompanionName("pic", name, sizeof(name)), 0);
    EXPECT_STREQ(name, "pic_a");
    ASSERT_EQ(MakeAlphaCompanionName("a.b.png", name, sizeof(name)), 0);
    EXPECT_STREQ(name, "a.b_a.png");
    std::string longest(257, 'x'), tooLong(258, 'x');
    EXPECT_EQ(MakeAlphaCompanionName(longest.c_str(), name, sizeof(name)), 0);
    EXPECT_EQ(std::strlen(name), 259u);
    EXPECT_EQ(MakeAlphaCompanionName(tooLong.c_str(), name, sizeof(name)), -1);
}

TEST(LoadChain, ImageWithAlphaCompanion) {
    ScratchFolder folder;
    std::string colour = folder / "pic.bmp";
    WriteFile(colour, SmallBmp());
    ImageRecord r = {}, a = {};
    // No companion file: result 1 and the colour image delivered.
    EXPECT_EQ(LoadImageWithAlpha(colour.c_str(), nullptr, 0, 0, nullptr, 0, 0, &r, &a, 0), 1);
    EXPECT_EQ(Argb(&r, 2, 0), 0xFF030303u);
    EXPECT_EQ(a.pixels, nullptr);
    ReleaseImageRecord(&r);

    WriteFile(folder / "pic_a.bmp", SmallBmp(0x40));
    EXPECT_EQ(LoadImageWithAlpha(colour.c_str(), nullptr, 0, 0, nullptr, 0, 0, &r, &a, 1), 0);
    EXPECT_EQ(Argb(&r, 0, 0), 0xFF030303u);
    EXPECT_EQ(Argb(&a, 0, 0), 0xFF434343u);
    ReleaseImageRecord(&r);
    ReleaseImageRecord(&a);

    // Alpha from a memory block; modes other than 0 and 1 ask for no companion.
    Bytes alpha = SmallBmp(0x80);
    EXPECT_EQ(LoadImageWithAlpha(colour.c_str(), nullptr, 0, 0, alpha.data(), static_cast<int>(alpha.size()), 1, &r, &a, 0), 0);
    EXPECT_EQ(Argb(&a, 0, 0), 0xFF818181u);
    ReleaseImageRecord(&r);
    ReleaseImageRecord(&a);
    EXPECT_EQ(LoadImageWithAlpha(colour.c_str(), nullptr, 0, 0, nullptr, 0, 1, &r, &a, 0), 1);
    ReleaseImageRecord(&r);
    EXPECT_EQ(LoadImageWithAlpha(colour.c_str(), nullptr, 0, 0, alpha.data(), 10, 2, &r, &a, 0), 1);
    ReleaseImageRecord(&r);
    EXPECT_EQ(LoadImageWithAlpha((folder / "missing.bmp").c_str(), nullptr, 0, 0, nullptr, 0, 0, &r, &a, 0), -1);
}
