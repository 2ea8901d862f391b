// The AVX-512 block forms and the SSE2 multiply rows against the per-pixel code: every
// combination of source and destination channel (and alpha, and weight) in one channel at a
// time, then random blocks of every width from 0 to 40 and some wider, at odd pixel offsets,
// with pitches and heights that take the two-rows-a-step path, keyed and not. The pixels around
// each block must stay as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_walk.h"

namespace {

using namespace softblit;

// The per-call values with a white bright colour, as the blit sets them up.
BlitContext MakeContext(uint32_t p, uint32_t key) {
    SetBlend(0, 0);
    const MemImgTables& tables = g_MemImgTables;
    BlitContext c = {};
    c.p = p;
    c.key = key;
    for (const uint8_t*& row : c.brightRows) row = tables.brightnessRows[255];
    c.parameterRow = tables.brightnessRows[p];
    c.stepRow = tables.parameterRows[p] + 256;
    c.mix16Block = tables.blend16Rows[p >> 2];
    c.blendMap = tables.blendImageMap;
    return c;
}

// One operation: the block form under test and the per-pixel loop it stands for.
struct Operation {
    const char* name;
    int bytes;        // destination bytes per pixel
    int sourceBytes;
    bool alpha;       // an alpha source
    bool mix;         // takes the parameter
    std::function<void(const BlitContext&, const RowBlock&)> block;
    std::function<void(const BlitContext&, uint8_t*, const uint8_t*, int)> pixels;
};

template <class Px, SourceKind Kind, class Op, bool Keyed, int Mode>
Operation Make(const char* name, BlockOp op, bool mixParameter = false) {
    Operation o;
    o.name = name;
    o.bytes = Px::kBytes;
    o.sourceBytes = Source<Px, Kind>::kBytes;
    o.alpha = Kind == SourceKind::Alpha;
    o.mix = mixParameter;
    o.block = [op, mixParameter](const BlitContext& c, const RowBlock& b) {
        uint32_t parameter = mixParameter ? (Px::kBytes == 2 ? c.p >> 2 : c.p) : 0;
        if (Px::kBytes == 4) DrawBlock32Avx512(op, b, c.key, parameter, Keyed);
        else DrawBlock16Avx512(op, b, c.key, parameter, Keyed);
    };
    o.pixels = [](const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
        for (int x = 0; x < n; ++x)
            DrawPixel<Px, Kind, Op, Keyed, false, Road::General, Mode, true>(
                c, to + Px::kBytes * x, from + Source<Px, Kind>::kBytes * x, nullptr);
    };
    return o;
}

template <class Px, int Mode, Form F = Form::Normal>
using PlainOp = PixelOp<Px, Mode, false, true, F>;

std::vector<Operation> Operations() {
    constexpr SourceKind D = SourceKind::Direct, A = SourceKind::Alpha;
    return {
        Make<Pixel32, D, PlainOp<Pixel32, 0>, false, 0>("copy32", BlockOp::Copy),
        Make<Pixel32, D, PlainOp<Pixel32, 0>, true, 0>("key copy32", BlockOp::Copy),
        Make<Pixel16, D, PlainOp<Pixel16, 0>, false, 0>("copy16", BlockOp::Copy),
        Make<Pixel16, D, PlainOp<Pixel16, 0>, true, 0>("key copy16", BlockOp::Copy),
        Make<Pixel32, A, PlainOp<Pixel32, 0>, true, 0>("alpha32", BlockOp::AlphaCopy),
        Make<Pixel16, A, PlainOp<Pixel16, 0>, true, 0>("alpha16", BlockOp::AlphaCopy),
        Make<Pixel32, D, PlainOp<Pixel32, 1>, false, 1>("mix32", BlockOp::Mix, true),
        Make<Pixel32, D, PlainOp<Pixel32, 1>, true, 1>("key mix32", BlockOp::Mix, true),
        Make<Pixel16, D, PlainOp<Pixel16, 1, Form::Mix16>, false, 1>("mix16", BlockOp::Mix, true),
        Make<Pixel16, D, PlainOp<Pixel16, 1, Form::Mix16>, true, 1>("key mix16", BlockOp::Mix, true),
        Make<Pixel32, D, PlainOp<Pixel32, 4>, false, 4>("multiply32", BlockOp::Multiply),
        Make<Pixel32, D, PlainOp<Pixel32, 4>, true, 4>("key multiply32", BlockOp::Multiply),
        Make<Pixel16, D, PlainOp<Pixel16, 4>, false, 4>("multiply16", BlockOp::Multiply),
        Make<Pixel16, D, PlainOp<Pixel16, 4>, true, 4>("key multiply16", BlockOp::Multiply),
        Make<Pixel32, D, PlainOp<Pixel32, 2, Form::SaturateBytes>, false, 2>("add32", BlockOp::AddBytes),
        Make<Pixel32, D, PlainOp<Pixel32, 2, Form::SaturateBytes>, true, 2>("key add32", BlockOp::AddBytes),
        Make<Pixel32, D, PlainOp<Pixel32, 3, Form::SaturateBytes>, false, 3>("subtract32",
                                                                             BlockOp::SubtractBytes),
        Make<Pixel32, D, PlainOp<Pixel32, 3, Form::SaturateBytes>, true, 3>("key subtract32",
                                                                            BlockOp::SubtractBytes),
    };
}

// A block of width x height pixels at a pixel offset inside rows of a larger pitch, with the
// source and destination bytes around it, drawn by the block form and by the per-pixel loop.
struct Trial {
    int width, height, offset, pitchPixels;
    std::vector<uint8_t> source, destination;
};

// Draws the trial both ways and compares every byte of the destination buffers.
void Check(const Operation& o, const BlitContext& c, const Trial& t, const std::string& what) {
    std::vector<uint8_t> byBlock = t.destination, byPixel = t.destination;
    ptrdiff_t toPitch = static_cast<ptrdiff_t>(t.pitchPixels) * o.bytes;
    ptrdiff_t fromPitch = static_cast<ptrdiff_t>(t.pitchPixels) * o.sourceBytes;
    RowBlock block = {byBlock.data() + o.bytes * t.offset, toPitch, t.source.data() + o.sourceBytes * t.offset,
                      fromPitch, t.width, t.height};
    o.block(c, block);
    for (int y = 0; y < t.height; ++y)
        o.pixels(c, byPixel.data() + toPitch * y + o.bytes * t.offset,
                 t.source.data() + fromPitch * y + o.sourceBytes * t.offset, t.width);
    for (size_t i = 0; i < byBlock.size(); ++i) {
        if (byBlock[i] != byPixel[i]) {
            size_t pixel = i / o.bytes;
            FAIL() << o.name << " " << what << ": byte " << i << " (row " << pixel / t.pitchPixels << ", column "
                   << static_cast<int>(pixel % t.pitchPixels) - t.offset << ") is "
                   << static_cast<int>(byBlock[i]) << ", per pixel " << static_cast<int>(byPixel[i]);
        }
    }
}

void StorePixel(std::vector<uint8_t>& bytes, size_t index, int size, uint32_t value) {
    std::memcpy(bytes.data() + index * size, &value, size);
}

class BlockRows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasAvx512Rows()) GTEST_SKIP() << "no AVX-512 on this processor";
    }
};

