// Triangle kernel: coverage of flat and textured triangles, refusals, clipping, the flat-colour
// arithmetic, and a reference of coverage and texture mapping written from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// Pixels that differ from the background value.
Pixels Changed(TestImage& image, uint32_t background) {
    Pixels out;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (image.get(x, y) != background) out.insert({x, y});
    return out;
}

Pixels Rect(int left, int top, int right, int bottom) {
    Pixels out;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) out.insert({x, y});
    return out;
}

void Flat(TestImage& image, TriangleVertex a, TriangleVertex b, TriangleVertex c, uint32_t colour) {
    TriangleVertex v[3] = {a, b, c};
    FillMemImgTriangle(image.get(), nullptr, v, 0, nullptr, colour);
}

TEST(Triangle, WorkedCoverage) {
    SetBlend(0, 0);
    TestImage image(16, 16, kMemImgX8R8G8B8);
    image.fill(0);
    Flat(image, {0, 0, 0, 0}, {5, 0, 0, 0}, {2, 1, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0), Rect(0, 0, 5, 0));

    // Two triangles sharing the diagonal cover columns 0 to 10 of rows 0 to 9; under mode 2 the
    // diagonal is added twice.
    image.fill(0);
    Flat(image, {0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}, 1);
    Flat(image, {10, 0, 0, 0}, {0, 10, 0, 0}, {10, 10, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0), Rect(0, 0, 10, 9));
    SetBlend(2, 255);
    image.fill(0);
    Flat(image, {0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}, 0x10);
    Flat(image, {10, 0, 0, 0}, {0, 10, 0, 0}, {10, 10, 0, 0}, 0x10);
    int twice = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x <= 10; ++x) twice += image.get(x, y) == 0x20;
    EXPECT_GE(twice, 10);

    // Collinear corners, equal corners, three on a row or a column: nothing.
    SetBlend(0, 0);
    image.fill(0);
    Flat(image, {0, 0, 0, 0}, {3, 3, 0, 0}, {6, 6, 0, 0}, 1);
    Flat(image, {2, 2, 0, 0}, {2, 2, 0, 0}, {9, 4, 0, 0}, 1);
    Flat(image, {0, 5, 0, 0}, {4, 5, 0, 0}, {9, 5, 0, 0}, 1);
    Flat(image, {5, 0, 0, 0}, {5, 4, 0, 0}, {5, 9, 0, 0}, 1);
    EXPECT_TRUE(Changed(image, 0).empty());
}

TEST(Triangle, SixCornerOrdersCoverTheSamePixels) {
    SetBlend(0, 0);
    const TriangleVertex shapes[][3] = {
        {{1, 1, 0, 0}, {13, 4, 0, 0}, {5, 14, 0, 0}}, {{2, 9, 0, 0}, {14, 1, 0, 0}, {11, 13, 0, 0}}, {{0, 0, 0, 0}, {7, 0, 0, 0}, {3, 12, 0, 0}},
        {{3, 2, 0, 0}, {12, 11, 0, 0}, {1, 11, 0, 0}}, {{6, 0, 0, 0}, {15, 8, 0, 0}, {0, 15, 0, 0}}};
    for (const auto& shape : shapes) {
        Pixels first;
        int order[3] = {0, 1, 2};
        int n = 0;
        do {
            TestImage image(16, 16, kMemImgR5G6B5);
            image.fill(0);
            Flat(image, shape[order[0]], shape[order[1]], shape[order[2]], 0xFFFF);
            Pixels got = Changed(image, 0);
            if (n++ == 0) first = got;
            else EXPECT_EQ(got, first);
        } while (std::next_permutation(order, order + 3));
        EXPECT_EQ(n, 6);
        EXPECT_FALSE(first.empty());
    }
}

