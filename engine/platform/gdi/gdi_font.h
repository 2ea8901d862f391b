// Stand-ins for the font services of GDI the library uses: font objects, text metrics and
// glyph bitmaps. Fonts are found through fontconfig and rendered with FreeType; character codes
// are code page 932 (one byte, or a lead byte in the high byte of a 16-bit code).
// A memory DC made by V_CreateCompatibleDC (gdi_dib.h) takes a font with V_SelectObject;
// V_DeleteObject (gdi.h) deletes fonts as well.
#pragma once

#include "platform/types.h"

constexpr int V_FW_NORMAL = 400;
constexpr int V_FW_BOLD = 700;
constexpr V_DWORD V_DEFAULT_CHARSET = 1;
constexpr V_DWORD V_SHIFTJIS_CHARSET = 128;
constexpr V_DWORD V_HANGEUL_CHARSET = 129;
constexpr V_DWORD V_NONANTIALIASED_QUALITY = 3;
constexpr V_DWORD V_FIXED_PITCH = 1;

// height > 0: the cell height in pixels (tmHeight of the font); height <= 0 is taken as its
// magnitude (0 gives 16); heights above 1024 are taken as 1024. weight 600 and above is bold, emboldened when the face has no bold
// style. face: a code-page-932 face name, or null / "" for the default face. Never fails for
// an unknown face (the closest installed font is used); null only when no font is installed.
V_HFONT V_CreateFontA(int height, int width, int escapement, int orientation, int weight,
                      V_DWORD italic, V_DWORD underline, V_DWORD strikeOut, V_DWORD charSet,
                      V_DWORD outputPrecision, V_DWORD clipPrecision, V_DWORD quality,
                      V_DWORD pitchAndFamily, const char* face);

struct V_TEXTMETRICA {
    V_LONG tmHeight;  // equals the requested height
    V_LONG tmAscent;
    V_LONG tmDescent;  // tmAscent + tmDescent == tmHeight
    V_LONG tmInternalLeading;
    V_LONG tmExternalLeading;
    V_LONG tmAveCharWidth;
    V_LONG tmMaxCharWidth;
    V_LONG tmWeight;
    V_LONG tmOverhang;
    V_LONG tmDigitizedAspectX;
    V_LONG tmDigitizedAspectY;
    V_BYTE tmFirstChar;
    V_BYTE tmLastChar;
    V_BYTE tmDefaultChar;
    V_BYTE tmBreakChar;
    V_BYTE tmItalic;
    V_BYTE tmUnderlined;
    V_BYTE tmStruckOut;
    V_BYTE tmPitchAndFamily;
    V_BYTE tmCharSet;
};
// Metrics of the font selected into dc; false when dc holds no font (or the stock one).
V_BOOL V_GetTextMetricsA(V_HDC dc, V_TEXTMETRICA* metrics);

struct V_GLYPHMETRICS {
    V_UINT gmBlackBoxX;
    V_UINT gmBlackBoxY;
    V_POINT gmptGlyphOrigin;  // x: left bearing; y: rows above the baseline
    int16_t gmCellIncX;
    int16_t gmCellIncY;
};
struct V_FIXED {
    V_WORD fract;
    int16_t value;
};
struct V_MAT2 {
    V_FIXED eM11, eM12, eM21, eM22;
};

constexpr V_UINT V_GGO_METRICS = 0;
constexpr V_UINT V_GGO_BITMAP = 1;       // 1 bit per pixel, MSB first, rows padded to 4 bytes
constexpr V_UINT V_GGO_GRAY4_BITMAP = 5;  // one byte per pixel, levels 0..16, rows padded to 4
constexpr V_DWORD V_GDI_ERROR = 0xFFFFFFFFu;

// The glyph of character code `code` of the font selected into dc. With no buffer (or size 0)
// returns the bitmap's byte size; with a buffer writes the bitmap, top row first, and returns its
// size. A blank glyph has size 0 and a 1 x 1 black box. A code the font lacks gives the font's
// missing-glyph shape. V_GDI_ERROR when dc holds no font, the format is unknown or the buffer is
// too small.
V_DWORD V_GetGlyphOutlineA(V_HDC dc, V_UINT code, V_UINT format, V_GLYPHMETRICS* metrics,
                           V_DWORD bufferSize, void* buffer, const V_MAT2* matrix);

// Layer-internal: true when object is a font (made by V_CreateFontA, or the stock font a fresh
// memory DC holds).
bool GdiIsFont(V_HGDIOBJ object);
// Layer-internal: deletes a font; false for a font selected into a memory DC (it stays) or an
// object that is no font. The stock font is never freed (true).
bool GdiDeleteFont(V_HGDIOBJ object);
// Layer-internal: a memory DC took (change 1) or gave up (change -1) the font.
void GdiNoteFontSelection(V_HGDIOBJ font, int change);
// Layer-internal: the font of a fresh memory DC; it gives no metrics or glyphs.
V_HGDIOBJ GdiStockFont();

// A source of glyphs that replaces FreeType, for tests: every font created while it is installed
// uses it. Sizes are in pixels; coverage is 0..255 per pixel, row-major, width x height
// (1-bit bitmaps set the pixels of coverage 128 and above).
struct V_GlyphSource {
    // Ascent and descent of a font of the given cell height.
    virtual void Metrics(int height, int weight, int* ascent, int* descent, int* maxWidth) = 0;
    // The glyph of a Unicode code point: fills the box, origin and advance; writes coverage into
    // `coverage` (capacity bytes) when non-null. Returns false for a blank glyph.
    virtual bool Glyph(int height, int weight, uint32_t codePoint, int* width, int* rows,
                       int* originX, int* originY, int* advance, uint8_t* coverage,
                       size_t capacity) = 0;
    virtual ~V_GlyphSource() = default;
};
// Installs a glyph source (null restores FreeType). The caller keeps ownership.
void V_SetGlyphSourceForTest(V_GlyphSource* source);
