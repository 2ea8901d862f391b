// Compressed WAVE through the audio compression stand-in: an IMA ADPCM file made here with
// FFmpeg's encoder decodes through the decoder chain exactly as FFmpeg decodes it, and integer
// PCM in the extensible format header plays as its 16-bit samples.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

#include "sound/sound_decoder.h"
#include "sound_support.h"

namespace {

struct EncodedAdpcm {
    Bytes wave;                 // the RIFF/WAVE file
    std::vector<Bytes> blocks;  // its data, block by block
    V_WAVEFORMATEX format{};
    Bytes extra;
};

// Encodes `seconds` of a two-tone stereo signal as IMA ADPCM with the given block size.
EncodedAdpcm EncodeAdpcm(int rate, double seconds, int blockSize) {
    EncodedAdpcm result;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, 2);
    c->sample_fmt = codec->sample_fmts[0];
    av_opt_set_int(c->priv_data, "block_size", blockSize, 0);
    EXPECT_EQ(avcodec_open2(c, codec, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int total = static_cast<int>(rate * seconds);
    int done = 0;
    while (done < total) {
        frame->nb_samples = c->frame_size;
        frame->format = c->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < c->frame_size; ++i, ++done) {
            double t = static_cast<double>(done) / rate;
            int16_t l = done < total ? static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t)) : 0;
            int16_t r = done < total ? static_cast<int16_t>(7000 * std::sin(2 * M_PI * 660 * t)) : 0;
            if (c->sample_fmt == AV_SAMPLE_FMT_S16P) {
                reinterpret_cast<int16_t*>(frame->data[0])[i] = l;
                reinterpret_cast<int16_t*>(frame->data[1])[i] = r;
            } else {
                reinterpret_cast<int16_t*>(frame->data[0])[2 * i] = l;
                reinterpret_cast<int16_t*>(frame->data[0])[2 * i + 1] = r;
            }
        }
        EXPECT_EQ(avcodec_send_frame(c, frame), 0);
        while (avcodec_receive_packet(c, packet) == 0) {
            result.blocks.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_frame_unref(frame);
    }
    uint16_t blockAlign = static_cast<uint16_t>(c->block_align);
    result.extra.assign(c->extradata, c->extradata + c->extradata_size);
    uint32_t avg = static_cast<uint32_t>(static_cast<uint64_t>(blockAlign) * rate / c->frame_size);
    Bytes data;
    for (const Bytes& b : result.blocks) data.insert(data.end(), b.begin(), b.end());
    result.wave = RiffWave({{"fmt ", FormatBody(0x11, 2, rate, 4, blockAlign, avg, true,
                                                result.extra)},
                            {"fact", Bytes(4)},
                            {"data", data}});
    result.format = {0x11, 2, static_cast<uint32_t>(rate), avg, blockAlign, 4,
                     static_cast<uint16_t>(result.extra.size())};
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return result;
}

