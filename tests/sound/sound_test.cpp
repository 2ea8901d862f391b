// The sound system end to end on the manual mixer: loading, playing, buffers in turn, long
// sounds as streams, stream play types, stop and resume, handles, shared stream buffers.
#include "sound/sound_internal.h"
#include "core/log_capture.h"
#include "core/window.h"
#include "sound/sound_services.h"
#include "sound_support.h"
#include "support/child_call.h"

namespace {

// Mono 16-bit samples at the mixer's rate, all non-zero, so that output compares one to one.
std::vector<int16_t> Pattern(int frames, int salt = 0) {
    std::vector<int16_t> s(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) s[i] = static_cast<int16_t>((i * 37 + salt) % 20000 + 1);
    return s;
}

std::string MonoFile(const std::string& name, const std::vector<int16_t>& samples) {
    return WriteScratchFile(name, PcmWave(1, 44100, 16, Samples16(samples)));
}

// Left channel of `frames` output frames, rendered in 10 ms steps with a stream refill after
// each step (as the refill thread would do).
std::vector<int16_t> PlayOut(SoundHandle handle, int frames) {
    std::vector<int16_t> left;
    while (static_cast<int>(left.size()) < frames) {
        int n = std::min(441, frames - static_cast<int>(left.size()));
        auto out = Render(n);
        for (int i = 0; i < n; ++i) left.push_back(out[2 * i]);
        RefillStreamSound(handle);
    }
    return left;
}

}  // namespace

TEST_F(SoundSystemTest, AnEffectLoadedAndPlayedComesOutSampleForSample) {
    auto samples = Pattern(3000);
    std::string path = MonoFile("effect.wav", samples);
    SoundHandle h = LoadSoundFile(path.c_str(), 3, -1);
    ASSERT_NE(h, -1);
    EXPECT_EQ(GetSoundLengthSamples(h), 3000);
    EXPECT_EQ(GetSoundLengthMs(h), 68);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    EXPECT_EQ(CheckSoundPlaying(h), 1);
    auto out = Render(3100);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(out[2 * i], samples[i]) << i;
        ASSERT_EQ(out[2 * i + 1], samples[i]) << i;
    }
    EXPECT_EQ(out[2 * 3050], 0);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
    EXPECT_EQ(PlaySoundHandle(h, 1, 1), -1);
}

TEST_F(SoundSystemTest, ThreeQuickPlaysOverlapAndTheFourthRestartsTheFirst) {
    std::vector<int16_t> ramp(1000);
    for (int i = 0; i < 1000; ++i) ramp[i] = static_cast<int16_t>(i * 10);
    SoundHandle h = LoadSoundFile(MonoFile("ramp.wav", ramp).c_str(), 3, -1);
    ASSERT_NE(h, -1);
    for (int play = 0; play < 3; ++play) {
        ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
        Render(10);
    }
    // Buffers stand at frames 30, 20 and 10.
    EXPECT_EQ(Render(1)[0], (30 + 20 + 10) * 10);
    // The fourth play takes the first buffer again, from the top: frames 0, 21 and 11.
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    EXPECT_EQ(Render(1)[0], (0 + 21 + 11) * 10);
    // Top flag 0 leaves a playing buffer alone (only the index moves).
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    EXPECT_EQ(Render(1)[0], (1 + 22 + 12) * 10);
    EXPECT_EQ(GetSoundPositionMs(h), 0);  // the current buffer is the second, 23 frames in
    EXPECT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(Render(1)[0], 0);
}

