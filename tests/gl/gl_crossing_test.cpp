// Where drawing mechanisms cross: one table of cells, each a draw call with a blend mode, the
// transparent flag, a blend graph, a kind of source graph and the road that put its pixels in,
// a target, the mask and an event (a device re-creation, a screen-mode change, a graph deleted),
// drawn on the OpenGL device and on the software screen, each at 16 and at 32 bits a pixel.
// Each cell's 160 x 120 picture is checked against exact probe colours (as the screen holds
// them) on both paths and against the other path within one named tolerance; some cells also
// compare with a second picture of the same path (before a re-creation, without the blend graph,
// in mode 0, or the same draws of a fresh load of the road's picture on the screen).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "../movie/movie_files.h"
#include "core/core_services.h"
#include "draw/mask.h"
#include "gl_fixture.h"

namespace {

constexpr int kW = 160, kH = 120;
using Picture = std::vector<uint32_t>;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- colours of the pictures

constexpr uint32_t kGround = 0x406080, kGrey = 0x808080, kRed = 0xFF0000, kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00, kBlack = 0, kWhite = 0xFFFFFF;

// d + (s - d) * w / 255 per channel: mode 1 at weight w.
constexpr uint32_t Mix(uint32_t d, uint32_t s, int w) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int dc = (d >> shift) & 0xFF, sc = (s >> shift) & 0xFF;
        out |= static_cast<uint32_t>(dc + (sc - dc) * w / 255) << shift;
    }
    return out;
}

// The 32 x 32 sprite: red left half, blue right half, a black (transparent) 4 x 4 top-left.
uint32_t Sprite(int x, int y) {
    return x < 4 && y < 4 ? kBlack : x < 16 ? kRed : kBlue;
}

// The sprite's picture with the halves changed over: what reloads, copies and draws bring in.
uint32_t Swapped(int x, int y) {
    return x < 4 && y < 4 ? kBlack : x < 16 ? kBlue : kRed;
}

// The row of the palette-key cells, 8 x 4: the black pixels are the transparent colour.
constexpr uint32_t kKeyRow[8] = {0, 0x010101, 0x040404, 0xC80A0A, 0, 0x000400, kWhite, 0};
constexpr uint8_t kKeyGrey[8] = {0, 1, 4, 200, 0, 4, 255, 0};

// ---------------------------------------------------------------- image files

