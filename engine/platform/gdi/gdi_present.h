// Transfer of device-independent bitmap rows into 32-bit window pixels (the part of the DIB
// transfers to a window that does not depend on the window system).
#pragma once

#include <cstdint>

#include "platform/gdi/gdi_dib.h"

// The pixels a DIB transfer writes to: rows of 0x00RRGGBB words.
struct V_DibTarget {
    uint8_t* pixels;
    int pitch;
    int width;
    int height;
};

// Copies the source rectangle (xSrc, ySrc, srcWidth, srcHeight) of a 16- or 32-bit DIB (plain
// or bit fields, top-down or bottom-up) to the destination rectangle, scaled to the nearest
// pixel. As on the platform, ySrc counts from the bottom of the picture. Returns the number of
// destination lines written; 0 for a layout it cannot read or an empty rectangle.
int V_TransferDibToPixels(const V_DibTarget* target, int xDest, int yDest, int destWidth,
                          int destHeight, int xSrc, int ySrc, int srcWidth, int srcHeight,
                          const void* bits, const V_BITMAPINFO* info);

// Stretches a rectangle of a DIB into the window of a window device context (nearest pixel,
// ySrc counted from the bottom) and shows it. Returns the source lines used, 0 on failure.
int V_StretchDIBits(V_HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                    int ySrc, int srcWidth, int srcHeight, const void* bits,
                    const V_BITMAPINFO* info, V_UINT usage, V_DWORD rop);
// The 1:1 transfer of DIB rows into a window device context (V_SetDIBitsToDevice on a window dc).
int GdiSetDIBitsToWindow(V_HDC dc, int xDest, int yDest, V_DWORD width, V_DWORD height, int xSrc,
                        int ySrc, V_UINT startScan, V_UINT lines, const void* bits,
                        const V_BITMAPINFO* info, V_UINT usage);
