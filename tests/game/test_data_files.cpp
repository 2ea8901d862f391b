// The game's data files fit the layouts the game reads: sizes, the transparent black outside the
// art, opaque art without pure black, short faded PCM effects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "velk.h"

namespace {

const std::filesystem::path kDataFolder =
    std::filesystem::path(VELK_SOURCE_DIR) / "data" / "Data";

std::vector<uint8_t> ReadData(const std::string& name) {
    std::ifstream file(kDataFolder / name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

class Picture {
public:
    explicit Picture(const std::string& name) {
        bytes = ReadData(name);
        loaded = !bytes.empty() && LoadImageRecord(nullptr, bytes.data(), static_cast<int>(bytes.size()),
                                                   1, &record, 0) == 0;
    }
    ~Picture() {
        if (loaded) ReleaseImageRecord(&record);
    }
    bool Black(int x, int y) const { return (GetImagePixelArgb(&record, x, y) & 0xFFFFFF) == 0; }
    // Pixels of the rectangle that are (or are not) pure black.
    int CountBlack(int x0, int y0, int width, int height) const {
        int n = 0;
        for (int y = y0; y < y0 + height; ++y)
            for (int x = x0; x < x0 + width; ++x) n += Black(x, y);
        return n;
    }

    std::vector<uint8_t> bytes;
    ImageRecord record{};
    bool loaded = false;
};

TEST(GameData, SpriteSheetCellsAndTransparency) {
    Picture sheet("Image/Object.bmp");
    ASSERT_TRUE(sheet.loaded);
    EXPECT_EQ(sheet.record.width, 160);
    EXPECT_EQ(sheet.record.height, 16);
    EXPECT_EQ(sheet.record.format.bitDepth, 24);
    EXPECT_EQ(sheet.CountBlack(0, 0, 16, 16), 0);  // the ground tile is wholly opaque
    for (int cell = 1; cell <= 5; ++cell) {
        const int black = sheet.CountBlack(cell * 16, 0, 16, 16);
        EXPECT_GT(black, 40) << cell;   // shapes on a transparent ground
        EXPECT_LT(black, 220) << cell;  // and visible
    }
    for (int cell = 6; cell < 10; ++cell) EXPECT_EQ(sheet.CountBlack(cell * 16, 0, 16, 16), 256);
}

TEST(GameData, PanelSheetsHoldTheirRectangles) {
    Picture system("Image/System.bmp");
    ASSERT_TRUE(system.loaded);
    EXPECT_GE(system.record.width, 296);
    EXPECT_GE(system.record.height, 128);
    EXPECT_EQ(system.CountBlack(0, 0, 96, 128), 0);    // portrait frame
    EXPECT_EQ(system.CountBlack(96, 0, 200, 24), 0);   // energy bar
    EXPECT_EQ(system.CountBlack(144, 24, 106, 16), 0); // air bar
    for (int buttonX : {96, 144, 192, 240}) {
        // Round buttons: corners transparent, the middle opaque.
        EXPECT_TRUE(system.Black(buttonX, 80));
        EXPECT_TRUE(system.Black(buttonX + 47, 127));
        EXPECT_EQ(system.CountBlack(buttonX + 14, 94, 20, 20), 0);
    }
    // The label strip leaves the nutrient icons' row mostly transparent.
    EXPECT_GT(system.CountBlack(120, 60, 170, 14), 170 * 14 * 9 / 10);

    Picture frame("Image/frame.bmp");
    ASSERT_TRUE(frame.loaded);
    EXPECT_EQ(frame.record.width, 640);
    EXPECT_EQ(frame.record.height, 192);
    EXPECT_EQ(frame.CountBlack(0, 0, 640, 64), 0);
    EXPECT_EQ(frame.CountBlack(0, 64, 296, 128), 0);

    for (const char* name : {"Image/Title.jpg", "Image/Option.jpg"}) {
        Picture picture(name);
        ASSERT_TRUE(picture.loaded) << name;
        EXPECT_EQ(picture.record.width, 640);
        EXPECT_EQ(picture.record.height, 480);
        // Baseline JPEG: a start-of-frame 0 marker, no progressive one.
        const std::string text(picture.bytes.begin(), picture.bytes.end());
        EXPECT_NE(text.find("\xFF\xC0"), std::string::npos) << name;
        EXPECT_EQ(text.find("\xFF\xC2"), std::string::npos) << name;
    }
}

TEST(GameData, SoundEffectsAreShortFadedPcm) {
    for (const char* name : {"SE/Enter-pi32.wav", "SE/Cansel-pi01.wav", "SE/Click-pi42.wav"}) {
        const std::vector<uint8_t> wave = ReadData(name);
        ASSERT_GT(wave.size(), 44u) << name;
        EXPECT_EQ(std::memcmp(wave.data(), "RIFF", 4), 0);
        EXPECT_EQ(std::memcmp(wave.data() + 8, "WAVEfmt ", 8), 0);
        uint16_t format = 0, channels = 0, bits = 0;
        uint32_t rate = 0, dataSize = 0;
        std::memcpy(&format, wave.data() + 20, 2);
        std::memcpy(&channels, wave.data() + 22, 2);
        std::memcpy(&rate, wave.data() + 24, 4);
        std::memcpy(&bits, wave.data() + 34, 2);
        ASSERT_EQ(std::memcmp(wave.data() + 36, "data", 4), 0);
        std::memcpy(&dataSize, wave.data() + 40, 4);
        EXPECT_EQ(format, 1);
        EXPECT_EQ(bits, 16);
        ASSERT_EQ(wave.size(), 44u + dataSize);
        const double seconds = dataSize / 2.0 / channels / rate;
        EXPECT_GT(seconds, 0.01) << name;
        EXPECT_LT(seconds, 0.5) << name;
        // Faded in and out: the first and last samples are near silence.
        int16_t first = 0, last = 0;
        std::memcpy(&first, wave.data() + 44, 2);
        std::memcpy(&last, wave.data() + wave.size() - 2, 2);
        EXPECT_LT(std::abs(first), 1000) << name;
        EXPECT_LT(std::abs(last), 1000) << name;
    }
}

}  // namespace
