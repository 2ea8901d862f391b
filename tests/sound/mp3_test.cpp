// MPEG audio through the compression manager: frame headers, the frame scan between the
// ID3 tags, sample counts, hostile files, and real frames made by FFmpeg's encoders decoded
// back to their sine.
#include "encoded_sound.h"

namespace {

// The MP3 probe alone over a memory image.
struct Mp3Probe {
    Bytes image;
    SoundDecoder decoder{};
    int result = -1;
    explicit Mp3Probe(Bytes bytes) : image(std::move(bytes)) {
        decoder.stream.functions = *GetMemoryStreamFunctions();
        decoder.stream.handle = OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
        decoder.totalSamples = -1;
        result = OpenMp3AcmDecoder(&decoder);
    }
    ~Mp3Probe() {
        if (result == 0) CloseAcmDecoder(&decoder);
        CloseMemoryStream(decoder.stream.handle);
    }
};

// A frame: its header and zero bytes up to `length`.
Bytes Frame(uint8_t b1, uint8_t b2, uint8_t b3, size_t length) {
    Bytes b(length, 0);
    b[0] = 0xFF;
    b[1] = b1;
    b[2] = b2;
    b[3] = b3;
    return b;
}
// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, stereo: 417 bytes, 1152 samples.
Bytes Frame128() { return Frame(0xFB, 0x90, 0x00, 417); }
// MPEG-2 Layer III, 144 kbit/s, 24000 Hz, mono: 432 bytes, 576 samples.
Bytes FrameMpeg2() { return Frame(0xF3, 0xD4, 0xC0, 432); }

void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

Bytes Id3v2(uint8_t major, uint8_t flags, uint32_t size) {
    Bytes b = {'I', 'D', '3', major, 0, flags};
    for (int shift = 21; shift >= 0; shift -= 7)
        b.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    // A body that holds what looks like frame headers: none of it may be scanned.
    for (uint32_t i = 0; i < size; ++i)
        b.push_back(i % 50 == 7 ? 0xFF : (i % 50 == 8 ? 0xFB : 0x20));
    return b;
}

Bytes Id3v1() {
    Bytes b = {'T', 'A', 'G'};
    b.resize(128, 0xFF);  // sync-like bytes in the tag are not frames either
    return b;
}

struct Parsed {
    int result;
    Mp3FrameInfo info;
};
Parsed Parse(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t h[4] = {b0, b1, b2, b3};
    Parsed p{};
    p.result = ParseMp3FrameHeader(h, &p.info);
    return p;
}

}  // namespace

TEST(Mp3Header, TablesGiveLengthsAndSampleCounts) {
    struct Case {
        uint8_t b1, b2, b3;
        int layer, version, channels;
        uint32_t rate, bitrate, length, samples;
    };
    const Case cases[] = {
        {0xFB, 0x90, 0x00, 2, 0, 2, 44100, 128, 417, 1152},   // MPEG-1 Layer III
        {0xFB, 0x92, 0x00, 2, 0, 2, 44100, 128, 418, 1152},   // padded
        {0xF3, 0xD4, 0xC0, 2, 1, 1, 24000, 144, 432, 576},    // MPEG-2 Layer III, mono
        {0xFA, 0xE8, 0x40, 2, 0, 2, 32000, 320, 1440, 1152},  // joint stereo, no CRC bit
        {0xFD, 0x84, 0x80, 1, 0, 2, 48000, 128, 384, 1152},   // MPEG-1 Layer II, dual channel
        {0xF5, 0xE0, 0x00, 1, 1, 2, 22050, 160, 1044, 1152},  // MPEG-2 Layer II
        {0xFF, 0xC0, 0xC0, 0, 0, 1, 44100, 384, 416, 384},    // MPEG-1 Layer I
        {0xFF, 0xC2, 0x00, 0, 0, 2, 44100, 384, 420, 384},    // padded: one slot of 4 bytes
        {0xF7, 0xE8, 0x00, 0, 1, 2, 16000, 256, 768, 384},    // MPEG-2 Layer I
        {0xF3, 0x18, 0x00, 2, 1, 2, 16000, 8, 36, 576},       // the smallest bitrate
    };
    for (const Case& c : cases) {
        Parsed p = Parse(0xFF, c.b1, c.b2, c.b3);
        SCOPED_TRACE(testing::Message() << std::hex << int(c.b1) << " " << int(c.b2));
        ASSERT_EQ(p.result, 0);
        EXPECT_EQ(p.info.layerIndex, c.layer);
        EXPECT_EQ(p.info.version, c.version);
        EXPECT_EQ(p.info.channels, c.channels);
        EXPECT_EQ(p.info.sampleRate, c.rate);
        EXPECT_EQ(p.info.bitrate, c.bitrate);
        EXPECT_EQ(p.info.frameLength, c.length);
        EXPECT_EQ(p.info.samplesPerFrame, c.samples);
    }
    // No sync: a first byte other than FF, or MPEG-2.5 (FF E3) and other low second bytes.
    EXPECT_EQ(Parse(0xFE, 0xFB, 0x90, 0).result, -2);
    EXPECT_EQ(Parse(0xFF, 0xE3, 0x90, 0).result, -2);
    EXPECT_EQ(Parse(0xFF, 0x7B, 0x90, 0).result, -2);
    // Reserved layer, bitrate index 15, rate index 3, and the free format.
    EXPECT_EQ(Parse(0xFF, 0xF9, 0x90, 0).result, -1);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0xF0, 0).result, -1);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x9C, 0).result, -1);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x00, 0).result, -1);
}

