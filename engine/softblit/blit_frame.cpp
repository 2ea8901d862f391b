// The shared frame of the blit kernels: the per-call setup and the clip against the draw area.
#include "softblit/blit_frame.h"

#include <algorithm>

#include "draw/draw_settings.h"
#include "graphics/graphics_services.h"

namespace softblit {

void FillFrameTables(FrameSetup* setup) {
    const uint32_t bright = g_DrawSettings.brightColor;
    const uint32_t p = setup->context.p;
    const MemImgTables& tables = g_MemImgTables;
    BlitContext& c = setup->context;
    c.brightRows[0] = tables.brightnessRows[bright & 0xFF];
    c.brightRows[1] = tables.brightnessRows[(bright >> 8) & 0xFF];
    c.brightRows[2] = tables.brightnessRows[(bright >> 16) & 0xFF];
    c.parameterRow = tables.brightnessRows[p];
    c.stepRow = tables.parameterRows[p] + 256;
    c.mix16Block = tables.blend16Rows[p >> 2];
    c.blendMap = tables.blendImageMap;
}

bool ClipToDrawArea(const MEMIMG* destination, DrawBounds* rect) {
    DrawBounds bounds;
    return GetDrawBounds(destination, &bounds) && ClampToBounds(bounds, rect);
}

} // namespace softblit
