// RIFF/WAVE reading through the decoder chain, the in-memory WAVE writer, and hostile files.
#include "sound/sound_decoder.h"
#include "sound_support.h"

namespace {

// A decoder over a memory image; closes both at the end of the scope.
struct OpenedDecoder {
    Bytes image;
    StreamHolder stream{};
    SoundDecoder decoder{};
    int result = -1;
    explicit OpenedDecoder(Bytes bytes) : image(std::move(bytes)) {
        stream.functions = *GetMemoryStreamFunctions();
        stream.handle = OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
        result = OpenSoundDecoder(&stream, &decoder);
    }
    ~OpenedDecoder() {
        if (decoder.openFlag) CloseSoundDecoder(&decoder);
        CloseMemoryStream(stream.handle);
    }
};

Bytes Ramp(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7);
    return b;
}

}  // namespace

TEST(WaveDecoder, WalksChunksSkipsBextAndPadsOddChunks) {
    Bytes data = Ramp(40);
    Bytes bext(5, 0xAB);  // odd, but skipped without a pad byte
    Bytes image;
    PutTag(image, "RIFF");
    Put32(image, 0);
    PutTag(image, "WAVE");
    PutChunk(image, "bext", bext, /*pad=*/false);
    PutChunk(image, "fmt ", FormatBody(1, 2, 22050, 16));
    PutChunk(image, "LIST", Bytes(7, 0xCD));  // odd: 7 bytes and a pad byte
    PutChunk(image, "data", data);
    OpenedDecoder d(image);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.decoder.kind, kDecoderPcmWave);
    EXPECT_EQ(d.decoder.dataSize, 40);
    EXPECT_EQ(d.decoder.format.nChannels, 2);
    EXPECT_EQ(d.decoder.chunkSize, 22050 * 4);
    Bytes out(40);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out.data(), 40), 40);
    EXPECT_EQ(out, data);
    EXPECT_EQ(d.decoder.endFlag, 0);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out.data(), 40), 0);
    EXPECT_EQ(d.decoder.endFlag, 1);
}

TEST(WaveDecoder, ShortFormatChunkTakesItsWidthFromTheBlock) {
    OpenedDecoder d(RiffWave({{"fmt ", FormatBody(1, 2, 8000, 8, 4, 32000, false)},
                              {"data", Ramp(16)}}));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.decoder.format.wBitsPerSample, 16);
    EXPECT_EQ(d.decoder.format.cbSize, 0);
}

TEST(WaveDecoder, ReadsSeeksAndEndsAsTheCallersExpect) {
    OpenedDecoder d(PcmWave(1, 8000, 16, Ramp(100)));
    ASSERT_EQ(d.result, 0);
    uint8_t out[100];
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out, 10), 10);
    EXPECT_EQ(d.decoder.chunkLeft, 90);  // one whole chunk was read
    // A seek within 15 bytes changes nothing; 16 bytes away it is carried out.
    SeekSoundDecoder(&d.decoder, 10);
    EXPECT_EQ(d.decoder.position, 10);
    EXPECT_EQ(d.decoder.chunkLeft, 90);
    SeekSoundDecoder(&d.decoder, 13);
    EXPECT_EQ(d.decoder.position, 26);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out, 100), 74);
    EXPECT_EQ(out[0], static_cast<uint8_t>(26 * 7));
    EXPECT_EQ(d.decoder.endFlag, 1);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out, 1), 0);
    SeekSoundDecoder(&d.decoder, 0);
    EXPECT_EQ(d.decoder.endFlag, 0);
    // A seek beyond the data leaves the decoder at its end.
    SeekSoundDecoder(&d.decoder, 1000);
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, out, 1), 0);
    EXPECT_EQ(d.decoder.endFlag, 1);
    // A seek past the end, then to 10 frames before it (one byte a frame): those 10 are read.
    OpenedDecoder bytes(PcmWave(1, 8000, 8, Ramp(100)));
    ASSERT_EQ(bytes.result, 0);
    SeekSoundDecoder(&bytes.decoder, 1000);
    EXPECT_EQ(ReadSoundDecoder(&bytes.decoder, out, 1), 0);
    SeekSoundDecoder(&bytes.decoder, 90);
    EXPECT_EQ(ReadSoundDecoder(&bytes.decoder, out, 100), 10);
    EXPECT_EQ(out[0], static_cast<uint8_t>(90 * 7));

    V_WAVEFORMATEX format{};
    uint8_t* pcm = nullptr;
    int32_t size = 0;
    ASSERT_EQ(DecodeWholeSound(&d.decoder, &format, &pcm, &size), 0);
    EXPECT_EQ(size, 100);
    EXPECT_EQ(pcm[99], static_cast<uint8_t>(99 * 7));
    FreeMemory(pcm);
    // Closing leaves the caller's stream open.
    EXPECT_EQ(CloseSoundDecoder(&d.decoder), 0);
    EXPECT_EQ(CloseSoundDecoder(&d.decoder), -1);
    EXPECT_EQ(d.stream.functions.seek(d.stream.handle, 0, 0), 0);
}

