// The minimal program: a window, a box moved with the arrow keys and a line of text. Escape or
// the window's close box ends it.
#include <algorithm>
#include <chrono>
#include <thread>

#include "velk.h"

namespace {

// Key numbers of the keyboard table.
constexpr int kKeyEscape = 0x01;
constexpr int kKeyUp = 0xC8;
constexpr int kKeyLeft = 0xCB;
constexpr int kKeyRight = 0xCD;
constexpr int kKeyDown = 0xD0;

constexpr int kBoxSize = 40;
constexpr int kStep = 4;
constexpr auto kFrameTime = std::chrono::microseconds(16667);

}  // namespace

int main() {
    // Settings made before start-up; start-up opens the 640 x 480 window.
    ChangeWindowMode(1);
    if (InitLibraryLocked() == -1) return 1;
    // Draw into the back screen; each frame is shown by PresentScreen.
    SetDrawTarget(-2);

    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);
    const uint32_t white = GetScreenColor(255, 255, 255);
    const uint32_t orange = GetScreenColor(255, 160, 40);
    int x = (screenWidth - kBoxSize) / 2;
    int y = (screenHeight - kBoxSize) / 2;

    // The message pass gives -1 once the window is closed.
    while (ProcessMessageLocked() == 0 && IsKeyDown(kKeyEscape) == 0) {
        auto frameStart = std::chrono::steady_clock::now();
        x += kStep * (IsKeyDown(kKeyRight) - IsKeyDown(kKeyLeft));
        y += kStep * (IsKeyDown(kKeyDown) - IsKeyDown(kKeyUp));
        x = std::clamp(x, 0, screenWidth - kBoxSize);
        y = std::clamp(y, 0, screenHeight - kBoxSize);

        ClearDrawScreen();
        FillBox(x, y, x + kBoxSize, y + kBoxSize, orange);
        DrawStringDefault(16, 16, "Arrow keys move the box, Escape ends.", white, 0);
        PresentScreen();
        std::this_thread::sleep_until(frameStart + kFrameTime);
    }

    // Ends everything the library made; Log.txt ends with the blocks still allocated.
    EndLibraryLocked();
    return 0;
}
