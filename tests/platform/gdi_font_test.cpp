// Fonts on the installed Japanese gothic: metrics, glyph bitmaps, faces and memory DCs.
#include <gtest/gtest.h>

#include <string>

#include "gdi_font_helpers.h"
#include "platform/gdi/gdi_font_match.h"

namespace {

TEST(GdiFont, CellHeightAndFullWidthAdvance) {
    for (int height : {10, 16, 22, 24, 32, 48}) {
        SCOPED_TRACE(height);
        FontDc font(height);
        ASSERT_NE(nullptr, font.font());
        V_TEXTMETRICA m{};
        ASSERT_TRUE(V_GetTextMetricsA(font.dc(), &m));
        EXPECT_EQ(height, m.tmHeight);
        EXPECT_EQ(height, m.tmAscent + m.tmDescent);
        EXPECT_GT(m.tmAscent, m.tmDescent);
        EXPECT_GE(m.tmDescent, 0);
        V_GLYPHMETRICS ascii{}, wide{};
        ASSERT_EQ(0u, V_GetGlyphOutlineA(font.dc(), 'A', V_GGO_METRICS, &ascii, 0, nullptr,
                                         nullptr));
        ASSERT_EQ(0u, V_GetGlyphOutlineA(font.dc(), Code("木"), V_GGO_METRICS, &wide, 0,
                                         nullptr, nullptr));
        EXPECT_GT(ascii.gmCellIncX, 0);
        EXPECT_EQ(ascii.gmCellIncX * 2, wide.gmCellIncX);
        EXPECT_EQ(wide.gmCellIncX, m.tmMaxCharWidth);
        // The glyph fits the cell: its top is within the ascent.
        EXPECT_LE(wide.gmptGlyphOrigin.y, m.tmAscent);
    }
}

TEST(GdiFont, KanjiRenderInBothFormatsWithPaddedRows) {
    FontDc font(24);
    for (const char* text : {"生", "態", "系", "木", "A"}) {
        SCOPED_TRACE(text);
        for (V_UINT format : {V_GGO_BITMAP, V_GGO_GRAY4_BITMAP}) {
            Glyph glyph = FetchGlyph(font.dc(), Code(text), format);
            ASSERT_NE(V_GDI_ERROR, glyph.size);
            EXPECT_EQ(glyph.size, glyph.result);
            V_UINT width = glyph.metrics.gmBlackBoxX;
            V_DWORD pitch = format == V_GGO_BITMAP ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
            EXPECT_EQ(pitch * glyph.metrics.gmBlackBoxY, glyph.size);
            EXPECT_GT(glyph.Coverage(format), 0);
            EXPECT_LE(glyph.metrics.gmBlackBoxY, 24u);
            for (V_UINT y = 0; y < glyph.metrics.gmBlackBoxY; ++y) {
                const uint8_t* row = glyph.bits.data() + y * pitch;
                if (format == V_GGO_GRAY4_BITMAP) {
                    for (V_UINT x = 0; x < pitch; ++x) {
                        ASSERT_LE(row[x], 16) << x << "," << y;
                        if (x >= width) {
                            ASSERT_EQ(0, row[x]) << "padding";
                        }
                    }
                } else {
                    for (V_UINT x = width; x < pitch * 8; ++x)
                        ASSERT_EQ(0, (row[x / 8] >> (7 - x % 8)) & 1) << "padding";
                }
            }
        }
    }
}

TEST(GdiFont, BufferBoundsAndBadCalls) {
    FontDc font(10);
    V_GLYPHMETRICS gm{};
    V_DWORD size = V_GetGlyphOutlineA(font.dc(), '.', V_GGO_GRAY4_BITMAP, &gm, 0, nullptr, nullptr);
    ASSERT_NE(V_GDI_ERROR, size);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> buffer(size + 64, 0xAB);
    EXPECT_EQ(V_GDI_ERROR, V_GetGlyphOutlineA(font.dc(), '.', V_GGO_GRAY4_BITMAP, &gm, size - 1,
                                              buffer.data(), nullptr));
    for (uint8_t byte : buffer) ASSERT_EQ(0xAB, byte);
    EXPECT_EQ(size, V_GetGlyphOutlineA(font.dc(), '.', V_GGO_GRAY4_BITMAP, &gm, size,
                                       buffer.data(), nullptr));
    for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(0xAB, buffer[i]);
    // Unknown formats and a DC without a font fail.
    EXPECT_EQ(V_GDI_ERROR, V_GetGlyphOutlineA(font.dc(), 'A', 3, &gm, 0, nullptr, nullptr));
    V_HDC empty = V_CreateCompatibleDC(nullptr);
    EXPECT_EQ(V_GDI_ERROR, V_GetGlyphOutlineA(empty, 'A', V_GGO_BITMAP, &gm, 0, nullptr, nullptr));
    V_TEXTMETRICA m{};
    EXPECT_FALSE(V_GetTextMetricsA(empty, &m));
    V_DeleteDC(empty);
}

TEST(GdiFont, BlankAndMissingCharacters) {
    FontDc font(16);
    for (V_UINT code : {V_UINT{' '}, Code("　")}) {
        SCOPED_TRACE(code);
        for (V_UINT format : {V_GGO_METRICS, V_GGO_BITMAP, V_GGO_GRAY4_BITMAP}) {
            Glyph glyph = FetchGlyph(font.dc(), code, format);
            EXPECT_EQ(0u, glyph.size);
            EXPECT_EQ(1u, glyph.metrics.gmBlackBoxX);
            EXPECT_EQ(1u, glyph.metrics.gmBlackBoxY);
            EXPECT_EQ(code == ' ' ? 8 : 16, glyph.metrics.gmCellIncX);
        }
    }
    // A private-use code and a code outside the code page both give the missing glyph.
    for (V_UINT format : {V_GGO_BITMAP, V_GGO_GRAY4_BITMAP}) {
        Glyph privateUse = FetchGlyph(font.dc(), 0xF040, format);
        Glyph invalid = FetchGlyph(font.dc(), 0x8540, format);
        ASSERT_NE(V_GDI_ERROR, privateUse.size);
        ASSERT_NE(V_GDI_ERROR, invalid.size);
        EXPECT_EQ(privateUse.bits, invalid.bits);
        EXPECT_EQ(privateUse.metrics.gmCellIncX, invalid.metrics.gmCellIncX);
        EXPECT_GT(invalid.metrics.gmCellIncX, 0);
    }
}

TEST(GdiFont, FacesAndAliases) {
    auto utf8 = [](const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); };
    EXPECT_EQ(utf8(u8"msゴシック"), GdiNormalizeFaceName(utf8(u8"ＭＳ　ゴシック")));
    EXPECT_EQ("msgothic", GdiNormalizeFaceName("MS Gothic"));
    FontDc reference(20);
    Glyph expected = FetchGlyph(reference.dc(), Code("木"), V_GGO_BITMAP);
    ASSERT_GT(expected.Coverage(V_GGO_BITMAP), 0);
    for (const char* face : {"ＭＳ ゴシック", "MSゴシック", "MS Gothic", ""}) {
        SCOPED_TRACE(face);
        FontDc font(20, V_FW_NORMAL, face);
        ASSERT_NE(nullptr, font.font());
        EXPECT_EQ(expected.bits, FetchGlyph(font.dc(), Code("木"), V_GGO_BITMAP).bits);
    }
    // An unknown face still gives a font with Japanese glyphs, of the requested height.
    FontDc unknown(20, V_FW_NORMAL, "NoSuchFaceAnywhere");
    ASSERT_NE(nullptr, unknown.font());
    EXPECT_EQ(20, unknown.Metrics().tmHeight);
    EXPECT_GT(FetchGlyph(unknown.dc(), Code("木"), V_GGO_GRAY4_BITMAP).Coverage(V_GGO_GRAY4_BITMAP), 0);
}

