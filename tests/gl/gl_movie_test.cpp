// A Theora movie loaded as a graph and drawn on the OpenGL device path and on the software
// path: both show the frame of the movie's clock.
#include "../movie/movie_files.h"
#include "gl_fixture.h"
#include "graphics/graph_handle.h"
#include "movie/movie_record.h"
#include "movie/theora_movie.h"

namespace {

int64_t g_Clock = 0;
int64_t Clock() { return g_Clock; }

Rgb8 At(const std::vector<uint32_t>& picture, int x, int y) {
    uint32_t p = picture[static_cast<size_t>(y) * 640 + x];
    return {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
            static_cast<int>(p & 0xFF)};
}

void ExpectColour(const std::vector<uint32_t>& picture, int x, int y, Rgb8 want,
                  const std::string& where) {
    Rgb8 got = At(picture, x, y);
    EXPECT_NEAR(got.r, want.r, 5) << where;
    EXPECT_NEAR(got.g, want.g, 5) << where;
    EXPECT_NEAR(got.b, want.b, 5) << where;
}

void ExpectFrameAt(const std::vector<uint32_t>& picture, int left, int top, const FlatFrame& f,
                   const std::string& where) {
    ExpectColour(picture, left + 5, top + 3, ExpectedRgb(f.y, f.cb, f.cr), where + " top");
    ExpectColour(picture, left + 60, top + 44, ExpectedRgb(f.yBottom, f.cb, f.cr),
                 where + " bottom");
    ExpectColour(picture, left + f.markX + 4, top + kMarkY + 4, ExpectedRgb(235, f.cb, f.cr),
                 where + " mark");
}

TEST_F(GlLibraryTest, MovieGraphsShowTheClocksFrameOnBothPaths) {
    MovieSpec spec;
    spec.frames = TenColours();
    WriteFileBytes("clip.ogv", EncodeMovie(spec));
    int64_t (*libraryClock)() = g_MovieClock;
    g_MovieClock = Clock;
    setenv("VELK_DESKTOP_BITS", "32", 1);
    for (int pass = 0; pass < 2; ++pass) {
        bool device = pass == 0;
        SCOPED_TRACE(device ? "device path" : "software path");
        if (!Start(device, !device)) {
            if (device) continue;  // no OpenGL device on this display
            ADD_FAILURE() << "the software path did not start";
            break;
        }
        int graph = LoadGraphHandle("clip.ogv", 0);
        ASSERT_GE(graph, 0);
        ProcessMessage();
        FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
        ASSERT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
        MovieRecord* movie = GetMovieRecord(GetGraphRecord(graph)->movie);
        ASSERT_NE(movie, nullptr);
        g_Clock = 1000000;
        movie->wasPlaying = 1;
        ResumeAllMovies();
        g_Clock += 650000;
        ASSERT_EQ(DrawGraphAt(300, 200, graph, 0), 0);
        std::vector<uint32_t> picture = ReadScreen();
        ASSERT_EQ(picture.size(), 640u * 480u);
        ExpectFrameAt(picture, 100, 50, spec.frames[0], "first draw");
        ExpectFrameAt(picture, 300, 200, spec.frames[6], "after 0.65 s");
        g_MovieClock = libraryClock;
        Stop();
        g_MovieClock = Clock;
    }
    g_MovieClock = libraryClock;
    unsetenv("VELK_DESKTOP_BITS");
}

}  // namespace
