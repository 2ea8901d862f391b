// The BMP, TGA, DDS and raw BGRA loaders over hand-made files, including damaged ones.
#include <gtest/gtest.h>

#include "graphics/image_dxt.h"
#include "test_image_util.h"

using namespace imagetest;

namespace {

struct BmpSpec {
    int bitCount = 24;
    int width = 1;
    int height = 1;  // negative: top-down
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB plus a top byte that must be dropped
    std::vector<uint32_t> masks;
    uint32_t headerSize = 40;
};

// A BMP whose pixel data is given in file order.
Bytes MakeBmp(const BmpSpec& s, const Bytes& data) {
    Bytes b;
    size_t tableSize = s.palette.size() * 4 + s.masks.size() * 4;
    uint32_t offset = static_cast<uint32_t>(14 + s.headerSize + tableSize);
    PutText(b, "BM");
    Put32(b, offset + static_cast<uint32_t>(data.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, s.headerSize);
    Put32(b, static_cast<uint32_t>(s.width));
    Put32(b, static_cast<uint32_t>(s.height));
    Put16(b, 1);
    Put16(b, s.bitCount);
    Put32(b, s.compression);
    Put32(b, static_cast<uint32_t>(data.size()));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (uint32_t m : s.masks) Put32(b, m);
    while (b.size() < 14 + s.headerSize) Put8(b, 0);
    for (uint32_t p : s.palette) Put32(b, p);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Rows given top-down, padded to 4 bytes and stored in the order the height asks for.
Bytes StoreRows(std::vector<Bytes> rows, bool bottomUp) {
    Bytes out;
    if (bottomUp) std::reverse(rows.begin(), rows.end());
    for (Bytes& r : rows) {
        while (r.size() % 4) r.push_back(0);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

}  // namespace

TEST(LoadBmp, TwentyFourBitRowOrdersGiveTheSameRecord) {
    std::vector<Bytes> rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {13, 14, 15, 16, 17, 18}};
    BmpSpec s;
    s.width = 2;
    s.height = 3;
    Loaded up(LoadBmpImage, MakeBmp(s, StoreRows(rows, true)));
    s.height = -3;
    Loaded down(LoadBmpImage, MakeBmp(s, StoreRows(rows, false)));
    ASSERT_EQ(up.result, 0);
    ASSERT_EQ(down.result, 0);
    EXPECT_EQ(up.r.height, 3);
    EXPECT_EQ(down.r.height, 3);
    EXPECT_EQ(up.r.pitch, 8);
    EXPECT_EQ(up.r.format.bitDepth, 24);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(up.r.pixels + y * 8, down.r.pixels + y * 8, 6), 0);
    EXPECT_EQ(Argb(&up.r, 0, 0), 0xFF030201u);
    EXPECT_EQ(Argb(&up.r, 1, 2), 0xFF121110u);
}

TEST(LoadBmp, PaletteImages) {
    BmpSpec s;
    s.bitCount = 8;
    s.width = 3;
    s.height = 2;
    for (int i = 0; i < 256; ++i) s.palette.push_back(0xAA000000u | (i << 16) | (255 - i));
    Loaded eight(LoadBmpImage, MakeBmp(s, StoreRows({{0, 1, 2}, {200, 201, 202}}, true)));
    ASSERT_EQ(eight.result, 0);
    EXPECT_EQ(eight.r.format.bytesPerPixel, 1);
    EXPECT_EQ(eight.r.pitch, 4);
    EXPECT_EQ(eight.r.pixels[0], 0);
    EXPECT_EQ(eight.r.pixels[4 + 2], 202);
    EXPECT_EQ(eight.r.format.palette[200].red, 200);
    EXPECT_EQ(eight.r.format.palette[200].reserved, 0);

    s.bitCount = 4;
    s.width = 5;
    s.palette.resize(16);
    Loaded four(LoadBmpImage, MakeBmp(s, StoreRows({{0x12, 0x34, 0x50}, {0xFE, 0xDC, 0xB0}}, true)));
    ASSERT_EQ(four.result, 0);
    EXPECT_EQ(four.r.format.bytesPerPixel, 1);
    EXPECT_EQ(four.r.pitch, 8);
    const uint8_t expect[2][5] = {{1, 2, 3, 4, 5}, {15, 14, 13, 12, 11}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(four.r.pixels[y * 8 + x], expect[y][x]);
    EXPECT_EQ(four.r.format.palette[15].red, 15);
    EXPECT_EQ(four.r.format.palette[16].red, 0);
    EXPECT_EQ(four.r.format.palette[255].blue, 0);

    // One bit a pixel goes through the DIB conversion to 24 bits.
    s.bitCount = 1;
    s.width = 10;
    s.palette = {0x000000, 0xFF8040};
    Loaded one(LoadBmpImage, MakeBmp(s, StoreRows({{0xC0, 0x40}, {0x00, 0x80}}, true)));
    ASSERT_EQ(one.result, 0);
    EXPECT_EQ(one.r.format.bitDepth, 24);
    EXPECT_EQ(one.r.pitch, 32);
    EXPECT_EQ(Argb(&one.r, 0, 0), 0xFFFF8040u);
    EXPECT_EQ(Argb(&one.r, 2, 0), 0xFF000000u);
    EXPECT_EQ(Argb(&one.r, 9, 0), 0xFFFF8040u);
    EXPECT_EQ(Argb(&one.r, 8, 1), 0xFFFF8040u);
    EXPECT_EQ(Argb(&one.r, 0, 1), 0xFF000000u);

    // A newer, longer info header: the palette follows it.
    s.bitCount = 8;
    s.width = 1;
    s.height = 1;
    s.headerSize = 124;
    s.palette.assign(256, 0);
    s.palette[7] = 0x123456;
    Loaded v5(LoadBmpImage, MakeBmp(s, StoreRows({{7}}, true)));
    ASSERT_EQ(v5.result, 0);
    EXPECT_EQ(Argb(&v5.r, 0, 0), 0x00123456u);

    // A palette shorter than the bit count allows, as the colours-used field says.
    s.headerSize = 40;
    s.width = 2;
    s.palette = {0x0000FF, 0x00FF00, 0xFF0000};
    Bytes shortPalette = MakeBmp(s, StoreRows({{2, 1}}, true));
    shortPalette[14 + 32] = 3;
    Loaded few(LoadBmpImage, shortPalette);
    ASSERT_EQ(few.result, 0);
    EXPECT_EQ(Argb(&few.r, 0, 0), 0x00FF0000u);
    EXPECT_EQ(Argb(&few.r, 1, 0), 0x0000FF00u);
    EXPECT_EQ(few.r.format.palette[3].red, 0);
}

TEST(LoadBmp, SixteenAndThirtyTwoBitsThroughGdi) {
    BmpSpec s;
    s.bitCount = 16;
    s.width = 3;
    s.height = 1;
    s.masks = {0, 0, 0};  // read but unused for plain 16 bits (5-5-5)
    Bytes row;
    for (uint32_t p : {0x7C00u, 0x03E0u, 0x4210u}) Put16(row, p);
    Loaded plain(LoadBmpImage, MakeBmp(s, StoreRows({row}, true)));
    ASSERT_EQ(plain.result, 0);
    EXPECT_EQ(plain.r.format.bitDepth, 24);
    EXPECT_EQ(plain.r.pitch % 4, 0);
    EXPECT_EQ(Argb(&plain.r, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Argb(&plain.r, 1, 0), 0xFF00FF00u);
    EXPECT_EQ(Argb(&plain.r, 2, 0), 0xFF848484u);  // 16 repeats its bits: 10000100

    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    row.clear();
    for (uint32_t p : {0xF800u, 0x07E0u, 0x001Fu}) Put16(row, p);
    Loaded fields(LoadBmpImage, MakeBmp(s, StoreRows({row}, true)));
    ASSERT_EQ(fields.result, 0);
    EXPECT_EQ(Argb(&fields.r, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Argb(&fields.r, 1, 0), 0xFF00FF00u);
    EXPECT_EQ(Argb(&fields.r, 2, 0), 0xFF0000FFu);

    s.bitCount = 32;
    s.compression = 0;
    s.height = -2;
    s.masks = {0, 0, 0};
    Bytes r0, r1;
    for (uint32_t p : {0x80102030u, 0x00405060u, 0xFFFFFFFFu}) Put32(r0, p);
    for (uint32_t p : {0x1u, 0x2u, 0x3u}) Put32(r1, p);
    Loaded wide(LoadBmpImage, MakeBmp(s, StoreRows({r0, r1}, false)));
    ASSERT_EQ(wide.result, 0);
    EXPECT_EQ(Argb(&wide.r, 0, 0), 0xFF102030u);
    EXPECT_EQ(Argb(&wide.r, 2, 1), 0xFF000003u);
}

// Plain 16- and 32-bit files carry no masks: a 1 x 1 file ends right after its one row.
TEST(LoadBmp, TinyPlainSixteenAndThirtyTwoBitFiles) {
    BmpSpec s;
    s.bitCount = 16;
    Bytes row;
    Put16(row, 0x7C00);
    Bytes file16 = MakeBmp(s, StoreRows({row}, true));
    ASSERT_EQ(file16.size(), 58u);
    Loaded sixteen(LoadBmpImage, file16);
    ASSERT_EQ(sixteen.result, 0);
    EXPECT_EQ(sixteen.r.width, 1);
    EXPECT_EQ(sixteen.r.height, 1);
    EXPECT_EQ(Argb(&sixteen.r, 0, 0), 0xFFFF0000u);

    s.bitCount = 32;
    row.clear();
    Put32(row, 0x00123456);
    Bytes file32 = MakeBmp(s, StoreRows({row}, true));
    ASSERT_EQ(file32.size(), 58u);
    Loaded thirtyTwo(LoadBmpImage, file32);
    ASSERT_EQ(thirtyTwo.result, 0);
    EXPECT_EQ(Argb(&thirtyTwo.r, 0, 0), 0xFF123456u);

    // Bit fields still need their three masks.
    s.compression = 3;
    Loaded noMasks(LoadBmpImage, MakeBmp(s, StoreRows({row}, true)));
    EXPECT_EQ(noMasks.result, -1);
}

TEST(LoadBmp, RunLengthImages) {
    BmpSpec s;
    s.bitCount = 8;
    s.compression = 1;
    s.width = 6;
    s.height = 3;
    for (int i = 0; i < 256; ++i) s.palette.push_back(i);
    // Bottom row first: a run of 3, an absolute run of 3 (padded), end of line; then a delta
    // of (2, 1) and a run of 2 on the top row; then end of bitmap.
    Bytes data = {3, 9, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 7, 0, 1};
    Loaded rle(LoadBmpImage, MakeBmp(s, data));
    ASSERT_EQ(rle.result, 0);
    EXPECT_EQ(rle.r.pitch, 8);
    const uint8_t expect[3][6] = {{0, 0, 7, 7, 0, 0}, {0, 0, 0, 0, 0, 0}, {9, 9, 9, 1, 2, 3}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(rle.r.pixels[y * 8 + x], expect[y][x]) << x << "," << y;

    // Runs past the right edge and deltas past the top stop at the image.
    Loaded wild(LoadBmpImage, MakeBmp(s, {255, 1, 0, 2, 255, 255, 200, 4, 0, 255}));
    EXPECT_EQ(wild.result, 0);
    EXPECT_EQ(wild.r.pixels[2 * 8 + 5], 1);
    // Every kind of packet reaching past the image's end, in both codings: the image
    // (rows top-down, 0 where nothing was written) or a refusal.
    const struct {
        const char* kind;
        int bitCount;
        Bytes data;
        int result;
        uint8_t rows[3][6];
    } pastTheEnd[] = {
        {"absolute run past the width", 8, {0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1}, 0,
         {{0}, {0}, {1, 2, 3, 4, 5, 6}}},
        {"run past the width of the top row", 8, {0, 0, 0, 0, 255, 7, 0, 1}, 0,
         {{7, 7, 7, 7, 7, 7}, {0}, {0}}},
        {"absolute run past the width of the top row", 8,
         {0, 0, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1}, 0, {{1, 2, 3, 4, 5, 6}, {0}, {0}}},
        {"lines past the top row", 8, {0, 0, 0, 0, 0, 0, 0, 0, 3, 7, 0, 1}, 0, {{0}, {0}, {0}}},
        {"delta past the right edge", 8, {0, 2, 200, 0, 3, 7, 0, 1}, 0, {{0}, {0}, {0}}},
        {"four-bit run past the width", 4, {255, 0xAB, 0, 1}, 0,
         {{0}, {0}, {0xA, 0xB, 0xA, 0xB, 0xA, 0xB}}},
        {"four-bit absolute run past the width", 4, {0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1},
         0, {{0}, {0}, {1, 2, 3, 4, 5, 6}}},
        {"four-bit lines past the top row", 4, {0, 0, 0, 0, 0, 0, 0, 0, 3, 0x77, 0, 1}, 0,
         {{0}, {0}, {0}}},
        {"absolute run cut short by the data's end", 8, {0, 3, 5, 6}, 0, {{0}, {0}, {0}}},
        {"four-bit absolute run cut short by the data's end", 4, {0, 5, 0x12, 0x34}, 0,
         {{0}, {0}, {0}}},
    };
    for (const auto& c : pastTheEnd) {
        SCOPED_TRACE(c.kind);
        BmpSpec coded = s;
        coded.bitCount = c.bitCount;
        coded.compression = c.bitCount == 8 ? 1 : 2;
        coded.palette.resize(c.bitCount == 8 ? 256 : 16);
        Loaded got(LoadBmpImage, MakeBmp(coded, c.data));
        ASSERT_EQ(got.result, c.result);
        if (c.result != 0) continue;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(got.r.pixels[y * 8 + x], c.rows[y][x]) << x << "," << y;
    }
    // A row as wide as the pitch: a run past its end leaves the row below it alone.
    for (int bits : {8, 4}) {
        BmpSpec full = s;
        full.width = 8;
        full.bitCount = bits;
        full.compression = bits == 8 ? 1 : 2;
        full.palette.resize(bits == 8 ? 256 : 16);
        Loaded got(LoadBmpImage, MakeBmp(full, {8, 0x11, 0, 0, 255, 0x22, 0, 1}));
        ASSERT_EQ(got.result, 0);
        EXPECT_EQ(got.r.pixels[2 * 8], bits == 8 ? 0x11 : 1) << bits;
    }

    s.bitCount = 4;
    s.compression = 2;
    s.palette.resize(16);
    // Encoded run of 5 alternating 0xA and 0xB; absolute run of 3 nibbles 1, 2, 3.
    Loaded four(LoadBmpImage, MakeBmp(s, {5, 0xAB, 0, 0, 0, 3, 0x12, 0x30, 0, 1}));
    ASSERT_EQ(four.result, 0);
    const uint8_t bottom[6] = {0xA, 0xB, 0xA, 0xB, 0xA, 0};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(four.r.pixels[2 * 8 + x], bottom[x]);
    EXPECT_EQ(four.r.pixels[8 + 0], 1);
    EXPECT_EQ(four.r.pixels[8 + 2], 3);
    EXPECT_EQ(four.r.format.palette[16].red, 0);
}

TEST(LoadBmp, DamagedFilesAreRefused) {
    BmpSpec s;
    s.width = 4;
    s.height = 4;
    Bytes good = MakeBmp(s, StoreRows({{}, {}, {}, {}}, true));
    Bytes truncated = good;
    truncated.resize(truncated.size() - 20);
    EXPECT_EQ(Loaded(LoadBmpImage, truncated).result, -1);
    BmpSpec wide = s;
    wide.bitCount = 32;
    EXPECT_EQ(Loaded(LoadBmpImage, MakeBmp(wide, Bytes(4 * 4 * 4 - 4))).result, -1);
    Bytes notBmp = good;
    notBmp[0] = 'X';
    EXPECT_EQ(Loaded(LoadBmpImage, notBmp).result, -1);
    s.width = 100000;
    EXPECT_EQ(Loaded(LoadBmpImage, MakeBmp(s, Bytes(64))).result, -1);
    s.width = 4;
    s.bitCount = 7;
    EXPECT_EQ(Loaded(LoadBmpImage, MakeBmp(s, Bytes(64))).result, -1);
    s.bitCount = 24;
    s.compression = 4;  // embedded JPEG
    EXPECT_EQ(Loaded(LoadBmpImage, MakeBmp(s, Bytes(64))).result, -1);
    Bytes offsetPastEnd = good;
    offsetPastEnd[10] = 0xFF;
    offsetPastEnd[11] = 0xFF;
    EXPECT_EQ(Loaded(LoadBmpImage, offsetPastEnd).result, -1);
    Bytes tiny(good.begin(), good.begin() + 30);
    EXPECT_EQ(Loaded(LoadBmpImage, tiny).result, -1);
    BmpSpec noRuns = s;
    noRuns.bitCount = 8;
    noRuns.compression = 1;
    noRuns.palette.assign(256, 0);
    EXPECT_EQ(Loaded(LoadBmpImage, MakeBmp(noRuns, {})).result, -1) << "run lengths, no data";
}

namespace {

struct TgaSpec {
    int imageType = 2;
    int mapType = 0;
    int mapFirst = 0;
    int mapLength = 0;
    int mapBits = 0;
    int yOrigin = 0;
    int width = 2;
    int height = 2;
    int depth = 24;
    int descriptor = 0x20;
    Bytes id;
};

Bytes MakeTga(const TgaSpec& s, const Bytes& map, const Bytes& data, bool footer = false) {
    Bytes b;
    Put8(b, static_cast<uint32_t>(s.id.size()));
    Put8(b, s.mapType);
    Put8(b, s.imageType);
    Put16(b, s.mapFirst);
    Put16(b, s.mapLength);
    Put8(b, s.mapBits);
    Put16(b, 0);
    Put16(b, s.yOrigin);
    Put16(b, s.width);
    Put16(b, s.height);
    Put8(b, s.depth);
    Put8(b, s.descriptor);
    b.insert(b.end(), s.id.begin(), s.id.end());
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), data.begin(), data.end());
    if (footer) {
        Put32(b, 0);
        Put32(b, 0);
        PutText(b, "TRUEVISION-XFILE.");
        Put8(b, 0);
    }
    return b;
}

}  // namespace

TEST(LoadTga, TrueColourOrientations) {
    TgaSpec s;
    Bytes data = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    Loaded topDown(LoadTgaImage, MakeTga(s, {}, data));
    ASSERT_EQ(topDown.result, 0);
    EXPECT_EQ(topDown.r.pitch, 6);
    EXPECT_EQ(Argb(&topDown.r, 0, 0), 0xFF010101u);
    EXPECT_EQ(Argb(&topDown.r, 1, 1), 0xFF040404u);
    s.descriptor = 0x00;
    Loaded bottomUp(LoadTgaImage, MakeTga(s, {}, data));
    EXPECT_EQ(Argb(&bottomUp.r, 0, 0), 0xFF030303u);
    s.descriptor = 0x30;
    s.id = {9, 9, 9};
    Loaded mirrored(LoadTgaImage, MakeTga(s, {}, data));
    EXPECT_EQ(Argb(&mirrored.r, 0, 0), 0xFF020202u);

    // Run-length 32-bit pixels, with the footer after them.
    s = TgaSpec();
    s.imageType = 10;
    s.depth = 32;
    s.width = 3;
    s.height = 1;
    Bytes rle = {0x81, 0x10, 0x20, 0x30, 0x40, 0x00, 0x50, 0x60, 0x70, 0x80};
    Loaded packed(LoadTgaImage, MakeTga(s, {}, rle, true));
    ASSERT_EQ(packed.result, 0);
    EXPECT_EQ(packed.r.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(Argb(&packed.r, 1, 0), 0x40302010u);
    EXPECT_EQ(Argb(&packed.r, 2, 0), 0x80706050u);
    Bytes shortByOne(rle.begin(), rle.end() - 1);
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, shortByOne)).result, -1);
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, shortByOne, true)).result, -1) << "footer";
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, {0x82, 1, 2, 3})).result, -1) << "run value";
    rle.resize(6);
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, rle)).result, -1);  // data ends early

    // Packets reaching past the image's end, true-colour and colour-mapped: the image is
    // complete at its last pixel and what lies past it is left out.
    Bytes map;
    Put16(map, 0x7C00);
    Put16(map, 0x001F);
    const struct {
        const char* kind;
        int imageType;
        Bytes data;
        uint32_t last;  // the third and last pixel
    } pastTheEnd[] = {
        {"run", 10, {0x84, 1, 2, 3}, 0xFF030201u},
        {"raw packet", 10, {0x04, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}, 0xFF030303u},
        {"run after a full image", 10, {0x82, 1, 2, 3, 0xFF, 9, 9, 9}, 0xFF030201u},
        {"run one past the end", 10, {0x83, 1, 2, 3}, 0xFF030201u},
        {"raw packet one past the end, the data ending with the image", 10,
         {0x03, 1, 1, 1, 2, 2, 2, 3, 3, 3}, 0xFF030303u},
        {"mapped run", 9, {0x84, 3}, 0xFF0000FFu},
        {"mapped raw packet", 9, {0x04, 3, 3, 2, 2, 2}, 0xFFFF0000u},
        {"mapped run after a full image", 9, {0x82, 2, 0xFF, 3}, 0xFFFF0000u},
        {"mapped raw packet one past the end, the data ending with the image", 9, {0x03, 3, 3, 2},
         0xFFFF0000u},
    };
    for (const auto& c : pastTheEnd) {
        SCOPED_TRACE(c.kind);
        TgaSpec coded;
        coded.imageType = c.imageType;
        coded.width = 3;
        coded.height = 1;
        if (c.imageType == 9) {
            coded.mapType = 1;
            coded.mapFirst = 2;
            coded.mapLength = 2;
            coded.mapBits = 16;
            coded.depth = 8;
        }
        Loaded got(LoadTgaImage, MakeTga(coded, c.imageType == 9 ? map : Bytes{}, c.data));
        ASSERT_EQ(got.result, 0);
        EXPECT_EQ(Argb(&got.r, 2, 0), c.last);
    }
}

