// Clearing the draw screen to the window's background colour, and the colour format of graphs
// created for the font system's glyph textures.
#include <type_traits>

#include "core/window.h"
#include "draw/cleared_target.h"
#include "font_fixture.h"
#include "graphics/graphics_services.h"
#include "velk.h"

namespace {

// The background colour 0x00BBGGRR set for the window, as a screen pixel widened to 0x00RRGGBB.
constexpr uint32_t kBackgroundRef = 0x00302010;

class ClearScreenTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        g_Window.settings.backgroundSet = 1;
        g_Window.settings.backgroundColor = kBackgroundRef;
    }
    void TearDown() override {
        g_Window.settings.backgroundSet = 0;
        g_Window.settings.backgroundColor = 0;
        DrawTest::TearDown();
    }
    static uint16_t Raw(int x, int y) {
        const MEMIMG& p = g_ScreenImages.primary;
        return *reinterpret_cast<const uint16_t*>(p.pixels + y * p.base->pitch + x * 2);
    }
};

template <typename T>
const ColorFormat& AsFormat(const T& value) {
    if constexpr (std::is_pointer_v<T>)
        return *value;
    else
        return value;
}

}  // namespace

TEST_F(ClearScreenTest, SoftwareScreenAndGraphTargetTakeTheBackgroundColour) {
    StartGraphics(false);
    uint16_t background = static_cast<uint16_t>(GetScreenColor(0x10, 0x20, 0x30));
    FillBox(0, 0, 640, 480, GetScreenColor(255, 0, 0));
    ASSERT_EQ(ClearDrawScreen(), 0);
    EXPECT_EQ(Raw(0, 0), background);
    EXPECT_EQ(Raw(639, 479), background);

    int target = -1;
    ASSERT_NO_FATAL_FAILURE(MakeClearedTarget(&target));
    ClearScreen();
    ASSERT_EQ(DrawGraphAt(100, 100, target, 0), 0);
    EXPECT_EQ(Raw(100, 100), background);
    EXPECT_EQ(Raw(115, 115), background);
    EXPECT_EQ(Raw(116, 116), 0);
}

TEST_F(ClearScreenTest, DeviceFillsTheTargetSurface) {
    StartGraphics(true);
    ASSERT_EQ(ClearDrawScreen(), 0);
    EXPECT_FALSE(Recording().CallsStartingWith("ColorFill").empty());
}

TEST_F(FontTest, CreationFormatsOfGlyphTextures) {
    StartGraphics(true);
    auto plain32 = GetCreationFormatColorFormat(0, 0, 1, 0);
    auto alpha32 = GetCreationFormatColorFormat(1, 0, 1, 0);
    auto alpha16 = GetCreationFormatColorFormat(1, 0, 0, 0);
    auto tested16 = GetCreationFormatColorFormat(0, 1, 0, 0);
    EXPECT_EQ(AsFormat(plain32).bitDepth, 32);
    EXPECT_EQ(AsFormat(plain32).redMask, 0x00FF0000u);
    EXPECT_EQ(AsFormat(plain32).alphaWidth, 0);
    EXPECT_EQ(AsFormat(alpha32).bitDepth, 32);
    EXPECT_EQ(AsFormat(alpha32).alphaMask, 0xFF000000u);
    EXPECT_EQ(AsFormat(alpha16).bitDepth, 16);
    EXPECT_GT(AsFormat(alpha16).alphaWidth, 0);
    EXPECT_EQ(AsFormat(tested16).bitDepth, 16);

    // An anti-aliased font's staging image is in the 16-bit alpha format.
    int smooth = CreateFontToHandle(nullptr, 16, 6, kFontAntialiased, -1, -1, 0, -1, -1);
    ASSERT_GE(smooth, 0);
    const ColorFormat& staging = Font(smooth)->cacheBase.format;
    EXPECT_EQ(staging.bitDepth, AsFormat(alpha16).bitDepth);
    EXPECT_EQ(staging.alphaMask, AsFormat(alpha16).alphaMask);
    EXPECT_EQ(staging.redMask, AsFormat(alpha16).redMask);
    ReleaseFont(smooth);
}
