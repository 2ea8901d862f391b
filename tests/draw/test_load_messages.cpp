// Loading valid image files of every format prints nothing on the standard error stream: a file
// reaches a decoder library only when it carries that library's signature.
#include <png.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include "core/log_capture.h"
#include "draw_fixture.h"

namespace {

// What the call writes to the standard error stream.
std::string StandardErrorOf(const std::function<void()>& call) {
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

void WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// An 8 x 8 RGB PNG of one colour, made by libpng.
void WritePng(const char* path) {
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, 8, 8, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(8 * 3, 0x60);
    for (int y = 0; y < 8; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

}  // namespace

TEST_F(DrawTest, ValidImageFilesLoadWithoutLibraryMessages) {
    StartFreshLog();
    StartGraphics(false);
    WriteBmp("pic.bmp", 4, 4, [](int, int) { return Rgb{1, 2, 3}; });
    WritePng("pic.png");
    // 2 x 2 TGA, 24 bits, top-down; a DDS of 2 x 2 A8R8G8B8 pixels.
    std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20};
    tga.resize(tga.size() + 12, 0x40);
    WriteBytes("pic.tga", tga);
    std::vector<uint8_t> dds = {'D', 'D', 'S', ' '};
    for (uint32_t word : {124u, 0x100Fu, 2u, 2u, 8u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u,
                          0u, 0u, 32u, 0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u,
                          0x1000u, 0u, 0u, 0u, 0u})
        for (int i = 0; i < 4; ++i) dds.push_back(static_cast<uint8_t>(word >> (8 * i)));
    dds.resize(dds.size() + 16, 0x80);
    WriteBytes("pic.dds", dds);
    const std::string jpeg = std::string(VELK_SOURCE_DIR) + "/data/Data/Image/Title.jpg";
    for (std::string name : {"pic.bmp", "pic.png", "pic.tga", "pic.dds", jpeg.c_str()}) {
        int graph = -1;
        EXPECT_EQ(StandardErrorOf([&] { graph = LoadGraphHandle(name.c_str(), 0); }), "") << name;
        EXPECT_GE(graph, 0) << name;
    }

    // Damaged files with a signature may get the libraries' messages, but not in the log.
    WriteBytes("cut.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H'});
    WriteBytes("cut.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1});
    const std::string messages = StandardErrorOf([] {
        EXPECT_EQ(LoadGraphHandle("cut.png", 0), -1);
        EXPECT_EQ(LoadGraphHandle("cut.jpg", 0), -1);
    });
    const std::string log = ReadLog();
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            EXPECT_EQ(log.find(line), std::string::npos) << line;
        }
    }
}
