// Fixture of the OpenGL device tests: the library started in a window on a real (virtual) X
// display, on the device path or the software path, and the screen read back as 0x00RRGGBB.
// Skipped without a display (the suite runs under xvfb-run with Mesa's software OpenGL).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../core/test_window_support.h"
#include "core/core.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/screen.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl.h"

inline bool HaveDisplay() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return std::getenv("DISPLAY") != nullptr &&
           (driver == nullptr || std::strcmp(driver, "x11") == 0);
}

// The screen's pixels, width × height words of 0x00RRGGBB, through the screen pixel access.
inline std::vector<uint32_t> ReadScreen(int width = 640, int height = 480) {
    std::vector<uint32_t> pixels;
    ImageRecord record{};
    V_RECT rect{0, 0, width, height};
    if (LockScreenPixels(&rect, &record) != 0) return pixels;
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int r = 0, g = 0, b = 0, a = 0;
            GetImagePixel(&record, x, y, &r, &g, &b, &a);
            pixels[static_cast<size_t>(y) * width + x] =
                static_cast<uint32_t>(r << 16 | g << 8 | b);
        }
    UnlockScreenPixels();
    return pixels;
}

// Writes a 24-bit BMP of width × height pixels; colour(x, y) gives 0xRRGGBB, y counting from
// the top.
inline void WriteTestBmp(const char* path, int width, int height,
                         const std::function<uint32_t(int, int)>& colour) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file(54 + static_cast<size_t>(rowBytes) * height, 0);
    auto put32 = [&](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &file[54 + static_cast<size_t>(height - 1 - y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            row[3 * x] = static_cast<uint8_t>(c);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    }
    FILE* out = std::fopen(path, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

// Writes a picture of 0x00RRGGBB words as a binary PPM file (for a look at what a test drew).
inline void WritePpm(const std::string& path, const std::vector<uint32_t>& picture, int width,
                     int height) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return;
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (uint32_t p : picture) {
        uint8_t rgb[3] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                          static_cast<uint8_t>(p)};
        std::fwrite(rgb, 1, 3, out);
    }
    std::fclose(out);
}

class GlLibraryTest : public ::testing::Test {
public:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no X display";
        folder_ = std::make_unique<ScratchFolder>();
    }
    void TearDown() override {
        if (started_) EndLibraryLocked();
        started_ = false;
        V_D3D9SetHardwareAllowed(true);
        SetUseHardware(1);
        folder_.reset();
    }
    // Starts the library on one path; false when the device path was asked for and not had.
    // Without the device, the OpenGL device is switched off (as VELK_NO_GL=1 does) and the
    // library finds no Direct3D; with forced software it does not even ask.
    bool Start(bool device, bool forceSoftware = false) {
        V_D3D9SetHardwareAllowed(device);
        SetUseHardware(forceSoftware ? 0 : 1);
        ChangeWindowMode(1);
        if (InitLibraryLocked() != 0) return false;
        started_ = true;
        return g_ScreenSettings.useDirect3D == (device ? 1 : 0);
    }
    void Stop() {
        if (started_) EndLibraryLocked();
        started_ = false;
    }

protected:
    std::unique_ptr<ScratchFolder> folder_;
    bool started_ = false;
};
