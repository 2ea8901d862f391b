// Bit depth and channel masks of the device's plain pixel formats, by format number. Used where
// a format number must become a colour format (texture transfers, numeric codes in DDS files).
#pragma once

#include <cstdint>

struct DeviceFormatMasks {
    int format;
    int bits;
    uint32_t red, green, blue, alpha;
};

inline constexpr DeviceFormatMasks kDeviceFormatMasks[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u},
};
inline constexpr int kDeviceFormatCount = sizeof(kDeviceFormatMasks) / sizeof(kDeviceFormatMasks[0]);
