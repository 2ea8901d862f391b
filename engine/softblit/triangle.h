// The triangle kernel's textured quadrilateral: two triangles drawn with one set-up.
#pragma once

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/softblit.h"

namespace softblit {

// Draws the textured triangles of corners 0, 1, 2 and of corners 1, 2, 3 as FillMemImgTrianglePair
// does, with the frame, the draw bounds and the texel loop chosen once.
void DrawTexturedQuad(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* corners,
                      int trans, const MEMIMG* blend);

} // namespace softblit
