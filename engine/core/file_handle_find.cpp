// Find operations of the archive-aware set: a search inside an archive or over plain files.
#include <algorithm>
#include <vector>

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
// 11-bit check number and the slot, so that a forged handle or a second close is refused. The
// table grows as searches are opened, up to the 65,536 slots a handle can name.
constexpr int kMaxFinds = 0x10000;
constexpr intptr_t kFindHandleBase = 0x38000000;
constexpr int kFindCheckShift = 16;
constexpr int kFindCheckMask = 0x7FF;

std::vector<ArchiveAwareFind*>& FindTable() {
    static auto* table = new std::vector<ArchiveAwareFind*>(64, nullptr);  // lives to the end
    return *table;
}
int g_FindCheck;
int g_FindFree;  // no slot below this one is free

ArchiveSearch* ToSearch(intptr_t inner) { return reinterpret_cast<ArchiveSearch*>(inner); }

// The entry of a live find handle, or null; the caller holds the file layer lock.
ArchiveAwareFind* GetFind(intptr_t handle) {
    if (handle < 0 || (handle & ~((intptr_t{kFindCheckMask} << kFindCheckShift) | 0xFFFF)) !=
                          kFindHandleBase)
        return nullptr;
    const std::vector<ArchiveAwareFind*>& table = FindTable();
    const size_t index = static_cast<size_t>(handle & 0xFFFF);
    if (index >= table.size() || table[index] == nullptr) return nullptr;
    ArchiveAwareFind* find = table[index];
    return find->check == ((handle >> kFindCheckShift) & kFindCheckMask) ? find : nullptr;
}

// Enters a search into a free slot, growing the table when every slot is taken; -1 when the
// table holds as many searches as handles can name.
intptr_t AddFind(ArchiveAwareFind* find) {
    std::vector<ArchiveAwareFind*>& table = FindTable();
    size_t index = static_cast<size_t>(g_FindFree);
    while (index < table.size() && table[index] != nullptr) ++index;
    if (index == table.size()) {
        if (table.size() >= static_cast<size_t>(kMaxFinds)) return -1;
        table.resize(std::min(table.size() * 2, static_cast<size_t>(kMaxFinds)), nullptr);
    }
    g_FindFree = static_cast<int>(index) + 1;
    g_FindCheck = (g_FindCheck + 1) & kFindCheckMask;
    find->check = g_FindCheck;
    table[index] = find;
    return kFindHandleBase | (intptr_t{find->check} << kFindCheckShift) | static_cast<intptr_t>(index);
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
    const int index = static_cast<int>(handle & 0xFFFF);
    FindTable()[static_cast<size_t>(index)] = nullptr;
    if (index < g_FindFree) g_FindFree = index;
    CloseFind(find);
    return 0;
}
