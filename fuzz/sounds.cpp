// Fuzz target of the compressed sound probes: the input is offered as a memory stream to the
// Ogg Vorbis and the MPEG audio probe; an accepted sound is decoded whole, then seeked and
// read again.
extern "C" {
#include <libavutil/log.h>
}

#include <vector>

#include "sound/sound_decoder.h"

namespace {

using Probe = int (*)(SoundDecoder*);

void Exercise(const uint8_t* data, size_t size, Probe probe) {
    StreamHolder stream{};
    stream.functions = *GetMemoryStreamFunctions();
    stream.handle = OpenMemoryStream(data, static_cast<uint32_t>(size));
    if (stream.handle == 0) return;
    SoundDecoder decoder{};
    decoder.stream = stream;
    decoder.totalSamples = -1;
    if (probe(&decoder) == 0) {
        // What the chain does once a probe has accepted the stream.
        decoder.outputBlock =
            static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(decoder.chunkSize), "", 0));
        if (decoder.outputBlock != nullptr) {
            decoder.openFlag = 1;
            std::vector<uint8_t> out(1 << 16);
            int32_t total = 0;
            for (int32_t got; (got = ReadSoundDecoder(&decoder, out.data(), 1 << 16)) > 0;)
                total += got;
            const int align = decoder.format.nBlockAlign ? decoder.format.nBlockAlign : 1;
            SeekSoundDecoder(&decoder, total / align / 2);
            ReadSoundDecoder(&decoder, out.data(), 4096);
            SeekSoundDecoder(&decoder, 0);
            ReadSoundDecoder(&decoder, out.data(), 4096);
            CloseSoundDecoder(&decoder);
        } else if (decoder.kind == kDecoderOggVorbis) {
            CloseOggVorbisSound(&decoder);
        } else {
            CloseAcmDecoder(&decoder);
        }
    }
    CloseMemoryStream(stream.handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    Exercise(data, size, OpenOggVorbisSound);
    Exercise(data, size, OpenMp3AcmDecoder);
    return 0;
}
