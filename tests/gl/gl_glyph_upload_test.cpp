// The library's writes into textures on the OpenGL device send the rectangles they write, not
// whole levels: the glyph cache's new cells, and a screen rectangle copied into a graph.
#include "gl/gl_fixture.h"

#include "core/core_services.h"
#include "draw/font.h"

namespace {

// The library's glyph cache: glyphs stored between strings of one frame go to the cache texture
// as the cells they were written into, one upload per half of the cache, and the text is drawn
// the same with draws joined and separate.
std::vector<uint32_t> DrawGlyphFrame(int font, int edged, V_D3D9GlFrameCounts* counts,
                                     int* cellSize, int* edgedCellSize) {
    PresentScreen();
    V_D3D9GlResetCounts();
    const uint32_t white = GetScreenColor(255, 255, 255), black = GetScreenColor(0, 0, 0);
    DrawBoxShape(0, 0, 640, 480, GetScreenColor(0x20, 0x30, 0x40), 1);
    DrawStringWithFont(10, 10, "AB", white, font, black, 0);
    DrawStringWithFont(10, 40, "CDAB", white, font, black, 0);
    DrawStringWithFont(10, 70, "EF", GetScreenColor(0, 0xAF, 0), edged, black, 0);
    DrawStringWithFont(10, 110, "GEF", white, edged, black, 0);
    std::vector<uint32_t> picture = ReadScreen(200, 150);
    PresentScreen();
    *counts = V_D3D9GlLastFrameCounts();
    *cellSize = GetFontRecord(font)->cellSize;
    *edgedCellSize = GetFontRecord(edged)->cellSize;
    return picture;
}

TEST_F(GlLibraryTest, GlyphCacheSendsTheCellsItWrites) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    ProcessMessage();
    std::vector<uint32_t> pictures[2];
    V_D3D9GlFrameCounts counts[2] = {};
    int cell = 0, edgedCell = 0, cacheHeight = 0, edgedWidth = 0;
    for (int pass = 0; pass < 2; ++pass) {
        V_D3D9GlSetJoinDraws(pass == 0);
        // Not anti-aliased and without edge (type 0); edged (type 1).
        const int font = CreateFontToHandle(nullptr, 20, 4, 0, -1, -1, 0, -1, -1);
        const int edged = CreateFontToHandle(nullptr, 20, 4, 1, -1, 2, 0, -1, -1);
        ASSERT_GE(font, 0);
        ASSERT_GE(edged, 0);
        ASSERT_EQ(GetFontRecord(font)->usesTextures, 1);
        ASSERT_EQ(GetFontRecord(edged)->usesTextures, 1);
        cacheHeight = GetFontRecord(font)->cacheHeight;
        edgedWidth = GetFontRecord(edged)->cacheWidth * 2;
        pictures[pass] = DrawGlyphFrame(font, edged, &counts[pass], &cell, &edgedCell);
        ReleaseFont(font);
        ReleaseFont(edged);
    }
    V_D3D9GlSetJoinDraws(true);
    ASSERT_EQ(pictures[0].size(), 200u * 150u);
    EXPECT_EQ(pictures[0], pictures[1]);
    int ink = 0;
    for (uint32_t p : pictures[0]) ink += p != 0x203040u ? 1 : 0;
    EXPECT_GT(ink, 100);
    for (const V_D3D9GlFrameCounts& c : counts) {
        // The plain font: "AB" then "CD" (A and B are cached), each pair in two cells one above
        // the other in the first column: two uploads of at most cell × 2 cells (the first, into
        // a cache still as it was made, without its rows that are still zero), the second whole.
        // The edged font: "EF" then "G", each string one upload in each half, within the cells
        // written (a glyph and its edge lie inside its cell).
        EXPECT_EQ(c.textureUploads, 2u + 4u);
        const uint64_t pair = 1ull * cell * 2 * cell * 4;
        EXPECT_GE(c.textureUploadBytes, pair);
        EXPECT_LE(c.textureUploadBytes, 2 * pair + 2ull * 3 * edgedCell * edgedCell * 4);
        // Far below one whole level of either cache.
        EXPECT_LT(c.textureUploadBytes, static_cast<uint64_t>(edgedWidth) * cacheHeight * 4 / 8);
    }
}

// A screen rectangle copied into a graph cut from a larger one: the piece's area in the texture
// is locked and sent, and the pixels land at the sub-graph's place in the texture.
TEST_F(GlLibraryTest, ScreenCopyIntoASubGraphSendsItsAreaOnly) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    ProcessMessage();
    const int parent = MakeGraph(64, 32);
    ASSERT_GE(parent, 0);
    const int part = CreateSubGraph(16, 8, 24, 12, parent);
    ASSERT_GE(part, 0);
    // Four coloured quarters of the 24 × 12 rectangle at (100, 100).
    DrawBoxShape(0, 0, 640, 480, GetScreenColor(0, 0, 0), 1);
    DrawBoxShape(100, 100, 112, 106, GetScreenColor(255, 0, 0), 1);
    DrawBoxShape(112, 100, 124, 106, GetScreenColor(0, 255, 0), 1);
    DrawBoxShape(100, 106, 112, 112, GetScreenColor(0, 0, 255), 1);
    DrawBoxShape(112, 106, 124, 112, GetScreenColor(255, 255, 0), 1);
    PresentScreen();
    V_D3D9GlResetCounts();
    ASSERT_EQ(CopyScreenRectToGraph(100, 100, 124, 112, part), 0);
    DrawBoxShape(0, 0, 640, 480, GetScreenColor(0, 0, 0), 1);
    ASSERT_EQ(DrawGraphAt(200, 200, parent, 0), 0);
    const std::vector<uint32_t> screen = ReadScreen();
    PresentScreen();
    const V_D3D9GlFrameCounts counts = V_D3D9GlLastFrameCounts();
    EXPECT_EQ(counts.textureUploads, 1u);
    EXPECT_EQ(counts.textureUploadBytes, 24u * 12 * 4);
    ASSERT_EQ(screen.size(), 640u * 480u);
    auto at = [&](int x, int y) { return screen[static_cast<size_t>(y) * 640 + x] & 0xF8F8F8u; };
    EXPECT_EQ(at(216, 208), 0xF80000u);
    EXPECT_EQ(at(239, 208), 0x00F800u);
    EXPECT_EQ(at(216, 219), 0x0000F8u);
    EXPECT_EQ(at(239, 219), 0xF8F800u);
    // The parent's texels around the copy stay as they were made (zero).
    EXPECT_EQ(at(215, 208), 0u);
    EXPECT_EQ(at(240, 219), 0u);
    EXPECT_EQ(at(216, 207), 0u);
    EXPECT_EQ(at(239, 220), 0u);
}

}  // namespace
