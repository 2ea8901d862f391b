// Ogg Vorbis through the decoder chain: files encoded here decode to their sine at their
// length, seek to any sample, and damaged or cut files are refused or end early, unharmed.
#include "encoded_sound.h"
#include "sound/sound_internal.h"

namespace {

constexpr double kMostSineError = 150;  // RMS, of an amplitude of 9000

}  // namespace

TEST(OggVorbis, StereoAndMonoDecodeToTheirSineAtTheirLength) {
    ChainDecoder stereo(EncodeOggVorbis(2, 44100, 44100));
    ASSERT_EQ(stereo.result, 0);
    SoundDecoder* d = &stereo.decoder;
    EXPECT_EQ(d->kind, kDecoderOggVorbis);
    EXPECT_EQ(d->format.wFormatTag, 1);
    EXPECT_EQ(d->format.nChannels, 2);
    EXPECT_EQ(d->format.nSamplesPerSec, 44100u);
    EXPECT_EQ(d->format.nBlockAlign, 4);
    EXPECT_EQ(d->format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(d->format.wBitsPerSample, 16);
    EXPECT_EQ(d->format.cbSize, 0);
    EXPECT_EQ(GetSoundDecoderLength(d), 4 * 44100);
    EXPECT_EQ(d->dataSize, 4 * 44100);

    auto samples = DecodeAllSamples(d);
    ASSERT_EQ(samples.size(), 2u * 44100);
    // Vorbis output is not delayed: the sine stands where it was put, on both channels.
    EXPECT_LT(SineError(samples, 2, 0, 44100, 0, 100, 44000), kMostSineError);
    EXPECT_LT(SineError(samples, 2, 1, 44100, 0, 100, 44000), kMostSineError);

    // One refill never gives more than 4096 bytes.
    EXPECT_EQ(d->chunkSize, 4096);
    SeekSoundDecoder(d, 1000);
    uint8_t byte;
    ASSERT_EQ(ReadSoundDecoder(d, &byte, 1), 1);
    EXPECT_GT(d->chunkLeft, 0);
    EXPECT_LE(d->chunkLeft + 1, 4096);

    ChainDecoder mono(EncodeOggVorbis(1, 22050, 30000));
    ASSERT_EQ(mono.result, 0);
    EXPECT_EQ(mono.decoder.format.nBlockAlign, 2);
    EXPECT_EQ(mono.decoder.format.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(GetSoundDecoderLength(&mono.decoder), 60000);
    samples = DecodeAllSamples(&mono.decoder);
    ASSERT_EQ(samples.size(), 30000u);
    EXPECT_LT(SineError(samples, 1, 0, 22050, 0, 100, 29800), kMostSineError);
}

TEST(OggVorbis, SeeksLandOnTheirSample) {
    ChainDecoder c(EncodeOggVorbis(2, 44100, 88200));
    ASSERT_EQ(c.result, 0);
    SoundDecoder* d = &c.decoder;
    auto whole = DecodeAllSamples(d);
    ASSERT_EQ(whole.size(), 2u * 88200);

    int16_t got[64];
    for (int sample : {50000, 3, 70001, 0}) {
        SeekSoundDecoder(d, sample);
        EXPECT_EQ(d->position, sample * 4);
        EXPECT_EQ(d->chunkLeft, 0);
        ASSERT_EQ(ReadSoundDecoder(d, got, sizeof(got)), static_cast<int>(sizeof(got)));
        for (int i = 0; i < 64; ++i) ASSERT_EQ(got[i], whole[sample * 2 + i]) << sample << " " << i;
    }
    // Within 15 bytes of the position nothing happens; beyond, the seek is carried out.
    const int32_t position = d->position;
    SeekSoundDecoder(d, position / 4 + 3);
    EXPECT_EQ(d->position, position);
    // A seek past the end leaves the decoder at its end; a seek back reads again.
    SeekSoundDecoder(d, 1 << 24);
    EXPECT_EQ(d->position, (1 << 24) * 4);
    EXPECT_EQ(ReadSoundDecoder(d, got, 8), 0);
    EXPECT_EQ(d->endFlag, 1);
    SeekSoundDecoder(d, 100);
    EXPECT_EQ(d->endFlag, 0);
    ASSERT_EQ(ReadSoundDecoder(d, got, 8), 8);
    EXPECT_EQ(got[0], whole[200]);
}

TEST(OggVorbis, EightBitWidthGivesUnsignedBytes) {
    const int32_t saved = g_SoundSystem.oggSampleWidth;
    g_SoundSystem.oggSampleWidth = 1;
    ChainDecoder c(EncodeOggVorbis(1, 44100, 10000));
    g_SoundSystem.oggSampleWidth = saved;
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.decoder.format.nBlockAlign, 1);
    EXPECT_EQ(c.decoder.format.wBitsPerSample, 8);
    EXPECT_EQ(GetSoundDecoderLength(&c.decoder), 10000);
    V_WAVEFORMATEX format{};
    uint8_t* pcm = nullptr;
    int32_t size = 0;
    ASSERT_EQ(DecodeWholeSound(&c.decoder, &format, &pcm, &size), 0);
    ASSERT_EQ(size, 10000);
    double sum = 0;
    for (int i = 100; i < 9900; ++i) {
        const double d = (pcm[i] - 128) * 256.0 - TestSine(0, i, 44100);
        sum += d * d;
    }
    FreeMemory(pcm);
    EXPECT_LT(std::sqrt(sum / 9800), 300.0);
}

TEST(OggVorbis, DamagedAndCutFilesAreRefusedOrEndEarly) {
    size_t headers = 0;
    const Bytes good = EncodeOggVorbis(2, 44100, 44100, &headers);
    ASSERT_GT(good.size(), headers + 2000);

    // Cut inside the header pages, or nothing of Ogg at all: refused (by every probe).
    for (size_t keep : {size_t{0}, size_t{27}, size_t{100}, headers / 2, headers - 1}) {
        ChainDecoder c(Bytes(good.begin(), good.begin() + static_cast<long>(keep)));
        EXPECT_EQ(c.result, -1) << keep;
        EXPECT_EQ(c.decoder.openFlag, 0);
    }
    Bytes noise(20000);
    uint32_t seed = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
    EXPECT_EQ(ChainDecoder(noise).result, -1);

    // Cut in the middle of the audio: what is there decodes; the length is what vorbisfile
    // can find, never a crash or a read beyond it.
    const size_t half = headers + (good.size() - headers) / 2;
    ChainDecoder cut(Bytes(good.begin(), good.begin() + static_cast<long>(half)));
    ASSERT_EQ(cut.result, 0);
    const int32_t length = GetSoundDecoderLength(&cut.decoder);
    EXPECT_GT(length, 0);
    EXPECT_LT(length, 4 * 44100);
    auto samples = DecodeAllSamples(&cut.decoder);
    EXPECT_LE(samples.size() * 2, static_cast<size_t>(length));
    EXPECT_GT(samples.size(), 2u * 10000);
    EXPECT_LT(SineError(samples, 2, 0, 44100, 0, 100, 10000), kMostSineError);

    // Bytes spoiled across the audio pages: pages fail their checks and are skipped.
    Bytes spoiled = good;
    for (size_t i = headers + 100; i < spoiled.size(); i += 97) spoiled[i] ^= 0xA5;
    ChainDecoder damaged(spoiled);
    if (damaged.result == 0) {
        auto out = DecodeAllSamples(&damaged.decoder);
        EXPECT_LE(out.size() * 2, static_cast<size_t>(GetSoundDecoderLength(&damaged.decoder)));
    }

    // Closing a kind-2 state that vorbisfile never opened does nothing.
    SoundDecoder never{};
    EXPECT_EQ(CloseOggVorbisSound(&never), 0);
    EXPECT_EQ(never.vorbisOpen, 0);
}