// Every pair (source, destination) of channel values in blue (32-bit) or in each field of a
// 16-bit pixel, with the top byte or the other fields varied; every weight of the mixes; every
// alpha of the alpha copies. Keys are pixels that occur in the rows.
TEST_F(BlockRows, EveryChannelCombination) {
    for (const Operation& o : Operations()) {
        const bool wide = o.bytes == 4;
        const bool alpha = o.alpha;
        const int values = wide ? 256 : 64;
        // Parameters: the mixes at every one that takes the block form, the others once.
        std::vector<uint32_t> parameters = {255};
        if (o.mix) {
            parameters.clear();
            for (uint32_t p = 1; p < 255; ++p)
                if (p != 128) parameters.push_back(p);
        }
        // The alpha byte of the alpha copies: every value; one pass for the others.
        const int alphas = alpha ? 256 : 1;
        Trial t = {values, values, 0, values, {}, {}};
        t.source.resize(static_cast<size_t>(values) * values * o.sourceBytes);
        t.destination.resize(static_cast<size_t>(values) * values * o.bytes);
        for (uint32_t p : parameters) {
            for (int a = 0; a < alphas; ++a) {
                for (int s = 0; s < values; ++s) {
                    for (int d = 0; d < values; ++d) {
                        size_t i = static_cast<size_t>(s) * values + d;
                        uint32_t sv, dv;
                        if (wide) {
                            // Blue s over d; green and red the pair the other way and mixed; the
                            // top bytes varied.
                            sv = static_cast<uint32_t>(s | d << 8 | (s ^ d) << 16 | (alpha ? a : (s * 7) & 0xFF) << 24);
                            dv = static_cast<uint32_t>(d | s << 8 | d << 16 | ((d * 13) & 0xFF) << 24);
                        } else {
                            // Green s over d; red and blue the halves and the low five bits.
                            sv = static_cast<uint32_t>((s >> 1) << 11 | s << 5 | (s & 31));
                            dv = static_cast<uint32_t>((d >> 1) << 11 | d << 5 | (d & 31));
                            if (alpha) sv |= static_cast<uint32_t>(a) << 16 | static_cast<uint32_t>(s * d) << 24;
                        }
                        StorePixel(t.source, i, o.sourceBytes, sv);
                        StorePixel(t.destination, i, o.bytes, dv);
                    }
                }
                // A key that occurs: the source pixel of s = 2, d = 1.
                uint32_t key = 0;
                std::memcpy(&key, t.source.data() + (2 * values + 1) * o.sourceBytes, o.bytes);
                Check(o, MakeContext(p, key), t, "p " + std::to_string(p) + " alpha " + std::to_string(a));
                if (HasFailure()) return;
            }
        }
    }
}

