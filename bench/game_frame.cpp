// Frames per second of the game's running world on one core: the play screen's frame (the
// simulation tick, the screen cleared, the ground, the creatures with their target lines and the
// panels drawn) with a full table of 2,000 creatures, on the library's software path without a
// display (SDL's dummy video driver). The tick and the drawing are also measured alone, and the
// frame once more with the screen presented (without waiting for the vertical blank).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "game_colors.h"
#include "game_engine.h"
#include "sequence.h"
#include "velk.h"
#include "world.h"

namespace {

constexpr int kFramesPerRun = 600;  // ten seconds of play, then a fresh full world

// The library writes Log.txt and the run its log into a scratch folder that holds a link to the
// game's data; the folder is removed at exit.
struct ScratchFolder {
    std::string path;
    std::filesystem::path home;
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velk-bench-game-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        path = pattern;
        std::error_code error;
        home = std::filesystem::current_path(error);
        std::filesystem::create_directory_symlink(VELK_GAME_DATA "/Data", path + "/Data", error);
        std::filesystem::current_path(path, error);
    }
    ~ScratchFolder() {
        std::error_code error;
        if (path.empty()) return;
        std::filesystem::current_path(home, error);
        std::filesystem::remove_all(path, error);
    }
};

// The library started once for all benchmarks, on the software path without a display.
bool StartLibrary() {
    static const ScratchFolder folder;
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
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
            case Part::FrameAndPresent:
                run->Update(nullptr);
                PresentScreen();
                break;
        }
        living += LivingCount(world);
        ++frames;
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["creatures"] = living / static_cast<double>(state.iterations());
    run.reset();
}

}  // namespace

BENCHMARK(RunFrames<Part::Frame>)->Name("GameFrame/FullTable")->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::Tick>)->Name("GameFrame/FullTable/TickOnly")->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::Draw>)->Name("GameFrame/FullTable/DrawOnly")->Unit(benchmark::kMillisecond);
BENCHMARK(RunFrames<Part::FrameAndPresent>)
    ->Name("GameFrame/FullTable/WithPresent")
    ->Unit(benchmark::kMillisecond);

// The library is ended after the benchmarks, before the scratch folder goes.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndLibraryLocked();
    return 0;
}
