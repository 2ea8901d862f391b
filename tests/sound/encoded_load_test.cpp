// Ogg Vorbis and MP3 files loaded through the library's sound calls and played on the manual
// mixer, as effects decoded into buffers and as streams from the file or a memory copy.
#include "encoded_sound.h"
#include "sound/sound_internal.h"

namespace {

// Interleaved output of `frames` frames, rendered in 10 ms steps with a stream refill after
// each step (as the refill thread would do).
std::vector<int16_t> PlayOut(SoundHandle handle, int frames) {
    const bool stream = GetSoundRecord(handle)->streamFlag != 0;
    std::vector<int16_t> out;
    for (int done = 0; done < frames;) {
        const int n = std::min(441, frames - done);
        auto part = Render(n);
        out.insert(out.end(), part.begin(), part.end());
        done += n;
        if (stream) RefillStreamSound(handle);
    }
    return out;
}

// Loads `bytes` as a file with the given create type.
SoundHandle LoadAs(const std::string& name, const Bytes& bytes, int createType) {
    EXPECT_EQ(SetSoundCreateType(createType), 0);
    SoundHandle h = LoadSoundFile(WriteScratchFile(name, bytes).c_str(), 1, -1);
    SetSoundCreateType(0);
    return h;
}

// Checks both output channels against the sine of a mono or stereo source.
void ExpectSine(const std::vector<int16_t>& out, int sourceChannels, int lag, int frames,
                double most) {
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        for (int i = 1000; i < frames; ++i) {
            const double d = out[static_cast<size_t>(i + lag) * 2 + c] -
                             TestSine(sourceChannels == 1 ? 0 : c, i, 44100);
            sum += d * d;
        }
        EXPECT_LT(std::sqrt(sum / (frames - 1000)), most) << "channel " << c;
    }
}

}  // namespace

TEST_F(SoundSystemTest, OggVorbisPlaysAsAnEffectAndAsStreams) {
    const Bytes stereo = EncodeOggVorbis(2, 44100, 22050);
    SoundHandle effect = LoadAs("effect.ogg", stereo, kSoundCreateNormal);
    ASSERT_NE(effect, -1);
    EXPECT_EQ(GetSoundRecord(effect)->streamFlag, 0);
    EXPECT_EQ(GetSoundLengthSamples(effect), 22050);
    EXPECT_EQ(GetSoundLengthMs(effect), 500);
    ASSERT_EQ(PlaySoundHandle(effect, kPlayTypeBackground, 1), 0);
    auto out = PlayOut(effect, 22050 + 441);
    ExpectSine(out, 2, 0, 22000, 150);
    EXPECT_EQ(out[2 * 22300], 0);
    EXPECT_EQ(CheckSoundPlaying(effect), 0);
    EXPECT_EQ(DeleteSoundHandle(effect), 0);

    // A mono stream read from the file through vorbisfile on the refill steps.
    const Bytes mono = EncodeOggVorbis(1, 44100, 66150);
    SoundHandle fromFile = LoadAs("stream.ogg", mono, kSoundCreateStreamFile);
    ASSERT_NE(fromFile, -1);
    EXPECT_EQ(GetSoundRecord(fromFile)->streamFlag, 1);
    EXPECT_EQ(GetSoundLengthMs(fromFile), 1500);
    ASSERT_EQ(PlaySoundHandle(fromFile, kPlayTypeBackground, 1), 0);
    ExpectSine(PlayOut(fromFile, 60000), 1, 0, 60000, 150);
    EXPECT_EQ(StopSoundHandle(fromFile), 0);
    EXPECT_EQ(DeleteSoundHandle(fromFile), 0);

    // A stereo stream from a memory copy, looped: the second pass starts with the sine again.
    SoundHandle looped = LoadAs("loop.ogg", stereo, kSoundCreateStreamMemory);
    ASSERT_NE(looped, -1);
    ASSERT_EQ(PlaySoundHandle(looped, kPlayTypeLoop, 1), 0);
    out = PlayOut(looped, 44100 + 441);
    ExpectSine(out, 2, 0, 22000, 150);
    std::vector<int16_t> second(out.begin() + 2 * 22050, out.end());
    ExpectSine(second, 2, 0, 22000, 150);
}

// A chained stream whose second link changes layout plays its first link only, and its length
// is that link's, whichever way it is loaded.
TEST_F(SoundSystemTest, AChainedOggWhoseLayoutChangesIsAsLongAsItsFirstLink) {
    Bytes chained = EncodeOggVorbis(1, 22050, 33075);
    const Bytes second = EncodeOggVorbis(2, 44100, 66150, nullptr, 0.4f, 4712);
    chained.insert(chained.end(), second.begin(), second.end());
    for (int type : {kSoundCreateNormal, kSoundCreateStreamMemory, kSoundCreateStreamFile}) {
        SoundHandle h = LoadAs("chained.ogg", chained, type);
        ASSERT_NE(h, -1) << type;
        EXPECT_EQ(GetSoundLengthSamples(h), 33075) << "create type " << type;
        EXPECT_EQ(GetSoundLengthMs(h), 1500) << "create type " << type;
        if (type == kSoundCreateNormal) {
            // 1.5 s of output, then it ends.
            ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBackground, 1), 0);
            PlayOut(h, 65900);
            EXPECT_EQ(CheckSoundPlaying(h), 1);
            PlayOut(h, 700);
            EXPECT_EQ(CheckSoundPlaying(h), 0);
        }
        EXPECT_EQ(DeleteSoundHandle(h), 0);
    }
}

TEST_F(SoundSystemTest, Mp3PlaysAsAnEffectAndAsAStream) {
    MpegAudio mp3 = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 44100, 160, 33075);
    if (mp3.data.empty()) GTEST_SKIP() << "this FFmpeg has no MP3 encoder";
    const int frames = mp3.frameCount * 1152;
    SoundHandle effect = LoadAs("effect.mp3", mp3.data, kSoundCreateNormal);
    ASSERT_NE(effect, -1);
    EXPECT_EQ(GetSoundRecord(effect)->streamFlag, 0);
    EXPECT_EQ(GetSoundLengthSamples(effect), frames);
    ASSERT_EQ(PlaySoundHandle(effect, kPlayTypeBackground, 1), 0);
    auto out = PlayOut(effect, frames + 441);
    ExpectSine(out, 2, mp3.delay, 32000, 450);  // the encoder's sine is 5% quieter
    EXPECT_EQ(out[2 * (frames + 100)], 0);
    EXPECT_EQ(DeleteSoundHandle(effect), 0);

    SoundHandle stream = LoadAs("stream.mp3", mp3.data, kSoundCreateStreamFile);
    ASSERT_NE(stream, -1);
    EXPECT_EQ(GetSoundRecord(stream)->streamFlag, 1);
    EXPECT_EQ(GetSoundLengthSamples(stream), frames);
    ASSERT_EQ(PlaySoundHandle(stream, kPlayTypeBackground, 1), 0);
    ExpectSine(PlayOut(stream, frames), 2, mp3.delay, 32000, 450);
}