// Random pixels (a quarter of them the key, alphas often 0 and 255) in blocks of every width
// from 0 to 40 and some wider, 1 to 5 rows, at pixel offsets 0 to 3 inside longer rows.
TEST_F(BlockRows, RandomBlocksOfEveryWidth) {
    std::mt19937 random(25);
    std::vector<int> widths;
    for (int w = 0; w <= 40; ++w) widths.push_back(w);
    for (int w : {47, 63, 64, 65, 95, 127, 200}) widths.push_back(w);
    for (const Operation& o : Operations()) {
        const bool wide = o.bytes == 4;
        const uint32_t key = wide ? 0x00FF00FFu : 0xF81Fu;
        for (int width : widths) {
            for (int height = 1; height <= 5; ++height) {
                int offset = static_cast<int>(random() % 4);
                Trial t = {width, height, offset, width + 7, {}, {}};
                size_t n = static_cast<size_t>(t.pitchPixels) * height;
                t.source.resize(n * o.sourceBytes);
                t.destination.resize(n * o.bytes);
                for (size_t i = 0; i < n; ++i) {
                    uint32_t sv = static_cast<uint32_t>(random());
                    uint32_t pick = random() % 4;
                    if (o.alpha && !wide) {
                        uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : sv >> 24;
                        sv = (sv & 0xFF00FFFFu) | a << 16;
                    } else if (o.alpha) {
                        uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : sv >> 24;
                        sv = (sv & 0x00FFFFFFu) | a << 24;
                    } else if (pick == 0) {
                        sv = key;
                    }
                    StorePixel(t.source, i, o.sourceBytes, sv);
                    StorePixel(t.destination, i, o.bytes, static_cast<uint32_t>(random()));
                }
                uint32_t p = 1 + random() % 254;
                if (p == 128) p = 129;
                Check(o, MakeContext(p, key), t,
                      "width " + std::to_string(width) + " height " + std::to_string(height) + " offset " +
                          std::to_string(offset) + " p " + std::to_string(p));
                if (HasFailure()) return;
            }
        }
    }
}

