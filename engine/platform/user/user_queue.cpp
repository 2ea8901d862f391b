// The message queues (one per thread), the quit request, painting as the last message,
// and window-procedure dispatch.
#include <map>

#include "platform/kernel/kernel.h"
#include "platform/user/user_internal.h"

namespace {

struct ThreadQueue {
    std::deque<V_MSG> messages;
    bool quitPending = false;
    int quitCode = 0;
};

std::map<V_DWORD, ThreadQueue>& Queues() {
    static auto* queues = new std::map<V_DWORD, ThreadQueue>;
    return *queues;
}

bool InRange(V_UINT message, V_UINT filterMin, V_UINT filterMax) {
    if (filterMin == 0 && filterMax == 0) return true;
    return message >= filterMin && message <= filterMax;
}

bool MatchesWindow(V_HWND messageWindow, V_HWND filter) {
    if (filter == nullptr) return true;
    if (filter == V_HWND_THREAD_MESSAGES) return messageWindow == nullptr;
    return messageWindow == filter;
}

V_LRESULT CallProcedure(V_HWND handle, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    V_WNDPROC procedure;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr) return 0;
        procedure = window->procedure;
    }
    return procedure(handle, message, wParam, lParam);
}

}  // namespace

void UserPostToThread(V_DWORD threadId, const V_MSG& message) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    Queues()[threadId].messages.push_back(message);
}

V_BOOL V_PostMessageA(V_HWND handle, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    V_DWORD thread;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        if (handle == nullptr) {
            thread = V_GetCurrentThreadId();
        } else {
            UserWindow* window = UserFindWindow(handle);
            if (window == nullptr) return V_FALSE;
            thread = window->threadId;
        }
    }
    V_MSG posted{handle, message, wParam, lParam, V_GetTickCount(), {}};
    V_GetCursorPos(&posted.pt);
    UserPostToThread(thread, posted);
    return V_TRUE;
}

void V_PostQuitMessage(int exitCode) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    ThreadQueue& queue = Queues()[V_GetCurrentThreadId()];
    queue.quitPending = true;
    queue.quitCode = exitCode;
}

V_BOOL V_PeekMessageA(V_MSG* message, V_HWND window, V_UINT filterMin, V_UINT filterMax,
                      V_UINT removeFlags) {
    if (message == nullptr) return V_FALSE;
    if (UserIsVideoThread()) UserConvertPendingEvents();
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    V_DWORD thread = V_GetCurrentThreadId();
    ThreadQueue& queue = Queues()[thread];
    // Posted and input messages in arrival order; messages of destroyed windows are dropped.
    for (auto it = queue.messages.begin(); it != queue.messages.end();) {
        if (it->hwnd != nullptr && UserFindWindow(it->hwnd) == nullptr) {
            it = queue.messages.erase(it);
            continue;
        }
        if (MatchesWindow(it->hwnd, window) && InRange(it->message, filterMin, filterMax)) {
            *message = *it;
            if (removeFlags & V_PM_REMOVE) queue.messages.erase(it);
            return V_TRUE;
        }
        ++it;
    }
    // Then the quit request, then painting.
    if (queue.quitPending && (window == nullptr || window == V_HWND_THREAD_MESSAGES) &&
        InRange(V_WM_QUIT, filterMin, filterMax)) {
        *message = V_MSG{nullptr, V_WM_QUIT, static_cast<V_WPARAM>(queue.quitCode), 0,
                         V_GetTickCount(), {}};
        if (removeFlags & V_PM_REMOVE) queue.quitPending = false;
        return V_TRUE;
    }
    if (window != V_HWND_THREAD_MESSAGES && InRange(V_WM_PAINT, filterMin, filterMax)) {
        V_HWND due = nullptr;
        UserWindow* record = window != nullptr ? UserFindWindow(window) : UserFindDuePaint(thread);
        if (record != nullptr && record->invalid && record->visible && !record->destroying &&
            record->threadId == thread)
            due = UserHandle(record);
        if (due != nullptr) {
            *message = V_MSG{due, V_WM_PAINT, 0, 0, V_GetTickCount(), {}};
            return V_TRUE;
        }
    }
    if (window != V_HWND_THREAD_MESSAGES && InRange(V_WM_TIMER, filterMin, filterMax) &&
        UserTakeDueTimer(thread, window, message, (removeFlags & V_PM_REMOVE) != 0))
        return V_TRUE;
    return V_FALSE;
}

V_LRESULT V_SendMessageA(V_HWND handle, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    return CallProcedure(handle, message, wParam, lParam);
}

V_BOOL V_TranslateMessage(const V_MSG* message) {
    if (message == nullptr) return V_FALSE;
    V_UINT m = message->message;
    return (m == V_WM_KEYDOWN || m == V_WM_KEYUP || m == V_WM_SYSKEYDOWN || m == V_WM_SYSKEYUP)
               ? V_TRUE
               : V_FALSE;
}

V_LRESULT V_DispatchMessageA(const V_MSG* message) {
    if (message != nullptr && message->message == V_WM_TIMER && message->lParam != 0) {
        reinterpret_cast<V_TIMERPROC>(message->lParam)(message->hwnd, V_WM_TIMER,
                                                       message->wParam, message->time);
        return 0;
    }
    if (message == nullptr || message->hwnd == nullptr) return 0;
    return CallProcedure(message->hwnd, message->message, message->wParam, message->lParam);
}

V_LRESULT V_DefWindowProcA(V_HWND handle, V_UINT message, V_WPARAM wParam, V_LPARAM) {
    switch (message) {
    case V_WM_CLOSE:
        V_DestroyWindow(handle);
        return 0;
    case V_WM_PAINT: {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window != nullptr) window->invalid = false;
        return 0;
    }
    case V_WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == V_SC_CLOSE) V_PostMessageA(handle, V_WM_CLOSE, 0, 0);
        return 0;
    case V_WM_NCHITTEST:
        return V_HTCLIENT;
    default:
        return 0;
    }
}
