// Writes starting inputs of the sound chain fuzz target: WAVE files of PCM and of compressed
// MPEG audio, bare MPEG audio frames (one stream turning from stereo to mono, one the frame scan
// refuses so that the graph decodes it) and Ogg Vorbis.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/media_support/sound_encode.h"
#include "seed_files.h"

namespace {

void Put(Bytes& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A RIFF WAVE file of one format chunk (with its extra bytes) and one data chunk.
Bytes Wave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t align,
           uint32_t average, const Bytes& extra, const Bytes& data) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Put(b, static_cast<uint32_t>(18 + extra.size()), 4);
    Put(b, tag, 2);
    Put(b, channels, 2);
    Put(b, rate, 4);
    Put(b, average, 4);
    Put(b, align, 2);
    Put(b, bits, 2);
    Put(b, static_cast<uint32_t>(extra.size()), 2);
    b.insert(b.end(), extra.begin(), extra.end());
    if (b.size() & 1) b.push_back(0);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    if (b.size() & 1) b.push_back(0);
    const uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    std::memcpy(b.data() + 4, &riff, 4);
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    Bytes pcm;
    for (int i = 0; i < 800; ++i)
        Put(pcm, static_cast<uint16_t>(static_cast<int16_t>(TestSine(i & 1, i / 2, 8000))), 2);
    bool ok = WriteSeed(folder + "/pcm16.wav", Wave(1, 2, 8000, 16, 4, 32000, {}, pcm)) &&
              WriteSeed(folder + "/pcm8.wav", Wave(1, 1, 11025, 8, 1, 11025, {}, Bytes(500, 0x80))) &&
              WriteSeed(folder + "/mono.ogg", EncodeOggVorbis(1, 8000, 3000));
    MpegAudio stereo = EncodeMpegAudio(AV_CODEC_ID_MP3, 2, 22050, 32, 2000);
    MpegAudio mono = EncodeMpegAudio(AV_CODEC_ID_MP3, 1, 22050, 16, 2000);
    if (!stereo.data.empty() && !mono.data.empty()) {
        Bytes turning = stereo.data;
        turning.insert(turning.end(), mono.data.begin(), mono.data.end());
        ok = ok && WriteSeed(folder + "/turning.mp3", turning);
        // A frame header with a reserved bit rate: the frame scan refuses, the graph decodes.
        Bytes refused = turning;
        refused.insert(refused.end(), {0xFF, 0xFB, 0xF0, 0x00});
        ok = ok && WriteSeed(folder + "/graph.mp3", refused);
        // MPEG layer 3 inside a WAVE file: the compressed WAVE road.
        Bytes extra;
        Put(extra, 1, 2);
        Put(extra, 2, 4);
        Put(extra, 417, 2);
        Put(extra, 1, 2);
        Put(extra, 1393, 2);
        ok = ok && WriteSeed(folder + "/mpeg.wav", Wave(0x55, 1, 22050, 0, 1, 2000, extra, mono.data));
    }
    MpegAudio layer2 = EncodeMpegAudio(AV_CODEC_ID_MP2, 1, 16000, 32, 2000);
    ok = ok && (layer2.data.empty() || WriteSeed(folder + "/mono.mp2", layer2.data));
    return ok ? 0 : 1;
}
