// The same drawing on the OpenGL device and on the software screen gives the same picture:
// transparent sprites drawn whole, in part, stretched, mirrored and rotated, filled and outlined
// boxes, blend modes 0-4, and the cells of a divided graph, compared pixel by pixel; graphs
// reloaded from memory.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "core/core_services.h"
#include "gl/gl_fixture.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The 32 × 32 sprite: a colour ramp with a black (transparent) frame and hole.
bool SpriteClear(int x, int y) { return x < 3 || y < 2 || (x > 12 && x < 18 && y > 12 && y < 20); }

uint32_t SpriteColour(int x, int y) {
    if (SpriteClear(x, y)) return 0;
    return static_cast<uint32_t>(128 + x * 4) << 16 | static_cast<uint32_t>(y * 8) << 8 |
           static_cast<uint32_t>(255 - x * 8);
}

// The same sprite in blocks of 2 × 2 texels. Drawn at half size, the device samples each
// pixel at its centre and the software rotation at its top-left corner, so the two take
// different texels of each pair; with whole blocks both show the same picture.
uint32_t BlockColour(int x, int y) { return SpriteColour(x & ~1, y & ~1); }

// Ten 16 × 16 cells in a row, every pixel its own colour.
uint32_t StripColour(int x, int y) {
    return static_cast<uint32_t>(20 + x) << 16 | static_cast<uint32_t>(40 + y * 8) << 8 |
           static_cast<uint32_t>(x % 16 * 16 + 5);
}

struct Graphs {
    int sprite, blocks;
};

// How closely a pixel must match: steps per channel; shift > 0 also accepts the colour of a
// neighbour within that many pixels; skip leaves the pixel out.
struct Tolerance {
    int steps = 1;
    int shift = 0;
    bool skip = false;
};
using ToleranceMap = std::function<Tolerance(int x, int y)>;

bool Near(uint32_t a, uint32_t b, int steps) {
    for (int shift : {16, 8, 0}) {
        int va = static_cast<int>((a >> shift) & 0xFF), vb = static_cast<int>((b >> shift) & 0xFF);
        if (va - vb > steps || vb - va > steps) return false;
    }
    return true;
}

uint32_t At(const std::vector<uint32_t>& p, int x, int y) {
    return p[static_cast<size_t>(y) * kWidth + x];
}

bool MatchesAround(const std::vector<uint32_t>& other, int x, int y, uint32_t value,
                   const Tolerance& t) {
    for (int dy = -t.shift; dy <= t.shift; ++dy)
        for (int dx = -t.shift; dx <= t.shift; ++dx) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= kWidth || ny >= kHeight) continue;
            if (Near(At(other, nx, ny), value, t.steps)) return true;
        }
    return false;
}

void DumpPicture(const std::vector<uint32_t>& picture, bool device) {
    // For a look at the two pictures: binary PPM files in the folder VELK_GL_TEST_DUMP names.
    const char* dump = std::getenv("VELK_GL_TEST_DUMP");
    if (dump == nullptr) return;
    WritePpm(std::string(dump) + (device ? "/device.ppm" : "/software.ppm"), picture, kWidth,
             kHeight);
}

using PictureCheck = std::function<void(const std::vector<uint32_t>&)>;

