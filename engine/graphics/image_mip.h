// Geometry of the mip levels an image record carries one after the other in its pixel block.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"

// Side of mip level `level` of a side of `size` pixels: halved per level, never below 1.
int MipLevelSide(int size, int level);
// Bytes of one row of blocks (DXT, format code 1..5) or pixels at that width.
int64_t MipRowBytes(uint32_t formatCode, int bytesPerPixel, int width);
// Rows of a level of that height: rows of 4 x 4 blocks for DXT, else pixel rows.
int MipRowCount(uint32_t formatCode, int height);
// Number of levels the record holds (1 when it carries no chain).
int ImageMipLevelCount(const ImageRecord* image);
// A view of one level of the record: its sides, row pitch (also for DXT) and first byte inside
// the record's pixel block; the format is copied. -1 when the record holds no such level.
int GetImageMipLevel(const ImageRecord* image, int level, ImageRecord* view);
