// Image decoding and pixel conversion: a 1920 x 1080 PNG, JPEG and BMP through the loader glue
// against the libraries' plain decoders (and SDL's BMP reader), and the converter against pixman
// on the same pixels. The JPEG and BMP comparisons run glue and anchor alternately in one round,
// pinned to one core, and report the ratio of every round and the median.
//
// LoadGraphHandle (file to graph on the running library's screen, the graph deleted again)
// against reading and decoding the same file directly, at 640 x 480 and 2048 x 2048: libjpeg
// with its default settings into RGB, libpng's simplified reader into 8-bit RGB, SDL_LoadBMP.
// These run alternately through bench/alternate.h; run pinned (taskset -c 0), on the software
// path with SDL_VIDEODRIVER=dummy or VELK_NO_GL=1, on the device under a display.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <pixman.h>
#include <png.h>

#include <SDL.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "alternate.h"
#include "core/core.h"
#include "draw/draw.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

#include <filesystem>
#include <string>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A picture with gradients and some texture, so that neither codec has it too easy.
std::vector<uint8_t> MakeRgb(int width, int height) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / width + ((noise >> 16) & 7));
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(((x / 64 + y / 64) & 1) ? 200 : 40);
        }
    return out;
}

const std::vector<uint8_t>& SourceRgb() {
    static std::vector<uint8_t> rgb = MakeRgb(kWidth, kHeight);
    return rgb;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb, int width, int height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr);
    out.resize(size);
    return out;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// A bottom-up BMP of the picture: 24-bit as the game's own pictures are stored, or plain 32-bit
// (which the loader hands to GDI).
std::vector<uint8_t> EncodeBmp(const std::vector<uint8_t>& rgb, int width, int height, int bits) {
    const size_t bytes = static_cast<size_t>(bits / 8);
    const size_t rowSize = (static_cast<size_t>(width) * bytes + 3) & ~size_t{3};
    const size_t dataSize = rowSize * height;
    std::vector<uint8_t> out(54 + dataSize, 0);
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    out[26] = 1;
    out[28] = static_cast<uint8_t>(bits);
    put32(34, static_cast<uint32_t>(dataSize));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &out[54 + rowSize * (height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            row[bytes * x] = p[2];
            row[bytes * x + 1] = p[1];
            row[bytes * x + 2] = p[0];
        }
    }
    return out;
}

const std::vector<uint8_t>& PngFile() {
    static std::vector<uint8_t> file = EncodePng(SourceRgb(), kWidth, kHeight);
    return file;
}

const std::vector<uint8_t>& JpegFile() {
    static std::vector<uint8_t> file = EncodeJpeg(SourceRgb(), kWidth, kHeight);
    return file;
}

const std::vector<uint8_t>& BmpFile() {
    static std::vector<uint8_t> file = EncodeBmp(SourceRgb(), kWidth, kHeight, 24);
    return file;
}

const std::vector<uint8_t>& Bmp32File() {
    static std::vector<uint8_t> file = EncodeBmp(SourceRgb(), kWidth, kHeight, 32);
    return file;
}

void DecodeThroughGlue(benchmark::State& state, const std::vector<uint8_t>& file, ImageLoader loader) {
    for (auto _ : state) {
        StreamHolder stream = {*GetMemoryStreamFunctions(), OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()))};
        ImageRecord record = {};
        if (loader(&stream, &record) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(record.pixels);
        ReleaseImageRecord(&record);
        stream.functions.close(stream.handle);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void PngGlue(benchmark::State& state) { DecodeThroughGlue(state, PngFile(), LoadPngImage); }
void JpegGlue(benchmark::State& state) { DecodeThroughGlue(state, JpegFile(), LoadJpegImage); }

// libpng's simplified reading interface from memory, into BGR rows of a new block (as every
// decode hands out a new image).
void PngPlain(benchmark::State& state) {
    const std::vector<uint8_t>& file = PngFile();
    for (auto _ : state) {
        auto* pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(kWidth) * kHeight * 3));
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, file.data(), file.size());
        image.format = PNG_FORMAT_BGR;
        png_image_finish_read(&image, nullptr, pixels, 0, nullptr);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// libjpeg's example decoder: memory source, one scanline at a time into a new block.
void DecodeWithLibjpeg(const std::vector<uint8_t>& file) {
    auto* pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(kWidth) * kHeight * 3));
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + static_cast<size_t>(cinfo.output_scanline) * kWidth * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
}

void JpegPlain(benchmark::State& state) {
    const std::vector<uint8_t>& file = JpegFile();
    for (auto _ : state) DecodeWithLibjpeg(file);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void DecodeOnceThroughGlue(const std::vector<uint8_t>& file, ImageLoader loader) {
    StreamHolder stream = {*GetMemoryStreamFunctions(),
                           OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()))};
    ImageRecord record = {};
    if (loader(&stream, &record) != 0 || record.width != kWidth) std::abort();
    benchmark::DoNotOptimize(record.pixels);
    ReleaseImageRecord(&record);
    stream.functions.close(stream.handle);
}

