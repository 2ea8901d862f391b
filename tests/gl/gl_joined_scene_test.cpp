// Game-like frames drawn through the library's draw calls on the OpenGL device, once with the
// device joining draws and once with every draw sent on its own: the two pictures must be the
// same, pixel for pixel. The scenes follow the game's world drawing (a tiled ground, then each
// creature's sprite followed by its target line) and put draws that depend on what is beneath
// them (added highlights, half-transparent panels, text, boxes, a narrower draw area, alpha
// sprites, bilinear filtering) between those. A full table's frame must cost few GL draws.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/core_services.h"
#include "gl/gl_fixture.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kPieceCount = 8;
constexpr int kGroundPiece = 0, kEdgePiece = 1;
constexpr uint32_t kSeed = 20261209u;

// The object sheet: eight 16 × 16 pieces side by side, black (the transparent colour) around
// the creature shapes. Piece 0 is an opaque ground tile, piece 1 a frame for the field's edge,
// the others creatures with a stripe on one side so that mirroring shows.
uint32_t SheetColour(int x, int y) {
    const int piece = x / 16, u = x % 16, v = y;
    if (piece == kGroundPiece)
        return static_cast<uint32_t>(0x30 + (u ^ v) * 3) << 16 |
               static_cast<uint32_t>(0x70 + u * 5) << 8 | static_cast<uint32_t>(0x20 + v * 4);
    if (piece == kEdgePiece)
        return u < 2 || v < 2 || u > 13 || v > 13 ? 0xC0A060u : 0x000000u;
    const int dx = 2 * u - 15, dy = 2 * v - 15;
    if (dx * dx + dy * dy > 15 * 15 - piece * 8) return 0x000000u;  // transparent outside
    if (u < 4) return 0xFFFFFFu;                                      // the stripe
    return static_cast<uint32_t>(40 + piece * 28) << 16 | static_cast<uint32_t>(200 - u * 9) << 8 |
           static_cast<uint32_t>(60 + v * 11 + piece * 7);
}

// A 16 × 16 glow: warm colour, alpha (the companion's red) falling off from the middle, with
// whole-alpha and zero-alpha texels as well as partial ones.
uint32_t GlowColour(int x, int y) {
    return static_cast<uint32_t>(0xF0 - x * 4) << 16 | static_cast<uint32_t>(0x90 + y * 6) << 8 |
           0x30u;
}
uint32_t GlowAlpha(int x, int y) {
    const int dx = 2 * x - 15, dy = 2 * y - 15;
    const int d = dx * dx + dy * dy;
    const int alpha = d < 40 ? 255 : d > 230 ? 0 : 255 - (d - 40) * 255 / 190;
    return static_cast<uint32_t>(alpha) * 0x010101u;
}

// A 24 × 24 bubble with an alpha channel of its own: a firm rim, a see-through middle and
// nothing outside.
uint32_t BubbleArgb(int x, int y) {
    const int dx = 2 * x - 23, dy = 2 * y - 23;
    const int d = dx * dx + dy * dy;
    const uint32_t alpha = d > 23 * 23 ? 0u : d > 18 * 18 ? 255u : static_cast<uint32_t>(48 + d / 6);
    return alpha << 24 | static_cast<uint32_t>(0x40 + x * 6) << 16 | 0xD0u << 8 |
           static_cast<uint32_t>(0xF0 - y * 5);
}

