// Colours written into a palette image: each colour takes the entry that holds it, else a free
// entry made to hold it, else the nearest entry. A write that covers the whole image starts from
// an empty palette, since no pixel keeps an old entry.
#include <cstring>
#include <unordered_map>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

namespace {

struct PaletteWriter {
    MemImgBase* base;
    bool wide;  // X8R8G8B8 entries, else R5G6B5
    int count;
    uint32_t entries[256];
    std::unordered_map<uint32_t, uint8_t> index;

    PaletteWriter(MemImgBase* b, bool whole) : base(b), wide(b->colorType == kMemImgX8R8G8B8) {
        count = whole ? 0 : b->paletteCount < 0 ? 0 : b->paletteCount > 256 ? 256 : b->paletteCount;
        for (int i = 0; i < count; ++i) {
            entries[i] = GetPaletteEntry(base, i);
            index.emplace(entries[i], static_cast<uint8_t>(i));
        }
    }
    uint32_t Decode(uint32_t value) const {
        return wide ? value & 0xFFFFFF
                    : (value & 0xF800) << 8 | (value & 0x07E0) << 5 | (value & 0x001F) << 3;
    }
    uint8_t IndexOf(uint32_t rgb) {
        const uint32_t value = EncodePaletteEntry(base, rgb);
        auto found = index.find(value);
        if (found != index.end()) return found->second;
        if (count < 256) {
            entries[count] = value;
            index.emplace(value, static_cast<uint8_t>(count));
            return static_cast<uint8_t>(count++);
        }
        // Full: the nearest entry (the lowest index wins a tie); remembered for the next pixel.
        const uint32_t want = Decode(value);
        int best = 0, bestDistance = 0x7FFFFFFF;
        for (int i = 0; i < count; ++i) {
            const uint32_t have = Decode(entries[i]);
            int distance = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int d = static_cast<int>((want >> shift) & 0xFF) -
                              static_cast<int>((have >> shift) & 0xFF);
                distance += d * d;
            }
            if (distance < bestDistance) bestDistance = distance, best = i;
        }
        index.emplace(value, static_cast<uint8_t>(best));
        return static_cast<uint8_t>(best);
    }
    void Store() {
        const size_t size = wide ? 4 : 2;
        for (int i = 0; i < count; ++i) std::memcpy(base->palette + size * i, &entries[i], size);
        std::memcpy(base->paletteSecondHalf, base->palette, wide ? 1024 : 512);
        base->paletteCount = count;
    }
};

bool CoversBase(const MEMIMG* view, int width, int height) {
    return view->pixels == view->base->pixels && width == view->base->width &&
           height == view->base->height;
}

bool Writable(const MEMIMG* view) {
    return IsMemImgValid(view) && view->base->paletteFlag == 1 && view->base->palette != nullptr;
}

}  // namespace

int TransferImageToPaletteMemImg(const ImageRecord* image, const V_RECT* rect, MEMIMG* destination,
                                 int x, int y) {
    if (!Writable(destination)) return -1;
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0) return -1;
    PaletteWriter writer(destination->base, CoversBase(destination, width, height));
    for (int row = 0; row < height; ++row) {
        uint8_t* to =
            destination->pixels + static_cast<size_t>(destination->base->pitch) * (y + row) + x;
        for (int column = 0; column < width; ++column)
            to[column] = writer.IndexOf(
                GetImagePixelArgb(image, rect->left + column, rect->top + row) & 0xFFFFFF);
    }
    writer.Store();
    return 0;
}

int FillPaletteMemImg(MEMIMG* image, uint32_t rgb) {
    if (!Writable(image)) return -1;
    PaletteWriter writer(image->base, CoversBase(image, image->width, image->height));
    FillMemImgRect(image, nullptr, writer.IndexOf(rgb & 0xFFFFFF));
    writer.Store();
    return 0;
}