TEST(Triangle, NegativeCornersAndClipping) {
    SetBlend(0, 0);
    TestImage image(16, 16, kMemImgX8R8G8B8);
    // Top corner on row -3: the walk starts on row -2 and reaches the bottom corner's row.
    image.fill(0);
    Flat(image, {4, -3, 0, 0}, {0, 4, 0, 0}, {8, 4, 0, 0}, 1);
    Pixels got = Changed(image, 0);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(std::max_element(got.begin(), got.end(), [](auto a, auto b) { return a.second < b.second; })->second, 4);
    // An edge between -1 and 0 yields column 0.
    image.fill(0);
    Flat(image, {-1, 0, 0, 0}, {3, 0, 0, 0}, {-1, 3, 0, 0}, 1);
    EXPECT_TRUE(Changed(image, 0).count({0, 0}));

    // The draw area clips spans and rows; wholly outside draws nothing.
    image.fill(0);
    g_DrawSettings.drawArea = {2, 3, 7, 6};
    Flat(image, {0, 0, 0, 0}, {15, 0, 0, 0}, {0, 15, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0), Rect(2, 3, 6, 5));
    image.fill(0);
    Flat(image, {8, 8, 0, 0}, {15, 8, 0, 0}, {8, 15, 0, 0}, 1);
    EXPECT_TRUE(Changed(image, 0).empty());
    // A draw area reaching beyond the image is cut to it; far corners are walked safely.
    g_DrawSettings.drawArea = {-100, -100, 1000, 1000};
    Flat(image, {-40000, -30000, 0, 0}, {50000, 8, 0, 0}, {8, 70000, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0).size(), 256u);
}

TEST(Triangle, CornersAtTheEndsOfTheIntegers) {
    SetBlend(0, 0);
    TestImage image(16, 16, kMemImgX8R8G8B8);
    g_DrawSettings.drawArea = {0, 0, 16, 16};
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    // The image lies well inside each of these: every pixel is drawn.
    image.fill(0);
    Flat(image, {lo, lo, 0, 0}, {hi, 0, 0, 0}, {lo, hi, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0).size(), 256u);
    image.fill(0);
    Flat(image, {hi, hi, 0, 0}, {lo, 0, 0, 0}, {hi, lo, 0, 0}, 1);
    EXPECT_EQ(Changed(image, 0).size(), 256u);
    // Collinear far corners draw nothing.
    image.fill(0);
    Flat(image, {lo, lo, 0, 0}, {0, 0, 0, 0}, {hi, hi, 0, 0}, 1);
    EXPECT_TRUE(Changed(image, 0).empty());

    // Textured across 2^31 pixels: a one-colour source, so each texel is the same.
    TestImage source(4, 4, kMemImgX8R8G8B8);
    source.fill(0x00123456);
    image.fill(0);
    const int32_t far = 1 << 30;
    TriangleVertex v[3] = {{-far, -far, 0, 0}, {far, 0, 3, 0}, {-far, far, 0, 3}};
    FillMemImgTriangle(image.get(), source.get(), v, 0, nullptr, 0);
    EXPECT_EQ(Changed(image, 0).size(), 256u);
    EXPECT_EQ(image.get(7, 9), 0x00123456u);
    // A quadrilateral over the whole integer plane stays inside the draw area.
    image.fill(0);
    g_DrawSettings.drawArea = {2, 2, 14, 14};
    const int32_t quad[8] = {lo, lo, hi, lo, lo, hi, hi, hi};
    FillMemImgQuad(image.get(), source.get(), quad, 0, nullptr);
    for (auto [x, y] : Changed(image, 0)) {
        EXPECT_TRUE(x >= 2 && x < 14 && y >= 2 && y < 14) << x << ", " << y;
    }
}

TEST(Triangle, Refusals) {
    TestImage source(4, 4, kMemImgX8R8G8B8);
    source.fill(0x00FFFFFF);
    TriangleVertex v[3] = {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 4, 0, 4}};
    auto untouched = [&](TestImage& dest, const MEMIMG* src, const MEMIMG* blend = nullptr) {
        auto before = dest.snapshot();
        FillMemImgTriangle(dest.get(), src, v, 0, blend, 0xFFFF);
        return dest.snapshot() == before;
    };
    SetBlend(0, 0);
    TestImage dest16(8, 8, kMemImgR5G6B5), destPalette(8, 8, kMemImgX8R8G8B8, 1);
    TestImage destAlpha(8, 8, kMemImgX8R8G8B8, 0, 1), channel(8, 8, kMemImgChannel8);
    dest16.fill(0);
    EXPECT_TRUE(untouched(dest16, source.get()));       // colour types differ
    EXPECT_TRUE(untouched(destPalette, nullptr));
    EXPECT_FALSE(untouched(destAlpha, nullptr));      // an alpha destination is drawn into
    EXPECT_TRUE(untouched(channel, nullptr));
    TestImage small(2, 2, kMemImgChannel8);
    TestImage dest32(8, 8, kMemImgX8R8G8B8);
    dest32.fill(0);
    EXPECT_TRUE(untouched(dest32, source.get(), small.get())); // blend image smaller than source
    for (int mode : {5, 9, 12, -1}) {
        SetBlend(mode, 128);
        EXPECT_TRUE(untouched(dest16, nullptr)) << mode;
    }
    for (int mode : {1, 2, 3}) {
        SetBlend(mode, 0);
        EXPECT_TRUE(untouched(dest16, nullptr)) << mode;
        EXPECT_TRUE(untouched(dest32, source.get())) << mode;
    }
    SetBlend(0, 0);
    EXPECT_FALSE(untouched(dest16, nullptr));
}

