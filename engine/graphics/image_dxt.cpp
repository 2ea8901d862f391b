// DXT block decoding: a compressed record becomes A8R8G8B8 pixels in place.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/image_dxt.h"
#include "graphics/image_mip.h"

namespace {

struct Rgba {
    int r, g, b, a;
};

uint32_t PackArgb(const Rgba& c) {
    return (static_cast<uint32_t>(c.a) << 24) | (static_cast<uint32_t>(c.r) << 16) |
           (static_cast<uint32_t>(c.g) << 8) | static_cast<uint32_t>(c.b);
}

Rgba Expand565(uint16_t c) {
    return Rgba{((c >> 11) & 31) * 255 / 31, ((c >> 5) & 63) * 255 / 63, (c & 31) * 255 / 31, 255};
}

// The four colours of a colour half; DXT1 blocks with colour 0 <= colour 1 have three and a
// transparent fourth.
void ColorTable(const uint8_t* half, bool dxt1, Rgba colors[4]) {
    uint16_t c0 = static_cast<uint16_t>(half[0] | (half[1] << 8));
    uint16_t c1 = static_cast<uint16_t>(half[2] | (half[3] << 8));
    Rgba a = Expand565(c0), b = Expand565(c1);
    colors[0] = a;
    colors[1] = b;
    if (!dxt1 || c0 > c1) {
        colors[2] = Rgba{(2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3, 255};
        colors[3] = Rgba{(a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3, 255};
    } else {
        colors[2] = Rgba{(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255};
        colors[3] = colors[2];
        colors[3].a = 0;
    }
}

void ExplicitAlpha(const uint8_t* half, int alpha[16]) {
    uint64_t v;
    std::memcpy(&v, half, 8);
    for (int i = 0; i < 16; ++i) alpha[i] = static_cast<int>((v >> (4 * i)) & 0xF) * 255 / 15;
}

void InterpolatedAlpha(const uint8_t* half, int alpha[16]) {
    int a0 = half[0], a1 = half[1];
    int values[8] = {a0, a1};
    if (a0 > a1) {
        for (int i = 1; i <= 6; ++i) values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i <= 4; ++i) values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        values[6] = 0;
        values[7] = 255;
    }
    uint32_t low = half[2] | (half[3] << 8) | (half[4] << 16);
    uint32_t high = half[5] | (half[6] << 8) | (half[7] << 16);
    for (int i = 0; i < 16; ++i) {
        uint32_t bits = i < 8 ? low : high;
        alpha[i] = values[(bits >> (3 * (i % 8))) & 7];
    }
}

// Premultiplied colours back to straight ones; a zero alpha keeps the colour, and the result
// is limited to 255.
void Unpremultiply(Rgba* c) {
    if (c->a == 0) return;
    int* channels[3] = {&c->r, &c->g, &c->b};
    for (int* ch : channels) {
        int v = *ch * 255 / c->a;
        *ch = v > 255 ? 255 : v;
    }
}

}  // namespace

// Decodes one block of the given DXT format (1..5) into 16 pixels, row by row.
void DecodeDxtBlock(const uint8_t* block, int formatCode, uint32_t out[16]) {
    bool dxt1 = formatCode == 1;
    const uint8_t* colorHalf = dxt1 ? block : block + 8;
    Rgba colors[4];
    ColorTable(colorHalf, dxt1, colors);
    uint32_t indices = colorHalf[4] | (colorHalf[5] << 8) | (colorHalf[6] << 16) |
                       (static_cast<uint32_t>(colorHalf[7]) << 24);
    int alpha[16];
    if (formatCode == 2 || formatCode == 3) ExplicitAlpha(block, alpha);
    if (formatCode == 4 || formatCode == 5) InterpolatedAlpha(block, alpha);
    for (int i = 0; i < 16; ++i) {
        Rgba c = colors[(indices >> (2 * i)) & 3];
        if (!dxt1) c.a = alpha[i];
        if (formatCode == 2 || formatCode == 4) Unpremultiply(&c);
        out[i] = PackArgb(c);
    }
}

namespace {

// The first `levels` levels of the record's chain of blocks decoded into one new block of
// A8R8G8B8 levels, each packed at 4 x its width bytes a row (the layout of a plain record's mip
// chain). Partial blocks at the right or bottom edge write only the pixels inside the level.
// Null when the block cannot be allocated.
uint8_t* DecodeDxtLevels(const ImageRecord* record, int levels) {
    const int code = static_cast<int>(record->format.formatCode);
    // An empty image holds no blocks at all (the loader reads none), whatever its mip count.
    if (record->width == 0 || record->height == 0) levels = 0;
    const int blockSize = code == 1 ? 8 : 16;
    size_t size = 0;
    for (int level = 0; level < levels; ++level)
        size += static_cast<size_t>(MipLevelSide(record->width, level)) * 4 *
                static_cast<size_t>(MipLevelSide(record->height, level));
    uint8_t* pixels = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(size ? size : 1));
    if (!pixels) return nullptr;
    const uint8_t* block = record->pixels;
    uint8_t* out = pixels;
    for (int level = 0; level < levels; ++level) {
        const int width = MipLevelSide(record->width, level);
        const int height = MipLevelSide(record->height, level);
        const size_t pitch = static_cast<size_t>(width) * 4;
        for (int by = 0; by < (height + 3) / 4; ++by) {
            int rows = height - by * 4 < 4 ? height - by * 4 : 4;
            uint8_t* rowPointers[4];
            for (int r = 0; r < rows; ++r) rowPointers[r] = out + static_cast<size_t>(by * 4 + r) * pitch;
            for (int bx = 0; bx < (width + 3) / 4; ++bx, block += blockSize) {
                int columns = width - bx * 4 < 4 ? width - bx * 4 : 4;
                uint32_t decoded[16];
                DecodeDxtBlock(block, code, decoded);
                for (int r = 0; r < rows; ++r)
                    std::memcpy(rowPointers[r] + bx * 16, decoded + r * 4,
                                static_cast<size_t>(columns) * 4);
            }
        }
        out += pitch * static_cast<size_t>(height);
    }
    return pixels;
}

bool IsDecodableDxtRecord(const ImageRecord* record) {
    const uint32_t code = record->format.formatCode;
    return code >= 1 && code <= 5 && record->width >= 0 && record->height >= 0 &&
           record->pixels != nullptr;
}

}  // namespace

// Every level the record carries is decoded, so that its mip count still describes its block.
int DecodeDxtImage(ImageRecord* record) {
    if (record->format.formatCode == 0) return 0;
    if (!IsDecodableDxtRecord(record)) return -1;
    uint8_t* pixels = DecodeDxtLevels(record, ImageMipLevelCount(record));
    if (!pixels) return -1;
    FreeMemory(record->pixels);
    record->pixels = pixels;
    SetColorFormatA8R8G8B8(&record->format);
    record->pitch = record->width * 4;
    if (record->width == 0 || record->height == 0) record->mipCount = 0;
    return 0;
}

int DecodeDxtFirstLevel(const ImageRecord* record, ImageRecord* decoded) {
    *decoded = {};
    if (!IsDecodableDxtRecord(record)) return -1;
    uint8_t* pixels = DecodeDxtLevels(record, 1);
    if (!pixels) return -1;
    decoded->width = record->width;
    decoded->height = record->height;
    decoded->pitch = record->width * 4;
    decoded->pixels = pixels;
    SetColorFormatA8R8G8B8(&decoded->format);
    return 0;
}

const ImageRecord* PlainImageRecord(const ImageRecord* record, ImageRecord* scratch) {
    *scratch = {};
    if (record->format.formatCode == 0) return record;
    return DecodeDxtFirstLevel(record, scratch) == 0 ? scratch : nullptr;
}
