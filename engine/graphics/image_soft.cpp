// Soft-image handles: only deletion exists; the table is emptied at library end.
#include "graphics/image_soft.h"

SoftImageTable g_SoftImages;

int DeleteSoftImage(int handle) {
    if (handle < 0) return -1;
    uint32_t h = static_cast<uint32_t>(handle);
    if ((h & 0x78000000u) != kSoftImageKind) return -1;
    int slot = static_cast<int>(h & 0xFFFFu);
    if (slot >= kSoftImageSlots) return -1;
    StoredSoftImage* stored = g_SoftImages.slots[slot];
    if (!stored || stored->checkNumber != ((h >> 16) & 0x7FFu)) return -1;
    ReleaseImageRecord(&stored->record);
    --g_SoftImages.liveCount;
    g_SoftImages.slots[slot] = nullptr;
    if (slot == g_SoftImages.highWater - 1) {
        int top = slot;
        while (top > 0 && !g_SoftImages.slots[top - 1]) --top;
        g_SoftImages.highWater = top;
    }
    FreeMemory(stored);
    return 0;
}

int DeleteAllSoftImages() {
    for (int slot = g_SoftImages.highWater - 1; slot >= 0; --slot) {
        StoredSoftImage* stored = g_SoftImages.slots[slot];
        if (!stored) continue;
        int handle = static_cast<int>(((stored->checkNumber | (kSoftImageKind >> 16)) << 16) |
                                      static_cast<uint32_t>(slot));
        DeleteSoftImage(handle);
    }
    return 0;
}
