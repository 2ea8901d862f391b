// Mask handles, the mask screen and the masked-draw bracket on the software screen and on the
// recording device.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "draw/mask.h"
#include "draw_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;

TEST(MaskHandles, KindCheckNumberBoundsAndFreedSlots) {
    DeleteAllMasks();
    int a = MakeMask(10, 5);
    int b = MakeMask(3, 3);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(a & 0x78000000, 0x40000000);
    EXPECT_NE(a, b);
    const MaskRecord* record = GetMaskRecord(a);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->pitch, 12);  // rows of whole words
    EXPECT_EQ(g_MaskTable.count, 2);
    for (int i = 0; i < 12 * 5; ++i) EXPECT_EQ(record->data[i], 0);

    // Another kind, a negative value, a stale check number and a slot past the table.
    EXPECT_EQ(GetMaskRecord((a & ~0x78000000) | kGraphHandleKind), nullptr);
    EXPECT_EQ(GetMaskRecord(-1), nullptr);
    EXPECT_EQ(GetMaskRecord(a ^ 0x00010000), nullptr);
    EXPECT_EQ(DeleteMask(a ^ 0x00010000), -1);
    uint32_t check = (static_cast<uint32_t>(a) >> 16) & 0x7FF;
    EXPECT_EQ(DeleteMask(MakeHandle(check, kMaskHandleKind, 512)), -1);
    EXPECT_EQ(DeleteMask(MakeHandle(check, kMaskHandleKind, 0xFFFF)), -1);

    // A freed record refuses its handle; its slot comes back with another check number.
    EXPECT_EQ(DeleteMask(a), 0);
    EXPECT_EQ(DeleteMask(a), -1);
    EXPECT_EQ(g_MaskTable.count, 1);
    int c = MakeMask(4, 4);
    EXPECT_EQ(c & 0xFFFF, a & 0xFFFF);
    EXPECT_NE(c, a);
    EXPECT_EQ(GetMaskRecord(a), nullptr);
    EXPECT_NE(GetMaskRecord(c), nullptr);

    EXPECT_EQ(MakeMask(0, 4), -1);
    EXPECT_EQ(MakeMask(4, -1), -1);

    // The table holds 512 masks; the 513th is refused, and DeleteAllMasks empties it.
    int32_t blocksBefore = 0, sizeBefore = 0;
    std::vector<int> handles;
    for (int made; (made = MakeMask(2, 2)) >= 0;) handles.push_back(made);
    EXPECT_EQ(static_cast<int>(handles.size()), 512 - 2);
    EXPECT_EQ(g_MaskTable.count, 512);
    EXPECT_EQ(DeleteAllMasks(), 0);
    EXPECT_EQ(g_MaskTable.count, 0);
    EXPECT_EQ(GetMaskRecord(b), nullptr);
    GetAllocationTotals(&sizeBefore, &blocksBefore);
    int d = MakeMask(8, 8);
    DeleteMask(d);
    int32_t blocksAfter = 0, sizeAfter = 0;
    GetAllocationTotals(&sizeAfter, &blocksAfter);
    EXPECT_EQ(blocksAfter, blocksBefore);
}

class MaskDrawTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        SetMaskScreenReverse(0);
    }
    // A mask whose left half of (x, y, w, h) is 0 and right half 1.
    static void WriteHalfMask(int x, int y, int w, int h) {
        std::vector<uint8_t> bytes(static_cast<size_t>(w * h));
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) bytes[row * w + col] = col < w / 2 ? 0 : 1;
        ASSERT_EQ(WriteMaskScreenRect(x, y, w, h, bytes.data(), w), 0);
    }
    static void FillScreen(int x1, int y1, int x2, int y2, uint32_t rgb) {
        V_RECT r{x1, y1, x2, y2};
        FillMemImgRect(&g_ScreenImages.primary, &r,
                       GetScreenColor(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
    }
};

TEST_F(MaskDrawTest, WithoutAMaskScreenDrawsGoStraightToTheTarget) {
    StartGraphics(false);
    EXPECT_EQ(GetUseMaskScreen(), 1);
    EXPECT_EQ(g_MaskScreen.active, 0);
    // No buffer: the switch is refused and nothing changes.
    EXPECT_EQ(SetUseMaskScreen(0), -1);
    EXPECT_EQ(SetUseMaskScreen(1), -1);
    EXPECT_EQ(GetUseMaskScreen(), 1);
    EXPECT_EQ(g_MaskScreen.active, 0);
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_ScreenImages.primary);
    EXPECT_EQ(CreateMaskScreen(0), 0);  // not wanted: nothing made
    EXPECT_EQ(g_MaskScreen.buffer, nullptr);
    ClearScreen();
    ASSERT_EQ(FillBox(10, 10, 20, 20, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(10, 10), kRed);
    EXPECT_EQ(ScreenPixel(19, 19), kRed);
    EXPECT_EQ(ScreenPixel(20, 20), 0u);
    // The bracket itself does nothing while inactive.
    EXPECT_EQ(BeginMaskedDraw(0, 0, 100, 100), 0);
    EXPECT_EQ(EndMaskedDraw(0, 0, 100, 100), 0);
    EXPECT_EQ(ScreenPixel(10, 10), kRed);
}

TEST_F(MaskDrawTest, SoftwareCompositionFollowsTheMask) {
    StartGraphics(false);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_NE(g_MaskScreen.buffer, nullptr);
    EXPECT_EQ(g_MaskScreen.pitch, 640);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    EXPECT_EQ(g_MaskScreen.active, 1);
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_MaskScreen.image);

    ClearScreen();
    FillScreen(0, 0, 640, 480, kBlue);
    WriteHalfMask(10, 10, 20, 20);
    ASSERT_EQ(FillBox(5, 5, 35, 35, GetScreenColor(255, 0, 0)), 0);
    // Outside the mask's rectangle the mask is 0 (drawn); inside, the right half keeps blue.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inBox = x >= 5 && x < 35 && y >= 5 && y < 35;
            bool blocked = x >= 20 && x < 30 && y >= 10 && y < 30;
            uint32_t want = inBox && !blocked ? kRed : kBlue;
            ASSERT_EQ(ScreenPixel(x, y), want) << x << "," << y;
        }

    // Reversed: only the pixels whose mask byte is not 0 are drawn.
    FillScreen(0, 0, 640, 480, kBlue);
    SetMaskScreenReverse(1);
    ASSERT_EQ(FillBox(5, 5, 35, 35, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(25, 15), kRed);
    EXPECT_EQ(ScreenPixel(15, 15), kBlue);
    EXPECT_EQ(ScreenPixel(6, 6), kBlue);
    SetMaskScreenReverse(0);

    // A graph draw and a line go through the same bracket.
    WriteBmp("red.bmp", 16, 16, [](int, int) { return Rgb{255, 0, 0}; });
    int graph = LoadGraphHandle("red.bmp", 0);
    ASSERT_GE(graph, 0);
    FillScreen(0, 0, 640, 480, kBlue);
    ASSERT_EQ(DrawGraphAt(14, 12, graph, 0), 0);
    EXPECT_EQ(ScreenPixel(14, 12), kRed);
    EXPECT_EQ(ScreenPixel(19, 27), kRed);
    EXPECT_EQ(ScreenPixel(20, 12), kBlue);
    EXPECT_EQ(ScreenPixel(29, 27), kBlue);
    EXPECT_EQ(ScreenPixel(30, 12), kBlue);  // outside the graph
    // So does a rotated draw (here unturned at scale one, over the same pixels).
    FillScreen(0, 0, 640, 480, kBlue);
    ASSERT_EQ(DrawGraphRotated(22, 20, 1.0, 0.0, graph, 0, 0), 0);
    EXPECT_EQ(ScreenPixel(14, 12), kRed);
    EXPECT_EQ(ScreenPixel(19, 27), kRed);
    EXPECT_EQ(ScreenPixel(20, 12), kBlue);
    EXPECT_EQ(ScreenPixel(29, 27), kBlue);
    EXPECT_EQ(ScreenPixel(30, 12), kBlue);
    FillScreen(0, 0, 640, 480, kBlue);
    ASSERT_EQ(DrawLineShape(0, 20, 40, 20, GetScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(ScreenPixel(19, 20), kRed);
    EXPECT_EQ(ScreenPixel(20, 20), kBlue);
    EXPECT_EQ(ScreenPixel(35, 20), kRed);

    // A mask all zero lets the whole draw through.
    std::vector<uint8_t> zero(20 * 20, 0);
    WriteMaskScreenRect(10, 10, 20, 20, zero.data(), 20);
    FillScreen(0, 0, 640, 480, kBlue);
    ASSERT_EQ(FillBox(5, 5, 35, 35, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(25, 15), kRed);
    EXPECT_EQ(ScreenPixel(34, 34), kRed);
    EXPECT_EQ(ScreenPixel(35, 35), kBlue);

    // A target with alpha: the draws write its alpha as they do unmasked, where the mask lets them.
    SetCreateDrawValidGraphFlag(1);
    SetMakeGraphAlphaFlag(1);
    const int layer = MakeGraph(40, 40);
    SetMakeGraphAlphaFlag(0);
    SetCreateDrawValidGraphFlag(0);
    ASSERT_EQ(SetDrawTarget(layer), 0);
    WriteHalfMask(10, 10, 20, 20);
    SetBlendMode(1, 128);
    ASSERT_EQ(FillBox(5, 5, 35, 35, GetScreenColor(255, 0, 0)), 0);
    SetBlendMode(0, 255);
    const MEMIMG& layerView = GetGraphRecord(layer)->view;
    auto alphaAt = [&](int x, int y) { return layerView.pixels[layerView.base->pitch * y + 4 * x + 2]; };
    EXPECT_EQ(alphaAt(15, 15), 64);  // 128 * 128 / 255 onto alpha 0
    EXPECT_EQ(alphaAt(25, 15), 0);   // held back by the mask
}

// Strings whose edge or turn reaches past the font size still draw every pixel through an
// all-zero mask: the masked bracket covers the whole string.
TEST_F(MaskDrawTest, AllZeroMaskKeepsEveryPixelOfEdgedAndVerticalStrings) {
    StartGraphics(false);
    struct Case {
        int type, edge, vertical;
    };
    const Case cases[] = {{1, 2, 0}, {1, 3, 0}, {1, 4, 0}, {1, 3, 1}, {3, 2, 1}, {2, -1, 1}};
    auto picture = [](int font, int vertical) {
        ClearScreen();
        EXPECT_EQ(DrawStringWithFont(40, 40, "Wgjpqy _|MW", GetScreenColor(255, 255, 255), font,
                                     GetScreenColor(255, 0, 0), vertical),
                  0);
        std::vector<uint32_t> p;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) p.push_back(ScreenPixel(x, y));
        return p;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " edge " << c.edge << " vertical "
                                        << c.vertical);
        const int font = CreateFontToHandle(nullptr, 20, -1, c.type, -1, c.edge, 0, -1, -1);
        ASSERT_GE(font, 0);
        std::vector<uint32_t> plain = picture(font, c.vertical);
        ASSERT_EQ(CreateMaskScreen(1), 0);
        ASSERT_EQ(SetUseMaskScreen(1), 0);
        std::vector<uint32_t> masked = picture(font, c.vertical);
        ASSERT_EQ(SetUseMaskScreen(0), 0);
        int drawn = 0, lost = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            drawn += plain[i] != 0;
            if (masked[i] != plain[i] && lost++ < 3)
                ADD_FAILURE() << "pixel (" << i % 640 << ", " << i / 640 << ") is " << std::hex
                              << masked[i] << " not " << plain[i];
        }
        EXPECT_GT(drawn, 200);
        EXPECT_EQ(lost, 0);
        ReleaseFont(font);
    }
}

