// Where drawing mechanisms cross: one table of cells, each a draw call with a blend mode, the
// transparent flag, a blend graph, a kind of source graph, a target, the mask and a device
// re-creation, drawn on the OpenGL device and on the software screen (both at 32 bits a pixel).
// Each cell's 160 x 120 picture is checked against exact probe colours on both paths and
// against the other path within one named tolerance; some cells also compare with a second
// picture of the same path (before a re-creation, without the blend graph, in mode 0).
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

// A DDS of DXT1 or DXT5 blocks, each 4 x 4 block of one R5G6B5 colour (opaque).
void WriteDds(const char* path, bool five, int w, int h,
              const std::function<uint16_t(int, int)>& colour) {
    uint32_t header[31] = {124, 0x1007, static_cast<uint32_t>(h), static_cast<uint32_t>(w)};
    header[18] = 32, header[19] = 0x4, header[26] = 0x1000;
    std::memcpy(&header[20], five ? "DXT5" : "DXT1", 4);
    Bytes f{'D', 'D', 'S', ' '};
    f.insert(f.end(), reinterpret_cast<uint8_t*>(header), reinterpret_cast<uint8_t*>(header) + 124);
    for (int by = 0; by < h / 4; ++by)
        for (int bx = 0; bx < w / 4; ++bx) {
            if (five) f.insert(f.end(), {255, 0, 0, 0, 0, 0, 0, 0});
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
    kHugeRotated4096, kHugeQuad, kZeroStretch };
enum Blend { kNone, kLoaded, kLoadedAlpha, kDrawable, kMovie, kSubBlend, kTargetItself };
enum Source { k24, kAlpha, kPal8, kDxt1, kDxt5, kSheetDxt1, kSheetDxt5, kSolid16, kKey8, kKey4,
    kKeyRle8, kKeyPalPng, kKeyGreyPng, kFont0, kFont1, kFont2, kFont3 };
enum Target { kScreen, kDrawableTarget, kSubTargetAway };
// A second picture of the same path that the cell's picture must equal: the draw before a
// device re-creation (the blend graph kept through it, or set again after one run without
// it), the draw without the blend graph; or the pixels a mode-0 draw leaves alone must stay;
// or the key row's pixels; or the string must light pixels.
enum Check { kNoCheck, kRecreateKept, kRecreateSetAfter, kAsWithoutBlend,
    kUntouchedAsMode0, kKeyRowCheck, kInk };
// clang-format on

// The differences the two paths are allowed, each one of the listed path differences.
enum Tol { kExact, kRounding, kSampling, kBorder, kDeviceOnly, kTextDiffers, kColourModesWipe };
struct Tolerance {
    const char* rule;
    int steps;  // per channel
    int shift;  // or the other picture's colour within so many pixels
    bool skip;  // not compared
};
const Tolerance kTolerances[] = {
    {"exact", 0, 0, false},
    {"rounding: the software's alpha, add and brightness tables round down, mode 3 up to three "
     "steps, mode 4 two steps",
     3, 0, false},
    {"sampling: rotated, stretched and quadrilateral graphs and thick lines may lie one pixel over",
     3, 1, false},
    {"blend graphs: the soft border of a range above 1 may start up to two columns apart", 3, 2,
     false},
    {"modes 5 and 7 and polygon lists are drawn by the device only", 0, 0, true},
    {"text: anti-aliased edges and edged text under a blend mode differ", 0, 0, true},
    {"blend graphs in modes 4, 10 and 11: the device draws the mode without the wipe", 0, 0, true},
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
    {"8-bit BMP key",                         kPlain,         0,   0, 1, kNone,         0,   0, kKey8,    kScreen,        0, kKeyRowCheck,   kExact,    {}},
    {"4-bit BMP key",                         kPlain,         0,   0, 1, kNone,         0,   0, kKey4,    kScreen,        0, kKeyRowCheck,   kExact,    {}},
    {"RLE8 BMP key",                          kPlain,         0,   0, 1, kNone,         0,   0, kKeyRle8, kScreen,        0, kKeyRowCheck,   kExact,    {}},
    {"palette PNG key",                       kPlain,         0,   0, 1, kNone,         0,   0, kKeyPalPng, kScreen,      0, kKeyRowCheck,   kExact,    {}},
    {"grey PNG key",                          kPlain,         0,   0, 1, kNone,         0,   0, kKeyGreyPng, kScreen,     0, kKeyRowCheck,   kExact,    {}},
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

class Session {
public:
    int screen = -1;
    int fonts[4] = {-1, -1, -1, -1};

    // The cell's graphs, loaded or made for it and deleted after it.
    struct Graphs {
        int source = -1, second = -1, blend = -1, blendSheet = -1, target = -1, targetSheet = -1;
    };
    Graphs Make(const Cell& c) {
        Graphs g;
        static const char* files[] = {"sprite.bmp", "alpha.bmp",  "pal8.bmp",   "dxt1.dds",
                                      "dxt5.dds",   "sheet1.dds", "sheet5.dds", "solid16.bmp",
                                      "key8.bmp",   "key4.bmp",   "keyrle.bmp", "keypal.png",
                                      "keygrey.png"};
        if (c.source == kSheetDxt1 || c.source == kSheetDxt5) {
            int cells[2] = {-1, -1};
            EXPECT_EQ(LoadDividedGraphs(files[c.source], 2, 2, 1, 16, 16, cells, 0), 0);
            g.source = cells[0], g.second = cells[1];
        } else if (c.source < kFont0) {
            g.source = LoadGraphHandle(files[c.source], 0);
            EXPECT_GE(g.source, 0) << files[c.source];
        }
        SetCreateDrawValidGraphFlag(1);
        if (c.target == kDrawableTarget) g.target = MakeGraph(kW, kH);
        if (c.target == kSubTargetAway) {
            g.targetSheet = MakeGraph(320, 240);
            g.target = CreateSubGraph(100, 60, kW, kH, g.targetSheet);
        }
        if (c.blend == kDrawable) {
            g.blend = MakeGraph(32, 120);
            SetDrawTarget(g.blend);
            FillBox(0, 0, 16, 120, GetScreenColor(0, 0, 0));
            FillBox(16, 0, 32, 120, GetScreenColor(255, 255, 255));
            SetDrawTarget(screen);
        }
        SetCreateDrawValidGraphFlag(0);
        if (c.blend == kLoaded) g.blend = LoadGraphHandle("halfblend.bmp", 0);
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
        return g;
    }
    void Delete(const Graphs& g) {
        for (int h : {g.second, g.source, g.blend == g.target ? -1 : g.blend, g.blendSheet,
                      g.target, g.targetSheet})
            if (h >= 0) DeleteGraph(h);
    }

    // Draws the cell into its target and gives the screen's 160 x 120 that shows it.
    Picture Draw(const Cell& c, Graphs& g, int mode, int param, bool setBlend, bool clearBlend,
                 int* result) {
        auto colour = [](uint32_t rgb) {
            return GetScreenColor(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
        };
        SetDrawTarget(g.target >= 0 ? g.target : screen);
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
        }
        // clang-format on
        SetBlendMode(0, 0);
        if (clearBlend) SetBlendGraph(-1, 0, 0);
        if (c.mask) SetUseMaskScreen(0);
        if (g.target >= 0) {
            SetDrawTarget(screen);
            DrawGraphAt(0, 0, g.target, 0);
        }
        *result = 0;
        for (int v : r)
            if (v != 0 && *result == 0) *result = v;
        return ReadScreen(kW, kH);
    }

    // The cell on this path: its picture, its draws' result and what its own checks found.
    Outcome Play(const CellRun& run) {
        const Cell& c = *run.cell;
        Outcome out;
        Graphs g = Make(c);
        const bool kept = c.check == kRecreateKept;
        out.picture = Draw(c, g, run.mode, run.param, true, !kept, &out.result);
        auto fail = [&](const char* what, int x, int y, uint32_t want, uint32_t got) {
            char text[160];
            std::snprintf(text, sizeof text, "%s at (%d, %d): want %06x, got %06x", what, x, y,
                          want, got);
            out.failures.push_back(text);
        };
        auto at = [](const Picture& p, int x, int y) {
            return p.empty() ? 0xDEADu : p[y * kW + x];
        };
        const int steps = kTolerances[c.tol].steps;
        for (const Probe& p : c.probes)
            if (ChannelDistance(at(out.picture, p.x, p.y), p.rgb) > steps)
                fail("probe", p.x, p.y, p.rgb, at(out.picture, p.x, p.y));
        if (c.call != kZeroStretch && out.result != 0) fail("draw result", 0, 0, 0, out.result);
        Picture second;
        int ignored = 0;
        switch (c.check) {
            case kRecreateKept:
            case kRecreateSetAfter:
                RecreateDeviceSameMode();
                ProcessMessage();
                second = Draw(c, g, run.mode, run.param, !kept, true, &ignored);
                Differ("after the re-creation", out.picture, second, fail);
                break;
            case kAsWithoutBlend:
                second = Draw(c, g, run.mode, run.param, false, true, &ignored);
                Differ("without the blend graph", second, out.picture, fail,
                       kTolerances[kRounding].steps);
                break;
            case kUntouchedAsMode0:
                second = Draw(c, g, 0, 0, true, true, &ignored);
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x)
                        if (at(second, x, y) == kGrey && at(out.picture, x, y) != kGrey) {
                            fail("a pixel the glyphs leave alone", x, y, kGrey,
                                 at(out.picture, x, y));
                            y = kH;
                            break;
                        }
                break;
            case kKeyRowCheck:
                for (int x = 0; x < 8; ++x) {
                    uint32_t want = c.source == kKeyGreyPng ? kKeyGrey[x] * 0x010101u : kKeyRow[x];
                    if (want == 0) want = kGround;
                    if (at(out.picture, x, 1) != want)
                        fail("key row", x, 1, want, at(out.picture, x, 1));
                }
                break;
            case kInk: {
                int ink = 0;
                for (uint32_t p : out.picture) ink += p != kGround;
                if (ink < 20) fail("lit pixels (at least 20)", 0, 0, 20, ink);
                break;
            }
            case kNoCheck:
                break;
        }
        Delete(g);
        return out;
    }

    static int ChannelDistance(uint32_t a, uint32_t b) {
        int worst = 0;
        for (int s : {16, 8, 0})
            worst = std::max(worst, std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)));
        return worst;
    }
    template <typename Fail>
    static void Differ(const char* what, const Picture& want, const Picture& got, Fail fail,
                       int steps = 0) {
        if (want.size() != got.size()) return fail(what, -1, -1, want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i)
            if (ChannelDistance(want[i], got[i]) > steps)
                return fail(what, int(i % kW), int(i / kW), want[i], got[i]);
    }
};

