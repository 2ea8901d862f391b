// Drawing and fonts services to the other subsystems: the font system's start, end and
// re-creation.
#pragma once

#include "draw/draw.h"

// Font system start and end of the graphics system, and re-creation after the device.
int InitFontSystem();
int EndFonts();
int RecreateAllFonts();
