// The mixer: sums every playing secondary buffer into 16-bit stereo at the output rate, in
// the audio device's callback or when a test asks. It only mixes: no call leaves it.
#include "platform/dsound/dsound_mixer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

DSoundMixer& GetDSoundMixer() {
    static DSoundMixer mixer;
    return mixer;
}

namespace {

// One sample of the given width as a signed 16-bit range value.
template <int Bytes>
inline int32_t ReadSample(const uint8_t* p) {
    if constexpr (Bytes == 1) {
        return (static_cast<int32_t>(p[0]) - 128) << 8;
    } else if constexpr (Bytes == 2) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    } else if constexpr (Bytes == 3) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[1] | (p[2] << 8)));
    } else {
        return static_cast<int16_t>(static_cast<uint16_t>(p[2] | (p[3] << 8)));
    }
}

// One frame as a left and right value: mono goes to both sides; with more channels the
// even ones are averaged into the left and the odd ones into the right.
template <int Bytes>
inline void ReadFrame(const uint8_t* p, int channels, int32_t& left, int32_t& right) {
    if (channels == 1) {
        left = right = ReadSample<Bytes>(p);
        return;
    }
    if (channels == 2) {
        left = ReadSample<Bytes>(p);
        right = ReadSample<Bytes>(p + Bytes);
        return;
    }
    int32_t sums[2] = {0, 0};
    for (int c = 0; c < channels; ++c) sums[c & 1] += ReadSample<Bytes>(p + c * Bytes);
    left = sums[0] / ((channels + 1) / 2);
    right = sums[1] / (channels / 2);
}

template <int Bytes>
void MixOneBuffer(DSoundBufferState* state, int32_t* accumulator, int frames) {
    const int channels = state->format.nChannels;
    const uint32_t blockAlign = state->format.nBlockAlign;
    const uint32_t totalFrames = state->size / blockAlign;
    if (totalFrames == 0) {
        state->playing = 0;
        return;
    }
    const uint32_t rate = state->frequency ? state->frequency : state->format.nSamplesPerSec;
    const uint64_t step = (static_cast<uint64_t>(rate) << 32) / kDSoundMixerRate;
    const uint8_t* bytes = state->storage->bytes.data();
    const int64_t gainLeft = state->gainLeft;
    const int64_t gainRight = state->gainRight;
    uint64_t position = state->position;
    for (int i = 0; i < frames; ++i) {
        uint32_t frame = static_cast<uint32_t>(position >> 32);
        if (frame >= totalFrames) {
            if (!state->looping) {
                state->playing = 0;
                position = 0;
                break;
            }
            frame %= totalFrames;
            position = (static_cast<uint64_t>(frame) << 32) | (position & 0xFFFFFFFFu);
        }
        int32_t left, right;
        ReadFrame<Bytes>(bytes + static_cast<size_t>(frame) * blockAlign, channels, left, right);
        uint32_t fraction = static_cast<uint32_t>(position) >> 16;
        if (fraction != 0) {
            uint32_t nextFrame = frame + 1;
            if (nextFrame >= totalFrames) nextFrame = state->looping ? 0 : frame;
            int32_t nextLeft, nextRight;
            ReadFrame<Bytes>(bytes + static_cast<size_t>(nextFrame) * blockAlign, channels,
                             nextLeft, nextRight);
            left += static_cast<int32_t>((static_cast<int64_t>(nextLeft - left) * fraction) >> 16);
            right +=
                static_cast<int32_t>((static_cast<int64_t>(nextRight - right) * fraction) >> 16);
        }
        accumulator[2 * i] += static_cast<int32_t>((left * gainLeft) >> 16);
        accumulator[2 * i + 1] += static_cast<int32_t>((right * gainRight) >> 16);
        position += step;
    }
    if (state->playing && static_cast<uint32_t>(position >> 32) >= totalFrames) {
        if (state->looping) {
            uint32_t frame = static_cast<uint32_t>(position >> 32) % totalFrames;
            position = (static_cast<uint64_t>(frame) << 32) | (position & 0xFFFFFFFFu);
        } else {
            state->playing = 0;
            position = 0;
        }
    }
    state->position = position;
}

