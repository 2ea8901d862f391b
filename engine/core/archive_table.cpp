// The table of open archives and the resolution of a path to the archive that stands in for one
// of its directories. Callers hold the file-layer lock.
#include <cstring>

#include "core/archive.h"
#include "core/file_access.h"

namespace {

constexpr const char kArchiveExtension[] = "VKA";

struct ArchiveSlot {
    int32_t referenceCount;
    ArchiveRecord record;
    char path[kPathBufferSize];
};

ArchiveSlot* g_ArchiveSlots[kMaxArchives];
int g_ArchiveCount;

// The archive the last resolved path went to: its directory prefix and slot.
struct LastArchiveHit {
    int valid;
    int slot;
    size_t prefixLength;
    char prefix[kPathBufferSize];
    char archivePath[kPathBufferSize];
};
LastArchiveHit g_LastHit;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// End of the component that starts at index: the next separator or the terminator.
size_t FindComponentEnd(const char* path, size_t index) {
    while (path[index] != '\0' && !IsSeparator(path[index])) {
        if (IsShiftJisLead(static_cast<unsigned char>(path[index])) && path[index + 1] != '\0')
            ++index;
        ++index;
    }
    return index;
}

void CloseSlot(int index) {
    ArchiveSlot* slot = g_ArchiveSlots[index];
    CloseArchive(&slot->record);
    FreeMemory(slot);
    g_ArchiveSlots[index] = nullptr;
    --g_ArchiveCount;
}

}  // namespace

int AcquireArchive(int hint, const char* path, int mode, int noWait) {
    if (std::strlen(path) >= kPathBufferSize) return -1;
    if (hint >= 0 && hint < kMaxArchives && g_ArchiveSlots[hint] != nullptr &&
        std::strcmp(g_ArchiveSlots[hint]->path, path) == 0) {
        ++g_ArchiveSlots[hint]->referenceCount;
        return hint;
    }
    int empty = -1;
    for (int i = 0, seen = 0; i < kMaxArchives && seen < g_ArchiveCount; ++i) {
        if (g_ArchiveSlots[i] == nullptr) {
            empty = i;
            continue;
        }
        ++seen;
        if (std::strcmp(g_ArchiveSlots[i]->path, path) == 0) {
            ++g_ArchiveSlots[i]->referenceCount;
            return i;
        }
    }
    if (g_ArchiveCount >= kMaxArchives) {
        CloseUnusedArchives();
        if (g_ArchiveCount >= kMaxArchives) return -1;
        empty = -1;
    }
    if (empty < 0) {
        for (int i = 0; i < kMaxArchives; ++i) {
            if (g_ArchiveSlots[i] == nullptr) {
                empty = i;
                break;
            }
        }
    }
    auto* slot = static_cast<ArchiveSlot*>(VELK_ALLOC_ZEROED(sizeof(ArchiveSlot)));
    if (slot == nullptr) return -1;
    InitArchiveRecord(&slot->record);
    // The key setting has no setter here: the built-in key is used.
    const int result = mode == 1 ? OpenArchiveWhole(&slot->record, path, nullptr, noWait)
                                 : OpenArchiveStreamed(&slot->record, path, nullptr);
    if (result != 0) {
        FreeMemory(slot);
        return -1;
    }
    slot->referenceCount = 1;
    std::strcpy(slot->path, path);
    g_ArchiveSlots[empty] = slot;
    ++g_ArchiveCount;
    return empty;
}

void ReleaseArchive(int slot) {
    if (slot < 0 || slot >= kMaxArchives || g_ArchiveSlots[slot] == nullptr) return;
    if (g_ArchiveSlots[slot]->referenceCount > 0) --g_ArchiveSlots[slot]->referenceCount;
}

ArchiveRecord* GetArchiveSlotRecord(int slot) {
    if (slot < 0 || slot >= kMaxArchives || g_ArchiveSlots[slot] == nullptr) return nullptr;
    return &g_ArchiveSlots[slot]->record;
}

int GetArchiveReferenceCount(int slot) {
    if (slot < 0 || slot >= kMaxArchives || g_ArchiveSlots[slot] == nullptr) return -1;
    return g_ArchiveSlots[slot]->referenceCount;
}

int GetOpenArchiveCount() { return g_ArchiveCount; }

int CloseUnusedArchives() {
    for (int i = 0; i < kMaxArchives; ++i)
        if (g_ArchiveSlots[i] != nullptr && g_ArchiveSlots[i]->referenceCount < 1) CloseSlot(i);
    return 0;
}

int ResolveArchivePath(const char* path, int* slotOut, char* archivePath, char* memberPath) {
    char full[kPathBufferSize];
    if (path == nullptr || ConvertArchiveFullPath(path, full) != 0) return -1;

    int slot = -1;
    const char* member = nullptr;
    if (g_LastHit.valid != 0 && std::strncmp(full, g_LastHit.prefix, g_LastHit.prefixLength) == 0 &&
        IsSeparator(full[g_LastHit.prefixLength])) {
        slot = AcquireArchive(g_LastHit.slot, g_LastHit.archivePath, 0, 0);
        if (slot < 0) {
            g_LastHit.valid = 0;  // gone or damaged: later paths walk their prefixes again
            return -1;
        }
        g_LastHit.slot = slot;
        member = full + g_LastHit.prefixLength + 1;
    } else {
        // Walk the directories from the shortest prefix. A path that starts with two separators
        // keeps them; a single leading separator belongs to the first prefix.
        size_t index = 0;
        if (IsSeparator(full[0])) index = IsSeparator(full[1]) ? 2 : 1;
        char candidate[kPathBufferSize];
        for (;;) {
            const size_t end = FindComponentEnd(full, index);
            if (end == index || full[end] == '\0') return -1;
            if (end + sizeof(kArchiveExtension) + 1 >= kPathBufferSize) return -1;
            std::memcpy(candidate, full, end);
            candidate[end] = '.';
            std::strcpy(candidate + end + 1, kArchiveExtension);
            slot = AcquireArchive(-1, candidate, 0, 0);
            if (slot >= 0) {
                g_LastHit.valid = 1;
                g_LastHit.slot = slot;
                g_LastHit.prefixLength = end;
                std::memcpy(g_LastHit.prefix, full, end);
                g_LastHit.prefix[end] = '\0';
                std::strcpy(g_LastHit.archivePath, candidate);
                member = full + end + 1;
                break;
            }
            index = end + 1;
        }
    }
    if (slotOut != nullptr) *slotOut = slot;
    if (archivePath != nullptr) CopyString(archivePath, g_ArchiveSlots[slot]->path);
    if (memberPath != nullptr) CopyString(memberPath, member);
    return 0;
}

int CloseArchives() {
    FileLayerLock lock;
    CloseUnusedArchives();
    return 0;
}
