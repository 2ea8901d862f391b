// Test media made with FFmpeg's encoders: short movies with known pictures, MPEG audio files
// with a known tone, and FFmpeg's own decoding of an audio file for comparison.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace media {

// The colour of a test picture at a pixel: the top half red, the bottom half blue, each
// brighter with the frame number (frame 0 darkest).
struct Rgb {
    int r, g, b;
};
inline Rgb PictureColour(int frame, int y, int height) {
    int level = 60 + (frame * 40) % 190;
    return y < height / 2 ? Rgb{level, 20, 20} : Rgb{20, 20, level};
}

// The test picture with green changing from column to column, so that a picture shifted
// sideways or cut short shows it.
inline Rgb StripedColour(int frame, int x, int y, int height) {
    Rgb c = PictureColour(frame, y, height);
    c.g = 20 + (x * 53 + frame * 17) % 200;
    return c;
}

namespace detail {

inline bool EncodeFrames(AVFormatContext* format, AVCodecContext* codec, AVStream* stream,
                         AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    AVPacket* packet = av_packet_alloc();
    bool ok = true;
    for (;;) {
        int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
        if (got < 0) {
            ok = false;
            break;
        }
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) ok = false;
    }
    av_packet_free(&packet);
    return ok;
}

struct Output {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    ~Output() {
        avcodec_free_context(&codec);
        if (format != nullptr) {
            if (format->pb != nullptr) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

// The video settings of the test movies: YUV 4:2:0 at the frame rate, a key frame every five.
inline void SetPictureCodec(AVCodecContext* codec, int width, int height, int fps) {
    codec->width = width;
    codec->height = height;
    codec->time_base = AVRational{1, fps};
    codec->framerate = AVRational{fps, 1};
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->gop_size = 5;
    codec->bit_rate = 2000000;
    codec->thread_count = 1;
}

// The test pictures as YUV 4:2:0 frames for the encoder.
class Pictures {
public:
    Pictures(int width, int height, bool striped = false)
        : m_Width(width),
          m_Height(height),
          m_Striped(striped),
          m_Rgb(static_cast<size_t>(width) * height * 3) {
        m_Frame = av_frame_alloc();
        m_Frame->width = width;
        m_Frame->height = height;
        m_Frame->format = AV_PIX_FMT_YUV420P;
        av_frame_get_buffer(m_Frame, 0);
        m_Scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                  AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    }
    ~Pictures() {
        sws_freeContext(m_Scaler);
        av_frame_free(&m_Frame);
    }
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // The frame holding picture i (PictureColour), stamped i.
    AVFrame* Make(int i) {
        for (int y = 0; y < m_Height; ++y)
            for (int x = 0; x < m_Width; ++x) {
                Rgb c =
                    m_Striped ? StripedColour(i, x, y, m_Height) : PictureColour(i, y, m_Height);
                uint8_t* p = &m_Rgb[(static_cast<size_t>(y) * m_Width + x) * 3];
                p[0] = static_cast<uint8_t>(c.r);
                p[1] = static_cast<uint8_t>(c.g);
                p[2] = static_cast<uint8_t>(c.b);
            }
        av_frame_make_writable(m_Frame);
        const uint8_t* src[1] = {m_Rgb.data()};
        int srcStride[1] = {m_Width * 3};
        sws_scale(m_Scaler, src, srcStride, 0, m_Height, m_Frame->data, m_Frame->linesize);
        m_Frame->pts = i;
        return m_Frame;
    }

private:
    int m_Width, m_Height;
    bool m_Striped;
    std::vector<uint8_t> m_Rgb;
    AVFrame* m_Frame = nullptr;
    SwsContext* m_Scaler = nullptr;
};

}  // namespace detail

// Writes a movie of the given frames (the container from the file name's extension).
// False when the encoder or the container is not there. Striped: StripedColour's pictures.
inline bool WriteTestMovie(const std::string& path, int width, int height, int frames, int fps,
                           const char* encoder = "mpeg4", bool striped = false) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) return false;
    detail::Output out;
    if (avformat_alloc_output_context2(&out.format, nullptr, nullptr, path.c_str()) < 0)
        return false;
    out.stream = avformat_new_stream(out.format, nullptr);
    out.codec = avcodec_alloc_context3(codec);
    if (out.stream == nullptr || out.codec == nullptr) return false;
    detail::SetPictureCodec(out.codec, width, height, fps);
    if (out.format->oformat->flags & AVFMT_GLOBALHEADER)
        out.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(out.codec, codec, nullptr) < 0) return false;
    avcodec_parameters_from_context(out.stream->codecpar, out.codec);
    out.stream->time_base = out.codec->time_base;
    if (avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(out.format, nullptr) < 0) return false;
    detail::Pictures pictures(width, height, striped);
    bool ok = true;
    for (int i = 0; i < frames && ok; ++i)
        ok = detail::EncodeFrames(out.format, out.codec, out.stream, pictures.Make(i));
    ok = ok && detail::EncodeFrames(out.format, out.codec, out.stream, nullptr);
    return ok && av_write_trailer(out.format) == 0;
}

