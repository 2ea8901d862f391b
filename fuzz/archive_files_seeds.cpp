// Writes starting inputs of the archive-through-files fuzz target: small archives of every
// version, unscrambled, with stored and compressed members and nested folders, behind no key
// string or a short one.
#include <string>

#include "archive_seed.h"
#include "seed_files.h"

int main(int argc, char** argv) {
    const char* folder = SeedFolder(argc, argv, "seed_archive_files");
    if (folder == nullptr) return 2;
    for (int version = 0; version < kSeedArchiveVersions; ++version) {
        std::vector<uint8_t> image;
        if (!BuildSeedArchive(version, &image)) return 1;
        const std::string key = version == 1 ? "KEY" : "";
        std::vector<uint8_t> seed = {static_cast<uint8_t>(key.size())};
        seed.insert(seed.end(), key.begin(), key.end());
        seed.insert(seed.end(), image.begin(), image.end());
        if (!WriteSeed(std::string(folder) + "/version" + std::to_string(version), seed)) return 1;
    }
    return 0;
}
