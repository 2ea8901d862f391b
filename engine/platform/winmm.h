// Stand-ins for the multimedia library's services: the millisecond clock and timer resolution.
#pragma once

#include "platform/types.h"

// Milliseconds since an arbitrary start, wrapping at 2^32.
V_DWORD V_timeGetTime();
V_UINT V_timeBeginPeriod(V_UINT period);
V_UINT V_timeEndPeriod(V_UINT period);
constexpr V_UINT V_TIMERR_NOERROR = 0;

struct V_TIMECAPS {
    V_UINT wPeriodMin;
    V_UINT wPeriodMax;
};
// The finest and coarsest timer periods in milliseconds.
V_UINT V_timeGetDevCaps(V_TIMECAPS* caps, V_UINT size);
constexpr V_UINT V_TIMERR_NOCANDO = 97;
