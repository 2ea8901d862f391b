// String layout and drawing on the software screen and on the recording device.
#include <algorithm>

#include "draw/font_fixture.h"
#include "graphics/graphics_services.h"

namespace {

const uint32_t kWhite = 0xFFFFFF;

// Counts the pixels of a screen rectangle that are not black.
int LitPixels(int left, int top, int right, int bottom) {
    V_RECT rect{left, top, right, bottom};
    ImageRecord record{};
    if (LockScreenPixels(&rect, &record) != 0) return -1;
    int lit = 0;
    for (int y = 0; y < record.height; ++y)
        for (int x = 0; x < record.width; ++x)
            if ((GetImagePixelArgb(&record, x, y) & 0xFFFFFF) != 0) ++lit;
    UnlockScreenPixels();
    return lit;
}

}  // namespace

TEST_F(FontTest, LayoutOfCharacters) {
    StartGraphics(false);
    int font = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    FontRecord* f = Font(font);
    // A line feed is an ordinary character with a glyph and an advance.
    EXPECT_EQ(Measure(font, "A\nB"), 24);
    EXPECT_EQ(f->charMap['\n'].cached, 1u);
    // A trailing lead byte forms one character with the terminating NUL.
    int count = 0;
    ASSERT_EQ(CollectUncachedChars(-1, "A\x88", font, nullptr, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(f->charMap[0x0088].cached, 1u);
    EXPECT_EQ(Measure(font, "A\x88"), 16);
    // A lead byte takes the byte after it: the pair is one character.
    EXPECT_EQ(Measure(font, "\x88\x9F" "A"), 16);
    EXPECT_EQ(f->charMap[0x9F88].cached, 1u);
    // The spacing follows every character, the last one too.
    SetFontCharSpacing(3, font);
    EXPECT_EQ(Measure(font, "AB"), 22);
    EXPECT_EQ(Measure(font, "AB", 1), 22);
    V_SIZE size{};
    DrawGlyphRun(0, 0, 0, 0, 1.0, 1.0, "ABC", 0, nullptr, nullptr, 1, font, 0, -1, 1, &size);
    EXPECT_EQ(size.cx, 16);
    EXPECT_EQ(size.cy, 33);
    // A long string of many distinct characters is gathered on the heap: 300 two-byte ones.
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>(0x89 + i / 150);
        text += static_cast<char>(0x40 + i % 150);
    }
    EXPECT_EQ(Measure(font, text.c_str()), 300 * 11);
    EXPECT_EQ(f->charMap[0x4089].cached, 1u);  // first byte low
}

TEST_F(FontTest, SoftwareStringsCoverTheirGlyphs) {
    StartGraphics(false);
    ClearScreen();
    int font = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    ASSERT_EQ(DrawStringWithFont(10, 20, "A\nB", GetScreenColor(255, 255, 255), font, 0, 0), 0);
    // Each 6 x 10 rectangle at (x + pen + 1, y + 12 - 8); the line feed's between them.
    EXPECT_EQ(ScreenPixel(11, 24), kWhite);
    EXPECT_EQ(ScreenPixel(16, 33), kWhite);
    EXPECT_EQ(ScreenPixel(10, 24), 0u);
    EXPECT_EQ(ScreenPixel(17, 24), 0u);
    EXPECT_EQ(ScreenPixel(11, 34), 0u);
    EXPECT_EQ(ScreenPixel(19, 24), kWhite);
    EXPECT_EQ(ScreenPixel(27, 33), kWhite);
    EXPECT_EQ(LitPixels(0, 0, 100, 100), 3 * 60);

    // Vertical: a quarter turn clockwise, top toward +x; the second character below the first.
    ClearScreen();
    ASSERT_EQ(DrawStringWithFont(100, 50, "--", GetScreenColor(255, 255, 255), font, 0, 1), 0);
    // X0 = x + line height - y offset = 112, Y0 = y + pen + x offset.
    EXPECT_EQ(ScreenPixel(112, 51), kWhite);
    EXPECT_EQ(ScreenPixel(112, 52), kWhite);
    EXPECT_EQ(ScreenPixel(112, 59), kWhite);
    EXPECT_EQ(ScreenPixel(112, 60), kWhite);
    EXPECT_EQ(LitPixels(90, 40, 140, 80), 4);

    // The bright colour tints the text; the draw area clips it.
    ClearScreen();
    SetDrawBrightness(255, 0, 0);
    SetDrawArea(0, 0, 14, 480);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), font, 0, 0);
    EXPECT_EQ(ScreenPixel(11, 24), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(14, 24), 0u);
    EXPECT_EQ(g_DrawSettings.brightColor & 0xFFFFFF, 0xFF0000u);

    // Bad handles and empty strings.
    EXPECT_EQ(DrawStringWithFont(0, 0, "A", 0, font + 1, 0, 0), -1);
    EXPECT_NE(ReadLog().find("フォントハンドル値が異常です"), std::string::npos);
    EXPECT_EQ(DrawStringWithFont(0, 0, "", 0, font + 1, 0, 0), 0);
    EXPECT_EQ(DrawStringWithFont(0, 0, nullptr, 0, font, 0, 0), 0);
}

