// Test fixture of the font system: graphics started on either path with a glyph source of
// plain rectangles, so that every glyph's pixels and metrics are known.
#pragma once

#include <cstring>
#include <string>

#include "core/log_capture.h"
#include "draw/draw.h"
#include "draw/draw_fixture.h"
#include "draw/font.h"
#include "platform/gdi/gdi_font.h"

// Glyphs of fixed metrics: ascent 3/4 of the height; every character but the space is a
// rectangle (3 x 5 for '.', 2 x 1 for '-', else 6 x 10) with its top 8 rows above the baseline,
// left bearing 1 and advance 8, filled with the given coverage.
class RectangleGlyphs : public V_GlyphSource {
public:
    int coverage = 255;
    int maxWidth = 8;
    int overhang = 0;  // added to the width of the 6 x 10 glyphs, past the advance
    void Metrics(int height, int, int* ascent, int* descent, int* width) override {
        *ascent = height * 3 / 4;
        *descent = height - *ascent;
        *width = maxWidth;
    }
    bool Glyph(int, int, uint32_t codePoint, int* width, int* rows, int* originX, int* originY,
               int* advance, uint8_t* out, size_t capacity) override {
        *advance = 8;
        *originX = 1;
        *originY = 8;
        if (codePoint == 0x20 || codePoint == 0x3000) {
            *width = *rows = 0;
            return false;
        }
        *width = codePoint == '.' ? 3 : codePoint == '-' ? 2 : 6 + overhang;
        *rows = codePoint == '.' ? 5 : codePoint == '-' ? 1 : 10;
        if (out != nullptr)
            std::memset(out, coverage, std::min(capacity, static_cast<size_t>(*width * *rows)));
        return true;
    }
};

class FontTest : public DrawTest {
protected:
    RectangleGlyphs glyphs;
    void SetUp() override {
        DrawTest::SetUp();
        StartFreshLog();
        V_SetGlyphSourceForTest(&glyphs);
    }
    void TearDown() override {
        DrawTest::TearDown();  // ends the graphics and with them the fonts
        V_SetGlyphSourceForTest(nullptr);
    }
    static FontRecord* Font(int handle) { return GetFontRecord(handle); }
    static int Measure(int handle, const char* text, int vertical = 0) {
        return DrawGlyphRun(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, handle, 0, -1,
                            vertical, nullptr);
    }
    // A memory-cache byte of a type 1-3 font: column x, row y of the cell's glyph area.
    static int CacheByte(const FontRecord* f, int cell, int x, int y) {
        int cx = 0, cy = 0;
        GlyphCellOrigin(f, cell, &cx, &cy);
        return f->memoryCache[(cy + y) * f->memoryPitch + cx + x];
    }
    static uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }
};
