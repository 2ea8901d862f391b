// MPEG audio converted whole through the streaming graph (memory reader, platform decoder,
// sample grabber, null renderer): the PCM against FFmpeg's own decoding, the growing block,
// the decoder chain's fallback when the frame scan refuses, loading as a sound, and files
// without MPEG audio refused with their log line.
#include <fstream>
#include <iterator>

#include "core/log_capture.h"
#include "core/window.h"
#include "media_support/media_encode.h"
#include "media_support/sound_encode.h"
#include "sound/mp3_dshow.h"
#include "sound_support.h"
#include "sound/sound_decoder.h"

namespace {

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A frame header with a reserved bit rate: the frame scan of the compression path refuses
// the file, FFmpeg's parser skips it.
void AppendBadHeader(Bytes& b) {
    for (uint8_t v : {0xFF, 0xFB, 0xF0, 0x00}) b.push_back(v);
}

struct MemoryDecoder {
    Bytes image;
    SoundDecoder decoder{};
    explicit MemoryDecoder(Bytes bytes) : image(std::move(bytes)) {
        decoder.stream.functions = *GetMemoryStreamFunctions();
        decoder.stream.handle =
            OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
    }
    ~MemoryDecoder() {
        if (decoder.kind == kDecoderMemoryPcm) CloseMemoryPcm(&decoder);
        CloseMemoryStream(decoder.stream.handle);
    }
};

// The whole decoder chain over a memory image.
struct ChainDecoderForGraph {
    Bytes image;
    StreamHolder stream{};
    SoundDecoder decoder{};
    int result = -1;
    explicit ChainDecoderForGraph(Bytes bytes) : image(std::move(bytes)) {
        stream.functions = *GetMemoryStreamFunctions();
        stream.handle = OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
        result = OpenSoundDecoder(&stream, &decoder);
    }
    ~ChainDecoderForGraph() {
        if (decoder.openFlag) CloseSoundDecoder(&decoder);
        CloseMemoryStream(stream.handle);
    }
};

struct Reference {
    std::vector<int16_t> pcm;
    int rate = 0, channels = 0;
};
Reference DecodeReference(const std::string& path) {
    Reference r;
    r.pcm = media::DecodeAudioFile(path, &r.rate, &r.channels);
    return r;
}

// The conversion pumps the window's messages and gives up once the program is to end: each
// test starts with no end requested (an earlier test of this program may have ended it).
class Mp3Graph : public ::testing::Test {
protected:
    void SetUp() override {
        StartFreshLog();
        g_Window.quit = 0;
    }
    void TearDown() override { g_Window.quit = 0; }
};

TEST_F(Mp3Graph, ConvertsLikeFfmpegAndGrowsTheBlockInMegabyteSteps) {
    struct Case {
        const char* encoder;
        int rate, channels;
    };
    // Layer III at 44.1 kHz stereo (the PCM is more than ten times the file), Layer II mono.
    for (const Case& c : {Case{"libmp3lame", 44100, 2}, Case{"mp2", 22050, 1}}) {
        std::string path = std::string("graph_") + c.encoder + ".mpa";
        if (!media::WriteTestMpegAudio(path, c.encoder, c.rate, c.channels, 1.5)) {
            std::printf("no %s encoder: case skipped\n", c.encoder);
            continue;
        }
        Reference ref = DecodeReference(path);
        ASSERT_FALSE(ref.pcm.empty());
        MemoryDecoder m(ReadBytes(path));
        ASSERT_EQ(ConvertMp3ToPcm(&m.decoder), 0) << c.encoder;
        EXPECT_EQ(m.decoder.kind, kDecoderMemoryPcm);
        const V_WAVEFORMATEX& f = m.decoder.format;
        EXPECT_EQ(f.wFormatTag, 1);
        EXPECT_EQ(f.nChannels, ref.channels);
        EXPECT_EQ(static_cast<int>(f.nSamplesPerSec), ref.rate);
        EXPECT_EQ(f.wBitsPerSample, 16);
        EXPECT_EQ(f.nBlockAlign, 2 * ref.channels);
        EXPECT_EQ(f.nAvgBytesPerSec, f.nSamplesPerSec * f.nBlockAlign);
        EXPECT_EQ(f.cbSize, 0);
        EXPECT_EQ(m.decoder.chunkSize, static_cast<int32_t>(f.nAvgBytesPerSec));
        ASSERT_EQ(m.decoder.pcm.used, ref.pcm.size() * 2);
        EXPECT_EQ(std::memcmp(m.decoder.pcm.data, ref.pcm.data(), m.decoder.pcm.used), 0);
        // Ten times the file first, then whole megabytes.
        uint32_t first = static_cast<uint32_t>(m.image.size()) * 10;
        EXPECT_GE(m.decoder.pcm.capacity, m.decoder.pcm.used);
        EXPECT_EQ((m.decoder.pcm.capacity - first) % 1048576u, 0u);
        if (m.decoder.pcm.used > first) {
            EXPECT_GT(m.decoder.pcm.capacity, first);
        }
    }
}

TEST_F(Mp3Graph, TheChainFallsBackToTheGraphWhenTheFrameScanRefuses) {
    if (!media::WriteTestMpegAudio("graph_chain.mp3", "libmp3lame", 32000, 2, 1.0))
        GTEST_SKIP() << "no MP3 encoder";
    Reference ref = DecodeReference("graph_chain.mp3");
    Bytes bytes = ReadBytes("graph_chain.mp3");
    AppendBadHeader(bytes);
    {
        // The compression path alone refuses this file.
        MemoryDecoder probe(bytes);
        probe.decoder.totalSamples = -1;
        EXPECT_EQ(OpenMp3AcmDecoder(&probe.decoder), -1);
    }
    ChainDecoderForGraph chain(bytes);
    ASSERT_EQ(chain.result, 0);
    EXPECT_EQ(chain.decoder.kind, kDecoderMemoryPcm);
    EXPECT_EQ(GetSoundDecoderLength(&chain.decoder), static_cast<int32_t>(ref.pcm.size() * 2));
    // Read in the decoder's chunks, then again from a sample in the middle.
    std::vector<int16_t> all(ref.pcm.size());
    ASSERT_EQ(ReadSoundDecoder(&chain.decoder, all.data(), static_cast<int32_t>(all.size() * 2)),
              static_cast<int32_t>(all.size() * 2));
    EXPECT_EQ(all, ref.pcm);
    ASSERT_EQ(SeekSoundDecoder(&chain.decoder, 5000), 0);
    EXPECT_EQ(chain.decoder.pcmReadOffset, 5000 * 4);
    int16_t part[64];
    ASSERT_EQ(ReadSoundDecoder(&chain.decoder, part, sizeof(part)), static_cast<int32_t>(sizeof(part)));
    EXPECT_EQ(std::memcmp(part, &ref.pcm[5000 * 2], sizeof(part)), 0);
    EXPECT_EQ(ReadLog().find("失敗"), std::string::npos);
}

TEST_F(SoundSystemTest, Mp3LoadsThroughTheGraphWhenTheFrameScanRefuses) {
    if (!media::WriteTestMpegAudio("graph_load.mp3", "libmp3lame", 44100, 1, 0.5))
        GTEST_SKIP() << "no MP3 encoder";
    g_Window.quit = 0;  // the conversion gives up once the program is to end
    Bytes bytes = ReadBytes("graph_load.mp3");
    AppendBadHeader(bytes);
    WriteScratchFile("graph_load_bad.mp3", bytes);
    SoundHandle handle = LoadSoundFile("graph_load_bad.mp3", 2, -1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
}

// Frames that turn from stereo to mono halfway: the converter follows the frames, the sound
// stays stereo at the first frame's rate and keeps every sample.
TEST_F(SoundSystemTest, StereoFramesFollowedByMonoFramesLoadThroughTheGraph) {
    MpegAudio stereo = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 44100, 128, 11025);
    if (stereo.data.empty()) GTEST_SKIP() << "no MP3 encoder";
    MpegAudio mono = EncodeMpegAudio(AV_CODEC_ID_MP3, 1, 44100, 64, 11025);
    g_Window.quit = 0;
    Bytes image = stereo.data;
    image.insert(image.end(), mono.data.begin(), mono.data.end());
    AppendBadHeader(image);
    SoundHandle handle =
        CreateSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 1, -1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(GetSoundLengthSamples(handle), (stereo.frameCount + mono.frameCount) * 1152);
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
}

TEST_F(Mp3Graph, FilesWithoutMpegAudioAreRefusedWithTheirLogLine) {
    std::vector<Bytes> files;
    files.push_back(Bytes(4000, 0x41));                       // plain text
    files.push_back(PcmWave(1, 8000, 16, Bytes(1600, 0)));    // audio, but not MPEG
    if (media::WriteTestMovie("graph_video_only.avi", 32, 32, 3, 10))
        files.push_back(ReadBytes("graph_video_only.avi"));  // a movie without sound
    for (size_t i = 0; i < files.size(); ++i) {
        MemoryDecoder m(files[i]);
        EXPECT_EQ(ConvertMp3ToPcm(&m.decoder), -1) << i;
        EXPECT_EQ(m.decoder.pcm.data, nullptr);
        EXPECT_NE(m.decoder.kind, kDecoderMemoryPcm);
    }
    std::string log = ReadLog();
    size_t count = 0;
    for (size_t at = log.find("グラフの構築に失敗しました"); at != std::string::npos;
         at = log.find("グラフの構築に失敗しました", at + 1))
        ++count;
    EXPECT_EQ(count, files.size());
    // Nothing else was logged: one line per failure, without a line break of its own.
    EXPECT_EQ(log.find('\n'), std::string::npos);
}

TEST_F(Mp3Graph, TheProgramsEndAbandonsTheConversion) {
    if (!media::WriteTestMpegAudio("graph_end.mp3", "mp2", 22050, 1, 0.5)) GTEST_SKIP();
    MemoryDecoder m(ReadBytes("graph_end.mp3"));
    g_Window.quit = 1;
    EXPECT_EQ(ConvertMp3ToPcm(&m.decoder), -1);
    EXPECT_EQ(m.decoder.pcm.data, nullptr);
    std::string log = ReadLog();
    const std::string line = "MP3変換の途中でソフトが終了しました";
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);  // the only line, as it stands
    EXPECT_EQ(log.find(line), log.rfind(line));
}

