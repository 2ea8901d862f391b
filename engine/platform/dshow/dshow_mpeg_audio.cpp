// The platform's MPEG audio decoder: its input pin connects to a byte-stream output that
// offers IAsyncReader; FFmpeg reads the stream through asynchronous requests, finds MPEG
// audio (layers I to III) and decodes it to 16-bit PCM (at most two channels, the stream's
// rate), delivered downstream from the filter's streaming thread.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <new>
#include <vector>

#include "platform/dshow/dshow_filter.h"
#include "platform/av_log_quiet.h"

namespace dshow {

namespace {

constexpr V_WCHAR kInputName[] = u"In";
constexpr V_WCHAR kOutputName[] = u"Out";
constexpr V_WCHAR kFilterName[] = u"MPEG Audio Decoder";
constexpr int kReadSize = 32768;     // bytes a request reads
constexpr int kOutputSize = 32768;   // bytes of PCM a sample carries
constexpr int64_t kUnitsPerSecond = 10000000;

class MpegAudioDecoder : public PushFilter {
public:
    MpegAudioDecoder() : PushFilter(V_GUID_NULL, kFilterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_INPUT, kInputName),
                new StreamPin(this, 1, V_PINDIR_OUTPUT, kOutputName));
    }

    ~MpegAudioDecoder() override {
        Stop();
        CloseDecoder();
    }

    // ---- input: a byte stream of MPEG audio
    V_HRESULT CheckPinConnection(int pin, const V_AM_MEDIA_TYPE* type, V_IPin* peer) override {
        if (pin != 0 || !TypeIs(type, V_MEDIATYPE_Stream, V_GUID_NULL)) return V_S_FALSE;
        if (!(type->subtype == V_MEDIASUBTYPE_MPEG1Audio) && !(type->subtype == V_GUID_NULL))
            return V_S_FALSE;
        if (V_FAILED(peer->QueryInterface(V_IID_IAsyncReader, reinterpret_cast<void**>(&m_Reader))))
            return V_S_FALSE;
        if (!OpenDecoder()) {
            CloseDecoder();
            return V_VFW_E_TYPE_NOT_ACCEPTED;
        }
        return V_S_OK;
    }

    void BreakPinConnection(int pin) override {
        if (pin == 0) {
            Stop();
            CloseDecoder();
        }
    }

    // ---- output: PCM
    V_HRESULT GetPinType(int pin, int position, V_AM_MEDIA_TYPE* type) override {
        if (pin != 1 || position != 0 || m_Codec == nullptr) return V_VFW_S_NO_MORE_ITEMS;
        return SetPcmType(type, m_Channels, m_Rate);
    }

    void GetAllocatorNeeds(int, V_ALLOCATOR_PROPERTIES* properties) override {
        properties->cBuffers = 4;
        properties->cbBuffer = kOutputSize;
        properties->cbAlign = 1;
        properties->cbPrefix = 0;
    }

protected:
    void SeekData(V_REFERENCE_TIME) override {
        // The decoder plays its stream from the top again.
        av_seek_frame(m_Format, m_Stream, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
        avcodec_flush_buffers(m_Codec);
        MakeResampler(&m_Codec->ch_layout, m_Codec->sample_fmt, m_Codec->sample_rate);
        m_Draining = false;
        m_Flushed = false;
        m_Samples = 0;
        m_Pending.clear();
    }

    void UnblockStreaming(bool begin) override {
        // A streaming thread waiting for a read is released by the reader's flush.
        if (m_Reader == nullptr) return;
        if (begin)
            m_Reader->BeginFlush();
        else
            m_Reader->EndFlush();
    }

    V_HRESULT DeliverNext() override {
        while (m_Pending.size() < static_cast<size_t>(kOutputSize)) {
            if (m_Flushed) break;
            if (!DecodeMore()) {
                FlushResampler();
                m_Flushed = true;
            }
        }
        if (m_Pending.empty()) return V_S_FALSE;
        V_IMediaSample* sample = GetDeliveryBuffer();
        if (sample == nullptr) return V_VFW_E_NOT_COMMITTED;
        long room = sample->GetSize() - sample->GetSize() % (m_Channels * 2);
        long count = static_cast<long>(m_Pending.size()) < room
                         ? static_cast<long>(m_Pending.size())
                         : room;
        V_BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, m_Pending.data(), static_cast<size_t>(count));
        m_Pending.erase(m_Pending.begin(), m_Pending.begin() + count);
        int64_t frames = count / (m_Channels * 2);
        V_REFERENCE_TIME start = m_Samples * kUnitsPerSecond / m_Rate;
        m_Samples += frames;
        V_REFERENCE_TIME stop = m_Samples * kUnitsPerSecond / m_Rate;
        return DeliverStamped(sample, start, stop, count);
    }

private:
    // ---- reading through the upstream reader
    static int ReadPacket(void* opaque, uint8_t* buffer, int size) {
        return static_cast<MpegAudioDecoder*>(opaque)->ReadBytes(buffer, size);
    }

