// Reading records out of an archive's table block. The block comes from an untrusted file:
// every offset and count is checked against the block before a byte is read.
#include <cstring>

#include "core/archive.h"

namespace {

uint16_t Read16(const unsigned char* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

uint32_t Read32(const unsigned char* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

uint64_t Read64(const unsigned char* bytes) {
    uint64_t value;
    std::memcpy(&value, bytes, 8);
    return value;
}

// True when [offset, offset + length) lies inside the table block.
bool FitsInBlock(const ArchiveRecord* record, uint64_t offset, uint64_t length) {
    return offset <= record->header.tableSize && length <= record->header.tableSize - offset;
}

}  // namespace

bool ReadArchiveEntry(const ArchiveRecord* record, uint64_t fileRecordOffset, ArchiveEntry* entry) {
    const uint32_t recordSize = GetArchiveFileRecordSize(record->header.version);
    const uint64_t offset = record->header.fileTableOffset + fileRecordOffset;
    if (!FitsInBlock(record, offset, recordSize)) return false;
    const unsigned char* bytes = record->tableBlock + offset;
    entry->nameOffset = Read32(bytes);
    entry->attributes = Read32(bytes + 4);
    entry->creationTime = Read64(bytes + 8);
    entry->thirdTime = Read64(bytes + 16);
    entry->lastWriteTime = Read64(bytes + 24);
    entry->dataOffset = Read32(bytes + 32);
    entry->size = Read32(bytes + 36);
    entry->packedSize = record->header.version >= 2 ? Read32(bytes + 40) : kArchiveStoredMember;
    return true;
}

bool ReadArchiveDir(const ArchiveRecord* record, uint64_t dirRecordOffset, ArchiveDir* dir) {
    const uint64_t offset = record->header.dirTableOffset + dirRecordOffset;
    if (!FitsInBlock(record, offset, kArchiveDirRecordSize)) return false;
    const unsigned char* bytes = record->tableBlock + offset;
    dir->parent = Read32(bytes + 4);
    dir->entryCount = Read32(bytes + 8);
    dir->firstEntry = Read32(bytes + 12);
    // Every entry the directory claims must lie in the block.
    const uint64_t entriesLength =
        static_cast<uint64_t>(dir->entryCount) * GetArchiveFileRecordSize(record->header.version);
    return FitsInBlock(record, static_cast<uint64_t>(record->header.fileTableOffset) + dir->firstEntry,
                       entriesLength);
}

bool ReadArchiveNameRecord(const ArchiveRecord* record, uint32_t nameOffset, uint16_t* length4,
                           uint16_t* sum, const unsigned char** upper,
                           const unsigned char** written) {
    if (!FitsInBlock(record, nameOffset, 4)) return false;
    const unsigned char* bytes = record->tableBlock + nameOffset;
    const uint16_t length = Read16(bytes);
    if (length == 0 || !FitsInBlock(record, nameOffset + 4ull, 8ull * length)) return false;
    *length4 = length;
    *sum = Read16(bytes + 2);
    *upper = bytes + 4;
    *written = bytes + 4 + 4 * static_cast<size_t>(length);
    return true;
}
