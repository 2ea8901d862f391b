// The archive the archive seed programs start from, in each version: stored and compressed
// members, nested folders, an empty folder and an empty file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive_writer.h"

constexpr int kSeedArchiveVersions = 4;

// The archive image of the version (the last version stores, the others compress); false
// when the writer refuses it.
inline bool BuildSeedArchive(int version, std::vector<uint8_t>* image) {
    std::vector<ArchiveWriterFile> files(5);
    files[0].path = "A.BMP";
    files[0].data.assign(300, 'a');
    files[1].path = "Sub\\b.dat";
    files[1].data = {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    files[2].path = "Sub\\Deep\\c.txt";
    for (int i = 0; i < 2000; ++i) files[2].data.push_back(static_cast<uint8_t>("velk "[i % 5]));
    files[3].path = "Empty";
    files[3].directory = true;
    files[4].path = "z";
    ArchiveWriterOptions options;
    options.version = version;
    options.compression = version == 3 ? ArchiveCompression::Store : ArchiveCompression::Always;
    std::string error;
    return BuildArchive(files, options, image, &error);
}
