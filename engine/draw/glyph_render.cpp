// Rendering characters into a font's glyph cache: the glyph bitmaps of the font, the edge spread
// around them, the ring of slots with its eviction.
#include <algorithm>
#include <vector>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "draw/font.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_dib.h"
#include "platform/gdi/gdi_font.h"

namespace {

// Neighbours a body pixel spreads its edge to, for edge sizes 1 to 4: the top-left
// (2e + 1) x (2e + 1) square of each 9 x 9 mask, centre at (e, e).
const char* const kEdgeMaskTable[4][9] = {
    {".#.", "###", ".#."},
    {".###.", "#####", "#####", "#####", ".###."},
    {"...#...", ".#####.", ".#####.", "#######", ".#####.", ".#####.", "...#..."},
    {"..#####..", ".#######.", "#########", "#########", "#########", "#########", "#########",
     ".#######.", "..#####.."},
};

bool EdgeSpreads(int e, int dx, int dy) {
    if (e == 1 && dx == 0 && dy == 0) return false;  // size 1: the four neighbours only
    if (e > 4) return true;
    return kEdgeMaskTable[e - 1][dy + e][dx + e] == '#';
}

// A glyph's levels over its whole area (black box plus the edge margin), clipped to the cell.
struct GlyphLevels {
    int width = 0, height = 0;
    std::vector<uint8_t> body, edge;
};

// Spreads every body pixel's edge into the edge levels. Texture storage accumulates coverage
// (256 - (16 - E)(16 - L)) / 16; memory storage keeps the largest level.
void SpreadEdge(GlyphLevels* g, int e, bool accumulate) {
    for (int r = 0; r < g->height; ++r) {
        for (int c = 0; c < g->width; ++c) {
            int level = g->body[r * g->width + c];
            if (level == 0) continue;
            for (int dy = -e; dy <= e; ++dy) {
                int y = r + dy;
                if (y < 0 || y >= g->height) continue;
                for (int dx = -e; dx <= e; ++dx) {
                    int x = c + dx;
                    if (x < 0 || x >= g->width || !EdgeSpreads(e, dx, dy)) continue;
                    uint8_t& out = g->edge[y * g->width + x];
                    if (accumulate) {
                        out = static_cast<uint8_t>((256 - (16 - out) * (16 - level)) / 16);
                    } else if (out < level) {
                        out = static_cast<uint8_t>(level);
                    }
                }
            }
        }
    }
}

// Reads the bitmap of a character; its rows start one spare row into the buffer.
void ReadBitmapLevels(GlyphLevels* g, const uint8_t* rows, int pitch, int boxWidth, int boxHeight,
                      int e, bool gray) {
    int columns = std::min(boxWidth, gray ? pitch : pitch * 8);
    for (int r = 0; r < boxHeight; ++r) {
        int y = e + r;
        if (y >= g->height) break;
        const uint8_t* row = rows + static_cast<size_t>(r) * pitch;
        for (int c = 0; c < columns; ++c) {
            int x = e + c;
            if (x >= g->width) break;
            int level = gray ? std::min<int>(row[c], 16) : ((row[c >> 3] >> (7 - (c & 7))) & 1) * 16;
            g->body[y * g->width + x] = static_cast<uint8_t>(level);
        }
    }
}

// Renders one character into its slot; the slot's metrics and the cell's pixels are written.
void RenderOne(FontRecord* font, V_HDC dc, const V_TEXTMETRICA& text, GlyphSlot* slot,
               uint8_t first, uint8_t second) {
    int e = GlyphEdge(font);
    int type = font->type & 3;
    V_UINT format = (type & kFontAntialiased) ? V_GGO_GRAY4_BITMAP : V_GGO_BITMAP;
    V_MAT2 identity{};
    identity.eM11.value = 1;
    identity.eM22.value = 1;
    V_UINT code = second != 0 ? first * 256u + second : first;
    V_GLYPHMETRICS metrics{};
    int limit = font->cellSize - 1;  // the glyph area of a cell
    GlyphLevels g;

    bool blank = first == 0x20 || (first == 0x81 && second == 0x40);
    V_DWORD size = V_GetGlyphOutlineA(dc, code, format, &metrics, 0, nullptr, &identity);
    if (size == V_GDI_ERROR) FatalExit("GetGlyphOutline 関数が失敗しました");
    slot->advance = metrics.gmCellIncX;
    slot->xOffset = 0;
    slot->yOffset = 0;
    if (blank || size == 0 || metrics.gmBlackBoxY == 0) {
        g.width = std::min(2 * e, limit);
        g.height = g.width;
    } else {
        int boxWidth = static_cast<int>(metrics.gmBlackBoxX);
        int boxHeight = static_cast<int>(metrics.gmBlackBoxY);
        int pitch = static_cast<int>(size / metrics.gmBlackBoxY) & ~3;
        size_t bytes = size + 2u * static_cast<size_t>(pitch);
        auto* buffer = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(bytes));
        if (buffer == nullptr) FatalExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
        if (V_GetGlyphOutlineA(dc, code, format, &metrics, size, buffer + pitch, &identity) ==
            V_GDI_ERROR)
            FatalExit("GetGlyphOutline 関数が失敗しました");
        slot->xOffset = static_cast<int16_t>(metrics.gmptGlyphOrigin.x);
        slot->yOffset = static_cast<int16_t>(text.tmAscent - metrics.gmptGlyphOrigin.y);
        g.width = std::min(boxWidth + 2 * e, limit);
        g.height = std::min(boxHeight + 2 * e, limit);
        g.body.assign(static_cast<size_t>(g.width) * g.height, 0);
        ReadBitmapLevels(&g, buffer + pitch, pitch, boxWidth, boxHeight, e, format != V_GGO_BITMAP);
        FreeMemory(buffer);
    }
    g.width = std::max(g.width, 0);
    g.height = std::max(g.height, 0);
    g.body.resize(static_cast<size_t>(g.width) * g.height, 0);
    g.edge.assign(g.body.size(), 0);
    if (type & kFontEdged) SpreadEdge(&g, e, font->usesTextures != 0);
    StoreGlyphPixels(font, slot->cellIndex, g.width, g.height, g.body.data(), g.edge.data());
    slot->width = static_cast<uint16_t>(g.width);
    slot->height = static_cast<uint16_t>(g.height);
    slot->advance = static_cast<int16_t>(slot->advance + 2 * e);
}

}  // namespace

