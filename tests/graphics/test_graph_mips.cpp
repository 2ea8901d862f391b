// Mip levels of graph textures: DDS chains written level by level (blocks as they are, plain
// levels converted), lower levels reduced from the first, odd sides, compressed textures made
// plain for other images, and lock failures.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "../core/log_capture.h"
#include "device_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/image_dxt.h"
#include "graphics/image_mip.h"
#include "graphics/screen.h"
#include "test_image_util.h"

namespace {

using imagetest::Bytes;
using imagetest::Put32;

uint32_t FourCc(const char* t) { return t[0] | (t[1] << 8) | (t[2] << 16) | (t[3] << 24); }

// A DDS file with a mip chain: DXT (fourCc) or 32-bit A8R8G8B8 masks (fourCc 0); the data bytes
// are a running pattern so that every level differs.
Bytes MakeMipDds(uint32_t width, uint32_t height, uint32_t fourCc, uint32_t mips, size_t size) {
    Bytes b;
    imagetest::PutText(b, "DDS ");
    Put32(b, 124);
    Put32(b, 0x1007 | 0x20000);
    Put32(b, height);
    Put32(b, width);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, mips);
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    Put32(b, 32);
    Put32(b, fourCc != 0 ? 0x4 : 0x41);
    Put32(b, fourCc);
    Put32(b, fourCc != 0 ? 0 : 32);
    for (uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(b, fourCc != 0 ? 0 : m);
    Put32(b, 0x1000 | 0x400008);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (size_t i = 0; i < size; ++i) b.push_back(static_cast<uint8_t>(i * 13 + i / 251));
    return b;
}

class GraphMipTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        StartFreshLog();
        g_GraphTable = {};
        g_ScreenImages = {};
        g_ScreenState = {};
        ASSERT_EQ(InitGraphics(), 0);
        ASSERT_EQ(g_ScreenSettings.useDirect3D, 1);
        g_DrawSettings.noColorKey = 1;
        Recording().ClearCalls();
    }
    void TearDown() override {
        for (ImageRecord& image : images_)
            if (image.pixels != nullptr) ReleaseImageRecord(&image);
        EndGraphics();
        g_GraphTable = {};
        RecordingDeviceTest::TearDown();
    }

    ImageRecord* Load(const Bytes& bytes) {
        images_.emplace_back();
        EXPECT_EQ(imagetest::LoadWith(LoadDdsImage, bytes, &images_.back()), 0);
        return &images_.back();
    }
    // A graph of the image's size with the given texture levels, the image uploaded into it.
    int Graph(const ImageRecord* image, int dxtKind, int levels, int* uploaded) {
        int graph = NewGraphHandle();
        EXPECT_EQ(SetupOriginalImage(graph, image->width, image->height, 1, 0, dxtKind, levels), 0);
        *uploaded = UploadImageToGraph(nullptr, image, nullptr, 0, 0, graph, 0);
        return graph;
    }
    static V_IDirect3DTexture9* Texture(int graph) {
        return GetGraphRecord(graph)->pieces[0].piece->texture;
    }
    // Bytes of one texture level: `rows` rows of `rowBytes` from the level's lock.
    static Bytes LevelBytes(V_IDirect3DTexture9* texture, int level, int rowBytes, int rows) {
        V_D3DLOCKED_RECT locked{};
        Bytes out;
        if (texture->LockRect(static_cast<V_UINT>(level), &locked, nullptr, 0) != V_S_OK) return out;
        for (int y = 0; y < rows; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
            out.insert(out.end(), row, row + rowBytes);
        }
        texture->UnlockRect(static_cast<V_UINT>(level));
        return out;
    }
    static Bytes SourceBytes(const ImageRecord* image, int level, int rowBytes, int rows) {
        ImageRecord view{};
        Bytes out;
        if (GetImageMipLevel(image, level, &view) != 0) return out;
        for (int y = 0; y < rows; ++y)
            out.insert(out.end(), view.pixels + y * view.pitch, view.pixels + y * view.pitch + rowBytes);
        return out;
    }

    std::deque<ImageRecord> images_;  // stable addresses as records are added
};

