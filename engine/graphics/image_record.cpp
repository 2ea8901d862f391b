// Image records: creation and release, per-pixel access, mirroring and the 2 x 2 reduction.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/image_dxt.h"

namespace {

int AllocateRecordPixels(int width, int height, ImageRecord* record) {
    record->width = width;
    record->height = height;
    record->pitch = 0;
    record->mipCount = 0;
    record->pixels = nullptr;
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide) return -1;
    // In 64 bits: the bytes per pixel come from the caller's format.
    const int64_t pitch = (int64_t{record->format.bytesPerPixel} * width + 3) & ~int64_t{3};
    if (pitch < 0 || pitch > INT32_MAX) return -1;
    record->pitch = static_cast<int>(pitch);
    size_t size = static_cast<size_t>(record->pitch) * static_cast<size_t>(height);
    record->pixels = static_cast<uint8_t*>(VELK_ALLOC(size));
    return record->pixels ? 0 : -1;
}

uint32_t ReadPixelValue(const uint8_t* p, int bytesPerPixel) {
    switch (bytesPerPixel) {
        case 1: return p[0];
        case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
        case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

void WritePixelValue(uint8_t* p, int bytesPerPixel, uint32_t value) {
    switch (bytesPerPixel) {
        case 1: p[0] = static_cast<uint8_t>(value); break;
        case 2: std::memcpy(p, &value, 2); break;
        case 3:
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            p[2] = static_cast<uint8_t>(value >> 16);
            break;
        default: std::memcpy(p, &value, 4); break;
    }
}

uint32_t Channel(uint32_t value, uint32_t mask, int shift) { return (value & mask) >> shift; }

}  // namespace

int CreateImageRecord(int width, int height, const ColorFormat* format, ImageRecord* record) {
    std::memcpy(&record->format, format, sizeof(ColorFormat));
    return AllocateRecordPixels(width, height, record);
}

int CreateArgbImageRecord(int width, int height, ImageRecord* record) {
    ColorFormat& f = record->format;
    f.bitDepth = 32;
    f.bytesPerPixel = 4;
    f.redWidth = f.greenWidth = f.blueWidth = f.alphaWidth = 8;
    f.redShift = 16;
    f.greenShift = 8;
    f.blueShift = 0;
    f.alphaShift = 24;
    f.redMask = 0xFF0000;
    f.greenMask = 0xFF00;
    f.blueMask = 0xFF;
    f.alphaMask = 0xFF000000u;
    f.unusedMask = 0;
    f.formatCode = 0;
    return AllocateRecordPixels(width, height, record);
}

int CreateXrgbImageRecord(int width, int height, ImageRecord* record) {
    SetColorFormatX8R8G8B8(&record->format);
    return AllocateRecordPixels(width, height, record);
}

int ReleaseImageRecord(ImageRecord* record) {
    if (record->pixels) FreeMemory(record->pixels);
    std::memset(record, 0, sizeof(ImageRecord));
    return 0;
}

int ClearImageRect(ImageRecord* record, int x, int y, int width, int height) {
    if (height < 1 || width < 1) return 0;
    int bpp = record->format.bytesPerPixel;
    uint8_t* row = record->pixels + static_cast<ptrdiff_t>(y) * record->pitch + x * bpp;
    for (int i = 0; i < height; ++i, row += record->pitch)
        std::memset(row, 0, static_cast<size_t>(width) * bpp);
    return 0;
}

int GetImagePixel(ImageRecord* record, int x, int y, int* red, int* green, int* blue,
                  int* alpha) {
    if (record->format.formatCode != 0 && DecodeDxtImage(record) != 0) return -1;
    if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(record->width) ||
        static_cast<uint32_t>(y) >= static_cast<uint32_t>(record->height) || !record->pixels)
        return -1;
    int bpp = record->format.bytesPerPixel;
    if (bpp < 1 || bpp > 4) return -1;
    const uint8_t* p = record->pixels + static_cast<ptrdiff_t>(y) * record->pitch + x * bpp;
    if (bpp == 1) {
        const PaletteEntry& e = record->format.palette[*p];
        if (red) *red = e.red;
        if (green) *green = e.green;
        if (blue) *blue = e.blue;
        if (alpha) *alpha = e.reserved;
        return 0;
    }
    DecodePixel(&record->format, ReadPixelValue(p, bpp), red, green, blue, alpha);
    return 0;
}