TEST(Mp3Scan, TagsAreSkippedAndFramesCounted) {
    // ID3v2.3 of 1000 bytes, five frames, ID3v1: the frames start at 1010 and end at the tag.
    Bytes file = Id3v2(3, 0, 1000);
    for (int i = 0; i < 5; ++i) Append(file, Frame128());
    Append(file, Id3v1());
    Mp3Probe p(file);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.decoder.kind, kDecoderAcm);
    EXPECT_EQ(p.decoder.dataStart, 1010);
    EXPECT_EQ(p.decoder.dataSize, 5 * 417);
    EXPECT_EQ(p.decoder.compressedSize, 5 * 417);
    EXPECT_EQ(p.decoder.totalSamples, 5 * 1152);
    EXPECT_EQ(GetSoundDecoderLength(&p.decoder), 5 * 1152 * 4);
    EXPECT_EQ(std::memcmp(p.decoder.compressedData, file.data() + 1010, 5 * 417), 0);
    // The stream is left at the data start.
    EXPECT_EQ(p.decoder.stream.functions.tell(p.decoder.stream.handle), 1010);

    // The format handed to the manager, and the PCM it suggests.
    const auto* mp3 = reinterpret_cast<const V_MPEGLAYER3WAVEFORMAT*>(p.decoder.sourceFormat);
    EXPECT_EQ(mp3->wfx.wFormatTag, 0x55);
    EXPECT_EQ(mp3->wfx.nChannels, 2);
    EXPECT_EQ(mp3->wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(mp3->wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(mp3->wfx.nBlockAlign, 1);
    EXPECT_EQ(mp3->wfx.wBitsPerSample, 0);
    EXPECT_EQ(mp3->wfx.cbSize, 12);
    EXPECT_EQ(mp3->wID, 1);
    EXPECT_EQ(mp3->fdwFlags, 0u);
    EXPECT_EQ(mp3->nBlockSize, 417);
    EXPECT_EQ(mp3->nFramesPerBlock, 1);
    EXPECT_EQ(mp3->nCodecDelay, 700);
    EXPECT_EQ(p.decoder.format.wFormatTag, 1);
    EXPECT_EQ(p.decoder.format.nChannels, 2);
    EXPECT_EQ(p.decoder.format.wBitsPerSample, 16);
    EXPECT_EQ(p.decoder.format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(p.decoder.chunkSize, 176400 * 4 / 3);

    // ID3v2.4 with a footer: 20 bytes besides the body; ID3v2.3 knows no footer.
    Bytes v4 = Id3v2(4, 0x10, 1000);
    Append(v4, {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 7, 0x68});
    Append(v4, FrameMpeg2());
    Mp3Probe footer(v4);
    ASSERT_EQ(footer.result, 0);
    EXPECT_EQ(footer.decoder.dataStart, 1020);
    EXPECT_EQ(footer.decoder.totalSamples, 576);
    EXPECT_EQ(footer.decoder.format.nChannels, 1);
    EXPECT_EQ(footer.decoder.format.nSamplesPerSec, 24000u);
    EXPECT_EQ(footer.decoder.chunkSize, 48000 * 4 / 3);
    Bytes v3 = Id3v2(3, 0x10, 1000);
    Append(v3, Frame128());
    Mp3Probe noFooter(v3);
    ASSERT_EQ(noFooter.result, 0);
    EXPECT_EQ(noFooter.decoder.dataStart, 1010);
}

TEST(Mp3Scan, GapsFalseSyncsAndEndsOfData) {
    // Junk before the first frame, a false sync (FF 12), MPEG-2.5 (FF E3) and zeros between
    // frames: all skipped by the scan; frames of either version are counted.
    Bytes file(37, 0x11);
    Append(file, Frame(0xFB, 0x92, 0x00, 418));  // padded: fdwFlags 1
    Append(file, {0x00, 0xFF, 0x12, 0x00, 0xFF, 0xE3, 0x90, 0x00, 0x00});
    Append(file, FrameMpeg2());
    Append(file, Frame128());
    Append(file, Bytes(300, 0));  // trailing zeros: the data ends with the last frame
    Mp3Probe p(file);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.decoder.dataStart, 37);
    EXPECT_EQ(p.decoder.dataSize, 418 + 9 + 432 + 417);
    EXPECT_EQ(p.decoder.totalSamples, 1152 + 576 + 1152);
    EXPECT_EQ(reinterpret_cast<const V_MPEGLAYER3WAVEFORMAT*>(p.decoder.sourceFormat)->fdwFlags,
              1u);

    // Zeros between the last frame and the ID3v1 tag: the scan stops at the tag, whose
    // bytes would read as an invalid header.
    Bytes tagged = Frame128();
    Append(tagged, Bytes(50, 0));
    Append(tagged, Id3v1());
    Mp3Probe beforeTag(tagged);
    ASSERT_EQ(beforeTag.result, 0);
    EXPECT_EQ(beforeTag.decoder.dataSize, 417);
    EXPECT_EQ(beforeTag.decoder.totalSamples, 1152);

    // The last frame runs into the ID3v1 tag: the data ends at the tag, the frame counts whole.
    const Bytes frame = Frame128();
    Bytes clipped;
    for (int i = 0; i < 3; ++i) Append(clipped, frame);
    Append(clipped, Bytes(frame.begin(), frame.begin() + 200));
    Append(clipped, Id3v1());
    Mp3Probe atTag(clipped);
    ASSERT_EQ(atTag.result, 0);
    EXPECT_EQ(atTag.decoder.dataSize, static_cast<int32_t>(clipped.size()) - 128);
    EXPECT_EQ(atTag.decoder.totalSamples, 4 * 1152);

    // Frames that break off at the end of the file: the same without a tag.
    Bytes broken;
    for (int i = 0; i < 3; ++i) Append(broken, frame);
    Append(broken, Bytes(frame.begin(), frame.begin() + 100));
    Mp3Probe cut(broken);
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(cut.decoder.dataSize, 3 * 417 + 100);
    EXPECT_EQ(cut.decoder.totalSamples, 4 * 1152);

    // A single frame far longer than the file is taken, clipped to the file.
    Bytes longFrame = Frame(0xFA, 0xE8, 0x00, 300);  // says 1440 bytes
    Mp3Probe runsPast(longFrame);
    ASSERT_EQ(runsPast.result, 0);
    EXPECT_EQ(runsPast.decoder.dataSize, 300);
    EXPECT_EQ(runsPast.decoder.totalSamples, 1152);
    // Through the chain such a file decodes to nothing, unharmed.
    ChainDecoder chain(longFrame);
    ASSERT_EQ(chain.result, 0);
    EXPECT_LE(DecodeAllSamples(&chain.decoder).size() * 2,
              static_cast<size_t>(GetSoundDecoderLength(&chain.decoder)));
}

TEST(Mp3Scan, HostileFilesAreRefused) {
    auto refused = [](const Bytes& file) { return Mp3Probe(file).result == -1; };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused(Bytes(5000, 0)));
    // The first header met has a reserved field.
    EXPECT_TRUE(refused(Frame(0xFB, 0xF0, 0x00, 600)));  // bitrate index 15
    EXPECT_TRUE(refused(Frame(0xFB, 0x9C, 0x00, 600)));  // rate index 3
    EXPECT_TRUE(refused(Frame(0xF9, 0x90, 0x00, 600)));  // layer bits 0
    EXPECT_TRUE(refused(Frame(0xFB, 0x00, 0x00, 600)));  // free format
    // A later false sync with an invalid header refuses the whole file.
    Bytes file = Frame128();
    Append(file, {0x00, 0xFF, 0xFB, 0xFC, 0x00});
    Append(file, Frame128());
    EXPECT_TRUE(refused(file));
    // An ID3v2 tag whose size points past the end.
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    Append(tag, Frame128());
    EXPECT_TRUE(refused(tag));
    Bytes shortTag = {'I', 'D', '3', 3, 0};
    EXPECT_TRUE(refused(shortTag));
    // 128 bytes or less: no frame fits, even a whole one; one byte more and it does.
    Bytes small = Frame(0xF3, 0x44, 0x00, 96);  // MPEG-2, 32 kbit/s, 24000 Hz: 96 bytes
    small.resize(128, 0);
    EXPECT_TRUE(refused(small));
    small.push_back(0);
    Mp3Probe fits(small);
    ASSERT_EQ(fits.result, 0);
    EXPECT_EQ(fits.decoder.dataSize, 96);

    // Random files with sync bytes sown in: refused or taken, never harmed; whatever is
    // taken decodes within its length (the decoder's complaints are kept quiet).
    const int logLevel = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    uint32_t seed = 99;
    auto next = [&]() { return seed = seed * 1664525 + 1013904223; };
    for (int round = 0; round < 150; ++round) {
        Bytes noise(200 + next() % 3000);
        for (auto& b : noise) b = static_cast<uint8_t>(next() >> 24);
        for (int i = 0; i < 6; ++i) {
            size_t at = next() % (noise.size() - 4);
            noise[at] = 0xFF;
            noise[at + 1] = static_cast<uint8_t>(0xF2 | (next() & 0x0D));
            noise[at + 2] = static_cast<uint8_t>((next() % 14 + 1) << 4 | (next() % 3) << 2);
        }
        ChainDecoder c(noise);
        if (c.result == 0) {
            EXPECT_LE(DecodeAllSamples(&c.decoder).size() * 2,
                      static_cast<size_t>(GetSoundDecoderLength(&c.decoder)));
        }
    }
    av_log_set_level(logLevel);
}

