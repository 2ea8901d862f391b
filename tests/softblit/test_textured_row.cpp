// The textured rows of the rotated and triangle kernels: the inside columns found per row, the
// bounds stepped from row to row and the AVX2 copy, each against every pixel tested on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_rows.h"
#include "softblit/textured_row.h"

namespace {

using namespace softblit;

// A deterministic generator.
struct Lcg {
    std::mt19937 engine;
    uint32_t next() { return static_cast<uint32_t>(engine()); }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

// A position step: small, large, zero, a power of two (positions then land exactly on texel
// edges), or anything.
uint32_t RandomStep(Lcg& random) {
    switch (random.below(6)) {
    case 0: return 0;
    case 1: return random.next();
    case 2: return (random.below(2) ? 1u : 0u - 1u) << (12 + random.below(9));
    case 3: return static_cast<uint32_t>(random.below(1 << 20) - (1 << 19));
    default: return static_cast<uint32_t>(random.below(1 << 24) - (1 << 23));
    }
}

TEST(TexturedRow, InsideColumnsAreThoseThatTestInside) {
    Lcg random{std::mt19937(11)};
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        uint32_t limit = static_cast<uint32_t>(1 + random.below(8191)) << kFixedShift;
        uint32_t start = random.below(2) ? random.next() : static_cast<uint32_t>(random.below(1 << 24) - (1 << 22));
        uint32_t step = RandomStep(random);
        int64_t n = random.below(4) == 0 ? random.below(3) : 1 + random.below(700);
        ColumnRange range;
        if (!FindInsideColumns(start, step, limit, n, &range)) continue;
        ++found;
        for (int64_t i = 0; i < n; ++i) {
            bool inside = start + static_cast<uint32_t>(i) * step < limit;
            ASSERT_EQ(inside, i >= range.first && i < range.end)
                << "round " << round << " column " << i << " of " << n;
        }
    }
    EXPECT_GT(found, 15000);
}

// Every inside test of a plane over a region, row by row, against the stepped bounds.
TEST(TexturedRow, SteppedBoundsFollowEveryRow) {
    Lcg random{std::mt19937(12)};
    int stepped = 0;
    for (int round = 0; round < 3000; ++round) {
        TexturedJob job = {};
        job.uLimit = static_cast<uint32_t>(1 + random.below(64)) << kFixedShift;
        job.vLimit = static_cast<uint32_t>(1 + random.below(64)) << kFixedShift;
        SourcePlane& plane = job.plane;
        plane.xRef = random.below(200) - 100;
        plane.yRef = random.below(200) - 100;
        // Starts around the source, on a grid or one off it, so that positions also land on -1,
        // 0, limit - 1 and limit exactly.
        auto start = [&](uint32_t limit) {
            int64_t texels = limit >> kFixedShift;
            int64_t at = (int64_t{random.below(static_cast<int>(3 * texels) * 16)} - texels * 16) << 14;
            return static_cast<uint32_t>(at + random.below(3) - 1);
        };
        plane.uRef = start(job.uLimit);
        plane.vRef = start(job.vLimit);
        plane.ux = RandomStep(random);
        plane.uy = RandomStep(random);
        plane.vx = RandomStep(random);
        plane.vy = RandomStep(random);
        int64_t left = random.below(100) - 50, top = random.below(100) - 50;
        DrawBounds region = {left, top, left + 1 + random.below(120), top + 1 + random.below(120)};
        InsideColumns inside = PrepareInsideColumns(job, region);
        EXPECT_EQ(inside.stepped, StaysInWindow(job, region));
        if (!inside.stepped) continue;
        ++stepped;
        int64_t width = region.right - region.left;
        for (int64_t y = region.top; y < region.bottom; ++y, inside.u.Step(), inside.v.Step()) {
            int64_t first = std::max<int64_t>(0, std::max(inside.u.first, inside.v.first));
            int64_t end = std::min(width, std::min(inside.u.past, inside.v.past));
            for (int64_t c = 0; c < width; ++c) {
                uint32_t dx = static_cast<uint32_t>(region.left + c - plane.xRef);
                uint32_t dy = static_cast<uint32_t>(y - plane.yRef);
                bool in = plane.uRef + dx * plane.ux + dy * plane.uy < job.uLimit &&
                          plane.vRef + dx * plane.vx + dy * plane.vy < job.vLimit;
                ASSERT_EQ(in, c >= first && c < end) << "round " << round << " row " << y << " column " << c;
            }
        }
    }
    EXPECT_GT(stepped, 1000);
}

// The plain copy of a run with and without the AVX2 run, from sources whose buffers end exactly
// at their last pixel (so that a read past it shows under the address sanitizer), touching their
// first and last columns and rows: runs of every length from 1 to 64 (below four the pixel loop;
// then overlapping steps of four, eight and sixteen, with every remainder after them), magnified
// and shrunk, keyed by a colour in the source or by one wider than a 16-bit texel, which never
// matches.
template <class Px>
void CompareGatherCopy(int type, bool keyed, Lcg& random) {
    using Op = PixelOp<Px, 0, false, true, Form::Normal>;
    const int bytes = Px::kBytes;
    for (int round = 0; round < 384; ++round) {
        int w = 1 + random.below(20), h = 1 + random.below(20);
        std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * bytes);
        for (uint8_t& b : pixels) b = static_cast<uint8_t>(random.below(4));
        MEMIMG source = {};
        uint32_t key = bytes == 2 && round % 4 == 0 ? 0x10000u : 0u;
        ASSERT_EQ(CreateMemImg(&source, w, h, w * bytes, key, type, 0, 0, 0, pixels.data()), 0);
        SetBlend(0, 255);
        FrameSetup setup;
        TestImage a(72, 4, type), b(72, 4, type);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 72; ++x) {
                uint32_t value = random.next();
                a.set(x, y, value);
                b.set(x, y, value);
            }
        ASSERT_TRUE(PrepareFrame(a.get(), &source, nullptr, keyed, &setup));
        TexturedJob job = MakeTexturedJob(a.get(), &source, nullptr, setup);
        // A run from one source corner toward another, all inside.
        int n = 1 + round % 64;
        double u0 = random.below(2) ? 0.0 : w - 0.001, v0 = random.below(2) ? 0.0 : h - 0.001;
        double u1 = random.below(w * 1000) / 1000.0, v1 = random.below(h * 1000) / 1000.0;
        const bool avx2Run = job.avx2Run;
        job.plane = {};
        job.plane.xRef = 2;
        job.plane.yRef = 1;
        job.plane.uRef = static_cast<uint32_t>(u0 * (1 << kFixedShift));
        job.plane.vRef = static_cast<uint32_t>(v0 * (1 << kFixedShift));
        job.plane.ux = static_cast<uint32_t>(static_cast<int32_t>((u1 - u0) * (1 << kFixedShift) / n));
        job.plane.vx = static_cast<uint32_t>(static_cast<int32_t>((v1 - v0) * (1 << kFixedShift) / n));
        for (int i = 0; i < n; ++i) {
            ASSERT_LT(job.plane.uRef + static_cast<uint32_t>(i) * job.plane.ux, job.uLimit);
            ASSERT_LT(job.plane.vRef + static_cast<uint32_t>(i) * job.plane.vx, job.vLimit);
        }
        auto draw = [&](TestImage& dest, bool avx2Run) {
            job.destination = dest->pixels;
            job.avx2Run = avx2Run;
            WithBool(keyed, [&](auto key) {
                DrawInsideRun<TexelLoop<Px, SourceKind::Direct, Op, key, false, 0>>(job, 1, 2, n);
            });
        };
        draw(a, false);
        draw(b, avx2Run);
        ReleaseMemImg(&source);
        ASSERT_EQ(a.snapshot(), b.snapshot()) << "round " << round << " run of " << n;
    }
}

