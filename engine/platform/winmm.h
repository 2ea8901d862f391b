// Stand-ins for the multimedia library's services: the millisecond clock and timer resolution.
#pragma once

#include "platform/types.h"

// Milliseconds since an arbitrary start, wrapping at 2^32.
V_DWORD V_timeGetTime();
V_UINT V_timeBeginPeriod(V_UINT period);
V_UINT V_timeEndPeriod(V_UINT period);
constexpr V_UINT V_TIMERR_NOERROR = 0;
