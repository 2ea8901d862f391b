// Graphics core services to the other subsystems: software images and the kernels' blend
// tables, pixel-format conversion, the graphics start and end, and the window code's calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "graphics/graphics.h"
#include "platform/types.h"

// ---------------------------------------------------------------- software images

constexpr uint32_t kMemImgTag = 0x12345678;

enum MemImgColorType : int32_t {
    kMemImgR5G6B5 = 0,
    kMemImgX8R8G8B8 = 1,
    kMemImgChannel8 = 2,
    kMemImgChannel16 = 3,
};

struct ColorFormat;

// Shared, reference-counted part of a software image.
struct MemImgBase {
    int32_t referenceCount;
    int32_t width;
    int32_t height;
    int32_t pitch;               // bytes from one row to the next (multiple of 16 when chosen)
    int32_t pitchShift;          // log2 of the pitch when it is a power of two as asked, else -1
    const ColorFormat* colorFormat;
    uint32_t transparentColor;   // palette index or pixel value in the image's own format
    int32_t colorType;           // MemImgColorType
    int32_t paletteFlag;         // pixels are 8-bit indices
    int32_t paletteCount;        // palette entries in use
    int32_t alphaFlag;           // every pixel carries an alpha byte
    int32_t premultipliedValid;  // the alpha plane holds the premultiplied copy
    int32_t runCodeValid;        // the run buffer describes the whole image
    int32_t userBuffer;          // the pixels are the caller's
    uint8_t* palette;            // 2048-byte block, or null
    uint8_t* paletteSecondHalf;  // palette + 1024
    uint8_t* pixels;
    uint8_t* alphaPlane;         // premultiplied copy, or null
    uint8_t* runBuffer;          // (width + 5) x height bytes, or null
};

// A view of a software image: the whole of a base or a sub-rectangle of it.
struct MEMIMG {
    uint32_t tag;                // kMemImgTag while valid
    int32_t width;
    int32_t height;
    uint8_t* pixels;             // first pixel of the view
    uint8_t* alpha;              // matching position in the alpha plane, or null
    MemImgBase* base;
};

int CreateMemImg(MEMIMG* view, int width, int height, int pitch, uint32_t transparent, int type,
                 int palette, int alpha, int work, void* userPixels);
// A plain image in the screen's colour type (type -1: R5G6B5 at 16 bits, else X8R8G8B8), or in
// the given type: the view is cleared first; no palette, alpha or work buffers. 0 or -1.
int CreateScreenDepthMemImg(MEMIMG* view, int width, int height, int type);
void MakeMemImgView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height);
void ReleaseMemImg(MEMIMG* view);
int IsMemImgValid(const MEMIMG* view);
// Bytes from one pixel to the next: 1 with a palette, 4 for 32-bit and 16-bit-with-alpha pixels.
int GetMemImgBytesPerPixel(const MemImgBase* base);
void FillMemImgRect(MEMIMG* image, const V_RECT* rect, uint32_t value);
// The static colour format of (type, alpha, palette), or null for a type above 3.
const ColorFormat* GetMemImgColorFormat(int type, int alpha, int palette);
// Converts a rectangle of the source (none: all of it) into the destination at (x, y).
// -1 when a rectangle leaves its image.
int CopyMemImg(MEMIMG* destination, const MEMIMG* source, const V_RECT* sourceRect, int x, int y);
// Copies the rectangle (x, y, width, height) of an image record, with its alpha image when one is
// given, into the destination at (destination x, destination y), then rebuilds the run code and
// premultiplied copy when the whole view was written. -1 when a rectangle leaves its image.
struct ImageRecord;
int TransferImageMemImg(const ImageRecord* image, const ImageRecord* alphaImage, MEMIMG* destination,
                        int x, int y, int width, int height, int destinationX, int destinationY,
                        int colorKey);
// Writes the rectangle of a direct-colour image record (or fills the whole view with one colour
// 0x00RRGGBB) into a palette image at (x, y): each colour takes the entry that holds it, else a
// free entry, else the nearest one; a write over the whole image starts from an empty palette.
// -1 for an image without a palette or an empty rectangle.
int TransferImageToPaletteMemImg(const ImageRecord* image, const V_RECT* rect, MEMIMG* destination,
                                 int x, int y);
