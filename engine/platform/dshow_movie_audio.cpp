// The platform's movie soundtrack source: FFmpeg reads the file's best audio stream, decodes
// it and delivers it as interleaved 16-bit PCM at the stream's own rate (at most two
// channels, more are mixed down), a tenth of a second a sample, with its times in the stream.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <new>
#include <vector>

#include "platform/dshow_filter.h"

namespace dshow {

namespace {

constexpr V_WCHAR kOutputName[] = u"Audio";
constexpr V_WCHAR kFilterName[] = u"Movie Sound Source";
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int kSampleParts = 10;  // a delivered sample holds 1/10 s

class MovieAudioSource : public PushFilter, public SourceSeeking {
public:
    MovieAudioSource() : PushFilter(V_GUID_NULL, kFilterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_OUTPUT, kOutputName), nullptr);
    }

    ~MovieAudioSource() override {
        Stop();
        swr_free(&m_Resampler);
        av_frame_free(&m_Frame);
        av_packet_free(&m_Packet);
        avcodec_free_context(&m_Codec);
        avformat_close_input(&m_Format);
    }

    bool Open(const char* path) {
        if (avformat_open_input(&m_Format, path, nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(m_Format, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        m_Stream = av_find_best_stream(m_Format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (m_Stream < 0 || codec == nullptr) return false;
        AVStream* stream = m_Format->streams[m_Stream];
        m_Codec = avcodec_alloc_context3(codec);
        if (m_Codec == nullptr || avcodec_parameters_to_context(m_Codec, stream->codecpar) < 0)
            return false;
        m_Codec->thread_count = 1;
        if (avcodec_open2(m_Codec, codec, nullptr) < 0) return false;
        m_Rate = m_Codec->sample_rate;
        if (m_Rate < 100 || m_Rate > 200000 || m_Codec->ch_layout.nb_channels < 1) return false;
        m_Channels = m_Codec->ch_layout.nb_channels >= 2 ? 2 : 1;
        m_Block = m_Channels * 2;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, m_Channels);
        int made =
            swr_alloc_set_opts2(&m_Resampler, &layout, AV_SAMPLE_FMT_S16, m_Rate,
                                &m_Codec->ch_layout, m_Codec->sample_fmt, m_Rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (made < 0 || m_Resampler == nullptr || swr_init(m_Resampler) < 0) return false;
        m_TimeBase = stream->time_base;
        m_StartTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
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
        type->majortype = V_MEDIATYPE_Audio;
        type->subtype = V_MEDIASUBTYPE_PCM;
        type->bFixedSizeSamples = V_TRUE;
        type->lSampleSize = static_cast<V_ULONG>(m_Block);
        type->formattype = V_FORMAT_WaveFormatEx;
        type->cbFormat = sizeof(V_WAVEFORMATEX);
        type->pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(sizeof(V_WAVEFORMATEX)));
        if (type->pbFormat == nullptr) return V_E_OUTOFMEMORY;
        V_WAVEFORMATEX format{};
        format.wFormatTag = V_WAVE_FORMAT_PCM;
        format.nChannels = static_cast<V_WORD>(m_Channels);
        format.nSamplesPerSec = static_cast<V_DWORD>(m_Rate);
        format.nAvgBytesPerSec = static_cast<V_DWORD>(m_Rate * m_Block);
        format.nBlockAlign = static_cast<V_WORD>(m_Block);
        format.wBitsPerSample = 16;
        std::memcpy(type->pbFormat, &format, sizeof(format));
        return V_S_OK;
    }

    void GetAllocatorNeeds(int, V_ALLOCATOR_PROPERTIES* properties) override {
        properties->cBuffers = 4;
        properties->cbBuffer = SampleBytes();
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
        m_Pending.clear();
        m_Draining = false;
        m_Decoded = false;
        m_EndSample = -1;
    }

    V_HRESULT DeliverNext() override {
        while (static_cast<long>(m_Pending.size()) < SampleBytes() && !m_Decoded) {
            int got = avcodec_receive_frame(m_Codec, m_Frame);
            if (got == 0) {
                TakeFrame();
                av_frame_unref(m_Frame);
            } else if (got != AVERROR(EAGAIN) || !ReadPacket()) {
                m_Decoded = true;  // the end, or a decoding failure
            }
        }
        if (m_Pending.empty()) return V_S_FALSE;
        V_IMediaSample* sample = GetDeliveryBuffer();
        if (sample == nullptr) return V_VFW_E_NOT_COMMITTED;
        V_BYTE* data = nullptr;
        sample->GetPointer(&data);
        long bytes = static_cast<long>(m_Pending.size());
        if (bytes > sample->GetSize()) bytes = sample->GetSize() - sample->GetSize() % m_Block;
        std::memcpy(data, m_Pending.data(), static_cast<size_t>(bytes));
        m_Pending.erase(m_Pending.begin(), m_Pending.begin() + bytes);
        V_REFERENCE_TIME start = m_PendingStart * kUnitsPerSecond / m_Rate;
        m_PendingStart += bytes / m_Block;
        V_REFERENCE_TIME stop = m_PendingStart * kUnitsPerSecond / m_Rate;
        sample->SetTime(&start, &stop);
        sample->SetActualDataLength(bytes);
        sample->SetSyncPoint(V_TRUE);
        V_HRESULT hr = Deliver(sample);
        sample->Release();
        return hr == V_S_OK ? V_S_OK : (V_FAILED(hr) ? hr : V_E_ABORT);
    }

private:
    long SampleBytes() const {
        return static_cast<long>((m_Rate + kSampleParts - 1) / kSampleParts) * m_Block;
    }

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

    // Converts the decoded frame and keeps the part at or after the segment start. Sample
    // numbers count from the segment start at the stream's rate.
    void TakeFrame() {
        int count = m_Frame->nb_samples;
        if (count <= 0) return;
        std::vector<uint8_t> pcm(static_cast<size_t>(count) * m_Block);
        uint8_t* out[1] = {pcm.data()};
        int converted = swr_convert(m_Resampler, out, count,
                                    const_cast<const uint8_t**>(m_Frame->extended_data), count);
        if (converted <= 0) return;
        int64_t first = m_EndSample;
        if (first < 0) {
            int64_t pts = m_Frame->best_effort_timestamp;
            first = pts == AV_NOPTS_VALUE
                        ? 0
                        : av_rescale_q(pts - m_StartTime, m_TimeBase, AVRational{1, m_Rate}) -
                              av_rescale(m_SegmentStart, m_Rate, kUnitsPerSecond);
        }
        int skip = 0;
        if (first < 0) {
            if (-first >= converted) return;  // wholly before the segment start
            skip = static_cast<int>(-first);
            first = 0;
        }
        if (m_Pending.empty()) m_PendingStart = first;
        m_Pending.insert(m_Pending.end(), pcm.begin() + static_cast<long>(skip) * m_Block,
                         pcm.begin() + static_cast<long>(converted) * m_Block);
        m_EndSample = first + (converted - skip);
    }

    AVFormatContext* m_Format = nullptr;
    AVCodecContext* m_Codec = nullptr;
    AVFrame* m_Frame = nullptr;
    AVPacket* m_Packet = nullptr;
    SwrContext* m_Resampler = nullptr;
    int m_Stream = -1;
    int m_Rate = 0, m_Channels = 0, m_Block = 0;
    AVRational m_TimeBase{1, 1};
    int64_t m_StartTime = 0;
    V_REFERENCE_TIME m_Duration = 0;
    V_REFERENCE_TIME m_SegmentStart = 0;
    std::vector<uint8_t> m_Pending;  // converted samples not yet delivered
    int64_t m_PendingStart = 0;      // sample number (from the segment start) of the first
    int64_t m_EndSample = -1;        // and after the last pending sample; -1 after a seek
    bool m_Draining = false;
    bool m_Decoded = false;
};

}  // namespace

StreamFilter* CreateMovieAudioSource(const char* path) {
    auto* source = new (std::nothrow) MovieAudioSource();
    if (source != nullptr && !source->Open(path)) {
        delete source;
        return nullptr;
    }
    return source;
}

}  // namespace dshow
