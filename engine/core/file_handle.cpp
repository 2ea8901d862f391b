// The archive-aware set of the file-access table: a table of 512 open files, each a plain file
// or a member of the archive that stands in for one of its directories.
#include <cstring>

#include "core/archive.h"
#include "core/direct_file.h"
#include "core/file_access.h"
#include "platform/kernel/kernel.h"

namespace {

struct FileRecord {
    int32_t inArchive;
    DirectFile* file;
    int32_t archiveSlot;
    ArchiveMemberState member;
};

FileRecord* g_FileTable[kMaxOpenFiles];
int g_OpenFileCount;

// The entry of a handle, or null for anything that is not an open file's handle.
FileRecord* GetFileRecord(intptr_t handle) {
    if ((handle & ~kFileHandleIndexMask) != kFileHandleBase) return nullptr;
    const intptr_t index = handle & kFileHandleIndexMask;
    if (index >= kMaxOpenFiles) return nullptr;
    return g_FileTable[index];
}

V_CRITICAL_SECTION* GetFileLayerSection() {
    static V_CRITICAL_SECTION* section = [] {
        static V_CRITICAL_SECTION storage;
        V_InitializeCriticalSection(&storage);
        return &storage;
    }();
    return section;
}

}  // namespace

void LockFileLayer() { V_EnterCriticalSection(GetFileLayerSection()); }

void UnlockFileLayer() { V_LeaveCriticalSection(GetFileLayerSection()); }

int GetOpenFileCount() {
    FileLayerLock lock;
    return g_OpenFileCount;
}

intptr_t OpenArchiveAwareFile(const char* path, int cacheFlag, int, int asyncFlag) {
    FileLayerLock lock;
    if (g_OpenFileCount >= kMaxOpenFiles) {
        WriteLog("同時に開けるファイルの数が限界を超えました\n");
        return 0;
    }
    int index = 0;
    while (index < kMaxOpenFiles && g_FileTable[index] != nullptr) ++index;
    if (index == kMaxOpenFiles) return 0;
    auto* record = static_cast<FileRecord*>(VELK_ALLOC_ZEROED(sizeof(FileRecord)));
    if (record == nullptr) {
        WriteLog("ファイルの情報を格納するメモリの確保に失敗しました\n");
        return 0;
    }

    int slot = -1;
    char memberPath[kPathBufferSize];
    if (path == nullptr || ResolveArchivePath(path, &slot, nullptr, memberPath) != 0) {
        record->file = path != nullptr ? OpenDirectFile(path, cacheFlag, 1, asyncFlag) : nullptr;
        if (record->file == nullptr) {
            FreeMemory(record);
            return 0;
        }
    } else {
        record->inArchive = 1;
        record->archiveSlot = slot;
        if (OpenArchiveMember(&record->member, GetArchiveSlotRecord(slot), memberPath, asyncFlag) !=
            0) {
            WriteLog("ＶＫＡファイルの中に指定のファイルは見つかりませんでした\n");
            ReleaseArchive(slot);
            FreeMemory(record);
            return 0;
        }
    }
    g_FileTable[index] = record;
    ++g_OpenFileCount;
    return kFileHandleBase + index;
}

int CloseArchiveAwareFile(intptr_t handle) {
    FileLayerLock lock;
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr) return -1;
    if (record->inArchive != 0) {
        ReleaseArchive(record->archiveSlot);
        CloseArchiveMember(&record->member);
    } else {
        CloseDirectFile(record->file);
    }
    FreeMemory(record);
    g_FileTable[handle & kFileHandleIndexMask] = nullptr;
    --g_OpenFileCount;
    return 0;
}

int32_t TellArchiveAwareFile(intptr_t handle) {
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr) return -1;
    return record->inArchive != 0 ? TellArchiveMember(&record->member) : TellDirectFile(record->file);
}

int SeekArchiveAwareFile(intptr_t handle, int32_t offset, int origin) {
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr) return -1;
    return record->inArchive != 0 ? SeekArchiveMember(&record->member, offset, origin)
                                  : SeekDirectFile(record->file, offset, origin);
}

size_t ReadArchiveAwareFile(void* buffer, size_t elementSize, size_t count, intptr_t handle) {
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr || elementSize == 0) return 0;
    if (record->inArchive == 0) return ReadDirectFile(buffer, elementSize, count, record->file);
    size_t bytes = 0;
    if (__builtin_mul_overflow(elementSize, count, &bytes)) bytes = SIZE_MAX;
    return ReadArchiveMember(&record->member, buffer, bytes) / elementSize;
}

int IsArchiveAwareFileEof(intptr_t handle) {
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr) return -1;
    return record->inArchive != 0 ? IsArchiveMemberEof(&record->member)
                                  : IsDirectFileEof(record->file);
}

int IsArchiveAwareFileIdle(intptr_t handle) {
    FileRecord* record = GetFileRecord(handle);
    if (record == nullptr) return -1;
    return record->inArchive != 0 ? PollArchiveMemberRead(&record->member)
                                  : IsDirectFileIdle(record->file);
}

int SetArchiveAwareCurrentDir(const char* path) {
    V_SetCurrentDirectoryA(path);
    return 0;
}

int GetArchiveAwareCurrentDir(char* buffer) {
    const V_DWORD length = V_GetCurrentDirectoryA(kPathBufferSize, buffer);
    if (length == 0 || length >= static_cast<V_DWORD>(kPathBufferSize)) buffer[0] = '\0';
    return 0;
}
