// Plain files: a blocking handle, or a file served by its own reader thread that can read ahead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/core.h"
#include "platform/types.h"

constexpr uint32_t kDirectFileCacheSize = 0x20000;

enum DirectFileCommand : int32_t {
    kDirectFileOpen = 0,
    kDirectFileClose = 1,
    kDirectFileRead = 2,
    kDirectFileSeek = 3,
    kDirectFileExit = 4,
};

struct DirectFile {
    // Owned by the calling thread.
    V_HANDLE handle;  // blocking handle (not used in thread mode)
    int32_t threadFlag;
    int32_t cacheFlag;
    int32_t asyncFlag;
    int32_t endFlag;
    uint32_t position;
    uint32_t size;

    // Shared with the reader thread; hand-over is the done event.
    V_DWORD threadId;
    V_HANDLE thread;
    V_HANDLE threadHandle;  // the reader thread's own file handle
    V_HANDLE commandEvent;  // manual reset, unsignalled at start
    V_HANDLE doneEvent;     // manual reset, signalled while the thread is idle
    int32_t command;
    int32_t threadExited;
    int32_t openFailed;
    char path[kPathBufferSize];
    unsigned char* readDestination;
    uint32_t readPosition;
    uint32_t readBytes;      // on return: bytes read by the last platform read
    uint32_t readDelivered;  // on return: bytes delivered, cache included
    uint32_t seekPosition;
    unsigned char* cache;
    uint32_t cachePosition;  // file position of the cache's first byte
    uint32_t cacheValid;
};

DirectFile* OpenDirectFile(const char* path, int cacheFlag, int ignored, int asyncFlag);
int CloseDirectFile(DirectFile* file);
int32_t TellDirectFile(DirectFile* file);
int SeekDirectFile(DirectFile* file, int32_t offset, int origin);
size_t ReadDirectFile(void* buffer, size_t elementSize, size_t count, DirectFile* file);
int IsDirectFileEof(DirectFile* file);
int IsDirectFileIdle(DirectFile* file);
// Blocks until the reader thread has finished its command (returns at once without a thread).
void WaitDirectFile(DirectFile* file);

// Reader thread side (direct_file_thread.cpp).
V_DWORD RunDirectFileThread(void* parameter);
// Waits for the previous command, stores the command and wakes the thread.
void PostDirectFileCommand(DirectFile* file, int32_t command, unsigned char* destination,
                           uint32_t position, uint32_t bytes);

// Find operations of the direct set over the platform search.
intptr_t FindFirstDirectFile(const char* pattern, FindRecord* record);
int FindNextDirectFile(intptr_t handle, FindRecord* record);
int FindCloseDirectFile(intptr_t handle);
