// The shared frame of the blit kernels: the per-call setup and the clip against the draw area.
#include "softblit/blit_frame.h"

#include <algorithm>

#include "draw/draw_settings.h"

namespace softblit {

bool PrepareFrame(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend, int trans,
                  FrameSetup* setup) {
    if (!IsMemImgValid(destination) || !IsMemImgValid(source)) return false;
    const MemImgBase* to = destination->base;
    const MemImgBase* from = source->base;
    if (to->colorType != from->colorType) return false;
    if (to->paletteFlag == 1 || to->alphaFlag == 1) return false;
    if (from->colorType != kMemImgR5G6B5 && from->colorType != kMemImgX8R8G8B8) return false;
    if (source->width <= 0 || source->height <= 0) return false;
    if (blend != nullptr) {
        if (!IsMemImgValid(blend)) return false;
        if (blend->width < source->width || blend->height < source->height) return false;
    }
    SourceKind kind = from->paletteFlag == 1 ? SourceKind::Palette
                      : from->alphaFlag == 1 ? SourceKind::Alpha
                                             : SourceKind::Direct;
    if (kind == SourceKind::Palette && from->palette == nullptr) return false;

    const DrawSettings& settings = g_DrawSettings;
    int p = std::clamp(settings.blendParameter, 0, 255);
    uint32_t mode = static_cast<uint32_t>(settings.blendMode);
    if (mode > 11 || (mode >= 5 && mode <= 9)) return false;
    if (mode == 1 && p == 255) mode = 0;
    if ((mode == 1 || mode == 2) && p == 0) return false;
    if (mode == 3 && p == 0 && kind != SourceKind::Palette) return false;

    uint32_t bright = settings.brightColor;
    const MemImgTables& tables = g_MemImgTables;
    BlitContext& c = setup->context;
    c.p = static_cast<uint32_t>(p);
    c.key = from->transparentColor;
    c.brightRows[0] = tables.brightnessRows[bright & 0xFF];
    c.brightRows[1] = tables.brightnessRows[(bright >> 8) & 0xFF];
    c.brightRows[2] = tables.brightnessRows[(bright >> 16) & 0xFF];
    c.parameterRow = tables.brightnessRows[p];
    c.stepRow = tables.parameterRows[p] + 256;
    c.mix16Block = tables.blend16Rows[p >> 2];
    c.blendMap = tables.blendImageMap;
    c.palette = from->palette;

    KernelChoice& choice = setup->choice;
    choice.wide = from->colorType == kMemImgX8R8G8B8;
    choice.kind = kind;
    choice.mode = static_cast<int>(mode);
    choice.blend = blend != nullptr;
    choice.white = (bright & 0x00FFFFFF) == 0x00FFFFFF;
    choice.keyed = trans != 0;
    choice.form = Form::Normal;
    choice.pairs = false;
    setup->parameter = p;
    // The bytes per pixel of the images that pass the checks above.
    setup->sourceBytes = kind == SourceKind::Palette                   ? 1
                         : choice.wide || kind == SourceKind::Alpha ? 4
                                                                    : 2;
    setup->destinationBytes = choice.wide ? 4 : 2;
    return true;
}

bool ClipToDrawArea(const MEMIMG* destination, DrawBounds* rect) {
    DrawBounds bounds;
    return GetDrawBounds(destination, &bounds) && ClampToBounds(bounds, rect);
}

} // namespace softblit
