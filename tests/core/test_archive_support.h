// Helpers of the archive tests: a small archive tree, and access to the unscrambled image.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "core/archive.h"
#include "test_file_support.h"

namespace archive_test {

using Bytes = std::vector<uint8_t>;

// A tree with stored and compressible members, a subdirectory, a file and a subdirectory of
// the same name, an empty directory and a member whose name has a Shift-JIS character with a
// '\' trail byte.
inline std::vector<ArchiveWriterFile> SampleFiles() {
    std::vector<ArchiveWriterFile> files;
    auto add = [&](const std::string& path, Bytes data) {
        ArchiveWriterFile file;
        file.path = path;
        file.data = std::move(data);
        file.creationTime = 132000000000000000ull;
        file.lastWriteTime = 133000000000000000ull;
        files.push_back(std::move(file));
    };
    add("A.bmp", file_test::PatternBytes(5000, 21));
    add("text.txt", file_test::CompressibleBytes(300000, 22));
    add("Sub\\Deep\\image.png", file_test::CompressibleBytes(70000, 23));
    add("Sub\\b.dat", file_test::PatternBytes(1, 24));
    add("Twin", file_test::PatternBytes(77, 25));
    add("Twin\\inner.bin", file_test::PatternBytes(33, 26));
    add("\x95\x5C.bin", file_test::PatternBytes(12, 27));  // a two-byte character ending in '\'
    add("empty.bin", Bytes{});
    ArchiveWriterFile folder;
    folder.path = "Hollow";
    folder.directory = true;
    files.push_back(folder);
    return files;
}

inline Bytes BuildImage(const std::vector<ArchiveWriterFile>& files,
                        const ArchiveWriterOptions& options = {}) {
    Bytes image;
    std::string error;
    if (!BuildArchive(files, options, &image, &error)) return {};
    return image;
}

// Unscrambles (or scrambles again) an image made with the built-in key.
inline void ToggleScramble(Bytes& image) {
    unsigned char key[kArchiveKeySize];
    MakeArchiveKey(nullptr, key);
    ScrambleArchiveBytes(image.size(), image.data(), 0, key);
}

inline uint32_t Get32(const Bytes& image, size_t offset) {
    uint32_t value;
    std::memcpy(&value, image.data() + offset, 4);
    return value;
}

inline void Put32(Bytes& image, size_t offset, uint32_t value) {
    std::memcpy(image.data() + offset, &value, 4);
}

// Reads a whole member through the member operations.
inline bool ReadMember(ArchiveRecord* record, const char* path, Bytes* out, int async = 0) {
    ArchiveMemberState state;
    if (OpenArchiveMember(&state, record, path, async) != 0) return false;
    out->clear();
    uint8_t buffer[70001];
    for (;;) {
        const size_t got = ReadArchiveMember(&state, buffer, sizeof(buffer));
        while (PollArchiveMemberRead(&state) == 0) {
        }
        if (got == 0) break;
        out->insert(out->end(), buffer, buffer + got);
    }
    const bool atEnd = IsArchiveMemberEof(&state) == -1;
    CloseArchiveMember(&state);
    return atEnd;
}

}  // namespace archive_test
