// The loader tables (internal): user loaders tried first, then the built-in chain.
#pragma once

#include "graphics/graphics.h"

constexpr int kMaxUserImageLoaders = 10;

struct ImageLoaderTable {
    ImageLoader loaders[kMaxUserImageLoaders];
    int count;
};

// Nothing adds user loaders; the count stays 0.
extern ImageLoaderTable g_UserImageLoaders;
// Null-terminated: BMP, JPEG, PNG, raw BGRA, TGA, DDS.
extern const ImageLoader kBuiltinImageLoaders[];
