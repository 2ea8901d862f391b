// The two RIFF/WAVE probes: PCM data handed out as it stands (kind 0), and compressed data
// converted through the audio compression manager (kind 1). Headers are untrusted: every
// size is checked against the bytes the stream really holds.
#include <cstring>

#include "sound/sound_decoder.h"

namespace {

// Largest format chunk: the 18-byte record plus the most extra bytes its cbSize can name.
constexpr uint32_t kMaxFormatChunk = 18 + 0xFFFF;
// Compressed bytes one conversion takes, unless a block is larger.
constexpr int32_t kAcmSliceBytes = 2048;

uint32_t ReadLittle32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t StreamTell(SoundDecoder* d) { return d->stream.functions.tell(d->stream.handle); }
int StreamSeek(SoundDecoder* d, int32_t offset, int origin) {
    return d->stream.functions.seek(d->stream.handle, offset, origin);
}
size_t StreamRead(SoundDecoder* d, void* buffer, size_t bytes) {
    return d->stream.functions.read(buffer, 1, bytes, d->stream.handle);
}

struct WaveLayout {
    uint8_t* formatBlock;  // at least 18 bytes, zero beyond the chunk
    uint32_t formatSize;
    int32_t dataStart;
    int32_t dataSize;  // clamped to the bytes in the stream
};

// Walks RIFF, WAVE, an optional "bext", "fmt " and the chunks up to "data".
// 0 with the format block allocated, -1 with nothing allocated.
int WalkWaveChunks(SoundDecoder* d, WaveLayout* layout) {
    // The stream's real size bounds every chunk.
    if (StreamSeek(d, 0, 2) != 0) return -1;
    int32_t streamSize = StreamTell(d);
    if (streamSize < 12 || StreamSeek(d, 0, 0) != 0) return -1;

    uint8_t header[8];
    if (StreamRead(d, header, 8) != 8 || std::memcmp(header, "RIFF", 4) != 0) return -1;
    if (StreamRead(d, header, 4) != 4 || std::memcmp(header, "WAVE", 4) != 0) return -1;
    if (StreamRead(d, header, 8) != 8) return -1;
    if (std::memcmp(header, "bext", 4) == 0) {
        uint32_t size = ReadLittle32(header + 4);
        if (size > static_cast<uint32_t>(streamSize - StreamTell(d))) return -1;
        if (StreamSeek(d, static_cast<int32_t>(size), 1) != 0) return -1;
        if (StreamRead(d, header, 8) != 8) return -1;
    }
    if (std::memcmp(header, "fmt ", 4) != 0) return -1;
    uint32_t formatSize = ReadLittle32(header + 4);
    if (formatSize < 16 || formatSize > kMaxFormatChunk ||
        formatSize > static_cast<uint32_t>(streamSize - StreamTell(d)))
        return -1;
    uint32_t blockSize = formatSize < 18 ? 18 : formatSize;
    auto* block = static_cast<uint8_t*>(AllocateZeroedMemory(blockSize, "", 0));
    if (block == nullptr) return -1;
    if (StreamRead(d, block, formatSize) != formatSize) {
        FreeMemory(block);
        return -1;
    }
    // A cbSize beyond the chunk is cut to what the chunk holds.
    auto* format = reinterpret_cast<V_WAVEFORMATEX*>(block);
    if (formatSize < 18) format->cbSize = 0;
    else if (format->cbSize > formatSize - 18) format->cbSize = static_cast<V_WORD>(formatSize - 18);
    if (format->nChannels == 0 || format->nBlockAlign == 0 || format->nSamplesPerSec == 0 ||
        format->nAvgBytesPerSec == 0) {
        FreeMemory(block);
        return -1;
    }

    for (;;) {
        if (StreamRead(d, header, 8) != 8) {
            FreeMemory(block);
            return -1;
        }
        uint32_t size = ReadLittle32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            int32_t start = StreamTell(d);
            uint32_t available = static_cast<uint32_t>(streamSize - start);
            layout->formatBlock = block;
            layout->formatSize = formatSize;
            layout->dataStart = start;
            layout->dataSize = static_cast<int32_t>(size < available ? size : available);
            return 0;
        }
        uint64_t skip = static_cast<uint64_t>(size) + (size & 1);
        if (skip > static_cast<uint64_t>(streamSize - StreamTell(d)) ||
            StreamSeek(d, static_cast<int32_t>(skip), 1) != 0) {
            FreeMemory(block);
            return -1;
        }
    }
}

