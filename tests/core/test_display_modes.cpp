// Display modes: the layer's mode list and mode changes with their display-change message, the
// full-screen change of the software path with its fallbacks, and run-time switches of the
// window mode.
#include <gtest/gtest.h>
#include <SDL.h>

#include <vector>

#include "core/core.h"
#include "core/window.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "platform/user/user_internal.h"
#include "test_window_support.h"

namespace {

V_DEVMODEA Mode(int width, int height, int bits, int rate) {
    V_DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmFields = V_DM_BITSPERPEL | V_DM_PELSWIDTH | V_DM_PELSHEIGHT | V_DM_DISPLAYFREQUENCY;
    mode.dmBitsPerPel = static_cast<V_DWORD>(bits);
    mode.dmPelsWidth = static_cast<V_DWORD>(width);
    mode.dmPelsHeight = static_cast<V_DWORD>(height);
    mode.dmDisplayFrequency = static_cast<V_DWORD>(rate);
    return mode;
}

struct DisplayChange {
    V_WPARAM bits;
    V_LPARAM size;
};
std::vector<DisplayChange> g_Changes;

V_LRESULT DisplayProcedure(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    if (message == V_WM_DISPLAYCHANGE) g_Changes.push_back({wParam, lParam});
    return V_DefWindowProcA(window, message, wParam, lParam);
}

// Puts the given list in place of the display's and takes it away again at the end.
struct ChosenModes {
    explicit ChosenModes(std::vector<V_DEVMODEA> modes) {
        V_SetDisplayModesForTest(modes.data(), static_cast<int>(modes.size()));
    }
    ~ChosenModes() {
        V_ChangeDisplaySettingsA(nullptr, 0);
        V_SetDisplayModesForTest(nullptr, -1);
    }
};

}  // namespace

