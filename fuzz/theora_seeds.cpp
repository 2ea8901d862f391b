// Writes starting inputs of the Theora fuzz target: short Ogg Theora movies with and without
// a Vorbis track, of several sizes, frame rates and key-frame intervals.
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
    return 0;
}
