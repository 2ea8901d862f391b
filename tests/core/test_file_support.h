// Helpers of the file, stream and archive tests: scratch folders, files and patterned bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace file_test {

// A fresh folder under the test program's working folder; returns its absolute path.
inline std::string MakeScratchFolder(const std::string& name) {
    const std::filesystem::path path = std::filesystem::current_path() / ("scratch_" + name);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string();
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that differ at every position and from seed to seed.
inline std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

// Bytes with repeats near and far, runs and escapes: food for the LZ encoder.
inline std::vector<uint8_t> CompressibleBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    const std::vector<uint8_t> noise = PatternBytes(70000, seed);
    uint32_t state = seed + 7;
    while (bytes.size() < size) {
        state = state * 1664525u + 1013904223u;
        const size_t kind = (state >> 28) % 4;
        const size_t length = 1 + (state >> 8) % 300;
        for (size_t i = 0; i < length && bytes.size() < size; ++i) {
            if (kind == 0) bytes.push_back(noise[(state + i) % noise.size()]);
            else if (kind == 1) bytes.push_back(static_cast<uint8_t>(state >> 16));
            else if (kind == 2 && bytes.size() > 70000) bytes.push_back(bytes[bytes.size() - 69000]);
            else bytes.push_back(static_cast<uint8_t>("velk archive text "[(bytes.size() + i) % 18]));
        }
    }
    return bytes;
}

}  // namespace file_test
