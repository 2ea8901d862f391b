// A movie graph on the recording Direct3D device: the Theora frames go into a YV12 surface and
// from there onto the graph's texture.
#include "../draw/draw_fixture.h"
#include "graphics/graphics_services.h"
#include "movie/movie_record.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"
#include "movie_files.h"

namespace {

int64_t g_Clock = 0;
int64_t Clock() { return g_Clock; }

class MovieDeviceTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        BuildYuvTables();
        saved_ = g_MovieClock;
        g_MovieClock = Clock;
    }
    void TearDown() override {
        g_MovieClock = saved_;
        DrawTest::TearDown();
    }
    int64_t (*saved_)() = nullptr;
};

// The surface's luma at (x, y) and the chroma of that pixel's 2 x 2 block.
struct Yuv {
    int y, cb, cr;
};
Yuv ReadYv12(V_IDirect3DSurface9* surface, int x, int y) {
    V_D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    V_D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), V_S_OK);
    const uint8_t* bits = static_cast<const uint8_t*>(locked.pBits);
    const int pitch = locked.Pitch, height = static_cast<int>(desc.Height);
    const uint8_t* v = bits + pitch * height;
    const uint8_t* u = v + (pitch / 2) * (height / 2);
    Yuv out{bits[y * pitch + x], u[(y / 2) * (pitch / 2) + x / 2], v[(y / 2) * (pitch / 2) + x / 2]};
    surface->UnlockRect();
    return out;
}

void ExpectYuv(Yuv got, int y, int cb, int cr, const std::string& where) {
    EXPECT_NEAR(got.y, y, 3) << where;
    EXPECT_NEAR(got.cb, cb, 3) << where;
    EXPECT_NEAR(got.cr, cr, 3) << where;
}

TEST_F(MovieDeviceTest, FramesReachTheGraphThroughAYuvSurface) {
    StartGraphics(true);
    MovieSpec spec;
    spec.frames = TenColours();
    WriteFileBytes("clip.ogv", EncodeMovie(spec));
    int graph = LoadGraphHandle("clip.ogv", 0);
    ASSERT_GE(graph, 0);
    GraphRecord* record = GetGraphRecord(graph);
    EXPECT_EQ(record->image->desc.drawable, 1);
    EXPECT_EQ(record->image->desc.textureMode, 1);
    EXPECT_EQ(record->image->pieceCount, 1);
    // The single-texture flag of movie graphs stays set for the graphs after them.
    EXPECT_EQ(g_SingleTextureGraph, 1);
    g_SingleTextureGraph = 0;
    MovieRecord* movie = GetMovieRecord(record->movie);
    ASSERT_NE(movie, nullptr);
    V_IDirect3DSurface9* surface =
        static_cast<V_IDirect3DSurface9*>(GetTheoraYuvSurface(movie->decoder));
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(std::string(movie->decoder->surfaceFormat, 4), "YV12");
    const FlatFrame& first = spec.frames[0];
    ExpectYuv(ReadYv12(surface, 5, 3), first.y, first.cb, first.cr, "frame 0 top");
    ExpectYuv(ReadYv12(surface, 60, 44), first.yBottom, first.cb, first.cr, "frame 0 bottom");

    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    const std::string surfaceName = V_RecordingName(surface);
    const std::string pieceName = V_RecordingName(record->image->pieces[0].surface);
    EXPECT_EQ(Recording().CallsStartingWith("StretchRect"),
              std::vector<std::string>{"StretchRect(" + surfaceName + "," + pieceName + ",0)"});
    // Paused: the next draw has nothing new to copy.
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    EXPECT_TRUE(Recording().CallsStartingWith("StretchRect").empty());

    g_Clock = 1000000;
    movie->wasPlaying = 1;
    ResumeAllMovies();
    g_Clock += 650000;
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    EXPECT_EQ(Recording().CallsStartingWith("StretchRect").size(), 1u);
    const FlatFrame& six = spec.frames[6];
    ExpectYuv(ReadYv12(surface, 5, 3), six.y, six.cb, six.cr, "frame 6 top");
    ExpectYuv(ReadYv12(surface, six.markX + 4, kMarkY + 4), 235, six.cb, six.cr, "frame 6 mark");
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(g_MovieTable.count, 0);
}

