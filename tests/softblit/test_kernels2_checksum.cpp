// A randomized run of the triangle, quadrilateral, rotated, box and line kernels over every
// depth, source kind, blend mode and variant, checked against a pinned checksum of the results
// per kernel: any change of a pixel result anywhere shows here, under the kernel that drew it.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"

namespace {

// A small deterministic generator, independent of the library's.
struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

uint64_t Fnv(uint64_t hash, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

TEST(Kernels2Checksum, RandomDrawsMatchThePinnedChecksum) {
    Lcg random{2026};
    struct Kernel {
        const char* name;
        uint64_t pinned;
    };
    const Kernel kernels[] = {{"textured triangle", 0x003a0776a1aceba3ull}, {"flat triangle", 0x99df7af72985f363ull},
                              {"rotated", 0xecb33a56e98d777eull},           {"quadrilateral", 0x51bd7ebae3b5d02aull},
                              {"box", 0xb9affa8e24d0084cull},               {"lines", 0x6d57eb3b713ef9f1ull}};
    uint64_t hashes[std::size(kernels)];
    std::fill(std::begin(hashes), std::end(hashes), 14695981039346656037ull);
    int drawn = 0;
    const int modes[] = {0, 1, 2, 3, 4, 10, 11, 0, 1, 2, 3, 4, 10, 11, 7};
    const int parameters[] = {0, 1, 64, 127, 128, 129, 200, 254, 255};
    for (int round = 0; round < 700; ++round) {
        int type = random.below(2);
        int kind = random.below(3);   // 0 direct, 1 alpha, 2 palette
        TestImage dest(40, 36, type);
        // (Every random value is drawn into a variable first: argument order is unspecified.)
        int width = 1 + random.below(24);
        int height = 1 + random.below(24);
        uint32_t key = random.below(4) == 0 ? 0x10000 + random.below(4) : random.below(4);
        TestImage source(width, height, type, kind == 2, kind == 1, 0, key);
        int blendWidth = width + random.below(3);
        int blendHeight = height + random.below(3);
        TestImage blend(blendWidth, blendHeight, kMemImgChannel8);
        for (int y = 0; y < dest->height; ++y)
            for (int x = 0; x < dest->width; ++x) dest.set(x, y, random.next());
        for (int y = 0; y < source->height; ++y)
            for (int x = 0; x < source->width; ++x) {
                uint32_t value = random.next();
                // A few pixels of the transparent value and of the extreme alphas.
                if (random.below(6) == 0) value = random.below(4);
                if (kind == 1 && random.below(4) == 0) value = (value & 0x00FFFFFF) | (random.below(2) ? 0xFF000000u : 0u);
                if (kind == 1 && type == 0) value = (value & 0xFFFF) | ((value >> 24) << 16);
                source.set(x, y, value);
                blend.set(x, y, random.next() & 0xFF);
            }
        if (kind == 2)
            for (int i = 0; i < 256; ++i) {
                if (type) source.setPalette32(i, random.next());
                else source.setPalette16(i, static_cast<uint16_t>(random.next()));
            }
        uint32_t bright = random.below(2) ? 0x00FFFFFF : random.next() & 0x00FFFFFF;
        int mode = modes[random.below(15)];
        int parameter = parameters[random.below(9)];
        SetBlend(mode, parameter, bright);
        int border = random.below(256);
        int range = random.below(256);
        SetBlendImageTable(border, range);
        if (random.below(3) == 0)
            g_DrawSettings.drawArea = {random.below(20) - 5, random.below(20) - 5, 15 + random.below(40),
                                       15 + random.below(40)};
        std::vector<uint8_t> before = dest.snapshot();
        const MEMIMG* blendImage = random.below(3) == 0 ? blend.get() : nullptr;
        int trans = random.below(2);
        auto point = [&] { return random.below(70) - 15; };
        const int kernel = random.below(7);
        switch (kernel) {
        case 0: {
            TriangleVertex v[3];
            for (auto& c : v) c = {point(), point(), random.below(source->width + 6) - 3,
                                   random.below(source->height + 6) - 3};
            FillMemImgTriangle(dest.get(), source.get(), v, trans, blendImage, 0);
            break;
        }
        case 1: {
            TriangleVertex v[3];
            for (auto& c : v) c = {point(), point(), 0, 0};
            uint32_t colour = random.next();
            FillMemImgTriangle(dest.get(), nullptr, v, trans, blendImage, colour);
            break;
        }
        case 2:
        case 3: {
            float angle = (random.next() / 4294967296.0f - 0.5f) * 14.0f;
            float scale = 0.25f + random.below(1000) / 250.0f;
            int x = point();
            int y = point();
            int turn = random.below(4) == 0;
            BlitMemImgRotated(dest.get(), source.get(), x, y, angle, scale, trans, turn, blendImage);
            break;
        }
        case 4: {
            int32_t points[8];
            for (auto& p : points) p = point();
            FillMemImgQuad(dest.get(), source.get(), points, trans, blendImage);
            break;
        }
        case 5: {
            int32_t rect[4] = {point(), point(), point(), point()};
            bool whole = random.below(8) == 0;
            uint32_t colour = random.next();
            FillMemImgBox(dest.get(), whole ? nullptr : rect, colour);
            break;
        }
        default: {
            LineRecord lines[3];
            for (auto& l : lines) l = {point(), point(), point(), point(), random.next(), 0};
            DrawMemImgLines(dest.get(), lines, 3);
            break;
        }
        }
        std::vector<uint8_t> after = dest.snapshot();
        drawn += after != before;
        uint64_t& hash = hashes[kernel < 3 ? kernel : kernel - 1];
        hash = Fnv(hash, after);
    }
    SetBlendImageTable(0, 0);
    EXPECT_GT(drawn, 300);
    for (size_t k = 0; k < std::size(kernels); ++k)
        EXPECT_EQ(hashes[k], kernels[k].pinned) << "the " << kernels[k].name << " kernel draws other pixels";
}

} // namespace
