// Graph textures with mip levels on the OpenGL device: a compressed chain lands level by level
// and lower levels reduced from the first are kept in the texture's levels.
#include "gl/gl_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/image_mip.h"

namespace {

// Every level of the texture as its locked bytes (rows of blocks or pixels).
std::vector<uint8_t> LevelBytes(V_IDirect3DTexture9* texture, int level, int rowBytes, int rows) {
    std::vector<uint8_t> out;
    V_D3DLOCKED_RECT locked{};
    if (texture->LockRect(static_cast<V_UINT>(level), &locked, nullptr, V_D3DLOCK_READONLY) !=
        V_S_OK)
        return out;
    for (int y = 0; y < rows; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        out.insert(out.end(), row, row + rowBytes);
    }
    texture->UnlockRect(static_cast<V_UINT>(level));
    return out;
}

TEST_F(GlLibraryTest, GraphTexturesKeepEveryMipLevel) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    // A 64 x 32 DXT1 chain of 7 levels, block bytes counting up.
    ImageRecord dxt{};
    SetColorFormatA8R8G8B8(&dxt.format);
    dxt.format.bitDepth = 4;
    dxt.format.formatCode = 1;
    dxt.width = 64;
    dxt.height = 32;
    dxt.mipCount = 7;
    const size_t chain = 1024 + 256 + 64 + 16 + 8 + 8 + 8;
    dxt.pixels = static_cast<uint8_t*>(VELK_ALLOC(chain));
    ASSERT_NE(dxt.pixels, nullptr);
    for (size_t i = 0; i < chain; ++i) dxt.pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    int graph = NewGraphHandle();
    ASSERT_EQ(SetupOriginalImage(graph, 64, 32, 1, 0, 1, 7), 0);
    ASSERT_EQ(UploadImageToGraph(nullptr, &dxt, nullptr, 0, 0, graph, 0), 0);
    V_IDirect3DTexture9* texture = GetGraphRecord(graph)->pieces[0].piece->texture;
    ASSERT_EQ(texture->GetLevelCount(), 7u);
    for (int level = 0; level < 7; ++level) {
        ImageRecord view{};
        ASSERT_EQ(GetImageMipLevel(&dxt, level, &view), 0);
        int rows = MipRowCount(1, view.height);
        std::vector<uint8_t> expected(view.pixels, view.pixels + view.pitch * rows);
        EXPECT_EQ(LevelBytes(texture, level, view.pitch, rows), expected) << level;
    }
    ReleaseImageRecord(&dxt);

    // A plain 8 x 8 picture into 4 levels: the last level is the mean of all pixels.
    ImageRecord plain{};
    ASSERT_EQ(CreateArgbImageRecord(8, 8, &plain), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) SetImagePixel(&plain, x, y, x * 32, y * 32, 200, 255);
    graph = NewGraphHandle();
    ASSERT_EQ(SetupOriginalImage(graph, 8, 8, 1, 0, 0, 4), 0);
    ASSERT_EQ(UploadImageToGraph(nullptr, &plain, nullptr, 0, 0, graph, 0), 0);
    texture = GetGraphRecord(graph)->pieces[0].piece->texture;
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    std::vector<uint8_t> last = LevelBytes(texture, 3, 4, 1);
    ASSERT_EQ(last.size(), 4u);
    EXPECT_EQ(last[0] | last[1] << 8 | last[2] << 16 | last[3] << 24, 0xFF7070C8);
    ReleaseImageRecord(&plain);
    EXPECT_EQ(DrawGraphStretched(0, 0, 2, 2, graph, 1), 0);
}

}  // namespace
