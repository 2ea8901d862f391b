// Opening and closing a Theora movie: the Ogg check, the three header packets, the page index,
// the decode thread, the output image and the frame stock.
#include <cstring>
#include <new>

#include "movie/movie.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"

namespace {

constexpr int kFeedBytes = 4096;

// Takes the next page out of the sync layer, feeding it from the file as needed; false at the
// end of the data.
bool NextPage(TheoraMovie* movie) {
    for (;;) {
        int result = ogg_sync_pageout(&movie->sync, &movie->page);
        if (result > 0) return true;
        if (result == 0 && FeedTheoraSyncBuffer(movie, kFeedBytes) == 0) return false;
    }
}

// Step 1 of the header read: finds the page that begins the Theora stream and takes its first
// header. 1 when found, -1 when the data ends first or no stream is Theora.
int FindTheoraStream(TheoraMovie* movie) {
    for (;;) {
        if (FeedTheoraSyncBuffer(movie, kFeedBytes) == 0) return -1;
        while (ogg_sync_pageout(&movie->sync, &movie->page) > 0) {
            if (!ogg_page_bos(&movie->page)) {
                // The streams' first pages are over: none of them was Theora.
                return -1;
            }
            ogg_stream_state test;
            if (ogg_stream_init(&test, ogg_page_serialno(&movie->page)) != 0) return -1;
            ogg_stream_pagein(&test, &movie->page);
            if (ogg_stream_packetout(&test, &movie->packet) == 1 &&
                theora_decode_header(&movie->info, &movie->comment, &movie->packet) == 0) {
                movie->serial = ogg_page_serialno(&movie->page);
                movie->headerCount = 1;
                std::memcpy(&movie->stream, &test, sizeof test);
                movie->streamReady = 1;
                return 1;
            }
            ogg_stream_clear(&test);
        }
    }
}

// Frees everything the movie holds and the movie itself.
void DestroyTheoraMovie(TheoraMovie* movie) {
    if (movie->thread != nullptr) {
        movie->exitRequest.store(1);
        while (movie->state.load() != kTheoraExited) V_Sleep(1);
        V_WaitForSingleObject(movie->thread, V_INFINITE);
        V_CloseHandle(movie->thread);
        movie->thread = nullptr;
    }
    if (movie->stock != nullptr) {
        for (int i = 0; i < movie->stockCount; ++i) {
            TheoraFrameStockEntry& entry = movie->stock[i];
            if (entry.y != nullptr) FreeMemory(entry.y);
            if (entry.u != nullptr) FreeMemory(entry.u);
            if (entry.v != nullptr) FreeMemory(entry.v);
            entry.~TheoraFrameStockEntry();
        }
        FreeMemory(movie->stock);
    }
    if (movie->yuvSurface != nullptr) movie->yuvSurface->Release();
    if (movie->pageIndex != nullptr) FreeMemory(movie->pageIndex);
    if (movie->keyFrames != nullptr) FreeMemory(movie->keyFrames);
    if (movie->output.pixels != nullptr) ReleaseImageRecord(&movie->output);
    if (movie->streamReady) ogg_stream_clear(&movie->stream);
    if (movie->decoderReady) theora_clear(&movie->decoder);
    theora_comment_clear(&movie->comment);
    theora_info_clear(&movie->info);
    ogg_sync_clear(&movie->sync);
    if (movie->stockLockReady) V_DeleteCriticalSection(&movie->stockLock);
    movie->~TheoraMovie();
    FreeMemory(movie);
}

bool StartDecodeThread(TheoraMovie* movie) {
    movie->pauseRequest.store(1);
    movie->state.store(kTheoraStockFull);
    movie->thread =
        V_CreateThread(nullptr, 0, TheoraDecodeThread, movie, 0, &movie->threadId);
    if (movie->thread == nullptr) return false;
    // The thread starts paused: wait until it says so, so that nothing else races its start.
    while (movie->state.load() != kTheoraPaused) V_Sleep(0);
    return true;
}

bool MakeFrameStock(TheoraMovie* movie, int stockCount) {
    void* memory = VELK_ALLOC_ZEROED(sizeof(TheoraFrameStockEntry) * static_cast<size_t>(stockCount));
    if (memory == nullptr) return false;
    movie->stock = static_cast<TheoraFrameStockEntry*>(memory);
    for (int i = 0; i < stockCount; ++i) new (&movie->stock[i]) TheoraFrameStockEntry{};
    movie->stockCount = stockCount;
    return true;
}

}  // namespace

int FeedTheoraSyncBuffer(TheoraMovie* movie, int bytes) {
    char* buffer = ogg_sync_buffer(&movie->sync, bytes);
    if (buffer == nullptr) return 0;
    size_t got = movie->file.read(buffer, 1, static_cast<size_t>(bytes), movie->fileHandle);
    if (got > static_cast<size_t>(bytes)) got = 0;
    ogg_sync_wrote(&movie->sync, static_cast<long>(got));
    return static_cast<int>(got);
}

