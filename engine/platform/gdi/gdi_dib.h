// Stand-ins for the device-independent bitmap services of the graphics device interface:
// bitmap headers, memory device contexts, DIB sections and drawing DIB rows into them.
#pragma once

#include "platform/types.h"

struct V_BITMAPINFOHEADER {
    V_DWORD biSize;
    V_LONG biWidth;
    V_LONG biHeight;  // positive: rows bottom-up; negative: top-down
    V_WORD biPlanes;
    V_WORD biBitCount;
    V_DWORD biCompression;
    V_DWORD biSizeImage;
    V_LONG biXPelsPerMeter;
    V_LONG biYPelsPerMeter;
    V_DWORD biClrUsed;
    V_DWORD biClrImportant;
};
static_assert(sizeof(V_BITMAPINFOHEADER) == 40, "the header is stored as is in files");

struct V_RGBQUAD {
    V_BYTE rgbBlue;
    V_BYTE rgbGreen;
    V_BYTE rgbRed;
    V_BYTE rgbReserved;
};

// The header followed by the colour table (or the three bit-field masks); callers allocate
// room for as many entries as the format needs.
struct V_BITMAPINFO {
    V_BITMAPINFOHEADER bmiHeader;
    V_RGBQUAD bmiColors[1];
};

struct V_BITMAP {
    V_LONG bmType;
    V_LONG bmWidth;
    V_LONG bmHeight;
    V_LONG bmWidthBytes;
    V_WORD bmPlanes;
    V_WORD bmBitsPixel;
    void* bmBits;
};

constexpr V_DWORD V_BI_RGB = 0;
constexpr V_DWORD V_BI_RLE8 = 1;
constexpr V_DWORD V_BI_RLE4 = 2;
constexpr V_DWORD V_BI_BITFIELDS = 3;
constexpr V_UINT V_DIB_RGB_COLORS = 0;

// A memory device context; a null dc means one compatible with the screen. It holds a bitmap
// (DIB section) and a font (gdi_font.h) selected into it.
V_HDC V_CreateCompatibleDC(V_HDC dc);
V_BOOL V_DeleteDC(V_HDC dc);
// A bitmap whose rows the caller reaches through *bits. Only uncompressed 24- and 32-bit
// sections are made; anything else gives null.
V_HBITMAP V_CreateDIBSection(V_HDC dc, const V_BITMAPINFO* info, V_UINT usage, void** bits,
                             V_HANDLE section, V_DWORD offset);
// Selects a DIB section or a font into a memory DC; returns the object of that kind it held
// before (a placeholder for a fresh DC, which may be selected back), null on failure.
V_HGDIOBJ V_SelectObject(V_HDC dc, V_HGDIOBJ object);
// Deletes brushes, bitmaps and fonts; false for a font still selected into a memory DC.
V_BOOL V_DeleteObject(V_HGDIOBJ object);
// Fills a V_BITMAP for a bitmap object; returns the bytes written or 0.
int V_GetObjectA(V_HGDIOBJ object, int size, void* out);
// Layer-internal: the font selected into a memory DC; null for none or no memory DC.
V_HGDIOBJ GdiSelectedFont(V_HDC dc);
// Draws DIB rows (uncompressed or bit fields; 1, 4, 8, 16, 24 or 32 bits) into the bitmap
// selected into dc. bits must hold every row the header describes. Returns the lines drawn.
int V_SetDIBitsToDevice(V_HDC dc, int xDest, int yDest, V_DWORD width, V_DWORD height, int xSrc,
                        int ySrc, V_UINT startScan, V_UINT lines, const void* bits,
                        const V_BITMAPINFO* info, V_UINT usage);
