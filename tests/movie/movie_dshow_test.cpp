// DirectShow movies: the frame renderer's media types and copies, movies opened through the
// graph (first frame, end, loop), drawn as graphs, and archive members played from a temporary
// copy.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "archive_writer.h"
#include "core/test_window_support.h"
#include "draw/draw.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/screen.h"
#include "media_support/media_encode.h"
#include "movie/movie_record.h"
#include "movie/movie_renderer.h"
#include "movie/movie_services.h"
#include "platform/dshow/dshow.h"

namespace {

// A 24-bit RGB video type of the given size (negative height: top-down rows).
void MakeVideoType(V_CMediaType* type, int width, int height) {
    type->majortype = V_MEDIATYPE_Video;
    type->subtype = V_MEDIASUBTYPE_RGB24;
    type->formattype = V_FORMAT_VideoInfo;
    type->cbFormat = sizeof(V_VIDEOINFOHEADER);
    type->pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(sizeof(V_VIDEOINFOHEADER)));
    V_VIDEOINFOHEADER info{};
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = 24;
    std::memcpy(type->pbFormat, &info, sizeof info);
}

TEST(MovieFrameRendererTest, AcceptsOnlyRgb24VideoInfoAndCopiesRowsTheRightWayUp) {
    V_HRESULT hr = V_E_FAIL;
    MovieFrameRenderer* renderer = CreateMovieFrameRenderer(nullptr, &hr);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(hr, V_S_OK);
    renderer->AddRef();
    EXPECT_EQ(renderer->CheckMediaType(nullptr), V_E_POINTER);
    V_CMediaType type;
    MakeVideoType(&type, 321, 240);
    EXPECT_EQ(renderer->CheckMediaType(&type), V_S_OK);
    type.subtype = V_MEDIASUBTYPE_PCM;
    EXPECT_EQ(renderer->CheckMediaType(&type), V_E_FAIL);
    type.subtype = V_MEDIASUBTYPE_RGB24;
    type.majortype = V_MEDIATYPE_Audio;
    EXPECT_EQ(renderer->CheckMediaType(&type), V_E_FAIL);
    // The format type is looked at first.
    type.formattype = V_GUID{};
    EXPECT_EQ(renderer->CheckMediaType(&type), V_E_INVALIDARG);
    type.majortype = V_MEDIATYPE_Video;
    type.formattype = V_FORMAT_VideoInfo;

    // A sample before any format copies nothing.
    std::vector<V_BYTE> rows(static_cast<size_t>(964) * 240);
    V_CMediaSample* sample = new V_CMediaSample(nullptr, rows.data(), static_cast<long>(rows.size()));
    sample->AddRef();
    sample->SetActualDataLength(static_cast<long>(rows.size()));
    EXPECT_EQ(renderer->DoRenderSample(sample), V_S_OK);
    EXPECT_FALSE(renderer->HasNewFrame());
    EXPECT_EQ(renderer->DoRenderSample(nullptr), V_E_POINTER);

    ASSERT_EQ(renderer->SetMediaType(&type), V_S_OK);
    EXPECT_EQ(renderer->Width(), 321);
    EXPECT_EQ(renderer->Height(), 240);
    EXPECT_EQ(renderer->Pitch(), 964);
    // Bottom-up rows: the first source row becomes the last row of the frame.
    for (int row = 0; row < 240; ++row) rows[static_cast<size_t>(row) * 964] = static_cast<V_BYTE>(row);
    ASSERT_EQ(renderer->DoRenderSample(sample), V_S_OK);
    EXPECT_TRUE(renderer->HasNewFrame());
    ImageRecord frame{};
    ASSERT_TRUE(renderer->TakeFrame(&frame));
    EXPECT_FALSE(renderer->HasNewFrame());
    EXPECT_EQ(frame.width, 321);
    EXPECT_EQ(frame.pitch, 964);
    EXPECT_EQ(frame.format.bitDepth, 24);
    EXPECT_EQ(frame.pixels[0], 239);
    EXPECT_EQ(frame.pixels[static_cast<size_t>(239) * 964], 0);

    // Top-down rows are copied as they are; a short sample fills the rows it has.
    V_CMediaType topDown;
    MakeVideoType(&topDown, 8, -4);
    ASSERT_EQ(renderer->SetMediaType(&topDown), V_S_OK);
    EXPECT_EQ(renderer->Pitch(), 24);
    for (int i = 0; i < 96; ++i) rows[static_cast<size_t>(i)] = static_cast<V_BYTE>(i);
    sample->SetActualDataLength(96);
    ASSERT_EQ(renderer->DoRenderSample(sample), V_S_OK);
    ASSERT_TRUE(renderer->TakeFrame(&frame));
    EXPECT_EQ(frame.height, 4);
    EXPECT_EQ(frame.pixels[0], 0);
    EXPECT_EQ(frame.pixels[95], 95);
    sample->SetActualDataLength(30);
    rows[0] = 200;
    rows[24] = 201;
    rows[48] = 202;
    ASSERT_EQ(renderer->DoRenderSample(sample), V_S_OK);
    ASSERT_TRUE(renderer->TakeFrame(&frame));
    EXPECT_EQ(frame.pixels[0], 200);
    EXPECT_EQ(frame.pixels[48], 48);  // not in the short sample: the row before stays

    // Sizes no image can have are refused.
    V_CMediaType empty;
    MakeVideoType(&empty, 0, 10);
    EXPECT_EQ(renderer->SetMediaType(&empty), V_E_INVALIDARG);
    FreeMemory(frame.pixels);
    sample->Release();
    renderer->Release();
}

class DirectShowMovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::make_unique<ScratchFolder>();
        if (!media::WriteTestMovie("clip.avi", 64, 48, 12, 24)) GTEST_SKIP() << "no encoder";
        SetUseHardware(0);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
        started_ = true;
    }
    void TearDown() override {
        if (started_) {
            EXPECT_EQ(EndLibraryLocked(), 0);
        }
        folder_.reset();
    }
    // Waits until the movie's renderer has a frame and hands it over.
    static bool WaitForFrame(int handle) {
        MovieRecord* movie = GetMovieRecord(handle);
        for (int i = 0; i < 400 && !movie->renderer->HasNewFrame(); ++i) V_Sleep(5);
        return movie->renderer->HasNewFrame();
    }
    std::unique_ptr<ScratchFolder> folder_;
    bool started_ = false;
};

// The screen pixel as 0x00RRGGBB.
media::Rgb ScreenPixel(int x, int y) {
    ImageRecord record{};
    V_RECT rect{x, y, x + 1, y + 1};
    if (LockScreenPixels(&rect, &record) != 0) return {-1, -1, -1};
    int r = 0, g = 0, b = 0, a = 0;
    GetImagePixel(&record, 0, 0, &r, &g, &b, &a);
    UnlockScreenPixels();
    return {r, g, b};
}

void ExpectNear(media::Rgb got, media::Rgb want, const char* where) {
    EXPECT_NEAR(got.r, want.r, 16) << where;
    EXPECT_NEAR(got.g, want.g, 16) << where;
    EXPECT_NEAR(got.b, want.b, 16) << where;
}

