// DDS loader: DXT1 to DXT5 blocks kept compressed, uncompressed surfaces described by masks.
#include <cstring>

#include "graphics/device_format_masks.h"
#include "graphics/graphics.h"
#include "graphics/image_stream.h"

namespace {

constexpr uint32_t kHeaderPitch = 0x8;
constexpr uint32_t kHeaderMipCount = 0x20000;
constexpr uint32_t kPixelFourCc = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kPixelLuminance = 0x20000;
constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCapsMipMap = 0x400000;
constexpr uint32_t kMaxMipLevels = 32;


// Total bytes of a mip chain, each level from its own size (sides halved, never below 1). DXT
// levels count whole 4 x 4 blocks, a partial block at an edge included.
int64_t ChainSize(int64_t width, int64_t height, uint32_t levels, int blockSize, int64_t firstPitch,
                  int bytesPerPixel) {
    int64_t total = 0;
    for (uint32_t i = 0; i < (levels > 1 ? levels : 1); ++i) {
        if (blockSize)
            total += ((width + 3) / 4) * ((height + 3) / 4) * blockSize;
        else
            total += (i == 0 ? firstPitch : bytesPerPixel * width) * height;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    return total;
}

// A channel of a pixel value, through its mask, scaled to 8 bits.
uint8_t Channel8(uint32_t value, uint32_t mask, int shift, int width) {
    if (width == 0) return 0;
    uint32_t v = (value & mask) >> shift;
    return static_cast<uint8_t>(width >= 8 ? v >> (width - 8) : v * 255u / ((1u << width) - 1u));
}

// An 8-bit surface's values are colours, not palette indices: the palette gets each value's
// colour through the masks, so that the record's pixels keep their colours. A value with alpha
// has no palette form: false.
bool BuildMaskPalette(ColorFormat* format) {
    ColorFormat masks = *format;
    if (masks.alphaMask != 0 || (masks.redMask | masks.greenMask | masks.blueMask) == 0) return false;
    SetColorFormatPalette8(format);
    for (uint32_t i = 0; i < 256; ++i) {
        format->palette[i] = PaletteEntry{
            Channel8(i, masks.blueMask, masks.blueShift, masks.blueWidth),
            Channel8(i, masks.greenMask, masks.greenShift, masks.greenWidth),
            Channel8(i, masks.redMask, masks.redShift, masks.redWidth), 0};
    }
    return true;
}

}  // namespace

int LoadDdsImage(StreamHolder* stream, ImageRecord* record) {
    uint8_t magic[4];
    uint8_t header[124];
    if (!ReadStreamExact(stream, magic, 4) || std::memcmp(magic, "DDS", 3) != 0) return -1;
    if (!ReadStreamExact(stream, header, sizeof(header))) return -1;
    uint32_t flags = ReadLe32(header + 4);
    uint32_t height = ReadLe32(header + 8);
    uint32_t width = ReadLe32(header + 12);
    uint32_t pitchOrSize = ReadLe32(header + 16);
    uint32_t headerMips = ReadLe32(header + 24);
    const uint8_t* pf = header + 72;
    uint32_t pfFlags = ReadLe32(pf + 4);
    uint32_t fourCc = ReadLe32(pf + 8);
    uint32_t rgbBits = ReadLe32(pf + 12);
    uint32_t caps = ReadLe32(header + 104);
    if (!IsSaneImageSize(width, height)) return -1;

    ColorFormat& format = record->format;
    bool tableHit = false;
    int formatBits = 0;
    if (pfFlags == kPixelFourCc) {
        // A numeric code names a device format.
        for (const DeviceFormatMasks& row : kDeviceFormatMasks) {
            if (static_cast<uint32_t>(row.format) == fourCc) {
                SetColorFormatFromMasks(&format, row.bits, row.red, row.green, row.blue, row.alpha);
                formatBits = row.bits;
                tableHit = true;
                break;
            }
        }
    }
    int blockSize = 0;
    if (pfFlags & kPixelFourCc) {
        if (std::memcmp(pf + 8, "DXT", 3) == 0 && pf[11] >= '1' && pf[11] <= '5') {
            int code = pf[11] - '0';
            std::memset(&format, 0, sizeof(ColorFormat));
            SetColorFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
            format.bitDepth = code == 1 ? 4 : 8;
            format.formatCode = static_cast<uint32_t>(code);
            blockSize = code == 1 ? 8 : 16;
        } else if (!tableHit) {
            return -1;
        }
    } else {
        // Masks describe the surface, also for surfaces flagged RGB without alpha pixels.
        formatBits = static_cast<int>(rgbBits);
        if (rgbBits != 8 && rgbBits != 16 && rgbBits != 24 && rgbBits != 32) return -1;
        uint32_t red = ReadLe32(pf + 16), green = ReadLe32(pf + 20), blue = ReadLe32(pf + 24);
        // Luminance surfaces give their grey in the red mask alone: green and blue read it too.
        bool luminance = (pfFlags & kPixelLuminance) ||
                         (!(pfFlags & kPixelRgb) && red != 0 && green == 0 && blue == 0);
        if (luminance) green = blue = red;
        SetColorFormatFromMasks(&format, formatBits, red, green, blue, ReadLe32(pf + 28));
    }
    if (!blockSize && formatBits == 8 && !BuildMaskPalette(&format)) return -1;

    uint32_t mipCount = 0;
    if ((flags & kHeaderMipCount) && (caps & kCapsMipMap) && (caps & kCapsComplex))
        mipCount = headerMips;
    if (mipCount > kMaxMipLevels) return -1;

    int32_t pitch = 0;
    if (!blockSize) {
        int64_t rowBytes = static_cast<int64_t>(formatBits / 8) * width;
        int64_t p = (flags & kHeaderPitch) ? static_cast<int64_t>(pitchOrSize) : rowBytes;
        if (p < rowBytes || p > 4 * static_cast<int64_t>(kMaxImageSide) * 2) return -1;
        pitch = static_cast<int32_t>(p);
    }
    int64_t size = ChainSize(width, height, mipCount, blockSize, pitch, formatBits / 8);
    if (size > RemainingStreamBytes(stream)) return -1;
    uint8_t* pixels = static_cast<uint8_t*>(VELK_ALLOC(size > 0 ? static_cast<size_t>(size) : 1));
    if (!pixels) return -1;
    if (!ReadStreamExact(stream, pixels, static_cast<size_t>(size))) {
        FreeMemory(pixels);
        return -1;
    }
    record->pitch = pitch;
    record->pixels = pixels;
    record->mipCount = static_cast<int32_t>(mipCount);
    record->width = static_cast<int32_t>(width);
    record->height = static_cast<int32_t>(height);
    return 0;
}
