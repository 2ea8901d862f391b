// Greedy LZ encoder of the archive format, with hash chains over 4-byte prefixes.
#include <algorithm>
#include <array>
#include <cstring>

#include "archive_writer.h"

namespace {

constexpr size_t kHeadSize = 9;
constexpr size_t kMinMatch = 4;
constexpr size_t kMaxMatch = 8195;
constexpr size_t kMaxDistance = 16777216;
uint32_t HashAt(const uint8_t* p, int bits) {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return (value * 2654435761u) >> (32 - bits);
}

unsigned int DistanceBytes(size_t distance) {
    if (distance <= 256) return 1;
    if (distance <= 65536) return 2;
    return 3;
}

int RarestByte(const uint8_t* data, size_t size) {
    std::array<size_t, 256> counts{};
    for (size_t i = 0; i < size; ++i) ++counts[data[i]];
    return static_cast<int>(std::min_element(counts.begin(), counts.end()) - counts.begin());
}

class TokenWriter {
public:
    TokenWriter(std::vector<uint8_t>& out, uint8_t escape) : out_(out), escape_(escape) {}

    void Literal(uint8_t byte) {
        out_.push_back(byte);
        if (byte == escape_) out_.push_back(escape_);
    }

    void Match(size_t length, size_t distance) {
        const size_t lengthBits = length - kMinMatch;
        const unsigned int distanceBytes = DistanceBytes(distance);
        unsigned int code = distanceBytes - 1;
        if (lengthBits < 32) {
            code |= static_cast<unsigned int>(lengthBits << 3);
        } else {
            code |= static_cast<unsigned int>((lengthBits & 31) << 3) | 4;
        }
        // The escape byte's own value is the escaped literal: codes from it up are shifted.
        out_.push_back(escape_);
        out_.push_back(static_cast<uint8_t>(code >= escape_ ? code + 1 : code));
        if (lengthBits >= 32) out_.push_back(static_cast<uint8_t>(lengthBits >> 5));
        const size_t value = distance - 1;
        for (unsigned int i = 0; i < distanceBytes; ++i)
            out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }

private:
    std::vector<uint8_t>& out_;
    uint8_t escape_;
};

void WriteLittle32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> EncodeArchiveData(const uint8_t* data, size_t size,
                                       const LzEncodeOptions& options) {
    const uint8_t escape = static_cast<uint8_t>(
        options.escapeByte >= 0 ? options.escapeByte : RarestByte(data, size));
    std::vector<uint8_t> out(kHeadSize);
    out.reserve(size + size / 8 + kHeadSize);
    TokenWriter writer(out, escape);

    // A small table for small inputs keeps the set-up cheap.
    const int hashBits = size < (1u << 16) ? 12 : 17;
    std::vector<int64_t> head(size_t{1} << hashBits, -1);
    std::vector<int64_t> previous(size, -1);
    auto insert = [&](size_t position) {
        if (position + kMinMatch > size) return;
        const uint32_t hash = HashAt(data + position, hashBits);
        previous[position] = head[hash];
        head[hash] = static_cast<int64_t>(position);
    };

    size_t position = 0;
    while (position < size) {
        size_t bestLength = 0;
        size_t bestDistance = 0;
        const size_t limit = std::min(kMaxMatch, size - position);
        if (limit >= kMinMatch) {
            int64_t candidate = head[HashAt(data + position, hashBits)];
            for (int chain = 0; candidate >= 0 && chain < options.maxChain; ++chain) {
                const size_t distance = position - static_cast<size_t>(candidate);
                if (distance > kMaxDistance) break;
                size_t length = 0;
                const uint8_t* a = data + candidate;
                const uint8_t* b = data + position;
                while (length < limit && a[length] == b[length]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                    if (length == limit) break;
                }
                candidate = previous[static_cast<size_t>(candidate)];
            }
        }
        // A match must be shorter than the literals it replaces.
        const size_t cost = 2 + DistanceBytes(bestDistance) + (bestLength - kMinMatch >= 32 ? 1 : 0);
        if (bestLength >= kMinMatch && bestLength > cost) {
            writer.Match(bestLength, bestDistance);
            for (size_t i = 0; i < bestLength; ++i) insert(position + i);
            position += bestLength;
        } else {
            writer.Literal(data[position]);
            insert(position);
            ++position;
        }
    }
    WriteLittle32(out.data(), static_cast<uint32_t>(size));
    WriteLittle32(out.data() + 4, static_cast<uint32_t>(out.size()));
    out[8] = escape;
    return out;
}
