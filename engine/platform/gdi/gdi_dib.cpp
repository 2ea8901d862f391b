// Device-independent bitmaps: memory device contexts, DIB sections and the transfer of DIB rows
// of any uncompressed or bit-field layout into a section.
#include "platform/gdi/gdi_dib.h"

#include "platform/gdi/gdi_present.h"
#include "platform/user/user_internal.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_font.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kDibSectionTag = 0x44494253u;  // identifies our bitmap objects

struct DibSection {
    uint32_t tag;
    V_BITMAP bitmap;  // bmBits points at the rows, top-down
};

struct MemoryDc {
    DibSection* selected;
    V_HGDIOBJ font;  // null until a font is selected
};

DibSection* AsSection(V_HGDIOBJ object) {
    auto* s = reinterpret_cast<DibSection*>(object);
    return s && s->tag == kDibSectionTag ? s : nullptr;
}

int MaskShift(uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }
int MaskWidth(uint32_t mask) { return mask ? __builtin_popcount(mask >> MaskShift(mask)) : 0; }

// A channel of the given mask brought to 8 bits: narrow channels repeat their bits downwards,
// so full scale stays full scale.
uint8_t ScaleTo8(uint32_t value, uint32_t mask) {
    if (!mask) return 0;
    int width = MaskWidth(mask);
    uint32_t channel = (value & mask) >> MaskShift(mask);
    if (width >= 8) return static_cast<uint8_t>(channel >> (width - 8));
    uint32_t result = 0;
    int bits = 0;
    while (bits < 8) {
        result = (result << width) | channel;
        bits += width;
    }
    return static_cast<uint8_t>(result >> (bits - 8));
}

struct SourceLayout {
    int bitCount;
    uint32_t masks[3];  // red, green, blue
    const V_RGBQUAD* colors;
    int colorCount;
};

void ReadSourcePixel(const SourceLayout& s, const uint8_t* row, int x, uint8_t rgb[3]) {
    if (s.bitCount <= 8) {
        int perByte = 8 / s.bitCount;
        int byte = row[x / perByte];
        int shift = 8 - s.bitCount * (x % perByte + 1);
        int index = (byte >> shift) & ((1 << s.bitCount) - 1);
        if (index >= s.colorCount) index = 0;
        rgb[0] = s.colors[index].rgbRed;
        rgb[1] = s.colors[index].rgbGreen;
        rgb[2] = s.colors[index].rgbBlue;
        return;
    }
    if (s.bitCount == 24) {
        rgb[0] = row[x * 3 + 2];
        rgb[1] = row[x * 3 + 1];
        rgb[2] = row[x * 3];
        return;
    }
    uint32_t v = 0;
    std::memcpy(&v, row + x * (s.bitCount / 8), s.bitCount / 8);
    for (int c = 0; c < 3; ++c) rgb[c] = ScaleTo8(v, s.masks[c]);
}

}  // namespace

V_HDC V_CreateCompatibleDC(V_HDC) {
    return reinterpret_cast<V_HDC>(static_cast<MemoryDc*>(std::calloc(1, sizeof(MemoryDc))));
}

V_BOOL V_DeleteDC(V_HDC dc) {
    if (!dc) return V_FALSE;
    auto* memoryDc = reinterpret_cast<MemoryDc*>(dc);
    if (!UserDcIsWindowDc(dc) && memoryDc->font) GdiNoteFontSelection(memoryDc->font, -1);
    std::free(memoryDc);
    return V_TRUE;
}

