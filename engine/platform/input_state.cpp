// Key and mouse state kept from converted SDL events.
#include "platform/input_state.h"

#include <SDL.h>

#include <mutex>

#include "platform/kernel/kernel.h"

namespace {

// Keys by SDL scancode, then the eight mouse buttons.
constexpr int kButtonSlot = SDL_NUM_SCANCODES;
constexpr int kSlotCount = SDL_NUM_SCANCODES + 8;
constexpr uint8_t kAllReaders = 3;

struct KeyMouseState {
    std::mutex lock;
    bool down[kSlotCount] = {};
    // Per key or button: when its press was converted (SDL ticks), the press's own event time,
    // and when a release converted early takes effect (0: none pending).
    uint32_t convertedAt[kSlotCount] = {};
    uint32_t pressedAt[kSlotCount] = {};
    uint32_t releaseDue[kSlotCount] = {};
    // Per key or button: a bit per reader that has not read its latest press yet.
    uint8_t unread[kSlotCount] = {};
    int dx = 0;
    int dy = 0;
    int wheel = 0;
    V_HANDLE keyboardEvent = nullptr;
};

KeyMouseState& State() {
    static KeyMouseState* state = new KeyMouseState;
    return *state;
}

void Change(KeyMouseState& state, int slot, bool down) {
    if (state.down[slot] == down) return;
    state.down[slot] = down;
    if (slot < kButtonSlot && state.keyboardEvent != nullptr) V_SetEvent(state.keyboardEvent);
}

// Applies a pending release once its time has come.
void ApplyDueRelease(KeyMouseState& state, int slot, uint32_t now) {
    uint32_t due = state.releaseDue[slot];
    if (due == 0 || static_cast<int32_t>(now - due) < 0) return;
    state.releaseDue[slot] = 0;
    Change(state, slot, false);
}

// A press or release of a key or button with its event time. A release converted sooner after
// its press's conversion than the press was really held waits until it has been.
void SetSlotAt(int slot, bool down, uint32_t eventTime) {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    uint32_t now = SDL_GetTicks();
    if (down) {
        // A new press (not a repeat of a held key) starts its own time.
        if (!state.down[slot] || state.releaseDue[slot] != 0) {
            state.convertedAt[slot] = now;
            state.pressedAt[slot] = eventTime;
            state.unread[slot] = kAllReaders;
        }
        state.releaseDue[slot] = 0;
        Change(state, slot, true);
        return;
    }
    if (!state.down[slot]) return;
    uint32_t held = eventTime - state.pressedAt[slot];
    uint32_t due = state.convertedAt[slot] + held;
    if (static_cast<int32_t>(due - now) > 0) {
        state.releaseDue[slot] = due != 0 ? due : 1;
        return;
    }
    state.releaseDue[slot] = 0;
    Change(state, slot, false);
}

// The slot's state for one reader: a press it has not read yet counts as down once.
bool ReadSlot(KeyMouseState& state, int slot, InputReader reader, uint32_t now) {
    ApplyDueRelease(state, slot, now);
    uint8_t bit = static_cast<uint8_t>(1u << static_cast<int>(reader));
    bool down = state.down[slot] || (state.unread[slot] & bit) != 0;
    state.unread[slot] &= static_cast<uint8_t>(~bit);
    return down;
}

}  // namespace

void InputStateSetKeyAt(int scancode, bool down, uint32_t eventTime) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return;
    SetSlotAt(scancode, down, eventTime);
}

void InputStateSetKey(int scancode, bool down) { InputStateSetKeyAt(scancode, down, SDL_GetTicks()); }

bool InputStateIsKeyDown(int scancode, InputReader reader) {
    if (scancode <= 0 || scancode >= SDL_NUM_SCANCODES) return false;
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return ReadSlot(state, scancode, reader, SDL_GetTicks());
}

void InputStateSetMouseButtonAt(int sdlButton, bool down, uint32_t eventTime) {
    if (sdlButton < 1 || sdlButton > 8) return;
    SetSlotAt(kButtonSlot + sdlButton - 1, down, eventTime);
}

void InputStateSetMouseButton(int sdlButton, bool down) {
    InputStateSetMouseButtonAt(sdlButton, down, SDL_GetTicks());
}

uint32_t InputStateMouseButtons(InputReader reader) {
    KeyMouseState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    uint32_t now = SDL_GetTicks();
    uint32_t buttons = 0;
    for (int b = 0; b < 8; ++b)
        if (ReadSlot(state, kButtonSlot + b, reader, now)) buttons |= 1u << b;
    return buttons;
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
    for (bool& down : state.down) down = false;
    for (uint32_t& due : state.releaseDue) due = 0;
    for (uint8_t& bits : state.unread) bits = 0;
    state.dx = state.dy = state.wheel = 0;
}
