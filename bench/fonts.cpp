// Text on the 16-bit software screen: 1,000 short strings per frame from a warm glyph cache (plain,
// edged and anti-aliased fonts), and re-creating the default font at 48 and back at 24 pixels, as
// the pause screen does every frame it changes the size.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/screen.h"
#include "platform/d3d9_record.h"

namespace {

bool StartSoftwareScreen() {
    g_Library.initialised = 1;
    g_Window.settings.windowed = 1;
    g_Window.active = 1;
    V_D3D9SetHardwareAllowed(false);
    g_ScreenSettings = {};
    g_ScreenSettings.softwareForced = 1;
    return InitGraphics() == 0 && g_ScreenSettings.useDirect3D == 0;
}

void DrawStrings(benchmark::State& state, int fontType, int edge) {
    if (!StartSoftwareScreen()) {
        state.SkipWithError("graphics did not start");
        return;
    }
    int font = CreateFontToHandle(nullptr, 16, 6, fontType, -1, edge, 0, -1, -1);
    uint32_t white = GetScreenColor(255, 255, 255);
    uint32_t black = GetScreenColor(0, 0, 0);
    char texts[1000][24];
    for (int i = 0; i < 1000; ++i) std::snprintf(texts[i], sizeof(texts[i]), "COUNT:%d", i * 7);
    for (int i = 0; i < 1000; ++i) DrawStringWithFont(0, 0, texts[i], white, font, black, 0);
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            DrawStringWithFont(i % 8 * 80, i / 8 % 30 * 16, texts[i], white, font, black, 0);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    EndGraphics();
}

void BM_ThousandStringsPlain(benchmark::State& state) { DrawStrings(state, 0, -1); }
void BM_ThousandStringsEdged(benchmark::State& state) { DrawStrings(state, 1, 2); }
void BM_ThousandStringsAntialiasedEdged(benchmark::State& state) { DrawStrings(state, 3, 2); }

void BM_DefaultFontResize(benchmark::State& state) {
    if (!StartSoftwareScreen()) {
        state.SkipWithError("graphics did not start");
        return;
    }
    uint32_t white = GetScreenColor(255, 255, 255);
    for (auto _ : state) {
        SetDefaultFontSize(48);
        DrawStringDefault(64, 64, "PAUSE", white, 0);
        SetDefaultFontSize(24);
        DrawStringDefault(40, 340, "RE START", white, 0);
    }
    EndGraphics();
}

BENCHMARK(BM_ThousandStringsPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandStringsEdged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandStringsAntialiasedEdged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultFontResize)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
