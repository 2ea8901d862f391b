// Sound services to the engine core: the sound system's start and end, the music handle and the
// MIDI notifications.
#pragma once

#include "sound/sound.h"

// ---------------------------------------------------------------- services to the engine core

// Sets up the sound device and starts the stream refill thread; start-up goes on without sound
// when it fails.
int InitializeSoundSystem();
// Stops and deletes the remembered music handle, if any.
int StopAndDeleteMusic();
// Stops the stream refill thread (pumping messages while it stops), then deletes every sound.
int TerminateSoundSystem();
// The window procedure's MIDI notification handler.
int HandleMidiNotify();
// Called on every message pass: clears the playing mark of MIDI handles that have ended.
int UpdateMidiPlayStates();
