// Full screen on a display of the program's own size (640 x 480, FullScreenStageUnderXvfb): the
// switch, another window taking the focus and the program taking it back, and the switch back
// to the window, on the device and on the software path. Each step draws a graph and reads the
// screen back. Skipped on other displays, where a 640 x 480 program has no mode of its own.
#include <SDL.h>

#include "gl/gl_fixture.h"
#include "core/window.h"
#include "platform/user/user_internal.h"

namespace {

constexpr uint32_t kGround = 0x204060;
constexpr uint32_t kPicture = 0xC08020;

// Pumps messages until the window's activity is the one wanted (or about four seconds passed);
// false when the library asked to close on the way.
bool PumpUntilActive(int wanted) {
    for (int i = 0; i < 400 && g_Window.active != wanted; ++i) {
        if (ProcessMessageLocked() != 0) return false;
        SDL_Delay(10);
    }
    return g_Window.active == wanted;
}

// Draws the picture at (100, 80) over the ground and reads back the pixel inside it and one
// outside, then presents the frame.
std::pair<uint32_t, uint32_t> DrawAndRead(int graph) {
    SetDrawTarget(-2);
    FillBox(0, 0, 640, 480, GetScreenColor(0x20, 0x40, 0x60));
    DrawGraphAt(100, 80, graph, 0);
    std::vector<uint32_t> screen = ReadScreen();
    PresentScreen();
    if (screen.empty()) return {0xFFFFFFFF, 0xFFFFFFFF};
    return {screen[90 * 640 + 110], screen[20 * 640 + 20]};
}

// Gives the input focus to the first window xdotool finds by the search (waiting up to about
// five seconds for it to appear).
bool Focus(const std::string& search) {
    const std::string command = "for i in $(seq 50); do id=$(xdotool search " + search +
                                " 2>/dev/null | head -1); [ -n \"$id\" ] && exec xdotool "
                                "windowfocus $id; sleep 0.1; done; exit 1";
    return std::system(command.c_str()) == 0;
}

// Whether two colours differ by at most one 16-bit step in each channel.
bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) > 8)
            return false;
    return true;
}

#define EXPECT_PICTURE(read, what)                                                         \
    do {                                                                                   \
        const auto pixels = (read);                                                        \
        EXPECT_TRUE(Near(pixels.first, kPicture) && Near(pixels.second, kGround))          \
            << what << ": " << std::hex << pixels.first << " " << pixels.second;            \
    } while (0)

bool FullScreenFlag() {
    SDL_Window* window = UserGetSdlWindow(GetMainWindowHandle());
    return window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
}

class GlFullScreenStage : public GlLibraryTest {
public:
    void SetUp() override {
        GlLibraryTest::SetUp();
        if (IsSkipped()) return;
        if (std::system("command -v xdotool >/dev/null 2>&1 && command -v xmessage "
                        ">/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no xdotool or xmessage";
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
        SDL_DisplayMode mode{};
        const bool programSize = SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w == 640 &&
                                 mode.h == 480;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (!programSize) GTEST_SKIP() << "the display is not 640 x 480";
        WriteTestBmp("picture.bmp", 32, 24, [](int, int) { return kPicture; });
    }
    void TearDown() override {
        std::system("pkill -f 'xmessage -name VelkOther' >/dev/null 2>&1");
        GlLibraryTest::TearDown();
    }
};

TEST_F(GlFullScreenStage, SwitchFocusAwayAndBackAndToTheWindowOnBothPaths) {
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        // The message pass keeps running while the window is inactive, as in the game.
        SetAlwaysRunFlag(1);
        ASSERT_TRUE(Start(device)) << "the path could not be started";
        int graph = LoadGraphHandle("picture.bmp", 0);
        ASSERT_NE(graph, -1);
        ASSERT_TRUE(PumpUntilActive(1));
        EXPECT_PICTURE(DrawAndRead(graph), "windowed");

        ASSERT_EQ(ChangeWindowMode(0), 0) << "the switch to full screen";
        EXPECT_EQ(GetWindowModeFlag(), 0);
        EXPECT_TRUE(FullScreenFlag());
        // A switch starts the graphics afresh: the program loads its graphs again. A loss of
        // focus keeps them.
        graph = LoadGraphHandle("picture.bmp", 0);
        EXPECT_PICTURE(DrawAndRead(graph), "full screen");

        // Another window takes the focus, then the program takes it back.
        ASSERT_EQ(std::system("xmessage -name VelkOther -geometry 200x100+0+0 other &"), 0);
        ASSERT_TRUE(Focus("--classname VelkOther")) << "the other window took the focus";
        EXPECT_TRUE(PumpUntilActive(0)) << "the window saw the focus go";
        std::system("pkill -f 'xmessage -name VelkOther' >/dev/null 2>&1");
        ASSERT_TRUE(Focus("--name '^Velk$'")) << "the program's window took the focus";
        ASSERT_TRUE(PumpUntilActive(1)) << "the window took the focus back and runs on";
        EXPECT_EQ(GetWindowModeFlag(), 0);
        EXPECT_TRUE(FullScreenFlag());
        EXPECT_PICTURE(DrawAndRead(graph), "re-activated");

        ASSERT_EQ(ChangeWindowMode(1), 0) << "the switch back to the window";
        EXPECT_EQ(GetWindowModeFlag(), 1);
        EXPECT_FALSE(FullScreenFlag());
        graph = LoadGraphHandle("picture.bmp", 0);
        EXPECT_PICTURE(DrawAndRead(graph), "windowed again");
        EXPECT_EQ(ProcessMessageLocked(), 0);
        Stop();
    }
    SetAlwaysRunFlag(0);
}

}  // namespace
