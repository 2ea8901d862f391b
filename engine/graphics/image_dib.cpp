// Routines built on the converter: bitmap output, rectangle copies and stretches of records.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/gdi/gdi_dib.h"

namespace {

bool IsR8G8B8(const ColorFormat& f) {
    return f.bitDepth == 24 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF;
}

uint8_t* CopyRows(const ImageRecord* record, int64_t rowSize, size_t rowBytes) {
    uint8_t* out = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(static_cast<size_t>(rowSize * record->height) + 1));
    if (!out) return nullptr;
    for (int y = 0; y < record->height; ++y)
        std::memcpy(out + y * rowSize, record->pixels + static_cast<ptrdiff_t>(y) * record->pitch, rowBytes);
    return out;
}

}  // namespace

int ImageRecordToDib(ImageRecord* record, V_BITMAPINFO* bitmapInfo, void** pixelsOut,
                     int alwaysCopy, int force24Bit) {
    if (record->format.formatCode != 0 && DecodeDxtImage(record) != 0) return -1;
    V_BITMAPINFOHEADER& h = bitmapInfo->bmiHeader;
    std::memset(&h, 0, sizeof(h));
    h.biSize = sizeof(V_BITMAPINFOHEADER);
    h.biWidth = record->width;
    h.biHeight = -record->height;
    h.biPlanes = 1;
    h.biCompression = V_BI_RGB;
    const ColorFormat& f = record->format;
    if (f.bytesPerPixel == 1 && !force24Bit) {
        h.biBitCount = 8;
        std::memcpy(bitmapInfo->bmiColors, f.palette, sizeof(f.palette));
        int64_t rowSize = (static_cast<int64_t>(record->width) + 3) & ~int64_t{3};
        if (!alwaysCopy && record->pitch == rowSize) {
            *pixelsOut = record->pixels;
            return 0;
        }
        uint8_t* out = CopyRows(record, rowSize, static_cast<size_t>(record->width));
        if (!out) return -1;
        *pixelsOut = out;
        return 1;
    }
    h.biBitCount = 24;
    int64_t rowSize = (static_cast<int64_t>(record->width) * 3 + 3) & ~int64_t{3};
    if (IsR8G8B8(f) && !alwaysCopy) {
        if (record->pitch == rowSize) {
            *pixelsOut = record->pixels;
            return 0;
        }
        uint8_t* out = CopyRows(record, rowSize, static_cast<size_t>(record->width) * 3);
        if (!out) return -1;
        *pixelsOut = out;
        return 1;
    }
    uint8_t* out = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(static_cast<size_t>(rowSize * record->height) + 1));
    if (!out) return -1;
    ColorFormat rgb = {};
    SetColorFormatR8G8B8(&rgb);
    V_RECT all = {0, 0, record->width, record->height};
    ConvertPixelFormatRect(out, static_cast<int>(rowSize), &rgb, record->pixels, record->pitch, &f,
                           nullptr, 0, nullptr, 0, 0, &all, 0, 0, 0, 0, 0, 0, 0, 0);
    *pixelsOut = out;
    return 1;
}

int CopyImageRect(int sourceX, int sourceY, int width, int height, int destinationX,
                  int destinationY, ImageRecord* source, ImageRecord* destination) {
    if (source->format.formatCode != 0 && DecodeDxtImage(source) != 0) return -1;
    if (destination->format.formatCode != 0 && DecodeDxtImage(destination) != 0) return -1;
    auto clip = [](int& s, int& d, int& size, int destinationSize, int sourceSize) {
        if (s < 0) {
            d -= s;
            size += s;
            s = 0;
        }
        if (d < 0) {
            s -= d;
            size += d;
            d = 0;
        }
        if (d + size > destinationSize) size = destinationSize - d;
        if (s + size > sourceSize) size = sourceSize - s;
    };
    clip(sourceX, destinationX, width, destination->width, source->width);
    clip(sourceY, destinationY, height, destination->height, source->height);
    if (width < 1 || height < 1) return 0;
    V_RECT rect = {sourceX, sourceY, sourceX + width, sourceY + height};
    ConvertPixelFormatRect(destination->pixels, destination->pitch, &destination->format,
                           source->pixels, source->pitch, &source->format, nullptr, 0, nullptr,
                           destinationX, destinationY, &rect, 0, 0, 0, 0, 0, 0, 0, 1);
    return 0;
}

