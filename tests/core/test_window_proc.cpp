// The window procedure: the aspect rule of resizing, typed characters, mouse position,
// clipboard and dropped files, driven through the window stand-in's own event conversion.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/core.h"
#include "core/key_input.h"
#include "core/window.h"
#include "platform/user/user_internal.h"
#include "test_window_support.h"

namespace {

// Starts the library in windowed mode in a scratch folder and ends it afterwards.
class RunningLibrary : public testing::Test {
protected:
    void SetUp() override {
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
        sdlWindowId_ = SDL_GetWindowID(UserGetSdlWindow(GetMainWindowHandle()));
    }
    void TearDown() override { EXPECT_EQ(EndLibraryLocked(), 0); }

    void Pump(int passes = 20) {
        for (int i = 0; i < passes; ++i) ProcessMessageLocked();
    }
    void PushKey(SDL_Keycode key, Uint16 mod) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = sdlWindowId_;
        event.key.state = SDL_PRESSED;
        event.key.keysym.sym = key;
        event.key.keysym.mod = mod;
        SDL_PushEvent(&event);
        event.type = SDL_KEYUP;
        event.key.state = SDL_RELEASED;
        SDL_PushEvent(&event);
    }

    ScratchFolder folder_;
    uint32_t sdlWindowId_ = 0;
};

std::string PopAll() {
    std::string codes;
    char out[2];
    for (int count; (count = PopCharCode(out, 1)) > 0;) codes.append(out, count);
    return codes;
}

}  // namespace

TEST(WindowAspect, DraggedEdgeDecidesWhichSideFollows) {
    double scaleX = 0, scaleY = 0;
    // Right edge to a client width of 800: the height follows.
    V_RECT rect{100, 50, 100 + 800, 50 + 480};
    ApplySizingAspect(V_WMSZ_RIGHT, &rect, 0, 0, 640, 480, &scaleX, &scaleY);
    EXPECT_EQ(rect.bottom - rect.top, 600);
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_DOUBLE_EQ(scaleX, 1.25);
    EXPECT_DOUBLE_EQ(scaleY, 1.25);

    // Bottom edge to a client height of 240 with a frame: the width follows.
    rect = {0, 0, 640 + 8, 240 + 30};
    ApplySizingAspect(V_WMSZ_BOTTOM, &rect, 8, 30, 640, 480, &scaleX, &scaleY);
    EXPECT_EQ(rect.right - rect.left, 320 + 8);
    EXPECT_EQ(rect.bottom - rect.top, 240 + 30);
    EXPECT_DOUBLE_EQ(scaleX, 0.5);

    // A corner follows the wider proportion.
    rect = {0, 0, 1280, 500};
    ApplySizingAspect(V_WMSZ_BOTTOMRIGHT, &rect, 0, 0, 640, 480, &scaleX, &scaleY);
    EXPECT_EQ(rect.bottom, 960);
    rect = {0, 0, 700, 960};
    ApplySizingAspect(V_WMSZ_TOPLEFT, &rect, 0, 0, 640, 480, &scaleX, &scaleY);
    EXPECT_EQ(rect.right, 1280);
    EXPECT_DOUBLE_EQ(scaleY, 2.0);
}

TEST_F(RunningLibrary, KeysAndTextReachTheCharacterBuffer) {
    PopAll();
    PushKey(SDLK_RETURN, KMOD_NONE);
    PushKey(SDLK_LCTRL, KMOD_LCTRL);
    PushKey(SDLK_v, KMOD_LCTRL);
    PushKey(SDLK_LEFT, KMOD_NONE);
    PushKey(SDLK_DELETE, KMOD_NONE);
    PushKey(SDLK_BACKSPACE, KMOD_NONE);
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    text.text.windowID = sdlWindowId_;
    std::strcpy(text.text.text, "a\xe3\x81\x82");  // "a" and a hiragana letter, in UTF-8
    SDL_PushEvent(&text);
    Pump();
    std::string expected = "\x0D\x16\x1D\x10\x08";
    expected += "a\x82\xA0";  // the letter in code page 932
    EXPECT_EQ(PopAll(), expected);
}

TEST_F(RunningLibrary, FiveMessagesPerCallAndMinusOneOnceTheWindowIsGone) {
    // On a real display focus may come and go; an inactive window would keep the call going.
    SetAlwaysRunFlag(1);
    Pump();
    int wheel = g_Window.wheelCount;
    for (int i = 0; i < 12; ++i)
        V_PostMessageA(GetMainWindowHandle(), V_WM_MOUSEWHEEL, static_cast<V_WPARAM>(120) << 16, 0);
    // Five per pass; the keyboard update at the end of a call may run one more pass inside it.
    EXPECT_EQ(ProcessMessageLocked(), 0);
    int first = g_Window.wheelCount - wheel;
    EXPECT_TRUE(first == 5 || first == 10) << first;
    EXPECT_EQ(ProcessMessageLocked(), 0);
    if (first == 5) {
        EXPECT_EQ(ProcessMessageLocked(), 0);
    }
    EXPECT_EQ(g_Window.wheelCount - wheel, 12);
    SetAlwaysRunFlag(0);

    // A mode change waiting for the display to change hears of it even while it reshapes.
    g_Window.modeChanging = 1;
    g_Window.displayChanged = 0;
    V_SendMessageA(GetMainWindowHandle(), V_WM_DISPLAYCHANGE, 16, 640 | (480 << 16));
    EXPECT_EQ(g_Window.displayChanged, 1);
    g_Window.modeChanging = 0;

    // The screen saver stays off.
    EXPECT_EQ(V_SendMessageA(GetMainWindowHandle(), V_WM_SYSCOMMAND, V_SC_SCREENSAVE, 0), 1);

    // A close request from the desktop ends the loop.
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = sdlWindowId_;
    SDL_PushEvent(&close);
    int result = 0;
    for (int i = 0; i < 10 && result == 0; ++i) result = ProcessMessageLocked();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(GetQuitFlag(), 1);
    EXPECT_EQ(ProcessMessageLocked(), -1);
    EXPECT_EQ(ProcessMessageLocked(), -1);
    EXPECT_FALSE(V_IsWindow(GetMainWindowHandle()));
}