// The soundtrack of the test movies with sound: 16-bit stereo, a 440 Hz tone on the left and
// a 660 Hz one on the right, neither starting at zero.
inline int16_t ToneSample(int channel, int64_t frame, int rate) {
    double t = static_cast<double>(frame) / rate;
    return channel == 0 ? static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * t + 0.5)))
                        : static_cast<int16_t>(std::lround(6000 * std::sin(2 * M_PI * 660 * t + 1.0)));
}

// Writes a movie of the given frames with the tone above as uncompressed PCM for as long as
// the pictures last (an AVI or Matroska file, by the name's extension).
inline bool WriteTestMovieWithTone(const std::string& path, int width, int height, int frames,
                                   int fps, int rate) {
    const AVCodec* videoCodec = avcodec_find_encoder_by_name("mpeg4");
    const AVCodec* audioCodec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    if (videoCodec == nullptr || audioCodec == nullptr) return false;
    detail::Output out;
    if (avformat_alloc_output_context2(&out.format, nullptr, nullptr, path.c_str()) < 0)
        return false;
    out.stream = avformat_new_stream(out.format, nullptr);
    AVStream* audioStream = avformat_new_stream(out.format, nullptr);
    out.codec = avcodec_alloc_context3(videoCodec);
    AVCodecContext* audio = avcodec_alloc_context3(audioCodec);
    struct AudioFree {
        AVCodecContext** codec;
        ~AudioFree() { avcodec_free_context(codec); }
    } audioFree{&audio};
    if (out.stream == nullptr || audioStream == nullptr || out.codec == nullptr || audio == nullptr)
        return false;
    detail::SetPictureCodec(out.codec, width, height, fps);
    audio->sample_rate = rate;
    av_channel_layout_default(&audio->ch_layout, 2);
    audio->sample_fmt = AV_SAMPLE_FMT_S16;
    audio->time_base = AVRational{1, rate};
    if (out.format->oformat->flags & AVFMT_GLOBALHEADER) {
        out.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(out.codec, videoCodec, nullptr) < 0 ||
        avcodec_open2(audio, audioCodec, nullptr) < 0)
        return false;
    avcodec_parameters_from_context(out.stream->codecpar, out.codec);
    avcodec_parameters_from_context(audioStream->codecpar, audio);
    out.stream->time_base = out.codec->time_base;
    audioStream->time_base = audio->time_base;
    if (avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(out.format, nullptr) < 0) return false;

    detail::Pictures pictures(width, height);
    AVFrame* sound = av_frame_alloc();
    const int soundFrame = 1024;
    sound->nb_samples = soundFrame;
    sound->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
    sound->sample_rate = rate;
    av_frame_get_buffer(sound, 0);
    const int64_t totalSamples = static_cast<int64_t>(frames) * rate / fps;
    int64_t samplesDone = 0;
    bool ok = true;
    for (int i = 0; i < frames && ok; ++i) {
        ok = detail::EncodeFrames(out.format, out.codec, out.stream, pictures.Make(i));
        // The sound up to the end of this picture.
        const int64_t until = static_cast<int64_t>(i + 1) * rate / fps;
        while (ok && samplesDone < until) {
            int n = static_cast<int>(std::min<int64_t>(soundFrame, totalSamples - samplesDone));
            av_frame_make_writable(sound);
            sound->nb_samples = n;
            int16_t* samples = reinterpret_cast<int16_t*>(sound->data[0]);
            for (int k = 0; k < n; ++k) {
                samples[2 * k] = ToneSample(0, samplesDone + k, rate);
                samples[2 * k + 1] = ToneSample(1, samplesDone + k, rate);
            }
            sound->pts = samplesDone;
            samplesDone += n;
            ok = detail::EncodeFrames(out.format, audio, audioStream, sound);
        }
    }
    ok = ok && detail::EncodeFrames(out.format, out.codec, out.stream, nullptr);
    ok = ok && detail::EncodeFrames(out.format, audio, audioStream, nullptr);
    ok = ok && av_write_trailer(out.format) == 0;
    av_frame_free(&sound);
    return ok;
}