int SetImagePixel(ImageRecord* record, int x, int y, int red, int green, int blue, int alpha) {
    if (record->format.formatCode != 0 && DecodeDxtImage(record) != 0) return -1;
    if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(record->width) ||
        static_cast<uint32_t>(y) >= static_cast<uint32_t>(record->height) || !record->pixels)
        return -1;
    int bpp = record->format.bytesPerPixel;
    if (bpp < 1 || bpp > 4) return 0;
    uint8_t* p = record->pixels + static_cast<ptrdiff_t>(y) * record->pitch + x * bpp;
    WritePixelValue(p, bpp, EncodePixel(&record->format, red, green, blue, alpha));
    return 0;
}

uint32_t GetImagePixelArgb(const ImageRecord* record, int x, int y) {
    // Outside the image (an empty record included) there is no pixel to read.
    if (!record->pixels || static_cast<uint32_t>(x) >= static_cast<uint32_t>(record->width) ||
        static_cast<uint32_t>(y) >= static_cast<uint32_t>(record->height))
        return 0;
    const ColorFormat& f = record->format;
    if (f.formatCode >= 1 && f.formatCode <= 5) {
        // DXT: the pixel's block alone is decoded.
        const int code = static_cast<int>(f.formatCode);
        const size_t blockBytes = code == 1 ? 8 : 16;
        const size_t index = static_cast<size_t>(y / 4) * ((record->width + 3) / 4) + x / 4;
        uint32_t block[16];
        DecodeDxtBlock(record->pixels + index * blockBytes, code, block);
        return block[(y % 4) * 4 + x % 4];
    }
    int bpp = f.bytesPerPixel;
    if (bpp < 1 || bpp > 4) return 0;
    const uint8_t* p = record->pixels + static_cast<ptrdiff_t>(y) * record->pitch + x * bpp;
    uint32_t value;
    if (bpp == 1) {
        std::memcpy(&value, &f.palette[*p], 4);
    } else {
        value = ReadPixelValue(p, bpp);
    }
    // Each channel is placed at the top of its byte; low bits are not replicated.
    auto place = [](uint32_t v, int top, int width) -> uint32_t {
        int s = top - width;
        return s >= 0 ? v << s : v >> -s;
    };
    uint32_t result = place(Channel(value, f.redMask, f.redShift), 24, f.redWidth) |
                      place(Channel(value, f.greenMask, f.greenShift), 16, f.greenWidth) |
                      place(Channel(value, f.blueMask, f.blueShift), 8, f.blueWidth);
    if (f.alphaWidth != 0) result |= place(Channel(value, f.alphaMask, f.alphaShift), 32, f.alphaWidth);
    return result;
}

int MirrorImageHorizontally(ImageRecord* record) {
    if (record->width == 0 || record->height == 0) return -1;
    if (record->format.formatCode != 0 && DecodeDxtImage(record) != 0) return -1;
    int bpp = record->format.bytesPerPixel;
    if (bpp < 1 || bpp > 4 || !record->pixels) return 0;
    for (int y = 0; y < record->height; ++y) {
        uint8_t* row = record->pixels + static_cast<ptrdiff_t>(y) * record->pitch;
        for (int i = 0; i < record->width / 2; ++i) {
            uint8_t* a = row + i * bpp;
            uint8_t* b = row + (record->width - 1 - i) * bpp;
            uint8_t t[4];
            std::memcpy(t, a, bpp);
            std::memcpy(a, b, bpp);
            std::memcpy(b, t, bpp);
        }
    }
    return 0;
}

