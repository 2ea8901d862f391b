// The reader thread of a thread-mode plain file: one command at a time, and read-ahead into the
// cache while idle.
#include <cstring>

#include "core/direct_file.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr V_DWORD kIdleWaitMilliseconds = 100;

// Fills the cache behind its valid bytes from the file position that follows them.
void ReadAhead(DirectFile* file) {
    V_SetFilePointer(file->threadHandle, static_cast<V_LONG>(file->cachePosition + file->cacheValid),
                     nullptr, V_FILE_BEGIN);
    V_DWORD read = 0;
    if (V_ReadFile(file->threadHandle, file->cache + file->cacheValid,
                   kDirectFileCacheSize - file->cacheValid, &read, nullptr))
        file->cacheValid += read;
}

void CarryOutRead(DirectFile* file) {
    unsigned char* destination = file->readDestination;
    uint32_t position = file->readPosition;
    uint32_t bytes = file->readBytes;
    uint32_t delivered = 0;
    if (file->cache != nullptr && position == file->cachePosition && file->cacheValid != 0) {
        const uint32_t n = bytes < file->cacheValid ? bytes : file->cacheValid;
        std::memcpy(destination, file->cache, n);
        destination += n;
        position += n;
        bytes -= n;
        delivered += n;
        file->cachePosition += n;
        file->cacheValid -= n;
        std::memmove(file->cache, file->cache + n, file->cacheValid);
    }
    file->readBytes = 0;
    if (bytes != 0) {
        V_SetFilePointer(file->threadHandle, static_cast<V_LONG>(position), nullptr, V_FILE_BEGIN);
        V_DWORD read = 0;
        if (!V_ReadFile(file->threadHandle, destination, bytes, &read, nullptr)) read = 0;
        file->readBytes = read;
        delivered += read;
        if (file->cache != nullptr) {
            file->cachePosition = position + read;
            file->cacheValid = 0;
        }
    }
    file->readDelivered = delivered;
}

void CloseThreadHandle(DirectFile* file) {
    if (file->threadHandle != nullptr) V_CloseHandle(file->threadHandle);
    file->threadHandle = nullptr;
}

}  // namespace

void PostDirectFileCommand(DirectFile* file, int32_t command, unsigned char* destination,
                           uint32_t position, uint32_t bytes) {
    V_WaitForSingleObject(file->doneEvent, V_INFINITE);
    file->command = command;
    file->readDestination = destination;
    file->readPosition = position;
    file->readBytes = bytes;
    file->readDelivered = 0;
    file->seekPosition = position;
    V_ResetEvent(file->doneEvent);
    V_SetEvent(file->commandEvent);
}

V_DWORD RunDirectFileThread(void* parameter) {
    auto* file = static_cast<DirectFile*>(parameter);
    for (;;) {
        if (file->cache != nullptr) {
            if (V_WaitForSingleObject(file->commandEvent, kIdleWaitMilliseconds) == V_WAIT_TIMEOUT) {
                if (file->threadHandle != nullptr && file->cacheValid < kDirectFileCacheSize)
                    ReadAhead(file);
                continue;
            }
        } else {
            V_WaitForSingleObject(file->commandEvent, V_INFINITE);
        }
        V_ResetEvent(file->commandEvent);
        V_ResetEvent(file->doneEvent);
        switch (file->command) {
        case kDirectFileOpen:
            file->threadHandle = V_CreateFileA(file->path, V_GENERIC_READ, 0, nullptr,
                                               V_OPEN_EXISTING, V_FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file->threadHandle == V_INVALID_HANDLE_VALUE) {
                file->threadHandle = nullptr;
                file->openFailed = 1;
                file->threadExited = 1;
                V_SetEvent(file->doneEvent);
                return 1;
            }
            break;
        case kDirectFileClose:
            CloseThreadHandle(file);
            break;
        case kDirectFileRead:
            CarryOutRead(file);
            break;
        case kDirectFileSeek:
            V_SetFilePointer(file->threadHandle, static_cast<V_LONG>(file->seekPosition), nullptr,
                             V_FILE_BEGIN);
            if (file->cache != nullptr) {
                file->cachePosition = file->seekPosition;
                file->cacheValid = 0;
            }
            break;
        case kDirectFileExit:
            CloseThreadHandle(file);
            file->threadExited = 1;
            V_SetEvent(file->doneEvent);
            return 1;
        default:
            break;
        }
        V_SetEvent(file->doneEvent);
    }
}
