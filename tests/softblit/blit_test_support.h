// Helpers of the blit kernel tests: images filled from values, pixel access, draw settings.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "softblit/softblit.h"

// A software image that releases itself.
struct TestImage {
    MEMIMG view = {};
    TestImage(int width, int height, int type, int palette = 0, int alpha = 0, int work = 0,
              uint32_t transparent = 0) {
        CreateMemImg(&view, width, height, -1, transparent, type, palette, alpha, work, nullptr);
        std::memset(view.pixels, 0, static_cast<size_t>(view.base->pitch) * height);
    }
    ~TestImage() { ReleaseMemImg(&view); }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;
    MEMIMG* operator->() { return &view; }
    MEMIMG* get() { return &view; }
    int bytes() const { return GetMemImgBytesPerPixel(view.base); }
    uint8_t* at(int x, int y) {
        return view.pixels + static_cast<size_t>(view.base->pitch) * y + static_cast<size_t>(bytes()) * x;
    }
    uint32_t get(int x, int y) {
        uint32_t value = 0;
        std::memcpy(&value, at(x, y), bytes());
        return value;
    }
    void set(int x, int y, uint32_t value) { std::memcpy(at(x, y), &value, bytes()); }
    void fill(uint32_t value) { FillMemImgRect(&view, nullptr, value); }
    void setRow(int y, std::initializer_list<uint32_t> values) {
        int x = 0;
        for (uint32_t v : values) set(x++, y, v);
    }
    std::vector<uint8_t> snapshot() {
        std::vector<uint8_t> bytesOut;
        for (int y = 0; y < view.height; ++y)
            bytesOut.insert(bytesOut.end(), at(0, y), at(0, y) + bytes() * view.width);
        return bytesOut;
    }
    void setPalette32(int index, uint32_t value) { std::memcpy(view.base->palette + 4 * index, &value, 4); }
    void setPalette16(int index, uint16_t value) { std::memcpy(view.base->palette + 2 * index, &value, 2); }
};

// Sets the draw settings the kernels read, with the draw area covering (0, 0, 1024, 1024).
inline void SetBlend(int mode, int parameter, uint32_t bright = 0x00FFFFFF) {
    static bool tablesBuilt = false;
    if (!tablesBuilt) {
        InitMemImgTables();
        SetBlendImageTable(0, 0);
        tablesBuilt = true;
    }
    g_DrawSettings.drawArea = {0, 0, 1024, 1024};
    g_DrawSettings.blendMode = mode;
    g_DrawSettings.blendParameter = parameter;
    g_DrawSettings.brightColor = bright;
}

inline uint32_t Rgb32(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) {
    return top << 24 | r << 16 | g << 8 | b;
}
inline uint32_t Rgb16(uint32_t r, uint32_t g, uint32_t b) {
    return r << 11 | g << 5 | b;
}
