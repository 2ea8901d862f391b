// The game's heaviest frame through the public draw calls, in the game's order: 5,000 ground
// tiles, then 2,000 creatures, each its sprite (half mirrored, turned) followed by its target
// line, on the recording Direct3D device (the vertex batch's cost and its draw calls per frame:
// a sprite and a line do not share a batch, so the order decides the count) and on the 16-bit
// software screen.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw.h"
#include "draw/vertex_batch.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "support/d3d9_record.h"

namespace {

struct Placement {
    int x, y;
    double angle;
    int turn;
};

std::vector<Placement> MakePlacements(int count) {
    std::vector<Placement> out;
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int i = 0; i < count; ++i)
        out.push_back({static_cast<int>(next() % 640), static_cast<int>(next() % 480),
                       (next() % 6283) / 1000.0, i & 1});
    return out;
}

bool StartGraphics(bool device) {
    g_Library.initialised = 1;
    g_Window.settings.windowed = 1;
    g_Window.active = 1;
    V_D3D9SetHardwareAllowed(device);
    V_D3D9UseRecordingDevice(device);
    g_ScreenSettings = {};
    g_ScreenSettings.softwareForced = device ? 0 : 1;
    return InitGraphics() == 0 && g_ScreenSettings.useDirect3D == (device ? 1 : 0);
}

void DrawFrame(int tile, int sprite, const std::vector<Placement>& sprites,
               const std::vector<Placement>& targets, uint32_t colour) {
    for (int i = 0; i < 5000; ++i) DrawGraphAt(i % 40 * 16, i / 40 % 30 * 16, tile, 0);
    for (size_t i = 0; i < sprites.size(); ++i) {
        const Placement& p = sprites[i];
        DrawGraphRotated(p.x, p.y, 1.0, p.angle, sprite, 1, p.turn);
        DrawLineShape(p.x, p.y, targets[i].x, targets[i].y, colour, 1);
    }
    FlushVertexBatch();
}

void RunFrames(benchmark::State& state, bool device) {
    if (!StartGraphics(device)) {
        state.SkipWithError("graphics did not start");
        return;
    }
    int tile = MakeGraph(16, 16);
    int sprite = MakeGraph(16, 16);
    std::vector<Placement> sprites = MakePlacements(2000);
    std::vector<Placement> targets = MakePlacements(2000);
    std::reverse(targets.begin(), targets.end());
    uint32_t colour = GetScreenColor(255, 255, 0);
    double drawCalls = 0;
    for (auto _ : state) {
        if (device) V_GetD3D9Recording().ClearCalls();
        DrawFrame(tile, sprite, sprites, targets, colour);
        if (device)
            drawCalls += static_cast<double>(
                V_GetD3D9Recording().CallsStartingWith("DrawPrimitiveUP").size());
    }
    if (device)
        state.counters["draw_calls_per_frame"] =
            drawCalls / static_cast<double>(state.iterations());
    EndGraphics();
    V_D3D9UseRecordingDevice(false);
    V_ResetD3D9Recording();
}

void BM_HeavyFrameDevice(benchmark::State& state) { RunFrames(state, true); }
void BM_HeavyFrameSoftware(benchmark::State& state) { RunFrames(state, false); }

BENCHMARK(BM_HeavyFrameDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeavyFrameSoftware)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
