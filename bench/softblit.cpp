// The software kernels' blits beside pixman and SDL2's software blitter doing the same operation
// on the same data, alternated in one process (see alternate.h): plain copy, keyed copy,
// per-pixel alpha, constant opacity, add and multiply, unscaled and stretched (twice the size),
// into 16- and 32-bit screens, for 16 to 128-pixel sprites cut from an atlas (a different sprite
// and position on every call) and whole 640 x 480 frames. Each library is used on its fast path
// where it has one: pixman's add on a8r8g8b8 images, its constant opacity as a solid mask, its
// stretch as a nearest-filtered scale; SDL's alpha modulation for constant opacity. An operation
// a library lacks (pixman's keyed copy) is left out for it. The Breakdown benchmarks time ours
// alone, splitting a 16-pixel call into its fixed cost, its pixels and its cache misses.
#include <pixman.h>
#include <SDL.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "alternate.h"
#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/softblit.h"

namespace {

constexpr int kAtlas = 1024;
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kOpacity = 160;  // the constant opacity's parameter: the game's panels'
constexpr int kRounds = 15;

// Source pixels in the layouts each side reads: A8R8G8B8 (the others' alpha source), R5G6B5 with
// an alpha byte (our 16-bit alpha source), R5G6B5 and X8R8G8B8 with the key at the corners.
struct Data {
    std::vector<uint32_t> argb = std::vector<uint32_t>(kAtlas * kAtlas);
    std::vector<uint32_t> rgb565Alpha = std::vector<uint32_t>(kAtlas * kAtlas);
    std::vector<uint16_t> rgb565 = std::vector<uint16_t>(kAtlas * kAtlas);
    std::vector<uint32_t> xrgb = std::vector<uint32_t>(kAtlas * kAtlas);
    std::vector<uint32_t> screen32 = std::vector<uint32_t>(kWidth * kHeight);
    std::vector<uint16_t> screen16 = std::vector<uint16_t>(kWidth * kHeight);

    Data() {
        // Round sprites on a 32-pixel grid: transparent corners, opaque middles, soft edges.
        for (int y = 0; y < kAtlas; ++y) {
            for (int x = 0; x < kAtlas; ++x) {
                double dx = (x % 32) - 15.5, dy = (y % 32) - 15.5;
                double edge = 15.0 - std::sqrt(dx * dx + dy * dy);
                uint32_t a = edge <= 0 ? 0 : edge >= 2 ? 255 : static_cast<uint32_t>(edge * 127);
                uint32_t r = (x * 7) & 0xFF, g = (y * 5) & 0xFF, b = ((x + y) * 3) & 0xFF;
                size_t i = static_cast<size_t>(y) * kAtlas + x;
                uint16_t c16 = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
                bool key = a == 0;
                argb[i] = a << 24 | r << 16 | g << 8 | b;
                rgb565Alpha[i] = a << 16 | c16;
                rgb565[i] = key ? 0xF81F : c16;
                xrgb[i] = key ? 0x00FF00FF : (r << 16 | g << 8 | b);
            }
        }
        for (size_t i = 0; i < screen32.size(); ++i) {
            screen32[i] = static_cast<uint32_t>(i * 2654435761u) & 0x00FFFFFF;
            screen16[i] = static_cast<uint16_t>(i * 40503u);
        }
    }
};

Data& GetData() {
    static Data data;
    return data;
}

enum class Op { Copy, Key, Alpha, Opacity, Add, Multiply };

struct Case {
    const char* name;
    Op op;
    bool stretched;
};

const Case kCases[] = {
    {"Copy", Op::Copy, false},          {"Key", Op::Key, false},
    {"Alpha", Op::Alpha, false},        {"Opacity", Op::Opacity, false},
    {"Add", Op::Add, false},            {"Multiply", Op::Multiply, false},
    {"StretchedAlpha", Op::Alpha, true}, {"StretchedKey", Op::Key, true},
};

// Sprite and position of call number n; a stretched call reads a source of half the size.
struct Placement {
    int sourceX, sourceY, x, y;
};
struct Shape {
    int width, height;              // drawn
    int sourceWidth, sourceHeight;  // read
};
Shape ShapeOf(int size, bool stretched) {
    int w = size ? size : kWidth, h = size ? size : kHeight;
    return stretched ? Shape{w, h, w / 2, h / 2} : Shape{w, h, w, h};
}
Placement Place(int64_t n, const Shape& shape) {
    int cellsX = (kAtlas - shape.sourceWidth) / 32 + 1, cellsY = (kAtlas - shape.sourceHeight) / 32 + 1;
    int sx = static_cast<int>((n * 7) % cellsX) * 32, sy = static_cast<int>((n * 13) % cellsY) * 32;
    int x = static_cast<int>((n * 97) % (kWidth - shape.width + 1));
    int y = static_cast<int>((n * 61) % (kHeight - shape.height + 1));
    return {sx, sy, x, y};
}
constexpr int kPlacements = 1024;

// ---------------------------------------------------------------- the library's kernels

struct Velk {
    MEMIMG screen = {}, atlas = {};
    std::vector<MEMIMG> sprites = std::vector<MEMIMG>(kPlacements);
    std::vector<V_RECT> targets = std::vector<V_RECT>(kPlacements);
    std::vector<Placement> places = std::vector<Placement>(kPlacements);
    int trans = 0, mode = 0, parameter = 255;
    bool stretched = false;
    bool warm = false;  // every call draws the first sprite at the first place

