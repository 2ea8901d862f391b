// Drawing into an image with alpha. The kernels draw into plain 16- and 32-bit images only, so a
// draw into an alpha image runs the same kernel call twice on plain stand-ins: once on the image's
// colour, and once on its alpha held as a grey picture. In the alpha pass the source is replaced
// by its own alpha s (the texel's alpha, 255 for an opaque pixel, 0 for the transparent colour
// when keyed; a flat colour's is 255) times the parameter in modes 1 to 3, as grey and as the
// weight, so the target's alpha is blended as its colour is, with the draw's alpha as the value
// (the device's rule): mode 0 writes s, modes 1 and 10 give a + (s - a) * s / 255, mode 2
// a + s * s / 255, mode 3 a - s * s / 255 and mode 4 a * s / 255; mode 11 leaves it.
#pragma once

#include <cstdint>

#include "draw/draw_settings.h"
#include "graphics/graphics_services.h"

namespace softblit {

inline bool IsAlphaTarget(const MEMIMG* destination) {
    return IsMemImgValid(destination) && destination->base->alphaFlag == 1 &&
           destination->base->paletteFlag == 0 &&
           (destination->base->colorType == kMemImgR5G6B5 ||
            destination->base->colorType == kMemImgX8R8G8B8);
}

// The stand-ins of one draw into an alpha image.
struct AlphaPasses {
    MEMIMG colour;    // the destination's colour, in its colour type without alpha
    MEMIMG grey;      // the destination's alpha as grey, 32-bit
    MEMIMG coverage;  // the source's coverage, 32-bit (with alpha when the source is weighed)
    bool hasCoverage;
    bool alphaPass;                    // the mode changes the alpha (0 to 4 and 10)
    uint32_t flatGrey;                 // a flat colour's alpha as 0x00RRGGBB grey
    int64_t left, top, right, bottom;  // the part of the destination a draw may reach
};

// Makes the stand-ins; false when nothing can be drawn (the draw area misses the destination, or
// an image cannot be made).
bool BeginAlphaPasses(MEMIMG* destination, const MEMIMG* source, int trans, AlphaPasses* passes);
// Writes the stand-ins' colour and alpha back into the destination and releases them.
void EndAlphaPasses(MEMIMG* destination, AlphaPasses* passes);

// Runs draw(target, source, colour) on both stand-ins; the alpha pass under a white bright colour.
template <class Draw>
void DrawIntoAlphaTarget(MEMIMG* destination, const MEMIMG* source, int trans, uint32_t colour,
                         Draw draw) {
    AlphaPasses passes;
    if (!BeginAlphaPasses(destination, source, trans, &passes)) return;
    draw(&passes.colour, source, colour);
    if (passes.alphaPass) {
        const uint32_t bright = g_DrawSettings.brightColor;
        g_DrawSettings.brightColor = 0x00FFFFFF;
        draw(&passes.grey, passes.hasCoverage ? &passes.coverage : nullptr, passes.flatGrey);
        g_DrawSettings.brightColor = bright;
    }
    EndAlphaPasses(destination, &passes);
}

}  // namespace softblit
