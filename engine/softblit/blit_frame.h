// What the blit kernels share per call: the guard, the mode rules, the table rows picked from the
// draw settings, and the clip against the draw area.
#pragma once

#include <algorithm>
#include <cstdint>

#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_dispatch.h"

namespace softblit {

struct FrameSetup {
    KernelChoice choice;   // depth, source kind, mode and modifiers (form left Normal)
    BlitContext context;
    int parameter;
    int sourceBytes;       // bytes per source pixel
    int destinationBytes;
};

// IsMemImgValid, inline: the frame's checks run on every call.
inline bool IsViewValid(const MEMIMG* view) {
    return view != nullptr && view->tag == kMemImgTag && view->base != nullptr;
}

// Refuses (false) what draws nothing: views that are not valid, colour types that differ or are
// not 16- or 32-bit, a palette or alpha destination, a blend image smaller than the source, and
// the modes and parameters that draw nothing. Otherwise fills the choice, the parameter, the
// bytes and the context's parameter, key and palette; the table rows are left to
// FillFrameTables, so that a call drawn by a block form never looks them up. Always inlined: the
// caller then reads the choice from registers, not back from the small stores that filled it.
[[gnu::always_inline]] inline bool CheckFrame(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend, int trans,
                       FrameSetup* setup) {
    if (!IsViewValid(destination) || !IsViewValid(source)) return false;
    const MemImgBase* to = destination->base;
    const MemImgBase* from = source->base;
    const int32_t type = from->colorType;
    if (to->colorType != type || (type != kMemImgR5G6B5 && type != kMemImgX8R8G8B8)) return false;
    if (to->paletteFlag == 1 || to->alphaFlag == 1) return false;
    if (source->width <= 0 || source->height <= 0) return false;
    if (blend != nullptr) {
        if (!IsViewValid(blend)) return false;
        if (blend->width < source->width || blend->height < source->height) return false;
    }
    const SourceKind kind = from->paletteFlag == 1 ? SourceKind::Palette
                            : from->alphaFlag == 1 ? SourceKind::Alpha
                                                   : SourceKind::Direct;
    if (kind == SourceKind::Palette && from->palette == nullptr) return false;

    const DrawSettings& settings = g_DrawSettings;
    const int p = std::clamp(settings.blendParameter, 0, 255);
    uint32_t mode = static_cast<uint32_t>(settings.blendMode);
    // Modes 0 to 4, 10 and 11 draw; 5 to 9 and the rest are refused.
    if (mode > 11 || ((0xC1Fu >> mode) & 1) == 0) return false;
    if (p == 255 && mode == 1) mode = 0;
    if (p == 0 && (mode == 1 || mode == 2 || (mode == 3 && kind != SourceKind::Palette))) return false;

    const bool wide = type == kMemImgX8R8G8B8;
    BlitContext& c = setup->context;
    c.p = static_cast<uint32_t>(p);
    c.key = from->transparentColor;
    c.palette = from->palette;

    KernelChoice& choice = setup->choice;
    choice.wide = wide;
    choice.kind = kind;
    choice.mode = static_cast<int>(mode);
    choice.blend = blend != nullptr;
    choice.white = (settings.brightColor & 0x00FFFFFF) == 0x00FFFFFF;
    choice.keyed = trans != 0;
    choice.form = Form::Normal;
    choice.pairs = false;
    setup->parameter = p;
    // The bytes per pixel of the images that pass the checks above.
    setup->sourceBytes = kind == SourceKind::Palette ? 1 : wide || kind == SourceKind::Alpha ? 4 : 2;
    setup->destinationBytes = wide ? 4 : 2;
    return true;
}

// The context's table rows: bright rows from the draw settings' bright colour, the rows and the
// mix block of the parameter, and the blend-image map.
void FillFrameTables(FrameSetup* setup);

// CheckFrame and FillFrameTables.
inline bool PrepareFrame(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend, int trans,
                         FrameSetup* setup) {
    if (!CheckFrame(destination, source, blend, trans, setup)) return false;
    FillFrameTables(setup);
    return true;
}

// A rectangle in destination pixels (right and bottom exclusive), in 64 bits.
struct DrawBounds {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

// The draw area intersected with the destination; false when the intersection is empty.
inline bool GetDrawBounds(const MEMIMG* destination, DrawBounds* bounds) {
    const V_RECT& area = g_DrawSettings.drawArea;
    bounds->left = std::max<int64_t>(area.left, 0);
    bounds->top = std::max<int64_t>(area.top, 0);
    bounds->right = std::min<int64_t>(area.right, destination->width);
    bounds->bottom = std::min<int64_t>(area.bottom, destination->height);
    return bounds->right > bounds->left && bounds->bottom > bounds->top;
}

// Clamps a rectangle into the bounds (a reversed rectangle collapses); false when it comes out
// empty.
inline bool ClampToBounds(const DrawBounds& bounds, DrawBounds* rect) {
    rect->right = std::max(rect->right, rect->left);
    rect->bottom = std::max(rect->bottom, rect->top);
    rect->left = std::clamp(rect->left, bounds.left, bounds.right);
    rect->right = std::clamp(rect->right, bounds.left, bounds.right);
    rect->top = std::clamp(rect->top, bounds.top, bounds.bottom);
    rect->bottom = std::clamp(rect->bottom, bounds.top, bounds.bottom);
    return rect->right > rect->left && rect->bottom > rect->top;
}

// Clips (left, top, right, bottom) in place against the draw area and the destination; false
// when nothing is left.
bool ClipToDrawArea(const MEMIMG* destination, DrawBounds* rect);

void RunGeneralKernel(const KernelChoice& choice, const BlitJob& job);
void RunFastKernel(const KernelChoice& choice, const BlitJob& job);
void RunStretchedKernel(const KernelChoice& choice, const BlitJob& job);

} // namespace softblit
