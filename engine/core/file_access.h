// The file layer's internals: the archive-aware set, the direct set and the file-layer lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/core.h"

constexpr int kMaxOpenFiles = 512;
constexpr intptr_t kFileHandleBase = 0xF0000000;
constexpr intptr_t kFileHandleIndexMask = 0x0FFFFFFF;

// Archive-aware set (file_handle.cpp, file_handle_find.cpp).
intptr_t OpenArchiveAwareFile(const char* path, int cacheFlag, int ignored, int asyncFlag);
int CloseArchiveAwareFile(intptr_t handle);
int32_t TellArchiveAwareFile(intptr_t handle);
int SeekArchiveAwareFile(intptr_t handle, int32_t offset, int origin);
size_t ReadArchiveAwareFile(void* buffer, size_t elementSize, size_t count, intptr_t handle);
int IsArchiveAwareFileEof(intptr_t handle);
int IsArchiveAwareFileIdle(intptr_t handle);
int SetArchiveAwareCurrentDir(const char* path);
int GetArchiveAwareCurrentDir(char* buffer);
intptr_t FindFirstArchiveAwareFile(const char* pattern, FindRecord* record);
int FindNextArchiveAwareFile(intptr_t handle, FindRecord* record);
int FindCloseArchiveAwareFile(intptr_t handle);
// Number of files the archive-aware set has open.
int GetOpenFileCount();

// Direct set entries taking pointer-sized handles (direct_file_set.cpp).
intptr_t OpenDirectFileHandle(const char* path, int cacheFlag, int ignored, int asyncFlag);
int SetDirectCurrentDir(const char* path);
int GetDirectCurrentDir(char* buffer);

// One recursive lock guards the file table, the archive table, the reference counts and the
// last resolved archive.
void LockFileLayer();
void UnlockFileLayer();

struct FileLayerLock {
    FileLayerLock() { LockFileLayer(); }
    ~FileLayerLock() { UnlockFileLayer(); }
    FileLayerLock(const FileLayerLock&) = delete;
    FileLayerLock& operator=(const FileLayerLock&) = delete;
};
