// JPEG loader glue: libjpeg reads through the engine's stream with its own source manager, and
// errors unwind to the loader.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "core/core.h"
#include "graphics/graphics.h"
#include "graphics/image_stream.h"

namespace {

constexpr size_t kJpegBufferSize = 4096;

struct JpegSource {
    jpeg_source_mgr pub;
    JOCTET* buffer;
    uint32_t startOfFile;
    StreamHolder* stream;
    int64_t end;  // stream position of the last byte + 1, taken at set-up
};

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

struct JpegLoad {
    jpeg_decompress_struct cinfo;
    JpegError error;
    uint8_t* pixels;
};

JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void JpegInitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = 1;
}

boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<JpegSource*>(cinfo->src);
    int64_t n = source->end - TellStream(source->stream);
    if (n > static_cast<int64_t>(kJpegBufferSize)) n = kJpegBufferSize;
    if (n > 0) n = static_cast<int64_t>(ReadStreamBytes(source->stream, source->buffer, n));
    if (n > 0) {
        source->pub.next_input_byte = source->buffer;
        source->pub.bytes_in_buffer = static_cast<size_t>(n);
    } else {
        if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kFakeEndOfImage;
        source->pub.bytes_in_buffer = 2;
    }
    source->startOfFile = 0;
    return TRUE;
}

void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        JpegFillInputBuffer(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    longjmp(error->jump, 1);
}

void SetJpegStreamSource(j_decompress_ptr cinfo, StreamHolder* stream) {
    if (!cinfo->src) {
        auto* source = static_cast<JpegSource*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
        source->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegBufferSize));
        cinfo->src = &source->pub;
    }
    auto* source = reinterpret_cast<JpegSource*>(cinfo->src);
    source->pub.init_source = JpegInitSource;
    source->pub.fill_input_buffer = JpegFillInputBuffer;
    source->pub.skip_input_data = JpegSkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = JpegTermSource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    source->stream = stream;
    source->end = TellStream(stream) + RemainingStreamBytes(stream);
}

// The body of the loader; libjpeg errors jump out of it back to LoadJpegImage.
int DecodeJpeg(JpegLoad* load, StreamHolder* stream, ImageRecord* record) {
    j_decompress_ptr cinfo = &load->cinfo;
    const int64_t dataBytes = RemainingStreamBytes(stream);
    SetJpegStreamSource(cinfo, stream);
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width > static_cast<JDIMENSION>(kMaxImageSide) ||
        cinfo->image_height > static_cast<JDIMENSION>(kMaxImageSide))
        return -1;
    // Huffman coding spends at least one bit on every 8 x 8 block of the full-resolution
    // component (512 pixels a byte); arithmetic coding has no such floor.
    if (!AcceptImageBudget("JPEG", cinfo->image_width, cinfo->image_height, dataBytes,
                           cinfo->arith_code ? 0 : 1024))
        return -1;
    // Colour pictures come out in the record's B, G, R byte order straight from the decoder.
    if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);
    int components = cinfo->output_components;
    if (components != 1 && components != 3) return -1;  // four-component files are refused
    size_t stride = static_cast<size_t>(components) * cinfo->output_width;
    size_t size = stride * cinfo->output_height;
    load->pixels = static_cast<uint8_t*>(VELK_ALLOC(size ? size : 1));
    if (!load->pixels) return -1;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = load->pixels + stride * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    record->width = static_cast<int32_t>(cinfo->output_width);
    record->height = static_cast<int32_t>(cinfo->output_height);
    record->pitch = static_cast<int32_t>(stride);
    record->pixels = load->pixels;
    load->pixels = nullptr;
    if (components == 1)
        SetColorFormatGray8(&record->format);
    else
        SetColorFormatR8G8B8(&record->format);
    return 0;
}

}  // namespace

int LoadJpegImage(StreamHolder* stream, ImageRecord* record) {
    // A file without the start-of-image marker is another format's: libjpeg never sees it, so
    // that it prints nothing about it.
    static const uint8_t kStartOfImage[2] = {0xFF, 0xD8};
    if (!StreamStartsWith(stream, kStartOfImage, sizeof(kStartOfImage))) return -1;
    JpegLoad load;
    std::memset(&load, 0, sizeof(load));
    load.cinfo.err = jpeg_std_error(&load.error.pub);
    load.error.pub.error_exit = JpegErrorExit;
    if (setjmp(load.error.jump)) {
        if (load.pixels) FreeMemory(load.pixels);
        jpeg_destroy_decompress(&load.cinfo);
        return -1;
    }
    jpeg_CreateDecompress(&load.cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    int result = DecodeJpeg(&load, stream, record);
    if (result != 0 && load.pixels) FreeMemory(load.pixels);
    jpeg_destroy_decompress(&load.cinfo);
    return result;
}
