#include "platform/av_file_stream.h"

namespace dshow {

namespace {
constexpr int64_t kUnitsPerSecond = 10000000;
}

bool OpenAvFileStream(AvFileStream* input, const char* path, AVMediaType kind) {
    if (avformat_open_input(&input->format, path, nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(input->format, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    input->stream = av_find_best_stream(input->format, kind, -1, -1, &codec, 0);
    if (input->stream < 0 || codec == nullptr) return false;
    AVStream* stream = input->format->streams[input->stream];
    input->codec = avcodec_alloc_context3(codec);
    if (input->codec == nullptr ||
        avcodec_parameters_to_context(input->codec, stream->codecpar) < 0)
        return false;
    input->codec->thread_count = 1;
    if (avcodec_open2(input->codec, codec, nullptr) < 0) return false;
    input->timeBase = stream->time_base;
    input->startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (input->format->duration > 0)
        input->duration = input->format->duration * (kUnitsPerSecond / AV_TIME_BASE);
    else if (stream->duration > 0)
        input->duration =
            av_rescale_q(stream->duration, input->timeBase, AVRational{1, kUnitsPerSecond});
    input->frame = av_frame_alloc();
    input->packet = av_packet_alloc();
    return input->frame != nullptr && input->packet != nullptr;
}

void CloseAvFileStream(AvFileStream* input) {
    av_frame_free(&input->frame);
    av_packet_free(&input->packet);
    avcodec_free_context(&input->codec);
    avformat_close_input(&input->format);
}

bool FeedAvFileStream(AvFileStream* input) {
    if (input->draining) return false;
    for (;;) {
        int read = av_read_frame(input->format, input->packet);
        if (read < 0) {
            input->draining = true;
            return avcodec_send_packet(input->codec, nullptr) == 0;
        }
        bool ours = input->packet->stream_index == input->stream;
        int sent = ours ? avcodec_send_packet(input->codec, input->packet) : 0;
        av_packet_unref(input->packet);
        if (ours) return sent == 0 || sent == AVERROR(EAGAIN);
    }
}

void SeekAvFileStream(AvFileStream* input, V_REFERENCE_TIME position) {
    int64_t target = av_rescale_q(position, AVRational{1, kUnitsPerSecond}, input->timeBase) +
                     input->startTime;
    av_seek_frame(input->format, input->stream, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(input->codec);
    input->draining = false;
}

}  // namespace dshow
