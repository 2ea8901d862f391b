// Stream sounds: taking the (possibly shared) buffer, starting, playing, stopping, and the
// play position kept from the buffer's cursor.
#include "core/core_services.h"
#include "sound/sound_internal.h"

namespace {

// Leaves the lock and hands back a result.
int Leave(int result) {
    LeaveSoundLock();
    return result;
}

}  // namespace

void ResetStreamProgress(SoundRecord* record) {
    record->finished = 0;
    record->bytesTaken = 0;
    record->playPosition = 0;
    record->markPending = 0;
    record->loopsDone = 0;
    record->currentSource = 0;
    record->active = 0;
}

int GetStreamSoundBuffer(SoundHandle handle, SoundRecord* record, SoundBuffer** buffer,
                         int8_t takeOver) {
    if (!record->streamFlag) {
        *buffer = &record->buffers[0];
        return 0;
    }
    SoundRecord* holder = record;
    if (record->owner != -1) {
        holder = GetSoundRecord(record->owner);
        if (holder == nullptr) return -1;
    }
    *buffer = &holder->buffers[0];
    if (holder->currentUser == -1 || holder->currentUser == handle) {
        holder->currentUser = handle;
        return 0;
    }
    if (!takeOver) return -1;
    StopStreamSound(holder->currentUser);
    holder->currentUser = handle;
    return 0;
}

int StartStreamSound(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    SoundBuffer* buffer = nullptr;
    if (record->streamFlag && CheckStreamSoundPlaying(handle) != 1 &&
        GetStreamSoundBuffer(handle, record, &buffer, 0) == 0 && !record->active) {
        SetSoundBufferPosition(buffer, 0);
        record->writePosition = kFirstFillMarker;
        record->safeMark = -1;
        record->lastCursor = 0;
        record->endWritten = 0;
        if (record->currentSource < record->sourceCount && record->format.nBlockAlign != 0)
            SeekSoundDecoder(&record->sources[record->currentSource].decoder,
                             record->bytesTaken / record->format.nBlockAlign);
        record->active = 1;
        RefillStreamSound(handle);
    }
    return Leave(0);
}

int PlayStreamSound(SoundHandle handle, int playType, int topFlag) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    SoundBuffer* buffer = nullptr;
    if (GetStreamSoundBuffer(handle, record, &buffer, 1) != 0) return Leave(-1);
    if (topFlag == 0 && CheckStreamSoundPlaying(handle) == 1) return Leave(0);
    StopStreamSound(handle);
    if (((record->playType ^ playType) & 2) && record->finished) ResetStreamProgress(record);
    if (topFlag == 1) {
        record->finished = 0;
        if (record->playPosition != 0) ResetStreamProgress(record);
    }
    record->playType = playType;
    StartStreamSound(handle);
    if (record->owner == -1) {
        SoundBuffer* own = &record->buffers[0];
        SetSoundBufferVolume(own, record->nextVolumeFlag ? record->nextVolume : record->volume);
        SetSoundBufferPan(own, record->nextPanFlag ? record->nextPan : record->pan);
        SetSoundBufferFrequency(own, record->nextFrequencyFlag
                                         ? static_cast<V_DWORD>(record->nextFrequency)
                                         : record->frequency);
        record->nextVolumeFlag = record->nextPanFlag = record->nextFrequencyFlag = 0;
    }
    PlaySoundBufferObject(buffer, 1);
    LeaveSoundLock();
    if (playType == kPlayTypeWait) {
        while (CheckSoundPlaying(handle) == 1) {
            if (ProcessMessage() != 0) break;
            V_Sleep(1);
        }
    }
    return 0;
}

int StopStreamSound(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    UpdateStreamPlayPosition(handle, -1);
    SoundBuffer* buffer = nullptr;
    if (GetStreamSoundBuffer(handle, record, &buffer, 0) != 0) return Leave(0);
    if (record->owner != -1) {
        SoundRecord* owner = GetSoundRecord(record->owner);
        if (owner != nullptr) owner->currentUser = -1;
    }
    V_DWORD status = 0;
    if (GetSoundBufferStatus(buffer, &status) != 0) return Leave(-1);
    if (status & V_DSBSTATUS_PLAYING) StopSoundBufferObject(buffer);
    return Leave(0);
}

int CheckStreamSoundPlaying(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    SoundBuffer* buffer = nullptr;
    if (GetStreamSoundBuffer(handle, record, &buffer, 0) != 0) return Leave(0);
    V_DWORD status = 0;
    if (GetSoundBufferStatus(buffer, &status) != 0) return Leave(0);
    return Leave((status & V_DSBSTATUS_PLAYING) ? 1 : 0);
}

int GetStreamSoundPositionMs(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    UpdateStreamPlayPosition(handle, -1);
    int ms = 0;
    if (record->format.nBlockAlign != 0)
        ms = ConvertSamplesToMs(static_cast<int32_t>(record->playPosition /
                                                     record->format.nBlockAlign),
                                static_cast<int32_t>(record->format.nSamplesPerSec));
    int length = GetSoundLengthMs(handle);
    if (ms > length) ms = length;
    return Leave(ms);
}

int UpdateStreamPlayPosition(SoundHandle handle, int64_t cursor) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (!record->streamFlag) return 0;
    EnterSoundLock();
    SoundBuffer* buffer = nullptr;
    if (GetStreamSoundBuffer(handle, record, &buffer, 0) != 0 || !record->active) return Leave(0);
    if (cursor == -1) cursor = GetSoundBufferPlayCursor(buffer);
    if (cursor < 0) return Leave(0);
    uint32_t p = static_cast<uint32_t>(cursor);
    uint32_t last = record->lastCursor;
    if (p == last) return Leave(0);
    const uint32_t ring = record->bufferBytes;
    uint32_t moved = p > last ? p - last : ring - last + p;
    if (record->markPending) {
        // A loop point is heard once the cursor reaches it: one at the very offset the cursor
        // lands on counts, and so does one written where the cursor stood (the data ran dry).
        uint32_t mark = record->markOffset;
        uint32_t toMark = mark >= last ? mark - last : ring - last + mark;
        if (toMark <= moved) {
            uint32_t past = moved - toMark;
            uint32_t heard = 1;
            // Further loop points of a short loop passed in the same move.
            if (record->markInterval > 0) {
                uint32_t more = past / record->markInterval;
                if (more > record->markPending - 1u) more = record->markPending - 1u;
                heard += more;
                past -= more * record->markInterval;
            }
            record->markPending -= heard;
            record->markOffset = static_cast<uint32_t>(
                (mark + static_cast<uint64_t>(heard) * record->markInterval) % ring);
            record->playPosition = record->markBase + past;
            record->lastCursor = p;
            return Leave(0);
        }
    }
    record->playPosition += moved;
    record->lastCursor = p;
    return Leave(0);
}
