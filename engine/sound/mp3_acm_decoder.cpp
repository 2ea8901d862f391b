// MP3 files through the audio compression manager: the frames are found here (an ID3v2 tag
// at the front and an ID3v1 tag at the back skipped), their samples counted, and the data
// described as one MPEG Layer 3 format for the kind-1 conversion steps.
#include <cstring>

#include "sound/sound_decoder.h"

namespace {

constexpr int32_t kId3v1Size = 128;
constexpr V_DWORD kSmallestFormatBlock = sizeof(V_MPEGLAYER3WAVEFORMAT);
constexpr V_WORD kCodecDelay = 700;

int StreamSeek(SoundDecoder* d, int32_t offset, int origin) {
    return d->stream.functions.seek(d->stream.handle, offset, origin);
}
size_t StreamRead(SoundDecoder* d, void* buffer, size_t bytes) {
    size_t got = d->stream.functions.read(buffer, 1, bytes, d->stream.handle);
    return got > bytes ? 0 : got;
}

// Byte-wise reading of the stream through a small buffer; bytes at or after `limit` (the
// ID3v1 tag) read as the end, so that nothing in the tag is taken for a frame.
struct ScanReader {
    SoundDecoder* decoder;
    int32_t limit;
    int32_t next;  // stream position of the next byte
    int32_t bufferStart;
    int32_t filled;
    uint8_t buffer[4096];
};

bool ReadScanByte(ScanReader* r, uint8_t* out) {
    if (r->next >= r->limit) return false;
    if (r->next < r->bufferStart || r->next >= r->bufferStart + r->filled) {
        int32_t want = r->limit - r->next;
        if (want > static_cast<int32_t>(sizeof(r->buffer))) want = sizeof(r->buffer);
        r->bufferStart = r->next;
        r->filled = 0;
        if (StreamSeek(r->decoder, r->next, 0) != 0) return false;
        r->filled =
            static_cast<int32_t>(StreamRead(r->decoder, r->buffer, static_cast<size_t>(want)));
        if (r->filled == 0) return false;
    }
    *out = r->buffer[r->next - r->bufferStart];
    ++r->next;
    return true;
}

struct FrameScan {
    int32_t first;  // position of the first frame's header, -1 when none
    int32_t dataEnd;
    int64_t totalSamples;
    Mp3FrameInfo firstFrame;
};

// Walks the frames from `start`; -1 when a header met is invalid.
int ScanFrames(SoundDecoder* d, int32_t start, int32_t limit, FrameScan* scan) {
    ScanReader reader;
    ScanReader* r = &reader;
    r->decoder = d;
    r->limit = limit;
    r->next = start;
    r->bufferStart = 0;
    r->filled = 0;
    *scan = FrameScan{-1, 0, 0, {}};
    uint8_t header[4];
    for (;;) {
        if (!ReadScanByte(r, &header[0])) break;
        if (header[0] != 0xFF) continue;
        const int32_t position = r->next - 1;
        if (!ReadScanByte(r, &header[1])) break;
        if ((header[1] & 0xF0) != 0xF0) continue;
        if (!ReadScanByte(r, &header[2]) || !ReadScanByte(r, &header[3])) break;
        Mp3FrameInfo info;
        if (ParseMp3FrameHeader(header, &info) != 0 || info.frameLength == 0) return -1;
        if (scan->first < 0) {
            scan->first = position;
            scan->firstFrame = info;
        }
        scan->totalSamples += info.samplesPerFrame;
        const int64_t end = static_cast<int64_t>(position) + info.frameLength;
        if (end >= limit) {
            scan->dataEnd = limit;
            break;
        }
        scan->dataEnd = static_cast<int32_t>(end);
        r->next = scan->dataEnd;
    }
    return 0;
}

// Bytes of the ID3v2 tag at the front (0 when there is none); -1 when unreadable.
int32_t MeasureId3v2(SoundDecoder* d) {
    uint8_t tag[10];
    if (StreamRead(d, tag, 3) != 3 || std::memcmp(tag, "ID3", 3) != 0) return 0;
    if (StreamRead(d, tag + 3, 7) != 7) return -1;
    int32_t size = ((tag[6] * 128 + tag[7]) * 128 + tag[8]) * 128 + tag[9];
    int32_t skip = 10 + size;
    if (tag[3] == 4 && (tag[5] & 0x10)) skip += 10;  // footer
    return skip;
}

// The manager's description of the data, built from the first frame.
V_WAVEFORMATEX* BuildMp3Format(const Mp3FrameInfo& frame) {
    V_DWORD blockSize = 0;
    if (V_acmMetrics(nullptr, V_ACM_METRIC_MAX_SIZE_FORMAT, &blockSize) != V_MMSYSERR_NOERROR)
        blockSize = kSmallestFormatBlock;
    if (blockSize < kSmallestFormatBlock) blockSize = kSmallestFormatBlock;
    auto* format = static_cast<V_MPEGLAYER3WAVEFORMAT*>(AllocateZeroedMemory(blockSize, "", 0));
    if (format == nullptr) return nullptr;
    format->wfx.wFormatTag = V_WAVE_FORMAT_MPEGLAYER3;
    format->wfx.nChannels = frame.channels;
    format->wfx.nSamplesPerSec = frame.sampleRate;
    format->wfx.nAvgBytesPerSec = frame.bitrate * 1000 / 8;
    format->wfx.nBlockAlign = 1;
    format->wfx.wBitsPerSample = 0;
    format->wfx.cbSize = sizeof(V_MPEGLAYER3WAVEFORMAT) - sizeof(V_WAVEFORMATEX);
    format->wID = V_MPEGLAYER3_ID_MPEG;
    format->fdwFlags = frame.padding;
    format->nBlockSize = static_cast<V_WORD>(frame.frameLength);
    format->nFramesPerBlock = 1;
    format->nCodecDelay = kCodecDelay;
    return &format->wfx;
}

int OpenAcmStream(SoundDecoder* d, V_HACMSTREAM* stream) {
    return V_acmStreamOpen(stream, nullptr, d->sourceFormat, &d->format, nullptr, 0, 0,
                           V_ACM_STREAMOPENF_NONREALTIME) == V_MMSYSERR_NOERROR
               ? 0
               : -1;
}

int Refuse(SoundDecoder* d) {
    CloseAcmDecoder(d);
    d->totalSamples = -1;
    return -1;
}

}  // namespace

