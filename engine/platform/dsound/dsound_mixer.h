// The mixer's state: every secondary buffer's ring of bytes, cursor and controls, and the one
// mutex that guards them against the audio callback.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/dsound/dsound.h"

// Sound memory shared by a buffer and its duplicates.
struct DSoundStorage {
    int references;
    std::vector<uint8_t> bytes;
};

struct DSoundBufferState {
    V_ULONG references;
    int primary;
    V_DWORD flags;
    V_WAVEFORMATEX format;
    DSoundStorage* storage;  // null for the primary buffer
    uint32_t size;           // bytes of the ring
    // Play state, guarded by the mixer mutex.
    int playing;
    int looping;
    uint64_t position;  // sample frames, 32.32 fixed point
    V_LONG volume;
    V_LONG pan;
    V_DWORD frequency;  // 0 = the format's own rate
    int32_t gainLeft;   // 16.16 fixed point, from volume and pan
    int32_t gainRight;
};

struct DSoundMixer {
    std::mutex mutex;
    std::vector<DSoundBufferState*> buffers;  // every live secondary buffer
    std::vector<int32_t> accumulator;
    int manual = 0;
    V_DWORD refusedFlags = 0;
    uint32_t device = 0;  // the open audio device, 0 when none
    int deviceUsers = 0;
};

DSoundMixer& GetDSoundMixer();

// Opens the audio device for the first initialised device object (unless mixing is manual);
// 0, or -1 when there is no audio device.
int OpenDSoundOutput();
void CloseDSoundOutput();

// Recomputes the fixed-point gains from volume and pan. Called with the mixer mutex held.
void UpdateDSoundGains(DSoundBufferState* state);
// Mixes `frames` output frames of every playing buffer into the accumulator and writes the
// clamped result. Called with the mixer mutex held.
void MixDSoundBuffers(DSoundMixer& mixer, int16_t* output, int frames);