void Put(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An indexed BMP of 4 or 8 bits (RLE8 when rle) over the given palette, rows from the top.
void WriteIndexedBmp(const char* path, int w, int h, int bits, bool rle,
                     const std::vector<uint32_t>& palette,
                     const std::function<int(int, int)>& index) {
    Bytes data;
    const int rowBytes = ((w * bits + 7) / 8 + 3) & ~3;
    for (int y = h - 1; y >= 0; --y) {
        if (rle) {
            for (int x = 0; x < w; ++x)
                data.insert(data.end(), {1, static_cast<uint8_t>(index(x, y))});
            data.insert(data.end(), {0, 0});
            continue;
        }
        Bytes row(rowBytes, 0);
        for (int x = 0; x < w; ++x)
            row[x * bits / 8] |=
                static_cast<uint8_t>(index(x, y) << (bits == 4 && x % 2 == 0 ? 4 : 0));
        data.insert(data.end(), row.begin(), row.end());
    }
    if (rle) data.insert(data.end(), {0, 1});
    Bytes f{'B', 'M'};
    const uint32_t offset = 54 + 4 * static_cast<uint32_t>(palette.size());
    Put(f, offset + data.size(), 4), Put(f, 0, 4), Put(f, offset, 4);
    Put(f, 40, 4), Put(f, w, 4), Put(f, h, 4), Put(f, 1, 2), Put(f, bits, 2),
        Put(f, rle ? 1 : 0, 4);
    Put(f, data.size(), 4), Put(f, 2835, 4), Put(f, 2835, 4), Put(f, palette.size(), 4),
        Put(f, 0, 4);
    for (uint32_t c : palette) Put(f, c, 4);  // B, G, R, 0
    f.insert(f.end(), data.begin(), data.end());
    WriteFileBytes(path, f);
}

uint32_t Crc(const uint8_t* p, size_t n, uint32_t crc = 0xFFFFFFFF) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return crc;
}
void PutBig(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void Chunk(Bytes& f, const char* type, const Bytes& body) {
    PutBig(f, static_cast<uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    f.insert(f.end(), typed.begin(), typed.end());
    PutBig(f, Crc(typed.data(), typed.size()) ^ 0xFFFFFFFF);
}
// A PNG of 8-bit samples (colour type 0 grey, 3 palette, 6 RGBA); raw holds the filtered rows.
void WritePng(const char* path, int w, int h, int type, const Bytes& raw, const Bytes& plte = {}) {
    Bytes f{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, head, z{0x78, 0x01};
    PutBig(head, w), PutBig(head, h);
    head.insert(head.end(), {8, static_cast<uint8_t>(type), 0, 0, 0});
    Chunk(f, "IHDR", head);
    if (!plte.empty()) Chunk(f, "PLTE", plte);
    z.push_back(1);  // one stored block
    Put(z, raw.size(), 2), Put(z, ~raw.size() & 0xFFFF, 2);
    z.insert(z.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    PutBig(z, b << 16 | a);
    Chunk(f, "IDAT", z);
    Chunk(f, "IEND", {});
    WriteFileBytes(path, f);
}

// A DDS of DXT1 or DXT5 blocks, each 4 x 4 block of one R5G6B5 colour (opaque), or shaded
// DXT1 blocks: only the two mixed colours of the block's colour and black (thirds of it, which
// R5G6B5 does not hold).
void WriteDds(const char* path, bool five, int w, int h,
              const std::function<uint16_t(int, int)>& colour, bool shaded = false) {
    uint32_t header[31] = {124, 0x1007, static_cast<uint32_t>(h), static_cast<uint32_t>(w)};
    header[18] = 32, header[19] = 0x4, header[26] = 0x1000;
    std::memcpy(&header[20], five ? "DXT5" : "DXT1", 4);
    Bytes f{'D', 'D', 'S', ' '};
    f.insert(f.end(), reinterpret_cast<uint8_t*>(header), reinterpret_cast<uint8_t*>(header) + 124);
    for (int by = 0; by < (h + 3) / 4; ++by)
        for (int bx = 0; bx < (w + 3) / 4; ++bx) {
            if (five) f.insert(f.end(), {255, 0, 0, 0, 0, 0, 0, 0});
            if (shaded)  // colour 0 above colour 1 (black): indices 2 and 3 in turn
                Put(f, colour(bx, by), 2), Put(f, 0, 2),
                    Put(f, 0xEEBBEEBBu ^ ((bx + by) % 2 ? 0x55555555u : 0), 4);
            else
                Put(f, colour(bx, by), 2), Put(f, 0, 2), Put(f, 0, 4);  // every index 0: the colour
        }
    WriteFileBytes(path, f);
}

void WriteFiles() {
    WriteTestBmp("sprite.bmp", 32, 32, Sprite);
    WriteTestBmp("alpha.bmp", 32, 32, Sprite);
    WriteTestBmp("alpha_a.bmp", 32, 32, [](int x, int y) {
        return x < 4 && y < 4 ? 0 : x < 16 ? kWhite : kGrey;
    });
    // Palette sprite: black at index 5 of 256, the colours elsewhere.
    std::vector<uint32_t> pal(256, 0x00777777);
    pal[5] = 0, pal[9] = kRed, pal[200] = kBlue;
    WriteIndexedBmp("pal8.bmp", 32, 32, 8, false, pal, [](int x, int y) {
        return x < 4 && y < 4 ? 5 : x < 16 ? 9 : 200;
    });
    WriteDds("dxt1.dds", false, 32, 32,
             [](int bx, int) -> uint16_t { return bx < 4 ? 0xF800 : 0x001F; });
    WriteDds("dxt5.dds", true, 32, 32,
             [](int bx, int) -> uint16_t { return bx < 4 ? 0xF800 : 0x001F; });
    WriteDds("sheet1.dds", false, 32, 16,
             [](int bx, int) -> uint16_t { return bx < 4 ? 0xF800 : 0x07E0; });
    WriteDds("sheet5.dds", true, 32, 16,
             [](int bx, int) -> uint16_t { return bx < 4 ? 0xF800 : 0x07E0; });
    WriteTestBmp("solid16.bmp", 16, 16, [](int, int) { return kGreen; });
    // The pictures the roads into a graph bring, at 32 x 32 and at 30 x 18 (no multiple of 4).
    WriteTestBmp("swap.bmp", 32, 32, Swapped);
    WriteTestBmp("green.bmp", 32, 32, [](int, int) { return kGreen; });
    WriteTestBmp("odd.bmp", 30, 18, Sprite);
    WriteTestBmp("oddswap.bmp", 30, 18, Swapped);
    WriteTestBmp("oddgreen.bmp", 30, 18, [](int, int) { return kGreen; });
    WriteTestBmp("black.bmp", 32, 32, [](int, int) { return kBlack; });
    // 256 colours, none black and each its own at 16 bits, every one in use: in 8 bits the
    // palette is full and holds no entry of the transparent colour.
    auto noKeyColour = [](int i) -> uint32_t {
        return static_cast<uint32_t>((i & 31) << 19 | ((i >> 5) << 5 | 0x10) << 8 | 0x80);
    };
    std::vector<uint32_t> noBlack(256);
    for (int i = 0; i < 256; ++i) noBlack[i] = noKeyColour(i);
    WriteTestBmp("nokey.bmp", 32, 32, [&](int x, int y) { return noKeyColour((x + 32 * y) & 255); });
    WriteIndexedBmp("nokey8.bmp", 32, 32, 8, false, noBlack,
                    [](int x, int y) { return (x + 32 * y) & 255; });
    auto spriteIndex = [](int x, int y) { return x < 4 && y < 4 ? 5 : x < 16 ? 9 : 200; };
    WriteIndexedBmp("swap8.bmp", 32, 32, 8, false, pal, [](int x, int y) {
        return x < 4 && y < 4 ? 5 : x < 16 ? 200 : 9;
    });
    WriteIndexedBmp("odd8.bmp", 30, 18, 8, false, pal, spriteIndex);
    static const uint16_t kVivid[8] = {0xF800, 0x001F, 0xF81F, 0xFFFF,
                                       0xE71C, 0x9CD3, 0xFC10, 0x843F};
    WriteDds(
        "odddxt1.dds", false, 37, 23, [](int bx, int by) { return kVivid[(bx + by) % 8]; }, true);
    WriteTestBmp("spritesheet.bmp", 64, 32,
                 [](int x, int y) { return x < 32 ? kWhite : Sprite(x - 32, y); });
    // The palette-key row, 8 x 4, in every indexed form: index i + 1 for pixel i (white at
    // the last index of the palette, black at three indices).
    std::vector<uint32_t> keyPal(16, 0x00777777);
    std::vector<uint32_t> keyPal256(256, 0x00777777);
    for (int i = 0; i < 8; ++i) keyPal[i + 1] = keyPal256[i + 1] = kKeyRow[i];
    keyPal[15] = keyPal256[255] = kWhite;
    auto idx16 = [](int x, int) { return x == 6 ? 15 : x + 1; };
    auto idx256 = [](int x, int) { return x == 6 ? 255 : x + 1; };
    WriteIndexedBmp("key8.bmp", 8, 4, 8, false, keyPal256, idx256);
    WriteIndexedBmp("key4.bmp", 8, 4, 4, false, keyPal, idx16);
    WriteIndexedBmp("keyrle.bmp", 8, 4, 8, true, keyPal256, idx256);
    Bytes plte, rawPal, rawGrey;
    for (uint32_t c : keyPal256)
        plte.insert(plte.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    for (int y = 0; y < 4; ++y) {
        rawPal.push_back(0), rawGrey.push_back(0);
        for (int x = 0; x < 8; ++x)
            rawPal.push_back(uint8_t(idx256(x, y))), rawGrey.push_back(kKeyGrey[x]);
    }
    WritePng("keypal.png", 8, 4, 3, rawPal, plte);
    WritePng("keygrey.png", 8, 4, 0, rawGrey);
    // Blend graphs: 32 x 120 black left half (weight 0) and white right half; a 64 x 32 sheet
    // whose right 32 columns are the same; an RGBA PNG of alpha 128 everywhere.
    auto half = [](int x, int) { return x % 32 < 16 ? kBlack : kWhite; };
    WriteTestBmp("halfblend.bmp", 32, 120, half);
    WriteIndexedBmp("halfblend8.bmp", 32, 120, 8, false, pal,
                    [](int x, int) { return x % 32 < 16 ? 5 : 9; });
    WriteTestBmp("blendsheet.bmp", 64, 32,
                 [&](int x, int y) { return x < 32 ? kWhite : half(x, y); });
    Bytes rgba;
    for (int y = 0; y < 32; ++y) {
        rgba.push_back(0);
        for (int x = 0; x < 32; ++x) rgba.insert(rgba.end(), {255, 255, 255, 128});
    }
    WritePng("alphablend.png", 32, 32, 6, rgba);
    // A movie whose top half (rows 0-23) is black and bottom half white.
    MovieSpec movie;
    movie.frames = {FlatFrame{16, 128, 128, 235}, FlatFrame{16, 128, 128, 235}};
    WriteFileBytes("blend.ogv", EncodeMovie(movie));
}

// ---------------------------------------------------------------- the axes

// clang-format off
enum Call { kPlain, kStretched, kRotated, kTurned, kPart, kQuad, kString, kBox, kLine,
    kThickLine, kPolygons, kThickBetween, kPolygonsBetween, kDeleteBlend, kHugeRotated1000,
    kHugeRotated4096, kHugeQuad, kZeroStretch, kHugeRotated1e13, kZeroScale, kQuadFlipped,
    kQuadHalfTurn, kQuadPoint, kQuadFraction, kBlendRedrawnBetween, kTwoBlendGraphs,
    kStringThenKeyed, kQuadFlat, kBlendRedrawnStretched };
enum Blend { kNone, kLoaded, kLoadedAlpha, kDrawable, kMovie, kSubBlend, kTargetItself,
    kDrawableAlphaBlend, kLoadedPalette, kDrawableNoAlphaTest };
enum Source { k24, kAlpha, kPal8, kDxt1, kDxt5, kSheetDxt1, kSheetDxt5, kSolid16, kKey8, kKey4,
    kKeyRle8, kKeyPalPng, kKeyGreyPng, kSwap24, kSwapPal8, kGreen32, kOdd24, kOddPal8,
    kOddSwap24, kOddGreen, kOddDxt1, kBlack32, kNoKey24, kNoKey8, kFont0, kFont1, kFont2, kFont3, kDrawableSource,
    kDrawableAlphaSource, kSubSource };
enum Target { kScreen, kDrawableTarget, kSubTargetAway, kDrawableAlphaTarget };
// The road that put the source's pixels in after it was made: its load alone, a reload from
// memory, a copy from the screen, a fill, or draws into it as the target. The road's picture
// (a file of its own) is what the reload reads, what the screen shows for the copy and what is
// drawn into the graph; a fill fills green (black, the transparent colour, for the black one).
enum Road { kLoad, kReload, kCopyScreen, kFill, kDrawnInto };
// A second picture of the same path that the cell's picture must equal: the draw before a
// device re-creation (the blend graph kept through it, or set again after one run without
// it), the draw without the blend graph; or the pixels a mode-0 draw leaves alone must stay;
// or the key row's pixels; or the string must light pixels.
// Or the picture of the same cell with the road's picture loaded as its source (the source
// itself where the road may refuse and did), on the screen, without the mask (compared where the
// mask is open); or the draw target after a screen-mode change there and back, or after the
// target graph is deleted; or every pixel that mode 0 draws in the edge colour is drawn; or the
// sub-graph draws as before after the graph it was cut from is deleted.
enum Check { kNoCheck, kRecreateKept, kRecreateSetAfter, kAsWithoutBlend,
    kUntouchedAsMode0, kKeyRowCheck, kInk, kAsReference, kTargetAfterModeChange,
    kTargetAfterDelete, kEdgeAsMode0, kSheetDeleted };
// clang-format on

// The differences the two paths are allowed, each one of the listed path differences.
// clang-format off
enum Tol { kExact, kRounding, kSampling, kBorder, kDeviceOnly, kTextDiffers, kColourModesWipe,
    kFillSoftwareOnly, kAlphaTestGreen, kNearKey };
// clang-format on
struct Tolerance {
    const char* rule;
    int steps;    // per channel
    int shift;    // or the other picture's colour within so many pixels
    bool skip;    // not compared
    int steps16;  // per channel on a 16-bit screen; -1: not compared there
};
const Tolerance kTolerances[] = {
    {"exact", 0, 0, false, 0},
    {"rounding: the software's alpha, add and brightness tables round down, mode 3 up to three "
     "steps, mode 4 two steps",
     3, 0, false, 9},
    {"sampling: rotated, stretched and quadrilateral graphs and thick lines may lie one pixel over",
     3, 1, false, 9},
    {"blend graphs: the soft border of a range above 1 may start up to two columns apart", 3, 2,
     false, 9},
    {"modes 5 and 7 and polygon lists are drawn by the device only", 0, 0, true, 0},
    {"text: anti-aliased edges and edged text under a blend mode differ", 0, 0, true, 0},
    {"blend graphs in modes 4, 10 and 11: the device draws the mode without the wipe", 0, 0, true,
     0},
    {"FillGraphColor fills a graph that is not drawable on the software path only", 0, 0, true, 0},
    {"alpha test: keyed graphs keep 5 bits of green where a 16-bit screen has 6", 0, 0, false, 4},
    {"transparent colour: on a 16-bit software screen, colours within one 5- or 6-bit step of it "
     "count as transparent (not compared at 16 bits)",
     0, 0, false, -1},
};

struct Probe {
    int x, y;
    uint32_t rgb;
};
struct Cell {
    const char* name;
    Call call;
    int mode, param, trans;
    Blend blend;
    int threshold, range;
    Source source;
    Target target;
    int mask;
    Check check;
    Tol tol;
    std::vector<Probe> probes;
    Road road = kLoad;
    Source picture = kSwap24;
};

// Sweeps: a line with one of these modes is drawn once per mode (and parameter) of its list.
constexpr int kAllModes = -1, kBlendingModes = -2, kColourModes = -3;
const std::vector<std::pair<int, int>> kSweeps[] = {
    {{1, 160}, {2, 128}, {3, 128}, {4, 255}, {10, 128}, {11, 128}},
    {{1, 160}, {2, 128}, {3, 128}},
    {{4, 255}, {10, 128}, {11, 128}}};
constexpr uint32_t kHalfRed = Mix(kGround, kRed, 128), kQuarterRed = Mix(kGround, kRed, 64);
const std::vector<Probe> kSpriteProbes{{2, 2, kGround}, {8, 8, kRed}, {24, 24, kBlue}};
const std::vector<Probe> kLeftClosed{{8, 8, kGround}, {24, 24, kBlue}};
const std::vector<Probe> kCovered{
    {2, 2, kGreen}, {80, 60, kGreen}, {157, 2, kGreen}, {2, 117, kGreen}, {157, 117, kGreen}};

// clang-format off
const Cell kCells[] = {
    // name                                   call          mode param tr blend        t    r   source    target        mask check          tol
    {"plain",                                 kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    kSpriteProbes},
    {"plain without the flag",                kPlain,         0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{2, 2, kBlack}, {8, 8, kRed}}},
    {"stretched twice",                       kStretched,     0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{3, 3, kGround}, {20, 20, kRed}, {40, 40, kBlue}}},
    {"rotated a half turn",                   kRotated,       0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{40, 40, kBlue}, {56, 56, kRed}, {61, 61, kGround}}},
    {"turned",                                kTurned,        0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{8, 8, kBlue}, {24, 8, kRed}, {29, 2, kGround}}},
    {"part",                                  kPart,          0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{4, 4, kRed}, {12, 12, kBlue}, {20, 20, kGround}}},
    {"quadrilateral",                         kQuad,          0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, kSpriteProbes},
    {"box in mode 1",                         kBox,           1, 128, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kRounding, {{8, 8, kHalfRed}}},
    {"line",                                  kLine,          0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{50, 40, kRed}}},
    {"thick line",                            kThickLine,     0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{50, 60, kRed}}},
    {"polygon list",                          kPolygons,      0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kDeviceOnly, {}},
    {"every mode",                            kPlain, kAllModes,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kRounding, {}},
    {"alpha source",                          kPlain,         0,   0, 1, kNone,         0,   0, kAlpha,   kScreen,        0, kNoCheck,       kRounding, {{2, 2, kGround}, {8, 8, kRed}}},
    {"alpha source in mode 1",                kPlain,         1, 128, 1, kNone,         0,   0, kAlpha,   kScreen,        0, kNoCheck,       kRounding, {{8, 8, kHalfRed}}},
    {"palette source",                        kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kNoCheck,       kExact,    kSpriteProbes},
    {"DXT1 source",                           kPlain,         0,   0, 1, kNone,         0,   0, kDxt1,    kScreen,        0, kNoCheck,       kExact,    {{8, 8, kRed}, {24, 24, kBlue}}},
    {"DXT5 source stretched",                 kStretched,     0,   0, 1, kNone,         0,   0, kDxt5,    kScreen,        0, kNoCheck,       kSampling, {{20, 20, kRed}, {40, 40, kBlue}}},
    {"plain on a drawable graph",             kPlain,         0,   0, 1, kNone,         0,   0, k24,      kDrawableTarget, 0, kNoCheck,      kExact,    kSpriteProbes},
    {"plain on a sub-graph away from 0, 0",   kPlain,         0,   0, 1, kNone,         0,   0, k24,      kSubTargetAway, 0, kNoCheck,       kExact,    kSpriteProbes},
    {"rotated on a sub-graph",                kRotated,       1, 128, 1, kNone,         0,   0, k24,      kSubTargetAway, 0, kNoCheck,       kSampling, {{56, 56, kHalfRed}}},
    {"string on a sub-graph",                 kString,        0,   0, 1, kNone,         0,   0, kFont2,   kSubTargetAway, 0, kInk,           kTextDiffers, {}},
    {"plain through the mask",                kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        1, kNoCheck,       kExact,    {{8, 8, kRed}, {24, 24, kGround}}},
    {"thick line through the mask",           kThickLine,     0,   0, 0, kNone,         0,   0, k24,      kScreen,        1, kNoCheck,       kSampling, {{8, 60, kRed}, {50, 60, kGround}}},
    {"strings of type 0",                     kString,        0,   0, 1, kNone,         0,   0, kFont0,   kScreen,        0, kInk,           kTextDiffers, {}},
    {"strings of type 1",                     kString,        0,   0, 1, kNone,         0,   0, kFont1,   kScreen,        0, kInk,           kTextDiffers, {}},
    {"strings of type 3 through the mask",    kString,        1, 200, 1, kNone,         0,   0, kFont3,   kScreen,        1, kInk,           kTextDiffers, {}},
    // Blend graphs: what each kind weighs (0 at the transparent colour, 255 elsewhere, or alpha).
    {"loaded blend graph",                    kPlain,         0,   0, 1, kLoaded,     128,   0, k24,      kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    {"drawable blend graph",                  kPlain,         0,   0, 1, kDrawable,   128,   0, k24,      kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    {"movie blend graph",                     kPlain,         0,   0, 1, kMovie,      128,   0, k24,      kScreen,        0, kNoCheck,       kRounding, {{8, 8, kGround}, {24, 8, kGround}, {24, 28, kBlue}}},
    {"sub-graph blend graph",                 kPlain,         0,   0, 1, kSubBlend,   128,   0, k24,      kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    {"the target as its own blend graph",     kPlain,         0,   0, 0, kTargetItself, 128, 0, k24,      kDrawableTarget, 0, kNoCheck,      kRounding, {{8, 8, kBlack}, {24, 24, kBlue}}},
    {"alpha blend graph under the threshold", kPlain,         0,   0, 1, kLoadedAlpha, 100,  0, k24,      kScreen,        0, kNoCheck,       kRounding, kSpriteProbes},
    {"alpha blend graph over the threshold",  kPlain,         0,   0, 1, kLoadedAlpha, 200,  0, k24,      kScreen,        0, kNoCheck,       kExact,    {{8, 8, kGround}, {24, 24, kGround}}},
    {"range 64 in mode 0",                    kPlain,         0,   0, 1, kLoadedAlpha, 128, 64, k24,      kScreen,        0, kNoCheck,       kBorder,   {{8, 8, kHalfRed}}},
    {"range 64 in mode 1 at 128",             kPlain,         1, 128, 1, kLoadedAlpha, 128, 64, k24,      kScreen,        0, kNoCheck,       kBorder,   {{8, 8, kQuarterRed}}},
    {"range 200 in mode 1 at 128",            kPlain,         1, 128, 1, kLoadedAlpha, 128, 200, k24,     kScreen,        0, kNoCheck,       kBorder,   {{8, 8, kQuarterRed}}},
    {"range 64 on a sub-graph, rotated",      kRotated,       1, 128, 1, kLoadedAlpha, 128, 64, k24,      kSubTargetAway, 0, kNoCheck,       kBorder,   {{56, 56, kQuarterRed}}},
    {"blend graph, stretched, drawable target", kStretched,   0,   0, 1, kLoaded,     128,   0, k24,      kDrawableTarget, 0, kNoCheck,      kSampling, {}},
    {"blend graph, part, through the mask",   kPart,          0,   0, 1, kLoaded,     128,   0, k24,      kScreen,        1, kNoCheck,       kRounding, {{4, 4, kGround}, {12, 12, kBlue}}},
    {"blend graph, quadrilateral, DXT5",      kQuad,          1, 128, 1, kLoadedAlpha, 128, 64, kDxt5,    kScreen,        0, kNoCheck,       kBorder,   {{8, 8, kQuarterRed}}},
    {"blend graph, palette source",           kPlain,         0,   0, 1, kLoaded,     128,   0, kPal8,    kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    {"blend graph, alpha source, drawable",   kPlain,         1, 128, 1, kDrawable,   128,  64, kAlpha,   kScreen,        0, kNoCheck,       kRounding, {{8, 8, kGround}}},
    {"colour modes under a blend graph",      kPlain,  kColourModes, 0, 0, kLoaded,   128,  64, k24,      kScreen,        0, kNoCheck,       kColourModesWipe, {}},
    {"thick line between two blended draws",  kThickBetween,  0,   0, 1, kLoaded,     128,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{8, 8, kGround}, {24, 24, kBlue}, {8, 48, kGround}, {24, 48, kBlue}}},
    {"polygons between two blended draws",    kPolygonsBetween, 0, 0, 1, kLoaded,     128,   0, k24,      kScreen,        0, kNoCheck,       kDeviceOnly, {{8, 8, kGround}, {8, 48, kGround}}},
    {"graph draws after the blend graph is deleted", kDeleteBlend, 0, 0, 1, kLoaded,  128,   0, k24,      kScreen,        0, kNoCheck,       kExact,    kSpriteProbes},
    // Device re-creation.
    {"alpha blend graph kept through a re-creation", kPlain, kBlendingModes, 0, 1, kLoadedAlpha, 100, 64, k24, kScreen,        0, kRecreateKept,  kBorder,   {}},
    {"alpha blend graph set after a re-creation", kPlain,     1, 160, 1, kLoadedAlpha, 100, 64, k24,      kScreen,        0, kRecreateSetAfter, kBorder, {}},
    {"loaded blend graph kept, mode 2",       kPlain,         2, 128, 1, kLoaded,     128,  64, k24,      kScreen,        0, kRecreateKept,  kBorder,   {}},
    {"palette graph after a re-creation",     kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kRecreateKept,  kExact,    {{8, 8, kRed}, {24, 24, kBlue}}},
    {"DXT1 graph after a re-creation",        kPlain,         0,   0, 1, kNone,         0,   0, kDxt1,    kScreen,        0, kRecreateKept,  kExact,    {{8, 8, kRed}, {24, 24, kBlue}}},
    {"divided DXT1 sheet after a re-creation", kPlain,        0,   0, 1, kNone,         0,   0, kSheetDxt1, kScreen,      0, kRecreateKept,  kExact,    {{8, 8, kRed}, {48, 8, kGreen}}},
    {"divided DXT5 sheet after a re-creation", kPlain,        0,   0, 1, kNone,         0,   0, kSheetDxt5, kScreen,      0, kRecreateKept,  kExact,    {{8, 8, kRed}, {48, 8, kGreen}}},
    {"string after a re-creation",            kString,        0,   0, 1, kNone,         0,   0, kFont3,   kScreen,        0, kRecreateKept,  kTextDiffers, {}},
    // Palette keys: the pixels whose colour is the transparent colour are skipped.
    {"8-bit BMP key",                         kPlain,         0,   0, 1, kNone,         0,   0, kKey8,    kScreen,        0, kKeyRowCheck,   kNearKey,  {}},
    {"4-bit BMP key",                         kPlain,         0,   0, 1, kNone,         0,   0, kKey4,    kScreen,        0, kKeyRowCheck,   kNearKey,  {}},
    {"RLE8 BMP key",                          kPlain,         0,   0, 1, kNone,         0,   0, kKeyRle8, kScreen,        0, kKeyRowCheck,   kNearKey,  {}},
    {"palette PNG key",                       kPlain,         0,   0, 1, kNone,         0,   0, kKeyPalPng, kScreen,      0, kKeyRowCheck,   kNearKey,  {}},
    {"grey PNG key",                          kPlain,         0,   0, 1, kNone,         0,   0, kKeyGreyPng, kScreen,     0, kKeyRowCheck,   kNearKey,  {}},
    // Strings under a blend graph that lets everything through, and in multiply.
    {"string of type 0 under a blend graph",  kString,        0,   0, 1, kLoadedAlpha, 100,  0, kFont0,   kScreen,        0, kAsWithoutBlend, kTextDiffers, {}},
    {"string of type 2 under a blend graph",  kString,        0,   0, 1, kLoadedAlpha, 100,  0, kFont2,   kScreen,        0, kAsWithoutBlend, kTextDiffers, {}},
    {"string of type 2 in mode 4",            kString,        4, 255, 1, kNone,         0,   0, kFont2,   kScreen,        0, kUntouchedAsMode0, kTextDiffers, {}},
    {"string of type 3 in mode 4",            kString,        4, 255, 1, kNone,         0,   0, kFont3,   kScreen,        0, kUntouchedAsMode0, kTextDiffers, {}},
    // Geometry far beyond the screen, and an empty stretch.
    {"rotated at scale 1000",                 kHugeRotated1000, 0, 0, 0, kNone,         0,   0, kSolid16, kScreen,        0, kNoCheck,       kExact,    kCovered},
    {"rotated at scale 4096",                 kHugeRotated4096, 0, 0, 0, kNone,         0,   0, kSolid16, kScreen,        0, kNoCheck,       kExact,    kCovered},
    {"quadrilateral with corners 1e7 away",   kHugeQuad,      0,   0, 0, kNone,         0,   0, kSolid16, kScreen,        0, kNoCheck,       kExact,    kCovered},
    {"stretched to zero width",               kZeroStretch,   0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{40, 20, kGround}}},
    {"rotated at scale 1e13",                 kHugeRotated1e13, 0, 0, 0, kNone,         0,   0, kSolid16, kScreen,        0, kNoCheck,       kExact,    kCovered},
    // Scale 0 draws nothing: one result on both paths.
    {"rotated at scale 0",                    kZeroScale,     0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{80, 60, kGround}}},
    // Quadrilaterals turned over: every row and column of the graph lands.
    {"quadrilateral upside down",             kQuadFlipped,   0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{2, 31, kBlack}, {8, 31, kRed}, {24, 31, kBlue}, {2, 0, kRed}, {8, 32, kGround}}},
    {"quadrilateral a half turn",             kQuadHalfTurn,  0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kNoCheck,       kSampling, {{29, 31, kBlack}, {24, 31, kRed}, {8, 31, kBlue}, {8, 0, kBlue}}},
    // One point: one result on both paths; through the mask: as without it where it is open.
    {"quadrilateral of one point, blend graph", kQuadPoint,   0,   0, 1, kLoaded,     128,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{20, 20, kGround}}},
    {"quadrilateral of no height, blend graph", kQuadFlat,    0,   0, 1, kLoaded,     128,   0, k24,      kScreen,        0, kNoCheck,       kExact,    {{20, 20, kGround}}},
    {"quadrilateral through the mask",        kQuadFraction,  0,   0, 0, kNone,         0,   0, k24,      kScreen,        1, kAsReference,   kSampling, {}, kLoad, k24},
    // The same picture in graphs of other kinds draws alike.
    {"palette graph as the 24-bit one",       kPlain,         1, 160, 1, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kRounding,   {}, kLoad, k24},
    // A palette without the transparent colour has no pixel to skip: its last index draws too.
    {"palette without the key colour",        kPlain,         0,   0, 1, kNone,         0,   0, kNoKey8,  kScreen,        0, kAsReference,   kAlphaTestGreen, {}, kLoad, kNoKey24},
    {"palette without the key colour, stretched", kStretched, 0,   0, 1, kNone,         0,   0, kNoKey8,  kScreen,        0, kAsReference,   kSampling, {}, kLoad, kNoKey24},
    {"palette without the key colour on alpha", kPlain,       0,   0, 1, kNone,         0,   0, kNoKey8,  kDrawableAlphaTarget, 0, kAsReference, kAlphaTestGreen, {}, kLoad, kNoKey24},
    {"30 x 18 palette graph as the 24-bit one", kStretched,   0,   0, 1, kNone,         0,   0, kOddPal8, kScreen,        0, kAsReference,   kSampling, {}, kLoad, kOdd24},
    // Roads into a graph: each draws as a load of the road's picture (a green load for a fill).
    {"24-bit graph reloaded, 24-bit",         kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kAsReference,   kExact,    {}, kReload, kSwap24},
    {"24-bit graph reloaded, palette",        kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kAsReference,   kExact,    {}, kReload, kSwapPal8},
    {"palette graph reloaded, palette",       kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kExact,    {}, kReload, kSwapPal8},
    // The new picture in the palette's nearest colours and keyed, or a refusal; never black.
    {"palette graph reloaded, 24-bit",        kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kExact,    {}, kReload, kSwap24},
    {"palette graph reloaded, 24-bit, no key", kPlain,        0,   0, 0, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kExact,    {}, kReload, kSwap24},
    {"30 x 18 palette graph reloaded, 24-bit", kPlain,        0,   0, 1, kNone,         0,   0, kOddPal8, kScreen,        0, kAsReference,   kExact,    {}, kReload, kOddSwap24},
    {"sub-graph reloaded, 24-bit",            kPlain,         0,   0, 1, kNone,         0,   0, kSubSource, kScreen,      0, kAsReference,   kExact,    {}, kReload, kSwap24},
    // The same file gives the same picture.
    {"37 x 23 DXT1 graph reloaded from its file", kPlain,      0,   0, 1, kNone,         0,   0, kOddDxt1, kScreen,     0, kAsReference,   kExact,    {}, kReload, kOddDxt1},
    // Copies from the screen: what the screen held, keyed as after a load.
    {"24-bit graph copied into",              kPlain,         0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kAsReference,   kExact,    {{8, 8, kBlue}}, kCopyScreen},
    {"keyed graph copied into",               kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kAsReference,   kExact,    {{2, 2, kGround}}, kCopyScreen},
    {"palette graph copied into",             kPlain,         0,   0, 0, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kExact,    {{8, 8, kBlue}}, kCopyScreen},
    {"30 x 18 palette graph copied into",     kPlain,         1, 128, 1, kNone,         0,   0, kOddPal8, kScreen,        0, kAsReference,   kRounding, {}, kCopyScreen, kOddSwap24},
    {"DXT1 graph copied into",                kPlain,         0,   0, 0, kNone,         0,   0, kDxt1,    kScreen,        0, kAsReference,   kExact,    {}, kCopyScreen},
    {"sub-graph copied into",                 kPlain,         0,   0, 0, kNone,         0,   0, kSubSource, kScreen,      0, kAsReference,   kExact,    {}, kCopyScreen},
    {"drawable graph copied into",            kPlain,         0,   0, 0, kNone,         0,   0, kDrawableSource, kScreen, 0, kAsReference,   kExact,    {}, kCopyScreen},
    {"drawable graph with alpha copied into", kPlain,         0,   0, 1, kNone,         0,   0, kDrawableAlphaSource, kScreen, 0, kAsReference, kExact, {}, kCopyScreen},
    // Fills: a box of the colour, or (not drawable, device; or refused) the graph as it was.
    {"24-bit graph filled",                   kPlain,         0,   0, 1, kNone,         0,   0, k24,      kScreen,        0, kAsReference,   kFillSoftwareOnly, {}, kFill, kGreen32},
    {"palette graph filled",                  kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kFillSoftwareOnly, {}, kFill, kGreen32},
    {"alpha graph filled",                    kPlain,         0,   0, 1, kNone,         0,   0, kAlpha,   kScreen,        0, kAsReference,   kFillSoftwareOnly, {}, kFill, kGreen32},
    {"palette graph filled with the key colour", kPlain,     0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kAsReference,   kFillSoftwareOnly, {}, kFill, kBlack32},
    {"30 x 18 palette graph filled",          kPlain,         0,   0, 1, kNone,         0,   0, kOddPal8, kScreen,        0, kAsReference,   kFillSoftwareOnly, {}, kFill, kOddGreen},
    {"drawable graph filled",                 kPlain,         0,   0, 1, kNone,         0,   0, kDrawableSource, kScreen, 0, kAsReference,   kExact,    {{8, 8, kGreen}}, kFill, kGreen32},
    {"drawable graph with alpha filled",      kPlain,         0,   0, 1, kNone,         0,   0, kDrawableAlphaSource, kScreen, 0, kAsReference, kExact, {{8, 8, kGreen}}, kFill, kGreen32},
    // Draws into a graph as the target, with and without alpha: as the same draws on the screen.
    {"drawable graph drawn into",             kPlain,         0,   0, 0, kNone,         0,   0, kDrawableSource, kScreen, 0, kAsReference,   kExact,    {{2, 2, kBlack}, {8, 8, kBlue}}, kDrawnInto},
    {"drawable graph with alpha drawn into",  kPlain,         0,   0, 0, kNone,         0,   0, kDrawableAlphaSource, kScreen, 0, kAsReference, kExact, {{2, 2, kBlack}, {8, 8, kBlue}}, kDrawnInto},
    {"plain on a drawable target with alpha", kPlain,         0,   0, 1, kNone,         0,   0, k24,      kDrawableAlphaTarget, 0, kAsReference, kExact, kSpriteProbes, kLoad, k24},
    {"box on a drawable target with alpha",   kBox,           0,   0, 0, kNone,         0,   0, k24,      kDrawableAlphaTarget, 0, kAsReference, kExact, {{8, 8, kRed}}, kLoad, k24},
    // Events: the graph's pixels after re-creations (the program's own: blank or kept), the
    // draw target after a mode change there and back, and after its graph is deleted.
    {"copied into, re-created",               kPlain,         0,   0, 0, kNone,         0,   0, k24,      kScreen,        0, kRecreateKept,  kExact,    {{8, 8, kBlue}}, kCopyScreen},
    {"DXT1 copied into, re-created",          kPlain,         0,   0, 0, kNone,         0,   0, kDxt1,    kScreen,        0, kRecreateKept,  kExact,    {{8, 8, kBlue}}, kCopyScreen},
    {"drawable drawn into, re-created",       kPlain,         0,   0, 0, kNone,         0,   0, kDrawableSource, kScreen, 0, kRecreateKept,  kExact,    {}, kDrawnInto},
    {"palette graph reloaded, re-created",    kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kRecreateKept,  kExact,    {}, kReload, kSwapPal8},
    {"drawn on a target with alpha, re-created", kPlain,      1, 128, 1, kNone,         0,   0, k24,      kDrawableAlphaTarget, 0, kRecreateKept, kRounding, {}},
    {"back screen through a mode change",     kPlain,         0,   0, 1, kNone,         0,   0, kPal8,    kScreen,        0, kTargetAfterModeChange, kExact, kSpriteProbes},
    {"sub-graph copied into, sheet deleted",  kPlain,         0,   0, 1, kNone,         0,   0, kSubSource, kScreen,      0, kSheetDeleted,  kExact,    {{8, 8, kBlue}}, kCopyScreen},
    {"target graph deleted",                  kPlain,         0,   0, 1, kNone,         0,   0, k24,      kDrawableTarget, 0, kTargetAfterDelete, kExact, kSpriteProbes},
    // Blend graphs in time: drawn into while set, two in a frame, a drawable one with alpha.
    {"drawable blend graph opened between draws", kBlendRedrawnBetween, 0, 0, 1, kDrawable, 128, 0, k24, kScreen,        0, kNoCheck,       kRounding, {{8, 8, kGround}, {24, 24, kBlue}, {8, 48, kRed}, {24, 64, kBlue}}},
    {"two drawable blend graphs in a frame",  kTwoBlendGraphs, 0,  0, 1, kDrawable,   128,   0, k24,      kScreen,        0, kNoCheck,       kRounding, {{8, 8, kGround}, {24, 24, kBlue}, {8, 48, kRed}, {24, 64, kGround}}},
    {"drawable blend graph with alpha",       kPlain,         0,   0, 1, kDrawableAlphaBlend, 128, 0, k24,    kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    {"drawable blend graph opened, stretched", kBlendRedrawnStretched, 0, 0, 1, kDrawable, 128, 0, k24, kScreen,        0, kNoCheck,       kSampling, {{8, 8, kGround}, {24, 24, kBlue}, {8, 48, kRed}, {24, 64, kBlue}}},
    {"drawable blend graph, no alpha test",   kPlain,         0,   0, 1, kDrawableNoAlphaTest, 128, 0, k24,   kScreen,        0, kAsWithoutBlend, kRounding, kSpriteProbes},
    {"palette blend graph",                   kPlain,         0,   0, 1, kLoadedPalette, 128, 0, k24,        kScreen,        0, kNoCheck,       kRounding, kLeftClosed},
    // The draw state after a string, and the edge of edged text in every mode.
    {"string in mode 4, then a keyed graph",  kStringThenKeyed, 4, 255, 1, kNone,       0,   0, kKey8,    kScreen,        0, kKeyRowCheck,   kTextDiffers, {}},
    {"edged string",                          kString,  kAllModes, 0, 1, kNone,         0,   0, kFont1,   kScreen,        0, kEdgeAsMode0,   kTextDiffers, {}},
};
// clang-format on

