// Headers that claim far more pixels than their file can hold are refused before decoding.
#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "../core/log_capture.h"
#include "test_image_util.h"

using namespace imagetest;

namespace {

// A baseline JPEG of one grey level, made by the library.
Bytes MakeUniformJpeg(int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(static_cast<size_t>(width) * 3, 0x80);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes file(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return file;
}

// Rewrites the frame header's height and width (big-endian, after the precision byte).
void ClaimJpegSize(Bytes& file, int width, int height) {
    for (size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 5] = static_cast<uint8_t>(height >> 8);
            file[i + 6] = static_cast<uint8_t>(height);
            file[i + 7] = static_cast<uint8_t>(width >> 8);
            file[i + 8] = static_cast<uint8_t>(width);
            return;
        }
    }
    ADD_FAILURE() << "no frame header";
}

void WriteToBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes MakeGreyPng(int width, int height) {
    Bytes file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, WriteToBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    Bytes row(static_cast<size_t>(width), 0x40);
    for (int y = 0; y < height; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

uint32_t ChunkCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Rewrites the IHDR size and its checksum.
void ClaimPngSize(Bytes& file, uint32_t width, uint32_t height) {
    uint8_t* ihdr = file.data() + 12;  // chunk type, then the data
    for (int i = 0; i < 4; ++i) {
        ihdr[4 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        ihdr[8 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    uint32_t crc = ChunkCrc(ihdr, 17);
    for (int i = 0; i < 4; ++i) ihdr[17 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

}  // namespace

TEST(LoadBudget, JpegHeadersOutOfProportionAreRefused) {
    ImageRecord r = {};
    // A uniform picture compresses well but stays far within what a file of its size can hold.
    Bytes uniform = MakeUniformJpeg(2048, 2048);
    ASSERT_EQ(LoadWith(LoadJpegImage, uniform, &r), 0);
    EXPECT_EQ(r.width, 2048);
    ReleaseImageRecord(&r);

    Bytes small = MakeUniformJpeg(16, 16);
    ASSERT_EQ(LoadWith(LoadJpegImage, small, &r), 0);
    ReleaseImageRecord(&r);
    ClaimJpegSize(small, 4096, 4096);
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(LoadWith(LoadJpegImage, small, &r), -1);
    EXPECT_EQ(r.pixels, nullptr);
}

TEST(LoadBudget, PngHeadersOutOfProportionAreRefused) {
    ImageRecord r = {};
    Bytes small = MakeGreyPng(16, 16);
    ASSERT_EQ(LoadWith(LoadPngImage, small, &r), 0);
    EXPECT_EQ(r.width, 16);
    ReleaseImageRecord(&r);
    ClaimPngSize(small, 8192, 8192);
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(LoadWith(LoadPngImage, small, &r), -1);
    EXPECT_EQ(r.pixels, nullptr);
}

// Probing a file with the loaders of other formats, and damaged files that make the libraries
// warn or fail, leave the library's log as it was: the libraries keep their own message output.
TEST(LoadBudget, LoaderLibraryMessagesStayOutOfTheLog) {
    StartFreshLog();
    Bytes png = MakeGreyPng(16, 16);
    Bytes jpeg = MakeUniformJpeg(16, 16);
    Bytes cutPng(png.begin(), png.begin() + png.size() / 2);
    Bytes cutJpeg(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    // Ancillary chunks after the header that libpng warns about and skips: a text chunk with a
    // wrong checksum and a colour profile whose compressed data is not.
    auto chunk = [](const char* type, const Bytes& data, bool goodCrc) {
        Bytes c;
        for (int i = 3; i >= 0; --i) c.push_back(static_cast<uint8_t>(data.size() >> (8 * i)));
        c.insert(c.end(), type, type + 4);
        c.insert(c.end(), data.begin(), data.end());
        uint32_t crc = ChunkCrc(c.data() + 4, c.size() - 4) ^ (goodCrc ? 0u : 1u);
        for (int i = 3; i >= 0; --i) c.push_back(static_cast<uint8_t>(crc >> (8 * i)));
        return c;
    };
    Bytes warningPng(png.begin(), png.begin() + 33);
    Bytes textChunk = chunk("tEXt", {'k', 0, 'v'}, false);
    Bytes profileChunk = chunk("iCCP", {'p', 0, 0, 1, 2, 3, 4, 5}, true);
    warningPng.insert(warningPng.end(), textChunk.begin(), textChunk.end());
    warningPng.insert(warningPng.end(), profileChunk.begin(), profileChunk.end());
    warningPng.insert(warningPng.end(), png.begin() + 33, png.end());
    const std::string before = ReadLog();
    ImageRecord r = {};
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(LoadWith(LoadPngImage, warningPng, &r), 0);
    EXPECT_EQ(r.width, 16);
    ReleaseImageRecord(&r);
    std::memset(&r, 0, sizeof r);
    Bytes endless(jpeg.begin(), jpeg.end() - 4);
    EXPECT_EQ(LoadWith(LoadJpegImage, endless, &r), 0);  // warns, then ends the picture early
    ReleaseImageRecord(&r);
    for (const Bytes* file : {&png, &jpeg, &cutPng, &cutJpeg, &text}) {
        for (ImageLoader loader : {LoadJpegImage, LoadPngImage}) {
            std::memset(&r, 0, sizeof r);
            LoadWith(loader, *file, &r);
            ReleaseImageRecord(&r);
        }
    }
    EXPECT_EQ(ReadLog(), before);
}