    Velk(bool wide, const Case& c, int size) : stretched(c.stretched) {
        static bool tables = false;
        if (!tables) {
            InitMemImgTables();
            SetMmxFlag(1);
            tables = true;
        }
        Data& d = GetData();
        CreateMemImg(&screen, kWidth, kHeight, wide ? kWidth * 4 : kWidth * 2, 0, wide ? 1 : 0, 0, 0, 0,
                     wide ? static_cast<void*>(d.screen32.data()) : d.screen16.data());
        bool alpha = c.op == Op::Alpha;
        void* pixels = alpha ? (wide ? static_cast<void*>(d.argb.data()) : d.rgb565Alpha.data())
                             : (wide ? static_cast<void*>(d.xrgb.data()) : d.rgb565.data());
        int bytes = alpha || wide ? 4 : 2;
        uint32_t key = wide ? 0x00FF00FF : 0xF81F;
        CreateMemImg(&atlas, kAtlas, kAtlas, kAtlas * bytes, key, wide ? 1 : 0, 0, alpha, 0, pixels);
        Shape shape = ShapeOf(size, c.stretched);
        for (int i = 0; i < kPlacements; ++i) {
            places[i] = Place(i, shape);
            MakeMemImgView(&sprites[i], &atlas, places[i].sourceX, places[i].sourceY, shape.sourceWidth,
                           shape.sourceHeight);
            targets[i] = {places[i].x, places[i].y, places[i].x + shape.width, places[i].y + shape.height};
        }
        trans = c.op == Op::Key || c.op == Op::Alpha;
        mode = c.op == Op::Opacity ? 1 : c.op == Op::Add ? 2 : c.op == Op::Multiply ? 4 : 0;
        parameter = c.op == Op::Opacity ? kOpacity : 255;
    }
    // The same calls placed just past the right edge of the draw area: every check is made and
    // the clip leaves nothing.
    void RunOutside(int64_t calls) {
        g_DrawSettings.drawArea = {0, 0, kWidth, kHeight};
        g_DrawSettings.blendMode = mode;
        g_DrawSettings.blendParameter = parameter;
        g_DrawSettings.brightColor = 0x00FFFFFF;
        for (int64_t n = 0; n < calls; ++n) {
            int i = static_cast<int>(n % kPlacements);
            BlitMemImg(&screen, &sprites[i], kWidth, places[i].y, trans, nullptr);
        }
    }
    ~Velk() {
        for (MEMIMG& sprite : sprites) ReleaseMemImg(&sprite);
        ReleaseMemImg(&screen);
        ReleaseMemImg(&atlas);
    }
    void Run(int64_t calls) {
        g_DrawSettings.drawArea = {0, 0, kWidth, kHeight};
        g_DrawSettings.blendMode = mode;
        g_DrawSettings.blendParameter = parameter;
        g_DrawSettings.brightColor = 0x00FFFFFF;
        for (int64_t n = 0; n < calls; ++n) {
            int i = warm ? 0 : static_cast<int>(n % kPlacements);
            if (stretched) BlitMemImgStretched(&screen, &sprites[i], &targets[i], trans, nullptr);
            else BlitMemImg(&screen, &sprites[i], places[i].x, places[i].y, trans, nullptr);
        }
    }
};

// ---------------------------------------------------------------- pixman

struct Pixman {
    pixman_image_t* screen = nullptr;
    pixman_image_t* atlas = nullptr;
    pixman_image_t* mask = nullptr;
    pixman_op_t op = PIXMAN_OP_SRC;
    Shape shape;
    std::vector<Placement> places = std::vector<Placement>(kPlacements);

