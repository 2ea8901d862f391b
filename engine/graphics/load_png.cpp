// PNG loader glue: libpng reads through the engine's stream, and rows come out in the byte order
// of the engine's colour formats.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "core/core.h"
#include "graphics/graphics.h"
#include "graphics/image_stream.h"

namespace {

struct PngReadContext {
    StreamHolder* stream;
    int64_t end;  // stream position of the last byte + 1, taken at set-up
};

// Everything the loader holds, kept in memory the error jump can see.
struct PngLoad {
    png_structp png;
    png_infop info;
    png_bytepp rows;
    uint8_t* pixels;  // the record's block, rows read into it
    PngReadContext context;
};

void FreePngLoad(PngLoad* load) {
    if (load->rows) FreeMemory(load->rows);
    if (load->pixels) FreeMemory(load->pixels);
    png_destroy_read_struct(&load->png, load->info ? &load->info : nullptr, nullptr);
}

void PngStreamRead(png_structp png, png_bytep data, png_size_t length) {
    auto* context = static_cast<PngReadContext*>(png_get_io_ptr(png));
    int64_t remaining = context->end - TellStream(context->stream);
    if (remaining < static_cast<int64_t>(length) ||
        !ReadStreamExact(context->stream, data, length))
        png_error(png, "Read Error");
}

void SetPngStreamReader(png_structp png, PngReadContext* context, StreamHolder* stream) {
    context->stream = stream;
    context->end = TellStream(stream) + RemainingStreamBytes(stream);
    png_set_read_fn(png, context, PngStreamRead);
}

// The body of the loader; libpng errors jump out of it back to LoadPngImage.
void DecodePng(PngLoad* load, ImageRecord* record) {
    png_structp png = load->png;
    png_infop info = load->info;
    SetPngStreamReader(png, &load->context, static_cast<StreamHolder*>(load->context.stream));
    png_set_sig_bytes(png, 0);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_read_info(png, info);
    png_uint_32 width, height;
    int bitDepth, colorType, interlace;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    // Deflate gives at most 1032 bytes for one, and a 1-bit row packs 8 pixels a byte.
    if (!AcceptImageBudget("PNG", width, height, load->context.end, 16384))
        png_error(png, "Image too large for its file");

    png_set_strip_16(png);
    png_set_packing(png);
    png_set_packswap(png);
    bool expanded = false;
    if ((colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) || png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_expand(png);
        expanded = true;
    }
    png_set_bgr(png);
    if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    int channels = png_get_channels(png, info);
    if (rowBytes > static_cast<size_t>(kMaxImageSide) * 4) png_error(png, "Row too long");

    // The rows are read straight into the record's block.
    load->rows = static_cast<png_bytepp>(VELK_ALLOC(sizeof(png_bytep) * (height ? height : 1)));
    if (!load->rows) png_error(png, "Out of memory");
    size_t size = rowBytes * height;
    load->pixels = static_cast<uint8_t*>(VELK_ALLOC(size ? size : 1));
    if (!load->pixels) png_error(png, "Out of memory");
    for (png_uint_32 y = 0; y < height; ++y) load->rows[y] = load->pixels + y * rowBytes;
    png_read_image(png, load->rows);
    FreeMemory(load->rows);
    load->rows = nullptr;
    png_read_end(png, nullptr);

    ColorFormat& format = record->format;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !expanded) {
        SetColorFormatPalette8(&format);
        std::memset(format.palette, 0, sizeof(format.palette));
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count)) {
            for (int i = 0; i < count && i < 256; ++i)
                format.palette[i] = PaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
        }
    } else if (channels == 1) {
        SetColorFormatGray8(&format);
    } else if (channels == 2) {
        // Grey and alpha: the grey byte drives red, green and blue; the alpha byte is unused.
        format.bitDepth = 16;
        format.bytesPerPixel = 2;
        format.redMask = format.greenMask = format.blueMask = 0xFF;
        format.redShift = format.greenShift = format.blueShift = 0;
        format.redWidth = format.greenWidth = format.blueWidth = 8;
        format.alphaMask = 0;
        format.alphaShift = 0;
        format.alphaWidth = 0;
        format.unusedMask = 0xFF00;
        format.formatCode = 0;
    } else if (channels == 4) {
        SetColorFormatA8R8G8B8(&format);
    } else {
        SetColorFormatR8G8B8(&format);
    }
    record->width = static_cast<int32_t>(width);
    record->height = static_cast<int32_t>(height);
    record->pitch = static_cast<int32_t>(rowBytes);
    record->pixels = load->pixels;
    load->pixels = nullptr;
}

}  // namespace

int LoadPngImage(StreamHolder* stream, ImageRecord* record) {
    // A file without the eight signature bytes is another format's: libpng never sees it, so
    // that it prints nothing about it.
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (!StreamStartsWith(stream, kSignature, sizeof(kSignature))) return -1;
    PngLoad load = {};
    // libpng's own error and warning handlers: messages go where the library sends them, and
    // an error jumps back to the point set below.
    load.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!load.png) return -1;
    load.info = png_create_info_struct(load.png);
    if (!load.info) {
        FreePngLoad(&load);
        return -1;
    }
    load.context.stream = stream;
    if (setjmp(png_jmpbuf(load.png))) {
        FreePngLoad(&load);
        return -1;
    }
    DecodePng(&load, record);
    FreePngLoad(&load);
    return 0;
}
