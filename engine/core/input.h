// The input system's state block and its calls inside the library.
#pragma once

#include <cstdint>

#include "platform/dinput.h"
#include "core/core.h"
#include "platform/types.h"

constexpr int kMaxJoypads = 16;
constexpr int kKeyMapEntries = 32;
constexpr int kKeysPerEntry = 4;
constexpr int kKeyboardFlag = kJoypadKeyboardFlag;

struct JoypadRecord {
    V_IDirectInputDevice7A* device;  // null for a pad read through the joystick calls
    V_IDirectInputEffect* constantForce;
    V_IDirectInputEffect* periodic;
    V_HANDLE changeEvent;
    V_DIJOYSTATE state;
    int hasZ;                 // joystick calls only: the pad has both a Z and an R axis
    int lastRefresh;          // milliseconds
    int vibrationOn;
    int vibrationPower;       // 0..10000
    int vibrationDuration;    // milliseconds, negative: until stopped
    int vibrationElapsed;
    int vibrationClock;       // clock value of the last update
    int constantPlaying;
    int periodicPlaying;
    char instanceName[260];
    char productName[260];
    double unusedQuarter;
};

struct InputState {
    int noDirectInput;                // kept across InitInput; 1: DirectInput is not tried
    int directInputOnNewerSystems;    // kept across InitInput
    int directInput8;                 // 1 when the version-8 interface is in use
    V_IDirectInput7A* directInput7;
    V_IDirectInput8A* directInput8Object;
    int withoutDirectInput;           // running without DirectInput (the marker -1)
    V_IDirectInputDevice7A* mouse;
    V_IDirectInputDevice7A* keyboard;
    V_HANDLE keyboardEvent;
    int lastKeyboardRefresh;
    uint8_t keyStateTable[256];
    int32_t keyMap[kMaxJoypads][kKeyMapEntries][kKeysPerEntry];
    uint8_t mouseButtons[3];          // left, right, middle as read through the keyboard state
    int mouseButtonsRead;
    int joypadCount;
    JoypadRecord joypads[kMaxJoypads];
    int initBusy;
    int updateBusy;
};

extern InputState g_Input;

int InitInput();
int EndInput();
int EnumerateJoypads();
int ReleaseJoypads();
int UpdateKeyboardState();
int UpdateJoypadState(int padIndex);
int ReacquireInputDevices();
int ApplyJoypadVibration();
int UpdateJoypadVibration();

// True while input runs, with or without DirectInput.
bool IsInputRunning();
// True when a DirectInput object is in use.
bool HasDirectInput();
// The keyboard and mouse go through DirectInput (not through the keyboard state).
bool UsesDirectInputKeyboard();

// One raw joystick-call axis value (0..65535) in -1000..1000 with the dead zone 24576..40960.
int MapJoystickAxis(uint32_t raw);
