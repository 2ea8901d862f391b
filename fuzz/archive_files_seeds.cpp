// Writes starting inputs of the archive-through-files fuzz target: small archives of every
// version, unscrambled, with stored and compressed members and nested folders, behind no key
// string or a short one.
#include <cstdio>
#include <string>

#include "archive_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: seed_archive_files FOLDER\n");
        return 2;
    }
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
    for (int version = 0; version < 4; ++version) {
        ArchiveWriterOptions options;
        options.version = version;
        options.compression = version == 3 ? ArchiveCompression::Store : ArchiveCompression::Always;
        std::vector<uint8_t> image;
        std::string error;
        if (!BuildArchive(files, options, &image, &error)) return 1;
        const std::string key = version == 1 ? "KEY" : "";
        const std::string path = std::string(argv[1]) + "/version" + std::to_string(version);
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) return 1;
        std::fputc(static_cast<int>(key.size()), out);
        std::fwrite(key.data(), 1, key.size(), out);
        std::fwrite(image.data(), 1, image.size(), out);
        std::fclose(out);
    }
    return 0;
}
