// Long sequences of rotated draws against the model: runs of calls that share angle and scale bit
// for bit while the source, destination, centre, draw area, flags, blend settings and blend image
// change from call to call, so that nothing one call sets up for its angle and scale can leak into
// the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "rotate_reference.h"

namespace {

struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
    double unit() { return next() / 4294967296.0; }
    bool chance(int percent) { return below(100) < percent; }
};

enum Kind { kDirect, kAlpha, kPalette, kKinds };

const int kSizes[][2] = {{1, 1}, {16, 16}, {16, 16}, {15, 9}, {8, 8}, {3, 17}, {33, 20}, {2, 1}, {7, 7}};
const int kSizeCount = sizeof kSizes / sizeof kSizes[0];

// Random pixels, about one in six equal to the transparent value, alpha bytes often 0 or 255.
void Randomise(TestImage& image, Lcg& random) {
    MemImgBase* base = image->base;
    const bool wide = base->colorType == 1;
    if (base->paletteFlag) {
        for (int i = 0; i < 256; ++i) {
            if (wide) image.setPalette32(i, random.next());
            else image.setPalette16(i, static_cast<uint16_t>(random.next()));
        }
    }
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            uint32_t value = random.next();
            if (base->paletteFlag) value &= 0xFF;
            else if (!wide) value &= base->alphaFlag ? 0x00FFFFFFu : 0xFFFFu;
            if (base->alphaFlag) {
                int pick = random.below(10);
                uint32_t a = pick < 2 ? 0 : pick < 5 ? 255 : value >> 24 & 0xFF;
                value = wide ? (value & 0x00FFFFFFu) | a << 24 : (value & 0xFFFFu) | a << 16;
            }
            if (random.below(6) == 0) value = base->transparentColor;
            // A pixel one X byte away from the transparent value is drawn.
            if (wide && !base->paletteFlag && random.below(12) == 0) value = base->transparentColor ^ 0x01000000u;
            image.set(x, y, value);
        }
}

// The sources: every kind in both colour types at every size; corresponding entries of the two
// types share kind and size. Some transparent values match nothing (above the pixel's range).
struct Pool {
    std::vector<std::unique_ptr<TestImage>> sources;  // [type][kind][size]
    std::vector<std::unique_ptr<TestImage>> blends;   // one per size, larger than the source
    std::vector<std::unique_ptr<TestImage>> exactBlends;
    explicit Pool(Lcg& random) {
        for (int type = 0; type < 2; ++type)
            for (int kind = 0; kind < kKinds; ++kind)
                for (int size = 0; size < kSizeCount; ++size) {
                    uint32_t key = random.next();
                    if (kind == kPalette) key = random.below(5) == 0 ? 256 + random.below(100) : key & 0xFF;
                    else if (type == 0) key = random.below(5) == 0 ? key | 0x10000 : key & 0xFFFF;
                    auto image = std::make_unique<TestImage>(kSizes[size][0], kSizes[size][1], type,
                                                             kind == kPalette, kind == kAlpha, 0, key);
                    if (kind == kPalette) (*image)->base->paletteCount = 256;
                    Randomise(*image, random);
                    sources.push_back(std::move(image));
                }
        for (int size = 0; size < kSizeCount; ++size) {
            blends.push_back(std::make_unique<TestImage>(kSizes[size][0] + 3, kSizes[size][1] + 2, kMemImgChannel8));
            exactBlends.push_back(std::make_unique<TestImage>(kSizes[size][0], kSizes[size][1], kMemImgChannel8));
            for (TestImage* b : {blends.back().get(), exactBlends.back().get()})
                for (int y = 0; y < (*b)->height; ++y)
                    for (int x = 0; x < (*b)->width; ++x) b->set(x, y, random.next() & 0xFF);
        }
    }
    TestImage& source(int type, int kind, int size) { return *sources[(type * kKinds + kind) * kSizeCount + size]; }
};

// A destination and its model twin, filled alike.
struct DestPair {
    std::unique_ptr<TestImage> drawn, model;
    DestPair(int w, int h, int type, int palette, int alpha)
        : drawn(std::make_unique<TestImage>(w, h, type, palette, alpha)),
          model(std::make_unique<TestImage>(w, h, type, palette, alpha)) {}
    void randomise(Lcg& random) {
        for (int y = 0; y < (*drawn)->height; ++y)
            for (int x = 0; x < (*drawn)->width; ++x) {
                uint32_t value = random.next();
                if (random.below(8) == 0) value = random.below(2) ? 0 : 0xFFFFFFFFu;
                drawn->set(x, y, value);
                model->set(x, y, value);
            }
    }
};

