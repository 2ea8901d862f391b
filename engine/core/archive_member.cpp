// Reading archive members: stored members straight from the archive, compressed members decoded
// whole into a buffer of their own at open.
#include <cstring>

#include "core/archive.h"
#include "core/direct_file.h"
#include "core/lz.h"

namespace {

bool IsStored(const ArchiveRecord* record, const ArchiveEntry& entry) {
    return record->header.version < 2 || entry.packedSize == kArchiveStoredMember;
}

// Decodes the member's packed block (already unscrambled) into its decoded buffer.
bool DecodeMember(ArchiveMemberState* state, const unsigned char* packed) {
    const int64_t result =
        DecodeArchiveData(packed, state->entry.packedSize, state->decoded, state->entry.size);
    if (result >= 0 && static_cast<uint64_t>(result) == state->entry.size) return true;
    LogDamagedArchive(nullptr, "compressed member does not decode to its size");
    state->damaged = 1;
    return false;
}

// Finishes a posted read once the archive file is idle.
int FinishPending(ArchiveMemberState* state) {
    ArchiveRecord* record = state->archive;
    if (IsDirectFileIdle(record->file) == 0) return 0;
    if (state->pendingKind == 1) {
        ScrambleArchiveBytes(state->entry.packedSize, state->readBuffer, state->pendingOffset,
                             record->key);
        DecodeMember(state, state->readBuffer);
        FreeMemory(state->readBuffer);
        state->readBuffer = nullptr;
    } else {
        ScrambleArchiveBytes(state->pendingLength, state->pendingDestination, state->pendingOffset,
                             record->key);
    }
    state->pendingKind = 0;
    return 1;
}

void WaitPending(ArchiveMemberState* state) {
    while (PollArchiveMemberRead(state) == 0) {
        WaitDirectFile(state->archive->file);
    }
}

}  // namespace

int OpenArchiveMember(ArchiveMemberState* state, ArchiveRecord* record, const char* memberPath,
                      int asyncFlag) {
    WaitArchiveLoaded(record);
    ArchiveEntry entry;
    if (FindArchiveEntry(memberPath, record, &entry) != 0) return -1;
    std::memset(state, 0, sizeof(*state));
    state->archive = record;
    state->entry = entry;
    state->asyncFlag = asyncFlag;
    state->archiveOffset = static_cast<uint64_t>(record->header.dataOffset) + entry.dataOffset;

    const uint64_t available =
        state->archiveOffset <= record->size ? record->size - state->archiveOffset : 0;
    if (IsStored(record, entry)) {
        if (entry.size > available) {
            LogDamagedArchive(nullptr, "member beyond the end of the archive");
            std::memset(state, 0, sizeof(*state));
            return -1;
        }
        return 0;
    }
    // Compressed: check the packed block's place and the claimed size before allocating.
    if (entry.packedSize < kArchiveDataHeadSize || entry.packedSize > available ||
        entry.size > GetArchiveDataDecodedLimit(entry.packedSize)) {
        LogDamagedArchive(nullptr, "compressed member sizes");
        std::memset(state, 0, sizeof(*state));
        return -1;
    }
    state->decoded = static_cast<unsigned char*>(VELK_ALLOC(entry.size != 0 ? entry.size : 1));
    if (state->decoded == nullptr) {
        std::memset(state, 0, sizeof(*state));
        return -1;
    }
    if (record->inMemory != 0) {
        if (!DecodeMember(state, record->image + state->archiveOffset)) {
            CloseArchiveMember(state);
            return -1;
        }
        return 0;
    }
    state->readBuffer = static_cast<unsigned char*>(VELK_ALLOC(entry.packedSize));
    if (state->readBuffer == nullptr) {
        CloseArchiveMember(state);
        return -1;
    }
    const int64_t read = ReadArchiveFileAt(record, state->archiveOffset, state->readBuffer,
                                           entry.packedSize, asyncFlag == 0);
    if (read != entry.packedSize) {
        LogDamagedArchive(nullptr, "compressed member unreadable");
        CloseArchiveMember(state);
        return -1;
    }
    if (asyncFlag != 0) {
        state->pendingKind = 1;
        state->pendingOffset = state->archiveOffset;
        return 0;
    }
    ScrambleArchiveBytes(entry.packedSize, state->readBuffer, state->archiveOffset, record->key);
    const bool decoded = DecodeMember(state, state->readBuffer);
    FreeMemory(state->readBuffer);
    state->readBuffer = nullptr;
    if (!decoded) {
        CloseArchiveMember(state);
        return -1;
    }
    return 0;
}