TEST_F(SoundSystemTest, ABufferlessSoundAndARefusedAbilityAreHandled) {
    std::string path = MonoFile("short.wav", Pattern(100));
    SoundHandle none = LoadSoundFile(path.c_str(), 0, -1);
    ASSERT_NE(none, -1);
    EXPECT_EQ(PlaySoundHandle(none, 1, 1), -1);
    EXPECT_EQ(GetSoundPositionMs(none), -1);
    EXPECT_EQ(CreateSoundFromMemoryImage(nullptr, 0, 11, -1), -1);

    V_DSoundMixerRefuseFlags(V_DSBCAPS_CTRLFREQUENCY);
    SoundHandle reduced = LoadSoundFile(path.c_str(), 2, -1);
    ASSERT_NE(reduced, -1);
    V_DSBCAPS caps{};
    caps.dwSize = sizeof(caps);
    GetSoundRecord(reduced)->buffers[1].buffer->GetCaps(&caps);
    EXPECT_EQ(caps.dwFlags & 0xFFFF, 0xC2u | V_DSBCAPS_LOCSOFTWARE);
    EXPECT_EQ(PlaySoundHandle(reduced, 1, 1), 0);
    EXPECT_EQ(Render(1)[0], Pattern(1)[0]);
}

TEST_F(SoundSystemTest, LongSoundsBecomeStreams) {
    // 8 kHz mono 8-bit: one byte a sample frame.
    Bytes shorter(1447200, 0x90), longer(1448000, 0x90);
    SoundHandle a = LoadSoundFile(
        WriteScratchFile("180_9s.wav", PcmWave(1, 8000, 8, shorter)).c_str(), 1, -1);
    SoundHandle b = LoadSoundFile(
        WriteScratchFile("181s.wav", PcmWave(1, 8000, 8, longer)).c_str(), 1, -1);
    ASSERT_NE(a, -1);
    ASSERT_NE(b, -1);
    EXPECT_EQ(GetSoundRecord(a)->streamFlag, 0);
    EXPECT_EQ(GetSoundRecord(b)->streamFlag, 1);
    EXPECT_EQ(GetSoundLengthMs(a), 180900);
    EXPECT_EQ(GetSoundLengthMs(b), 181000);
    EXPECT_EQ(GetSoundCreateType(), 0);  // put back after the stream was made
    // The stream holds three quarters of a second and does not play yet.
    EXPECT_EQ(GetSoundRecord(b)->writePosition, 6000);
    EXPECT_EQ(CheckSoundPlaying(b), 0);
}

TEST_F(SoundSystemTest, AStreamRunsOutIntoSilenceAndStops) {
    // 8-bit data at the mixer's rate: the stream's padding byte 0x7F sounds as -256.
    Bytes data(44100 * 13 / 10);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x90 + i % 64);
    std::string path = WriteScratchFile("stream8.wav", PcmWave(1, 44100, 8, data));
    ASSERT_EQ(SetSoundCreateType(3), 0);
    SoundHandle h = LoadSoundFile(path.c_str(), 1, -1);
    SetSoundCreateType(0);
    ASSERT_NE(h, -1);
    EXPECT_EQ(GetSoundRecord(h)->streamFlag, 1);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    auto out = PlayOut(h, static_cast<int>(data.size()) + 441 * 3);
    for (size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(out[i], (static_cast<int>(data[i]) - 128) << 8) << i;
    EXPECT_EQ(out[data.size() + 10], -256);
    // The refill stops the buffer once the end has been heard; the position is back at 0.
    for (int i = 0; i < 20 && CheckSoundPlaying(h) == 1; ++i) PlayOut(h, 441);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(GetSoundPositionMs(h), 0);
    EXPECT_EQ(GetSoundLengthMs(h), 1300);
}

