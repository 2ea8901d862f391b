// Files: create and open, read, write, seek, size, times, flush, delete.
// Sharing modes are accepted and not enforced: Linux has no mandatory locks, and the library
// only ever shares with itself.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel_objects.h"

namespace {

V_DWORD LastErrno() {
    return ErrorFromErrno(errno);
}

// Opens with O_CREAT|O_EXCL first where the mode may create, so "already existed" is known
// without a race between the check and the open.
int OpenForCreation(const std::string& path, int flags, V_DWORD creation, mode_t mode,
                    bool& existed) {
    existed = false;
    switch (creation) {
        case V_CREATE_NEW:
            return open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        case V_OPEN_EXISTING:
            return open(path.c_str(), flags);
        case V_TRUNCATE_EXISTING:
            return open(path.c_str(), flags | O_TRUNC);
        case V_CREATE_ALWAYS:
        case V_OPEN_ALWAYS: {
            for (int attempt = 0; attempt < 8; ++attempt) {
                int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
                if (fd >= 0 || errno != EEXIST) return fd;
                fd = open(path.c_str(), flags | (creation == V_CREATE_ALWAYS ? O_TRUNC : 0));
                if (fd >= 0) {
                    existed = true;
                    return fd;
                }
                if (errno != ENOENT) return -1;  // removed in between: try again
            }
            return -1;
        }
        default:
            errno = EINVAL;
            return -1;
    }
}

void SetAppending(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0 && ((flags & O_APPEND) != 0) != on) fcntl(fd, F_SETFL, flags ^ O_APPEND);
}

}  // namespace

V_FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
    uint64_t ticks = static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000ULL +
                     static_cast<uint64_t>(nanoseconds / 100);
    return V_FILETIME{static_cast<V_DWORD>(ticks), static_cast<V_DWORD>(ticks >> 32)};
}

V_DWORD MissingPathError(const std::string& linuxPath) {
    size_t slash = linuxPath.find_last_of('/', linuxPath.size() > 1 ? linuxPath.size() - 2 : 0);
    if (slash == std::string::npos) return V_ERROR_FILE_NOT_FOUND;
    std::string folder = slash == 0 ? "/" : linuxPath.substr(0, slash);
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? V_ERROR_FILE_NOT_FOUND
                                                                     : V_ERROR_PATH_NOT_FOUND;
}

V_HANDLE V_CreateFileA(const char* name, V_DWORD access, V_DWORD /*share*/, void* /*security*/,
                       V_DWORD creation, V_DWORD flags, V_HANDLE templateFile) {
    std::string path;
    // Emptying a file takes write access: a read-only open must not truncate it.
    if (templateFile != nullptr ||
        (creation == V_TRUNCATE_EXISTING && (access & V_GENERIC_WRITE) == 0)) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_INVALID_HANDLE_VALUE;
    }
    // Only an open that neither writes nor truncates may take a file of another case; every
    // other open takes the name's exact file (or creates it), whatever its folder holds.
    bool missing = false;
    const bool mayFold = (access & V_GENERIC_WRITE) == 0 &&
                         (creation == V_OPEN_EXISTING || creation == V_OPEN_ALWAYS);
    if (mayFold ? !V_ResolveFileName(name, path, &missing)
                : !V_ResolveFileNameExactName(name, path))
        return V_INVALID_HANDLE_VALUE;
    // A name its folder does not hold cannot be opened as existing: no need to ask the system.
    if (missing && (creation == V_OPEN_EXISTING || creation == V_TRUNCATE_EXISTING)) {
        V_SetLastError(V_ERROR_FILE_NOT_FOUND);
        return V_INVALID_HANDLE_VALUE;
    }
    bool read = (access & V_GENERIC_READ) != 0;
    bool write = (access & V_GENERIC_WRITE) != 0;
    int openFlags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    mode_t mode = (flags & V_FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    bool existed;
    int fd = OpenForCreation(path, openFlags, creation, mode, existed);
    if (fd < 0) {
        V_SetLastError(errno == ENOENT ? MissingPathError(path) : LastErrno());
        return V_INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        V_SetLastError(V_ERROR_ACCESS_DENIED);
        return V_INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->fd = fd;
    V_HANDLE handle = RegisterKernelObject(std::move(file));
    if (handle == nullptr) return V_INVALID_HANDLE_VALUE;
    V_SetLastError(existed ? V_ERROR_ALREADY_EXISTS : V_ERROR_SUCCESS);
    return handle;
}

V_BOOL V_ReadFile(V_HANDLE handle, void* buffer, V_DWORD toRead, V_DWORD* read,
                  void* /*overlapped*/) {
    if (read != nullptr) *read = 0;
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    if (!file) return V_FALSE;
    V_DWORD done = 0;
    while (done < toRead) {
        ssize_t count = ::read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            V_SetLastError(LastErrno());
            if (read != nullptr) *read = done;
            return V_FALSE;
        }
        if (count == 0) break;  // end of file: success with fewer bytes
        done += static_cast<V_DWORD>(count);
    }
    if (read != nullptr) *read = done;
    return V_TRUE;
}

