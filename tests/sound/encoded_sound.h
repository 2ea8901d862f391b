// Compressed sounds decoded through the whole chain, and the measures of what comes back.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "media_support/sound_encode.h"
#include "sound/sound_decoder.h"
#include "sound_support.h"

// A decoder over a memory image through the whole chain; closes both at the end of the scope.
struct ChainDecoder {
    Bytes image;
    StreamHolder stream{};
    SoundDecoder decoder{};
    int result = -1;
    explicit ChainDecoder(Bytes bytes) : image(std::move(bytes)) {
        stream.functions = *GetMemoryStreamFunctions();
        stream.handle = OpenMemoryStream(image.data(), static_cast<uint32_t>(image.size()));
        result = OpenSoundDecoder(&stream, &decoder);
    }
    ~ChainDecoder() {
        if (decoder.openFlag) CloseSoundDecoder(&decoder);
        CloseMemoryStream(stream.handle);
    }
};

// The whole decoded sound as 16-bit samples.
inline std::vector<int16_t> DecodeAllSamples(SoundDecoder* decoder) {
    V_WAVEFORMATEX format{};
    uint8_t* pcm = nullptr;
    int32_t size = 0;
    EXPECT_EQ(DecodeWholeSound(decoder, &format, &pcm, &size), 0);
    std::vector<int16_t> out(static_cast<size_t>(size) / 2);
    if (!out.empty()) std::memcpy(out.data(), pcm, out.size() * 2);
    FreeMemory(pcm);
    return out;
}

// Root-mean-square distance of `channel` of interleaved samples from the test sine, the
// decoded sound lagging `lag` frames behind it, over `count` frames from `from`.
inline double SineError(const std::vector<int16_t>& samples, int channels, int channel, int rate,
                        int lag, int from, int count) {
    double sum = 0;
    for (int i = from; i < from + count; ++i) {
        const double d =
            samples[static_cast<size_t>(i + lag) * channels + channel] - TestSine(channel, i, rate);
        sum += d * d;
    }
    return std::sqrt(sum / count);
}

// The lag (0 to `most` frames) at which the decoded channels best match the sine.
inline int FindSineLag(const std::vector<int16_t>& samples, int channels, int rate, int most) {
    int best = 0;
    double bestError = 1e300;
    for (int lag = 0; lag <= most; ++lag) {
        double e = 0;
        for (int c = 0; c < channels; ++c)
            e += SineError(samples, channels, c, rate, lag, 2000, 2000);
        if (e < bestError) {
            bestError = e;
            best = lag;
        }
    }
    return best;
}
