// The decode thread of a Theora movie and the main thread's requests to it: seeking to a frame
// and moving the current frame forward.
#include "movie/theora_movie.h"

namespace {

// The next packet of the Theora stream; false at the end of the data.
bool NextPacket(TheoraMovie* movie) {
    for (;;) {
        int result = ogg_stream_packetout(&movie->stream, &movie->packet);
        if (result > 0) return true;
        if (result < 0) continue;  // a gap in the data: take what follows
        int page = ogg_sync_pageout(&movie->sync, &movie->page);
        if (page > 0) {
            ogg_stream_pagein(&movie->stream, &movie->page);
            continue;
        }
        // Bytes skipped to the next page start: pages may still wait in what was read, even
        // once the file is at its end (as the index pass found them).
        if (page < 0) continue;
        if (movie->file.eof(movie->fileHandle) != 0) return false;
        if (FeedTheoraSyncBuffer(movie, 4096) == 0) return false;
    }
}

bool FrameIsKey(const TheoraMovie* movie, int64_t frame) {
    return frame >= 0 && frame < movie->totalFrames && movie->keyFrames[frame] != 0;
}

// Repositions to the page of the index entry and returns the number of the first frame whose
// packet comes out whole from there.
int32_t StartAtEntry(TheoraMovie* movie, int entry) {
    const TheoraPageIndexEntry& e = movie->pageIndex[entry];
    RewindTheoraStream(movie, e.offset);
    int32_t frame = e.firstFrame;
    if (entry > 0) {
        for (;;) {
            int page = ogg_sync_pageout(&movie->sync, &movie->page);
            if (page > 0) break;
            if (page == 0 && FeedTheoraSyncBuffer(movie, 4096) == 0) return frame;
        }
        // The packet completed first on this page began on the page before: it is lost.
        if (ogg_page_continued(&movie->page) &&
            ogg_page_serialno(&movie->page) == movie->serial)
            ++frame;
        ogg_stream_pagein(&movie->stream, &movie->page);
    }
    return frame;
}

// Brings the decoder to the target frame from the nearest key frame before it. False when the
// target lies beyond the index.
bool SeekInThread(TheoraMovie* movie, int32_t target) {
    int entry = -1;
    for (int i = 0; i < movie->pageCount; ++i) {
        const TheoraPageIndexEntry& e = movie->pageIndex[i];
        if (static_cast<int64_t>(e.firstFrame) + e.count > target) {
            entry = i;
            break;
        }
    }
    if (entry < 0) return false;
    // Back one page, back to the nearest page with a key frame, then one page more, so that
    // the key frame's packet is read from its start.
    --entry;
    while (entry > 0 && !movie->pageIndex[entry].key) --entry;
    --entry;
    if (entry < 0) entry = 0;
    int32_t frame = StartAtEntry(movie, entry);
    movie->decodedFrame.store(frame - 1);
    // When the data ends first, the decoder holds the last frame it was given, not the target.
    if (target >= frame && DecodeTheoraFrames(movie, target - frame + 1) < 0) return true;
    movie->decodedFrame.store(target);
    return true;
}

bool InStock(TheoraMovie* movie, int32_t frame) {
    for (int i = 0; i < movie->stockCount; ++i)
        if (movie->stock[i].valid.load() && movie->stock[i].frame == frame) return true;
    return false;
}

// True when the frame lies in the window of stock-count frames from the current frame on,
// wrapping across the end of the movie.
bool InWindow(const TheoraMovie* movie, int32_t current, int64_t frame) {
    const int64_t total = movie->totalFrames;
    int64_t ahead = (frame - current) % total;
    if (ahead < 0) ahead += total;
    return ahead < movie->stockCount;
}

// Drops the entries outside the window.
void DropOutsideWindow(TheoraMovie* movie, int32_t current) {
    for (int i = 0; i < movie->stockCount; ++i) {
        TheoraFrameStockEntry& entry = movie->stock[i];
        if (entry.valid.load() && !InWindow(movie, current, entry.frame.load())) entry.valid.store(0);
    }
}

int FreeEntry(TheoraMovie* movie) {
    for (int i = 0; i < movie->stockCount; ++i)
        if (!movie->stock[i].valid.load()) return i;
    return -1;
}

// A plane block of the given size in place of the old one; false when memory runs out.
bool ReplacePlane(uint8_t** plane, int width, int height) {
    if (*plane != nullptr) FreeMemory(*plane);
    *plane = static_cast<uint8_t*>(
        VELK_ALLOC(static_cast<size_t>(width) * static_cast<size_t>(height)));
    return *plane != nullptr;
}

// Gives the entry planes of the picture's sizes, keeping blocks whose sizes did not change.
bool FitPlanes(TheoraFrameStockEntry* entry, const yuv_buffer& picture) {
    if (entry->y == nullptr || entry->yWidth != picture.y_width ||
        entry->yHeight != picture.y_height) {
        entry->yWidth = entry->yHeight = entry->yStride = 0;
        if (!ReplacePlane(&entry->y, picture.y_width, picture.y_height)) return false;
        entry->yWidth = entry->yStride = picture.y_width;
        entry->yHeight = picture.y_height;
    }
    if (entry->u == nullptr || entry->v == nullptr || entry->uvWidth != picture.uv_width ||
        entry->uvHeight != picture.uv_height) {
        entry->uvWidth = entry->uvHeight = entry->uvStride = 0;
        if (!ReplacePlane(&entry->u, picture.uv_width, picture.uv_height) ||
            !ReplacePlane(&entry->v, picture.uv_width, picture.uv_height))
            return false;
        entry->uvWidth = entry->uvStride = picture.uv_width;
        entry->uvHeight = picture.uv_height;
    }
    return true;
}

// Copies the rows of a plane, whatever the sign of the decoder's stride.
void CopyPlane(uint8_t* to, int32_t toStride, const unsigned char* from, int fromStride,
               int width, int height) {
    for (int row = 0; row < height; ++row)
        CopyBytes(to + static_cast<size_t>(row) * toStride,
                  from + static_cast<ptrdiff_t>(row) * fromStride, static_cast<size_t>(width));
}

// Stores the decoder's present picture as the decoded frame in the given free entry; false when
// nothing was stored. Until the decoder has put out a picture, what it would give is not set at
// all: the frame is marked blank, so that the display stops waiting for it.
bool StoreFrame(TheoraMovie* movie, int index) {
    if (!movie->decoderHasPicture) {
        movie->blankFrame.store(movie->decodedFrame.load());
        return false;
    }
    yuv_buffer picture{};
    if (theora_decode_YUVout(&movie->decoder, &picture) != 0 || picture.y == nullptr ||
        picture.u == nullptr || picture.v == nullptr || picture.y_width <= 0 ||
        picture.y_height <= 0 || picture.uv_width <= 0 || picture.uv_height <= 0)
        return false;
    TheoraFrameStockEntry& entry = movie->stock[index];
    V_EnterCriticalSection(&movie->stockLock);
    bool ok = FitPlanes(&entry, picture);
    if (ok) {
        CopyPlane(entry.y, entry.yStride, picture.y, picture.y_stride, entry.yWidth,
                  entry.yHeight);
        CopyPlane(entry.u, entry.uvStride, picture.u, picture.uv_stride, entry.uvWidth,
                  entry.uvHeight);
        CopyPlane(entry.v, entry.uvStride, picture.v, picture.uv_stride, entry.uvWidth,
                  entry.uvHeight);
        entry.frame = movie->decodedFrame.load();
        entry.valid.store(1);
    }
    V_LeaveCriticalSection(&movie->stockLock);
    return ok;
}

// Moves the decoder forward by the given number of frames, across the end of the movie by
// decoding again from its start. False when the data ran out.
bool StepDecoder(TheoraMovie* movie, int64_t step) {
    int64_t next = static_cast<int64_t>(movie->decodedFrame.load()) + step;
    if (next < movie->totalFrames) return DecodeTheoraFrames(movie, static_cast<int>(step)) >= 0;
    int32_t target = static_cast<int32_t>(next % movie->totalFrames);
    RewindTheoraStream(movie, movie->pageIndex[0].offset);
    movie->decodedFrame.store(-1);
    if (DecodeTheoraFrames(movie, target + 1) < 0) return false;
    movie->endFlag.store(0);
    return true;
}

// One pass of filling the stock: the current frame first, then the frames after it.
void FillStock(TheoraMovie* movie) {
    const int32_t current = movie->currentFrame.load();
    const int64_t total = movie->totalFrames;
    V_EnterCriticalSection(&movie->stockLock);
    if (!movie->endFlag.load()) DropOutsideWindow(movie, current);
    int index = FreeEntry(movie);
    V_LeaveCriticalSection(&movie->stockLock);
    const int32_t decoded = movie->decodedFrame.load();
    int64_t step = 0;
    if (!InStock(movie, current)) {
        // Forward to the current frame, across the end when it lies behind the decoder.
        step = current >= decoded ? current - decoded : total - decoded + current;
    } else if (!InWindow(movie, current, decoded) || InStock(movie, decoded)) {
        int64_t next = (static_cast<int64_t>(decoded) + 1) % total;
        step = InWindow(movie, current, next) && !InStock(movie, static_cast<int32_t>(next))
                   ? 1 : -1;
    }
    if (index < 0 || step < 0) {
        movie->state.store(kTheoraStockFull);
        V_Sleep(1);
        return;
    }
    movie->state.store(kTheoraDecoding);
    if (step > 0 && !StepDecoder(movie, step)) {
        movie->endFlag.store(1);
        V_Sleep(1);
        return;
    }
    // A frame that cannot be stored is tried again after a pause, not in a busy loop.
    if (!StoreFrame(movie, index)) V_Sleep(1);
}

}  // namespace