namespace {

// One output pixel of the reduction: the sum of n pixels of each channel, divided by n.
template <typename Pixel>
Pixel AveragePixels(const ColorFormat* f, const Pixel* values, int count, int shiftDown) {
    const uint32_t masks[4] = {f->redMask, f->greenMask, f->blueMask, f->alphaMask};
    const int shifts[4] = {f->redShift, f->greenShift, f->blueShift, f->alphaShift};
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        if (masks[c] == 0) continue;
        uint64_t sum = 0;
        for (int i = 0; i < count; ++i) sum += Channel(values[i], masks[c], shifts[c]);
        out |= (static_cast<uint32_t>(sum >> shiftDown) << shifts[c]) & masks[c];
    }
    return static_cast<Pixel>(out);
}

template <typename Pixel>
void ShrinkRows(const ColorFormat* f, uint8_t* destination, int destinationPitch,
                const uint8_t* source, int sourcePitch, int sourceWidth, int sourceHeight) {
    int outWidth = sourceWidth > 1 ? sourceWidth / 2 : 1;
    int outHeight = sourceHeight > 1 ? sourceHeight / 2 : 1;
    for (int y = 0; y < outHeight; ++y) {
        const uint8_t* s0 = source + static_cast<ptrdiff_t>(y) * 2 * sourcePitch;
        const uint8_t* s1 = s0 + sourcePitch;
        Pixel* d = reinterpret_cast<Pixel*>(destination + static_cast<ptrdiff_t>(y) * destinationPitch);
        for (int x = 0; x < outWidth; ++x) {
            Pixel v[4];
            if (sourceWidth > 1 && sourceHeight > 1) {
                std::memcpy(&v[0], s0 + 2 * x * sizeof(Pixel), 2 * sizeof(Pixel));
                std::memcpy(&v[2], s1 + 2 * x * sizeof(Pixel), 2 * sizeof(Pixel));
                d[x] = AveragePixels(f, v, 4, 2);
            } else if (sourceWidth > 1) {
                std::memcpy(&v[0], s0 + 2 * x * sizeof(Pixel), 2 * sizeof(Pixel));
                d[x] = AveragePixels(f, v, 2, 1);
            } else if (sourceHeight > 1) {
                std::memcpy(&v[0], s0, sizeof(Pixel));
                std::memcpy(&v[1], s1, sizeof(Pixel));
                d[x] = AveragePixels(f, v, 2, 1);
            } else {
                std::memcpy(&d[x], s0, sizeof(Pixel));
            }
        }
    }
}

}  // namespace

int ShrinkImageHalf(const ColorFormat* format, void* destination, int destinationPitch,
                    const void* source, int sourcePitch, int destinationX, int destinationY,
                    int sourceX, int row, int sourceWidth, int sourceHeight) {
    (void)destinationY;
    bool accepted = (sourceWidth == 1 && (sourceHeight == 1 || (sourceHeight > 0 && sourceHeight % 2 == 0))) ||
                    (sourceWidth > 0 && sourceWidth % 2 == 0 &&
                     (sourceHeight == 1 || (sourceHeight > 0 && sourceHeight % 2 == 0)));
    if (!accepted) return -1;
    int bpp = format->bitDepth / 8;
    if (format->bitDepth != 16 && format->bitDepth != 32) return 0;
    uint8_t* d = static_cast<uint8_t*>(destination) + static_cast<ptrdiff_t>(row) * destinationPitch +
                 destinationX * bpp;
    const uint8_t* s = static_cast<const uint8_t*>(source) +
                       static_cast<ptrdiff_t>(row) * sourcePitch + sourceX * bpp;
    if (format->bitDepth == 16)
        ShrinkRows<uint16_t>(format, d, destinationPitch, s, sourcePitch, sourceWidth, sourceHeight);
    else
        ShrinkRows<uint32_t>(format, d, destinationPitch, s, sourcePitch, sourceWidth, sourceHeight);
    return 0;
}
