// The sound system's records and state: the sound table, sound records, buffer wrappers,
// stream sources, the sound lock and the refill thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/core.h"
#include "core/core_services.h"
#include "platform/dsound/dsound.h"
#include "platform/kernel/kernel.h"
#include "sound/sound.h"
#include "sound/sound_decoder.h"

constexpr int kSoundSlots = 32768;
constexpr int kMaxSoundBuffers = 10;
constexpr int kMaxStreamSources = 3;
constexpr int32_t kSoundHandleKind = 0x10000000;
constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kFirstFillMarker = -800;

// A sound buffer of the device, or none.
struct SoundBuffer {
    int32_t valid;
    V_IDirectSoundBuffer* buffer;
};

// One source of a stream sound.
struct StreamSoundSource {
    uint8_t loopCount;  // extra repetitions; 255 endless; compared as a signed byte
    int32_t mode;       // 0 decoded whole into memory, 2 memory copy, 3 the caller's stream
    uint8_t* image;
    uint32_t imageSize;
    StreamHolder ownStream;  // memory stream over the image (modes 0 and 2)
    uint32_t loopStart;      // sample frames
    int32_t endSample;       // -1: to the end of the data
    SoundDecoder decoder;
};

struct SoundRecord {
    uint32_t checkNumber;
    SoundBuffer buffers[kMaxSoundBuffers];
    V_WAVEFORMATEX format;
    int32_t streamFlag;
    int32_t playType;
    SoundHandle owner;
    int32_t sharers;
    SoundHandle currentUser;
    int32_t deletePending;
    uint32_t bufferBytes;
    int32_t writePosition;
    int32_t safeMark;
    StreamSoundSource sources[kMaxStreamSources];
    uint8_t sourceStreamFlags[kMaxStreamSources];
    int32_t sourceCount;
    // Stream progress.
    int32_t currentSource;
    int32_t loopsDone;
    int32_t bytesTaken;
    int32_t totalSamples;
    uint32_t playPosition;
    uint32_t lastCursor;
    uint8_t active;
    uint8_t endWritten;
    uint8_t finished;
    // Loop points written and not heard yet: a loop shorter than the data written ahead of the
    // cursor has more than one.
    uint32_t markPending;
    uint32_t markBase;
    uint32_t endOffset;
    uint32_t endCursor;
    uint32_t endPosition;  // play position at which the last byte of data has been heard
    uint32_t markOffset;   // the first pending loop point
    uint32_t markLast;     // the last one written
    uint32_t markInterval; // bytes between two pending loop points, one loop of the data
    ListNode node;
    // Normal sounds: decoded data shared by reference count.
    uint32_t pcmSize;
    uint8_t* pcmData;
    int32_t* pcmReferences;
    int32_t bufferCount;
    int32_t currentBuffer;
    int32_t volume;
    int32_t pan;
    uint32_t frequency;
    uint8_t nextVolumeFlag;
    uint8_t nextPanFlag;
    uint8_t nextFrequencyFlag;
    int32_t nextVolume;
    int32_t nextPan;
    int32_t nextFrequency;
};

struct SoundSystemState {
    V_IDirectSound* directSound;
    V_IDirectSoundBuffer* primaryBuffer;
    V_IDirectSoundBuffer* silentBuffer;
    V_CRITICAL_SECTION lock;
    std::atomic<V_DWORD> lockOwner;  // thread holding the sound lock, 0 when none
    int32_t lockDepth;
    V_HANDLE thread;
    V_DWORD threadId;
    std::atomic<int32_t> stopFlag;  // 0 running, 1 stop asked, 2 the thread has left its loop
    ListNode streamHead;
    ListNode streamTail;
    int32_t createType;
    int32_t oggSampleWidth;
};

struct SoundTable {
    SoundRecord* slots[kSoundSlots];
    int32_t count;
    int32_t areaEnd;
    int32_t checkCounter;
};

struct WaveCaptureState {
    int32_t capturing;
    int32_t frames;
    V_HANDLE file;
};

extern SoundSystemState g_SoundSystem;
extern SoundTable g_SoundTable;
extern WaveCaptureState g_WaveCapture;

// The sound lock (recursive), with its owner kept so that the end can tell who holds it.
void EnterSoundLock();
void LeaveSoundLock();
bool SoundLockHeldByCaller();

// The record of a valid handle while sound runs, else null.
SoundRecord* GetSoundRecord(SoundHandle handle);
SoundHandle AddSoundData(SoundHandle hint);

// Buffer wrappers.
int CreateSoundBufferObject(SoundBuffer* wrapper, const V_DSBUFFERDESC* description);
int DuplicateSoundBufferObject(SoundBuffer* wrapper, const SoundBuffer* source);
int ReleaseSoundBufferObject(SoundBuffer* wrapper);
int PlaySoundBufferObject(SoundBuffer* wrapper, int loop);
int StopSoundBufferObject(SoundBuffer* wrapper);
int GetSoundBufferStatus(SoundBuffer* wrapper, V_DWORD* status);
int LockSoundBufferObject(SoundBuffer* wrapper, V_DWORD offset, V_DWORD bytes, void** part1,
                          V_DWORD* length1, void** part2, V_DWORD* length2);
int UnlockSoundBufferObject(SoundBuffer* wrapper, void* part1, V_DWORD length1, void* part2,
                            V_DWORD length2);
int SetSoundBufferFrequency(SoundBuffer* wrapper, V_DWORD frequency);
int SetSoundBufferPan(SoundBuffer* wrapper, V_LONG pan);
int SetSoundBufferVolume(SoundBuffer* wrapper, V_LONG volume);
int SetSoundBufferPosition(SoundBuffer* wrapper, V_DWORD offset);
// Play cursor of a wrapper's buffer in bytes, or -1.
int64_t GetSoundBufferPlayCursor(SoundBuffer* wrapper);
int CreateSoundBuffers(SoundHandle duplicateFrom, const V_WAVEFORMATEX* format, uint32_t bytes,
                       int type, int bufferCount, SoundHandle handle);
// One second of the format in whole blocks, rounded up.
uint32_t GetOneSecondBytes(const V_WAVEFORMATEX& format);

// Stream sounds.
int AddSreamSound(const StreamHolder* stream, uint8_t loopCount, SoundHandle handle, int mode,
                  int32_t* closeStream, SoundHandle shareWith);
int AddStreamSoundFile(const char* path, uint8_t loopCount, SoundHandle handle, int mode,
                       SoundHandle shareWith);
int AddStreamSoundMemory(const void* image, int32_t size, uint8_t loopCount, SoundHandle handle,
                         int mode, SoundHandle shareWith);
int StartStreamSound(SoundHandle handle);
// Clears a stream's progress: its next start fills the buffer again from the first source.
void ResetStreamProgress(SoundRecord* record);
int PlayStreamSound(SoundHandle handle, int playType, int topFlag);
int StopStreamSound(SoundHandle handle);
int CheckStreamSoundPlaying(SoundHandle handle);
int GetStreamSoundPositionMs(SoundHandle handle);
int RefillStreamSound(SoundHandle handle);
int GetStreamSoundBuffer(SoundHandle handle, SoundRecord* record, SoundBuffer** buffer,
                         int8_t takeOver);
int UpdateStreamPlayPosition(SoundHandle handle, int64_t cursor);

// The refill thread.
V_DWORD SoundStreamThread(void* parameter);

