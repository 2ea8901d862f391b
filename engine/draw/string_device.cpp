// Strings on the device path: each glyph drawn from the font's cache textures with the graph
// draw calls, tinted through the bright colour.
#include "draw/draw.h"
#include "draw/draw_settings.h"
#include "draw/font.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"

namespace {

void SetTint(uint32_t tint) {
    SetDrawBrightness(static_cast<int>((tint >> 16) & 0xFF), static_cast<int>((tint >> 8) & 0xFF),
                      static_cast<int>(tint & 0xFF));
}

// One glyph from one cache graph. Vertical glyphs are turned a quarter turn clockwise, their top
// toward +x; only the glyph's own rectangle of the texture is drawn.
void DrawCell(int graph, const GlyphPlacement& place) {
    if (!place.vertical) {
        DrawGraphPart(place.x, place.y, place.cellX, place.cellY, place.width, place.height, graph,
                      1, 0);
        return;
    }
    int cell = CreateSubGraph(place.cellX, place.cellY, place.width, place.height, graph);
    if (cell < 0) return;
    float right = static_cast<float>(place.x + 1) - 0.5f;
    float left = static_cast<float>(place.x + 1 - place.height) - 0.5f;
    float top = static_cast<float>(place.y) - 0.5f;
    float bottom = static_cast<float>(place.y + place.width) - 0.5f;
    // The image's top-left, top-right, bottom-right and bottom-left corners.
    DrawGraphQuad(right, top, right, bottom, left, bottom, left, top, cell, 1);
    DeleteGraph(cell);
}

}  // namespace

void DrawGlyphTextured(const FontRecord* font, const GlyphPlacement& place,
                       const GlyphColors& colors) {
    const DrawSettings& s = g_DrawSettings;
    int blendGraph = s.blendGraph, border = s.blendBorder, range = s.blendRange;
    uint32_t bright = s.brightColor;
    const int mode = s.blendMode, parameter = s.blendParameter;
    // Glyphs are drawn without the blend graph: the device's blend texture goes too.
    if (blendGraph != -1) SetBlendGraph(-1, border, range);
    // A multiplied glyph leaves its cell's empty texels out: the product weighed by the texels'
    // alpha, as blending toward the product at full strength draws it.
    if (mode == kMultiplyMode) SetBlendMode(kTowardProductMode, 255);
    if ((font->type & kFontEdged) && font->edgeGraph != -1) {
        SetTint(colors.edgeTint);
        DrawCell(font->edgeGraph, place);
    }
    SetTint(colors.bodyTint);
    DrawCell(font->cacheGraph, place);
    if (mode == kMultiplyMode) SetBlendMode(mode, parameter);
    // The setting comes back even where the device cannot take the graph's texture now.
    if (blendGraph != -1 && SetBlendGraph(blendGraph, border, range) != 0 &&
        IsValidGraphHandle(blendGraph))
        g_DrawSettings.blendGraph = blendGraph;
    SetDrawBrightnessPacked(bright & 0x00FFFFFF);
}

int DrawStringTextured(int handle, const char* text, int x, int y, uint32_t colour,
                       uint32_t edgeColour, int vertical) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr || !font->usesTextures) return 0;
    if (MakeGlyphCacheTextures(handle) != 0) return 0;
    DrawGlyphRun(1, x, y, 0, 1.0, 1.0, text, colour, nullptr, &g_DrawSettings.drawArea, 1, handle,
                 edgeColour, -1, vertical, nullptr);
    return 0;
}
