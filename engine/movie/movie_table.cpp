// The movie handle table: opening a file as a Theora or DirectShow movie, validating handles,
// binding the frame callback and closing.
#include <new>

#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "movie/movie_record.h"
#include "movie/theora_movie.h"
#include "platform/kernel/kernel.h"

MovieTable g_MovieTable;

namespace {

// Settings copied into every new record; nothing in the library changes them.
constexpr int32_t kMovieFrameMode = 0;
constexpr int32_t kMovieGraphAlpha = 0;
// Frames the Theora decoder keeps decoded ahead.
constexpr int kTheoraStock = 10;

// Opens the file for the library's own player; false when it is no Theora movie.
bool OpenAsTheora(MovieRecord* movie, const char* path, int* width, int* height) {
    movie->file = OpenFileHandle(path, 0, 0, 0);
    if (movie->file == 0) return false;
    movie->decoder = OpenTheoraMovie(GetFileAccessFunctions(), movie->file, kTheoraStock);
    if (movie->decoder == nullptr) {
        CloseFileHandle(movie->file);
        movie->file = 0;
        return false;
    }
    // The file's sound, streamed from the file, is the movie's clock when it loads.
    int createType = GetSoundCreateType();
    SetSoundCreateType(kSoundCreateStreamFile);
    movie->soundtrack = LoadSoundFile(path, 1, -1);
    SetSoundCreateType(createType);
    TheoraInfo info{};
    GetTheoraInfo(movie->decoder, &info);
    movie->width = info.width;
    movie->height = info.height;
    if (width != nullptr) *width = info.width;
    if (height != nullptr) *height = info.height;
    movie->theoraFlag = 1;
    movie->currentImage = GetTheoraImage(movie->decoder);
    movie->overlayFlag = 0;
    return true;
}

}  // namespace

MovieRecord* GetMovieRecord(int movieHandle) {
    int slot = HandleSlot(movieHandle, kMovieHandleKind, kMovieSlots);
    if (slot < 0) return nullptr;
    MovieRecord* movie = g_MovieTable.records[slot];
    if (movie == nullptr || !HandleCheckMatches(movie->check, movieHandle)) return nullptr;
    return movie;
}

int OpenMovie(const char* fileName, int* width, int* height, int flag) {
    if (fileName == nullptr) return -1;
    int slot = 0;
    while (slot < kMovieSlots && g_MovieTable.records[slot] != nullptr) ++slot;
    if (slot == kMovieSlots) return -1;
    void* memory = VELK_ALLOC_ZEROED(sizeof(MovieRecord));
    if (memory == nullptr) {
        WriteLog("メモリの確保に失敗しました in OpenMovie");
        return -1;
    }
    MovieRecord* movie = new (memory) MovieRecord{};
    movie->soundtrack = -1;
    movie->frameMode = kMovieFrameMode;
    movie->graphAlpha = kMovieGraphAlpha;
    g_MovieTable.records[slot] = movie;

    if (!OpenAsTheora(movie, fileName, width, height)) {
        movie->tempFileFlag = 0;
        if (OpenDirectShowMovie(GetDirectDraw(), movie, fileName, width, height, flag) != 0) {
            FreeMemory(movie);
            g_MovieTable.records[slot] = nullptr;
            WriteLog("ムービーファイルオープン処理時にエラーが発生しました");
            return -1;
        }
        movie->currentImage = &movie->frameImage;
    }
    movie->paused = 1;
    movie->wasPlaying = 0;
    movie->playType = kPlayTypeBackground;
    movie->check = NextCheckNumber(&g_MovieTable.checkCounter);
    ++g_MovieTable.count;
    return MakeHandle(movie->check, kMovieHandleKind, slot);
}

int SetMovieFrameCallback(int movieHandle, void (*callback)(MovieRecord* movie, int graphHandle),
                          int graphHandle) {
    MovieRecord* movie = GetMovieRecord(movieHandle);
    if (movie == nullptr) return -1;
    movie->frameCallback = callback;
    movie->callbackValue = static_cast<uint32_t>(graphHandle);
    return 0;
}

int CloseMovie(int movieHandle) {
    MovieRecord* movie = GetMovieRecord(movieHandle);
    if (movie == nullptr) return -1;
    if (movie->theoraFlag) {
        // The decode thread reads the file: end it before the file goes.
        CloseTheoraMovie(movie->decoder);
        if (movie->file != 0) CloseFileHandle(movie->file);
        DeleteSoundHandle(movie->soundtrack);
        movie->file = 0;
        movie->decoder = nullptr;
        movie->soundtrack = -1;
        movie->theoraFlag = 0;
    } else {
        CloseDirectShowMovie(movie);
    }
    if (movie->spareHandle != nullptr) V_CloseHandle(movie->spareHandle);
    g_MovieTable.records[movieHandle & kHandleSlotMask] = nullptr;
    FreeMemory(movie);
    --g_MovieTable.count;
    return 0;
}