// Draws the scene on the device path and then on the software path (32-bit desktop, so both
// screens keep 8 bits a channel), runs the check on each picture and compares the two pictures
// under the tolerance map.
void CompareScenes(GlLibraryTest* test, const std::function<void(const Graphs&)>& scene,
                   const ToleranceMap& tolerance, const PictureCheck& check = nullptr) {
    WriteTestBmp("sprite.bmp", 32, 32, SpriteColour);
    WriteTestBmp("blocks.bmp", 32, 32, BlockColour);
    setenv("VELK_DESKTOP_BITS", "32", 1);
    std::vector<uint32_t> pictures[2];
    for (int pass = 0; pass < 2; ++pass) {
        bool device = pass == 0;
        if (!test->Start(device, !device)) {
            unsetenv("VELK_DESKTOP_BITS");
            if (device) GTEST_SKIP() << "no OpenGL device on this display";
            FAIL() << "the software path did not start";
        }
        Graphs graphs{LoadGraphHandle("sprite.bmp", 0), LoadGraphHandle("blocks.bmp", 0)};
        ASSERT_GE(graphs.sprite, 0);
        ASSERT_GE(graphs.blocks, 0);
        ProcessMessage();  // the window's first messages (activation) before drawing
        scene(graphs);
        pictures[pass] = ReadScreen();
        DumpPicture(pictures[pass], device);
        ASSERT_EQ(pictures[pass].size(), static_cast<size_t>(kWidth) * kHeight);
        if (check) {
            SCOPED_TRACE(device ? "device picture" : "software picture");
            check(pictures[pass]);
        }
        test->Stop();
    }
    unsetenv("VELK_DESKTOP_BITS");
    const std::vector<uint32_t>& dev = pictures[0];
    const std::vector<uint32_t>& soft = pictures[1];
    int differing = 0;
    std::string first;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            // The device path opens its batch with one transparent black point at (0, 0).
            if (x == 0 && y == 0) continue;
            Tolerance t = tolerance(x, y);
            if (t.skip) continue;
            uint32_t a = At(dev, x, y), b = At(soft, x, y);
            bool same = Near(a, b, t.steps) ||
                        (t.shift > 0 && MatchesAround(soft, x, y, a, t) &&
                         MatchesAround(dev, x, y, b, t));
            if (same) continue;
            if (differing++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d): device %06x, software %06x", x, y, a,
                              b);
                first = text;
            }
        }
    EXPECT_EQ(differing, 0) << "first difference at " << first;
}

bool Inside(int x, int y, int left, int top, int right, int bottom) {
    return x >= left && y >= top && x < right && y < bottom;
}

uint32_t Rgb(int r, int g, int b) {
    return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b);
}

const uint32_t kBackground = Rgb(40, 60, 90);

void DrawScene(const Graphs& g) {
    FillBox(0, 0, 640, 480, GetScreenColor(40, 60, 90));
    FillBox(10, 300, 200, 460, GetScreenColor(200, 180, 20));
    FillBox(400, 300, 630, 470, GetScreenColor(250, 250, 250));
    // Reversed corners mirror the graph into (0, 0, 100, 50).
    DrawGraphStretched(100, 0, 0, 50, g.sprite, 1);
    DrawGraphAt(20, 60, g.sprite, 1);
    DrawGraphStretched(80, 60, 176, 124, g.sprite, 1);
    DrawGraphMirrored(200, 60, g.sprite, 1);
    // Parts: upright, mirrored, one reaching past the graph's edge, and a mirrored strip.
    DrawGraphPart(250, 60, 4, 6, 20, 18, g.sprite, 1, 0);
    DrawGraphPart(280, 60, 4, 6, 20, 18, g.sprite, 1, 1);
    DrawGraphPart(310, 60, 20, 20, 24, 24, g.sprite, 1, 0);
    DrawGraphPart(340, 60, 0, 10, 32, 12, g.sprite, 1, 1);
    // Outlines: corners in either order, and one a single column wide.
    FrameBox(400, 60, 440, 100, GetScreenColor(250, 30, 30));
    FrameBox(460, 100, 450, 60, GetScreenColor(30, 250, 30));
    FrameBox(480, 60, 481, 100, GetScreenColor(250, 250, 30));
    for (int mode = 0; mode <= 4; ++mode) {
        SetBlendMode(mode, 160);
        if (mode <= 2) {
            DrawGraphAt(20 + 70 * mode, 320, g.sprite, 1);
            DrawGraphAt(410 + 40 * mode, 320, g.sprite, 1);
            DrawGraphPart(20 + 70 * mode, 360, 8, 4, 20, 20, g.sprite, 1, mode & 1);
        }
        FillBox(20 + 70 * mode, 400, 60 + 70 * mode, 440, GetScreenColor(90, 200, 120));
        FrameBox(15 + 70 * mode, 395, 65 + 70 * mode, 445, GetScreenColor(220, 120, 60));
        if (mode != 3)
            FillBox(410 + 40 * mode, 400, 440 + 40 * mode, 440, GetScreenColor(90, 200, 120));
        SetBlendMode(0, 0);
    }
}