// Decibel hundredths to a 16.16 amplitude factor.
int32_t GainFromHundredths(V_LONG hundredths) {
    if (hundredths >= 0) return 65536;
    if (hundredths <= V_DSBVOLUME_MIN) return 0;
    return static_cast<int32_t>(std::lround(std::pow(10.0, hundredths / 2000.0) * 65536.0));
}

void AudioCallback(void*, Uint8* stream, int length) {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    MixDSoundBuffers(mixer, reinterpret_cast<int16_t*>(stream),
                     length / static_cast<int>(sizeof(int16_t) * kDSoundMixerChannels));
}

}  // namespace

void UpdateDSoundGains(DSoundBufferState* state) {
    int64_t volume = GainFromHundredths(state->volume);
    int64_t left = volume, right = volume;
    if (state->pan > 0) left = (left * GainFromHundredths(-state->pan)) >> 16;
    if (state->pan < 0) right = (right * GainFromHundredths(state->pan)) >> 16;
    state->gainLeft = static_cast<int32_t>(left);
    state->gainRight = static_cast<int32_t>(right);
}

void MixDSoundBuffers(DSoundMixer& mixer, int16_t* output, int frames) {
    if (frames <= 0) return;
    size_t samples = static_cast<size_t>(frames) * kDSoundMixerChannels;
    if (mixer.accumulator.size() < samples) mixer.accumulator.resize(samples);
    int32_t* accumulator = mixer.accumulator.data();
    std::fill(accumulator, accumulator + samples, 0);
    for (DSoundBufferState* state : mixer.buffers) {
        if (!state->playing) continue;
        switch (state->format.wBitsPerSample) {
            case 8: MixOneBuffer<1>(state, accumulator, frames); break;
            case 16: MixOneBuffer<2>(state, accumulator, frames); break;
            case 24: MixOneBuffer<3>(state, accumulator, frames); break;
            default: MixOneBuffer<4>(state, accumulator, frames); break;
        }
    }
    for (size_t i = 0; i < samples; ++i)
        output[i] = static_cast<int16_t>(std::clamp(accumulator[i], -32768, 32767));
}

int OpenDSoundOutput() {
    DSoundMixer& mixer = GetDSoundMixer();
    if (mixer.manual) {
        ++mixer.deviceUsers;
        return 0;
    }
    if (mixer.deviceUsers > 0) {
        ++mixer.deviceUsers;
        return 0;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return -1;
    SDL_AudioSpec want{}, have{};
    want.freq = kDSoundMixerRate;
    want.format = AUDIO_S16SYS;
    want.channels = kDSoundMixerChannels;
    want.samples = 1024;
    want.callback = AudioCallback;
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return -1;
    }
    mixer.device = device;
    mixer.deviceUsers = 1;
    SDL_PauseAudioDevice(device, 0);
    return 0;
}

void CloseDSoundOutput() {
    DSoundMixer& mixer = GetDSoundMixer();
    if (mixer.deviceUsers <= 0) return;
    if (--mixer.deviceUsers > 0) return;
    if (mixer.device != 0) {
        // Closing waits for the callback, which takes the mixer mutex: never hold it here.
        SDL_CloseAudioDevice(mixer.device);
        mixer.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void V_DSoundMixerSetManual(int manual) {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    mixer.manual = manual != 0;
}

void V_DSoundMixerRender(int16_t* output, int frames) {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    MixDSoundBuffers(mixer, output, frames);
}

void V_DSoundMixerRefuseFlags(V_DWORD flags) {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    mixer.refusedFlags = flags;
}

int V_DSoundMixerBufferCount() {
    DSoundMixer& mixer = GetDSoundMixer();
    std::lock_guard<std::mutex> guard(mixer.mutex);
    return static_cast<int>(mixer.buffers.size());
}
