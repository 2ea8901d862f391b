// Font objects and the font calls: creation, text metrics and glyph bitmaps, on FreeType or on
// an installed test glyph source.
#include "platform/gdi/gdi_font.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/gdi/gdi_dib.h"
#include "platform/gdi/gdi_font_face.h"
#include "platform/gdi/gdi_font_render.h"

namespace {

constexpr uint32_t kFontTag = 0x464F4E54u;  // "FONT"
constexpr int kDefaultHeight = 16;
constexpr int kMaxHeight = 1024;  // larger cells are clamped: a glyph bitmap stays bounded

struct GdiFont {
    uint32_t tag;
    bool stock;
    int height;
    int weight;
    bool italic;
    V_DWORD charSet;
    GdiSynthesis synthesis;
    GdiSizedFace* face;      // FreeType path
    V_GlyphSource* source;   // test path (face is null)
    int selections;          // memory DCs holding the font
};

// Live font objects: a handle is checked here before it is read. Never destroyed, so fonts
// may be deleted from other objects' destructors at exit.
std::unordered_set<GdiFont*>& g_Fonts = *new std::unordered_set<GdiFont*>;
V_GlyphSource* g_Source = nullptr;

// The font a fresh memory DC holds: it has no glyphs; selecting it back empties the DC.
GdiFont g_StockFont{kFontTag, true, kDefaultHeight, V_FW_NORMAL, false, V_SHIFTJIS_CHARSET, {},
                    nullptr, nullptr, 0};

GdiFont* AsFont(V_HGDIOBJ object) {
    auto* font = reinterpret_cast<GdiFont*>(object);
    if (font == &g_StockFont) return font;
    return font && g_Fonts.count(font) ? font : nullptr;
}

// A font that can give metrics and glyphs (the stock placeholder cannot).
GdiFont* UsableFont(V_HDC dc) {
    GdiFont* font = AsFont(GdiSelectedFont(dc));
    return font && (font->face || font->source) ? font : nullptr;
}

// Makes the font's glyph source: the test source, or a matched and sized FreeType face.
bool Resolve(GdiFont* font, const char* face) {
    if (g_Source) {
        font->source = g_Source;
        return true;
    }
    bool bold = font->weight >= 600;
    GdiFaceMatch match;
    if (!GdiMatchFace(face, bold, font->italic, font->charSet, &match)) return false;
    font->face = GdiAcquireFace(match, font->height);
    font->synthesis.embolden = bold && !match.hasBold;
    font->synthesis.slant = font->italic && !match.hasItalic;
    return font->face != nullptr;
}

GdiFont* NewFont(int height, int weight, bool italic, V_DWORD charSet, const char* face) {
    auto* font = new GdiFont{};
    font->tag = kFontTag;
    font->height = height;
    font->weight = weight;
    font->italic = italic;
    font->charSet = charSet;
    if (!Resolve(font, face)) {
        delete font;
        return nullptr;
    }
    g_Fonts.insert(font);
    return font;
}

void FreeFont(GdiFont* font) {
    g_Fonts.erase(font);
    GdiReleaseFace(font->face);
    font->tag = 0;
    delete font;
}

struct Iconv {
    Iconv() : descriptor(iconv_open("UTF-32LE", "CP932")) {}
    ~Iconv() {
        if (descriptor != reinterpret_cast<iconv_t>(-1)) iconv_close(descriptor);
    }
    iconv_t descriptor;
};

// The Unicode code point of a code-page-932 character code (a lead byte in the high byte);
// 0 for a code that is not a character of the code page.
uint32_t CodePoint(V_UINT code) {
    if (code > 0xFFFF) return 0;
    if (code < 0x80) return code;
    thread_local Iconv converter;
    if (converter.descriptor == reinterpret_cast<iconv_t>(-1)) return 0;
    char bytes[2];
    size_t length = 0;
    if (code > 0xFF) bytes[length++] = static_cast<char>(code >> 8);
    bytes[length++] = static_cast<char>(code & 0xFF);
    uint8_t utf32[8] = {};
    char* in = bytes;
    char* out = reinterpret_cast<char*>(utf32);
    size_t inLeft = length, outLeft = sizeof(utf32);
    iconv(converter.descriptor, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.descriptor, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0 || sizeof(utf32) - outLeft != 4)
        return 0;
    return utf32[0] | (utf32[1] << 8) | (utf32[2] << 16) | (static_cast<uint32_t>(utf32[3]) << 24);
}

struct FontMetrics {
    int ascent, descent, maxWidth, aveWidth;
};

FontMetrics MetricsOf(GdiFont* font) {
    FontMetrics m{};
    if (font->source) {
        font->source->Metrics(font->height, font->weight, &m.ascent, &m.descent, &m.maxWidth);
        m.aveWidth = std::max(1, m.maxWidth / 2);
        return m;
    }
    const GdiSizedFace* face = font->face;
    // Emboldening widens every glyph and its advance.
    int extra = font->synthesis.embolden ? GdiEmboldenPixels(face) : 0;
    return FontMetrics{face->ascent, face->descent, face->maxWidth + extra,
                       face->aveWidth + extra};
}

bool SourceGlyph(GdiFont* font, uint32_t codePoint, GdiGlyphImage* image) {
    *image = GdiGlyphImage{};
    V_GlyphSource* source = font->source;
    int width = 0, rows = 0;
    bool visible = source->Glyph(font->height, font->weight, codePoint, &width, &rows,
                                 &image->originX, &image->originY, &image->advance, nullptr, 0);
    if (!visible || width <= 0 || rows <= 0) return true;
    width = std::min(width, kMaxHeight * 4);
    rows = std::min(rows, kMaxHeight * 4);
    image->coverage.assign(static_cast<size_t>(width) * rows, 0);
    int fetchedWidth = width, fetchedRows = rows;
    source->Glyph(font->height, font->weight, codePoint, &fetchedWidth, &fetchedRows,
                  &image->originX, &image->originY, &image->advance, image->coverage.data(),
                  image->coverage.size());
    image->width = width;
    image->rows = rows;
    return true;
}

}  // namespace

