// Randomized blit cases checksummed together: every case is drawn from its own seed, the
// destination bytes are hashed, and the hashes of each blend mode's cases are combined and
// compared with constants taken from a reviewed run. Any change to any pixel of any variant
// changes its mode's result.
//
// Replay one case:  VELK_BLIT_CASE=<number> velk_tests_softblit --gtest_filter='BlitRandom.*'
// Run another count: VELK_BLIT_CASES=<count> (checkpoints beyond the count are not checked).
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "blit_reference.h"
#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"

namespace {

// Cases in a normal build; sanitizer and unoptimised builds run the first checkpoint only.
constexpr int kCaseCount = 300000;
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr int kDefaultCases = 20000;
#else
constexpr int kDefaultCases = kCaseCount;
#endif

// The blend modes of the cases (-1 an unknown one), and each one's combined checksum at each
// checkpoint.
constexpr int kModeList[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, 12, -1};
constexpr int kModeCount = static_cast<int>(std::size(kModeList));
struct Checkpoint {
    int cases;
    uint64_t combined[kModeCount];
};
constexpr Checkpoint kCheckpoints[] = {
    {20000,
     {0xC4B191E1C693377FULL, 0x9F974AB2D155C6A1ULL, 0xCF74CB309FA8A900ULL, 0x405D9F92EB6162E6ULL,
      0x64DB7E7328F54412ULL, 0x997090954CE4DCF0ULL, 0xE9921F7E6FF77F95ULL, 0x54697D2D432C9E1DULL,
      0x65413A48302D18EDULL, 0xCCAB72C3FCF472A9ULL, 0x58F1BDF513928FC3ULL}},
    {kCaseCount,
     {0x1C55BB8EBAE3F1F6ULL, 0x0CA14F36A446D38CULL, 0x97D5DD1AFAD1D133ULL, 0x071B4292A2DA36A5ULL,
      0xF3242484933B2063ULL, 0xCAD8FD3D7ECADC76ULL, 0x682FEED4277C19B8ULL, 0x98947F16483A3140ULL,
      0x66DDB58986995345ULL, 0x2D24261DB8003029ULL, 0x84A97D080EFAC608ULL}},
};

struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 0x1234567ULL) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    int Range(int low, int high) { return low + Below(high - low + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    // A byte biased to the edges, where the saturating and special forms differ.
    uint32_t Byte() {
        switch (Below(6)) {
        case 0: return 0x00;
        case 1: return 0xFF;
        case 2: return static_cast<uint32_t>(Range(0, 3));
        case 3: return static_cast<uint32_t>(Range(252, 255));
        default: return static_cast<uint32_t>(Below(256));
        }
    }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | Byte() << 24; }
};

struct CaseResult {
    uint64_t hash;
    int mode;
    bool matchesModel;
    std::string description;
};

uint64_t Fnv(uint64_t hash, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ULL;
    return hash;
}