// Writes a PNG of 8-bit RGBA pixels (argb(x, y) as 0xAARRGGBB), its image data in stored
// (uncompressed) deflate blocks.
void WriteTestPng(const char* path, int width, int height,
                  const std::function<uint32_t(int, int)>& argb) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const uint32_t p = argb(x, y);
            for (int shift : {16, 8, 0, 24}) raw.push_back(static_cast<uint8_t>(p >> shift));
        }
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        const bool last = at + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<long>(at),
                    raw.begin() + static_cast<long>(at + length));
        at += length;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (int shift : {24, 16, 8, 0}) zlib.push_back(static_cast<uint8_t>((b << 16 | a) >> shift));

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&file](const char* type, const std::vector<uint8_t>& data) {
        auto put32 = [&file](uint32_t v) {
            for (int shift : {24, 16, 8, 0}) file.push_back(static_cast<uint8_t>(v >> shift));
        };
        put32(static_cast<uint32_t>(data.size()));
        const size_t start = file.size();
        file.insert(file.end(), type, type + 4);
        file.insert(file.end(), data.begin(), data.end());
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = start; i < file.size(); ++i) {
            crc ^= file[i];
            for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        put32(~crc);
    };
    std::vector<uint8_t> header;
    for (uint32_t v : {static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        for (int shift : {24, 16, 8, 0}) header.push_back(static_cast<uint8_t>(v >> shift));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
    chunk("IHDR", header);
    chunk("IDAT", zlib);
    chunk("IEND", {});
    FILE* out = std::fopen(path, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

// A 128 × 64 panel picture of bands of colour.
uint32_t PanelColour(int x, int y) {
    return static_cast<uint32_t>(0x20 + x) << 16 | static_cast<uint32_t>(0x40 + y * 2) << 8 |
           static_cast<uint32_t>((x / 8 + y / 8) % 2 ? 0xE0 : 0x60);
}

struct Creature {
    int x, y;
    double scale;
    double angle;
    int piece;
    int mirrored;
    int target;
    bool flees;      // the line's colour
    bool highlight;  // redrawn added over itself
    int look;        // in the alpha scenes: 0 the sheet, 1 the glow, 2 the bubble
};

// Creatures spread over the screen and a little beyond its edges, scales 0.5 to 4, about half
// mirrored, one in four turned, each with a target among the others.
std::vector<Creature> MakeCreatures(int count, uint32_t seed) {
    std::mt19937 random(seed);
    auto below = [&random](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    std::vector<Creature> creatures(static_cast<size_t>(count));
    for (Creature& c : creatures) {
        c.x = below(kWidth + 40) - 20;
        c.y = below(kHeight + 40) - 20;
        c.scale = 0.5 + below(15) * 0.25;
        c.angle = below(4) == 0 ? below(628) / 100.0 : 0.0;
        c.piece = 2 + below(kPieceCount - 2);
        c.mirrored = below(2);
        c.target = below(count);
        c.flees = below(3) == 0;
        c.highlight = below(8) == 0;
        c.look = below(3);
    }
    return creatures;
}

struct Assets {
    int pieces[kPieceCount];
    int glow;
    int bubble;
    int panel;
    int font;
};

void WriteAssets() {
    WriteTestBmp("objects.bmp", 16 * kPieceCount, 16, SheetColour);
    WriteTestBmp("glow.bmp", 16, 16, GlowColour);
    WriteTestBmp("glow_a.bmp", 16, 16, GlowAlpha);
    WriteTestPng("bubble.png", 24, 24, BubbleArgb);
    WriteTestBmp("panel.bmp", 128, 64, PanelColour);
}

Assets LoadAssets() {
    Assets a{};
    EXPECT_EQ(LoadDividedGraphs("objects.bmp", kPieceCount, kPieceCount, 1, 16, 16, a.pieces, 0),
              0);
    a.glow = LoadGraphHandle("glow.bmp", 0);
    a.bubble = LoadGraphHandle("bubble.png", 0);
    a.panel = LoadGraphHandle("panel.bmp", 0);
    a.font = CreateFontToHandle("MSゴシック", 16, 6, 1, -1, 2, 0, -1, -1);
    EXPECT_GE(a.glow, 0);
    EXPECT_GE(a.bubble, 0);
    EXPECT_GE(a.panel, 0);
    EXPECT_GE(a.font, 0);
    return a;
}

// The ground: 80 × 60 tiles of 8 pixels (the 16-pixel tile at half size), the outer ring edged;
// every seventh tile is turned a little.
void DrawGround(const Assets& a) {
    for (int row = 0; row < 60; ++row)
        for (int column = 0; column < 80; ++column) {
            const int x = column * 8 + 4, y = row * 8 + 4;
            const double angle = (row * 80 + column) % 7 == 0 ? 0.1 * (column % 5 + 1) : 0.0;
            DrawGraphRotated(x, y, 0.5, angle, a.pieces[kGroundPiece], 1, 0);
            if (row == 0 || row == 59 || column == 0 || column == 79)
                DrawGraphRotated(x, y, 0.5, 0.0, a.pieces[kEdgePiece], 1, 0);
        }
}

uint32_t LineColour(const Creature& c) {
    return c.flees ? GetScreenColor(255, 64, 32) : GetScreenColor(32, 160, 255);
}

// A creature's sprite; with alpha pictures, a third of them are glows and a third bubbles.
void DrawSprite(const Assets& a, const Creature& c, bool alphaPictures) {
    const int graph = !alphaPictures || c.look == 0 ? a.pieces[c.piece]
                      : c.look == 1                 ? a.glow
                                                    : a.bubble;
    DrawGraphRotated(c.x, c.y, c.scale, c.angle, graph, 1, c.mirrored);
}

void DrawTargetLine(const std::vector<Creature>& all, const Creature& c) {
    const Creature& t = all[static_cast<size_t>(c.target)];
    DrawLineShape(c.x, c.y, t.x, t.y, LineColour(c), 1);
}

// The game's order: ground, then sprite and target line for each creature in turn.
void DrawGameOrder(const Assets& a, const std::vector<Creature>& creatures) {
    DrawGround(a);
    for (const Creature& c : creatures) {
        DrawSprite(a, c, false);
        DrawTargetLine(creatures, c);
    }
}

// The game's order with draws that read the pixels beneath them placed in between: added
// highlight redraws, half-transparent panels and boxes, text in the default font and in an
// edged font, opaque boxes and outlines, tinted copies, pieces cut from the sheet, and a
// narrower draw area for the middle third.
void DrawWithDependentDraws(const Assets& a, const std::vector<Creature>& creatures) {
    DrawGround(a);
    const int n = static_cast<int>(creatures.size());
    const uint32_t white = GetScreenColor(255, 255, 255), black = GetScreenColor(0, 0, 0);
    char text[64];
    for (int i = 0; i < n; ++i) {
        const Creature& c = creatures[static_cast<size_t>(i)];
        if (i == n / 3) SetDrawArea(100, 60, 520, 400);
        if (i == 2 * n / 3) SetDrawArea(0, 0, kWidth, kHeight);
        DrawSprite(a, c, false);
        if (c.highlight) {
            SetBlendMode(2, 255);
            DrawSprite(a, c, false);
            SetBlendMode(0, 255);
        }
        DrawTargetLine(creatures, c);
        if (i % 40 == 17) {
            SetBlendMode(1, 160);
            DrawGraphAt(c.x - 30, c.y - 10, a.panel, 1);
            FillBox(c.x + 20, c.y - 20, c.x + 70, c.y + 15, GetScreenColor(20, 40, 200));
            SetBlendMode(0, 0);
        }
        if (i % 25 == 3) {
            std::snprintf(text, sizeof text, "No.%d %s", i, c.flees ? "FLEE" : "CHASE");
            DrawStringDefault(c.x, c.y + 6, text, white, black);
        }
        if (i % 31 == 9) {
            std::snprintf(text, sizeof text, "E:%d", i * 37 % 1000);
            DrawStringWithFont(c.x - 10, c.y - 20, text, GetScreenColor(255, 230, 0), a.font,
                               black, 0);
        }
        if (i % 29 == 5) {
            FillBox(c.x, c.y, c.x + 12, c.y + 9, GetScreenColor(200, 30, 160));
            FrameBox(c.x - 8, c.y - 8, c.x + 24, c.y + 20, GetScreenColor(250, 250, 90));
        }
        if (i % 45 == 11) {
            // A tinted copy, and part of the piece cut out as the game cuts its icons.
            SetDrawBrightness(255, 128, 64);
            DrawSprite(a, c, false);
            SetDrawBrightness(255, 255, 255);
            DrawGraphPart(c.x + 10, c.y, 2, 3, 11, 10, a.pieces[c.piece], 1, 0);
        }
    }
    // A bottom panel over everything, then text on it.
    SetBlendMode(1, 160);
    DrawGraphStretched(0, 416, kWidth, kHeight, a.panel, 1);
    SetBlendMode(0, 0);
    DrawStringWithFont(4, 440, "00:12:34  TREES 120  INSECTS 85", white, a.font, black, 0);
    DrawStringDefault(400, 460, "joined and separate", white, 0);
}

// Sprites from the colour-keyed sheet, from the picture with an alpha companion and from the
// PNG with alpha, mixed, each followed by its line, so that lines lie under later sprites of
// every kind; a last glow and bubble on a plain ground
// (no ground tiles beneath) show that their alpha blends.
void DrawKeyedAndAlphaSprites(const Assets& a, const std::vector<Creature>& creatures) {
    FillBox(0, 0, kWidth, kHeight, GetScreenColor(16, 24, 40));
    for (int i = 0; i < 200; ++i) {
        const int x = i * 53 % kWidth, y = i * 97 % kHeight;
        DrawLineShape(x, y, (x + 211) % kWidth, (y + 137) % kHeight,
                      GetScreenColor(i * 5 % 256, 128, 255 - i % 256), 1);
    }
    for (const Creature& c : creatures) {
        DrawSprite(a, c, true);
        DrawTargetLine(creatures, c);
    }
}

// The same creatures with bilinear filtering, all three kinds of sprite over lines, then filtering
// back to nearest for a few more.
void DrawBilinear(const Assets& a, const std::vector<Creature>& creatures) {
    DrawGround(a);
    EXPECT_EQ(SetDrawFilterMode(1), 0);
    const size_t n = creatures.size();
    for (size_t i = 0; i < n; ++i) {
        if (i == n - n / 5) SetDrawFilterMode(0);
        DrawSprite(a, creatures[i], true);
        DrawTargetLine(creatures, creatures[i]);
    }
    // A creature at four times its size on a black patch, filtered.
    SetDrawFilterMode(1);
    FillBox(540, 400, kWidth, kHeight, GetScreenColor(0, 0, 0));
    DrawGraphRotated(590, 440, 4.0, 0.0, a.pieces[2], 1, 0);
    SetDrawFilterMode(0);
}

struct Frame {
    std::vector<uint32_t> picture;
    V_D3D9GlFrameCounts counts{};
};

class GlJoinedSceneTest : public GlLibraryTest {
protected:
    // Draws the scenes as frames in a row in a library started afresh on the device path at the
    // depth (16 or 32 bits), with draws joined or not; each frame's picture is read before it is
    // presented. False without OpenGL.
    bool DrawFrames(bool join, int bits,
                    const std::vector<std::function<void(const Assets&)>>& scenes,
                    std::vector<Frame>* frames) {
        V_D3D9GlSetJoinDraws(join);
        setenv("VELK_DESKTOP_BITS", std::to_string(bits).c_str(), 1);
        const bool ok = Start(true);
        unsetenv("VELK_DESKTOP_BITS");
        if (!ok) {
            Stop();
            return false;
        }
        ProcessMessage();
        const Assets assets = LoadAssets();
        PresentScreen();  // what loading left is sent before the counted frames
        V_D3D9GlResetCounts();
        frames->clear();
        for (const auto& scene : scenes) {
            Frame frame;
            scene(assets);
            frame.picture = ReadScreen();
            PresentScreen();
            frame.counts = V_D3D9GlLastFrameCounts();
            frames->push_back(std::move(frame));
        }
        Stop();
        V_D3D9GlSetJoinDraws(true);
        return true;
    }
    bool DrawFrame(bool join, int bits, const std::function<void(const Assets&)>& scene,
                   Frame* frame) {
        std::vector<Frame> frames;
        if (!DrawFrames(join, bits, {scene}, &frames)) return false;
        *frame = frames.at(0);
        return true;
    }

    // Both frames of the scene; false (the test skips) without OpenGL.
    bool DrawBoth(const std::function<void(const Assets&)>& scene, Frame* joined,
                  Frame* separate, int bits = 32) {
        WriteAssets();
        if (!DrawFrame(true, bits, scene, joined)) return false;
        EXPECT_TRUE(DrawFrame(false, bits, scene, separate));
        const char* dump = std::getenv("VELK_GL_TEST_DUMP");
        if (dump != nullptr) {
            const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
            const std::string base = std::string(dump) + "/" + name + "-" + std::to_string(bits);
            WritePpm(base + "-joined.ppm", joined->picture, kWidth, kHeight);
            WritePpm(base + "-separate.ppm", separate->picture, kWidth, kHeight);
        }
        return true;
    }

    static void ExpectSamePicture(const Frame& joined, const Frame& separate) {
        ASSERT_EQ(joined.picture.size(), static_cast<size_t>(kWidth) * kHeight);
        ASSERT_EQ(separate.picture.size(), joined.picture.size());
        int differing = 0;
        std::string first;
        for (size_t i = 0; i < joined.picture.size(); ++i)
            if (joined.picture[i] != separate.picture[i] && differing++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d): joined %06x, separate %06x",
                              static_cast<int>(i % kWidth), static_cast<int>(i / kWidth),
                              joined.picture[i], separate.picture[i]);
                first = text;
            }
        EXPECT_EQ(differing, 0) << "differing pixels, the first at " << first;
        // Both frames received the same draws, and without joining each went out on its own.
        EXPECT_EQ(joined.counts.drawsReceived, separate.counts.drawsReceived);
        EXPECT_EQ(separate.counts.glDraws, separate.counts.drawsReceived);
    }

    // Pixels of the colour (0xRRGGBB): a check that the scene really drew what it meant to.
    static int CountColour(const std::vector<uint32_t>& picture, uint32_t colour) {
        int count = 0;
        for (uint32_t p : picture) count += p == colour;
        return count;
    }
};

uint32_t Pixel(const std::vector<uint32_t>& p, int x, int y) {
    return p[static_cast<size_t>(y) * kWidth + x];
}

}  // namespace

TEST_F(GlJoinedSceneTest, GameOrderGroundSpritesAndTargetLines) {
    const std::vector<Creature> creatures = MakeCreatures(600, kSeed);
    Frame joined, separate;
    auto scene = [&](const Assets& a) { DrawGameOrder(a, creatures); };
    if (!DrawBoth(scene, &joined, &separate, 16)) GTEST_SKIP() << "no OpenGL device on this display";
    {
        SCOPED_TRACE("16 bits");
        ExpectSamePicture(joined, separate);
    }
    ASSERT_TRUE(DrawBoth(scene, &joined, &separate, 32));
    ExpectSamePicture(joined, separate);
    // Ground, sprites and lines all drew: thousands of draws reached the device.
    EXPECT_GT(joined.counts.drawsReceived, 600u);
    EXPECT_GT(CountColour(joined.picture, 0xFF4020u), 1000);  // flee lines
    EXPECT_GT(CountColour(joined.picture, 0x20A0FFu), 1000);  // chase lines
    EXPECT_GT(CountColour(joined.picture, 0xFFFFFFu), 1000);  // sprite stripes
}

TEST_F(GlJoinedSceneTest, DependentDrawsBetweenSpritesAndLines) {
    const std::vector<Creature> creatures = MakeCreatures(400, kSeed + 1);
    Frame joined, separate;
    auto scene = [&](const Assets& a) { DrawWithDependentDraws(a, creatures); };
    if (!DrawBoth(scene, &joined, &separate, 16)) GTEST_SKIP() << "no OpenGL device on this display";
    {
        SCOPED_TRACE("16 bits");
        ExpectSamePicture(joined, separate);
    }
    ASSERT_TRUE(DrawBoth(scene, &joined, &separate, 32));
    ExpectSamePicture(joined, separate);
    EXPECT_GT(joined.counts.drawsReceived, 800u);
    // The bottom panel's white text.
    int ink = 0;
    for (int y = 436; y < 462; ++y)
        for (int x = 0; x < 320; ++x) ink += Pixel(joined.picture, x, y) == 0xFFFFFFu;
    EXPECT_GT(ink, 50);
}

TEST_F(GlJoinedSceneTest, ColourKeyedAndAlphaSpritesOverLines) {
    const std::vector<Creature> creatures = MakeCreatures(500, kSeed + 2);
    Frame joined, separate;
    auto scene = [&](const Assets& a) {
        DrawKeyedAndAlphaSprites(a, creatures);
        // A glow at four times its size and a bubble at twice on a plain patch, away from
        // everything else.
        FillBox(440, 400, kWidth, kHeight, GetScreenColor(0, 0, 0));
        DrawGraphRotated(600, 440, 4.0, 0.0, a.glow, 1, 0);
        DrawGraphRotated(480, 440, 2.0, 0.0, a.bubble, 1, 0);
    };
    if (!DrawBoth(scene, &joined, &separate)) GTEST_SKIP() << "no OpenGL device on this display";
    ExpectSamePicture(joined, separate);
    // The glow's middle is its own colour, its corners leave the black patch, and in between
    // its alpha mixes: the alpha picture was loaded and blends.
    const uint32_t middle = Pixel(joined.picture, 600, 440);
    EXPECT_NE(middle, 0u);
    EXPECT_EQ(Pixel(joined.picture, 570, 410), 0u);
    int partial = 0;
    for (int x = 570; x < 630; ++x) {
        const uint32_t p = Pixel(joined.picture, x, 440);
        const int red = static_cast<int>(p >> 16), want = static_cast<int>(GlowColour((x - 568) / 4, 7) >> 16);
        if (red > 0 && red < want - 8) ++partial;
    }
    EXPECT_GT(partial, 4);
    // The bubble: its rim whole, its middle see-through over black, its corner not drawn.
    EXPECT_EQ(Pixel(joined.picture, 460, 440) >> 8 & 0xFF, 0xD0u);
    const uint32_t inside = Pixel(joined.picture, 480, 440) >> 8 & 0xFF;
    EXPECT_GT(inside, 0u);
    EXPECT_LT(inside, 0x60u);
    EXPECT_EQ(Pixel(joined.picture, 458, 418), 0u);
}

TEST_F(GlJoinedSceneTest, BilinearSpritesOverLines) {
    const std::vector<Creature> creatures = MakeCreatures(500, kSeed + 3);
    Frame joined, separate;
    if (!DrawBoth([&](const Assets& a) { DrawBilinear(a, creatures); }, &joined, &separate))
        GTEST_SKIP() << "no OpenGL device on this display";
    ExpectSamePicture(joined, separate);
    // Filtering mixed neighbouring texels: across the big creature's middle row there are far
    // more colours than its 16 texels.
    std::vector<uint32_t> seen;
    for (int x = 558; x < 622; ++x) {
        const uint32_t p = Pixel(joined.picture, x, 442);
        if (std::find(seen.begin(), seen.end(), p) == seen.end()) seen.push_back(p);
    }
    EXPECT_GT(seen.size(), 24u);
}

// A full table (2,000 creatures) in the game's order on a 640 × 480 screen: joined, the frame
// costs at most 50 GL draws; its picture still equals the separate draws'.
TEST_F(GlJoinedSceneTest, FullTableFrameTakesAtMostFiftyGlDraws) {
    const std::vector<Creature> creatures = MakeCreatures(2000, kSeed + 4);
    Frame joined, separate;
    if (!DrawBoth([&](const Assets& a) { DrawGameOrder(a, creatures); }, &joined, &separate))
        GTEST_SKIP() << "no OpenGL device on this display";
    EXPECT_LE(joined.counts.glDraws, 50u) << "of " << joined.counts.drawsReceived << " draws received";
    ExpectSamePicture(joined, separate);
}

// Frames in a row whose sizes go up and down (the device's buffers grow and are reused), with a
// new line of text each frame (new glyphs reach the glyph texture between draws): every frame
// joined equals every frame drawn separately.
TEST_F(GlJoinedSceneTest, FramesInARowOfChangingSize) {
    const int sizes[] = {300, 2000, 80, 1200, 2000, 40};
    std::vector<std::vector<Creature>> tables;
    std::vector<std::function<void(const Assets&)>> scenes;
    for (int k = 0; k < 6; ++k) tables.push_back(MakeCreatures(sizes[k], kSeed + 10 + k));
    for (int k = 0; k < 6; ++k)
        scenes.push_back([&tables, k](const Assets& a) {
            DrawGameOrder(a, tables[static_cast<size_t>(k)]);
            const std::string text = "FRAME " + std::to_string(k) + " " + "QWXZJKV"[k] + "!";
            DrawStringDefault(8 + k * 20, 8, text.c_str(), GetScreenColor(255, 255, 255), 0);
        });
    WriteAssets();
    std::vector<Frame> joined, separate;
    if (!DrawFrames(true, 32, scenes, &joined)) GTEST_SKIP() << "no OpenGL device on this display";
    ASSERT_TRUE(DrawFrames(false, 32, scenes, &separate));
    ASSERT_EQ(joined.size(), 6u);
    ASSERT_EQ(separate.size(), 6u);
    for (size_t k = 0; k < joined.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        ExpectSamePicture(joined[k], separate[k]);
    }
}
