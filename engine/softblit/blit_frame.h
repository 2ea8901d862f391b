// What the blit kernels share per call: the guard, the mode rules, the table rows picked from the
// draw settings, and the clip against the draw area.
#pragma once

#include <algorithm>
#include <cstdint>

#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "softblit/blit_dispatch.h"

namespace softblit {

struct FrameSetup {
    KernelChoice choice;   // depth, source kind, mode and modifiers (form left Normal)
    BlitContext context;
    int parameter;
    int sourceBytes;       // bytes per source pixel
    int destinationBytes;
};

// Refuses (false) what draws nothing: views that are not valid, colour types that differ or are
// not 16- or 32-bit, a palette or alpha destination, a blend image smaller than the source, and
// the modes and parameters that draw nothing. Otherwise fills the setup from the draw settings.
bool PrepareFrame(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend, int trans,
                  FrameSetup* setup);

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
