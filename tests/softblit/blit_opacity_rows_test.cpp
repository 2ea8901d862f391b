// The constant-opacity rows: the 16-bit mix against the mix table, every weight with every pair of
// source and destination fields (all 2^18 entries), the SSE2 and AVX2 forms on their own, keyed
// and not, and the blit that chooses between them and the per-pixel code; the half sum at
// parameter 128 in both depths.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_rows.h"

namespace {

using namespace softblit;

constexpr int kPairs = 4096;

// Pixel i pairs source field i >> 6 with destination field i & 63 in green, and halves of them
// (or their low five bits) in red and blue, so that every pair of every field occurs.
uint16_t SourcePixel(int i) {
    int s = (i >> 6) & 63;
    return static_cast<uint16_t>((s >> 1) << 11 | s << 5 | (s & 31));
}
uint16_t DestinationPixel(int i) {
    int d = i & 63;
    return static_cast<uint16_t>((d >> 1) << 11 | d << 5 | (d & 31));
}

uint16_t Expected(int q, uint16_t s, uint16_t d) {
    const auto& block = g_MemImgTables.blend16Rows[q];
    return static_cast<uint16_t>(block[s >> 11][d >> 11] << 11 | block[(s >> 5) & 63][(d >> 5) & 63] << 5 |
                                 block[s & 31][d & 31]);
}

// Runs a row form over all pairs (and a ragged tail) and checks each pixel it did.
template <class Row>
void CheckRow(Row row, bool keyed, const char* name) {
    SetBlend(0, 0);
    constexpr int n = kPairs + 13;
    std::vector<uint16_t> source(n), destination(n);
    const uint16_t key = 0x0841;  // (1, 2, 1): a pixel that occurs among the pairs
    for (int q = 0; q < 64; ++q) {
        for (int i = 0; i < n; ++i) {
            source[i] = SourcePixel(i % kPairs);
            destination[i] = DestinationPixel(i % kPairs);
        }
        int done = row(reinterpret_cast<uint8_t*>(destination.data()),
                       reinterpret_cast<const uint8_t*>(source.data()), n, static_cast<uint32_t>(q), key);
        ASSERT_GE(done, n - 15) << name;
        for (int i = 0; i < done; ++i) {
            uint16_t s = source[i], d = DestinationPixel(i % kPairs);
            uint16_t want = keyed && s == key ? d : Expected(q, s, d);
            ASSERT_EQ(destination[i], want) << name << " q " << q << " pixel " << i;
        }
        for (int i = done; i < n; ++i) ASSERT_EQ(destination[i], DestinationPixel(i % kPairs)) << name;
    }
}

TEST(Mix16Rows, Sse2FormMatchesTheTableForEveryInput) {
    CheckRow(MixRow16Sse2<false>, false, "sse2");
    CheckRow(MixRow16Sse2<true>, true, "sse2 keyed");
}

TEST(Mix16Rows, Avx2FormMatchesTheTableForEveryInput) {
    if (!HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    auto plain = [](uint8_t* to, const uint8_t* from, int n, uint32_t q, uint32_t key) {
        return MixRow16Avx2(to, from, n, q, key, false);
    };
    auto keyed = [](uint8_t* to, const uint8_t* from, int n, uint32_t q, uint32_t key) {
        return MixRow16Avx2(to, from, n, q, key, true);
    };
    CheckRow(plain, false, "avx2");
    CheckRow(keyed, true, "avx2 keyed");
}

// The blit in mode 1 at every parameter that takes the mix table, keyed and not, over rows whose
// lengths leave tails for the per-pixel code.
TEST(Mix16Rows, BlitGivesTheTableAtEveryParameter) {
    constexpr int kWidth = 71, kHeight = 58;  // 4118 pixels: every pair, then some again
    const uint16_t key = 0x0841;
    TestImage source(kWidth, kHeight, kMemImgR5G6B5, 0, 0, 0, key);
    for (int i = 0; i < kWidth * kHeight; ++i) source.set(i % kWidth, i / kWidth, SourcePixel(i % kPairs));
    for (int p = 1; p < 255; ++p) {
        if (p == 128) continue;  // the half-sum form
        for (int trans : {0, 1}) {
            SetBlend(1, p);
            TestImage dest(kWidth + 3, kHeight, kMemImgR5G6B5);
            for (int i = 0; i < kWidth * kHeight; ++i) dest.set(i % kWidth + 3, i / kWidth, DestinationPixel(i % kPairs));
            BlitMemImg(dest.get(), source.get(), 3, 0, trans, nullptr);
            for (int i = 0; i < kWidth * kHeight; ++i) {
                uint16_t s = SourcePixel(i % kPairs), d = DestinationPixel(i % kPairs);
                uint16_t want = trans && s == key ? d : Expected(p >> 2, s, d);
                ASSERT_EQ(dest.get(i % kWidth + 3, i / kWidth), want) << "p " << p << " trans " << trans << " pixel " << i;
            }
        }
    }
}

// The 32-bit mode 1 at every parameter that mixes, over every pair of source and destination
// channel values (blue s = x, d = y; green the reverse; red s = x ^ y, d = y), keyed and not:
// floor((d (256 - p) + s p) / 256) per channel, the destination's top byte kept. Rows of 256
// pixels go through the vector forms; the blit at an odd offset leaves tails.
TEST(OpacityRows, Mix32MatchesTheFormulaForEveryPair) {
    const uint32_t key = 0x00030201u;
    TestImage source(256, 256, kMemImgX8R8G8B8, 0, 0, 0, key);
    std::vector<uint32_t> before(256 * 256);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            source.set(x, y, 0x5A000000u | (x ^ y) << 16 | y << 8 | x);
            before[y * 256 + x] = 0xA5000000u | y << 16 | x << 8 | y;
        }
    auto mix = [](uint32_t d, uint32_t s, uint32_t p) { return (d * (256 - p) + s * p) >> 8; };
    TestImage dest(259, 256, kMemImgX8R8G8B8);
    for (int p = 1; p < 255; ++p) {
        if (p == 128) continue;  // the half-sum form
        int trans = p % 2;
        SetBlend(1, p);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) dest.set(x + 3, y, before[y * 256 + x]);
        BlitMemImg(dest.get(), source.get(), 3, 0, trans, nullptr);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                uint32_t s = source.get(x, y), d = before[y * 256 + x];
                uint32_t want = d;
                if (!(trans && s == key)) {
                    want = (d & 0xFF000000u);
                    for (int shift : {0, 8, 16})
                        want |= mix((d >> shift) & 0xFF, (s >> shift) & 0xFF, static_cast<uint32_t>(p)) << shift;
                }
                ASSERT_EQ(dest.get(x + 3, y), want) << "p " << p << " at " << x << "," << y;
            }
    }
}

