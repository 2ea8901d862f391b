// Writes starting inputs of the graph loading fuzz target: an extension choice, the image's
// length, a small image file and its alpha companion (BMP and TGA, with and without alpha, in
// odd and even sizes), and short movies of odd and even sizes for the movie road.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/media_support/media_encode.h"
#include "seed_files.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// An uncompressed BMP: 24-bit, or 8-bit with a grey palette.
Bytes Bmp(int bitCount, int width, int height) {
    const int colors = bitCount == 8 ? 256 : 0;
    const int stride = (width * bitCount / 8 + 3) & ~3;
    const unsigned offset = 54 + colors * 4;
    Bytes b = {'B', 'M'};
    Put(b, offset + static_cast<unsigned>(stride * height), 4);
    Put(b, 0, 4);
    Put(b, offset, 4);
    Put(b, 40, 4);
    Put(b, static_cast<unsigned>(width), 4);
    Put(b, static_cast<unsigned>(height), 4);
    Put(b, 1, 2);
    Put(b, static_cast<unsigned>(bitCount), 2);
    for (int i = 0; i < 6; ++i) Put(b, 0, 4);
    for (int i = 0; i < colors; ++i) Put(b, i * 0x010101u, 4);
    for (int i = 0; i < stride * height; ++i) b.push_back(static_cast<unsigned char>(i * 29));
    return b;
}

// An uncompressed 24-bit TGA, top row first.
Bytes Tga(int width, int height) {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put(b, static_cast<unsigned>(width), 2);
    Put(b, static_cast<unsigned>(height), 2);
    b.push_back(24);
    b.push_back(0x20);
    for (int i = 0; i < width * height * 3; ++i) b.push_back(static_cast<unsigned char>(i * 13));
    return b;
}

bool Write(const std::string& path, unsigned char extension, const Bytes& image, const Bytes& alpha) {
    Bytes b = {extension};
    Put(b, static_cast<unsigned>(image.size()), 2);
    b.insert(b.end(), image.begin(), image.end());
    b.insert(b.end(), alpha.begin(), alpha.end());
    return WriteSeed(path, b);
}

// A movie of the size made with the encoder, as bytes; empty when it cannot be made.
Bytes Movie(const std::string& path, int width, int height, const char* encoder) {
    Bytes bytes;
    if (media::WriteTestMovie(path, width, height, 2, 10, encoder)) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path.c_str());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const char* folderName = SeedFolder(argc, argv, "seed_graphs");
    if (folderName == nullptr) return 2;
    const std::string folder = folderName;
    // Extensions: 0 ".bmp", 3 ".tga" (the target's table).
    bool ok = Write(folder + "/bmp-alpha", 0, Bmp(24, 5, 3), Bmp(8, 5, 3)) &&
              Write(folder + "/bmp-alpha-other-size", 0, Bmp(24, 5, 3), Bmp(8, 4, 3)) &&
              Write(folder + "/bmp", 0, Bmp(8, 7, 2), {}) &&
              Write(folder + "/tga-alpha", 3, Tga(4, 4), Tga(4, 4)) &&
              Write(folder + "/not-an-image", 7, Bytes(40, 'x'), {});
    const int sizes[][2] = {{1, 1}, {3, 7}, {8, 5}, {17, 4}, {33, 1}, {47, 6}, {64, 7},
                            {321, 5}, {328, 6}, {360, 5}, {854, 4}};
    for (const auto& wh : sizes) {
        const std::string size = std::to_string(wh[0]) + "x" + std::to_string(wh[1]);
        ok = ok && Write(folder + "/" + size + ".bmp", 0, Bmp(24, wh[0], wh[1]), Bmp(8, wh[0], wh[1])) &&
             Write(folder + "/" + size + ".tga", 3, Tga(wh[0], wh[1]), {});
        // Extensions 6 ".ogv" and 7 ".avi": the movie road.
        const Bytes avi = Movie(folder + "/made.avi", wh[0], wh[1], "mpeg4");
        if (!avi.empty() && avi.size() <= 0xFFFF) ok = ok && Write(folder + "/" + size + ".avi", 7, avi, {});
        const Bytes ogv = Movie(folder + "/made.ogv", wh[0], wh[1], "libtheora");
        if (!ogv.empty() && ogv.size() <= 0xFFFF) ok = ok && Write(folder + "/" + size + ".ogv", 6, ogv, {});
    }
    return ok ? 0 : 1;
}
