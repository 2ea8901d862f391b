// The file-access table all file reading goes through, its forwarders, and temporary files.
#include "core/file_access.h"

#include <cstring>

#include "platform/kernel/kernel.h"

namespace {

constexpr FileAccessFunctions kArchiveAwareFileFunctions = {
    OpenArchiveAwareFile,      CloseArchiveAwareFile,     TellArchiveAwareFile,
    SeekArchiveAwareFile,      ReadArchiveAwareFile,      IsArchiveAwareFileEof,
    IsArchiveAwareFileIdle,    SetArchiveAwareCurrentDir, GetArchiveAwareCurrentDir,
    FindFirstArchiveAwareFile, FindNextArchiveAwareFile,  FindCloseArchiveAwareFile,
};

// Filled before initialisation with the archive-aware set; replaced only by
// SetFileAccessFunctions.
FileAccessFunctions g_FileAccessFunctions = kArchiveAwareFileFunctions;

}  // namespace

int SetFileAccessFunctions(const FileAccessFunctions* table) {
    g_FileAccessFunctions = table != nullptr ? *table : kArchiveAwareFileFunctions;
    return 0;
}

const FileAccessFunctions* GetFileAccessFunctions() { return &g_FileAccessFunctions; }

const FileAccessFunctions* GetArchiveAwareFileFunctions() { return &kArchiveAwareFileFunctions; }

intptr_t OpenFileHandle(const char* path, int cacheFlag, int ignored, int asyncFlag) {
    return g_FileAccessFunctions.open(path, cacheFlag, ignored, asyncFlag);
}

int CloseFileHandle(intptr_t handle) { return g_FileAccessFunctions.close(handle); }

int32_t TellFileHandle(intptr_t handle) { return g_FileAccessFunctions.tell(handle); }

int SeekFileHandle(intptr_t handle, int32_t offset, int origin) {
    return g_FileAccessFunctions.seek(handle, offset, origin);
}

size_t ReadFileHandle(void* buffer, size_t elementSize, size_t count, intptr_t handle) {
    return g_FileAccessFunctions.read(buffer, elementSize, count, handle);
}

int IsFileHandleEof(intptr_t handle) { return g_FileAccessFunctions.eof(handle); }

int IsFileHandleIdle(intptr_t handle) { return g_FileAccessFunctions.idle(handle); }

void* CreateTempFile(char* pathOut) {
    char folder[kPathBufferSize];
    const V_DWORD length = V_GetTempPathA(kPathBufferSize - 2, folder);
    if (length == 0 || length >= static_cast<V_DWORD>(kPathBufferSize - 2)) return nullptr;
    if (!EndsWithPathSeparator(folder)) {
        folder[length] = '\\';
        folder[length + 1] = '\0';
    }
    // The platform makes the named file itself, atomically; it is opened in place for writing
    // rather than deleted and made again, so no other file can take the name in between.
    char name[kPathBufferSize];
    if (V_GetTempFileNameA(folder, "tmp", 0, name) == 0) return nullptr;
    char fullPath[kPathBufferSize];
    if (ConvertFullPath(name, fullPath, nullptr) != 0) CopyString(fullPath, name);
    V_HANDLE file = V_CreateFileA(fullPath, V_GENERIC_WRITE, 0, nullptr, V_TRUNCATE_EXISTING,
                                  V_FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == V_INVALID_HANDLE_VALUE) {
        V_DeleteFileA(fullPath);
        return nullptr;
    }
    if (pathOut != nullptr) CopyString(pathOut, fullPath);
    return file;
}
