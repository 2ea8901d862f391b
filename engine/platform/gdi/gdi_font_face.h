// FreeType faces opened for matched font files, sized so that a font's ascent and descent
// together fill its cell height. Faces are cached per file, face index and cell height and
// shared by every font object of that size.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>

#include "platform/gdi/gdi_font_match.h"

struct GdiSizedFace {
    FT_Face face;
    int height;   // cell height in pixels
    int ascent;   // ascent + descent == height
    int descent;
    int emPixels26;  // the em size in 26.6 pixels
    int aveWidth;
    int maxWidth;
    bool dualWidth;   // advances are whole multiples of narrowWidth
    int narrowWidth;  // pixels of one narrow cell (dual-width faces)
    FT_Pos narrowUnits;  // font units of one narrow cell (dual-width faces)
    int users;
};

// The one lock of the font stand-in: FreeType faces, the match cache and the font objects.
std::mutex& GdiFontMutex();

// A face of the matched file at the given cell height (1 or more), taken for one more user;
// null when the file cannot be opened. Callers hold the font lock.
GdiSizedFace* GdiAcquireFace(const GdiFaceMatch& match, int height);
// Gives up one use; unused faces stay cached for the next font of that size, up to a bound.
void GdiReleaseFace(GdiSizedFace* face);