// ---------------------------------------------------------------- drawing one cell

struct CellRun {
    const Cell* cell;
    int mode, param;
    std::string name;
};
std::vector<CellRun> Runs() {
    std::vector<CellRun> runs;
    for (const Cell& c : kCells) {
        if (c.mode >= 0) {
            runs.push_back({&c, c.mode, c.param, c.name});
            continue;
        }
        for (const auto& [mode, param] : kSweeps[-1 - c.mode])
            runs.push_back(
                {&c, mode, param, std::string(c.name) + ", mode " + std::to_string(mode)});
    }
    return runs;
}

struct Outcome {
    Picture picture;
    int result = 0;
    std::vector<std::string> failures;
};

// The files of the loaded source kinds, in their order.
const char* const kFiles[] = {
    "sprite.bmp",  "alpha.bmp",    "pal8.bmp",   "dxt1.dds",  "dxt5.dds",   "sheet1.dds",
    "sheet5.dds",  "solid16.bmp",  "key8.bmp",   "key4.bmp",  "keyrle.bmp", "keypal.png",
    "keygrey.png", "swap.bmp",     "swap8.bmp",  "green.bmp", "odd.bmp",    "odd8.bmp",
    "oddswap.bmp", "oddgreen.bmp", "odddxt1.dds", "black.bmp", "nokey.bmp", "nokey8.bmp"};