// The end is found by the distance played since it was written, so an end that lies exactly
// at the play cursor, or a stream with no data at all, still stops.
TEST_F(SoundSystemTest, AStreamEndingAtThePlayCursorStops) {
    // Three quarters of a second: the first fill takes it all.
    auto samples = Pattern(33075, 9);
    ASSERT_EQ(SetSoundCreateType(3), 0);
    SoundHandle h = LoadSoundFile(MonoFile("exact.wav", samples).c_str(), 1, -1);
    SetSoundCreateType(0);
    ASSERT_NE(h, -1);
    SoundRecord* record = GetSoundRecord(h);
    EXPECT_EQ(record->writePosition, 66150);
    // Holding the sound lock keeps the refill thread out until the end has been written here.
    EnterSoundLock();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    auto out = Render(33075);
    EXPECT_EQ(out[2 * 33074], samples[33074]);
    // The cursor stands at the write position as the source runs out.
    RefillStreamSound(h);
    EXPECT_EQ(record->endWritten, 1);
    EXPECT_EQ(record->endOffset, 66150u);
    EXPECT_EQ(record->endCursor, 66150u);
    LeaveSoundLock();
    EXPECT_EQ(CheckSoundPlaying(h), 1);
    PlayOut(h, 441);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(GetSoundPositionMs(h), 0);
    // Looping, the loop point is written where the cursor stands: it counts as the cursor moves.
    EnterSoundLock();
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    Render(33075);
    RefillStreamSound(h);
    LeaveSoundLock();
    out = PlayOut(h, 441);
    EXPECT_EQ(out[0], samples[0]);
    EXPECT_EQ(GetSoundPositionMs(h), 10);
}

TEST_F(SoundSystemTest, AnEmptyDataChunkPlaysAsAStreamThatEndsAtOnce) {
    std::string path = WriteScratchFile("empty.wav", PcmWave(1, 44100, 16, {}));
    SoundHandle h = LoadSoundFile(path.c_str(), 1, -1);
    ASSERT_NE(h, -1);
    EXPECT_EQ(GetSoundRecord(h)->streamFlag, 1);
    EXPECT_EQ(GetSoundLengthMs(h), 0);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    EXPECT_EQ(CheckSoundPlaying(h), 1);
    auto out = PlayOut(h, 441);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[440], 0);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    // Played again from the top, it ends again.
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    PlayOut(h, 441);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
}

// A 0.6-second source, and sources of 1.0, 2.0 and 3.0 s, whose loop mark falls on offset 0 of
// the stream's buffer.
TEST_F(SoundSystemTest, ALoopingStreamWrapsItsPosition) {
    // Sources of 0.6 to 3 s refilled after every 10 ms step, and one shorter than the refill's
    // lead refilled only every tenth step.
    const std::pair<int, int> cases[] = {{26460, 1}, {44100, 1}, {88200, 1}, {132300, 1}, {5003, 10}};
    for (auto [frames, refillEvery] : cases) {
        SCOPED_TRACE(frames);
        auto samples = Pattern(frames);
        ASSERT_EQ(SetSoundCreateType(2), 0);
        SoundHandle h = LoadSoundFile(MonoFile("loop.wav", samples).c_str(), 1, -1);
        SetSoundCreateType(0);
        ASSERT_NE(h, -1);
        ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
        int length = GetSoundLengthMs(h);
        EXPECT_EQ(length, frames * 1000 / 44100);
        int total = 0;
        int wraps = 0;
        int last = 0;
        for (int step = 0; step < std::max(250, frames * 5 / 2 / 441); ++step) {
            auto out = Render(441);
            if (step % refillEvery == refillEvery - 1) RefillStreamSound(h);
            for (int i = 0; i < 441; ++i, ++total)
                ASSERT_EQ(out[2 * i], samples[total % samples.size()]) << total;
            // Every case lands on its loop point exactly at some step: the position reads 0
            // there and the loop is counted.
            int position = GetSoundPositionMs(h);
            ASSERT_EQ(position, total % frames * 1000 / 44100) << total;
            if (position < last) ++wraps;
            last = position;
        }
        EXPECT_EQ(wraps, total / frames);
        EXPECT_GE(wraps, 2);
        EXPECT_EQ(CheckSoundPlaying(h), 1);
        EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
    }
    // A loop much shorter than a move: every loop point the move passes counts.
    ASSERT_EQ(SetSoundCreateType(2), 0);
    SoundHandle h = LoadSoundFile(MonoFile("short.wav", Pattern(1000)).c_str(), 1, -1);
    SetSoundCreateType(0);
    EnterSoundLock();
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    for (int ms : {9, 18}) {
        Render(4410);
        EXPECT_EQ(GetSoundPositionMs(h), ms);
    }
    // A move past the last loop point written (no refill for 0.7 s) counts only those written:
    // the position then stands past the last one and reads the length.
    Render(30000);
    EXPECT_EQ(GetSoundPositionMs(h), GetSoundLengthMs(h));
    LeaveSoundLock();
}