// FFmpeg's own decoding of the blocks, interleaved 16-bit.
std::vector<int16_t> ReferenceDecode(const EncodedAdpcm& e) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = static_cast<int>(e.format.nSamplesPerSec);
    av_channel_layout_default(&c->ch_layout, 2);
    c->block_align = e.format.nBlockAlign;
    c->bits_per_coded_sample = 4;
    EXPECT_EQ(avcodec_open2(c, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<int16_t> out;
    for (const Bytes& b : e.blocks) {
        av_new_packet(packet, static_cast<int>(b.size()));
        std::memcpy(packet->data, b.data(), b.size());
        avcodec_send_packet(c, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(c, frame) == 0) {
            bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int ch = 0; ch < 2; ++ch)
                    out.push_back(planar ? reinterpret_cast<int16_t*>(frame->data[ch])[i]
                                         : reinterpret_cast<int16_t*>(frame->data[0])[2 * i + ch]);
            av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    return out;
}

struct MemoryDecoder {
    Bytes image;
    StreamHolder stream{};
    SoundDecoder decoder{};
    int result;
    explicit MemoryDecoder(const Bytes& bytes) : image(bytes) {
        stream.functions = *GetMemoryStreamFunctions();
        stream.handle = OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
        result = OpenSoundDecoder(&stream, &decoder);
    }
    ~MemoryDecoder() {
        if (decoder.openFlag) CloseSoundDecoder(&decoder);
        CloseMemoryStream(stream.handle);
    }
};

std::vector<int16_t> DecodeAll(SoundDecoder* decoder) {
    V_WAVEFORMATEX format{};
    uint8_t* pcm = nullptr;
    int32_t size = 0;
    EXPECT_EQ(DecodeWholeSound(decoder, &format, &pcm, &size), 0);
    std::vector<int16_t> out(static_cast<size_t>(size) / 2);
    std::memcpy(out.data(), pcm, out.size() * 2);
    FreeMemory(pcm);
    return out;
}

}  // namespace

TEST(AcmWave, ImaAdpcmMatchesFfmpegsOwnDecoding) {
    EncodedAdpcm e = EncodeAdpcm(22050, 1.0, 1024);
    std::vector<int16_t> reference = ReferenceDecode(e);
    ASSERT_GT(reference.size(), 40000u);
    MemoryDecoder d(e.wave);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.decoder.kind, kDecoderAcm);
    EXPECT_EQ(d.decoder.format.wFormatTag, 1);
    EXPECT_EQ(d.decoder.format.nChannels, 2);
    EXPECT_EQ(d.decoder.format.wBitsPerSample, 16);
    EXPECT_EQ(d.decoder.format.nAvgBytesPerSec, 22050u * 4);
    // The converter's length is an upper bound of the decoded bytes.
    EXPECT_GE(GetSoundDecoderLength(&d.decoder), static_cast<int32_t>(reference.size() * 2));
    EXPECT_EQ(DecodeAll(&d.decoder), reference);

    // A seek inside the current chunk converts nothing; a seek back starts again.
    SeekSoundDecoder(&d.decoder, 0);
    int16_t first[8];
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, first, 16), 16);
    int32_t offset = d.decoder.mainSourceOffset;
    SeekSoundDecoder(&d.decoder, 100);
    EXPECT_EQ(d.decoder.mainSourceOffset, offset);
    int16_t at100[2];
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, at100, 4), 4);
    EXPECT_EQ(at100[0], reference[200]);
    SeekSoundDecoder(&d.decoder, 15000);
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, at100, 4), 4);
    EXPECT_EQ(at100[1], reference[30001]);
    SeekSoundDecoder(&d.decoder, 0);
    int16_t again[8];
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, again, 16), 16);
    EXPECT_EQ(std::memcmp(first, again, 16), 0);
    SeekSoundDecoder(&d.decoder, 1 << 20);  // beyond the data: at the end
    EXPECT_EQ(ReadSoundDecoder(&d.decoder, again, 16), 0);
    // Back from there to the last two frames: they are read.
    SeekSoundDecoder(&d.decoder, static_cast<int32_t>(reference.size() / 2) - 2);
    ASSERT_EQ(ReadSoundDecoder(&d.decoder, again, 16), 8);
    EXPECT_EQ(again[3], reference.back());
}

// A compressed seek whose byte offset does not fit 32 bits decodes to the end rather than
// wrapping round to the start.
TEST(AcmWave, FarSamplesSeekToTheEnd) {
    EncodedAdpcm e = EncodeAdpcm(22050, 0.2, 1024);
    for (int32_t sample : {1 << 30, 0x20000000, INT32_MAX}) {
        MemoryDecoder d(e.wave);
        ASSERT_EQ(d.result, 0);
        int16_t pair[2];
        ASSERT_EQ(ReadSoundDecoder(&d.decoder, pair, 4), 4);
        SeekSoundDecoder(&d.decoder, sample);
        EXPECT_EQ(d.decoder.endFlag, 1) << sample;
        EXPECT_EQ(ReadSoundDecoder(&d.decoder, pair, 4), 0) << sample;
        MemoryDecoder direct(e.wave);
        ASSERT_EQ(ReadSoundDecoder(&direct.decoder, pair, 4), 4);
        SeekAcmDecoder(&direct.decoder, sample);
        EXPECT_EQ(direct.decoder.endFlag, 1) << sample;
        size_t compressed = 0;
        for (const Bytes& b : e.blocks) compressed += b.size();
        EXPECT_EQ(direct.decoder.mainSourceOffset, static_cast<int32_t>(compressed)) << sample;
    }
}

TEST(AcmWave, BlocksLargerThanASliceConvertWhole) {
    EncodedAdpcm e = EncodeAdpcm(44100, 0.5, 4096);
    if (e.format.nBlockAlign <= 2048) GTEST_SKIP() << "encoder kept small blocks";
    MemoryDecoder d(e.wave);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(DecodeAll(&d.decoder), ReferenceDecode(e));
}

