// Key and mouse state kept from converted SDL events.
#include "platform/input_state.h"

#include <SDL.h>

#include <mutex>

#include "platform/kernel.h"

namespace {

struct KeyMouseState {
    std::mutex lock;
    bool keys[SDL_NUM_SCANCODES] = {};
    // Per key: when its press was converted (SDL ticks), the press's own event time, and when a
    // release converted early takes effect (0: none pending).
    uint32_t convertedAt[SDL_NUM_SCANCODES] = {};
    uint32_t pressedAt[SDL_NUM_SCANCODES] = {};
    uint32_t releaseDue[SDL_NUM_SCANCODES] = {};
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

namespace {

void ChangeKey(KeyMouseState& state, int scancode, bool down) {
    if (state.keys[scancode] == down) return;
    state.keys[scancode] = down;
    if (state.keyboardEvent != nullptr) V_SetEvent(state.keyboardEvent);
}

// Applies a pending release once its time has come.
void ApplyDueRelease(KeyMouseState& state, int scancode, uint32_t now) {
    uint32_t due = state.releaseDue[scancode];
    if (due == 0 || static_cast<int32_t>(now - due) < 0) return;
    state.releaseDue[scancode] = 0;
    ChangeKey(state, scancode, false);
}

}  // namespace

void InputStateSetKeyAt(int scancode, bool down, uint32_t eventTime) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    uint32_t now = SDL_GetTicks();
    if (down) {
        // A new press (not a repeat of a held key) starts its own time.
        if (!state.keys[scancode] || state.releaseDue[scancode] != 0) {
            state.convertedAt[scancode] = now;
            state.pressedAt[scancode] = eventTime;
        }
        state.releaseDue[scancode] = 0;
        ChangeKey(state, scancode, true);
        return;
    }
    if (!state.keys[scancode]) return;
    uint32_t held = eventTime - state.pressedAt[scancode];
    uint32_t due = state.convertedAt[scancode] + held;
    if (static_cast<int32_t>(due - now) > 0) {
        state.releaseDue[scancode] = due != 0 ? due : 1;
        return;
    }
    state.releaseDue[scancode] = 0;
    ChangeKey(state, scancode, false);
}

void InputStateSetKey(int scancode, bool down) { InputStateSetKeyAt(scancode, down, SDL_GetTicks()); }

bool InputStateIsKeyDown(int scancode) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return false;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    ApplyDueRelease(state, scancode, SDL_GetTicks());
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
    for (uint32_t& due : state.releaseDue) due = 0;
    state.buttons = 0;
    state.dx = state.dy = state.wheel = 0;
}
