// Raw BGRA loader: the library's own uncompressed 32-bit format, 8 or 16 bits a channel.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/image_stream.h"

namespace {

constexpr uint32_t kTag8 = 0x08080808u;
constexpr uint32_t kTag16 = 0x10101010u;

}  // namespace

int LoadBgraImage(StreamHolder* stream, ImageRecord* record) {
    uint8_t head[16];
    if (!ReadStreamExact(stream, head, sizeof(head)) || std::memcmp(head, "BGRA", 4) != 0)
        return -1;
    uint32_t tag = ReadLe32(head + 4);
    uint32_t width = ReadLe32(head + 8);
    uint32_t height = ReadLe32(head + 12);
    if (tag != kTag8 && tag != kTag16) return -1;
    if (!IsSaneImageSize(width, height)) return -1;
    int64_t channelBytes = tag == kTag8 ? 1 : 2;
    if (static_cast<int64_t>(width) * height * 4 * channelBytes > RemainingStreamBytes(stream))
        return -1;

    size_t size = static_cast<size_t>(width) * height * 4;
    uint8_t* pixels = static_cast<uint8_t*>(VELK_ALLOC(size ? size : 1));
    if (!pixels) return -1;
    if (tag == kTag8) {
        if (!ReadStreamExact(stream, pixels, size)) {
            FreeMemory(pixels);
            return -1;
        }
    } else {
        uint8_t* row = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(width) * 8 + 1));
        if (!row) {
            FreeMemory(pixels);
            return -1;
        }
        for (uint32_t y = 0; y < height; ++y) {
            if (!ReadStreamExact(stream, row, static_cast<size_t>(width) * 8)) {
                FreeMemory(row);
                FreeMemory(pixels);
                return -1;
            }
            // The high byte of each 16-bit channel: B, G, R, A.
            uint8_t* out = pixels + static_cast<size_t>(y) * width * 4;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = row + x * 8;
                out[x * 4 + 0] = p[1];
                out[x * 4 + 1] = p[3];
                out[x * 4 + 2] = p[5];
                out[x * 4 + 3] = p[7];
            }
        }
        FreeMemory(row);
    }
    record->pixels = pixels;
    record->width = static_cast<int32_t>(width);
    record->height = static_cast<int32_t>(height);
    record->pitch = static_cast<int32_t>(width * 4);
    SetColorFormatA8R8G8B8(&record->format);
    return 0;
}
