// Simulation ticks on one core: a full table of 2000 creatures, and the default start. Each tick
// is timed alone; the counters give the median, the 99.9th percentile and the slowest tick (a
// frame waits for the slow ones, which a mean hides), and the ticks per second at the median.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "alternate.h"
#include "core/core.h"
#include "game_clock.h"
#include "world.h"

namespace {

int g_BenchNow = 0;
int BenchMilliseconds() {
    return g_BenchNow;
}

// The run logs the worlds write at their end go to a scratch folder, removed at exit.
struct ScratchFolderHolder {
    std::string path;
    ScratchFolderHolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velk-bench-sim-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~ScratchFolderHolder() {
        std::error_code error;
        if (!path.empty()) {
            std::filesystem::remove_all(path, error);
        }
    }
};

const std::string& ScratchFolder() {
    static const ScratchFolderHolder holder;
    return holder.path;
}

// The largest settings, then every free slot filled with fruit, insects and beasts.
std::unique_ptr<World> MakeFullWorld(uint32_t seed) {
    SeedRandom(seed);
    auto world = std::make_unique<World>(50000, 500, 500, 500, ScratchFolder().c_str());
    const int32_t kinds[3] = {Fruit, Insect, Animal};
    for (int i = 0;; ++i) {
        const int32_t x = 20000 + GetRandomInt(600000);
        const int32_t y = 20000 + GetRandomInt(440000);
        Creature* c = world->Spawn(0, kinds[i % 3], x, y);
        if (c == nullptr) {
            break;
        }
        c->nutrient = 1 + i % 4;
        world->airEnergy -= c->nutrient;
    }
    return world;
}

std::unique_ptr<World> MakeDefaultWorld(uint32_t seed) {
    SeedRandom(seed);
    return std::make_unique<World>(1000, 10, 20, 6, ScratchFolder().c_str());
}

// Ticks a world; every `ticksPerRun` ticks a fresh one is made (untimed), so the measure covers
// the busy first part of a run where all four kinds live.
template <std::unique_ptr<World> (*Make)(uint32_t)>
void TickWorld(benchmark::State& state) {
    SetGameMillisecondsSource(&BenchMilliseconds);
    const int ticksPerRun = static_cast<int>(state.range(0));
    uint32_t seed = 1;
    std::unique_ptr<World> world = Make(seed);
    int ticks = 0;
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(state.max_iterations));
    for (auto _ : state) {
        if (ticks == ticksPerRun) {
            world = Make(++seed);
            ticks = 0;
        }
        g_BenchNow += 16;
        double start = alternate::Now();
        world->Tick();
        double seconds = alternate::Now() - start;
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        ++ticks;
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double share) {
        return micros.empty() ? 0.0 : micros[std::min(micros.size() - 1, static_cast<size_t>(share * micros.size()))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99.9_us"] = at(0.999);
    state.counters["max_us"] = micros.empty() ? 0.0 : micros.back();
    state.counters["ticks_per_second_at_median"] = at(0.5) > 0 ? 1e6 / at(0.5) : 0.0;
    state.SetLabel("time column: mean; see median_us, p99.9_us, max_us");
    world.reset();
    SetGameMillisecondsSource(nullptr);
}

}  // namespace

BENCHMARK(TickWorld<MakeFullWorld>)
    ->Name("SimTick/FullTable")
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(TickWorld<MakeDefaultWorld>)
    ->Name("SimTick/DefaultStart")
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
