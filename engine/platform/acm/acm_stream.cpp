// The audio compression manager's conversion streams over the FFmpeg decoders: compressed
// WAVE data, and integer or float samples that the plain PCM reader does not take, in whole
// blocks to PCM, with output beyond the caller's room kept for the next call, so that a call
// gives no output only when the data has truly ended.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <new>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/av_log_quiet.h"

namespace {

constexpr uint32_t kStreamMagic = 0x41434D53;  // "ACMS"

struct CodecEntry {
    V_WORD tag;
    AVCodecID id;
    bool sampleCodec;  // one block per sample frame: many blocks make one packet
};

const CodecEntry kCodecs[] = {
    {0x0002, AV_CODEC_ID_ADPCM_MS, false},   {0x0011, AV_CODEC_ID_ADPCM_IMA_WAV, false},
    {0x0006, AV_CODEC_ID_PCM_ALAW, true},    {0x0007, AV_CODEC_ID_PCM_MULAW, true},
    {0x0031, AV_CODEC_ID_GSM_MS, false},     {0x0050, AV_CODEC_ID_MP2, false},
    {0x0055, AV_CODEC_ID_MP3, false},
};

// Integer and IEEE float PCM, by sample width (the entry's tag holds the bits).
constexpr V_WORD kWaveFormatIeeeFloat = 0x0003;
constexpr V_WORD kWaveFormatExtensible = 0xFFFE;
const CodecEntry kIntegerPcm[] = {
    {8, AV_CODEC_ID_PCM_U8, true},
    {16, AV_CODEC_ID_PCM_S16LE, true},
    {24, AV_CODEC_ID_PCM_S24LE, true},
    {32, AV_CODEC_ID_PCM_S32LE, true},
};
const CodecEntry kFloatPcm[] = {
    {32, AV_CODEC_ID_PCM_F32LE, true},
    {64, AV_CODEC_ID_PCM_F64LE, true},
};
// The sub-formats of the extensible record: a format tag followed by the common 14-byte tail.
const uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Uncompressed samples whose block is one frame of whole samples, by width.
template <size_t N>
const CodecEntry* FindSampleCodec(const V_WAVEFORMATEX* format, const CodecEntry (&table)[N]) {
    if (format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8) return nullptr;
    for (const CodecEntry& entry : table)
        if (entry.tag == format->wBitsPerSample) return &entry;
    return nullptr;
}

// The extensible record's 22 bytes after the wave record: valid bits, channel mask and the
// sub-format. Integer PCM and IEEE float are taken; integer samples are left-justified, so
// fewer valid bits than the container's change nothing.
const CodecEntry* FindExtensibleCodec(const V_WAVEFORMATEX* format) {
    if (format->cbSize < 22) return nullptr;
    const uint8_t* extra = reinterpret_cast<const uint8_t*>(format) + sizeof(V_WAVEFORMATEX);
    const V_WORD validBits = static_cast<V_WORD>(extra[0] | extra[1] << 8);
    const V_WORD subFormat = static_cast<V_WORD>(extra[6] | extra[7] << 8);
    if (std::memcmp(extra + 8, kSubFormatTail, sizeof(kSubFormatTail)) != 0 ||
        validBits > format->wBitsPerSample)
        return nullptr;
    if (subFormat == V_WAVE_FORMAT_PCM) return FindSampleCodec(format, kIntegerPcm);
    if (subFormat == kWaveFormatIeeeFloat) return FindSampleCodec(format, kFloatPcm);
    return nullptr;
}

const CodecEntry* FindCodec(const V_WAVEFORMATEX* format) {
    if (format->wFormatTag == kWaveFormatExtensible) return FindExtensibleCodec(format);
    if (format->wFormatTag == kWaveFormatIeeeFloat) return FindSampleCodec(format, kFloatPcm);
    for (const CodecEntry& entry : kCodecs)
        if (entry.tag == format->wFormatTag) return &entry;
    return nullptr;
}

bool IsMpeg(const CodecEntry* codec) {
    return codec->id == AV_CODEC_ID_MP2 || codec->id == AV_CODEC_ID_MP3;
}

// A source format this stand-in can convert: a known tag whose decoder exists and sane fields.
bool IsConvertibleSource(const V_WAVEFORMATEX* source) {
    if (source == nullptr || FindCodec(source) == nullptr) return false;
    if (source->nChannels < 1 || source->nChannels > 8 || source->nBlockAlign == 0 ||
        source->nSamplesPerSec < 100 || source->nSamplesPerSec > 200000 ||
        source->nAvgBytesPerSec == 0)
        return false;
    return avcodec_find_decoder(FindCodec(source)->id) != nullptr;
}

bool IsPcmDestination(const V_WAVEFORMATEX* d) {
    return d != nullptr && d->wFormatTag == V_WAVE_FORMAT_PCM && d->nChannels >= 1 &&
           d->nChannels <= 8 && (d->wBitsPerSample == 8 || d->wBitsPerSample == 16) &&
           d->nBlockAlign == d->nChannels * d->wBitsPerSample / 8 && d->nSamplesPerSec >= 100 &&
           d->nSamplesPerSec <= 200000;
}

struct AcmStream {
    uint32_t magic;
    const CodecEntry* codec;
    V_WAVEFORMATEX source;
    V_WAVEFORMATEX destination;
    AVCodecContext* context;
    AVCodecParserContext* parser;
    SwrContext* resampler;
    // The input the resampler was made for: MPEG frames may change channels and rate.
    AVChannelLayout resamplerLayout;
    int resamplerRate;
    int resamplerFormat;
    AVPacket* packet;
    AVFrame* frame;
    std::vector<uint8_t> pending;  // converted bytes not yet handed out
    size_t pendingOffset;
    std::vector<uint8_t> parserInput;  // the caller's source with the padding the parser reads
};

AcmStream* FromHandle(V_HACMSTREAM handle) {
    auto* stream = reinterpret_cast<AcmStream*>(handle);
    return stream != nullptr && stream->magic == kStreamMagic ? stream : nullptr;
}

void DestroyStream(AcmStream* stream) {
    if (stream->parser) av_parser_close(stream->parser);
    avcodec_free_context(&stream->context);
    swr_free(&stream->resampler);
    av_channel_layout_uninit(&stream->resamplerLayout);
    av_packet_free(&stream->packet);
    av_frame_free(&stream->frame);
    stream->magic = 0;
    delete stream;
}

// Appends one decoded frame, converted to the destination format, to the pending bytes.
void AppendFrame(AcmStream* stream) {
    AVFrame* frame = stream->frame;
    if (stream->resampler != nullptr &&
        (frame->sample_rate != stream->resamplerRate || frame->format != stream->resamplerFormat ||
         av_channel_layout_compare(&frame->ch_layout, &stream->resamplerLayout) != 0))
        swr_free(&stream->resampler);
    if (stream->resampler == nullptr) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, stream->destination.nChannels);
        AVSampleFormat outFormat =
            stream->destination.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        if (swr_alloc_set_opts2(&stream->resampler, &outLayout, outFormat,
                                static_cast<int>(stream->destination.nSamplesPerSec),
                                &frame->ch_layout, static_cast<AVSampleFormat>(frame->format),
                                frame->sample_rate, 0, nullptr) < 0 ||
            swr_init(stream->resampler) < 0) {
            swr_free(&stream->resampler);
            av_channel_layout_uninit(&outLayout);
            return;
        }
        av_channel_layout_uninit(&outLayout);
        av_channel_layout_uninit(&stream->resamplerLayout);
        if (av_channel_layout_copy(&stream->resamplerLayout, &frame->ch_layout) < 0) {
            swr_free(&stream->resampler);
            return;
        }
        stream->resamplerRate = frame->sample_rate;
        stream->resamplerFormat = frame->format;
    }
    int room = swr_get_out_samples(stream->resampler, frame->nb_samples);
    if (room <= 0) return;
    size_t frameBytes = stream->destination.nBlockAlign;
    size_t old = stream->pending.size();
    stream->pending.resize(old + static_cast<size_t>(room) * frameBytes);
    uint8_t* out = stream->pending.data() + old;
    int got = swr_convert(stream->resampler, &out, room,
                          const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    stream->pending.resize(old + static_cast<size_t>(got > 0 ? got : 0) * frameBytes);
}

