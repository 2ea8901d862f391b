// String layout: splitting a string into characters, rendering the missing glyphs in one batch,
// and placing the characters one after another.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "draw/font.h"
#include "draw/vertex_batch.h"
#include "graphics/graphics_services.h"

namespace {

constexpr int kStaticStringBytes = 256;

// Buffers for strings of up to 256 bytes; longer ones use heap blocks.
uint8_t g_RunEntries[kStaticStringBytes * 3];
uint8_t g_CollectEntries[kStaticStringBytes * 3];
uint8_t g_UncachedEntries[kStaticStringBytes * 3];
uint16_t g_UncachedCodes[kStaticStringBytes];

int LimitedLength(const char* text, int limit) {
    int length = static_cast<int>(std::strlen(text));
    return limit != -1 && limit < length ? limit : length;
}

uint32_t Tint(uint32_t colour, uint32_t bright, uint32_t* tint) {
    int r = 0, g = 0, b = 0;
    GetScreenColorRGB(colour, &r, &g, &b);
    r = r * static_cast<int>((bright >> 16) & 0xFF) / 255;
    g = g * static_cast<int>((bright >> 8) & 0xFF) / 255;
    b = b * static_cast<int>(bright & 0xFF) / 255;
    *tint = 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
            static_cast<uint32_t>(b);
    return GetScreenColor(r, g, b) & ~GetScreenColor(0, 0, 0);
}

}  // namespace

int IsLeadByte(const uint8_t* byte, int charsetIndex) {
    uint8_t b = *byte;
    if (charsetIndex == 2) return b >= 0x80 ? 1 : 0;
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 1 : 0;
}

GlyphColors TintGlyphColors(uint32_t body, uint32_t edge) {
    GlyphColors colors{};
    uint32_t bright = g_DrawSettings.brightColor;
    colors.body = Tint(body, bright, &colors.bodyTint);
    colors.edge = Tint(edge, bright, &colors.edgeTint);
    return colors;
}

int CollectUncachedChars(int limit, const char* text, int handle, uint8_t* entriesOut,
                         int* countOut) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    int length = LimitedLength(text, limit);
    uint8_t* block = nullptr;
    uint8_t* entries = entriesOut != nullptr ? entriesOut : g_CollectEntries;
    uint8_t* uncached = g_UncachedEntries;
    uint16_t* codes = g_UncachedCodes;
    if (length > kStaticStringBytes) {
        block = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(length) * 8));
        if (block == nullptr) return -1;
        codes = reinterpret_cast<uint16_t*>(block);
        uncached = block + static_cast<size_t>(length) * 2;
        if (entriesOut == nullptr) entries = block + static_cast<size_t>(length) * 5;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    int count = 0;
    int gathered = 0;
    for (int i = 0; i < length;) {
        uint8_t first = bytes[i];
        uint8_t second = 0;
        if (IsLeadByte(&bytes[i], font->charsetIndex)) {
            // A lead byte at the end pairs with the terminating NUL.
            second = i + 1 < length ? bytes[i + 1] : 0;
            i += 2;
        } else {
            i += 1;
        }
        uint8_t* entry = entries + 3 * count;
        entry[0] = first;
        entry[1] = second;
        entry[2] = 0;
        ++count;
        uint16_t code = static_cast<uint16_t>(first | (second << 8));
        CharMapEntry& map = font->charMap[code];
        if (map.cached == 0 && gathered < font->capacity) {
            map.cached = 2;  // gathered once
            std::memcpy(uncached + 3 * gathered, entry, 3);
            codes[gathered] = code;
            ++gathered;
        }
    }
    for (int i = 0; i < gathered; ++i) font->charMap[codes[i]].cached = 0;
    if (gathered > 0) RenderGlyphs(handle, gathered, uncached);
    if (countOut != nullptr) *countOut = count;
    if (block != nullptr) FreeMemory(block);
    return 0;
}

