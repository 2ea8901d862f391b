// Long runs of rotated draws that share an angle and scale but differ in everything else, mixed
// with draws of other angles and scales: each draw, made with the set-ups kept from the draws
// before it, gives exactly the pixels of the same draw set up afresh, and the plain copies give
// the exact rules' texels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "rotate_reference.h"
#include "softblit/rotate_setup.h"
#include "softblit/textured_row.h"

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

// One draw of the sequence and what it needs.
struct Draw {
    int type = 0;
    int palette = 0;
    int alpha = 0;
    int w = 1, h = 1;
    uint32_t key = 0;
    int destWidth = 8, destHeight = 8;
    V_RECT area = {};
    int x = 0, y = 0;
    float angle = 0, scale = 1;
    int trans = 0, turn = 0;
    int mode = 0, parameter = 255;
    uint32_t bright = 0x00FFFFFF;
    bool blend = false;
};

// A position at or next to an edge of the draw area or the destination, or anywhere near it.
int Place(Lcg& random, int low, int high, int size) {
    switch (random.below(6)) {
    case 0: return low + random.below(3) - 1;
    case 1: return high + random.below(3) - 2;
    case 2: return random.below(5) - 2;
    case 3: return size + random.below(3) - 1;
    default: return random.below(size + 24) - 12;
    }
}

Draw MakeDraw(Lcg& random, float angle, float scale) {
    Draw d;
    d.type = random.below(2);
    int kind = random.below(6);
    d.palette = kind == 0;
    d.alpha = kind == 1;
    // Sizes of the register lookup (up to 16 x 16) and past it.
    if (random.below(2)) {
        d.w = 16;
        d.h = 16;
    } else {
        d.w = 1 + random.below(20);
        d.h = 1 + random.below(20);
    }
    d.key = static_cast<uint32_t>(random.below(4));
    d.destWidth = 24 + random.below(40);
    d.destHeight = 24 + random.below(40);
    d.area = {0, 0, 1024, 1024};
    if (random.below(2))
        d.area = {random.below(10) - 2, random.below(10) - 2, d.destWidth - 8 + random.below(12),
                  d.destHeight - 8 + random.below(12)};
    d.x = Place(random, d.area.left, d.area.right, d.destWidth);
    d.y = Place(random, d.area.top, d.area.bottom, d.destHeight);
    d.angle = angle;
    d.scale = scale;
    d.trans = random.below(2);
    d.turn = random.below(4) == 0;
    const int modes[] = {0, 0, 0, 1, 2, 3, 4, 10, 11};
    d.mode = modes[random.below(9)];
    d.parameter = random.below(3) == 0 ? 255 : random.below(256);
    if (random.below(5) == 0) d.bright = random.next() & 0x00FFFFFF;
    d.blend = random.below(6) == 0;
    return d;
}

// The draw's source (seeded by the draw's number) and its blend image; the destination comes
// filled from the same seed.
struct Scene {
    std::unique_ptr<TestImage> source, blend, dest;
    Scene(const Draw& d, uint32_t seed) {
        Lcg random{seed};
        source = std::make_unique<TestImage>(d.w, d.h, d.type, d.palette, d.alpha, 0, d.key);
        for (int i = 0; i < 256 && d.palette; ++i) {
            if (d.type == 0) source->setPalette16(i, static_cast<uint16_t>(random.next()));
            else source->setPalette32(i, random.next());
        }
        for (int yy = 0; yy < d.h; ++yy)
            for (int xx = 0; xx < d.w; ++xx) {
                uint32_t value = random.below(4) == 0 ? d.key : random.next();
                if (d.palette) value &= 0xFF;
                else if (d.type == 0 && !d.alpha) value &= 0xFFFF;
                source->set(xx, yy, value);
            }
        if (d.blend) {
            blend = std::make_unique<TestImage>(d.w, d.h, kMemImgChannel8);
            for (int yy = 0; yy < d.h; ++yy)
                for (int xx = 0; xx < d.w; ++xx) blend->set(xx, yy, random.next() & 0xFF);
        }
        dest = std::make_unique<TestImage>(d.destWidth, d.destHeight, d.type);
        for (int yy = 0; yy < d.destHeight; ++yy)
            for (int xx = 0; xx < d.destWidth; ++xx) dest->set(xx, yy, random.next());
    }
    void Run(const Draw& d) {
        SetBlend(d.mode, d.parameter, d.bright);
        g_DrawSettings.drawArea = d.area;
        BlitMemImgRotated(dest->get(), source->get(), d.x, d.y, d.angle, d.scale, d.trans, d.turn,
                          blend ? blend->get() : nullptr);
    }
};

