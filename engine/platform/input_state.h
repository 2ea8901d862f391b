// The key and mouse state the platform layer keeps from the SDL events it converts (by SDL
// scancode and SDL mouse button), read by V_GetKeyboardState and the direct input devices.
// Tests may feed it directly.
#pragma once

#include <cstdint>

#include "platform/types.h"

// The readers of the key and button state: each sees every press at least once.
enum class InputReader { KeyboardState = 0, DirectInput = 1 };

void InputStateSetKey(int scancode, bool down);
// A key event with its time (SDL ticks) as the event queue reports it. A press whose release is
// converted in the same batch stays down, from its conversion on, for as long as it was really
// held, so that readers polling once per frame see every press held for at least a frame.
void InputStateSetKeyAt(int scancode, bool down, uint32_t eventTime);
// Down, or pressed since this reader's last read (a press released before any read of the
// reader, however short, is reported down once).
bool InputStateIsKeyDown(int scancode, InputReader reader);
// SDL button numbers 1..8 (1 left, 2 middle, 3 right, 4 and 5 the side buttons). A click
// converted in one batch with its release is kept down as long as it was held, as keys are.
void InputStateSetMouseButtonAt(int sdlButton, bool down, uint32_t eventTime);
void InputStateSetMouseButton(int sdlButton, bool down);
// Bit b set: SDL button b + 1 is held, or was pressed since this reader's last read.
uint32_t InputStateMouseButtons(InputReader reader);
void InputStateAddMouseMotion(int dx, int dy, int wheelSteps);
// Takes the motion gathered since the last call.
void InputStateTakeMouseMotion(int* dx, int* dy, int* wheel);
// An event signalled whenever a key changes; null for none.
void InputStateSetKeyboardEvent(V_HANDLE event);
// Forgets every key, button and motion.
void InputStateReset();

// The direct input key number of an SDL scancode (0 for none).
int InputScancodeToKeyNumber(int scancode);
// The virtual key of an SDL scancode (0 for none); *general gets the side-less key of the
// modifier keys (shift 0x10, control 0x11, alt 0x12), else 0.
int InputScancodeToVirtualKey(int scancode, int* general);