Bytes ReadBytes(const char* path) {
    Bytes b;
    if (FILE* in = std::fopen(path, "rb")) {
        for (int ch; (ch = std::fgetc(in)) != EOF;) b.push_back(static_cast<uint8_t>(ch));
        std::fclose(in);
    }
    return b;
}

// Reloads and fills may refuse (-1) and leave the graph as it was; the other roads must land.
bool MayRefuse(Road road) {
    return road == kReload || road == kFill;
}
// Every road but the load puts in pixels the program supplied: after a re-creation the graph
// comes back blank or keeps them.
bool ProgramSupplied(Road road) {
    return road != kLoad;
}
// Calls whose result has no rule of its own but must be one on both paths.
bool AnyResult(Call call) {
    return call == kZeroStretch || call == kZeroScale || call == kQuadPoint;
}

class Session {
public:
    int screen = -1, depth = 32;
    bool device = false;
    int fonts[4] = {-1, -1, -1, -1};
    uint32_t levels[256] = {};  // grey v as the screen shows it

    void MakeFonts() {
        for (int type = 0; type < 4; ++type)
            fonts[type] = CreateFontToHandle(nullptr, 16, -1, type, -1, -1, 0, -1, -1);
    }
    // The screen's own levels of each channel value, drawn as greys and read back.
    void Calibrate() {
        SetDrawTarget(screen);
        for (int v = 0; v < 256; ++v)
            FillBox(v % kW, v / kW, v % kW + 1, v / kW + 1, GetScreenColor(v, v, v));
        const Picture p = ReadScreen(kW, kH);
        for (int v = 0; v < 256 && !p.empty(); ++v) levels[v] = p[v];
    }
    // The colour as the screen holds it.
    uint32_t Q(uint32_t rgb) const {
        return (levels[rgb >> 16 & 0xFF] & 0xFF0000) | (levels[rgb >> 8 & 0xFF] & 0xFF00) |
               (levels[rgb & 0xFF] & 0xFF);
    }
    int Steps(Tol tol) const {
        return depth == 16 ? kTolerances[tol].steps16 : kTolerances[tol].steps;
    }