TEST_F(SoundSystemTest, AStreamStopsAndResumesOrStartsAgain) {
    auto samples = Pattern(88200, 5);  // 2 s
    ASSERT_EQ(SetSoundCreateType(3), 0);
    SoundHandle h = LoadSoundFile(MonoFile("resume.wav", samples).c_str(), 1, -1);
    SetSoundCreateType(0);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    auto out = PlayOut(h, 441 * 30);
    ASSERT_EQ(out.back(), samples[441 * 30 - 1]);
    EXPECT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(GetSoundPositionMs(h), 300);
    EXPECT_EQ(PlayOut(h, 441)[0], 0);
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    out = PlayOut(h, 441);
    EXPECT_EQ(out[0], samples[441 * 30]);
    EXPECT_EQ(out[440], samples[441 * 31 - 1]);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    out = PlayOut(h, 441);
    EXPECT_EQ(out[0], samples[0]);
    EXPECT_EQ(out[100], samples[100]);
}

TEST_F(SoundSystemTest, HandlesCarryCheckNumbersAndSlotsAreReused) {
    // The check counter runs on for the whole program; slots start again at 0.
    SoundHandle a = AddSoundData(-1), b = AddSoundData(-1), c = AddSoundData(-1);
    const int k = (a >> 16) & 0x7FF;
    auto handle = [](int check, int slot) { return ((check % 2048) | 0x1000) << 16 | slot; };
    EXPECT_EQ(a, handle(k, 0));
    EXPECT_EQ(b, handle(k + 1, 1));
    EXPECT_EQ(c, handle(k + 2, 2));
    // Deleting the top slot lowers the area end: the next sound takes that slot with a new
    // check number, and the old handle is refused.
    EXPECT_EQ(DeleteSoundHandle(c), 0);
    SoundHandle d = AddSoundData(-1);
    EXPECT_EQ(d, handle(k + 3, 2));
    EXPECT_EQ(DeleteSoundHandle(c), -1);
    EXPECT_EQ(CheckSoundPlaying(c), -1);
    // Deleting below the top leaves the slot free while the area end is below 32768.
    EXPECT_EQ(DeleteSoundHandle(a), 0);
    EXPECT_EQ(AddSoundData(-1) & 0xFFFF, 3);
    // A hint whose slot lies outside the table is no hint; a free slot is taken as hinted.
    EXPECT_EQ(AddSoundData(0x1000FFFF) & 0xFFFF, 4);
    EXPECT_EQ(AddSoundData(0x10070000), 0x10070000);
    for (int i = 0; i < 2040; ++i) DeleteSoundHandle(AddSoundData(-1));
    EXPECT_EQ((AddSoundData(-1) >> 16) & 0x7FF, (k + 2046) % 2048);
    EXPECT_EQ(SetSoundCreateType(1), 0);
    EXPECT_EQ(GetSoundCreateType(), 0);
    EXPECT_EQ(SetSoundCreateType(4), -1);
    EXPECT_EQ(StopAndDeleteMusic(), 0);
    EXPECT_EQ(GetSoundLengthMs(0x7FFFFFFF), -1);
    EXPECT_EQ(PlaySoundHandle(-1, 1, 1), -1);
    EXPECT_EQ(DeleteAllSounds(), 0);
    EXPECT_EQ(g_SoundTable.count, 0);
    EXPECT_EQ(g_SoundTable.areaEnd, 0);
}

