// The mask handle table: validation, making and deleting masks.
#include <cstring>

#include "core/core.h"
#include "draw/mask.h"
#include "graphics/graph_handle.h"

MaskTable g_MaskTable;

MaskRecord* GetMaskRecord(int handle) {
    int slot = HandleSlot(handle, kMaskHandleKind, kMaskSlots);
    if (slot < 0) return nullptr;
    MaskRecord* record = &g_MaskTable.records[slot];
    if (!record->used || !HandleCheckMatches(record->checkNumber, handle)) return nullptr;
    return record;
}

int MakeMask(int width, int height) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return -1;
    int slot = 0;
    while (slot < kMaskSlots && g_MaskTable.records[slot].used) ++slot;
    if (slot == kMaskSlots) return -1;
    // Rows of whole 32-bit words, as the mask screen's buffer.
    int pitch = (width + 3) & ~3;
    auto* data = static_cast<uint8_t*>(
        VELK_ALLOC_ZEROED(static_cast<size_t>(pitch) * static_cast<size_t>(height)));
    if (data == nullptr) return -1;
    MaskRecord& record = g_MaskTable.records[slot];
    record = {};
    record.checkNumber = NextCheckNumber(&g_MaskTable.checkCounter);
    record.data = data;
    record.width = width;
    record.height = height;
    record.pitch = pitch;
    record.used = 1;
    ++g_MaskTable.count;
    return MakeHandle(record.checkNumber, kMaskHandleKind, slot);
}

int DeleteMask(int handle) {
    MaskRecord* record = GetMaskRecord(handle);
    if (record == nullptr) return -1;
    if (record->data != nullptr) FreeMemory(record->data);
    std::memset(record, 0, sizeof(*record));
    --g_MaskTable.count;
    return 0;
}

int DeleteAllMasks() {
    for (int slot = 0; slot < kMaskSlots; ++slot) {
        const MaskRecord& record = g_MaskTable.records[slot];
        if (record.used) DeleteMask(MakeHandle(record.checkNumber, kMaskHandleKind, slot));
    }
    return 0;
}
