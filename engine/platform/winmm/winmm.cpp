// The multimedia library's millisecond clock and timer resolution.
#include <time.h>

#include <atomic>

#include "platform/winmm/winmm.h"

namespace {
std::atomic<V_DWORD> g_TimeOffset{0};
}

void V_SetTimeOffsetForTest(V_DWORD offset) { g_TimeOffset.store(offset); }

// Milliseconds of the monotonic clock; the value wraps at 2^32 as the platform's does.
V_DWORD V_timeGetTime() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<V_DWORD>(milliseconds) + g_TimeOffset.load(std::memory_order_relaxed);
}

// The clock above is always exact to the millisecond: periods are accepted as they come.
V_UINT V_timeBeginPeriod(V_UINT period) {
    return period == 0 ? V_TIMERR_NOCANDO : V_TIMERR_NOERROR;
}

V_UINT V_timeEndPeriod(V_UINT period) {
    return period == 0 ? V_TIMERR_NOCANDO : V_TIMERR_NOERROR;
}

V_UINT V_timeGetDevCaps(V_TIMECAPS* caps, V_UINT size) {
    if (caps == nullptr || size < sizeof(V_TIMECAPS)) return V_TIMERR_NOCANDO;
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return V_TIMERR_NOERROR;
}
