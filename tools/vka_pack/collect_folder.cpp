// Reads a folder tree from disk into archive writer files.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive_writer.h"
#include "platform/kernel/kernel.h"

namespace fs = std::filesystem;

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeEpochSeconds = 11644473600ull;

// Last write time of a path as a Windows file time (100 ns units since 1601).
uint64_t GetFileTime(const fs::path& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return 0;
    return (static_cast<uint64_t>(status.st_mtim.tv_sec) + kFileTimeEpochSeconds) * 10000000ull +
           static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100;
}

bool ToArchiveName(const fs::path& relative, std::string* name, std::string* error) {
    char converted[4096];
    if (!V_Utf8ToCp932(relative.generic_string().c_str(), converted, sizeof(converted))) {
        *error = "name not representable in code page 932: " + relative.generic_string();
        return false;
    }
    *name = converted;
    std::replace(name->begin(), name->end(), '/', '\\');
    return true;
}

}  // namespace

bool CollectArchiveFolder(const std::string& folder, std::vector<ArchiveWriterFile>* files,
                          std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
        *error = "not a folder: " + folder;
        return false;
    }
    std::vector<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(folder, code);
         !code && it != fs::recursive_directory_iterator(); it.increment(code))
        paths.push_back(it->path());
    if (code) {
        *error = "cannot read " + folder + ": " + code.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        const bool directory = fs::is_directory(path, code);
        // Directories that hold something are made from their files' paths.
        if (directory && !fs::is_empty(path, code)) continue;
        ArchiveWriterFile file;
        if (!ToArchiveName(fs::relative(path, folder), &file.path, error)) return false;
        file.directory = directory;
        const uint64_t time = GetFileTime(path);
        file.creationTime = time;
        file.lastWriteTime = time;
        if (!directory) {
            std::ifstream in(path, std::ios::binary);
            file.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                *error = "cannot read " + path.string();
                return false;
            }
        }
        files->push_back(std::move(file));
    }
    return true;
}