    // The cell's graphs, loaded or made for it and deleted after it.
    struct Graphs {
        int source = -1, second = -1, blend = -1, blendSheet = -1, target = -1, targetSheet = -1;
        int sourceSheet = -1, blend2 = -1;
        int road = 0;  // the road's result
    };
    // A drawable graph of the blend graphs' size: black left half, white right half (inverted:
    // the other way round); with alpha, the black half is left as made.
    int MakeBlendGraph(bool inverted, bool alpha) {
        SetCreateDrawValidGraphFlag(1);
        SetMakeGraphAlphaFlag(alpha ? 1 : 0);
        const int blend = MakeGraph(32, 120);
        SetMakeGraphAlphaFlag(0);
        SetCreateDrawValidGraphFlag(0);
        SetDrawTarget(blend);
        if (!alpha) FillBox(inverted ? 16 : 0, 0, inverted ? 32 : 16, 120, GetScreenColor(0, 0, 0));
        FillBox(inverted ? 0 : 16, 0, inverted ? 16 : 32, 120, GetScreenColor(255, 255, 255));
        SetDrawTarget(screen);
        return blend;
    }
    // Puts the road's pixels into the source; the road's result.
    int PutPixels(const Cell& c, const Graphs& g) {
        int w = 0, h = 0, result = 0;
        GetGraphSize(g.source, &w, &h);
        if (c.road == kReload) {
            const Bytes data = ReadBytes(kFiles[c.picture]);
            return ReloadGraphFromMemory(data.data(), int(data.size()), g.source, nullptr, 0, 1, 0);
        }
        if (c.road == kFill)
            return FillGraphColor(g.source, 0, c.picture == kBlack32 ? 0 : 255, 0, 255);
        const int picture = LoadGraphHandle(kFiles[c.picture], 0);
        if (c.road == kCopyScreen) {
            SetDrawTarget(screen);
            FillBox(0, 0, kW, kH, GetScreenColor(0x40, 0x60, 0x80));
            DrawGraphAt(0, 0, picture, 0);
            result = CopyScreenRectToGraph(0, 0, w, h, g.source);
        } else {
            result = SetDrawTarget(g.source);
            if (result == 0) result = DrawGraphAt(0, 0, picture, 0);
            SetDrawTarget(screen);
        }
        DeleteGraph(picture);
        return result;
    }
    Graphs Make(const Cell& c) {
        Graphs g;
        const char* const* files = kFiles;
        if (c.source == kSheetDxt1 || c.source == kSheetDxt5) {
            int cells[2] = {-1, -1};
            EXPECT_EQ(LoadDividedGraphs(files[c.source], 2, 2, 1, 16, 16, cells, 0), 0);
            g.source = cells[0], g.second = cells[1];
        } else if (c.source < kFont0) {
            g.source = LoadGraphHandle(files[c.source], 0);
            EXPECT_GE(g.source, 0) << files[c.source];
        }
        if (c.source == kSubSource) {
            g.sourceSheet = LoadGraphHandle("spritesheet.bmp", 0);
            g.source = CreateSubGraph(32, 0, 32, 32, g.sourceSheet);
        }
        SetCreateDrawValidGraphFlag(1);
        if (c.source == kDrawableSource || c.source == kDrawableAlphaSource) {
            SetMakeGraphAlphaFlag(c.source == kDrawableAlphaSource ? 1 : 0);
            g.source = MakeGraph(32, 32);
            SetMakeGraphAlphaFlag(0);
        }
        SetMakeGraphAlphaFlag(c.target == kDrawableAlphaTarget ? 1 : 0);
        if (c.target == kDrawableTarget || c.target == kDrawableAlphaTarget)
            g.target = MakeGraph(kW, kH);
        SetMakeGraphAlphaFlag(0);
        if (c.target == kSubTargetAway) {
            g.targetSheet = MakeGraph(320, 240);
            g.target = CreateSubGraph(100, 60, kW, kH, g.targetSheet);
        }
        SetCreateDrawValidGraphFlag(0);
        if (c.blend == kDrawable || c.blend == kDrawableAlphaBlend ||
            c.blend == kDrawableNoAlphaTest)
            g.blend = MakeBlendGraph(false, c.blend == kDrawableAlphaBlend);
        if (c.call == kTwoBlendGraphs) g.blend2 = MakeBlendGraph(true, false);
        if (c.blend == kLoaded) g.blend = LoadGraphHandle("halfblend.bmp", 0);
        if (c.blend == kLoadedPalette) g.blend = LoadGraphHandle("halfblend8.bmp", 0);
        if (c.blend == kLoadedAlpha) g.blend = LoadGraphHandle("alphablend.png", 0);
        if (c.blend == kMovie) {
            g.blend = LoadGraphHandle("blend.ogv", 0);
            DrawGraphAt(400, 300, g.blend, 0);  // brings its first frame in
        }
        if (c.blend == kSubBlend) {
            g.blendSheet = LoadGraphHandle("blendsheet.bmp", 0);
            g.blend = CreateSubGraph(32, 0, 32, 32, g.blendSheet);
        }
        if (c.blend == kTargetItself) g.blend = g.target;
        if (c.blend != kNone) {
            EXPECT_GE(g.blend, 0);
        }
        if (c.road != kLoad) g.road = PutPixels(c, g);
        return g;
    }
    void Delete(const Graphs& g) {
        for (int h : {g.second, g.source, g.blend == g.target ? -1 : g.blend, g.blendSheet,
                      g.target, g.targetSheet, g.sourceSheet, g.blend2})
            if (h >= 0) DeleteGraph(h);
    }

