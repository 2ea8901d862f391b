// Plain files of the direct set: blocking reads, or reads served by a reader thread.
#include "core/direct_file.h"

#include <cstring>

#include "platform/kernel/kernel.h"

namespace {

// Frees what a thread-mode open made before its thread ran.
void FreeThreadResources(DirectFile* file) {
    if (file->cache != nullptr) FreeMemory(file->cache);
    file->cache = nullptr;
    if (file->commandEvent != nullptr) V_CloseHandle(file->commandEvent);
    if (file->doneEvent != nullptr) V_CloseHandle(file->doneEvent);
    file->commandEvent = nullptr;
    file->doneEvent = nullptr;
}

void WaitForThreadEnd(DirectFile* file) {
    V_WaitForSingleObject(file->thread, V_INFINITE);
    V_CloseHandle(file->thread);
    file->thread = nullptr;
}

V_HANDLE OpenForReading(const char* path, V_DWORD share) {
    return V_CreateFileA(path, V_GENERIC_READ, share, nullptr, V_OPEN_EXISTING,
                         V_FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

DirectFile* OpenDirectFile(const char* path, int cacheFlag, int, int asyncFlag) {
    if (path == nullptr || std::strlen(path) >= kPathBufferSize) return nullptr;
    auto* file = static_cast<DirectFile*>(VELK_ALLOC_ZEROED(sizeof(DirectFile)));
    if (file == nullptr) return nullptr;
    file->cacheFlag = cacheFlag;
    file->asyncFlag = asyncFlag;
    file->threadFlag = (cacheFlag != 0 || asyncFlag != 0) ? 1 : 0;

    V_HANDLE handle = OpenForReading(path, V_FILE_SHARE_READ);
    if (handle == V_INVALID_HANDLE_VALUE) {
        FreeMemory(file);
        return nullptr;
    }
    file->size = V_GetFileSize(handle, nullptr);
    if (file->threadFlag == 0) {
        file->handle = handle;
        return file;
    }
    // Thread mode: the plain open only told the size; the reader thread opens its own handle.
    V_CloseHandle(handle);

    if (cacheFlag != 0) {
        file->cache = static_cast<unsigned char*>(VELK_ALLOC(kDirectFileCacheSize));
        if (file->cache == nullptr) {
            FreeMemory(file);
            WriteLog("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
            return nullptr;
        }
    }
    file->commandEvent = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    file->doneEvent = V_CreateEventA(nullptr, V_TRUE, V_TRUE, nullptr);
    if (file->commandEvent != nullptr && file->doneEvent != nullptr)
        file->thread = V_CreateThread(nullptr, 0, RunDirectFileThread, file, 0, &file->threadId);
    if (file->thread == nullptr) {
        FreeThreadResources(file);
        FreeMemory(file);
        WriteLog("ファイルアクセス専用スレッドの作成に失敗しました\n");
        return nullptr;
    }

    std::strcpy(file->path, path);
    PostDirectFileCommand(file, kDirectFileOpen, nullptr, 0, 0);
    WaitDirectFile(file);
    if (file->openFailed != 0) {
        WaitForThreadEnd(file);
        FreeThreadResources(file);
        FreeMemory(file);
        WriteLog("ファイルのオープンに失敗しました\n");
        return nullptr;
    }
    return file;
}

int CloseDirectFile(DirectFile* file) {
    int result = 0;
    if (file->threadFlag != 0) {
        PostDirectFileCommand(file, kDirectFileExit, nullptr, 0, 0);
        WaitDirectFile(file);
        WaitForThreadEnd(file);
        FreeThreadResources(file);
    } else if (!V_CloseHandle(file->handle)) {
        result = -1;
    }
    FreeMemory(file);
    return result;
}

int32_t TellDirectFile(DirectFile* file) { return static_cast<int32_t>(file->position); }

int IsDirectFileEof(DirectFile* file) { return file->endFlag > 0 ? -1 : 0; }

int IsDirectFileIdle(DirectFile* file) {
    if (file->threadFlag == 0) return 1;
    return V_WaitForSingleObject(file->doneEvent, 0) == V_WAIT_OBJECT_0 ? 1 : 0;
}

void WaitDirectFile(DirectFile* file) {
    if (file->threadFlag != 0) V_WaitForSingleObject(file->doneEvent, V_INFINITE);
}

int SeekDirectFile(DirectFile* file, int32_t offset, int origin) {
    int64_t target = offset;
    if (origin == 1) target += file->position;
    else if (origin == 2) target += file->size;
    // Both modes refuse what the platform seek refuses: a target before the start or beyond
    // what a 32-bit signed distance reaches.
    if (target < 0 || target > INT32_MAX) return -1;
    if (file->threadFlag == 0) {
        if (V_SetFilePointer(file->handle, static_cast<V_LONG>(target), nullptr, V_FILE_BEGIN) ==
            V_INVALID_SET_FILE_POINTER)
            return -1;
    } else {
        PostDirectFileCommand(file, kDirectFileSeek, nullptr, static_cast<uint32_t>(target), 0);
    }
    file->position = static_cast<uint32_t>(target);
    file->endFlag = 0;
    return 0;
}

size_t ReadDirectFile(void* buffer, size_t elementSize, size_t count, DirectFile* file) {
    if (elementSize == 0) return 0;
    // A position at or past the end (after a seek beyond it) reads nothing.
    if (file->position >= file->size) {
        file->endFlag = 1;
        return 0;
    }
    const size_t remaining = file->size - file->position;
    if (count > remaining / elementSize) count = remaining / elementSize;
    if (count == 0) {
        file->endFlag = 1;
        return 0;
    }
    const uint32_t bytes = static_cast<uint32_t>(elementSize * count);
    if (file->threadFlag == 0) {
        V_DWORD read = 0;
        if (!V_ReadFile(file->handle, buffer, bytes, &read, nullptr)) return 0;
        file->position += read;
        return read / elementSize;
    }
    PostDirectFileCommand(file, kDirectFileRead, static_cast<unsigned char*>(buffer), file->position,
                          bytes);
    if (file->asyncFlag != 0) {
        // The data is in the buffer once the idle test reports 1.
        file->position += bytes;
        return count;
    }
    WaitDirectFile(file);
    file->position += file->readDelivered;
    return file->readDelivered / elementSize;
}
