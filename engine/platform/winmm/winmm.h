// Stand-ins for the multimedia library's services: the millisecond clock and timer resolution.
#pragma once

#include "platform/types.h"

// Milliseconds since an arbitrary start, wrapping at 2^32.
V_DWORD V_timeGetTime();
// Test switch: an amount added to every later reading, so that a test can put the clock just
// before its wrap. V_timeGetTime() with offset 0 is the plain clock.
void V_SetTimeOffsetForTest(V_DWORD offset);
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

// ---- Joysticks (SDL's joystick subsystem; id = SDL's device index) ----
constexpr V_UINT V_JOYERR_NOERROR = 0;
constexpr V_UINT V_JOYERR_PARMS = 165;
constexpr V_UINT V_JOYERR_UNPLUGGED = 167;
constexpr V_UINT V_JOYCAPS_HASZ = 0x0001;
constexpr V_UINT V_JOYCAPS_HASR = 0x0002;
constexpr V_UINT V_JOYCAPS_HASPOV = 0x0010;
constexpr V_DWORD V_JOY_RETURNALL = 0x00FF;

struct V_JOYCAPSA {
    V_WORD wMid;
    V_WORD wPid;
    char szPname[32];
    V_UINT wXmin, wXmax, wYmin, wYmax, wZmin, wZmax;
    V_UINT wNumButtons;
    V_UINT wPeriodMin, wPeriodMax;
    V_UINT wRmin, wRmax, wUmin, wUmax, wVmin, wVmax;
    V_UINT wCaps;
    V_UINT wMaxAxes;
    V_UINT wNumAxes;
    V_UINT wMaxButtons;
    char szRegKey[32];
    char szOEMVxD[V_MAX_PATH];
};

// Axes in 0..65535 (centre 32767 or 32768), buttons as a mask, the first hat in hundredths of a
// degree (0xFFFF centred).
struct V_JOYINFOEX {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    V_DWORD dwXpos, dwYpos, dwZpos, dwRpos, dwUpos, dwVpos;
    V_DWORD dwButtons;
    V_DWORD dwButtonNumber;
    V_DWORD dwPOV;
    V_DWORD dwReserved1, dwReserved2;
};

// V_JOYERR_UNPLUGGED for an id with no joystick attached.
V_UINT V_joyGetDevCapsA(V_UINT_PTR id, V_JOYCAPSA* caps, V_UINT size);
V_UINT V_joyGetPosEx(V_UINT id, V_JOYINFOEX* info);
