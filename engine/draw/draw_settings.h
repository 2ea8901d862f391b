// The draw settings block read by every draw call and by the software kernels.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct DrawSettings {
    V_RECT drawArea;        // clipping rectangle of every draw; right and bottom exclusive
    int32_t blendMode;      // 0..11
    int32_t blendParameter; // 0..255
    uint32_t brightColor;   // 0x00RRGGBB (bytes blue, green, red, 0); 0x00FFFFFF is white
};

// Zero until the graphics start-up resets it.
inline DrawSettings g_DrawSettings = {};