TEST_F(MovieDeviceTest, ADrawableGraphTakesAnImageThroughUpdateSurface) {
    StartGraphics(true);
    SetCreateDrawValidGraphFlag(1);
    int graph = MakeGraph(40, 20);
    SetCreateDrawValidGraphFlag(0);
    ASSERT_GE(graph, 0);
    ImageRecord image{};
    ASSERT_EQ(CreateXrgbImageRecord(40, 20, &image), 0);
    Recording().ClearCalls();
    V_RECT source{0, 0, 40, 20};
    EXPECT_EQ(TransferImageToTextures(graph, &image, nullptr, &source, 0, 0, 0, 0), 0);
    GraphRecord* record = GetGraphRecord(graph);
    const std::string piece = V_RecordingName(record->image->pieces[0].surface);
    std::vector<std::string> updates = Recording().CallsStartingWith("UpdateSurface");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_NE(updates[0].find(",0,0,40,20," + piece + ",0,0)"), std::string::npos) << updates[0];
    EXPECT_TRUE(Recording().CallsStartingWith("Texture::LockRect").empty());
    // A failed copy is reported.
    Recording().failing.insert("UpdateSurface");
    EXPECT_EQ(TransferImageToTextures(graph, &image, nullptr, &source, 0, 0, 0, 0), -1);
    Recording().failing.clear();
    ReleaseImageRecord(&image);
    DeleteGraph(graph);
}

// A device made again takes the graph's textures and the player's YUV surface (made on the old
// device) with it: the paused movie's frame comes back through a surface of the new device.
TEST_F(MovieDeviceTest, APausedMovieGraphGetsItsFrameBackWhenTheDeviceIsMadeAgain) {
    StartGraphics(true);
    MovieSpec spec;
    spec.frames = TenColours();
    WriteFileBytes("clip.ogv", EncodeMovie(spec));
    int graph = LoadGraphHandle("clip.ogv", 0);
    ASSERT_GE(graph, 0);
    g_SingleTextureGraph = 0;
    GraphRecord* record = GetGraphRecord(graph);
    MovieRecord* movie = GetMovieRecord(record->movie);
    ASSERT_NE(movie, nullptr);
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    g_Clock = 1000000;
    movie->wasPlaying = 1;
    ResumeAllMovies();
    g_Clock += 650000;
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    ASSERT_EQ(PauseMovie(record->movie, 0), 0);
    const std::string oldSurface = V_RecordingName(
        static_cast<V_IDirect3DSurface9*>(GetTheoraYuvSurface(movie->decoder)));

    Recording().ClearCalls();
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    auto* surface = static_cast<V_IDirect3DSurface9*>(GetTheoraYuvSurface(movie->decoder));
    ASSERT_NE(surface, nullptr);
    const std::string surfaceName = V_RecordingName(surface);
    EXPECT_NE(surfaceName, oldSurface);
    EXPECT_EQ(Recording().CallsStartingWith("CreateOffscreenPlainSurface").size(), 1u);
    EXPECT_EQ(std::string(movie->decoder->surfaceFormat, 4), "YV12");
    const FlatFrame& six = spec.frames[6];
    ExpectYuv(ReadYv12(surface, 5, 3), six.y, six.cb, six.cr, "frame 6 top");
    ExpectYuv(ReadYv12(surface, six.markX + 4, kMarkY + 4), 235, six.cb, six.cr, "frame 6 mark");
    const std::string pieceName = V_RecordingName(record->image->pieces[0].surface);
    EXPECT_EQ(Recording().CallsStartingWith("StretchRect"),
              std::vector<std::string>{"StretchRect(" + surfaceName + "," + pieceName + ",0)"});
    // The graph holds the frame: a draw of the still paused movie copies nothing.
    Recording().ClearCalls();
    g_Clock += 1000000;
    ASSERT_EQ(DrawGraphAt(10, 10, graph, 0), 0);
    EXPECT_TRUE(Recording().CallsStartingWith("StretchRect").empty());
    EXPECT_EQ(DeleteGraph(graph), 0);
}

}  // namespace