// The graph is stopped while the decoder's thread delivers into the grabber: the pins' flags
// are changed and read on the two threads without a data race (run under ThreadSanitizer).
TEST_F(Mp3Graph, StoppingWhileTheDecoderDeliversIsRaceFree) {
    if (!media::WriteTestMpegAudio("graph_race.mp3", "mp2", 22050, 1, 3.0)) GTEST_SKIP();
    Bytes image = ReadBytes("graph_race.mp3");
    for (int round = 0; round < 20; ++round) {
        MemoryDecoder m(image);
        g_Window.quit = 1;
        EXPECT_EQ(ConvertMp3ToPcm(&m.decoder), -1) << round;
        EXPECT_EQ(m.decoder.pcm.data, nullptr) << round;
    }
}

TEST_F(Mp3Graph, GrabberCallbackGrowsByWholeMegabytesAndDropsAfterAFailedGrowth) {
    // A sample larger than the free room plus 1 MiB: two steps at once.
    SoundDecoder d{};
    d.pcm.data = static_cast<uint8_t*>(VELK_ALLOC(100));
    d.pcm.capacity = 100;
    d.pcm.used = 90;
    std::memset(d.pcm.data, 7, 90);
    struct BigSample : V_CMediaSample {
        BigSample(V_BYTE* b, long n) : V_CMediaSample(nullptr, b, n) { SetActualDataLength(n); }
    };
    std::vector<V_BYTE> payload(1048576 + 200, 9);
    auto* sample = new BigSample(payload.data(), static_cast<long>(payload.size()));
    sample->AddRef();
    EXPECT_EQ(Mp3GrabberCallback(sample, nullptr, nullptr, V_FALSE, &d), 0);
    EXPECT_EQ(d.pcm.capacity, 100u + 2 * 1048576u);
    EXPECT_EQ(d.pcm.used, 90u + payload.size());
    EXPECT_EQ(d.pcm.data[89], 7);
    EXPECT_EQ(d.pcm.data[90], 9);
    // With no block (a growth failed earlier) samples are dropped.
    FreeMemory(d.pcm.data);
    d.pcm = PcmGrowBuffer{};
    EXPECT_EQ(Mp3GrabberCallback(sample, nullptr, nullptr, V_FALSE, &d), 0);
    EXPECT_EQ(d.pcm.data, nullptr);
    EXPECT_EQ(d.pcm.used, 0u);
    sample->Release();
}

}  // namespace