TEST(TexturedRow, Avx2CopyDrawsAsThePixelLoop) {
    if (!HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    Lcg random{std::mt19937(13)};
    for (bool keyed : {false, true}) {
        CompareGatherCopy<Pixel16>(kMemImgR5G6B5, keyed, random);
        CompareGatherCopy<Pixel32>(kMemImgX8R8G8B8, keyed, random);
    }
}

// Whole rotated draws from sources with exactly sized buffers, at the turns and scales the
// game uses, placed across every border of the destination: each drawn pixel samples the
// source as the rules say, and nothing is drawn outside the turned picture.
TEST(TexturedRow, RotatedDrawsAtTheBorders) {
    SetBlend(0, 255);
    const int w = 16, h = 12;
    std::vector<uint16_t> pixels(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[y * w + x] = static_cast<uint16_t>(0x8000 | y << 5 | x);
    pixels[0] = 0x0001;   // the key, at the first pixel
    MEMIMG source = {};
    ASSERT_EQ(CreateMemImg(&source, w, h, w * 2, 0x0001, kMemImgR5G6B5, 0, 0, 0, pixels.data()), 0);
    const float angles[] = {0.0f, static_cast<float>(M_PI / 2), static_cast<float>(M_PI), 0.3f, -2.0f};
    const float scales[] = {0.5f, 1.0f, 2.5f};
    const int places[][2] = {{0, 20}, {39, 20}, {20, 0}, {20, 29}, {1, 1}, {38, 28}, {20, 15}};
    for (float angle : angles)
        for (float scale : scales)
            for (const auto& place : places)
                for (int turn : {0, 1}) {
                    TestImage dest(40, 30, kMemImgR5G6B5);
                    dest.fill(0xFFFF);
                    BlitMemImgRotated(dest.get(), &source, place[0], place[1], angle, scale, 1, turn, nullptr);
                    double c = std::cos(double(angle)), s = std::sin(double(angle));
                    double reach = std::hypot(w, h) * scale / 2 + 2;
                    for (int y = 0; y < 30; ++y)
                        for (int x = 0; x < 40; ++x) {
                            uint32_t got = dest.get(x, y);
                            if (std::hypot(x - place[0], y - place[1]) > reach) {
                                ASSERT_EQ(got, 0xFFFFu) << x << "," << y;
                                continue;
                            }
                            if (turn || got == 0xFFFF) continue;
                            // Unmirrored: the texel the rules give, unless the position is at
                            // a texel edge.
                            double u = ((x - place[0]) * c + (y - place[1]) * s) / scale + (w >> 1);
                            double v = ((y - place[1]) * c - (x - place[0]) * s) / scale + (h >> 1);
                            double tol = 4e-3 / std::min(1.0, double(scale));
                            if (std::abs(u - std::round(u)) < tol || std::abs(v - std::round(v)) < tol) continue;
                            ASSERT_TRUE(u >= 0 && u < w && v >= 0 && v < h) << x << "," << y;
                            EXPECT_EQ(got, 0x8000u | uint32_t(v) << 5 | uint32_t(u))
                                << "angle " << angle << " scale " << scale << " at " << x << "," << y;
                        }
                }
    ReleaseMemImg(&source);
}

} // namespace