    static int64_t SeekStream(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<MpegAudioDecoder*>(opaque);
        int64_t total = 0, available = 0;
        self->m_Reader->Length(&total, &available);
        switch (whence & ~AVSEEK_FORCE) {
            case AVSEEK_SIZE: return total;
            case SEEK_SET: break;
            case SEEK_CUR: offset += self->m_Position; break;
            case SEEK_END: offset += total; break;
            default: return -1;
        }
        if (offset < 0) return -1;
        self->m_Position = offset;
        return offset;
    }

    int ReadBytes(uint8_t* buffer, int size) {
        int64_t total = 0, available = 0;
        if (V_FAILED(m_Reader->Length(&total, &available)) || m_Position >= total)
            return AVERROR_EOF;
        V_IMediaSample* sample = nullptr;
        if (V_FAILED(m_ReadAllocator->GetBuffer(&sample, nullptr, nullptr, 0))) return AVERROR_EOF;
        long want = size < sample->GetSize() ? size : sample->GetSize();
        if (total - m_Position < want) want = static_cast<long>(total - m_Position);
        V_REFERENCE_TIME start = m_Position * kUnitsPerSecond;
        V_REFERENCE_TIME stop = (m_Position + want) * kUnitsPerSecond;
        sample->SetTime(&start, &stop);
        int result = AVERROR(EIO);
        if (V_SUCCEEDED(m_Reader->Request(sample, 0))) {
            V_IMediaSample* done = nullptr;
            uintptr_t user = 0;
            V_HRESULT hr = m_Reader->WaitForNext(V_INFINITE, &done, &user);
            if (hr == V_S_OK && done == sample) {
                long got = sample->GetActualDataLength();
                V_BYTE* data = nullptr;
                sample->GetPointer(&data);
                if (got > 0 && got <= size) {
                    std::memcpy(buffer, data, static_cast<size_t>(got));
                    m_Position += got;
                    result = got;
                } else {
                    result = AVERROR_EOF;
                }
            }
        }
        sample->Release();
        return result;
    }

