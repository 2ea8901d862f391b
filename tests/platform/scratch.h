// A scratch folder of its own for each test, removed with everything in it afterwards.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/velk-platform-XXXXXX";
        path_ = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~ScratchFolder() {
        if (!path_.empty())
            nftw(
                path_.c_str(),
                [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
    }
    const std::string& path() const { return path_; }
    // A path below the folder (UTF-8 or ASCII, '/' separated).
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

inline bool MakeFile(const std::string& path, const std::string& contents = "") {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    fwrite(contents.data(), 1, contents.size(), file);
    return fclose(file) == 0;
}

// The file's bytes as the system has them ("" when it cannot be read).
inline std::string FileText(const std::string& path) {
    std::string text;
    if (FILE* file = fopen(path.c_str(), "rb")) {
        for (int c; (c = fgetc(file)) != EOF;) text += static_cast<char>(c);
        fclose(file);
    }
    return text;
}

inline bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

inline bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// UTF-8 text from a u8 literal (narrow literals are compiled to code page 932).
inline std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}
