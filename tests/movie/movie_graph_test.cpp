// A movie loaded as a graph through the running library and drawn on the software screen,
// and what the library's end leaves behind.
#include "core/test_window_support.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/screen.h"
#include "movie/movie_record.h"
#include "movie/theora_movie.h"
#include "movie_files.h"

namespace {

int64_t g_Clock = 0;
int64_t Clock() { return g_Clock; }

// The screen pixel as (r, g, b), each widened to 8 bits.
Rgb8 ScreenRgb(int x, int y) {
    ImageRecord record{};
    V_RECT rect{x, y, x + 1, y + 1};
    if (LockScreenPixels(&rect, &record) != 0) return {-1, -1, -1};
    int r = 0, g = 0, b = 0, a = 0;
    GetImagePixel(&record, 0, 0, &r, &g, &b, &a);
    UnlockScreenPixels();
    return {r, g, b};
}

// Within what a 16-bit screen keeps of each channel, plus the encoder's error.
void ExpectShown(int x, int y, Rgb8 want, const std::string& where) {
    Rgb8 got = ScreenRgb(x, y);
    EXPECT_NEAR(got.r, want.r, 12) << where;
    EXPECT_NEAR(got.g, want.g, 8) << where;
    EXPECT_NEAR(got.b, want.b, 12) << where;
}

void ExpectFrameAt(int left, int top, const FlatFrame& f, const std::string& where) {
    ExpectShown(left + 5, top + 3, ExpectedRgb(f.y, f.cb, f.cr), where + " top");
    ExpectShown(left + 60, top + 44, ExpectedRgb(f.yBottom, f.cb, f.cr), where + " bottom");
    ExpectShown(left + f.markX + 4, top + kMarkY + 4, ExpectedRgb(235, f.cb, f.cr),
                where + " mark");
}

TEST(MovieGraphLoad, ATheoraFileDrawsItsFramesOnTheSoftwareScreen) {
    ScratchFolder folder;
    MovieSpec spec;
    spec.frames = TenColours();
    WriteFileBytes("clip.ogv", EncodeMovie(spec));
    WriteFileBytes("junk.dat", {'n', 'o', 't', 'h', 'i', 'n', 'g'});
    int64_t (*libraryClock)() = g_MovieClock;
    g_MovieClock = Clock;

    SetUseHardware(0);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    ASSERT_EQ(g_ScreenSettings.useDirect3D, 0);
    int graph = LoadGraphHandle("clip.ogv", 0);
    ASSERT_GE(graph, 0);
    GraphRecord* record = GetGraphRecord(graph);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->width, 64);
    EXPECT_EQ(record->height, 48);
    MovieRecord* movie = GetMovieRecord(record->movie);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->callbackValue, static_cast<uint32_t>(graph));
    // The creation settings that the movie graph overrides are back.
    EXPECT_EQ(GetCreateDrawValidGraphFlag(), 0);
    EXPECT_EQ(GetMovieGraphMarker(), 0);

    // A movie is opened paused: the first frame is what a draw shows.
    ASSERT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
    ExpectFrameAt(100, 50, spec.frames[0], "frame 0");

    // Played by the clock, a later draw shows the frame of its time.
    g_Clock = 1000000;
    movie->wasPlaying = 1;
    ResumeAllMovies();
    g_Clock += 650000;
    ASSERT_EQ(DrawGraphAt(300, 200, graph, 0), 0);
    EXPECT_EQ(GetTheoraCurrentFrame(movie->decoder), 6);
    ExpectFrameAt(300, 200, spec.frames[6], "frame 6");
    // A stretched draw shows the same frame, twice the size.
    ASSERT_EQ(DrawGraphStretched(0, 300, 128, 396, graph, 0), 0);
    ExpectShown(10, 306, ExpectedRgb(spec.frames[6].y, spec.frames[6].cb, spec.frames[6].cr),
                "stretched top");
    g_Clock += 300000;
    ASSERT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
    ExpectFrameAt(100, 50, spec.frames[9], "frame 9");

    // Neither an image nor a movie: refused, and the log says so.
    EXPECT_EQ(LoadGraphHandle("junk.dat", 0), -1);
    EXPECT_EQ(LoadGraphHandle("absent.ogv", 0), -1);

    // The graph's deletion closes its movie.
    int movieHandle = record->movie;
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(GetMovieRecord(movieHandle), nullptr);
    // A second movie graph is left for the library's end to delete.
    ASSERT_GE(LoadGraphHandle("clip.ogv", 0), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
    g_MovieClock = libraryClock;
    EXPECT_EQ(g_MovieTable.count, 0);

    std::vector<std::string> lines = ReadLogLines();
    EXPECT_GE(FindLogLine(lines, "右記のグラフィックファイルのロードに失敗しました：junk.dat"), 0);
    EXPECT_GE(FindLogLine(lines, "ムービーファイルオープン処理時にエラーが発生しました"), 0);
    EXPECT_GE(FindLogLine(lines, "グラフィックファイル absent.ogv がありません"), 0);
    // The leak report at the end lists no block.
    int dump = FindLogLine(lines, "Alloc memory dump");
    ASSERT_GE(dump, 0);
    for (size_t i = static_cast<size_t>(dump) + 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].find("file:"), std::string::npos) << lines[i];
    EXPECT_GE(FindLogLine(lines, "Alloc num:0", dump), 0);
}

}  // namespace