// Decodes one packet; damaged data is skipped.
void DecodePacket(AcmStream* stream, const uint8_t* data, int size) {
    AVPacket* packet = stream->packet;
    if (av_new_packet(packet, size) < 0) return;
    std::memcpy(packet->data, data, static_cast<size_t>(size));
    int sent = avcodec_send_packet(stream->context, packet);
    av_packet_unref(packet);
    if (sent < 0) return;
    while (avcodec_receive_frame(stream->context, stream->frame) == 0) {
        AppendFrame(stream);
        av_frame_unref(stream->frame);
    }
}

// Moves pending bytes into the caller's room; returns the bytes moved.
V_DWORD DrainPending(AcmStream* stream, uint8_t* out, V_DWORD room) {
    size_t available = stream->pending.size() - stream->pendingOffset;
    size_t n = available < room ? available : room;
    if (n > 0) std::memcpy(out, stream->pending.data() + stream->pendingOffset, n);
    stream->pendingOffset += n;
    if (stream->pendingOffset == stream->pending.size()) {
        stream->pending.clear();
        stream->pendingOffset = 0;
    }
    return static_cast<V_DWORD>(n);
}

// Output frames one source block gives at most.
uint64_t SamplesPerBlock(const V_WAVEFORMATEX& s, const CodecEntry* codec) {
    uint32_t block = s.nBlockAlign, channels = s.nChannels;
    switch (codec->id) {
        case AV_CODEC_ID_ADPCM_IMA_WAV:
            return block > 4 * channels ? (block - 4 * channels) * 2 / channels + 1 : 1;
        case AV_CODEC_ID_ADPCM_MS:
            return block > 7 * channels ? (block - 7 * channels) * 2 / channels + 2 : 2;
        case AV_CODEC_ID_GSM_MS: return 320 * ((block + 64) / 65);
        default: return 1;
    }
}

}  // namespace

