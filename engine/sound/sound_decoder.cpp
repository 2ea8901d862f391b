// The decoder chain: tries each format in turn and dispatches reads, seeks and closes on
// the kind that accepted the stream.
#include "sound/sound_decoder.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Releases what an accepted probe opened.
void ReleaseKindState(SoundDecoder* decoder) {
    switch (decoder->kind) {
        case kDecoderAcm: CloseAcmDecoder(decoder); break;
        case kDecoderOggVorbis: CloseOggVorbisSound(decoder); break;
        case kDecoderMemoryPcm: CloseMemoryPcm(decoder); break;
        default: break;
    }
}

int RefillChunk(SoundDecoder* decoder) {
    switch (decoder->kind) {
        case kDecoderPcmWave: return ReadPcmWaveChunk(decoder);
        case kDecoderAcm: return ConvertAcmChunk(decoder);
        case kDecoderOggVorbis: return DecodeOggVorbisChunk(decoder);
        case kDecoderMemoryPcm: return ReadMemoryPcmChunk(decoder);
        default: return -1;
    }
}

int Rewind(SoundDecoder* decoder) {
    return decoder->stream.functions.seek(decoder->stream.handle, 0, 0);
}

}  // namespace

int OpenSoundDecoder(const StreamHolder* stream, SoundDecoder* decoder) {
    *decoder = SoundDecoder{};
    decoder->stream = *stream;
    decoder->totalSamples = -1;
    Rewind(decoder);
    if (OpenPcmWaveDecoder(decoder) != 0) {
        Rewind(decoder);
        if (OpenAcmWaveDecoder(decoder) != 0) {
            Rewind(decoder);
            if (OpenOggVorbisSound(decoder) != 0) {
                Rewind(decoder);
                if (OpenMp3AcmDecoder(decoder) != 0 && ConvertMp3ToPcm(decoder) != 0) return -1;
            }
        }
    }
    decoder->openFlag = 0;
    decoder->endFlag = 0;
    decoder->outputBlock = static_cast<uint8_t*>(
        AllocateMemory(static_cast<size_t>(decoder->chunkSize), "", 0));
    if (decoder->outputBlock == nullptr) {
        ReleaseKindState(decoder);
        return -1;
    }
    decoder->chunkLeft = 0;
    decoder->chunkOffset = 0;
    decoder->position = 0;
    decoder->openFlag = 1;
    return 0;
}

int ReadSoundDecoder(SoundDecoder* decoder, void* buffer, int32_t bytes) {
    if (!decoder->openFlag) return -1;
    if (decoder->endFlag || bytes <= 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < bytes) {
        if (decoder->chunkLeft == 0) {
            decoder->chunkOffset = 0;
            if (RefillChunk(decoder) != 0) {
                decoder->endFlag = 1;
                break;
            }
            if (decoder->chunkLeft == 0) continue;
        }
        int32_t n = bytes - done;
        if (n > decoder->chunkLeft) n = decoder->chunkLeft;
        CopyBytes(out + done, decoder->outputBlock + decoder->chunkOffset, static_cast<size_t>(n));
        decoder->chunkLeft -= n;
        decoder->chunkOffset += n;
        decoder->position += n;
        done += n;
    }
    return done;
}

int32_t SeekTargetPosition(const SoundDecoder* decoder, int32_t sample) {
    const int64_t target = static_cast<int64_t>(sample) * decoder->format.nBlockAlign;
    if (target < 0) return 0;
    return target > INT32_MAX ? INT32_MAX : static_cast<int32_t>(target);
}

int SeekSoundDecoder(SoundDecoder* decoder, int32_t sample) {
    // In 64 bits: a far sample must not wrap round onto the current position.
    const int64_t target = static_cast<int64_t>(sample) * decoder->format.nBlockAlign;
    const int64_t distance = target - decoder->position;
    if (distance > -16 && distance < 16) return 0;
    // The seek clears the end flag; a compressed seek past the data sets it again.
    decoder->endFlag = 0;
    switch (decoder->kind) {
        case kDecoderPcmWave: SeekPcmWaveDecoder(decoder, sample); break;
        case kDecoderAcm: SeekAcmDecoder(decoder, sample); break;
        case kDecoderOggVorbis: SeekOggVorbisSound(decoder, sample); break;
        case kDecoderMemoryPcm: SeekMemoryPcm(decoder, sample); break;
        default: break;
    }
    return 0;
}

int CloseSoundDecoder(SoundDecoder* decoder) {
    if (!decoder->openFlag) return -1;
    FreeMemory(decoder->outputBlock);
    decoder->outputBlock = nullptr;
    ReleaseKindState(decoder);
    decoder->openFlag = 0;
    return 0;
}

int GetSoundDecoderFormat(const SoundDecoder* decoder, V_WAVEFORMATEX* format) {
    *format = decoder->format;
    return 0;
}

int32_t GetSoundDecoderLength(SoundDecoder* decoder) {
    switch (decoder->kind) {
        case kDecoderPcmWave: return decoder->dataSize;
        case kDecoderAcm: {
            if (decoder->totalSamples >= 0)
                return decoder->totalSamples * decoder->format.nBlockAlign;
            V_DWORD output = 0;
            if (V_acmStreamSize(decoder->mainStream, static_cast<V_DWORD>(decoder->compressedSize),
                                &output, V_ACM_STREAMSIZEF_SOURCE) != V_MMSYSERR_NOERROR)
                return 0;
            return output > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(output);
        }
        case kDecoderOggVorbis: return GetOggVorbisLengthBytes(decoder);
        case kDecoderMemoryPcm: return static_cast<int32_t>(decoder->pcm.used);
        default: return 0;
    }
}

int DecodeWholeSound(SoundDecoder* decoder, V_WAVEFORMATEX* format, uint8_t** data,
                     int32_t* size) {
    int32_t length = GetSoundDecoderLength(decoder);
    uint8_t* block = static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(length), "", 0));
    if (block == nullptr) return -1;
    SeekSoundDecoder(decoder, 0);
    int32_t got;
    if (decoder->kind == kDecoderPcmWave) {
        // The stream stands at the data start: read the data straight.
        SeekPcmWaveDecoder(decoder, 0);
        got = static_cast<int32_t>(decoder->stream.functions.read(
            block, 1, static_cast<size_t>(length), decoder->stream.handle));
        // A file shorter than its header says keeps only what was there.
        if (got < 0 || got > length) got = 0;
    } else {
        got = ReadSoundDecoder(decoder, block, length);
        if (got < 0) got = 0;
    }
    *format = decoder->format;
    *data = block;
    *size = got;
    return 0;
}
