// The input system's state block and its calls inside the library.
#pragma once

#include <cstdint>

#include "platform/dinput/dinput.h"
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

// The public calls that report keys, each of which sees every press at least once.
enum KeyPoll { kPollIsKeyDown = 0, kPollJoypadKeys = 1, kKeyPollCount = 2 };

// Bits of a press mark (keys per kind of poll, mouse buttons): a refresh found the key down in
// this message pass of the program, or in the pass before without a report of that kind since;
// a poll has reported the key since its latest press was found.
constexpr uint8_t kMarkFound = 0x80;
constexpr uint8_t kMarkCarried = 0x40;
constexpr uint8_t kMarkHeld = 0x02;      // down at the latest refresh
constexpr uint8_t kMarkReported = 0x01;
constexpr int kMouseButtonCount = 8;

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
    // Press marks per kind of poll: a press released before the poll (a tap shorter than a
    // frame) is reported by every poll of that kind until the next message pass; one that no
    // such poll reported is carried into the next pass once, then dropped.
    uint8_t keyMarks[kKeyPollCount][256];
    int32_t keyMap[kMaxJoypads][kKeyMapEntries][kKeysPerEntry];
    uint8_t mouseButtons[3];          // left, right, middle as read through the keyboard state
    uint8_t buttonMarks[kMouseButtonCount];  // press marks of the buttons, on either road
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

// A key as one kind of poll reports it: down in the table, or marked pressed for that kind. The
// mark stays until the next message pass, so every poll in between sees the press.
bool PollKey(int keyCode, KeyPoll poll);
// At each message pass of the program: a mark that its poll reported is dropped, one found in
// the pass before and not reported is carried into this pass once.
void AgeKeyMarks();

// True while input runs, with or without DirectInput.
bool IsInputRunning();
// True when a DirectInput object is in use.
bool HasDirectInput();
// The keyboard and mouse go through DirectInput (not through the keyboard state).
bool UsesDirectInputKeyboard();

// One raw joystick-call axis value (0..65535) in -1000..1000 with the dead zone 24576..40960.
int MapJoystickAxis(uint32_t raw);
