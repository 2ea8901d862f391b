// The input shared by every scene: edge latches and key-repeat counters over pad 1 with its
// keyboard assignment.
#pragma once

#include <cstdint>

// Bits of GetJoypadState(kPadOneWithKeys).
constexpr int kPadOneWithKeys = 0x1001;
constexpr uint32_t kPadDown = 0x1;
constexpr uint32_t kPadLeft = 0x2;
constexpr uint32_t kPadRight = 0x4;
constexpr uint32_t kPadUp = 0x8;
constexpr uint32_t kPadDecide = 0x10;   // Z
constexpr uint32_t kPadCancel = 0x20;   // X
constexpr uint32_t kPadPause = 0x400;   // Q

// Latch bits.
constexpr uint32_t kLatchDecide = 0x1;
constexpr uint32_t kLatchCancel = 0x2;
constexpr uint32_t kLatchUp = 0x8;
constexpr uint32_t kLatchDown = 0x10;
constexpr uint32_t kLatchPause = 0x80;

// Repeat counters of the settings screen.
constexpr int kRepeatUp = 3;
constexpr int kRepeatDown = 4;
constexpr int kRepeatLeft = 5;
constexpr int kRepeatRight = 6;
constexpr int kRepeatCounterCount = 9;
constexpr int kRepeatDelay = 20;

struct InputState {
    uint32_t latches = 0;
    int32_t repeatCounters[kRepeatCounterCount];
};

// Creates the process-wide state (latches clear, counters 20); nothing when it exists.
void CreateInputState();
void ReleaseInputState();
InputState* GetInputState();

// A press that counts once until the button is released. No press, and no change, while the
// window is inactive or there is no input state.
bool IsLatchedPress(uint32_t padBit, uint32_t latchBit);
// A press at once, then after 20 frames of holding, then every frame.
bool IsRepeatedPress(uint32_t padBit, int counter);