int DecodeTheoraFrames(TheoraMovie* movie, int count) {
    if (count < 1) return 0;
    const int32_t first = movie->decodedFrame.load() + 1;
    int64_t lastKey = -1;
    for (int64_t frame = static_cast<int64_t>(first) + count - 1; frame >= first; --frame)
        if (FrameIsKey(movie, frame)) {
            lastKey = frame;
            break;
        }
    int result = 0;
    for (int taken = 0; taken < count;) {
        if (!NextPacket(movie)) return -1;
        if (theora_packet_isheader(&movie->packet)) continue;
        int32_t frame = movie->decodedFrame.load() + 1;
        // Frames before the last key frame of the run need no decoding. An empty packet
        // repeats the frame before it and brings no picture of its own.
        if ((lastKey < 0 || frame >= lastKey) &&
            theora_decode_packetin(&movie->decoder, &movie->packet) == 0 &&
            movie->packet.bytes > 0 && !movie->decoderHasPicture) {
            movie->decoderHasPicture = 1;
            movie->blankFrame.store(-1);
        }
        result = theora_packet_iskeyframe(&movie->packet) == 1 ? 1 : 0;
        movie->decodedFrame.store(frame);
        ++taken;
    }
    return result;
}

V_DWORD TheoraDecodeThread(void* parameter) {
    TheoraMovie* movie = static_cast<TheoraMovie*>(parameter);
    while (movie->exitRequest.load() != 1) {
        if (movie->pauseRequest.load() == 1) {
            movie->state.store(kTheoraPaused);
            V_Sleep(1);
            continue;
        }
        if (movie->seekRequest.load() == 1) {
            movie->state.store(kTheoraSeeking);
            // Taken before the target is read: a request that comes in meanwhile stays set and
            // is served on the next pass instead of being cleared with this one.
            movie->seekRequest.store(0);
            if (!SeekInThread(movie, movie->seekTarget.load())) break;
            V_EnterCriticalSection(&movie->stockLock);
            for (int i = 0; i < movie->stockCount; ++i) movie->stock[i].valid.store(0);
            V_LeaveCriticalSection(&movie->stockLock);
            movie->endFlag.store(0);
            continue;
        }
        FillStock(movie);
        V_Sleep(0);
    }
    movie->state.store(kTheoraExited);
    return 0;
}

