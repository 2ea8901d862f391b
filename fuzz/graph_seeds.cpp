// Writes starting inputs of the graph loading fuzz target: an extension choice, the image's
// length, a small image file and its alpha companion (BMP and TGA, with and without alpha, in
// odd and even sizes; DDS of DXT1 to DXT5 and uncompressed, with and without a mip chain, at odd
// sizes; companions in every loader's format), and short movies of odd and even sizes for the
// movie road.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "../tests/media_support/media_encode.h"
#include "image_seed_files.h"
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

// A raw BGRA file with 8-bit channels.
Bytes Bgra(int width, int height) {
    Bytes b = {'B', 'G', 'R', 'A'};
    Put(b, 0x08080808u, 4);
    Put(b, static_cast<unsigned>(width), 4);
    Put(b, static_cast<unsigned>(height), 4);
    for (int i = 0; i < width * height * 4; ++i) b.push_back(static_cast<unsigned char>(i * 23));
    return b;
}

// A DDS of "DXT1" to "DXT5" or of A8R8G8B8 pixels (fourCc null) with as much data as the loader
// reads for the levels: whole 4 x 4 blocks, a partial one at an edge included.
Bytes Dds(const char* fourCc, int width, int height, int mips) {
    size_t size = 0;
    for (int level = 0, w = width, h = height; level < (mips > 1 ? mips : 1); ++level) {
        size += fourCc ? static_cast<size_t>((w + 3) / 4) * ((h + 3) / 4) * (fourCc[3] == '1' ? 8 : 16)
                       : static_cast<size_t>(w) * h * 4;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return seed_image::Dds(fourCc ? fourCc : "\0\0\0\0", fourCc ? 0x4 : 0x41, fourCc ? 0 : 32,
                           static_cast<unsigned>(width), static_cast<unsigned>(height),
                           static_cast<unsigned>(mips), size);
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
    // DDS pictures with a companion of their own kind: the blocks reach the software image and
    // the alpha through the decoder. Extension 4 ".dds".
    const char* const ddsKinds[] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5", nullptr};
    const int ddsSizes[][3] = {{1, 1, 0}, {3, 5, 0}, {6, 2, 0}, {9, 7, 3}, {13, 4, 0}, {13, 4, 2}};
    for (const char* kind : ddsKinds)
        for (const auto& s : ddsSizes)
            ok = ok && Write(folder + "/" + (kind ? kind : "argb") + "-" + std::to_string(s[0]) + "x" +
                                 std::to_string(s[1]) + (s[2] ? "-mips" : "") + ".dds",
                             4, Dds(kind, s[0], s[1], s[2]), Dds(kind, s[0], s[1], s[2]));
    // A DXT picture with a smaller companion, and one with a PNG companion.
    ok = ok && Write(folder + "/dxt5-small-companion", 4, Dds("DXT5", 9, 7, 0), Dds("DXT1", 4, 4, 0)) &&
         Write(folder + "/dxt3-png-companion", 4, Dds("DXT3", 5, 3, 0),
               seed_image::Png(PNG_COLOR_TYPE_GRAY, 8, 5, 3, false));
    // A BMP picture with a companion in every loader's format.
    for (const auto& wh : {std::make_pair(5, 3), std::make_pair(9, 7)}) {
        const int w = wh.first, h = wh.second;
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const std::pair<std::string, Bytes> companions[] = {
            {"png-grey", seed_image::Png(PNG_COLOR_TYPE_GRAY, 8, w, h, false)},
            {"png-rgba", seed_image::Png(PNG_COLOR_TYPE_RGB_ALPHA, 8, w, h, false)},
            {"png-palette", seed_image::Png(PNG_COLOR_TYPE_PALETTE, 8, w, h, true)},
            {"jpg-grey", seed_image::Jpeg(1, w, h, false)},
            {"jpg", seed_image::Jpeg(3, w, h, true)},
            {"bgra", Bgra(w, h)},
            {"tga", Tga(w, h)},
            {"dxt1", Dds("DXT1", w, h, 0)},
            {"dxt2", Dds("DXT2", w, h, 0)},
            {"dxt3", Dds("DXT3", w, h, 0)},
            {"dxt4", Dds("DXT4", w, h, 0)},
            {"dxt5", Dds("DXT5", w, h, 0)},
            {"argb-dds", Dds(nullptr, w, h, 0)},
        };
        for (const auto& companion : companions)
            ok = ok && !companion.second.empty() &&
                 Write(folder + "/bmp-" + size + "-" + companion.first + "-companion", 0,
                       Bmp(24, w, h), companion.second);
    }
    return ok ? 0 : 1;
}
