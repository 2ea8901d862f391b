// YUV to RGB: the 14-bit fixed-point tables with their clip table, and the conversion of a
// decoded frame into 32-bit pixels.
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"

YuvTables g_YuvTables;

int BuildYuvTables() {
    for (int i = -512; i < 768; ++i)
        g_YuvTables.clip[i + 512] = static_cast<uint8_t>(i < 0 ? 0 : i > 255 ? 255 : i);
    for (int i = 0; i < 256; ++i) {
        g_YuvTables.y[i] = 19070 * (i - 16);
        g_YuvTables.rFromCr[i] = 26148 * (i - 128);
        g_YuvTables.gFromCb[i] = -6406 * (i - 128);
        g_YuvTables.gFromCr[i] = -13320 * (i - 128);
        g_YuvTables.bFromCb[i] = 33062 * (i - 128);
    }
    return 0;
}

namespace {

inline void PutPixel(uint8_t* out, int luma, int cb, int cr) {
    const YuvTables& t = g_YuvTables;
    int32_t y = t.y[luma];
    out[0] = ClipYuv((y + t.bFromCb[cb]) / 16384);
    out[1] = ClipYuv((y + t.gFromCb[cb] + t.gFromCr[cr]) / 16384);
    out[2] = ClipYuv((y + t.rFromCr[cr]) / 16384);
    out[3] = 255;
}

// 4:2:0: the pixels of a row in pairs that share one chroma sample (a picture that starts at
// an odd column takes its first pixel alone, an odd width its last).
void Convert420(const TheoraFrameStockEntry* f, ImageRecord* image, int left, int top, int width,
                int height) {
    for (int row = 0; row < height; ++row) {
        const int frameRow = top + row;
        const uint8_t* y = f->y + static_cast<size_t>(frameRow) * f->yStride + left;
        const uint8_t* u = f->u + static_cast<size_t>(frameRow / 2) * f->uvStride;
        const uint8_t* v = f->v + static_cast<size_t>(frameRow / 2) * f->uvStride;
        uint8_t* out = image->pixels + static_cast<size_t>(row) * image->pitch;
        int x = 0;
        if (left % 2 != 0 && width > 0) {
            PutPixel(out, y[0], u[left / 2], v[left / 2]);
            x = 1;
        }
        for (; x + 1 < width; x += 2) {
            const int c = (left + x) / 2;
            PutPixel(out + x * 4, y[x], u[c], v[c]);
            PutPixel(out + x * 4 + 4, y[x + 1], u[c], v[c]);
        }
        if (x < width) {
            const int c = (left + x) / 2;
            PutPixel(out + x * 4, y[x], u[c], v[c]);
        }
    }
}

inline uint8_t ClampFloat(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(value));
}

// Any other subsampling, per pixel in single precision; the chroma sample is the one whose
// area covers the pixel's place in the frame.
void ConvertOther(const TheoraFrameStockEntry* f, ImageRecord* image, int left, int top,
                  int width, int height) {
    for (int row = 0; row < height; ++row) {
        const int frameRow = top + row;
        int chromaRow =
            static_cast<int>(static_cast<int64_t>(frameRow) * f->uvHeight / f->yHeight);
        const uint8_t* y = f->y + static_cast<size_t>(frameRow) * f->yStride + left;
        const uint8_t* u = f->u + static_cast<size_t>(chromaRow) * f->uvStride;
        const uint8_t* v = f->v + static_cast<size_t>(chromaRow) * f->uvStride;
        uint8_t* out = image->pixels + static_cast<size_t>(row) * image->pitch;
        for (int x = 0; x < width; ++x) {
            int c = static_cast<int>(static_cast<int64_t>(left + x) * f->uvWidth / f->yWidth);
            float luma = (static_cast<float>(y[x]) - 16.0f) * 1.164f;
            float cb = static_cast<float>(u[c]) - 128.0f, cr = static_cast<float>(v[c]) - 128.0f;
            out[x * 4 + 0] = ClampFloat(luma + 2.018f * cb);
            out[x * 4 + 1] = ClampFloat((luma - 0.391f * cb) - 0.813f * cr);
            out[x * 4 + 2] = ClampFloat(luma + 1.596f * cr);
            out[x * 4 + 3] = 255;
        }
    }
}

}  // namespace

void ConvertYuvToXrgb(const TheoraFrameStockEntry* frame, ImageRecord* image, int left,
                      int top) {
    if (image->pixels == nullptr || frame->y == nullptr || frame->u == nullptr ||
        frame->v == nullptr || frame->yWidth <= 0 || frame->yHeight <= 0 ||
        frame->uvWidth <= 0 || frame->uvHeight <= 0 || left < 0 || top < 0 ||
        left >= frame->yWidth || top >= frame->yHeight)
        return;
    // Only what the frame holds is converted.
    int width = frame->yWidth - left < image->width ? frame->yWidth - left : image->width;
    int height = frame->yHeight - top < image->height ? frame->yHeight - top : image->height;
    if (frame->yWidth == 2 * frame->uvWidth && frame->yHeight == 2 * frame->uvHeight)
        Convert420(frame, image, left, top, width, height);
    else
        ConvertOther(frame, image, left, top, width, height);
}
