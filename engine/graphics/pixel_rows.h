// Vector row kernels for the commonest pixel conversions (internal to the converter). Each
// converts the leading pixels of a row that it can take whole and returns how many; the caller
// converts the rest one by one, to the same bits.
#pragma once

#include <cstdint>

// True when the processor has the instructions the kernels use.
bool HasPixelRowKernels();

// 24-bit B, G, R bytes to R5G6B5 (each channel's top bits).
int Rgb24To565Row(uint8_t* to, const uint8_t* from, int count);
// 32-bit X8R8G8B8 (or A8R8G8B8 with the alpha dropped) to R5G6B5.
int Xrgb32To565Row(uint8_t* to, const uint8_t* from, int count);
// 24-bit B, G, R bytes to X8R8G8B8 with the top byte 0xFF.
int Rgb24ToXrgb32Row(uint8_t* to, const uint8_t* from, int count);
