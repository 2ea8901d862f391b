// Font handles, the default font and the glyph cache's sizing, layout and eviction.
#include <vector>

#include "core/memory.h"
#include "draw/draw_services.h"
#include "draw/font_fixture.h"
#include "graphics/graphics_services.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_dib.h"

TEST_F(FontTest, DefaultsAndTheHandleTable) {
    StartGraphics(false);
    int defaultFont = GetDefaultFontHandle();
    ASSERT_EQ(CheckFontHandle(defaultFont), 1);

    int font = CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, -1, -1);
    ASSERT_GE(font, 0);
    EXPECT_EQ(font & 0x78000000, 0x20000000);
    const FontRecord* f = Font(font);
    EXPECT_EQ(f->size, 16);
    EXPECT_EQ(f->thickness, 6);
    EXPECT_EQ(f->type, 0);
    EXPECT_EQ(f->edgeSize, 1);
    EXPECT_EQ(f->charsetIndex, 1);
    EXPECT_STREQ(f->face, "");
    // An edge size above 1 makes an edged font of type 0.
    int edged = CreateFontToHandle("Face", 16, 6, 0, -1, 2, 0, -1, -1);
    EXPECT_EQ(Font(edged)->type, 1);
    EXPECT_EQ(Font(edged)->lineHeight, 16 + 4);

    // Reuse slots outside the table and occupied slots are refused without a log line.
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, 40, -1), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -2, -1), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, font & 0xFFFF, -1), -1);
    // A long face name is cut to the record's 255 characters.
    std::string longFace(600, 'F');
    int longFont = CreateFontToHandle(longFace.c_str(), 16, 6, 0, -1, -1, 0, -1, -1);
    ASSERT_GE(longFont, 0);
    EXPECT_EQ(std::strlen(Font(longFont)->face), 255u);

    // Fill the table: 40 fonts, then the 41st is refused with its log line.
    std::vector<int> handles;
    for (;;) {
        int h = CreateFontToHandle(nullptr, 10, 1, 0, -1, -1, 0, -1, -1);
        if (h < 0) break;
        handles.push_back(h);
    }
    EXPECT_EQ(handles.size() + 4, 40u);
    EXPECT_NE(ReadLog().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);
    // Deleting one frees the lowest slot for the next font, under a new check number.
    int old = handles[2];
    ASSERT_EQ(ReleaseFont(old), 0);
    int again = CreateFontToHandle(nullptr, 10, 1, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(again & 0xFFFF, old & 0xFFFF);
    EXPECT_NE(again, old);
    EXPECT_EQ(CheckFontHandle(old), 0);
    EXPECT_EQ(ReleaseFont(old), -1);
    EXPECT_EQ(GetFontSize(old), -1);
}

TEST_F(FontTest, RecreationKeepsHandlesSpacingAndOwners) {
    StartGraphics(false);
    int font = CreateFontToHandle(nullptr, 20, 4, 1, -1, 2, 0, -1, -1);
    ASSERT_GE(font, 0);
    int32_t lost = 5;
    ASSERT_EQ(SetFontLostFlag(font, &lost), 0);
    EXPECT_EQ(lost, 0);
    SetFontCharSpacing(3, font);
    int defaultFont = GetDefaultFontHandle();
    ASSERT_EQ(RecreateAllFonts(), 0);
    EXPECT_EQ(CheckFontHandle(font), 1);
    EXPECT_EQ(GetDefaultFontHandle(), defaultFont);
    EXPECT_EQ(Font(font)->charSpacing, 3);
    EXPECT_EQ(Font(font)->edgeSize, 2);
    EXPECT_EQ(lost, 0);  // the owner keeps its font
    ASSERT_EQ(ReleaseFont(font), 0);
    EXPECT_EQ(lost, 1);  // a real deletion raises the flag
}

TEST_F(FontTest, DefaultFontFollowsItsSettings) {
    StartGraphics(false);
    int first = GetDefaultFontHandle();
    EXPECT_EQ(SetDefaultFontSize(16), 0);
    EXPECT_EQ(GetDefaultFontHandle(), first);  // unchanged setting: same font
    SetDefaultFontSize(48);
    int big = GetDefaultFontHandle();
    EXPECT_NE(big, first);
    EXPECT_EQ(GetFontSize(big), 48);
    SetDefaultFontType(3);
    EXPECT_EQ(Font(GetDefaultFontHandle())->type, 3);
    SetDefaultFontSize(-1);
    SetDefaultFontThickness(-1);
    SetDefaultFontType(-1);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 16);
    EXPECT_EQ(Font(GetDefaultFontHandle())->type, 0);
    // The default font comes back made, and with its settings, after a restart of the screen.
    SetDefaultFontSize(24);
    EndGraphics();
    EXPECT_EQ(GetDefaultFontHandle(), -1);
    ASSERT_EQ(InitGraphics(), 0);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 16);
}

