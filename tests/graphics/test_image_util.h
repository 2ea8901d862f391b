// Helpers shared by the image tests: streams over byte vectors, byte writers for hand-made
// files, scratch folders and ImageMagick as the reference decoder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "graphics/graphics.h"

namespace imagetest {

using Bytes = std::vector<uint8_t>;

// A memory stream over a byte vector for the life of the object.
struct ByteStream {
    Bytes bytes;
    StreamHolder holder{};
    explicit ByteStream(Bytes data) : bytes(std::move(data)) {
        holder.functions = *GetMemoryStreamFunctions();
        holder.handle = OpenMemoryStream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    ~ByteStream() { holder.functions.close(holder.handle); }
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
};

// Runs one loader over bytes into a zeroed record.
inline int LoadWith(ImageLoader loader, const Bytes& bytes, ImageRecord* record) {
    ByteStream stream(bytes);
    std::memset(record, 0, sizeof(*record));
    return loader(&stream.holder, record);
}

// One loader's result over bytes; the record is released with it.
struct Loaded {
    ImageRecord r = {};
    int result = -1;
    Loaded(ImageLoader loader, const Bytes& bytes) { result = LoadWith(loader, bytes, &r); }
    ~Loaded() { ReleaseImageRecord(&r); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
};

inline void Put8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
inline void Put16(Bytes& b, uint32_t v) {
    Put8(b, v);
    Put8(b, v >> 8);
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v);
    Put16(b, v >> 16);
}
inline void PutText(Bytes& b, const char* text) {
    while (*text) b.push_back(static_cast<uint8_t>(*text++));
}

// The record's pixel (x, y) as 0xAARRGGBB through the pixel accessor (alpha 255 when the
// format has none).
inline uint32_t Argb(ImageRecord* r, int x, int y) {
    int red = 0, green = 0, blue = 0, alpha = 255;
    if (GetImagePixel(r, x, y, &red, &green, &blue, &alpha) != 0) return 0xDEADBEEF;
    if (r->format.bytesPerPixel != 1 && r->format.alphaWidth == 0) alpha = 255;
    return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

// ImageMagick proper: convert and identify both answer.
inline bool HaveConvert() {
    return std::system("convert -version >/dev/null 2>&1 && identify -version >/dev/null 2>&1") == 0;
}

inline Bytes ReadFile(const std::string& path) {
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) out.insert(out.end(), buffer, buffer + n);
    std::fclose(f);
    return out;
}

inline bool FileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// Output of a shell command (empty on failure).
inline Bytes RunCommand(const std::string& command) {
    Bytes out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), p)) > 0) out.insert(out.end(), buffer, buffer + n);
    if (pclose(p) != 0) out.clear();
    return out;
}

// A scratch folder removed at the end of the test.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        char name[] = "/tmp/velk_images_XXXXXX";
        path = mkdtemp(name) ? name : "/tmp";
    }
    ~ScratchFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace imagetest
