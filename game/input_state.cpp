#include "input_state.h"

#include <new>

#include "game_engine.h"

namespace {

InputState* g_InputState = nullptr;

// The pad's bits, or nothing while the window is inactive.
bool ReadPadBit(uint32_t padBit, bool* down) {
    if (g_InputState == nullptr || !Engine().GetWindowActiveFlag()) return false;
    *down = (static_cast<uint32_t>(Engine().GetJoypadState(kPadOneWithKeys)) & padBit) != 0;
    return true;
}

}  // namespace

void CreateInputState() {
    if (g_InputState != nullptr) return;
    g_InputState = new (std::nothrow) InputState;
    if (g_InputState == nullptr) return;
    for (int32_t& counter : g_InputState->repeatCounters) counter = kRepeatDelay;
}

void ReleaseInputState() {
    delete g_InputState;
    g_InputState = nullptr;
}

InputState* GetInputState() {
    return g_InputState;
}

bool IsLatchedPress(uint32_t padBit, uint32_t latchBit) {
    bool down = false;
    if (!ReadPadBit(padBit, &down)) return false;
    if (!down) {
        g_InputState->latches &= ~latchBit;
        return false;
    }
    if ((g_InputState->latches & latchBit) != 0) return false;
    g_InputState->latches |= latchBit;
    return true;
}

bool IsRepeatedPress(uint32_t padBit, int counter) {
    bool down = false;
    if (counter < 0 || counter >= kRepeatCounterCount || !ReadPadBit(padBit, &down)) return false;
    int32_t& count = g_InputState->repeatCounters[counter];
    if (!down) {
        count = kRepeatDelay;
        return false;
    }
    if (count == 0) return true;
    const bool press = count == kRepeatDelay;
    count -= 1;
    return press;
}
