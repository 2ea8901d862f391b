// Ogg Vorbis through vorbisfile, which reads the decoder's stream through the callbacks
// below. The stream belongs to the decoder's owner: the close callback leaves it open.
#include "sound/sound_decoder.h"
#include "sound/sound_internal.h"

namespace {

// Negative results in a row that a refill reads past before it gives up.
constexpr int kMostHoles = 64;

size_t OggStreamRead(void* buffer, size_t size, size_t count, void* source) {
    auto* stream = static_cast<StreamHolder*>(source);
    if (stream == nullptr) return static_cast<size_t>(-1);
    return stream->functions.read(buffer, size, count, stream->handle);
}

int OggStreamSeek(void* source, ogg_int64_t offset, int origin) {
    auto* stream = static_cast<StreamHolder*>(source);
    if (stream == nullptr) return -1;
    return stream->functions.seek(stream->handle, static_cast<int32_t>(offset), origin);
}

int OggStreamClose(void*) { return 0; }

long OggStreamTell(void* source) {
    auto* stream = static_cast<StreamHolder*>(source);
    if (stream == nullptr) return -1;
    return stream->functions.tell(stream->handle);
}

// Output the sound buffers can play: the mixer takes 1 to 8 channels at these rates.
bool IsPlayableVorbis(const vorbis_info* info) {
    return info != nullptr && info->channels >= 1 && info->channels <= 8 && info->rate >= 100 &&
           info->rate <= 200000;
}

// Sample frames that play: the links from the first on while they keep the first link's
// channels and rate, since a link of another layout ends the sound (see the refill).
ogg_int64_t PlayableSamples(OggVorbis_File* file, const V_WAVEFORMATEX& format) {
    if (!ov_seekable(file)) return ov_pcm_total(file, -1);
    ogg_int64_t total = 0;
    const long links = ov_streams(file);
    for (long link = 0; link < links; ++link) {
        const vorbis_info* info = ov_info(file, static_cast<int>(link));
        const ogg_int64_t samples = ov_pcm_total(file, static_cast<int>(link));
        if (info == nullptr || info->channels != format.nChannels ||
            static_cast<V_DWORD>(info->rate) != format.nSamplesPerSec || samples < 0)
            break;
        total += samples;
    }
    return total;
}

}  // namespace

int OpenOggVorbisSound(SoundDecoder* decoder) {
    decoder->vorbisOpen = 0;
    const ov_callbacks callbacks = {OggStreamRead, OggStreamSeek, OggStreamClose, OggStreamTell};
    if (ov_open_callbacks(&decoder->stream, &decoder->vorbisFile, nullptr, 0, callbacks) != 0)
        return -1;
    decoder->vorbisOpen = 1;
    const vorbis_info* info = ov_info(&decoder->vorbisFile, -1);
    if (!IsPlayableVorbis(info)) {
        CloseOggVorbisSound(decoder);
        return -1;
    }
    // vorbisfile writes samples of 1 or 2 bytes; the sound start sets 2.
    decoder->bytesPerSample = g_SoundSystem.oggSampleWidth == 1 ? 1 : 2;
    V_WAVEFORMATEX& f = decoder->format;
    f = V_WAVEFORMATEX{};
    f.wFormatTag = V_WAVE_FORMAT_PCM;
    f.nChannels = static_cast<V_WORD>(info->channels);
    f.nSamplesPerSec = static_cast<V_DWORD>(info->rate);
    f.nBlockAlign = static_cast<V_WORD>(info->channels * decoder->bytesPerSample);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.wBitsPerSample = static_cast<V_WORD>(decoder->bytesPerSample * 8);
    f.cbSize = 0;
    decoder->chunkSize = 4096;
    decoder->dataSize = GetOggVorbisLengthBytes(decoder);
    decoder->kind = kDecoderOggVorbis;
    return 0;
}

int DecodeOggVorbisChunk(SoundDecoder* decoder) {
    const int width = decoder->bytesPerSample;
    for (int holes = 0; holes < kMostHoles; ++holes) {
        int link = 0;
        long got = ov_read(&decoder->vorbisFile, reinterpret_cast<char*>(decoder->outputBlock),
                           decoder->chunkSize, 0, width, width != 1, &link);
        if (got == 0) return -1;
        if (got == OV_HOLE) continue;  // a gap in the pages: the data goes on after it
        if (got < 0) return -1;
        // A chained link of another layout would be read in the wrong format: it ends the sound.
        const vorbis_info* info = ov_info(&decoder->vorbisFile, link);
        if (info == nullptr || info->channels != decoder->format.nChannels ||
            static_cast<V_DWORD>(info->rate) != decoder->format.nSamplesPerSec)
            return -1;
        decoder->chunkLeft = static_cast<int32_t>(got);
        return 0;
    }
    return -1;
}

int SeekOggVorbisSound(SoundDecoder* decoder, int32_t sample) {
    // A sample beyond the data seeks to its end, so that the next read ends the sound.
    ogg_int64_t target = sample < 0 ? 0 : sample;
    const ogg_int64_t total = PlayableSamples(&decoder->vorbisFile, decoder->format);
    if (total >= 0 && target > total) target = total;
    if (ov_pcm_seek(&decoder->vorbisFile, target) != 0) decoder->endFlag = 1;
    decoder->chunkLeft = 0;
    decoder->chunkOffset = 0;
    decoder->position = SeekTargetPosition(decoder, sample);
    return 0;
}

int32_t GetOggVorbisLengthBytes(SoundDecoder* decoder) {
    const ogg_int64_t samples = PlayableSamples(&decoder->vorbisFile, decoder->format);
    if (samples <= 0) return 0;
    const int64_t bytes =
        static_cast<int64_t>(decoder->format.nChannels) * decoder->bytesPerSample * samples;
    return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(bytes);
}

int CloseOggVorbisSound(SoundDecoder* decoder) {
    if (decoder->vorbisOpen == 1) {
        ov_clear(&decoder->vorbisFile);
        decoder->vorbisOpen = 0;
    }
    return 0;
}
