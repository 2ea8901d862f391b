// Movie handles and playback: handle validity, the handle table, stepping by a test clock,
// looping and stopping at the end, pausing and resuming, and closing.
#include <unistd.h>

#include <filesystem>

#include "core/memory.h"
#include "movie/movie_record.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"
#include "movie_files.h"

namespace {

int64_t g_TestClock = 0;
int64_t TestClock() { return g_TestClock; }

struct Handover {
    int calls = 0;
    int graph = 0;
    MovieRecord* movie = nullptr;
};
Handover g_Handover;
void RecordHandover(MovieRecord* movie, int graph) {
    ++g_Handover.calls;
    g_Handover.graph = graph;
    g_Handover.movie = movie;
}

class MovieHandleTest : public ::testing::Test {
protected:
    void SetUp() override {
        BuildYuvTables();
        folder_ = std::filesystem::current_path() / ("movie-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        GetAllocationTotals(&bytesBefore_, &blocksBefore_);
        g_MovieClock = TestClock;
        g_TestClock = 5000000;
        g_Handover = {};
        MovieSpec spec;
        spec.frames = TenColours();
        path_ = (folder_ / "ten.ogv").string();
        WriteFileBytes(path_, EncodeMovie(spec));
    }
    void TearDown() override {
        for (int slot = 0; slot < kMovieSlots; ++slot)
            if (MovieRecord* m = g_MovieTable.records[slot])
                CloseMovie(MakeHandle(m->check, kMovieHandleKind, slot));
        EXPECT_EQ(g_MovieTable.count, 0);
        int32_t bytes = 0, blocks = 0;
        GetAllocationTotals(&bytes, &blocks);
        EXPECT_EQ(blocks, blocksBefore_) << "a movie left blocks allocated";
        EXPECT_EQ(bytes, bytesBefore_);
        // Back to the library's clock for the other tests.
        g_MovieClock = saved_;
    }
    // Opens the ten-frame movie marked as playing and starts it at the test clock.
    int OpenPlaying(int playType = 1) {
        int handle = OpenMovie(path_.c_str(), nullptr, nullptr, 0);
        EXPECT_GE(handle, 0);
        MovieRecord* movie = GetMovieRecord(handle);
        movie->wasPlaying = 1;
        movie->playType = playType;
        EXPECT_EQ(SetMovieFrameCallback(handle, RecordHandover, 77), 0);
        ResumeAllMovies();
        EXPECT_EQ(movie->paused, 0);
        return handle;
    }
    // Moves the test clock to the given time after the start (10 frames a second).
    void At(int64_t microseconds) { g_TestClock = 5000000 + microseconds; }
    static int Current(int handle) { return GetTheoraCurrentFrame(GetMovieRecord(handle)->decoder); }
    // The top-left pixel of the frame image after the frame callback's conversion.
    static Rgb8 Shown(int handle) {
        MovieRecord* movie = GetMovieRecord(handle);
        UpdateTheoraFrame(movie->decoder, 1, 0);
        const uint8_t* p = movie->currentImage->pixels;
        return {p[2], p[1], p[0]};
    }

    std::filesystem::path folder_;
    std::string path_;
    int32_t bytesBefore_ = 0, blocksBefore_ = 0;
    int64_t (*saved_)() = g_MovieClock;
};

TEST_F(MovieHandleTest, HandlesAreValidOnlyWhileTheirMovieIsOpen) {
    int width = 0, height = 0;
    int handle = OpenMovie(path_.c_str(), &width, &height, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(handle & 0x78000000, 0x18000000);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* movie = GetMovieRecord(handle);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->theoraFlag, 1);
    EXPECT_EQ(movie->width, 64);
    EXPECT_EQ(movie->height, 48);
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(movie->wasPlaying, 0);
    EXPECT_EQ(movie->playType, 1);
    EXPECT_EQ(movie->soundtrack, -1);  // no sound system here
    EXPECT_EQ(movie->currentImage, GetTheoraImage(movie->decoder));
    EXPECT_EQ(g_MovieTable.count, 1);

    const int slot = handle & 0xFFFF;
    const int check = (handle >> 16) & 0x7FF;
    const int otherCheck = ((check + 1) & 0x7FF) << 16;
    for (int bad : {-1, handle | static_cast<int>(0x80000000u), (handle & ~0x78000000) | 0x08000000,
                    (handle & ~0xFFFF) | 100, (handle & ~0xFFFF) | (slot + 1),
                    (handle & ~0x07FF0000) | otherCheck}) {
        EXPECT_EQ(GetMovieRecord(bad), nullptr) << std::hex << bad;
        EXPECT_EQ(CloseMovie(bad), -1) << std::hex << bad;
        EXPECT_EQ(SetMovieFrameCallback(bad, RecordHandover, 1), -1);
        EXPECT_EQ(UpdateMovieFrame(bad, 0), 0);
        EXPECT_EQ(PauseMovie(bad, 0), -1);
        EXPECT_EQ(UpdateMovieOverlay(0, 0, 1, bad, 1), -1);
    }
    EXPECT_EQ(g_Handover.calls, 0);
    EXPECT_EQ(CloseMovie(handle), 0);
    EXPECT_EQ(g_MovieTable.count, 0);
    // A closed movie's handle is dead, also when the slot is used again.
    EXPECT_EQ(CloseMovie(handle), -1);
    EXPECT_EQ(GetMovieRecord(handle), nullptr);
    int again = OpenMovie(path_.c_str(), nullptr, nullptr, 0);
    EXPECT_EQ(again & 0xFFFF, slot);
    EXPECT_NE(again, handle);
    EXPECT_EQ(GetMovieRecord(handle), nullptr);
    EXPECT_EQ(CloseMovie(again), 0);
}

TEST_F(MovieHandleTest, TheTableHoldsAHundredAndTheCheckNumberWraps) {
    g_MovieTable.checkCounter = 2046;
    std::vector<int> handles;
    for (int i = 0; i < 100; ++i) handles.push_back(OpenMovie(path_.c_str(), nullptr, nullptr, 0));
    EXPECT_EQ((handles[0] >> 16) & 0x7FF, 2046);
    EXPECT_EQ((handles[1] >> 16) & 0x7FF, 2047);
    EXPECT_EQ((handles[2] >> 16) & 0x7FF, 0);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(handles[i] & 0xFFFF, i);
    EXPECT_EQ(g_MovieTable.count, 100);
    // The 101st fails, and a failure does not use up a check number.
    EXPECT_EQ(OpenMovie(path_.c_str(), nullptr, nullptr, 0), -1);
    EXPECT_EQ(g_MovieTable.checkCounter, 98u);
    EXPECT_EQ(CloseMovie(handles[40]), 0);
    EXPECT_EQ(OpenMovie((folder_ / "missing.ogv").string().c_str(), nullptr, nullptr, 0), -1);
    EXPECT_EQ(g_MovieTable.checkCounter, 98u);
    int reused = OpenMovie(path_.c_str(), nullptr, nullptr, 0);
    EXPECT_EQ(reused & 0xFFFF, 40);
    EXPECT_EQ((reused >> 16) & 0x7FF, 98);
}

TEST_F(MovieHandleTest, FramesFollowTheClockAndStopAtTheEnd) {
    int handle = OpenPlaying();
    MovieRecord* movie = GetMovieRecord(handle);
    const std::vector<FlatFrame> frames = TenColours();
    At(0);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 0);
    EXPECT_EQ(g_Handover.calls, 1);
    EXPECT_EQ(g_Handover.graph, 77);
    EXPECT_EQ(g_Handover.movie, movie);
    EXPECT_EQ(movie->newFrame, 1);
    At(450000);  // 4.5 frames
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 4);
    EXPECT_EQ(movie->lastStepTime, 5450);
    Rgb8 want = ExpectedRgb(frames[4].y, frames[4].cb, frames[4].cr);
    Rgb8 got = Shown(handle);
    EXPECT_NEAR(got.r, want.r, 4);
    EXPECT_NEAR(got.b, want.b, 4);
    At(999999);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 9);
    // The last frame of a movie that does not loop pauses it and clears its playing mark.
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(movie->wasPlaying, 0);
    At(5000000);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 9);
    EXPECT_EQ(g_Handover.calls, 4);
    // Not marked as playing any more: resuming leaves it where it is.
    ResumeAllMovies();
    EXPECT_EQ(movie->paused, 1);
}

