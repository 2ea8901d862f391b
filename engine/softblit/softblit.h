// Software blit kernels: unscaled, stretched, rotated, triangle, box and line drawing
// between software images.
#pragma once

#include "graphics/graphics.h"

// Draws the source unscaled with its top-left pixel at (x, y), clipped to the draw area, under the
// current blend mode, parameter and bright colour. trans non-zero skips the transparent colour
// (or weighs by the source's alpha); the blend image, when given, weighs each pixel.
void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend);

// Draws the source stretched into the rectangle (x1, y1, x2, y2); reversed corners mirror it.
void BlitMemImgStretched(MEMIMG* destination, const MEMIMG* source, const V_RECT* rectangle,
                         int trans, const MEMIMG* blend);