    // ---- decoding
    bool OpenDecoder() {
        V_ALLOCATOR_PROPERTIES wanted{1, kReadSize, 1, 0};
        V_IMemAllocator* preferred = nullptr;
        V_CreateMemoryAllocatorObject(&V_IID_IMemAllocator, reinterpret_cast<void**>(&preferred));
        V_HRESULT hr = m_Reader->RequestAllocator(preferred, &wanted, &m_ReadAllocator);
        if (preferred != nullptr) preferred->Release();
        if (V_FAILED(hr) || m_ReadAllocator == nullptr || V_FAILED(m_ReadAllocator->Commit()))
            return false;
        QuietAvLog();
        m_Position = 0;
        auto* ioBuffer = static_cast<uint8_t*>(av_malloc(kReadSize));
        if (ioBuffer == nullptr) return false;
        m_Io = avio_alloc_context(ioBuffer, kReadSize, 0, this, &ReadPacket, nullptr, &SeekStream);
        if (m_Io == nullptr) {
            av_free(ioBuffer);
            return false;
        }
        m_Format = avformat_alloc_context();
        if (m_Format == nullptr) return false;
        m_Format->pb = m_Io;
        m_Format->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&m_Format, nullptr, nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(m_Format, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        m_Stream = av_find_best_stream(m_Format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (m_Stream < 0 || codec == nullptr) return false;
        AVCodecID id = codec->id;
        if (id != AV_CODEC_ID_MP1 && id != AV_CODEC_ID_MP2 && id != AV_CODEC_ID_MP3) return false;
        m_Codec = avcodec_alloc_context3(codec);
        if (m_Codec == nullptr ||
            avcodec_parameters_to_context(m_Codec, m_Format->streams[m_Stream]->codecpar) < 0 ||
            avcodec_open2(m_Codec, codec, nullptr) < 0)
            return false;
        m_Rate = m_Codec->sample_rate;
        int channels = m_Codec->ch_layout.nb_channels;
        if (m_Rate < 1000 || m_Rate > 192000 || channels < 1) return false;
        m_Channels = channels > 2 ? 2 : channels;
        m_Frame = av_frame_alloc();
        m_Packet = av_packet_alloc();
        return m_Frame != nullptr && m_Packet != nullptr &&
               MakeResampler(&m_Codec->ch_layout, m_Codec->sample_fmt, m_Codec->sample_rate);
    }

    // (Re)makes the converter for the given input: the decoder's at the start, then each
    // frame's, since MPEG frames may change channels, rate and sample format midway.
    bool MakeResampler(AVChannelLayout* layout, int format, int rate) {
        swr_free(&m_Resampler);
        av_channel_layout_uninit(&m_InLayout);
        AVChannelLayout out;
        av_channel_layout_default(&out, m_Channels);
        if (swr_alloc_set_opts2(&m_Resampler, &out, AV_SAMPLE_FMT_S16, m_Rate, layout,
                                static_cast<AVSampleFormat>(format), rate, 0, nullptr) < 0 ||
            swr_init(m_Resampler) < 0 || av_channel_layout_copy(&m_InLayout, layout) < 0) {
            swr_free(&m_Resampler);
            return false;
        }
        m_InRate = rate;
        m_InFormat = format;
        return true;
    }

    // Decodes the next frame into the pending PCM; false at the end of the data.
    bool DecodeMore() {
        for (;;) {
            int got = avcodec_receive_frame(m_Codec, m_Frame);
            if (got == 0) {
                bool ok = Convert(m_Frame);
                av_frame_unref(m_Frame);
                if (!ok) return false;
                return true;
            }
            if (got != AVERROR(EAGAIN) || m_Draining) return false;
            int read = av_read_frame(m_Format, m_Packet);
            if (read < 0) {
                m_Draining = true;
                avcodec_send_packet(m_Codec, nullptr);
                continue;
            }
            if (m_Packet->stream_index == m_Stream) avcodec_send_packet(m_Codec, m_Packet);
            av_packet_unref(m_Packet);
        }
    }

    bool Convert(AVFrame* frame) {
        if ((frame->sample_rate != m_InRate || frame->format != m_InFormat ||
             av_channel_layout_compare(&frame->ch_layout, &m_InLayout) != 0) &&
            !MakeResampler(&frame->ch_layout, frame->format, frame->sample_rate))
            return false;
        int room = swr_get_out_samples(m_Resampler, frame->nb_samples);
        if (room <= 0) return true;
        size_t at = m_Pending.size();
        m_Pending.resize(at + static_cast<size_t>(room) * m_Channels * 2);
        uint8_t* out[1] = {m_Pending.data() + at};
        int n = swr_convert(m_Resampler, out, room,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        m_Pending.resize(at + static_cast<size_t>(n > 0 ? n : 0) * m_Channels * 2);
        return n >= 0;
    }

    void FlushResampler() {
        if (m_Resampler == nullptr) return;
        int room = swr_get_out_samples(m_Resampler, 0);
        if (room <= 0) return;
        size_t at = m_Pending.size();
        m_Pending.resize(at + static_cast<size_t>(room) * m_Channels * 2);
        uint8_t* out[1] = {m_Pending.data() + at};
        int n = swr_convert(m_Resampler, out, room, nullptr, 0);
        m_Pending.resize(at + static_cast<size_t>(n > 0 ? n : 0) * m_Channels * 2);
    }

    void CloseDecoder() {
        swr_free(&m_Resampler);
        av_channel_layout_uninit(&m_InLayout);
        av_frame_free(&m_Frame);
        av_packet_free(&m_Packet);
        avcodec_free_context(&m_Codec);
        if (m_Format != nullptr) avformat_close_input(&m_Format);
        if (m_Io != nullptr) {
            av_freep(&m_Io->buffer);
            avio_context_free(&m_Io);
        }
        if (m_ReadAllocator != nullptr) {
            m_ReadAllocator->Decommit();
            m_ReadAllocator->Release();
            m_ReadAllocator = nullptr;
        }
        if (m_Reader != nullptr) {
            m_Reader->Release();
            m_Reader = nullptr;
        }
        m_Pending.clear();
    }

    V_IAsyncReader* m_Reader = nullptr;
    V_IMemAllocator* m_ReadAllocator = nullptr;
    int64_t m_Position = 0;
    AVIOContext* m_Io = nullptr;
    AVFormatContext* m_Format = nullptr;
    AVCodecContext* m_Codec = nullptr;
    AVFrame* m_Frame = nullptr;
    AVPacket* m_Packet = nullptr;
    SwrContext* m_Resampler = nullptr;
    int m_Stream = -1;
    int m_Rate = 0;
    AVChannelLayout m_InLayout{};  // the input the converter was made for
    int m_InRate = 0;
    int m_InFormat = -1;
    int m_Channels = 0;
    bool m_Draining = false;
    bool m_Flushed = false;
    int64_t m_Samples = 0;
    std::vector<uint8_t> m_Pending;
};

}  // namespace

StreamFilter* CreateMpegAudioDecoder() { return new (std::nothrow) MpegAudioDecoder(); }

}  // namespace dshow
