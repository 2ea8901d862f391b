// The game's view of the clock and of the window's active flag.
// Both go through replaceable sources so the simulation runs in tests without a window.
#pragma once

#include <cstdint>

using GameMillisecondsSource = int (*)();
using GameActiveSource = int (*)();

// The 31-bit millisecond clock (the engine's GetMilliseconds unless replaced).
int GetGameMilliseconds();
// Non-zero while the game's window is the active one.
int GetGameActiveFlag();

// Replace a source; null restores the default.
void SetGameMillisecondsSource(GameMillisecondsSource source);
void SetGameActiveSource(GameActiveSource source);

// Milliseconds from `last` to `now` on the 31-bit clock, counted across its wrap.
inline int ElapsedMilliseconds(int now, int last) {
    return static_cast<int>((static_cast<uint32_t>(now) - static_cast<uint32_t>(last)) &
                            0x7FFFFFFFu);
}
