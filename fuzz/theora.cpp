// Fuzz target of the Theora movie player: the input is written as a file of this process and
// opened by the player; an accepted movie is stepped, seeked and converted frame by frame.
#include <cstdio>
#include <string>

#include "core/core.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"
#include "work_folder.h"

namespace {
std::string g_Path;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Path = MakeWorkFolder("theora") + "/t.ogv";
    SetFileAccessFunctions(nullptr);
    BuildYuvTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (FILE* f = std::fopen(g_Path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const FileAccessFunctions* files = GetFileAccessFunctions();
    intptr_t file = files->open(g_Path.c_str(), 0, 0, 0);
    if (file == 0) return 0;
    // A stock of 1 to 4 frames, from the input's length.
    if (TheoraMovie* movie = OpenTheoraMovie(files, file, 1 + static_cast<int>(size % 4))) {
        TheoraInfo info{};
        GetTheoraInfo(movie, &info);
        for (int i = 0; i < 6; ++i) {
            AdvanceTheoraFrame(movie, i % 3);
            UpdateTheoraFrame(movie, 1, 0);
        }
        SeekTheoraFrame(movie, 2);
        UpdateTheoraFrame(movie, 1, 0);
        SeekTheoraFrame(movie, 0);
        GetTheoraCurrentFrame(movie);
        CloseTheoraMovie(movie);
    }
    files->close(file);
    return 0;
}