V_BOOL V_WriteFile(V_HANDLE handle, const void* buffer, V_DWORD toWrite, V_DWORD* written,
                   void* /*overlapped*/) {
    if (written != nullptr) *written = 0;
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    if (!file) return V_FALSE;
    V_DWORD done = 0;
    while (done < toWrite) {
        ssize_t count = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            V_SetLastError(count < 0 ? LastErrno() : V_ERROR_DISK_FULL);
            if (written != nullptr) *written = done;
            return V_FALSE;
        }
        done += static_cast<V_DWORD>(count);
    }
    if (written != nullptr) *written = done;
    return V_TRUE;
}

V_DWORD V_SetFilePointer(V_HANDLE handle, V_LONG distance, V_LONG* distanceHigh, V_DWORD method) {
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    if (!file) return V_INVALID_SET_FILE_POINTER;
    int whence = method == V_FILE_BEGIN     ? SEEK_SET
                 : method == V_FILE_CURRENT ? SEEK_CUR
                 : method == V_FILE_END     ? SEEK_END
                                            : -1;
    if (whence < 0) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit value.
    int64_t offset = distanceHigh == nullptr
                         ? static_cast<int64_t>(distance)
                         : static_cast<int64_t>(
                               (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                               static_cast<uint32_t>(distance));
    off_t base = whence == SEEK_SET ? 0 : lseek(file->fd, 0, whence);
    if (base < 0 || (offset < 0 && base + offset < 0)) {
        V_SetLastError(base < 0 ? LastErrno() : V_ERROR_NEGATIVE_SEEK);
        return V_INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd, base + offset, SEEK_SET);
    if (position < 0) {
        V_SetLastError(LastErrno());
        return V_INVALID_SET_FILE_POINTER;
    }
    // Writes after a move to the end go to the end as it is when they are made: another process
    // may write the file too (sharing is not enforced), and a line appended by each must not
    // land on the other's. Any other move writes where it put the position.
    if (method == V_FILE_END && offset == 0)
        SetAppending(file->fd, true);
    else if (method != V_FILE_CURRENT || offset != 0)
        SetAppending(file->fd, false);
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<V_LONG>(static_cast<uint64_t>(position) >> 32);
    } else if (position > 0xFFFFFFFELL) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);  // does not fit the low part alone
        return V_INVALID_SET_FILE_POINTER;
    }
    V_SetLastError(V_ERROR_SUCCESS);
    return static_cast<V_DWORD>(position);
}

V_DWORD V_GetFileSize(V_HANDLE handle, V_DWORD* sizeHigh) {
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    struct stat info;
    if (!file) return V_INVALID_FILE_SIZE;
    if (fstat(file->fd, &info) != 0) {
        V_SetLastError(LastErrno());
        return V_INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh != nullptr) *sizeHigh = static_cast<V_DWORD>(size >> 32);
    V_SetLastError(V_ERROR_SUCCESS);
    return static_cast<V_DWORD>(size);
}

V_BOOL V_GetFileTime(V_HANDLE handle, V_FILETIME* creation, V_FILETIME* access, V_FILETIME* write) {
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    if (!file) return V_FALSE;
    struct statx info;
    if (statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        V_SetLastError(LastErrno());
        return V_FALSE;
    }
    // Creation is the birth time where the file system keeps one, else the last change.
    const statx_timestamp& born = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    if (creation != nullptr) *creation = FileTimeFromUnix(born.tv_sec, born.tv_nsec);
    if (access != nullptr)
        *access = FileTimeFromUnix(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    if (write != nullptr) *write = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    return V_TRUE;
}

V_BOOL V_FlushFileBuffers(V_HANDLE handle) {
    auto file = LookupKernelObject<FileObject>(handle, KernelObjectKind::File);
    if (!file) return V_FALSE;
    if (fdatasync(file->fd) != 0 && errno != EINVAL && errno != EROFS) {
        V_SetLastError(LastErrno());
        return V_FALSE;
    }
    return V_TRUE;
}

V_BOOL V_DeleteFileA(const char* name) {
    std::string path;
    if (!V_ResolveFileName(name, path)) return V_FALSE;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        V_SetLastError(V_ERROR_ACCESS_DENIED);
        return V_FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        V_SetLastError(errno == ENOENT ? MissingPathError(path) : LastErrno());
        return V_FALSE;
    }
    return V_TRUE;
}
