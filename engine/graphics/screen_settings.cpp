// Screen settings: vertical-blank wait, 320 x 240 emulation, draw mode, hardware use, the
// screen's size as the program sees it and colour values of the screen format.
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"

namespace {

struct ScreenChannels {
    uint32_t width[3];  // red, green, blue
    uint32_t shift[3];
    uint32_t unusedMask;
};

// The screen format: X8R8G8B8 on 32-bit screens, R5G6B5 on 16-bit ones, on either path.
ScreenChannels ScreenFormat() {
    if (GetColorBitDepth() == 32) return {{8, 8, 8}, {16, 8, 0}, 0xFF000000u};
    return {{5, 6, 5}, {11, 5, 0}, 0};
}

}  // namespace

int SetWaitVSync(int flag) {
    g_ScreenSettings.noVSync = flag == 0;
    return 0;
}

int GetWaitVSync() { return g_ScreenSettings.noVSync ? 0 : 1; }

int SetEmulation320x240(int flag) {
    g_DrawSettings.emulation320x240 = flag;
    return 0;
}

int GetDrawMode() { return g_DrawSettings.drawMode; }

int GetUseHardware() { return g_ScreenSettings.softwareForced ? 0 : 1; }

int GetScreenState(int* width, int* height, int* bits) {
    int screenWidth, screenHeight;
    GetScreenSize(&screenWidth, &screenHeight);
    // A 320 x 240 run, emulated or shown doubled, keeps its own size for the program.
    if (g_DrawSettings.emulation320x240 || g_ScreenState.doubled) {
        screenWidth = 320;
        screenHeight = 240;
    }
    if (width != nullptr) *width = screenWidth;
    if (height != nullptr) *height = screenHeight;
    if (bits != nullptr) *bits = GetColorBitDepth();
    return 0;
}

uint32_t GetScreenColor(int red, int green, int blue) {
    ScreenChannels format = ScreenFormat();
    const int channels[3] = {red, green, blue};
    uint32_t value = format.unusedMask;
    for (int i = 0; i < 3; ++i) {
        uint32_t c = static_cast<uint32_t>(channels[i]) & 0xFF;
        value += (c >> (8 - format.width[i])) << format.shift[i];
    }
    return value;
}

int GetScreenColorRGB(uint32_t value, int* red, int* green, int* blue) {
    ScreenChannels format = ScreenFormat();
    int* outputs[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
        uint32_t maximum = (1u << format.width[i]) - 1;
        uint32_t channel = (value >> format.shift[i]) & maximum;
        if (outputs[i] != nullptr) *outputs[i] = static_cast<int>(channel * 255 / maximum);
    }
    return 0;
}

int GetWaitVSyncFlag() { return GetWaitVSync(); }
int SetWaitVSyncFlag(int flag) { return SetWaitVSync(flag); }
