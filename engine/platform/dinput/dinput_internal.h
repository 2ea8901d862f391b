// Shared between the direct input object and its devices.
#pragma once

#include "platform/dinput/dinput.h"

enum class DirectInputDeviceKind { Keyboard, Mouse, Joystick };

// Makes a device; for a joystick, joystickInstance is SDL's instance id. Null when the
// joystick cannot be opened.
V_IDirectInputDevice8A* DirectInputCreateDevice(DirectInputDeviceKind kind, int version,
                                                int joystickInstance);
// The instance identifier of the joystick with SDL's instance id, and back (-1 for none).
V_GUID DirectInputJoystickGuid(int joystickInstance);
int DirectInputJoystickInstance(const V_GUID& guid);