TEST(Mp3Decode, Mp3FramesDecodeToTheirSine) {
    MpegAudio mp3 = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 44100, 128, 44100);
    if (mp3.data.empty()) GTEST_SKIP() << "this FFmpeg has no MP3 encoder";
    Bytes file = Id3v2(4, 0, 300);
    Append(file, mp3.data);
    Append(file, Id3v1());
    ChainDecoder c(file);
    ASSERT_EQ(c.result, 0);
    SoundDecoder* d = &c.decoder;
    EXPECT_EQ(d->kind, kDecoderAcm);
    EXPECT_EQ(d->dataStart, 310);
    EXPECT_EQ(d->totalSamples, mp3.frameCount * 1152);
    EXPECT_EQ(d->format.nChannels, 2);
    EXPECT_EQ(d->format.nSamplesPerSec, 44100u);
    const int32_t length = GetSoundDecoderLength(d);
    EXPECT_EQ(length, mp3.frameCount * 1152 * 4);
    auto whole = DecodeAllSamples(d);
    EXPECT_EQ(whole.size() * 2, static_cast<size_t>(length));
    const int lag = FindSineLag(whole, 2, 44100, 3000);
    EXPECT_EQ(lag, mp3.delay);
    // The encoder gives the sine back about 5% quieter: an RMS distance of some 320.
    EXPECT_LT(SineError(whole, 2, 0, 44100, lag, 1000, 40000), 450);
    EXPECT_LT(SineError(whole, 2, 1, 44100, lag, 1000, 40000), 450);

    // Seeks forward, back to the start and past the end.
    int16_t got[32];
    for (int sample : {30000, 20, 41000, 0}) {
        SeekSoundDecoder(d, sample);
        ASSERT_EQ(ReadSoundDecoder(d, got, sizeof(got)), static_cast<int>(sizeof(got)));
        for (int i = 0; i < 32; ++i) ASSERT_EQ(got[i], whole[sample * 2 + i]) << sample;
    }
    SeekSoundDecoder(d, 1 << 22);
    EXPECT_EQ(ReadSoundDecoder(d, got, 8), 0);
    EXPECT_EQ(d->endFlag, 1);

    // A low rate and one channel: MPEG-2 frames of 576 samples.
    MpegAudio low = EncodeMpegAudio(AV_CODEC_ID_MP3, 1, 22050, 48, 22050);
    ChainDecoder mono(low.data);
    ASSERT_EQ(mono.result, 0);
    EXPECT_EQ(mono.decoder.totalSamples, low.frameCount * 576);
    EXPECT_EQ(mono.decoder.format.nBlockAlign, 2);
    auto monoSamples = DecodeAllSamples(&mono.decoder);
    EXPECT_EQ(monoSamples.size(), static_cast<size_t>(low.frameCount) * 576);
    const int monoLag = FindSineLag(monoSamples, 1, 22050, 3000);
    EXPECT_LT(SineError(monoSamples, 1, 0, 22050, monoLag, 1000, 18000), 450);
}

