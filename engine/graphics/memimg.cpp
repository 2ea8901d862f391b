// Software images: a small view over a shared, reference-counted base.
#include <cstring>

#include "core/core.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

namespace {

int BytesPerPixel(int type, int palette, int alpha) {
    if (palette) return 1;
    switch (type) {
    case kMemImgR5G6B5: return alpha ? 4 : 2;
    case kMemImgX8R8G8B8: return 4;
    case kMemImgChannel8: return 1;
    default: return 2;
    }
}

void FreeBase(MemImgBase* base) {
    if (!base->userBuffer) FreeMemory(base->pixels);
    FreeMemory(base->alphaPlane);
    FreeMemory(base->runBuffer);
    FreeMemory(base->palette);
    FreeMemory(base);
}

// One row of run code: runs of up to 64 pixels of one class, then the row end.
template <class Classify>
uint8_t* WriteRunRow(uint8_t* out, int width, Classify classify) {
    int x = 0;
    while (x < width) {
        int kind = classify(x);
        int length = 1;
        while (x + length < width && length < 64 && classify(x + length) == kind) ++length;
        *out++ = static_cast<uint8_t>(kind << 6 | (length - 1));
        x += length;
    }
    *out++ = 0xC0;
    return out;
}

} // namespace

int GetMemImgBytesPerPixel(const MemImgBase* base) {
    return BytesPerPixel(base->colorType, base->paletteFlag, base->alphaFlag);
}

int CreateMemImg(MEMIMG* view, int width, int height, int pitch, uint32_t transparent, int type,
                 int palette, int alpha, int work, void* userPixels) {
    if (view->tag == kMemImgTag) return -1;
    if (width < 0 || height < 0) return -1;
    auto* base = static_cast<MemImgBase*>(VELK_ALLOC_ZEROED(sizeof(MemImgBase)));
    if (base == nullptr) return -1;
    if (palette) alpha = 0;
    if (type == kMemImgChannel8 || type == kMemImgChannel16) palette = alpha = 0;
    palette = palette ? 1 : 0;
    alpha = alpha ? 1 : 0;
    base->referenceCount = 1;
    base->width = width;
    base->height = height;
    base->transparentColor = transparent;
    base->colorType = type;
    base->paletteFlag = palette;
    base->alphaFlag = alpha;
    if (palette) {
        base->palette = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(2048));
        if (base->palette == nullptr) {
            FreeBase(base);
            return -1;
        }
        base->paletteSecondHalf = base->palette + 1024;
    }
    int64_t pixelRow = int64_t{BytesPerPixel(type, palette, alpha)} * width;
    // A caller's pitch shorter than a row would let every row overrun the buffer.
    if (pitch >= 0 && pitch < pixelRow) {
        FreeBase(base);
        return -1;
    }
    int64_t rowSize = pitch >= 0 ? pitch : pixelRow;
    int64_t finalPitch = pitch >= 0 ? pitch : (rowSize + 15) / 16 * 16;
    int64_t power = 1;
    int shift = 0;
    while (power < rowSize) {
        power <<= 1;
        ++shift;
    }
    base->pitchShift = power == finalPitch ? shift : -1;
    if (finalPitch * height > INT32_MAX) {
        FreeBase(base);
        return -1;
    }
    base->pitch = static_cast<int32_t>(finalPitch);
    base->colorFormat = GetMemImgColorFormat(type, alpha, palette);
    size_t bytes = static_cast<size_t>(finalPitch) * static_cast<size_t>(height);
    if (userPixels != nullptr) {
        base->userBuffer = 1;
        base->pixels = static_cast<uint8_t*>(userPixels);
    } else {
        // Zeroed: a new image must not show what an earlier one left in the same memory.
        base->pixels = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(bytes == 0 ? 1 : bytes));
        if (base->pixels == nullptr) {
            FreeBase(base);
            return -1;
        }
    }
    if (work) {
        if (alpha) {
            base->alphaPlane = static_cast<uint8_t*>(VELK_ALLOC(bytes == 0 ? 1 : bytes));
            if (base->alphaPlane == nullptr) {
                FreeBase(base);
                return -1;
            }
        }
        if (type != kMemImgChannel8) {
            size_t runBytes = (static_cast<size_t>(width) + 5) * static_cast<size_t>(height);
            base->runBuffer = static_cast<uint8_t*>(VELK_ALLOC(runBytes == 0 ? 1 : runBytes));
            if (base->runBuffer == nullptr) {
                FreeBase(base);
                return -1;
            }
        }
    }
    view->tag = kMemImgTag;
    view->width = width;
    view->height = height;
    view->pixels = base->pixels;
    view->alpha = base->alphaPlane;
    view->base = base;
    return 0;
}

int CreateScreenDepthMemImg(MEMIMG* view, int width, int height, int type) {
    *view = MEMIMG{};
    if (type == -1) type = GetColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
    return CreateMemImg(view, width, height, -1, 0, type, 0, 0, 0, nullptr);
}

