// The mask screen on the OpenGL device and on the software path: a draw through a hand-made
// mask reaches only the pixels the mask allows, the same on both.
#include <vector>

#include "draw/mask.h"
#include "gl_fixture.h"
#include "graphics/graphics_services.h"

namespace {

// Draws a red box and a sprite-sized graph over blue through a mask whose right half of
// (20, 20)-(60, 60) is closed, and reads the screen back.
std::vector<uint32_t> DrawThroughMask(int reverse) {
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 255));
    EXPECT_EQ(CreateMaskScreen(1), 0);
    EXPECT_EQ(SetUseMaskScreen(1), 0);
    SetMaskScreenReverse(reverse);
    std::vector<uint8_t> bytes(40 * 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) bytes[y * 40 + x] = x < 20 ? 0 : 255;
    EXPECT_EQ(WriteMaskScreenRect(20, 20, 40, 40, bytes.data(), 40), 0);
    FillBox(10, 10, 70, 50, GetScreenColor(255, 0, 0));
    FillBox(10, 50, 70, 70, GetScreenColor(0, 255, 0));
    EXPECT_EQ(SetUseMaskScreen(0), 0);
    SetMaskScreenReverse(0);
    return ReadScreen();
}

uint32_t Expected(int x, int y, int reverse) {
    bool red = x >= 10 && x < 70 && y >= 10 && y < 50;
    bool green = x >= 10 && x < 70 && y >= 50 && y < 70;
    bool closed = x >= 40 && x < 60 && y >= 20 && y < 60;
    if (reverse) closed = !(x >= 40 && x < 60 && y >= 20 && y < 60);
    if (closed || (!red && !green)) return 0x0000FFu;
    return red ? 0xFF0000u : 0x00FF00u;
}

void ExpectMasked(const std::vector<uint32_t>& screen, int reverse) {
    ASSERT_EQ(screen.size(), 640u * 480u);
    int bad = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x)
            if (screen[y * 640 + x] != Expected(x, y, reverse) && bad++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                              << screen[y * 640 + x] << " not " << Expected(x, y, reverse);
    EXPECT_EQ(bad, 0);
}

TEST_F(GlLibraryTest, MaskScreenLimitsDrawsOnBothPaths) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    ExpectMasked(DrawThroughMask(0), 0);
    ExpectMasked(DrawThroughMask(1), 1);
    Stop();

    ASSERT_TRUE(Start(false));
    ExpectMasked(DrawThroughMask(0), 0);
    ExpectMasked(DrawThroughMask(1), 1);
}

// A scene of strings (plain and edged), a part draw followed by more draws, and a rotated
// sprite, drawn with or without an all-zero mask, which lets everything through.
std::vector<uint32_t> MaskedScene(bool mask, int sprite, int edged) {
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 96));
    if (mask) {
        EXPECT_EQ(CreateMaskScreen(1), 0);
        EXPECT_EQ(SetUseMaskScreen(1), 0);
    }
    const uint32_t white = GetScreenColor(255, 255, 255);
    DrawStringDefault(20, 20, "Velk ABC 0123", white, 0);
    DrawStringWithFont(20, 60, "Edged WMW", white, edged, GetScreenColor(255, 0, 0), 0);
    DrawGraphPart(20, 100, 4, 0, 8, 8, sprite, 0, 0);
    DrawGraphAt(60, 100, sprite, 0);
    FillBox(100, 100, 120, 120, GetScreenColor(0, 255, 0));
    DrawGraphRotated(200, 200, 2.0, 0.5, sprite, 0, 0);
    if (mask) {
        EXPECT_EQ(SetUseMaskScreen(0), 0);
    }
    return ReadScreen();
}

TEST_F(GlLibraryTest, AllZeroMaskChangesNothingOnBothPaths) {
    WriteTestBmp("pattern.bmp", 16, 16, [](int x, int y) {
        return static_cast<uint32_t>((x * 16) << 16 | (y * 16) << 8 | 0x80);
    });
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        ASSERT_TRUE(Start(device)) << "path not had";
        const int sprite = LoadGraphHandle("pattern.bmp", 0);
        const int edged = CreateFontToHandle(nullptr, 16, -1, 1, -1, -1, 0, -1, -1);
        ASSERT_GE(sprite, 0);
        ASSERT_GE(edged, 0);
        std::vector<uint32_t> plain = MaskedScene(false, sprite, edged);
        std::vector<uint32_t> masked = MaskedScene(true, sprite, edged);
        ASSERT_EQ(plain.size(), masked.size());
        int bad = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            if (plain[i] != masked[i] && bad++ < 5)
                ADD_FAILURE() << "(" << i % 640 << ", " << i / 640 << ") is " << std::hex
                              << masked[i] << " not " << plain[i];
        EXPECT_EQ(bad, 0);
        Stop();
    }
}

// On the device: edged and vertical strings keep every pixel under an all-zero mask, and a
// re-made device keeps the mask's contents, so that a closed pixel stays closed.
TEST_F(GlLibraryTest, DeviceMaskKeepsStringsAndItsContentsThroughRecreation) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    const int cases[][3] = {{1, 2, 0}, {1, 3, 0}, {1, 4, 0}, {1, 3, 1}, {3, 2, 1}, {2, -1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c[0] << " edge " << c[1] << " vertical "
                                        << c[2]);
        const int font = CreateFontToHandle(nullptr, 20, -1, c[0], -1, c[1], 0, -1, -1);
        ASSERT_GE(font, 0);
        std::vector<uint32_t> pictures[2];
        for (int masked : {0, 1}) {
            FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
            if (masked) {
                ASSERT_EQ(CreateMaskScreen(1), 0);
                ASSERT_EQ(SetUseMaskScreen(1), 0);
            }
            DrawStringWithFont(40, 40, "Wgjpqy _|MW", GetScreenColor(255, 255, 255), font,
                               GetScreenColor(255, 0, 0), c[2]);
            if (masked) {
                ASSERT_EQ(SetUseMaskScreen(0), 0);
            }
            pictures[masked] = ReadScreen();
        }
        int lost = 0;
        for (size_t i = 0; i < pictures[0].size(); ++i)
            if (pictures[1][i] != pictures[0][i] && lost++ < 3)
                ADD_FAILURE() << "(" << i % 640 << ", " << i / 640 << ") is " << std::hex
                              << pictures[1][i] << " not " << pictures[0][i];
        EXPECT_EQ(lost, 0);
        ReleaseFont(font);
    }

    // A square closed before the device is made again keeps a later fill out.
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 255));
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    std::vector<uint8_t> closed(20 * 20, 255);
    ASSERT_EQ(WriteMaskScreenRect(20, 20, 20, 20, closed.data(), 20), 0);
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    FillBox(0, 0, 80, 80, GetScreenColor(255, 0, 0));
    ASSERT_EQ(SetUseMaskScreen(0), 0);
    std::vector<uint32_t> screen = ReadScreen();
    ASSERT_EQ(screen.size(), 640u * 480u);
    EXPECT_EQ(screen[10 * 640 + 10], 0xFF0000u);
    EXPECT_EQ(screen[60 * 640 + 60], 0xFF0000u);
    EXPECT_NE(screen[20 * 640 + 20], 0xFF0000u);
    EXPECT_NE(screen[39 * 640 + 39], 0xFF0000u);
}

}  // namespace