TEST(Mp3Decode, ChannelsThatChangeMidwayKeepTheOutputFormat) {
    MpegAudio stereo = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 44100, 128, 11025);
    if (stereo.data.empty()) GTEST_SKIP() << "this FFmpeg has no MP3 encoder";
    MpegAudio mono = EncodeMpegAudio(AV_CODEC_ID_MP3, 1, 44100, 64, 11025);
    MpegAudio half = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 22050, 64, 11025);
    Bytes file = stereo.data;
    Append(file, mono.data);
    Append(file, half.data);
    ChainDecoder c(file);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.decoder.format.nChannels, 2);
    EXPECT_EQ(c.decoder.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(c.decoder.totalSamples,
              (stereo.frameCount + mono.frameCount) * 1152 + half.frameCount * 576);
    auto whole = DecodeAllSamples(&c.decoder);
    // The mono part sounds on both channels of the stereo output; the 22050 Hz part comes out
    // at 44100 Hz.
    const size_t monoStart = static_cast<size_t>(stereo.frameCount) * 1152 + 3000;
    ASSERT_GT(whole.size(), 2 * (monoStart + 4000));
    int loudest = 0;
    for (size_t i = monoStart; i < monoStart + 2000; ++i)
        loudest = std::max({loudest, std::abs(whole[2 * i]), std::abs(whole[2 * i + 1])});
    EXPECT_GT(loudest, 4000);
    EXPECT_GT(whole.size(), 2u * (stereo.frameCount + mono.frameCount) * 1152 + 2 * 10000);
}

TEST(Mp3Decode, LayerTwoFramesGoTheSameWay) {
    MpegAudio mp2 = EncodeMpegAudio(AV_CODEC_ID_MP2, 2, 48000, 192, 48000);
    ASSERT_FALSE(mp2.data.empty());
    ChainDecoder c(mp2.data);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.decoder.kind, kDecoderAcm);
    EXPECT_EQ(c.decoder.totalSamples, mp2.frameCount * 1152);
    EXPECT_EQ(c.decoder.format.nSamplesPerSec, 48000u);
    auto whole = DecodeAllSamples(&c.decoder);
    EXPECT_EQ(whole.size(), static_cast<size_t>(mp2.frameCount) * 1152 * 2);
    const int lag = FindSineLag(whole, 2, 48000, 3000);
    EXPECT_LT(SineError(whole, 2, 0, 48000, lag, 1000, 40000), 300);
    EXPECT_LT(SineError(whole, 2, 1, 48000, lag, 1000, 40000), 300);
}
