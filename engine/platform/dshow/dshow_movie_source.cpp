// The platform's movie file source: FFmpeg reads the file's best video stream, decodes it and
// delivers each frame as uncompressed 24-bit RGB (blue, green, red bytes; rows bottom-up, each
// padded to four bytes) with its times in the stream.
extern "C" {
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "platform/av_file_stream.h"
#include "platform/av_log_quiet.h"
#include "platform/dshow/dshow_filter.h"

namespace dshow {

namespace {

constexpr V_WCHAR kOutputName[] = u"Video";
constexpr V_WCHAR kFilterName[] = u"Movie Source";
constexpr int kMaxSide = 8192;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr V_HRESULT kSkipped = 2;  // a frame before the segment start, not delivered

class MovieSource : public AvSourceFilter {
public:
    MovieSource() : AvSourceFilter(kFilterName, kOutputName) {}

    ~MovieSource() override {
        Stop();
        sws_freeContext(m_Scaler);
        av_free(m_Picture);
    }

    bool Open(const char* path) {
        QuietAvLog();
        if (!OpenAvFileStream(&m_Input, path, AVMEDIA_TYPE_VIDEO)) return false;
        m_Width = m_Input.codec->width;
        m_Height = m_Input.codec->height;
        if (m_Width <= 0 || m_Height <= 0 || m_Width > kMaxSide || m_Height > kMaxSide)
            return false;
        m_Pitch = (m_Width * 3 + 3) & ~3;
        // The converter's fast paths write whole groups of 8 or 16 pixels to aligned rows, so
        // it draws into a picture of its own with room for them; the rows are then copied into
        // the sample, which holds exactly what the media type says.
        m_PictureStride = ((m_Width + 15) / 16 * 16 + 16) * 3;
        m_PictureStride = (m_PictureStride + 63) & ~63;
        m_Picture = static_cast<uint8_t*>(
            av_mallocz(static_cast<size_t>(m_PictureStride) * (m_Height + 1)));
        if (m_Picture == nullptr) return false;
        AVRational rate = av_guess_frame_rate(m_Input.format,
                                              m_Input.format->streams[m_Input.stream], nullptr);
        m_FrameTime = rate.num > 0 && rate.den > 0
                          ? av_rescale(kUnitsPerSecond, rate.den, rate.num)
                          : kUnitsPerSecond / 25;
        return true;
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

protected:
    void SeekData(V_REFERENCE_TIME position) override {
        SeekAvFileStream(&m_Input, position);
        m_SegmentStart = position;
    }

    V_HRESULT DeliverNext() override {
        for (;;) {
            int got = avcodec_receive_frame(m_Input.codec, m_Input.frame);
            if (got == 0) {
                V_HRESULT hr = DeliverFrame();
                av_frame_unref(m_Input.frame);
                if (hr != kSkipped) return hr;
                continue;  // a frame before the segment start
            }
            if (got != AVERROR(EAGAIN)) return V_S_FALSE;  // the end, or a decoding failure
            if (!FeedAvFileStream(&m_Input)) return V_S_FALSE;
        }
    }

private:
    // S_OK delivered, kSkipped, or the downstream's refusal.
    V_HRESULT DeliverFrame() {
        const AVFrame* frame = m_Input.frame;
        int64_t pts = frame->best_effort_timestamp;
        V_REFERENCE_TIME start = pts == AV_NOPTS_VALUE
                                     ? m_LastStart + m_FrameTime
                                     : av_rescale_q(pts - m_Input.startTime, m_Input.timeBase,
                                                    AVRational{1, 10000000});
        m_LastStart = start;
        start -= m_SegmentStart;
        if (start < 0) return kSkipped;
        m_Scaler = sws_getCachedContext(m_Scaler, frame->width, frame->height,
                                        static_cast<AVPixelFormat>(frame->format), m_Width,
                                        m_Height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
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
        uint8_t* planes[4] = {m_Picture, nullptr, nullptr, nullptr};
        int strides[4] = {m_PictureStride, 0, 0, 0};
        sws_scale(m_Scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        // Bottom-up rows: the first picture row goes last; the row padding is zero.
        const size_t rowBytes = static_cast<size_t>(m_Width) * 3;
        for (int y = 0; y < m_Height; ++y) {
            V_BYTE* row = data + static_cast<ptrdiff_t>(m_Pitch) * (m_Height - 1 - y);
            std::memcpy(row, m_Picture + static_cast<ptrdiff_t>(m_PictureStride) * y, rowBytes);
            std::memset(row + rowBytes, 0, static_cast<size_t>(m_Pitch) - rowBytes);
        }
        return DeliverStamped(sample, start, start + m_FrameTime, m_Pitch * m_Height);
    }

    SwsContext* m_Scaler = nullptr;
    int m_Width = 0, m_Height = 0, m_Pitch = 0;
    uint8_t* m_Picture = nullptr;  // the converter's own picture, rows top-down
    int m_PictureStride = 0;
    V_REFERENCE_TIME m_FrameTime = 0;
    V_REFERENCE_TIME m_SegmentStart = 0;
    V_REFERENCE_TIME m_LastStart = 0;
};

}  // namespace

StreamFilter* CreateMovieSource(const char* path) { return OpenAvSourceFilter<MovieSource>(path); }

SourceSeeking* GetSourceSeeking(StreamFilter* source) {
    return dynamic_cast<SourceSeeking*>(source);
}

}  // namespace dshow