constexpr int kDestWidth = 74, kDestHeight = 57;

// Everything of one call but angle and scale.
struct Params {
    int type = 0, kind = 0, size = 0;  // the source
    int destVariant = 0;                // 0 plain, 1 other colour type, 2 palette, 3 alpha plane
    int x = 0, y = 0;
    V_RECT area = {0, 0, kDestWidth, kDestHeight};
    int trans = 0, turn = 0;
    int mode = 0, p = 0;
    uint32_t bright = 0x00FFFFFF;
    int blend = 0;                      // 0 none, 1 larger, 2 same size
    int edit = 0;                       // counts in-place edits of the source's pixels and palette
};

// The parameters a call may change alone, for the coverage count.
enum Field { kSource, kColourType, kCentre, kArea, kTrans, kTurn, kBlendMode, kBright, kBlendImage, kEdited, kFields };
const char* const kFieldNames[kFields] = {"source", "colour type", "centre", "draw area", "transparent flag",
                                          "turn flag", "blend mode and parameter", "bright colour",
                                          "blend image", "source edited in place"};

std::vector<int> Differences(const Params& a, const Params& b) {
    std::vector<int> out;
    if (a.type != b.type || a.destVariant != b.destVariant) out.push_back(kColourType);
    else if (a.kind != b.kind || a.size != b.size) out.push_back(kSource);
    if (a.x != b.x || a.y != b.y) out.push_back(kCentre);
    if (std::memcmp(&a.area, &b.area, sizeof a.area) != 0) out.push_back(kArea);
    if (a.trans != b.trans) out.push_back(kTrans);
    if (a.turn != b.turn) out.push_back(kTurn);
    if (a.mode != b.mode || a.p != b.p) out.push_back(kBlendMode);
    if (a.bright != b.bright) out.push_back(kBright);
    if (a.blend != b.blend) out.push_back(kBlendImage);
    if (a.edit != b.edit) out.push_back(kEdited);
    return out;
}

void RandomCentre(Params& c, Lcg& random) {
    switch (random.below(16)) {
    case 0: { // far outside, on any side
        int beyond = 40 + random.below(400);
        c.x = random.below(kDestWidth);
        c.y = random.below(kDestHeight);
        if (random.chance(50)) c.x = random.chance(50) ? -beyond : kDestWidth + beyond;
        else c.y = random.chance(50) ? -beyond : kDestHeight + beyond;
        break;
    }
    case 1: // on an edge of the destination
    case 2:
        c.x = random.chance(50) ? random.below(7) - 3 : kDestWidth + random.below(7) - 4;
        c.y = random.chance(50) ? random.below(7) - 3 : kDestHeight + random.below(7) - 4;
        if (random.chance(50)) c.x = random.below(kDestWidth);
        else if (random.chance(50)) c.y = random.below(kDestHeight);
        break;
    default:
        c.x = random.below(kDestWidth + 20) - 10;
        c.y = random.below(kDestHeight + 20) - 10;
    }
}

void RandomArea(Params& c, Lcg& random) {
    switch (random.below(16)) {
    case 0: c.area = {-20, -10, kDestWidth + 30, kDestHeight + 9}; break;  // beyond the destination
    case 1: {                                                              // empty
        int at = random.below(40);
        c.area = {at, 5, at, 40};
        break;
    }
    case 2:
    case 3:
    case 4: {
        int left = random.below(40), top = random.below(30);
        c.area = {left, top, left + 1 + random.below(kDestWidth - left), top + 1 + random.below(kDestHeight - top)};
        break;
    }
    default: c.area = {0, 0, kDestWidth, kDestHeight};
    }
}

void RandomBlendMode(Params& c, Lcg& random) {
    const int modes[] = {0, 1, 2, 3, 4, 10, 11};
    const int refused[] = {5, 7, 9, 12, -1};
    c.mode = random.chance(5) ? refused[random.below(5)] : modes[random.below(sizeof modes / sizeof modes[0])];
    const int pick = random.below(16);
    c.p = pick == 0 ? 0 : pick == 1 ? 255 : pick == 2 ? 128 : random.below(256);
}