// A 16-byte PCM format chunk carries no cbSize; its sample width follows from the block.
void FixShortPcmFormat(V_WAVEFORMATEX* format, uint32_t formatSize) {
    if (format->wFormatTag == V_WAVE_FORMAT_PCM && formatSize == 16) {
        format->wBitsPerSample = static_cast<V_WORD>(format->nBlockAlign / format->nChannels * 8);
        format->cbSize = 0;
    }
}

// PCM that the sound buffers can play: whole bytes per sample, 1 to 8 channels, a block of
// one frame, a rate the mixer takes.
bool IsPlayablePcm(const V_WAVEFORMATEX& f) {
    V_WORD bits = f.wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (f.nChannels > 8 || f.nBlockAlign != f.nChannels * bits / 8) return false;
    return f.nSamplesPerSec >= 100 && f.nSamplesPerSec <= 200000;
}

void CloseAcmStreams(SoundDecoder* d) {
    if (d->mainStream) V_acmStreamClose(d->mainStream, 0);
    if (d->spareStream) V_acmStreamClose(d->spareStream, 0);
    d->mainStream = nullptr;
    d->spareStream = nullptr;
}

int OpenAcmStream(SoundDecoder* d, V_HACMSTREAM* stream) {
    return V_acmStreamOpen(stream, nullptr, d->sourceFormat, &d->format, nullptr, 0, 0,
                           V_ACM_STREAMOPENF_NONREALTIME) == V_MMSYSERR_NOERROR
               ? 0
               : -1;
}

}  // namespace

int OpenPcmWaveDecoder(SoundDecoder* decoder) {
    WaveLayout layout{};
    if (WalkWaveChunks(decoder, &layout) != 0) return -1;
    auto* chunk = reinterpret_cast<V_WAVEFORMATEX*>(layout.formatBlock);
    if (chunk->wFormatTag != V_WAVE_FORMAT_PCM) {
        FreeMemory(layout.formatBlock);
        return -1;
    }
    decoder->format = V_WAVEFORMATEX{};
    CopyBytes(&decoder->format, chunk, layout.formatSize < 18 ? layout.formatSize : 18);
    FreeMemory(layout.formatBlock);
    FixShortPcmFormat(&decoder->format, layout.formatSize);
    decoder->format.cbSize = 0;
    if (!IsPlayablePcm(decoder->format)) return -1;
    // The rate of bytes follows from the frame; a header that says otherwise is not trusted.
    decoder->format.nAvgBytesPerSec = decoder->format.nSamplesPerSec * decoder->format.nBlockAlign;
    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize - layout.dataSize % decoder->format.nBlockAlign;
    decoder->chunkSize = static_cast<int32_t>(decoder->format.nAvgBytesPerSec);
    decoder->kind = kDecoderPcmWave;
    return 0;
}

int OpenAcmWaveDecoder(SoundDecoder* decoder) {
    WaveLayout layout{};
    if (WalkWaveChunks(decoder, &layout) != 0) return -1;
    decoder->sourceFormat = reinterpret_cast<V_WAVEFORMATEX*>(layout.formatBlock);
    FixShortPcmFormat(decoder->sourceFormat, layout.formatSize);
    decoder->format = V_WAVEFORMATEX{};
    decoder->format.wFormatTag = V_WAVE_FORMAT_PCM;
    if (V_acmFormatSuggest(nullptr, decoder->sourceFormat, &decoder->format,
                           sizeof(V_WAVEFORMATEX),
                           V_ACM_FORMATSUGGESTF_WFORMATTAG) != V_MMSYSERR_NOERROR) {
        CloseAcmDecoder(decoder);
        return -1;
    }
    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize;
    decoder->compressedSize = layout.dataSize;
    decoder->compressedData = static_cast<uint8_t*>(
        AllocateMemory(static_cast<size_t>(layout.dataSize ? layout.dataSize : 1), "", 0));
    if (decoder->compressedData == nullptr ||
        StreamRead(decoder, decoder->compressedData, static_cast<size_t>(layout.dataSize)) !=
            static_cast<size_t>(layout.dataSize)) {
        CloseAcmDecoder(decoder);
        return -1;
    }
    StreamSeek(decoder, decoder->dataStart, 0);
    decoder->mainSourceOffset = 0;
    if (OpenAcmStream(decoder, &decoder->mainStream) != 0 ||
        OpenAcmStream(decoder, &decoder->spareStream) != 0) {
        CloseAcmDecoder(decoder);
        return -1;
    }
    decoder->chunkSize = static_cast<int32_t>(decoder->format.nAvgBytesPerSec);
    decoder->totalSamples = -1;
    decoder->kind = kDecoderAcm;
    return 0;
}

