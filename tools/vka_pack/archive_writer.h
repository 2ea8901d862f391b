// The project's archive writer: builds scrambled archives with stored or LZ-compressed members,
// the inverse of the engine's archive reader. Used by the vka-pack tool, the tests and the
// benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveWriterFile {
    std::string path;  // code page 932, '\' or '/' between directories
    std::vector<uint8_t> data;
    bool directory = false;  // an empty directory (directories of files are made implicitly)
    uint64_t creationTime = 0;   // Windows file times
    uint64_t lastWriteTime = 0;
};

enum class ArchiveCompression {
    Store,         // every member stored
    WhenSmaller,   // compressed where that saves bytes
    Always,        // every member of version 2 or later compressed
};

struct ArchiveWriterOptions {
    int version = 2;  // 0 to 3; from 2 on members may be compressed
    ArchiveCompression compression = ArchiveCompression::WhenSmaller;
    const char* keyString = nullptr;  // none: the built-in key
    bool secondKey = false;           // scramble with the reader's second key
    int escapeByte = -1;              // LZ escape byte; -1 picks the rarest byte of each member
};

struct LzEncodeOptions {
    int escapeByte = -1;  // -1: the rarest byte of the input
    int maxChain = 32;    // match candidates tried per position
};

// Encodes data as one packed block (9-byte head and tokens). Greedy; uses every token kind.
std::vector<uint8_t> EncodeArchiveData(const uint8_t* data, size_t size,
                                       const LzEncodeOptions& options = {});

// Builds the whole archive image, scrambled. Returns false (with a reason) when a name is
// empty or too long, a file is given twice, or the image would pass 4 GB.
bool BuildArchive(const std::vector<ArchiveWriterFile>& files, const ArchiveWriterOptions& options,
                  std::vector<uint8_t>* image, std::string* error);
bool WriteArchive(const std::string& outputPath, const std::vector<ArchiveWriterFile>& files,
                  const ArchiveWriterOptions& options, std::string* error);

// Reads a folder tree (UTF-8 names on disk) into writer files with code-page-932 names,
// sorted by name.
bool CollectArchiveFolder(const std::string& folder, std::vector<ArchiveWriterFile>* files,
                          std::string* error);