void RandomBright(Params& c, Lcg& random) {
    const int pick = random.below(10);
    c.bright = pick < 6 ? 0x00FFFFFFu : pick == 6 ? 0x00FFFFFEu : pick == 7 ? 0xFF808080u : random.next() & 0x00FFFFFFu;
}

void RandomSource(Params& c, Lcg& random) {
    c.kind = random.below(kKinds);
    c.size = random.below(kSizeCount);
}

void RandomDest(Params& c, Lcg& random) {
    c.type = random.below(2);
    const int pick = random.below(40);
    c.destVariant = pick == 0 ? 1 : pick == 1 ? 2 : pick == 2 ? 3 : 0;
}

Params RandomParams(Lcg& random, int edit) {
    Params c;
    RandomDest(c, random);
    RandomSource(c, random);
    RandomCentre(c, random);
    RandomArea(c, random);
    c.trans = random.below(2);
    c.turn = random.chance(20);
    RandomBlendMode(c, random);
    RandomBright(c, random);
    c.blend = random.chance(65) ? 0 : 1 + random.below(2);
    c.edit = edit;
    return c;
}

std::string Describe(const Params& c, float angle, float scale) {
    std::ostringstream out;
    out.precision(9);
    out << "angle " << angle << " scale " << scale << " source type " << c.type << " kind " << c.kind << " "
        << kSizes[c.size][0] << "x" << kSizes[c.size][1] << " dest variant " << c.destVariant << " centre " << c.x
        << "," << c.y << " area " << c.area.left << "," << c.area.top << "," << c.area.right << "," << c.area.bottom
        << " trans " << c.trans << " turn " << c.turn << " mode " << c.mode << " p " << c.p << " bright " << std::hex
        << c.bright << std::dec << " blend " << c.blend;
    return out.str();
}

// The sequence and its model side by side.
struct Bench {
    Lcg random;
    Pool pool;
    // [type][variant]: plain, palette, alpha plane.
    std::vector<std::unique_ptr<DestPair>> dests;
    // The per-pixel loops the unmirrored calls reached: source colour type and kind, blend mode,
    // blend image, white bright colour, transparent flag.
    std::set<std::vector<int>> loops;

    explicit Bench(uint64_t seed) : random{seed}, pool(random) {
        SetBlend(0, 0);
        SetBlendImageTable(90, 140);  // a map with both ends clamped and a slope between
        for (int type = 0; type < 2; ++type)
            for (int variant = 0; variant < 3; ++variant) {
                dests.push_back(std::make_unique<DestPair>(kDestWidth, kDestHeight, type, variant == 1, variant == 2));
                dests.back()->randomise(random);
            }
    }
    ~Bench() { SetBlendImageTable(0, 0); }

    DestPair& dest(const Params& c) {
        int type = c.destVariant == 1 ? 1 - c.type : c.type;
        int variant = c.destVariant >= 2 ? c.destVariant - 1 : 0;
        return *dests[type * 3 + variant];
    }

    const MEMIMG* blendImage(const Params& c) {
        if (c.blend == 0) return nullptr;
        return (c.blend == 1 ? pool.blends : pool.exactBlends)[c.size]->get();
    }

    // One call on the drawn destination and on the model; an empty string when they agree.
    // drawn tells whether the model reached a texel.
    std::string run(const Params& c, float angle, float scale, bool* drawn) {
        g_DrawSettings.drawArea = c.area;
        g_DrawSettings.blendMode = c.mode;
        g_DrawSettings.blendParameter = c.p;
        g_DrawSettings.brightColor = c.bright;
        TestImage& source = pool.source(c.type, c.kind, c.size);
        DestPair& pair = dest(c);
        const MEMIMG* blend = blendImage(c);
        BlitMemImgRotated(pair.drawn->get(), source.get(), c.x, c.y, angle, scale, c.trans, c.turn, blend);
        *drawn = rotated::Draw(pair.model->get(), source.get(), c.x, c.y, angle, scale, c.trans, blend, c.turn) > 0;
        if (*drawn && !c.turn)
            loops.insert({c.type, c.kind, c.mode == 1 && c.p == 255 ? 0 : c.mode, c.blend != 0,
                          (c.bright & 0xFFFFFF) == 0xFFFFFF, c.trans});
        for (int y = 0; y < kDestHeight; ++y)
            for (int x = 0; x < kDestWidth; ++x)
                if (pair.drawn->get(x, y) != pair.model->get(x, y)) {
                    std::ostringstream out;
                    out << "pixel " << x << "," << y << " drawn " << std::hex << pair.drawn->get(x, y) << " expected "
                        << pair.model->get(x, y);
                    return out.str();
                }
        return {};
    }

