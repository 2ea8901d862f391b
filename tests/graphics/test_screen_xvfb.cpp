// The library on a real (virtual) X display: a graph is loaded, the screen cleared, its pixels
// read back through the screen pixel access and the frame shown in the window, on the device
// path and on the software path. Skipped without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "../core/test_window_support.h"
#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "platform/user/user_internal.h"

namespace {

bool HaveDisplay() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return std::getenv("DISPLAY") != nullptr && (driver == nullptr || std::strcmp(driver, "x11") == 0);
}

// Clears the screen's back picture to one colour on either path.
void ClearScreenTo(int red, int green, int blue) {
    if (g_ScreenSettings.useDirect3D) {
        V_IDirect3DDevice9* device = g_GraphicsDevice.device;
        device->Clear(0, nullptr, V_D3DCLEAR_TARGET,
                      0xFF000000u | static_cast<uint32_t>(red) << 16 |
                          static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue),
                      1.0f, 0);
    } else {
        FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(red, green, blue));
    }
}

void RunFrame(bool software) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    ScratchFolder folder;
    SetUseHardware(software ? 0 : 1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    if (!software && !g_ScreenSettings.useDirect3D) {
        EndLibraryLocked();
        GTEST_SKIP() << "no Direct3D device on this display";
    }
    EXPECT_EQ(g_ScreenSettings.useDirect3D, software ? 0 : 1);

    // A graph loaded from an image file (a 4 x 4 white bitmap).
    ImageRecord image{};
    ASSERT_EQ(CreateXrgbImageRecord(4, 4, &image), 0);
    std::memset(image.pixels, 0xFF, static_cast<size_t>(image.pitch) * 4);
    int graph = MakeGraph(4, 4);
    ASSERT_GE(graph, 0);
    EXPECT_EQ(UploadImageToGraph(nullptr, &image, nullptr, 0, 0, graph, 0), 0);
    ReleaseImageRecord(&image);

    ClearScreenTo(0x80, 0x40, 0x20);
    ImageRecord pixels{};
    V_RECT rect{0, 0, 640, 480};
    ASSERT_EQ(LockScreenPixels(&rect, &pixels), 0);
    int r = 0, g = 0, b = 0, a = 0;
    GetImagePixel(&pixels, 320, 240, &r, &g, &b, &a);
    UnlockScreenPixels();
    EXPECT_NEAR(r, 0x80, 8);
    EXPECT_NEAR(g, 0x40, 8);
    EXPECT_NEAR(b, 0x20, 8);

    EXPECT_EQ(PresentScreen(), 0);
    if (software) {
        SDL_Surface* surface = SDL_GetWindowSurface(UserGetSdlWindow(GetMainWindowHandle()));
        ASSERT_NE(surface, nullptr);
        uint32_t value = 0;
        std::memcpy(&value,
                    static_cast<uint8_t*>(surface->pixels) + 240 * surface->pitch + 320 * 4, 4);
        uint8_t sr, sg, sb;
        SDL_GetRGB(value, surface->format, &sr, &sg, &sb);
        EXPECT_NEAR(sr, 0x80, 8);
        EXPECT_NEAR(sg, 0x40, 8);
        EXPECT_NEAR(sb, 0x20, 8);
    }
    EXPECT_EQ(EndLibraryLocked(), 0);
    SetUseHardware(1);
}

TEST(ScreenXvfb, DevicePathFrame) { RunFrame(false); }

TEST(ScreenXvfb, SoftwarePathFrame) { RunFrame(true); }

}  // namespace