// Pixels of DrawScene that both paths must show exactly where they are.
void CheckScene(const std::vector<uint32_t>& p) {
    auto near = [&](int x, int y, uint32_t want) {
        EXPECT_TRUE(Near(At(p, x, y), want, 1))
            << "(" << x << ", " << y << "): " << std::hex << At(p, x, y) << " not " << want;
    };
    // The mirrored stretch: the graph's last column on the left, its clear columns on the right.
    for (int y : {10, 25, 45}) {
        uint32_t c = At(p, 1, y);
        EXPECT_TRUE(Near(c & 0xFF00FF, SpriteColour(31, 31) & 0xFF00FF, 1)) << std::hex << c;
        near(98, y, kBackground);
        near(100, y, kBackground);
    }
    // Whole, part and mirrored part: corner pixels and the first pixels outside.
    near(20 + 3, 60 + 2, SpriteColour(3, 2));
    near(51, 91, SpriteColour(31, 31));
    near(52, 91, kBackground);
    near(250, 60, SpriteColour(4, 6));
    near(269, 77, SpriteColour(23, 23));
    near(270, 60, kBackground);
    near(250, 78, kBackground);
    near(280, 60, SpriteColour(23, 6));
    near(299, 77, SpriteColour(4, 23));
    near(300, 77, kBackground);
    near(330, 80, kBackground);  // beyond the graph's edge nothing is drawn
    near(340, 60, SpriteColour(31, 10));
    near(371, 71, SpriteColour(0, 21) == 0 ? kBackground : SpriteColour(0, 21));
    // Outlines: the border of the box's pixels, nothing inside or beyond.
    for (int i : {0, 20, 39}) {
        near(400 + i, 60, Rgb(250, 30, 30));
        near(400 + i, 99, Rgb(250, 30, 30));
        near(400, 60 + i, Rgb(250, 30, 30));
        near(439, 60 + i, Rgb(250, 30, 30));
        near(450, 60 + i, Rgb(30, 250, 30));
        near(459, 60 + i, Rgb(30, 250, 30));
        near(480, 60 + i, Rgb(250, 250, 30));
    }
    near(401, 61, kBackground);
    near(440, 60, kBackground);
    near(400, 100, kBackground);
    near(460, 60, kBackground);
    near(481, 60, kBackground);
    // A filled box covers its pixels, right and bottom edges excluded.
    near(10, 300, Rgb(200, 180, 20));
    near(199, 459, Rgb(200, 180, 20));
    near(9, 300, kBackground);
    near(200, 300, kBackground);
    near(10, 460, kBackground);
}

ToleranceMap SceneTolerance() {
    return [](int x, int y) {
        Tolerance t;
        // Stretched by 3.125 × 1.5625, the device samples each pixel at its centre and the
        // software stretch at its top-left corner: texels change one pixel apart.
        if (Inside(x, y, 0, 0, 101, 51)) t.shift = 1;
        return t;
    };
}

// The game's rotated draws: angle 0 at scales 0.5, 1, 2 and 4, upright and turned, in blend
// modes 0 and 2 (its highlight).
const double kGameScales[4] = {0.5, 1.0, 2.0, 4.0};

void DrawGameScaleScene(const Graphs& g) {
    FillBox(0, 0, 640, 480, GetScreenColor(40, 60, 90));
    for (int i = 0; i < 4; ++i) {
        int x = 40 + 150 * i;
        int graph = kGameScales[i] < 1.0 ? g.blocks : g.sprite;
        DrawGraphRotated(x, 80, kGameScales[i], 0.0, graph, 1, 0);
        DrawGraphRotated(x, 240, kGameScales[i], 0.0, graph, 1, 1);
        SetBlendMode(2, 255);
        DrawGraphRotated(x, 400, kGameScales[i], 0.0, graph, 1, i & 1);
        SetBlendMode(0, 0);
    }
}

// Upright and turned draws land on the same pixels, each with its texel.
ToleranceMap GameScaleTolerance() {
    return [](int, int) { return Tolerance{}; };
}

void CheckGameScales(const std::vector<uint32_t>& p) {
    // Upright at scale 1 about (190, 80): the graph's pixel (16, 16) on the centre.
    EXPECT_TRUE(Near(At(p, 190 + 5, 80), SpriteColour(16 + 5, 16), 1));
    EXPECT_TRUE(Near(At(p, 174 + 3, 64 + 2), SpriteColour(3, 2), 1));
    EXPECT_TRUE(Near(At(p, 205, 95), SpriteColour(31, 31), 1));
    EXPECT_TRUE(Near(At(p, 206, 95), kBackground, 1));
    // Turned at scale 1 about (190, 240): the same pixels, the graph's columns from the right.
    EXPECT_TRUE(Near(At(p, 205 - 3, 224 + 2), SpriteColour(3, 2), 1));
    EXPECT_TRUE(Near(At(p, 174, 239), SpriteColour(31, 15), 1));
    EXPECT_TRUE(Near(At(p, 173, 239), kBackground, 1));
    // At scale 2 about (340, 80): 64 × 64 pixels from (308, 48).
    EXPECT_TRUE(Near(At(p, 371, 111), SpriteColour(31, 31), 1));
    EXPECT_TRUE(Near(At(p, 372, 111), kBackground, 1));
    EXPECT_TRUE(Near(At(p, 371, 112), kBackground, 1));
}

