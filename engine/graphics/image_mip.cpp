// Mip levels of an image record: level i is max(1, w >> i) x max(1, h >> i); compressed levels
// hold whole 4 x 4 blocks (a partial block at an edge counts whole), plain levels after the first
// are packed rows of bytes per pixel x width (the first keeps the record's own pitch).
#include "graphics/image_mip.h"

int MipLevelSide(int size, int level) {
    int side = level < 31 ? size >> level : 0;
    return side > 0 ? side : 1;
}

int64_t MipRowBytes(uint32_t formatCode, int bytesPerPixel, int width) {
    if (formatCode >= 1 && formatCode <= 5)
        return static_cast<int64_t>((width + 3) / 4) * (formatCode == 1 ? 8 : 16);
    return static_cast<int64_t>(bytesPerPixel) * width;
}

int MipRowCount(uint32_t formatCode, int height) {
    return formatCode >= 1 && formatCode <= 5 ? (height + 3) / 4 : height;
}

int ImageMipLevelCount(const ImageRecord* image) {
    return image->mipCount > 1 ? image->mipCount : 1;
}

int GetImageMipLevel(const ImageRecord* image, int level, ImageRecord* view) {
    if (level < 0 || level >= ImageMipLevelCount(image) || image->pixels == nullptr) return -1;
    const uint32_t code = image->format.formatCode;
    const int bytes = image->format.bytesPerPixel;
    int64_t offset = 0;
    for (int i = 0; i < level; ++i) {
        int width = MipLevelSide(image->width, i);
        int height = MipLevelSide(image->height, i);
        int64_t pitch = i == 0 && code == 0 ? image->pitch : MipRowBytes(code, bytes, width);
        offset += pitch * MipRowCount(code, height);
    }
    *view = *image;
    view->width = MipLevelSide(image->width, level);
    view->height = MipLevelSide(image->height, level);
    view->pitch = level == 0 && code == 0
                      ? image->pitch
                      : static_cast<int32_t>(MipRowBytes(code, bytes, view->width));
    view->pixels = image->pixels + offset;
    view->mipCount = 0;
    return 0;
}
