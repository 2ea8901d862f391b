// Find operations of the archive-aware set: a search inside an archive or over plain files.
#include "core/archive.h"
#include "core/direct_file.h"
#include "core/file_access.h"

namespace {

struct ArchiveAwareFind {
    int32_t inArchive;
    int32_t archiveSlot;
    intptr_t inner;  // the platform search or an ArchiveSearch
    int32_t check;   // the check number of the handle that reaches this entry
};

// Searches are reached through checked handles, like the library's other handles: a base, an
// 11-bit check number and the slot, so that a forged handle or a second close is refused.
constexpr int kMaxFinds = 256;
constexpr intptr_t kFindHandleBase = 0x38000000;
constexpr int kFindCheckShift = 16;
constexpr int kFindCheckMask = 0x7FF;

ArchiveAwareFind* g_FindTable[kMaxFinds];
int g_FindCheck;

ArchiveSearch* ToSearch(intptr_t inner) { return reinterpret_cast<ArchiveSearch*>(inner); }

// The entry of a live find handle, or null; the caller holds the file layer lock.
ArchiveAwareFind* GetFind(intptr_t handle) {
    if (handle < 0 || (handle & ~((intptr_t{kFindCheckMask} << kFindCheckShift) | 0xFFFF)) !=
                          kFindHandleBase)
        return nullptr;
    const intptr_t index = handle & 0xFFFF;
    if (index >= kMaxFinds || g_FindTable[index] == nullptr) return nullptr;
    ArchiveAwareFind* find = g_FindTable[index];
    return find->check == ((handle >> kFindCheckShift) & kFindCheckMask) ? find : nullptr;
}

// Enters a search into a free slot; -1 when every slot is taken.
intptr_t AddFind(ArchiveAwareFind* find) {
    int index = 0;
    while (index < kMaxFinds && g_FindTable[index] != nullptr) ++index;
    if (index == kMaxFinds) return -1;
    g_FindCheck = (g_FindCheck + 1) & kFindCheckMask;
    find->check = g_FindCheck;
    g_FindTable[index] = find;
    return kFindHandleBase | (intptr_t{find->check} << kFindCheckShift) | index;
}

// Ends the search behind an entry and frees it.
void CloseFind(ArchiveAwareFind* find) {
    if (find->inArchive != 0) {
        FindCloseArchiveMember(ToSearch(find->inner));
        ReleaseArchive(find->archiveSlot);
    } else {
        FindCloseDirectFile(find->inner);
    }
    FreeMemory(find);
}

}  // namespace

intptr_t FindFirstArchiveAwareFile(const char* pattern, FindRecord* record) {
    FileLayerLock lock;
    auto* find = static_cast<ArchiveAwareFind*>(VELK_ALLOC_ZEROED(sizeof(ArchiveAwareFind)));
    if (find == nullptr) return -1;
    int slot = -1;
    char memberPattern[kPathBufferSize];
    if (ResolveArchivePath(pattern, &slot, nullptr, memberPattern) == 0) {
        find->inArchive = 1;
        find->archiveSlot = slot;
        ArchiveSearch* search = FindFirstArchiveMember(GetArchiveSlotRecord(slot), memberPattern, record);
        find->inner = search != nullptr ? reinterpret_cast<intptr_t>(search) : -1;
        if (search == nullptr) ReleaseArchive(slot);
    } else {
        find->inner = FindFirstDirectFile(pattern, record);
    }
    if (find->inner == -1) {
        FreeMemory(find);
        return -1;
    }
    const intptr_t handle = AddFind(find);
    if (handle == -1) CloseFind(find);
    return handle;
}

int FindNextArchiveAwareFile(intptr_t handle, FindRecord* record) {
    FileLayerLock lock;
    ArchiveAwareFind* find = GetFind(handle);
    if (find == nullptr) return -1;
    if (find->inArchive != 0) return FindNextArchiveMember(ToSearch(find->inner), record);
    return FindNextDirectFile(find->inner, record);
}

int FindCloseArchiveAwareFile(intptr_t handle) {
    FileLayerLock lock;
    ArchiveAwareFind* find = GetFind(handle);
    if (find == nullptr) return -1;
    g_FindTable[handle & 0xFFFF] = nullptr;
    CloseFind(find);
    return 0;
}
