// Key and mouse state kept from converted SDL events.
#include "platform/input_state.h"

#include <SDL.h>

#include <mutex>

#include "platform/kernel.h"

namespace {

struct KeyMouseState {
    std::mutex lock;
    bool keys[SDL_NUM_SCANCODES] = {};
    uint32_t buttons = 0;
    int dx = 0;
    int dy = 0;
    int wheel = 0;
    V_HANDLE keyboardEvent = nullptr;
};

KeyMouseState& State() {
    static KeyMouseState* state = new KeyMouseState;
    return *state;
}

}  // namespace

void InputStateSetKey(int scancode, bool down) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.keys[scancode] == down) return;
    state.keys[scancode] = down;
    if (state.keyboardEvent != nullptr) V_SetEvent(state.keyboardEvent);
}

bool InputStateIsKeyDown(int scancode) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return false;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.keys[scancode];
}

void InputStateSetMouseButton(int sdlButton, bool down) {
    if (sdlButton < 1 || sdlButton > 8) return;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    uint32_t bit = 1u << (sdlButton - 1);
    state.buttons = down ? state.buttons | bit : state.buttons & ~bit;
}

uint32_t InputStateMouseButtons() {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.buttons;
}

void InputStateAddMouseMotion(int dx, int dy, int wheelSteps) {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.dx += dx;
    state.dy += dy;
    state.wheel += wheelSteps;
}

void InputStateTakeMouseMotion(int* dx, int* dy, int* wheel) {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    *dx = state.dx;
    *dy = state.dy;
    *wheel = state.wheel;
    state.dx = state.dy = state.wheel = 0;
}

void InputStateSetKeyboardEvent(V_HANDLE event) {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.keyboardEvent = event;
}

void InputStateReset() {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (bool& key : state.keys) key = false;
    state.buttons = 0;
    state.dx = state.dy = state.wheel = 0;
}
