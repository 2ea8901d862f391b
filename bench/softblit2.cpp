// The game's heavy frames on the 16-bit software screen: 5,000 rotated 16 x 16 tiles at scale
// 0.5 (each at its own angle, and all at one), 2,000 sprites at scales 0.5 to 4 (half of them
// mirrored), and the two together with the panels' boxes and lines as one worst-case frame
// (target: under 4 ms). Each is alternated in one process with pixman's transformed compositing
// (nearest filter, OVER, each draw clipped to its tight bounding box) of the same work (see
// alternate.h). Times are per frame.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "alternate.h"

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/softblit.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTiles = 5000;
constexpr int kSprites = 2000;
constexpr int kTile = 16;
constexpr int kSprite = 16;
constexpr uint16_t kKey = 0xF81F;

// One draw: centre, angle, scale, mirror.
struct Placement {
    int x, y;
    float angle, scale;
    int turn;
};

std::vector<Placement> MakePlacements(int count, float minScale, float maxScale, bool mirrorHalf) {
    std::vector<Placement> out;
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int i = 0; i < count; ++i) {
        Placement p;
        p.x = static_cast<int>(next() % kWidth);
        p.y = static_cast<int>(next() % kHeight);
        p.angle = static_cast<float>((next() % 6283) / 1000.0);
        p.scale = minScale + (maxScale - minScale) * static_cast<float>(next() % 1000) / 999.0f;
        p.turn = mirrorHalf && (i & 1);
        out.push_back(p);
    }
    return out;
}

// A round picture with transparent corners, as R5G6B5 with a key and as A8R8G8B8 for pixman.
struct Picture {
    int size;
    std::vector<uint16_t> rgb565;
    std::vector<uint32_t> argb;
    explicit Picture(int n) : size(n), rgb565(n * n), argb(n * n) {
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                double dx = x - (n - 1) / 2.0, dy = y - (n - 1) / 2.0;
                bool inside = dx * dx + dy * dy <= (n / 2.0) * (n / 2.0);
                uint32_t r = (x * 255) / n, g = (y * 255) / n, b = 128;
                rgb565[y * n + x] = inside ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)) : kKey;
                argb[y * n + x] = inside ? (0xFF000000u | r << 16 | g << 8 | b) : 0;
            }
    }
};

struct Screen {
    std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight, 0x1234);
};

struct VelkSetup {
    MEMIMG screen = {}, tile = {}, sprite = {};
    VelkSetup(Screen& s, Picture& tilePicture, Picture& spritePicture) {
        static bool tables = false;
        if (!tables) {
            InitMemImgTables();
            tables = true;
        }
        CreateMemImg(&screen, kWidth, kHeight, kWidth * 2, 0, kMemImgR5G6B5, 0, 0, 0, s.pixels.data());
        CreateMemImg(&tile, kTile, kTile, kTile * 2, kKey, kMemImgR5G6B5, 0, 0, 0, tilePicture.rgb565.data());
        CreateMemImg(&sprite, kSprite, kSprite, kSprite * 2, kKey, kMemImgR5G6B5, 0, 0, 0,
                     spritePicture.rgb565.data());
        g_DrawSettings.drawArea = {0, 0, kWidth, kHeight};
        g_DrawSettings.blendMode = 0;
        g_DrawSettings.blendParameter = 255;
        g_DrawSettings.brightColor = 0x00FFFFFF;
    }
    ~VelkSetup() {
        ReleaseMemImg(&screen);
        ReleaseMemImg(&tile);
        ReleaseMemImg(&sprite);
    }
    void Draw(const std::vector<Placement>& placements, MEMIMG* image) {
        for (const Placement& p : placements)
            BlitMemImgRotated(&screen, image, p.x, p.y, p.angle, p.scale, 1, p.turn, nullptr);
    }
    // The panels: a few boxes, half-blended, and their frame lines.
    void Panels() {
        g_DrawSettings.blendMode = 1;
        g_DrawSettings.blendParameter = 160;
        int32_t bottom[4] = {0, 400, kWidth, kHeight};
        int32_t side[4] = {520, 0, kWidth, 400};
        FillMemImgBox(&screen, bottom, 0x0010);
        FillMemImgBox(&screen, side, 0x0010);
        g_DrawSettings.blendMode = 0;
        for (int i = 0; i < 40; ++i) DrawMemImgLine(&screen, 0, 400 + i * 2, kWidth, 400 + i * 2, 0xFFFF);
        LineRecord frame[4] = {{0, 0, kWidth - 1, 0, 0xFFFF, 0},
                               {kWidth - 1, 0, kWidth - 1, kHeight - 1, 0xFFFF, 0},
                               {kWidth - 1, kHeight - 1, 0, kHeight - 1, 0xFFFF, 0},
                               {0, kHeight - 1, 0, 0, 0xFFFF, 0}};
        DrawMemImgLines(&screen, frame, 4);
    }
};

