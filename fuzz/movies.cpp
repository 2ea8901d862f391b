// Fuzz target of movie files on the road of every file that neither the image loaders nor the
// Theora player take: the input is written as a file of this process and opened with
// OpenMovie, which hands it to the streaming graph over the FFmpeg source; an opened movie is
// started, its frames taken a few times, paused and closed.
//   input: byte 0 picks the file's extension, the rest is the file
extern "C" {
#include <libavutil/log.h>
}
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "core/window.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "work_folder.h"

namespace {

const char* const kExtensions[] = {".avi", ".mpg", ".mkv", ".bmp", ".mov", ".ogv"};
std::string g_Base;
int g_Frames;

void CountFrame(MovieRecord*, int) { ++g_Frames; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    const std::string folder = MakeWorkFolder("movies");
    setenv("TMPDIR", folder.c_str(), 1);  // the temporary copies go there too
    g_Base = folder + "/m";
    SetFileAccessFunctions(nullptr);
    BuildYuvTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string path = g_Base + kExtensions[data[0] % (sizeof kExtensions / sizeof *kExtensions)];
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    g_Window.quit = 0;
    int width = 0, height = 0;
    int movie = OpenMovie(path.c_str(), &width, &height, 0);
    if (movie >= 0) {
        SetMovieFrameCallback(movie, CountFrame, 0);
        ResumeAllMovies();
        for (int i = 0; i < 4; ++i) UpdateMovieFrame(movie, 0);
        PauseAllMovies();
        UpdateMovieFrame(movie, 0);
        CloseMovie(movie);
    }
    std::remove(path.c_str());
    return 0;
}
