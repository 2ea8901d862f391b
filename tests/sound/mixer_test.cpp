// The sound device stand-in and its mixer: locking, cursors, looping, controls, duplicates.
#include "platform/dsound/dsound.h"
#include "sound_support.h"

namespace {

struct Device {
    V_IDirectSound* device = nullptr;
    Device() {
        V_DSoundMixerSetManual(1);
        void* object = nullptr;
        EXPECT_EQ(V_CreateDirectSoundObject(&V_IID_IDirectSound, &object), V_S_OK);
        device = static_cast<V_IDirectSound*>(object);
        EXPECT_EQ(device->Initialize(nullptr), V_S_OK);
    }
    ~Device() { device->Release(); }

    V_IDirectSoundBuffer* Make(V_WAVEFORMATEX format, V_DWORD bytes, V_DWORD flags = 0xE0) {
        V_DSBUFFERDESC d{};
        d.dwSize = sizeof(d);
        d.dwFlags = flags;
        d.dwBufferBytes = bytes;
        d.lpwfxFormat = &format;
        V_IDirectSoundBuffer* buffer = nullptr;
        if (V_FAILED(device->CreateSoundBuffer(&d, &buffer, nullptr))) return nullptr;
        return buffer;
    }
};

V_WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t block = static_cast<uint16_t>(channels * bits / 8);
    return {1, channels, rate, rate * block, block, bits, 0};
}

void Fill(V_IDirectSoundBuffer* buffer, const Bytes& bytes) {
    void *p1, *p2;
    V_DWORD l1, l2;
    ASSERT_EQ(buffer->Lock(0, static_cast<V_DWORD>(bytes.size()), &p1, &l1, &p2, &l2, 0), V_S_OK);
    std::memcpy(p1, bytes.data(), l1);
    ASSERT_EQ(buffer->Unlock(p1, l1, p2, l2), V_S_OK);
}

}  // namespace

TEST(SoundMixer, LockHandsOutOneOrTwoRegionsOfTheRing) {
    Device d;
    V_IDirectSoundBuffer* b = d.Make(Pcm(1, 44100, 16), 100);
    ASSERT_NE(b, nullptr);
    void *p1, *p2;
    V_DWORD l1, l2;
    ASSERT_EQ(b->Lock(10, 20, &p1, &l1, &p2, &l2, 0), V_S_OK);
    EXPECT_EQ(l1, 20u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(l2, 0u);
    b->Unlock(p1, l1, p2, l2);
    void* start;
    ASSERT_EQ(b->Lock(0, 100, &start, &l1, &p2, &l2, 0), V_S_OK);
    b->Unlock(start, l1, p2, l2);
    ASSERT_EQ(b->Lock(90, 30, &p1, &l1, &p2, &l2, 0), V_S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(start) + 90);
    EXPECT_EQ(l1, 10u);
    EXPECT_EQ(p2, start);
    EXPECT_EQ(l2, 20u);
    EXPECT_EQ(b->Unlock(p1, l1, p2, l2), V_S_OK);
    // Beyond the ring, or pointers that are not the ring's, are refused.
    EXPECT_NE(b->Lock(0, 101, &p1, &l1, &p2, &l2, 0), V_S_OK);
    EXPECT_NE(b->Lock(100, 1, &p1, &l1, &p2, &l2, 0), V_S_OK);
    int outside = 0;
    EXPECT_NE(b->Unlock(&outside, 4, nullptr, 0), V_S_OK);
    b->Release();
    EXPECT_EQ(V_DSoundMixerBufferCount(), 0);
}

TEST(SoundMixer, PlaysSamplesExactlyStopsAtTheEndAndLoops) {
    Device d;
    V_IDirectSoundBuffer* b = d.Make(Pcm(2, 44100, 16), 4 * 4);
    Fill(b, Samples16({100, -100, 200, -200, 300, -300, 400, -400}));
    ASSERT_EQ(b->Play(0, 0, 0), V_S_OK);
    auto out = Render(6);
    EXPECT_EQ(out, (std::vector<int16_t>{100, -100, 200, -200, 300, -300, 400, -400, 0, 0, 0, 0}));
    V_DWORD status = 99, play = 99, write = 99;
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 0u);

    // Looping wraps; stopping keeps the position; playing again goes on from there.
    b->Play(0, 0, V_DSBPLAY_LOOPING);
    out = Render(6);
    EXPECT_EQ(out[8], 100);
    EXPECT_EQ(out[10], 200);
    b->GetStatus(&status);
    EXPECT_EQ(status, V_DSBSTATUS_PLAYING | V_DSBSTATUS_LOOPING);
    b->Stop();
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 8u);  // two frames into the second lap, in whole blocks
    EXPECT_EQ(Render(2), (std::vector<int16_t>{0, 0, 0, 0}));
    b->Play(0, 0, 0);
    EXPECT_EQ(Render(1)[0], 300);
    b->SetCurrentPosition(5);  // rounded down to a whole block
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 4u);
    b->Release();
}

