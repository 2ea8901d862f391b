// Rotated draws of small sources against a pinned checksum: every border of the destination and
// of the draw area crossed, the angles next to multiples of pi/2, tiny, huge and negative scales,
// centres far away, and the refusals among them. Any change of a pixel, or of which draws are
// refused, shows here, under the kinds of angle, scale and centre of the draws it changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>

#include "blit_test_support.h"

namespace {

struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
    double unit() { return next() / 4294967296.0; }
};

// The kinds of draw, each with its pinned checksum: four kinds of angle (the index Angle gives),
// three of scale (4 + Scale's) and two of centre (7 + far).
struct Group {
    const char* name;
    uint64_t pinned;
};
constexpr Group kGroups[] = {
    {"angles next to a multiple of pi/2", 0xeff8b13e3f43e15eull},
    {"special angles", 0x1a37a0742760a96aull},
    {"huge angles", 0xf0fa5bc98bba9fccull},
    {"ordinary angles", 0x17c70e744e66ce99ull},
    {"special scales", 0x8e1724f524070db2ull},
    {"negative scales", 0x8029d84f3d57b17dull},
    {"ordinary scales", 0x0115d4150cfc88c7ull},
    {"centres around the borders", 0x2fd4e2fdd3794f9full},
    {"far centres", 0x1251932ed68bf69eull},
};

float Angle(Lcg& random, int* kind) {
    *kind = random.below(10);
    switch (*kind) {
    case 0: {
        // Within a few floats of a multiple of pi/2.
        float angle = static_cast<float>((random.below(9) - 4) * M_PI_2);
        uint32_t bits;
        std::memcpy(&bits, &angle, sizeof bits);
        bits += static_cast<uint32_t>(random.below(5) - 2);
        std::memcpy(&angle, &bits, sizeof bits);
        return angle;
    }
    case 1: {
        const float special[] = {0.0f, -0.0f, 1e-30f, 5000.0f, -1e6f, 1e30f};
        return special[random.below(6)];
    }
    case 2: return static_cast<float>((random.unit() - 0.5) * 20000);
    default: *kind = 3; return static_cast<float>((random.unit() - 0.5) * 14);
    }
}

float Scale(Lcg& random, int* kind) {
    *kind = random.below(12);
    switch (*kind) {
    case 0: {
        const float special[] = {1.0f, 0.5f, -1.0f, 1e-30f, 1e-4f, 1e6f, 3e38f, 0.001f};
        return special[random.below(8)];
    }
    case 1: return -static_cast<float>(0.1 + random.unit() * 3);
    default: *kind = 2; return static_cast<float>(0.4 + random.unit() * 3);
    }
}

TEST(RotateChecksum, SmallSourcesAtEveryBorderMatchThePinnedChecksum) {
    Lcg random{77};
    uint64_t hashes[std::size(kGroups)];
    std::fill(std::begin(hashes), std::end(hashes), 14695981039346656037ull);
    int drawn = 0;
    for (int round = 0; round < 4000; ++round) {
        int type = random.below(2);
        int w = 1 + random.below(20), h = 1 + random.below(20);
        TestImage source(w, h, type, 0, 0, 0, static_cast<uint32_t>(random.below(3)));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t value = random.below(6) == 0 ? random.below(3) : random.next();
                source.set(x, y, value);
            }
        int dw = 8 + random.below(40), dh = 8 + random.below(40);
        TestImage dest(dw, dh, type);
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) dest.set(x, y, random.next());
        SetBlend(random.below(4) == 0 ? 4 : 0, 255);
        if (random.below(2))
            g_DrawSettings.drawArea = {random.below(12) - 4, random.below(12) - 4,
                                       dw - 6 + random.below(12), dh - 6 + random.below(12)};
        // Centres around every border, now and then far away.
        const bool farX = random.below(32) == 0;
        int x = farX ? random.below(200000) - 100000 : random.below(dw + 30) - 15;
        const bool farY = random.below(32) == 0;
        int y = farY ? random.below(200000) - 100000 : random.below(dh + 30) - 15;
        int angleKind = 0, scaleKind = 0;
        float angle = Angle(random, &angleKind);
        float scale = Scale(random, &scaleKind);
        int trans = random.below(2);
        int turn = random.below(8) == 0;
        std::vector<uint8_t> before = dest.snapshot();
        BlitMemImgRotated(dest.get(), source.get(), x, y, angle, scale, trans, turn, nullptr);
        std::vector<uint8_t> after = dest.snapshot();
        drawn += after != before;
        for (int g : {angleKind, 4 + scaleKind, farX || farY ? 8 : 7})
            for (uint8_t b : after) hashes[g] = (hashes[g] ^ b) * 1099511628211ull;
    }
    EXPECT_GT(drawn, 1200);
    for (size_t g = 0; g < std::size(kGroups); ++g)
        EXPECT_EQ(hashes[g], kGroups[g].pinned) << "the draws of " << kGroups[g].name << " give other pixels";
}

} // namespace
