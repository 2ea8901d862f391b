// The MIDI handle table and the music clean-up. Nothing in this system creates a MIDI handle
// or opens the music device, so these operations find nothing to do; they keep the table's
// rules so that callers get the answers they expect.
#include "core/core_services.h"
#include "sound/sound_internal.h"
#include "sound/sound_services.h"

namespace {

constexpr int kMidiSlots = 256;
constexpr int32_t kMidiHandleKind = 0x58000000;

struct MidiRecord {
    uint32_t checkNumber;
    int32_t playing;
    int32_t started;
    void* data;
    uint32_t dataSize;
    void* musicSegment;
};

struct MidiState {
    MidiRecord* slots[kMidiSlots];
    int32_t count;
    int32_t areaEnd;
    int32_t checkCounter;
    uint32_t deviceId;  // the music device, never opened here
    int32_t playing;
    int32_t loop;
    int32_t tempFileFlag;
    char tempFileName[V_MAX_PATH];
    SoundHandle musicHandle;  // 0 = none
    int32_t musicIsSound;
};

MidiState g_Midi;

MidiRecord* GetMidiRecord(int handle) {
    if (g_SoundSystem.directSound == nullptr) return nullptr;
    if (handle < 0 || (handle & kHandleKindMask) != kMidiHandleKind) return nullptr;
    int slot = handle & 0xFFFF;
    if (slot >= kMidiSlots) return nullptr;
    MidiRecord* record = g_Midi.slots[slot];
    if (record == nullptr) return nullptr;
    if (record->checkNumber != ((static_cast<uint32_t>(handle) >> 16) & 0x7FF)) return nullptr;
    return record;
}

}  // namespace

int GetMidiPlayState(int handle) {
    if (GetMidiRecord(handle) == nullptr) return -1;
    return g_Midi.playing;
}

int StopMidiHandle(int handle) {
    MidiRecord* record = GetMidiRecord(handle);
    if (record == nullptr) return -1;
    g_Midi.loop = 0;
    HandleMidiNotify();
    for (int i = 0; i < 5; ++i) ProcessMessage();
    if (g_Midi.tempFileFlag == 1) {
        V_DeleteFileA(g_Midi.tempFileName);
        g_Midi.tempFileFlag = 0;
    }
    record->playing = 0;
    record->started = 0;
    return 0;
}

// The music device is never opened in this system: with no loop and nothing playing there is
// nothing to restart or close, and the flags keep their meaning.
int HandleMidiNotify() {
    if (g_Midi.loop == 1) {
        g_Midi.playing = 1;
    } else if (g_Midi.playing == 1) {
        g_Midi.playing = 0;
    }
    return 0;
}

int DeleteMidiHandle(int handle) {
    MidiRecord* record = GetMidiRecord(handle);
    if (record == nullptr) return -1;
    if (GetMidiPlayState(handle) == 1) StopMidiHandle(handle);
    if (record->data) FreeMemory(record->data);
    int slot = handle & 0xFFFF;
    FreeMemory(record);
    g_Midi.slots[slot] = nullptr;
    --g_Midi.count;
    if (slot == g_Midi.areaEnd - 1) {
        int top = slot;
        while (top > 0 && g_Midi.slots[top - 1] == nullptr) --top;
        g_Midi.areaEnd = g_Midi.count == 0 ? 0 : top;
    }
    return 0;
}

int DeleteAllMidiHandles() {
    if (g_SoundSystem.directSound == nullptr) return -1;
    for (int slot = 0; slot < kMidiSlots; ++slot) {
        MidiRecord* record = g_Midi.slots[slot];
        if (record != nullptr)
            DeleteMidiHandle(static_cast<int>(((record->checkNumber | 0x5800u) << 16) |
                                              static_cast<uint32_t>(slot)));
    }
    return 0;
}

int UpdateMidiPlayStates() {
    if (g_SoundSystem.directSound == nullptr) return -1;
    return 0;
}

int StopAndDeleteMusic() {
    if (g_Midi.musicHandle == 0) return 0;
    if (g_Midi.musicIsSound == 1) {
        StopSoundHandle(g_Midi.musicHandle);
        DeleteSoundHandle(g_Midi.musicHandle, 0);
    } else {
        DeleteMidiHandle(g_Midi.musicHandle);
    }
    g_Midi.musicHandle = 0;
    return 0;
}
