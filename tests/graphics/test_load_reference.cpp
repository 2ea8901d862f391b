// Files that nobody here wrote, decoded through the loader chain and compared pixel by pixel with
// ImageMagick's own decoding (turned to its stated orientation): images shipped by Debian packages, and BMP, TGA, DDS, PNG and JPEG
// files that ImageMagick makes during the test. Skipped where ImageMagick is missing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_image_util.h"

using namespace imagetest;

namespace {

struct Tolerance {
    int colour = 0;
    bool alpha = true;              // compare alpha when our record has it
    bool colourWhereClear = true;   // compare colour where the reference alpha is 0
};

// Decodes path through the chain and compares it with ImageMagick's 16-bit decoding (whose high
// byte is what an 8-bit decoder delivers). Returns the largest channel difference.
int CompareWithMagick(const std::string& path, const Tolerance& t) {
    ImageRecord r = {};
    EXPECT_EQ(LoadImageData(path.c_str(), nullptr, 0, 0, 0, 0, &r, nullptr, nullptr), 0) << path;
    if (!r.pixels) return -1;
    Bytes size = RunCommand("identify -format '%w %h' '" + path + "[0]'");
    std::string dims(size.begin(), size.end());
    int w = 0, h = 0;
    std::sscanf(dims.c_str(), "%d %d", &w, &h);
    EXPECT_EQ(r.width, w) << path;
    EXPECT_EQ(r.height, h) << path;
    Bytes ref = RunCommand("convert '" + path + "[0]' -auto-orient -depth 16 rgba:-");
    EXPECT_EQ(ref.size(), static_cast<size_t>(w) * h * 8) << path;
    if (ref.size() != static_cast<size_t>(w) * h * 8 || r.width != w || r.height != h) {
        ReleaseImageRecord(&r);
        return -1;
    }
    bool ourAlpha = r.format.bytesPerPixel != 1 && r.format.alphaWidth != 0;
    int worst = 0;
    int reported = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int c[4] = {0, 0, 0, 0};
            GetImagePixel(&r, x, y, &c[0], &c[1], &c[2], &c[3]);
            const uint8_t* p = &ref[(static_cast<size_t>(y) * w + x) * 8];
            int refAlpha = p[7];
            for (int ch = 0; ch < 4; ++ch) {
                if (ch == 3 && !(ourAlpha && t.alpha)) continue;
                if (ch < 3 && refAlpha == 0 && !t.colourWhereClear) continue;
                int diff = std::abs(c[ch] - p[ch * 2 + 1]);
                if (diff > worst) worst = diff;
                if (diff > t.colour && reported++ < 3)
                    ADD_FAILURE() << path << " (" << x << "," << y << ") channel " << ch << ": ours "
                                  << c[ch] << ", reference " << int(p[ch * 2 + 1]);
            }
        }
    }
    ReleaseImageRecord(&r);
    return worst;
}

class MagickFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    // Makes name from the built-in test picture (or another source) with the given options.
    std::string Make(const std::string& name, const std::string& options,
                     const std::string& source = "rose:") {
        std::string path = folder / name.substr(name.find(':') + 1);
        std::string command = "convert " + source + " " + options + " " + (name.find(':') != std::string::npos ? name.substr(0, name.find(':') + 1) : "") + path + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    ScratchFolder folder;
};

const char* const kDebianPngs[] = {
    "/usr/share/doc/libpng-dev/examples/pngtest.png",           // RGBA, interlaced
    "/usr/share/gitweb/static/git-logo.png",                     // palette
    "/usr/share/doc/libogg-dev/html/white-ogg.png",              // RGB
    "/usr/share/doc/libogg-dev/html/white-xifish.png",           // palette
    "/usr/share/icons/hicolor/16x16/apps/display-im6.q16.png",   // 16-bit RGBA
    "/usr/share/icons/hicolor/8x8/apps/display-im6.q16.png",     // 16-bit RGB
    "/usr/share/icons/hicolor/48x48/apps/display-im6.q16.png",
};

const char* const kDebianJpegs[] = {
    "/usr/share/doc/nodejs/thin-white-stripe.jpg",  // progressive
};

}  // namespace

