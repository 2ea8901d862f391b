// Flags that a draw hands to the draw-state preparation.
#pragma once

#include <cstdint>

constexpr uint32_t kDrawTransparent = 0x0001;
constexpr uint32_t kDrawIntegerPlacement = 0x0002;
constexpr uint32_t kDrawGouraud = 0x0008;
constexpr uint32_t kDrawColorModulation = 0x0020;
constexpr uint32_t kDrawAlphaModulation = 0x0040;
constexpr uint32_t kDrawFog = 0x0080;
constexpr uint32_t kDrawKeepBlend = 0x0100;
constexpr uint32_t kDrawLighting = 0x0200;
constexpr uint32_t kDrawSpecular = 0x0400;
constexpr uint32_t kDrawDepth3D = 0x0800;
constexpr uint32_t kDrawSettingsAddress = 0x1000;
constexpr uint32_t kDrawKeepShaders = 0x2000;
