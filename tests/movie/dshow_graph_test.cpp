// The streaming stand-in's graph manager with a renderer of the library's base classes:
// rendering a movie file to it, running with and without a clock, pausing, seeking, events,
// refused files and the graph's end while streaming.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "graph_support.h"
#include "media_support/media_encode.h"
#include "movie/dshow_base.h"
#include "platform/com/com_classes.h"
#include "platform/dshow/dshow.h"
#include "support/child_call.h"

namespace {

using graph_test::Graph;

class MovieGraph : public ::testing::Test {
protected:
    // Each test runs in a process of its own, all in one folder: the movie is named per process.
    static void SetUpTestSuite() {
        movie = "graph_test-" + std::to_string(getpid()) + ".avi";
        made = media::WriteTestMovie(movie, 64, 48, 12, 24);
    }
    static void TearDownTestSuite() { std::remove(movie.c_str()); }
    void SetUp() override {
        if (!made) GTEST_SKIP() << "no MPEG-4 encoder or AVI writer";
    }
    static bool made;
    static std::string movie;
};
bool MovieGraph::made = false;
std::string MovieGraph::movie;

TEST_F(MovieGraph, RendersEveryFrameBottomUpWithoutClock) {
    Graph g;
    ASSERT_NE(g.builder, nullptr);
    ASSERT_EQ(g.Render(movie), V_S_OK);
    EXPECT_EQ(g.renderer->info.bmiHeader.biWidth, 64);
    EXPECT_EQ(g.renderer->info.bmiHeader.biHeight, 48);  // positive: bottom-up rows
    EXPECT_EQ(g.renderer->info.bmiHeader.biBitCount, 24);
    int64_t duration = 0;
    ASSERT_EQ(g.seeking->GetDuration(&duration), V_S_OK);
    EXPECT_NEAR(static_cast<double>(duration), 5000000.0, 500000.0);  // 12 frames at 24/s
    g.NoClock();
    ASSERT_EQ(g.control->Run(), V_S_OK);
    EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
    auto frames = g.renderer->Frames();
    ASSERT_EQ(frames.size(), 12u);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto& f = frames[i];
        media::Rgb top = media::PictureColour(static_cast<int>(i), 0, 48);
        media::Rgb bottom = media::PictureColour(static_cast<int>(i), 47, 48);
        // The buffer's first row is the picture's bottom row (blue), its last the top (red).
        EXPECT_NEAR(f.firstB, bottom.b, 12) << i;
        EXPECT_NEAR(f.firstR, bottom.r, 12) << i;
        EXPECT_NEAR(f.lastR, top.r, 12) << i;
        EXPECT_NEAR(f.lastB, top.b, 12) << i;
        EXPECT_EQ(f.length, 64 * 3 * 48);
        EXPECT_NEAR(static_cast<double>(f.start), i * 10000000.0 / 24, 1000.0) << i;
    }
    g.control->Stop();
}

// Renders a two-frame movie without a clock in a child process (a damaged heap ends only the
// child) and compares every byte of every row the renderer receives with FFmpeg's own decoding.
// 0 when all is exact; else 1 not rendered, 2 frames missing, 3 a wrong format, 4 a wrong
// sample length, 5 no reference, or 1000 + (row × 1000 + column) × 2 + frame of the first pixel
// that differs (rows counted in the sample, bottom-up).
std::string CompareWithDecoder(const std::string& file) {
    const media::DecodedMovie reference = media::DecodeMovieBgr24(file);
    ChildResult result = RunInChild(
        [&] {
            const int w = reference.width, h = reference.height, pitch = (w * 3 + 3) & ~3;
            if (reference.frames.size() != 2) return 5;
            Graph g;
            g.renderer->keepPixels = true;
            if (g.Render(file) != V_S_OK) return 1;
            const V_BITMAPINFOHEADER& bitmap = g.renderer->info.bmiHeader;
            if (bitmap.biWidth != w || bitmap.biHeight != h || bitmap.biBitCount != 24 ||
                bitmap.biSizeImage != static_cast<V_DWORD>(pitch * h))
                return 3;
            g.NoClock();
            g.control->Run();
            if (g.WaitForEnd(10000) != V_EC_COMPLETE) return 2;
            g.control->Stop();
            auto frames = g.renderer->Frames();
            if (frames.size() != 2) return 2;
            for (int f = 0; f < 2; ++f) {
                if (frames[f].length != pitch * h || frames[f].size < pitch * h) return 4;
                for (int row = 0; row < h; ++row) {
                    // Sample rows are bottom-up.
                    const V_BYTE* got = g.renderer->pixels[f].data() + size_t(row) * pitch;
                    const uint8_t* want =
                        reference.frames[f].data() + size_t(h - 1 - row) * reference.stride;
                    for (int x = 0; x < w * 3; ++x)
                        if (got[x] != want[x]) return 1000 + (row * 1000 + x / 3) * 2 + f;
                }
            }
            return 0;
        },
        20000);
    if (!result.returned) return result.Describe();
    const int v = result.value;
    if (v < 1000) return v == 0 ? "exact" : "failed with " + std::to_string(v);
    return "frame " + std::to_string((v - 1000) % 2) + " differs at sample row " +
           std::to_string((v - 1000) / 2 / 1000) + " column " +
           std::to_string((v - 1000) / 2 % 1000);
}

