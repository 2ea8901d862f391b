// Font handles: the table, creation of a font record with its GDI font and metrics, deletion,
// and the per-font getters and setters.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "core/window.h"
#include "draw/draw.h"
#include "draw/font.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_dib.h"
#include "platform/gdi/gdi_font.h"
#include "platform/kernel/kernel_process.h"

FontTable g_FontTable;
const uint32_t kFontCharsetTable[3] = {V_DEFAULT_CHARSET, V_SHIFTJIS_CHARSET,
                                       V_HANGEUL_CHARSET};

namespace {

// The fallback face of the default font.
const char kDefaultFace[] = "ＭＳ ゴシック";

// The largest glyph cell: the memory cache holds at least 20 cells of it.
constexpr int64_t kMaxCellSize = 2048;

V_HFONT MakeGdiFont(const FontRecord* font, int italic, uint32_t charset, const char* face) {
    // The weight, thickness x 100, within the platform's 0-1000 and without overflow.
    const int weight = static_cast<int>(std::clamp<int64_t>(int64_t{font->thickness} * 100, 0, 1000));
    return V_CreateFontA(font->size, 0, 0, 0, weight, static_cast<V_DWORD>(italic), 0, 0, charset,
                         0, 0, V_NONANTIALIASED_QUALITY, V_FIXED_PITCH, face);
}

// The GDI font of a new record through its three attempts; null (logged) when all fail.
V_HFONT CreateRecordGdiFont(const FontRecord* font) {
    uint32_t charset = kFontCharsetTable[font->charsetIndex];
    V_HFONT made = nullptr;
    if (font->face[0] != '\0') {
        made = MakeGdiFont(font, font->italic, charset, font->face);
        if (made == nullptr) made = MakeGdiFont(font, font->italic, V_DEFAULT_CHARSET, font->face);
        if (made == nullptr) made = MakeGdiFont(font, font->italic, V_SHIFTJIS_CHARSET, font->face);
        if (made == nullptr) WriteLog("指定のフォントの作成に失敗しました\n");
        return made;
    }
    made = MakeGdiFont(font, font->italic, charset, kDefaultFace);
    if (made == nullptr) made = MakeGdiFont(font, 0, V_DEFAULT_CHARSET, kDefaultFace);
    if (made == nullptr) made = MakeGdiFont(font, 0, V_DEFAULT_CHARSET, nullptr);
    if (made == nullptr) WriteLog("フォントの作成に失敗しました\n");
    return made;
}

// Reads the text metrics of the font: cell size and line height. -1 (logged) without a DC.
int ReadFontMetrics(FontRecord* font, V_HFONT gdiFont) {
    V_HDC dc = V_CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        WriteLog("ＤＣの取得に失敗しました\n");
        return -1;
    }
    V_HGDIOBJ old = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(gdiFont));
    V_TEXTMETRICA metrics{};
    V_GetTextMetricsA(dc, &metrics);
    V_SelectObject(dc, old);
    V_DeleteDC(dc);
    // In 64 bits: the edge size is the caller's.
    const int64_t edge = GlyphEdge(font);
    int64_t cell = int64_t{metrics.tmMaxCharWidth} + 2 + 2 * edge;
    cell = (cell + 7) / 8 * 8;
    int64_t line = int64_t{metrics.tmHeight} + 2 * edge;
    if (line & 1) ++line;
    if (cell < line) cell = line;
    if (cell > kMaxCellSize) {
        WriteLogFormat("フォントのサイズが大きすぎます ( 文字セルの大きさ %lld )",
                       static_cast<long long>(cell));
        return -1;
    }
    font->cellSize = static_cast<int>(cell);
    font->lineHeight = static_cast<int>(line);
    return 0;
}

int ScreenDepth() {
    int depth = GetColorBitDepth();
    return depth != 0 ? depth : 16;
}

}  // namespace

FontRecord* GetFontRecord(int handle) {
    int slot = HandleSlot(handle, kFontHandleKind, kFontSlots);
    if (slot < 0) return nullptr;
    FontRecord* font = g_FontTable.slots[slot];
    if (font == nullptr || !HandleCheckMatches(font->checkNumber, handle)) return nullptr;
    return font;
}

int CheckFontHandle(int handle) { return GetFontRecord(handle) != nullptr ? 1 : 0; }

