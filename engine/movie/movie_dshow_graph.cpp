// The DirectShow player of every movie file the Theora decoder does not take: a filter graph
// that renders the file into the library's frame renderer, and the movie update that takes
// the renderer's frames and keeps a looping graph going.
#include <cstring>

#include "movie/movie_record.h"
#include "movie/movie_renderer.h"
#include "movie/movie_temp_copy.h"
#include "platform/com/com_classes.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/kernel/kernel.h"

namespace {

// How long an open waits for the graph's first frame (milliseconds).
constexpr long kFirstFrameWaitMs = 5000;

template <typename Interface>
void ReleaseInterface(Interface** slot) {
    if (*slot != nullptr) (*slot)->Release();
    *slot = nullptr;
}

void ReleaseGraph(MovieRecord* movie) {
    for (V_IDirectDrawSurface7*& surface : movie->overlaySurfaces) ReleaseInterface(&surface);
    for (V_IUnknown*& slot : movie->overlaySlots) ReleaseInterface(&slot);
    ReleaseInterface(&movie->mediaSeeking);
    ReleaseInterface(&movie->basicAudio);
    ReleaseInterface(&movie->mediaControl);
    // Releasing the graph ends its streaming before the renderer goes.
    ReleaseInterface(&movie->graphBuilder);
    if (movie->renderer != nullptr) movie->renderer->Release();
    movie->renderer = nullptr;
}

// RenderFile of a code-page-932 path.
bool RenderPath(MovieRecord* movie, const char* path) {
    V_WCHAR wide[260];
    if (V_MultiByteToWideChar(V_CP_ACP, 0, path, -1, wide, 260) == 0) return false;
    return V_SUCCEEDED(movie->graphBuilder->RenderFile(wide, nullptr));
}

bool Fail(MovieRecord* movie, const char* message) {
    ReleaseGraph(movie);
    WriteLogFormat("%s", message);
    return false;
}

bool BuildGraph(MovieRecord* movie, const char* path) {
    if (V_FAILED(V_CoCreateInstance(V_CLSID_FilterGraph, nullptr, V_CLSCTX_INPROC_SERVER,
                                    V_IID_IGraphBuilder,
                                    reinterpret_cast<void**>(&movie->graphBuilder))) ||
        movie->graphBuilder == nullptr)
        return Fail(movie, "CLSID_FilterGraph の作成に失敗しました");
    V_HRESULT hr = V_S_OK;
    movie->renderer = CreateMovieFrameRenderer(nullptr, &hr);
    if (movie->renderer != nullptr) movie->renderer->AddRef();
    if (movie->renderer == nullptr || V_FAILED(hr) ||
        V_FAILED(movie->graphBuilder->AddFilter(movie->renderer, u"MovieRenderer")))
        return Fail(movie, "Could not add renderer filter to graph!");
    if (V_FAILED(movie->graphBuilder->QueryInterface(
            V_IID_IBasicAudio, reinterpret_cast<void**>(&movie->basicAudio))))
        return Fail(movie, "BasicAudio インターフェースの取得に失敗しました");
    if (V_FAILED(movie->graphBuilder->QueryInterface(
            V_IID_IMediaControl, reinterpret_cast<void**>(&movie->mediaControl))))
        return Fail(movie, "IID_IMediaControlインターフェイスの取得に失敗しました");
    if (V_FAILED(movie->graphBuilder->QueryInterface(
            V_IID_IMediaSeeking, reinterpret_cast<void**>(&movie->mediaSeeking))))
        return Fail(movie, "IID_IMediaSeekingインターフェイスの取得に失敗しました");

    // The path as given, else a temporary copy (an archive member has no name of its own).
    if (std::strlen(path) >= sizeof movie->fileName) {
        char message[512];
        FormatString(message, sizeof message, "ファイル:%s が開けませんでした", path);
        return Fail(movie, message);
    }
    CopyString(movie->fileName, path);
    if (RenderPath(movie, path)) return true;
    char message[512];
    FormatString(message, sizeof message, "ファイル:%s が開けませんでした", path);
    if (movie->tempFileFlag ||
        !CopyMovieToTempFile(path, movie->fileName, sizeof movie->fileName))
        return Fail(movie, message);
    movie->tempFileFlag = 1;
    if (RenderPath(movie, movie->fileName)) return true;
    ReleaseGraph(movie);
    V_DeleteFileA(movie->fileName);
    movie->tempFileFlag = 0;
    WriteLogFormat("%s", message);
    return false;
}

}  // namespace

int OpenDirectShowMovie(void*, MovieRecord* movie, const char* path, int* width, int* height,
                        int) {
    movie->frameImage.pixels = nullptr;
    std::memset(movie->overlayPlacement, 0, sizeof movie->overlayPlacement);
    if (!BuildGraph(movie, path)) return -1;
    movie->duration = 0;
    movie->mediaSeeking->GetDuration(&movie->duration);
    if (movie->duration == 0) movie->duration = kDefaultMovieDuration;
    movie->mediaSeeking->GetStopPosition(&movie->stopPosition);
    if (width != nullptr) *width = movie->renderer->Width();
    if (height != nullptr) *height = movie->renderer->Height();
    // Paused, the graph shows its first frame, as a movie that has not been started does. The
    // open waits (within a limit) until the renderer holds that frame, so that the first draw
    // after the open shows it.
    movie->mediaControl->Pause();
    V_FILTER_STATE state = V_State_Paused;
    movie->mediaControl->GetState(kFirstFrameWaitMs, &state);
    return 0;
}

void CloseDirectShowMovie(MovieRecord* movie) {
    ReleaseGraph(movie);
    if (movie->tempFileFlag) V_DeleteFileA(movie->fileName);
    movie->tempFileFlag = 0;
    if (movie->frameImage.pixels != nullptr) FreeMemory(movie->frameImage.pixels);
    movie->frameImage = {};
}

void UpdateDirectShowMovie(MovieRecord* movie) {
    MovieFrameRenderer* renderer = movie->renderer;
    if (renderer != nullptr && renderer->HasNewFrame() && movie->frameCallback != nullptr &&
        renderer->TakeFrame(&movie->frameImage)) {
        movie->currentImage = &movie->frameImage;
        movie->frameCallback(movie, static_cast<int>(movie->callbackValue));
    }
    if (movie->mediaSeeking == nullptr || movie->mediaControl == nullptr) return;
    int64_t position = 0;
    movie->mediaSeeking->GetCurrentPosition(&position);
    if (position < movie->stopPosition) return;
    if (movie->playType & 2) {
        int64_t start = 0;
        movie->mediaSeeking->SetPositions(&start, V_AM_SEEKING_AbsolutePositioning, nullptr,
                                          V_AM_SEEKING_NoPositioning);
        movie->mediaControl->Run();
    } else {
        movie->wasPlaying = 0;
        movie->paused = 1;
    }
}

bool RunDirectShowMovie(MovieRecord* movie) {
    if (movie->mediaControl == nullptr) return false;
    movie->mediaControl->Run();
    return true;
}

bool PauseDirectShowMovie(MovieRecord* movie) {
    if (movie->mediaControl == nullptr) return false;
    movie->mediaControl->Pause();
    return true;
}