V_HFONT V_CreateFontA(int height, int, int, int, int weight, V_DWORD italic, V_DWORD, V_DWORD,
                      V_DWORD charSet, V_DWORD, V_DWORD, V_DWORD, V_DWORD, const char* face) {
    // The magnitude in 64 bits: the most negative height has no positive int.
    const int64_t magnitude = height < 0 ? -int64_t{height} : height;
    int cell = static_cast<int>(std::min<int64_t>(magnitude, kMaxHeight));
    if (cell == 0) cell = kDefaultHeight;
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    return reinterpret_cast<V_HFONT>(
        NewFont(cell, weight > 0 ? weight : V_FW_NORMAL, italic != 0, charSet, face));
}

V_BOOL V_GetTextMetricsA(V_HDC dc, V_TEXTMETRICA* metrics) {
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    GdiFont* font = UsableFont(dc);
    if (!font || !metrics) return V_FALSE;
    FontMetrics m = MetricsOf(font);
    *metrics = V_TEXTMETRICA{};
    metrics->tmHeight = font->height;
    metrics->tmAscent = m.ascent;
    metrics->tmDescent = m.descent;
    metrics->tmAveCharWidth = m.aveWidth;
    metrics->tmMaxCharWidth = m.maxWidth;
    metrics->tmWeight = font->weight;
    metrics->tmDigitizedAspectX = 96;
    metrics->tmDigitizedAspectY = 96;
    metrics->tmFirstChar = 0x20;
    metrics->tmLastChar = 0xFF;
    metrics->tmDefaultChar = 0x1F;
    metrics->tmBreakChar = 0x20;
    metrics->tmItalic = font->italic ? 0xFF : 0;
    // Family "modern", outline font; the low bit set would mean variable pitch.
    bool fixed = font->source || font->face->dualWidth;
    metrics->tmPitchAndFamily = static_cast<V_BYTE>(0x30 | 0x06 | (fixed ? 0 : 1));
    metrics->tmCharSet = static_cast<V_BYTE>(
        font->charSet == V_DEFAULT_CHARSET ? V_SHIFTJIS_CHARSET : font->charSet);
    return V_TRUE;
}

V_DWORD V_GetGlyphOutlineA(V_HDC dc, V_UINT code, V_UINT format, V_GLYPHMETRICS* metrics,
                           V_DWORD bufferSize, void* buffer, const V_MAT2*) {
    if (format != V_GGO_METRICS && GdiPackedRowBytes(format, 1) == 0) return V_GDI_ERROR;
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    GdiFont* font = UsableFont(dc);
    if (!font) return V_GDI_ERROR;
    uint32_t codePoint = CodePoint(code);
    GdiGlyphImage image;
    bool mono = format == V_GGO_METRICS || format == V_GGO_BITMAP;
    bool ok = font->source ? SourceGlyph(font, codePoint, &image)
                           : GdiRenderGlyph(font->face, codePoint, mono, font->synthesis, &image);
    if (!ok) return V_GDI_ERROR;
    bool blank = image.width <= 0 || image.rows <= 0;
    if (metrics) {
        // A blank glyph reports a 1 x 1 box, as the platform does.
        metrics->gmBlackBoxX = blank ? 1 : static_cast<V_UINT>(image.width);
        metrics->gmBlackBoxY = blank ? 1 : static_cast<V_UINT>(image.rows);
        metrics->gmptGlyphOrigin = blank ? V_POINT{0, 0} : V_POINT{image.originX, image.originY};
        metrics->gmCellIncX = static_cast<int16_t>(image.advance);
        metrics->gmCellIncY = 0;
    }
    if (format == V_GGO_METRICS || blank) return 0;
    V_DWORD size = GdiPackedRowBytes(format, image.width) * static_cast<V_DWORD>(image.rows);
    if (!buffer || bufferSize == 0) return size;
    if (bufferSize < size) return V_GDI_ERROR;
    GdiPackGlyph(image, format, static_cast<uint8_t*>(buffer));
    return size;
}

bool GdiIsFont(V_HGDIOBJ object) {
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    return AsFont(object) != nullptr;
}

bool GdiDeleteFont(V_HGDIOBJ object) {
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    GdiFont* font = AsFont(object);
    // A font held by a memory DC is not deleted (as the platform); the stock font stays.
    if (!font || font->selections > 0) return false;
    if (!font->stock) FreeFont(font);
    return true;
}

void GdiNoteFontSelection(V_HGDIOBJ object, int change) {
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    GdiFont* font = AsFont(object);
    if (font && !font->stock) font->selections = std::max(0, font->selections + change);
}

V_HGDIOBJ GdiStockFont() { return reinterpret_cast<V_HGDIOBJ>(&g_StockFont); }

void V_SetGlyphSourceForTest(V_GlyphSource* source) {
    std::lock_guard<std::mutex> lock(GdiFontMutex());
    g_Source = source;
}
