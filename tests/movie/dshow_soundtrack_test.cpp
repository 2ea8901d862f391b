// Movie soundtracks through the streaming stand-in's graph: the soundtrack is rendered to the
// audio renderer, which plays it through the sound device and clocks the graph; what the
// device played is captured by SDL's disk audio driver and compared with the encoded tone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "graph_support.h"
#include "media_support/media_encode.h"
#include "platform/dshow/dshow.h"

namespace {

using graph_test::Graph;

constexpr int kRate = 44100;  // the mixer's rate: the captured samples are the encoded ones
// Time for the device to write out what it has mixed before the graph closes it.
constexpr int kFlushMicroseconds = 300000;

class GraphSoundtrack : public ::testing::Test {
protected:
    // Each test runs in a process of its own; the names carry the process.
    void SetUp() override {
        const std::string id = std::to_string(getpid());
        movie = "soundtrack-" + id + ".avi";
        capture = "soundtrack-" + id + ".raw";
        if (!media::WriteTestMovieWithTone(movie, 32, 24, 12, 24, kRate))
            GTEST_SKIP() << "no MPEG-4 or PCM encoder, or no AVI writer";
        const char* driver = getenv("SDL_AUDIODRIVER");
        savedDriver = driver != nullptr ? driver : "";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    }
    void TearDown() override {
        if (savedDriver.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", savedDriver.c_str(), 1);
        std::remove(movie.c_str());
        std::remove(capture.c_str());
    }

    // The captured stereo frames (left, right) from the first one that is not silent.
    std::vector<int16_t> Captured() const {
        std::ifstream in(capture, std::ios::binary);
        std::vector<int16_t> all;
        int16_t value;
        while (in.read(reinterpret_cast<char*>(&value), 2)) all.push_back(value);
        size_t first = 0;
        while (first + 1 < all.size() && all[first] == 0 && all[first + 1] == 0) first += 2;
        return std::vector<int16_t>(all.begin() + static_cast<long>(first), all.end());
    }

    // Frames of the tone from `from` found one for one in the capture starting at `at`.
    static int MatchingFrames(const std::vector<int16_t>& captured, size_t at, int64_t from,
                              int64_t count) {
        int n = 0;
        for (int64_t i = 0; i < count; ++i, ++n) {
            size_t k = at + 2 * static_cast<size_t>(i);
            if (k + 1 >= captured.size() || captured[k] != media::ToneSample(0, from + i, kRate) ||
                captured[k + 1] != media::ToneSample(1, from + i, kRate))
                break;
        }
        return n;
    }

    std::string movie;
    std::string capture;
    std::string savedDriver;
};

TEST_F(GraphSoundtrack, IsHeardSampleForSampleAndClocksThePictures) {
    {
        Graph g;
        ASSERT_NE(g.builder, nullptr);
        ASSERT_EQ(g.Render(movie), V_S_OK);
        // The soundtrack's renderer is the graph's clock and takes the audio controls.
        V_IMediaFilter* filter = nullptr;
        ASSERT_EQ(g.builder->QueryInterface(V_IID_IMediaFilter, reinterpret_cast<void**>(&filter)),
                  V_S_OK);
        V_IReferenceClock* clock = nullptr;
        ASSERT_EQ(filter->GetSyncSource(&clock), V_S_OK);
        ASSERT_NE(clock, nullptr);
        V_IBasicAudio* clockAudio = nullptr;
        EXPECT_EQ(clock->QueryInterface(V_IID_IBasicAudio, reinterpret_cast<void**>(&clockAudio)),
                  V_S_OK);
        if (clockAudio != nullptr) clockAudio->Release();
        clock->Release();
        filter->Release();

        ASSERT_EQ(g.control->Run(), V_S_OK);
        EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
        EXPECT_EQ(g.renderer->Frames().size(), 12u);
        int64_t position = 0;
        g.seeking->GetCurrentPosition(&position);
        EXPECT_EQ(position, 5000000);  // the end: half a second
        g.control->Stop();
        usleep(kFlushMicroseconds);
    }
    auto captured = Captured();
    const int64_t total = 12 * kRate / 24;
    EXPECT_EQ(MatchingFrames(captured, 0, 0, total), total);
    // Then silence.
    for (size_t k = 2 * total; k < captured.size() && k < 2 * total + 2000; ++k)
        ASSERT_EQ(captured[k], 0) << k;
}

TEST_F(GraphSoundtrack, BalanceAndVolumeReachTheDevice) {
    {
        Graph g;
        ASSERT_NE(g.builder, nullptr);
        ASSERT_EQ(g.Render(movie), V_S_OK);
        V_IBasicAudio* audio = nullptr;
        ASSERT_EQ(g.builder->QueryInterface(V_IID_IBasicAudio, reinterpret_cast<void**>(&audio)),
                  V_S_OK);
        // All to the right: the left channel is silent, the right one untouched.
        EXPECT_EQ(audio->put_Balance(10000), V_S_OK);
        long balance = 0;
        EXPECT_EQ(audio->get_Balance(&balance), V_S_OK);
        EXPECT_EQ(balance, 10000);
        ASSERT_EQ(g.control->Run(), V_S_OK);
        EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
        g.control->Stop();
        // At the lowest volume the second run is not heard.
        EXPECT_EQ(audio->put_Volume(-10000), V_S_OK);
        ASSERT_EQ(g.control->Run(), V_S_OK);
        EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
        g.control->Stop();
        audio->Release();
        usleep(kFlushMicroseconds);
    }
    std::ifstream in(capture, std::ios::binary);
    std::vector<int16_t> all;
    int16_t value;
    while (in.read(reinterpret_cast<char*>(&value), 2)) all.push_back(value);
    size_t first = 1;
    while (first < all.size() && all[first] == 0) first += 2;
    ASSERT_LT(first, all.size());
    const int64_t total = 12 * kRate / 24;
    int64_t heard = 0;
    for (int64_t i = 0; i < total && first + 2 * i < all.size(); ++i, ++heard) {
        ASSERT_EQ(all[first + 2 * i - 1], 0) << i;
        ASSERT_EQ(all[first + 2 * i], media::ToneSample(1, i, kRate)) << i;
    }
    EXPECT_EQ(heard, total);
    for (size_t k = first + 2 * total - 1; k < all.size(); ++k) ASSERT_EQ(all[k], 0) << k;
}

TEST_F(GraphSoundtrack, SeekingPausingAndStoppingMoveTheSound) {
    {
        Graph g;
        ASSERT_NE(g.builder, nullptr);
        ASSERT_EQ(g.Render(movie), V_S_OK);
        // Paused, the first picture is shown and nothing is heard yet.
        ASSERT_EQ(g.control->Pause(), V_S_OK);
        usleep(200000);
        // From a quarter of a second.
        int64_t target = 2500000;
        ASSERT_EQ(g.seeking->SetPositions(&target, V_AM_SEEKING_AbsolutePositioning, nullptr, 0),
                  V_S_OK);
        ASSERT_EQ(g.control->Run(), V_S_OK);
        EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
        // Stopped and run again: from the top.
        g.control->Stop();
        ASSERT_EQ(g.control->Run(), V_S_OK);
        EXPECT_EQ(g.WaitForEnd(10000), V_EC_COMPLETE);
        g.control->Stop();
        usleep(kFlushMicroseconds);
    }
    auto captured = Captured();
    const int64_t total = 12 * kRate / 24;
    const int64_t quarter = kRate / 4;
    EXPECT_EQ(MatchingFrames(captured, 0, quarter, total - quarter), total - quarter);
    // The second run starts after some silence.
    size_t second = 2 * static_cast<size_t>(total - quarter);
    while (second + 1 < captured.size() && captured[second] == 0 && captured[second + 1] == 0)
        second += 2;
    EXPECT_EQ(MatchingFrames(captured, second, 0, total), total);
}

}  // namespace