    Pixman(bool wide, const Case& c, int size) : shape(ShapeOf(size, c.stretched)) {
        Data& d = GetData();
        // The add's fast path wants a8r8g8b8 on both sides.
        pixman_format_code_t screenFormat =
            !wide ? PIXMAN_r5g6b5 : c.op == Op::Add ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
        screen = wide ? pixman_image_create_bits(screenFormat, kWidth, kHeight, d.screen32.data(), kWidth * 4)
                      : pixman_image_create_bits(screenFormat, kWidth, kHeight,
                                                 reinterpret_cast<uint32_t*>(d.screen16.data()), kWidth * 2);
        if (c.op == Op::Alpha) {
            atlas = pixman_image_create_bits(PIXMAN_a8r8g8b8, kAtlas, kAtlas, d.argb.data(), kAtlas * 4);
        } else if (wide) {
            atlas = pixman_image_create_bits(c.op == Op::Add ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8, kAtlas,
                                             kAtlas, d.xrgb.data(), kAtlas * 4);
        } else {
            atlas = pixman_image_create_bits(PIXMAN_r5g6b5, kAtlas, kAtlas,
                                             reinterpret_cast<uint32_t*>(d.rgb565.data()), kAtlas * 2);
        }
        switch (c.op) {
            case Op::Copy: op = PIXMAN_OP_SRC; break;
            case Op::Alpha: op = PIXMAN_OP_OVER; break;
            case Op::Opacity: {
                op = PIXMAN_OP_OVER;
                pixman_color_t weight = {0, 0, 0, static_cast<uint16_t>(kOpacity * 257)};
                mask = pixman_image_create_solid_fill(&weight);
                break;
            }
            case Op::Add: op = PIXMAN_OP_ADD; break;
            case Op::Multiply: op = PIXMAN_OP_MULTIPLY; break;
            case Op::Key: break;
        }
        if (c.stretched) {
            pixman_transform_t half;
            pixman_transform_init_scale(&half, pixman_fixed_1 / 2, pixman_fixed_1 / 2);
            pixman_image_set_transform(atlas, &half);
            pixman_image_set_filter(atlas, PIXMAN_FILTER_NEAREST, nullptr, 0);
        }
        for (int i = 0; i < kPlacements; ++i) places[i] = Place(i, shape);
        // With the scale, source coordinates are given in the destination's units.
        if (c.stretched)
            for (Placement& p : places) p.sourceX *= 2, p.sourceY *= 2;
    }
    ~Pixman() {
        if (mask) pixman_image_unref(mask);
        pixman_image_unref(atlas);
        pixman_image_unref(screen);
    }
    void Run(int64_t calls) {
        for (int64_t n = 0; n < calls; ++n) {
            const Placement& p = places[n % kPlacements];
            pixman_image_composite32(op, atlas, mask, screen, p.sourceX, p.sourceY, 0, 0, p.x, p.y,
                                     shape.width, shape.height);
        }
    }
};

// ---------------------------------------------------------------- SDL2

struct Sdl {
    SDL_Surface* screen = nullptr;
    SDL_Surface* atlas = nullptr;
    Shape shape;
    bool stretched;
    std::vector<Placement> places = std::vector<Placement>(kPlacements);

