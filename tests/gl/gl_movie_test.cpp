// A Theora movie loaded as a graph and drawn on the OpenGL device path and on the software
// path: both show the frame of the movie's clock. Movie graphs of both players keep their
// picture when the device is made again.
#include "../movie/movie_files.h"
#include "core/core_services.h"
#include "gl_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "media_support/media_encode.h"
#include "movie/movie.h"
#include "movie/movie_record.h"
#include "movie/movie_renderer.h"
#include "movie/movie_services.h"
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

// The screen's pixels inside the rectangle, row by row.
std::vector<uint32_t> Cut(const std::vector<uint32_t>& picture, int left, int top, int width,
                          int height) {
    std::vector<uint32_t> part;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            part.push_back(picture[static_cast<size_t>(y) * 640 + x]);
    return part;
}

// Clears the screen, draws the graph at (100, 50) and reads the graph's rectangle back.
std::vector<uint32_t> DrawAndRead(int graph, int width, int height) {
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
    EXPECT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
    std::vector<uint32_t> picture = ReadScreen();
    if (picture.size() != 640u * 480u) return {};
    return Cut(picture, 100, 50, width, height);
}

// A lost device is made again in the same mode: the graphs keep their handles and get new,
// empty textures. A paused movie brings no new frame, so its graph must get the frame it showed
// from the movie again.
TEST_F(GlLibraryTest, MovieGraphsKeepTheirPictureWhenTheDeviceIsMadeAgain) {
    MovieSpec spec;
    spec.frames = TenColours();
    WriteFileBytes("clip.ogv", EncodeMovie(spec));
    const bool haveAvi = media::WriteTestMovie("clip.avi", 64, 48, 12, 24);
    int64_t (*libraryClock)() = g_MovieClock;
    g_MovieClock = Clock;
    setenv("VELK_DESKTOP_BITS", "32", 1);
    if (!Start(true)) {
        g_MovieClock = libraryClock;
        unsetenv("VELK_DESKTOP_BITS");
        GTEST_SKIP() << "no OpenGL device on this display";
    }

    // Theora: played to frame 6, then paused there.
    int ogv = LoadGraphHandle("clip.ogv", 0);
    ASSERT_GE(ogv, 0);
    MovieRecord* movie = GetMovieRecord(GetGraphRecord(ogv)->movie);
    ASSERT_NE(movie, nullptr);
    g_Clock = 1000000;
    movie->wasPlaying = 1;
    ResumeAllMovies();
    g_Clock += 650000;
    ASSERT_EQ(DrawGraphAt(0, 0, ogv, 0), 0);
    ASSERT_EQ(PauseMovie(GetGraphRecord(ogv)->movie, 0), 0);
    g_Clock += 2000000;  // paused: the clock no longer moves the picture
    std::vector<uint32_t> before = DrawAndRead(ogv, 64, 48);
    ASSERT_EQ(before.size(), 64u * 48u);
    std::vector<uint32_t> screen = ReadScreen();
    ExpectFrameAt(screen, 100, 50, spec.frames[6], "paused before");

    // The other player: opened paused on its first frame.
    int avi = -1;
    std::vector<uint32_t> aviBefore;
    if (haveAvi) {
        avi = LoadGraphHandle("clip.avi", 0);
        ASSERT_GE(avi, 0);
        MovieRecord* other = GetMovieRecord(GetGraphRecord(avi)->movie);
        ASSERT_NE(other, nullptr);
        for (int i = 0; i < 400 && !other->renderer->HasNewFrame(); ++i) V_Sleep(5);
        ASSERT_TRUE(other->renderer->HasNewFrame());
        aviBefore = DrawAndRead(avi, 64, 48);
        ASSERT_EQ(aviBefore.size(), 64u * 48u);
        media::Rgb top = media::PictureColour(0, 0, 48);
        EXPECT_NEAR(static_cast<int>(aviBefore[5 * 64 + 5] >> 16), top.r, 16);
    }

    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    ASSERT_EQ(g_ScreenSettings.useDirect3D, 1);
    ASSERT_NE(GetMovieRecord(GetGraphRecord(ogv)->movie), nullptr);
    std::vector<uint32_t> after = DrawAndRead(ogv, 64, 48);
    EXPECT_EQ(after, before) << "Theora graph after the device was made again";
    if (haveAvi) {
        std::vector<uint32_t> aviAfter = DrawAndRead(avi, 64, 48);
        EXPECT_EQ(aviAfter, aviBefore) << "the other player's graph after the device was made again";
        EXPECT_EQ(DeleteGraph(avi), 0);
    }
    // Played on, the graph follows the clock again.
    movie->wasPlaying = 1;
    ResumeAllMovies();
    g_Clock += 200000;
    DrawAndRead(ogv, 64, 48);
    ExpectFrameAt(ReadScreen(), 100, 50, spec.frames[8], "played on");
    EXPECT_EQ(DeleteGraph(ogv), 0);
    g_MovieClock = libraryClock;
    Stop();
    unsetenv("VELK_DESKTOP_BITS");
}

}  // namespace