// Writes an MPEG audio file of a sine tone: "libmp3lame" (layer 3) or "mp2" (layer 2).
// False when that encoder is not there.
inline bool WriteTestMpegAudio(const std::string& path, const char* encoder, int rate,
                               int channels, double seconds, double hz = 440.0) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) return false;
    detail::Output out;
    const char* container = std::string(encoder) == "mp2" ? "mp2" : "mp3";
    if (avformat_alloc_output_context2(&out.format, nullptr, container, path.c_str()) < 0)
        return false;
    out.stream = avformat_new_stream(out.format, nullptr);
    out.codec = avcodec_alloc_context3(codec);
    if (out.stream == nullptr || out.codec == nullptr) return false;
    out.codec->sample_rate = rate;
    av_channel_layout_default(&out.codec->ch_layout, channels);
    out.codec->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0]
                                                          : AV_SAMPLE_FMT_S16;
    out.codec->bit_rate = 128000;
    out.codec->time_base = AVRational{1, rate};
    if (avcodec_open2(out.codec, codec, nullptr) < 0) return false;
    avcodec_parameters_from_context(out.stream->codecpar, out.codec);
    out.stream->time_base = out.codec->time_base;
    if (avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(out.format, nullptr) < 0) return false;
    int frameSize = out.codec->frame_size > 0 ? out.codec->frame_size : 1152;
    int total = static_cast<int>(seconds * rate);
    AVFrame* frame = av_frame_alloc();
    frame->nb_samples = frameSize;
    frame->format = out.codec->sample_fmt;
    av_channel_layout_copy(&frame->ch_layout, &out.codec->ch_layout);
    frame->sample_rate = rate;
    av_frame_get_buffer(frame, 0);
    bool ok = true;
    bool planar = av_sample_fmt_is_planar(out.codec->sample_fmt);
    bool isFloat = out.codec->sample_fmt == AV_SAMPLE_FMT_FLTP ||
                   out.codec->sample_fmt == AV_SAMPLE_FMT_FLT;
    for (int done = 0; done < total && ok; done += frameSize) {
        av_frame_make_writable(frame);
        for (int i = 0; i < frameSize; ++i) {
            double v = done + i < total ? 0.5 * std::sin(2 * M_PI * hz * (done + i) / rate) : 0;
            for (int c = 0; c < channels; ++c) {
                double cv = c == 0 ? v : v * 0.5;
                if (isFloat) {
                    float* p = planar ? reinterpret_cast<float*>(frame->data[c]) + i
                                      : reinterpret_cast<float*>(frame->data[0]) + i * channels + c;
                    *p = static_cast<float>(cv);
                } else {
                    int16_t* p = planar
                                     ? reinterpret_cast<int16_t*>(frame->data[c]) + i
                                     : reinterpret_cast<int16_t*>(frame->data[0]) + i * channels + c;
                    *p = static_cast<int16_t>(cv * 32767);
                }
            }
        }
        frame->pts = done;
        ok = detail::EncodeFrames(out.format, out.codec, out.stream, frame);
    }
    ok = ok && detail::EncodeFrames(out.format, out.codec, out.stream, nullptr);
    ok = ok && av_write_trailer(out.format) == 0;
    av_frame_free(&frame);
    return ok;
}

