// Fuzz target of the whole sound decoder chain: the input is a sound file image. It is opened
// by the chain (WAVE PCM and compressed, Ogg Vorbis, MPEG audio by frames and through the
// graph), read whole, seeked and read again; every other input is also loaded as a sound.
extern "C" {
#include <libavutil/log.h>
}

#include <vector>

#include "core/window.h"
#include "platform/dsound/dsound.h"
#include "sound/sound.h"
#include "sound/sound_decoder.h"
#include "sound/sound_services.h"

namespace {

void Decode(const uint8_t* data, size_t size) {
    StreamHolder stream{};
    stream.functions = *GetMemoryStreamFunctions();
    stream.handle = OpenMemoryStream(data, static_cast<uint32_t>(size));
    if (stream.handle == 0) return;
    SoundDecoder decoder{};
    if (OpenSoundDecoder(&stream, &decoder) == 0) {
        std::vector<uint8_t> out(1 << 16);
        int64_t total = 0;
        // Bounded: a forged header may announce hours of sound.
        for (int32_t got; total < (64 << 20) &&
                          (got = ReadSoundDecoder(&decoder, out.data(), 1 << 16)) > 0;)
            total += got;
        GetSoundDecoderLength(&decoder);
        const int align = decoder.format.nBlockAlign ? decoder.format.nBlockAlign : 1;
        SeekSoundDecoder(&decoder, static_cast<int32_t>(total / align / 2));
        ReadSoundDecoder(&decoder, out.data(), 4096);
        SeekSoundDecoder(&decoder, 0);
        ReadSoundDecoder(&decoder, out.data(), 4096);
    }
    if (decoder.openFlag) CloseSoundDecoder(&decoder);
    CloseMemoryStream(stream.handle);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    V_DSoundMixerSetManual(1);
    InitializeSoundSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_Window.quit = 0;  // the graph's conversion gives up once the program is to end
    Decode(data, size);
    if (size % 2 == 0) {
        SoundHandle handle = CreateSoundFromMemoryImage(data, static_cast<int>(size), 1, -1);
        if (handle != -1) {
            PlaySoundHandle(handle, 1, 1);
            DeleteSoundHandle(handle);
        }
    }
    return 0;
}