namespace {

// DrawGlyphRun, which can also gather the rectangle its glyphs cover (from (x, y), unscaled).
int RunGlyphs(int mode, int x, int y, int scale, double scaleX, double scaleY, const char* text,
              uint32_t colour, MEMIMG* target, const V_RECT* clip, int trans, int handle,
              uint32_t edgeColour, int limit, int vertical, V_SIZE* sizeOut, V_RECT* boundsOut) {
    if (g_DrawSettings.suspended) return -1;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    // Scaling is for textured fonts only, and in draw mode only with the scale flag.
    if (!font->usesTextures || (mode == 1 && !scale)) scaleX = scaleY = 1.0;
    double advanceScale = vertical ? scaleY : scaleX;
    GlyphColors colors = TintGlyphColors(colour, edgeColour);
    if (text == nullptr || text[0] == '\0') return 0;
    int length = LimitedLength(text, limit);

    uint8_t* block = nullptr;
    uint8_t* entries = g_RunEntries;
    if (length > kStaticStringBytes) {
        block = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(length) * 3));
        if (block == nullptr) return -1;
        entries = block;
    }
    int count = 0;
    CollectUncachedChars(length, text, handle, entries, &count);

    double pen = 0.0;
    for (int i = 0; i < count; ++i) {
        const uint8_t* entry = entries + 3 * i;
        CharMapEntry& map = font->charMap[entry[0] | (entry[1] << 8)];
        GlyphSlot* slot = map.cached == 1 ? map.slot : RenderGlyphs(handle, 1, entry);
        if (slot == nullptr) {
            WriteLog("テキストキャッシュの作成に失敗しました");
            if (block != nullptr) FreeMemory(block);
            return -1;
        }
        if (mode == 1 || boundsOut != nullptr) {
            bool blank = entry[0] == 0x20 || (entry[0] == 0x81 && entry[1] == 0x40) ||
                         (slot->width == 0 && slot->height == 0);
            if (!blank) {
                GlyphPlacement place{};
                GlyphCellOrigin(font, slot->cellIndex, &place.cellX, &place.cellY);
                place.width = slot->width;
                place.height = slot->height;
                place.vertical = vertical;
                int p = static_cast<int>(pen);
                if (vertical) {
                    place.x = x + font->lineHeight - slot->yOffset;
                    place.y = y + p + slot->xOffset;
                } else {
                    place.x = x + p + slot->xOffset;
                    place.y = y + slot->yOffset;
                }
                if (boundsOut != nullptr) {
                    V_RECT rect = GlyphRect(place);
                    if (rect.left < rect.right && rect.top < rect.bottom) {
                        if (boundsOut->left >= boundsOut->right || boundsOut->top >= boundsOut->bottom) {
                            *boundsOut = rect;
                        } else {
                            boundsOut->left = std::min(boundsOut->left, rect.left);
                            boundsOut->top = std::min(boundsOut->top, rect.top);
                            boundsOut->right = std::max(boundsOut->right, rect.right);
                            boundsOut->bottom = std::max(boundsOut->bottom, rect.bottom);
                        }
                    }
                }
                if (mode != 1) {
                    // Measuring only.
                } else if (font->usesTextures) {
                    DrawGlyphTextured(font, place, colors);
                    slot->drawSerial = g_VertexBatch.drawSerial;
                } else if (target != nullptr) {
                    DrawGlyphSoft(font, place, colors, target, clip, trans);
                }
            }
        }
        pen += (slot->advance + font->charSpacing) * advanceScale;
    }
    if (sizeOut != nullptr) {
        int extent = static_cast<int>(pen);
        sizeOut->cx = vertical ? font->lineHeight : extent;
        sizeOut->cy = vertical ? extent : font->lineHeight;
    }
    if (block != nullptr) FreeMemory(block);
    return static_cast<int>(pen);
}

}  // namespace

int DrawGlyphRun(int mode, int x, int y, int scale, double scaleX, double scaleY,
                 const char* text, uint32_t colour, MEMIMG* target, const V_RECT* clip,
                 int trans, int handle, uint32_t edgeColour, int limit, int vertical,
                 V_SIZE* sizeOut) {
    return RunGlyphs(mode, x, y, scale, scaleX, scaleY, text, colour, target, clip, trans, handle,
                     edgeColour, limit, vertical, sizeOut, nullptr);
}

int MeasureGlyphRun(int handle, const char* text, int vertical, V_SIZE* sizeOut, V_RECT* boundsOut) {
    *boundsOut = V_RECT{0, 0, 0, 0};
    return RunGlyphs(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, handle, 0, -1, vertical,
                     sizeOut, boundsOut);
}