int ReadPcmWaveChunk(SoundDecoder* decoder) {
    int32_t p = StreamTell(decoder) - decoder->dataStart;
    if (p < 0 || p >= decoder->dataSize) return -1;
    int32_t n = decoder->dataSize - p;
    if (n > decoder->chunkSize) n = decoder->chunkSize;
    size_t got = StreamRead(decoder, decoder->outputBlock, static_cast<size_t>(n));
    if (got > static_cast<size_t>(n)) got = 0;
    decoder->chunkLeft = static_cast<int32_t>(got);
    return got == 0 ? -1 : 0;
}

int ConvertAcmChunk(SoundDecoder* decoder) {
    if (decoder->mainSourceOffset >= decoder->compressedSize) return -1;
    // Blocks larger than the usual slice are converted one whole block at a time.
    int32_t slice = kAcmSliceBytes;
    if (decoder->sourceFormat->nBlockAlign > slice) slice = decoder->sourceFormat->nBlockAlign;
    int32_t left = decoder->compressedSize - decoder->mainSourceOffset;
    V_ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = decoder->compressedData + decoder->mainSourceOffset;
    header.cbSrcLength = static_cast<V_DWORD>(left < slice ? left : slice);
    header.pbDst = decoder->outputBlock;
    header.cbDstLength = static_cast<V_DWORD>(decoder->chunkSize);
    if (V_acmStreamPrepareHeader(decoder->mainStream, &header, 0) != V_MMSYSERR_NOERROR) return -1;
    V_acmStreamConvert(decoder->mainStream, &header, V_ACM_STREAMCONVERTF_BLOCKALIGN);
    decoder->chunkLeft = static_cast<int32_t>(header.cbDstLengthUsed);
    decoder->mainSourceOffset += static_cast<int32_t>(header.cbSrcLengthUsed);
    V_acmStreamUnprepareHeader(decoder->mainStream, &header, 0);
    if (header.cbDstLengthUsed == 0) {
        decoder->chunkLeft = 0;
        decoder->mainSourceOffset = decoder->compressedSize;
        return -1;
    }
    return 0;
}

int SeekPcmWaveDecoder(SoundDecoder* decoder, int32_t sample) {
    int64_t offset = static_cast<int64_t>(sample) * decoder->format.nBlockAlign;
    if (offset < 0) offset = 0;
    if (offset > decoder->dataSize) offset = decoder->dataSize;
    StreamSeek(decoder, decoder->dataStart + static_cast<int32_t>(offset), 0);
    // Past the end the stream stands at the end of the data, the position at the target.
    decoder->position = SeekTargetPosition(decoder, sample);
    decoder->chunkLeft = 0;
    decoder->chunkOffset = 0;
    return 0;
}

int SeekAcmDecoder(SoundDecoder* decoder, int32_t sample) {
    // A target beyond what a position can hold is past any data: the decode runs to the end.
    const int32_t target = SeekTargetPosition(decoder, sample);
    if (target < decoder->position) {
        // Start again from the first compressed byte on the fresh spare stream.
        V_HACMSTREAM used = decoder->mainStream;
        decoder->mainStream = decoder->spareStream;
        decoder->spareStream = nullptr;
        decoder->mainSourceOffset = 0;
        decoder->position = 0;
        decoder->chunkLeft = 0;
        decoder->chunkOffset = 0;
        V_acmStreamClose(used, 0);
        OpenAcmStream(decoder, &decoder->spareStream);
    }
    while (decoder->position + decoder->chunkLeft < target) {
        decoder->position += decoder->chunkLeft;
        decoder->chunkLeft = 0;
        decoder->chunkOffset = 0;
        if (ConvertAcmChunk(decoder) != 0) {
            // Past the end of the data: the position is the target all the same, so that a
            // later seek back into the data is carried out.
            decoder->chunkLeft = 0;
            decoder->endFlag = 1;
            decoder->position = target;
            return 0;
        }
    }
    int32_t skip = target - decoder->position;
    decoder->chunkOffset += skip;
    decoder->chunkLeft -= skip;
    decoder->position = target;
    return 0;
}

int CloseAcmDecoder(SoundDecoder* decoder) {
    FreeMemory(decoder->sourceFormat);
    decoder->sourceFormat = nullptr;
    CloseAcmStreams(decoder);
    FreeMemory(decoder->compressedData);
    decoder->compressedData = nullptr;
    return 0;
}