TEST_F(FontTest, SoftwareStringsThroughTheWorkImage) {
    StartGraphics(false);
    int font = CreateFontToHandle(nullptr, 16, 6, 1, -1, -1, 0, -1, -1);
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(64, 64, 64));
    V_RECT area = g_DrawSettings.drawArea;
    SetBlendMode(2, 255);
    DrawStringWithFont(10, 20, "A", GetScreenColor(128, 0, 0), font, GetScreenColor(0, 0, 128), 0);
    // The glyph's area starts at (10 + 1, 20 + 4): edge margin first, then the body.
    uint32_t body = ScreenPixel(12, 25), edge = ScreenPixel(11, 25), outside = ScreenPixel(10, 25);
    EXPECT_NEAR(static_cast<int>(body >> 16), 64 + 128, 9);
    EXPECT_NEAR(static_cast<int>(body & 0xFF), 64, 9);  // the edge is not added under the body
    EXPECT_NEAR(static_cast<int>(edge & 0xFF), 64 + 128, 9);
    EXPECT_NEAR(static_cast<int>(edge >> 16), 64, 9);
    EXPECT_EQ(outside, ScreenPixel(0, 0));
    EXPECT_EQ(g_DrawSettings.drawArea.right, area.right);
    EXPECT_EQ(g_DrawSettings.brightColor & 0xFFFFFF, 0xFFFFFFu);

    // Text tinted to the work image's key colour still shows: the key is chosen against the
    // colours as written.
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(255, 255, 255));
    int plain = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    SetBlendMode(1, 128);
    SetDrawBrightness(0, 0, 0);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), plain, 0, 0);
    uint32_t dimmed = ScreenPixel(11, 24);
    EXPECT_NEAR(static_cast<int>(dimmed >> 16), 127, 10);
    EXPECT_EQ(ScreenPixel(10, 24), kWhite);
    // ... and against the edge colour as written: an edge in the key's colour shows too.
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(255, 255, 255));
    SetDrawBrightness(255, 255, 255);
    uint32_t key = GetTextWorkImage(0)->base->transparentColor;
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), font, key, 0);
    EXPECT_NEAR(static_cast<int>(ScreenPixel(11, 25) >> 16), 127, 10);
    // ... and against the body colour as written.
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(255, 255, 255));
    key = GetTextWorkImage(0)->base->transparentColor;
    DrawStringWithFont(10, 20, "A", key, plain, GetScreenColor(255, 255, 255), 0);
    EXPECT_NEAR(static_cast<int>(ScreenPixel(11, 24) >> 16), 127, 10);

    // The bright colour tints the text once; the draw area clips it; both stay as they were set.
    FillMemImgRect(&g_ScreenImages.primary, nullptr, 0);
    SetBlendMode(2, 255);
    SetDrawBrightness(128, 128, 128);
    SetDrawArea(0, 0, 14, 480);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), plain, 0, 0);
    EXPECT_NEAR(static_cast<int>(ScreenPixel(13, 24) >> 16), 128, 9);
    EXPECT_EQ(ScreenPixel(14, 24), 0u);
    EXPECT_EQ(g_DrawSettings.brightColor & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(g_DrawSettings.requestedArea.left, 0);
    EXPECT_EQ(g_DrawSettings.requestedArea.top, 0);
    // A string wholly left of the area draws nothing and leaves the area to the next draw.
    DrawStringWithFont(-20, 20, "A", GetScreenColor(255, 255, 255), plain, 0, 0);
    FillBox(0, 40, 14, 41, GetScreenColor(255, 255, 255));
    EXPECT_NE(ScreenPixel(5, 40), 0u);
    SetDrawArea(area.left, area.top, area.right, area.bottom);

    // Anti-aliased text is composed with its alpha and blended once.
    FillMemImgRect(&g_ScreenImages.primary, nullptr, 0);
    SetBlendMode(0, 0);
    SetDrawBrightness(255, 255, 255);
    int smooth = CreateFontToHandle(nullptr, 16, 6, 2, -1, -1, 0, -1, -1);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), smooth, 0, 0);
    EXPECT_GT(static_cast<int>(ScreenPixel(11, 24) >> 16), 200);
    EXPECT_EQ(ScreenPixel(10, 24), 0u);
    // Full levels are opaque: a plain body and a full edge take their colours exactly.
    EXPECT_EQ(ScreenPixel(13, 26), kWhite);
    const int edged = CreateFontToHandle(nullptr, 16, 6, 3, -1, -1, 0, -1, -1);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), edged,
                       GetScreenColor(255, 0, 0), 0);
    EXPECT_EQ(ScreenPixel(11, 25), 0xFF0000u);
    // Multiplied anti-aliased text leaves the mode as it was set.
    SetBlendMode(kMultiplyMode, 200);
    DrawStringWithFont(10, 20, "A", GetScreenColor(255, 255, 255), smooth, 0, 0);
    EXPECT_EQ(g_DrawSettings.blendMode, kMultiplyMode);
    EXPECT_EQ(g_DrawSettings.blendParameter, 200);
}