int SeekTheoraFrame(TheoraMovie* movie, int frame) {
    if (frame == movie->currentFrame.load()) return 0;
    movie->imageCurrent.store(0);
    movie->surfaceCurrent.store(0);
    movie->pauseRequest.store(1);
    for (;;) {
        int32_t state = movie->state.load();
        if (state == kTheoraPaused || state == kTheoraExited) break;
        V_Sleep(0);
    }
    // The last frame is the furthest a seek can go.
    if (frame < 0) frame = 0;
    if (frame >= movie->totalFrames) frame = static_cast<int>(movie->totalFrames - 1);
    movie->currentFrame.store(frame);
    movie->seekTarget.store(frame);
    movie->seekRequest.store(1);
    movie->pauseRequest.store(0);
    return 0;
}

int AdvanceTheoraFrame(TheoraMovie* movie, int frames) {
    if (frames < 1) return 0;
    int64_t next = static_cast<int64_t>(movie->currentFrame.load()) + frames;
    if (next >= movie->totalFrames) next -= movie->totalFrames;
    // A step of more than the whole movie still lands inside it.
    if (next >= movie->totalFrames || next < 0) next %= movie->totalFrames;
    movie->currentFrame.store(static_cast<int32_t>(next));
    movie->imageCurrent.store(0);
    movie->surfaceCurrent.store(0);
    return 0;
}
