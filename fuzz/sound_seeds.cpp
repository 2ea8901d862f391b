// Writes starting inputs of the sound fuzz target: short Ogg Vorbis files made with
// libvorbisenc, and MPEG audio frames made with FFmpeg's encoders (behind ID3 tags in one).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

bool Write(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0;
}

float Tone(int channel, int i, int rate) {
    return 0.3f * static_cast<float>(std::sin(2 * M_PI * (channel ? 660 : 440) * i / rate));
}

void AppendPage(Bytes& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

Bytes Vorbis(int channels, int rate, int frames) {
    Bytes out;
    vorbis_info info;
    vorbis_info_init(&info);
    vorbis_encode_init_vbr(&info, channels, rate, 0.0f);
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);
    ogg_packet a, b, c;
    vorbis_analysis_headerout(&dsp, &comment, &a, &b, &c);
    ogg_stream_packetin(&stream, &a);
    ogg_stream_packetin(&stream, &b);
    ogg_stream_packetin(&stream, &c);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) AppendPage(out, page);
    float** buffer = vorbis_analysis_buffer(&dsp, frames);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < frames; ++i) buffer[ch][i] = Tone(ch, i, rate);
    vorbis_analysis_wrote(&dsp, frames);
    vorbis_analysis_wrote(&dsp, 0);
    ogg_packet packet;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
            ogg_stream_packetin(&stream, &packet);
            while (ogg_stream_flush(&stream, &page)) AppendPage(out, page);
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

Bytes Mpeg(AVCodecID id, int channels, int rate, int kbits, int frames) {
    Bytes out;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) return out;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    c->bit_rate = kbits * 1000;
    av_channel_layout_default(&c->ch_layout, channels);
    c->sample_fmt = codec->sample_fmts[0];
    if (c->sample_fmt != AV_SAMPLE_FMT_S16 && c->sample_fmt != AV_SAMPLE_FMT_FLTP &&
        c->sample_fmt != AV_SAMPLE_FMT_S16P) {
        // Prefer a format written below.
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P)
                c->sample_fmt = *f;
    }
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (avcodec_open2(c, codec, nullptr) == 0) {
        for (int done = 0; done < frames;) {
            frame->nb_samples = c->frame_size;
            frame->format = c->sample_fmt;
            frame->sample_rate = rate;
            av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
            av_frame_get_buffer(frame, 0);
            for (int i = 0; i < c->frame_size; ++i, ++done)
                for (int ch = 0; ch < channels; ++ch) {
                    const float v = Tone(ch, done, rate);
                    if (c->sample_fmt == AV_SAMPLE_FMT_FLTP)
                        reinterpret_cast<float*>(frame->data[ch])[i] = v;
                    else if (c->sample_fmt == AV_SAMPLE_FMT_S16P)
                        reinterpret_cast<int16_t*>(frame->data[ch])[i] =
                            static_cast<int16_t>(v * 32767);
                    else
                        reinterpret_cast<int16_t*>(frame->data[0])[i * channels + ch] =
                            static_cast<int16_t>(v * 32767);
                }
            avcodec_send_frame(c, frame);
            av_frame_unref(frame);
            while (avcodec_receive_packet(c, packet) == 0) {
                out.insert(out.end(), packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = Write(folder + "/mono.ogg", Vorbis(1, 8000, 4000)) &&
              Write(folder + "/stereo.ogg", Vorbis(2, 22050, 6000));
    Bytes mp3 = Mpeg(AV_CODEC_ID_MP3, 1, 16000, 16, 3000);
    if (!mp3.empty()) {
        Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
        tagged.resize(30, ' ');
        tagged.insert(tagged.end(), mp3.begin(), mp3.end());
        tagged.push_back('T');
        tagged.push_back('A');
        tagged.push_back('G');
        tagged.resize(tagged.size() + 125, ' ');
        ok = ok && Write(folder + "/mono.mp3", tagged);
    }
    ok = ok && Write(folder + "/stereo.mp2", Mpeg(AV_CODEC_ID_MP2, 2, 32000, 64, 3000));
    return ok ? 0 : 1;
}
