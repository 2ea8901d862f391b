// The glyph cache of a font: sizing, storage in cache textures or a memory image, emptying, and
// storing rendered glyph levels into a cell.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "draw/draw.h"
#include "draw/font.h"
#include "draw/vertex_batch.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"

namespace {

int TextureWidth(const FontRecord* font) {
    return (font->type & kFontEdged) ? font->cacheWidth * 2 : font->cacheWidth;
}

// Sizes texture storage; the textures themselves are made by MakeGlyphCacheTextures.
void SizeTextureCache(FontRecord* font) {
    int cell = font->cellSize;
    if (g_FontCacheSize == 0) {
        int width = 512, height = 512;
        int capacity = (512 / cell) * (512 / cell);
        while (capacity < 10) {
            if (width <= height) {
                width *= 2;
            } else {
                height *= 2;
            }
            capacity = (height / cell) * (width / cell);
        }
        font->cacheWidth = width;
        font->cacheHeight = height;
        font->capacity = capacity;
    } else {
        int side = cell * (static_cast<int>(std::sqrt(static_cast<double>(g_FontCacheSize))) + 1);
        int size = 8;
        while (size < side) size *= 2;
        font->cacheWidth = font->cacheHeight = size;
        font->capacity = (size / cell) * (size / cell);
    }
    font->capacity = std::min(font->capacity, kMaxGlyphCells);
    font->cellsPerColumn = font->cacheHeight / cell;
}

// The staging image of texture storage, in the cache graph's own format.
int SetupCacheBaseImage(FontRecord* font) {
    // The format the cache graph was made in: 16 bits, with alpha or with alpha test.
    bool antialiased = (font->type & kFontAntialiased) != 0;
    const ColorFormat* format =
        GetCreationFormatColorFormat(antialiased ? 1 : 0, antialiased ? 0 : 1, 0, 0);
    ImageRecord& base = font->cacheBase;
    base = ImageRecord{};
    if (format != nullptr) base.format = *format;
    base.width = TextureWidth(font);
    base.height = font->cacheHeight;
    base.pitch = base.format.bytesPerPixel * base.width;
    base.mipCount = 0;
    size_t bytes = static_cast<size_t>(base.pitch) * static_cast<size_t>(base.height);
    base.pixels = format != nullptr && base.format.bytesPerPixel == 2
                      ? static_cast<uint8_t*>(VELK_ALLOC_ZEROED(bytes))
                      : nullptr;
    if (base.pixels == nullptr) {
        WriteLog("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
        return -1;
    }
    return 0;
}

int SetupMemoryCache(FontRecord* font, int handle) {
    int cell = font->cellSize;
    font->usesTextures = 0;
    font->memoryDepth = (font->type & 3) == 0 ? 1 : 8;
    int capacity = g_FontCacheSize;
    if (capacity == 0) capacity = std::max(0x50000 / (cell * cell), 20);
    font->capacity = std::min(capacity, kMaxGlyphCells);
    font->cacheWidth = cell;
    font->cacheHeight = font->capacity * cell;
    font->cellsPerColumn = font->capacity;
    font->memoryPitch = (cell * font->memoryDepth + 7) / 8;
    size_t bytes = static_cast<size_t>(font->memoryPitch) * static_cast<size_t>(font->cacheHeight);
    font->memoryCache = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(bytes));
    if (font->memoryCache == nullptr) {
        WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
        return -1;
    }
    if (MakeGlyphCacheTextures(handle) != 0) {
        WriteLog("フォント用描画スクリーンの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

// Level 0..16 as a 16-bit texel: white with the level in the alpha field, every bit below set.
uint16_t GrayTexel(const ColorFormat& f, int level) {
    uint32_t white = f.redMask | f.greenMask | f.blueMask;
    if (level <= 0) return static_cast<uint16_t>(white);
    int shift = f.alphaShift + f.alphaWidth - 4;
    uint32_t alpha = shift >= 0 ? (static_cast<uint32_t>(level) << shift) - 1 : f.alphaMask;
    return static_cast<uint16_t>((alpha | white) & 0xFFFF);
}

uint16_t* Texel(ImageRecord& image, int x, int y) {
    return reinterpret_cast<uint16_t*>(image.pixels + static_cast<size_t>(y) * image.pitch) + x;
}

void ClearBaseSquare(FontRecord* font, int left, int top) {
    ImageRecord& base = font->cacheBase;
    int right = std::min(left + font->cellSize, base.width);
    int bottom = std::min(top + font->cellSize, base.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) *Texel(base, x, y) = 0;
}

int g_PendingUploads = 0;  // non-empty pending regions of all fonts

// Adds a region of the cache base to what the next upload of its half sends: the halves of an
// edged font go up apart, so that the columns between their glyphs are not sent.
void MarkForUpload(FontRecord* font, int left, int top, int width, int height) {
    ImageRecord& base = font->cacheBase;
    V_RECT rect{std::max(left, 0), std::max(top, 0), std::min(left + width, base.width),
                std::min(top + height, base.height)};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    const int half = (font->type & kFontEdged) && rect.left >= font->cacheWidth ? 1 : 0;
    V_RECT& pending = font->uploadPending[half];
    if (pending.right <= pending.left) {
        pending = rect;
        ++g_PendingUploads;
        return;
    }
    pending.left = std::min(pending.left, rect.left);
    pending.top = std::min(pending.top, rect.top);
    pending.right = std::max(pending.right, rect.right);
    pending.bottom = std::max(pending.bottom, rect.bottom);
}

void DropPendingUpload(FontRecord* font) {
    for (V_RECT& pending : font->uploadPending) {
        if (pending.right > pending.left) --g_PendingUploads;
        pending = V_RECT{};
    }
}

void StoreTexturePixels(FontRecord* font, int x, int y, int width, int height,
                        const uint8_t* body, const uint8_t* edge) {
    ImageRecord& base = font->cacheBase;
    const ColorFormat& f = base.format;
    uint16_t white = static_cast<uint16_t>(f.redMask | f.greenMask | f.blueMask);
    uint16_t solid = static_cast<uint16_t>(white | f.alphaMask);
    int type = font->type & 3;
    int right = font->cacheWidth;  // the edge half's offset
    ClearBaseSquare(font, x - 1, y - 1);
    if (type & kFontEdged) ClearBaseSquare(font, right + x - 1, y - 1);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            int level = body[r * width + c];
            switch (type) {
            case 0: *Texel(base, x + c, y + r) = level ? solid : white; break;
            case 2: *Texel(base, x + c, y + r) = GrayTexel(f, level); break;
            case 1:
                if (level) *Texel(base, x + c, y + r) = solid;
                if (edge[r * width + c]) *Texel(base, right + x + c, y + r) = solid;
                break;
            default:
                *Texel(base, x + c, y + r) = GrayTexel(f, level);
                *Texel(base, right + x + c, y + r) = GrayTexel(f, edge[r * width + c]);
                break;
            }
        }
    }
    if (type & kFontEdged) {
        MarkForUpload(font, x, y, width, height);
        MarkForUpload(font, right + x, y, width, height);
    } else {
        MarkForUpload(font, x - 1, y - 1, font->cellSize, font->cellSize);
    }
}

void StoreMemoryPixels(FontRecord* font, int x, int y, int width, int height,
                       const uint8_t* body, const uint8_t* edge) {
    int pitch = font->memoryPitch;
    int top = y - 1;
    int rows = std::min(font->cellSize, font->cacheHeight - top);
    std::memset(font->memoryCache + static_cast<size_t>(top) * pitch, 0,
                static_cast<size_t>(rows) * pitch);
    int type = font->type & 3;
    for (int r = 0; r < height; ++r) {
        uint8_t* row = font->memoryCache + static_cast<size_t>(y + r) * pitch;
        for (int c = 0; c < width; ++c) {
            int level = body[r * width + c];
            int px = x + c;
            switch (type) {
            case 0:
                if (level) row[px >> 3] |= static_cast<uint8_t>(0x80 >> (px & 7));
                break;
            case 2:
                if (level) row[px] = static_cast<uint8_t>(level - 1);
                break;
            case 1:
                row[px] = level ? 1 : edge[r * width + c] ? 2 : 0;
                break;
            default: {
                int e = edge[r * width + c];
                row[px] = static_cast<uint8_t>((level ? level - 1 : 0) | (e ? (e - 1) << 4 : 0));
                break;
            }
            }
        }
    }
}

}  // namespace

int SetupGlyphCache(FontRecord* font, int handle) {
    if (font->usesTextures) {
        SizeTextureCache(font);
        font->remakeFlag = 1;
        if (MakeGlyphCacheTextures(handle) != 0) {
            WriteLog("テクスチャ文字キャッシュの作成に失敗しました\n");
            font->usesTextures = 0;
        } else {
            return SetupCacheBaseImage(font);
        }
    }
    return SetupMemoryCache(font, handle);
}

void UploadPendingGlyphs() {
    if (g_PendingUploads == 0) return;
    // The upload runs just before pending vertices are drawn, and they need it: the transfer
    // must not draw them first.
    void (*flush)() = g_FlushVertexBatch;
    g_FlushVertexBatch = nullptr;
    for (int slot = 0; slot < kFontSlots && g_PendingUploads > 0; ++slot) {
        FontRecord* font = g_FontTable.slots[slot];
        if (font == nullptr) continue;
        const V_RECT pending[2] = {font->uploadPending[0], font->uploadPending[1]};
        DropPendingUpload(font);
        if (font->cacheGraph == -1 || font->cacheBase.pixels == nullptr) continue;
        for (const V_RECT& rect : pending)
            if (rect.right > rect.left)
                TransferImageToGraph(nullptr, &font->cacheBase, nullptr, &rect, rect.left,
                                     rect.top, font->cacheGraph, 0);
    }
    g_FlushVertexBatch = flush;
}

void FlushIfCellPending(const FontRecord* font, const GlyphSlot* slot) {
    if (font->usesTextures && g_VertexBatch.count != 0 &&
        slot->drawSerial == g_VertexBatch.drawSerial)
        FlushVertexBatch();
}

void ReleaseGlyphCacheStorage(FontRecord* font) {
    DropPendingUpload(font);
    if (font->memoryCache != nullptr) FreeMemory(font->memoryCache);
    font->memoryCache = nullptr;
    if (font->cacheGraph != -1) {
        // The graph's deleted flag points into this record, which is about to go.
        SetGraphDeletedFlag(font->cacheGraph, nullptr);
        DeleteGraph(font->cacheGraph);
        if (font->edgeGraph != -1) DeleteGraph(font->edgeGraph);
        font->cacheGraph = -1;
        font->edgeGraph = -1;
    }
    if (font->cacheBase.pixels != nullptr) FreeMemory(font->cacheBase.pixels);
    font->cacheBase.pixels = nullptr;
}

int MakeGlyphCacheTextures(int handle) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    if (font->remakeFlag != 1) return 0;
    font->remakeFlag = 0;
    int alphaFlag = GetMakeGraphAlphaFlag();
    int alphaTest = GetUseAlphaTestFlag();
    int depth = GetCreateGraphColorBitDepth();
    bool antialiased = (font->type & kFontAntialiased) != 0;
    SetMakeGraphAlphaFlag(antialiased ? 1 : 0);
    SetUseAlphaTestFlag(antialiased ? 0 : 1);
    SetCreateGraphColorBitDepth(16);
    // A graph lost with the device leaves its old handles behind: forget them first.
    if (font->cacheGraph != -1) {
        SetGraphDeletedFlag(font->cacheGraph, nullptr);
        DeleteGraph(font->cacheGraph);
        if (font->edgeGraph != -1) DeleteGraph(font->edgeGraph);
    }
    font->cacheGraph = MakeGraph(TextureWidth(font), font->cacheHeight);
    font->edgeGraph = -1;
    if (font->cacheGraph != -1 && (font->type & kFontEdged))
        font->edgeGraph = CreateSubGraph(font->cacheWidth, 0, font->cacheWidth, font->cacheHeight,
                                         font->cacheGraph);
    SetMakeGraphAlphaFlag(alphaFlag);
    SetUseAlphaTestFlag(alphaTest);
    SetCreateGraphColorBitDepth(depth);
    if (font->cacheGraph == -1) return -1;
    SetGraphDeletedFlag(font->cacheGraph, &font->remakeFlag);
    FillGraphColor(font->cacheGraph, 255, 255, 255, 0);
    ClearGlyphCache(handle);
    return 0;
}

int ClearGlyphCache(int handle) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    DropPendingUpload(font);
    std::memset(font->charMap, 0, sizeof(font->charMap));
    std::memset(font->slots, 0, sizeof(font->slots));
    for (int i = 0; i < font->capacity; ++i) font->slots[i].cellIndex = i;
    font->slots[font->capacity].cellIndex = -1;
    font->nextSlot = 0;
    return 0;
}

void StoreGlyphPixels(FontRecord* font, int cell, int width, int height, const uint8_t* body,
                      const uint8_t* edge) {
    int x = 0, y = 0;
    GlyphCellOrigin(font, cell, &x, &y);
    if (font->usesTextures) {
        if (font->cacheBase.pixels != nullptr)
            StoreTexturePixels(font, x, y, width, height, body, edge);
    } else if (font->memoryCache != nullptr) {
        StoreMemoryPixels(font, x, y, width, height, body, edge);
    }
}
