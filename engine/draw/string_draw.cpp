// The public string calls.
#include <algorithm>

#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw.h"
#include "draw/draw_coords.h"
#include "draw/draw_settings.h"
#include "draw/font.h"
#include "draw/mask.h"
#include "graphics/device.h"

int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                       uint32_t edgeColour, int vertical) {
    if (!FontSystemUp()) return -1;
    DrawSettings& s = g_DrawSettings;
    if (text == nullptr || text[0] == '\0' || s.suspended || s.drawAreaEmpty) return 0;
    const FontRecord* record = GetFontRecord(font);
    if (record == nullptr) {
        WriteLog("フォントハンドル値が異常です\n");
        return -1;
    }
    WaitWhileInactive();
    const bool masked = g_MaskScreen.active != 0;
    V_RECT rect{};
    if ((s.blendMode == 3 && record->usesTextures) || masked || s.drawTarget == -4) {
        int extent = SaturatingAdd(record->size, 3);
        rect = vertical ? V_RECT{x, y, SaturatingAdd(x, extent), s.drawArea.bottom}
                        : V_RECT{x, y, s.drawArea.right, SaturatingAdd(y, extent)};
        // A string that starts at or right of the draw area has nothing to show.
        if (rect.left >= s.drawArea.right) return 0;
    }
    if (masked) {
        // The bracket holds every pixel the glyphs write: edge margins, turned vertical glyphs
        // and italic overhangs reach past the font size's rectangle. (The textures are made
        // first: making them empties the cache the measure fills.)
        if (record->usesTextures) MakeGlyphCacheTextures(font);
        V_RECT glyphs{};
        MeasureGlyphRun(font, text, vertical, nullptr, &glyphs);
        if (glyphs.left < glyphs.right && glyphs.top < glyphs.bottom) {
            rect.left = std::min(rect.left, SaturatingAdd(x, glyphs.left));
            rect.top = std::min(rect.top, SaturatingAdd(y, glyphs.top));
            rect.right = std::max(rect.right, SaturatingAdd(x, glyphs.right));
            rect.bottom = std::max(rect.bottom, SaturatingAdd(y, glyphs.bottom));
        }
    }
    if (masked) BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
    // The graph draws of the device path emulate subtraction themselves where the device has no
    // subtract operation.
    int result = record->usesTextures
                     ? DrawStringTextured(font, text, x, y, colour, edgeColour, vertical)
                     : DrawStringToMemImg(font, x, y, text, colour, edgeColour, vertical);
    if (masked) EndMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
    return result;
}

int DrawStringDefault(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour) {
    if (!FontSystemUp()) return -1;
    RefreshDefaultFont();
    return DrawStringWithFont(x, y, text, colour, GetDefaultFontHandle(), edgeColour, 0);
}
