// Test fixture of the draw calls: the library marked up, graphics started on the recording
// device or on the software screen, and small BMP files written for loading.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/library_state.h"
#include "core/window.h"
#include "draw/draw.h"
#include "draw/vertex_batch.h"
#include "graphics/device_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"

struct Rgb {
    uint8_t r, g, b;
};

// Writes a 24-bit bottom-up BMP of the pixels that the function gives.
inline void WriteBmp(const std::string& path, int width, int height,
                     const std::function<Rgb(int, int)>& pixel) {
    int rowBytes = (width * 3 + 3) & ~3;
    uint32_t dataSize = static_cast<uint32_t>(rowBytes * height);
    std::vector<uint8_t> file(54 + dataSize, 0);
    auto put32 = [&](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, 54 + dataSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &file[54 + (height - 1 - y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            Rgb c = pixel(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
}

class DrawTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        // Test programs run in parallel in one folder: each process writes its files in its own.
        static const std::filesystem::path folder =
            std::filesystem::current_path() / ("draw-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        RecordingDeviceTest::SetUp();
        g_GraphTable = {};
        g_ScreenImages = {};
        g_ScreenState = {};
        g_Library.initialised = 1;
        g_Window.settings.windowed = 1;
        g_Window.active = 1;
    }
    void TearDown() override {
        EndGraphics();
        g_Library.initialised = 0;
        g_GraphTable = {};
        RecordingDeviceTest::TearDown();
    }
    void StartGraphics(bool device) {
        if (!device) g_ScreenSettings.softwareForced = 1;
        ASSERT_EQ(InitGraphics(), 0);
        ASSERT_EQ(g_ScreenSettings.useDirect3D, device ? 1 : 0);
        FlushVertexBatch();
        Recording().ClearCalls();
    }
    static std::vector<std::string> Draws() {
        return Recording().CallsStartingWith("DrawPrimitiveUP");
    }
    // The 16-bit software screen's pixel as 0x00RRGGBB with each channel widened.
    static uint32_t ScreenPixel(int x, int y) {
        const MEMIMG& p = g_ScreenImages.primary;
        uint16_t v = *reinterpret_cast<const uint16_t*>(p.pixels + y * p.base->pitch + x * 2);
        uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        return ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
    }
    static void ClearScreen() { FillMemImgRect(&g_ScreenImages.primary, nullptr, 0); }
};
