// Least versions of the file-access calls: the process's own current directory, no archives.
#include "core/file_access_stubs.h"

#include "core/core.h"
#include "platform/kernel.h"

namespace {

int SetDirectory(const char* path) { return V_SetCurrentDirectoryA(path) ? 0 : -1; }

int GetDirectory(char* buffer) {
    V_DWORD length = V_GetCurrentDirectoryA(kPathBufferSize, buffer);
    return length > 0 && length < static_cast<V_DWORD>(kPathBufferSize) ? 0 : -1;
}

const FileAccessStubFunctions kFunctions = {SetDirectory, GetDirectory};

}  // namespace

int SetFileAccessFunctions(const void*) { return 0; }
const FileAccessStubFunctions* GetFileAccessFunctions() { return &kFunctions; }
int CloseArchives() { return 0; }
