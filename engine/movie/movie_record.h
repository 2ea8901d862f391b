// Movie records and the movie handle table, shared by the movie files and read by the graphics
// core's frame callback.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "movie/movie.h"
#include "sound/sound.h"

struct TheoraMovie;
struct V_IUnknown;
struct V_IDirectDrawSurface7;
struct V_IGraphBuilder;
struct V_IMediaControl;
struct V_IMediaSeeking;
struct V_IBasicAudio;
class MovieFrameRenderer;

constexpr int32_t kMovieHandleKind = 0x18000000;
constexpr int kMovieSlots = 100;
// Duration given to a DirectShow movie whose graph reports none (100-ns units).
constexpr int64_t kDefaultMovieDuration = 166666;

struct MovieRecord {
    uint32_t check;
    int32_t playType;    // 1 plays once, 3 loops (bit value 2 set: loop)
    int32_t theoraFlag;  // 1: the Theora decoder plays it; 0: DirectShow
    TheoraMovie* decoder;
    int64_t clockStart;  // microseconds at which frame 0 would have been shown
    intptr_t file;       // file of the Theora decoder, 0 for none
    SoundHandle soundtrack;  // -1 for none

    // DirectShow graph and overlay interfaces; every non-null one is released on close.
    V_IGraphBuilder* graphBuilder;
    V_IMediaControl* mediaControl;
    V_IMediaSeeking* mediaSeeking;
    V_IBasicAudio* basicAudio;
    MovieFrameRenderer* renderer;
    V_IDirectDrawSurface7* overlaySurfaces[2];
    V_IUnknown* overlaySlots[2];

    int64_t duration;      // 100-ns units
    int32_t lastStepTime;  // milliseconds of the clock at the last Theora frame step
    int64_t stopPosition;  // 100-ns units
    int32_t width, height; // Theora frame size (0 for DirectShow)
    int32_t frameMode;     // 2 forbids the graph's direct row copy
    int32_t wasPlaying;    // counts as playing: ResumeAllMovies restarts it
    int32_t paused;
    int32_t newFrame;      // the frame callback has run (Theora)
    int32_t overlayFlag;
    int32_t tempFileFlag;  // the graph plays a temporary copy, deleted on close
    char fileName[260];
    ImageRecord frameImage;      // a DirectShow frame: R8G8B8, top-down
    ImageRecord* currentImage;   // the decoder's output image or frameImage
    int32_t overlayPlacement[12];  // x, y, scale, show, source and destination rectangles
    void (*frameCallback)(MovieRecord* movie, int graphHandle);
    uint32_t callbackValue;
    V_HANDLE spareHandle;

    // Read by the graph's frame callback: each frame holds the colour in its left half and the
    // alpha in its right half; the alpha flag of the movie's graph. Nothing here sets either.
    int32_t alphaBeside;
    int32_t graphAlpha;
};

struct MovieTable {
    MovieRecord* records[kMovieSlots];
    int32_t count;
    uint32_t checkCounter;  // 11 bits
};
extern MovieTable g_MovieTable;

// The clock that drives movies without a soundtrack (microseconds); tests may replace it.
extern int64_t (*g_MovieClock)();

int PauseMovie(int movieHandle, int keepMark);
int UpdateMovieOverlay(int x, int y, int scale, int movieHandle, int show);

// The DirectShow player of every file the Theora decoder does not take.
int OpenDirectShowMovie(void* directDraw, MovieRecord* movie, const char* path, int* width,
                        int* height, int overlay);
// Releases the graph's interfaces, the frame buffer and the temporary copy.
void CloseDirectShowMovie(MovieRecord* movie);
// Takes a new frame from the renderer and keeps a looping graph running.
void UpdateDirectShowMovie(MovieRecord* movie);
// Runs or pauses the graph; false when it has no control interface.
bool RunDirectShowMovie(MovieRecord* movie);
bool PauseDirectShowMovie(MovieRecord* movie);
