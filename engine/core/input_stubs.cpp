// Least versions of the input calls: no device is set up, every call succeeds doing nothing.
#include "core/input_stubs.h"

int InitInput() { return 0; }
int EndInput() { return 0; }
int UpdateKeyboardState() { return 0; }
int UpdateJoypadVibration() { return 0; }
int ApplyJoypadVibration() { return 0; }
int ReacquireInputDevices() { return 0; }
