// The transparent index of a palette image: the entry whose colour is the transparent colour.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

void SetMemImgPaletteKey(MEMIMG* image, uint32_t rgb) {
    if (!IsMemImgValid(image)) return;
    MemImgBase* base = image->base;
    if (base->paletteFlag != 1 || base->palette == nullptr || base->pixels == nullptr) return;
    // The transparent colour as the palette holds its entries, so that an entry matches exactly
    // when a direct image of the same colours would match its key.
    const uint32_t key = EncodePaletteEntry(base, rgb);
    auto entry = [&](int i) { return GetPaletteEntry(base, i); };
    int first = -1;
    bool others = false;
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i) {
        remap[i] = static_cast<uint8_t>(i);
        if (entry(i) != key) continue;
        if (first < 0) first = i;
        else remap[i] = static_cast<uint8_t>(first), others = true;
    }
    // No entry of the colour: a key beyond the indices, which no pixel matches.
    if (first < 0) {
        base->transparentColor = kNoPaletteKey;
        return;
    }
    // Every pixel of the colour takes the one index the kernels compare with (the colours
    // drawn stay the same).
    if (others) {
        for (int y = 0; y < base->height; ++y) {
            uint8_t* row = base->pixels + static_cast<size_t>(base->pitch) * y;
            for (int x = 0; x < base->width; ++x) row[x] = remap[row[x]];
        }
    }
    base->transparentColor = static_cast<uint32_t>(first);
}
