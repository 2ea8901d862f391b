// Compressed sound made by the tests and the fuzz seeds themselves: Ogg Vorbis with
// libvorbisenc, bare MPEG audio frames with FFmpeg's encoders, and the sine they carry.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The test signal: 440 Hz on the left (or only) channel, 660 Hz on the right.
inline double TestSine(int channel, int frame, int rate) {
    const double frequency = channel == 0 ? 440.0 : 660.0;
    return 9000.0 * std::sin(2.0 * M_PI * frequency * frame / rate);
}

inline void AppendPage(Bytes& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

// `frames` sample frames of the test sine as an Ogg Vorbis file, or nothing when libvorbisenc
// refuses the layout; `headerBytes` receives the size of its header pages. Links of a chained
// stream need serial numbers of their own.
inline Bytes EncodeOggVorbis(int channels, int rate, int frames, size_t* headerBytes = nullptr,
                             float quality = 0.4f, int serial = 4711) {
    Bytes out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) AppendPage(out, page);
    if (headerBytes != nullptr) *headerBytes = out.size();

    auto drain = [&]() {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                // Small pages, so that a cut file keeps whole pages of audio.
                while (ogg_stream_flush(&stream, &page) != 0) AppendPage(out, page);
            }
        }
    };
    for (int done = 0; done < frames;) {
        const int n = std::min(1024, frames - done);
        float** buffer = vorbis_analysis_buffer(&dsp, n);
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < n; ++i)
                buffer[c][i] = static_cast<float>(TestSine(c, done + i, rate) / 32768.0);
        vorbis_analysis_wrote(&dsp, n);
        done += n;
        drain();
    }
    vorbis_analysis_wrote(&dsp, 0);
    drain();
    while (ogg_stream_flush(&stream, &page) != 0) AppendPage(out, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

// `frames` sample frames of the test sine as bare MPEG audio frames, or nothing when this
// FFmpeg has no such encoder.
struct MpegAudio {
    Bytes data;
    int frameCount = 0;
    int delay = 0;  // frames of silence the encoder puts in front
};
inline MpegAudio EncodeMpegAudio(AVCodecID id, int channels, int rate, int kbits, int frames) {
    MpegAudio result;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) return result;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    c->bit_rate = kbits * 1000;
    av_channel_layout_default(&c->ch_layout, channels);
    c->sample_fmt = codec->sample_fmts[0];
    const AVSampleFormat known[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32P,
                                    AV_SAMPLE_FMT_FLTP};
    if (std::find(std::begin(known), std::end(known), c->sample_fmt) == std::end(known) ||
        avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return result;
    }
    result.delay = c->initial_padding;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto collect = [&]() {
        while (avcodec_receive_packet(c, packet) == 0) {
            result.data.insert(result.data.end(), packet->data, packet->data + packet->size);
            ++result.frameCount;
            av_packet_unref(packet);
        }
    };
    const AVSampleFormat format = c->sample_fmt;
    for (int done = 0; done < frames;) {
        frame->nb_samples = c->frame_size;
        frame->format = format;
        frame->sample_rate = rate;
        av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < c->frame_size; ++i, ++done) {
            for (int ch = 0; ch < channels; ++ch) {
                const double v = done < frames ? TestSine(ch, done, rate) : 0.0;
                switch (format) {
                    case AV_SAMPLE_FMT_S16:
                        reinterpret_cast<int16_t*>(frame->data[0])[i * channels + ch] =
                            static_cast<int16_t>(v);
                        break;
                    case AV_SAMPLE_FMT_S16P:
                        reinterpret_cast<int16_t*>(frame->data[ch])[i] = static_cast<int16_t>(v);
                        break;
                    case AV_SAMPLE_FMT_S32P:
                        reinterpret_cast<int32_t*>(frame->data[ch])[i] =
                            static_cast<int32_t>(v * 65536.0);
                        break;
                    case AV_SAMPLE_FMT_FLTP:
                        reinterpret_cast<float*>(frame->data[ch])[i] =
                            static_cast<float>(v / 32768.0);
                        break;
                    default: break;
                }
            }
        }
        const bool sent = avcodec_send_frame(c, frame) == 0;
        av_frame_unref(frame);
        if (!sent) {
            result = MpegAudio{};
            break;
        }
        collect();
    }
    avcodec_send_frame(c, nullptr);
    collect();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return result;
}