TEST(SoundMixer, FormatsVolumePanFrequencyAndClamping) {
    Device d;
    // 8-bit unsigned mono goes to both sides.
    V_IDirectSoundBuffer* b8 = d.Make(Pcm(1, 44100, 8), 4);
    Fill(b8, Bytes{0xFF, 0x00, 0x80, 0x80});
    b8->Play(0, 0, 0);
    EXPECT_EQ(Render(2), (std::vector<int16_t>{127 << 8, 127 << 8, -32768, -32768}));
    b8->Release();

    V_IDirectSoundBuffer* b = d.Make(Pcm(1, 44100, 16), 4);
    Fill(b, Samples16({10000, 10000}));
    b->SetVolume(-600);  // about half
    b->Play(0, 0, V_DSBPLAY_LOOPING);
    auto out = Render(1);
    EXPECT_NEAR(out[0], 5012, 2);
    b->SetVolume(0);
    b->SetPan(10000);  // right only: left is silent
    out = Render(1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 10000);
    b->SetPan(0);
    // Two buffers sum and the sum is clamped.
    V_IDirectSoundBuffer* dup = nullptr;
    ASSERT_EQ(d.device->DuplicateSoundBuffer(b, &dup), V_S_OK);
    dup->Play(0, 0, V_DSBPLAY_LOOPING);
    EXPECT_EQ(Render(1)[0], 20000);
    V_IDirectSoundBuffer* loud = d.Make(Pcm(1, 44100, 16), 4);
    Fill(loud, Samples16({30000, 30000}));
    loud->Play(0, 0, V_DSBPLAY_LOOPING);
    EXPECT_EQ(Render(1)[0], 32767);
    loud->Release();
    dup->Release();
    b->Release();

    // Half the output rate: each source frame is heard for two output frames (interpolated).
    V_IDirectSoundBuffer* slow = d.Make(Pcm(1, 22050, 16), 4);
    Fill(slow, Samples16({0, 1000}));
    slow->Play(0, 0, 0);
    out = Render(4);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 500);
    EXPECT_EQ(out[4], 1000);
    slow->SetFrequency(44100);
    slow->Release();
}

TEST(SoundMixer, ControlsNeedTheirCapabilityAndDuplicatesShareMemory) {
    Device d;
    V_IDirectSoundBuffer* plain = d.Make(Pcm(1, 44100, 16), 8, 0);
    EXPECT_EQ(plain->SetVolume(-100), V_DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetPan(100), V_DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetFrequency(8000), V_DSERR_CONTROLUNAVAIL);
    V_IDirectSoundBuffer* copy = nullptr;
    ASSERT_EQ(d.device->DuplicateSoundBuffer(plain, &copy), V_S_OK);
    Fill(plain, Samples16({1, 2, 3, 4}));
    copy->Play(0, 0, 0);
    EXPECT_EQ(Render(2), (std::vector<int16_t>{1, 1, 2, 2}));
    plain->Release();
    // The copy keeps the shared memory alive after the original goes.
    EXPECT_EQ(Render(1), (std::vector<int16_t>{3, 3}));
    copy->Release();

    // Formats the mixer cannot play are refused, as are refused abilities.
    V_WAVEFORMATEX odd = Pcm(2, 44100, 16);
    odd.nBlockAlign = 3;
    EXPECT_EQ(d.Make(odd, 30), nullptr);
    EXPECT_EQ(d.Make(Pcm(9, 44100, 8), 90), nullptr);
    V_DSoundMixerRefuseFlags(V_DSBCAPS_CTRLFREQUENCY);
    EXPECT_EQ(d.Make(Pcm(1, 8000, 8), 8, 0x80E2), nullptr);
    V_DSoundMixerRefuseFlags(0);

    V_DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(d.device->GetCaps(&caps), V_S_OK);
    EXPECT_TRUE(caps.dwFlags & V_DSCAPS_PRIMARYSTEREO);
    EXPECT_GE(caps.dwMaxSecondarySampleRate, 44100u);
}

TEST(SoundMixer, SixChannelsAndWideSamplesFoldToStereo) {
    Device d;
    V_IDirectSoundBuffer* b = d.Make(Pcm(6, 44100, 24), 18);
    Bytes frame;
    for (int c = 0; c < 6; ++c) {
        int32_t v = (c % 2 == 0 ? 300 : -600) * 256;
        frame.push_back(static_cast<uint8_t>(v));
        frame.push_back(static_cast<uint8_t>(v >> 8));
        frame.push_back(static_cast<uint8_t>(v >> 16));
    }
    Fill(b, frame);
    b->Play(0, 0, 0);
    EXPECT_EQ(Render(1), (std::vector<int16_t>{300, -600}));
    b->Release();
}