    // Changes some pixels of a source (and its palette) where it is, keeping its pointer.
    void edit(const Params& c) {
        TestImage& source = pool.source(c.type, c.kind, c.size);
        MemImgBase* base = source->base;
        if (base->paletteFlag) {
            for (int i = 0; i < 256; ++i) {
                if (base->colorType == 1) source.setPalette32(i, random.next());
                else source.setPalette16(i, static_cast<uint16_t>(random.next()));
            }
        }
        int changes = 1 + random.below(source->width * source->height);
        for (int i = 0; i < changes; ++i) {
            int x = random.below(source->width), y = random.below(source->height);
            uint32_t value = source.get(x, y);
            source.set(x, y, base->paletteFlag ? (value + 1) & 0xFF : value ^ 0x00010821u);
        }
    }
};

float RandomAngle(Lcg& random) {
    switch (random.below(10)) {
    case 0: return 0.0f;
    case 1: return -0.0f;
    case 2: return static_cast<float>((random.below(9) - 4) * M_PI_2);
    default: return static_cast<float>((random.unit() - 0.5) * 14);
    }
}

float RandomScale(Lcg& random) {
    switch (random.below(10)) {
    case 0:
    case 1: return 1.0f;
    case 2:
    case 3: return static_cast<float>(std::exp(std::log(1e-4) + random.unit() * (std::log(3e-3) - std::log(1e-4))));
    case 4: return random.below(8) == 0 ? 0.0f : 0.5f;
    default: return static_cast<float>(0.3 + random.unit() * 2.7);
    }
}

// Thousands of calls in runs of equal angle and scale. Within a run a call changes one parameter
// of the call before it, or all of them; between runs the angle, the scale or both change. After
// every call the whole destination equals the model's.
TEST(RotateSequence, RunsOfEqualAngleAndScaleMatchTheModel) {
    const int kCalls = 10000;
    Bench bench(2025);
    Lcg& random = bench.random;
    int pairsAlone[kFields] = {};
    int sameAngleOtherScale = 0, sameScaleOtherAngle = 0, tinyCalls = 0, drawnCalls = 0;
    float angle = 0.0f, scale = 1.0f;
    int edits = 0;
    Params last = RandomParams(random, 0);
    bool haveLast = false;
    for (int call = 0; call < kCalls;) {
        // The next run: a new angle, a new scale, or one of them kept.
        const int pick = random.below(10);
        const float oldAngle = angle, oldScale = scale;
        if (pick < 2) scale = RandomScale(random);
        else if (pick < 4) angle = RandomAngle(random);
        else angle = RandomAngle(random), scale = RandomScale(random);
        if (haveLast) {
            sameAngleOtherScale += std::memcmp(&angle, &oldAngle, 4) == 0 && std::memcmp(&scale, &oldScale, 4) != 0;
            sameScaleOtherAngle += std::memcmp(&scale, &oldScale, 4) == 0 && std::memcmp(&angle, &oldAngle, 4) != 0;
        }
        const int length = 1 + random.below(random.chance(30) ? 40 : 10);
        for (int i = 0; i < length && call < kCalls; ++i, ++call) {
            Params c = last;
            if (!haveLast || i == 0 || random.chance(25)) {
                c = RandomParams(random, edits);
            } else {
                switch (random.below(kFields)) {
                case kSource:
                    if (random.chance(50) && (c.size == 1 || c.size == 2)) c.size = 3 - c.size;  // same size
                    else RandomSource(c, random);
                    break;
                case kColourType: RandomDest(c, random); break;
                case kCentre: RandomCentre(c, random); break;
                case kArea: RandomArea(c, random); break;
                case kTrans: c.trans ^= 1; break;
                case kTurn: c.turn ^= 1; break;
                case kBlendMode: RandomBlendMode(c, random); break;
                case kBright: RandomBright(c, random); break;
                case kBlendImage: c.blend = (c.blend + 1 + random.below(2)) % 3; break;
                case kEdited: bench.edit(c), c.edit = ++edits; break;
                }
            }
            // Now and then fresh destination pixels, so that repeated subtracts and multiplies do
            // not leave it all black.
            if (random.chance(8)) bench.dest(c).randomise(random);
            if (haveLast) {
                std::vector<int> differ = Differences(last, c);
                if (differ.size() == 1 && i > 0) ++pairsAlone[differ[0]];
            }
            bool drawn = false;
            const std::string problem = bench.run(c, angle, scale, &drawn);
            drawnCalls += drawn;
            ASSERT_EQ(problem, "") << "call " << call << ": " << Describe(c, angle, scale);
            tinyCalls += scale > 0.0f && scale < 3e-3f && drawn;
            last = c;
            haveLast = true;
        }
    }
    EXPECT_GE(drawnCalls, 3000);
    // Of the 2 x 3 x 7 x 2 x 2 x 2 loops, nearly all (a palette source has no alpha axis, so
    // its kinds stand for distinct loops).
    EXPECT_GE(bench.loops.size(), 330u);
    for (int field = 0; field < kFields; ++field)
        EXPECT_GE(pairsAlone[field], 200) << kFieldNames[field];
    EXPECT_GE(sameAngleOtherScale, 100);
    EXPECT_GE(sameScaleOtherAngle, 100);
    EXPECT_GE(tinyCalls, 30);
}

