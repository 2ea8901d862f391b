// Writes starting inputs of the image fuzz target: small BMP, TGA, DDS and raw BGRA files made
// here, and PNG and JPEG files made by ImageMagick when it is installed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "seed_files.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void Text(Bytes& b, const char* text) {
    while (*text) b.push_back(static_cast<unsigned char>(*text++));
}

Bytes Bmp(int bitCount, int compression, int width, int height, const Bytes& pixels) {
    int colors = bitCount <= 8 ? 1 << bitCount : (bitCount == 16 || bitCount == 32 ? 3 : 0);
    unsigned offset = 54 + colors * 4;
    Bytes b;
    Text(b, "BM");
    Put(b, offset + static_cast<unsigned>(pixels.size()), 4);
    Put(b, 0, 4);
    Put(b, offset, 4);
    Put(b, 40, 4);
    Put(b, static_cast<unsigned>(width), 4);
    Put(b, static_cast<unsigned>(height), 4);
    Put(b, 1, 2);
    Put(b, bitCount, 2);
    Put(b, compression, 4);
    for (int i = 0; i < 5; ++i) Put(b, 0, 4);
    if (colors == 3) {
        Put(b, 0xF800, 4);
        Put(b, 0x07E0, 4);
        Put(b, 0x001F, 4);
    } else {
        for (int i = 0; i < colors; ++i) Put(b, i * 0x010203u, 4);
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes Tga(int type, int depth, int descriptor, const Bytes& map, int mapBits, const Bytes& data) {
    Bytes b = {0, static_cast<unsigned char>(map.empty() ? 0 : 1), static_cast<unsigned char>(type)};
    Put(b, 0, 2);
    Put(b, static_cast<unsigned>(map.size() / (mapBits / 8 ? mapBits / 8 : 1)), 2);
    Put(b, mapBits, 1);
    Put(b, 0, 4);
    Put(b, 4, 2);
    Put(b, 2, 2);
    Put(b, depth, 1);
    Put(b, descriptor, 1);
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes Dds(const char* fourCc, unsigned pixelFlags, unsigned bits, unsigned mips, size_t dataSize) {
    Bytes b;
    Text(b, "DDS ");
    Put(b, 124, 4);
    Put(b, 0x1007 | (mips ? 0x20000 : 0), 4);
    Put(b, 8, 4);
    Put(b, 8, 4);
    Put(b, 0, 4);
    Put(b, 0, 4);
    Put(b, mips, 4);
    for (int i = 0; i < 11; ++i) Put(b, 0, 4);
    Put(b, 32, 4);
    Put(b, pixelFlags, 4);
    Text(b, fourCc);
    Put(b, bits, 4);
    Put(b, 0xFF0000, 4);
    Put(b, 0xFF00, 4);
    Put(b, 0xFF, 4);
    Put(b, 0xFF000000u, 4);
    Put(b, 0x1000 | (mips ? 0x400008 : 0), 4);
    for (int i = 0; i < 4; ++i) Put(b, 0, 4);
    for (size_t i = 0; i < dataSize; ++i) b.push_back(static_cast<unsigned char>(i * 37));
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    const char* folderName = SeedFolder(argc, argv, "seed_images");
    if (folderName == nullptr) return 2;
    const std::string folder = folderName;
    Bytes ramp;
    for (int i = 0; i < 96; ++i) ramp.push_back(static_cast<unsigned char>(i * 11));
    bool ok = true;
    ok &= WriteSeed(folder + "/24.bmp", Bmp(24, 0, 4, 2, Bytes(ramp.begin(), ramp.begin() + 24)));
    ok &= WriteSeed(folder + "/8.bmp", Bmp(8, 0, 4, -2, Bytes(ramp.begin(), ramp.begin() + 8)));
    ok &= WriteSeed(folder + "/4.bmp", Bmp(4, 0, 5, 2, Bytes(ramp.begin(), ramp.begin() + 8)));
    ok &= WriteSeed(folder + "/1.bmp", Bmp(1, 0, 9, 2, Bytes(ramp.begin(), ramp.begin() + 8)));
    ok &= WriteSeed(folder + "/16.bmp", Bmp(16, 3, 3, 2, Bytes(ramp.begin(), ramp.begin() + 16)));
    ok &= WriteSeed(folder + "/32.bmp", Bmp(32, 0, 2, 2, Bytes(ramp.begin(), ramp.begin() + 16)));
    ok &= WriteSeed(folder + "/rle8.bmp", Bmp(8, 1, 6, 3, {3, 9, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 7, 0, 1}));
    ok &= WriteSeed(folder + "/rle4.bmp", Bmp(4, 2, 6, 3, {5, 0xAB, 0, 0, 0, 3, 0x12, 0x30, 0, 1}));
    ok &= WriteSeed(folder + "/2.tga", Tga(2, 24, 0x20, {}, 0, Bytes(ramp.begin(), ramp.begin() + 24)));
    ok &= WriteSeed(folder + "/10.tga", Tga(10, 32, 0, {}, 0, {0x83, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    ok &= WriteSeed(folder + "/1.tga", Tga(1, 8, 0x30, Bytes(ramp.begin(), ramp.begin() + 12), 24, {0, 1, 2, 3, 3, 2, 1, 0}));
    ok &= WriteSeed(folder + "/9.tga", Tga(9, 8, 0, Bytes(ramp.begin(), ramp.begin() + 8), 16, {0x87, 1}));
    ok &= WriteSeed(folder + "/dxt1.dds", Dds("DXT1", 4, 0, 0, 32));
    ok &= WriteSeed(folder + "/dxt3.dds", Dds("DXT3", 4, 0, 0, 64));
    ok &= WriteSeed(folder + "/dxt5.dds", Dds("DXT5", 4, 0, 4, 64 + 16 + 16 + 16));
    ok &= WriteSeed(folder + "/argb.dds", Dds("\0\0\0\0", 0x41, 32, 0, 256));
    Bytes bgra;
    Text(bgra, "BGRA");
    Put(bgra, 0x10101010, 4);
    Put(bgra, 3, 4);
    Put(bgra, 2, 4);
    bgra.insert(bgra.end(), ramp.begin(), ramp.begin() + 48);
    ok &= WriteSeed(folder + "/16.bgra", bgra);
    if (std::system("convert -version >/dev/null 2>&1") == 0) {
        const char* made[] = {
            "rose: -resize 12x9 PNG24:", "rose: -resize 12x9 -colors 8 PNG8:",
            "rose: -resize 7x5 -interlace PNG PNG64:", "rose: -resize 6x6 -colorspace gray -define png:color-type=4 png:",
            "rose: -resize 12x9 -quality 70 jpg:", "rose: -resize 16x8 -interlace JPEG jpg:",
            "rose: -resize 8x8 -colorspace gray -type grayscale jpg:",
        };
        int i = 0;
        for (const char* options : made) {
            std::string command = std::string("convert ") + options + folder + "/made" + std::to_string(i++);
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "seed_images: %s failed\n", command.c_str());
        }
    }
    return ok ? 0 : 1;
}