int FillPaletteMemImg(MEMIMG* image, uint32_t rgb);
// A palette entry as a palette image holds it: 0x00RRGGBB in X8R8G8B8 palettes, R5G6B5 bits in
// 16-bit ones (the encoding of loaded palettes); and the entry at an index.
inline uint32_t EncodePaletteEntry(const MemImgBase* base, uint32_t rgb) {
    const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return base->colorType == kMemImgX8R8G8B8 ? r << 16 | g << 8 | b
                                              : (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
}
inline uint32_t GetPaletteEntry(const MemImgBase* base, int index) {
    const size_t size = base->colorType == kMemImgX8R8G8B8 ? 4 : 2;
    uint32_t value = 0;
    std::memcpy(&value, base->palette + size * index, size);
    return value;
}
// The key of a palette image: no index (a value the 8-bit indices never reach).
constexpr uint32_t kNoPaletteKey = 65535;
// Makes the palette index whose colour is rgb (0x00RRGGBB) the image's transparent colour, every
// pixel of that colour taking that one index; kNoPaletteKey when no entry has the colour.
void SetMemImgPaletteKey(MEMIMG* image, uint32_t rgb);
// After pixels were written into the whole view: rebuilds the premultiplied copy and the run code
// when the base has the buffers for them (the last step of a transfer into the image).
void UpdateMemImgRunCode(MEMIMG* view, int width, int height);

// Blend tables of the software kernels, built at graphics start and read-only afterwards
// (the blend-image map changes with the blend graph).
struct MemImgTables {
    int16_t parameterRows[256][512];  // row p, slot d + 256: d * p / 255 rounded toward zero
    uint8_t brightnessRows[256][256]; // row b, entry c: c * b / 255 rounded down
    uint8_t blend16Rows[64][64][64];  // [w][s][d]: (s * w + d * (63 - w)) / 63 rounded down
    uint8_t blendImageMap[256];       // blend-image value to weight
};
extern MemImgTables g_MemImgTables;

int InitMemImgTables();
void SetBlendImageTable(int border, int range);

// Row p (0..255), signed difference d (-255..255).
inline int32_t GetParameterRowsEntry(int p, int d) {
    return g_MemImgTables.parameterRows[p][d + 256];
}
// Row b (0..255), value c (0..255).
inline uint32_t GetBrightnessRowsEntry(int b, int c) {
    return g_MemImgTables.brightnessRows[b][c];
}
// Block w (0..63), source field s, destination field d (0..63).
inline uint32_t GetBlend16RowsEntry(int w, int s, int d) {
    return g_MemImgTables.blend16Rows[w][s][d];
}
// Weight 0..255 of a blend-image value.
inline uint32_t GetBlendImageMapEntry(int value) {
    return g_MemImgTables.blendImageMap[value];
}

// ---------------------------------------------------------------- pixel-format conversion

// Moves a rectangle of pixels between two buffers of any two formats, with the colour-key,
// alpha and dither rules. Returns 0 (an 8-bit to 8-bit byte copy returns the highest index
// copied), or -1 for an empty rectangle or a format holding DXT blocks. No clipping.
int ConvertPixelFormatRect(void* destination, int destinationPitch,
                           const ColorFormat* destinationFormat, const void* source,
                           int sourcePitch, const ColorFormat* sourceFormat,
                           const void* alphaImage, int alphaPitch,
                           const ColorFormat* alphaFormat, int destinationX, int destinationY,
                           const V_RECT* sourceRect, int mirror, int transparentToAlpha,
                           uint32_t transparentColor, int dither, int alphaOnly,
                           int alphaFromRed, int skipTransparent, int paletteRemap);

// ---------------------------------------------------------------- start, end and the window code

int InitGraphics();
int EndGraphics();
int RefreshScreen(const V_RECT* area);
// Ends the open scene and presents the device once; non-zero when presenting failed.
int PresentDeviceOnce();
int RecreateDeviceSameMode();
// Queries of the window code.
int GetDisplayMode(int index, int* width, int* height, int* bits);
int GetForceSoftwareFlag();
int IsDirect3DInUse();
int HasDirectDrawObject();
int GetWaitVSyncFlag();
int SetWaitVSyncFlag(int flag);