// Turned draws at right angles, and blend modes 3 and 4 with a transparent sprite.
constexpr int kMode3Sprites[2][2] = {{230, 320}, {530, 320}};
constexpr int kMode4Sprites[2][2] = {{300, 320}, {570, 320}};

void DrawTurnedAndBlendedScene(const Graphs& g) {
    FillBox(0, 0, 640, 480, GetScreenColor(40, 60, 90));
    FillBox(400, 300, 630, 470, GetScreenColor(250, 250, 250));
    DrawGraphRotated(300, 60, 1.0, 3.14159265358979 / 2, g.sprite, 1, 0);
    DrawGraphRotated(400, 60, 2.0, 3.14159265358979, g.sprite, 1, 1);
    DrawGraphRotated(520, 60, 1.0, -3.14159265358979 / 2, g.sprite, 1, 1);
    for (int mode = 3; mode <= 4; ++mode) {
        SetBlendMode(mode, 160);
        FillBox(410 + 40 * mode, 400, 440 + 40 * mode, 440, GetScreenColor(90, 200, 120));
        DrawGraphAt(20 + 70 * mode, 320, g.sprite, 1);
        DrawGraphAt(410 + 40 * mode, 320, g.sprite, 1);
        SetBlendMode(0, 0);
    }
}

// Where each path keeps its own rule:
// - Turned at right angles, the software rotation samples each pixel at its top-left corner and
//   the device at its centre, about the same point: the picture may lie one pixel over.
// - Subtraction (mode 3): the software kernel subtracts the upper seven bits of green and red
//   and forces their lowest bit, and scales by the parameter rounding down; on a bright
//   background this leaves up to three steps above the device's exact result.
// - Multiplication (mode 4): the software kernel divides by 256 and rounds down (two steps
//   below the device on bright colours). The device multiplies by every texel of the sprite,
//   the transparent ones included (they are black with alpha 0, and multiplying does not read
//   alpha), while the software kernel skips the transparent colour: those pixels are not
//   compared.
ToleranceMap TurnedAndBlendedTolerance() {
    return [](int x, int y) {
        Tolerance t;
        if (y < 130) t.shift = 1;
        for (const auto& s : kMode3Sprites)
            if (Inside(x, y, s[0], s[1], s[0] + 32, s[1] + 32)) t.steps = 3;
        if (Inside(x, y, 530, 400, 560, 440)) t.steps = 3;
        if (Inside(x, y, 570, 400, 600, 440)) t.steps = 2;
        for (const auto& s : kMode4Sprites)
            if (Inside(x, y, s[0], s[1], s[0] + 32, s[1] + 32)) {
                t.steps = 2;
                t.skip = SpriteClear(x - s[0], y - s[1]);
            }
        return t;
    };
}

}  // namespace

TEST_F(GlLibraryTest, DeviceAndSoftwareDrawTheSamePicture) {
    CompareScenes(this, DrawScene, SceneTolerance(), CheckScene);
}

TEST_F(GlLibraryTest, SpritesAtTheGameScalesMatch) {
    CompareScenes(this, DrawGameScaleScene, GameScaleTolerance(), CheckGameScales);
}

TEST_F(GlLibraryTest, TurnedAndMultipliedSpritesMatch) {
    CompareScenes(this, DrawTurnedAndBlendedScene, TurnedAndBlendedTolerance());
}

