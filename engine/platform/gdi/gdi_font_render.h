// Glyph images: rendering one glyph of a sized FreeType face to coverage, and packing a
// coverage image into the platform's glyph bitmap formats.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi_font_face.h"

// A glyph as coverage, 0..255 per pixel, row-major, top row first. A blank glyph has no
// pixels (width or rows 0) but still an advance.
struct GdiGlyphImage {
    int width = 0;
    int rows = 0;
    int originX = 0;  // left bearing
    int originY = 0;  // rows above the baseline
    int advance = 0;
    std::vector<uint8_t> coverage;
};

// Synthetic styles applied to the outline when the face itself lacks them.
struct GdiSynthesis {
    bool embolden = false;
    bool slant = false;
};

// Renders the glyph of a Unicode code point; a code point the face lacks gives its missing
// glyph (glyph 0). mono: without anti-aliasing (coverage 0 or 255). False only when FreeType
// fails. Callers hold the font lock.
bool GdiRenderGlyph(GdiSizedFace* face, uint32_t codePoint, bool mono, GdiSynthesis synthesis,
                    GdiGlyphImage* image);

// Pixels that emboldening adds to a glyph's width and advance.
int GdiEmboldenPixels(const GdiSizedFace* face);

// Bytes of the packed bitmap of the given format (GGO_BITMAP, GGO_GRAY2/4/8_BITMAP) for a
// glyph of width x rows pixels; rows are padded to 4 bytes. 0 for an unknown format.
uint32_t GdiPackedRowBytes(uint32_t format, int width);
// Writes the packed bitmap of the image (GdiPackedRowBytes x rows bytes) into out.
void GdiPackGlyph(const GdiGlyphImage& image, uint32_t format, uint8_t* out);
