// Real input on an X display: keys, mouse and text sent with xdotool reach the key table, the
// pad-1 key map, the mouse calls and the character code buffer. Runs under Xvfb (CTest's
// InputTestsUnderXvfb); skipped without a display or without xdotool.
#include <unistd.h>

#include <cstdio>

#include <cstdlib>
#include <string>

#include "test_input_support.h"

namespace {

class InputUnderDisplay : public InputLibrary {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        if (display == nullptr || *display == 0 || (driver != nullptr && std::string(driver) != "x11"))
            GTEST_SKIP() << "no X display";
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
    }
    void StartOnDisplay(int directInput, int keyboardThroughDirectInput) {
        Start(directInput, keyboardThroughDirectInput);
        // The program's one window, found by its title.
        FILE* search = popen("xdotool search --sync --limit 1 --name '^Velk$' 2>/dev/null", "r");
        ASSERT_NE(search, nullptr);
        char line[64] = {};
        if (std::fgets(line, sizeof(line), search) == nullptr) line[0] = 0;
        pclose(search);
        window_ = std::to_string(std::strtoul(line, nullptr, 10));
        ASSERT_NE(window_, "0") << "the window was not found";
        Pump(20);
        Run("windowfocus --sync " + window_);
        Pump(20);
    }
    void Run(const std::string& arguments) {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
    }
    // Starts xdotool without waiting; WaitForBackground waits for it to end.
    void RunInBackground(const std::string& arguments) {
        std::remove("xdotool.done");
        ASSERT_EQ(std::system(("(xdotool " + arguments + "; touch xdotool.done) &").c_str()), 0);
    }
    void WaitForBackground() {
        for (int i = 0; i < 400 && access("xdotool.done", F_OK) != 0; ++i) {
            Pump(1);
            SDL_Delay(5);
        }
        std::remove("xdotool.done");
    }
    // Pumps until the condition holds (events come through the X server) or a second passes.
    template <class Condition>
    bool WaitFor(Condition condition) {
        for (int i = 0; i < 200; ++i) {
            Pump(2);
            if (condition()) return true;
            SDL_Delay(5);
        }
        return false;
    }
    void Exercise() {
        Run("keydown Up keydown z");
        EXPECT_TRUE(WaitFor([] { return IsKeyDown(0xC8) == 1 && IsKeyDown(0x2C) == 1; }));
        EXPECT_EQ(GetJoypadState(0x1001), 8 | 16);
        Run("keyup Up keyup z keydown KP_2 keydown x keydown q");
        EXPECT_TRUE(WaitFor([] { return GetJoypadState(0x1001) == (1 | 32 | 1024); }))
            << GetJoypadState(0x1001);
        EXPECT_EQ(IsKeyDown(0x50), 1);
        EXPECT_EQ(IsKeyDown(0xC8), 0);
        Run("keyup KP_2 keyup x keyup q keydown Escape");
        EXPECT_TRUE(WaitFor([] { return IsKeyDown(0x01) == 1; }));
        Run("keyup Escape");
        EXPECT_TRUE(WaitFor([] { return GetJoypadState(0x1001) == 0; }));

        Run("mousemove --window " + window_ + " 120 80");
        EXPECT_TRUE(WaitFor([] {
            int x = 0, y = 0;
            GetMousePosition(&x, &y);
            return x == 120 && y == 80;
        }));
        Run("mousedown 1");
        EXPECT_TRUE(WaitFor([] { return GetMouseButtons() == 1; }));
        Run("mouseup 1 mousedown 3");
        EXPECT_TRUE(WaitFor([] { return GetMouseButtons() == 2; }));
        Run("mouseup 3");
        EXPECT_TRUE(WaitFor([] { return GetMouseButtons() == 0; }));

        PopAllCodes();
        Run("type --delay 5 'ab1'");
        std::string typed;
        EXPECT_TRUE(WaitFor([&] {
            typed += PopAllCodes();
            return typed.size() >= 3;
        }));
        EXPECT_EQ(typed, "ab1");
        // A kanji, given in UTF-8: xdotool maps a spare key to it for the press only, so the
        // events are taken while it types.
        RunInBackground("type --delay 150 '\xE5\xAD\x97'");
        typed.clear();
        EXPECT_TRUE(WaitFor([&] {
            typed += PopAllCodes();
            return typed.size() >= 2;
        }));
        EXPECT_EQ(typed, "\x8E\x9A") << "typed text arrives in code page 932";
        WaitForBackground();
    }

    std::string window_;
};

}  // namespace

TEST_F(InputUnderDisplay, KeysMouseAndTextThroughDirectInput) {
    StartOnDisplay(7, 1);
    Exercise();
}

TEST_F(InputUnderDisplay, KeysMouseAndTextThroughTheKeyboardState) {
    StartOnDisplay(0, 0);
    Exercise();
}

// A press and its release sent back to back reach one message pass together; a frame that
// polls its keys after the table has been refreshed again still sees each tap once.
TEST_F(InputUnderDisplay, ZeroLengthTapsAreSeenOnEveryPath) {
    for (int directInput : {7, 0}) {
        SCOPED_TRACE(directInput);
        StartOnDisplay(directInput, directInput != 0);
        Run("mousemove --window " + window_ + " 50 50");
        Pump(20);
        Run("key Escape");
        Run("click 1");
        int pad = 0, escape = 0, buttons = 0;
        for (int frame = 0; frame < 50 && !(escape && (pad & 1 << 12) && (buttons & 1)); ++frame) {
            ProcessMessageLocked();
            SDL_Delay(3);  // the table is refreshed again by the first poll
            pad |= GetJoypadState(0x1001);
            escape |= IsKeyDown(0x01);
            buttons |= GetMouseButtons();
            SDL_Delay(20);
        }
        EXPECT_EQ(escape, 1);
        EXPECT_EQ(pad, 1 << 12) << "Escape is button 8 of pad 1's keys";
        EXPECT_EQ(buttons, 1);
        // Seen once, then up.
        EXPECT_TRUE(WaitFor([] { return IsKeyDown(0x01) == 0 && GetJoypadState(0x1001) == 0; }));
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}
