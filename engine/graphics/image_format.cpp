// Colour formats: derivation from masks, the presets, and packing and unpacking of pixels.
#include "graphics/graphics.h"

namespace {

// Lowest set bit and the length of the run of set bits starting there.
void FindMaskRun(uint32_t mask, uint8_t* shift, uint8_t* width) {
    if (mask == 0) {
        *shift = 0;
        *width = 0;
        return;
    }
    int low = __builtin_ctz(mask);
    int length = 0;
    while (low + length < 32 && (mask >> (low + length)) & 1u) ++length;
    *shift = static_cast<uint8_t>(low);
    *width = static_cast<uint8_t>(length);
}

uint32_t DepthBits(int bitDepth) {
    if (bitDepth >= 32) return 0xFFFFFFFFu;
    if (bitDepth <= 0) return 0;
    return (1u << bitDepth) - 1u;
}

// An 8-bit value reduced (or widened) to a channel of the given width.
uint32_t PackChannel(int value, int width) {
    uint32_t v = static_cast<uint32_t>(value) & 0xFFu;
    if (width <= 0) return 0;
    if (width <= 8) return v >> (8 - width);
    return v << (width - 8);
}

int ScaleChannel(uint32_t value, int width) {
    if (width <= 0) return 0;
    uint64_t full = (width >= 32) ? 0xFFFFFFFFull : ((1ull << width) - 1);
    return static_cast<int>(static_cast<uint64_t>(value) * 255u / full);
}

void SetRgb888(ColorFormat* format) {
    format->formatCode = 0;
    format->redMask = 0xFF0000;
    format->greenMask = 0xFF00;
    format->blueMask = 0xFF;
    format->alphaMask = 0;
    format->redShift = 16;
    format->greenShift = 8;
    format->blueShift = 0;
    format->alphaShift = 0;
    format->redWidth = format->greenWidth = format->blueWidth = 8;
    format->alphaWidth = 0;
}

}  // namespace

int SetColorFormatFromMasks(ColorFormat* format, int bitDepth, uint32_t redMask,
                            uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
    format->bitDepth = static_cast<uint16_t>(bitDepth);
    format->bytesPerPixel = static_cast<uint16_t>(bitDepth / 8);
    format->formatCode = 0;
    format->redMask = redMask;
    format->greenMask = greenMask;
    format->blueMask = blueMask;
    format->alphaMask = alphaMask;
    format->unusedMask = DepthBits(bitDepth) & ~(redMask | greenMask | blueMask | alphaMask);
    FindMaskRun(redMask, &format->redShift, &format->redWidth);
    FindMaskRun(greenMask, &format->greenShift, &format->greenWidth);
    FindMaskRun(blueMask, &format->blueShift, &format->blueWidth);
    FindMaskRun(alphaMask, &format->alphaShift, &format->alphaWidth);
    FindMaskRun(format->unusedMask, &format->unusedShift, &format->unusedWidth);
    return 0;
}

void UpdateUnusedBitsMask(ColorFormat* format) {
    int widths = format->redWidth + format->greenWidth + format->blueWidth + format->alphaWidth;
    if (widths == format->bitDepth) {
        format->unusedMask = 0;
    } else {
        format->unusedMask = DepthBits(format->bitDepth) & ~(format->redMask | format->greenMask |
                                                             format->blueMask | format->alphaMask);
    }
}

int SetColorFormatPalette8(ColorFormat* format) {
    SetRgb888(format);
    format->bitDepth = 8;
    format->bytesPerPixel = 1;
    format->unusedMask = 0xFF000000u;
    return 0;
}

int SetColorFormatGray8(ColorFormat* format) {
    SetColorFormatPalette8(format);
    for (int i = 0; i < 256; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        format->palette[i] = PaletteEntry{v, v, v, 0};
    }
    return 0;
}

int SetColorFormatR8G8B8(ColorFormat* format) {
    SetRgb888(format);
    format->bitDepth = 24;
    format->bytesPerPixel = 3;
    format->unusedMask = 0;
    return 0;
}

int SetColorFormatX8R8G8B8(ColorFormat* format) {
    SetRgb888(format);
    format->bitDepth = 32;
    format->bytesPerPixel = 4;
    format->unusedMask = 0xFF000000u;
    format->unusedShift = 24;
    format->unusedWidth = 8;
    return 0;
}

int SetColorFormatA8R8G8B8(ColorFormat* format) {
    SetRgb888(format);
    format->bitDepth = 32;
    format->bytesPerPixel = 4;
    format->alphaMask = 0xFF000000u;
    format->alphaShift = 24;
    format->alphaWidth = 8;
    format->unusedMask = 0;
    return 0;
}

uint32_t EncodePixel(const ColorFormat* format, int red, int green, int blue, int alpha) {
    if (format->bytesPerPixel == 1) {
        // Nearest palette entry; the lowest index wins a tie.
        int best = 0;
        int bestDistance = 0xFFFFFF;
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = format->palette[i];
            int db = (blue & 0xFF) - e.blue;
            int dg = (green & 0xFF) - e.green;
            int dr = (red & 0xFF) - e.red;
            int distance = db * db + dg * dg + dr * dr;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return static_cast<uint32_t>(best);
    }
    uint32_t value = (PackChannel(red, format->redWidth) << format->redShift) +
                     (PackChannel(green, format->greenWidth) << format->greenShift) +
                     (PackChannel(blue, format->blueWidth) << format->blueShift) +
                     format->unusedMask;
    if (format->alphaWidth != 0) value += PackChannel(alpha, format->alphaWidth) << format->alphaShift;
    return value;
}

void DecodePixel(const ColorFormat* format, uint32_t value, int* red, int* green, int* blue,
                 int* alpha) {
    uint32_t r = (value & format->redMask) >> format->redShift;
    uint32_t g = (value & format->greenMask) >> format->greenShift;
    uint32_t b = (value & format->blueMask) >> format->blueShift;
    uint32_t a = (value & format->alphaMask) >> format->alphaShift;
    if (format->redWidth == 8 && format->greenWidth == 8 && format->blueWidth == 8) {
        if (red) *red = static_cast<int>(r);
        if (green) *green = static_cast<int>(g);
        if (blue) *blue = static_cast<int>(b);
        if (alpha && format->alphaWidth != 0)
            *alpha = format->alphaWidth == 8 ? static_cast<int>(a) : ScaleChannel(a, format->alphaWidth);
        return;
    }
    if (red) *red = ScaleChannel(r, format->redWidth);
    if (green) *green = ScaleChannel(g, format->greenWidth);
    if (blue) *blue = ScaleChannel(b, format->blueWidth);
    if (alpha) *alpha = ScaleChannel(a, format->alphaWidth);
}
