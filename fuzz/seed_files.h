// What the seed programs share: the corpus folder named on their command line and writing a
// starting input into it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The corpus folder, the program's one argument; null, after the usage line on stderr,
// without it.
inline const char* SeedFolder(int argc, char** argv, const char* program) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", program);
        return nullptr;
    }
    return argv[1];
}

// Writes the bytes as the file at path; false when the file cannot be written.
inline bool WriteSeed(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0;
}