    // Draws the cell into its target and gives the screen's 160 x 120 that shows it.
    Picture Draw(const Cell& c, Graphs& g, int mode, int param, bool setBlend, bool clearBlend,
                 int* result) {
        auto colour = [](uint32_t rgb) {
            return GetScreenColor(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
        };
        const int target = g.target >= 0 ? g.target : screen;
        SetDrawTarget(target);
        const uint32_t ground = c.check == kUntouchedAsMode0 ? kGrey : kGround;
        FillBox(0, 0, kW, kH, colour(ground));
        if (c.blend == kTargetItself) FillBox(0, 0, 16, kH, colour(kBlack));
        if (c.mask) {
            std::vector<uint8_t> closed(kW * kH);
            for (int i = 0; i < kW * kH; ++i) closed[i] = i % kW < 16 ? 0 : 255;
            EXPECT_EQ(CreateMaskScreen(1), 0);
            EXPECT_EQ(SetUseMaskScreen(1), 0);
            EXPECT_EQ(WriteMaskScreenRect(0, 0, kW, kH, closed.data(), kW), 0);
        }
        SetBlendMode(mode, param);
        if (c.blend == kDrawableNoAlphaTest) SetUseAlphaTestFlag(0);
        if (setBlend && c.blend != kNone) {
            EXPECT_EQ(SetBlendGraph(g.blend, c.threshold, c.range), 0);
        }
        const int s = g.source, t = c.trans;
        std::vector<int> r;
        const PolygonVertex strip[4] = {{60, 80, 0, 0, 0xFFFF0000},
                                        {150, 80, 0, 0, 0xFFFF0000},
                                        {60, 110, 0, 0, 0xFFFF0000},
                                        {150, 110, 0, 0, 0xFFFF0000}};
        // clang-format off
        switch (c.call) {
            case kPlain:
                r.push_back(DrawGraphAt(0, 0, s, t));
                if (g.second >= 0) r.push_back(DrawGraphAt(40, 0, g.second, t));
                break;
            case kStretched: r.push_back(DrawGraphStretched(0, 0, 64, 64, s, t)); break;
            case kRotated: r.push_back(DrawGraphRotated(48, 48, 1.0, M_PI, s, t, 0)); break;
            case kTurned: r.push_back(DrawGraphMirrored(0, 0, s, t)); break;
            case kPart: r.push_back(DrawGraphPart(0, 0, 8, 8, 16, 16, s, t, 0)); break;
            case kQuad: r.push_back(DrawGraphQuad(0, 0, 32, 0, 32, 32, 0, 32, s, t)); break;
            case kString:
                r.push_back(DrawStringWithFont(4, 8, "Velk 0123", colour(kWhite),
                                               fonts[c.source - kFont0], colour(kRed), 0));
                break;
            case kBox: r.push_back(FillBox(0, 0, 32, 32, colour(kRed))); break;
            case kLine: r.push_back(DrawLineShape(0, 40, 100, 40, colour(kRed), 1)); break;
            case kThickLine: r.push_back(DrawLineShape(0, 60, 100, 60, colour(kRed), 5)); break;
            case kPolygons: r.push_back(DrawPolygonList(strip, 4, 5, -5, 0, 0)); break;
            case kThickBetween:
            case kPolygonsBetween:
                r.push_back(DrawGraphAt(0, 0, s, t));
                r.push_back(c.call == kThickBetween
                                ? DrawLineShape(60, 100, 150, 100, colour(kGreen), 3)
                                : DrawPolygonList(strip, 4, 5, -5, 0, 0));
                r.push_back(DrawGraphAt(0, 40, s, t));
                break;
            case kDeleteBlend:
                r.push_back(DeleteGraph(g.blend));
                g.blend = -1;
                r.push_back(DrawGraphAt(0, 0, s, t));
                break;
            case kHugeRotated1000: r.push_back(DrawGraphRotated(80, 60, 1000, 0.3, s, t, 0)); break;
            case kHugeRotated4096: r.push_back(DrawGraphRotated(80, 60, 4096, 0.3, s, t, 0)); break;
            case kHugeQuad:
                r.push_back(DrawGraphQuad(-1e7f, -1e7f, 1e7f, -1e7f, 1e7f, 1e7f, -1e7f, 1e7f, s, t));
                break;
            case kZeroStretch: r.push_back(DrawGraphStretched(40, 10, 40, 80, s, t)); break;
            case kHugeRotated1e13: r.push_back(DrawGraphRotated(80, 60, 1e13, 0.3, s, t, 0)); break;
            case kZeroScale: r.push_back(DrawGraphRotated(80, 60, 0.0, 0.3, s, t, 0)); break;
            case kQuadFlipped: r.push_back(DrawGraphQuad(0, 32, 32, 32, 32, 0, 0, 0, s, t)); break;
            case kQuadHalfTurn: r.push_back(DrawGraphQuad(32, 32, 0, 32, 0, 0, 32, 0, s, t)); break;
            case kQuadPoint: r.push_back(DrawGraphQuad(20, 20, 20, 20, 20, 20, 20, 20, s, t)); break;
            case kQuadFlat: r.push_back(DrawGraphQuad(10, 20, 40, 20, 40, 20, 10, 20, s, t)); break;
            case kQuadFraction:
                r.push_back(DrawGraphQuad(2.6f, 2.6f, 14.7f, 2.6f, 14.7f, 14.7f, 2.6f, 14.7f, s, t));
                break;
            case kBlendRedrawnBetween:
            case kBlendRedrawnStretched:
            case kTwoBlendGraphs:
                r.push_back(DrawGraphAt(0, 0, s, t));
                if (c.call == kTwoBlendGraphs) {
                    r.push_back(SetBlendGraph(g.blend2, c.threshold, c.range));
                } else {  // the blend graph opened whole while it is set
                    SetDrawTarget(g.blend);
                    FillBox(0, 0, 32, 120, colour(kWhite));
                    SetDrawTarget(target);
                }
                r.push_back(c.call == kBlendRedrawnStretched ? DrawGraphStretched(0, 40, 32, 72, s, t)
                                                             : DrawGraphAt(0, 40, s, t));
                break;
            case kStringThenKeyed:
                r.push_back(DrawStringWithFont(4, 40, "Velk 0123", colour(kWhite), fonts[0],
                                               colour(kRed), 0));
                SetBlendMode(0, 0);
                r.push_back(DrawGraphAt(0, 0, s, t));
                break;
        }
        // clang-format on
        SetBlendMode(0, 0);
        SetUseAlphaTestFlag(1);
        if (clearBlend) SetBlendGraph(-1, 0, 0);
        if (c.mask) SetUseMaskScreen(0);
        if (g.target >= 0) {
            SetDrawTarget(screen);
            const bool alpha = c.target == kDrawableAlphaTarget;  // its alpha shown over white
            if (alpha) FillBox(0, 0, kW, kH, colour(kWhite));
            DrawGraphAt(0, 0, g.target, alpha ? 1 : 0);
        }
        *result = 0;
        for (int v : r)
            if (v != 0 && *result == 0) *result = v;
        return ReadScreen(kW, kH);
    }

    static auto Failer(std::vector<std::string>& failures) {
        return [&failures](const char* what, int x, int y, uint32_t want, uint32_t got) {
            char text[160];
            std::snprintf(text, sizeof text, "%s at (%d, %d): want %06x, got %06x", what, x, y,
                          want, got);
            failures.push_back(text);
        };
    }
    static uint32_t At(const Picture& p, int x, int y) {
        return p.empty() ? 0xDEADu : p[y * kW + x];
    }

    // The cell drawn again after a re-creation: as before, or, for pixels the program supplied,
    // blank (black, or keyed away) where it is not as before.
    void CompareRecreated(const CellRun& run, Graphs& g, Outcome& out, bool blendKept) {
        const Cell& c = *run.cell;
        int ignored = 0;
        Picture second = Draw(c, g, run.mode, run.param, !blendKept, true, &ignored);
        const uint32_t ground = At(out.picture, kW - 1, kH - 1);
        for (size_t i = 0; ProgramSupplied(c.road) && i < second.size(); ++i)
            if (second[i] == Q(kBlack) || second[i] == ground) second[i] = out.picture[i];
        Differ("after the re-creation", out.picture, second, Failer(out.failures));
    }
    // The cells waiting for a re-creation share one, and those with pixels the program supplied
    // a second.
    struct Waiting {
        const CellRun* run;
        Graphs graphs;
        size_t outcome;
    };
    std::vector<Waiting> waiting;
    void PlayRecreated(std::vector<Outcome>& outcomes) {
        for (int round = 0; round < 2 && !waiting.empty(); ++round) {
            RecreateDeviceSameMode();
            ProcessMessage();
            for (Waiting& w : waiting)
                if (round == 0 || ProgramSupplied(w.run->cell->road))
                    CompareRecreated(*w.run, w.graphs, outcomes[w.outcome], false);
        }
        for (const Waiting& w : waiting) Delete(w.graphs);
        waiting.clear();
    }

    // The cell on this path: its picture, its draws' result and what its own checks found.
    void Play(const CellRun& run, std::vector<Outcome>& outcomes) {
        const Cell& c = *run.cell;
        outcomes.emplace_back();
        Outcome& out = outcomes.back();
        Graphs g = Make(c);
        const bool kept = c.check == kRecreateKept;
        out.picture = Draw(c, g, run.mode, run.param, true, !kept, &out.result);
        auto fail = Failer(out.failures);
        auto at = At;
        const int steps = Steps(c.tol);
        for (const Probe& p : c.probes)
            if (ChannelDistance(at(out.picture, p.x, p.y), Q(p.rgb)) > steps)
                fail("probe", p.x, p.y, Q(p.rgb), at(out.picture, p.x, p.y));
        if (!AnyResult(c.call) && out.result != 0) fail("draw result", 0, 0, 0, out.result);
        // A refused road, or a fill of a graph that is not drawable on the device, which
        // leaves it as it was.
        const bool refused = (g.road != 0 && MayRefuse(c.road)) ||
                             (c.road == kFill && device && c.source != kDrawableSource &&
                              c.source != kDrawableAlphaSource);
        if (g.road != 0 && !refused) fail("the road's result", 0, 0, 0, g.road);
        const uint32_t ground = at(out.picture, kW - 1, kH - 1);
        Picture second;
        int ignored = 0;
        switch (c.check) {
            case kRecreateKept:
            case kRecreateSetAfter:
                if (kept && c.blend != kNone) {  // the blend graph set through a re-creation
                    RecreateDeviceSameMode();
                    ProcessMessage();
                    CompareRecreated(run, g, out, true);
                    break;
                }
                waiting.push_back({&run, g, outcomes.size() - 1});
                return;
            case kAsWithoutBlend:
                second = Draw(c, g, run.mode, run.param, false, true, &ignored);
                Differ("without the blend graph", second, out.picture, fail, Steps(kRounding));
                break;
            case kAsReference: {
                Cell ref = c;
                ref.road = kLoad, ref.check = kNoCheck, ref.mask = 0, ref.target = kScreen;
                ref.source = refused ? c.source : c.picture;
                Graphs rg = Make(ref);
                second = Draw(ref, rg, run.mode, run.param, true, true, &ignored);
                Delete(rg);
                Differ(refused ? "as the graph before its refused road" : "as the road's picture",
                       second, out.picture, fail, 0, c.mask ? 16 : kW);
                break;
            }
            case kTargetAfterModeChange:
                PlayRecreated(outcomes);  // their graphs go with the change
                SetDrawTarget(-2);
                for (int bits : {48 - depth, depth}) {
                    ChangeScreenMode(-1, -1, bits, 0, -1);
                    ProcessMessage();
                    if (GetDrawTarget() != -2)
                        fail("draw target after a mode change", bits, 0, -2, GetDrawTarget());
                }
                SetDrawTarget(screen);
                MakeFonts();
                g = Make(c);  // every graph went with the change
                second = Draw(c, g, run.mode, run.param, true, true, &ignored);
                Differ("after a mode change and back", out.picture, second, fail);
                break;
            case kTargetAfterDelete:
                SetDrawTarget(-2);
                SetDrawTarget(g.target);
                DeleteGraph(g.target);
                g.target = -1;
                if (GetDrawTarget() != -2)
                    fail("draw target after its graph is deleted", 0, 0, -2, GetDrawTarget());
                SetDrawTarget(screen);
                break;
            case kSheetDeleted:
                DeleteGraph(g.sourceSheet);
                g.sourceSheet = -1;
                second = Draw(c, g, run.mode, run.param, true, true, &ignored);
                Differ("after its sheet is deleted", out.picture, second, fail);
                break;
            case kUntouchedAsMode0:
            case kEdgeAsMode0:
                second = Draw(c, g, 0, 0, true, true, &ignored);
                if (c.check == kEdgeAsMode0 &&
                    std::count(second.begin(), second.end(), Q(kRed)) < 20)
                    fail("edge pixels in mode 0 (at least 20)", 0, 0, 20, 0);
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x)
                        if (c.check == kUntouchedAsMode0
                                ? at(second, x, y) == Q(kGrey) && at(out.picture, x, y) != Q(kGrey)
                                : at(second, x, y) == Q(kRed) && at(out.picture, x, y) == ground) {
                            fail(c.check == kUntouchedAsMode0 ? "a pixel the glyphs leave alone"
                                                              : "an edge pixel left undrawn",
                                 x, y, at(second, x, y), at(out.picture, x, y));
                            y = kH;
                            break;
                        }
                break;
            case kKeyRowCheck:
                for (int x = 0; x < 8; ++x) {
                    uint32_t want = c.source == kKeyGreyPng ? kKeyGrey[x] * 0x010101u : kKeyRow[x];
                    const bool nearKey = depth == 16 && ChannelDistance(Q(want), 0) <= 4;
                    want = want == 0 ? Q(kGround) : Q(want);
                    if (ChannelDistance(at(out.picture, x, 1), want) > Steps(kAlphaTestGreen) &&
                        !(nearKey && at(out.picture, x, 1) == Q(kGround)))
                        fail("key row", x, 1, want, at(out.picture, x, 1));
                }
                break;
            case kInk: {
                int ink = 0;
                for (uint32_t p : out.picture) ink += p != Q(kGround);
                if (ink < 20) fail("lit pixels (at least 20)", 0, 0, 20, ink);
                break;
            }
            case kNoCheck:
                break;
        }
        Delete(g);
    }

