// Writes starting inputs of the archive fuzz target: small archives of every version, before
// scrambling, with stored and compressed members and nested directories.
#include <string>

#include "archive_seed.h"
#include "core/archive.h"
#include "seed_files.h"

int main(int argc, char** argv) {
    const char* folder = SeedFolder(argc, argv, "seed_archive");
    if (folder == nullptr) return 2;
    for (int version = 0; version < kSeedArchiveVersions; ++version) {
        std::vector<uint8_t> image;
        if (!BuildSeedArchive(version, &image)) return 1;
        unsigned char key[kArchiveKeySize];
        MakeArchiveKey(nullptr, key);
        ScrambleArchiveBytes(image.size(), image.data(), 0, key);  // the target scrambles again
        const std::string path = std::string(folder) + "/version" + std::to_string(version) + ".vka";
        if (!WriteSeed(path, image)) return 1;
    }
    return 0;
}