TEST_F(FontTest, CacheSizing) {
    StartGraphics(true);
    // 16-pixel cells in textures: 512 x 512 and 1,024 cells.
    int font = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    const FontRecord* f = Font(font);
    ASSERT_EQ(f->usesTextures, 1);
    EXPECT_EQ(f->cellSize, 16);
    EXPECT_EQ(f->cacheWidth, 512);
    EXPECT_EQ(f->cacheHeight, 512);
    EXPECT_EQ(f->capacity, 1024);
    EXPECT_EQ(f->cellsPerColumn, 32);
    EXPECT_GE(f->cacheGraph, 0);
    // Edged fonts keep their edges in the right half of a double-width texture.
    int edged = CreateFontToHandle(nullptr, 16, 6, 1, -1, 2, 0, -1, -1);
    int w = 0, h = 0;
    GetGraphSize(Font(edged)->cacheGraph, &w, &h);
    EXPECT_EQ(w, 2 * Font(edged)->cacheWidth);
    EXPECT_GE(Font(edged)->edgeGraph, 0);
    // 256-pixel cells grow the texture until it holds 10 cells.
    int huge = CreateFontToHandle(nullptr, 256, 6, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(Font(huge)->cacheWidth, 1024);
    EXPECT_EQ(Font(huge)->cacheHeight, 1024);
    EXPECT_EQ(Font(huge)->capacity, 16);
    // 8-pixel cells would give 4,096 cells; the capacity stops at 2,024.
    glyphs.maxWidth = 6;
    int small = CreateFontToHandle(nullptr, 8, 6, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(Font(small)->cellSize, 8);
    EXPECT_EQ(Font(small)->capacity, 2024);
}

TEST_F(FontTest, MemoryCacheSizingAndEviction) {
    StartGraphics(false);
    // Edged fonts are taller by the edge: a 16-pixel cell needs an unedged font.
    int font = CreateFontToHandle(nullptr, 16, 6, 2, -1, -1, 0, -1, -1);
    EXPECT_EQ(Font(font)->usesTextures, 0);
    EXPECT_EQ(Font(font)->cellSize, 16);
    EXPECT_EQ(Font(font)->capacity, 1280);
    EXPECT_EQ(Font(font)->memoryDepth, 8);
    int huge = CreateFontToHandle(nullptr, 200, 6, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(Font(huge)->capacity, 20);
    EXPECT_EQ(Font(huge)->memoryDepth, 1);

    glyphs.maxWidth = 6;
    int small = CreateFontToHandle(nullptr, 8, 6, 2, -1, -1, 0, -1, -1);
    FontRecord* f = Font(small);
    ASSERT_EQ(f->capacity, 2024);
    // 2,025 distinct two-byte characters: the last one takes the first one's slot.
    std::vector<uint8_t> entries;
    for (int lead = 0x88; lead <= 0x9F && entries.size() < 3 * 2025; ++lead)
        for (int trail = 0x40; trail <= 0xFC && entries.size() < 3 * 2025; ++trail) {
            if (trail == 0x7F) continue;
            entries.insert(entries.end(), {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail), 0});
        }
    ASSERT_NE(RenderGlyphs(small, 2024, entries.data()), nullptr);
    auto code = [&](int i) { return entries[3 * i] | (entries[3 * i + 1] << 8); };
    EXPECT_EQ(f->charMap[code(0)].cached, 1u);
    GlyphSlot* last = RenderGlyphs(small, 1, &entries[3 * 2024]);
    EXPECT_EQ(last, &f->slots[0]);
    EXPECT_EQ(f->charMap[code(0)].cached, 0u);
    EXPECT_EQ(f->charMap[code(1)].cached, 1u);
    EXPECT_EQ(f->charMap[code(2024)].slot, &f->slots[0]);
    // Drawing the first again renders it anew, into the next slot of the ring.
    EXPECT_EQ(RenderGlyphs(small, 1, entries.data()), &f->slots[1]);
    EXPECT_EQ(f->charMap[code(1)].cached, 0u);
}

TEST_F(FontTest, GlyphMetricsEdgesAndClipping) {
    StartGraphics(false);
    // Edge 1 spreads to the four direct neighbours; the body keeps its own value.
    int font = CreateFontToHandle(nullptr, 16, 6, 1, -1, -1, 0, -1, -1);
    const FontRecord* f = Font(font);
    const uint8_t dot[] = {'.', 0, 0};
    GlyphSlot* slot = RenderGlyphs(font, 1, dot);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->width, 3 + 2);
    EXPECT_EQ(slot->height, 5 + 2);
    EXPECT_EQ(slot->advance, 8 + 2);
    EXPECT_EQ(slot->xOffset, 1);
    EXPECT_EQ(slot->yOffset, 12 - 8);
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 0, 0), 0);  // corner: diagonal of the body
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 1, 0), 2);
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 0, 1), 2);
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 1, 1), 1);
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 4, 6), 0);
    EXPECT_EQ(CacheByte(f, slot->cellIndex, 3, 6), 2);

    // Edge 2: the 5 x 5 mask without its corners.
    int wide = CreateFontToHandle(nullptr, 16, 6, 1, -1, 2, 0, -1, -1);
    const uint8_t dash[] = {'-', 0, 0};
    slot = RenderGlyphs(wide, 1, dash);
    EXPECT_EQ(slot->width, 2 + 4);
    EXPECT_EQ(slot->height, 1 + 4);
    const FontRecord* w = Font(wide);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 0, 0), 0);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 1, 0), 2);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 0, 1), 2);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 2, 2), 1);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 3, 2), 1);
    EXPECT_EQ(CacheByte(w, slot->cellIndex, 5, 4), 0);

    // A space is blank: no pixels, its advance plus the edge.
    const uint8_t space[] = {' ', 0, 0};
    slot = RenderGlyphs(font, 1, space);
    EXPECT_EQ(slot->width, 2);
    EXPECT_EQ(slot->advance, 10);

    // A glyph larger than its cell is cut to the cell: the next cell stays empty.
    glyphs.maxWidth = 2;
    int narrow = CreateFontToHandle(nullptr, 8, 6, 2, -1, -1, 0, -1, -1);
    const FontRecord* n = Font(narrow);
    ASSERT_EQ(n->cellSize, 8);
    const uint8_t big[] = {'A', 0, 0};
    slot = RenderGlyphs(narrow, 1, big);
    EXPECT_EQ(slot->width, 6);
    EXPECT_EQ(slot->height, 7);
    int written = 0;
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < n->memoryPitch; ++x) written += n->memoryCache[y * n->memoryPitch + x];
    EXPECT_EQ(written, 0);
}