TEST_F(GraphMipTest, DdsChainsGoIntoEveryLevelWithTheirSizes) {
    // 64 x 32: levels 64x32 ... 1x1; DXT1 blocks per level max(1, ceil(side / 4)).
    const int blocks[7][2] = {{16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}, {1, 1}, {1, 1}};
    ImageRecord* dxt = Load(MakeMipDds(64, 32, FourCc("DXT1"), 7, 1024 + 256 + 64 + 16 + 8 + 8 + 8));
    int uploaded = -1;
    int graph = Graph(dxt, 1, 7, &uploaded);
    ASSERT_EQ(uploaded, 0);
    V_IDirect3DTexture9* texture = Texture(graph);
    ASSERT_EQ(texture->GetLevelCount(), 7u);
    for (int level = 0; level < 7; ++level) {
        EXPECT_TRUE(Called("Texture::LockRect(" + V_RecordingName(texture) + "," +
                           std::to_string(level) + ",0)"))
            << level;
        V_D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(static_cast<V_UINT>(level), &desc), V_S_OK);
        EXPECT_EQ(desc.Width, static_cast<V_UINT>(MipLevelSide(64, level)));
        EXPECT_EQ(desc.Height, static_cast<V_UINT>(MipLevelSide(32, level)));
        int rowBytes = blocks[level][0] * 8;
        EXPECT_EQ(LevelBytes(texture, level, rowBytes, blocks[level][1]),
                  SourceBytes(dxt, level, rowBytes, blocks[level][1]))
            << level;
    }

    // The same chain as 32-bit pixels: each level converted into its own level.
    ImageRecord* plain = Load(
        MakeMipDds(64, 32, 0, 7, 4 * (64 * 32 + 32 * 16 + 16 * 8 + 8 * 4 + 4 * 2 + 2 + 1)));
    graph = Graph(plain, 0, 7, &uploaded);
    ASSERT_EQ(uploaded, 0);
    texture = Texture(graph);
    for (int level = 0; level < 7; ++level) {
        int w = MipLevelSide(64, level), h = MipLevelSide(32, level);
        EXPECT_EQ(LevelBytes(texture, level, 4 * w, h), SourceBytes(plain, level, 4 * w, h))
            << level;
    }
}

TEST_F(GraphMipTest, OddSidesGiveLevelsOfAtLeastOne) {
    // 5 x 3: levels 5x3, 2x1, 1x1. DXT1 blocks 2x1, 1x1, 1x1; plain rows 20, 8 and 4 bytes.
    ImageRecord* dxt = Load(MakeMipDds(5, 3, FourCc("DXT1"), 3, 16 + 8 + 8));
    ImageRecord view{};
    ASSERT_EQ(GetImageMipLevel(dxt, 2, &view), 0);
    EXPECT_EQ(view.pixels - dxt->pixels, 24);
    EXPECT_EQ(view.width, 1);
    EXPECT_EQ(GetImageMipLevel(dxt, 3, &view), -1);
    int uploaded = -1;
    int graph = Graph(dxt, 1, 3, &uploaded);
    ASSERT_EQ(uploaded, 0);
    V_IDirect3DTexture9* texture = Texture(graph);  // 8 x 8, 4 x 4, 2 x 2
    ASSERT_EQ(texture->GetLevelCount(), 3u);
    EXPECT_EQ(LevelBytes(texture, 0, 16, 1), SourceBytes(dxt, 0, 16, 1));
    EXPECT_EQ(LevelBytes(texture, 1, 8, 1), SourceBytes(dxt, 1, 8, 1));
    EXPECT_EQ(LevelBytes(texture, 2, 8, 1), SourceBytes(dxt, 2, 8, 1));

    ImageRecord* plain = Load(MakeMipDds(5, 3, 0, 3, 60 + 8 + 4));
    ASSERT_EQ(GetImageMipLevel(plain, 1, &view), 0);
    EXPECT_EQ(view.pitch, 8);
    EXPECT_EQ(view.pixels - plain->pixels, 60);
    graph = Graph(plain, 0, 3, &uploaded);
    ASSERT_EQ(uploaded, 0);
    texture = Texture(graph);
    EXPECT_EQ(LevelBytes(texture, 0, 20, 3), SourceBytes(plain, 0, 20, 3));
    EXPECT_EQ(LevelBytes(texture, 1, 8, 1), SourceBytes(plain, 1, 8, 1));
    EXPECT_EQ(LevelBytes(texture, 2, 4, 1), SourceBytes(plain, 2, 4, 1));
    // Outside the image's level the texture level stays zeroed.
    EXPECT_EQ(LevelBytes(texture, 1, 16, 4)[8], 0);
}

TEST_F(GraphMipTest, CompressedTexturesTakeOtherImagesAsPlainPixels) {
    ImageRecord* plain = Load(MakeMipDds(8, 8, 0, 0, 256));
    ImageRecord* dxt5 = Load(MakeMipDds(8, 8, FourCc("DXT5"), 0, 64));
    ImageRecord* shortChain = Load(MakeMipDds(8, 8, FourCc("DXT1"), 2, 32 + 8));
    for (const ImageRecord* image : {plain, dxt5, shortChain}) {
        int graph = NewGraphHandle();
        ASSERT_EQ(SetupOriginalImage(graph, 8, 8, 1, 0, 1, 4), 0);
        // The textures become plain ones and hold the image's (decoded) first level.
        EXPECT_EQ(UploadImageToGraph(nullptr, image, nullptr, 0, 0, graph, 0), 0);
        V_D3DSURFACE_DESC desc{};
        ASSERT_EQ(Texture(graph)->GetLevelDesc(0, &desc), V_S_OK);
        EXPECT_EQ(desc.Format, V_D3DFMT_A8R8G8B8);
        uint32_t first = 0;
        if (image->format.formatCode != 0) {
            uint32_t block[16];
            DecodeDxtBlock(image->pixels, static_cast<int>(image->format.formatCode), block);
            first = block[0];
        } else {
            std::memcpy(&first, image->pixels, 4);
        }
        Bytes level = LevelBytes(Texture(graph), 0, 4, 1);
        ASSERT_EQ(level.size(), 4u);
        uint32_t got = 0;
        std::memcpy(&got, level.data(), 4);
        EXPECT_EQ(got, first);
    }
    EXPECT_EQ(ReadLog().find("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"),
              std::string::npos);
}