void DecodeOnceWithLibjpeg() { DecodeWithLibjpeg(JpegFile()); }

void DecodeOnceWithSdl(const std::vector<uint8_t>& file) {
    SDL_Surface* surface =
        SDL_LoadBMP_RW(SDL_RWFromConstMem(file.data(), static_cast<int>(file.size())), 1);
    if (surface == nullptr || surface->w != kWidth) std::abort();
    benchmark::DoNotOptimize(surface);
    SDL_FreeSurface(surface);
}

double Milliseconds(const std::function<void()>& work) {
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    work();
    clock_gettime(CLOCK_MONOTONIC, &end);
    return static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 +
           static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// One benchmark iteration is one round: glue and anchor once each, their order swapped every
// round. Pinned to the core it starts on; every round's ratio is printed with the load.
void CompareRounds(benchmark::State& state, const char* name, const std::function<void()>& glue,
                   const std::function<void()>& anchor) {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(sched_getcpu(), &cpus);
    sched_setaffinity(0, sizeof cpus, &cpus);
    glue();
    anchor();
    std::vector<double> glueMs, anchorMs, ratios;
    for (auto _ : state) {
        double g = 0.0, a = 0.0;
        if (ratios.size() % 2 == 0) {
            g = Milliseconds(glue);
            a = Milliseconds(anchor);
        } else {
            a = Milliseconds(anchor);
            g = Milliseconds(glue);
        }
        glueMs.push_back(g);
        anchorMs.push_back(a);
        ratios.push_back(g / a);
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("%s: load %.2f %.2f %.2f; glue / anchor per round:", name, load[0], load[1],
                load[2]);
    for (double r : ratios) std::printf(" %.3f", r);
    std::printf("\n");
    state.counters["ratio_median"] = Median(ratios);
    state.counters["glue_ms"] = Median(glueMs);
    state.counters["anchor_ms"] = Median(anchorMs);
    state.counters["load1"] = load[0];
}

void JpegGlueVsLibjpeg(benchmark::State& state) {
    CompareRounds(state, "JPEG glue vs libjpeg-turbo",
                  [] { DecodeOnceThroughGlue(JpegFile(), LoadJpegImage); }, DecodeOnceWithLibjpeg);
}

void BmpGlueVsSdl(benchmark::State& state) {
    CompareRounds(state, "BMP 24-bit glue vs SDL_LoadBMP",
                  [] { DecodeOnceThroughGlue(BmpFile(), LoadBmpImage); },
                  [] { DecodeOnceWithSdl(BmpFile()); });
}

void Bmp32GlueVsSdl(benchmark::State& state) {
    CompareRounds(state, "BMP 32-bit glue vs SDL_LoadBMP",
                  [] { DecodeOnceThroughGlue(Bmp32File(), LoadBmpImage); },
                  [] { DecodeOnceWithSdl(Bmp32File()); });
}

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f = {};
    SetColorFormatFromMasks(&f, depth, r, g, b, a);
    return f;
}

struct ConvertCase {
    int sourceBytes;
    ColorFormat source;
    ColorFormat destination;
    pixman_format_code_t pixmanSource;
    pixman_format_code_t pixmanDestination;
};

ConvertCase Rgb24To565() {
    return {3, Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), Masks(16, 0xF800, 0x7E0, 0x1F, 0),
            PIXMAN_r8g8b8, PIXMAN_r5g6b5};
}
ConvertCase Argb32To4444() {
    return {4, Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u), Masks(16, 0xF00, 0xF0, 0xF, 0xF000),
            PIXMAN_a8r8g8b8, PIXMAN_a4r4g4b4};
}

std::vector<uint8_t> SourcePixels(int bytes) {
    std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * bytes);
    const std::vector<uint8_t>& rgb = SourceRgb();
    for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i)
        for (int c = 0; c < bytes; ++c) out[i * bytes + c] = c < 3 ? rgb[i * 3 + c] : static_cast<uint8_t>(i);
    return out;
}