TEST_F(FontTest, AntialiasedEdgesOnTextures) {
    StartGraphics(true);
    glyphs.coverage = 128;
    int font = CreateFontToHandle(nullptr, 16, 6, 3, -1, 2, 0, -1, -1);
    FontRecord* f = Font(font);
    ASSERT_EQ(f->usesTextures, 1);
    const uint8_t dash[] = {'-', 0, 0};
    GlyphSlot* slot = RenderGlyphs(font, 1, dash);
    int x = 0, y = 0;
    GlyphCellOrigin(f, slot->cellIndex, &x, &y);
    const ImageRecord& base = f->cacheBase;
    const ColorFormat& format = base.format;
    auto level = [&](int px, int py) {
        uint16_t v = reinterpret_cast<const uint16_t*>(base.pixels + py * base.pitch)[px];
        int alpha = (v & format.alphaMask) >> format.alphaShift;
        return v == (format.redMask | format.greenMask | format.blueMask) ? 0
                                                                         : ((alpha + 1) << (4 - format.alphaWidth)) ;
    };
    int body = level(x + 2, y + 2);
    ASSERT_GT(body, 0);
    EXPECT_EQ(level(x + 3, y + 2), body);
    int right = f->cacheWidth;
    int twice = (256 - (16 - body) * (16 - body)) / 16;
    // Left of the pair only the first pixel spreads; above the first both do, and the coverage
    // adds up as (256 - (16 - E)(16 - L)) / 16.
    EXPECT_EQ(level(right + x + 0, y + 2), body);
    EXPECT_EQ(level(right + x + 2, y + 0), twice);
    EXPECT_EQ(level(right + x + 0, y + 0), 0);  // a corner of the mask
    if (body == 8) {
        EXPECT_EQ(twice, 12);
    }
}

