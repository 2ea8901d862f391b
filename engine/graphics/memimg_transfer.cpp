// Colour formats of software images, and copies of image records and images into them.
#include <cstring>
#include <initializer_list>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/image_dxt.h"

namespace {

struct MemImgFormats {
    ColorFormat direct[2][2][2]; // [type 0 or 1][alpha][palette]
    ColorFormat channel8;
    ColorFormat channel16;

    MemImgFormats() {
        std::memset(this, 0, sizeof(*this));
        for (int alpha = 0; alpha < 2; ++alpha) {
            for (int palette = 0; palette < 2; ++palette) {
                SetColorFormatFromMasks(&direct[0][alpha][palette], palette ? 8 : alpha ? 32 : 16,
                                        0xF800, 0x07E0, 0x001F, alpha ? 0xFF0000 : 0);
                SetColorFormatFromMasks(&direct[1][alpha][palette], palette ? 8 : 32, 0xFF0000,
                                        0xFF00, 0xFF, alpha ? 0xFF000000 : 0);
            }
        }
        // Single-channel images: every channel is the one value.
        channel8.bitDepth = 8;
        channel8.bytesPerPixel = 1;
        channel16.bitDepth = 16;
        channel16.bytesPerPixel = 2;
        for (ColorFormat* format : {&channel8, &channel16}) {
            uint8_t width = static_cast<uint8_t>(format->bitDepth);
            uint32_t mask = format->bitDepth == 8 ? 0xFF : 0xFFFF;
            format->redWidth = format->greenWidth = format->blueWidth = format->alphaWidth = width;
            format->redMask = format->greenMask = format->blueMask = format->alphaMask = mask;
        }
    }
};

bool InsideImage(int x, int y, int width, int height, int imageWidth, int imageHeight) {
    return x >= 0 && y >= 0 && width >= 0 && height >= 0 && int64_t{x} + width <= imageWidth &&
           int64_t{y} + height <= imageHeight;
}

} // namespace

const ColorFormat* GetMemImgColorFormat(int type, int alpha, int palette) {
    static MemImgFormats formats;
    switch (type) {
    case kMemImgR5G6B5:
    case kMemImgX8R8G8B8: return &formats.direct[type][alpha ? 1 : 0][palette ? 1 : 0];
    case kMemImgChannel8: return &formats.channel8;
    case kMemImgChannel16: return &formats.channel16;
    default: return nullptr;
    }
}

int CopyMemImg(MEMIMG* destination, const MEMIMG* source, const V_RECT* sourceRect, int x, int y) {
    if (!IsMemImgValid(destination) || !IsMemImgValid(source)) return -1;
    V_RECT whole = {0, 0, source->width, source->height};
    V_RECT rect = sourceRect != nullptr ? *sourceRect : whole;
    // The converter does not clip: both rectangles must lie inside their images.
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!InsideImage(rect.left, rect.top, width, height, source->width, source->height) ||
        !InsideImage(x, y, width, height, destination->width, destination->height))
        return -1;
    const MemImgBase* from = source->base;
    const MemImgBase* to = destination->base;
    return ConvertPixelFormatRect(destination->pixels, to->pitch, to->colorFormat, source->pixels,
                                  from->pitch, from->colorFormat, nullptr, 0, nullptr, x, y, &rect, 0,
                                  0, 0, 0, 0, 0, 0, 0);
}

