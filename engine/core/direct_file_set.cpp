// The direct set of the file-access table: plain files only, handles are DirectFile pointers.
#include "core/direct_file.h"
#include "core/file_access.h"
#include "platform/kernel/kernel.h"

namespace {

DirectFile* ToFile(intptr_t handle) { return reinterpret_cast<DirectFile*>(handle); }

int CloseDirectFileHandle(intptr_t handle) {
    return handle == 0 ? -1 : CloseDirectFile(ToFile(handle));
}
int32_t TellDirectFileHandle(intptr_t handle) {
    return handle == 0 ? -1 : TellDirectFile(ToFile(handle));
}
int SeekDirectFileHandle(intptr_t handle, int32_t offset, int origin) {
    return handle == 0 ? -1 : SeekDirectFile(ToFile(handle), offset, origin);
}
size_t ReadDirectFileHandle(void* buffer, size_t elementSize, size_t count, intptr_t handle) {
    return handle == 0 ? 0 : ReadDirectFile(buffer, elementSize, count, ToFile(handle));
}
int IsDirectFileHandleEof(intptr_t handle) {
    return handle == 0 ? -1 : IsDirectFileEof(ToFile(handle));
}
int IsDirectFileHandleIdle(intptr_t handle) {
    return handle == 0 ? -1 : IsDirectFileIdle(ToFile(handle));
}

constexpr FileAccessFunctions kDirectFileFunctions = {
    OpenDirectFileHandle,   CloseDirectFileHandle,  TellDirectFileHandle, SeekDirectFileHandle,
    ReadDirectFileHandle,   IsDirectFileHandleEof,  IsDirectFileHandleIdle, SetDirectCurrentDir,
    GetDirectCurrentDir,    FindFirstDirectFile,    FindNextDirectFile,   FindCloseDirectFile,
};

}  // namespace

intptr_t OpenDirectFileHandle(const char* path, int cacheFlag, int ignored, int asyncFlag) {
    return reinterpret_cast<intptr_t>(OpenDirectFile(path, cacheFlag, ignored, asyncFlag));
}

int SetDirectCurrentDir(const char* path) { return V_SetCurrentDirectoryA(path); }

int GetDirectCurrentDir(char* buffer) {
    const V_DWORD length = V_GetCurrentDirectoryA(kPathBufferSize, buffer);
    if (length == 0 || length >= static_cast<V_DWORD>(kPathBufferSize)) buffer[0] = '\0';
    return static_cast<int>(length);
}

const FileAccessFunctions* GetDirectFileFunctions() { return &kDirectFileFunctions; }
