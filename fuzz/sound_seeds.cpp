// Writes starting inputs of the sound fuzz target: short Ogg Vorbis files made with
// libvorbisenc, and MPEG audio frames made with FFmpeg's encoders (behind ID3 tags in one).
#include <cstdio>
#include <string>
#include <vector>

#include "../tests/media_support/sound_encode.h"
#include "seed_files.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = WriteSeed(folder + "/mono.ogg", EncodeOggVorbis(1, 8000, 4000)) &&
              WriteSeed(folder + "/stereo.ogg", EncodeOggVorbis(2, 22050, 6000));
    Bytes mp3 = EncodeMpegAudio(AV_CODEC_ID_MP3, 1, 16000, 16, 3000).data;
    if (!mp3.empty()) {
        Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
        tagged.resize(30, ' ');
        tagged.insert(tagged.end(), mp3.begin(), mp3.end());
        tagged.push_back('T');
        tagged.push_back('A');
        tagged.push_back('G');
        tagged.resize(tagged.size() + 125, ' ');
        ok = ok && WriteSeed(folder + "/mono.mp3", tagged);
    }
    ok = ok && WriteSeed(folder + "/stereo.mp2", EncodeMpegAudio(AV_CODEC_ID_MP2, 2, 32000, 64, 3000).data);
    return ok ? 0 : 1;
}
