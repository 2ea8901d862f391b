// Archive keys: the 12-byte key that every archive byte is exclusive-ored with, by position.
#include <cstring>

#include "core/archive.h"

namespace {

constexpr unsigned char kDefaultFiller[kArchiveKeySize] = {
    0x5A, 0x13, 0xC7, 0x2E, 0x91, 0x6B, 0xF4, 0x08, 0x3D, 0xA2, 0x77, 0xE9,
};

// Tried, untransformed, when the first key does not give the signature.
constexpr unsigned char kSecondKey[kArchiveKeySize] = {
    0xB4, 0x6E, 0x19, 0xD2, 0x05, 0x8F, 0x63, 0xCA, 0x2B, 0x70, 0xE1, 0x9D,
};

unsigned char RotateLeft(unsigned char value, int bits) {
    return static_cast<unsigned char>((value << bits) | (value >> (8 - bits)));
}

// The fixed byte-wise transformation of the key bytes.
unsigned char TransformKeyByte(unsigned char value, int index) {
    switch (index % 4) {
    case 0: return static_cast<unsigned char>(~value);
    case 1: return RotateLeft(value, 3);
    case 2: return static_cast<unsigned char>(value ^ 0xA5);
    default: return static_cast<unsigned char>(RotateLeft(static_cast<unsigned char>(~value), 6) ^ 0x3C);
    }
}

}  // namespace

void MakeArchiveKey(const char* keyString, unsigned char key[kArchiveKeySize]) {
    size_t length = 0;
    if (keyString != nullptr)
        while (keyString[length] != '\0') ++length;
    for (int i = 0; i < kArchiveKeySize; ++i) {
        const unsigned char filler = length != 0
                                         ? static_cast<unsigned char>(keyString[i % length])
                                         : kDefaultFiller[i];
        key[i] = TransformKeyByte(filler, i);
    }
}

void GetArchiveSecondKey(unsigned char key[kArchiveKeySize]) {
    for (int i = 0; i < kArchiveKeySize; ++i) key[i] = kSecondKey[i];
}

void ScrambleArchiveBytes(size_t length, void* data, uint64_t archiveOffset,
                          const unsigned char key[kArchiveKeySize]) {
    auto* bytes = static_cast<unsigned char*>(data);
    size_t phase = archiveOffset % kArchiveKeySize;
    // Whole 24-byte blocks (two key periods, three words) against the key laid out from the
    // starting phase; the rest byte by byte.
    constexpr size_t kBlock = 2 * kArchiveKeySize;
    if (length >= kBlock) {
        unsigned char pattern[kBlock];
        for (size_t i = 0; i < kBlock; ++i) pattern[i] = key[(phase + i) % kArchiveKeySize];
        uint64_t words[3];
        std::memcpy(words, pattern, kBlock);
        size_t done = 0;
        for (; done + kBlock <= length; done += kBlock) {
            uint64_t block[3];
            std::memcpy(block, bytes + done, kBlock);
            block[0] ^= words[0];
            block[1] ^= words[1];
            block[2] ^= words[2];
            std::memcpy(bytes + done, block, kBlock);
        }
        bytes += done;
        length -= done;
    }
    for (size_t i = 0; i < length; ++i) {
        bytes[i] ^= key[phase];
        if (++phase == kArchiveKeySize) phase = 0;
    }
}