// Sample numbers whose byte offset does not fit 32 bits are past the end, not wrapped round.
TEST(WaveDecoder, FarSamplesSeekPastTheEndOfTheData) {
    OpenedDecoder d(PcmWave(2, 8000, 16, Ramp(400)));  // 4 bytes a sample frame
    ASSERT_EQ(d.result, 0);
    uint8_t out[4];
    for (int32_t sample : {1 << 30, 0x40000004, INT32_MAX}) {
        SeekSoundDecoder(&d.decoder, 0);
        SeekSoundDecoder(&d.decoder, sample);
        EXPECT_EQ(d.decoder.position, INT32_MAX) << sample;
        EXPECT_EQ(ReadSoundDecoder(&d.decoder, out, 4), 0) << sample;
        EXPECT_EQ(d.decoder.endFlag, 1) << sample;
    }
}

TEST(WaveDecoder, RefusesMalformedAndHostileFilesCleanly) {
    Bytes fmt = FormatBody(1, 1, 8000, 8);
    Bytes noBlock = fmt, noRate = fmt;
    noBlock[12] = 0;                                   // nBlockAlign
    std::fill(noRate.begin() + 8, noRate.begin() + 12, 0);  // nAvgBytesPerSec
    std::vector<Bytes> refused = {
        {},
        Bytes{'R', 'I', 'F', 'F'},
        RiffWave({{"LIST", Bytes(4)}, {"fmt ", fmt}, {"data", Ramp(8)}}),  // fmt not first
        RiffWave({{"fmt ", fmt}}),                                        // no data chunk
        RiffWave({{"fmt ", fmt}, {"JUNK", Bytes(3)}}),                    // ends inside the walk
        RiffWave({{"fmt ", FormatBody(1, 0, 8000, 8, 1, 8000)}, {"data", Ramp(8)}}),
        RiffWave({{"fmt ", FormatBody(1, 1, 0, 8, 1, 1)}, {"data", Ramp(8)}}),
        RiffWave({{"fmt ", noBlock}, {"data", Ramp(8)}}),
        RiffWave({{"fmt ", noRate}, {"data", Ramp(8)}}),
        RiffWave({{"fmt ", FormatBody(1, 3, 8000, 12, 5, 40000)}, {"data", Ramp(8)}}),
        RiffWave({{"fmt ", Bytes(8)}, {"data", Ramp(8)}}),  // format chunk too short
        RiffWave({{"fmt ", FormatBody(0x9999, 1, 8000, 4)}, {"data", Ramp(8)}}),  // unknown codec
    };
    // A chunk whose size runs far past the file (and would wrap a signed offset).
    Bytes huge = RiffWave({{"fmt ", fmt}});
    PutTag(huge, "JUNK");
    Put32(huge, 0xFFFFFFF0u);
    refused.push_back(huge);
    Bytes hugeFormat;
    PutTag(hugeFormat, "RIFF");
    Put32(hugeFormat, 0);
    PutTag(hugeFormat, "WAVE");
    PutTag(hugeFormat, "fmt ");
    Put32(hugeFormat, 0x7FFFFFFF);
    refused.push_back(hugeFormat);
    for (size_t i = 0; i < refused.size(); ++i) {
        OpenedDecoder d(refused[i]);
        EXPECT_EQ(d.result, -1) << "file " << i;
    }
    EXPECT_EQ(CheckAllocations(), 0);

    // A data chunk that claims more than the file holds is cut to what is there, and every
    // truncation of a good file either opens with the bytes present or is refused.
    Bytes good = PcmWave(1, 8000, 16, Ramp(64));
    Bytes truncated(good.begin(), good.end() - 10);
    OpenedDecoder cut(truncated);
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(cut.decoder.dataSize, 54);
    for (size_t n = 0; n < good.size(); ++n) {
        OpenedDecoder d(Bytes(good.begin(), good.begin() + static_cast<long>(n)));
        if (d.result == 0) {
            EXPECT_LE(d.decoder.dataSize, static_cast<int32_t>(n) - 44);
        }
    }
}

TEST(WaveImage, WritesTheRiffLayoutAndConvertsSamples) {
    V_WAVEFORMATEX format = {1, 2, 44100, 176400, 4, 16, 0};
    Bytes data = Ramp(1000);
    uint8_t* image = nullptr;
    int32_t size = 0;
    ASSERT_EQ(BuildWaveFileImage(&image, &size, &format, 18, data.data(), 1000), 0);
    ASSERT_EQ(size, 1046);
    uint32_t riff, fmtSize, dataSize;
    std::memcpy(&riff, image + 4, 4);
    std::memcpy(&fmtSize, image + 16, 4);
    std::memcpy(&dataSize, image + 42, 4);
    EXPECT_EQ(riff, 1038u);
    EXPECT_EQ(fmtSize, 18u);
    EXPECT_EQ(std::memcmp(image + 38, "data", 4), 0);
    EXPECT_EQ(dataSize, 1000u);
    // The image reads back through the decoder.
    OpenedDecoder d(Bytes(image, image + size));
    FreeMemory(image);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.decoder.dataSize, 1000);

    EXPECT_EQ(FinishWaveCapture(), -1);
    EXPECT_EQ(ConvertSamplesToMs(44100, 44100), 1000);
    EXPECT_EQ(ConvertSamplesToMs(22050, 44100), 500);
    EXPECT_EQ(ConvertSamplesToMs(4294967, 1000), 4294967);
    EXPECT_EQ(ConvertSamplesToMs(2000000000, 44100), 45351473);
}