// The cells of a divided graph are the file's 16 × 16 squares, drawn pixel for pixel.
TEST_F(GlLibraryTest, DividedGraphCellsShowTheirSquares) {
    WriteTestBmp("strip.bmp", 160, 16, StripColour);
    setenv("VELK_DESKTOP_BITS", "32", 1);
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        if (!Start(device, !device)) {
            Stop();
            if (device) continue;  // no OpenGL here: the software path is still checked
            FAIL() << "the software path did not start";
        }
        int handles[10];
        ASSERT_EQ(LoadDividedGraphs("strip.bmp", 10, 10, 1, 16, 16, handles, 0), 0);
        ProcessMessage();
        FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
        DrawGraphAt(100, 100, handles[0], 0);
        DrawGraphAt(200, 100, handles[3], 0);
        std::vector<uint32_t> screen = ReadScreen();
        ASSERT_EQ(screen.size(), static_cast<size_t>(kWidth) * kHeight);
        int wrong = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                wrong += At(screen, 100 + x, 100 + y) != StripColour(x, y);
                wrong += At(screen, 200 + x, 100 + y) != StripColour(48 + x, y);
            }
        EXPECT_EQ(wrong, 0);
        // Nothing beyond the cell.
        EXPECT_EQ(At(screen, 116, 100), 0u);
        EXPECT_EQ(At(screen, 100, 116), 0u);
        Stop();
    }
    unsetenv("VELK_DESKTOP_BITS");
}

// A graph reloaded from images in memory shows the new picture on both paths: a graph loaded from
// a DXT1 .dds and reloaded from a BMP (or the reload refused), and a drawable graph with alpha
// reloaded with an alpha image, whose left half (alpha 0) leaves the blue background and whose
// right half (alpha 255) draws red.
TEST_F(GlLibraryTest, ReloadedGraphsShowTheNewPictureAndAlpha) {
    uint32_t header[31] = {124, 0x1007, 8, 8};  // size, flags, height, width
    header[18] = 32;
    header[19] = 0x4;  // FourCC
    std::memcpy(&header[20], "DXT1", 4);
    header[26] = 0x1000;
    FILE* dds = std::fopen("green.dds", "wb");
    ASSERT_NE(dds, nullptr);
    std::fwrite("DDS ", 1, 4, dds);
    std::fwrite(header, 4, 31, dds);
    const uint8_t greenBlock[8] = {0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0};
    for (int block = 0; block < 4; ++block) std::fwrite(greenBlock, 1, 8, dds);
    std::fclose(dds);
    WriteTestBmp("red.bmp", 8, 8, [](int, int) { return 0xFF0000u; });
    WriteTestBmp("half.bmp", 8, 8, [](int x, int) { return x < 4 ? 0u : 0xFFFFFFu; });
    auto bytes = [](const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string red = bytes("red.bmp"), half = bytes("half.bmp");
    const int size = static_cast<int>(red.size());
    auto rgb565 = [](uint32_t c) { return c & 0xF8FCF8u; };
    for (int bits : {32, 16})
        for (bool device : {true, false}) {
            SCOPED_TRACE(std::string(device ? "device, " : "software, ") + std::to_string(bits));
            setenv("VELK_DESKTOP_BITS", std::to_string(bits).c_str(), 1);
            const bool started = Start(device, !device);
            unsetenv("VELK_DESKTOP_BITS");
            if (!started) {
                Stop();
                if (device) continue;  // no OpenGL here: the software path is still checked
                FAIL() << "the software path did not start";
            }
            ProcessMessage();
            int dxt = LoadGraphHandle("green.dds", 0);
            SetCreateDrawValidGraphFlag(1);
            SetMakeGraphAlphaFlag(1);
            int alpha = MakeGraph(8, 8);
            SetMakeGraphAlphaFlag(0);
            SetCreateDrawValidGraphFlag(0);
            ASSERT_GE(dxt, 0);
            ASSERT_GE(alpha, 0);
            const int reloaded = ReloadGraphFromMemory(red.data(), size, dxt, nullptr, 0, 0, 0);
            EXPECT_TRUE(reloaded == 0 || reloaded == -1) << reloaded;
            ASSERT_EQ(ReloadGraphFromMemory(red.data(), size, alpha, half.data(),
                                            static_cast<int>(half.size()), 1, 0),
                      0);
            FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 255));
            DrawGraphAt(100, 100, dxt, 0);
            DrawGraphAt(200, 100, alpha, 1);
            std::vector<uint32_t> screen = ReadScreen();
            ASSERT_EQ(screen.size(), static_cast<size_t>(kWidth) * kHeight);
            if (reloaded == 0) {
                EXPECT_EQ(rgb565(At(screen, 103, 103)), 0xF80000u)
                    << "the reload of the DXT graph said it took the new picture";
            }
            EXPECT_EQ(rgb565(At(screen, 201, 103)), 0x0000F8u) << "alpha 0 draws nothing";
            EXPECT_EQ(rgb565(At(screen, 206, 103)), 0xF80000u) << "alpha 255 draws the colour";
            Stop();
        }
}