TEST_F(SoundSystemTest, ASharedStreamBufferOutlivesItsOwnersDelete) {
    std::string first = MonoFile("first.wav", Pattern(44100, 1));
    std::string second = MonoFile("second.wav", Pattern(44100, 2));
    ASSERT_EQ(SetSoundCreateType(3), 0);
    SoundHandle owner = LoadSoundFile(first.c_str(), 1, -1);
    SoundHandle sharer = LoadSoundFile(second.c_str(), 1, owner);
    SetSoundCreateType(0);
    ASSERT_NE(owner, -1);
    ASSERT_NE(sharer, -1);
    EXPECT_EQ(GetSoundRecord(sharer)->owner, owner);
    EXPECT_FALSE(GetSoundRecord(sharer)->buffers[0].valid);
    int buffers = V_DSoundMixerBufferCount();

    ASSERT_EQ(PlaySoundHandle(owner, 1, 1), 0);
    EXPECT_EQ(PlayOut(owner, 10)[0], Pattern(1, 1)[0]);
    // Playing the sharer takes the buffer over and stops the owner.
    ASSERT_EQ(PlaySoundHandle(sharer, 1, 1), 0);
    EXPECT_EQ(CheckSoundPlaying(owner), 0);
    EXPECT_EQ(PlayOut(sharer, 10)[0], Pattern(1, 2)[0]);

    // The owner's delete waits for its sharer; the last sharer's delete finishes it.
    EXPECT_EQ(DeleteSoundHandle(owner), 0);
    EXPECT_NE(CheckSoundPlaying(owner), -1);
    EXPECT_EQ(V_DSoundMixerBufferCount(), buffers);
    EXPECT_EQ(DeleteSoundHandle(sharer), 0);
    EXPECT_EQ(CheckSoundPlaying(owner), -1);
    EXPECT_EQ(V_DSoundMixerBufferCount(), buffers - 1);
}

TEST_F(SoundSystemTest, StreamSourcesAreCheckedWhenAdded) {
    std::string path = MonoFile("src.wav", Pattern(4410));
    std::string other = WriteScratchFile("other.wav", PcmWave(2, 22050, 16, Bytes(400)));
    SoundHandle h = AddSoundData(-1);
    EXPECT_EQ(AddStreamSoundFile(path.c_str(), 0, h, 3, -1), 0);
    EXPECT_EQ(AddStreamSoundFile(other.c_str(), 0, h, 3, -1), -1);  // another format
    EXPECT_EQ(AddStreamSoundFile(path.c_str(), 1, h, 0, -1), 0);
    EXPECT_EQ(AddStreamSoundFile(path.c_str(), 0, h, 2, -1), 0);
    EXPECT_EQ(AddStreamSoundFile(path.c_str(), 0, h, 2, -1), -1);  // a fourth
    EXPECT_EQ(GetSoundLengthSamples(h), 3 * 4410);
    EXPECT_EQ(AddStreamSoundFile("missing.wav", 0, AddSoundData(-1), 3, -1), -1);
    // Sources play one after the other; the second one twice (loop count 1).
    StartStreamSound(h);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    auto out = PlayOut(h, 4 * 4410);
    auto samples = Pattern(4410);
    for (int i = 0; i < 4 * 4410; ++i) ASSERT_EQ(out[i], samples[i % 4410]) << i;
    EXPECT_EQ(DeleteSoundHandle(h, 0), 0);  // so that only the next stream is mixed
    // The same with a first source loaded as a stream (primed before the others are added).
    std::string longer = MonoFile("src3.wav", Pattern(13230));
    ASSERT_EQ(SetSoundCreateType(3), 0);
    SoundHandle loaded = LoadSoundFile(longer.c_str(), 1, -1);
    SetSoundCreateType(0);
    EXPECT_EQ(AddStreamSoundFile(longer.c_str(), 1, loaded, 3, -1), 0);
    EXPECT_EQ(AddStreamSoundFile(longer.c_str(), 0, loaded, 3, -1), 0);
    ASSERT_EQ(PlaySoundHandle(loaded, 1, 1), 0);
    out = PlayOut(loaded, 4 * 13230);
    samples = Pattern(13230);
    for (int i = 0; i < 4 * 13230; ++i) ASSERT_EQ(out[i], samples[i % 13230]) << i;
    // One source added: it is heard after the first.
    EXPECT_EQ(DeleteSoundHandle(loaded, 0), 0);
    ASSERT_EQ(SetSoundCreateType(3), 0);
    loaded = LoadSoundFile(longer.c_str(), 1, -1);
    SetSoundCreateType(0);
    EXPECT_EQ(AddStreamSoundFile(longer.c_str(), 0, loaded, 3, -1), 0);
    ASSERT_EQ(PlaySoundHandle(loaded, 1, 1), 0);
    out = PlayOut(loaded, 2 * 13230);
    for (int i = 0; i < 2 * 13230; ++i) ASSERT_EQ(out[i], samples[i % 13230]) << i;

    EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
    std::string junk = WriteScratchFile("junk.wav", Bytes(300, 0x55));
    EXPECT_EQ(LoadSoundFile(junk.c_str(), 1, -1), -1);
}

