// DXT1 and DXT5 files as graphs on the 32-bit software screen, and a DXT1 file as the alpha
// companion of a plain image on both paths: what is drawn, or held in the texture, is the decoded
// blocks. Unkeyed mode-0 draws copy a graph's alpha byte with its colour, so each screen pixel is
// the decoded 0xAARRGGBB.
#include <cstring>

#include "draw_fixture.h"
#include "graphics/graphics_services.h"

namespace {

// A 13 x 7 DDS file: two rows of 4 blocks, the last block of a row partly outside the image.
void WriteDds(const char* path, const char* fourCc, const std::vector<uint8_t>& row) {
    // Header words: size, flags, height, width; the pixel format's size, FourCC flag and FourCC
    // at 18-20; the texture caps at 26.
    uint32_t header[31] = {124, 0x1007, 7, 13};
    header[18] = 32;
    header[19] = 0x4;
    std::memcpy(&header[20], fourCc, 4);
    header[26] = 0x1000;
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("DDS ", 1, 4, f);
    std::fwrite(header, 4, 31, f);
    for (int i = 0; i < 2; ++i) std::fwrite(row.data(), 1, row.size(), f);
    std::fclose(f);
}

// A colour half: R5G6B5 endpoints and one index byte for all 4 rows.
void PutColours(std::vector<uint8_t>& b, uint16_t c0, uint16_t c1, uint8_t rowIndices) {
    b.insert(b.end(), {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8)});
    b.insert(b.end(), 4, rowIndices);
}

}  // namespace

TEST_F(DrawTest, DxtFilesGiveTheirDecodedPixelsAsGraphsAndAsAlpha) {
    // DXT1: red/blue in four colours (0xE4: column x takes index x); green/white in three colours
    // with index 3 transparent; two greys (0x1B: column x takes index 3 - x); block 0 again.
    std::vector<uint8_t> dxt1, dxt5;
    PutColours(dxt1, 0xF800, 0x001F, 0xE4);
    PutColours(dxt1, 0x07E0, 0xFFFF, 0xE4);
    PutColours(dxt1, 0x8410, 0x0841, 0x1B);
    PutColours(dxt1, 0xF800, 0x001F, 0xE4);
    const uint32_t one[3][4] = {{0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA},
                                {0xFF00FF00, 0xFFFFFFFF, 0xFF7FFF7F, 0x007FFF7F},
                                {0xFF313031, 0xFF5A585A, 0xFF080808, 0xFF838183}};
    // DXT5: alpha endpoints (255, 0), eight values, and (0, 255), six with 0 and 255, by turns;
    // pixel i of a block takes alpha index i % 8; colours white / (8, 8, 8), column x index x.
    for (int block = 0; block < 4; ++block) {
        dxt5.insert(dxt5.end(), {uint8_t(block % 2 ? 0 : 255), uint8_t(block % 2 ? 255 : 0)});
        for (int half = 0; half < 2; ++half) dxt5.insert(dxt5.end(), {0x88, 0xC6, 0xFA});
        PutColours(dxt5, 0xFFFF, 0x0841, 0xE4);
    }
    const uint32_t alphas[2][8] = {{255, 0, 218, 182, 145, 109, 72, 36},
                                   {0, 255, 51, 102, 153, 204, 0, 255}};
    const uint32_t greys[4] = {255, 8, 172, 90};
    WriteDds("one.dds", "DXT1", dxt1);
    WriteDds("five.dds", "DXT5", dxt5);
    // A white BMP under a .dds name, whose companion white_a.dds gives its alpha from its red.
    WriteDds("white_a.dds", "DXT1", dxt1);
    WriteBmp("white.dds", 13, 7, [](int, int) { return Rgb{255, 255, 255}; });
    auto want = [&](int f, int x, int y) -> uint32_t {
        uint32_t c = one[x / 4][x % 4];
        if (f == 0) return c;
        if (f == 1) return alphas[x / 4 % 2][(4 * y + x % 4) % 8] << 24 | greys[x % 4] * 0x010101u;
        return (c >> 16 & 0xFF) << 24 | 0xFFFFFF;
    };

    const char* files[] = {"one.dds", "five.dds", "white.dds"};
    for (bool device : {true, false}) {
        g_ScreenSettings.colorDepth = 32;
        StartGraphics(device);
        // On the device the DXT graphs keep their blocks; the companion's alpha is converted.
        for (int f = device ? 2 : 0; f < 3; ++f) {
            SCOPED_TRACE(std::string(device ? "device " : "software ") + files[f]);
            int graph = LoadGraphHandle(files[f], 0);
            ASSERT_GE(graph, 0);
            // The device's texture, or the software screen the graph was drawn on at (0, 0).
            V_D3DLOCKED_RECT locked{};
            V_IDirect3DTexture9* texture =
                device ? GetGraphRecord(graph)->pieces[0].piece->texture : nullptr;
            if (device) {
                ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), V_S_OK);
            } else {
                FillMemImgRect(&g_ScreenImages.primary, nullptr, 0);
                ASSERT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
                locked = {g_ScreenImages.primary.base->pitch, g_ScreenImages.primary.pixels};
            }
            int wrong = 0;
            for (int y = 0; y < 4; ++y)  // the whole blocks
                for (int x = 0; x < 12; ++x) {
                    auto row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
                    uint32_t got = reinterpret_cast<const uint32_t*>(row)[x];
                    if (got != want(f, x, y) && wrong++ < 4)
                        ADD_FAILURE() << "(" << x << ", " << y << ") is " << std::hex << got
                                      << " not " << want(f, x, y);
                }
            EXPECT_EQ(wrong, 0);
            if (texture != nullptr) texture->UnlockRect(0);
            EXPECT_EQ(DeleteGraph(graph), 0);
        }
        if (device) {
            // Made plain by a mirrored reload at a 16-bit creation depth: the decoded colours.
            SetCreateGraphColorBitDepth(16);
            const int graph = LoadGraphHandle("one.dds", 0);
            SetCreateGraphColorBitDepth(0);
            std::vector<uint8_t> file(4 + 124 + 64);
            FILE* f = std::fopen("one.dds", "rb");
            ASSERT_EQ(std::fread(file.data(), 1, file.size(), f), file.size());
            std::fclose(f);
            const int size = static_cast<int>(file.size());
            ASSERT_EQ(ReloadGraphFromMemory(file.data(), size, graph, nullptr, 0, 0, 1), 0);
            V_D3DLOCKED_RECT locked{};
            V_IDirect3DTexture9* texture = GetGraphRecord(graph)->pieces[0].piece->texture;
            ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), V_S_OK);
            for (int x = 1; x < 13; ++x)
                EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[x], want(0, 12 - x, 0)) << x;
            texture->UnlockRect(0);
        }
        EndGraphics();
    }
}
