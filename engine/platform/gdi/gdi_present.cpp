// Nearest-pixel transfer of 16- and 32-bit DIB rows into 32-bit window pixels.
#include "platform/gdi/gdi_present.h"

#include <SDL.h>

#include <cstring>
#include <vector>

#include "platform/user/user_internal.h"

namespace {

// One channel of a bit-field pixel: where it sits and how wide it is.
struct Channel {
    uint32_t mask;
    int shift;
    int width;
};

Channel MakeChannel(uint32_t mask) {
    int shift = mask ? __builtin_ctz(mask) : 0;
    return Channel{mask, shift, mask ? __builtin_popcount(mask >> shift) : 0};
}

// A channel brought to 8 bits, narrow channels repeating their top bits.
inline uint32_t ScaleTo8(uint32_t value, const Channel& c) {
    if (c.width == 0) return 0;
    uint32_t channel = (value & c.mask) >> c.shift;
    if (c.width >= 8) return channel >> (c.width - 8);
    uint32_t result = channel << (8 - c.width);
    return result | (result >> c.width);
}

inline uint32_t ToRgb(uint32_t value, const Channel* channels) {
    return ScaleTo8(value, channels[0]) << 16 | ScaleTo8(value, channels[1]) << 8 |
           ScaleTo8(value, channels[2]);
}

// Every 16-bit pixel value converted once, for the masks of the last 16-bit transfer.
const uint32_t* Table16(const uint32_t* masks) {
    static uint32_t table[65536];
    static uint32_t tableMasks[3] = {0, 0, 0};
    static bool built = false;
    if (!built || std::memcmp(tableMasks, masks, sizeof tableMasks) != 0) {
        Channel channels[3] = {MakeChannel(masks[0]), MakeChannel(masks[1]), MakeChannel(masks[2])};
        for (uint32_t v = 0; v < 65536; ++v) table[v] = ToRgb(v, channels);
        std::memcpy(tableMasks, masks, sizeof tableMasks);
        built = true;
    }
    return table;
}

}  // namespace

int V_TransferDibToPixels(const V_DibTarget* target, int xDest, int yDest, int destWidth,
                          int destHeight, int xSrc, int ySrc, int srcWidth, int srcHeight,
                          const void* bits, const V_BITMAPINFO* info) {
    if (target == nullptr || target->pixels == nullptr || bits == nullptr || info == nullptr)
        return 0;
    const V_BITMAPINFOHEADER& h = info->bmiHeader;
    uint32_t masks[3];
    if (h.biBitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x3E0;
        masks[2] = 0x1F;
    } else if (h.biBitCount == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    } else {
        return 0;
    }
    if (h.biCompression == V_BI_BITFIELDS) {
        std::memcpy(masks, info->bmiColors, sizeof masks);
    } else if (h.biCompression != V_BI_RGB) {
        return 0;
    }
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 || h.biWidth <= 0)
        return 0;
    const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    const bool bottomUp = h.biHeight > 0;
    const int64_t rowBytes = ((static_cast<int64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    // The source's top row, counted from the top of the picture.
    const int64_t top = height - ySrc - srcHeight;

    // The destination columns inside the target whose source column lies inside the picture,
    // each with its source column.
    std::vector<int32_t> sourceColumn;
    std::vector<int32_t> targetColumn;
    sourceColumn.reserve(static_cast<size_t>(destWidth));
    targetColumn.reserve(static_cast<size_t>(destWidth));
    for (int x = 0; x < destWidth; ++x) {
        int64_t tx = static_cast<int64_t>(xDest) + x;
        int64_t sx = xSrc + static_cast<int64_t>(x) * srcWidth / destWidth;
        if (tx < 0 || tx >= target->width || sx < 0 || sx >= h.biWidth) continue;
        targetColumn.push_back(static_cast<int32_t>(tx));
        sourceColumn.push_back(static_cast<int32_t>(sx));
    }
    const size_t columns = sourceColumn.size();
    const uint32_t* table16 = h.biBitCount == 16 ? Table16(masks) : nullptr;
    const Channel channels[3] = {MakeChannel(masks[0]), MakeChannel(masks[1]),
                                 MakeChannel(masks[2])};

    int written = 0;
    for (int y = 0; y < destHeight; ++y) {
        int64_t ty = static_cast<int64_t>(yDest) + y;
        if (ty < 0 || ty >= target->height) continue;
        int64_t sy = top + static_cast<int64_t>(y) * srcHeight / destHeight;
        if (sy < 0 || sy >= height) continue;
        int64_t stored = bottomUp ? height - 1 - sy : sy;
        const uint8_t* row = static_cast<const uint8_t*>(bits) + stored * rowBytes;
        auto* out = reinterpret_cast<uint32_t*>(target->pixels + ty * target->pitch);
        if (table16 != nullptr) {
            for (size_t i = 0; i < columns; ++i) {
                uint16_t value;
                std::memcpy(&value, row + static_cast<size_t>(sourceColumn[i]) * 2, 2);
                out[targetColumn[i]] = table16[value];
            }
        } else {
            for (size_t i = 0; i < columns; ++i) {
                uint32_t value;
                std::memcpy(&value, row + static_cast<size_t>(sourceColumn[i]) * 4, 4);
                out[targetColumn[i]] = ToRgb(value, channels);
            }
        }
        ++written;
    }
    return written;
}

int V_StretchDIBits(V_HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                    int ySrc, int srcWidth, int srcHeight, const void* bits,
                    const V_BITMAPINFO* info, V_UINT, V_DWORD) {
    SDL_Window* window = UserDcSdlWindow(dc);
    SDL_Surface* surface = window != nullptr ? SDL_GetWindowSurface(window) : nullptr;
    if (surface == nullptr || surface->format->BytesPerPixel != 4) return 0;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return 0;
    V_DibTarget target{static_cast<uint8_t*>(surface->pixels), surface->pitch, surface->w,
                       surface->h};
    int written = V_TransferDibToPixels(&target, xDest, yDest, destWidth, destHeight, xSrc, ySrc,
                                        srcWidth, srcHeight, bits, info);
    // The words are 0x00RRGGBB; a surface of another channel order gets them converted.
    const SDL_PixelFormat* format = surface->format;
    if (written > 0 &&
        !(format->Rmask == 0xFF0000 && format->Gmask == 0xFF00 && format->Bmask == 0xFF)) {
        for (int y = yDest < 0 ? 0 : yDest; y < yDest + destHeight && y < surface->h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(target.pixels + y * target.pitch);
            for (int x = xDest < 0 ? 0 : xDest; x < xDest + destWidth && x < surface->w; ++x)
                row[x] =
                    SDL_MapRGB(format, (row[x] >> 16) & 0xFF, (row[x] >> 8) & 0xFF, row[x] & 0xFF);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (written <= 0) return 0;
    SDL_UpdateWindowSurface(window);
    return srcHeight;
}

int GdiSetDIBitsToWindow(V_HDC dc, int xDest, int yDest, V_DWORD width, V_DWORD height, int xSrc,
                         int ySrc, V_UINT, V_UINT lines, const void* bits, const V_BITMAPINFO* info,
                         V_UINT usage) {
    if (!UserDcIsWindowDc(dc)) return 0;
    int w = static_cast<int>(width);
    int h = static_cast<int>(height);
    return V_StretchDIBits(dc, xDest, yDest, w, h, xSrc, ySrc, w, h, bits, info, usage, 0) > 0
               ? static_cast<int>(lines)
               : 0;
}