int PollArchiveMemberRead(ArchiveMemberState* state) {
    if (state->asyncFlag == 0 || state->pendingKind == 0) return 1;
    return FinishPending(state);
}

size_t ReadArchiveMember(ArchiveMemberState* state, void* buffer, size_t bytes) {
    WaitPending(state);
    if (state->damaged != 0 || state->endFlag != 0) return 0;
    const uint32_t size = state->entry.size;
    if (state->position >= size) {
        state->endFlag = 1;
        return 0;
    }
    uint32_t n = size - state->position;
    if (bytes < n) n = static_cast<uint32_t>(bytes);
    if (n == 0) return 0;
    ArchiveRecord* record = state->archive;
    if (state->decoded != nullptr) {
        std::memcpy(buffer, state->decoded + state->position, n);
    } else if (record->inMemory != 0) {
        std::memcpy(buffer, record->image + state->archiveOffset + state->position, n);
    } else {
        const uint64_t offset = state->archiveOffset + state->position;
        const int wait = state->asyncFlag == 0;
        const int64_t read = ReadArchiveFileAt(record, offset, buffer, n, wait);
        if (read < 0) return 0;
        if (wait == 0) {
            state->pendingKind = 2;
            state->pendingOffset = offset;
            state->pendingDestination = static_cast<unsigned char*>(buffer);
            state->pendingLength = n;
        } else {
            // The archive file may have shrunk since its open: report what arrived.
            n = static_cast<uint32_t>(read);
            ScrambleArchiveBytes(n, buffer, offset, record->key);
        }
    }
    state->position += n;
    state->endFlag = 0;
    return n;
}

int SeekArchiveMember(ArchiveMemberState* state, int32_t offset, int origin) {
    WaitPending(state);
    int64_t target = offset;
    if (origin == 1) target += state->position;
    else if (origin == 2) target += state->entry.size;
    if (target < 0) target = 0;
    if (target > state->entry.size) target = state->entry.size;
    state->position = static_cast<uint32_t>(target);
    state->endFlag = 0;
    return 0;
}

int32_t TellArchiveMember(ArchiveMemberState* state) {
    WaitPending(state);
    return static_cast<int32_t>(state->position);
}

int IsArchiveMemberEof(ArchiveMemberState* state) {
    WaitPending(state);
    return state->endFlag != 0 ? -1 : 0;
}

int CloseArchiveMember(ArchiveMemberState* state) {
    if (state->archive != nullptr) WaitPending(state);
    if (state->decoded != nullptr) FreeMemory(state->decoded);
    if (state->readBuffer != nullptr) FreeMemory(state->readBuffer);
    std::memset(state, 0, sizeof(*state));
    return 0;
}

int GetArchiveMemberLocation(ArchiveRecord* record, const char* path, uint32_t* offset,
                             uint32_t* size) {
    WaitArchiveLoaded(record);
    ArchiveEntry entry;
    if (FindArchiveEntry(path, record, &entry) != 0) return -1;
    const uint64_t location = static_cast<uint64_t>(record->header.dataOffset) + entry.dataOffset;
    const uint64_t length = IsStored(record, entry) ? entry.size : entry.packedSize;
    if (location > record->size || length > record->size - location) {
        LogDamagedArchive(nullptr, "member beyond the end of the archive");
        return -1;
    }
    *offset = static_cast<uint32_t>(location);
    *size = entry.size;
    return 0;
}
