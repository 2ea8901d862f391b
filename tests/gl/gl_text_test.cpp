// Text on both paths: the same strings drawn with the system font on the OpenGL device and on the
// software screen cover the same pixels, within a small tolerance for the two paths' sampling.
// The device picture is kept as a screenshot (text-device.ppm, text-software.ppm) in the folder
// VELK_TEXT_SHOT_DIR names, or in the folder the test program started in.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/core_services.h"
#include "gl_fixture.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kBackground = 0x203040;
// The folder the program started in (the tests run in scratch folders of their own).
const std::string kStartFolder = std::filesystem::current_path().string();

void SaveShot(const std::vector<uint32_t>& picture, const char* name) {
    const char* dir = std::getenv("VELK_TEXT_SHOT_DIR");
    WritePpm(std::string(dir != nullptr ? dir : kStartFolder.c_str()) + "/" + name, picture, kWidth,
             kHeight);
}

// The strings of the game's screens: the default font, an edged font of the game's kind and an
// anti-aliased one, with Japanese and ASCII text.
void DrawTexts() {
    uint32_t white = GetScreenColor(255, 255, 255);
    uint32_t black = GetScreenColor(0, 0, 0);
    DrawBoxShape(0, 0, kWidth, kHeight, GetScreenColor(0x20, 0x30, 0x40), 1);
    DrawStringDefault(20, 20, "生態系 Ecosystem 0123456789", white, black);
    int edged = CreateFontToHandle("MSゴシック", 24, 4, 1, -1, 2, 0, -1, -1);
    int smooth = CreateFontToHandle(nullptr, 32, 6, 2, -1, -1, 0, -1, -1);
    ASSERT_GE(edged, 0);
    ASSERT_GE(smooth, 0);
    DrawStringWithFont(20, 80, "木 TREES 虫 INSECTS", GetScreenColor(0, 0xAF, 0), edged, black, 0);
    DrawStringWithFont(20, 160, "PAUSE 獣", white, smooth, black, 0);
    ReleaseFont(edged);
    ReleaseFont(smooth);
    PresentScreen();
}

std::vector<uint32_t> DrawOnPath(GlLibraryTest* test, bool device) {
    if (!test->Start(device, !device)) return {};
    ProcessMessage();
    DrawTexts();
    std::vector<uint32_t> picture = ReadScreen();
    test->Stop();
    return picture;
}

bool IsInk(uint32_t p) {
    int dr = static_cast<int>(p >> 16 & 0xFF) - 0x20, dg = static_cast<int>(p >> 8 & 0xFF) - 0x30,
        db = static_cast<int>(p & 0xFF) - 0x40;
    return dr * dr + dg * dg + db * db > 24 * 24;
}

}  // namespace

TEST_F(GlLibraryTest, TextCoversTheSamePixelsOnBothPaths) {
    setenv("VELK_DESKTOP_BITS", "32", 1);
    std::vector<uint32_t> device = DrawOnPath(this, true);
    if (device.empty()) {
        unsetenv("VELK_DESKTOP_BITS");
        GTEST_SKIP() << "no OpenGL device on this display";
    }
    std::vector<uint32_t> software = DrawOnPath(this, false);
    unsetenv("VELK_DESKTOP_BITS");
    ASSERT_EQ(device.size(), static_cast<size_t>(kWidth) * kHeight);
    ASSERT_EQ(software.size(), device.size());
    SaveShot(device, "text-device.ppm");
    SaveShot(software, "text-software.ppm");

    // Ink where one path has it and the other has neither it nor a neighbour with it.
    auto inkNear = [](const std::vector<uint32_t>& p, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < kWidth && ny < kHeight &&
                    IsInk(p[static_cast<size_t>(ny) * kWidth + nx]))
                    return true;
            }
        return false;
    };
    int inkDevice = 0, inkSoftware = 0, unmatched = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (x == 0 && y == 0) continue;  // the device batch's opening point
            size_t i = static_cast<size_t>(y) * kWidth + x;
            bool d = IsInk(device[i]), s = IsInk(software[i]);
            inkDevice += d;
            inkSoftware += s;
            if ((d && !inkNear(software, x, y)) || (s && !inkNear(device, x, y))) ++unmatched;
        }
    // Each line of text leaves a good number of inked pixels, and both paths about as many.
    EXPECT_GT(inkDevice, 3000);
    EXPECT_GT(inkSoftware, 3000);
    EXPECT_LT(std::abs(inkDevice - inkSoftware), inkSoftware / 10);
    EXPECT_LT(unmatched, inkSoftware / 100) << "device " << inkDevice << ", software " << inkSoftware;
    // Nothing is drawn below the last line.
    for (int y = 220; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(software[static_cast<size_t>(y) * kWidth + x], kBackground)
                << "software ink at " << x << ", " << y;
}
