// Message processing: at most five window messages per call while the window is active, a
// standstill while it is inactive, then the per-frame updates of input and text input.
#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/key_input.h"
#include "core/window.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "platform/kernel/kernel.h"
#include "sound/sound.h"
#include "sound/sound_services.h"

namespace {

constexpr int kMessagesPerCall = 5;

bool KeepsRunning() {
    return g_Window.closePosted || g_Window.active || g_Window.settings.alwaysRun;
}

bool Standstill() { return !g_Window.active && !g_Window.settings.alwaysRun; }

// Takes the next message: any message, then thread messages, then the main window's.
bool FetchMessage(V_MSG* message) {
    if (V_PeekMessageA(message, nullptr, 0, 0, V_PM_NOREMOVE))
        return V_PeekMessageA(message, nullptr, 0, 0, V_PM_REMOVE) != 0;
    if (V_PeekMessageA(message, V_HWND_THREAD_MESSAGES, 0, 0, V_PM_REMOVE)) return true;
    return V_PeekMessageA(message, g_Window.mainWindow, 0, 0, V_PM_REMOVE) != 0;
}

void EndOfCallUpdates(bool mainThread) {
    if (!g_Window.settings.windowed && mainThread) UpdateFullScreenMenu();
    UpdateMidiPlayStates();
    UpdateKeyboardState();
    UpdateJoypadVibration();
    PumpNetworkMessages(1);
    g_Window.updateGuard = 1;
    ProcessKeyInput();
    g_Window.updateGuard = 0;
}

}  // namespace

int ProcessMessage() {
    if (g_Window.updateGuard) return 0;
    if (g_Window.mainWindow == nullptr) return g_Window.quit ? -1 : 0;

    bool mainThread = V_GetCurrentThreadId() == g_Window.mainThreadId;
    int dispatched = 0;  // reset when it reaches five
    int done = 0;
    for (;;) {
        if (KeepsRunning() && (done || g_Window.quit)) break;
        if (Standstill()) V_Sleep(1);
        done = 1;
        V_MSG message;
        while (FetchMessage(&message)) {
            if (message.message == V_WM_ACTIVATEAPP && g_Window.settings.windowed)
                g_Window.active = message.wParam != 0 ? 1 : 0;
            if (g_Window.quit) {
                EndOfCallUpdates(mainThread);
                return -1;
            }
            if (message.message == V_WM_QUIT) g_Window.quit = 1;
            // No accelerator table is ever set, so every message is translated and dispatched.
            V_TranslateMessage(&message);
            V_DispatchMessageA(&message);
            if (++dispatched >= kMessagesPerCall) {
                dispatched = 0;
                done = 1;
                break;
            }
            done = 0;
        }
        if (Standstill()) {
            PumpNetworkMessages(1);
            UpdateAllMovieOverlays();
            V_Sleep(1);
        }
        if (g_Window.quit || !mainThread) break;
    }
    EndOfCallUpdates(mainThread);
    return g_Window.quit ? -1 : 0;
}

void WaitWhileInactive() {
    // Without a window (before start-up, after the end) there is no activity to wait for.
    if (g_Window.mainWindow == nullptr) return;
    if (g_Window.inPaint || g_Window.active) return;
    if (g_Window.settings.alwaysRun && g_Window.settings.windowed) return;
    while (ProcessMessage() == 0 && !g_Window.active) {
    }
}