int StretchImageRect(int sourceLeft, int sourceTop, int sourceRight, int sourceBottom,
                     ImageRecord* source, int destinationLeft, int destinationTop,
                     int destinationRight, int destinationBottom, ImageRecord* destination,
                     int filter) {
    auto inside = [](int left, int top, int right, int bottom, const ImageRecord* r) {
        return left >= 0 && top >= 0 && left < r->width && top < r->height && right >= 1 &&
               bottom >= 1 && right <= r->width && bottom <= r->height && right > left && bottom > top;
    };
    if (!inside(sourceLeft, sourceTop, sourceRight, sourceBottom, source) ||
        !inside(destinationLeft, destinationTop, destinationRight, destinationBottom, destination))
        return -1;
    int sw = sourceRight - sourceLeft, sh = sourceBottom - sourceTop;
    int dw = destinationRight - destinationLeft, dh = destinationBottom - destinationTop;
    if (sw == dw && sh == dh)
        return CopyImageRect(sourceLeft, sourceTop, sw, sh, destinationLeft, destinationTop, source,
                             destination);
    int64_t stepX = static_cast<int64_t>(sw) * 65536 / dw;
    int64_t stepY = static_cast<int64_t>(sh) * 65536 / dh;
    for (int y = 0; y < dh; ++y) {
        int64_t py = static_cast<int64_t>(sourceTop) * 65536 + y * stepY;
        int sy = static_cast<int>(py >> 16);
        for (int x = 0; x < dw; ++x) {
            int64_t px = static_cast<int64_t>(sourceLeft) * 65536 + x * stepX;
            int sx = static_cast<int>(px >> 16);
            int r = 0, g = 0, b = 0, a = 0;
            if (filter != 1) {
                GetImagePixel(source, sx, sy, &r, &g, &b, &a);
            } else {
                // Neighbours past the source's right or bottom edge repeat the edge pixel.
                int sx1 = sx + 1 < source->width ? sx + 1 : sx;
                int sy1 = sy + 1 < source->height ? sy + 1 : sy;
                int p[4][4] = {};
                GetImagePixel(source, sx, sy, &p[0][0], &p[0][1], &p[0][2], &p[0][3]);
                GetImagePixel(source, sx1, sy, &p[1][0], &p[1][1], &p[1][2], &p[1][3]);
                GetImagePixel(source, sx, sy1, &p[2][0], &p[2][1], &p[2][2], &p[2][3]);
                GetImagePixel(source, sx1, sy1, &p[3][0], &p[3][1], &p[3][2], &p[3][3]);
                int64_t fx = px & 0xFFFF, fy = py & 0xFFFF;
                int64_t w00 = ((65535 - fx) * (65535 - fy)) >> 16;
                int64_t w10 = (fx * (65535 - fy)) >> 16;
                int64_t w01 = ((65535 - fx) * fy) >> 16;
                int64_t w11 = (fx * fy) >> 16;
                int out[4];
                for (int c = 0; c < 4; ++c)
                    out[c] = static_cast<int>((w11 * p[3][c] + w01 * p[2][c] + w10 * p[1][c] + w00 * p[0][c]) >> 16);
                r = out[0];
                g = out[1];
                b = out[2];
                a = out[3];
            }
            SetImagePixel(destination, destinationLeft + x, destinationTop + y, r, g, b, a);
        }
    }
    return 0;
}