TEST_F(MagickFiles, ShippedPngJpegAndBmpFiles) {
    int found = 0;
    for (const char* path : kDebianPngs)
        if (FileExists(path)) {
            ++found;
            EXPECT_EQ(CompareWithMagick(path, {}), 0) << path;
        }
    Tolerance jpeg;
    jpeg.colour = 1;
    for (const char* path : kDebianJpegs)
        if (FileExists(path)) {
            ++found;
            EXPECT_LE(CompareWithMagick(path, jpeg), 1) << path;
        }
    if (found == 0) GTEST_SKIP() << "no shipped image found";
}

TEST_F(MagickFiles, BmpVariants) {
    const std::pair<const char*, const char*> variants[] = {
        {"bmp3:t24.bmp", "-type truecolor"},
        {"bmp3:p8.bmp", "-colors 200 -type palette -compress none"},
        {"bmp3:rle8.bmp", "-colors 200 -type palette -compress RLE"},
        {"bmp3:p4.bmp", "-colors 16 -type palette"},
        {"bmp3:p1.bmp", "-monochrome"},
        {"bmp:f565.bmp", "-define bmp:subtype=RGB565"},
        {"bmp:f555.bmp", "-define bmp:subtype=RGB555"},
        {"bmp:a32.bmp", "-alpha set -channel A -fx 0.5 +channel"},
    };
    for (const auto& [name, options] : variants) {
        std::string path = Make(name, options);
        EXPECT_EQ(CompareWithMagick(path, {}), 0) << name;
    }
}

TEST_F(MagickFiles, TgaVariants) {
    const std::pair<const char*, const char*> variants[] = {
        {"t24.tga", ""},
        {"t24rle.tga", "-compress RLE"},
        {"map.tga", "-colors 200 -type palette"},
        {"maprle.tga", "-colors 200 -type palette -compress RLE"},
        {"t32.tga", "-alpha set -channel A -fx 'i/w' +channel"},
        {"t32rle.tga", "-alpha set -channel A -fx 'i/w' +channel -compress RLE"},
    };
    for (const auto& [name, options] : variants) {
        std::string path = Make(name, options);
        EXPECT_EQ(CompareWithMagick(path, {}), 0) << name;
    }
}

TEST_F(MagickFiles, DdsVariants) {
    const std::string alpha = "-alpha set -channel A -fx 'i/w' +channel -define dds:mipmaps=0 ";
    Tolerance exact;
    EXPECT_EQ(CompareWithMagick(Make("argb.dds", alpha + "-define dds:compression=none"), exact), 0);
    EXPECT_EQ(CompareWithMagick(Make("rgb.dds", "-define dds:compression=none -define dds:mipmaps=0"), exact), 0);
    EXPECT_EQ(CompareWithMagick(Make("mips.dds", "-define dds:compression=none"), exact), 0);
    // Block decoders round their interpolated colours and expanded channels their own way:
    // within one step, and alpha exact.
    Tolerance blocks;
    blocks.colour = 1;
    blocks.colourWhereClear = false;
    for (const char* c : {"dxt1", "dxt3", "dxt5"}) {
        std::string name = std::string(c) + ".dds";
        EXPECT_LE(CompareWithMagick(Make(name, alpha + "-define dds:compression=" + c), blocks), 1) << c;
    }
    EXPECT_LE(CompareWithMagick(Make("dxt1mips.dds", "-define dds:compression=dxt1"), blocks), 1);
}

TEST_F(MagickFiles, PngVariants) {
    const std::pair<const char*, const char*> variants[] = {
        {"PNG8:pal.png", "-colors 16"},
        {"PNG8:paltrns.png", "-colors 16 -transparent-color white -fuzz 20% -transparent '#E0C0B0'"},
        {"png:grey1.png", "-monochrome -define png:bit-depth=1 -define png:color-type=0"},
        {"png:grey8.png", "-colorspace gray -define png:color-type=0"},
        {"png:greyalpha.png", "-colorspace gray -alpha set -channel A -fx 'i/w' +channel -define png:color-type=4"},
        {"PNG48:rgb16.png", ""},
        {"PNG64:rgba16.png", "-alpha set -channel A -fx 'j/h' +channel"},
        {"PNG24:interlaced.png", "-interlace PNG"},
    };
    for (const auto& [name, options] : variants) {
        std::string path = Make(name, options);
        Tolerance t;
        EXPECT_EQ(CompareWithMagick(path, t), 0) << name;
    }
}

