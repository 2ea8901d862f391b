// Find operations of the archive-aware set: a search inside an archive or over plain files.
#include "core/archive.h"
#include "core/direct_file.h"
#include "core/file_access.h"

namespace {

struct ArchiveAwareFind {
    int32_t inArchive;
    int32_t archiveSlot;
    intptr_t inner;  // the platform search or an ArchiveSearch
};

ArchiveSearch* ToSearch(intptr_t inner) { return reinterpret_cast<ArchiveSearch*>(inner); }

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
    return reinterpret_cast<intptr_t>(find);
}

int FindNextArchiveAwareFile(intptr_t handle, FindRecord* record) {
    auto* find = reinterpret_cast<ArchiveAwareFind*>(handle);
    if (find == nullptr || handle == -1) return -1;
    if (find->inArchive != 0) {
        FileLayerLock lock;
        return FindNextArchiveMember(ToSearch(find->inner), record);
    }
    return FindNextDirectFile(find->inner, record);
}

int FindCloseArchiveAwareFile(intptr_t handle) {
    auto* find = reinterpret_cast<ArchiveAwareFind*>(handle);
    if (find == nullptr || handle == -1) return -1;
    FileLayerLock lock;
    if (find->inArchive != 0) {
        FindCloseArchiveMember(ToSearch(find->inner));
        ReleaseArchive(find->archiveSlot);
    } else {
        FindCloseDirectFile(find->inner);
    }
    FreeMemory(find);
    return 0;
}