namespace {

// The transfer of records that hold plain pixels, rectangles already checked.
int TransferPlainImage(const ImageRecord* image, const ImageRecord* alphaImage,
                       MEMIMG* destination, int x, int y, int width, int height, int destinationX,
                       int destinationY, int colorKey) {
    MemImgBase* base = destination->base;
    V_RECT rect = {x, y, x + width, y + height};
    if (base->colorType == kMemImgChannel8 || base->colorType == kMemImgChannel16) {
        int result = ConvertPixelFormatRect(destination->pixels, base->pitch, base->colorFormat,
                                            image->pixels, image->pitch, &image->format, nullptr, 0,
                                            nullptr, destinationX, destinationY, &rect, 0, 0, 0, 0,
                                            1, 1, 0, 0);
        UpdateMemImgRunCode(destination, width, height);
        return result < 0 ? result : 0;
    }
    // Pixels of direct colour are given entries of their own; a palette image brings its palette.
    if (base->paletteFlag && image->format.bytesPerPixel != 1) {
        int result =
            TransferImageToPaletteMemImg(image, &rect, destination, destinationX, destinationY);
        if (result == 0) UpdateMemImgRunCode(destination, width, height);
        return result;
    }
    int result;
    if (alphaImage == nullptr) {
        result = ConvertPixelFormatRect(destination->pixels, base->pitch, base->colorFormat,
                                        image->pixels, image->pitch, &image->format, nullptr, 0,
                                        nullptr, destinationX, destinationY, &rect, 0, colorKey,
                                        base->transparentColor, 0, 0, 0, 0, 0);
        if (result < 0) return result;
        if (base->paletteFlag) base->paletteCount = result + 1;
    } else {
        result = ConvertPixelFormatRect(destination->pixels, base->pitch, base->colorFormat,
                                        image->pixels, image->pitch, &image->format,
                                        alphaImage->pixels, alphaImage->pitch, &alphaImage->format,
                                        destinationX, destinationY, &rect, 0, colorKey,
                                        base->transparentColor, 0, 0, 0, 0, 0);
        if (result < 0) return result;
    }
    if (base->paletteFlag && base->palette != nullptr) {
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& entry = image->format.palette[i];
            if (base->colorType == kMemImgR5G6B5) {
                uint16_t value = static_cast<uint16_t>((entry.red & 0xF8) << 8 |
                                                       (entry.green & 0xFC) << 3 | entry.blue >> 3);
                std::memcpy(base->palette + 2 * i, &value, 2);
            } else {
                uint32_t value = entry.blue | entry.green << 8 | uint32_t{entry.red} << 16;
                std::memcpy(base->palette + 4 * i, &value, 4);
            }
        }
        std::memcpy(base->paletteSecondHalf, base->palette,
                    base->colorType == kMemImgR5G6B5 ? 512 : 1024);
    }
    UpdateMemImgRunCode(destination, width, height);
    return 0;
}

}  // namespace

int TransferImageMemImg(const ImageRecord* image, const ImageRecord* alphaImage, MEMIMG* destination,
                        int x, int y, int width, int height, int destinationX, int destinationY,
                        int colorKey) {
    if (image == nullptr || !IsMemImgValid(destination)) return -1;
    if (!InsideImage(x, y, width, height, image->width, image->height) ||
        !InsideImage(destinationX, destinationY, width, height, destination->width,
                     destination->height))
        return -1;
    if (alphaImage != nullptr &&
        !InsideImage(x, y, width, height, alphaImage->width, alphaImage->height))
        return -1;
    // DXT blocks are no pixels: a compressed image or alpha image is decoded first.
    ImageRecord decodedImage{};
    ImageRecord decodedAlpha{};
    const ImageRecord* plainImage = PlainImageRecord(image, &decodedImage);
    const ImageRecord* plainAlpha =
        alphaImage != nullptr ? PlainImageRecord(alphaImage, &decodedAlpha) : nullptr;
    int result = -1;
    if (plainImage != nullptr && (alphaImage == nullptr || plainAlpha != nullptr))
        result = TransferPlainImage(plainImage, plainAlpha, destination, x, y, width, height,
                                    destinationX, destinationY, colorKey);
    if (decodedImage.pixels != nullptr) ReleaseImageRecord(&decodedImage);
    if (decodedAlpha.pixels != nullptr) ReleaseImageRecord(&decodedAlpha);
    return result;
}
