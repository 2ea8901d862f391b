#include "game_engine.h"

#include "game_clock.h"

namespace {

GameEngine* g_Engine = nullptr;

int EngineActiveFlag() {
    return Engine().GetWindowActiveFlag();
}

}  // namespace

GameEngine& Engine() {
    return g_Engine != nullptr ? *g_Engine : RealGameEngine();
}

void SetGameEngine(GameEngine* engine) {
    g_Engine = engine;
    SetGameActiveSource(&EngineActiveFlag);
}
