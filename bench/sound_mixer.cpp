// The mixer's cost per second of output with 32 buffers playing at once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/dsound/dsound.h"

namespace {

struct MixerFixture {
    V_IDirectSound* device = nullptr;
    std::vector<V_IDirectSoundBuffer*> buffers;

    explicit MixerFixture(int count) {
        V_DSoundMixerSetManual(1);
        void* object = nullptr;
        V_CreateDirectSoundObject(&V_IID_IDirectSound, &object);
        device = static_cast<V_IDirectSound*>(object);
        device->Initialize(nullptr);
        // A mix of the formats the decoders hand out, some at other rates (resampled).
        const uint32_t rates[] = {44100, 22050, 48000, 11025};
        for (int i = 0; i < count; ++i) {
            uint16_t channels = static_cast<uint16_t>(1 + i % 2);
            uint16_t bits = static_cast<uint16_t>(i % 4 == 3 ? 8 : 16);
            uint32_t rate = rates[i % 4];
            uint16_t block = static_cast<uint16_t>(channels * bits / 8);
            V_WAVEFORMATEX format = {1, channels, rate, rate * block, block, bits, 0};
            V_DSBUFFERDESC d{};
            d.dwSize = sizeof(d);
            d.dwFlags = 0xE0;
            d.dwBufferBytes = rate * block;  // one second
            d.lpwfxFormat = &format;
            V_IDirectSoundBuffer* buffer = nullptr;
            device->CreateSoundBuffer(&d, &buffer, nullptr);
            void *p1, *p2;
            V_DWORD l1, l2;
            buffer->Lock(0, d.dwBufferBytes, &p1, &l1, &p2, &l2, 0);
            auto* bytes = static_cast<uint8_t*>(p1);
            for (V_DWORD b = 0; b < l1; ++b) bytes[b] = static_cast<uint8_t>(b * 13 + i);
            buffer->Unlock(p1, l1, p2, l2);
            buffer->SetVolume(-(i * 50));
            buffer->SetPan((i % 5 - 2) * 2000);
            buffer->Play(0, 0, V_DSBPLAY_LOOPING);
            buffers.push_back(buffer);
        }
    }
    ~MixerFixture() {
        for (V_IDirectSoundBuffer* b : buffers) b->Release();
        device->Release();
    }
};

// One iteration renders one second of output (44100 frames) in the device's 1024-frame steps.
void BM_MixOneSecond(benchmark::State& state) {
    MixerFixture fixture(static_cast<int>(state.range(0)));
    std::vector<int16_t> out(1024 * 2);
    for (auto _ : state) {
        for (int done = 0; done < kDSoundMixerRate; done += 1024) {
            V_DSoundMixerRender(out.data(), 1024);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["buffers"] = static_cast<double>(state.range(0));
    state.SetLabel("time per second of output");
}
BENCHMARK(BM_MixOneSecond)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