TEST(LoadTga, ColourMappedImages) {
    TgaSpec s;
    s.imageType = 1;
    s.mapType = 1;
    s.mapFirst = 2;
    s.mapLength = 2;
    s.mapBits = 16;
    s.depth = 8;
    s.width = 3;
    s.height = 1;
    Bytes map;
    Put16(map, 0x7C00);
    Put16(map, 0x001F);
    Loaded mapped(LoadTgaImage, MakeTga(s, map, {2, 3, 0}));
    ASSERT_EQ(mapped.result, 0);
    EXPECT_EQ(mapped.r.format.bitDepth, 16);
    EXPECT_EQ(mapped.r.format.unusedMask, 0x8000u);
    EXPECT_EQ(Argb(&mapped.r, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Argb(&mapped.r, 1, 0), 0xFF0000FFu);
    EXPECT_EQ(Argb(&mapped.r, 2, 0), 0xFF000000u);

    s.imageType = 9;
    Loaded rle(LoadTgaImage, MakeTga(s, map, {0x82, 3}));
    ASSERT_EQ(rle.result, 0);
    EXPECT_EQ(Argb(&rle.r, 2, 0), 0xFF0000FFu);

    // A map reaching past entry 255 keeps only what fits.
    s.imageType = 1;
    s.mapFirst = 255;
    Loaded edge(LoadTgaImage, MakeTga(s, map, {255, 255, 0}));
    ASSERT_EQ(edge.result, 0);
    EXPECT_EQ(Argb(&edge.r, 0, 0), 0xFFFF0000u);
    s.mapBits = 32;  // entries as wide as the table's
    Bytes wide;
    for (uint32_t entry : {0x80102030u, 0x80405060u, 0x80708090u, 0x80A0B0C0u}) Put32(wide, entry);
    s.mapLength = 4;
    Loaded wideEdge(LoadTgaImage, MakeTga(s, wide, {255, 255, 0}));
    ASSERT_EQ(wideEdge.result, 0);
    EXPECT_EQ(Argb(&wideEdge.r, 1, 0), 0x80102030u);
    EXPECT_EQ(Argb(&wideEdge.r, 2, 0), 0u);
}

TEST(LoadTga, RefusedHeaders) {
    Bytes data(4 * 3 * 8193, 0);
    TgaSpec s;
    s.width = 8193;
    s.height = 1;
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, data)).result, -1);
    s = TgaSpec();
    s.imageType = 3;
    s.depth = 8;
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, data)).result, -1);
    s = TgaSpec();
    s.yOrigin = 1;
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, data)).result, -1);
    s = TgaSpec();
    s.depth = 15;
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, data)).result, -1);
    s = TgaSpec();
    EXPECT_EQ(Loaded(LoadTgaImage, MakeTga(s, {}, {1, 2, 3})).result, -1);  // short pixels
}

