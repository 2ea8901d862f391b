// The fatal exit: log the message, take the library down and end the process with -1.
#include <atomic>
#include <cstdarg>

#include "core/api_lock.h"
#include "core/core.h"
#include "core/library.h"
#include "core/window.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_process.h"

namespace {
std::atomic<int> g_FatalExitRunning{0};
}  // namespace

int IsFatalExitRunning() { return g_FatalExitRunning.load(); }

void FatalExit(const char* message) {
    WriteLog(message != nullptr ? message : "");
    WriteLog("\n");
    // A second fatal condition during the end, or one on another thread than the window's,
    // ends the process at once: the library end belongs to the main thread.
    bool first = g_FatalExitRunning.exchange(1) == 0;
    bool mainThread =
        g_Window.mainThreadId == 0 || g_Window.mainThreadId == V_GetCurrentThreadId();
    if (first && mainThread) {
        EndLibrary();
        DismantleApiLock();
    }
    V_ExitProcess(static_cast<V_UINT>(-1));
}

void FatalExitFormat(const char* format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    FormatStringV(message, sizeof(message), format, arguments);
    va_end(arguments);
    FatalExit(message);
}
