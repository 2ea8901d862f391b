// Device re-acquisition on activation changes, joypad vibration and the two input flags.
#include "core/core.h"
#include "core/input.h"
#include "core/window.h"

namespace {

constexpr V_UINT kInputFlagMessageA = 0x46F;
constexpr V_UINT kInputFlagMessageB = 0x470;

void StopVibrationOf(JoypadRecord& pad) {
    pad.vibrationOn = 0;
    pad.vibrationPower = 10000;
}

}  // namespace

int ReacquireInputDevices() {
    for (int i = 0; i < g_Input.joypadCount; ++i) {
        V_IDirectInputDevice7A* device = g_Input.joypads[i].device;
        if (device == nullptr) continue;
        device->Unacquire();
        device->SetCooperativeLevel(g_Window.mainWindow,
                                    g_Window.active ? V_DISCL_EXCLUSIVE | V_DISCL_FOREGROUND
                                                    : V_DISCL_NONEXCLUSIVE | V_DISCL_BACKGROUND);
        device->Acquire();
    }
    if (g_Input.keyboard != nullptr) {
        g_Input.keyboard->Unacquire();
        g_Input.keyboard->Acquire();
    }
    return 0;
}

int ApplyJoypadVibration() {
    if (!HasDirectInput()) return 0;
    for (int i = 0; i < g_Input.joypadCount; ++i) {
        JoypadRecord& pad = g_Input.joypads[i];
        if (!g_Window.active) {
            if (pad.constantPlaying && pad.constantForce != nullptr) pad.constantForce->Stop();
            if (pad.periodicPlaying && pad.periodic != nullptr) pad.periodic->Stop();
            pad.constantPlaying = pad.periodicPlaying = 0;
            continue;
        }
        if (pad.constantForce != nullptr && pad.constantPlaying != pad.vibrationOn) {
            if (pad.vibrationOn) pad.constantForce->Start(1, 0);
            else pad.constantForce->Stop();
            pad.constantPlaying = pad.vibrationOn;
        }
        int periodicWanted = pad.vibrationOn && pad.vibrationPower > 5000 ? 1 : 0;
        if (pad.periodic != nullptr && pad.periodicPlaying != periodicWanted) {
            if (periodicWanted) pad.periodic->Start(1, 0);
            else pad.periodic->Stop();
            pad.periodicPlaying = periodicWanted;
        }
    }
    return 0;
}

int StopJoypadVibration(int inputType) {
    if (!IsInputRunning()) {
        if (!GetClosePostedFlag()) InitInput();
        return 0;
    }
    int padIndex = (inputType & ~kKeyboardFlag) - 1;
    if (padIndex < 0 || padIndex >= g_Input.joypadCount) return 0;
    JoypadRecord& pad = g_Input.joypads[padIndex];
    if (pad.device == nullptr || pad.constantForce == nullptr || !pad.vibrationOn) return 0;
    StopVibrationOf(pad);
    ApplyJoypadVibration();
    return 0;
}

int UpdateJoypadVibration() {
    int now = GetMilliseconds();
    for (int i = 0; i < g_Input.joypadCount; ++i) {
        JoypadRecord& pad = g_Input.joypads[i];
        if (!pad.vibrationOn || pad.vibrationDuration < 0) continue;
        int step = (now - pad.vibrationClock) & 0x7FFFFFFF;
        pad.vibrationClock = now;
        pad.vibrationElapsed += step;
        if (pad.vibrationElapsed >= pad.vibrationDuration) StopVibrationOf(pad);
    }
    ApplyJoypadVibration();
    return 0;
}

int SetInputFlagA() {
    return static_cast<int>(V_SendMessageA(g_Window.mainWindow, kInputFlagMessageA, 1, 0));
}
int ClearInputFlagA() {
    return static_cast<int>(V_SendMessageA(g_Window.mainWindow, kInputFlagMessageA, 0, 0));
}
int SetInputFlagB() {
    return static_cast<int>(V_SendMessageA(g_Window.mainWindow, kInputFlagMessageB, 1, 0));
}
int ClearInputFlagB() {
    return static_cast<int>(V_SendMessageA(g_Window.mainWindow, kInputFlagMessageB, 0, 0));
}