// One flat pixel at (0, 0) through the triangle kernel.
uint32_t FlatPixel(int type, uint32_t colour, uint32_t destination) {
    TestImage image(2, 1, type);
    image.set(0, 0, destination);
    Flat(image, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, colour);
    return image.get(0, 0);
}

TEST(Triangle, FlatColourArithmetic) {
    SetBlend(0, 0, Rgb32(128, 255, 255));
    EXPECT_EQ(FlatPixel(0, 0xFFFF, 0), 0x7FFFu);
    EXPECT_EQ(FlatPixel(1, 0xFFFFFFFF, 0), 0xFF80FFFFu);
    EXPECT_EQ(FlatPixel(1, 0x00FFFFFF, 0xFF000000), 0x0080FFFFu);
    // Bits above the 16-bit colour are masked off.
    EXPECT_EQ(FlatPixel(0, 0xABCDFFFF, 0), 0x7FFFu);
    SetBlend(1, 128);
    EXPECT_EQ(FlatPixel(0, 0xFFFF, 0), 0x7BEFu);
    EXPECT_EQ(FlatPixel(1, 0x00FFFFFF, 0x55000000), 0x557F7F7Fu);
    // Mode 10 inverts the scaled colour: a black bright gives the white target.
    SetBlend(10, 255, 0);
    EXPECT_EQ(FlatPixel(0, 0x1234, 0), 0xFFFFu);
    EXPECT_EQ(FlatPixel(1, 0x00123456, 0), Rgb32(254, 254, 254));
    SetBlend(10, 0);
    EXPECT_EQ(FlatPixel(0, 0x1234, 0x4321), 0x4321u);
    // Mode 2: the X byte is the carry out of red.
    SetBlend(2, 255);
    EXPECT_EQ(FlatPixel(1, Rgb32(255, 0, 0), Rgb32(2, 0, 0, 0x77)) >> 24, 1u);
    EXPECT_EQ(FlatPixel(1, Rgb32(1, 0, 0), Rgb32(2, 0, 0, 0x77)) >> 24, 0u);
    // Mode 4 ignores the parameter.
    SetBlend(4, 0);
    uint32_t at0 = FlatPixel(1, Rgb32(100, 200, 50), Rgb32(200, 100, 255));
    SetBlend(4, 200);
    EXPECT_EQ(FlatPixel(1, Rgb32(100, 200, 50), Rgb32(200, 100, 255)), at0);
}