Picture& TilePicture() {
    static Picture picture(kTile);
    return picture;
}
Picture& SpritePicture() {
    static Picture picture(kSprite);
    return picture;
}
const std::vector<Placement>& Tiles() {
    static std::vector<Placement> tiles = MakePlacements(kTiles, 0.5f, 0.5f, false);
    return tiles;
}
// The tiles turned all alike (a map turned with the view): the set-up is shared between draws.
const std::vector<Placement>& TilesOneAngle() {
    static std::vector<Placement> tiles = [] {
        std::vector<Placement> out = MakePlacements(kTiles, 0.5f, 0.5f, false);
        for (Placement& p : out) p.angle = 0.7f;
        return out;
    }();
    return tiles;
}
const std::vector<Placement>& Sprites() {
    static std::vector<Placement> sprites = MakePlacements(kSprites, 0.5f, 4.0f, true);
    return sprites;
}

// pixman: the transform maps destination pixels back to the source, as the kernel's does; each
// draw covers the tight box of the turned square (plus a pixel of rounding on each side).
void PixmanDraw(pixman_image_t* screen, pixman_image_t* source, int size,
                const std::vector<Placement>& placements) {
    for (const Placement& p : placements) {
        double c = std::cos(p.angle) / p.scale, s = std::sin(p.angle) / p.scale;
        double mirror = p.turn ? -1.0 : 1.0;
        // u = mirror ((X - x) c + (Y - y) s) + size / 2, v = (Y - y) c - (X - x) s + size / 2.
        pixman_transform_t t;
        t.matrix[0][0] = pixman_double_to_fixed(mirror * c);
        t.matrix[0][1] = pixman_double_to_fixed(mirror * s);
        t.matrix[0][2] = pixman_double_to_fixed(-mirror * (p.x * c + p.y * s) + size / 2.0);
        t.matrix[1][0] = pixman_double_to_fixed(-s);
        t.matrix[1][1] = pixman_double_to_fixed(c);
        t.matrix[1][2] = pixman_double_to_fixed(p.x * s - p.y * c + size / 2.0);
        t.matrix[2][0] = 0;
        t.matrix[2][1] = 0;
        t.matrix[2][2] = pixman_fixed_1;
        pixman_image_set_transform(source, &t);
        double reach = size * p.scale * 0.5 * (std::fabs(std::cos(p.angle)) + std::fabs(std::sin(p.angle)));
        int half = static_cast<int>(std::ceil(reach)) + 1;
        int left = std::max(p.x - half, 0), top = std::max(p.y - half, 0);
        int right = std::min(p.x + half + 1, kWidth), bottom = std::min(p.y + half + 1, kHeight);
        if (right <= left || bottom <= top) continue;
        pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, screen, left, top, 0, 0, left, top,
                                 right - left, bottom - top);
    }
}

// pixman's side of the frame: the tiles and sprites, the panels as a half-weighted solid over
// the boxes and the lines as one-pixel rectangles.
struct PixmanSetup {
    pixman_image_t* dest;
    pixman_image_t* tile;
    pixman_image_t* sprite;
    pixman_image_t* panel;
    explicit PixmanSetup(Screen& screen) {
        dest = pixman_image_create_bits(PIXMAN_r5g6b5, kWidth, kHeight,
                                        reinterpret_cast<uint32_t*>(screen.pixels.data()), kWidth * 2);
        tile = Make(TilePicture());
        sprite = Make(SpritePicture());
        pixman_color_t colour = {0, 0, static_cast<uint16_t>(0x84 * 160), static_cast<uint16_t>(160 * 257)};
        panel = pixman_image_create_solid_fill(&colour);
    }
    static pixman_image_t* Make(Picture& picture) {
        pixman_image_t* image = pixman_image_create_bits(PIXMAN_a8r8g8b8, picture.size, picture.size,
                                                         picture.argb.data(), picture.size * 4);
        pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
        return image;
    }
    ~PixmanSetup() {
        pixman_image_unref(panel);
        pixman_image_unref(sprite);
        pixman_image_unref(tile);
        pixman_image_unref(dest);
    }
    void Panels() {
        pixman_image_composite32(PIXMAN_OP_OVER, panel, nullptr, dest, 0, 0, 0, 0, 0, 400, kWidth, 80);
        pixman_image_composite32(PIXMAN_OP_OVER, panel, nullptr, dest, 0, 0, 0, 0, 520, 0, 120, 400);
        pixman_color_t white = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        pixman_rectangle16_t lines[44];
        for (int i = 0; i < 40; ++i) lines[i] = {0, static_cast<int16_t>(400 + i * 2), kWidth, 1};
        lines[40] = {0, 0, kWidth, 1};
        lines[41] = {kWidth - 1, 0, 1, kHeight};
        lines[42] = {0, kHeight - 1, kWidth, 1};
        lines[43] = {0, 0, 1, kHeight};
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, dest, &white, 44, lines);
    }
};

