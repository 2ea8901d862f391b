// Calls that wait for an inactive window, made while no window exists: before the library starts
// and after it ends they return their failure at once and start nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "core/core.h"
#include "core/input.h"
#include "draw/draw.h"
#include "graphics/graphics.h"
#include "test_window_support.h"

namespace {

// A call that waits for a window that never comes hangs; the alarm turns that into a failure.
const char* g_Stage = "";
void OnHang(int) {
    static const char text[] = "a call without a window did not return: ";
    ssize_t ignored = write(2, text, sizeof(text) - 1);
    ignored = write(2, g_Stage, strlen(g_Stage));
    (void)ignored;
    _exit(3);
}

struct WaitingCallResults {
    int keyDown, joypad, joypadKeys, drawGraph, drawPolygon, drawString, drawStringDefault,
        loadGraph, loadDivided, drawTarget, blendGraph;
};

WaitingCallResults CallEveryWaitingCall() {
    WaitingCallResults r;
    r.keyDown = IsKeyDown(1);
    r.joypad = GetJoypadState(1);
    r.joypadKeys = GetJoypadState(kKeyboardFlag | 1);
    r.drawGraph = DrawGraphAt(0, 0, 0x08000000, 1);
    PolygonVertex triangle[3] = {};
    r.drawPolygon = DrawPolygonList(triangle, 3, 4, -5, 0, 0);
    r.drawString = DrawStringWithFont(0, 0, "A", 0xFFFF, 0x20000000, 0, 0);
    r.drawStringDefault = DrawStringDefault(0, 0, "A", 0xFFFF, 0);
    r.loadGraph = LoadGraphHandle("missing.bmp", 0);
    int handles[4] = {0, 0, 0, 0};
    r.loadDivided = LoadDividedGraphs("missing.bmp", 4, 2, 2, 8, 8, handles, 0);
    r.drawTarget = SetDrawTarget(-2);
    r.blendGraph = SetBlendGraph(-1, 0, 0);
    return r;
}

void ExpectEveryFailure(const WaitingCallResults& r) {
    EXPECT_EQ(r.keyDown, 0);
    EXPECT_EQ(r.joypad, 0);
    EXPECT_EQ(r.joypadKeys, 0);
    EXPECT_EQ(r.drawGraph, -1);
    EXPECT_EQ(r.drawPolygon, -1);
    EXPECT_EQ(r.drawString, -1);
    EXPECT_EQ(r.drawStringDefault, -1);
    EXPECT_EQ(r.loadGraph, -1);
    EXPECT_EQ(r.loadDivided, -1);
    EXPECT_EQ(r.drawTarget, -1);
    EXPECT_EQ(r.blendGraph, -1);
}

}  // namespace

TEST(WithoutWindow, WaitingCallsFailAtOnceBeforeStartAndAfterEnd) {
    ScratchFolder folder;
    signal(SIGALRM, OnHang);
    alarm(20);

    g_Stage = "before start-up";
    ExpectEveryFailure(CallEveryWaitingCall());
    EXPECT_FALSE(IsInputRunning()) << "a key query without a window starts no input";

    g_Stage = "start-up";
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    EXPECT_EQ(IsKeyDown(1), 0);
    EXPECT_EQ(SetDrawTarget(-2), 0) << "with the window the calls work";
    EXPECT_EQ(SetDrawTarget(-4), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);

    g_Stage = "after the end";
    ExpectEveryFailure(CallEveryWaitingCall());
    EXPECT_FALSE(IsInputRunning());
    alarm(0);
    signal(SIGALRM, SIG_DFL);
}
