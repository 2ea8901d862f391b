// The flat-colour preparation of the triangle, box and line kernels.
#include "softblit/kernel_common.h"

#include <algorithm>

#include "draw/draw_settings.h"
#include "graphics/graphics_services.h"

namespace softblit {

namespace {

uint32_t ScaleChannel(BrightRule rule, uint32_t value, uint32_t bright) {
    if (rule == BrightRule::Table) return GetBrightnessRowsEntry(static_cast<int>(bright), static_cast<int>(value));
    return (value * bright) >> 8;
}

} // namespace

bool PrepareFlat(const MEMIMG* destination, uint32_t colour, BrightRule rule, FlatSetup* setup) {
    if (!IsMemImgValid(destination)) return false;
    const MemImgBase* base = destination->base;
    if (base->paletteFlag == 1 || base->alphaFlag == 1) return false;
    if (base->colorType != kMemImgR5G6B5 && base->colorType != kMemImgX8R8G8B8) return false;

    const DrawSettings& settings = g_DrawSettings;
    int p = std::clamp(settings.blendParameter, 0, 255);
    uint32_t mode = static_cast<uint32_t>(settings.blendMode);
    if (mode > 11 || (mode >= 5 && mode <= 9)) return false;
    if (mode == 1 && p == 255) mode = 0;
    if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return false;

    uint32_t bright = settings.brightColor & 0x00FFFFFF;
    uint32_t kb = bright & 0xFF;
    uint32_t kg = (bright >> 8) & 0xFF;
    uint32_t kr = (bright >> 16) & 0xFF;
    setup->wide = base->colorType == kMemImgX8R8G8B8;
    bool scale = rule == BrightRule::Table || bright != 0x00FFFFFF;
    if (setup->wide) {
        if (scale) {
            colour = (colour & 0xFF000000u) | ScaleChannel(rule, (colour >> 16) & 0xFF, kr) << 16 |
                     ScaleChannel(rule, (colour >> 8) & 0xFF, kg) << 8 |
                     ScaleChannel(rule, colour & 0xFF, kb);
        }
    } else {
        colour &= 0xFFFF;
        if (scale) {
            colour = ScaleChannel(rule, colour >> 11, kr) << 11 |
                     ScaleChannel(rule, (colour >> 5) & 63, kg) << 5 | ScaleChannel(rule, colour & 31, kb);
        }
    }

    const MemImgTables& tables = g_MemImgTables;
    BlitContext& c = setup->context;
    c = {};
    c.p = static_cast<uint32_t>(p);
    c.brightRows[0] = tables.brightnessRows[kb];
    c.brightRows[1] = tables.brightnessRows[kg];
    c.brightRows[2] = tables.brightnessRows[kr];
    c.parameterRow = tables.brightnessRows[p];
    c.stepRow = tables.parameterRows[p] + 256;
    c.mix16Block = tables.blend16Rows[p >> 2];
    c.blendMap = tables.blendImageMap;
    setup->mode = static_cast<int>(mode);
    setup->colour = colour;
    setup->bytes = setup->wide ? 4 : 2;
    return true;
}

} // namespace softblit
