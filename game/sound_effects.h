// The three sound effects every scene plays.
#pragma once

enum SoundEffect { kSoundEnter = 0, kSoundCancel = 1, kSoundClick = 2, kSoundEffectCount = 3 };

// Loads the three files (a file that fails leaves -1); nothing when they are loaded.
void LoadSoundEffects();
// Deletes the three handles and the table.
void ReleaseSoundEffects();
// Plays one from its start in the background, only while the window is active.
void PlaySoundEffect(SoundEffect effect);
