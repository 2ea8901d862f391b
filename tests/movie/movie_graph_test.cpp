// A movie loaded as a graph through the running library and drawn on the software screen,
// and what the library's end leaves behind.
#include "core/test_window_support.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/screen.h"
#include "movie/movie_record.h"
#include "movie/movie_services.h"
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

// A Theora movie is its picture region: the graph has the picture's size, whatever the coded
// frame around it, and shows the picture's pixels from its offset on.
TEST(MovieGraphLoad, ATheoraGraphIsThePictureRegionOfItsFrames) {
    ScratchFolder folder;
    const FlatFrame f = {60, 90, 200, 170, 20};  // mark at picture (20..27, 8..15)
    MovieSpec offset;
    offset.width = 33;
    offset.height = 17;
    offset.picX = 3;
    offset.picY = 5;  // coded as 48 x 32
    offset.frames = {f};
    WriteFileBytes("offset.ogv", EncodeMovie(offset));
    const int sizes[][2] = {{2, 9}, {160, 120}, {854, 480}};  // coded 16 x 16, 160 x 128, 864 x 480
    for (const auto& size : sizes) {
        MovieSpec plain;
        plain.width = size[0];
        plain.height = size[1];
        plain.frames = {{60, 90, 200, 170}};
        WriteFileBytes("plain" + std::to_string(size[0]) + ".ogv", EncodeMovie(plain));
    }
    SetUseHardware(0);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    for (const auto& size : sizes) {
        int graph = LoadGraphHandle(("plain" + std::to_string(size[0]) + ".ogv").c_str(), 0);
        ASSERT_GE(graph, 0);
        int w = 0, h = 0;
        EXPECT_EQ(GetGraphSize(graph, &w, &h), 0);
        EXPECT_EQ(w, size[0]);
        EXPECT_EQ(h, size[1]);
        EXPECT_EQ(DeleteGraph(graph), 0);
    }
    int graph = LoadGraphHandle("offset.ogv", 0);
    ASSERT_GE(graph, 0);
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphSize(graph, &w, &h), 0);
    EXPECT_EQ(w, 33);
    EXPECT_EQ(h, 17);
    FillBox(0, 0, 640, 480, GetScreenColor(255, 255, 255));
    ASSERT_EQ(DrawGraphAt(100, 50, graph, 0), 0);
    const Rgb8 top = ExpectedRgb(f.y, f.cb, f.cr), bottom = ExpectedRgb(f.yBottom, f.cb, f.cr);
    ExpectShown(100, 50, top, "top left");
    ExpectShown(132, 57, top, "top half's last row");
    ExpectShown(102, 59, bottom, "bottom half's left edge");
    ExpectShown(132, 66, bottom, "bottom right");
    ExpectShown(123, 61, ExpectedRgb(235, f.cb, f.cr), "mark");
    ExpectShown(130, 61, bottom, "right of the mark");
    ExpectShown(133, 58, {255, 255, 255}, "right of the graph");
    ExpectShown(110, 67, {255, 255, 255}, "below the graph");
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
}

}  // namespace