// A 10 x 10 source drawn as two triangles with source corners at the destination corners comes
// out pixel for pixel; column 10 maps outside the source and is skipped.
TEST(Triangle, TexturedPixelForPixel) {
    for (int type : {0, 1}) {
        SetBlend(0, 0);
        TestImage source(10, 10, type);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) source.set(x, y, 0x100 + y * 10 + x);
        TestImage dest(16, 16, type);
        dest.fill(0);
        TriangleVertex v[4] = {{0, 0, 0, 0}, {10, 0, 10, 0}, {0, 10, 0, 10}, {10, 10, 10, 10}};
        FillMemImgTriangle(dest.get(), source.get(), v, 0, nullptr, 0);
        FillMemImgTriangle(dest.get(), source.get(), v + 1, 0, nullptr, 0);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(dest.get(x, y), x < 10 && y < 10 ? 0x100u + y * 10 + x : 0u) << x << "," << y;
        // Clipping on the left starts the texture at the clipped column, not shifted.
        dest.fill(0);
        g_DrawSettings.drawArea = {3, 0, 16, 16};
        FillMemImgTriangle(dest.get(), source.get(), v, 0, nullptr, 0);
        EXPECT_EQ(dest.get(3, 0), 0x103u);
        EXPECT_EQ(dest.get(2, 0), 0u);
        // Flipped upside down (1), mirrored (2) or both (a half turn): every source row and
        // column is drawn once, into the same 10 x 10 pixels.
        g_DrawSettings.drawArea = {0, 0, 16, 16};
        for (int flip : {1, 2, 3}) {
            dest.fill(0);
            auto at = [&](int u, int v) {
                return TriangleVertex{flip & 2 ? 10 - u : u, flip & 1 ? 10 - v : v, u, v};
            };
            TriangleVertex q[4] = {at(0, 0), at(10, 0), at(0, 10), at(10, 10)};
            FillMemImgTrianglePair(dest.get(), source.get(), q, 0, nullptr, 0);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const int u = flip & 2 ? 9 - x : x, v = flip & 1 ? 9 - y : y;
                    EXPECT_EQ(dest.get(x, y), x < 10 && y < 10 ? 0x100u + v * 10 + u : 0u)
                        << "flip " << flip << " at " << x << "," << y;
                }
        }
    }
}

// The rows of a tall triangle take its inside columns stepped from row to row, those of a short
// one are searched pixel by pixel: drawn in strips of fewer rows (or in columns), clipped at
// every border of the destination and of the draw area, a triangle comes out as drawn whole.
TEST(Triangle, DrawnInStripsAsWhole) {
    std::mt19937 random(23);
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    const int modes[] = {0, 0, 0, 1, 3};
    for (int round = 0; round < 400; ++round) {
        const int type = pick(2);
        const int mode = modes[pick(5)];
        const int w = 1 + pick(24), h = 1 + pick(24);
        const uint32_t key = static_cast<uint32_t>(pick(3));
        TestImage source(w, h, type, false, false, 0, key);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) source.set(x, y, pick(4) == 0 ? key : static_cast<uint32_t>(random()));
        TriangleVertex v[3];
        for (auto& c : v) c = {pick(90) - 20, pick(80) - 20, pick(w + 7) - 3, pick(h + 7) - 3};
        const int trans = pick(2);
        std::vector<uint32_t> background(48 * 40);
        for (uint32_t& b : background) b = static_cast<uint32_t>(random());
        auto draw = [&](bool rows) {
            TestImage dest(48, 40, type);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 48; ++x) dest.set(x, y, background[y * 48 + x]);
            SetBlend(mode, 160);
            if (!rows) {
                FillMemImgTriangle(dest.get(), source.get(), v, trans, nullptr, 0);
                return dest.snapshot();
            }
            // Strips of 1 to 15 rows, or of 1 to 15 columns, from beyond one border to beyond
            // the other.
            const bool across = pick(2) == 0;
            for (int at = -3; at < 50;) {
                int size = 1 + pick(15);
                g_DrawSettings.drawArea = across ? V_RECT{-2, at, 50, at + size} : V_RECT{at, -2, at + size, 42};
                FillMemImgTriangle(dest.get(), source.get(), v, trans, nullptr, 0);
                at += size;
            }
            return dest.snapshot();
        };
        std::vector<uint8_t> whole = draw(false);
        ASSERT_EQ(whole, draw(true)) << "round " << round;
        ASSERT_EQ(whole, draw(true)) << "round " << round;
    }
}