    static int ChannelDistance(uint32_t a, uint32_t b) {
        int worst = 0;
        for (int s : {16, 8, 0})
            worst = std::max(worst, std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)));
        return worst;
    }
    template <typename Fail>
    static void Differ(const char* what, const Picture& want, const Picture& got, Fail fail,
                       int steps = 0, int toX = kW) {
        if (want.size() != got.size()) return fail(what, -1, -1, want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i)
            if (int(i % kW) < toX && ChannelDistance(want[i], got[i]) > steps)
                return fail(what, int(i % kW), int(i / kW), want[i], got[i]);
    }
};

// Device against software within the cell's tolerance: the first pixel beyond it, or "".
std::string CompareAcrossPaths(const Cell& c, const Picture& dev, const Picture& soft, int steps) {
    const Tolerance& t = kTolerances[c.tol];
    if (t.skip || steps < 0) return "";
    if (dev.size() != soft.size() || dev.empty()) return "no picture on one path";
    auto held = [&](const Picture& p, int x, int y, uint32_t value) {
        for (int dy = -t.shift; dy <= t.shift; ++dy)
            for (int dx = -t.shift; dx <= t.shift; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < kW && ny < kH &&
                    Session::ChannelDistance(p[ny * kW + nx], value) <= steps)
                    return true;
            }
        return false;
    };
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (x == 0 && y == 0) continue;  // the device's batch opens with a point there
            uint32_t a = dev[y * kW + x], b = soft[y * kW + x];
            if (held(soft, x, y, a) && held(dev, x, y, b)) continue;
            char text[160];
            std::snprintf(text, sizeof text, "(%d, %d): device %06x, software %06x beyond \"%s\"",
                          x, y, a, b, t.rule);
            return text;
        }
    return "";
}

}  // namespace

