// Least versions of the text-input calls of the window code, until text input and the IME are
// built: the character code buffer itself, and calls that do nothing. Delete with
// key_input_stubs.cpp.
#pragma once

#include <cstdint>

#include "platform/user.h"

int InitKeyInput();
// 0, or -1 when the buffer is full (the byte is dropped).
int PushCharCode(unsigned char code);
// Takes the next byte (one byte per call here); 0 when the buffer is empty.
int PopCharCode(char out[2], int remove);
int IsCharCodeBufferFull();
int ProcessKeyInput();
V_LRESULT HandleImeMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);
int DeleteAllKeyInputs();
// 1 when the program switched IME use on (never in this system).
int GetImeUseFlag();