TEST_F(DirectShowMovieTest, OpensPausedOnItsFirstFrameAndStopsOrLoopsAtTheEnd) {
    int width = 0, height = 0;
    int handle = OpenMovie("clip.avi", &width, &height, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* movie = GetMovieRecord(handle);
    EXPECT_EQ(movie->theoraFlag, 0);
    EXPECT_EQ(movie->width, 0);
    EXPECT_EQ(movie->tempFileFlag, 0);
    EXPECT_EQ(movie->currentImage, &movie->frameImage);
    EXPECT_NEAR(static_cast<double>(movie->duration), 5000000.0, 500000.0);
    EXPECT_EQ(movie->stopPosition, movie->duration);
    EXPECT_EQ(movie->paused, 1);
    int calls = 0;
    static int* counter = nullptr;
    counter = &calls;
    SetMovieFrameCallback(handle, [](MovieRecord*, int) { ++*counter; }, 5);
    ASSERT_TRUE(WaitForFrame(handle));
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(calls, 1);
    ASSERT_NE(movie->frameImage.pixels, nullptr);
    EXPECT_EQ(movie->frameImage.width, 64);
    // The frame is top-down: its first row is the picture's red top.
    EXPECT_NEAR(movie->frameImage.pixels[2], media::PictureColour(0, 0, 48).r, 16);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(calls, 1);  // nothing new

    // Played to the end without looping: the flags say it stopped.
    movie->wasPlaying = 1;
    ResumeAllMovies();
    EXPECT_EQ(movie->paused, 0);
    for (int i = 0; i < 400 && movie->paused == 0; ++i) {
        V_Sleep(5);
        UpdateMovieFrame(handle, 0);
    }
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(movie->wasPlaying, 0);
    EXPECT_GT(calls, 1);

    // Looping: the end puts the graph back to the start and keeps it running.
    movie->wasPlaying = 1;
    movie->playType = 3;
    ResumeAllMovies();
    UpdateMovieFrame(handle, 0);
    int64_t position = -1;
    movie->mediaSeeking->GetCurrentPosition(&position);
    EXPECT_LT(position, movie->stopPosition);
    EXPECT_EQ(movie->paused, 0);
    EXPECT_EQ(PauseAllMovies(), 0);
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(movie->wasPlaying, 1);
    EXPECT_EQ(CloseMovie(handle), 0);
    EXPECT_EQ(GetMovieRecord(handle), nullptr);
}

TEST_F(DirectShowMovieTest, AMovieGraphShowsItsFrameAndArchiveMembersPlayFromACopy) {
    int graph = LoadGraphHandle("clip.avi", 0);
    ASSERT_GE(graph, 0);
    int movieHandle = GetGraphRecord(graph)->movie;
    ASSERT_TRUE(WaitForFrame(movieHandle));
    ASSERT_EQ(DrawGraphAt(20, 30, graph, 0), 0);
    ExpectNear(ScreenPixel(25, 32), media::PictureColour(0, 0, 48), "top");
    ExpectNear(ScreenPixel(80, 75), media::PictureColour(0, 47, 48), "bottom");
    EXPECT_EQ(DeleteGraph(graph), 0);

    // A member of an archive has no file name DirectShow can open: it plays from a copy of
    // exactly its size, which goes with the movie.
    std::ifstream in("clip.avi", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ArchiveWriterFile member;
    member.path = "clip.avi";
    member.data = bytes;
    std::string error;
    ASSERT_TRUE(WriteArchive("Movies.VKA", {member}, ArchiveWriterOptions{}, &error)) << error;
    graph = LoadGraphHandle("Movies\\clip.avi", 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = GetMovieRecord(GetGraphRecord(graph)->movie);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->tempFileFlag, 1);
    std::string copy = movie->fileName;
    // The copy's name is the platform's: opened through the plain-file operations.
    const FileAccessFunctions* files = GetDirectFileFunctions();
    intptr_t file = files->open(copy.c_str(), 0, 0, 0);
    ASSERT_NE(file, 0) << copy;
    files->seek(file, 0, 2);
    EXPECT_EQ(static_cast<size_t>(files->tell(file)), bytes.size());
    files->close(file);
    EXPECT_EQ(DeleteGraph(graph), 0);
    file = files->open(copy.c_str(), 0, 0, 0);
    EXPECT_EQ(file, 0) << "the copy is deleted with the movie";
    if (file != 0) files->close(file);

    // Neither player takes it: the graph's message is logged.
    std::ofstream("junk.mov") << "no movie at all";
    EXPECT_EQ(OpenMovie("junk.mov", nullptr, nullptr, 0), -1);
    std::vector<std::string> lines = ReadLogLines();
    EXPECT_GE(FindLogLine(lines, "ファイル:junk.mov が開けませんでした"), 0);
    EXPECT_GE(FindLogLine(lines, "ムービーファイルオープン処理時にエラーが発生しました"), 0);
}

// A movie graph shows the movie's first frame at the first draw straight after its load,
// with no wait in between, also for a file that only the movie road takes (a grey TGA). The
// frame reaches the renderer on the graph's own thread, so each file is loaded several times.
TEST_F(DirectShowMovieTest, AMovieGraphShowsItsFirstFrameAtTheFirstDraw) {
    ASSERT_TRUE(media::WriteTestMovie("clip.mp4", 64, 48, 12, 24));
    std::vector<uint8_t> tga = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 48, 0, 8, 0x20};
    for (int y = 0; y < 48; ++y) tga.insert(tga.end(), 64, y < 24 ? 90 : 200);  // rows top-down
    std::ofstream("grey.tga", std::ios::binary).write(reinterpret_cast<const char*>(tga.data()),
                                                      static_cast<std::streamsize>(tga.size()));
    const struct {
        const char* name;
        media::Rgb top, bottom;
    } files[] = {{"clip.avi", media::PictureColour(0, 0, 48), media::PictureColour(0, 47, 48)},
                 {"clip.mp4", media::PictureColour(0, 0, 48), media::PictureColour(0, 47, 48)},
                 {"grey.tga", {90, 90, 90}, {200, 200, 200}}};
    for (int i = 0; i < 4; ++i)
        for (const auto& file : files) {
            SCOPED_TRACE(std::string(file.name) + ", load " + std::to_string(i));
            FillBox(0, 0, 640, 480, GetScreenColor(255, 255, 255));
            int graph = LoadGraphHandle(file.name, 0);
            ASSERT_GE(graph, 0);
            ASSERT_NE(GetGraphRecord(graph)->movie, -1) << "not loaded as a movie";
            ASSERT_EQ(DrawGraphAt(20, 30, graph, 0), 0);
            const media::Rgb top = ScreenPixel(25, 32), bottom = ScreenPixel(80, 75);
            auto near = [](media::Rgb a, media::Rgb b) {
                return std::abs(a.r - b.r) <= 16 && std::abs(a.g - b.g) <= 16 &&
                       std::abs(a.b - b.b) <= 16;
            };
            EXPECT_TRUE(near(top, file.top) && near(bottom, file.bottom))  // black: no frame yet
                << "top " << top.r << "," << top.g << "," << top.b << "; bottom " << bottom.r
                << "," << bottom.g << "," << bottom.b;
            EXPECT_EQ(DeleteGraph(graph), 0);
        }
}

// A movie with a soundtrack loaded as a graph, drawn and played through the library: the
// picture is on the screen and the sound device (SDL's disk driver) played the encoded tone.
class DirectShowSoundtrackTest : public DirectShowMovieTest {
protected:
    void SetUp() override {
        folder_ = std::make_unique<ScratchFolder>();
        if (!media::WriteTestMovieWithTone("tone.avi", 64, 48, 12, 24, 44100))
            GTEST_SKIP() << "no encoder";
        const char* driver = getenv("SDL_AUDIODRIVER");
        savedDriver_ = driver != nullptr ? driver : "";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "tone.raw", 1);
        SetUseHardware(0);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
        started_ = true;
    }
    void TearDown() override {
        DirectShowMovieTest::TearDown();
        if (savedDriver_.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", savedDriver_.c_str(), 1);
    }
    std::string savedDriver_;
};

TEST_F(DirectShowSoundtrackTest, AMovieGraphIsSeenAndHeard) {
    std::vector<int16_t> captured;
    {
        int graph = LoadGraphHandle("tone.avi", 0);
        ASSERT_GE(graph, 0);
        int handle = GetGraphRecord(graph)->movie;
        MovieRecord* movie = GetMovieRecord(handle);
        ASSERT_TRUE(WaitForFrame(handle));
        ASSERT_EQ(DrawGraphAt(20, 30, graph, 0), 0);
        ExpectNear(ScreenPixel(25, 32), media::PictureColour(0, 0, 48), "top");
        ExpectNear(ScreenPixel(80, 75), media::PictureColour(0, 47, 48), "bottom");
        // Played to its end.
        movie->wasPlaying = 1;
        ResumeAllMovies();
        for (int i = 0; i < 1000 && movie->paused == 0; ++i) {
            V_Sleep(5);
            UpdateMovieFrame(handle, 0);
        }
        EXPECT_EQ(movie->paused, 1);
        // The end is read from the position; the graph ends by itself once its renderers have
        // shown the last picture and played the last sound, which a busy machine does later.
        V_IMediaEvent* events = nullptr;
        ASSERT_EQ(movie->graphBuilder->QueryInterface(V_IID_IMediaEvent,
                                                      reinterpret_cast<void**>(&events)),
                  V_S_OK);
        long code = 0;
        EXPECT_EQ(events->WaitForCompletion(10000, &code), V_S_OK);
        EXPECT_EQ(code, V_EC_COMPLETE);
        events->Release();
        UpdateMovieFrame(handle, 0);
        ASSERT_EQ(DrawGraphAt(20, 30, graph, 0), 0);
        ExpectNear(ScreenPixel(25, 32), media::PictureColour(11, 0, 48), "last top");
        EXPECT_EQ(DeleteGraph(graph), 0);
    }
    // The device plays on what it has mixed; on a slow machine that can be well after the
    // picture ended. Wait (at most 10 s) until the whole tone has been written, then a little.
    const size_t toneFrames = 12 * 44100 / 24;
    auto readCapture = [&captured] {
        captured.clear();
        std::ifstream in("tone.raw", std::ios::binary);
        int16_t value;
        while (in.read(reinterpret_cast<char*>(&value), 2)) captured.push_back(value);
        size_t lead = 0;
        while (lead < captured.size() && captured[lead] == 0) ++lead;
        return captured.size() > lead && captured.size() - lead >= 2 * toneFrames;
    };
    for (int i = 0; i < 200 && !readCapture(); ++i) V_Sleep(50);
    V_Sleep(300);
    EXPECT_EQ(EndLibraryLocked(), 0);
    started_ = false;
    readCapture();
    size_t first = 0;
    while (first + 1 < captured.size() && captured[first] == 0 && captured[first + 1] == 0)
        first += 2;
    // Every sample of the tone, in order and exact. A device that runs dry on a machine too busy
    // to feed it in time plays whole buffers of silence in between (at least 256 frames each),
    // which are passed over; nothing of the tone may be missing.
    const int64_t total = 12 * 44100 / 24;
    size_t at = first;
    int gaps = 0;
    for (int64_t i = 0; i < total; ++i) {
        ASSERT_LT(at + 1, captured.size()) << "the tone ends early at frame " << i;
        const int16_t left = media::ToneSample(0, i, 44100), right = media::ToneSample(1, i, 44100);
        if (captured[at] != left && captured[at] == 0 && captured[at + 1] == 0) {
            size_t silent = 0;
            while (at + 1 < captured.size() && captured[at] == 0 && captured[at + 1] == 0) {
                at += 2;
                ++silent;
            }
            ASSERT_GE(silent, 256u) << "a short silence inside the tone at frame " << i;
            ASSERT_LT(at + 1, captured.size()) << "the tone ends early at frame " << i;
            ++gaps;
        }
        ASSERT_EQ(captured[at], left) << i;
        ASSERT_EQ(captured[at + 1], right) << i;
        at += 2;
    }
    EXPECT_LE(gaps, 8) << "the device ran dry again and again";
}

}  // namespace