TEST_F(FontTest, DeviceStringsDrawFromTheCacheTexture) {
    StartGraphics(true);
    int font = CreateFontToHandle(nullptr, 16, 6, 1, -1, 2, 0, -1, -1);
    ASSERT_EQ(Font(font)->usesTextures, 1);
    Recording().ClearCalls();
    SetDrawBrightness(10, 20, 30);
    ASSERT_EQ(DrawStringWithFont(10, 20, "AB", GetScreenColor(255, 255, 255), font,
                                 GetScreenColor(0, 0, 0), 0),
              0);
    ASSERT_EQ(DrawStringWithFont(10, 60, "AB", GetScreenColor(255, 255, 255), font,
                                 GetScreenColor(0, 0, 0), 1),
              0);
    FlushVertexBatch();
    EXPECT_FALSE(Draws().empty());
    EXPECT_EQ(g_DrawSettings.brightColor & 0xFFFFFF, 0x0A141Eu);
    EXPECT_EQ(g_DrawSettings.blendGraph, -1);
    // The front screen as target: a string right of the draw area returns at once.
    Recording().ClearCalls();
    EXPECT_EQ(DrawStringWithFont(700, 20, "AB", 0, font, 0, 0), 0);
    FlushVertexBatch();
    EXPECT_TRUE(Draws().empty());
    // A multiplied string leaves the mode as it was set.
    SetBlendMode(kMultiplyMode, 200);
    ASSERT_EQ(DrawStringWithFont(10, 20, "AB", GetScreenColor(255, 255, 255), font, 0, 0), 0);
    EXPECT_EQ(g_DrawSettings.blendMode, kMultiplyMode);
    EXPECT_EQ(g_DrawSettings.blendParameter, 200);
}

TEST_F(FontTest, SystemFontTextShowsOnTheSoftwareScreen) {
    V_SetGlyphSourceForTest(nullptr);
    StartGraphics(false);
    ClearScreen();
    SetDefaultFontType(3);
    SetDefaultFontSize(32);
    SetDefaultFontThickness(8);
    ASSERT_EQ(DrawStringDefault(40, 340, "START", GetScreenColor(255, 255, 255), 0), 0);
    // Five capitals of a 32-pixel font: a fair share of their box lit, nothing outside it.
    int lit = LitPixels(40, 340, 200, 380);
    EXPECT_GT(lit, 150);
    EXPECT_LT(lit, 160 * 40 / 2);
    EXPECT_EQ(LitPixels(0, 0, 640, 330), 0);
    EXPECT_EQ(LitPixels(0, 390, 640, 480), 0);
    // A game font with a Japanese face name and an edge.
    int font = CreateFontToHandle("MSゴシック", 22, 6, 1, -1, 2, 0, -1, -1);
    ASSERT_GE(font, 0);
    ClearScreen();
    ASSERT_EQ(DrawStringWithFont(10, 10, "123", GetScreenColor(255, 255, 0), font,
                                 GetScreenColor(0, 0, 255), 0),
              0);
    EXPECT_GT(LitPixels(10, 10, 80, 40), 50);
}

