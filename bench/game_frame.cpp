// Frames of the game's running world on one core: the play screen's frame (the simulation tick,
// the screen cleared, the ground, the creatures with their target lines and the panels drawn)
// with a full table of 2,000 creatures, on the library's software path. The headline is the
// frame presented to a real window: run it under an X server (xvfb-run); without DISPLAY it falls
// back to SDL's dummy video driver and says so. Beside the time it reports the frames actually
// shown (presents while the window is mapped, whose first row reached the window's surface), the
// process's CPU time per frame (every thread: the present's helpers count) and the peak resident
// memory. The tick and the drawing are also measured alone.
#include <benchmark/benchmark.h>
#include <SDL.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <memory>
#include <string>

#include "game_colors.h"
#include "game_engine.h"
#include "graphics/graphics_services.h"
#include "sequence.h"
#include "game_scratch_folder.h"
#include "velk.h"
#include "world.h"

namespace {

constexpr int kFramesPerRun = 600;  // ten seconds of play, then a fresh full world

// The library started once for all benchmarks, on the software path without a display.
bool StartLibrary() {
    static const GameScratchFolder folder("velk-bench-game");
    static const bool started = [] {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("VELK_NO_GL", "1", 1);
        if (folder.path.empty()) return false;
        SetGameRunFolder(folder.path.c_str());
        ChangeWindowMode(1);
        if (InitLibraryLocked() == -1) return false;
        SetAlwaysRunFlag(1);
        SetWaitVSyncFlag(0);
        BuildGameColors();
        return true;
    }();
    return started && GetWindowActiveFlag() != 0;
}

// A run with the largest settings, every free slot then filled with fruit, insects and beasts.
std::unique_ptr<Sequence::Game::GameParent> MakeFullRun(uint32_t seed) {
    SeedRandom(seed);
    auto run = std::make_unique<Sequence::Game::GameParent>(50000, 500, 500, 500);
    World& world = *run->world;
    const int32_t kinds[3] = {Fruit, Insect, Animal};
    for (int i = 0;; ++i) {
        const int32_t x = 20000 + GetRandomInt(600000);
        const int32_t y = 20000 + GetRandomInt(440000);
        Creature* c = world.Spawn(0, kinds[i % 3], x, y);
        if (c == nullptr) break;
        c->nutrient = 1 + i % 4;
        world.airEnergy -= c->nutrient;
    }
    return run;
}

int LivingCount(const World& world) {
    int count = 0;
    for (int slot = 0; slot < kWorldSlotCount; ++slot) count += world.At(slot).kind != Empty;
    return count;
}

enum class Part { Frame, Tick, Draw, FrameAndPresent };

// The process's CPU time (user and system, every thread) in seconds, from /proc.
double ProcessCpuSeconds() {
    std::ifstream in("/proc/self/stat");
    std::string line;
    std::getline(in, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    unsigned long user = 0, system = 0;
    // Fields after the name: state, then 10 numbers, then utime and stime (fields 14 and 15).
    if (std::sscanf(line.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                    &user, &system) != 2)
        return 0;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The peak resident memory in megabytes.
double PeakResidentMegabytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// The library's window as SDL sees it (the first window SDL knows).
SDL_Window* GameWindow() {
    for (Uint32 id = 1; id < 64; ++id)
        if (SDL_Window* window = SDL_GetWindowFromID(id)) return window;
    return nullptr;
}

// A present is shown when the window is mapped and the present overwrote a mark left in the
// first pixel of the window's surface (a value with its top byte set, which no present writes).
constexpr Uint32 kMark = 0xA5123456;

bool WindowMapped(SDL_Window* window) {
    if (window == nullptr) return false;
    Uint32 flags = SDL_GetWindowFlags(window);
    return (flags & SDL_WINDOW_SHOWN) && !(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

Uint32* FirstPixel(SDL_Window* window) {
    SDL_Surface* surface = window != nullptr ? SDL_GetWindowSurface(window) : nullptr;
    if (surface == nullptr || surface->pixels == nullptr || surface->format->BytesPerPixel != 4) return nullptr;
    return static_cast<Uint32*>(surface->pixels);
}

template <Part part>
void RunFrames(benchmark::State& state) {
    if (!StartLibrary()) {
        state.SkipWithError("the library did not start with an active window");
        return;
    }
    uint32_t seed = 1;
    auto run = MakeFullRun(seed);
    int frames = 0;
    double living = 0;
    int64_t shown = 0;
    SDL_Window* window = nullptr;
    if (part == Part::FrameAndPresent) {
        run->Update(nullptr);
        PresentScreen();
        window = GameWindow();
    }
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        if (frames == kFramesPerRun) {
            state.PauseTiming();
            run = MakeFullRun(++seed);
            frames = 0;
            state.ResumeTiming();
        }
        World& world = *run->world;
        switch (part) {
            case Part::Frame:
                run->Update(nullptr);  // the play screen: tick, clear, draw
                break;
            case Part::Tick:
                world.Tick();
                break;
            case Part::Draw:
                DrawBoxShape(0, 0, 640, 480, 0, 1);
                world.Draw();
                break;
            case Part::FrameAndPresent: {
                run->Update(nullptr);
                Uint32* first = FirstPixel(window);
                if (first != nullptr) *first = kMark;
                PresentScreen();
                first = FirstPixel(window);
                shown += WindowMapped(window) && first != nullptr && *first != kMark;
                break;
            }
        }
        living += LivingCount(world);
        ++frames;
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["creatures"] = living / static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_frame"] =
        (ProcessCpuSeconds() - cpuStart) * 1e3 / static_cast<double>(state.iterations());
    state.counters["peak_rss_MB"] = PeakResidentMegabytes();
    if (part == Part::FrameAndPresent) {
        state.counters["frames_shown"] = static_cast<double>(shown);
        state.counters["frames"] = static_cast<double>(state.iterations());
        const char* driver = SDL_GetCurrentVideoDriver();
        state.SetLabel(std::string("video driver ") + (driver ? driver : "none") +
                       (driver && std::strcmp(driver, "dummy") == 0 ? " (no display: not the headline)" : ""));
    }
    run.reset();
}

}  // namespace

// The headline first: the frame presented to the window.
BENCHMARK(RunFrames<Part::FrameAndPresent>)
    ->Name("GameFrame/FullTable/Presented")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::Frame>)->Name("GameFrame/FullTable/NotPresented")->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::Tick>)->Name("GameFrame/FullTable/TickOnly")->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::Draw>)->Name("GameFrame/FullTable/DrawOnly")->Unit(benchmark::kMillisecond);

// The library is ended after the benchmarks, before the scratch folder goes.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndLibraryLocked();
    return 0;
}