// Frames of every width and height reach the renderer as the decoder made them: bottom-up rows
// of width × 3 bytes padded to four, every column of every row exact, the sample pitch × height.
TEST_F(MovieGraph, FramesOfEveryWidthAreTheDecodersOwn) {
    // Without the reference scaler's and the encoders' notes; the level is the program's again
    // at the end.
    struct LogLevel {
        int saved = av_log_get_level();
        ~LogLevel() { av_log_set_level(saved); }
    } level;
    av_log_set_level(std::min(level.saved, AV_LOG_ERROR));
    const std::string file = "graph_size-" + std::to_string(getpid());
    auto check = [&](int w, int h, const char* encoder) {
        const std::string name = file + (std::string(encoder) == "mpeg4" ? ".avi" : ".mkv");
        ASSERT_TRUE(media::WriteTestMovie(name, w, h, 2, 10, encoder, true)) << w << "x" << h;
        EXPECT_EQ(CompareWithDecoder(name), "exact") << encoder << " " << w << "x" << h;
        std::remove(name.c_str());
    };
    for (int h : {1, 4, 7})
        for (int w = 1; w <= 64; ++w) check(w, h, "mpeg4");
    for (int h : {5, 6})
        for (int w : {321, 322, 324, 326, 328, 344, 360}) check(w, h, "mpeg4");
    if (avcodec_find_encoder_by_name("libx264") == nullptr)
        GTEST_SKIP() << "no H.264 encoder in this FFmpeg";
    check(854, 480, "libx264");
}

TEST_F(MovieGraph, PauseShowsTheFirstFrameAndRunKeepsTheClock) {
    Graph g;
    ASSERT_EQ(g.Render(movie), V_S_OK);
    ASSERT_EQ(g.control->Pause(), V_S_OK);
    for (int i = 0; i < 200 && g.renderer->Frames().empty(); ++i) V_Sleep(5);
    V_Sleep(50);
    EXPECT_EQ(g.renderer->Frames().size(), 1u);  // held after the first
    int64_t position = -1;
    ASSERT_EQ(g.seeking->GetCurrentPosition(&position), V_S_OK);
    EXPECT_EQ(position, 0);
    ASSERT_EQ(g.control->Run(), V_S_OK);
    EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
    EXPECT_EQ(g.renderer->Frames().size(), 12u);
    int64_t stop = 0;
    ASSERT_EQ(g.seeking->GetStopPosition(&stop), V_S_OK);
    g.seeking->GetCurrentPosition(&position);
    EXPECT_GE(position, 4000000);  // the clock ran through the half second
    EXPECT_LE(position, stop);
    // Paused again after the end and back to the start: only the first frame is shown
    // until it runs.
    ASSERT_EQ(g.control->Pause(), V_S_OK);
    int64_t zero = 0;
    ASSERT_EQ(g.seeking->SetPositions(&zero, V_AM_SEEKING_AbsolutePositioning, nullptr,
                                      V_AM_SEEKING_NoPositioning),
              V_S_OK);
    for (int i = 0; i < 200 && g.renderer->Frames().size() < 13; ++i) V_Sleep(5);
    V_Sleep(50);
    EXPECT_EQ(g.renderer->Frames().size(), 13u);
    ASSERT_EQ(g.control->Run(), V_S_OK);
    EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
    EXPECT_EQ(g.renderer->Frames().size(), 24u);
    // Back to the start while running: the frames come again.
    ASSERT_EQ(g.seeking->SetPositions(&zero, V_AM_SEEKING_AbsolutePositioning, nullptr,
                                      V_AM_SEEKING_NoPositioning),
              V_S_OK);
    EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
    auto frames = g.renderer->Frames();
    EXPECT_EQ(frames.size(), 36u);
    EXPECT_EQ(frames.back().start, frames[11].start);
    g.control->Stop();
}

TEST_F(MovieGraph, RefusedFilesAndReleaseWhileStreaming) {
    {
        std::ofstream("not_a_movie.avi") << "plain text, no movie in here at all\n";
        Graph g;
        EXPECT_LT(g.Render("not_a_movie.avi"), 0);
        EXPECT_LT(g.Render("missing_file.avi"), 0);
        V_IEnumFilters* e = nullptr;
        ASSERT_EQ(g.builder->EnumFilters(&e), V_S_OK);
        V_IBaseFilter* f[4] = {};
        V_ULONG n = 0;
        e->Next(4, f, &n);
        for (V_ULONG i = 0; i < n; ++i) f[i]->Release();
        e->Release();
        EXPECT_EQ(n, 1u);  // only the renderer stays
    }
    {
        // Released while running with the clock: the streaming thread ends with the graph.
        Graph g;
        ASSERT_EQ(g.Render(movie), V_S_OK);
        ASSERT_EQ(g.control->Run(), V_S_OK);
        V_Sleep(30);
    }
    {
        // Released while paused and holding a frame.
        Graph g;
        ASSERT_EQ(g.Render(movie), V_S_OK);
        ASSERT_EQ(g.control->Pause(), V_S_OK);
        V_Sleep(30);
    }
}

// A damaged movie is decoded or refused without a word on the terminal: FFmpeg's own messages
// are off.
TEST_F(MovieGraph, DamagedMoviesPrintNothing) {
    std::ifstream in(movie, std::ios::binary);
    std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The frames' data scrambled, the headers and the index kept.
    std::string damaged = whole;
    for (size_t i = whole.size() / 3; i < 2 * whole.size() / 3; i += 7) damaged[i] ^= 0x5A;
    std::ofstream("damaged_movie.avi", std::ios::binary) << damaged;
    testing::internal::CaptureStderr();
    {
        Graph g;
        if (V_SUCCEEDED(g.Render("damaged_movie.avi"))) {
            g.NoClock();
            g.control->Run();
            g.WaitForEnd(2000);
            g.control->Stop();
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::remove("damaged_movie.avi");
}

}  // namespace