// The texels the exact rules give a plain copy (mode 0, white, no blend image, a direct source
// without alpha), the key skipped when the flag is set.
std::vector<uint8_t> ExactCopy(const Draw& d, uint32_t seed) {
    Scene scene(d, seed);
    g_DrawSettings.drawArea = d.area;
    for (const ReferencePixel& p :
         ReferenceRotation(d.destWidth, d.destHeight, d.w, d.h, d.x, d.y, d.angle, d.scale, d.turn)) {
        uint32_t texel = scene.source->get(p.u, p.v);
        if (!d.trans || texel != d.key) scene.dest->set(p.x, p.y, texel);
    }
    return scene.dest->snapshot();
}

std::string Describe(const Draw& d, int index) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "draw %d: type %d palette %d alpha %d source %dx%d key %u dest %dx%d area %d,%d,%d,%d "
                  "centre %d,%d angle %.9g scale %.9g trans %d turn %d mode %d p %d bright %06x blend %d",
                  index, d.type, d.palette, d.alpha, d.w, d.h, d.key, d.destWidth, d.destHeight,
                  d.area.left, d.area.top, d.area.right, d.area.bottom, d.x, d.y, d.angle, d.scale,
                  d.trans, d.turn, d.mode, d.parameter, d.bright, d.blend);
    return text;
}

TEST(RotateSequence, KeptSetupsDrawAsFreshOnes) {
    SetBlend(0, 255);
    Lcg random{2025};
    // The shared angles and scales: the tiles' half scale, a quarter turn, a tiny scale whose row
    // steps need 64 bits, a negative scale, angles of both zeros and of a large value.
    const float shared[][2] = {{0.7f, 0.5f}, {static_cast<float>(M_PI_2), 1.0f}, {-2.3f, 1.75f},
                               {0.3f, 0.0004f}, {1.1f, -0.8f}, {0.0f, 0.5f}, {-0.0f, 0.5f},
                               {5000.25f, 2.5f}};
    int drawn = 0, exact = 0, current = 0;
    for (int i = 0; i < 6000; ++i) {
        // Runs of one shared angle and scale, broken now and then by another shared one or by an
        // angle and scale of their own (which take the same slot of the kept set-ups or another).
        if (random.below(40) == 0) current = random.below(8);
        float angle = shared[current][0], scale = shared[current][1];
        const int change = random.below(20);
        if (change < 2) {
            angle = static_cast<float>((random.unit() - 0.5) * 14);
            scale = static_cast<float>(0.2 + random.unit() * 3);
        } else if (change == 2) {
            // The angle kept, the scale of its own; or the other way round.
            scale = static_cast<float>(0.2 + random.unit() * 3);
        } else if (change == 3) {
            angle = static_cast<float>((random.unit() - 0.5) * 14);
        } else if (change == 4) {
            int other = random.below(8);
            angle = shared[other][0];
            scale = shared[other][1];
        }
        const Draw d = MakeDraw(random, angle, scale);
        const uint32_t seed = random.next();

        Scene kept(d, seed);
        std::vector<uint8_t> before = kept.dest->snapshot();
        kept.Run(d);
        Scene fresh(d, seed);
        softblit::KeepRotationSetups(false);
        fresh.Run(d);
        softblit::KeepRotationSetups(true);
        ASSERT_EQ(kept.dest->snapshot(), fresh.dest->snapshot()) << Describe(d, i);
        drawn += kept.dest->snapshot() != before;

        if (d.mode == 0 && d.bright == 0x00FFFFFF && !d.blend && !d.palette && !d.alpha) {
            ASSERT_EQ(kept.dest->snapshot(), ExactCopy(d, seed)) << Describe(d, i);
            ++exact;
        }
    }
    EXPECT_GT(drawn, 2500);
    EXPECT_GT(exact, 500);
}

