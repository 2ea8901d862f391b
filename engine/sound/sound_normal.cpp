// Normal sounds: loading a file into decoded PCM held in one to ten buffers that share it,
// and playing, stopping and asking about them. Long sounds become stream sounds.
#include "core/core_services.h"
#include "sound/sound_internal.h"

namespace {

// Longest sound, in whole seconds, that is held decoded in buffers.
constexpr uint32_t kMaxNormalSeconds = 180;

SoundBuffer* CurrentBuffer(SoundRecord* record) {
    if (record->bufferCount <= 0 || record->currentBuffer >= kMaxSoundBuffers) return nullptr;
    return &record->buffers[record->currentBuffer];
}

// Fills every buffer of a normal sound with its PCM; -1 after logging on failure.
int TransferPcmToBuffers(SoundRecord* record) {
    for (int i = 0; i < record->bufferCount; ++i) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        V_DWORD length1 = 0, length2 = 0;
        if (LockSoundBufferObject(&record->buffers[i], 0, record->pcmSize, &part1, &length1,
                                  &part2, &length2) != 0) {
            WriteLog("サウンドデータの転送に失敗しました_1");
            return -1;
        }
        CopyBytes(part1, record->pcmData, length1);
        if (part2) CopyBytes(part2, record->pcmData + length1, length2);
        if (UnlockSoundBufferObject(&record->buffers[i], part1, length1, part2, length2) != 0) {
            WriteLog("サウンドデータの転送に失敗しました_2");
            return -1;
        }
    }
    return 0;
}

}  // namespace

SoundHandle LoadSoundFile(const char* path, int bufferCount, SoundHandle shareWith) {
    if (g_SoundSystem.directSound == nullptr) return -1;
    EnterSoundLock();
    int createType = g_SoundSystem.createType;
    if (createType == kSoundCreateStreamMemory || createType == kSoundCreateStreamFile) {
        SoundHandle handle = AddSoundData(-1);
        if (handle == -1) {
            LeaveSoundLock();
            return -1;
        }
        if (AddStreamSoundFile(path, 0, handle, createType, shareWith) == 0) {
            StartStreamSound(handle);
            LeaveSoundLock();
            return handle;
        }
        DeleteSoundHandle(handle, 0);
        LeaveSoundLock();
        return -1;
    }
    uint8_t* image = nullptr;
    int32_t size = 0;
    if (LoadFileToMemory(path, &image, &size) != 0) {
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
        if (image) FreeMemory(image);
        LeaveSoundLock();
        return -1;
    }
    SoundHandle handle = CreateSoundFromMemoryImage(
        image, size, bufferCount > kMaxSoundBuffers ? kMaxSoundBuffers : bufferCount, -1);
    FreeMemory(image);
    if (handle == -1) WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
    LeaveSoundLock();
    return handle;
}

SoundHandle LoadSoundFileForward(const char* path, int bufferCount, SoundHandle shareWith) {
    return LoadSoundFile(path, bufferCount, shareWith);
}