// A quadrilateral's two triangles share one set-up: random quadrilaterals (folded, collinear,
// beyond every border) under draw areas that clip each border come out as the two triangles
// drawn one after the other.
TEST(Triangle, QuadAsItsTwoTriangles) {
    std::mt19937 random(41);
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    const int modes[] = {0, 0, 1, 3, 4};
    for (int round = 0; round < 300; ++round) {
        const int type = pick(2);
        const int mode = modes[pick(5)];
        const int w = 1 + pick(20), h = 1 + pick(20);
        const uint32_t key = static_cast<uint32_t>(pick(3));
        TestImage source(w, h, type, false, false, 0, key);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) source.set(x, y, pick(4) == 0 ? key : static_cast<uint32_t>(random()));
        TestImage blend(w, h, kMemImgChannel8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) blend.set(x, y, static_cast<uint32_t>(random() & 0xFF));
        const bool withBlend = pick(4) == 0;
        int32_t p[8];
        for (int i = 0; i < 8; i += 2) {
            p[i] = pick(80) - 16;
            p[i + 1] = pick(70) - 15;
        }
        if (pick(8) == 0) {
            // Three corners on one line.
            p[4] = p[0] + (p[2] - p[0]) * 2;
            p[5] = p[1] + (p[3] - p[1]) * 2;
        }
        const V_RECT area = {pick(12) - 2, pick(12) - 2, 36 + pick(16), 28 + pick(16)};
        const int trans = pick(2);
        std::vector<uint32_t> background(48 * 40);
        for (uint32_t& b : background) b = static_cast<uint32_t>(random());
        TriangleVertex v[4] = {{p[0], p[1], 0, 0}, {p[2], p[3], w, 0}, {p[4], p[5], 0, h}, {p[6], p[7], w, h}};
        // 0: the quadrilateral; 1: the first triangle; 2: both triangles; 3: the first
        // triangle's walk as a flat marker.
        auto draw = [&](int what) {
            TestImage dest(48, 40, type);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 48; ++x) dest.set(x, y, what == 3 ? 0 : background[y * 48 + x]);
            SetBlend(what == 3 ? 0 : mode, 160);
            g_DrawSettings.drawArea = area;
            const MEMIMG* b = withBlend ? blend.get() : nullptr;
            if (what == 0) FillMemImgQuad(dest.get(), source.get(), p, trans, b);
            if (what == 1 || what == 2) FillMemImgTriangle(dest.get(), source.get(), v, trans, b, 0);
            if (what == 2) FillMemImgTriangle(dest.get(), source.get(), v + 1, trans, b, 0);
            if (what == 3) FillMemImgTriangle(dest.get(), nullptr, v, 0, nullptr, 1);
            return dest.snapshot();
        };
        // Corners 0 and 3 on either side of the diagonal: the second triangle leaves out the
        // first one's pixels; a folded quadrilateral is its two triangles.
        auto side = [&](int i) {
            int64_t c = int64_t{p[4] - p[2]} * (p[2 * i + 1] - p[3]) - int64_t{p[5] - p[3]} * (p[2 * i] - p[2]);
            return (c > 0) - (c < 0);
        };
        const bool shared = side(0) * side(3) < 0;
        const std::vector<uint8_t> first = draw(1), walk = draw(3);
        std::vector<uint8_t> want = draw(2);
        const size_t bytes = want.size() / (48 * 40);
        for (size_t i = 0; i < want.size(); i += bytes)
            if (shared && std::any_of(walk.begin() + i, walk.begin() + i + bytes, [](uint8_t b) { return b != 0; }))
                std::copy(first.begin() + i, first.begin() + i + bytes, want.begin() + i);
        ASSERT_EQ(draw(0), want) << "round " << round;
    }
}

// ---------------------------------------------------------------- reference from the rules

// Exact edge position at row y of the edge from a to b, measured as the kernel's rules state:
// the corners sit on whole pixels and a column takes the edge rounded half up.
double EdgeX(const TriangleVertex& a, const TriangleVertex& b, int y) {
    return a.x + double(y - a.y) * (b.x - a.x) / double(b.y - a.y);
}

enum class Cover { Out, In, Either };

// Coverage of pixel (x, y) of a triangle with non-negative corners: rows from the top corner's
// row to the one before the bottom corner's; on each row the columns between the two crossing
// edges rounded half up, with a tolerance for the truncated fixed-point steps.
Cover ReferenceCover(TriangleVertex v[3], int x, int y) {
    TriangleVertex s[3] = {v[0], v[1], v[2]};
    std::sort(s, s + 3, [](auto a, auto b) { return a.y < b.y; });
    long area = long(s[1].x - s[0].x) * (s[2].y - s[0].y) - long(s[2].x - s[0].x) * (s[1].y - s[0].y);
    if (area == 0) return Cover::Out;
    if (y < s[0].y || y >= s[2].y) return Cover::Out;
    double a = EdgeX(s[0], s[2], y);
    double b = y < s[1].y ? EdgeX(s[0], s[1], y) : EdgeX(s[1], s[2], y);
    double left = std::min(a, b), right = std::max(a, b);
    double tol = (y - s[0].y + 4) / 262144.0;
    double lowMin = std::floor(left + 0.5 - tol), lowMax = std::floor(left + 0.5 + tol);
    double highMin = std::floor(right + 0.5 - tol), highMax = std::floor(right + 0.5 + tol);
    if (x >= lowMax && x <= highMin) return Cover::In;
    if (x < lowMin || x > highMax) return Cover::Out;
    return Cover::Either;
}

