// Drawing into an image with alpha: the stand-ins the kernels draw into, and the write-back.
#include "draw/soft_alpha_target.h"

#include <algorithm>
#include <cstring>

#include "softblit/blit_frame.h"

namespace softblit {

namespace {

uint8_t* PixelAt(const MEMIMG* image, int64_t x, int64_t y, int bytes) {
    return image->pixels + image->base->pitch * y + bytes * x;
}

uint32_t Load(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    std::memcpy(&value, at, bytes);
    return value;
}

// The grey the alpha pass draws for a source pixel of alpha a: the draw's alpha a * p / 255 in
// modes 1 to 3 (a in mode 0), inverted in mode 10, which inverts the source, and p in mode 4,
// which weighs by a itself.
uint32_t AlphaGrey(int mode, uint32_t p, uint32_t a) {
    if (mode == 4) return p;
    const uint32_t value = mode == 0 ? a : a * p / 255;
    return mode == 10 ? 255 - value : value;
}

// The source's alpha as AlphaGrey's grey, and as the alpha where the draw weighs by it: the
// texel's alpha, 0 at the key when keyed, else 255.
bool MakeCoverage(const MEMIMG* source, int trans, int mode, uint32_t p, MEMIMG* coverage) {
    const MemImgBase* from = source->base;
    const bool weighed = from->alphaFlag == 1 || trans != 0;
    *coverage = MEMIMG{};
    if (CreateMemImg(coverage, source->width, source->height, -1, 0, kMemImgX8R8G8B8, 0,
                     weighed ? 1 : 0, 0, nullptr) != 0)
        return false;
    const int bytes = GetMemImgBytesPerPixel(from);
    const bool wide = from->colorType == kMemImgX8R8G8B8;
    for (int y = 0; y < source->height; ++y) {
        for (int x = 0; x < source->width; ++x) {
            const uint32_t value = Load(PixelAt(source, x, y, bytes), bytes);
            uint32_t alpha = 255;
            if (from->alphaFlag == 1)
                alpha = wide ? value >> 24 : (value >> 16) & 0xFF;
            else if (trans != 0 && from->paletteFlag == 1)
                alpha = value == from->transparentColor ? 0 : 255;
            else if (trans != 0 && !wide)
                alpha = value == (from->transparentColor & 0xFFFF) ? 0 : 255;
            else if (trans != 0)
                alpha = value == from->transparentColor ? 0 : 255;
            Store32(PixelAt(coverage, x, y, 4),
                    alpha << 24 | AlphaGrey(mode, p, alpha) * 0x010101u);
        }
    }
    return true;
}

}  // namespace

bool BeginAlphaPasses(MEMIMG* destination, const MEMIMG* source, int trans, AlphaPasses* passes) {
    *passes = AlphaPasses{};
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds)) return false;
    passes->left = bounds.left;
    passes->top = bounds.top;
    passes->right = bounds.right;
    passes->bottom = bounds.bottom;
    const int mode = g_DrawSettings.blendMode;
    const uint32_t p = static_cast<uint32_t>(std::clamp(g_DrawSettings.blendParameter, 0, 255));
    passes->alphaPass = (mode >= 0 && mode <= 4) || mode == 10;
    passes->flatGrey = AlphaGrey(mode, p, 255) * 0x010101u;
    const MemImgBase* to = destination->base;
    const bool wide = to->colorType == kMemImgX8R8G8B8;
    const int width = destination->width, height = destination->height;
    if (CreateMemImg(&passes->colour, width, height, -1, 0, to->colorType, 0, 0, 0, nullptr) != 0 ||
        CreateMemImg(&passes->grey, width, height, -1, 0, kMemImgX8R8G8B8, 0, 0, 0, nullptr) != 0 ||
        (source != nullptr && IsMemImgValid(source) &&
         !(passes->hasCoverage = MakeCoverage(source, trans, mode, p, &passes->coverage)))) {
        ReleaseMemImg(&passes->colour);
        ReleaseMemImg(&passes->grey);
        return false;
    }
    // Only the reachable part is read and written back: the kernels clip to it.
    for (int64_t y = bounds.top; y < bounds.bottom; ++y) {
        for (int64_t x = bounds.left; x < bounds.right; ++x) {
            const uint32_t value = Load(PixelAt(destination, x, y, 4), 4);
            const uint32_t alpha = wide ? value >> 24 : (value >> 16) & 0xFF;
            if (wide)
                Store32(PixelAt(&passes->colour, x, y, 4), value & 0x00FFFFFFu);
            else
                std::memcpy(PixelAt(&passes->colour, x, y, 2), &value, 2);
            Store32(PixelAt(&passes->grey, x, y, 4), alpha * 0x010101u);
        }
    }
    return true;
}

void EndAlphaPasses(MEMIMG* destination, AlphaPasses* passes) {
    MemImgBase* to = destination->base;
    const bool wide = to->colorType == kMemImgX8R8G8B8;
    for (int64_t y = passes->top; y < passes->bottom; ++y) {
        for (int64_t x = passes->left; x < passes->right; ++x) {
            uint8_t* at = PixelAt(destination, x, y, 4);
            const uint32_t alpha = Load(PixelAt(&passes->grey, x, y, 4), 4) & 0xFF;
            const uint32_t colour =
                Load(PixelAt(&passes->colour, x, y, wide ? 4 : 2), wide ? 4 : 2);
            const uint32_t value = wide ? alpha << 24 | (colour & 0x00FFFFFFu)
                                        : (Load(at, 4) & 0xFF000000u) | alpha << 16 | colour;
            Store32(at, value);
        }
    }
    // The run code and the premultiplied copy follow the new pixels (dropped for a part).
    UpdateMemImgRunCode(destination, to->width, to->height);
    ReleaseMemImg(&passes->colour);
    ReleaseMemImg(&passes->grey);
    if (passes->hasCoverage) ReleaseMemImg(&passes->coverage);
}

}  // namespace softblit