namespace detail {

// Decodes the file's best stream of the type with FFmpeg: opened(context) runs once the decoder
// is open (false stops), then frame(f) for every decoded frame, in order.
template <typename Opened, typename Frame>
void DecodeBestStream(const std::string& path, AVMediaType type, Opened opened, Frame frame) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(format, type, -1, -1, &codec, 0);
    AVCodecContext* context = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (context != nullptr &&
        avcodec_parameters_to_context(context, format->streams[index]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0 && opened(context)) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* decoded = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(context, decoded) == 0) {
                frame(decoded);
                av_frame_unref(decoded);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index) avcodec_send_packet(context, packet);
            av_packet_unref(packet);
            drain();
        }
        avcodec_send_packet(context, nullptr);
        drain();
        av_packet_free(&packet);
        av_frame_free(&decoded);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
}

}  // namespace detail

// FFmpeg's own decoding of an audio file to 16-bit interleaved samples at the file's rate,
// with at most two channels. Empty on failure.
inline std::vector<int16_t> DecodeAudioFile(const std::string& path, int* rate, int* channels) {
    std::vector<int16_t> pcm;
    SwrContext* swr = nullptr;
    detail::DecodeBestStream(
        path, AVMEDIA_TYPE_AUDIO,
        [&](AVCodecContext* context) {
            *rate = context->sample_rate;
            *channels = context->ch_layout.nb_channels > 2 ? 2 : context->ch_layout.nb_channels;
            AVChannelLayout layout;
            av_channel_layout_default(&layout, *channels);
            swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, *rate, &context->ch_layout,
                                context->sample_fmt, context->sample_rate, 0, nullptr);
            swr_init(swr);
            return true;
        },
        [&](AVFrame* frame) {
            std::vector<int16_t> out(static_cast<size_t>(frame->nb_samples + 256) * *channels);
            uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(out.data())};
            int n = swr_convert(swr, outPlanes, frame->nb_samples + 256,
                                const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
            if (n > 0) pcm.insert(pcm.end(), out.begin(), out.begin() + n * *channels);
        });
    swr_free(&swr);
    return pcm;
}

// FFmpeg's own decoding of a movie's pictures, each converted to BGR24 by libswscale into a
// buffer of its own: rows top-down, `stride` bytes apart (well beyond width × 3).
struct DecodedMovie {
    int width = 0, height = 0, stride = 0;
    std::vector<std::vector<uint8_t>> frames;
};
inline DecodedMovie DecodeMovieBgr24(const std::string& path) {
    DecodedMovie movie;
    SwsContext* scaler = nullptr;
    detail::DecodeBestStream(
        path, AVMEDIA_TYPE_VIDEO, [](AVCodecContext*) { return true; },
        [&](AVFrame* frame) {
            movie.width = frame->width;
            movie.height = frame->height;
            movie.stride = (frame->width * 3 + 64 + 63) & ~63;
            scaler = sws_getCachedContext(
                scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                frame->width, frame->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                nullptr);
            std::vector<uint8_t> picture(static_cast<size_t>(movie.stride) * frame->height);
            uint8_t* planes[1] = {picture.data()};
            int strides[1] = {movie.stride};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
            movie.frames.push_back(std::move(picture));
        });
    sws_freeContext(scaler);
    return movie;
}

}  // namespace media
