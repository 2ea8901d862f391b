#include "game_clock.h"

#include "velk.h"

namespace {

// The window's active flag is not reachable from here yet: the game counts as active.
int DefaultActiveFlag() {
    return 1;
}

GameMillisecondsSource g_MillisecondsSource = &GetMilliseconds;
GameActiveSource g_ActiveSource = &DefaultActiveFlag;

}  // namespace

int GetGameMilliseconds() {
    return g_MillisecondsSource();
}

int GetGameActiveFlag() {
    return g_ActiveSource();
}

void SetGameMillisecondsSource(GameMillisecondsSource source) {
    g_MillisecondsSource = source ? source : &GetMilliseconds;
}

void SetGameActiveSource(GameActiveSource source) {
    g_ActiveSource = source ? source : &DefaultActiveFlag;
}
