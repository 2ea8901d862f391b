// One decoded stream of a media file read by FFmpeg: the file, the best stream of a kind, its
// decoder and the frame and packet it decodes through, with the stream's times. The movie
// sources read their video and their soundtrack through it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <new>

#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_filter.h"

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

// A source filter of one decoded stream of a file: one output pin, and seeking in the stream.
// The derived filter stops streaming in its destructor before it frees what it decodes with.
class AvSourceFilter : public PushFilter, public SourceSeeking {
public:
    AvSourceFilter(const V_WCHAR* filterName, const V_WCHAR* outputName)
        : PushFilter(V_GUID_NULL, filterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_OUTPUT, outputName), nullptr);
    }
    ~AvSourceFilter() override { CloseAvFileStream(&m_Input); }

    V_REFERENCE_TIME Duration() override { return m_Input.duration; }
    void SeekTo(V_REFERENCE_TIME position) override { RequestSeek(position); }

protected:
    AvFileStream m_Input;
};

// Makes the source filter and opens the file in it (Source::Open); null when either fails.
template <class Source>
StreamFilter* OpenAvSourceFilter(const char* path) {
    auto* source = new (std::nothrow) Source();
    if (source != nullptr && !source->Open(path)) {
        delete source;
        return nullptr;
    }
    return source;
}

}  // namespace dshow