TEST(DisplayModes, ChangesAreListedModesAndEveryChangeIsAnnounced) {
    ChosenModes chosen({Mode(640, 480, 16, 60), Mode(800, 600, 32, 75)});
    V_DEVMODEA found{};
    ASSERT_TRUE(V_EnumDisplaySettingsA(nullptr, 1, &found));
    EXPECT_EQ(found.dmPelsWidth, 800u);
    EXPECT_EQ(found.dmPelsHeight, 600u);
    EXPECT_EQ(found.dmBitsPerPel, 32u);
    EXPECT_EQ(found.dmDisplayFrequency, 75u);
    EXPECT_FALSE(V_EnumDisplaySettingsA(nullptr, 2, &found));
    EXPECT_FALSE(V_EnumDisplaySettingsA("other", 0, &found));

    V_WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DisplayProcedure;
    windowClass.lpszClassName = "DisplayModesTest";
    ASSERT_NE(V_RegisterClassExA(&windowClass), 0);
    V_HWND window = V_CreateWindowExA(0, "DisplayModesTest", "modes", 0, 0, 0, 320, 200, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    g_Changes.clear();

    V_DEVMODEA unlisted = Mode(1024, 768, 16, 60);
    EXPECT_EQ(V_ChangeDisplaySettingsA(&unlisted, V_CDS_FULLSCREEN), V_DISP_CHANGE_BADMODE);
    V_DEVMODEA wrongRate = Mode(640, 480, 16, 85);
    EXPECT_EQ(V_ChangeDisplaySettingsA(&wrongRate, V_CDS_FULLSCREEN), V_DISP_CHANGE_BADMODE);
    EXPECT_EQ(V_ChangeDisplaySettingsA(nullptr, 0), V_DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(g_Changes.empty()) << "nothing changed, nothing announced";

    wrongRate.dmFields &= ~V_DM_DISPLAYFREQUENCY;
    EXPECT_EQ(V_ChangeDisplaySettingsA(&wrongRate, 0), V_DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(g_Changes.size(), 1u);
    EXPECT_EQ(g_Changes[0].bits, 16u);
    EXPECT_EQ(g_Changes[0].size, static_cast<V_LPARAM>(480 << 16 | 640));

    EXPECT_EQ(V_ChangeDisplaySettingsA(nullptr, 0), V_DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(g_Changes.size(), 2u);
    EXPECT_EQ(g_Changes[1].bits,
              static_cast<V_WPARAM>(V_GetDeviceCaps(reinterpret_cast<V_HDC>(1), V_BITSPIXEL)));
    EXPECT_EQ(g_Changes[1].size,
              static_cast<V_LPARAM>(V_GetSystemMetrics(V_SM_CYSCREEN) << 16 |
                                    V_GetSystemMetrics(V_SM_CXSCREEN)));
    EXPECT_EQ(V_ChangeDisplaySettingsA(nullptr, 0), V_DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(g_Changes.size(), 2u) << "already on the desktop";

    V_DestroyWindow(window);
    V_MSG message;
    while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) {
    }
    V_UnregisterClassA("DisplayModesTest", nullptr);
}

TEST(DisplayModes, TheDisplaysOwnModesInBothDepths) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    SDL_DisplayMode first;
    ASSERT_EQ(SDL_GetDisplayMode(0, 0, &first), 0);
    V_DEVMODEA mode{};
    ASSERT_TRUE(V_EnumDisplaySettingsA(nullptr, 0, &mode));
    EXPECT_EQ(static_cast<int>(mode.dmPelsWidth), first.w);
    EXPECT_EQ(static_cast<int>(mode.dmPelsHeight), first.h);
    EXPECT_EQ(mode.dmBitsPerPel, 16u);
    ASSERT_TRUE(V_EnumDisplaySettingsA(nullptr, 1, &mode));
    EXPECT_EQ(static_cast<int>(mode.dmPelsWidth), first.w);
    EXPECT_EQ(mode.dmBitsPerPel, 32u);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// The software path's full-screen change against a chosen list.
class FullScreenChange : public testing::Test {
protected:
    void SetUp() override {
        g_ScreenSettings = {};
        g_DrawSettings.emulation320x240 = 0;
    }
    void TearDown() override {
        g_ScreenSettings = {};
        g_DrawSettings.emulation320x240 = 0;
    }
    static void Screen(int width, int height, int bits, int rate) {
        g_ScreenSettings.width = width;
        g_ScreenSettings.height = height;
        g_ScreenSettings.colorDepth = bits;
        g_ScreenSettings.refreshRate = rate;
    }
};

TEST_F(FullScreenChange, RefusedRateIsDroppedAndTheModeTakenWithoutIt) {
    ChosenModes chosen({Mode(640, 480, 16, 75)});
    Screen(640, 480, 16, 60);
    EXPECT_EQ(ChangeToFullScreenMode(), 0);
    EXPECT_EQ(g_ScreenSettings.refreshRate, 0);
    EXPECT_EQ(g_ScreenSettings.width, 640);
    EXPECT_EQ(g_DrawSettings.emulation320x240, 0);
}

TEST_F(FullScreenChange, Refused320x240RunsIn640x480WithTheEmulation) {
    ChosenModes chosen({Mode(640, 480, 32, 60)});
    Screen(320, 240, 32, 0);
    EXPECT_EQ(ChangeToFullScreenMode(), 0);
    EXPECT_EQ(g_ScreenSettings.width, 640);
    EXPECT_EQ(g_ScreenSettings.height, 480);
    EXPECT_EQ(g_DrawSettings.emulation320x240, 1);
    int width = 0, height = 0;
    GetScreenState(&width, &height, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
}

TEST_F(FullScreenChange, NoModeOfTheSizeOrDepthFails) {
    ChosenModes chosen({Mode(800, 600, 16, 60), Mode(640, 480, 32, 60)});
    Screen(640, 480, 16, 0);
    EXPECT_EQ(ChangeToFullScreenMode(), -1);
    Screen(320, 240, 16, 0);
    EXPECT_EQ(ChangeToFullScreenMode(), -1) << "no 640 x 480 in 16 bits either";
    Screen(640, 480, 24, 0);
    EXPECT_EQ(ChangeToFullScreenMode(), -1);
}

TEST_F(FullScreenChange, ListHoldsTheDisplaysModesOfSixteenBitsAndMore) {
    ChosenModes chosen({Mode(640, 480, 8, 60), Mode(640, 480, 16, 60), Mode(1024, 768, 32, 75)});
    int count = 0;
    DisplayModeEntry* list = nullptr;
    ListDisplayModes(&count, &list);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(list[0].width, 640u);
    EXPECT_EQ(list[0].bits, 16u);
    EXPECT_EQ(list[1].width, 1024u);
    EXPECT_EQ(list[1].height, 768u);
    EXPECT_EQ(list[1].bits, 32u);
    EXPECT_EQ(list[1].refreshRate, 75u);
    ListDisplayModes(&count, &list);  // frees the old list first
    EXPECT_EQ(count, 2);
    V_HeapFree(V_GetProcessHeap(), 0, list);
}

// Run-time switches of a running library.
TEST(WindowModeSwitch, FullScreenAndBackEachSeeTheDisplayChange) {
    ScratchFolder folder;
    ChosenModes chosen({Mode(640, 480, 16, 60), Mode(640, 480, 32, 60)});
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    EXPECT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(GetWindowModeFlag(), 0);
    EXPECT_EQ(g_Window.displayChanged, 1) << "the wait ended on the display change";
    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(GetWindowModeFlag(), 1);
    EXPECT_EQ(g_Window.displayChanged, 1);
    EXPECT_EQ(EndLibraryLocked(), 0);
}

TEST(WindowModeSwitch, NoModeForTheScreenKeepsTheWindow) {
    ScratchFolder folder;
    ChosenModes chosen({Mode(800, 600, 16, 60)});
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    EXPECT_EQ(ChangeWindowMode(0), -1);
    EXPECT_EQ(GetWindowModeFlag(), 1);
    EXPECT_EQ(ProcessMessageLocked(), 0) << "the library runs on";
    EXPECT_EQ(EndLibraryLocked(), 0);
}

// On a real display (the virtual X display has one mode): full screen takes the display's own
// mode, a refused refresh rate is dropped, and a screen without a mode starts windowed.
TEST(RealDisplay, FullScreenInTheDisplaysModeAndFallbacks) {
    const char* driver = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && SDL_strcmp(driver, "dummy") == 0) GTEST_SKIP() << "no display";
    ScratchFolder folder;
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    ASSERT_STRNE(SDL_GetCurrentVideoDriver(), "offscreen") << "no display could be opened";
    SDL_DisplayMode only;
    ASSERT_EQ(SDL_GetDisplayMode(0, 0, &only), 0);
    bool hasVgaMode = false;
    for (int i = 0; i < SDL_GetNumDisplayModes(0); ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) == 0 && m.w == 640 && m.h == 480) hasVgaMode = true;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);

    // The display's mode with a rate it does not have: taken without the rate, on the software
    // path; and the device's full screen (where a device can be made) on the other.
    for (int forced = 1; forced >= 0; --forced) {
        SCOPED_TRACE(forced);
        g_ScreenSettings = {};
        g_ScreenSettings.width = only.w;
        g_ScreenSettings.height = only.h;
        g_ScreenSettings.refreshRate = forced ? 1 : 0;
        g_ScreenSettings.softwareForced = forced;
        ChangeWindowMode(0);
        ASSERT_EQ(InitLibraryLocked(), 0);
        EXPECT_EQ(GetWindowModeFlag(), 0);
        EXPECT_EQ(g_ScreenSettings.refreshRate, 0);
        SDL_Window* window = UserGetSdlWindow(GetMainWindowHandle());
        EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
        EXPECT_EQ(ChangeWindowMode(1), 0);
        EXPECT_EQ(g_Window.displayChanged, 1);
        EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
        EXPECT_EQ(ChangeWindowMode(0), 0);
        EXPECT_EQ(g_Window.displayChanged, 1);
        EXPECT_EQ(EndLibraryLocked(), 0);
    }
    g_ScreenSettings.softwareForced = 1;

    // 640 x 480 on a display without that mode: the start is windowed.
    if (!hasVgaMode) {
        g_ScreenSettings.width = 640;
        g_ScreenSettings.height = 480;
        ChangeWindowMode(0);
        ASSERT_EQ(InitLibraryLocked(), 0);
        EXPECT_EQ(GetWindowModeFlag(), 1);
        EXPECT_EQ(ChangeWindowMode(0), -1);
        EXPECT_EQ(EndLibraryLocked(), 0);
    }
    g_ScreenSettings = {};
}
