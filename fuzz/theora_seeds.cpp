// Writes starting inputs of the Theora fuzz target: short Ogg Theora movies with and without
// a Vorbis track, of several sizes, frame rates and key-frame intervals, and two damaged ones.
#include <cstdio>
#include <string>

#include "../tests/movie/movie_files.h"
#include "seed_files.h"

int main(int argc, char** argv) {
    const char* folderName = SeedFolder(argc, argv, "seed_theora");
    if (folderName == nullptr) return 2;
    const std::string folder = folderName;
    MovieSpec plain;
    plain.width = 32;
    plain.height = 16;
    plain.frames = TenColours();
    WriteFileBytes(folder + "/plain.ogv", EncodeMovie(plain));
    MovieSpec sound = plain;
    sound.width = 48;
    sound.height = 32;
    sound.vorbis = true;
    sound.keyInterval = 1;
    sound.framesPerPage = 3;
    sound.frames.resize(4);
    WriteFileBytes(folder + "/sound.ogv", EncodeMovie(sound));
    MovieSpec odd = plain;
    odd.width = 24;
    odd.height = 40;
    odd.fpsNumerator = 30000;
    odd.fpsDenominator = 1001;
    odd.keyInterval = 8;
    WriteFileBytes(folder + "/odd.ogv", EncodeMovie(odd));
    // Frame pages behind a damaged page that reaches almost to the end of the file.
    MovieSpec damaged = sound;
    damaged.vorbis = false;
    damaged.frames.resize(3);
    MovieSpec headersOnly = damaged;
    headersOnly.frames.clear();
    WriteFileBytes(folder + "/damaged.ogv",
                   BehindDamagedPage(EncodeMovie(damaged), EncodeMovie(headersOnly).size()));
    // A first packet that is empty: no picture for frame 0.
    MovieSpec emptyFirst = plain;
    emptyFirst.frames.resize(4);
    emptyFirst.emptyFirst = true;
    WriteFileBytes(folder + "/empty-first.ogv", EncodeMovie(emptyFirst));
    return 0;
}
