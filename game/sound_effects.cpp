#include "sound_effects.h"

#include <new>

#include "game_engine.h"

namespace {

struct SoundEffects {
    int handles[kSoundEffectCount];
};

constexpr const char* kSoundEffectFiles[kSoundEffectCount] = {
    "Data/SE/Enter-pi32.wav",
    "Data/SE/Cansel-pi01.wav",
    "Data/SE/Click-pi42.wav",
};

constexpr int kPlayBackground = 1;
constexpr int kPlayBufferCount = 3;

SoundEffects* g_SoundEffects = nullptr;

}  // namespace

void LoadSoundEffects() {
    if (g_SoundEffects != nullptr) return;
    g_SoundEffects = new (std::nothrow) SoundEffects;
    if (g_SoundEffects == nullptr) return;
    for (int i = 0; i < kSoundEffectCount; ++i) {
        g_SoundEffects->handles[i] = Engine().LoadSoundFile(kSoundEffectFiles[i], kPlayBufferCount, -1);
    }
}

void ReleaseSoundEffects() {
    if (g_SoundEffects == nullptr) return;
    for (int handle : g_SoundEffects->handles) Engine().DeleteSoundHandle(handle, 0);
    delete g_SoundEffects;
    g_SoundEffects = nullptr;
}

void PlaySoundEffect(SoundEffect effect) {
    if (g_SoundEffects == nullptr || !Engine().GetWindowActiveFlag()) return;
    Engine().PlaySoundHandle(g_SoundEffects->handles[effect], kPlayBackground, 1);
}