// Device against software within the cell's tolerance: the first pixel beyond it, or "".
std::string CompareAcrossPaths(const Cell& c, const Picture& dev, const Picture& soft) {
    const Tolerance& t = kTolerances[c.tol];
    if (t.skip) return "";
    if (dev.size() != soft.size() || dev.empty()) return "no picture on one path";
    auto held = [&](const Picture& p, int x, int y, uint32_t value) {
        for (int dy = -t.shift; dy <= t.shift; ++dy)
            for (int dx = -t.shift; dx <= t.shift; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < kW && ny < kH &&
                    Session::ChannelDistance(p[ny * kW + nx], value) <= t.steps)
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
    std::vector<Outcome> outcomes[2];
    setenv("VELK_DESKTOP_BITS", "32", 1);
    for (int path = 0; path < 2; ++path) {
        const bool device = path == 0;
        if (!Start(device, !device)) {
            unsetenv("VELK_DESKTOP_BITS");
            if (device) GTEST_SKIP() << "no OpenGL device on this display";
            FAIL() << "the software path did not start";
        }
        ProcessMessage();
        ASSERT_EQ(GetColorBitDepth(), 32) << (device ? "device" : "software");
        Session session;
        session.screen = GetDrawTarget();
        for (int type = 0; type < 4; ++type)
            session.fonts[type] = CreateFontToHandle(nullptr, 16, -1, type, -1, -1, 0, -1, -1);
        for (const CellRun& run : runs) {
            outcomes[path].push_back(session.Play(run));
            if (const char* dump = std::getenv("VELK_GL_TEST_DUMP"))
                WritePpm(std::string(dump) + "/crossing-" + std::to_string(outcomes[path].size()) +
                             (device ? "-device" : "-software") + ".ppm",
                         outcomes[path].back().picture, kW, kH);
        }
        Stop();
    }
    unsetenv("VELK_DESKTOP_BITS");
    std::string failed;
    int failing = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        std::vector<std::string> found;
        for (int path = 0; path < 2; ++path)
            for (const std::string& f : outcomes[path][i].failures)
                found.push_back(std::string(path == 0 ? "device: " : "software: ") + f);
        const Outcome &dev = outcomes[0][i], &soft = outcomes[1][i];
        if (dev.result != soft.result)
            found.push_back("results differ: device " + std::to_string(dev.result) + ", software " +
                            std::to_string(soft.result));
        std::string across = CompareAcrossPaths(*runs[i].cell, dev.picture, soft.picture);
        if (!across.empty()) found.push_back("across the paths: " + across);
        if (found.empty()) continue;
        ++failing;
        failed += "\n  " + runs[i].name;
        for (const std::string& f : found)
            ADD_FAILURE() << "cell \"" << runs[i].name << "\": " << f;
    }
    EXPECT_EQ(failing, 0) << failing << " of " << runs.size() << " cells fail:" << failed;
}
