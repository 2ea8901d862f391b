// Sound buffers: rings of bytes that the mixer plays, with cursors, controls and locking.
#include <algorithm>
#include <mutex>

#include "platform/dsound/dsound_mixer.h"

namespace {

// Bytes the write cursor runs ahead of the play cursor while playing: 10 ms in whole blocks.
V_DWORD WriteLead(const DSoundBufferState* state) {
    V_DWORD blocks = state->format.nSamplesPerSec / 100;
    return std::max<V_DWORD>(blocks, 1) * state->format.nBlockAlign;
}

}  // namespace

V_ULONG V_IDirectSoundBuffer::AddRef() {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    return ++state_->references;
}

V_ULONG V_IDirectSoundBuffer::Release() {
    DSoundMixer& mixer = GetDSoundMixer();
    DSoundBufferState* state = state_;
    {
        std::lock_guard<std::mutex> guard(mixer.mutex);
        if (--state->references > 0) return state->references;
        auto it = std::find(mixer.buffers.begin(), mixer.buffers.end(), state);
        if (it != mixer.buffers.end()) mixer.buffers.erase(it);
        if (state->storage && --state->storage->references == 0) delete state->storage;
    }
    delete state;
    delete this;
    return 0;
}

V_HRESULT V_IDirectSoundBuffer::GetCaps(V_DSBCAPS* caps) {
    if (caps == nullptr || caps->dwSize < sizeof(V_DSBCAPS)) return V_DSERR_INVALIDPARAM;
    caps->dwFlags = state_->flags | V_DSBCAPS_LOCSOFTWARE;
    caps->dwBufferBytes = state_->size;
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetCurrentPosition(V_DWORD* playCursor, V_DWORD* writeCursor) {
    if (state_->primary) {
        if (playCursor) *playCursor = 0;
        if (writeCursor) *writeCursor = 0;
        return V_S_OK;
    }
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    V_DWORD play = static_cast<V_DWORD>(state_->position >> 32) * state_->format.nBlockAlign;
    if (play >= state_->size) play = 0;
    if (playCursor) *playCursor = play;
    if (writeCursor) {
        V_DWORD write = play;
        if (state_->playing) write = (play + WriteLead(state_)) % state_->size;
        *writeCursor = write;
    }
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetFormat(V_WAVEFORMATEX* format, V_DWORD size, V_DWORD* written) {
    if (format == nullptr || size < sizeof(V_WAVEFORMATEX)) {
        if (written) *written = sizeof(V_WAVEFORMATEX);
        return format == nullptr ? V_S_OK : V_DSERR_INVALIDPARAM;
    }
    *format = state_->format;
    if (written) *written = sizeof(V_WAVEFORMATEX);
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetVolume(V_LONG* volume) {
    if (!(state_->flags & V_DSBCAPS_CTRLVOLUME)) return V_DSERR_CONTROLUNAVAIL;
    if (volume == nullptr) return V_DSERR_INVALIDPARAM;
    *volume = state_->volume;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetPan(V_LONG* pan) {
    if (!(state_->flags & V_DSBCAPS_CTRLPAN)) return V_DSERR_CONTROLUNAVAIL;
    if (pan == nullptr) return V_DSERR_INVALIDPARAM;
    *pan = state_->pan;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetFrequency(V_DWORD* frequency) {
    if (!(state_->flags & V_DSBCAPS_CTRLFREQUENCY)) return V_DSERR_CONTROLUNAVAIL;
    if (frequency == nullptr) return V_DSERR_INVALIDPARAM;
    *frequency = state_->frequency ? state_->frequency : state_->format.nSamplesPerSec;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::GetStatus(V_DWORD* status) {
    if (status == nullptr) return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    V_DWORD value = 0;
    if (state_->playing) value |= V_DSBSTATUS_PLAYING | (state_->looping ? V_DSBSTATUS_LOOPING : 0);
    *status = value;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::Lock(V_DWORD offset, V_DWORD bytes, void** part1,
                                     V_DWORD* length1, void** part2, V_DWORD* length2,
                                     V_DWORD flags) {
    if (state_->primary || part1 == nullptr || length1 == nullptr) return V_DSERR_INVALIDPARAM;
    const V_DWORD kFromWriteCursor = 0x1, kEntireBuffer = 0x2;
    if (flags & kEntireBuffer) bytes = state_->size;
    if (flags & kFromWriteCursor) GetCurrentPosition(nullptr, &offset);
    if (bytes == 0 || bytes > state_->size || offset >= state_->size) return V_DSERR_INVALIDPARAM;
    uint8_t* data = state_->storage->bytes.data();
    V_DWORD first = std::min(bytes, state_->size - offset);
    *part1 = data + offset;
    *length1 = first;
    if (bytes > first && (part2 == nullptr || length2 == nullptr)) return V_DSERR_INVALIDPARAM;
    if (part2) *part2 = bytes > first ? data : nullptr;
    if (length2) *length2 = bytes - first;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::Unlock(void* part1, V_DWORD length1, void* part2,
                                       V_DWORD length2) {
    if (state_->primary) return V_DSERR_INVALIDCALL;
    const uint8_t* begin = state_->storage->bytes.data();
    const uint8_t* end = begin + state_->size;
    auto inside = [&](void* part, V_DWORD length) {
        if (part == nullptr) return length == 0;
        const uint8_t* p = static_cast<const uint8_t*>(part);
        return p >= begin && p + length <= end;
    };
    if (!inside(part1, length1) || !inside(part2, length2)) return V_DSERR_INVALIDPARAM;
    // Taking the mutex orders the caller's writes before the mixer's next read.
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::Play(V_DWORD, V_DWORD, V_DWORD flags) {
    if (state_->primary) return V_S_OK;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->playing = 1;
    state_->looping = (flags & V_DSBPLAY_LOOPING) != 0;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::Stop() {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->playing = 0;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::SetCurrentPosition(V_DWORD position) {
    if (state_->primary) return V_DSERR_INVALIDCALL;
    if (position >= state_->size) return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->position = static_cast<uint64_t>(position / state_->format.nBlockAlign) << 32;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::SetFormat(const V_WAVEFORMATEX* format) {
    if (!state_->primary) return V_DSERR_INVALIDCALL;
    if (format == nullptr || format->wFormatTag != V_WAVE_FORMAT_PCM || format->nChannels == 0 ||
        format->nChannels > 8 || format->nSamplesPerSec < V_DSBFREQUENCY_MIN ||
        format->nSamplesPerSec > V_DSBFREQUENCY_MAX)
        return V_DSERR_BADFORMAT;
    state_->format = *format;
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::SetVolume(V_LONG volume) {
    if (!(state_->flags & V_DSBCAPS_CTRLVOLUME)) return V_DSERR_CONTROLUNAVAIL;
    if (volume < V_DSBVOLUME_MIN || volume > V_DSBVOLUME_MAX) return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->volume = volume;
    UpdateDSoundGains(state_);
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::SetPan(V_LONG pan) {
    if (!(state_->flags & V_DSBCAPS_CTRLPAN)) return V_DSERR_CONTROLUNAVAIL;
    if (pan < V_DSBPAN_LEFT || pan > V_DSBPAN_RIGHT) return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->pan = pan;
    UpdateDSoundGains(state_);
    return V_S_OK;
}

V_HRESULT V_IDirectSoundBuffer::SetFrequency(V_DWORD frequency) {
    if (!(state_->flags & V_DSBCAPS_CTRLFREQUENCY)) return V_DSERR_CONTROLUNAVAIL;
    if (frequency != V_DSBFREQUENCY_ORIGINAL &&
        (frequency < V_DSBFREQUENCY_MIN || frequency > V_DSBFREQUENCY_MAX))
        return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    state_->frequency = frequency;
    return V_S_OK;
}
