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

// The wave format record of the multimedia system: 18 bytes, packed; cbSize bytes of
// format-specific data may follow it.
#pragma pack(push, 1)
struct V_WAVEFORMATEX {
    V_WORD wFormatTag;
    V_WORD nChannels;
    V_DWORD nSamplesPerSec;
    V_DWORD nAvgBytesPerSec;
    V_WORD nBlockAlign;
    V_WORD wBitsPerSample;
    V_WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(V_WAVEFORMATEX) == 18, "the wave format is 18 bytes");
constexpr V_WORD V_WAVE_FORMAT_PCM = 1;