TEST(Dxt, WorkedBlocks) {
    uint32_t out[16];
    const uint8_t redBlue[8] = {0x00, 0xF8, 0x1F, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
    DecodeDxtBlock(redBlue, 1, out);
    EXPECT_EQ(out[0], 0xFFAA0055u);
    EXPECT_EQ(out[15], 0xFFAA0055u);
    const uint8_t white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    DecodeDxtBlock(white, 1, out);
    EXPECT_EQ(out[5], 0x00FFFFFFu);
    // Indices 0, 1, 2, 3 along the first row; three-colour mode gives the midpoint.
    const uint8_t mid[8] = {0x00, 0x00, 0x1F, 0x00, 0xE4, 0, 0, 0};
    DecodeDxtBlock(mid, 1, out);
    EXPECT_EQ(out[0], 0xFF000000u);
    EXPECT_EQ(out[1], 0xFF0000FFu);
    EXPECT_EQ(out[2], 0xFF00007Fu);
    EXPECT_EQ(out[3], 0x0000007Fu);
    EXPECT_EQ(out[4], 0xFF000000u);

    // DXT3: explicit 4-bit alpha; colour half always four colours.
    uint8_t dxt3[16] = {0x8F, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0};
    DecodeDxtBlock(dxt3, 3, out);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    EXPECT_EQ(out[1], 0x88FFFFFFu);
    EXPECT_EQ(out[2], 0x00FFFFFFu);

    // DXT5: interpolated alpha, eight values, then the six-value form.
    uint8_t dxt5[16] = {200, 60, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    const uint32_t indices = 0 | (1 << 3) | (2 << 6) | (7 << 9);
    dxt5[2] = indices & 0xFF;
    dxt5[3] = (indices >> 8) & 0xFF;
    DecodeDxtBlock(dxt5, 5, out);
    EXPECT_EQ(out[0] >> 24, 200u);
    EXPECT_EQ(out[1] >> 24, 60u);
    EXPECT_EQ(out[2] >> 24, (6 * 200 + 60) / 7u);
    EXPECT_EQ(out[3] >> 24, (200 + 6 * 60) / 7u);
    dxt5[0] = 60;
    dxt5[1] = 200;
    DecodeDxtBlock(dxt5, 5, out);
    EXPECT_EQ(out[2] >> 24, (4 * 60 + 200) / 5u);
    EXPECT_EQ(out[3] >> 24, 255u);
    dxt5[3] = 0x0C;  // pixel 3 now has index 6, which is 0 in the six-value form
    DecodeDxtBlock(dxt5, 5, out);
    EXPECT_EQ(out[3] >> 24, 0u);

    // DXT2 and DXT4 hold premultiplied colours: divided back, limited to 255.
    uint8_t dxt4[16] = {128, 128, 0, 0, 0, 0, 0, 0, 0x10, 0x42, 0x10, 0x42, 0, 0, 0, 0};
    DecodeDxtBlock(dxt4, 4, out);
    // 0x4210 expands to 65, 64, 131; over alpha 128 blue would pass 255.
    EXPECT_EQ(out[0], 0x80000000u | (65 * 255 / 128) << 16 | (64 * 255 / 128) << 8 | 0xFF);
    uint8_t dxt2[16] = {0x11, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    DecodeDxtBlock(dxt2, 2, out);
    EXPECT_EQ(out[0], 0x11FFFFFFu);
    EXPECT_EQ(out[2] & 0xFF000000u, 0u);
}

namespace {

Bytes MakeDds(uint32_t width, uint32_t height, uint32_t pixelFlags, uint32_t fourCc,
              uint32_t bits, std::array<uint32_t, 4> masks, uint32_t mips, size_t dataSize,
              uint32_t flags = 0x1007, uint32_t pitch = 0) {
    Bytes b;
    PutText(b, "DDS ");
    Put32(b, 124);
    Put32(b, flags | (mips ? 0x20000 : 0));
    Put32(b, height);
    Put32(b, width);
    Put32(b, pitch);
    Put32(b, 0);
    Put32(b, mips);
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    Put32(b, 32);
    Put32(b, pixelFlags);
    Put32(b, fourCc);
    Put32(b, bits);
    for (uint32_t m : masks) Put32(b, m);
    Put32(b, 0x1000 | (mips ? 0x400008 : 0));
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (size_t i = 0; i < dataSize; ++i) Put8(b, static_cast<uint32_t>(i * 7));
    return b;
}

uint32_t FourCc(const char* t) { return t[0] | (t[1] << 8) | (t[2] << 16) | (t[3] << 24); }

}  // namespace

TEST(LoadDds, BlockSizesMipChainsAndFormats) {
    Loaded plain(LoadDdsImage, MakeDds(256, 256, 4, FourCc("DXT1"), 0, {}, 0, 32768));
    ASSERT_EQ(plain.result, 0);
    EXPECT_EQ(plain.r.format.formatCode, 1u);
    EXPECT_EQ(plain.r.format.bitDepth, 4);
    EXPECT_EQ(plain.r.format.bytesPerPixel, 4);
    EXPECT_EQ(plain.r.pitch, 0);
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(256, 256, 4, FourCc("DXT1"), 0, {}, 0, 32767)).result, -1);
    const size_t chain = 32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 8 + 8;
    Loaded mips(LoadDdsImage, MakeDds(256, 256, 4, FourCc("DXT1"), 0, {}, 9, chain));
    ASSERT_EQ(mips.result, 0);
    EXPECT_EQ(mips.r.mipCount, 9);
    EXPECT_EQ(mips.r.pixels[chain - 1], static_cast<uint8_t>((chain - 1) * 7));
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(256, 256, 4, FourCc("DXT1"), 0, {}, 9, chain - 1)).result, -1);
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(8, 8, 4, FourCc("DXT9"), 0, {}, 0, 64)).result, -1);

    // A 6 x 6 DXT5 image holds 2 x 2 blocks; the edge blocks write only the pixels inside.
    Bytes sixBytes = MakeDds(6, 6, 4, FourCc("DXT5"), 0, {}, 0, 64);
    EXPECT_EQ(Loaded(LoadDdsImage, Bytes(sixBytes.begin(), sixBytes.end() - 1)).result, -1);
    Loaded six(LoadDdsImage, sixBytes);
    ASSERT_EQ(six.result, 0);
    ASSERT_EQ(DecodeDxtImage(&six.r), 0);
    EXPECT_EQ(six.r.format.formatCode, 0u);
    EXPECT_EQ(six.r.pitch, 24);
    EXPECT_EQ(six.r.mipCount, 0);
    uint32_t last[16];
    DecodeDxtBlock(sixBytes.data() + 128 + 48, 5, last);
    EXPECT_EQ(Argb(&six.r, 5, 5), last[5]);
    EXPECT_EQ(Argb(&six.r, 4, 4), last[0]);

    Loaded numbered(LoadDdsImage, MakeDds(2, 2, 4, 21, 0, {}, 0, 16));
    ASSERT_EQ(numbered.result, 0);
    EXPECT_EQ(numbered.r.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(numbered.r.pitch, 8);
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(2, 2, 4, 36, 0, {}, 0, 16)).result, -1);

    Loaded masks(LoadDdsImage, MakeDds(3, 2, 0x41, 0, 16, {0xF00, 0xF0, 0xF, 0xF000}, 0, 12));
    ASSERT_EQ(masks.result, 0);
    EXPECT_EQ(masks.r.format.alphaWidth, 4);
    EXPECT_EQ(masks.r.pitch, 6);
    Loaded pitched(LoadDdsImage, MakeDds(3, 2, 0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 0, 24, 0x100F, 12));
    ASSERT_EQ(pitched.result, 0);
    EXPECT_EQ(pitched.r.pitch, 12);
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(3, 2, 0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 0, 24, 0x100F, 4)).result, -1);
    EXPECT_EQ(Loaded(LoadDdsImage, MakeDds(70000, 2, 0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 0, 24)).result, -1);
}