TEST(GdiFont, BoldAndItalicAreSynthesized) {
    FontDc regular(24, V_FW_NORMAL), bold(24, V_FW_BOLD);
    EXPECT_EQ(24, bold.Metrics().tmHeight);
    for (V_UINT format : {V_GGO_BITMAP, V_GGO_GRAY4_BITMAP}) {
        Glyph plain = FetchGlyph(regular.dc(), Code("木"), format);
        Glyph heavy = FetchGlyph(bold.dc(), Code("木"), format);
        EXPECT_GT(heavy.Coverage(format), plain.Coverage(format));
        EXPECT_GT(heavy.metrics.gmBlackBoxX, plain.metrics.gmBlackBoxX);
        EXPECT_GE(heavy.metrics.gmCellIncX, plain.metrics.gmCellIncX);
    }
    // Italic slants a face without an italic style: same cell, a different, wider shape.
    V_HFONT italic = V_CreateFontA(24, 0, 0, 0, V_FW_NORMAL, 1, 0, 0, V_SHIFTJIS_CHARSET, 0, 0,
                                   3, 1, nullptr);
    ASSERT_NE(nullptr, italic);
    V_HDC dc = V_CreateCompatibleDC(nullptr);
    V_HGDIOBJ old = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(italic));
    EXPECT_EQ(24, [&] { V_TEXTMETRICA m{}; V_GetTextMetricsA(dc, &m); return m.tmHeight; }());
    Glyph slanted = FetchGlyph(dc, Code("木"), V_GGO_BITMAP);
    Glyph upright = FetchGlyph(regular.dc(), Code("木"), V_GGO_BITMAP);
    EXPECT_GT(slanted.metrics.gmBlackBoxX, upright.metrics.gmBlackBoxX);
    EXPECT_EQ(upright.metrics.gmCellIncX, slanted.metrics.gmCellIncX);
    V_SelectObject(dc, old);
    V_DeleteDC(dc);
    EXPECT_TRUE(V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(italic)));
}