enum class Work { Tiles, Sprites, WorstFrame, TilesOneAngle };

void Compare(benchmark::State& state, const std::string& name, Work work) {
    Screen velkScreen, pixmanScreen;
    VelkSetup velk(velkScreen, TilePicture(), SpritePicture());
    PixmanSetup pixman(pixmanScreen);
    auto ours = [&](int64_t frames) {
        for (int64_t i = 0; i < frames; ++i) {
            if (work == Work::TilesOneAngle) {
                velk.Draw(TilesOneAngle(), &velk.tile);
                continue;
            }
            if (work != Work::Sprites) velk.Draw(Tiles(), &velk.tile);
            if (work != Work::Tiles) velk.Draw(Sprites(), &velk.sprite);
            if (work == Work::WorstFrame) {
                velk.Panels();
                g_DrawSettings.blendMode = 0;
                g_DrawSettings.blendParameter = 255;
            }
        }
    };
    auto theirs = [&](int64_t frames) {
        for (int64_t i = 0; i < frames; ++i) {
            if (work == Work::TilesOneAngle) {
                PixmanDraw(pixman.dest, pixman.tile, kTile, TilesOneAngle());
                continue;
            }
            if (work != Work::Sprites) PixmanDraw(pixman.dest, pixman.tile, kTile, Tiles());
            if (work != Work::Tiles) PixmanDraw(pixman.dest, pixman.sprite, kSprite, Sprites());
            if (work == Work::WorstFrame) pixman.Panels();
        }
    };
    alternate::Compare(state, name, {"velk", ours}, {{"pixman", theirs}}, 0.05);
    state.SetLabel(work == Work::WorstFrame      ? "tiles + sprites + panels, per frame (target < 4 ms)"
                   : work == Work::Tiles         ? "5000 rotated 16x16 tiles at 0.5, per frame"
                   : work == Work::TilesOneAngle ? "5000 16x16 tiles at 0.5, all at one angle, per frame"
                                                 : "2000 rotated 16x16 sprites at 0.5-4, half mirrored, per frame");
}

void BM_VelkPanels(benchmark::State& state) {
    Screen screen;
    VelkSetup velk(screen, TilePicture(), SpritePicture());
    for (auto _ : state) {
        velk.Panels();
        g_DrawSettings.blendMode = 0;
        g_DrawSettings.blendParameter = 255;
    }
    state.SetLabel("half-transparent panels, lines and frame");
}

// Our side alone, for profiling and counting cycles.
void BM_Velk(benchmark::State& state, Work work) {
    Screen screen;
    VelkSetup velk(screen, TilePicture(), SpritePicture());
    for (auto _ : state) {
        if (work == Work::TilesOneAngle) {
            velk.Draw(TilesOneAngle(), &velk.tile);
            continue;
        }
        if (work != Work::Sprites) velk.Draw(Tiles(), &velk.tile);
        if (work != Work::Tiles) velk.Draw(Sprites(), &velk.sprite);
        if (work == Work::WorstFrame) {
            velk.Panels();
            g_DrawSettings.blendMode = 0;
            g_DrawSettings.blendParameter = 255;
        }
    }
}

void RegisterAll() {
    constexpr int kRounds = 9;
    alternate::Register("WorstFrame", kRounds,
                        [](benchmark::State& s, const std::string& n) { Compare(s, n, Work::WorstFrame); });
    alternate::Register("Tiles", kRounds,
                        [](benchmark::State& s, const std::string& n) { Compare(s, n, Work::Tiles); });
    alternate::Register("TilesOneAngle", kRounds,
                        [](benchmark::State& s, const std::string& n) { Compare(s, n, Work::TilesOneAngle); });
    alternate::Register("Sprites", kRounds,
                        [](benchmark::State& s, const std::string& n) { Compare(s, n, Work::Sprites); });
    benchmark::RegisterBenchmark("VelkPanels", BM_VelkPanels)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("VelkWorstFrame", BM_Velk, Work::WorstFrame)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("VelkTiles", BM_Velk, Work::Tiles)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("VelkTilesOneAngle", BM_Velk, Work::TilesOneAngle)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("VelkSprites", BM_Velk, Work::Sprites)->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    return alternate::Main(argc, argv, RegisterAll);
}