// Eight-bit and luminance surfaces load with their real colours (through the pixel access and
// through a copy into a 32-bit record), or are refused; never black with success.
TEST(LoadDds, EightBitAndLuminanceSurfacesKeepTheirColours) {
    struct Case {
        const char* name;
        uint32_t pixelFlags, fourCc, bits;
        std::array<uint32_t, 4> masks;
        std::vector<uint32_t> data;   // one value per pixel, bits / 8 bytes each
        std::vector<uint32_t> argb;   // what each pixel must be
    };
    const Case cases[] = {
        {"R3G3B2", 4, 27, 0, {}, {0xE0, 0x1C, 0x03, 0xFF}, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}},
        {"L8", 0x20000, 0, 8, {0xFF, 0, 0, 0}, {0x00, 0x80, 0xFF, 0x40},
         {0xFF000000, 0xFF808080, 0xFFFFFFFF, 0xFF404040}},
        {"A8L8", 0x20001, 0, 16, {0xFF, 0, 0, 0xFF00}, {0xFF80, 0x80FF, 0xFF00, 0xFF40},
         {0xFF808080, 0x80FFFFFF, 0xFF000000, 0xFF404040}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int bytes = c.fourCc == 27 ? 1 : static_cast<int>(c.bits / 8);
        Bytes file = MakeDds(2, 2, c.pixelFlags, c.fourCc, c.bits, c.masks, 0, 0);
        for (uint32_t v : c.data)
            for (int i = 0; i < bytes; ++i) Put8(file, v >> (8 * i));
        Loaded loaded(LoadDdsImage, file);
        if (loaded.result != 0) continue;  // refused: allowed
        ImageRecord copy = {};
        ASSERT_EQ(CreateArgbImageRecord(2, 2, &copy), 0);
        CopyImageRect(0, 0, 2, 2, 0, 0, &loaded.r, &copy);
        const uint32_t keep = c.masks[3] != 0 ? 0xFFFFFFFF : 0xFFFFFF;  // alpha when it has one
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Argb(&loaded.r, i % 2, i / 2) & keep, c.argb[i] & keep)
                << std::hex << "pixel " << i;
            EXPECT_EQ(Argb(&copy, i % 2, i / 2) & keep, c.argb[i] & keep)
                << std::hex << "copied pixel " << i;
        }
        ReleaseImageRecord(&copy);
    }
}