GlyphSlot* RenderGlyphs(int handle, int count, const uint8_t* entries) {
    if (g_DrawSettings.suspended) return nullptr;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr || font->capacity <= 0) return nullptr;
    V_HDC dc = V_CreateCompatibleDC(nullptr);
    V_HGDIOBJ old = nullptr;
    V_TEXTMETRICA text{};
    if (dc != nullptr) old = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(font->gdiFont));
    // Metrics are only read from a DC that holds the font: their failure is the selection's.
    if (dc == nullptr || !V_GetTextMetricsA(dc, &text))
        FatalExit("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
    GlyphSlot* last = nullptr;
    for (int i = 0; i < count; ++i) {
        uint8_t first = entries[3 * i];
        uint8_t second = entries[3 * i + 1];
        GlyphSlot* slot = &font->slots[font->nextSlot];
        FlushIfCellPending(font, slot);
        if (slot->used) {
            slot->mapEntry->cached = 0;
            slot->mapEntry->slot = nullptr;
            slot->used = 0;
        }
        CharMapEntry* entry = &font->charMap[first | (second << 8)];
        if (entry->slot != nullptr && entry->slot != slot) {
            // Rendered again while cached: its old slot no longer holds it.
            entry->slot->used = 0;
            entry->slot->mapEntry = nullptr;
        }
        entry->cached = 1;
        entry->slot = slot;
        slot->mapEntry = entry;
        slot->used = 1;
        RenderOne(font, dc, text, slot, first, second);
        last = slot;
        font->nextSlot = font->nextSlot + 1 >= font->capacity ? 0 : font->nextSlot + 1;
    }
    V_SelectObject(dc, old);
    V_DeleteDC(dc);
    return last;
}
