// The sound table: handles, records, creation and deletion, the create type, lengths.
#include "core/core_services.h"
#include "sound/sound_internal.h"

SoundTable g_SoundTable;

namespace {

SoundHandle MakeHandle(uint32_t check, int slot) {
    return static_cast<SoundHandle>(((check | 0x1000u) << 16) | static_cast<uint32_t>(slot));
}

void CloseSourceStreams(SoundRecord* record) {
    for (int i = 0; i < record->sourceCount; ++i) {
        StreamSoundSource& source = record->sources[i];
        CloseSoundDecoder(&source.decoder);
        if (source.image) {
            FreeMemory(source.image);
            source.image = nullptr;
        }
        if (record->sourceStreamFlags[i] == 1 && source.mode == 3 &&
            source.decoder.stream.functions.close != nullptr)
            source.decoder.stream.functions.close(source.decoder.stream.handle);
        if (source.ownStream.handle != 0 && source.ownStream.functions.close != nullptr) {
            source.ownStream.functions.close(source.ownStream.handle);
            source.ownStream.handle = 0;
        }
    }
}

}  // namespace

SoundRecord* GetSoundRecord(SoundHandle handle) {
    if (g_SoundSystem.directSound == nullptr) return nullptr;
    if (handle < 0 || (handle & kHandleKindMask) != kSoundHandleKind) return nullptr;
    int slot = handle & 0xFFFF;
    if (slot >= kSoundSlots) return nullptr;
    SoundRecord* record = g_SoundTable.slots[slot];
    if (record == nullptr) return nullptr;
    if (record->checkNumber != ((static_cast<uint32_t>(handle) >> 16) & 0x7FF)) return nullptr;
    return record;
}

SoundHandle AddSoundData(SoundHandle hint) {
    SoundTable& t = g_SoundTable;
    EnterSoundLock();
    int slot = -1;
    // A hint whose slot lies outside the table counts as no hint.
    if (hint != -1 && (hint & 0xFFFF) < kSoundSlots && t.slots[hint & 0xFFFF] == nullptr)
        slot = hint & 0xFFFF;
    else
        hint = -1;
    if (slot < 0) {
        if (t.count >= kSoundSlots) {
            WriteLog("サウンドの数が許容量を越えました\n");
            LeaveSoundLock();
            return -1;
        }
        slot = t.areaEnd;
        if (slot >= kSoundSlots) {
            slot = 0;
            while (t.slots[slot] != nullptr) ++slot;
        }
    }
    auto* record = static_cast<SoundRecord*>(AllocateMemory(sizeof(SoundRecord), "", 0));
    if (record == nullptr) {
        WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
        LeaveSoundLock();
        return -1;
    }
    FillBytes(record, 0, sizeof(SoundRecord));
    uint32_t check;
    if (hint == -1) {
        check = static_cast<uint32_t>(t.checkCounter);
        if (++t.checkCounter > 2047) t.checkCounter = 0;
    } else {
        check = (static_cast<uint32_t>(hint) & 0x7FF0000u) >> 16;
    }
    record->checkNumber = check;
    t.slots[slot] = record;
    ++t.count;
    if (t.areaEnd < slot + 1) t.areaEnd = slot + 1;
    if (t.areaEnd < t.count) t.areaEnd = t.count;
    LeaveSoundLock();
    return MakeHandle(check, slot);
}

int DeleteSoundHandle(SoundHandle handle, int) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    SoundTable& t = g_SoundTable;
    EnterSoundLock();
    if (record->streamFlag) StopStreamSound(handle);
    else if (record->buffers[0].valid) StopSoundHandle(handle);

    if (!record->streamFlag) {
        for (int i = 0; i < record->bufferCount && i < kMaxSoundBuffers; ++i)
            if (record->buffers[i].valid) ReleaseSoundBufferObject(&record->buffers[i]);
        if (record->pcmReferences != nullptr) {
            if (--*record->pcmReferences == 0) {
                if (record->pcmData) FreeMemory(record->pcmData);
                FreeMemory(record->pcmReferences);
            }
        }
        record->pcmData = nullptr;
        record->pcmReferences = nullptr;
    } else {
        SoundRecord* owner = record->owner != -1 ? GetSoundRecord(record->owner) : nullptr;
        if (owner != nullptr) {
            --owner->sharers;
            if (owner != record && owner->deletePending && owner->sharers <= 0)
                DeleteSoundHandle(record->owner, 0);
        }
        if (record->sharers > 0) {
            record->deletePending = 1;
            LeaveSoundLock();
            return 0;
        }
        if (record->node.next != nullptr || record->node.previous != nullptr)
            RemoveListNode(&record->node);
        CloseSourceStreams(record);
        if (record->buffers[0].valid) ReleaseSoundBufferObject(&record->buffers[0]);
    }

    int slot = handle & 0xFFFF;
    FreeMemory(record);
    t.slots[slot] = nullptr;
    --t.count;
    if (slot == t.areaEnd - 1) {
        if (t.count == 0) {
            t.areaEnd = 0;
        } else {
            int top = slot;
            while (top > 0 && t.slots[top - 1] == nullptr) --top;
            t.areaEnd = top;
        }
    }
    LeaveSoundLock();
    return 0;
}

int DeleteAllSounds(int) {
    if (g_SoundSystem.directSound == nullptr) return -1;
    for (int slot = 0; slot < kSoundSlots; ++slot) {
        SoundRecord* record = g_SoundTable.slots[slot];
        if (record != nullptr) DeleteSoundHandle(MakeHandle(record->checkNumber, slot), 0);
    }
    return 0;
}

int SetSoundCreateType(int type) {
    if (type > 3 || type < 0) return -1;
    g_SoundSystem.createType = type == 1 ? 0 : type;
    return 0;
}

int GetSoundCreateType() { return g_SoundSystem.createType; }

int GetSoundLengthSamples(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (record->streamFlag) return record->totalSamples;
    if (record->format.nBlockAlign == 0) return 0;
    return static_cast<int>(record->pcmSize / record->format.nBlockAlign);
}

int GetSoundLengthMs(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    return ConvertSamplesToMs(GetSoundLengthSamples(handle),
                              static_cast<int32_t>(record->format.nSamplesPerSec));
}