TEST_F(MovieHandleTest, ALoopingMovieWrapsAcrossTheEnd) {
    int handle = OpenPlaying(3);
    MovieRecord* movie = GetMovieRecord(handle);
    At(800000);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 8);
    At(1300000);  // frame 13 of a ten-frame loop
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 3);
    EXPECT_EQ(movie->paused, 0);
    EXPECT_EQ(movie->wasPlaying, 1);
    const FlatFrame f = TenColours()[3];
    Rgb8 want = ExpectedRgb(f.y, f.cb, f.cr), got = Shown(handle);
    EXPECT_NEAR(got.g, want.g, 4);
    At(2500000 + 900000);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 4);
}

TEST_F(MovieHandleTest, PauseAndResumeContinueAtTheFrameShown) {
    int looping = OpenPlaying(3);
    int stopped = OpenMovie(path_.c_str(), nullptr, nullptr, 0);  // never marked as playing
    At(300000);
    UpdateMovieFrame(looping, 0);
    EXPECT_EQ(Current(looping), 3);
    EXPECT_EQ(PauseAllMovies(), 0);
    MovieRecord* movie = GetMovieRecord(looping);
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(movie->wasPlaying, 1);  // kept for the resume
    int calls = g_Handover.calls;
    At(2700000);
    UpdateMovieFrame(looping, 0);
    EXPECT_EQ(Current(looping), 3);  // paused: no step, but the frame is handed over
    EXPECT_EQ(g_Handover.calls, calls + 1);
    // Pausing again changes nothing.
    EXPECT_EQ(PauseMovie(looping, 0), 0);
    EXPECT_EQ(movie->wasPlaying, 1);
    EXPECT_EQ(ResumeAllMovies(), 0);
    EXPECT_EQ(movie->paused, 0);
    EXPECT_EQ(movie->playType, 3);
    EXPECT_EQ(GetMovieRecord(stopped)->paused, 1);
    EXPECT_EQ(GetMovieRecord(stopped)->wasPlaying, 0);
    At(2700000 + 150000);
    UpdateMovieFrame(looping, 0);
    EXPECT_EQ(Current(looping), 4);
    // A pause without keeping the mark is not undone by a resume.
    EXPECT_EQ(PauseMovie(looping, 0), 0);
    EXPECT_EQ(movie->wasPlaying, 0);
    ResumeAllMovies();
    EXPECT_EQ(movie->paused, 1);
    EXPECT_EQ(CloseMovie(stopped), 0);
    EXPECT_EQ(CloseMovie(looping), 0);
}

