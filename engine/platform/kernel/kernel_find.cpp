// Find searches, file attributes and folders.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel_objects.h"

namespace {

V_DWORD AttributesOf(const struct stat& info) {
    V_DWORD attributes =
        S_ISDIR(info.st_mode) ? V_FILE_ATTRIBUTE_DIRECTORY : V_FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= V_FILE_ATTRIBUTE_READONLY;
    return attributes;
}

// Fills the record for the next entry that still exists and has a name in the code page;
// false when the list is used up.
bool FillNextEntry(FindObject& find, V_WIN32_FIND_DATAA* data) {
    while (find.next < find.names.size()) {
        const std::string& name = find.names[find.next++];
        std::string converted;
        struct statx info;
        if (!Utf8ToCp932String(name.c_str(), converted) || converted.size() >= V_MAX_PATH) continue;
        if (statx(AT_FDCWD, (find.directory + name).c_str(), 0, STATX_BASIC_STATS | STATX_BTIME,
                  &info) != 0)
            continue;
        if (data == nullptr) return true;
        memset(data, 0, sizeof(*data));
        struct stat basic {};
        basic.st_mode = info.stx_mode;
        data->dwFileAttributes = AttributesOf(basic);
        const statx_timestamp& born =
            (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
        data->ftCreationTime = FileTimeFromUnix(born.tv_sec, born.tv_nsec);
        data->ftLastAccessTime = FileTimeFromUnix(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
        data->ftLastWriteTime = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
        uint64_t size = S_ISDIR(info.stx_mode) ? 0 : info.stx_size;
        data->nFileSizeHigh = static_cast<V_DWORD>(size >> 32);
        data->nFileSizeLow = static_cast<V_DWORD>(size);
        memcpy(data->cFileName, converted.c_str(), converted.size() + 1);
        return true;
    }
    return false;
}

}  // namespace

V_HANDLE V_FindFirstFileA(const char* pattern, V_WIN32_FIND_DATAA* data) {
    std::string path;
    if (!NormalizeFileName(pattern, path)) return V_INVALID_HANDLE_VALUE;
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string namePattern = slash == std::string::npos ? path : path.substr(slash + 1);
    if (namePattern.empty()) {
        V_SetLastError(V_ERROR_FILE_NOT_FOUND);
        return V_INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    find->directory = folder.empty() ? "" : ResolveNormalizedPath(folder);
    if (!find->directory.empty() && find->directory.back() != '/') find->directory += '/';
    DIR* directory = opendir(find->directory.empty() ? "." : find->directory.c_str());
    if (directory == nullptr) {
        V_SetLastError(V_ERROR_PATH_NOT_FOUND);
        return V_INVALID_HANDLE_VALUE;
    }
    while (dirent* entry = readdir(directory)) {
        if (MatchFileNamePattern(namePattern.c_str(), entry->d_name))
            find->names.push_back(entry->d_name);
    }
    closedir(directory);
    std::sort(find->names.begin(), find->names.end());
    if (!FillNextEntry(*find, data)) {
        V_SetLastError(V_ERROR_FILE_NOT_FOUND);
        return V_INVALID_HANDLE_VALUE;
    }
    V_HANDLE handle = RegisterKernelObject(std::move(find));
    return handle != nullptr ? handle : V_INVALID_HANDLE_VALUE;
}

V_BOOL V_FindNextFileA(V_HANDLE handle, V_WIN32_FIND_DATAA* data) {
    auto find = LookupKernelObject<FindObject>(handle, KernelObjectKind::Find);
    if (!find) return V_FALSE;
    if (!FillNextEntry(*find, data)) {
        V_SetLastError(V_ERROR_NO_MORE_FILES);
        return V_FALSE;
    }
    return V_TRUE;
}

V_BOOL V_FindClose(V_HANDLE handle) {
    if (!LookupKernelObject<FindObject>(handle, KernelObjectKind::Find)) return V_FALSE;
    return ReleaseKernelObject(handle) ? V_TRUE : V_FALSE;
}

V_DWORD V_GetFileAttributesA(const char* name) {
    std::string path;
    struct stat info;
    if (!V_ResolveFileName(name, path)) return V_INVALID_FILE_ATTRIBUTES;
    if (stat(path.c_str(), &info) != 0) {
        V_SetLastError(errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno));
        return V_INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(info);
}

V_BOOL V_CreateDirectoryA(const char* name, void* /*security*/) {
    std::string path;
    if (!V_ResolveFileName(name, path)) return V_FALSE;
    if (mkdir(path.c_str(), 0777) != 0) {
        V_SetLastError(errno == EEXIST   ? V_ERROR_ALREADY_EXISTS
                       : errno == ENOENT ? V_ERROR_PATH_NOT_FOUND
                                         : ErrorFromErrno(errno));
        return V_FALSE;
    }
    return V_TRUE;
}

V_BOOL V_RemoveDirectoryA(const char* name) {
    std::string path;
    if (!V_ResolveFileName(name, path)) return V_FALSE;
    if (rmdir(path.c_str()) != 0) {
        V_SetLastError(errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno));
        return V_FALSE;
    }
    return V_TRUE;
}