int ReadTheoraHeaders(TheoraMovie* movie) {
    if (FindTheoraStream(movie) != 1) return -1;
    while (movie->headerCount < 3) {
        int result = ogg_stream_packetout(&movie->stream, &movie->packet);
        if (result < 0) return -1;
        if (result > 0) {
            if (theora_decode_header(&movie->info, &movie->comment, &movie->packet) != 0)
                return -1;
            ++movie->headerCount;
            continue;
        }
        // No packet waiting: the next page (pages of other streams are refused by the stream).
        if (!NextPage(movie)) return -1;
        ogg_stream_pagein(&movie->stream, &movie->page);
    }
    return 1;
}

void RewindTheoraStream(TheoraMovie* movie, int32_t offset) {
    ogg_sync_reset(&movie->sync);
    ogg_stream_reset(&movie->stream);
    movie->file.seek(movie->fileHandle, offset, 0);
}

TheoraMovie* OpenTheoraMovie(const FileAccessFunctions* file, intptr_t fileHandle, int stockCount) {
    if (file == nullptr || fileHandle == 0 || stockCount < 1) return nullptr;
    char magic[4] = {};
    if (file->read(magic, 1, 4, fileHandle) != 4 || std::memcmp(magic, "OggS", 4) != 0)
        return nullptr;
    file->seek(fileHandle, 0, 0);

    void* memory = VELK_ALLOC_ZEROED(sizeof(TheoraMovie));
    if (memory == nullptr) {
        WriteLog("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
        return nullptr;
    }
    TheoraMovie* movie = new (memory) TheoraMovie{};
    movie->currentFrame.store(-1);
    movie->decodedFrame.store(-1);
    movie->blankFrame.store(-1);
    ogg_sync_init(&movie->sync);
    theora_info_init(&movie->info);
    theora_comment_init(&movie->comment);
    movie->file = *file;
    movie->fileHandle = fileHandle;
    V_InitializeCriticalSection(&movie->stockLock);
    movie->stockLockReady = 1;

    // A stream without a frame size, a picture inside its frame or a frame rate cannot be
    // shown.
    const theora_info& info = movie->info;
    if (ReadTheoraHeaders(movie) != 1 || info.width == 0 || info.height == 0 ||
        info.width > static_cast<uint32_t>(kMaxImageSide) ||
        info.height > static_cast<uint32_t>(kMaxImageSide) || info.frame_width == 0 ||
        info.frame_height == 0 || info.frame_width > info.width ||
        info.frame_height > info.height || info.offset_x > info.width - info.frame_width ||
        info.offset_y > info.height - info.frame_height || info.fps_numerator == 0 ||
        info.fps_denominator == 0) {
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    if (!StartDecodeThread(movie)) {
        WriteLog("Theora ムービーデコード用スレッドの作成に失敗しました\n");
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    if (theora_decode_init(&movie->decoder, &movie->info) != 0) {
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    movie->decoderReady = 1;
    RewindTheoraStream(movie, 0);

    if (IndexTheoraPages(movie) != 0) {
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    // A stream without a single frame has nothing to show (and no length to step within).
    if (movie->totalFrames < 1 || movie->pageCount < 1) {
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    movie->pageIndex[0].offset = 0;
    CreateTheoraYuvSurface(movie);
    // The image holds the picture alone, without the encoder's padding around it.
    if (CreateXrgbImageRecord(static_cast<int>(movie->info.frame_width),
                              static_cast<int>(movie->info.frame_height), &movie->output) != 0) {
        WriteLog("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    if (!MakeFrameStock(movie, stockCount)) {
        WriteLog("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
        DestroyTheoraMovie(movie);
        return nullptr;
    }
    SeekTheoraFrame(movie, 0);
    UpdateTheoraFrame(movie, 1, 1);
    return movie;
}

int CloseTheoraMovie(TheoraMovie* movie) {
    if (movie != nullptr) DestroyTheoraMovie(movie);
    return 0;
}

int GetTheoraInfo(TheoraMovie* movie, TheoraInfo* info) {
    info->frameRate = static_cast<double>(movie->info.fps_numerator) /
                      static_cast<double>(movie->info.fps_denominator);
    info->totalFrames = static_cast<int32_t>(movie->totalFrames);
    info->width = static_cast<int32_t>(movie->info.frame_width);
    info->height = static_cast<int32_t>(movie->info.frame_height);
    return 0;
}

int GetTheoraCurrentFrame(TheoraMovie* movie) { return movie->currentFrame.load(); }

ImageRecord* GetTheoraImage(TheoraMovie* movie) { return &movie->output; }

void* GetTheoraYuvSurface(void* player) {
    return player != nullptr ? static_cast<TheoraMovie*>(player)->yuvSurface : nullptr;
}

void GetTheoraPictureOrigin(void* player, int* left, int* top) {
    const TheoraMovie* movie = static_cast<const TheoraMovie*>(player);
    *left = movie != nullptr ? static_cast<int>(movie->info.offset_x) : 0;
    *top = movie != nullptr ? static_cast<int>(movie->info.offset_y) : 0;
}