TEST(GdiFont, MemoryDcHoldsAFontAndABitmap) {
    V_HFONT font = V_CreateFontA(16, 0, 0, 0, 600, 0, 0, 0, V_SHIFTJIS_CHARSET, 0, 0, 3, 1,
                                 nullptr);
    ASSERT_NE(nullptr, font);
    auto object = reinterpret_cast<V_HGDIOBJ>(font);
    V_HDC dc = V_CreateCompatibleDC(nullptr);
    V_HGDIOBJ old = V_SelectObject(dc, object);
    ASSERT_NE(nullptr, old);
    // A bitmap selected next leaves the font in place.
    V_BITMAPINFO info{};
    info.bmiHeader = {sizeof(V_BITMAPINFOHEADER), 4, -4, 1, 32, V_BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    V_HBITMAP bitmap = V_CreateDIBSection(dc, &info, V_DIB_RGB_COLORS, &bits, nullptr, 0);
    V_HGDIOBJ oldBitmap = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(bitmap));
    ASSERT_NE(nullptr, oldBitmap);
    V_TEXTMETRICA m{};
    EXPECT_TRUE(V_GetTextMetricsA(dc, &m));
    EXPECT_EQ(600, m.tmWeight);
    // A selected font is not deleted; after the old font is selected back it is.
    EXPECT_FALSE(V_DeleteObject(object));
    EXPECT_EQ(object, V_SelectObject(dc, old));
    EXPECT_FALSE(V_GetTextMetricsA(dc, &m));
    EXPECT_TRUE(V_DeleteObject(object));
    EXPECT_TRUE(V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(bitmap)));
    V_DeleteDC(dc);
    // Deleting the DC lets go of its font.
    font = V_CreateFontA(16, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 3, 1, "MS Gothic");
    dc = V_CreateCompatibleDC(nullptr);
    V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(font));
    V_DeleteDC(dc);
    EXPECT_TRUE(V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(font)));
}

}  // namespace
