// A Theora movie with an Ogg Vorbis soundtrack: the sound, streamed from the file, is the clock.
#include <unistd.h>

#include <filesystem>

#include "movie/movie_record.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"
#include "movie_files.h"
#include "platform/dsound/dsound.h"
#include "platform/kernel/kernel.h"
#include "sound/sound_services.h"

namespace {

std::vector<int16_t> RenderFrames(int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    V_DSoundMixerRender(out.data(), frames);
    return out;
}

// Renders the sound up to about the given time and lets the refill thread see it played.
void PlayUntil(int milliseconds, int* played) {
    while (*played < milliseconds) {
        RenderFrames(441);  // 10 ms
        *played += 10;
        V_Sleep(1);
    }
    V_Sleep(40);
}

TEST(MovieSoundtrack, TheSoundPositionStepsTheFramesAndHoldsTheLast) {
    BuildYuvTables();
    std::filesystem::path folder =
        std::filesystem::current_path() / ("soundtrack-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    MovieSpec spec;
    spec.frames = TenColours();
    spec.vorbis = true;
    std::string path = (folder / "talking.ogv").string();
    WriteFileBytes(path, EncodeMovie(spec));

    V_DSoundMixerSetManual(1);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    int handle = OpenMovie(path.c_str(), nullptr, nullptr, 0);
    ASSERT_GE(handle, 0);
    MovieRecord* movie = GetMovieRecord(handle);
    ASSERT_NE(movie->soundtrack, -1) << "the soundtrack did not load";
    movie->wasPlaying = 1;
    ResumeAllMovies();
    EXPECT_EQ(CheckSoundPlaying(movie->soundtrack), 1);
    int played = 0;
    PlayUntil(450, &played);
    UpdateMovieFrame(handle, 0);
    int position = GetSoundPositionMs(movie->soundtrack);
    EXPECT_NEAR(position, 450, 120);
    const int shown = GetTheoraCurrentFrame(movie->decoder);
    EXPECT_EQ(shown, position / 100);
    // A pause stops the sound and keeps the frame; the resume goes on from there.
    PauseAllMovies();
    EXPECT_EQ(CheckSoundPlaying(movie->soundtrack), 0);
    EXPECT_EQ(movie->paused, 1);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(GetTheoraCurrentFrame(movie->decoder), shown);
    ResumeAllMovies();
    EXPECT_EQ(CheckSoundPlaying(movie->soundtrack), 1);
    UpdateMovieFrame(handle, 0);
    EXPECT_GE(GetTheoraCurrentFrame(movie->decoder), shown);
    EXPECT_LE(GetTheoraCurrentFrame(movie->decoder), shown + 1);
    // Past the sound's end the last frame stays, and the movie keeps its playing mark.
    PlayUntil(1400, &played);
    UpdateMovieFrame(handle, 0);
    EXPECT_EQ(GetTheoraCurrentFrame(movie->decoder), 9);
    EXPECT_EQ(movie->wasPlaying, 1);
    EXPECT_EQ(movie->paused, 0);
    // Pausing stops the sound.
    PauseAllMovies();
    EXPECT_EQ(CheckSoundPlaying(movie->soundtrack), 0);
    EXPECT_EQ(CloseMovie(handle), 0);
    TerminateSoundSystem();
    EXPECT_EQ(V_DSoundMixerBufferCount(), 0);
    V_DSoundMixerSetManual(0);
}

}  // namespace
