// Stream helpers for the image loaders (internal): exact reads and sizes through StreamHolder.
#pragma once

#include <cstdint>
#include <cstring>

#include "graphics/graphics.h"

// Reads up to size bytes (element size 1, so no partial element is ever counted as whole).
inline size_t ReadStreamBytes(StreamHolder* stream, void* buffer, size_t size) {
    if (size == 0) return 0;
    return stream->functions.read(buffer, 1, size, stream->handle);
}

inline bool ReadStreamExact(StreamHolder* stream, void* buffer, size_t size) {
    return ReadStreamBytes(stream, buffer, size) == size;
}

inline int32_t TellStream(StreamHolder* stream) { return stream->functions.tell(stream->handle); }

inline int SeekStream(StreamHolder* stream, int32_t offset, int origin) {
    return stream->functions.seek(stream->handle, offset, origin);
}

// Bytes from the current position to the end; the position is kept.
inline int64_t RemainingStreamBytes(StreamHolder* stream) {
    int32_t here = TellStream(stream);
    SeekStream(stream, 0, 2);
    int32_t end = TellStream(stream);
    SeekStream(stream, here, 0);
    return end > here ? static_cast<int64_t>(end) - here : 0;
}

// Whether the stream's next bytes are the signature (at most 16 bytes); the position is kept.
inline bool StreamStartsWith(StreamHolder* stream, const uint8_t* signature, size_t size) {
    uint8_t head[16];
    if (size > sizeof(head)) return false;
    int32_t here = TellStream(stream);
    bool same = ReadStreamExact(stream, head, size) && std::memcmp(head, signature, size) == 0;
    SeekStream(stream, here, 0);
    return same;
}

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// True when width x height is a picture the loaders accept at all.
inline bool IsSaneImageSize(int64_t width, int64_t height) {
    return width >= 0 && height >= 0 && width <= kMaxImageSide && height <= kMaxImageSide;
}

// Largest number of pixels one load may decode (256 Mi), whatever the sides.
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

// Whether a compressed picture of width x height may be decoded from dataBytes bytes: refused
// (and logged) above the pixel budget, or when maxPixelsPerByte is not 0 and the header claims
// more pixels than that many per byte of data, which no file of the format can hold.
bool AcceptImageBudget(const char* format, int64_t width, int64_t height, int64_t dataBytes,
                       int64_t maxPixelsPerByte);