TEST_F(RunningLibrary, MousePositionIsInProgramCoordinates) {
    // Moving the desktop's pointer (on a real display the pointer also moves by itself when
    // the window appears under it, so the test moves it rather than inventing an event).
    SDL_WarpMouseInWindow(UserGetSdlWindow(GetMainWindowHandle()), 200, 100);
    for (int i = 0; i < 50; ++i) {
        Pump(1);
        SDL_Delay(2);
    }
    int x = -1, y = -1;
    GetMousePosition(&x, &y);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 100);

    // Dragging the right edge to twice the width doubles the scale.
    V_RECT window;
    V_GetWindowRect(GetMainWindowHandle(), &window);
    V_RECT proposed{window.left, window.top, window.left + 1280, window.top + 480};
    V_SendMessageA(GetMainWindowHandle(), V_WM_SIZING, V_WMSZ_RIGHT,
                   reinterpret_cast<V_LPARAM>(&proposed));
    double scaleX = 0, scaleY = 0;
    GetWindowScale(&scaleX, &scaleY);
    EXPECT_DOUBLE_EQ(scaleX, 2.0);
    EXPECT_DOUBLE_EQ(scaleY, 2.0);
    GetMousePosition(&x, &y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);
    g_Window.settings.scaleX = g_Window.settings.scaleY = 1.0;
}

TEST_F(RunningLibrary, ResizedAndMovedWindowKeepsItsClientRectangle) {
    V_HWND window = GetMainWindowHandle();
    V_RECT before;
    GetClientRectBelowToolbar(&before);
    EXPECT_EQ(before.right - before.left, 640);
    // Dragging the corner to 800 x 600: the aspect rule sets the scale, the resize follows.
    V_RECT frame;
    V_GetWindowRect(window, &frame);
    V_RECT proposed{frame.left, frame.top, frame.left + 800, frame.top + 600};
    V_SendMessageA(window, V_WM_SIZING, V_WMSZ_BOTTOMRIGHT, reinterpret_cast<V_LPARAM>(&proposed));
    V_MoveWindow(window, frame.left, frame.top, proposed.right - proposed.left,
                 proposed.bottom - proposed.top, V_TRUE);
    V_SendMessageA(window, V_WM_SIZE, 0, 800 | 600 << 16);
    Pump();
    V_RECT after;
    GetClientRectBelowToolbar(&after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.left + 800);
    EXPECT_EQ(after.bottom, before.top + 600);

    // A move keeps the size and takes the new origin.
    V_SendMessageA(window, V_WM_MOVE, 0, 30 | 40 << 16);
    GetClientRectBelowToolbar(&after);
    EXPECT_EQ(after.left, 30);
    EXPECT_EQ(after.top, 40);
    EXPECT_EQ(after.right, 830);
    EXPECT_EQ(after.bottom, 640);
    g_Window.settings.scaleX = g_Window.settings.scaleY = 1.0;
}

TEST_F(RunningLibrary, ClipboardKeepsCodePage932Text) {
    const char* text = "クリップボード\x82\xA0 text";
    SetClipboardText(text);
    char* desktop = SDL_GetClipboardText();  // the desktop holds UTF-8
    ASSERT_NE(desktop, nullptr);
    EXPECT_NE(std::string(desktop).find("\xe3\x81\x82 text"), std::string::npos) << desktop;
    SDL_free(desktop);

    int size = GetClipboardText(nullptr, 0);
    EXPECT_GE(size, static_cast<int>(std::strlen(text)) + 1);
    char buffer[128];
    ASSERT_EQ(GetClipboardText(buffer, sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, text);

    // A buffer too small for the text gets the whole characters that fit, terminated.
    const struct {
        const char* text;
        size_t size;
        const char* taken;
    } cases[] = {{text, 5, "クリ"}, {"表…", 2, ""}, {"表…", 3, "表"}, {"表…", 4, "表"},
                 {"表…", 5, "表…"}, {"a表", 3, "a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.taken) + " in " + std::to_string(c.size));
        SetClipboardText(c.text);
        char small[8];
        std::memset(small, 'x', sizeof(small));
        ASSERT_EQ(GetClipboardText(small, c.size), 0);
        EXPECT_STREQ(small, c.taken);
    }
}

TEST_F(RunningLibrary, DroppedFilesKeepTheFirstThousand) {
    SDL_Event event{};
    event.type = SDL_DROPBEGIN;
    event.drop.windowID = sdlWindowId_;
    SDL_PushEvent(&event);
    for (int i = 0; i < 1500; ++i) {
        std::string name = "/data/dropped/file" + std::to_string(i) + ".bmp";
        event.type = SDL_DROPFILE;
        event.drop.file = SDL_strdup(name.c_str());
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }
    event.type = SDL_DROPCOMPLETE;
    event.drop.file = nullptr;
    SDL_PushEvent(&event);
    Pump();
    ASSERT_EQ(GetDroppedFileCount(), 1000);
    EXPECT_STREQ(GetDroppedFileName(0), "/data/dropped/file0.bmp");
    EXPECT_STREQ(GetDroppedFileName(999), "/data/dropped/file999.bmp");
    EXPECT_EQ(GetDroppedFileName(1000), nullptr);
}