// Parameter 128 adds the halves of each channel: (s >> 1 & mask) + (d >> 1 & mask), the 32-bit
// top byte 0; keyed pixels keep the destination. Widths leave tails for the per-pixel code.
TEST(OpacityRows, HalfSumAtParameter128) {
    std::mt19937 random(9);
    for (int type : {0, 1}) {
        const bool wide = type == 1;
        const uint32_t mask = wide ? 0x007F7F7Fu : 0x7BEFu;
        const uint32_t key = wide ? 0x00FF00FFu : 0xF81Fu;
        for (int width : {1, 7, 8, 9, 33}) {
            for (int trans : {0, 1}) {
                SetBlend(1, 128);
                TestImage source(width, 5, type, 0, 0, 0, key), dest(width, 5, type);
                std::vector<uint32_t> before(width * 5);
                for (int i = 0; i < width * 5; ++i) {
                    uint32_t s = random() % 4 == 0 ? key : static_cast<uint32_t>(random());
                    source.set(i % width, i / width, wide ? s : s & 0xFFFF);
                    before[i] = wide ? static_cast<uint32_t>(random()) : random() & 0xFFFF;
                    dest.set(i % width, i / width, before[i]);
                }
                BlitMemImg(dest.get(), source.get(), 0, 0, trans, nullptr);
                for (int i = 0; i < width * 5; ++i) {
                    uint32_t s = source.get(i % width, i / width), d = before[i];
                    uint32_t want = trans && s == key ? d : ((s >> 1) & mask) + ((d >> 1) & mask);
                    ASSERT_EQ(dest.get(i % width, i / width), want)
                        << "type " << type << " width " << width << " trans " << trans << " pixel " << i;
                }
            }
        }
    }
}

} // namespace