// One call repeated many times, each time after calls at the same angle and scale that used other
// sources (other sizes and kinds, the other colour type) and other settings: its picture never
// changes, and it is the model's.
TEST(RotateSequence, RepeatedCallKeepsItsPicture) {
    Bench bench(77);
    Lcg& random = bench.random;
    struct Case {
        float angle, scale;
        int type, kind, size, trans, turn, mode, p;
        uint32_t bright;
        int blend;
    };
    const Case cases[] = {
        {0.7f, 1.3f, 0, kDirect, 1, 1, 0, 0, 0, 0x00FFFFFF, 0},
        {0.7f, 1.3f, 0, kDirect, 2, 1, 0, 0, 0, 0x00FFFFFF, 0},   // same size as the one before
        {-2.1f, 0.6f, 1, kDirect, 3, 1, 0, 1, 77, 0x00FFFFFF, 1},
        {2.5f, 2.2f, 1, kPalette, 6, 1, 0, 0, 0, 0x00FFFFFF, 0},
        {2.5f, 2.2f, 0, kPalette, 5, 0, 0, 3, 0, 0x00FFFFFF, 2},
        {-0.3f, 0.9f, 0, kAlpha, 1, 1, 0, 11, 200, 0x00FFFFFF, 0},
        {-0.3f, 0.9f, 1, kAlpha, 8, 0, 0, 4, 0, 0x00A0FF40, 1},
        {0.0f, 1.0f, 1, kDirect, 4, 1, 0, 2, 255, 0x00FFFFFF, 0},
        {0.0f, 1.0f, 0, kAlpha, 6, 1, 0, 10, 90, 0x00FFFFFE, 2},
        {1.1f, 0.0007f, 0, kDirect, 6, 0, 0, 0, 0, 0x00FFFFFF, 0},
        {-1.2f, 1.7f, 1, kDirect, 1, 1, 1, 0, 0, 0x00FFFFFF, 0},
        {-1.2f, 0.8f, 0, kPalette, 3, 0, 1, 1, 128, 0x00FFFFFF, 1},
    };
    int caseIndex = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(caseIndex++);
        Params target;
        target.type = k.type, target.kind = k.kind, target.size = k.size;
        target.x = 37, target.y = 28;
        target.trans = k.trans, target.turn = k.turn, target.mode = k.mode, target.p = k.p;
        target.bright = k.bright, target.blend = k.blend;
        TestImage picture(kDestWidth, kDestHeight, k.type), model(kDestWidth, kDestHeight, k.type);
        auto draw = [&]() {
            Lcg fill{99};
            for (int y = 0; y < kDestHeight; ++y)
                for (int x = 0; x < kDestWidth; ++x) picture.set(x, y, fill.next());
            g_DrawSettings.drawArea = target.area;
            g_DrawSettings.blendMode = target.mode;
            g_DrawSettings.blendParameter = target.p;
            g_DrawSettings.brightColor = target.bright;
            BlitMemImgRotated(picture.get(), bench.pool.source(k.type, k.kind, k.size).get(), target.x, target.y,
                              k.angle, k.scale, target.trans, target.turn, bench.blendImage(target));
            return picture.snapshot();
        };
        const std::vector<uint8_t> first = draw();
        if (!k.turn) {
            Lcg fill{99};
            for (int y = 0; y < kDestHeight; ++y)
                for (int x = 0; x < kDestWidth; ++x) model.set(x, y, fill.next());
            ASSERT_GT(rotated::Draw(model.get(), bench.pool.source(k.type, k.kind, k.size).get(), target.x, target.y,
                                    k.angle, k.scale, target.trans, bench.blendImage(target)),
                      0);
            ASSERT_EQ(first, model.snapshot());
        }
        for (int round = 0; round < 60; ++round) {
            const int others = 1 + random.below(4);
            for (int i = 0; i < others; ++i) {
                Params other = RandomParams(random, 0);
                if (other.type == k.type && other.kind == k.kind && other.size == k.size) other.size = (k.size + 1) % kSizeCount;
                if (random.chance(50)) other.turn = k.turn;
                bool drawn;
                const std::string problem = bench.run(other, k.angle, k.scale, &drawn);
                ASSERT_EQ(problem, "") << "round " << round << ": " << Describe(other, k.angle, k.scale);
            }
            ASSERT_EQ(draw(), first) << "round " << round;
            if (random.chance(30)) {
                ASSERT_EQ(draw(), first) << "round " << round << ", drawn twice in a row";
            }
        }
    }
}

