// DXT block decoding (internal).
#pragma once

#include <cstdint>

// One 4 x 4 block of DXT format code 1..5 into 16 A8R8G8B8 pixels, row by row.
void DecodeDxtBlock(const uint8_t* block, int formatCode, uint32_t out[16]);
