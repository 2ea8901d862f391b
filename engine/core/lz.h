// The archive LZ format: a 9-byte head (decoded size, packed size, escape byte) and a token
// stream of literals and escape-introduced back-references.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kArchiveDataHeadSize = 9;
constexpr uint32_t kArchiveDataMaxLength = 8195;
constexpr uint32_t kArchiveDataMaxDistance = 16777216;

// Decodes a packed block of at most packedCapacity bytes into output (outputCapacity bytes).
// Without an output buffer it only reads the decoded size from the head. Returns the decoded
// size, or -1 when the block is damaged: a head that does not fit, a token that runs past the
// packed size, distance code 3, a distance beyond the bytes written, output beyond the decoded
// size, or tokens that do not produce exactly the decoded size.
int64_t DecodeArchiveData(const void* packed, size_t packedCapacity, void* output,
                          size_t outputCapacity);

// Upper bound of the decoded size a packed block of the given size can produce; a head that
// claims more is damaged.
inline uint64_t GetArchiveDataDecodedLimit(uint64_t packedSize) {
    if (packedSize <= kArchiveDataHeadSize) return 0;
    // The densest token is 4 bytes (escape, code, length byte, distance) for 8195 bytes.
    return (packedSize - kArchiveDataHeadSize) * 2049;
}
