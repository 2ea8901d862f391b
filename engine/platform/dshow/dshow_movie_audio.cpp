// The platform's movie soundtrack source: FFmpeg reads the file's best audio stream, decodes
// it and delivers it as interleaved 16-bit PCM at the stream's own rate (at most two
// channels, more are mixed down), a tenth of a second a sample, with its times in the stream.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <vector>

#include "platform/av_file_stream.h"
#include "platform/dshow/dshow_filter.h"

namespace dshow {

namespace {

constexpr V_WCHAR kOutputName[] = u"Audio";
constexpr V_WCHAR kFilterName[] = u"Movie Sound Source";
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int kSampleParts = 10;  // a delivered sample holds 1/10 s

class MovieAudioSource : public AvSourceFilter {
public:
    MovieAudioSource() : AvSourceFilter(kFilterName, kOutputName) {}

    ~MovieAudioSource() override {
        Stop();
        swr_free(&m_Resampler);
    }

    bool Open(const char* path) {
        if (!OpenAvFileStream(&m_Input, path, AVMEDIA_TYPE_AUDIO)) return false;
        AVCodecContext* codec = m_Input.codec;
        m_Rate = codec->sample_rate;
        if (m_Rate < 100 || m_Rate > 200000 || codec->ch_layout.nb_channels < 1) return false;
        m_Channels = codec->ch_layout.nb_channels >= 2 ? 2 : 1;
        m_Block = m_Channels * 2;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, m_Channels);
        int made =
            swr_alloc_set_opts2(&m_Resampler, &layout, AV_SAMPLE_FMT_S16, m_Rate,
                                &codec->ch_layout, codec->sample_fmt, m_Rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        return made >= 0 && m_Resampler != nullptr && swr_init(m_Resampler) >= 0;
    }

    // ---- the output
    V_HRESULT GetPinType(int, int position, V_AM_MEDIA_TYPE* type) override {
        if (position != 0) return V_VFW_S_NO_MORE_ITEMS;
        return SetPcmType(type, m_Channels, m_Rate);
    }

    void GetAllocatorNeeds(int, V_ALLOCATOR_PROPERTIES* properties) override {
        properties->cBuffers = 4;
        properties->cbBuffer = SampleBytes();
        properties->cbAlign = 1;
        properties->cbPrefix = 0;
    }

protected:
    void SeekData(V_REFERENCE_TIME position) override {
        SeekAvFileStream(&m_Input, position);
        m_SegmentStart = position;
        m_Pending.clear();
        m_Decoded = false;
        m_EndSample = -1;
    }

    V_HRESULT DeliverNext() override {
        while (static_cast<long>(m_Pending.size()) < SampleBytes() && !m_Decoded) {
            int got = avcodec_receive_frame(m_Input.codec, m_Input.frame);
            if (got == 0) {
                TakeFrame();
                av_frame_unref(m_Input.frame);
            } else if (got != AVERROR(EAGAIN) || !FeedAvFileStream(&m_Input)) {
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
        return DeliverStamped(sample, start, stop, bytes);
    }

private:
    long SampleBytes() const {
        return static_cast<long>((m_Rate + kSampleParts - 1) / kSampleParts) * m_Block;
    }

    // Converts the decoded frame and keeps the part at or after the segment start. Sample
    // numbers count from the segment start at the stream's rate.
    void TakeFrame() {
        const AVFrame* frame = m_Input.frame;
        int count = frame->nb_samples;
        if (count <= 0) return;
        std::vector<uint8_t> pcm(static_cast<size_t>(count) * m_Block);
        uint8_t* out[1] = {pcm.data()};
        int converted = swr_convert(m_Resampler, out, count,
                                    const_cast<const uint8_t**>(frame->extended_data), count);
        if (converted <= 0) return;
        int64_t first = m_EndSample;
        if (first < 0) {
            int64_t pts = frame->best_effort_timestamp;
            first = pts == AV_NOPTS_VALUE
                        ? 0
                        : av_rescale_q(pts - m_Input.startTime, m_Input.timeBase,
                                       AVRational{1, m_Rate}) -
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

    SwrContext* m_Resampler = nullptr;
    int m_Rate = 0, m_Channels = 0, m_Block = 0;
    V_REFERENCE_TIME m_SegmentStart = 0;
    std::vector<uint8_t> m_Pending;  // converted samples not yet delivered
    int64_t m_PendingStart = 0;      // sample number (from the segment start) of the first
    int64_t m_EndSample = -1;        // and after the last pending sample; -1 after a seek
    bool m_Decoded = false;
};

}  // namespace

StreamFilter* CreateMovieAudioSource(const char* path) {
    return OpenAvSourceFilter<MovieAudioSource>(path);
}

}  // namespace dshow