V_HBITMAP V_CreateDIBSection(V_HDC, const V_BITMAPINFO* info, V_UINT, void** bits, V_HANDLE,
                             V_DWORD) {
    if (bits) *bits = nullptr;
    if (!info) return nullptr;
    const V_BITMAPINFOHEADER& h = info->bmiHeader;
    int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    if (h.biWidth <= 0 || height <= 0 || h.biCompression != V_BI_RGB ||
        (h.biBitCount != 24 && h.biBitCount != 32))
        return nullptr;
    int64_t rowBytes = ((static_cast<int64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    if (rowBytes * height > (int64_t{1} << 31)) return nullptr;
    auto* section = static_cast<DibSection*>(std::calloc(1, sizeof(DibSection)));
    void* rows = std::calloc(static_cast<size_t>(rowBytes * height), 1);
    if (!section || !rows) {
        std::free(section);
        std::free(rows);
        return nullptr;
    }
    section->tag = kDibSectionTag;
    section->bitmap = V_BITMAP{0, h.biWidth, static_cast<V_LONG>(height),
                               static_cast<V_LONG>(rowBytes), 1, h.biBitCount, rows};
    if (bits) *bits = rows;
    return reinterpret_cast<V_HBITMAP>(section);
}

V_HGDIOBJ V_SelectObject(V_HDC dc, V_HGDIOBJ object) {
    auto* memoryDc = reinterpret_cast<MemoryDc*>(dc);
    if (memoryDc && GdiIsFont(object)) {
        if (UserDcIsWindowDc(dc)) return nullptr;  // window DCs draw no text here
        V_HGDIOBJ previous = memoryDc->font ? memoryDc->font : GdiStockFont();
        GdiNoteFontSelection(object, 1);
        if (!UserDcIsWindowDc(dc) && memoryDc->font) GdiNoteFontSelection(memoryDc->font, -1);
        memoryDc->font = object;
        return previous;
    }
    DibSection* section = AsSection(object);
    if (!memoryDc || !section) return nullptr;
    DibSection* previous = memoryDc->selected;
    memoryDc->selected = section;
    // A fresh context reports a placeholder object as its previous bitmap, never null.
    return previous ? reinterpret_cast<V_HGDIOBJ>(previous) : reinterpret_cast<V_HGDIOBJ>(dc);
}

V_HGDIOBJ GdiSelectedFont(V_HDC dc) {
    auto* memoryDc = reinterpret_cast<MemoryDc*>(dc);
    return memoryDc && !UserDcIsWindowDc(dc) ? memoryDc->font : nullptr;
}

V_BOOL V_DeleteObject(V_HGDIOBJ object) {
    if (GdiIsFont(object)) return GdiDeleteFont(object) ? V_TRUE : V_FALSE;
    if (GdiDeleteBrush(object)) return V_TRUE;
    DibSection* section = AsSection(object);
    if (!section) return V_FALSE;
    section->tag = 0;
    std::free(section->bitmap.bmBits);
    std::free(section);
    return V_TRUE;
}

int V_GetObjectA(V_HGDIOBJ object, int size, void* out) {
    DibSection* section = AsSection(object);
    if (!section || !out || size < static_cast<int>(sizeof(V_BITMAP))) return 0;
    std::memcpy(out, &section->bitmap, sizeof(V_BITMAP));
    return sizeof(V_BITMAP);
}

int V_SetDIBitsToDevice(V_HDC dc, int xDest, int yDest, V_DWORD width, V_DWORD height, int xSrc,
                        int ySrc, V_UINT startScan, V_UINT lines, const void* bits,
                        const V_BITMAPINFO* info, V_UINT usage) {
    if (UserDcIsWindowDc(dc))
        return GdiSetDIBitsToWindow(dc, xDest, yDest, width, height, xSrc, ySrc, startScan,
                                    lines, bits, info, usage);
    auto* memoryDc = reinterpret_cast<MemoryDc*>(dc);
    if (!memoryDc || !memoryDc->selected || !bits || !info) return 0;
    const V_BITMAPINFOHEADER& h = info->bmiHeader;
    SourceLayout s{h.biBitCount, {0, 0, 0}, info->bmiColors, 0};
    switch (h.biBitCount) {
        case 1: case 4: case 8: s.colorCount = 1 << h.biBitCount; break;
        case 16: s.masks[0] = 0x7C00; s.masks[1] = 0x3E0; s.masks[2] = 0x1F; break;
        case 24: break;
        case 32: s.masks[0] = 0xFF0000; s.masks[1] = 0xFF00; s.masks[2] = 0xFF; break;
        default: return 0;
    }
    if (h.biCompression == V_BI_BITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32) return 0;
        std::memcpy(s.masks, info->bmiColors, sizeof(s.masks));
    } else if (h.biCompression != V_BI_RGB) {
        return 0;
    }
    int64_t srcHeight = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    bool bottomUp = h.biHeight > 0;
    int64_t rowBytes = ((static_cast<int64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const V_BITMAP& target = memoryDc->selected->bitmap;
    auto* targetRows = static_cast<uint8_t*>(target.bmBits);
    int targetBytes = target.bmBitsPixel / 8;
    const bool bytewise = h.biBitCount == 32 && s.masks[0] == 0xFF0000 && s.masks[1] == 0xFF00 &&
                          s.masks[2] == 0xFF;
    int drawn = 0;
    for (int64_t y = 0; y < static_cast<int64_t>(height); ++y) {
        // Top-down index of the source row, limited to the scan lines supplied.
        int64_t sy = ySrc + y;
        if (sy < 0 || sy >= srcHeight) continue;
        int64_t stored = bottomUp ? srcHeight - 1 - sy : sy;
        if (stored < startScan || stored >= static_cast<int64_t>(startScan) + lines) continue;
        int64_t ty = yDest + y;
        if (ty < 0 || ty >= target.bmHeight) continue;
        const uint8_t* row = static_cast<const uint8_t*>(bits) + (stored - startScan) * rowBytes;
        uint8_t* out = targetRows + ty * target.bmWidthBytes;
        if (bytewise) {
            // 8-bit channels at byte places: blue, green, red copied as they stand.
            int64_t first = std::max<int64_t>({0, -static_cast<int64_t>(xSrc), -static_cast<int64_t>(xDest)});
            int64_t last = std::min<int64_t>({static_cast<int64_t>(width), h.biWidth - int64_t{xSrc},
                                              target.bmWidth - int64_t{xDest}});
            const uint8_t* in = row + (xSrc + first) * 4;
            uint8_t* p = out + (xDest + first) * targetBytes;
            for (int64_t x = first; x < last; ++x, in += 4, p += targetBytes) {
                p[0] = in[0];
                p[1] = in[1];
                p[2] = in[2];
            }
            ++drawn;
            continue;
        }
        for (int64_t x = 0; x < static_cast<int64_t>(width); ++x) {
            int64_t sx = xSrc + x, tx = xDest + x;
            if (sx < 0 || sx >= h.biWidth || tx < 0 || tx >= target.bmWidth) continue;
            uint8_t rgb[3];
            ReadSourcePixel(s, row, static_cast<int>(sx), rgb);
            uint8_t* p = out + tx * targetBytes;
            p[0] = rgb[2];
            p[1] = rgb[1];
            p[2] = rgb[0];
        }
        ++drawn;
    }
    return drawn;
}
