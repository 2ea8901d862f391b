// The archive LZ decoder: fixed vectors, refusals of damaged blocks, and round trips through the
// project's encoder with several escape bytes.
#include <gtest/gtest.h>

#include <vector>

#include "archive_writer.h"
#include "core/lz.h"
#include "test_file_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A block with the given head fields and tokens; packed size 0 means "the real size".
Bytes Block(uint32_t decoded, uint8_t escape, const Bytes& tokens, uint32_t packed = 0) {
    if (packed == 0) packed = static_cast<uint32_t>(9 + tokens.size());
    Bytes block = {static_cast<uint8_t>(decoded), static_cast<uint8_t>(decoded >> 8),
                   static_cast<uint8_t>(decoded >> 16), static_cast<uint8_t>(decoded >> 24),
                   static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                   static_cast<uint8_t>(packed >> 16), static_cast<uint8_t>(packed >> 24), escape};
    block.insert(block.end(), tokens.begin(), tokens.end());
    return block;
}

// Decodes into a buffer of exactly the head's size; empty and false on refusal.
bool Decode(const Bytes& block, Bytes* out) {
    const int64_t size = DecodeArchiveData(block.data(), block.size(), nullptr, 0);
    if (size < 0) return false;
    out->assign(static_cast<size_t>(size), 0xCD);
    return DecodeArchiveData(block.data(), block.size(), out->data(), out->size()) == size;
}

// Token kinds of a well-formed block, as the decoder reads them.
struct TokenKinds {
    int escapedLiterals = 0, shortLengths = 0, longLengths = 0;
    int distanceBytes[4] = {};
};

TokenKinds CountTokens(const Bytes& block) {
    TokenKinds kinds;
    const uint8_t escape = block[8];
    for (size_t i = 9; i < block.size();) {
        if (block[i] != escape) {
            ++i;
            continue;
        }
        unsigned int code = block[i + 1];
        i += 2;
        if (code == escape) {
            ++kinds.escapedLiterals;
            continue;
        }
        if (code > escape) --code;
        if ((code & 4) != 0) {
            ++kinds.longLengths;
            ++i;
        } else {
            ++kinds.shortLengths;
        }
        ++kinds.distanceBytes[(code & 3) + 1];
        i += (code & 3) + 1;
    }
    return kinds;
}

