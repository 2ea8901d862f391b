// Writes starting inputs of the movie fuzz target: short movies made with FFmpeg's encoders in
// every container the target names, in odd and even sizes, each behind its extension byte.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/media_support/media_encode.h"
#include "seed_files.h"

namespace {

// Prefixes the file at path with the extension byte, in place.
bool Prefix(const std::string& path, unsigned char extension) {
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (bytes.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(extension));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const char* folderName = SeedFolder(argc, argv, "seed_movies");
    if (folderName == nullptr) return 2;
    const std::string folder = folderName;
    // Extensions: 0 ".avi", 1 ".mpg", 2 ".mkv", 4 ".mov", 5 ".ogv" (the target's table).
    struct Container {
        const char* extension;
        unsigned char byte;
        const char* encoder;
        int fps;  // MPEG-1 takes only its own frame rates
    } containers[] = {{".avi", 0, "mpeg4", 10}, {".mpg", 1, "mpeg1video", 25},
                      {".mkv", 2, "mpeg4", 10}, {".mov", 4, "mpeg4", 10},
                      {".ogv", 5, "libtheora", 10}};
    // Odd and even sizes, the narrow widths whose rows end inside the converter's pixel groups
    // among them.
    const int sizes[][2] = {{32, 24}, {1, 1},   {3, 7},   {8, 5},   {17, 4},  {24, 9},
                            {33, 1},  {47, 6},  {64, 7},  {321, 5}, {328, 6}, {360, 5},
                            {854, 4}};
    int written = 0;
    for (const Container& c : containers)
        for (const auto& wh : sizes) {
            const std::string path = folder + "/" + std::to_string(wh[0]) + "x" +
                                     std::to_string(wh[1]) + c.extension;
            if (media::WriteTestMovie(path, wh[0], wh[1], 2, c.fps, c.encoder) && Prefix(path, c.byte))
                ++written;
            else
                std::remove(path.c_str());
        }
    return written > 0 ? 0 : 1;
}
