// Software blit kernels: unscaled, stretched, rotated, triangle, box and line drawing
// between software images.
#pragma once

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

// Draws the source unscaled with its top-left pixel at (x, y), clipped to the draw area, under the
// current blend mode, parameter and bright colour. trans non-zero skips the transparent colour
// (or weighs by the source's alpha); the blend image, when given, weighs each pixel.
void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend);

// Draws the source stretched into the rectangle (x1, y1, x2, y2); reversed corners mirror it.
void BlitMemImgStretched(MEMIMG* destination, const MEMIMG* source, const V_RECT* rectangle,
                         int trans, const MEMIMG* blend);

// ---------------------------------------------------------------- triangles, rotation, boxes, lines

// A triangle corner: destination pixel (x, y) and source position (u, v) in whole source pixels.
struct TriangleVertex {
    int32_t x;
    int32_t y;
    int32_t u;
    int32_t v;
};

// One line of DrawMemImgLines. The blend parameter is stored by the callers and not read: every
// line is drawn with the parameter of the draw settings.
struct LineRecord {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    uint32_t colour;
    int32_t blendParameter;
};

// Fills the triangle of the three corners (any order, either winding): textured from the source
// mapped affinely across it, or, with no source, with the colour in the destination's format.
void FillMemImgTriangle(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* vertices,
                        int trans, const MEMIMG* blend, uint32_t colour);

// Draws the triangles of corners 0, 1, 2 and of corners 1, 2, 3 (a quadrilateral split along its
// diagonal 1-2), each as FillMemImgTriangle draws it. When corners 0 and 3 lie on either side of
// the diagonal, the second triangle leaves out the pixels the first has drawn, so that every
// pixel of the quadrilateral is drawn once, also under a blending mode.
void FillMemImgTrianglePair(MEMIMG* destination, const MEMIMG* source, const TriangleVertex* corners,
                            int trans, const MEMIMG* blend, uint32_t colour);

// Draws the source turned by angle (radians, clockwise on screen) and scaled about its centre
// pixel, which lands on (x, y). turn non-zero mirrors it left to right: the same pixels are
// drawn, each taking the texel of the mirrored column.
void BlitMemImgRotated(MEMIMG* destination, const MEMIMG* source, int x, int y, float angle,
                       float scale, int trans, int turn, const MEMIMG* blend);

// Draws the whole source onto the quadrilateral whose points (x0, y0 ... x3, y3) take the source's
// top-left, top-right, bottom-left and bottom-right corners, as the pair of triangles 0, 1, 2 and
// 1, 2, 3 (FillMemImgTrianglePair).
void FillMemImgQuad(MEMIMG* destination, const MEMIMG* source, const int32_t* points, int trans,
                    const MEMIMG* blend);

// Fills the rectangle (left, top, right, bottom; corners in either order; null for the whole
// image) with the colour under the current blend mode.
void FillMemImgBox(MEMIMG* destination, const int32_t* rectangle, uint32_t colour);

// Draws the line from (x1, y1) to (x2, y2), the end point excluded.
void DrawMemImgLine(MEMIMG* destination, int x1, int y1, int x2, int y2, uint32_t colour);
void DrawMemImgLines(MEMIMG* destination, const LineRecord* lines, int count);
