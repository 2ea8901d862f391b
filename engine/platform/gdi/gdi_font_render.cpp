// Glyph rendering with FreeType and packing into 1-bit and grey-level bitmaps.
#include "platform/gdi/gdi_font_render.h"

#include FT_ADVANCES_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstring>

#include "platform/gdi/gdi_font.h"

namespace {

constexpr uint32_t kGgoGray2 = 4;
constexpr uint32_t kGgoGray8 = 6;


int Advance(const GdiSizedFace* face, FT_GlyphSlot slot) {
    if (face->dualWidth && face->narrowUnits > 0) {
        // Whole narrow cells, as a fixed-pitch font advances: full-width glyphs take two.
        FT_Fixed units = 0;
        FT_Get_Advance(face->face, slot->glyph_index, FT_LOAD_NO_SCALE, &units);
        auto cells = static_cast<int>((units + face->narrowUnits / 2) / face->narrowUnits);
        return face->narrowWidth * std::max(cells, 1);
    }
    return static_cast<int>((slot->linearHoriAdvance + 0x8000) >> 16);
}

void CopyCoverage(const FT_Bitmap& bitmap, GdiGlyphImage* image) {
    image->coverage.assign(static_cast<size_t>(image->width) * image->rows, 0);
    for (int y = 0; y < image->rows; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        uint8_t* out = image->coverage.data() + static_cast<size_t>(y) * image->width;
        for (int x = 0; x < image->width; ++x) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else if (bitmap.num_grays > 1 && bitmap.num_grays != 256)
                out[x] = static_cast<uint8_t>(row[x] * 255 / (bitmap.num_grays - 1));
            else
                out[x] = row[x];
        }
    }
}

}  // namespace

bool GdiRenderGlyph(GdiSizedFace* face, uint32_t codePoint, bool mono, GdiSynthesis synthesis,
                    GdiGlyphImage* image) {
    *image = GdiGlyphImage{};
    FT_Face ft = face->face;
    FT_UInt index = codePoint ? FT_Get_Char_Index(ft, codePoint) : 0;
    // Without anti-aliasing the auto-hinter gives cleaner strokes at small sizes than the
    // fonts' own instructions for one-bit rendering.
    FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT
                                               : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(ft, index, flags) != 0) return false;
    FT_GlyphSlot slot = ft->glyph;
    image->advance = Advance(face, slot);
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (synthesis.slant) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
            FT_Outline_Transform(&slot->outline, &shear);
        }
        if (synthesis.embolden) {
            // Horizontal only, by whole pixels: the cell height stays, the glyph widens.
            FT_Pos strength = GdiEmboldenPixels(face) * 64;
            // Emboldening moves both edges of a stem by half the strength; the shift keeps
            // the left edge in place, so a hinted stem grows by whole pixels to the right.
            if (slot->outline.n_points > 0) {
                FT_Outline_EmboldenXY(&slot->outline, strength, 0);
                FT_Outline_Translate(&slot->outline, strength / 2, 0);
            }
            image->advance += GdiEmboldenPixels(face);
        }
    }
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points == 0) return true;
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
        return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.width == 0 || bitmap.rows == 0 || !bitmap.buffer) return true;
    image->width = static_cast<int>(bitmap.width);
    image->rows = static_cast<int>(bitmap.rows);
    image->originX = slot->bitmap_left;
    image->originY = slot->bitmap_top;
    CopyCoverage(bitmap, image);
    return true;
}

int GdiEmboldenPixels(const GdiSizedFace* face) {
    // At least one pixel, growing with the size (one per 24 pixels of em).
    return std::max(1, (face->emPixels26 / 24 + 32) / 64);
}

uint32_t GdiPackedRowBytes(uint32_t format, int width) {
    if (width <= 0) return 0;
    auto w = static_cast<uint32_t>(width);
    if (format == V_GGO_BITMAP) return (w + 31) / 32 * 4;
    if (format == kGgoGray2 || format == V_GGO_GRAY4_BITMAP || format == kGgoGray8)
        return (w + 3) / 4 * 4;
    return 0;
}

void GdiPackGlyph(const GdiGlyphImage& image, uint32_t format, uint8_t* out) {
    uint32_t pitch = GdiPackedRowBytes(format, image.width);
    std::memset(out, 0, static_cast<size_t>(pitch) * image.rows);
    int levels = format == kGgoGray2 ? 4 : format == kGgoGray8 ? 64 : 16;
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* in = image.coverage.data() + static_cast<size_t>(y) * image.width;
        uint8_t* row = out + static_cast<size_t>(y) * pitch;
        for (int x = 0; x < image.width; ++x) {
            if (format == V_GGO_BITMAP) {
                if (in[x] >= 128) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else {
                row[x] = static_cast<uint8_t>((in[x] * levels + 127) / 255);
            }
        }
    }
}
