// TGA loader: colour-mapped and true-colour images, plain and run-length encoded.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/image_stream.h"

namespace {

constexpr int kTgaMaxSide = 8192;
constexpr int kFooterSize = 26;

struct TgaHeader {
    int idLength;
    int mapType;
    int imageType;
    int mapFirst;
    int mapLength;
    int mapEntryBits;
    int xOrigin, yOrigin;
    int width, height;
    int pixelDepth;
    int descriptor;
};

TgaHeader ParseHeader(const uint8_t* h) {
    return TgaHeader{h[0],           h[1],           h[2],        ReadLe16(h + 3),
                     ReadLe16(h + 5), h[7],          ReadLe16(h + 8), ReadLe16(h + 10),
                     ReadLe16(h + 12), ReadLe16(h + 14), h[16],      h[17]};
}

// Run-length packets over elements of elementBytes each into out, until count elements are
// written. False when the data ends first.
bool DecodeRle(const uint8_t* data, size_t size, int elementBytes, uint8_t* out, size_t count) {
    size_t at = 0, written = 0;
    while (written < count) {
        if (at >= size) return false;
        uint8_t h = data[at++];
        size_t n = (h & 0x7Fu) + 1;
        if (n > count - written) n = count - written;
        if (h & 0x80) {
            if (size - at < static_cast<size_t>(elementBytes)) return false;
            for (size_t i = 0; i < n; ++i)
                std::memcpy(out + (written + i) * elementBytes, data + at, elementBytes);
            at += elementBytes;
        } else {
            size_t bytes = n * elementBytes;
            if (size - at < bytes) return false;
            std::memcpy(out + written * elementBytes, data + at, bytes);
            at += bytes;
        }
        written += n;
    }
    return true;
}

// The rest of the stream, less the footer when there is one. Null when it cannot be read.
uint8_t* ReadRest(StreamHolder* stream, bool footer, size_t* size) {
    int64_t rest = RemainingStreamBytes(stream) - (footer ? kFooterSize : 0);
    if (rest < 0) rest = 0;
    uint8_t* data = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(rest) + 1));
    if (!data) return nullptr;
    if (!ReadStreamExact(stream, data, static_cast<size_t>(rest))) {
        FreeMemory(data);
        return nullptr;
    }
    *size = static_cast<size_t>(rest);
    return data;
}

// Turns the pixel block left-to-right and top-down. Returns the block to keep (null on
// allocation failure, with the old block still owned by the caller).
uint8_t* Orient(uint8_t* pixels, int width, int height, int bytes, bool rightToLeft,
                bool bottomUp) {
    if (!rightToLeft && !bottomUp) return pixels;
    size_t pitch = static_cast<size_t>(width) * bytes;
    uint8_t* out = static_cast<uint8_t*>(VELK_ALLOC(pitch * height + 1));
    if (!out) return nullptr;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = pixels + (bottomUp ? height - 1 - y : y) * pitch;
        uint8_t* dst = out + y * pitch;
        if (!rightToLeft) {
            std::memcpy(dst, src, pitch);
        } else {
            for (int x = 0; x < width; ++x)
                std::memcpy(dst + x * bytes, src + (width - 1 - x) * bytes, bytes);
        }
    }
    return out;
}

}  // namespace

int LoadTgaImage(StreamHolder* stream, ImageRecord* record) {
    bool footer = false;
    uint8_t tail[kFooterSize];
    if (RemainingStreamBytes(stream) >= kFooterSize) {
        SeekStream(stream, -kFooterSize, 2);
        if (ReadStreamExact(stream, tail, kFooterSize) &&
            std::memcmp(tail + 8, "TRUEVISION-XFILE", 16) == 0 && ReadLe32(tail) == 0)
            footer = true;
    }
    SeekStream(stream, 0, 0);

    uint8_t raw[18];
    if (!ReadStreamExact(stream, raw, sizeof(raw))) return -1;
    TgaHeader h = ParseHeader(raw);
    bool mapped = h.imageType == 1 || h.imageType == 9;
    if (h.imageType != 1 && h.imageType != 2 && h.imageType != 9 && h.imageType != 10) return -1;
    if (h.xOrigin != 0 || h.yOrigin != 0) return -1;
    if (h.width > kTgaMaxSide || h.height > kTgaMaxSide) return -1;
    int depth = mapped ? h.mapEntryBits : h.pixelDepth;
    if (depth != 16 && depth != 24 && depth != 32) return -1;
    if (mapped && (h.pixelDepth != 8 || h.mapType != 1)) return -1;
    int bytes = depth / 8;

    // Skip the image-ID field; a colour map in a true-colour image is skipped too.
    uint8_t skip[256];
    if (!ReadStreamExact(stream, skip, h.idLength)) return -1;
    uint8_t table[256 * 4] = {};
    if (h.mapType == 1 || mapped) {
        int entryBytes = (h.mapEntryBits + 7) / 8;
        size_t mapBytes = static_cast<size_t>(h.mapLength) * entryBytes;
        uint8_t* map = static_cast<uint8_t*>(VELK_ALLOC(mapBytes + 1));
        if (!map) return -1;
        if (!ReadStreamExact(stream, map, mapBytes)) {
            FreeMemory(map);
            return -1;
        }
        if (mapped) {
            for (int i = 0; i < h.mapLength && h.mapFirst + i < 256; ++i)
                std::memcpy(table + (h.mapFirst + i) * bytes, map + i * bytes, bytes);
        }
        FreeMemory(map);
    }

    size_t count = static_cast<size_t>(h.width) * h.height;
    uint8_t* pixels = static_cast<uint8_t*>(VELK_ALLOC(count * bytes + 1));
    if (!pixels) return -1;
    bool ok = true;
    if (h.imageType == 2) {
        ok = ReadStreamExact(stream, pixels, count * bytes);
    } else if (h.imageType == 10) {
        size_t size = 0;
        uint8_t* data = ReadRest(stream, footer, &size);
        ok = data && DecodeRle(data, size, bytes, pixels, count);
        if (data) FreeMemory(data);
    } else {
        uint8_t* indices = static_cast<uint8_t*>(VELK_ALLOC(count + 1));
        ok = indices != nullptr;
        if (ok && h.imageType == 1) {
            ok = ReadStreamExact(stream, indices, count);
        } else if (ok) {
            size_t size = 0;
            uint8_t* data = ReadRest(stream, footer, &size);
            ok = data && DecodeRle(data, size, 1, indices, count);
            if (data) FreeMemory(data);
        }
        if (ok)
            for (size_t i = 0; i < count; ++i)
                std::memcpy(pixels + i * bytes, table + indices[i] * bytes, bytes);
        if (indices) FreeMemory(indices);
    }
    if (!ok) {
        FreeMemory(pixels);
        return -1;
    }

    uint8_t* oriented = Orient(pixels, h.width, h.height, bytes, (h.descriptor & 0x10) != 0,
                               (h.descriptor & 0x20) == 0);
    if (!oriented) {
        FreeMemory(pixels);
        return -1;
    }
    if (oriented != pixels) FreeMemory(pixels);

    if (depth == 16)
        SetColorFormatFromMasks(&record->format, 16, 0x7C00, 0x3E0, 0x1F, 0);
    else if (depth == 24)
        SetColorFormatR8G8B8(&record->format);
    else
        SetColorFormatA8R8G8B8(&record->format);
    record->pixels = oriented;
    record->width = h.width;
    record->height = h.height;
    record->pitch = h.width * bytes;
    return 0;
}
