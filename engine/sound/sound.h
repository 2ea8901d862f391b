// Sound: sound handles, sound buffers, normal and stream sounds, decoders.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- sound handles

// A sound handle: 0x10000000 | check number << 16 | slot; -1 means none.
typedef int32_t SoundHandle;

// How new sounds are made: 0 decoded into sound buffers, 2 streamed from a memory copy of
// the file, 3 streamed from the file itself.
enum SoundCreateType : int32_t {
    kSoundCreateNormal = 0,
    kSoundCreateStreamMemory = 2,
    kSoundCreateStreamFile = 3,
};

// Play types: 0 play and wait, 1 play in the background, 3 loop in the background.
constexpr int kPlayTypeWait = 0;
constexpr int kPlayTypeBackground = 1;
constexpr int kPlayTypeLoop = 3;

SoundHandle LoadSoundFile(const char* path, int bufferCount, SoundHandle shareWith);
SoundHandle LoadSoundFileForward(const char* path, int bufferCount, SoundHandle shareWith);
SoundHandle CreateSoundFromMemoryImage(const void* image, int size, int bufferCount,
                                       SoundHandle shareWith);
int PlaySoundHandle(SoundHandle handle, int playType, int topFlag);
int StopSoundHandle(SoundHandle handle);
// 1 playing, 0 not, -1 bad handle.
int CheckSoundPlaying(SoundHandle handle);
int GetSoundPositionMs(SoundHandle handle);
int DeleteSoundHandle(SoundHandle handle, int ignored = 0);
int DeleteAllSounds(int ignored = 0);
int SetSoundCreateType(int type);
int GetSoundCreateType();
int GetSoundLengthSamples(SoundHandle handle);
int GetSoundLengthMs(SoundHandle handle);

// ---------------------------------------------------------------- MIDI handles

int DeleteMidiHandle(int handle);
int DeleteAllMidiHandles();
int GetMidiPlayState(int handle);
int StopMidiHandle(int handle);

// ---------------------------------------------------------------- helpers

// samples × 1000 / rate, the product taken in 64 bits.
int ConvertSamplesToMs(int32_t samples, int32_t rate);
