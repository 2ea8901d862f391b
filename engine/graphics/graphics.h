// Graphics core: device or software screen, graph handles, image records and loaders,
// software images, matrix maths.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "platform/types.h"

// ---------------------------------------------------------------- matrix and vector maths

// 4 x 4 float matrix used with row vectors (p' = p x M): m[row][column], translation in row 3.
struct Matrix4 {
    float m[4][4];
};

struct Vector3 {
    float x;
    float y;
    float z;
};

int SetIdentityMatrix(Matrix4* out);
int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b);
int TransposeMatrix(Matrix4* out, const Matrix4* in);
int InvertMatrix(Matrix4* out, const Matrix4* in);
int MakePerspectiveMatrix(Matrix4* out, float fieldOfView, float nearZ, float farZ, float aspect);
int MakeOrthoMatrix(Matrix4* out, float height, float nearZ, float farZ, float aspect);
int MakeViewportMatrix(Matrix4* out, float x, float y, float width, float height);
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up);
int NormalizeVector(Vector3* out, const Vector3* in);
Vector3* MakeUnitVector(Vector3* out, float x, float y, float z);
float DotVector(const Vector3* a, const Vector3* b);
int TransformPoint(Vector3* out, const Vector3* v, const Matrix4* m);
// Clips rect in place to clip (right and bottom exclusive); the result never inverts.
int ClipRect(V_RECT* rect, const V_RECT* clip);

// ---------------------------------------------------------------- image records and loaders

struct V_BITMAPINFO;

// One palette entry as stored in bitmaps: blue, green, red, unused.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

// Any packed pixel layout described by bit masks; also the description of device and screen
// formats. A record holding DXT blocks has format code 1 to 5.
struct ColorFormat {
    uint16_t bitDepth;       // 8, 16, 24, 32; 4 for DXT1 blocks, 8 for DXT2 to DXT5
    uint16_t bytesPerPixel;  // bit depth / 8 (4 for a DXT record: the decoded pixel)
    uint8_t redWidth, greenWidth, blueWidth, alphaWidth;
    uint8_t redShift, greenShift, blueShift, alphaShift;
    uint32_t redMask, greenMask, blueMask, alphaMask;
    uint32_t unusedMask;       // bits inside the depth that no channel uses
    PaletteEntry palette[256];  // meaningful when bytes per pixel is 1
    uint8_t unusedShift;
    uint8_t unusedWidth;
    uint32_t formatCode;  // 0 plain pixels, 1..5 DXT1..DXT5 blocks
};

// The library's in-memory bitmap. Rows are top-down; the pixel block comes from the tracked
// allocator and is owned by the record.
struct ImageRecord {
    ColorFormat format;
    int32_t width;
    int32_t height;
    int32_t pitch;  // bytes from one row to the next; 0 for DXT blocks
    uint8_t* pixels;
    int32_t mipCount;  // 0 for one level; else every level follows the first in the block
};

// Largest side an image may have; larger headers are refused by every loader.
constexpr int kMaxImageSide = 16384;

