// The keyboard state by virtual key, from the key and mouse state kept by the event conversion.
#include <SDL.h>

#include <cstring>

#include "platform/input_state.h"
#include "platform/user/user.h"

V_BOOL V_GetKeyboardState(V_BYTE* state) {
    if (state == nullptr) return V_FALSE;
    std::memset(state, 0, 256);
    for (int scancode = 1; scancode < SDL_NUM_SCANCODES; ++scancode) {
        if (!InputStateIsKeyDown(scancode, InputReader::KeyboardState)) continue;
        int general = 0;
        int key = InputScancodeToVirtualKey(scancode, &general);
        if (key != 0) state[key] = 0x80;
        if (general != 0) state[general] = 0x80;
    }
    uint32_t buttons = InputStateMouseButtons(InputReader::KeyboardState);
    if (buttons & 1u) state[1] = 0x80;         // left
    if (buttons & 4u) state[2] = 0x80;         // right (SDL button 3)
    if (buttons & 2u) state[4] = 0x80;         // middle (SDL button 2)
    if (buttons & 8u) state[5] = 0x80;         // first side button
    if (buttons & 16u) state[6] = 0x80;        // second side button
    return V_TRUE;
}
