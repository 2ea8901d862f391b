// vka-pack: packs a folder into an archive named after it, which the library then reads in the
// folder's place.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive_writer.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: vka-pack [-v VERSION] [-k KEY | -2] [-s | -c] FOLDER [ARCHIVE]\n"
                 "  -v VERSION  archive version 0-3 (default 2; below 2 nothing is compressed)\n"
                 "  -k KEY      scramble with a key made from the text KEY\n"
                 "  -2          scramble with the reader's second key\n"
                 "  -s          store every member uncompressed\n"
                 "  -c          compress every member, even where that does not save bytes\n"
                 "ARCHIVE defaults to FOLDER.VKA beside the folder.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ArchiveWriterOptions options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const std::string flag = argv[i];
        if (flag == "-v" && i + 1 < argc) {
            options.version = std::atoi(argv[++i]);
        } else if (flag == "-k" && i + 1 < argc) {
            options.keyString = argv[++i];
        } else if (flag == "-2") {
            options.secondKey = true;
        } else if (flag == "-s") {
            options.compression = ArchiveCompression::Store;
        } else if (flag == "-c") {
            options.compression = ArchiveCompression::Always;
        } else {
            return Usage();
        }
    }
    if (i >= argc || argc - i > 2) return Usage();
    std::string folder = argv[i];
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    const std::string output = i + 1 < argc ? argv[i + 1] : folder + ".VKA";

    std::vector<ArchiveWriterFile> files;
    std::string error;
    if (!CollectArchiveFolder(folder, &files, &error) ||
        !WriteArchive(output, files, options, &error)) {
        std::fprintf(stderr, "vka-pack: %s\n", error.c_str());
        return 1;
    }
    std::printf("vka-pack: %zu entries written to %s\n", files.size(), output.c_str());
    return 0;
}