TEST_F(MaskDrawTest, DrawTargetChangesKeepDrawingOnTheMaskScreen) {
    StartGraphics(false);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    SetCreateDrawValidGraphFlag(1);
    int target = MakeGraph(32, 32);
    SetCreateDrawValidGraphFlag(0);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    EXPECT_EQ(GetUseMaskScreen(), 1);
    EXPECT_EQ(g_MaskScreen.active, 1);
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_MaskScreen.image);

    const GraphRecord* record = GetGraphRecord(target);
    ASSERT_NE(record, nullptr);
    FillMemImgRect(const_cast<MEMIMG*>(&record->view), nullptr, GetScreenColor(0, 0, 255));
    WriteHalfMask(0, 0, 32, 32);
    ASSERT_EQ(FillBox(0, 0, 32, 32, GetScreenColor(255, 0, 0)), 0);
    auto pixel = [&](int x, int y) {
        return *reinterpret_cast<const uint16_t*>(record->view.pixels + y * record->view.base->pitch +
                                                  x * 2);
    };
    EXPECT_EQ(pixel(0, 0), GetScreenColor(255, 0, 0));
    EXPECT_EQ(pixel(15, 31), GetScreenColor(255, 0, 0));
    EXPECT_EQ(pixel(16, 0), GetScreenColor(0, 0, 255));
    EXPECT_EQ(pixel(31, 31), GetScreenColor(0, 0, 255));

    // Switched off, drawing goes to the graph itself; on again, to the mask screen.
    ASSERT_EQ(SetUseMaskScreen(0), 0);
    EXPECT_EQ(g_MaskScreen.active, 0);
    EXPECT_EQ(g_ScreenImages.drawSurface, &record->view);
    ASSERT_EQ(FillBox(0, 0, 32, 32, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(pixel(31, 31), GetScreenColor(255, 0, 0));
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    ASSERT_EQ(SetDrawTarget(-4), 0);
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_MaskScreen.image);
}

