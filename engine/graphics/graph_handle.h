// Graph handles: the handle shape shared by every kind, the graph table, graph records and the
// shared pixel stores behind them.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/d3d9/d3d9.h"

// Handle shape: bit 31 clear, kind in bits 27-30, check number in bits 16-26, slot in 0-15.
constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kHandleCheckMask = 0x07FF0000;
constexpr int32_t kHandleSlotMask = 0xFFFF;
constexpr uint32_t kHandleCheckLimit = 2047;

constexpr int32_t kGraphHandleKind = 0x08000000;
constexpr int kGraphSlots = 32768;

// The slot of a handle of the given kind, or -1 when the value cannot be one (negative, other
// kind, slot out of range). The caller still tests the slot and the check number.
inline int HandleSlot(int32_t handle, int32_t kind, int slots) {
    if (handle < 0 || (handle & kHandleKindMask) != kind) return -1;
    int slot = handle & kHandleSlotMask;
    return slot < slots ? slot : -1;
}
inline int32_t MakeHandle(uint32_t check, int32_t kind, int slot) {
    return static_cast<int32_t>(((check | (static_cast<uint32_t>(kind) >> 16)) << 16) |
                                static_cast<uint32_t>(slot));
}
inline bool HandleCheckMatches(uint32_t check, int32_t handle) {
    return static_cast<int32_t>(check << 16) == (handle & kHandleCheckMask);
}
// Next value of a per-kind check counter (0..2047, wrapping).
inline uint32_t NextCheckNumber(uint32_t* counter) {
    uint32_t check = *counter;
    *counter = check + 1 > kHandleCheckLimit ? 0 : check + 1;
    return check;
}

// How a graph's pixels were made.
struct GraphFormatDesc {
    uint8_t textureMode;   // 1 on the device path
    uint8_t alphaChannel;
    uint8_t drawable;
    uint8_t software;      // 1 on the software path
    uint8_t defaultPool;
    uint8_t dxtKind;       // 0 none, 1..5
    uint8_t mipLevels;
    uint8_t alphaTest;
    uint8_t bitDepth;      // 16 or 32
    uint8_t blendGraph;
    uint8_t palette;       // software only
};

// One texture of a graph's pixel store.
struct TexturePiece {
    V_IDirect3DTexture9* texture;
    V_IDirect3DSurface9* surface;  // level 0
    V_IDirect3DSurface9* backup;
    int32_t x, y;                  // position in the shared image
    int32_t width, height;         // pixels it shows
    int32_t textureWidth, textureHeight;  // powers of two, at least 8
};

struct PieceCorner {
    float x, y;  // graph pixels
    float u, v;  // texture coordinates
};

// The part of one texture piece that a graph shows.
struct PieceDrawRecord {
    int32_t x, y;                // inside the graph
    int32_t textureX, textureY;  // inside the texture
    int32_t width, height;
    PieceCorner corners[4];      // top-left, top-right, bottom-left, bottom-right
    uint8_t side[4];             // corner on or above the graph's rising diagonal
    TexturePiece* piece;
};

// Pixel store shared by a graph and the sub-graphs cut from it.
struct SharedImage {
    int32_t referenceCount;
    int32_t formatIndex;
    GraphFormatDesc desc;
    uint32_t transparentColor;
    int32_t width, height;
    int32_t mipLevels;
    int32_t pieceCount;
    TexturePiece* pieces;  // device path
    MEMIMG image;          // software path
    MEMIMG* workImage;     // a drawable graph's work image (software path)
};

struct FileNameBlock {
    int32_t referenceCount;
    char path[1];  // NUL-terminated, allocated to its length
};

struct GraphRecord {
    uint32_t checkNumber;
    int32_t handle;
    int32_t* deletedFlag;
    SharedImage* image;
    int32_t movie;  // -1 for none
    FileNameBlock* fileName;
    int32_t sourceX, sourceY;
    uint32_t mirror;
    int32_t x, y;
    int32_t width, height;
    void* workBuffer1;
    uint32_t workValue1;
    void* workBuffer2;
    uint32_t workValue2;
    int32_t pieceCount;
    PieceDrawRecord* pieces;  // device path
    MEMIMG view;              // software path: the graph's rectangle in the shared image
};

struct GraphTable {
    GraphRecord* records[kGraphSlots];
    int32_t count;
    int32_t highWater;
    uint32_t checkCounter;
};
extern GraphTable g_GraphTable;

// Texture format indices of software graphs (beyond the device's table).
constexpr int kSoftFormat16 = 15;
constexpr int kSoftFormat32 = 17;

int NewGraphHandle();
GraphRecord* GetGraphRecord(int handle);
int IsValidGraphHandle(int handle);
int SetupSubGraph(int newHandle, int source, int x, int y, int width, int height);
int SetGraphDeletedFlag(int handle, int32_t* flag);
int SetGraphFileName(int handle, const char* fileName, int other);
// After the program put pixels into a graph: every graph showing part of its rectangle of the
// shared image forgets its file, so that a restore brings it back blank, as a graph the program
// filled itself, rather than with the file's old picture.
void ForgetFileUnderGraph(const GraphRecord* written);
int CheckBlendGraphSize(const GraphRecord* record);
// Drops the blend graph's pixels from the device and the kernels when that graph is deleted.
void ForgetDeletedBlendGraph(int handle);
// Gives the device the blend graph's new texture after the device was made again.
void ReattachBlendGraph();

// Graph textures.
int GetTextureFormatIndex(const GraphFormatDesc* desc);
int SplitTextureSizes(int size, int* sizes, int single);
int LayoutTexturePieces(SharedImage* image, int single);
int SetupOriginalImage(int graph, int width, int height, int alpha, int palette, int dxtKind,
                       int mipLevels);
int CreateOriginalTextures(SharedImage* image);
int ReleasePieceTextures(SharedImage* image);
int ReleaseDrawableWork(SharedImage* image);
int ReleaseAllTextures();
int RecreateAllTextures();
int BuildPieceDrawRecords(int graph);
int TransferImageToTextures(int graph, const ImageRecord* image, const ImageRecord* alphaImage,
                            const V_RECT* sourceRect, int destinationX, int destinationY,
                            int colorKey, int wholeImage);
int TransferImageToGraph(const char* fileName, const ImageRecord* image,
                         const ImageRecord* alphaImage, const V_RECT* sourceRect,
                         int destinationX, int destinationY, int graph, int mirror);
int UploadImageToGraph(const char* fileName, const ImageRecord* image,
                       const ImageRecord* alphaImage, int x, int y, int graph, int mirror);
int RestoreGraphs();
// DXT kind (1..5) of the textures of a device-path pixel store, 0 for plain textures.
int TextureDxtKind(const SharedImage* image);
// Turns the graph's compressed textures into plain ones holding the same picture, so that they
// can take converted pixels. 0 also when they are plain already; -1 when it cannot be done.
int UnpackCompressedTextures(int graph);
// The frame callback of a movie graph: the movie's current frame into the graph's pixels.
struct MovieRecord;
void UpdateGraphMovieFrame(MovieRecord* movie, int graphHandle);
// The single-texture flag of the next graph's piece layout (set while a movie graph is made).
extern int g_SingleTextureGraph;
