// Joypad state: DirectInput devices or the joystick calls, and the pads' key maps.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/window.h"
#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

namespace {

bool PadSignalled(const JoypadRecord& pad) {
    return pad.changeEvent != nullptr &&
           V_WaitForSingleObject(pad.changeEvent, 0) == V_WAIT_OBJECT_0;
}

int UpdateThroughDirectInput(JoypadRecord& pad) {
    int now = GetMilliseconds();
    bool signalled = PadSignalled(pad);
    if (now == pad.lastRefresh && !signalled) return 0;
    pad.lastRefresh = now;
    if (pad.device == nullptr) return 0;
    V_DIJOYSTATE state;
    pad.device->Poll();
    if (V_FAILED(pad.device->GetDeviceState(sizeof(state), &state))) {
        if (GetQuitFlag() || !HasDirectInput()) return -1;
        // A read that fails once keeps the last state; a pad that is gone reads nothing held.
        const V_HRESULT acquired = pad.device->Acquire();
        if (acquired == V_DIERR_UNPLUGGED)
            std::memset(&pad.state, 0, sizeof(pad.state));
        else if (V_SUCCEEDED(acquired) &&
                 V_SUCCEEDED(pad.device->GetDeviceState(sizeof(state), &state)))
            pad.state = state;
    } else {
        pad.state = state;
    }
    if (PadSignalled(pad)) V_ResetEvent(pad.changeEvent);
    return 0;
}

int UpdateThroughJoystickCalls(int padIndex, JoypadRecord& pad) {
    int now = GetMilliseconds();
    if (now == pad.lastRefresh) return 0;
    pad.lastRefresh = now;
    V_JOYINFOEX info;
    std::memset(&info, 0, sizeof(info));
    info.dwSize = sizeof(info);
    info.dwFlags = V_JOY_RETURNALL;
    if (V_joyGetPosEx(static_cast<V_UINT>(padIndex), &info) != V_JOYERR_NOERROR) {
        std::memset(&pad.state, 0, sizeof(pad.state));
        return 0;
    }
    pad.state.lX = MapJoystickAxis(info.dwXpos);
    pad.state.lY = MapJoystickAxis(info.dwYpos);
    if (pad.hasZ) {
        pad.state.lZ = MapJoystickAxis(info.dwZpos);
        pad.state.lRz = MapJoystickAxis(info.dwRpos);
    } else {
        pad.state.lZ = pad.state.lRz = 0;
    }
    for (int i = 0; i < 24; ++i) pad.state.rgbButtons[i] = (info.dwButtons >> i) & 1u ? 128 : 0;
    return 0;
}

}  // namespace

int MapJoystickAxis(uint32_t raw) {
    int v = static_cast<int>(raw & 0xFFFF);
    if (v == 0) return -1000;
    if (v == 32767) return 0;
    if (v == 65535) return 1000;
    if (v < 24576) return (v - 24576) * 1000 / 24576;
    if (v > 40960) return (v - 40960) * 1000 / 24576;
    return 0;
}

int UpdateJoypadState(int padIndex) {
    if (padIndex < 0 || padIndex >= kMaxJoypads) return -1;
    JoypadRecord& pad = g_Input.joypads[padIndex];
    if (HasDirectInput()) return UpdateThroughDirectInput(pad);
    return UpdateThroughJoystickCalls(padIndex, pad);
}

int GetJoypadState(int inputType) {
    WaitWhileInactive();
    if (!IsInputRunning()) {
        // Input starts again only while the window exists and is not closing.
        if (GetMainWindowHandle() != nullptr && !GetClosePostedFlag()) InitInput();
        return 0;
    }
    bool keyboard = (inputType & kKeyboardFlag) != 0;
    int padIndex = (inputType & ~kKeyboardFlag) - 1;
    if ((padIndex < -1 || padIndex >= g_Input.joypadCount) && g_Input.joypadCount > 0 &&
        !keyboard)
        return 0;
    int result = 0;
    if (padIndex >= 0 && padIndex < g_Input.joypadCount) {
        UpdateJoypadState(padIndex);
        const V_DIJOYSTATE& state = g_Input.joypads[padIndex].state;
        if (state.lX < 0) result |= 2;
        if (state.lX > 0) result |= 4;
        if (state.lY < 0) result |= 8;
        if (state.lY > 0) result |= 1;
        for (int i = 0; i < 24; ++i)
            if (state.rgbButtons[i] & 0x80) result |= 1 << (4 + i);
    }
    // The key map: the named pad's, pad 1's when none is named. A pad number past the map
    // reads no keys.
    if (keyboard) {
        int mapIndex = padIndex < 0 ? 0 : padIndex;
        if (mapIndex < kMaxJoypads) {
            UpdateKeyboardState();
            // Every key of the map is polled (not only up to the first one down), so each
            // reports its press.
            for (int entry = 0; entry < kKeyMapEntries; ++entry) {
                for (int k = 0; k < kKeysPerEntry; ++k) {
                    int32_t code = g_Input.keyMap[mapIndex][entry][k];
                    if (code > 0 && code < 256 && PollKey(code, kPollJoypadKeys))
                        result |= static_cast<int>(1u << entry);
                }
            }
        }
    }
    return result;
}