TEST(LoadBgra, EightAndSixteenBitChannels) {
    Bytes b;
    PutText(b, "BGRA");
    Put32(b, 0x08080808);
    Put32(b, 2);
    Put32(b, 1);
    for (uint32_t v : {0x11u, 0x22u, 0x33u, 0x44u, 0x55u, 0x66u, 0x77u, 0x88u}) Put8(b, v);
    Loaded eight(LoadBgraImage, b);
    ASSERT_EQ(eight.result, 0);
    EXPECT_EQ(Argb(&eight.r, 0, 0), 0x44332211u);
    EXPECT_EQ(eight.r.pitch, 8);

    Bytes w;
    PutText(w, "BGRA");
    Put32(w, 0x10101010);
    Put32(w, 1);
    Put32(w, 1);
    for (uint32_t v : {0x1234u, 0x5678u, 0x9ABCu, 0xDEF0u}) Put16(w, v);
    Loaded sixteen(LoadBgraImage, w);
    ASSERT_EQ(sixteen.result, 0);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(sixteen.r.pixels)[0], 0xDE9A5612u);
    w.pop_back();
    EXPECT_EQ(Loaded(LoadBgraImage, w).result, -1);

    Bytes empty;
    PutText(empty, "BGRA");
    Put32(empty, 0x10101010);
    Put32(empty, 5);
    Put32(empty, 0);
    Loaded none(LoadBgraImage, empty);
    EXPECT_EQ(none.result, 0);
    EXPECT_EQ(none.r.width, 5);
    EXPECT_EQ(none.r.height, 0);

    Bytes odd = b;
    odd[5] = 0x10;
    EXPECT_EQ(Loaded(LoadBgraImage, odd).result, -1);
    Bytes huge = b;
    huge[10] = 0x10;  // width 0x100002
    EXPECT_EQ(Loaded(LoadBgraImage, huge).result, -1);
}
