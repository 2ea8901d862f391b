// Termination requests from the terminal or the system (SIGINT, SIGTERM, and SIGHUP when the
// terminal closes) while a window lives. The first is taken as the close request of the first
// window, so that the program ends as it does by its close box; another one while that close is
// under way ends the process as the signal does by default. Without a window the signals keep
// the handling found at the start; a hang-up ignored at the start (a program started with nohup)
// stays ignored.
#include <signal.h>

#include <atomic>

#include "platform/user/user_internal.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = 3;

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

struct sigaction g_previous[kSignalCount];
bool g_installed = false;
std::atomic<int> g_requested{0};  // a signal has asked for the close since the installation
std::atomic<int> g_pending{0};    // the signal whose close request has not been taken yet

void OnTerminationSignal(int number) {
    if (g_requested.exchange(1) != 0) {
        // Asked again: the close has not ended the program, the signal does.
        signal(number, SIG_DFL);
        raise(number);
        return;
    }
    g_pending.store(number);
}

}  // namespace

void UserInstallCloseSignals() {
    if (g_installed) return;
    g_requested.store(0);
    g_pending.store(0);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        if (kSignals[i] != SIGHUP || g_previous[i].sa_handler != SIG_IGN)
            sigaction(kSignals[i], &action, nullptr);
    }
    g_installed = true;
}

void UserRemoveCloseSignals() {
    if (!g_installed) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    g_installed = false;
    // A request that no window took is handled as it would have been without the windows.
    int pending = g_pending.exchange(0);
    if (pending != 0) raise(pending);
}

bool UserTakeCloseSignal() { return g_pending.exchange(0) != 0; }
