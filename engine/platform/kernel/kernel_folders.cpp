// The current folder, the temporary folder and names, and the program's own file name.
// Folders are reported in code page 932 with '/' separators, as Linux writes them.
#include <atomic>
#include <mutex>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel_objects.h"

namespace {

// Copies text and returns its length when it fits with its NUL; else returns the size
// needed (with the NUL) and leaves the buffer alone, as the platform's folder queries do.
V_DWORD ReturnFolderText(const std::string& text, V_DWORD size, char* buffer) {
    if (buffer == nullptr || text.size() + 1 > size) return static_cast<V_DWORD>(text.size() + 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<V_DWORD>(text.size());
}

bool IsCp932Lead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True when the code-page-932 text's last character is a separator of its own (the second
// byte of a pair, as in "表", is none).
bool EndsWithSeparator(const std::string& text) {
    bool separator = false;
    for (size_t i = 0; i < text.size(); ++i) {
        separator = text[i] == '/' || text[i] == '\\';
        if (IsCp932Lead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            separator = false;
            ++i;
        }
    }
    return separator;
}

// The end of the text without a lead byte cut from its trail: at most limit bytes.
size_t WholeCp932Prefix(const char* text, size_t limit) {
    size_t position = 0;
    while (position < limit && text[position] != '\0') {
        unsigned char lead = static_cast<unsigned char>(text[position]);
        size_t length = IsCp932Lead(lead) ? 2 : 1;
        if (position + length > limit || (length == 2 && text[position + 1] == '\0')) break;
        position += length;
    }
    return position;
}

// Folders that cannot be named in code page 932, or that lie so deep that a file name of the
// longest length would not fit below them within the system's path limit, are named through a
// descriptor the layer keeps open on them: "/proc/self/fd/N" reaches the folder from every file
// call, so a caller that only passes the name on (to set the folder back, or to make a file in
// it) still works. One descriptor per folder, kept to the end of the process.
struct FolderAlias {
    dev_t device;
    ino_t inode;
    int descriptor;
};

constexpr int kMaxFolderAliases = 64;

bool NeedsFolderAlias(const char* native) {
    return strlen(native) + 1 + NAME_MAX >= PATH_MAX;
}

// The alias of the current folder; false when no descriptor can be had.
bool CurrentFolderAlias(std::string& alias) {
    static std::mutex lock;
    static FolderAlias aliases[kMaxFolderAliases];
    static int count = 0;
    int descriptor = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat info;
    if (descriptor < 0 || fstat(descriptor, &info) != 0) {
        V_SetLastError(ErrorFromErrno(errno));
        if (descriptor >= 0) close(descriptor);
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i)
        if (aliases[i].device == info.st_dev && aliases[i].inode == info.st_ino) found = i;
    if (found >= 0) {
        close(descriptor);
    } else if (count < kMaxFolderAliases) {
        found = count++;
        aliases[found] = {info.st_dev, info.st_ino, descriptor};
    } else {
        close(descriptor);
        V_SetLastError(V_ERROR_TOO_MANY_OPEN_FILES);
        return false;
    }
    alias = "/proc/self/fd/" + std::to_string(aliases[found].descriptor);
    return true;
}

}  // namespace

V_DWORD V_GetCurrentDirectoryA(V_DWORD size, char* buffer) {
    char current[PATH_MAX];
    std::string converted;
    if (getcwd(current, sizeof(current)) == nullptr) {
        if (errno != ERANGE && errno != ENAMETOOLONG) {
            V_SetLastError(ErrorFromErrno(errno));
            return 0;
        }
        current[0] = '\0';  // deeper than the path limit: named through its alias
    }
    if (current[0] == '\0' || NeedsFolderAlias(current) ||
        !Utf8ToCp932String(current, converted)) {
        if (!CurrentFolderAlias(converted)) return 0;
    }
    return ReturnFolderText(converted, size, buffer);
}

V_BOOL V_SetCurrentDirectoryA(const char* name) {
    std::string path;
    if (!V_ResolveFileName(name, path)) return V_FALSE;
    if (chdir(path.c_str()) != 0) {
        V_SetLastError(errno == ENOENT ? V_ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return V_FALSE;
    }
    return V_TRUE;
}

// TMPDIR when it names a folder, else /tmp; always ending with '/'.
V_DWORD V_GetTempPathA(V_DWORD size, char* buffer) {
    std::string folder = "/tmp";
    const char* fromEnvironment = getenv("TMPDIR");
    struct stat info;
    if (fromEnvironment != nullptr && fromEnvironment[0] == '/' &&
        stat(fromEnvironment, &info) == 0 && S_ISDIR(info.st_mode))
        folder = fromEnvironment;
    if (folder.back() != '/') folder += '/';
    std::string converted;
    if (!Utf8ToCp932String(folder.c_str(), converted)) {
        V_SetLastError(V_ERROR_INVALID_NAME);
        return 0;
    }
    return ReturnFolderText(converted, size, buffer);
}

// The name is the folder, up to three bytes of the prefix, the number in hexadecimal (at
// most four digits) and ".TMP". With unique 0 the numbers are tried from a starting point
// that differs between processes and calls, and each candidate is created with O_EXCL, so
// two callers never receive the same name; the name buffer holds V_MAX_PATH bytes.
V_UINT V_GetTempFileNameA(const char* path, const char* prefix, V_UINT unique, char* name) {
    if (path == nullptr || name == nullptr) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string base = path;
    if (!base.empty() && !EndsWithSeparator(base)) base += '/';
    if (prefix != nullptr) base.append(prefix, WholeCp932Prefix(prefix, 3));

    auto compose = [&](V_UINT number, std::string& out) {
        char digits[16];
        snprintf(digits, sizeof(digits), "%X.TMP", number & 0xFFFFu);
        out = base + digits;
        return out.size() < static_cast<size_t>(V_MAX_PATH);
    };
    std::string candidate;
    if (unique != 0) {
        if (!compose(unique, candidate)) {
            V_SetLastError(V_ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        memcpy(name, candidate.c_str(), candidate.size() + 1);
        return unique & 0xFFFFu;
    }

    static std::atomic<V_UINT> sequence{0};
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    V_UINT start = static_cast<V_UINT>(getpid()) * 40503u + static_cast<V_UINT>(now.tv_nsec) +
                   sequence.fetch_add(7919u);
    for (V_UINT attempt = 0; attempt < 0xFFFFu; ++attempt) {
        V_UINT number = (start + attempt) % 0xFFFFu + 1;  // 1..0xFFFF
        std::string linuxPath;
        if (!compose(number, candidate)) {
            V_SetLastError(V_ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        if (!V_ResolveFileNameExactName(candidate.c_str(), linuxPath)) return 0;
        int fd = open(linuxPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            memcpy(name, candidate.c_str(), candidate.size() + 1);
            return number;
        }
        if (errno != EEXIST) {
            V_SetLastError(errno == ENOENT ? V_ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
            return 0;
        }
    }
    V_SetLastError(V_ERROR_FILE_EXISTS);
    return 0;
}

// Only the program itself (module null) is known. A name that does not fit is cut to
// size - 1 bytes and the result is size with V_ERROR_INSUFFICIENT_BUFFER.
V_DWORD V_GetModuleFileNameA(V_HMODULE module, char* buffer, V_DWORD size) {
    if (module != nullptr || buffer == nullptr || size == 0) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return 0;
    }
    char program[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
    std::string converted;
    if (length <= 0) {
        V_SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    program[length] = '\0';
    if (!Utf8ToCp932String(program, converted)) {
        V_SetLastError(V_ERROR_INVALID_NAME);
        return 0;
    }
    if (converted.size() + 1 > size) {
        size_t keep = WholeCp932Prefix(converted.c_str(), size - 1);
        memcpy(buffer, converted.c_str(), keep);
        buffer[keep] = '\0';
        V_SetLastError(V_ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(buffer, converted.c_str(), converted.size() + 1);
    V_SetLastError(V_ERROR_SUCCESS);
    return static_cast<V_DWORD>(converted.size());
}