TEST(AcmWave, ConverterKeepsSurplusAndRefusesWhatItCannotRead) {
    EncodedAdpcm e = EncodeAdpcm(8000, 0.5, 256);
    std::vector<uint8_t> formatBlock(18 + e.extra.size());
    std::memcpy(formatBlock.data(), &e.format, 18);
    if (!e.extra.empty()) std::memcpy(formatBlock.data() + 18, e.extra.data(), e.extra.size());
    auto* source = reinterpret_cast<V_WAVEFORMATEX*>(formatBlock.data());
    V_WAVEFORMATEX pcm{};
    pcm.wFormatTag = 1;
    ASSERT_EQ(V_acmFormatSuggest(nullptr, source, &pcm, 18, V_ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
    V_HACMSTREAM stream = nullptr;
    ASSERT_EQ(V_acmStreamOpen(&stream, nullptr, source, &pcm, nullptr, 0, 0,
                              V_ACM_STREAMOPENF_NONREALTIME),
              0u);
    // One block into a destination of 10 bytes: 10 come out, the rest waits.
    Bytes out(4096);
    V_ACMSTREAMHEADER h{};
    h.cbStruct = sizeof(h);
    h.pbSrc = e.blocks[0].data();
    h.cbSrcLength = static_cast<V_DWORD>(e.blocks[0].size());
    h.pbDst = out.data();
    h.cbDstLength = 10;
    EXPECT_NE(V_acmStreamConvert(stream, &h, 0), 0u);  // not prepared
    ASSERT_EQ(V_acmStreamPrepareHeader(stream, &h, 0), 0u);
    ASSERT_EQ(V_acmStreamConvert(stream, &h, V_ACM_STREAMCONVERTF_BLOCKALIGN), 0u);
    EXPECT_EQ(h.cbDstLengthUsed, 10u);
    EXPECT_EQ(h.cbSrcLengthUsed, e.blocks[0].size());
    h.cbSrcLength = 0;
    h.cbDstLength = 4096;
    ASSERT_EQ(V_acmStreamConvert(stream, &h, V_ACM_STREAMCONVERTF_BLOCKALIGN), 0u);
    V_DWORD perBlock = 10 + h.cbDstLengthUsed;
    V_DWORD bound = 0;
    ASSERT_EQ(V_acmStreamSize(stream, static_cast<V_DWORD>(e.blocks[0].size()), &bound, 0), 0u);
    EXPECT_EQ(bound, perBlock);
    // Less than a block is not converted: no output, nothing consumed.
    h.cbSrcLength = static_cast<V_DWORD>(e.blocks[0].size() - 1);
    ASSERT_EQ(V_acmStreamConvert(stream, &h, V_ACM_STREAMCONVERTF_BLOCKALIGN), 0u);
    EXPECT_EQ(h.cbDstLengthUsed, 0u);
    EXPECT_EQ(h.cbSrcLengthUsed, 0u);
    V_acmStreamUnprepareHeader(stream, &h, 0);
    EXPECT_EQ(V_acmStreamClose(stream, 0), 0u);

    V_WAVEFORMATEX unknown = {0x1234, 1, 8000, 4000, 1, 4, 0};
    EXPECT_NE(V_acmFormatSuggest(nullptr, &unknown, &pcm, 18, 0), 0u);
    V_WAVEFORMATEX silly = e.format;
    silly.nChannels = 0;
    EXPECT_NE(V_acmFormatSuggest(nullptr, &silly, &pcm, 18, 0), 0u);

    // A damaged ADPCM file still decodes to something or is refused, without harm; a data
    // chunk cut inside a block ends at the last whole block.
    Bytes damaged = e.wave;
    for (size_t i = 80; i < damaged.size(); i += 13) damaged[i] ^= 0x5A;
    MemoryDecoder broken(damaged);
    if (broken.result == 0) DecodeAll(&broken.decoder);
    Bytes cut(e.wave.begin(), e.wave.end() - static_cast<long>(e.format.nBlockAlign / 2));
    MemoryDecoder shortened(cut);
    ASSERT_EQ(shortened.result, 0);
    auto decoded = DecodeAll(&shortened.decoder);
    auto reference = ReferenceDecode(e);
    ASSERT_LT(decoded.size(), reference.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), reference.begin()));
}