// The AVX-512 gather of a stretched row against the per-pixel copy: column tables of the
// stretched walk (enlarging, shrinking, mirrored, by many quanta) and tables with jumps wider
// than a step, for 2- and 4-byte pixels and every length from 0 to 40 and some longer.
TEST_F(BlockRows, GatherMatchesThePerPixelCopy) {
    std::mt19937 random(7);
    for (int bytes : {2, 4}) {
        for (int trial = 0; trial < 600; ++trial) {
            const int n = trial < 41 * 4 ? trial / 4 : 41 + static_cast<int>(random() % 300);
            const int sourceWidth = 1 + static_cast<int>(random() % 200);
            std::vector<int> columns(static_cast<size_t>(n) + 1);
            const bool mirror = random() % 2;
            if (trial % 3 != 2) {
                // The stretched walk's own stepping.
                int64_t quantum = 1 + static_cast<int64_t>(random() % (4 * 65536));
                int column = mirror ? sourceWidth - 1 : 0;
                int64_t counter = quantum;
                for (int x = 0; x < n; ++x) {
                    columns[x] = column;
                    StepStretched(&column, &counter, mirror ? -1 : 1, quantum, 1, sourceWidth);
                }
            } else {
                // Steps of 0 to 20 columns, one way.
                int column = 0;
                for (int x = 0; x < n; ++x) {
                    columns[x] = column;
                    column = std::min(sourceWidth - 1, column + static_cast<int>(random() % 21));
                }
                if (mirror)
                    for (int x = 0; x < n; ++x) columns[x] = sourceWidth - 1 - columns[x];
            }
            std::vector<uint8_t> row(static_cast<size_t>(sourceWidth) * bytes);
            for (uint8_t& b : row) b = static_cast<uint8_t>(random());
            std::vector<uint8_t> byVector(static_cast<size_t>(n + 16) * bytes, 0xAB), byPixel = byVector;
            GatherRowAvx512(bytes, byVector.data(), row.data(), columns.data(), n);
            if (bytes == 4) GatherRow<4>(byPixel.data(), row.data(), columns.data(), n);
            else GatherRow<2>(byPixel.data(), row.data(), columns.data(), n);
            ASSERT_EQ(byVector, byPixel) << "bytes " << bytes << " trial " << trial << " length " << n;
        }
    }
}

// The SSE2 and AVX2 multiply rows, for processors without AVX-512: every pair of channel values
// (as above) and random rows with keys; the pixels they leave are the caller's.
using RowForm = int (*)(const BlitContext&, uint8_t*, const uint8_t*, int);