// A source added to a normal sound is refused with its log line, and the program goes on with
// the sound as it was. In a child process, so that an end of the process fails only this test.
TEST(SoundSystem, ASourceAddedToANormalSoundIsRefused) {
    StartFreshLog();
    const std::string path = MonoFile("normal.wav", Pattern(441));
    ChildResult result = RunInChild([&path] {
        V_DSoundMixerSetManual(1);
        if (InitializeSoundSystem() != 0) return 100;
        SoundHandle h = LoadSoundFile(path.c_str(), 1, -1);
        if (h == -1) return 101;
        const int added = AddStreamSoundFile(path.c_str(), 0, h, 3, -1);
        const bool plays = PlaySoundHandle(h, kPlayTypeBackground, 1) == 0 &&
                           Render(441)[2 * 440] == Pattern(441)[440];
        const bool ends = TerminateSoundSystem() == 0;
        return added != -1 ? added : plays && ends ? -1 : 102;
    });
    EXPECT_TRUE(result.returned && result.value == -1)
        << result.Describe() << " (-1: refused; 102: the sound no longer plays)";
    EXPECT_NE(
        ReadLog().find("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"),
        std::string::npos);
}

TEST_F(SoundSystemTest, ImagesWithoutMemoryOrWithANegativeSizeAreRefused) {
    Bytes wave = PcmWave(1, 22050, 16, Samples16(Pattern(100)));
    for (int type : {0, 2, 3}) {
        ASSERT_EQ(SetSoundCreateType(type), 0);
        EXPECT_EQ(CreateSoundFromMemoryImage(nullptr, 100, 1, -1), -1) << type;
        EXPECT_EQ(CreateSoundFromMemoryImage(wave.data(), -1, 1, -1), -1) << type;
        EXPECT_EQ(CreateSoundFromMemoryImage(wave.data(), INT32_MIN, 1, -1), -1) << type;
    }
    ASSERT_EQ(SetSoundCreateType(0), 0);
    // The sound table holds nothing half made: the next sound plays as usual.
    SoundHandle sound = CreateSoundFromMemoryImage(wave.data(), static_cast<int>(wave.size()), 1, -1);
    ASSERT_NE(sound, -1);
    EXPECT_EQ(GetSoundLengthSamples(sound), 100);
    EXPECT_EQ(DeleteSoundHandle(sound), 0);
}

TEST(SoundSystem, WithoutASystemEveryCallFailsAndStartIsOnce) {
    EXPECT_EQ(LoadSoundFile("x.wav", 1, -1), -1);
    EXPECT_EQ(PlaySoundHandle(0x10000000, 1, 1), -1);
    EXPECT_EQ(TerminateSoundSystem(), -1);
    EXPECT_EQ(UpdateMidiPlayStates(), -1);
    V_DSoundMixerSetManual(1);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    EXPECT_EQ(InitializeSoundSystem(), -1);
    EXPECT_EQ(UpdateMidiPlayStates(), 0);
    EXPECT_EQ(DeleteAllMidiHandles(), 0);
    EXPECT_EQ(GetMidiPlayState(0x58000000), -1);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    EXPECT_EQ(DeleteAllSounds(), -1);
}

