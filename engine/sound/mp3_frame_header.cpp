// The four header bytes of an MPEG audio frame: layer, version, rate, bitrate, and from them
// the frame's length and sample count.
#include "sound/sound_decoder.h"

namespace {

const uint32_t kSampleRates[2][3] = {
    {44100, 48000, 32000},  // MPEG-1
    {22050, 24000, 16000},  // MPEG-2
};

// kbit/s by bitrate index 0..14 (index 0 is the free format).
const uint16_t kBitratesMpeg1[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};
const uint16_t kBitratesMpeg2[2][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},  // Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},       // Layers II, III
};

}  // namespace

int ParseMp3FrameHeader(const uint8_t header[4], Mp3FrameInfo* info) {
    const uint8_t b1 = header[1], b2 = header[2], b3 = header[3];
    if (header[0] != 0xFF || (b1 & 0xF0) != 0xF0) return -2;
    const uint8_t layerBits = (b1 >> 1) & 3;
    Mp3FrameInfo f{};
    f.layerIndex = static_cast<uint8_t>(3 - layerBits);
    f.version = (b1 & 0x08) ? 0 : 1;
    f.bitrateIndex = b2 >> 4;
    f.rateIndex = (b2 >> 2) & 3;
    f.padding = (b2 >> 1) & 1;
    f.channels = (b3 >> 6) == 3 ? 1 : 2;
    // A free-format frame (bitrate index 0) does not tell its own length: refused with the
    // reserved values, as nothing could be counted or converted from it.
    if (layerBits == 0 || f.bitrateIndex == 15 || f.rateIndex == 3 || f.bitrateIndex == 0)
        return -1;
    f.sampleRate = kSampleRates[f.version][f.rateIndex];
    f.bitrate = f.version == 0 ? kBitratesMpeg1[f.layerIndex][f.bitrateIndex]
                               : kBitratesMpeg2[f.layerIndex == 0 ? 0 : 1][f.bitrateIndex];
    if (f.layerIndex == 0) {
        f.samplesPerFrame = 384;
        f.frameLength = (12000 * f.bitrate / f.sampleRate + f.padding) * 4;
    } else if (f.layerIndex == 2 && f.version == 1) {
        f.samplesPerFrame = 576;
        f.frameLength = 72000 * f.bitrate / f.sampleRate + f.padding;
    } else {
        f.samplesPerFrame = 1152;
        f.frameLength = 144000 * f.bitrate / f.sampleRate + f.padding;
    }
    *info = f;
    return 0;
}
