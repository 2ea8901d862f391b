// Movie playback: stepping a Theora movie to its clock's frame, handing frames to the frame
// callback (again after a device re-creation), pausing and resuming.
#include <cmath>

#include "movie/movie_record.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"

namespace {

int64_t LibraryMicroseconds() { return GetMicroseconds(); }

bool Loops(const MovieRecord* movie) { return (movie->playType & 2) != 0; }

// trunc(microseconds × rate ÷ 1,000,000), kept inside 0 .. 2^31 - 1.
int64_t FrameAt(int64_t microseconds, double rate) {
    double frame = std::trunc(static_cast<double>(microseconds) * rate / 1000000.0);
    if (!(frame > 0.0)) return 0;
    if (frame > 2147483647.0) return 2147483647;
    return static_cast<int64_t>(frame);
}

void StepTheoraMovie(MovieRecord* movie) {
    TheoraInfo info{};
    GetTheoraInfo(movie->decoder, &info);
    const int64_t total = info.totalFrames;
    if (total < 1) return;
    int64_t clock, target;
    if (movie->soundtrack == -1) {
        clock = g_MovieClock();
        target = FrameAt(clock - movie->clockStart, info.frameRate);
        if (target >= total) target = Loops(movie) ? target % total : total - 1;
    } else {
        clock = static_cast<int64_t>(GetSoundPositionMs(movie->soundtrack)) * 1000;
        target = FrameAt(clock, info.frameRate);
        // A soundtrack that has played out no longer tells the time (its position may read 0
        // again): the movie is at its end.
        if (target >= total || CheckSoundPlaying(movie->soundtrack) == 0) target = total - 1;
    }
    int64_t current = GetTheoraCurrentFrame(movie->decoder);
    if (target != current) {
        int64_t step = target > current ? target - current : total - current + target;
        AdvanceTheoraFrame(movie->decoder, static_cast<int>(step));
        movie->lastStepTime = static_cast<int32_t>(clock / 1000);
    }
    if (target == total - 1 && !Loops(movie) && movie->soundtrack == -1) {
        movie->wasPlaying = 0;
        movie->paused = 1;
    }
}

}  // namespace

int64_t (*g_MovieClock)() = LibraryMicroseconds;

int UpdateMovieFrame(int movieHandle, int) {
    MovieRecord* movie = GetMovieRecord(movieHandle);
    if (movie == nullptr) return 0;
    if (!movie->theoraFlag) {
        UpdateDirectShowMovie(movie);
        return 0;
    }
    if (!movie->paused) StepTheoraMovie(movie);
    if (movie->frameCallback != nullptr) {
        movie->frameCallback(movie, static_cast<int>(movie->callbackValue));
        movie->newFrame = 1;
    }
    return 0;
}

int RestoreMovieFrames() {
    for (MovieRecord* movie : g_MovieTable.records) {
        if (movie == nullptr || movie->frameCallback == nullptr) continue;
        // A paused movie brings no new frame: the one it shows is handed over again.
        if (movie->theoraFlag) {
            RenewTheoraOutputs(movie->decoder);
            movie->newFrame = 0;
        }
        movie->frameCallback(movie, static_cast<int>(movie->callbackValue));
        if (movie->theoraFlag) movie->newFrame = 1;
    }
    return 0;
}

int PauseMovie(int movieHandle, int keepMark) {
    MovieRecord* movie = GetMovieRecord(movieHandle);
    if (movie == nullptr) return -1;
    if (movie->paused) return 0;
    if (movie->theoraFlag) {
        // The last step while the soundtrack still tells the time, then the sound stops.
        UpdateMovieFrame(movieHandle, 0);
        StopSoundHandle(movie->soundtrack);
    } else if (!PauseDirectShowMovie(movie)) {
        return 0;
    }
    movie->paused = 1;
    if (!keepMark) movie->wasPlaying = 0;
    return 0;
}

int PauseAllMovies() {
    for (int slot = 0; slot < kMovieSlots; ++slot) {
        MovieRecord* movie = g_MovieTable.records[slot];
        if (movie != nullptr) PauseMovie(MakeHandle(movie->check, kMovieHandleKind, slot), 1);
    }
    return 0;
}

int ResumeAllMovies() {
    for (int slot = 0; slot < kMovieSlots; ++slot) {
        MovieRecord* movie = g_MovieTable.records[slot];
        if (movie == nullptr || !movie->paused || !movie->wasPlaying) continue;
        int playType = movie->playType == 0 ? kPlayTypeBackground : movie->playType;
        if (movie->theoraFlag) {
            TheoraInfo info{};
            GetTheoraInfo(movie->decoder, &info);
            // The clock goes on from the frame shown when the movie paused.
            double shown = 1000000.0 / info.frameRate * GetTheoraCurrentFrame(movie->decoder);
            movie->clockStart = g_MovieClock() - static_cast<int64_t>(shown);
            PlaySoundHandle(movie->soundtrack, playType, 0);
        } else {
            RunDirectShowMovie(movie);
        }
        movie->paused = 0;
        movie->playType = playType;
        movie->wasPlaying = 1;
    }
    return 0;
}
