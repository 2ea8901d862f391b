// Unscaled blits of the software kernels beside pixman and SDL2's software blitter doing the same
// operation on the same data: alpha blend, additive blend and keyed copy, 16-bit and 32-bit,
// whole 640 x 480 frames and 16 to 128-pixel sprites cut from an atlas (a different sprite and
// position on every call). Prints the time ratios at the end, from the fastest of the
// repetitions (with --benchmark_repetitions=N, from the
// fastest repetition, or from the medians when only aggregates are displayed).
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "softblit/softblit.h"

namespace {

constexpr int kAtlas = 1024;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Source pixels in the three layouts: A8R8G8B8 (32-bit alpha and the libraries' 16-bit alpha
// source), R5G6B5 with an alpha byte (our 16-bit alpha source), plain R5G6B5 and X8R8G8B8.
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

enum class Op { Alpha, Add, Key };

// Sprite and position of call number n: walks the atlas and the screen.
struct Placement {
    int sourceX, sourceY, x, y, size;
};
Placement Place(int64_t n, int size) {
    if (size == 0) return {static_cast<int>(n % 8) * 32, static_cast<int>(n % 5) * 32, 0, 0, 0};
    int cells = (kAtlas - size) / 32;
    int sx = static_cast<int>((n * 7) % cells) * 32, sy = static_cast<int>((n * 13) % cells) * 32;
    int x = static_cast<int>((n * 97) % (kWidth - size)), y = static_cast<int>((n * 61) % (kHeight - size));
    return {sx, sy, x, y, size};
}

// Our kernels: the source images wrap the shared pixel buffers.
struct VelkImages {
    MEMIMG screen = {}, atlas = {};
    VelkImages(bool wide, Op op) {
        Data& d = GetData();
        CreateMemImg(&screen, kWidth, kHeight, wide ? kWidth * 4 : kWidth * 2, 0, wide ? 1 : 0, 0, 0, 0,
                     wide ? static_cast<void*>(d.screen32.data()) : d.screen16.data());
        void* pixels = op == Op::Alpha ? (wide ? static_cast<void*>(d.argb.data()) : d.rgb565Alpha.data())
                                       : (wide ? static_cast<void*>(d.xrgb.data()) : d.rgb565.data());
        int bytes = op == Op::Alpha || wide ? 4 : 2;
        uint32_t key = wide ? 0x00FF00FF : 0xF81F;
        CreateMemImg(&atlas, kAtlas, kAtlas, kAtlas * bytes, key, wide ? 1 : 0, 0, op == Op::Alpha, 0, pixels);
    }
    ~VelkImages() {
        ReleaseMemImg(&screen);
        ReleaseMemImg(&atlas);
    }
};

void SetVelkBlend(Op op) {
    static bool tables = false;
    if (!tables) {
        InitMemImgTables();
        tables = true;
    }
    SetMmxFlag(1);
    g_DrawSettings.drawArea = {0, 0, kWidth, kHeight};
    g_DrawSettings.blendMode = op == Op::Add ? 2 : 0;
    g_DrawSettings.blendParameter = 255;
    g_DrawSettings.brightColor = 0x00FFFFFF;
}

void BM_Velk(benchmark::State& state, bool wide, Op op) {
    int size = static_cast<int>(state.range(0));
    VelkImages images(wide, op);
    SetVelkBlend(op);
    int trans = op == Op::Add ? 0 : 1;
    // The sprites are views of the atlas made beforehand, as a graph's view is.
    constexpr int kSprites = 1024;
    std::vector<MEMIMG> sprites(kSprites);
    std::vector<Placement> places(kSprites);
    int w = size ? size : kWidth, h = size ? size : kHeight;
    for (int i = 0; i < kSprites; ++i) {
        places[i] = Place(i, size);
        MakeMemImgView(&sprites[i], &images.atlas, places[i].sourceX, places[i].sourceY, w, h);
    }
    int64_t n = 0;
    for (auto _ : state) {
        int i = static_cast<int>(n++ % kSprites);
        BlitMemImg(&images.screen, &sprites[i], places[i].x, places[i].y, trans, nullptr);
    }
    for (MEMIMG& sprite : sprites) ReleaseMemImg(&sprite);
    state.SetItemsProcessed(state.iterations() * (size ? size * size : kWidth * kHeight));
}

void BM_Pixman(benchmark::State& state, bool wide, Op op) {
    int size = static_cast<int>(state.range(0));
    Data& d = GetData();
    pixman_image_t* screen =
        wide ? pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, d.screen32.data(), kWidth * 4)
             : pixman_image_create_bits(PIXMAN_r5g6b5, kWidth, kHeight,
                                        reinterpret_cast<uint32_t*>(d.screen16.data()), kWidth * 2);
    pixman_image_t* atlas =
        op == Op::Alpha ? pixman_image_create_bits(PIXMAN_a8r8g8b8, kAtlas, kAtlas, d.argb.data(), kAtlas * 4)
        : wide          ? pixman_image_create_bits(PIXMAN_x8r8g8b8, kAtlas, kAtlas, d.xrgb.data(), kAtlas * 4)
                        : pixman_image_create_bits(PIXMAN_r5g6b5, kAtlas, kAtlas,
                                                   reinterpret_cast<uint32_t*>(d.rgb565.data()), kAtlas * 2);
    pixman_op_t pop = op == Op::Add ? PIXMAN_OP_ADD : PIXMAN_OP_OVER;
    int64_t n = 0;
    for (auto _ : state) {
        Placement p = Place(n++ % 1024, size);
        int w = size ? size : kWidth, h = size ? size : kHeight;
        pixman_image_composite32(pop, atlas, nullptr, screen, p.sourceX, p.sourceY, 0, 0, p.x, p.y, w, h);
    }
    pixman_image_unref(atlas);
    pixman_image_unref(screen);
    state.SetItemsProcessed(state.iterations() * (size ? size * size : kWidth * kHeight));
}

void BM_Sdl(benchmark::State& state, bool wide, Op op) {
    int size = static_cast<int>(state.range(0));
    Data& d = GetData();
    SDL_Surface* screen = wide ? SDL_CreateRGBSurfaceWithFormatFrom(d.screen32.data(), kWidth, kHeight, 32,
                                                                     kWidth * 4, SDL_PIXELFORMAT_RGB888)
                               : SDL_CreateRGBSurfaceWithFormatFrom(d.screen16.data(), kWidth, kHeight, 16,
                                                                     kWidth * 2, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* atlas =
        op == Op::Alpha ? SDL_CreateRGBSurfaceWithFormatFrom(d.argb.data(), kAtlas, kAtlas, 32, kAtlas * 4,
                                                             SDL_PIXELFORMAT_ARGB8888)
        : wide ? SDL_CreateRGBSurfaceWithFormatFrom(d.xrgb.data(), kAtlas, kAtlas, 32, kAtlas * 4,
                                                    SDL_PIXELFORMAT_RGB888)
               : SDL_CreateRGBSurfaceWithFormatFrom(d.rgb565.data(), kAtlas, kAtlas, 16, kAtlas * 2,
                                                    SDL_PIXELFORMAT_RGB565);
    if (op == Op::Alpha) SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_BLEND);
    if (op == Op::Add) SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_ADD);
    if (op == Op::Key) {
        SDL_SetSurfaceBlendMode(atlas, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(atlas, SDL_TRUE, wide ? 0x00FF00FF : 0xF81F);
    }
    int64_t n = 0;
    for (auto _ : state) {
        Placement p = Place(n++ % 1024, size);
        int w = size ? size : kWidth, h = size ? size : kHeight;
        SDL_Rect from = {p.sourceX, p.sourceY, w, h}, to = {p.x, p.y, w, h};
        SDL_BlitSurface(atlas, &from, screen, &to);
    }
    SDL_FreeSurface(atlas);
    SDL_FreeSurface(screen);
    state.SetItemsProcessed(state.iterations() * (size ? size * size : kWidth * kHeight));
}

void Register() {
    struct Kind {
        const char* name;
        bool wide;
        Op op;
        bool pixman;
    };
    const Kind kinds[] = {
        {"Alpha32", true, Op::Alpha, true}, {"Alpha16", false, Op::Alpha, true},
        {"Add32", true, Op::Add, true},     {"Add16", false, Op::Add, true},
        {"Key32", true, Op::Key, false},    {"Key16", false, Op::Key, false},
    };
    for (const Kind& k : kinds) {
        auto sizes = [](benchmark::internal::Benchmark* b) {
            for (int s : {16, 32, 64, 128, 0}) b->Arg(s); // 0: the whole 640 x 480 frame
        };
        benchmark::RegisterBenchmark((std::string(k.name) + "/Velk").c_str(), BM_Velk, k.wide, k.op)->Apply(sizes);
        if (k.pixman)
            benchmark::RegisterBenchmark((std::string(k.name) + "/Pixman").c_str(), BM_Pixman, k.wide, k.op)
                ->Apply(sizes);
        benchmark::RegisterBenchmark((std::string(k.name) + "/SDL").c_str(), BM_Sdl, k.wide, k.op)->Apply(sizes);
    }
}

// Keeps every benchmark's time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        // The fastest repetition of each: the least disturbed by other work on the machine.
        for (const Run& run : runs) {
            // With aggregates only on display, the medians stand in for the runs.
            if (run.run_type != Run::RT_Iteration && run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name + "/" + run.run_name.args;
            double time = run.GetAdjustedRealTime();
            auto it = times.find(name);
            if (it == times.end() || time < it->second) times[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nTime of the other library / time of ours (above 1: ours is faster)\n");
    std::printf("%-10s %6s %10s %10s\n", "operation", "size", "pixman", "SDL2");
    for (const char* op : {"Alpha32", "Alpha16", "Add32", "Add16", "Key32", "Key16"}) {
        for (int size : {16, 32, 64, 128, 0}) {
            std::string tail = "/" + std::to_string(size);
            auto ours = reporter.times.find(std::string(op) + "/Velk" + tail);
            if (ours == reporter.times.end()) continue;
            auto ratio = [&](const char* other) {
                auto it = reporter.times.find(std::string(op) + "/" + other + tail);
                return it == reporter.times.end() ? 0.0 : it->second / ours->second;
            };
            std::printf("%-10s %6s %10.2f %10.2f\n", op, size ? std::to_string(size).c_str() : "frame",
                        ratio("Pixman"), ratio("SDL"));
        }
    }
    benchmark::Shutdown();
    return 0;
}