TEST_F(MovieHandleTest, FilesThatNoPlayerTakesAreRefusedCleanly) {
    MovieSpec spec;
    spec.frames = TenColours();
    std::vector<uint8_t> whole = EncodeMovie(spec);
    size_t headers = EncodeMovie(MovieSpec{}).size();
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"cut.ogv", std::vector<uint8_t>(whole.begin(), whole.begin() + 100)},
        {"headers.ogv", std::vector<uint8_t>(whole.begin(), whole.begin() + headers - 1)},
        {"text.ogv", {'h', 'e', 'l', 'l', 'o'}},
        {"empty.ogv", {}},
    };
    MovieSpec sound;
    sound.theora = false;
    sound.vorbis = true;
    files.push_back({"sound.ogg", EncodeMovie(sound)});
    for (const auto& [name, bytes] : files) {
        std::string path = (folder_ / name).string();
        WriteFileBytes(path, bytes);
        int width = -7;
        EXPECT_EQ(OpenMovie(path.c_str(), &width, nullptr, 0), -1) << name;
        EXPECT_EQ(g_MovieTable.count, 0);
    }
    EXPECT_EQ(OpenMovie(nullptr, nullptr, nullptr, 0), -1);
}

TEST_F(MovieHandleTest, ASoundtrackThatDoesNotLoadLeavesTheClockInCharge) {
    MovieSpec spec;
    spec.frames = TenColours();
    spec.vorbis = true;
    std::string path = (folder_ / "with-sound.ogv").string();
    WriteFileBytes(path, EncodeMovie(spec));
    int width = 0;
    int handle = OpenMovie(path.c_str(), &width, nullptr, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(width, 64);
    MovieRecord* movie = GetMovieRecord(handle);
    EXPECT_EQ(movie->soundtrack, -1);  // the sound system is not running here
    TheoraInfo info{};
    GetTheoraInfo(movie->decoder, &info);
    EXPECT_EQ(info.totalFrames, 10);
    movie->wasPlaying = 1;
    ResumeAllMovies();
    At(620000);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(Current(handle), 6);
    EXPECT_EQ(CloseMovie(handle), 0);
}

}  // namespace