TEST_F(FontTest, DeviceStringsUnderABlendGraphDrawPlainGlyphs) {
    StartGraphics(true);
    int font = CreateFontToHandle(nullptr, 16, 6, 1, -1, 2, 0, -1, -1);
    int blend = MakeGraph(64, 64);
    ASSERT_EQ(SetBlendGraph(blend, 100, 20), 0);
    for (int vertical = 0; vertical < 2; ++vertical) {
        Recording().ClearCalls();
        ASSERT_EQ(DrawStringWithFont(10, 20, "AB", GetScreenColor(255, 255, 255), font,
                                     GetScreenColor(0, 0, 0), vertical),
                  0);
        FlushVertexBatch();
        // Edge and body of two glyphs: none vanishes or carries blend coordinates.
        std::vector<std::string> draws = Draws();
        ASSERT_FALSE(draws.empty()) << vertical;
        int triangles = 0;
        for (const std::string& d : draws) {
            EXPECT_EQ(d.substr(d.size() - 4), ",28)") << d;
            triangles += std::stoi(d.substr(d.find(',') + 1));
        }
        EXPECT_EQ(triangles, 8) << vertical;  // edge and body of two glyphs
        // The blend graph is back, on the device too.
        EXPECT_EQ(g_DrawSettings.blendGraph, blend);
        EXPECT_EQ(g_DrawSettings.blendBorder, 100);
        EXPECT_NE(g_RenderStates.blendTexture, nullptr);
    }
}

// The texture uploads and draws of the cache, in the order the device gets them.
std::vector<std::string> UploadsAndDraws(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
        if (c.rfind("Texture::UnlockRect", 0) == 0) out.push_back("upload");
        if (c.rfind("DrawPrimitiveUP", 0) == 0) out.push_back("draw");
    }
    return out;
}

TEST_F(FontTest, NewGlyphsReachTheTextureInOneUploadBeforeTheDraw) {
    StartGraphics(true);
    int plain = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    int edged = CreateFontToHandle(nullptr, 16, 6, 1, -1, 2, 0, -1, -1);
    const uint32_t white = GetScreenColor(255, 255, 255);
    for (int font : {plain, edged}) {
        FlushVertexBatch();
        Recording().ClearCalls();
        // Three strings of new glyphs, and one of cached ones, make one upload.
        ASSERT_EQ(DrawStringWithFont(10, 20, "ABCDEFGH", white, font, 0, 0), 0);
        ASSERT_EQ(DrawStringWithFont(10, 40, "IJKL", white, font, 0, 0), 0);
        ASSERT_EQ(DrawStringWithFont(10, 60, "MNOP", white, font, 0, 1), 0);
        ASSERT_EQ(DrawStringWithFont(10, 80, "ABC", white, font, 0, 0), 0);
        FlushVertexBatch();
        std::vector<std::string> seen = UploadsAndDraws(Recording().calls);
        if (font == plain) {
            EXPECT_EQ(seen, (std::vector<std::string>{"upload", "draw"}));
        } else {
            // Edge and body tints part the batch glyph by glyph: one upload per string in each
            // half of the cache (bodies left, edges right), not one over both halves.
            EXPECT_EQ(std::count(seen.begin(), seen.end(), "upload"), 6);
            EXPECT_EQ(seen.front(), "upload");
        }
    }
}

TEST_F(FontTest, ACellDrawnButNotYetFlushedIsDrawnBeforeItIsOverwritten) {
    StartGraphics(true);
    int font = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    Font(font)->capacity = 4;
    ClearGlyphCache(font);
    const uint32_t white = GetScreenColor(255, 255, 255);
    FlushVertexBatch();
    Recording().ClearCalls();
    ASSERT_EQ(DrawStringWithFont(10, 20, "ABCD", white, font, 0, 0), 0);
    // The next four glyphs take the same four cells: the pending quads go out first.
    ASSERT_EQ(DrawStringWithFont(10, 40, "EFGH", white, font, 0, 0), 0);
    FlushVertexBatch();
    EXPECT_EQ(UploadsAndDraws(Recording().calls),
              (std::vector<std::string>{"upload", "draw", "upload", "draw"}));
}

// Glyph pixels past the last advance (an italic overhang) are drawn like every other glyph pixel,
// also through the software work image and in vertical text.
TEST_F(FontTest, SoftwareWorkImageHoldsEveryGlyphPixel) {
    glyphs.overhang = 6;  // 12 x 10 glyphs on an advance of 8
    StartGraphics(false);
    const uint32_t white = GetScreenColor(255, 255, 255);
    const int plain = CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0, -1, -1);
    const int smooth = CreateFontToHandle(nullptr, 16, 6, 2, -1, -1, 0, -1, -1);
    for (int vertical : {0, 1})
        for (int font : {plain, smooth})
            for (int mode : {0, 1}) {  // mode 1 sends plain text through the work image too
                SCOPED_TRACE(testing::Message() << "vertical " << vertical << " font " << font
                                                << " mode " << mode);
                ClearScreen();
                SetBlendMode(mode, 255);
                ASSERT_EQ(DrawStringWithFont(100, 100, "A", white, font, 0, vertical), 0);
                SetBlendMode(0, 0);
                EXPECT_EQ(LitPixels(60, 60, 160, 160), 120);
            }
}
