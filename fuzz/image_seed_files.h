// Image files for the seed programs: DDS headers over generated data, and PNG and JPEG files
// written with libpng and libjpeg (the seed program links both).
#pragma once

#include <png.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace seed_image {

using Bytes = std::vector<unsigned char>;

inline void Put(Bytes& b, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

inline void Text(Bytes& b, const char* text) {
    while (*text) b.push_back(static_cast<unsigned char>(*text++));
}

// A DDS file of the size: the header (the four FourCC bytes as given, mip chain flags when mips
// is not 0, the masks of A8R8G8B8) followed by dataSize bytes of a ramp.
inline Bytes Dds(const char* fourCc, unsigned pixelFlags, unsigned bits, unsigned width,
                 unsigned height, unsigned mips, size_t dataSize) {
    Bytes b;
    Text(b, "DDS ");
    Put(b, 124, 4);
    Put(b, 0x1007 | (mips ? 0x20000 : 0), 4);
    Put(b, height, 4);
    Put(b, width, 4);
    Put(b, 0, 4);
    Put(b, 0, 4);
    Put(b, mips, 4);
    for (int i = 0; i < 11; ++i) Put(b, 0, 4);
    Put(b, 32, 4);
    Put(b, pixelFlags, 4);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(fourCc[i]));
    Put(b, bits, 4);
    Put(b, 0xFF0000, 4);
    Put(b, 0xFF00, 4);
    Put(b, 0xFF, 4);
    Put(b, 0xFF000000u, 4);
    Put(b, 0x1000 | (mips ? 0x400008 : 0), 4);
    for (int i = 0; i < 4; ++i) Put(b, 0, 4);
    for (size_t i = 0; i < dataSize; ++i) b.push_back(static_cast<unsigned char>(i * 37));
    return b;
}

// A PNG of the colour type and depth, optionally interlaced, with a ramp of samples.
inline Bytes Png(int colorType, int depth, int width, int height, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* b = static_cast<Bytes*>(png_get_io_ptr(p));
            b->insert(b->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[16];
        for (int i = 0; i < 16; ++i)
            palette[i] = {static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 8),
                          static_cast<png_byte>(i * 5)};
        png_set_PLTE(png, info, palette, 16);
        png_byte alpha[4] = {0, 128, 255, 64};
        png_set_tRNS(png, info, alpha, 4, nullptr);
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<Bytes> rows(static_cast<size_t>(height), Bytes(rowBytes));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y) {
        for (size_t x = 0; x < rowBytes; ++x)
            rows[y][x] = static_cast<unsigned char>(colorType == PNG_COLOR_TYPE_PALETTE
                                                        ? (x + y) % 16
                                                        : x * 7 + y * 31);
        pointers.push_back(rows[y].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A JPEG of 1 (grey) or 3 components, baseline or progressive.
inline Bytes Jpeg(int components, int width, int height, bool progressive) {
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &memory, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 70, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<size_t>(width * components));
    while (c.next_scanline < c.image_height) {
        for (size_t x = 0; x < row.size(); ++x)
            row[x] = static_cast<unsigned char>(x * 9 + c.next_scanline * 17);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&c, &pointer, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(memory, memory + size);
    std::free(memory);
    return out;
}

}  // namespace seed_image