template <class Px, bool Keyed>
void CheckMultiplyRow(int seed, RowForm row) {
    const bool wide = Px::kBytes == 4;
    const uint32_t key = wide ? 0x00FF00FFu : 0xF81Fu;
    const BlitContext c = MakeContext(255, key);
    std::mt19937 random(seed);
    const int values = wide ? 256 : 64;
    for (int round = 0; round < 3; ++round) {
        const int n = round == 0 ? values * values : 1 + static_cast<int>(random() % 40);
        std::vector<uint8_t> from(static_cast<size_t>(n) * Px::kBytes), byRow(from.size()), byPixel;
        for (int i = 0; i < n; ++i) {
            uint32_t s, d;
            if (round == 0) {
                uint32_t x = static_cast<uint32_t>(i / values), y = static_cast<uint32_t>(i % values);
                s = wide ? x | y << 8 | (x ^ y) << 16 | 0x5A000000u : (x >> 1) << 11 | x << 5 | (x & 31);
                d = wide ? y | x << 8 | y << 16 | 0xA5000000u : (y >> 1) << 11 | y << 5 | (y & 31);
            } else {
                s = random() % 4 == 0 ? key : static_cast<uint32_t>(random());
                d = static_cast<uint32_t>(random());
            }
            std::memcpy(from.data() + Px::kBytes * i, &s, Px::kBytes);
            std::memcpy(byRow.data() + Px::kBytes * i, &d, Px::kBytes);
        }
        byPixel = byRow;
        int done = row(c, byRow.data(), from.data(), n);
        ASSERT_GE(done, n - (32 / Px::kBytes - 1));
        for (int x = 0; x < done; ++x)
            DrawPixel<Px, SourceKind::Direct, PixelOp<Px, 4, false, true, Form::Normal>, Keyed, false,
                      Road::General, 4, true>(c, byPixel.data() + Px::kBytes * x, from.data() + Px::kBytes * x,
                                              nullptr);
        ASSERT_EQ(byRow, byPixel) << "bytes " << Px::kBytes << " keyed " << Keyed << " length " << n;
    }
}

template <class Px, bool Keyed>
using MultiplyRows = RowKernel<Px, SourceKind::Direct, PixelOp<Px, 4, false, true, Form::Normal>, Keyed>;

TEST(MultiplyRows, Sse2FormMatchesThePerPixelProduct) {
    CheckMultiplyRow<Pixel32, false>(1, MultiplyRows<Pixel32, false>::RunSse2);
    CheckMultiplyRow<Pixel32, true>(2, MultiplyRows<Pixel32, true>::RunSse2);
    CheckMultiplyRow<Pixel16, false>(3, MultiplyRows<Pixel16, false>::RunSse2);
    CheckMultiplyRow<Pixel16, true>(4, MultiplyRows<Pixel16, true>::RunSse2);
}

template <int Bytes, bool Keyed>
int Avx2Multiply(const BlitContext& c, uint8_t* to, const uint8_t* from, int n) {
    return MultiplyRowAvx2(Bytes, to, from, n, c.key, Keyed);
}

TEST(MultiplyRows, Avx2FormMatchesThePerPixelProduct) {
    if (!HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    CheckMultiplyRow<Pixel32, false>(5, Avx2Multiply<4, false>);
    CheckMultiplyRow<Pixel32, true>(6, Avx2Multiply<4, true>);
    CheckMultiplyRow<Pixel16, false>(7, Avx2Multiply<2, false>);
    CheckMultiplyRow<Pixel16, true>(8, Avx2Multiply<2, true>);
}

// Worked values of the multiply through the blit, whichever form the processor takes: 32-bit
// channels (s d) >> 8 with the top byte kept, 16-bit fields (s d) >> 5 or >> 6.
TEST(MultiplyRows, BlitWorkedValues) {
    SetBlend(4, 0);
    for (int width : {1, 5, 16, 33}) {
        TestImage source(width, 2, kMemImgX8R8G8B8), dest(width, 2, kMemImgX8R8G8B8);
        source.fill(Rgb32(255, 128, 3, 0x11));
        dest.fill(Rgb32(255, 200, 255, 0x77));
        BlitMemImg(dest.get(), source.get(), 0, 0, 0, nullptr);
        EXPECT_EQ(dest.get(width - 1, 1), Rgb32(254, 100, 2, 0x77)) << width;

        TestImage source16(width, 2, kMemImgR5G6B5), dest16(width, 2, kMemImgR5G6B5);
        source16.fill(Rgb16(31, 32, 3));
        dest16.fill(Rgb16(31, 63, 31));
        BlitMemImg(dest16.get(), source16.get(), 0, 0, 0, nullptr);
        EXPECT_EQ(dest16.get(width - 1, 1), Rgb16(30, 31, 2)) << width;
    }
}

} // namespace