TEST_F(MaskDrawTest, GraphicsEndFreesTheMaskScreenAndEveryMask) {
    int32_t blocksBefore = 0, size = 0;
    GetAllocationTotals(&size, &blocksBefore);
    StartGraphics(false);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    ASSERT_GE(MakeMask(16, 16), 0);
    ASSERT_GE(MakeMask(640, 480), 0);
    ASSERT_EQ(EndGraphics(), 0);
    EXPECT_EQ(g_MaskScreen.buffer, nullptr);
    EXPECT_EQ(g_MaskScreen.made, 0);
    EXPECT_EQ(g_MaskScreen.active, 0);
    EXPECT_EQ(IsMemImgValid(&g_MaskScreen.image), 0);
    EXPECT_EQ(g_MaskTable.count, 0);
    int32_t blocksAfter = 0;
    GetAllocationTotals(&size, &blocksAfter);
    EXPECT_EQ(blocksAfter, blocksBefore);
}

TEST_F(MaskDrawTest, DeviceBracketCopiesDrawsAndComposesThroughTheMaskTexture) {
    StartGraphics(true);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    auto textures = Recording().CallsStartingWith("CreateTexture");
    ASSERT_EQ(textures.size(), 2u);
    // Powers of two over 640 x 480; the image texture managed, the screen texture a target.
    EXPECT_EQ(textures[0].rfind("CreateTexture(1024,512,1,0,", 0), 0u) << textures[0];
    EXPECT_EQ(textures[1].rfind("CreateTexture(1024,512,1,1,", 0), 0u) << textures[1];
    EXPECT_TRUE(textures[0].find(",1)") != std::string::npos) << textures[0];
    ASSERT_NE(g_MaskScreen.screenSurface, nullptr);

    ASSERT_EQ(SetUseMaskScreen(1), 0);
    EXPECT_EQ(g_RenderStates.renderTarget, g_MaskScreen.screenSurface);
    std::vector<uint8_t> ones(8 * 8, 1);
    ASSERT_EQ(WriteMaskScreenRect(0, 0, 8, 8, ones.data(), 8), 0);
    EXPECT_EQ(g_MaskScreen.buffer[7 * g_MaskScreen.pitch + 7], 1);

    FlushVertexBatch();
    Recording().ClearCalls();
    ASSERT_EQ(FillBox(10, 10, 20, 20, GetScreenColor(255, 0, 0)), 0);
    const auto& calls = Calls();
    std::string mask = V_RecordingName(g_MaskScreen.screenSurface);
    std::string back = V_RecordingName(GetScreenTargetSurface());
    auto at = [&](const std::string& prefix, size_t from = 0) {
        for (size_t i = from; i < calls.size(); ++i)
            if (calls[i].rfind(prefix, 0) == 0) return i;
        return calls.size();
    };
    size_t copy = at("StretchRect(" + back + "," + mask + ",0)");
    size_t box = at("DrawPrimitiveUP", copy);
    size_t toBack = at("SetRenderTarget(0," + back + ")", box);
    size_t alphaTest = at(RenderState(V_D3DRS_ALPHAFUNC, V_D3DCMP_EQUAL), toBack);
    size_t compose = at("DrawPrimitiveUP(5,2", alphaTest);
    size_t toMask = at("SetRenderTarget(0," + mask + ")", compose);
    ASSERT_LT(copy, calls.size());
    ASSERT_LT(box, calls.size());
    ASSERT_LT(toBack, calls.size());
    ASSERT_LT(alphaTest, calls.size());
    ASSERT_LT(compose, calls.size());
    ASSERT_LT(toMask, calls.size());
    EXPECT_EQ(g_RenderStates.renderTarget, g_MaskScreen.screenSurface);
    EXPECT_EQ(g_RenderStates.installedInUse, 0);
    // The compose binds the screen texture to stage 0 and the mask texture to stage 1.
    std::string screenTexture = V_RecordingName(g_MaskScreen.screenTexture);
    std::string imageTexture = V_RecordingName(g_MaskScreen.imageTexture);
    EXPECT_LT(at("SetTexture(0," + screenTexture + ")", toBack), compose);
    EXPECT_LT(at("SetTexture(1," + imageTexture + ")", toBack), compose);

    // The next plain draw gets its own stage set-up back.
    Recording().ClearCalls();
    ASSERT_EQ(SetUseMaskScreen(0), 0);
    EXPECT_EQ(g_RenderStates.renderTarget, GetScreenTargetSurface());
    ASSERT_EQ(FillBox(10, 10, 20, 20, GetScreenColor(255, 0, 0)), 0);
    FlushVertexBatch();
    EXPECT_TRUE(Called("SetTexture(0,null)"));
    EXPECT_TRUE(Called("SetTexture(1,null)"));
    EXPECT_EQ(Recording().CallsStartingWith("StretchRect").size(), 0u);
}

TEST_F(MaskDrawTest, DeviceRecreationMakesTheMaskScreenAgain) {
    StartGraphics(true);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    std::vector<uint8_t> ones(4 * 4, 1);
    ASSERT_EQ(WriteMaskScreenRect(2, 2, 4, 4, ones.data(), 4), 0);
    Recording().ClearCalls();
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("CreateTexture(1024,512,1,").size(), 2u);
    ASSERT_NE(g_MaskScreen.buffer, nullptr);
    // The mask bytes outlive the device's objects.
    EXPECT_EQ(g_MaskScreen.buffer[3 * g_MaskScreen.pitch + 3], 1);
    EXPECT_EQ(g_MaskScreen.buffer[1 * g_MaskScreen.pitch + 1], 0);
    EXPECT_EQ(g_MaskScreen.active, 1);
    EXPECT_EQ(g_RenderStates.renderTarget, g_MaskScreen.screenSurface);
    EXPECT_EQ(EndGraphics(), 0);
    EXPECT_EQ(g_MaskScreen.imageTexture, nullptr);
    EXPECT_EQ(g_MaskScreen.screenTexture, nullptr);
}

}  // namespace
