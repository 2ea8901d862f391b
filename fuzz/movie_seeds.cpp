// Writes starting inputs of the movie fuzz target: short movies made with FFmpeg's encoders in
// the containers the target names, each behind its extension byte.
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
    // Extensions: 0 ".avi", 1 ".mpg", 2 ".mkv" (the target's table).
    struct Made {
        const char* name;
        unsigned char extension;
        int width, height, frames, fps;
        const char* encoder;
    } made[] = {{"clip.avi", 0, 32, 24, 4, 10, "mpeg4"},
                {"clip.mpg", 1, 32, 32, 3, 25, "mpeg1video"},
                {"clip.mkv", 2, 34, 20, 3, 10, "mpeg4"}};
    int written = 0;
    for (const Made& m : made) {
        const std::string path = folder + "/" + m.name;
        if (media::WriteTestMovie(path, m.width, m.height, m.frames, m.fps, m.encoder) &&
            Prefix(path, m.extension))
            ++written;
    }
    return written > 0 ? 0 : 1;
}