TEST_F(GraphMipTest, LowerLevelsAreReducedWhenTheImageHasFewer) {
    // A plain 8 x 8 image into a texture of 4 levels: level 1 pixel (0, 0) is the mean of the
    // 2 x 2 block, down to one pixel at level 3.
    ImageRecord image{};
    ASSERT_EQ(CreateArgbImageRecord(8, 8, &image), 0);
    images_.push_back(image);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            SetImagePixel(&image, x, y, x * 32, y * 32, 200, x == 0 && y == 0 ? 0 : 255);
    int uploaded = -1;
    int graph = Graph(&image, 0, 4, &uploaded);
    ASSERT_EQ(uploaded, 0);
    V_IDirect3DTexture9* texture = Texture(graph);
    auto pixel = [&](int level, int x, int y) {
        Bytes bytes = LevelBytes(texture, level, 4 * MipLevelSide(8, level), MipLevelSide(8, level));
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + 4 * (y * MipLevelSide(8, level) + x), 4);
        return value;
    };
    EXPECT_EQ(pixel(0, 1, 1), 0xFF2020C8u);
    // (0 + 32 + 0 + 32) / 4 = 16 red, 16 green, alpha (0 + 3 x 255) / 4 = 191.
    EXPECT_EQ(pixel(1, 0, 0), 0xBF1010C8u);
    EXPECT_EQ(pixel(1, 3, 3), 0xFFD0D0C8u);
    EXPECT_EQ(pixel(3, 0, 0) & 0x00FFFFFFu, 0x007070C8u);

    // A DXT image into a plain texture: the first level is decoded, lower ones reduced from it.
    ImageRecord* dxt = Load(MakeMipDds(8, 8, FourCc("DXT1"), 4, 32 + 8 + 8 + 8));
    graph = Graph(dxt, 0, 4, &uploaded);
    ASSERT_EQ(uploaded, 0);
    EXPECT_EQ(dxt->format.formatCode, 1u);  // the caller's record stays compressed
    texture = Texture(graph);
    uint32_t block[16];
    DecodeDxtBlock(dxt->pixels, 1, block);
    EXPECT_EQ(pixel(0, 1, 1), block[5]);
    uint32_t mean = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 0;
        for (int i : {0, 1, 4, 5}) sum += (block[i] >> shift) & 0xFF;
        mean |= (sum >> 2) << shift;
    }
    EXPECT_EQ(pixel(1, 0, 0), mean);

    // A level lock that fails ends the transfer with the mip-map message.
    Recording().failing.insert("Texture::LockRect");
    EXPECT_EQ(UploadImageToGraph(nullptr, &image, nullptr, 0, 0, graph, 0), -1);
    Recording().failing.clear();
    EXPECT_NE(ReadLog().find("ミップマップテクスチャのロックに失敗しました"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(GraphMipTest, PieceGridsBeyondTheTablesAreRefused) {
    // With 8-pixel textures, 2056 pixels need 257 pieces along one axis; 1088 x 136 a 136 x 17
    // grid of more than 256 pieces. Both are refused with the log line and leave no graph.
    g_GraphicsDevice.maxTextureSize = 8;
    int wide = NewGraphHandle();
    EXPECT_EQ(SetupOriginalImage(wide, 2056, 8, 0, 0, 0, 1), -1);
    EXPECT_EQ(GetGraphRecord(wide), nullptr);
    int square = NewGraphHandle();
    EXPECT_EQ(SetupOriginalImage(square, 136 * 8, 136, 0, 0, 0, 1), -1);
    int fits = NewGraphHandle();
    EXPECT_EQ(SetupOriginalImage(fits, 2048, 8, 0, 0, 0, 1), 0);
    EXPECT_EQ(GetGraphRecord(fits)->image->pieceCount, 256);
    std::string log = ReadLog();
    size_t first = log.find("テクスチャの分割数が多すぎます");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("テクスチャの分割数が多すぎます", first + 1), std::string::npos);
}

}  // namespace
