// The game's colours, each made once from its RGB bytes in the screen's own format.
#pragma once

#include <cstdint>

enum GameColor {
    kColorBlack,      // 0x000000: cleared screen, dimming box, text edges
    kColorWhite,      // 0xFFFFFF: text
    kColorCursor,     // 0x0000FF: the menu item under the cursor, a full energy bar
    kColorChaseLine,  // 0xFF0000: line to a target being chased
    kColorFleeLine,   // 0x0000FF: line from a fleeing insect to its beast
    kColorTreeCount,  // 0x00AF00
    kColorInsectCount,  // 0xAFAFAF
    kColorBeastCount,   // 0xE0A000
    kColorPauseWood,    // 0x50AF00
    kColorPauseInsect,  // 0xA0A0A0
    kColorPauseAnimal,  // 0xF0A000
    kGameColorCount
};

// Builds the table through the engine's GetScreenColor; call after the library has started.
void BuildGameColors();
// The colour value of one entry (built on first use when BuildGameColors was not called).
uint32_t GameColorValue(GameColor color);
