// The font system (internal): font handles and records, the glyph cache and the string layout.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/types.h"

constexpr int kFontSlots = 40;
constexpr int32_t kFontHandleKind = 0x20000000;
constexpr int kFontFaceSize = 256;
constexpr int kGlyphSlotCount = 2025;  // the ring plus its sentinel
constexpr int kMaxGlyphCells = 2024;
constexpr int kCharMapSize = 65536;

// Font type bits.
constexpr int kFontEdged = 1;
constexpr int kFontAntialiased = 2;

// A string in the multiply mode changes only the pixels its glyphs cover: it is drawn as the
// product weighed by the glyphs' coverage, which is blending toward the product at full strength.
constexpr int kMultiplyMode = 4;
constexpr int kTowardProductMode = 11;

struct CharMapEntry;

struct GlyphSlot {
    uint16_t used;
    int16_t xOffset;  // the black box's origin x
    int16_t yOffset;  // the black box's top below the line's top
    int16_t advance;  // cell increment plus twice the edge size
    int32_t cellIndex;
    uint16_t width;   // black box plus twice the edge size, within the cell
    uint16_t height;
    CharMapEntry* mapEntry;
    uint32_t drawSerial;  // the vertex batch's serial when the glyph was last drawn from a texture
};

struct CharMapEntry {
    uint32_t cached;  // 1 while in the cache; 2 while gathered for rendering
    GlyphSlot* slot;
};

struct FontRecord {
    uint32_t checkNumber;
    int32_t* lostFlag;
    GlyphSlot slots[kGlyphSlotCount];
    CharMapEntry charMap[kCharMapSize];
    int32_t nextSlot;
    int32_t capacity;
    uint8_t* memoryCache;
    int32_t memoryPitch;
    int32_t memoryDepth;  // bits per pixel: 1 or 8
    char face[kFontFaceSize];
    int32_t thickness;
    int32_t size;
    int32_t lineHeight;
    int32_t italic;
    int32_t charSpacing;
    int32_t cellSize;
    V_HFONT gdiFont;
    int32_t type;
    int32_t charsetIndex;
    int32_t edgeSize;
    int32_t cacheWidth;
    int32_t cacheHeight;
    int32_t cellsPerColumn;
    int32_t cacheGraph;
    int32_t edgeGraph;
    int32_t remakeFlag;
    ImageRecord cacheBase;
    // Regions of the cache base not yet in the texture (empty: none): one in the body half and,
    // for edged fonts, one in the edge half.
    V_RECT uploadPending[2];
    int32_t usesTextures;
};

struct FontTable {
    FontRecord* slots[kFontSlots];
    uint32_t checkCounter;
};
extern FontTable g_FontTable;

struct DefaultFontSettings {
    int32_t handle;
    char face[kFontFaceSize];
    int32_t size;
    int32_t thickness;
    int32_t type;
    int32_t charsetIndex;
    int32_t edgeSize;
    int32_t italic;
    int32_t charSpacing;
};
extern DefaultFontSettings g_DefaultFont;

// Glyphs the cache should hold; 0 sizes the cache automatically.
extern int32_t g_FontCacheSize;

// GDI character sets of the charset indices 0, 1 and 2.
extern const uint32_t kFontCharsetTable[3];

FontRecord* GetFontRecord(int handle);
int CheckFontHandle(int handle);
int SetFontCharSpacing(int spacing, int handle);
int RefreshDefaultFont();
// 1 between the font system's start and its end; font and string calls fail (-1) outside.
int FontSystemUp();
int InitFonts();

// The edge size of a record: its edge size when edged, else 0.
inline int GlyphEdge(const FontRecord* font) {
    return (font->type & kFontEdged) ? font->edgeSize : 0;
}
// The top-left pixel of a cell's glyph area.
inline void GlyphCellOrigin(const FontRecord* font, int cell, int* x, int* y) {
    int column = cell / font->cellsPerColumn;
    int row = cell % font->cellsPerColumn;
    *x = font->cellSize * column + 1;
    *y = font->cellSize * row + 1;
}

// Glyph cache.
// Sizes the cache of a new record and makes its storage; -1 (logged) when that fails.
int SetupGlyphCache(FontRecord* font, int handle);
// Frees the storage of a record: textures, base image, memory cache.
void ReleaseGlyphCacheStorage(FontRecord* font);
int MakeGlyphCacheTextures(int handle);
int ClearGlyphCache(int handle);
// Entries are 3 bytes each: first byte, second byte (0 for one-byte characters), 0.
GlyphSlot* RenderGlyphs(int handle, int count, const uint8_t* entries);

// Writes a glyph's body and edge levels (0..16) into its cell of the cache. body and edge hold
// width x height levels of the whole glyph area (edge only for edged fonts).
// Uploads every font's changed cache region into its texture, once each; the vertex batch calls
// it before it draws.
void UploadPendingGlyphs();
// Before a cell is written again: pending vertices that show its old glyph are drawn first.
void FlushIfCellPending(const FontRecord* font, const GlyphSlot* slot);
void StoreGlyphPixels(FontRecord* font, int cell, int width, int height, const uint8_t* body,
                      const uint8_t* edge);

// Strings.
int IsLeadByte(const uint8_t* byte, int charsetIndex);
int CollectUncachedChars(int limit, const char* text, int handle, uint8_t* entriesOut,
                         int* countOut);
// The colours of a string: pixel values with the bright colour applied, and the 0xFFRRGGBB tints.
struct GlyphColors {
    uint32_t body;
    uint32_t edge;
    uint32_t bodyTint;
    uint32_t edgeTint;
};
GlyphColors TintGlyphColors(uint32_t body, uint32_t edge);
int DrawGlyphRun(int mode, int x, int y, int scale, double scaleX, double scaleY,
                 const char* text, uint32_t colour, MEMIMG* target, const V_RECT* clip,
                 int trans, int handle, uint32_t edgeColour, int limit, int vertical,
                 V_SIZE* sizeOut);
// Measures a whole string as DrawGlyphRun's measuring mode does (size out) and gives the
// rectangle, relative to the string's position, that its glyph pixels cover (empty when none):
// italic overhangs and turned vertical glyphs reach past the advances.
int MeasureGlyphRun(int handle, const char* text, int vertical, V_SIZE* sizeOut, V_RECT* boundsOut);
int DrawStringTextured(int handle, const char* text, int x, int y, uint32_t colour,
                       uint32_t edgeColour, int vertical);
int DrawStringToMemImg(int handle, int x, int y, const char* text, uint32_t colour,
                       uint32_t edgeColour, int vertical);

// One glyph placed by the layout: the cache cell's glyph area, its size, the glyph's place.
struct GlyphPlacement {
    int cellX, cellY;  // glyph area in the cache
    int width, height;
    int x, y;          // horizontal: top-left; vertical: (X0, Y0) of the quarter turn
    int vertical;
};
// The pixels a placed glyph covers.
V_RECT GlyphRect(const GlyphPlacement& place);
void DrawGlyphSoft(const FontRecord* font, const GlyphPlacement& place, const GlyphColors& colors,
                   MEMIMG* target, const V_RECT* clip, int trans);
void DrawGlyphTextured(const FontRecord* font, const GlyphPlacement& place,
                       const GlyphColors& colors);

// The software path's work images, screen-sized, made on first use and freed by EndFonts.
MEMIMG* GetTextWorkImage(int alpha);
void ReleaseTextWorkImages();