// The plain 16-bit copies of small sources, drawn through the register lookup (where the
// processor has it) and through the row loops: rotated and mirrored draws at every border, at
// angles and scales of every size, and triangles of any corners, keyed or not.
TEST(RegisterLookup, DrawsAsTheRowLoops) {
    if (!softblit::HasAvx512Bw()) GTEST_SKIP() << "no AVX-512BW: the row loops draw alone";
    Lcg random{99};
    int drawn = 0;
    for (int i = 0; i < 5000; ++i) {
        const int w = random.below(3) == 0 ? 16 : 1 + random.below(16);
        const int h = random.below(3) == 0 ? 16 : 1 + random.below(16);
        const uint32_t key = random.below(8) == 0 ? 0x10000u + random.below(4) : random.below(4);
        const int destWidth = 20 + random.below(60), destHeight = 20 + random.below(60);
        V_RECT area = {0, 0, 1024, 1024};
        if (random.below(2))
            area = {random.below(10) - 2, random.below(10) - 2, destWidth - 8 + random.below(12),
                    destHeight - 8 + random.below(12)};
        const int trans = random.below(2);
        const uint32_t seed = random.next();
        const bool triangle = random.below(4) == 0;
        const int x = Place(random, area.left, area.right, destWidth);
        const int y = Place(random, area.top, area.bottom, destHeight);
        float angle = static_cast<float>((random.unit() - 0.5) * 14);
        if (random.below(8) == 0) angle = static_cast<float>((random.below(9) - 4) * M_PI_2);
        const float scales[] = {0.5f, 4.0f, 0.0004f, -1.0f, 1.0f, 1e6f};
        float scale = random.below(3) == 0 ? scales[random.below(6)] : static_cast<float>(0.2 + random.unit() * 5);
        const int turn = random.below(3) == 0;
        TriangleVertex corners[3];
        for (TriangleVertex& corner : corners) {
            const bool far = random.below(16) == 0;
            corner = {far ? random.below(16000) - 8000 : random.below(destWidth + 40) - 20,
                      far ? random.below(16000) - 8000 : random.below(destHeight + 40) - 20,
                      random.below(w * 3) - w, random.below(h * 3) - h};
        }
        std::vector<uint8_t> initial;
        auto draw = [&](bool lookup) {
            Lcg fill{seed};
            TestImage source(w, h, kMemImgR5G6B5, 0, 0, 0, key);
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    source.set(xx, yy, fill.below(4) == 0 ? key & 0xFFFF : fill.next() & 0xFFFF);
            TestImage dest(destWidth, destHeight, kMemImgR5G6B5);
            for (int yy = 0; yy < destHeight; ++yy)
                for (int xx = 0; xx < destWidth; ++xx) dest.set(xx, yy, fill.next());
            initial = dest.snapshot();
            SetBlend(0, 255);
            g_DrawSettings.drawArea = area;
            softblit::UseRegisterLookup(lookup);
            if (triangle) FillMemImgTriangle(dest.get(), source.get(), corners, trans, nullptr, 0);
            else BlitMemImgRotated(dest.get(), source.get(), x, y, angle, scale, trans, turn, nullptr);
            softblit::UseRegisterLookup(true);
            return dest.snapshot();
        };
        const std::vector<uint8_t> lookedUp = draw(true);
        const std::vector<uint8_t> looped = draw(false);
        ASSERT_EQ(lookedUp, looped) << "draw " << i << " source " << w << "x" << h << " key " << key
                                    << " centre " << x << "," << y << " angle " << angle << " scale "
                                    << scale << " turn " << turn << " triangle " << triangle;
        drawn += lookedUp != initial;
    }
    EXPECT_GT(drawn, 2500);
}

} // namespace