int OpenMp3AcmDecoder(SoundDecoder* decoder) {
    decoder->sourceFormat = nullptr;
    decoder->mainStream = nullptr;
    decoder->spareStream = nullptr;
    decoder->compressedData = nullptr;
    decoder->compressedSize = 0;
    decoder->mainSourceOffset = 0;
    decoder->totalSamples = 0;

    if (StreamSeek(decoder, 0, 2) != 0) return Refuse(decoder);
    const int32_t fileSize = decoder->stream.functions.tell(decoder->stream.handle);
    if (fileSize <= 0 || StreamSeek(decoder, 0, 0) != 0) return Refuse(decoder);
    const int32_t skip = MeasureId3v2(decoder);
    if (skip < 0 || skip >= fileSize) return Refuse(decoder);

    int32_t tail = fileSize;
    if (fileSize > kId3v1Size) {
        uint8_t tag[3];
        tail = 0;
        if (StreamSeek(decoder, fileSize - kId3v1Size, 0) == 0 &&
            StreamRead(decoder, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0)
            tail = kId3v1Size;
    }
    const int32_t limit = fileSize - tail;

    FrameScan scan;
    if (ScanFrames(decoder, skip, limit, &scan) != 0 || scan.first < 0) return Refuse(decoder);

    decoder->sourceFormat = BuildMp3Format(scan.firstFrame);
    if (decoder->sourceFormat == nullptr) return Refuse(decoder);
    decoder->dataStart = scan.first;
    decoder->dataSize = scan.dataEnd - scan.first;
    decoder->format = V_WAVEFORMATEX{};
    decoder->format.wFormatTag = V_WAVE_FORMAT_PCM;
    if (V_acmFormatSuggest(nullptr, decoder->sourceFormat, &decoder->format, sizeof(V_WAVEFORMATEX),
                           V_ACM_FORMATSUGGESTF_WFORMATTAG) != V_MMSYSERR_NOERROR ||
        decoder->format.nBlockAlign == 0)
        return Refuse(decoder);

    decoder->compressedSize = decoder->dataSize;
    decoder->compressedData =
        static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(decoder->dataSize), "", 0));
    if (decoder->compressedData == nullptr || StreamSeek(decoder, decoder->dataStart, 0) != 0 ||
        StreamRead(decoder, decoder->compressedData, static_cast<size_t>(decoder->dataSize)) !=
            static_cast<size_t>(decoder->dataSize))
        return Refuse(decoder);
    StreamSeek(decoder, decoder->dataStart, 0);
    decoder->mainSourceOffset = 0;
    if (OpenAcmStream(decoder, &decoder->mainStream) != 0 ||
        OpenAcmStream(decoder, &decoder->spareStream) != 0)
        return Refuse(decoder);

    // The length in bytes must fit the decoder's 32-bit sizes.
    const int64_t mostSamples = 0x7FFFFFFF / decoder->format.nBlockAlign;
    decoder->totalSamples =
        static_cast<int32_t>(scan.totalSamples < mostSamples ? scan.totalSamples : mostSamples);
    decoder->chunkSize = static_cast<int32_t>(decoder->format.nAvgBytesPerSec * 4 / 3);
    decoder->kind = kDecoderAcm;
    return 0;
}