int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charsetIndex,
                       int edgeSize, int italic, int reuseSlot, int reuseCheck) {
    if (!FontSystemUp()) return -1;
    if (g_Window.destroyed) return -1;
    if (fontType == -1) fontType = 0;
    if (edgeSize > 1) fontType |= kFontEdged;
    if (size == -1) size = 16;
    if (thickness == -1) thickness = 6;
    if (edgeSize == -1) edgeSize = 1;
    if (charsetIndex == -1) charsetIndex = V_GetOEMCP() == 949 ? 2 : 1;
    // Only the two type bits mean anything; unknown charset indices take the default set.
    fontType &= kFontEdged | kFontAntialiased;
    if (charsetIndex < 0 || charsetIndex > 2) charsetIndex = 0;
    if (edgeSize < 1) edgeSize = 1;

    int slot = -1;
    if (reuseSlot != -1) {
        if (reuseSlot < 0 || reuseSlot >= kFontSlots) return -1;
        if (g_FontTable.slots[reuseSlot] != nullptr) return -1;
        slot = reuseSlot;
    } else {
        for (int i = 0; i < kFontSlots; ++i) {
            if (g_FontTable.slots[i] == nullptr) {
                slot = i;
                break;
            }
        }
        if (slot < 0) {
            WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", kFontSlots);
            return -1;
        }
    }

    auto* font = static_cast<FontRecord*>(VELK_ALLOC_ZEROED(sizeof(FontRecord)));
    if (font == nullptr) {
        WriteLog("フォント管理用メモリ領域の確保に失敗しました\n");
        return -1;
    }
    font->cacheGraph = -1;
    font->edgeGraph = -1;
    if (ScreenDepth() == 8) fontType &= ~kFontAntialiased;
    font->size = size;
    font->type = fontType;
    font->thickness = thickness;
    font->edgeSize = edgeSize;
    font->italic = italic;
    font->charSpacing = 0;
    font->charsetIndex = charsetIndex;
    font->checkNumber = reuseCheck != -1 ? static_cast<uint32_t>(reuseCheck) & kHandleCheckLimit
                                         : NextCheckNumber(&g_FontTable.checkCounter);
    g_FontTable.slots[slot] = font;
    int handle = MakeHandle(font->checkNumber, kFontHandleKind, slot);

    font->usesTextures = IsDirect3DInUse() ? 1 : 0;
    if (face != nullptr) {
        std::strncpy(font->face, face, kFontFaceSize - 1);
        font->face[kFontFaceSize - 1] = '\0';
    }

    V_HFONT gdiFont = CreateRecordGdiFont(font);
    if (gdiFont == nullptr) {
        ReleaseFont(handle);
        return -1;
    }
    if (ReadFontMetrics(font, gdiFont) != 0) {
        V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(gdiFont));
        ReleaseFont(handle);
        return -1;
    }
    font->gdiFont = gdiFont;

    if (SetupGlyphCache(font, handle) != 0) {
        ReleaseFont(handle);
        return -1;
    }
    ClearGlyphCache(handle);
    font->lostFlag = nullptr;
    return handle;
}

int ReleaseFont(int handle) {
    if (!FontSystemUp()) return -1;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    if (font->gdiFont != nullptr) V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(font->gdiFont));
    ReleaseGlyphCacheStorage(font);
    if (font->lostFlag != nullptr) *font->lostFlag = 1;
    g_FontTable.slots[handle & kHandleSlotMask] = nullptr;
    FreeMemory(font);
    return 0;
}

int GetFontSize(int handle) {
    if (!FontSystemUp()) return -1;
    FontRecord* font = GetFontRecord(handle);
    return font != nullptr ? font->size : -1;
}

int GetFontParams(char* face, int* size, int* thickness, int handle) {
    if (!FontSystemUp()) return -1;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    if (face != nullptr) std::strcpy(face, font->face);
    if (size != nullptr) *size = font->size;
    if (thickness != nullptr) *thickness = font->thickness;
    return 0;
}

int SetFontCharSpacing(int spacing, int handle) {
    if (!FontSystemUp()) return -1;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    font->charSpacing = spacing;
    return 0;
}

int SetFontLostFlag(int handle, int32_t* flag) {
    if (!FontSystemUp()) return -1;
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    font->lostFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}