TEST_F(MagickFiles, JpegVariants) {
    Tolerance jpeg;
    jpeg.colour = 1;
    EXPECT_LE(CompareWithMagick(Make("base.jpg", "-quality 85"), jpeg), 1);
    EXPECT_LE(CompareWithMagick(Make("grey.jpg", "-colorspace gray -type grayscale"), jpeg), 1);
    EXPECT_LE(CompareWithMagick(Make("progressive.jpg", "-interlace JPEG -quality 60"), jpeg), 1);
    EXPECT_LE(CompareWithMagick(Make("restart.jpg", "-define jpeg:restart-interval=2 -sampling-factor 2x2"), jpeg), 1);
    if (FileExists("/usr/share/doc/libpng-dev/examples/pngtest.png")) {
        EXPECT_LE(CompareWithMagick(Make("pngtest.jpg", "-background white -flatten",
                                         "/usr/share/doc/libpng-dev/examples/pngtest.png"), jpeg), 1);
    }

    // A greyscale JPEG of width 3 has pitch 3.
    ImageRecord r = {};
    std::string narrow = Make("narrow.jpg", "-resize 3x5! -colorspace gray -type grayscale");
    ASSERT_EQ(LoadImageData(narrow.c_str(), nullptr, 0, 0, 0, 0, &r, nullptr, nullptr), 0);
    EXPECT_EQ(r.pitch, 3);
    EXPECT_EQ(r.format.bytesPerPixel, 1);
    ReleaseImageRecord(&r);

    // A file cut short still loads, the rest filled by the library; an empty stream fails.
    Bytes whole = ReadFile(folder / "base.jpg");
    Bytes half(whole.begin(), whole.begin() + whole.size() / 2);
    ByteStream stream(half);
    EXPECT_EQ(LoadJpegImage(&stream.holder, &r), 0);
    EXPECT_EQ(r.width, 70);
    ReleaseImageRecord(&r);
    ByteStream empty(Bytes{});
    EXPECT_EQ(LoadJpegImage(&empty.holder, &r), -1);
    ByteStream broken(Bytes(whole.begin(), whole.begin() + 100));
    std::memset(&r, 0, sizeof(r));
    LoadJpegImage(&broken.holder, &r);
    ReleaseImageRecord(&r);
}

TEST_F(MagickFiles, PngRecordFormats) {
    struct Case {
        const char* name;
        const char* options;
        int bitDepth;
    } cases[] = {
        {"PNG8:p16.png", "-colors 16", 8},
        {"PNG8:t.png", "-colors 16 -fuzz 20% -transparent '#E0C0B0'", 32},
        {"png:g1.png", "-monochrome -define png:bit-depth=1 -define png:color-type=0", 8},
        {"png:ga.png", "-colorspace gray -alpha set -define png:color-type=4", 16},
        {"PNG48:c16.png", "", 24},
    };
    for (const Case& c : cases) {
        std::string path = Make(c.name, c.options);
        Bytes bytes = ReadFile(path);
        ImageRecord r = {};
        ASSERT_EQ(LoadWith(LoadPngImage, bytes, &r), 0) << c.name;
        EXPECT_EQ(r.format.bitDepth, c.bitDepth) << c.name;
        if (std::string(c.name) == "PNG8:p16.png") {
            EXPECT_EQ(r.format.palette[200].red + r.format.palette[255].green, 0);
        }
        if (c.bitDepth == 16) {
            EXPECT_EQ(r.format.redMask, 0xFFu);
            EXPECT_EQ(r.format.unusedMask, 0xFF00u);
        }
        ReleaseImageRecord(&r);
    }
}
