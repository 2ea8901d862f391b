// Looking names up in an archive's directory tables. Lookups walk a directory cursor of their
// own, so that readers on several threads can look up members of one archive at once.
#include <cstring>

#include "core/archive.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True when the name record at nameOffset has the stored form of name.
bool NameMatches(const ArchiveRecord* record, uint32_t nameOffset, const ArchiveName* name) {
    uint16_t length4 = 0;
    uint16_t sum = 0;
    const unsigned char* upper = nullptr;
    const unsigned char* written = nullptr;
    if (!ReadArchiveNameRecord(record, nameOffset, &length4, &sum, &upper, &written)) return false;
    return length4 == name->length4 && sum == name->sum &&
           std::memcmp(upper, name->upper, 4 * static_cast<size_t>(length4)) == 0;
}

// Searches one directory for an entry of the given kind and name.
bool SearchDir(const ArchiveRecord* record, uint32_t dirOffset, const ArchiveName* name,
               bool wantDirectory, ArchiveEntry* found) {
    ArchiveDir dir;
    if (!ReadArchiveDir(record, dirOffset, &dir)) return false;
    const uint32_t recordSize = GetArchiveFileRecordSize(record->header.version);
    for (uint32_t i = 0; i < dir.entryCount; ++i) {
        ArchiveEntry entry;
        if (!ReadArchiveEntry(record, dir.firstEntry + static_cast<uint64_t>(i) * recordSize, &entry))
            return false;
        const bool isDirectory = (entry.attributes & kArchiveDirectoryAttribute) != 0;
        if (isDirectory == wantDirectory && NameMatches(record, entry.nameOffset, name)) {
            *found = entry;
            return true;
        }
    }
    return false;
}

}  // namespace

int BuildArchiveName(const char* text, size_t* byteLength, ArchiveName* name) {
    std::memset(name, 0, sizeof(*name));
    size_t length = 0;
    unsigned int sum = 0;
    while (text[length] != '\0' && !IsSeparator(text[length])) {
        const auto byte = static_cast<unsigned char>(text[length]);
        if (IsShiftJisLead(byte) && text[length + 1] != '\0') {
            if (length + 2 > static_cast<size_t>(kArchiveMaxNameBytes)) return -1;
            name->upper[length] = byte;
            name->upper[length + 1] = static_cast<unsigned char>(text[length + 1]);
            sum += byte + static_cast<unsigned char>(text[length + 1]);
            length += 2;
            continue;
        }
        if (length + 1 > static_cast<size_t>(kArchiveMaxNameBytes)) return -1;
        const unsigned char upper = (byte >= 'a' && byte <= 'z') ? byte - 'a' + 'A' : byte;
        name->upper[length] = upper;
        sum += upper;
        ++length;
    }
    name->length4 = static_cast<uint16_t>(length / 4 + 1);
    name->sum = static_cast<uint16_t>(sum);
    *byteLength = length;
    return 0;
}

int FindInArchiveDir(const ArchiveName* name, const ArchiveRecord* record, uint32_t* dir) {
    ArchiveEntry entry;
    if (!SearchDir(record, *dir, name, true, &entry)) return -1;
    ArchiveDir target;
    if (!ReadArchiveDir(record, entry.dataOffset, &target)) return -1;
    *dir = entry.dataOffset;
    return 0;
}

int WalkArchiveDir(const ArchiveRecord* record, uint32_t* dir, const char* path,
                   ArchiveName* failingName, const char** failingComponent) {
    ArchiveName local;
    ArchiveName* name = failingName != nullptr ? failingName : &local;
    if (std::strcmp(path, ".") == 0) return 0;
    if (std::strcmp(path, "\\") == 0 || std::strcmp(path, "/") == 0) {
        *dir = 0;
        return 0;
    }
    if (std::strcmp(path, "..") == 0) {
        ArchiveDir current;
        ArchiveDir parent;
        if (!ReadArchiveDir(record, *dir, &current) || current.parent == kArchiveRootParent ||
            !ReadArchiveDir(record, current.parent, &parent))
            return -1;
        *dir = current.parent;
        return 0;
    }
    const char* p = path;
    while (*p != '\0') {
        size_t length = 0;
        if (failingComponent != nullptr) *failingComponent = p;
        if (BuildArchiveName(p, &length, name) != 0) return -1;
        if (length == 0) {
            // A leading or doubled separator goes to the root.
            *dir = 0;
            ++p;
            continue;
        }
        if (FindInArchiveDir(name, record, dir) != 0) return -1;
        p += length;
        if (*p == '\0') break;
        ++p;  // a separator at the end ends the walk
    }
    return 0;
}

int ChangeArchiveDir(ArchiveRecord* record, const char* path, int restoreFlag,
                     ArchiveName* failingName) {
    uint32_t dir = record->currentDir;
    const int result = WalkArchiveDir(record, &dir, path, failingName, nullptr);
    if (result == 0 || restoreFlag == 0) record->currentDir = dir;
    return result;
}

int FindArchiveEntry(const char* path, const ArchiveRecord* record, ArchiveEntry* entry) {
    uint32_t dir = record->currentDir;
    ArchiveName name;
    bool hasSeparator = false;
    for (const char* p = path; *p != '\0'; ++p) {
        if (IsShiftJisLead(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
        else if (IsSeparator(*p)) hasSeparator = true;
    }
    if (!hasSeparator) {
        size_t length = 0;
        if (BuildArchiveName(path, &length, &name) != 0) return -1;
    } else {
        const char* failing = nullptr;
        // A walk that succeeds names a directory, not a file.
        if (WalkArchiveDir(record, &dir, path, &name, &failing) == 0) return -1;
        // Only the last component may be the file; a file in the middle of a path is no
        // directory to walk through.
        size_t length = 0;
        if (failing == nullptr || BuildArchiveName(failing, &length, &name) != 0) return -1;
        if (length == 0 || failing[length] != '\0') return -1;
    }
    return SearchDir(record, dir, &name, false, entry) ? 0 : -1;
}
