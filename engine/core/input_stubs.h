// Least versions of the keyboard, mouse and joypad input calls that start-up, the message loop
// and the window procedure make, until the input system is built. Delete with input_stubs.cpp.
#pragma once

int InitInput();
int EndInput();
int UpdateKeyboardState();
int UpdateJoypadVibration();
int ApplyJoypadVibration();
int ReacquireInputDevices();