SoundHandle CreateSoundFromMemoryImage(const void* image, int size, int bufferCount,
                                       SoundHandle shareWith) {
    SoundSystemState& s = g_SoundSystem;
    if (s.directSound == nullptr || bufferCount > kMaxSoundBuffers || size < 0) return -1;
    EnterSoundLock();
    SoundHandle handle = AddSoundData(-1);
    if (handle == -1) {
        LeaveSoundLock();
        return -1;
    }
    int savedCreateType = s.createType;
    int createType = s.createType;
    StreamHolder memory{};
    SoundDecoder decoder{};
    uint8_t* pcm = nullptr;
    int32_t pcmSize = 0;
    V_WAVEFORMATEX format{};
    bool normal = false;

    auto fail = [&]() {
        DeleteSoundHandle(handle, 0);
        if (decoder.openFlag) CloseSoundDecoder(&decoder);
        if (memory.handle) CloseMemoryStream(memory.handle);
        s.createType = savedCreateType;
        LeaveSoundLock();
        return -1;
    };

    if (createType == kSoundCreateNormal) {
        memory.functions = *GetMemoryStreamFunctions();
        memory.handle = OpenMemoryStream(image, static_cast<uint32_t>(size));
        if (memory.handle == 0 || OpenSoundDecoder(&memory, &decoder) != 0) {
            WriteLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
            return fail();
        }
        if (DecodeWholeSound(&decoder, &format, &pcm, &pcmSize) != 0) {
            WriteLogFormat("音声ファイルを格納するメモリ領域の確保に失敗しました");
            if (pcm) FreeMemory(pcm);
            return fail();
        }
        CloseSoundDecoder(&decoder);
        CloseMemoryStream(memory.handle);
        memory.handle = 0;
        uint32_t seconds = static_cast<uint32_t>(pcmSize) / format.nAvgBytesPerSec;
        if (seconds <= kMaxNormalSeconds &&
            CreateSoundBuffers(-1, &format, static_cast<uint32_t>(pcmSize), 0, bufferCount,
                               handle) == 0) {
            normal = true;
        } else {
            FreeMemory(pcm);
            pcm = nullptr;
            s.createType = createType = kSoundCreateStreamMemory;
        }
    }
    if (!normal) {
        if (AddStreamSoundMemory(image, size, 0, handle, createType, shareWith) != 0)
            return fail();
        StartStreamSound(handle);
        s.createType = savedCreateType;
        LeaveSoundLock();
        return handle;
    }

    SoundRecord* record = GetSoundRecord(handle);
    record->frequency = format.nSamplesPerSec;
    auto* references = static_cast<int32_t*>(AllocateMemory(sizeof(int32_t), "", 0));
    if (references == nullptr) {
        WriteLogFormat("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
        FreeMemory(pcm);
        return fail();
    }
    record->format = format;
    record->pcmSize = static_cast<uint32_t>(pcmSize);
    record->pcmData = pcm;
    record->pcmReferences = references;
    *references = 1;
    if (TransferPcmToBuffers(record) != 0) return fail();
    LeaveSoundLock();
    return handle;
}

int PlaySoundHandle(SoundHandle handle, int playType, int topFlag) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (record->streamFlag) return PlayStreamSound(handle, playType, topFlag);
    // A normal sound made without buffers has nothing to play.
    if (record->bufferCount <= 0) return -1;

    int64_t previous = 0;
    SoundBuffer* current = CurrentBuffer(record);
    if (current && current->valid) previous = GetSoundBufferPlayCursor(current);
    if (previous < 0) previous = 0;
    if (++record->currentBuffer >= record->bufferCount) record->currentBuffer = 0;
    SoundBuffer* buffer = &record->buffers[record->currentBuffer];

    V_DWORD status = 0;
    if (GetSoundBufferStatus(buffer, &status) != 0) return -1;
    if (status & V_DSBSTATUS_PLAYING) {
        if (topFlag == 0) return 0;
        StopSoundBufferObject(buffer);
    }
    SetSoundBufferPosition(buffer, topFlag == 1 ? 0 : static_cast<V_DWORD>(previous));
    SetSoundBufferVolume(buffer, record->nextVolumeFlag ? record->nextVolume : record->volume);
    SetSoundBufferPan(buffer, record->nextPanFlag ? record->nextPan : record->pan);
    SetSoundBufferFrequency(buffer, record->nextFrequencyFlag
                                        ? static_cast<V_DWORD>(record->nextFrequency)
                                        : record->frequency);
    record->nextVolumeFlag = record->nextPanFlag = record->nextFrequencyFlag = 0;
    if (PlaySoundBufferObject(buffer, playType == kPlayTypeLoop) != 0) return -1;

    if (playType == kPlayTypeWait && ProcessMessage() == 0) {
        while (CheckSoundPlaying(handle) == 1) {
            V_Sleep(1);
            if (ProcessMessage() != 0) break;
        }
    }
    return 0;
}

int StopSoundHandle(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (record->streamFlag) return StopStreamSound(handle);
    for (int i = 0; i < record->bufferCount && i < kMaxSoundBuffers; ++i) {
        V_DWORD status = 0;
        if (GetSoundBufferStatus(&record->buffers[i], &status) != 0) return -1;
        if (status & V_DSBSTATUS_PLAYING) StopSoundBufferObject(&record->buffers[i]);
    }
    return 0;
}

int CheckSoundPlaying(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (record->streamFlag) return CheckStreamSoundPlaying(handle);
    for (int i = 0; i < record->bufferCount && i < kMaxSoundBuffers; ++i) {
        V_DWORD status = 0;
        if (GetSoundBufferStatus(&record->buffers[i], &status) == 0 &&
            (status & V_DSBSTATUS_PLAYING))
            return 1;
    }
    return 0;
}

int GetSoundPositionMs(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (record->streamFlag) return GetStreamSoundPositionMs(handle);
    SoundBuffer* buffer = CurrentBuffer(record);
    if (buffer == nullptr || !buffer->valid || record->format.nBlockAlign == 0) return -1;
    int64_t cursor = GetSoundBufferPlayCursor(buffer);
    if (cursor < 0) return -1;
    return ConvertSamplesToMs(static_cast<int32_t>(cursor / record->format.nBlockAlign),
                              static_cast<int32_t>(record->format.nSamplesPerSec));
}
