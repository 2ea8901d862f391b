// The sound device object: start-up, capabilities, buffer creation and duplication, and
// the enumeration of output devices.
#include <SDL.h>

#include <mutex>

#include "platform/dsound/dsound_mixer.h"

namespace {

bool IsPlayableFormat(const V_WAVEFORMATEX* format) {
    if (format == nullptr || format->wFormatTag != V_WAVE_FORMAT_PCM) return false;
    if (format->nChannels < 1 || format->nChannels > 8) return false;
    V_WORD bits = format->wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->nBlockAlign != format->nChannels * bits / 8) return false;
    return format->nSamplesPerSec >= V_DSBFREQUENCY_MIN &&
           format->nSamplesPerSec <= V_DSBFREQUENCY_MAX;
}

V_IDirectSoundBuffer* NewBuffer(DSoundBufferState* state) {
    state->references = 1;
    state->gainLeft = state->gainRight = 65536;
    return new V_IDirectSoundBuffer(state);
}

}  // namespace

V_HRESULT V_CreateDirectSoundObject(const V_GUID* interfaceId, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (interfaceId == nullptr || !(*interfaceId == V_IID_IDirectSound)) return V_E_NOINTERFACE;
    *object = new V_IDirectSound();
    return V_S_OK;
}

V_ULONG V_IDirectSound::AddRef() { return ++references_; }

V_ULONG V_IDirectSound::Release() {
    if (--references_ > 0) return references_;
    if (initialized_) CloseDSoundOutput();
    delete this;
    return 0;
}

V_HRESULT V_IDirectSound::Initialize(const V_GUID*) {
    if (initialized_) return V_DSERR_ALREADYINITIALIZED;
    if (OpenDSoundOutput() != 0) return V_DSERR_NODRIVER;
    initialized_ = 1;
    return V_S_OK;
}

V_HRESULT V_IDirectSound::SetCooperativeLevel(V_HWND, V_DWORD level) {
    if (!initialized_) return V_DSERR_UNINITIALIZED;
    if (level < V_DSSCL_NORMAL || level > 3) return V_DSERR_INVALIDPARAM;
    cooperativeLevel_ = static_cast<int>(level);
    return V_S_OK;
}

V_HRESULT V_IDirectSound::GetCaps(V_DSCAPS* caps) {
    if (!initialized_) return V_DSERR_UNINITIALIZED;
    if (caps == nullptr || caps->dwSize < sizeof(V_DSCAPS)) return V_DSERR_INVALIDPARAM;
    V_DWORD size = caps->dwSize;
    *caps = V_DSCAPS{};
    caps->dwSize = size;
    caps->dwFlags = V_DSCAPS_PRIMARYMONO | V_DSCAPS_PRIMARYSTEREO | V_DSCAPS_PRIMARY8BIT |
                    V_DSCAPS_PRIMARY16BIT | V_DSCAPS_CONTINUOUSRATE | V_DSCAPS_EMULDRIVER |
                    V_DSCAPS_SECONDARYMONO | V_DSCAPS_SECONDARYSTEREO | V_DSCAPS_SECONDARY8BIT |
                    V_DSCAPS_SECONDARY16BIT;
    caps->dwMinSecondarySampleRate = V_DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = V_DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    return V_S_OK;
}

V_HRESULT V_IDirectSound::CreateSoundBuffer(const V_DSBUFFERDESC* description,
                                            V_IDirectSoundBuffer** buffer, void* outer) {
    if (buffer == nullptr) return V_DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (!initialized_) return V_DSERR_UNINITIALIZED;
    if (description == nullptr || description->dwSize < sizeof(V_DSBUFFERDESC) || outer != nullptr)
        return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    if (description->dwFlags & V_DSBCAPS_PRIMARYBUFFER) {
        if (description->dwBufferBytes != 0 || description->lpwfxFormat != nullptr)
            return V_DSERR_INVALIDPARAM;
        auto* state = new DSoundBufferState{};
        state->primary = 1;
        state->flags = description->dwFlags;
        state->format = {V_WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
        *buffer = NewBuffer(state);
        return V_S_OK;
    }
    const V_WAVEFORMATEX* format = description->lpwfxFormat;
    if (!IsPlayableFormat(format)) return V_DSERR_BADFORMAT;
    V_DWORD bytes = description->dwBufferBytes;
    if (bytes < V_DSBSIZE_MIN || bytes > V_DSBSIZE_MAX || bytes < format->nBlockAlign)
        return V_DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(mixer.mutex);
    if (description->dwFlags & mixer.refusedFlags) return V_DSERR_CONTROLUNAVAIL;
    auto* state = new DSoundBufferState{};
    state->flags = description->dwFlags;
    state->format = *format;
    state->format.cbSize = 0;
    state->size = bytes;
    state->storage = new DSoundStorage{1, std::vector<uint8_t>(bytes, 0)};
    mixer.buffers.push_back(state);
    *buffer = NewBuffer(state);
    return V_S_OK;
}

V_HRESULT V_IDirectSound::DuplicateSoundBuffer(V_IDirectSoundBuffer* original,
                                               V_IDirectSoundBuffer** duplicate) {
    if (duplicate == nullptr) return V_DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    if (!initialized_) return V_DSERR_UNINITIALIZED;
    if (original == nullptr || original->state_->primary) return V_DSERR_INVALIDPARAM;
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    const DSoundBufferState* source = original->state_;
    auto* state = new DSoundBufferState{};
    state->flags = source->flags;
    state->format = source->format;
    state->size = source->size;
    state->storage = source->storage;
    ++state->storage->references;
    state->volume = source->volume;
    state->pan = source->pan;
    state->frequency = source->frequency;
    mixer.buffers.push_back(state);
    *duplicate = NewBuffer(state);
    UpdateDSoundGains(state);
    return V_S_OK;
}

V_HRESULT V_DirectSoundEnumerateA(V_LPDSENUMCALLBACKA callback, void* context) {
    if (callback == nullptr) return V_DSERR_INVALIDPARAM;
    if (!callback(nullptr, "Primary Sound Driver", "", context)) return V_S_OK;
    const char* driver = SDL_GetCurrentAudioDriver();
    static V_GUID deviceGuid = {0x76656C6B, 0x0001, 0x0001, {0, 0, 0, 0, 0, 0, 0, 1}};
    callback(&deviceGuid, driver ? driver : "software mixer", "velk-mixer", context);
    return V_S_OK;
}
