// The library's own Ogg Theora player: header and page index reading, a decode thread that
// keeps a stock of decoded frames ahead of the current frame, and the conversion of the current
// frame into a 32-bit image or a YUV surface.
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>

#include "core/core.h"
#include "graphics/graphics.h"
#include "movie/movie.h"
#include "platform/d3d9/d3d9.h"
#include "platform/kernel/kernel.h"

// Decode thread states.
enum TheoraThreadState : int32_t {
    kTheoraStockFull = 0,
    kTheoraDecoding = 1,
    kTheoraSeeking = 2,
    kTheoraExited = 3,
    kTheoraPaused = 4,
};

// One page on which at least one video packet completes.
struct TheoraPageIndexEntry {
    int32_t offset;      // file offset of the page (0 for the first entry: the file's start)
    int32_t firstFrame;  // first frame completed on the page
    int32_t key;         // 1 when a frame completed on the page is a key frame
    int32_t count;       // frames completed on the page
};

// One decoded frame kept for display. The planes are top-down with a positive stride.
struct TheoraFrameStockEntry {
    std::atomic<int32_t> valid;
    std::atomic<int32_t> frame;  // looked for by the main thread without the lock
    uint8_t* y;
    uint8_t* u;  // Cb
    uint8_t* v;  // Cr
    int32_t yWidth, yHeight, yStride;
    int32_t uvWidth, uvHeight, uvStride;
};

struct TheoraInfo {
    double frameRate;
    int32_t totalFrames;
    int32_t width, height;  // the picture's size (the stream's picture region)
};

struct TheoraMovie {
    // Words shared with the decode thread.
    std::atomic<int32_t> state;
    std::atomic<int32_t> pauseRequest;
    std::atomic<int32_t> exitRequest;
    std::atomic<int32_t> seekRequest;
    std::atomic<int32_t> seekTarget;
    std::atomic<int32_t> endFlag;
    V_HANDLE thread;
    V_DWORD threadId;

    FileAccessFunctions file;
    intptr_t fileHandle;

    ogg_sync_state sync;
    ogg_page page;
    ogg_stream_state stream;
    ogg_packet packet;
    theora_info info;
    theora_comment comment;
    theora_state decoder;
    int32_t streamReady;        // the stream state was initialised
    int32_t decoderReady;       // the decoder was initialised
    int32_t decoderHasPicture;  // the decoder has decoded a frame (decode thread only)
    int32_t serial;

    TheoraPageIndexEntry* pageIndex;
    int32_t pageCount;
    int32_t pageRoom;
    uint8_t* keyFrames;
    int32_t keyFrameRoom;
    int64_t totalFrames;

    std::atomic<int32_t> currentFrame;  // -1 before the first seek
    std::atomic<int32_t> decodedFrame;  // frame the decoder holds
    std::atomic<int32_t> blankFrame;    // frame the decoder holds without any picture, or -1
    int32_t headerCount;

    TheoraFrameStockEntry* stock;
    int32_t stockCount;
    // Guards the stock entries between the thread storing or dropping them and the main thread
    // converting one.
    V_CRITICAL_SECTION stockLock;
    int32_t stockLockReady;

    ImageRecord output;  // X8R8G8B8 of the picture's size
    V_IDirect3DSurface9* yuvSurface;  // of the coded frame's size
    char surfaceFormat[4];
    std::atomic<int32_t> imageCurrent;
    std::atomic<int32_t> surfaceCurrent;
};

// Colour-conversion tables, built once by BuildYuvTables.
struct YuvTables {
    uint8_t clip[1280];  // index -512..767 at slot index + 512
    int32_t y[256];
    int32_t rFromCr[256];
    int32_t gFromCb[256];
    int32_t gFromCr[256];
    int32_t bFromCb[256];
};
extern YuvTables g_YuvTables;

inline uint8_t ClipYuv(int32_t value) { return g_YuvTables.clip[value + 512]; }

TheoraMovie* OpenTheoraMovie(const FileAccessFunctions* file, intptr_t fileHandle, int stockCount);
int CloseTheoraMovie(TheoraMovie* movie);
int GetTheoraInfo(TheoraMovie* movie, TheoraInfo* info);
int GetTheoraCurrentFrame(TheoraMovie* movie);
ImageRecord* GetTheoraImage(TheoraMovie* movie);
int SeekTheoraFrame(TheoraMovie* movie, int frame);
int AdvanceTheoraFrame(TheoraMovie* movie, int frames);

// Inner steps, shared by the files of the player.
int FeedTheoraSyncBuffer(TheoraMovie* movie, int bytes);
int ReadTheoraHeaders(TheoraMovie* movie);
int CreateTheoraYuvSurface(TheoraMovie* movie);
// Makes the player bring its current frame into the image and surface again at the next
// update; a player with a YUV surface gets a new one from the current device.
void RenewTheoraOutputs(TheoraMovie* movie);
int DecodeTheoraFrames(TheoraMovie* movie, int count);
V_DWORD TheoraDecodeThread(void* parameter);
// Builds the page index and the key-frame flags over the whole file; -1 on a failed allocation.
int IndexTheoraPages(TheoraMovie* movie);
// Sets the file, sync and stream back to the page at the given offset.
void RewindTheoraStream(TheoraMovie* movie, int32_t offset);

// Converts the image's size of a 4:2:0 or other-subsampled frame, from (left, top) of the
// frame, into X8R8G8B8 pixels (bytes B, G, R, 255). Each pixel takes the chroma of its place in
// the whole frame, so a picture at an odd offset keeps its colours.
void ConvertYuvToXrgb(const TheoraFrameStockEntry* frame, ImageRecord* image, int left = 0,
                      int top = 0);
