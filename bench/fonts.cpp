// Text on the 16-bit software screen: 1,000 short strings per frame from a warm glyph cache (plain,
// edged and anti-aliased fonts), and re-creating the default font at 48 and back at 24 pixels, as
// the pause screen does every frame it changes the size. With a display (xvfb-run), a screen of
// 1,000 new glyphs on the OpenGL device side by side with the software screen.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>

#include "core/core_services.h"
#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "core/core.h"
#include "platform/d3d9/d3d9.h"
#include "support/d3d9_record.h"

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

// 50 strings of 20 two-byte characters, 1,000 different ones (the first kanji rows of the
// character set), none of them drawn before.
std::vector<std::string> NewGlyphStrings() {
    std::vector<std::string> strings;
    std::string text;
    int lead = 0x89, trail = 0x40;
    for (int i = 0; i < 1000; ++i) {
        text += static_cast<char>(lead);
        text += static_cast<char>(trail);
        if (++trail == 0x7F) ++trail;
        if (trail == 0xFD) trail = 0x40, ++lead;
        if (text.size() == 40) strings.push_back(text), text.clear();
    }
    return strings;
}

// Starts the library in a window on the device or the software path; false when not had.
bool StartWindowed(bool device) {
    V_D3D9SetHardwareAllowed(device);
    SetUseHardware(device ? 1 : 0);
    ChangeWindowMode(1);
    if (InitLibraryLocked() != 0) return false;
    if (g_ScreenSettings.useDirect3D != (device ? 1 : 0)) {
        EndLibraryLocked();
        return false;
    }
    ProcessMessage();
    return true;
}

// Seconds to draw the 1,000 new glyphs with a fresh font and read the screen back (so that the
// device has finished); -1 when the path cannot start.
double NewGlyphScreen(bool device, const std::vector<std::string>& strings) {
    if (!StartWindowed(device)) return -1.0;
    int font = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    uint32_t white = GetScreenColor(255, 255, 255);
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    double start = now();
    for (size_t i = 0; i < strings.size(); ++i)
        DrawStringWithFont(static_cast<int>(i % 2) * 320, static_cast<int>(i / 2) * 18,
                           strings[i].c_str(), white, font, 0, 0);
    V_RECT rect{0, 0, 640, 480};
    ImageRecord record{};
    if (LockScreenPixels(&rect, &record) == 0) UnlockScreenPixels();
    double seconds = now() - start;
    EndLibraryLocked();
    return seconds;
}

// Software (the anchor) and device rounds alternately; the ratio device / software per round,
// its median as the result. Skipped without a display.
void BM_NewGlyphScreenDeviceVsSoftware(benchmark::State& state) {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (std::getenv("DISPLAY") == nullptr || (driver != nullptr && std::strcmp(driver, "x11"))) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    std::vector<std::string> strings = NewGlyphStrings();
    std::vector<double> ratios, soft, dev;
    for (auto _ : state) {
        double s = NewGlyphScreen(false, strings);
        double d = NewGlyphScreen(true, strings);
        if (s <= 0.0 || d <= 0.0) {
            state.SkipWithError("a path did not start");
            return;
        }
        soft.push_back(s);
        dev.push_back(d);
        ratios.push_back(d / s);
        state.SetIterationTime(s + d);
        std::fprintf(stderr, "round %zu: software %.1f ms, device %.1f ms, ratio %.2f\n",
                     ratios.size(), s * 1e3, d * 1e3, d / s);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["software_ms"] = median(soft) * 1e3;
    state.counters["device_ms"] = median(dev) * 1e3;
    state.counters["ratio_median"] = median(ratios);
}

BENCHMARK(BM_ThousandStringsPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandStringsEdged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandStringsAntialiasedEdged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultFontResize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewGlyphScreenDeviceVsSoftware)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(7);

}  // namespace
BENCHMARK_MAIN();