// The sound device behind SDL's disk audio driver: the callback mixes, and the captured
// output holds the effect sample for sample.
TEST(SoundSystem, RunsOnTheAudioDriverToo) {
    const char* driver = getenv("SDL_AUDIODRIVER");
    std::string saved = driver ? driver : "";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "capture.raw", 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    V_DSoundMixerSetManual(0);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    auto samples = Pattern(4410, 3);
    SoundHandle h = LoadSoundFile(MonoFile("driver.wav", samples).c_str(), 1, -1);
    ASSERT_NE(h, -1);
    // Plays and waits for the end (unless the program is already ending, as it is once a
    // library in this process has ended: then wait here).
    ASSERT_EQ(PlaySoundHandle(h, 0, 1), 0);
    for (int i = 0; i < 400 && CheckSoundPlaying(h) == 1; ++i) V_Sleep(5);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    V_DSoundMixerSetManual(1);
    if (saved.empty()) unsetenv("SDL_AUDIODRIVER");
    else setenv("SDL_AUDIODRIVER", saved.c_str(), 1);

    std::ifstream in("capture.raw", std::ios::binary);
    std::vector<int16_t> captured;
    int16_t value;
    while (in.read(reinterpret_cast<char*>(&value), 2)) captured.push_back(value);
    size_t first = 0;
    while (first < captured.size() && captured[first] == 0) ++first;
    ASSERT_GE(captured.size(), first + 2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(captured[first + 2 * i], samples[i]) << i;
        ASSERT_EQ(captured[first + 2 * i + 1], samples[i]) << i;
    }
}

// Play-and-wait on the audio driver with the refill thread: a stream with no data returns.
TEST(SoundSystem, PlayAndWaitOnAnEmptyStreamReturns) {
    V_DSoundMixerSetManual(0);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    g_Window.quit = 0;
    std::string path = WriteScratchFile("empty_wait.wav", PcmWave(2, 44100, 16, {}));
    SoundHandle h = LoadSoundFile(path.c_str(), 1, -1);
    ASSERT_NE(h, -1);
    EXPECT_EQ(PlaySoundHandle(h, 0, 1), 0);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    V_DSoundMixerSetManual(1);
}

// Ending while this thread holds the sound lock (a fatal exit inside a sound call) stops the
// refill thread and returns.
TEST(SoundSystem, EndsWhileTheCallerHoldsTheSoundLock) {
    V_DSoundMixerSetManual(1);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    SetSoundCreateType(3);
    SoundHandle h = LoadSoundFile(MonoFile("held.wav", Pattern(44100)).c_str(), 1, -1);
    SetSoundCreateType(0);
    ASSERT_NE(h, -1);
    PlaySoundHandle(h, 3, 1);
    EnterSoundLock();
    EnterSoundLock();
    EXPECT_EQ(TerminateSoundSystem(), 0);
    EXPECT_EQ(g_SoundSystem.stopFlag.load(), 2);
    EXPECT_EQ(g_SoundSystem.thread, nullptr);
    EXPECT_EQ(V_DSoundMixerBufferCount(), 0);
    EXPECT_EQ(CheckSoundPlaying(h), -1);
}

TEST(SoundSystem, StartReportsTheDeviceAndFailedLoadsAreLogged) {
    StartFreshLog();
    V_DSoundMixerSetManual(1);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    std::string log = ReadLog();
    for (const char* line : {"DirectSound の初期化を行います", "DirectSound デバイスを列挙します",
                             "利用可能チャンネル", " プライマリ MONO = OK  STEREO = OK ",
                             "右記のファイルのオープンに失敗しました：missing.wav",
                             "右記の音声ファイルのロードに失敗しました_1：missing.wav",
                             "DirectSound の初期化は正常に終了しました",
                             "DirectSound の終了処理は正常に終了しました"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}
