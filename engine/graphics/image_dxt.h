// DXT block decoding (internal).
#pragma once

#include <cstdint>

#include "graphics/graphics.h"

// One 4 x 4 block of DXT format code 1..5 into 16 A8R8G8B8 pixels, row by row.
void DecodeDxtBlock(const uint8_t* block, int formatCode, uint32_t out[16]);

// The first level of a DXT record decoded into a new A8R8G8B8 record of one level; the source
// keeps its blocks. -1 when the source holds no blocks or the new block cannot be allocated.
int DecodeDxtFirstLevel(const ImageRecord* record, ImageRecord* decoded);

// A record whose pixels the converter can read: the record itself when it holds plain pixels,
// else its first level decoded into scratch, which the caller releases (ReleaseImageRecord) when
// its pixels are set. Null when the decoding fails.
const ImageRecord* PlainImageRecord(const ImageRecord* record, ImageRecord* scratch);
