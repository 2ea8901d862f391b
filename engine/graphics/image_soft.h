// The soft-image table (internal): stored image records named by handles of kind 0x70000000.
#pragma once

#include "graphics/graphics.h"

constexpr int kSoftImageSlots = 8192;
constexpr uint32_t kSoftImageKind = 0x70000000u;

struct StoredSoftImage {
    ImageRecord record;
    uint32_t checkNumber;
};

struct SoftImageTable {
    StoredSoftImage* slots[kSoftImageSlots];
    int liveCount;
    int highWater;  // one past the highest slot in use
};

extern SoftImageTable g_SoftImages;