void ConvertWithVelk(benchmark::State& state, ConvertCase c) {
    std::vector<uint8_t> source = SourcePixels(c.sourceBytes);
    std::vector<uint16_t> destination(static_cast<size_t>(kWidth) * kHeight);
    V_RECT rect = {0, 0, kWidth, kHeight};
    for (auto _ : state) {
        ConvertPixelFormatRect(destination.data(), kWidth * 2, &c.destination, source.data(),
                               kWidth * c.sourceBytes, &c.source, nullptr, 0, nullptr, 0, 0, &rect, 0,
                               0, 0, 0, 0, 0, 0, 0);
        benchmark::DoNotOptimize(destination.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void ConvertWithPixman(benchmark::State& state, ConvertCase c) {
    std::vector<uint8_t> source = SourcePixels(c.sourceBytes);
    std::vector<uint16_t> destination(static_cast<size_t>(kWidth) * kHeight);
    // pixman wants the stride a multiple of 4: 1920 x 3 is.
    pixman_image_t* src = pixman_image_create_bits(c.pixmanSource, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(source.data()), kWidth * c.sourceBytes);
    pixman_image_t* dst = pixman_image_create_bits(c.pixmanDestination, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(destination.data()), kWidth * 2);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(destination.data());
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// --- LoadGraphHandle against the direct decoders, from files -----------------------------------

// The scratch folder with the pictures; the library runs with it as the working folder. It is made
// in the folder the program starts in, as a game keeps its pictures in its own folder: every file
// the library opens makes it look for archives along the path, and a folder that other programs
// keep changing (such as /tmp on a busy machine) is read anew on every look.
struct PictureFolder {
    std::filesystem::path path;
    PictureFolder() {
        std::error_code error;
        std::string pattern = (std::filesystem::current_path(error) / "velk-bench-images-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~PictureFolder() {
        std::error_code error;
        if (!path.empty()) std::filesystem::remove_all(path, error);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::string file = (path / name).string();
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) std::abort();
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        return file;
    }
};

PictureFolder& Pictures() {
    static PictureFolder folder;
    return folder;
}

bool g_libraryStarted = false;

bool LibraryRunning() {
    static bool running = [] {
        g_libraryStarted = true;
        std::error_code error;
        std::filesystem::current_path(Pictures().path, error);
        ChangeWindowMode(1);
        return InitLibraryLocked() == 0;
    }();
    return running;
}

void LoadOnceThroughLibrary(const std::string& file, int width) {
    int graph = LoadGraphHandle(file.c_str(), 0);
    int w = 0, h = 0;
    if (graph < 0 || GetGraphSize(graph, &w, &h) != 0 || w != width) std::abort();
    DeleteGraph(graph);
}

void ReadJpegFile(const std::string& file) {
    FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) std::abort();
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * cinfo.output_height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + static_cast<size_t>(cinfo.output_scanline) * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
}

void ReadPngFile(const std::string& file) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) std::abort();
    image.format = PNG_FORMAT_RGB;
    auto* pixels = static_cast<uint8_t*>(std::malloc(PNG_IMAGE_SIZE(image)));
    png_image_finish_read(&image, nullptr, pixels, 0, nullptr);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
}

void ReadBmpFile(const std::string& file) {
    SDL_Surface* surface = SDL_LoadBMP(file.c_str());
    if (surface == nullptr) std::abort();
    benchmark::DoNotOptimize(surface);
    SDL_FreeSurface(surface);
}

void RegisterLoadComparisons() {
    struct Size {
        int width, height;
    };
    for (Size size : {Size{640, 480}, Size{2048, 2048}}) {
        const std::vector<uint8_t> rgb = MakeRgb(size.width, size.height);
        const std::string tag = std::to_string(size.width) + "x" + std::to_string(size.height);
        struct Kind {
            const char* name;
            const char* anchor;
            std::vector<uint8_t> bytes;
            void (*read)(const std::string&);
        };
        Kind kinds[] = {
            {"png", "libpng", EncodePng(rgb, size.width, size.height), ReadPngFile},
            {"jpg", "libjpeg", EncodeJpeg(rgb, size.width, size.height), ReadJpegFile},
            {"bmp", "SDL_bmp", EncodeBmp(rgb, size.width, size.height, 24), ReadBmpFile},
        };
        for (const Kind& kind : kinds) {
            std::string file = Pictures().Write(tag + "." + kind.name, kind.bytes);
            int width = size.width;
            auto read = kind.read;
            std::string anchor = kind.anchor;
            alternate::Register(std::string("LoadGraph_") + kind.name + "_" + tag, 15,
                                [file, width, read, anchor](benchmark::State& state, const std::string& name) {
                                    if (!LibraryRunning()) {
                                        state.SkipWithError("the library did not start");
                                        return;
                                    }
                                    alternate::Compare(
                                        state, name,
                                        {"velk", [file, width](int64_t calls) {
                                             for (int64_t i = 0; i < calls; ++i) LoadOnceThroughLibrary(file, width);
                                         }},
                                        {{anchor, [file, read](int64_t calls) {
                                              for (int64_t i = 0; i < calls; ++i) read(file);
                                          }}},
                                        0.05);
                                });
        }
    }
}

}  // namespace

BENCHMARK(PngGlue)->Unit(benchmark::kMillisecond);
BENCHMARK(PngPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegGlue)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegGlueVsLibjpeg)->Iterations(31)->Unit(benchmark::kMillisecond);
BENCHMARK(BmpGlueVsSdl)->Iterations(31)->Unit(benchmark::kMillisecond);
BENCHMARK(Bmp32GlueVsSdl)->Iterations(31)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertWithVelk, R8G8B8_to_R5G6B5, Rgb24To565())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertWithPixman, R8G8B8_to_R5G6B5, Rgb24To565())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertWithVelk, A8R8G8B8_to_A4R4G4B4, Argb32To4444())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertWithPixman, A8R8G8B8_to_A4R4G4B4, Argb32To4444())->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    int result = alternate::Main(argc, argv, RegisterLoadComparisons);
    if (g_libraryStarted) EndLibraryLocked();
    return result;
}