// Font and string calls outside the font system's life fail and allocate nothing.
TEST_F(FontTest, FontCallsBeforeStartAndAfterEndFailWithoutAllocating) {
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            StartGraphics(false);
            EndGraphics();
        }
        int32_t sizeBefore = 0, blocksBefore = 0, size = 0, blocks = 0;
        GetAllocationTotals(&sizeBefore, &blocksBefore);
        int32_t lost = 7;
        int fontSize = 0;
        EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1), -1) << round;
        EXPECT_EQ(DrawStringDefault(0, 0, "AB", 0xFFFF, 0), -1) << round;
        EXPECT_EQ(DrawStringWithFont(0, 0, "AB", 0xFFFF, 0x20000000, 0, 0), -1) << round;
        EXPECT_EQ(GetDefaultFontHandle(), -1) << round;
        EXPECT_EQ(SetDefaultFontSize(20), -1) << round;
        EXPECT_EQ(SetDefaultFontThickness(3), -1) << round;
        EXPECT_EQ(SetDefaultFontType(2), -1) << round;
        EXPECT_EQ(SetDefaultFontSizeAndThickness(nullptr, 20, 3), -1) << round;
        EXPECT_EQ(ReleaseFont(0x20000000), -1) << round;
        EXPECT_EQ(GetFontSize(0x20000000), -1) << round;
        EXPECT_EQ(GetFontParams(nullptr, &fontSize, nullptr, 0x20000000), -1) << round;
        EXPECT_EQ(SetFontLostFlag(0x20000000, &lost), -1) << round;
        EXPECT_EQ(lost, 7);
        GetAllocationTotals(&size, &blocks);
        EXPECT_EQ(size, sizeBefore) << round;
        EXPECT_EQ(blocks, blocksBefore) << round;
    }
}

TEST_F(FontTest, DefaultFontOfAnUnknownTypeIsMadeOnce) {
    StartGraphics(false);
    for (int type : {4, 7, 0x100}) {
        ASSERT_EQ(SetDefaultFontType(type), 0);
        int made = GetDefaultFontHandle();
        ASSERT_EQ(CheckFontHandle(made), 1);
        ASSERT_EQ(DrawStringDefault(0, 0, "AB", 0xFFFF, 0), 0);
        ASSERT_EQ(DrawStringDefault(0, 20, "AB", 0xFFFF, 0), 0);
        EXPECT_EQ(GetDefaultFontHandle(), made) << type;
    }
}

TEST_F(FontTest, CacheBaseImageTakesTheCreationFormatOfItsKind) {
    StartGraphics(true);
    int smooth = CreateFontToHandle(nullptr, 16, 6, 2, -1, -1, 0, -1, -1);
    int plain = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    ASSERT_EQ(Font(smooth)->usesTextures, 1);
    EXPECT_EQ(Font(smooth)->cacheBase.format.alphaMask,
              GetCreationFormatColorFormat(1, 0, 0, 0)->alphaMask);
    EXPECT_EQ(Font(plain)->cacheBase.format.alphaMask,
              GetCreationFormatColorFormat(0, 1, 0, 0)->alphaMask);
    EXPECT_EQ(Font(plain)->cacheBase.pitch, 2 * Font(plain)->cacheBase.width);
}

TEST_F(FontTest, ExtremeSizesThicknessesAndEdgesAreClippedOrRefused) {
    StartGraphics(false);
    auto weight = [](int handle) {
        V_HDC dc = V_CreateCompatibleDC(nullptr);
        V_HGDIOBJ old = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(GetFontRecord(handle)->gdiFont));
        V_TEXTMETRICA metrics{};
        V_GetTextMetricsA(dc, &metrics);
        V_SelectObject(dc, old);
        V_DeleteDC(dc);
        return metrics.tmWeight;
    };
    // Thickness x 100 beyond the integers: the heaviest weight, not a wrapped one.
    int heavy = CreateFontToHandle(nullptr, 16, 0x7FFFFFFF, 0, -1, -1, 0, -1, -1);
    ASSERT_GE(heavy, 0);
    EXPECT_EQ(weight(heavy), 1000);
    int wrapped = CreateFontToHandle(nullptr, 16, 21474837, 0, -1, -1, 0, -1, -1);
    ASSERT_GE(wrapped, 0);
    EXPECT_EQ(weight(wrapped), 1000);
    int light = CreateFontToHandle(nullptr, 16, -5, 0, -1, -1, 0, -1, -1);
    ASSERT_GE(light, 0);
    EXPECT_EQ(weight(light), 400);
    // The most negative size is the largest glyph height the platform makes.
    int tall = CreateFontToHandle(nullptr, INT32_MIN, 6, 0, -1, -1, 0, -1, -1);
    ASSERT_GE(tall, 0);
    EXPECT_EQ(Font(tall)->lineHeight, 1024);
    EXPECT_EQ(ReleaseFont(tall), 0);
    // Edges whose cell would not fit the cache are refused with a log line, leaving no slot.
    for (int edge : {0x7FFFFFFF, 0x40000000, 1100}) {
        EXPECT_EQ(CreateFontToHandle(nullptr, 16, 6, 1, -1, edge, 0, -1, -1), -1) << edge;
    }
    EXPECT_NE(ReadLog().find("フォントのサイズが大きすぎます"), std::string::npos);
    int edged = CreateFontToHandle(nullptr, 16, 6, 1, -1, 500, 0, -1, -1);
    ASSERT_GE(edged, 0);
    EXPECT_EQ(Font(edged)->lineHeight, 16 + 1000);
    EXPECT_EQ(Font(edged)->cellSize, 1016);
}
