// Window timers: kept per thread, handed out by the message queue as V_WM_TIMER when due and
// nothing else waits, and their procedures called by dispatching.
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/user/user_internal.h"

namespace {

struct Timer {
    V_HWND window;
    V_UINT_PTR id;
    V_UINT elapse;
    V_DWORD due;
    V_TIMERPROC proc;
    V_DWORD thread;
};

std::vector<Timer>& Timers() {
    static std::vector<Timer> timers;
    return timers;
}

}  // namespace

V_UINT_PTR V_SetTimer(V_HWND window, V_UINT_PTR id, V_UINT elapse, V_TIMERPROC proc) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    if (window != nullptr && UserFindWindow(window) == nullptr) return 0;
    if (elapse < 10) elapse = 10;
    V_DWORD due = V_GetTickCount() + elapse;
    for (Timer& timer : Timers()) {
        if (timer.window == window && timer.id == id) {
            timer.elapse = elapse;
            timer.due = due;
            timer.proc = proc;
            return id != 0 ? id : 1;
        }
    }
    Timers().push_back({window, id, elapse, due, proc, V_GetCurrentThreadId()});
    return id != 0 ? id : 1;
}

V_BOOL V_KillTimer(V_HWND window, V_UINT_PTR id) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    auto& timers = Timers();
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->window == window && it->id == id) {
            timers.erase(it);
            return V_TRUE;
        }
    }
    return V_FALSE;
}

bool UserTakeDueTimer(V_DWORD thread, V_HWND window, V_MSG* message, bool remove) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    V_DWORD now = V_GetTickCount();
    auto& timers = Timers();
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->window != nullptr && UserFindWindow(it->window) == nullptr) {
            it = timers.erase(it);  // the window is gone
            continue;
        }
        if (it->thread == thread && (window == nullptr || window == it->window) &&
            static_cast<int32_t>(now - it->due) >= 0) {
            *message = V_MSG{it->window, V_WM_TIMER, it->id,
                             reinterpret_cast<V_LPARAM>(it->proc), now, {}};
            if (remove) it->due = now + it->elapse;
            return true;
        }
        ++it;
    }
    return false;
}
