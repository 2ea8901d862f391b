// The game's play frame with a full table of 2,000 creatures on the OpenGL device path against
// the software path, on a real (virtual) X display: run under xvfb-run -s "-noreset ..." (each
// round opens the display again) with Mesa's software OpenGL (LIBGL_ALWAYS_SOFTWARE=1). Each round starts the library on the device path, plays a
// number of frames (tick, draw, present), ends it, and does the same on the software path; the
// main thread's CPU time per frame of each, their ratio per round and its median are reported
// with the machine load, beside the device's counts per frame (draws received, GL draws, state
// changes, texture uploads, buffer bytes).
//
// With --memory-run=SECONDS,device|software the program instead plays one path for that long and
// writes the resident and peak memory every ten seconds (the long memory check).
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "alternate.h"
#include "game_colors.h"
#include "game_engine.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl.h"
#include "game_scratch_folder.h"
#include "sequence.h"
#include "velk.h"
#include "world.h"

namespace {

constexpr int kFramesPerRound = 120;

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Resident and peak resident memory in kilobytes.
void Memory(long* resident, long* peak) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) *resident = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) *peak = std::atol(line.c_str() + 6);
    }
}

// The library on one path; false when that path was not had.
bool Start(bool device) {
    V_D3D9SetHardwareAllowed(device);
    SetUseHardware(device ? 1 : 0);
    ChangeWindowMode(1);
    if (InitLibraryLocked() != 0) return false;
    SetAlwaysRunFlag(1);
    SetWaitVSyncFlag(0);
    BuildGameColors();
    return g_ScreenSettings.useDirect3D == (device ? 1 : 0);
}

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

struct PathResult {
    bool ok = false;
    double cpuPerFrame = 0;
    V_D3D9GlFrameCounts perFrame{};  // mean counts per frame (device path)
    uint64_t mostGlDraws = 0;
};

// Plays a fresh full table for a number of frames on one path.
PathResult Play(bool device, uint32_t seed, int frames) {
    PathResult result;
    if (!Start(device)) {
        EndLibraryLocked();
        return result;
    }
    {
        auto run = MakeFullRun(seed);
        for (int i = 0; i < 10; ++i) {  // textures and programs made before the timing
            run->Update(nullptr);
            PresentScreen();
        }
        V_D3D9GlResetCounts();
        double start = alternate::ThreadCpu();
        for (int i = 0; i < frames; ++i) {
            run->Update(nullptr);
            PresentScreen();
            result.mostGlDraws = std::max(result.mostGlDraws, V_D3D9GlLastFrameCounts().glDraws);
        }
        result.cpuPerFrame = (alternate::ThreadCpu() - start) / frames;
        V_D3D9GlFrameCounts total = V_D3D9GlTotalCounts();
        uint64_t n = std::max<uint64_t>(1, V_D3D9GlPresentedFrames());
        // Rounded to the nearest whole count.
        auto mean = [n](uint64_t sum) { return (sum + n / 2) / n; };
        result.perFrame = {mean(total.drawsReceived), mean(total.glDraws),
                           mean(total.stateChanges),  mean(total.textureUploads),
                           mean(total.textureUploadBytes), total.bufferBytes};
    }
    EndLibraryLocked();
    result.ok = true;
    return result;
}

bool HaveDisplay() { return std::getenv("DISPLAY") != nullptr; }

