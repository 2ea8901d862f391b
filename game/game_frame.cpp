#include "game_frame.h"

#include <new>

#include "game_clock.h"
#include "game_colors.h"
#include "game_engine.h"
#include "input_state.h"
#include "sequence.h"
#include "sound_effects.h"

namespace {

constexpr int kKeyEscape = 1;

// The simulation's mouse tools run only while the window is the active one.
int WindowActiveFlag() {
    return Engine().GetWindowActiveFlag();
}

Sequence::Parent* g_RootParent = nullptr;

}  // namespace

Sequence::Parent* GetRootParent() {
    return g_RootParent;
}

void CreateRootParent() {
    if (g_RootParent != nullptr) return;
    g_RootParent = new (std::nothrow) Sequence::Parent;
    if (g_RootParent != nullptr) g_RootParent->child = new (std::nothrow) Sequence::Title;
}

void ReleaseRootParent() {
    delete g_RootParent;
    g_RootParent = nullptr;
}

int RunFrame() {
    GameEngine& engine = Engine();
    if (engine.ProcessMessageLocked() == -1) return 1;
    CreateRootParent();
    if (g_RootParent == nullptr || g_RootParent->child == nullptr) return 1;

    Sequence::Child* current = g_RootParent->child;
    Sequence::Base* next = current->Update(g_RootParent);
    if (next == nullptr) return 1;
    if (next != current) {
        auto* scene = dynamic_cast<Sequence::Child*>(next);
        if (scene == nullptr) {  // only top-level scenes reach the loop
            delete next;
            return 1;
        }
        delete current;
        g_RootParent->child = scene;
    }
    if (!engine.GetWindowActiveFlag()) return 0;
    return engine.IsKeyDown(kKeyEscape) == 1 ? 1 : 0;
}

int RunGame() {
    GameEngine& engine = Engine();
    SetGameActiveSource(&WindowActiveFlag);
    engine.ChangeWindowMode(1);
    if (engine.InitLibraryLocked() == -1) return -1;
    BuildGameColors();
    engine.SetAlwaysRunFlag(1);
    CreateInputState();
    LoadSoundEffects();
    while (RunFrame() == 0) {
        engine.PresentScreen();
    }
    ReleaseRootParent();
    ReleaseInputState();
    ReleaseSoundEffects();
    engine.EndLibraryLocked();
    return 0;
}
