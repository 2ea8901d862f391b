// One decoded stream of a media file read by FFmpeg: the file, the best stream of a kind, its
// decoder and the frame and packet it decodes through, with the stream's times. The movie
// sources read their video and their soundtrack through it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/dshow.h"

namespace dshow {

struct AvFileStream {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    int64_t startTime = 0;          // the stream's first time, in timeBase units
    V_REFERENCE_TIME duration = 0;  // 100-ns units; 0 when unknown
    bool draining = false;          // the file is read; the decoder gives what it holds
};

// Opens the file (UTF-8 path) and the decoder of its best stream of the kind (one thread);
// false when any of it fails (CloseAvFileStream frees what was made).
bool OpenAvFileStream(AvFileStream* input, const char* path, AVMediaType kind);
void CloseAvFileStream(AvFileStream* input);
// Feeds the decoder the next packet of the stream (the end once the file is read); false when
// there is nothing more to feed or the decoder refused it.
bool FeedAvFileStream(AvFileStream* input);
// Moves to the key frame at or before the position (100-ns units from the stream's start) and
// empties the decoder.
void SeekAvFileStream(AvFileStream* input, V_REFERENCE_TIME position);

}  // namespace dshow