TEST_F(GlLibraryTest, DrawingCrossingsMatchTheRulesOnBothPaths) {
    WriteFiles();
    const std::vector<CellRun> runs = Runs();
    constexpr int kDepths[2] = {16, 32};
    std::vector<Outcome> outcomes[2][2];  // by depth and path
    for (int path = 0; path < 2; ++path) {
        const bool device = path == 0;
        if (!Start(device, !device)) {
            if (device) GTEST_SKIP() << "no OpenGL device on this display";
            FAIL() << "the software path did not start";
        }
        ProcessMessage();
        // The depth the path starts at first (16, the default, then kept from the last change),
        // then the other by a screen-mode change; two paths end at the depth they began with.
        const int first = GetColorBitDepth() == 32 ? 1 : 0;
        for (int k = 0; k < 2; ++k) {
            const int d = (first + k) % 2;
            if (k == 1) ChangeScreenMode(-1, -1, kDepths[d], 0, -1);
            ASSERT_EQ(GetColorBitDepth(), kDepths[d]) << (device ? "device" : "software");
            Session session;
            session.screen = GetDrawTarget();
            session.depth = kDepths[d];
            session.device = device;
            session.MakeFonts();
            session.Calibrate();
            for (const CellRun& run : runs) {
                session.Play(run, outcomes[d][path]);
                if (const char* dump = std::getenv("VELK_GL_TEST_DUMP"))
                    WritePpm(std::string(dump) + "/crossing-" + std::to_string(kDepths[d]) + "-" +
                                 std::to_string(outcomes[d][path].size()) +
                                 (device ? "-device" : "-software") + ".ppm",
                             outcomes[d][path].back().picture, kW, kH);
            }
            session.PlayRecreated(outcomes[d][path]);
        }
        Stop();
    }
    std::string failed;
    int failing = 0;
    for (int d = 0; d < 2; ++d) {
        const int depth = kDepths[d];
        for (size_t i = 0; i < runs.size(); ++i) {
            const Cell& c = *runs[i].cell;
            std::vector<std::string> found;
            for (int path = 0; path < 2; ++path)
                for (const std::string& f : outcomes[d][path][i].failures)
                    found.push_back(std::string(path == 0 ? "device: " : "software: ") + f);
            const Outcome &dev = outcomes[d][0][i], &soft = outcomes[d][1][i];
            if (dev.result != soft.result)
                found.push_back("results differ: device " + std::to_string(dev.result) +
                                ", software " + std::to_string(soft.result));
            std::string across = CompareAcrossPaths(
                c, dev.picture, soft.picture,
                depth == 16 ? kTolerances[c.tol].steps16 : kTolerances[c.tol].steps);
            if (!across.empty()) found.push_back("across the paths: " + across);
            if (found.empty()) continue;
            ++failing;
            const std::string name = runs[i].name + " at " + std::to_string(depth) + " bits";
            failed += "\n  " + name;
            for (const std::string& f : found) ADD_FAILURE() << "cell \"" << name << "\": " << f;
        }
    }
    EXPECT_EQ(failing, 0) << failing << " of " << 2 * runs.size() << " cells fail:" << failed;
}