CaseResult RunCase(int number, bool describe) {
    Random r(static_cast<uint64_t>(number));
    int type = r.Below(2);
    int kindRoll = r.Below(3); // 0 palette, 1 direct, 2 alpha
    static const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 0, 1, 2, 3, 5, 9, -1, 12};
    int mode = kModes[r.Below(static_cast<int>(std::size(kModes)))];
    static const int kParameters[] = {0, 1, 2, 3, 63, 127, 128, 129, 200, 252, 253, 254, 255, 255};
    int parameter = r.Chance(70) ? kParameters[r.Below(static_cast<int>(std::size(kParameters)))]
                                 : r.Below(256);
    uint32_t bright = r.Chance(50) ? 0x00FFFFFF : (r.Byte() | r.Byte() << 8 | r.Byte() << 16);
    int mmx = r.Below(2);
    int trans = r.Chance(20) ? 0 : r.Chance(70) ? 1 : 2;
    bool useBlend = r.Chance(30);
    bool work = r.Chance(50);
    bool stretched = r.Chance(40);
    int sourceWidth = r.Range(1, 20), sourceHeight = r.Range(1, 12);
    int destinationWidth = r.Range(1, 36), destinationHeight = r.Range(1, 20);

    TestImage source(sourceWidth, sourceHeight, type, kindRoll == 0, kindRoll == 2, work);
    TestImage destination(destinationWidth, destinationHeight, type);
    uint32_t mask = type == 1 ? 0xFFFFFFFF : 0xFFFF;
    for (int y = 0; y < destinationHeight; ++y)
        for (int x = 0; x < destinationWidth; ++x) destination.set(x, y, r.Word() & mask);
    uint32_t sourceMask = kindRoll == 0 ? 0xFF : (type == 1 || kindRoll == 2) ? 0xFFFFFFFF : 0xFFFF;
    // Few distinct pixel values, so that keys and alpha runs recur.
    uint32_t values[4];
    for (uint32_t& v : values) v = r.Word() & sourceMask;
    if (kindRoll == 2) {
        values[0] &= type == 1 ? 0x00FFFFFF : 0xFF00FFFF; // alpha 0
        values[1] |= type == 1 ? 0xFF000000 : 0x00FF0000;
    }
    for (int y = 0; y < sourceHeight; ++y)
        for (int x = 0; x < sourceWidth; ++x)
            source.set(x, y, r.Chance(60) ? values[r.Below(4)] : r.Word() & sourceMask);
    source->base->transparentColor = r.Chance(70) ? values[r.Below(4)] : r.Word();
    if (kindRoll == 0) {
        for (int i = 0; i < 256; ++i) {
            if (type == 1) source.setPalette32(i, r.Word());
            else source.setPalette16(i, static_cast<uint16_t>(r.Word()));
        }
    }
    if (work) UpdateMemImgRunCode(source.get(), sourceWidth, sourceHeight);

    TestImage blend(sourceWidth + r.Below(3), sourceHeight + r.Below(3), 2);
    if (useBlend) {
        for (int y = 0; y < blend->height; ++y)
            for (int x = 0; x < blend->width; ++x) blend.set(x, y, r.Byte());
    }
    SetBlend(mode, parameter, bright);
    SetBlendImageTable(r.Byte(), r.Byte());
    SetMmxFlag(mmx);
    if (r.Chance(60)) {
        g_DrawSettings.drawArea = {0, 0, destinationWidth, destinationHeight};
    } else {
        int left = r.Range(-4, destinationWidth), top = r.Range(-4, destinationHeight);
        g_DrawSettings.drawArea = {left, top, left + r.Range(0, destinationWidth + 4),
                                   top + r.Range(0, destinationHeight + 4)};
    }
    TestImage expected(destinationWidth, destinationHeight, type);
    for (int yy = 0; yy < destinationHeight; ++yy)
        for (int xx = 0; xx < destinationWidth; ++xx) expected.set(xx, yy, destination.get(xx, yy));
    V_RECT rect = {};
    int x = 0, y = 0;
    if (stretched) {
        rect.left = r.Range(-8, destinationWidth);
        rect.top = r.Range(-8, destinationHeight);
        rect.right = r.Chance(15) ? rect.left + sourceWidth : rect.left + r.Range(-30, 40);
        rect.bottom = r.Chance(15) ? rect.top + sourceHeight : rect.top + r.Range(-20, 30);
        BlitMemImgStretched(destination.get(), source.get(), &rect, trans,
                            useBlend ? blend.get() : nullptr);
    } else {
        x = r.Chance(30) ? 0 : r.Range(-sourceWidth, destinationWidth);
        y = r.Chance(30) ? 0 : r.Range(-sourceHeight, destinationHeight);
        BlitMemImg(destination.get(), source.get(), x, y, trans, useBlend ? blend.get() : nullptr);
    }
    auto bytes = destination.snapshot();
    reference::Blit(expected, source, useBlend ? blend.get() : nullptr, trans, stretched, x, y, rect);
    CaseResult result = {Fnv(0xCBF29CE484222325ULL, bytes.data(), bytes.size()), mode,
                         expected.snapshot() == bytes, {}};
    if (describe) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "case %d: type %d kind %d mode %d p %d bright %06X mmx %d trans %d blend %d "
                      "work %d source %dx%d destination %dx%d area (%d,%d,%d,%d) %s (%d,%d,%d,%d) "
                      "at (%d,%d) hash %016" PRIX64,
                      number, type, kindRoll, mode, parameter, bright, mmx, trans, useBlend, work,
                      sourceWidth, sourceHeight, destinationWidth, destinationHeight,
                      g_DrawSettings.drawArea.left, g_DrawSettings.drawArea.top,
                      g_DrawSettings.drawArea.right, g_DrawSettings.drawArea.bottom,
                      stretched ? "stretched" : "unscaled", rect.left, rect.top, rect.right,
                      rect.bottom, x, y, result.hash);
        result.description = text;
    }
    return result;
}

TEST(BlitRandom, CombinedChecksumOfRandomCases) {
    if (const char* replay = std::getenv("VELK_BLIT_CASE")) {
        CaseResult one = RunCase(std::atoi(replay), true);
        std::printf("%s\n", one.description.c_str());
        EXPECT_TRUE(one.matchesModel);
        return;
    }
    int cases = kDefaultCases;
    if (const char* count = std::getenv("VELK_BLIT_CASES")) cases = std::atoi(count);
    uint64_t combined[kModeCount] = {};
    int checked = 0;
    int mismatches = 0;
    for (int number = 0; number < cases; ++number) {
        CaseResult one = RunCase(number, false);
        if (!one.matchesModel && ++mismatches <= 10) ADD_FAILURE() << RunCase(number, true).description;
        const int m = static_cast<int>(std::find(kModeList, kModeList + kModeCount, one.mode) - kModeList);
        ASSERT_LT(m, kModeCount) << "mode " << one.mode;
        combined[m] = (combined[m] ^ one.hash) * 0x100000001B3ULL + 0x9E37;
        for (const Checkpoint& checkpoint : kCheckpoints) {
            if (checkpoint.cases == number + 1) {
                for (int i = 0; i < kModeCount; ++i)
                    EXPECT_EQ(combined[i], checkpoint.combined[i])
                        << "the cases of blend mode " << kModeList[i] << " draw other pixels (first "
                        << number + 1 << " cases)";
                ++checked;
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << "cases that differ from the model";
    SetMmxFlag(1);
    if (cases >= kCheckpoints[0].cases) {
        EXPECT_GT(checked, 0);
    }
}

} // namespace
