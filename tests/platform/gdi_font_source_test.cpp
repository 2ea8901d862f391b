// Fonts on an installed test glyph source: metrics and coverage pass through unchanged in
// meaning, character codes arrive as Unicode.
#include <gtest/gtest.h>

#include "gdi_font_helpers.h"

namespace {

// Every visible glyph is a 5 x 3 box whose pixel (x, y) has coverage (x * 60 + y) capped at
// 255; the space is blank. Records the code points asked for.
struct BoxSource : V_GlyphSource {
    std::vector<uint32_t> asked;
    void Metrics(int height, int, int* ascent, int* descent, int* maxWidth) override {
        *ascent = height - height / 4;
        *descent = height / 4;
        *maxWidth = height;
    }
    bool Glyph(int height, int weight, uint32_t codePoint, int* width, int* rows, int* originX,
               int* originY, int* advance, uint8_t* coverage, size_t capacity) override {
        asked.push_back(codePoint);
        *advance = codePoint < 0x80 ? height / 2 : height;
        if (codePoint == ' ') return false;
        *width = weight >= 600 ? 6 : 5;
        *rows = 3;
        *originX = 1;
        *originY = 2;
        for (int y = 0; coverage && y < *rows; ++y)
            for (int x = 0; x < *width && size_t(y * *width + x) < capacity; ++x)
                coverage[y * *width + x] = static_cast<uint8_t>(std::min(255, x * 60 + y));
        return true;
    }
};

class SourceFonts : public ::testing::Test {
protected:
    void SetUp() override { V_SetGlyphSourceForTest(&source); }
    void TearDown() override { V_SetGlyphSourceForTest(nullptr); }
    BoxSource source;
};

TEST_F(SourceFonts, MetricsAndCodePoints) {
    FontDc font(20, V_FW_NORMAL, "ＭＳ ゴシック");
    V_TEXTMETRICA m = font.Metrics();
    EXPECT_EQ(20, m.tmHeight);
    EXPECT_EQ(15, m.tmAscent);
    EXPECT_EQ(5, m.tmDescent);
    EXPECT_EQ(20, m.tmMaxCharWidth);
    Glyph wide = FetchGlyph(font.dc(), Code("木"), V_GGO_METRICS);
    EXPECT_EQ(20, wide.metrics.gmCellIncX);
    EXPECT_EQ(5u, wide.metrics.gmBlackBoxX);
    EXPECT_EQ(3u, wide.metrics.gmBlackBoxY);
    EXPECT_EQ(1, wide.metrics.gmptGlyphOrigin.x);
    EXPECT_EQ(2, wide.metrics.gmptGlyphOrigin.y);
    ASSERT_FALSE(source.asked.empty());
    EXPECT_EQ(0x6728u, source.asked.back());  // U+6728
    FetchGlyph(font.dc(), Code("ｱ"), V_GGO_METRICS);  // half-width katakana, one byte
    EXPECT_EQ(0xFF71u, source.asked.back());
    Glyph blank = FetchGlyph(font.dc(), ' ', V_GGO_GRAY4_BITMAP);
    EXPECT_EQ(0u, blank.size);
    EXPECT_EQ(1u, blank.metrics.gmBlackBoxX);
    EXPECT_EQ(10, blank.metrics.gmCellIncX);
}

TEST_F(SourceFonts, CoverageBecomesBitsAndLevels) {
    FontDc font(16);
    Glyph mono = FetchGlyph(font.dc(), 'A', V_GGO_BITMAP);
    ASSERT_EQ(4u * 3, mono.size);
    // Columns 0-2 have coverage below 128 (0, 60, 120), columns 3-4 above (180, 240).
    for (int y = 0; y < 3; ++y) EXPECT_EQ(0x18, mono.bits[y * 4]) << y;
    Glyph gray = FetchGlyph(font.dc(), 'A', V_GGO_GRAY4_BITMAP);
    ASSERT_EQ(8u * 3, gray.size);
    const uint8_t expected[8] = {0, 4, 8, 11, 15, 0, 0, 0};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(expected[x], gray.bits[x]) << x;
    // Bold reaches the source as the weight.
    FontDc bold(16, V_FW_BOLD);
    EXPECT_EQ(6u, FetchGlyph(bold.dc(), 'A', V_GGO_BITMAP).metrics.gmBlackBoxX);
}

}  // namespace