V_MMRESULT V_acmMetrics(V_HACMOBJ object, V_UINT metric, void* value) {
    if (value == nullptr) return V_MMSYSERR_INVALPARAM;
    if (object != nullptr) return V_MMSYSERR_INVALHANDLE;
    if (metric != V_ACM_METRIC_MAX_SIZE_FORMAT) return V_MMSYSERR_NOTSUPPORTED;
    // The largest format of the converters above: MS ADPCM with its seven coefficient pairs.
    *static_cast<V_DWORD*>(value) = 18 + 4 + 7 * 4;
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmFormatSuggest(V_HACMDRIVER, const V_WAVEFORMATEX* source,
                              V_WAVEFORMATEX* destination, V_DWORD destinationSize,
                              V_DWORD flags) {
    if (destination == nullptr || destinationSize < 16) return V_MMSYSERR_INVALPARAM;
    if ((flags & V_ACM_FORMATSUGGESTF_WFORMATTAG) &&
        destination->wFormatTag != V_WAVE_FORMAT_PCM)
        return V_ACMERR_NOTPOSSIBLE;
    if (!IsConvertibleSource(source)) return V_ACMERR_NOTPOSSIBLE;
    destination->wFormatTag = V_WAVE_FORMAT_PCM;
    destination->nChannels = source->nChannels;
    destination->nSamplesPerSec = source->nSamplesPerSec;
    destination->wBitsPerSample = 16;
    destination->nBlockAlign = static_cast<V_WORD>(source->nChannels * 2);
    destination->nAvgBytesPerSec = destination->nBlockAlign * destination->nSamplesPerSec;
    if (destinationSize >= sizeof(V_WAVEFORMATEX)) destination->cbSize = 0;
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamOpen(V_HACMSTREAM* handle, V_HACMDRIVER, const V_WAVEFORMATEX* source,
                           const V_WAVEFORMATEX* destination, void* filter, uintptr_t,
                           uintptr_t, V_DWORD) {
    if (handle == nullptr) return V_MMSYSERR_INVALPARAM;
    *handle = nullptr;
    if (filter != nullptr || !IsPcmDestination(destination)) return V_ACMERR_NOTPOSSIBLE;
    if (!IsConvertibleSource(source)) return V_ACMERR_NOTPOSSIBLE;
    const CodecEntry* codec = FindCodec(source);
    auto* stream = new (std::nothrow) AcmStream{};
    if (stream == nullptr) return V_MMSYSERR_NOMEM;
    stream->magic = kStreamMagic;
    stream->codec = codec;
    stream->source = *source;
    stream->destination = *destination;
    stream->context = avcodec_alloc_context3(avcodec_find_decoder(codec->id));
    stream->packet = av_packet_alloc();
    stream->frame = av_frame_alloc();
    if (stream->context == nullptr || stream->packet == nullptr || stream->frame == nullptr) {
        DestroyStream(stream);
        return V_MMSYSERR_NOMEM;
    }
    AVCodecContext* context = stream->context;
    context->sample_rate = static_cast<int>(source->nSamplesPerSec);
    av_channel_layout_default(&context->ch_layout, source->nChannels);
    context->block_align = source->nBlockAlign;
    context->bits_per_coded_sample = source->wBitsPerSample;
    context->bit_rate = static_cast<int64_t>(source->nAvgBytesPerSec) * 8;
    if (source->cbSize > 0) {
        // The format-specific bytes follow the 18-byte record.
        context->extradata = static_cast<uint8_t*>(
            av_mallocz(static_cast<size_t>(source->cbSize) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context->extradata == nullptr) {
            DestroyStream(stream);
            return V_MMSYSERR_NOMEM;
        }
        std::memcpy(context->extradata, reinterpret_cast<const uint8_t*>(source) + 18,
                    source->cbSize);
        context->extradata_size = source->cbSize;
    }
    QuietAvLog();
    if (avcodec_open2(context, nullptr, nullptr) < 0) {
        DestroyStream(stream);
        return V_ACMERR_NOTPOSSIBLE;
    }
    if (IsMpeg(codec)) stream->parser = av_parser_init(codec->id);
    *handle = reinterpret_cast<V_HACMSTREAM>(stream);
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamClose(V_HACMSTREAM handle, V_DWORD) {
    AcmStream* stream = FromHandle(handle);
    if (stream == nullptr) return V_MMSYSERR_INVALHANDLE;
    DestroyStream(stream);
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamSize(V_HACMSTREAM handle, V_DWORD input, V_DWORD* output, V_DWORD flags) {
    AcmStream* stream = FromHandle(handle);
    if (stream == nullptr) return V_MMSYSERR_INVALHANDLE;
    if (output == nullptr) return V_MMSYSERR_INVALPARAM;
    const V_WAVEFORMATEX& s = stream->source;
    const V_WAVEFORMATEX& d = stream->destination;
    uint64_t frames;
    if ((flags & V_ACM_STREAMSIZEF_DESTINATION) == 0) {
        if (IsMpeg(stream->codec)) {
            // No MPEG audio stream has fewer than 1000 bytes a second, whatever the header says.
            uint64_t rate = s.nAvgBytesPerSec < 1000 ? 1000 : s.nAvgBytesPerSec;
            frames = static_cast<uint64_t>(input) * s.nSamplesPerSec / rate + 2304;
        } else {
            uint64_t blocks = (static_cast<uint64_t>(input) + s.nBlockAlign - 1) / s.nBlockAlign;
            frames = blocks * SamplesPerBlock(s, stream->codec);
        }
        if (d.nSamplesPerSec != s.nSamplesPerSec)
            frames = frames * d.nSamplesPerSec / s.nSamplesPerSec + 1;
        uint64_t bytes = frames * d.nBlockAlign;
        *output = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<V_DWORD>(bytes);
    } else {
        // Source bytes that give at least the asked output.
        uint64_t wanted = (static_cast<uint64_t>(input) + d.nBlockAlign - 1) / d.nBlockAlign;
        uint64_t perBlock = IsMpeg(stream->codec) ? 1152 : SamplesPerBlock(s, stream->codec);
        uint64_t bytes = (wanted + perBlock - 1) / perBlock * s.nBlockAlign;
        *output = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<V_DWORD>(bytes);
    }
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamPrepareHeader(V_HACMSTREAM handle, V_ACMSTREAMHEADER* header, V_DWORD) {
    if (FromHandle(handle) == nullptr) return V_MMSYSERR_INVALHANDLE;
    if (header == nullptr || header->cbStruct < sizeof(V_ACMSTREAMHEADER))
        return V_MMSYSERR_INVALPARAM;
    header->fdwStatus |= V_ACMSTREAMHEADER_STATUSF_PREPARED;
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamUnprepareHeader(V_HACMSTREAM handle, V_ACMSTREAMHEADER* header, V_DWORD) {
    if (FromHandle(handle) == nullptr) return V_MMSYSERR_INVALHANDLE;
    if (header == nullptr) return V_MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & V_ACMSTREAMHEADER_STATUSF_PREPARED)) return V_ACMERR_UNPREPARED;
    header->fdwStatus &= ~V_ACMSTREAMHEADER_STATUSF_PREPARED;
    return V_MMSYSERR_NOERROR;
}

V_MMRESULT V_acmStreamConvert(V_HACMSTREAM handle, V_ACMSTREAMHEADER* header, V_DWORD) {
    AcmStream* stream = FromHandle(handle);
    if (stream == nullptr) return V_MMSYSERR_INVALHANDLE;
    if (header == nullptr) return V_MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & V_ACMSTREAMHEADER_STATUSF_PREPARED)) return V_ACMERR_UNPREPARED;
    header->cbSrcLengthUsed = 0;
    header->cbDstLengthUsed = 0;
    V_DWORD room = header->cbDstLength;
    V_DWORD used = DrainPending(stream, header->pbDst, room);
    V_DWORD consumed = 0;
    const V_DWORD sourceLength = header->pbSrc ? header->cbSrcLength : 0;
    if (stream->parser != nullptr) {
        // The parser reads (and copies) a padding's worth beyond the bytes it is given.
        std::vector<uint8_t>& input = stream->parserInput;
        input.assign(static_cast<size_t>(sourceLength) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        if (sourceLength > 0) std::memcpy(input.data(), header->pbSrc, sourceLength);
        while (used < room && consumed < sourceLength) {
            uint8_t* data = nullptr;
            int size = 0;
            int taken = av_parser_parse2(stream->parser, stream->context, &data, &size,
                                         input.data() + consumed,
                                         static_cast<int>(sourceLength - consumed),
                                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (taken < 0) break;
            consumed += static_cast<V_DWORD>(taken);
            if (size > 0) DecodePacket(stream, data, size);
            used += DrainPending(stream, header->pbDst + used, room - used);
            if (taken == 0 && size == 0) break;
        }
    } else {
        // Whole blocks only: a last partial block is left to the caller.
        const V_DWORD block = stream->source.nBlockAlign;
        const V_DWORD packetBytes = stream->codec->sampleCodec ? block * 1024 : block;
        while (used < room && sourceLength - consumed >= block) {
            V_DWORD n = sourceLength - consumed;
            if (n > packetBytes) n = packetBytes;
            n -= n % block;
            DecodePacket(stream, header->pbSrc + consumed, static_cast<int>(n));
            consumed += n;
            used += DrainPending(stream, header->pbDst + used, room - used);
        }
    }
    header->cbSrcLengthUsed = consumed;
    header->cbDstLengthUsed = used;
    header->fdwStatus |= V_ACMSTREAMHEADER_STATUSF_DONE;
    return V_MMSYSERR_NOERROR;
}