// Integer PCM of every width in the extensible format header (tag 0xFFFE with the PCM
// sub-format) loads and plays as 16-bit samples: 8-bit as (v - 128) << 8, 24- and 32-bit as
// their top 16 bits (the bits below kept under half a step, so that rounding would agree).
TEST_F(SoundSystemTest, ExtensiblePcmOfEveryWidthPlaysAsItsSixteenBitSamples) {
    const Bytes pcmGuid = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const int frames = 1000;
    for (int bits : {8, 16, 24, 32})
        for (int channels : {1, 2}) {
            Bytes data;
            std::vector<int16_t> expected;
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const int32_t top = (i * 2731 + c * 9973) % 60000 - 30000;
                    int64_t value = top;  // the sample as stored, little-endian
                    if (bits == 8) value = (i * 37 + c * 101) % 256;
                    if (bits == 24) value = top * 256 + (i * 13 + c) % 128;
                    if (bits == 32) value = top * 65536LL + (i * 977 + c * 31) % 32768;
                    for (int b = 0; b < bits / 8; ++b)
                        data.push_back(static_cast<uint8_t>(value >> (8 * b)));
                    expected.push_back(static_cast<int16_t>(bits == 8 ? (value - 128) * 256 : top));
                }
            Bytes extra;
            Put16(extra, static_cast<uint16_t>(bits));  // valid bits
            Put32(extra, channels == 1 ? 0x4u : 0x3u);  // speaker mask
            extra.insert(extra.end(), pcmGuid.begin(), pcmGuid.end());
            const std::string name = "extensible" + std::to_string(bits) + "_" +
                                     std::to_string(channels) + ".wav";
            WriteScratchFile(
                name, RiffWave({{"fmt ", FormatBody(0xFFFE, static_cast<uint16_t>(channels),
                                                    44100, static_cast<uint16_t>(bits), 0, 0,
                                                    true, extra)},
                                {"data", data}}));
            SoundHandle h = LoadSoundFile(name.c_str(), 1, -1);
            ASSERT_NE(h, -1) << bits << "-bit, " << channels << " channels";
            EXPECT_EQ(GetSoundLengthSamples(h), frames) << bits << "-bit";
            ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBackground, 1), 0);
            const std::vector<int16_t> out = Render(frames);
            for (int i = 0; i < frames; ++i)
                for (int side = 0; side < 2; ++side)
                    ASSERT_EQ(out[2 * i + side], expected[i * channels + side % channels])
                        << bits << "-bit, " << channels << " channels, frame " << i;
            EXPECT_EQ(DeleteSoundHandle(h), 0);
        }
}

// IEEE float PCM (tag 3, and the extensible header with the float sub-format) loads and plays
// as 16-bit samples: round(v × 32768), clipped to -32768..32767. Scaling by 32767 or truncating
// instead moves a sample by one step at most, so a step either way is accepted.
TEST_F(SoundSystemTest, FloatPcmPlaysAsItsSixteenBitSamples) {
    const Bytes floatGuid = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const std::vector<float> special = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 0.25f, -0.75f, 1.5f, -2.0f};
    const int frames = 1000;
    for (bool extensible : {false, true})
        for (int channels : {1, 2}) {
            SCOPED_TRACE((extensible ? "extensible, " : "tag 3, ") + std::to_string(channels));
            Bytes data;
            std::vector<int> expected;
            for (int i = 0; i < frames * channels; ++i) {
                const double wave = std::sin(i * 0.37) * (i % 3 == 0 ? 1.2 : 0.9);  // some clip
                const float v = i < static_cast<int>(special.size())
                                    ? special[static_cast<size_t>(i)]
                                    : static_cast<float>(wave);
                uint32_t bits;
                std::memcpy(&bits, &v, 4);
                Put32(data, bits);
                expected.push_back(static_cast<int>(
                    std::clamp<long>(std::lround(static_cast<double>(v) * 32768), -32768, 32767)));
            }
            Bytes extra;
            if (extensible) {
                Put16(extra, 32);
                Put32(extra, channels == 1 ? 0x4u : 0x3u);
                extra.insert(extra.end(), floatGuid.begin(), floatGuid.end());
            }
            Bytes fact;
            Put32(fact, frames);
            const std::string name = std::string(extensible ? "floatx" : "float") +
                                     std::to_string(channels) + ".wav";
            WriteScratchFile(
                name, RiffWave({{"fmt ", FormatBody(extensible ? 0xFFFE : 3,
                                                    static_cast<uint16_t>(channels), 44100, 32,
                                                    0, 0, true, extra)},
                                {"fact", fact},
                                {"data", data}}));
            SoundHandle h = LoadSoundFile(name.c_str(), 1, -1);
            EXPECT_NE(h, -1);
            if (h == -1) continue;
            EXPECT_EQ(GetSoundLengthSamples(h), frames);
            ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBackground, 1), 0);
            const std::vector<int16_t> out = Render(frames);
            for (int i = 0; i < frames; ++i)
                for (int side = 0; side < 2; ++side)
                    ASSERT_NEAR(out[2 * i + side], expected[i * channels + side % channels], 1)
                        << "frame " << i << ", side " << side;
            EXPECT_EQ(DeleteSoundHandle(h), 0);
        }
}
