// Searching an archive directory with a wildcard pattern: ".", ".." (below the root) and then
// the directory's entries, reported as FindRecords.
#include <cstring>

#include "core/archive.h"
#include "platform/kernel/kernel.h"

namespace {

// Copies a zero-padded name copy of 4 × L bytes into a terminated buffer.
void CopyNameCopy(const unsigned char* source, size_t length, char* destination, size_t capacity) {
    size_t n = 0;
    while (n < length && n + 1 < capacity && source[n] != 0) {
        destination[n] = static_cast<char>(source[n]);
        ++n;
    }
    destination[n] = '\0';
}

void ConvertArchiveTime(uint64_t fileTime, DateTimeRecord* record) {
    V_FILETIME time;
    time.dwLowDateTime = static_cast<V_DWORD>(fileTime);
    time.dwHighDateTime = static_cast<V_DWORD>(fileTime >> 32);
    ConvertFileTimeToDateTime(&time, record);
}

void FillDotRecord(const char* name, FindRecord* found) {
    std::memset(found, 0, sizeof(*found));
    CopyString(found->name, name);
    found->directoryFlag = 1;
}

}  // namespace

int FillArchiveFindRecord(ArchiveSearch* search, FindRecord* found) {
    const ArchiveRecord* record = search->archive;
    ArchiveDir dir;
    if (!ReadArchiveDir(record, search->dir, &dir)) return -1;
    const uint32_t dotCount = dir.parent == kArchiveRootParent ? 1 : 2;
    const uint32_t recordSize = GetArchiveFileRecordSize(record->header.version);
    const uint64_t total = static_cast<uint64_t>(dotCount) + dir.entryCount;
    for (uint64_t index = search->index; index < total; ++index) {
        if (index < dotCount) {
            const char* dotName = index == 0 ? "." : "..";
            if (MatchWildcard(dotName, search->pattern) != 0) continue;
            search->index = static_cast<uint32_t>(index);
            if (found != nullptr) FillDotRecord(dotName, found);
            return 0;
        }
        ArchiveEntry entry;
        if (!ReadArchiveEntry(record, dir.firstEntry + (index - dotCount) * recordSize, &entry))
            return -1;
        uint16_t length4 = 0;
        uint16_t sum = 0;
        const unsigned char* upper = nullptr;
        const unsigned char* written = nullptr;
        if (!ReadArchiveNameRecord(record, entry.nameOffset, &length4, &sum, &upper, &written))
            return -1;
        char upperName[kArchiveMaxNameBytes + 4];
        CopyNameCopy(upper, 4 * static_cast<size_t>(length4), upperName, sizeof(upperName));
        if (MatchWildcard(upperName, search->pattern) != 0) continue;
        search->index = static_cast<uint32_t>(index);
        if (found != nullptr) {
            std::memset(found, 0, sizeof(*found));
            CopyNameCopy(written, 4 * static_cast<size_t>(length4), found->name, sizeof(found->name));
            found->directoryFlag = (entry.attributes & kArchiveDirectoryAttribute) != 0 ? 1 : 0;
            found->sizeLow = entry.size;
            found->sizeHigh = 0;
            ConvertArchiveTime(entry.creationTime, &found->creationTime);
            ConvertArchiveTime(entry.lastWriteTime, &found->lastWriteTime);
        }
        return 0;
    }
    return -1;
}

ArchiveSearch* FindFirstArchiveMember(ArchiveRecord* record, const char* pattern,
                                      FindRecord* found) {
    WaitArchiveLoaded(record);
    if (std::strlen(pattern) >= kPathBufferSize) return nullptr;
    auto* search = static_cast<ArchiveSearch*>(VELK_ALLOC_ZEROED(sizeof(ArchiveSearch)));
    if (search == nullptr) return nullptr;
    char directory[kPathBufferSize];
    SplitPathName(pattern, directory, search->pattern);
    UpperCaseString(directory);
    UpperCaseString(search->pattern);
    search->archive = record;
    search->dir = record->currentDir;
    if (directory[0] != '\0' &&
        WalkArchiveDir(record, &search->dir, directory, nullptr, nullptr) != 0) {
        FreeMemory(search);
        return nullptr;
    }
    search->index = 0;
    if (FillArchiveFindRecord(search, found) != 0) {
        FreeMemory(search);
        return nullptr;
    }
    ++search->index;
    return search;
}

int FindNextArchiveMember(ArchiveSearch* search, FindRecord* found) {
    if (FillArchiveFindRecord(search, found) != 0) return -1;
    ++search->index;
    return 0;
}

int FindCloseArchiveMember(ArchiveSearch* search) {
    FreeMemory(search);
    return 0;
}
