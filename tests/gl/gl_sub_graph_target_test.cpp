// A drawable sub-graph as the draw target is addressed at its own area of the sheet it was cut
// from: draws, the clear, the copy to a graph and the pixel lock all work there, and the device
// and the software path give one picture.
#include <vector>

#include "core/core_services.h"
#include "gl_fixture.h"

namespace {

constexpr uint32_t kBlue = 0x0000F8, kRed = 0xF80000, kGreen = 0x00F800;

// Blue 64 x 64 sheet; the sub-graph at (32, 32) cleared and given a red 8 x 8 corner, the
// sheet a green 16 x 16 corner; the lock and the copy of the sub-graph's top-left 16 x 16; then
// the sheet at (100, 100) and the copy at (300, 100) on a black screen.
std::vector<uint32_t> DrawIntoSubGraph(std::vector<uint32_t>* locked) {
    SetCreateDrawValidGraphFlag(1);
    const int sheet = MakeGraph(64, 64);
    const int copy = MakeGraph(16, 16);
    SetCreateDrawValidGraphFlag(0);
    const int sub = CreateSubGraph(32, 32, 32, 32, sheet);
    EXPECT_GE(sub, 0);
    EXPECT_EQ(SetDrawTarget(sheet), 0);
    FillBox(0, 0, 64, 64, GetScreenColor(0, 0, 255));
    EXPECT_EQ(SetDrawTarget(sub), 0);
    EXPECT_EQ(ClearDrawScreen(), 0);
    FillBox(0, 0, 8, 8, GetScreenColor(255, 0, 0));
    // The sheet's own corner turns green: the lock and the copy must not see it.
    EXPECT_EQ(SetDrawTarget(sheet), 0);
    FillBox(0, 0, 16, 16, GetScreenColor(0, 255, 0));
    EXPECT_EQ(SetDrawTarget(sub), 0);
    ImageRecord record{};
    V_RECT rect{0, 0, 16, 16};
    EXPECT_EQ(LockScreenPixels(&rect, &record), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int r = 0, g = 0, b = 0, a = 0;
            GetImagePixel(&record, x, y, &r, &g, &b, &a);
            locked->push_back(static_cast<uint32_t>(r << 16 | g << 8 | b) & 0xF8F8F8u);
        }
    UnlockScreenPixels();
    EXPECT_EQ(CopyScreenRectToGraph(0, 0, 16, 16, copy), 0);
    EXPECT_EQ(SetDrawTarget(-2), 0);
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
    DrawGraphAt(100, 100, sheet, 0);
    DrawGraphAt(300, 100, copy, 0);
    std::vector<uint32_t> screen = ReadScreen();
    for (uint32_t& p : screen) p &= 0xF8F8F8u;
    return screen;
}

uint32_t Want(int x, int y) {
    if (x >= 300 && x < 316 && y >= 100 && y < 116) return x < 308 && y < 108 ? kRed : 0u;
    if (x < 100 || x >= 164 || y < 100 || y >= 164) return 0u;
    x -= 100;
    y -= 100;
    if (x < 16 && y < 16) return kGreen;
    if (x < 32 || y < 32) return kBlue;
    return x < 40 && y < 40 ? kRed : 0u;
}

void ExpectPicture(const std::vector<uint32_t>& screen, const std::vector<uint32_t>& locked) {
    ASSERT_EQ(screen.size(), 640u * 480u);
    int bad = 0;
    for (int y = 90; y < 180; ++y)
        for (int x = 90; x < 330; ++x)
            if (screen[y * 640 + x] != Want(x, y) && bad++ < 5)
                ADD_FAILURE() << "(" << x << ", " << y << ") is " << std::hex
                              << screen[y * 640 + x] << " not " << Want(x, y);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(locked.size(), 256u);
    int wrongLocked = 0;
    for (int i = 0; i < 256; ++i)
        if (locked[i] != (i % 16 < 8 && i / 16 < 8 ? kRed : 0u) && wrongLocked++ < 3)
            ADD_FAILURE() << "locked (" << i % 16 << ", " << i / 16 << ") is " << std::hex
                          << locked[i];
    EXPECT_EQ(wrongLocked, 0);
}

TEST_F(GlLibraryTest, SubGraphTargetIsAddressedAtItsOwnArea) {
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        ASSERT_TRUE(Start(device)) << "path not had";
        ProcessMessage();
        std::vector<uint32_t> locked;
        std::vector<uint32_t> screen = DrawIntoSubGraph(&locked);
        ExpectPicture(screen, locked);
        Stop();
    }
}

}  // namespace