TEST(ArchiveLz, DecodesTheFixedVectors) {
    Bytes out;
    // Literals with an escaped escape byte.
    const Bytes literals = {0x04, 0, 0, 0, 0x0E, 0, 0, 0, 0xFF, 0x41, 0x42, 0x43, 0xFF, 0xFF};
    ASSERT_TRUE(Decode(literals, &out));
    EXPECT_EQ(out, (Bytes{0x41, 0x42, 0x43, 0xFF}));

    // Distance 1, length 10 after one X: code (6 << 3) | 0, distance byte 0.
    ASSERT_TRUE(Decode(Block(11, 0xFF, {'X', 0xFF, 6 << 3, 0x00}), &out));
    EXPECT_EQ(out, Bytes(11, 'X'));

    // A packed size of 9: only the size is read.
    EXPECT_EQ(DecodeArchiveData(Block(1234, 0, {}).data(), 9, nullptr, 0), 1234);
    ASSERT_TRUE(Decode(Block(0, 0, {}), &out));
    EXPECT_TRUE(out.empty());

    // c = E + 1 stands for code E: with E = 0x10 that is length bits 2, distance code 0.
    ASSERT_TRUE(Decode(Block(8, 0x10, {'a', 'b', 0x10, 0x11, 0x01}), &out));
    EXPECT_EQ(out, (Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'}));

    // Long length: bit 2 set, extra byte 1 gives length bits 32 | 3 = 35, length 39.
    ASSERT_TRUE(Decode(Block(40, 0xEE, {'z', 0xEE, (3 << 3) | 4, 0x01, 0x00}), &out));
    EXPECT_EQ(out, Bytes(40, 'z'));

    // Two- and three-byte distances reach back past 256 and 65536 bytes.
    Bytes tokens;
    Bytes expected;
    for (int i = 0; i < 70000; ++i) {
        const auto byte = static_cast<uint8_t>(i * 7 % 251);
        tokens.push_back(byte);
        expected.push_back(byte);
        if (byte == 0xFB) tokens.push_back(0xFB);
    }
    const Bytes far = {0xFB, (1 << 3) | 2, 0x6F, 0x11, 0x01};   // distance 0x01116F + 1, length 5
    const Bytes near = {0xFB, (0 << 3) | 1, 0x2B, 0x01};        // distance 0x012B + 1, length 4
    tokens.insert(tokens.end(), far.begin(), far.end());
    tokens.insert(tokens.end(), near.begin(), near.end());
    for (int i = 0; i < 5; ++i) expected.push_back(expected[expected.size() - 0x011170]);
    for (int i = 0; i < 4; ++i) expected.push_back(expected[expected.size() - 0x012C]);
    ASSERT_TRUE(Decode(Block(static_cast<uint32_t>(expected.size()), 0xFB, tokens), &out));
    EXPECT_EQ(out, expected);
}

TEST(ArchiveLz, RefusesDamagedBlocks) {
    Bytes out(64, 0);
    auto refused = [&](const Bytes& block, size_t outputSize = 64) {
        return DecodeArchiveData(block.data(), block.size(), out.data(), outputSize) == -1;
    };
    EXPECT_TRUE(refused(Block(4, 0xFF, {'a', 0xFF, 3, 0})));                 // distance code 3
    EXPECT_TRUE(refused(Block(5, 0xFF, {'a', 0xFF, 0, 1})));                 // distance 2 > 1 written
    EXPECT_TRUE(refused(Block(5, 0xFF, {0xFF, 0, 0})));                      // nothing written yet
    EXPECT_TRUE(refused(Block(3, 0xFF, {'a', 0xFF, 0, 0})));                 // match past the output
    EXPECT_TRUE(refused(Block(2, 0xFF, {'a', 'b', 'c'})));                   // literal past the output
    EXPECT_TRUE(refused(Block(9, 0xFF, {'a', 'b', 'c'})));                   // too few bytes made
    EXPECT_TRUE(refused(Block(5, 0xFF, {'a', 0xFF})));                       // escape at the end
    EXPECT_TRUE(refused(Block(5, 0xFF, {'a', 0xFF, 4})));                    // length byte missing
    EXPECT_TRUE(refused(Block(5, 0xFF, {'a', 0xFF, 1, 0})));                 // distance byte missing
    EXPECT_TRUE(refused(Block(1, 0xFF, {'a'}, 100)));                        // packed beyond the data
    EXPECT_TRUE(refused(Block(1, 0xFF, {'a'}, 5)));                          // packed below the head
    EXPECT_TRUE(refused(Block(100, 0xFF, {'a'}), 64));                       // output too small
    EXPECT_TRUE(refused(Block(10, 0xFF, {})));                               // no tokens, size 10
    EXPECT_EQ(DecodeArchiveData(out.data(), 8, out.data(), 64), -1);         // head cut short
    // Bytes behind the packed size are not read.
    Bytes tail = Block(1, 0xFF, {'a'});
    tail.push_back(0xFF);
    EXPECT_EQ(DecodeArchiveData(tail.data(), tail.size(), out.data(), 64), 1);
}

TEST(ArchiveLz, RoundTripsThroughTheEncoderWithEveryTokenKind) {
    const Bytes mixed = file_test::CompressibleBytes(400000, 11);
    Bytes runs(20000, 0xFF);  // runs of the escape byte itself
    runs.insert(runs.end(), mixed.begin(), mixed.begin() + 1000);
    const Bytes inputs[] = {mixed, runs, file_test::PatternBytes(5000, 12), Bytes{}, Bytes{0xFF},
                            Bytes{1, 2, 3}};
    TokenKinds total;
    for (int escape : {-1, 0x00, 0xFF, 0x41, 0x80, 0x20}) {
        for (const Bytes& input : inputs) {
            LzEncodeOptions options;
            options.escapeByte = escape;
            const Bytes packed = EncodeArchiveData(input.data(), input.size(), options);
            Bytes out;
            ASSERT_TRUE(Decode(packed, &out)) << "escape " << escape << " size " << input.size();
            ASSERT_EQ(out, input) << "escape " << escape << " size " << input.size();
            const TokenKinds kinds = CountTokens(packed);
            total.escapedLiterals += kinds.escapedLiterals;
            total.shortLengths += kinds.shortLengths;
            total.longLengths += kinds.longLengths;
            for (int i = 1; i <= 3; ++i) total.distanceBytes[i] += kinds.distanceBytes[i];
        }
    }
    EXPECT_GT(total.escapedLiterals, 0);
    EXPECT_GT(total.shortLengths, 0);
    EXPECT_GT(total.longLengths, 0);
    EXPECT_GT(total.distanceBytes[1], 0);
    EXPECT_GT(total.distanceBytes[2], 0);
    EXPECT_GT(total.distanceBytes[3], 0);
    EXPECT_LT(EncodeArchiveData(mixed.data(), mixed.size()).size(), mixed.size() / 2);
}

TEST(ArchiveLz, TruncatedAndFlippedBlocksNeverOverrun) {
    const Bytes input = file_test::CompressibleBytes(20000, 13);
    const Bytes packed = EncodeArchiveData(input.data(), input.size());
    Bytes out(input.size());
    for (size_t cut = 0; cut < packed.size(); cut += 97) {
        // The head still claims the full size: the block is cut short and must be refused.
        EXPECT_EQ(DecodeArchiveData(packed.data(), cut, out.data(), out.size()), -1) << cut;
    }
    uint32_t state = 99;
    for (int trial = 0; trial < 300; ++trial) {
        Bytes damaged = packed;
        for (int flips = 0; flips < 4; ++flips) {
            state = state * 1664525u + 1013904223u;
            damaged[9 + state % (damaged.size() - 9)] ^= static_cast<uint8_t>(1 + (state >> 24) % 255);
        }
        // Exactly-sized output: any write past it shows under AddressSanitizer.
        Bytes exact(input.size());
        DecodeArchiveData(damaged.data(), damaged.size(), exact.data(), exact.size());
    }
}

}  // namespace
