// The public string calls.
#include "core/core.h"
#include "draw/draw.h"
#include "draw/draw_settings.h"
#include "draw/draw_stubs.h"
#include "draw/font.h"

int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                       uint32_t edgeColour, int vertical) {
    DrawSettings& s = g_DrawSettings;
    if (text == nullptr || text[0] == '\0' || s.suspended || s.drawAreaEmpty) return 0;
    const FontRecord* record = GetFontRecord(font);
    if (record == nullptr) {
        WriteLog("フォントハンドル値が異常です\n");
        return -1;
    }
    WaitWhileInactive();
    if ((s.blendMode == 3 && record->usesTextures) || GetUseMaskScreenFlag() ||
        s.drawTarget == -4) {
        // A string that starts at or right of the draw area has nothing to show.
        if (x >= s.drawArea.right) return 0;
    }
    // The graph draws of the device path emulate subtraction themselves where the device has no
    // subtract operation.
    if (record->usesTextures) return DrawStringTextured(font, text, x, y, colour, edgeColour, vertical);
    return DrawStringToMemImg(font, x, y, text, colour, edgeColour, vertical);
}

int DrawStringDefault(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour) {
    RefreshDefaultFont();
    return DrawStringWithFont(x, y, text, colour, GetDefaultFontHandle(), edgeColour, 0);
}