    Sdl(bool wide, const Case& c, int size) : shape(ShapeOf(size, c.stretched)), stretched(c.stretched) {
        Data& d = GetData();
        screen = wide ? SDL_CreateRGBSurfaceWithFormatFrom(d.screen32.data(), kWidth, kHeight, 32, kWidth * 4,
                                                           SDL_PIXELFORMAT_RGB888)
                      : SDL_CreateRGBSurfaceWithFormatFrom(d.screen16.data(), kWidth, kHeight, 16, kWidth * 2,
                                                           SDL_PIXELFORMAT_RGB565);
        atlas = c.op == Op::Alpha ? SDL_CreateRGBSurfaceWithFormatFrom(d.argb.data(), kAtlas, kAtlas, 32,
                                                                       kAtlas * 4, SDL_PIXELFORMAT_ARGB8888)
                : wide ? SDL_CreateRGBSurfaceWithFormatFrom(d.xrgb.data(), kAtlas, kAtlas, 32, kAtlas * 4,
                                                            SDL_PIXELFORMAT_RGB888)
                       : SDL_CreateRGBSurfaceWithFormatFrom(d.rgb565.data(), kAtlas, kAtlas, 16, kAtlas * 2,
                                                            SDL_PIXELFORMAT_RGB565);
        switch (c.op) {
            case Op::Copy: SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_NONE); break;
            case Op::Key:
                SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_NONE);
                SDL_SetColorKey(atlas, SDL_TRUE, wide ? 0x00FF00FF : 0xF81F);
                break;
            case Op::Alpha: SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_BLEND); break;
            case Op::Opacity:
                SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_BLEND);
                SDL_SetSurfaceAlphaMod(atlas, kOpacity);
                break;
            case Op::Add: SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_ADD); break;
            case Op::Multiply: SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_MOD); break;
        }
        for (int i = 0; i < kPlacements; ++i) places[i] = Place(i, shape);
    }
    ~Sdl() {
        SDL_FreeSurface(atlas);
        SDL_FreeSurface(screen);
    }
    void Run(int64_t calls) {
        for (int64_t n = 0; n < calls; ++n) {
            const Placement& p = places[n % kPlacements];
            SDL_Rect from = {p.sourceX, p.sourceY, shape.sourceWidth, shape.sourceHeight};
            SDL_Rect to = {p.x, p.y, shape.width, shape.height};
            if (stretched) SDL_BlitScaled(atlas, &from, screen, &to);
            else SDL_BlitSurface(atlas, &from, screen, &to);
        }
    }
};

// Where the time of a small unscaled call goes, ours alone: a call clipped away (the checks and
// the clip), a one-pixel sprite (plus the kernel's fixed cost), a 16-pixel sprite drawn at one
// place from one spot of the atlas (plus the pixels, all in cache), and the comparisons' calls
// (plus the cache misses of a different sprite and place each call).
void RegisterBreakdown() {
    enum class Part { Outside, OnePixel, Warm, Atlas };
    const std::pair<Part, const char*> parts[] = {
        {Part::Outside, "outside"}, {Part::OnePixel, "1px"}, {Part::Warm, "warm16"}, {Part::Atlas, "atlas16"}};
    constexpr int64_t kBatch = 256;
    for (const Case& c : kCases) {
        if (c.stretched) continue;
        for (bool wide : {false, true}) {
            for (const auto& [part, partName] : parts) {
                std::string name = std::string("Breakdown/") + c.name + (wide ? "32/" : "16/") + partName;
                benchmark::RegisterBenchmark(name.c_str(), [c, wide, part = part](benchmark::State& state) {
                    Velk velk(wide, c, part == Part::OnePixel ? 1 : 16);
                    velk.warm = part == Part::Warm;
                    for (auto _ : state) {
                        if (part == Part::Outside) velk.RunOutside(kBatch);
                        else velk.Run(kBatch);
                    }
                    // Seconds per call, printed with its prefix (n: nanoseconds).
                    state.counters["per_call"] = benchmark::Counter(
                        static_cast<double>(state.iterations()) * kBatch,
                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
                });
            }
        }
    }
}

void RegisterAll() {
    for (const Case& c : kCases) {
        for (bool wide : {false, true}) {
            for (int size : {16, 32, 64, 128, 0}) {
                std::string name = std::string(c.name) + (wide ? "32" : "16") + "/" +
                                   (size ? std::to_string(size) : std::string("640x480"));
                alternate::Register(name, kRounds, [c, wide, size](benchmark::State& state, const std::string& n) {
                    Velk velk(wide, c, size);
                    Sdl sdl(wide, c, size);
                    std::vector<alternate::Contender> others;
                    std::unique_ptr<Pixman> pixman;
                    if (c.op != Op::Key) {
                        pixman = std::make_unique<Pixman>(wide, c, size);
                        others.push_back({"pixman", [&](int64_t calls) { pixman->Run(calls); }});
                    }
                    others.push_back({"SDL2", [&](int64_t calls) { sdl.Run(calls); }});
                    alternate::Compare(state, n, {"velk", [&](int64_t calls) { velk.Run(calls); }}, others);
                });
            }
        }
    }
    RegisterBreakdown();
}

} // namespace

int main(int argc, char** argv) {
    return alternate::Main(argc, argv, RegisterAll);
}