void MakeMemImgView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height) {
    if (!IsMemImgValid(source)) return;
    if (x < 0 || y < 0 || width < 0 || height < 0) return;
    if (int64_t{x} + width > source->width || int64_t{y} + height > source->height) return;
    MemImgBase* base = source->base;
    size_t offset = static_cast<size_t>(base->pitch) * y +
                    static_cast<size_t>(GetMemImgBytesPerPixel(base)) * x;
    view->tag = kMemImgTag;
    view->width = width;
    view->height = height;
    view->pixels = source->pixels + offset;
    view->alpha = base->alphaPlane != nullptr && source->alpha != nullptr ? source->alpha + offset
                                                                           : nullptr;
    view->base = base;
    ++base->referenceCount;
}

void ReleaseMemImg(MEMIMG* view) {
    if (view->tag != kMemImgTag) return;
    MemImgBase* base = view->base;
    if (base != nullptr && --base->referenceCount == 0) FreeBase(base);
    view->base = nullptr;
    view->tag = 0;
}

int IsMemImgValid(const MEMIMG* view) {
    return view != nullptr && view->tag == kMemImgTag && view->base != nullptr ? 1 : 0;
}

void FillMemImgRect(MEMIMG* image, const V_RECT* rect, uint32_t value) {
    if (!IsMemImgValid(image)) return;
    V_RECT area = {0, 0, image->width, image->height};
    V_RECT fill = rect != nullptr ? *rect : area;
    ClipRect(&fill, &area);
    int bytes = GetMemImgBytesPerPixel(image->base);
    int pitch = image->base->pitch;
    for (int y = fill.top; y < fill.bottom; ++y) {
        uint8_t* row = image->pixels + static_cast<size_t>(pitch) * y;
        for (int x = fill.left; x < fill.right; ++x) {
            uint8_t* pixel = row + static_cast<size_t>(bytes) * x;
            if (bytes == 1) {
                *pixel = static_cast<uint8_t>(value);
            } else if (bytes == 2) {
                uint16_t half = static_cast<uint16_t>(value);
                std::memcpy(pixel, &half, 2);
            } else {
                std::memcpy(pixel, &value, 4);
            }
        }
    }
}

void UpdateMemImgRunCode(MEMIMG* view, int width, int height) {
    MemImgBase* base = view->base;
    base->premultipliedValid = 0;
    base->runCodeValid = 0;
    if (width != view->width || height != view->height) return;
    if (base->colorType != kMemImgR5G6B5 && base->colorType != kMemImgX8R8G8B8) return;
    if (base->runBuffer == nullptr) return;
    base->runCodeValid = 1;
    int bytes = GetMemImgBytesPerPixel(base);
    bool wide = base->colorType == kMemImgX8R8G8B8;
    if (base->alphaFlag && base->alphaPlane != nullptr && view->alpha != nullptr) {
        base->premultipliedValid = 1;
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = view->pixels + static_cast<size_t>(base->pitch) * y;
            uint8_t* out = view->alpha + static_cast<size_t>(base->pitch) * y;
            for (int x = 0; x < width; ++x) {
                uint32_t c;
                std::memcpy(&c, in + 4 * x, 4);
                uint32_t premultiplied;
                if (wide) {
                    uint32_t a = c >> 24;
                    premultiplied = (c & 0xFF000000u) | (((c >> 16 & 0xFF) * a >> 8) << 16) |
                                    (((c >> 8 & 0xFF) * a >> 8) << 8) | ((c & 0xFF) * a >> 8);
                } else {
                    uint32_t a = c >> 16 & 0xFF;
                    uint32_t colour = (((c & 0xF800) * a & 0xF80000) | ((c & 0x07E0) * a & 0x07E000) |
                                       ((c & 0x001F) * a & 0x1F00)) >> 8;
                    premultiplied = (c & 0xFFFF0000u) | colour;
                }
                std::memcpy(out + 4 * x, &premultiplied, 4);
            }
        }
    }
    uint8_t* code = base->runBuffer;
    uint32_t key = base->transparentColor;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = view->pixels + static_cast<size_t>(base->pitch) * y;
        code = WriteRunRow(code, width, [&](int x) -> int {
            const uint8_t* pixel = row + static_cast<size_t>(bytes) * x;
            if (base->paletteFlag) return *pixel == key ? 0 : 1;  // a key beyond the indices: none
            uint32_t value = 0;
            std::memcpy(&value, pixel, bytes);
            if (base->alphaFlag) {
                uint32_t a = wide ? value >> 24 : value >> 16 & 0xFF;
                return a == 0 ? 0 : a == 255 ? 1 : 2;
            }
            if (!wide) return (value & 0xFFFF) == (key & 0xFFFF) ? 0 : 1;
            return value == key ? 0 : 1;
        });
    }
}