// Textured triangles and quadrilaterals, one after another on the same destinations with the
// settings of the rotated sequence, against the model's edge walk and source plane: corners off
// every edge, shared rows (flat tops and bottoms), source positions beyond the source and mirrored.
TEST(RotateSequence, TurnedShapesMatchTheModel) {
    Bench bench(4242);
    Lcg& random = bench.random;
    auto coordinate = [&](int size) { return random.below(size + 40) - 20; };
    int drawn = 0;
    for (int call = 0; call < 3000; ++call) {
        Params c = RandomParams(random, 0);
        if (random.chance(8)) bench.dest(c).randomise(random);
        g_DrawSettings.drawArea = c.area;
        g_DrawSettings.blendMode = c.mode;
        g_DrawSettings.blendParameter = c.p;
        g_DrawSettings.brightColor = c.bright;
        TestImage& source = bench.pool.source(c.type, c.kind, c.size);
        DestPair& pair = bench.dest(c);
        const MEMIMG* blend = bench.blendImage(c);
        const int w = source->width, h = source->height;
        TriangleVertex v[4];
        for (TriangleVertex& corner : v) corner = {coordinate(kDestWidth), coordinate(kDestHeight), 0, 0};
        if (random.chance(25)) v[1].y = v[0].y;  // a shared row
        if (random.chance(15)) v[2].y = v[1].y;
        // Source positions at the corners, the far edges, mirrored, or anywhere near the source.
        const int corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
        const bool mirror = random.chance(50);
        for (int i = 0; i < 4; ++i) {
            v[i].u = mirror ? w - corners[i][0] : corners[i][0];
            v[i].v = corners[i][1];
            if (random.chance(20)) v[i].u = random.below(w + 6) - 3, v[i].v = random.below(h + 6) - 3;
        }
        std::string what;
        int reached;
        if (random.chance(30)) {
            int32_t points[8];
            for (int i = 0; i < 4; ++i) points[2 * i] = v[i].x, points[2 * i + 1] = v[i].y;
            FillMemImgQuad(pair.drawn->get(), source.get(), points, c.trans, blend);
            TriangleVertex q[4] = {{v[0].x, v[0].y, 0, 0}, {v[1].x, v[1].y, w, 0}, {v[2].x, v[2].y, 0, h},
                                   {v[3].x, v[3].y, w, h}};
            reached = rotated::TrianglePair(pair.model->get(), source.get(), q, c.trans, blend);
            what = "quad";
        } else {
            FillMemImgTriangle(pair.drawn->get(), source.get(), v, c.trans, blend, 0);
            reached = rotated::Triangle(pair.model->get(), source.get(), v, c.trans, blend);
            what = "triangle";
        }
        drawn += reached > 0;
        ASSERT_EQ(pair.drawn->snapshot(), pair.model->snapshot())
            << "call " << call << " " << what << " " << v[0].x << "," << v[0].y << " " << v[1].x << "," << v[1].y
            << " " << v[2].x << "," << v[2].y << " " << v[3].x << "," << v[3].y << " uv " << v[0].u << "," << v[0].v
            << " " << v[1].u << "," << v[1].v << " " << v[2].u << "," << v[2].v << " " << v[3].u << "," << v[3].v
            << ": " << Describe(c, 0.0f, 1.0f);
    }
    EXPECT_GE(drawn, 1200);
}

} // namespace