TEST(Triangle, AgreesWithReferenceCoverage) {
    std::mt19937 random(7);
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    int checked = 0;
    for (int round = 0; round < 300; ++round) {
        SetBlend(0, 0);
        TriangleVertex v[3];
        for (auto& c : v) c = {pick(40), pick(40), 0, 0};
        bool clip = round % 3 == 0;
        V_RECT area = {pick(20), pick(20), 20 + pick(30), 20 + pick(30)};
        if (clip) g_DrawSettings.drawArea = area;
        TestImage image(48, 48, kMemImgR5G6B5);
        image.fill(0);
        FillMemImgTriangle(image.get(), nullptr, v, 0, nullptr, 0xFFFF);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                Cover c = ReferenceCover(v, x, y);
                if (clip && (x < area.left || x >= area.right || y < area.top || y >= area.bottom))
                    c = Cover::Out;
                if (c == Cover::Either) continue;
                ++checked;
                ASSERT_EQ(image.get(x, y), c == Cover::In ? 0xFFFFu : 0u)
                    << "round " << round << " pixel " << x << "," << y << " corners " << v[0].x << ","
                    << v[0].y << " " << v[1].x << "," << v[1].y << " " << v[2].x << "," << v[2].y;
            }
    }
    EXPECT_GT(checked, 300 * 48 * 48 * 9 / 10);
}

// The texture: the affine map through the three corners, evaluated exactly at the whole pixel;
// positions near a texel boundary (within the truncated gradients' error) are not judged.
TEST(Triangle, AgreesWithReferenceMapping) {
    std::mt19937 random(11);
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    int judged = 0;
    for (int round = 0; round < 200; ++round) {
        SetBlend(0, 0);
        const int w = 1 + pick(12), h = 1 + pick(12);
        TestImage source(w, h, kMemImgX8R8G8B8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) source.set(x, y, 0x01000000u | (y << 8) | x);
        TriangleVertex v[3];
        for (auto& c : v) c = {pick(32), pick(32), pick(w + 5) - 2, pick(h + 5) - 2};
        TestImage image(40, 40, kMemImgX8R8G8B8);
        image.fill(0);
        FillMemImgTriangle(image.get(), source.get(), v, 0, nullptr, 0);
        // The reference corner: smallest x, the first of equals.
        int r = 0;
        for (int i = 1; i < 3; ++i)
            if (v[i].x < v[r].x) r = i;
        const TriangleVertex& a = v[(r + 1) % 3];
        const TriangleVertex& b = v[(r + 2) % 3];
        double dx1 = a.x - v[r].x, dy1 = a.y - v[r].y, dx2 = b.x - v[r].x, dy2 = b.y - v[r].y;
        double d = dy1 * dx2 - dy2 * dx1;
        if (d == 0) continue;
        auto map = [&](double q, double q1, double q2, int x, int y) {
            double gx = (dy1 * (q2 - q) - dy2 * (q1 - q)) / d;
            double gy = ((q1 - q) * dx2 - dx1 * (q2 - q)) / d;
            return q + (x - v[r].x) * gx + (y - v[r].y) * gy;
        };
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                if (ReferenceCover(v, x, y) != Cover::In) continue;
                double u = map(v[r].u, a.u, b.u, x, y);
                double t = map(v[r].v, a.v, b.v, x, y);
                double tol = (std::abs(x - v[r].x) + std::abs(y - v[r].y) + 2) / 262144.0;
                auto nearEdge = [&](double q) { return std::abs(q - std::round(q)) <= tol; };
                if (nearEdge(u) || nearEdge(t)) continue;
                ++judged;
                bool inside = u >= 0 && u < w && t >= 0 && t < h;
                uint32_t expected = inside ? (0x01000000u | int(t) << 8 | int(u)) : 0u;
                ASSERT_EQ(image.get(x, y), expected) << "round " << round << " pixel " << x << "," << y;
            }
    }
    EXPECT_GT(judged, 10000);
}

} // namespace
