// The sound buffer wrapper: thin calls of a device buffer that refuse an empty wrapper, and
// the creation of one sound's buffers.
#include "core/core_services.h"
#include "sound/sound_internal.h"

namespace {

constexpr V_DWORD kStreamBufferFlags = 0x180E2;
constexpr V_DWORD kNormalBufferFlags = 0x80E2;
constexpr V_DWORD kNormalBufferFallbackFlags = 0xC2;

V_DSBUFFERDESC MakeDescription(V_DWORD flags, uint32_t bytes, const V_WAVEFORMATEX* format) {
    V_DSBUFFERDESC description{};
    description.dwSize = sizeof(description);
    description.dwFlags = flags;
    description.dwBufferBytes = bytes;
    description.lpwfxFormat = const_cast<V_WAVEFORMATEX*>(format);
    return description;
}

}  // namespace

int CreateSoundBufferObject(SoundBuffer* wrapper, const V_DSBUFFERDESC* description) {
    if (wrapper->valid) return -1;
    V_IDirectSoundBuffer* buffer = nullptr;
    if (V_FAILED(g_SoundSystem.directSound->CreateSoundBuffer(description, &buffer, nullptr)))
        return -1;
    wrapper->buffer = buffer;
    wrapper->valid = 1;
    return 0;
}

int DuplicateSoundBufferObject(SoundBuffer* wrapper, const SoundBuffer* source) {
    if (wrapper->valid || !source->valid) return -1;
    V_IDirectSoundBuffer* buffer = nullptr;
    if (V_FAILED(g_SoundSystem.directSound->DuplicateSoundBuffer(source->buffer, &buffer)))
        return -1;
    wrapper->buffer = buffer;
    wrapper->valid = 1;
    return 0;
}

int ReleaseSoundBufferObject(SoundBuffer* wrapper) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->Release();
    wrapper->buffer = nullptr;
    wrapper->valid = 0;
    return 0;
}

int PlaySoundBufferObject(SoundBuffer* wrapper, int loop) {
    if (!wrapper->valid) return -1;
    return wrapper->buffer->Play(0, 0, loop ? V_DSBPLAY_LOOPING : 0);
}

int StopSoundBufferObject(SoundBuffer* wrapper) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->Stop();
    return 0;
}

int GetSoundBufferStatus(SoundBuffer* wrapper, V_DWORD* status) {
    if (!wrapper->valid) return -1;
    return V_FAILED(wrapper->buffer->GetStatus(status)) ? -1 : 0;
}

int LockSoundBufferObject(SoundBuffer* wrapper, V_DWORD offset, V_DWORD bytes, void** part1,
                          V_DWORD* length1, void** part2, V_DWORD* length2) {
    if (!wrapper->valid) return -1;
    return V_FAILED(wrapper->buffer->Lock(offset, bytes, part1, length1, part2, length2, 0)) ? -1
                                                                                          : 0;
}

int UnlockSoundBufferObject(SoundBuffer* wrapper, void* part1, V_DWORD length1, void* part2,
                            V_DWORD length2) {
    if (!wrapper->valid) return -1;
    return V_FAILED(wrapper->buffer->Unlock(part1, length1, part2, length2)) ? -1 : 0;
}

int SetSoundBufferFrequency(SoundBuffer* wrapper, V_DWORD frequency) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->SetFrequency(frequency);
    return 0;
}

int SetSoundBufferPan(SoundBuffer* wrapper, V_LONG pan) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->SetPan(pan);
    return 0;
}

int SetSoundBufferVolume(SoundBuffer* wrapper, V_LONG volume) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->SetVolume(volume);
    return 0;
}

int SetSoundBufferPosition(SoundBuffer* wrapper, V_DWORD offset) {
    if (!wrapper->valid) return -1;
    wrapper->buffer->SetCurrentPosition(offset);
    return 0;
}

int64_t GetSoundBufferPlayCursor(SoundBuffer* wrapper) {
    if (!wrapper->valid) return -1;
    V_DWORD play = 0;
    if (V_FAILED(wrapper->buffer->GetCurrentPosition(&play, nullptr))) return -1;
    return play;
}

uint32_t GetOneSecondBytes(const V_WAVEFORMATEX& format) {
    uint32_t block = format.nBlockAlign ? format.nBlockAlign : 1;
    return (format.nAvgBytesPerSec + block - 1) / block * block;
}

int CreateSoundBuffers(SoundHandle duplicateFrom, const V_WAVEFORMATEX* format, uint32_t bytes,
                       int type, int bufferCount, SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    SoundRecord* source = nullptr;
    if (duplicateFrom != -1) {
        source = GetSoundRecord(duplicateFrom);
        if (source == nullptr || type != 0) return -1;
        format = &source->format;
        bytes = source->pcmSize;
    }
    if (type == 1) {
        V_DSBUFFERDESC description =
            MakeDescription(kStreamBufferFlags, GetOneSecondBytes(*format), format);
        if (CreateSoundBufferObject(&record->buffers[0], &description) != 0)
            FatalExit("ストリーム風サウンドバッファの作成に失敗しました");
        record->bufferCount = 1;
    } else {
        int made = 0;
        if (bufferCount > kMaxSoundBuffers) bufferCount = kMaxSoundBuffers;
        for (int i = 0; i < bufferCount; ++i) {
            bool create = (i == 0 && source == nullptr);
            if (!create) {
                const SoundBuffer* from = source ? &source->buffers[0] : &record->buffers[0];
                if (DuplicateSoundBufferObject(&record->buffers[i], from) != 0) {
                    if (source != nullptr && i == 0) {
                        create = true;
                    } else {
                        break;
                    }
                }
            }
            if (create) {
                V_DSBUFFERDESC description = MakeDescription(kNormalBufferFlags, bytes, format);
                if (CreateSoundBufferObject(&record->buffers[i], &description) != 0) {
                    description.dwFlags = kNormalBufferFallbackFlags;
                    if (CreateSoundBufferObject(&record->buffers[i], &description) != 0) {
                        for (int j = i - 1; j >= 0; --j)
                            if (record->buffers[j].valid)
                                ReleaseSoundBufferObject(&record->buffers[j]);
                        WriteLog("DirectSoundBuffer の作成に失敗しました\n");
                        return -1;
                    }
                }
            }
            made = i + 1;
        }
        record->bufferCount = bufferCount <= 0 ? bufferCount : made;
    }
    record->streamFlag = type;
    if (type == 1) AddListNode(&g_SoundSystem.streamHead, &record->node, handle, record);
    return 0;
}