int SetColorFormatFromMasks(ColorFormat* format, int bitDepth, uint32_t redMask,
                            uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
void UpdateUnusedBitsMask(ColorFormat* format);
int SetColorFormatPalette8(ColorFormat* format);
int SetColorFormatGray8(ColorFormat* format);
int SetColorFormatR8G8B8(ColorFormat* format);
int SetColorFormatX8R8G8B8(ColorFormat* format);
int SetColorFormatA8R8G8B8(ColorFormat* format);

int CreateImageRecord(int width, int height, const ColorFormat* format, ImageRecord* record);
int CreateArgbImageRecord(int width, int height, ImageRecord* record);
int CreateXrgbImageRecord(int width, int height, ImageRecord* record);
int ReleaseImageRecord(ImageRecord* record);
int ClearImageRect(ImageRecord* record, int x, int y, int width, int height);

uint32_t EncodePixel(const ColorFormat* format, int red, int green, int blue, int alpha);
void DecodePixel(const ColorFormat* format, uint32_t value, int* red, int* green, int* blue,
                 int* alpha);
int GetImagePixel(ImageRecord* record, int x, int y, int* red, int* green, int* blue, int* alpha);
int SetImagePixel(ImageRecord* record, int x, int y, int red, int green, int blue, int alpha);
uint32_t GetImagePixelArgb(const ImageRecord* record, int x, int y);
int MirrorImageHorizontally(ImageRecord* record);
int ShrinkImageHalf(const ColorFormat* format, void* destination, int destinationPitch,
                    const void* source, int sourcePitch, int destinationX, int destinationY,
                    int sourceX, int row, int sourceWidth, int sourceHeight);

// Soft images: stored image records named by handles of kind 0x70000000.
int DeleteSoftImage(int handle);
int DeleteAllSoftImages();

// DXT blocks of a record decoded in place to A8R8G8B8 (nothing for plain records).
int DecodeDxtImage(ImageRecord* record);

// An image loader: 0 when it decoded the stream into the zeroed record, anything else when it
// refused or failed (having freed what it allocated).
typedef int (*ImageLoader)(StreamHolder* stream, ImageRecord* record);

int LoadBmpImage(StreamHolder* stream, ImageRecord* record);
int LoadJpegImage(StreamHolder* stream, ImageRecord* record);
int LoadPngImage(StreamHolder* stream, ImageRecord* record);
int LoadBgraImage(StreamHolder* stream, ImageRecord* record);
int LoadTgaImage(StreamHolder* stream, ImageRecord* record);
int LoadDdsImage(StreamHolder* stream, ImageRecord* record);

int LoadImageFromStream(StreamHolder* stream, ImageRecord* record);
int LoadImageData(const char* fileName, const void* memory, int memorySize, int fromMemory,
                  int wantBitmap, int mirror, ImageRecord* recordOut,
                  V_BITMAPINFO** bitmapInfoOut, void** pixelsOut);
int LoadImageRecord(const char* fileName, const void* memory, int memorySize, int fromMemory,
                    ImageRecord* recordOut, int mirror);
int LoadImageWithAlpha(const char* fileName, const void* memory, int memorySize, int fromMemory,
                       const void* alphaMemory, int alphaMemorySize, int alphaMode,
                       ImageRecord* recordOut, ImageRecord* alphaRecordOut, int mirror);
// The alpha companion's name: "_a" before the last "." of the name (or at its end).
// 0, or -1 when it does not fit in the buffer.
int MakeAlphaCompanionName(const char* fileName, char* buffer, int bufferSize);

int ImageRecordToDib(ImageRecord* record, V_BITMAPINFO* bitmapInfo, void** pixelsOut,
                     int alwaysCopy, int force24Bit);
int CopyImageRect(int sourceX, int sourceY, int width, int height, int destinationX,
                  int destinationY, ImageRecord* source, ImageRecord* destination);
int StretchImageRect(int sourceLeft, int sourceTop, int sourceRight, int sourceBottom,
                     ImageRecord* source, int destinationLeft, int destinationTop,
                     int destinationRight, int destinationBottom, ImageRecord* destination,
                     int filter);

// ---------------------------------------------------------------- device and screen settings

int SetWaitVSync(int flag);
int GetWaitVSync();
int SetEmulation320x240(int flag);
int GetDrawMode();
int GetUseHardware();
int SetUseHardware(int on);
int GetScreenState(int* width, int* height, int* bits);
uint32_t GetScreenColor(int red, int green, int blue);
int GetScreenColorRGB(uint32_t value, int* red, int* green, int* blue);
int GetScreenSize(int* width, int* height);
int GetColorBitDepth();
int GetDisplayModeCount();
int IsDisplayModeAvailable(int width, int height, int bits);

// Blend modes: 0 none (the image is copied), 1 alpha blend, 2 add, 3 subtract, 4 multiply,
// 10 blend toward the inverted image, 11 blend toward the product. The parameter (0..255,
// clamped) is the strength; the software path draws nothing in modes 5 to 9.
int SetBlendMode(int mode, int parameter);
int SetDrawBrightness(int red, int green, int blue);
int SetDrawBrightnessPacked(uint32_t rgb);
uint32_t ComputeDrawColor();
// Texture filter of stretched and rotated draws: 0 nearest, 1 bilinear, 2 anisotropic.
int SetDrawFilterMode(int mode);
int SetDrawArea(int x1, int y1, int x2, int y2);
// Fills the whole draw target with the window's background colour and clears the depth buffer.
int ClearDrawScreen();
int SetFogMode(int mode);
int SetFogColor(int red, int green, int blue);
int SetFogRange(float start, float end);
// The blend graph (-1: none) with its threshold and border range, each clamped to 0..255.
int SetBlendGraph(int handle, int threshold, int range);
int SetCameraNearFar(float nearZ, float farZ);
int SetCameraFov(float fieldOfView);

int CreateLight();
int MakeLightDirectional(float x, float y, float z);
int DeleteLight(int handle);
int DeleteAllLights();

// ---------------------------------------------------------------- graphs and the screen

int DeleteGraph(int handle, int flag = 0);
int DeleteAllGraphs();
int CreateSubGraph(int x, int y, int width, int height, int source);
int GetGraphSize(int handle, int* width, int* height);
int MakeGraph(int width, int height);
int FillGraphColor(int graph, int red, int green, int blue, int alpha);
// Draw targets: -4 the front screen (shown by a timer every 32 ms; the target after start-up),
// -2 the back screen (shown by PresentScreen), -3 and -5 drawn like the back screen, or the handle
// of a drawable graph. GetDrawTarget gives -1 for none.
int SetDrawTarget(int target);
int GetDrawTarget();
int SetGraphRestoreCallback(void (*callback)());
int IsGraphRestoreCallbackSet();
// Shows the back picture in the window: once per frame, after the frame's draws.
int PresentScreen();
int LockScreenPixels(const V_RECT* rect, ImageRecord* record);
int UnlockScreenPixels();
int CopyScreenRectToGraph(int x1, int y1, int x2, int y2, int graph);
// Screen size, colour depth (16 or 32) and refresh rate (0: the display's default); -1 in any
// of them keeps the current value. switched 1 is the window-mode change's call (-1, -1, -1, 1,
// -1). Every graph, font and light is deleted by a change that re-creates the screen.
int ChangeScreenMode(int width, int height, int bits, int switched, int refreshRate);
