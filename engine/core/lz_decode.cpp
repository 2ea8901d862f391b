// Decoder of the archive LZ format. The input is untrusted: every token is checked against the
// packed size, the output against the decoded size and every distance against the bytes written.
#include <cstring>

#include "core/lz.h"

namespace {

uint32_t ReadLittle32(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Copies a back-reference. A match longer than its distance is copied in doubling blocks: each
// block's source ends where its destination starts, so the result equals a byte-wise copy.
void CopyMatch(unsigned char* out, size_t distance, size_t length) {
    while (length > distance) {
        std::memcpy(out, out - distance, distance);
        out += distance;
        length -= distance;
        distance *= 2;
    }
    std::memcpy(out, out - distance, length);
}

}  // namespace

int64_t DecodeArchiveData(const void* packed, size_t packedCapacity, void* output,
                          size_t outputCapacity) {
    const auto* head = static_cast<const unsigned char*>(packed);
    if (head == nullptr || packedCapacity < kArchiveDataHeadSize) return -1;
    const uint32_t decodedSize = ReadLittle32(head);
    const uint32_t packedSize = ReadLittle32(head + 4);
    const unsigned char escape = head[8];
    if (packedSize < kArchiveDataHeadSize || packedSize > packedCapacity) return -1;
    if (output == nullptr) return decodedSize;
    if (decodedSize > outputCapacity) return -1;

    const unsigned char* in = head + kArchiveDataHeadSize;
    const unsigned char* const inEnd = head + packedSize;
    auto* const outStart = static_cast<unsigned char*>(output);
    unsigned char* out = outStart;
    unsigned char* const outEnd = outStart + decodedSize;

    while (in < inEnd) {
        const unsigned char first = *in++;
        if (first != escape) {
            if (out == outEnd) return -1;
            *out++ = first;
            continue;
        }
        if (in == inEnd) return -1;
        unsigned int code = *in++;
        if (code == escape) {
            if (out == outEnd) return -1;
            *out++ = escape;
            continue;
        }
        if (code > escape) --code;  // the value of E itself is the escaped literal
        size_t lengthBits = code >> 3;
        if ((code & 4) != 0) {
            if (in == inEnd) return -1;
            lengthBits |= static_cast<size_t>(*in++) << 5;
        }
        const size_t length = lengthBits + 4;
        const unsigned int distanceBytes = (code & 3) + 1;
        if (distanceBytes == 4) return -1;  // code 3 has no defined distance
        if (static_cast<size_t>(inEnd - in) < distanceBytes) return -1;
        size_t distance = in[0];
        if (distanceBytes >= 2) distance |= static_cast<size_t>(in[1]) << 8;
        if (distanceBytes == 3) distance |= static_cast<size_t>(in[2]) << 16;
        distance += 1;
        in += distanceBytes;
        if (distance > static_cast<size_t>(out - outStart)) return -1;
        if (length > static_cast<size_t>(outEnd - out)) return -1;
        CopyMatch(out, distance, length);
        out += length;
    }
    if (out != outEnd) return -1;
    return decodedSize;
}
