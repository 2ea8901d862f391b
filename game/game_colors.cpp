#include "game_colors.h"

#include "game_engine.h"

namespace {

// The colours are written as 0xRRGGBB and read as such: each becomes a screen colour through
// GetScreenColor. Handed to the draw calls as they stand, a value would be taken as a 16-bit
// R5G6B5 pixel from its low bits, so red 0xFF0000 would draw black and the others would be
// off-colour; the RGB reading is the one the values plainly mean.
constexpr uint32_t kGameColorRgb[kGameColorCount] = {
    0x000000, 0xFFFFFF, 0x0000FF, 0xFF0000, 0x0000FF, 0x00AF00,
    0xAFAFAF, 0xE0A000, 0x50AF00, 0xA0A0A0, 0xF0A000,
};

uint32_t g_GameColors[kGameColorCount];
bool g_GameColorsBuilt = false;

}  // namespace

void BuildGameColors() {
    for (int i = 0; i < kGameColorCount; ++i) {
        const uint32_t rgb = kGameColorRgb[i];
        g_GameColors[i] = Engine().GetScreenColor(static_cast<int>((rgb >> 16) & 0xFF),
                                                  static_cast<int>((rgb >> 8) & 0xFF),
                                                  static_cast<int>(rgb & 0xFF));
    }
    g_GameColorsBuilt = true;
}

uint32_t GameColorValue(GameColor color) {
    if (!g_GameColorsBuilt) BuildGameColors();
    return g_GameColors[color];
}