// One round: the device path, then the software path, on the same fresh table.
void DeviceAgainstSoftware(benchmark::State& state) {
    if (!HaveDisplay()) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    std::vector<double> ratios;
    double device = 0, software = 0;
    PathResult last;
    uint32_t seed = 1;
    for (auto _ : state) {
        PathResult a = Play(true, seed, kFramesPerRound);
        PathResult b = Play(false, seed, kFramesPerRound);
        ++seed;
        if (!a.ok || !b.ok) {
            state.SkipWithError("a path could not be started");
            return;
        }
        ratios.push_back(a.cpuPerFrame / b.cpuPerFrame);
        device += a.cpuPerFrame;
        software += b.cpuPerFrame;
        last = a;
        std::fprintf(stderr,
                     "round %zu: device %.2f ms, software %.2f ms, ratio %.2f; %llu draws received, "
                     "%llu GL draws (most %llu), %llu state changes, %llu uploads (%llu bytes) per "
                     "frame, %llu buffer bytes; load %s\n",
                     ratios.size(), a.cpuPerFrame * 1e3, b.cpuPerFrame * 1e3,
                     a.cpuPerFrame / b.cpuPerFrame,
                     static_cast<unsigned long long>(a.perFrame.drawsReceived),
                     static_cast<unsigned long long>(a.perFrame.glDraws),
                     static_cast<unsigned long long>(a.mostGlDraws),
                     static_cast<unsigned long long>(a.perFrame.stateChanges),
                     static_cast<unsigned long long>(a.perFrame.textureUploads),
                     static_cast<unsigned long long>(a.perFrame.textureUploadBytes),
                     static_cast<unsigned long long>(a.perFrame.bufferBytes), Load().c_str());
    }
    std::vector<double> sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    const double rounds = static_cast<double>(ratios.size());
    state.counters["device_ms"] = device / rounds * 1e3;
    state.counters["software_ms"] = software / rounds * 1e3;
    state.counters["ratio_median"] = sorted[sorted.size() / 2];
    state.counters["draws_received"] = static_cast<double>(last.perFrame.drawsReceived);
    state.counters["gl_draws"] = static_cast<double>(last.perFrame.glDraws);
    state.counters["gl_draws_most"] = static_cast<double>(last.mostGlDraws);
    state.counters["state_changes"] = static_cast<double>(last.perFrame.stateChanges);
    state.counters["uploads"] = static_cast<double>(last.perFrame.textureUploads);
    state.counters["buffer_bytes"] = static_cast<double>(last.perFrame.bufferBytes);
    state.SetLabel("load " + Load());
}

BENCHMARK(DeviceAgainstSoftware)
    ->Name("GameFrameDevice/FullTable/DeviceAgainstSoftware")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Plays one path for the given seconds, writing resident and peak memory every ten seconds.
int MemoryRun(int seconds, bool device) {
    if (!HaveDisplay() || !Start(device)) {
        std::fprintf(stderr, "the %s path could not be started\n", device ? "device" : "software");
        return 1;
    }
    {
        auto run = MakeFullRun(1);
        uint32_t seed = 1;
        const double start = static_cast<double>(SDL_GetTicks()) / 1000.0;
        double next = 0;
        int frames = 0;
        for (;;) {
            double now = static_cast<double>(SDL_GetTicks()) / 1000.0 - start;
            if (now >= next) {
                long resident = 0, peak = 0;
                Memory(&resident, &peak);
                // The heap: bytes in use, and bytes the allocator holds (its arenas and maps).
                struct mallinfo2 heap = mallinfo2();
                std::printf("%s %4.0f s: %ld KB resident, %ld KB peak, heap %zu KB in use of "
                            "%zu KB, %d frames, load %s\n",
                            device ? "device" : "software", now, resident, peak,
                            heap.uordblks / 1024 + heap.hblkhd / 1024,
                            (heap.arena + heap.hblkhd) / 1024, frames, Load().c_str());
                std::fflush(stdout);
                next += 10;
            }
            if (now >= seconds) break;
            if (++frames % 600 == 0) {
                run.reset();
                run = MakeFullRun(++seed);
            }
            run->Update(nullptr);
            PresentScreen();
        }
    }
    EndLibraryLocked();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    GameScratchFolder folder("velk-bench-device");
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SetGameRunFolder(folder.path.c_str());
    for (int i = 1; i < argc; ++i) {
        const char* prefix = "--memory-run=";
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) {
            const char* value = argv[i] + std::strlen(prefix);
            return MemoryRun(std::atoi(value), std::strstr(value, "device") != nullptr);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
