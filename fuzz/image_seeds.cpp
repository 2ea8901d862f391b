// Writes starting inputs of the image fuzz target: BMP, TGA, DDS and raw BGRA files made here,
// and PNG and JPEG files written with libpng and libjpeg, in the layouts the loaders take and
// in sizes from 1 x 1 to 37 x 23.
#include <string>
#include <vector>

#include "image_seed_files.h"
#include "seed_files.h"

namespace {

using seed_image::Bytes;
using seed_image::Dds;
using seed_image::Jpeg;
using seed_image::Png;
using seed_image::Put;
using seed_image::Text;

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

// Uncompressed BMP rows of the size: bottom-up, or top-down with a negative height.
Bytes BmpSized(int bitCount, int width, int height, bool topDown) {
    const int stride = (width * bitCount + 31) / 32 * 4;
    Bytes pixels(static_cast<size_t>(stride * height));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 13);
    return Bmp(bitCount, bitCount == 16 || bitCount == 32 ? 3 : 0, width, topDown ? -height : height,
               pixels);
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
    ok &= WriteSeed(folder + "/dxt1.dds", Dds("DXT1", 4, 0, 8, 8, 0, 32));
    ok &= WriteSeed(folder + "/dxt3.dds", Dds("DXT3", 4, 0, 8, 8, 0, 64));
    ok &= WriteSeed(folder + "/dxt5.dds", Dds("DXT5", 4, 0, 8, 8, 4, 64 + 16 + 16 + 16));
    ok &= WriteSeed(folder + "/argb.dds", Dds("\0\0\0\0", 0x41, 32, 8, 8, 0, 256));
    Bytes bgra;
    Text(bgra, "BGRA");
    Put(bgra, 0x10101010, 4);
    Put(bgra, 3, 4);
    Put(bgra, 2, 4);
    bgra.insert(bgra.end(), ramp.begin(), ramp.begin() + 48);
    ok &= WriteSeed(folder + "/16.bgra", bgra);
    // Sizes from 1 x 1 to 37 x 23, odd and even, in every layout.
    const int sizes[][2] = {{1, 1}, {2, 3}, {5, 1}, {7, 9}, {16, 8}, {37, 23}};
    for (const auto& wh : sizes) {
        const std::string size = std::to_string(wh[0]) + "x" + std::to_string(wh[1]);
        for (int bits : {1, 4, 8, 16, 24, 32})
            for (bool topDown : {false, true})
                ok &= WriteSeed(folder + "/" + size + "-" + std::to_string(bits) +
                                    (topDown ? "-top.bmp" : ".bmp"),
                                BmpSized(bits, wh[0], wh[1], topDown));
        const int pixels = wh[0] * wh[1];
        for (int type : {1, 2, 3, 9, 10, 11})
            for (int alpha : {0, 1})
                for (int origin : {0, 0x20}) {
                    const bool mapped = type == 1 || type == 9;
                    const bool grey = type == 3 || type == 11;
                    const int depth = mapped || grey ? 8 : (alpha ? 32 : 24);
                    const int descriptor = origin | (alpha ? 8 : 0);
                    Bytes map;
                    if (mapped) map.assign(ramp.begin(), ramp.begin() + (alpha ? 64 : 48));
                    Bytes data;
                    const int bytes = depth / 8;
                    if (type >= 9) {  // run-length packets: a run, then a raw packet
                        const int run = pixels / 2 < 1 ? 1 : (pixels / 2 > 128 ? 128 : pixels / 2);
                        data.push_back(static_cast<unsigned char>(0x80 | (run - 1)));
                        for (int i = 0; i < bytes; ++i) data.push_back(static_cast<unsigned char>(3 + i));
                        for (int left = pixels - run; left > 0;) {
                            const int n = left < 128 ? left : 128;
                            data.push_back(static_cast<unsigned char>(n - 1));
                            for (int i = 0; i < n * bytes; ++i) data.push_back(static_cast<unsigned char>(i % 16));
                            left -= n;
                        }
                    } else {
                        for (int i = 0; i < pixels * bytes; ++i) data.push_back(static_cast<unsigned char>(i % 16));
                    }
                    Bytes tga = Tga(type, depth, descriptor, map, alpha ? 32 : 24, data);
                    tga[12] = static_cast<unsigned char>(wh[0]);  // width and height
                    tga[14] = static_cast<unsigned char>(wh[1]);
                    ok &= WriteSeed(folder + "/" + size + "-" + std::to_string(type) + (alpha ? "a" : "") +
                                        (origin ? "-top" : "") + ".tga",
                                    tga);
                }
        for (int colorType : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_PALETTE,
                              PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA})
            for (int depth : {8, 16})
                for (bool interlaced : {false, true}) {
                    if (colorType == PNG_COLOR_TYPE_PALETTE && depth == 16) continue;
                    ok &= WriteSeed(folder + "/" + size + "-" + std::to_string(colorType) + "-" +
                                        std::to_string(depth) + (interlaced ? "-i" : "") + ".png",
                                    Png(colorType, depth, wh[0], wh[1], interlaced));
                }
        for (int components : {1, 3})
            for (bool progressive : {false, true})
                ok &= WriteSeed(folder + "/" + size + "-" + std::to_string(components) +
                                    (progressive ? "-p" : "") + ".jpg",
                                Jpeg(components, wh[0], wh[1], progressive));
    }
    return ok ? 0 : 1;
}
