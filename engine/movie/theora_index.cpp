// The index pass over a Theora movie: one entry per page on which video packets complete, and
// a key-frame flag per frame, so that a seek can start at the nearest key frame.
#include "movie/theora_movie.h"

namespace {

constexpr int kIndexGrowth = 1000;
// Frame numbers are 32-bit; a file claiming more frames is cut there.
constexpr int64_t kMostFrames = 0x7FFFFF00;

template <typename T>
bool Grow(T** block, int32_t* room) {
    size_t bytes = sizeof(T) * static_cast<size_t>(*room + kIndexGrowth);
    void* grown = VELK_REALLOC(*block, bytes);
    if (grown == nullptr) return false;
    *block = static_cast<T*>(grown);
    *room += kIndexGrowth;
    return true;
}

}  // namespace

int IndexTheoraPages(TheoraMovie* movie) {
    movie->pageIndex = static_cast<TheoraPageIndexEntry*>(
        VELK_ALLOC(sizeof(TheoraPageIndexEntry) * kIndexGrowth));
    if (movie->pageIndex == nullptr) {
        WriteLog("Theora ページ情報格納用メモリの確保に失敗しました\n");
        return -1;
    }
    movie->pageRoom = kIndexGrowth;
    movie->keyFrames = static_cast<uint8_t*>(VELK_ALLOC(kIndexGrowth));
    if (movie->keyFrames == nullptr) {
        WriteLog("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
        return -1;
    }
    movie->keyFrameRoom = kIndexGrowth;

    int64_t offset = 0;      // file offset of the next page
    int64_t pageOffset = 0;  // offset of the last page read
    bool newPage = false;
    for (;;) {
        bool ended = false;
        while (ogg_stream_packetout(&movie->stream, &movie->packet) <= 0) {
            // Page by page with exact byte counts (skipped garbage included) for the offsets.
            long taken = ogg_sync_pageseek(&movie->sync, &movie->page);
            if (taken > 0) {
                pageOffset = offset;
                offset += taken;
                newPage = true;
                ogg_stream_pagein(&movie->stream, &movie->page);
            } else if (taken < 0) {
                offset -= taken;
            } else if (FeedTheoraSyncBuffer(movie, 4096) == 0) {
                ended = true;
                break;
            }
        }
        if (ended || movie->totalFrames >= kMostFrames || pageOffset > 0x7FFFFFFF) break;
        int key = theora_packet_iskeyframe(&movie->packet);
        if (key < 0) continue;  // a header packet
        if (newPage) {
            if (movie->pageCount == movie->pageRoom && !Grow(&movie->pageIndex, &movie->pageRoom)) {
                WriteLog("Theora ページ情報格納用メモリの確保に失敗しました\n");
                return -1;
            }
            movie->pageIndex[movie->pageCount++] = {static_cast<int32_t>(pageOffset),
                                                    static_cast<int32_t>(movie->totalFrames), 0, 0};
            newPage = false;
        }
        if (movie->totalFrames >= movie->keyFrameRoom &&
            !Grow(&movie->keyFrames, &movie->keyFrameRoom)) {
            WriteLog("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
            return -1;
        }
        TheoraPageIndexEntry& last = movie->pageIndex[movie->pageCount - 1];
        if (key == 1) last.key = 1;
        movie->keyFrames[movie->totalFrames] = key == 1 ? 1 : 0;
        ++movie->totalFrames;
        ++last.count;
    }
    return 0;
}
