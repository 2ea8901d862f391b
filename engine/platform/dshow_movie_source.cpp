// The platform's movie file source: FFmpeg reads the file's best video stream, decodes it and
// delivers each frame as uncompressed 24-bit RGB (blue, green, red bytes; rows bottom-up, each
// padded to four bytes) with its times in the stream.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <new>

#include "platform/dshow_filter.h"
#include "platform/av_log_quiet.h"

namespace dshow {

namespace {

constexpr V_WCHAR kOutputName[] = u"Video";
constexpr V_WCHAR kFilterName[] = u"Movie Source";
constexpr int kMaxSide = 8192;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr V_HRESULT kSkipped = 2;  // a frame before the segment start, not delivered

class MovieSource : public PushFilter, public SourceSeeking {
public:
    MovieSource() : PushFilter(V_GUID_NULL, kFilterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_OUTPUT, kOutputName), nullptr);
    }

    ~MovieSource() override {
        Stop();
        sws_freeContext(m_Scaler);
        av_frame_free(&m_Frame);
        av_packet_free(&m_Packet);
        avcodec_free_context(&m_Codec);
        avformat_close_input(&m_Format);
    }

    bool Open(const char* path) {
        QuietAvLog();
        if (avformat_open_input(&m_Format, path, nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(m_Format, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        m_Stream = av_find_best_stream(m_Format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (m_Stream < 0 || codec == nullptr) return false;
        AVStream* stream = m_Format->streams[m_Stream];
        m_Codec = avcodec_alloc_context3(codec);
        if (m_Codec == nullptr || avcodec_parameters_to_context(m_Codec, stream->codecpar) < 0)
            return false;
        m_Codec->thread_count = 1;
        if (avcodec_open2(m_Codec, codec, nullptr) < 0) return false;
        m_Width = m_Codec->width;
        m_Height = m_Codec->height;
        if (m_Width <= 0 || m_Height <= 0 || m_Width > kMaxSide || m_Height > kMaxSide)
            return false;
        m_Pitch = (m_Width * 3 + 3) & ~3;
        m_TimeBase = stream->time_base;
        m_StartTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        AVRational rate = av_guess_frame_rate(m_Format, stream, nullptr);
        m_FrameTime = rate.num > 0 && rate.den > 0
                          ? av_rescale(kUnitsPerSecond, rate.den, rate.num)
                          : kUnitsPerSecond / 25;
        if (m_Format->duration > 0)
            m_Duration = m_Format->duration * (kUnitsPerSecond / AV_TIME_BASE);
        else if (stream->duration > 0)
            m_Duration = av_rescale_q(stream->duration, m_TimeBase, AVRational{1, 10000000});
        m_Frame = av_frame_alloc();
        m_Packet = av_packet_alloc();
        return m_Frame != nullptr && m_Packet != nullptr;
    }

    // ---- the output
    V_HRESULT GetPinType(int, int position, V_AM_MEDIA_TYPE* type) override {
        if (position != 0) return V_VFW_S_NO_MORE_ITEMS;
        *type = V_AM_MEDIA_TYPE{};
        type->majortype = V_MEDIATYPE_Video;
        type->subtype = V_MEDIASUBTYPE_RGB24;
        type->bFixedSizeSamples = V_TRUE;
        type->lSampleSize = static_cast<V_ULONG>(m_Pitch * m_Height);
        type->formattype = V_FORMAT_VideoInfo;
        type->cbFormat = sizeof(V_VIDEOINFOHEADER);
        type->pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(sizeof(V_VIDEOINFOHEADER)));
        if (type->pbFormat == nullptr) return V_E_OUTOFMEMORY;
        V_VIDEOINFOHEADER info{};
        info.AvgTimePerFrame = m_FrameTime;
        info.bmiHeader.biSize = sizeof(V_BITMAPINFOHEADER);
        info.bmiHeader.biWidth = m_Width;
        info.bmiHeader.biHeight = m_Height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biSizeImage = static_cast<V_DWORD>(m_Pitch * m_Height);
        std::memcpy(type->pbFormat, &info, sizeof(info));
        return V_S_OK;
    }

    void GetAllocatorNeeds(int, V_ALLOCATOR_PROPERTIES* properties) override {
        properties->cBuffers = 2;
        properties->cbBuffer = m_Pitch * m_Height;
        properties->cbAlign = 1;
        properties->cbPrefix = 0;
    }

    // ---- seeking
    V_REFERENCE_TIME Duration() override { return m_Duration; }
    void SeekTo(V_REFERENCE_TIME position) override { RequestSeek(position); }

protected:
    void SeekData(V_REFERENCE_TIME position) override {
        int64_t target = av_rescale_q(position, AVRational{1, 10000000}, m_TimeBase) + m_StartTime;
        av_seek_frame(m_Format, m_Stream, target, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(m_Codec);
        m_SegmentStart = position;
        m_Draining = false;
    }

    V_HRESULT DeliverNext() override {
        for (;;) {
            int got = avcodec_receive_frame(m_Codec, m_Frame);
            if (got == 0) {
                V_HRESULT hr = DeliverFrame();
                av_frame_unref(m_Frame);
                if (hr != kSkipped) return hr;
                continue;  // a frame before the segment start
            }
            if (got != AVERROR(EAGAIN)) return V_S_FALSE;  // the end, or a decoding failure
            if (!ReadPacket()) return V_S_FALSE;
        }
    }

private:
    // Feeds the decoder the next packet of the stream (the end once the file is read).
    bool ReadPacket() {
        if (m_Draining) return false;
        for (;;) {
            int read = av_read_frame(m_Format, m_Packet);
            if (read < 0) {
                m_Draining = true;
                return avcodec_send_packet(m_Codec, nullptr) == 0;
            }
            bool ours = m_Packet->stream_index == m_Stream;
            int sent = ours ? avcodec_send_packet(m_Codec, m_Packet) : 0;
            av_packet_unref(m_Packet);
            if (ours) return sent == 0 || sent == AVERROR(EAGAIN);
        }
    }

    // S_OK delivered, kSkipped, or the downstream's refusal.
    V_HRESULT DeliverFrame() {
        int64_t pts = m_Frame->best_effort_timestamp;
        V_REFERENCE_TIME start =
            pts == AV_NOPTS_VALUE
                ? m_LastStart + m_FrameTime
                : av_rescale_q(pts - m_StartTime, m_TimeBase, AVRational{1, 10000000});
        m_LastStart = start;
        start -= m_SegmentStart;
        if (start < 0) return kSkipped;
        m_Scaler = sws_getCachedContext(m_Scaler, m_Frame->width, m_Frame->height,
                                        static_cast<AVPixelFormat>(m_Frame->format), m_Width,
                                        m_Height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                        nullptr, nullptr);
        if (m_Scaler == nullptr) return V_E_FAIL;
        V_IMediaSample* sample = GetDeliveryBuffer();
        if (sample == nullptr) return V_VFW_E_NOT_COMMITTED;
        V_BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (sample->GetSize() < m_Pitch * m_Height) {
            sample->Release();
            return V_E_FAIL;
        }
        // Bottom-up rows: the first picture row goes last.
        uint8_t* planes[4] = {data + static_cast<ptrdiff_t>(m_Pitch) * (m_Height - 1), nullptr,
                              nullptr, nullptr};
        int strides[4] = {-m_Pitch, 0, 0, 0};
        sws_scale(m_Scaler, m_Frame->data, m_Frame->linesize, 0, m_Frame->height, planes, strides);
        V_REFERENCE_TIME stop = start + m_FrameTime;
        sample->SetTime(&start, &stop);
        sample->SetActualDataLength(m_Pitch * m_Height);
        sample->SetSyncPoint(V_TRUE);
        V_HRESULT hr = Deliver(sample);
        sample->Release();
        return hr == V_S_OK ? V_S_OK : (V_FAILED(hr) ? hr : V_E_ABORT);
    }

    AVFormatContext* m_Format = nullptr;
    AVCodecContext* m_Codec = nullptr;
    AVFrame* m_Frame = nullptr;
    AVPacket* m_Packet = nullptr;
    SwsContext* m_Scaler = nullptr;
    int m_Stream = -1;
    int m_Width = 0, m_Height = 0, m_Pitch = 0;
    AVRational m_TimeBase{1, 1};
    int64_t m_StartTime = 0;
    V_REFERENCE_TIME m_FrameTime = 0;
    V_REFERENCE_TIME m_Duration = 0;
    V_REFERENCE_TIME m_SegmentStart = 0;
    V_REFERENCE_TIME m_LastStart = 0;
    bool m_Draining = false;
};

}  // namespace

StreamFilter* CreateMovieSource(const char* path) {
    auto* source = new (std::nothrow) MovieSource();
    if (source != nullptr && !source->Open(path)) {
        delete source;
        return nullptr;
    }
    return source;
}

SourceSeeking* GetSourceSeeking(StreamFilter* source) {
    return dynamic_cast<SourceSeeking*>(source);
}

}  // namespace dshow
