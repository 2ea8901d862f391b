// Draw target, presenting, screen pixel access and device re-creation on the recording device
// and on the software screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "draw/draw.h"
#include "draw/mask.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "core/library_state.h"
#include "core/window.h"
#include "platform/gdi/gdi_present.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "platform/user/user_internal.h"

namespace {

class ScreenTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        g_GraphTable = {};
        g_ScreenImages = {};
        g_ScreenState = {};
        g_Library.initialised = 1;
        g_Window.settings.windowed = 1;
        g_Window.quit = 0;  // an earlier test's run may have ended with the quit message
        SetScale(1.0);
    }
    void TearDown() override {
        EndGraphics();
        SetScale(1.0);
        g_Library.initialised = 0;
        g_GraphTable = {};
        RecordingDeviceTest::TearDown();
    }
    void StartGraphics(bool device) {
        if (!device) g_ScreenSettings.softwareForced = 1;
        ASSERT_EQ(InitGraphics(), 0);
        ASSERT_EQ(g_ScreenSettings.useDirect3D, device ? 1 : 0);
        Recording().ClearCalls();
    }
    static void SetScale(double scale) {
        g_Window.settings.scaleX = scale;
        g_Window.settings.scaleY = scale;
    }
    static int CountPrefix(const std::string& prefix) {
        return static_cast<int>(Recording().CallsStartingWith(prefix).size());
    }
};

TEST_F(ScreenTest, DrawTargetToDrawableGraphAndBack) {
    StartGraphics(true);
    EXPECT_EQ(GetDrawTarget(), -4);
    int plain = MakeGraph(100, 50);
    EXPECT_EQ(SetDrawTarget(plain), -1);
    g_DrawSettings.drawableGraphs = 1;
    int target = MakeGraph(100, 50);
    g_DrawSettings.drawableGraphs = 0;
    ASSERT_GE(target, 0);
    Recording().ClearCalls();
    ASSERT_EQ(SetDrawTarget(target), 0);
    EXPECT_EQ(CountPrefix("SetRenderTarget"), 1);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 50);
    // The camera looks along +z from the middle of the target.
    Matrix4 view;
    std::memcpy(&view, &g_DrawSettings.viewMatrix, sizeof view);
    Vector3 eye{50.0f, 25.0f, -25.0f / 0.57735026f};
    Vector3 seen;
    TransformPoint(&seen, &eye, &view);
    EXPECT_NEAR(seen.x, 0.0f, 1e-3);
    EXPECT_NEAR(seen.y, 0.0f, 1e-3);
    EXPECT_NEAR(seen.z, 0.0f, 1e-3);
    ASSERT_EQ(SetDrawTarget(-4), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 640);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 480);
    DeleteGraph(target);
    EXPECT_EQ(SetDrawTarget(target), -1);
    EXPECT_EQ(GetDrawTarget(), -4);
}

// Deleting the graph (or the mask screen) that drawing goes to sends drawing back to the screen:
// nothing may reach the freed record, nor a newer graph that takes its place.
TEST_F(ScreenTest, DeletingTheDrawTargetReturnsToTheScreen) {
    StartGraphics(false);
    g_DrawSettings.drawableGraphs = 1;
    int first = MakeGraph(100, 50);
    ASSERT_EQ(SetDrawTarget(first), 0);
    ASSERT_EQ(DeleteGraph(first), 0);
    EXPECT_EQ(GetDrawTarget(), -2);
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_ScreenImages.primary);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 640);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 480);
    int second = MakeGraph(100, 50);
    g_DrawSettings.drawableGraphs = 0;
    FillGraphColor(second, 0, 0, 255, 255);
    const uint32_t red = GetScreenColor(255, 0, 0);
    ASSERT_EQ(FillBox(0, 0, 10, 10, red), 0);
    const GraphRecord* record = GetGraphRecord(second);
    ASSERT_NE(record, nullptr);
    uint16_t inGraph = 0;
    uint16_t onScreen = 0;
    std::memcpy(&inGraph, record->view.pixels, 2);
    std::memcpy(&onScreen, g_ScreenImages.primary.pixels, 2);
    EXPECT_EQ(inGraph, 0x001Fu);
    EXPECT_EQ(onScreen, 0xF800u);

    // The mask screen, released while drawing goes to it: drawing goes to the draw target again,
    // and the restore points it back at the mask screen.
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    ASSERT_EQ(g_ScreenImages.drawSurface, &g_MaskScreen.image);
    ReleaseMaskScreen();
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_ScreenImages.primary);
    EXPECT_EQ(FillBox(20, 0, 30, 10, red), 0);
    std::memcpy(&onScreen, g_ScreenImages.primary.pixels + 2 * 20, 2);
    EXPECT_EQ(onScreen, 0xF800u);
    RestoreMaskScreen();
    EXPECT_EQ(g_ScreenImages.drawSurface, &g_MaskScreen.image);
}

TEST_F(ScreenTest, DeletingTheDeviceDrawTargetReturnsToTheBackBuffer) {
    StartGraphics(true);
    g_DrawSettings.drawableGraphs = 1;
    int graph = MakeGraph(100, 50);
    g_DrawSettings.drawableGraphs = 0;
    ASSERT_EQ(SetDrawTarget(graph), 0);
    ASSERT_NE(g_RenderStates.renderTarget, GetScreenTargetSurface());
    ASSERT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(GetDrawTarget(), -2);
    EXPECT_EQ(g_RenderStates.renderTarget, GetScreenTargetSurface());
    EXPECT_EQ(g_DrawSettings.drawArea.right, 640);
    EXPECT_EQ(FillBox(0, 0, 10, 10, 0xFFFFFF), 0);
}

// The background colour fills the whole draw target, whatever the draw area; the device clears
// its depth buffer over the whole target and keeps the draw area's viewport.
TEST_F(ScreenTest, ClearDrawScreenFillsTheTargetWithTheBackground) {
    g_Window.settings.backgroundColor = 0x00FF0000;  // blue, stored as 0x00BBGGRR
    StartGraphics(false);
    FillMemImgRect(&g_ScreenImages.primary, nullptr, 0xFFFF);
    SetDrawArea(10, 10, 20, 20);
    EXPECT_EQ(ClearDrawScreen(), 0);
    uint16_t corner = 0;
    std::memcpy(&corner, g_ScreenImages.primary.pixels, 2);
    EXPECT_EQ(corner, 0x001Fu);
    SetDrawArea(0, 0, 640, 480);
    int graph = MakeGraph(8, 4);
    FillGraphColor(graph, 255, 255, 255, 255);
    g_DrawSettings.drawableGraphs = 1;
    int target = MakeGraph(8, 4);
    g_DrawSettings.drawableGraphs = 0;
    FillGraphColor(target, 255, 255, 255, 255);
    ASSERT_EQ(SetDrawTarget(target), 0);
    EXPECT_EQ(ClearDrawScreen(), 0);
    const GraphRecord* record = GetGraphRecord(target);
    uint16_t last = 0;
    std::memcpy(&last, record->view.pixels + 3 * record->view.base->pitch + 2 * 7, 2);
    EXPECT_EQ(last, 0x001Fu);
    std::memcpy(&last, GetGraphRecord(graph)->view.pixels, 2);
    EXPECT_EQ(last, 0xFFFFu);
    EndGraphics();
    g_ScreenSettings.softwareForced = 0;

    StartGraphics(true);
    SetDrawArea(10, 10, 20, 20);
    Recording().ClearCalls();
    EXPECT_EQ(ClearDrawScreen(), 0);
    const std::string back = V_RecordingName(GetScreenTargetSurface());
    EXPECT_TRUE(Called("ColorFill(" + back + ",000000ff)"));
    EXPECT_TRUE(Called("Clear(0,2,00000000,1,0)"));
    EXPECT_EQ(g_RenderStates.viewport.X, 10u);
    EXPECT_EQ(g_RenderStates.viewport.Width, 10u);

    // A device re-created after a loss starts from the background colour, not from black.
    Recording().deviceLost = true;
    Recording().ClearCalls();
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    Recording().deviceLost = false;
    EXPECT_EQ(Recording().CallsStartingWith("ColorFill").size(), 2u);
    EXPECT_FALSE(Called("Clear(0,1,00000000,1,0)"));
    g_Window.settings.backgroundColor = 0;
}

// The software screen starts in the background colour; a new software graph starts zeroed even
// where a deleted graph's pixels were.
TEST_F(ScreenTest, SoftwareScreenAndGraphsStartClean) {
    g_Window.settings.backgroundColor = 0x0000FF00;  // green
    StartGraphics(false);
    const MEMIMG& screen = g_ScreenImages.primary;
    uint16_t first = 0, last = 0;
    std::memcpy(&first, screen.pixels, 2);
    std::memcpy(&last, screen.pixels + 479 * screen.base->pitch + 2 * 639, 2);
    EXPECT_EQ(first, 0x07E0u);
    EXPECT_EQ(last, 0x07E0u);
    g_Window.settings.backgroundColor = 0;

    for (int round = 0; round < 4; ++round) {
        int old = MakeGraph(64, 64);
        FillGraphColor(old, 255, 255, 255, 255);
        DeleteGraph(old);
        int fresh = MakeGraph(64, 64);
        const MEMIMG& view = GetGraphRecord(fresh)->view;
        int nonZero = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                uint16_t pixel = 0;
                std::memcpy(&pixel, view.pixels + y * view.base->pitch + 2 * x, 2);
                nonZero += pixel != 0;
            }
        EXPECT_EQ(nonZero, 0) << "round " << round;
        DeleteGraph(fresh);
    }
}

// The draw area is bounded by the draw target, not by the screen; a target that is no longer a
// graph refuses it.
TEST_F(ScreenTest, DrawAreaIsClampedToTheDrawTarget) {
    StartGraphics(true);
    g_DrawSettings.drawableGraphs = 1;
    int graph = MakeGraph(100, 50);
    g_DrawSettings.drawableGraphs = 0;
    ASSERT_EQ(SetDrawTarget(graph), 0);
    EXPECT_EQ(SetDrawArea(0, 0, 640, 480), 0);
    const V_RECT& area = g_DrawSettings.drawArea;
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.top, 0);
    EXPECT_EQ(area.right, 100);
    EXPECT_EQ(area.bottom, 50);
    EXPECT_EQ(g_RenderStates.viewport.Width, 100u);
    EXPECT_EQ(g_RenderStates.viewport.Height, 50u);
    EXPECT_EQ(SetDrawArea(-5, 60, 30, 10), 0);
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.top, 10);
    EXPECT_EQ(area.right, 30);
    EXPECT_EQ(area.bottom, 50);
    g_DrawSettings.drawTarget = graph + 1;  // a stale or foreign handle
    EXPECT_EQ(SetDrawArea(0, 0, 10, 10), -1);
    g_DrawSettings.drawTarget = graph;
    ASSERT_EQ(SetDrawTarget(-2), 0);
    EXPECT_EQ(SetDrawArea(0, 0, 9999, 9999), 0);
    EXPECT_EQ(area.right, 640);
    EXPECT_EQ(area.bottom, 480);
}

// On the software path a graph is filled as a box is drawn: inside the draw area, under the blend
// mode and the bright colour.
TEST_F(ScreenTest, SoftwareFillGraphColorDrawsABox) {
    StartGraphics(false);
    int graph = MakeGraph(8, 2);
    const MEMIMG& view = GetGraphRecord(graph)->view;
    auto at = [&](int x, int y) {
        uint16_t pixel = 0;
        std::memcpy(&pixel, view.pixels + y * view.base->pitch + 2 * x, 2);
        return pixel;
    };
    ASSERT_EQ(FillGraphColor(graph, 0, 0, 255, 255), 0);
    EXPECT_EQ(at(0, 0), 0x001Fu);
    SetDrawArea(2, 0, 640, 480);
    SetBlendMode(2, 255);  // add
    ASSERT_EQ(FillGraphColor(graph, 255, 0, 0, 255), 0);
    EXPECT_EQ(at(1, 1), 0x001Fu);
    EXPECT_EQ(at(2, 0), 0xF81Fu);
    EXPECT_EQ(at(7, 1), 0xF81Fu);
    SetBlendMode(0, 0);
    SetDrawArea(0, 0, 640, 480);
    SetDrawBrightness(0, 255, 255);
    ASSERT_EQ(FillGraphColor(graph, 255, 255, 255, 255), 0);
    EXPECT_EQ(at(0, 0), 0x07DEu);  // the kernels scale a channel by bright * value >> 8
    SetDrawBrightness(255, 255, 255);
}

TEST_F(ScreenTest, PresentRectangles) {
    StartGraphics(true);
    PresentRects rects;
    SetScale(1.5);
    ComputePresentRects(&rects);
    EXPECT_EQ(rects.doubled, 0);
    EXPECT_EQ(rects.destination.right, 960);
    EXPECT_EQ(rects.destination.bottom, 720);
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(CountPrefix("SwapChain::Present"), 1);

    // 320 x 240 emulation: the top-left quarter shown doubled, through the sub back buffer
    // with point filtering.
    SetEmulation320x240(1);
    ComputePresentRects(&rects);
    EXPECT_EQ(rects.doubled, 1);
    EXPECT_EQ(rects.source.right, 320);
    EXPECT_EQ(rects.source.bottom, 240);
    EXPECT_EQ(rects.destination.right, 640);
    EXPECT_EQ(rects.destination.bottom, 480);
    Recording().ClearCalls();
    EXPECT_EQ(PresentScreen(), 0);
    auto stretches = Recording().CallsStartingWith("StretchRect");
    ASSERT_FALSE(stretches.empty());
    EXPECT_EQ(stretches.back().back(), ')');
    EXPECT_NE(stretches.back().find(",1)"), std::string::npos);
    // Point filtering refused: the copy goes again without filtering.
    Recording().failing.insert("StretchRect");
    EXPECT_EQ(PresentScreen(), -1);
    Recording().failing.clear();
    SetEmulation320x240(0);
}

TEST_F(ScreenTest, SoftwareScreenPixelsAndCopyToGraph) {
    StartGraphics(false);
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(255, 0, 0));
    ImageRecord pixels{};
    V_RECT bad{10, 10, 10, 20};
    EXPECT_EQ(LockScreenPixels(&bad, &pixels), -1);
    V_RECT edge{600, 0, 640, 480};
    ASSERT_EQ(LockScreenPixels(&edge, &pixels), 0);
    EXPECT_EQ(pixels.width, 40);
    EXPECT_EQ(GetImagePixelArgb(&pixels, 39, 479) & 0xF8F8F8, 0xF80000u);
    UnlockScreenPixels();

    g_DrawSettings.drawableGraphs = 1;
    int graph = MakeGraph(32, 16);
    g_DrawSettings.drawableGraphs = 0;
    EXPECT_EQ(CopyScreenRectToGraph(0, 0, 32, 17, graph), -1);
    ASSERT_EQ(CopyScreenRectToGraph(100, 100, 132, 116, graph), 0);
    ASSERT_EQ(SetDrawTarget(graph), 0);
    V_RECT all{0, 0, 32, 16};
    ASSERT_EQ(LockScreenPixels(&all, &pixels), 0);
    EXPECT_EQ(GetImagePixelArgb(&pixels, 31, 15) & 0xF8F8F8, 0xF80000u);
    UnlockScreenPixels();
    // A software graph is filled with the screen colour.
    FillGraphColor(graph, 0, 0, 255, 255);
    ASSERT_EQ(LockScreenPixels(&all, &pixels), 0);
    EXPECT_EQ(GetImagePixelArgb(&pixels, 0, 0) & 0xF8F8F8, 0x0000F8u);
    UnlockScreenPixels();
    // A copy forgets the file of every graph showing its rectangle, and of no other.
    ASSERT_EQ(SetDrawTarget(-2), 0);
    ASSERT_EQ(SetGraphFileName(graph, "pic.bmp", -1), 0);
    const int left = CreateSubGraph(0, 0, 16, 16, graph);
    const int right = CreateSubGraph(16, 0, 16, 16, graph);
    ASSERT_EQ(CopyScreenRectToGraph(0, 0, 16, 16, left), 0);
    EXPECT_EQ(GetGraphRecord(graph)->fileName, nullptr);
    EXPECT_EQ(GetGraphRecord(left)->fileName, nullptr);
    EXPECT_NE(GetGraphRecord(right)->fileName, nullptr);
}

TEST_F(ScreenTest, DeviceScreenLockGoesThroughCopyWhenNotLockable) {
    StartGraphics(true);
    V_RECT rect{0, 0, 64, 32};
    ImageRecord pixels{};
    Recording().failing.insert("Surface::LockRect");
    // The copy's own lock fails too: nothing is left locked.
    EXPECT_EQ(LockScreenPixels(&rect, &pixels), -1);
    Recording().failing.clear();
    Recording().failing.insert("CreateRenderTarget");
    g_GraphicsDevice.backBuffer->AddRef();
    Recording().ClearCalls();
    Recording().failing.clear();
    ASSERT_EQ(LockScreenPixels(&rect, &pixels), 0);
    EXPECT_EQ(pixels.width, 64);
    UnlockScreenPixels();
    g_GraphicsDevice.backBuffer->Release();
}

// A 2 x 2 24-bit bitmap of one colour.
void WriteBmp(const char* path, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t file[54 + 16] = {'B', 'M'};
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(2, sizeof file);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    file[26] = 1;
    file[28] = 24;
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 2; ++x) {
            uint8_t* p = file + 54 + row * 8 + x * 3;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    FILE* out = std::fopen(path, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file, 1, sizeof file, out);
    std::fclose(out);
}

TEST_F(ScreenTest, DeviceLossRestoresFileGraphsAndResendsStates) {
    StartGraphics(true);
    WriteBmp("restore_test.bmp", 0, 255, 0);
    ImageRecord image{};
    ASSERT_GE(LoadImageWithAlpha("restore_test.bmp", nullptr, 0, 0, nullptr, 0, 0, &image,
                                 nullptr, 0),
              0);
    int graph = NewGraphHandle();
    ASSERT_EQ(SetupOriginalImage(graph, 2, 2, 0, 0, 0, -1), 0);
    ASSERT_EQ(UploadImageToGraph("restore_test.bmp", &image, nullptr, 0, 0, graph, 0), 0);
    ReleaseImageRecord(&image);
    int filled = MakeGraph(4, 4);
    ASSERT_GE(filled, 0);

    SetFogColor(0x12, 0x34, 0x56);
    g_RenderStates.addressU[3] = 1;
    SetDrawFilterMode(1);
    Recording().deviceLost = true;
    Recording().ClearCalls();
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    Recording().deviceLost = false;
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 1);
    EXPECT_TRUE(Called(RenderState(V_D3DRS_FOGCOLOR, g_RenderStates.fogColor)));
    EXPECT_TRUE(Called("SetSamplerState(3,1,1)"));
    // Bilinear filtering (magnification 2) reaches the new device.
    EXPECT_TRUE(Called("SetSamplerState(0,5,2)"));
    EXPECT_GE(CountPrefix("SetRenderState"), 20);
    EXPECT_GE(CountPrefix("Present"), 2);

    // The file graph has its picture again; handles survive.
    GraphRecord* record = GetGraphRecord(graph);
    ASSERT_NE(record, nullptr);
    ASSERT_NE(GetGraphRecord(filled), nullptr);
    V_D3DLOCKED_RECT locked{};
    ASSERT_EQ(record->pieces[0].piece->texture->LockRect(0, &locked, nullptr, 0), V_S_OK);
    V_D3DFORMAT format = g_GraphicsDevice.textureFormats.formats[record->image->formatIndex];
    uint32_t pixel = 0;
    std::memcpy(&pixel, locked.pBits, format == V_D3DFMT_R5G6B5 ? 2 : 4);
    record->pieces[0].piece->texture->UnlockRect(0);
    EXPECT_NE(pixel & 0x07E0, 0u);
    std::remove("restore_test.bmp");
}

TEST_F(ScreenTest, LostDeviceFallingBackToSoftwareRestartsGraphics) {
    StartGraphics(true);
    int graph = MakeGraph(8, 8);
    ASSERT_GE(graph, 0);
    Recording().failing.insert("CreateDevice");
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    Recording().failing.clear();
    EXPECT_EQ(g_ScreenSettings.useDirect3D, 0);
    EXPECT_EQ(g_ScreenSettings.initialised, 1);
    EXPECT_TRUE(IsMemImgValid(&g_ScreenImages.primary));
    EXPECT_EQ(IsValidGraphHandle(graph), 0);
    EXPECT_EQ(GetDrawTarget(), -4);
}

TEST_F(ScreenTest, DoubledRunReportsTheProgramsSize) {
    g_ScreenSettings.width = 640;
    g_ScreenSettings.height = 480;
    g_ScreenSettings.colorDepth = 16;
    g_ScreenState.doubled = 1;
    int width = 0, height = 0, bits = 0;
    EXPECT_EQ(GetScreenState(&width, &height, &bits), 0);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(bits, 16);
    g_ScreenState.doubled = 0;
    GetScreenState(&width, &height, nullptr);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
}

TEST_F(ScreenTest, ModeChange) {
    StartGraphics(true);
    // Nothing to change: no log, nothing ended.
    int graph = MakeGraph(8, 8);
    EXPECT_EQ(ChangeScreenMode(-1, -1, -1, 0, -1), 0);
    EXPECT_EQ(IsValidGraphHandle(graph), 1);
    // A real change starts the graphics again at the new size; graphs are gone, the screen target
    // stays.
    ASSERT_EQ(SetDrawTarget(-2), 0);
    EXPECT_EQ(ChangeScreenMode(800, 600, -1, 0, -1), 0);
    EXPECT_EQ(IsValidGraphHandle(graph), 0);
    int w = 0, h = 0;
    GetScreenSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 800);
    EXPECT_EQ(GetDrawTarget(), -2);
    // A graph target is gone with its graph: the back screen takes the draws.
    g_DrawSettings.drawableGraphs = 1;
    ASSERT_EQ(SetDrawTarget(MakeGraph(8, 8)), 0);
    g_DrawSettings.drawableGraphs = 0;
    EXPECT_EQ(ChangeScreenMode(640, 480, -1, 0, -1), 0);
    EXPECT_EQ(GetDrawTarget(), -2);
    // So does the front screen.
    ASSERT_EQ(SetDrawTarget(-4), 0);
    EXPECT_EQ(ChangeScreenMode(800, 600, -1, 0, -1), 0);
    EXPECT_EQ(GetDrawTarget(), -4);
}

}  // namespace

namespace {

V_LRESULT TestWindowProc(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    return V_DefWindowProcA(window, message, wParam, lParam);
}

// A main window of the client size, the pixels of which the tests read back.
class WindowScreenTest : public ScreenTest {
protected:
    void OpenWindow(int width, int height) {
        static bool registered = false;
        if (!registered) {
            V_WNDCLASSEXA windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = TestWindowProc;
            windowClass.lpszClassName = "ScreenTestWindow";
            registered = V_RegisterClassExA(&windowClass) != 0;
        }
        window_ = V_CreateWindowExA(0, "ScreenTestWindow", "screen", V_WS_POPUP | V_WS_VISIBLE,
                                    0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        g_Window.mainWindow = window_;
    }
    void TearDown() override {
        if (window_ != nullptr) V_DestroyWindow(window_);
        g_Window.mainWindow = nullptr;
        ScreenTest::TearDown();
    }
    uint32_t At(int x, int y) {
        SDL_Surface* surface = SDL_GetWindowSurface(UserGetSdlWindow(window_));
        if (surface == nullptr || x >= surface->w || y >= surface->h) return 0xDEADBEEF;
        uint32_t value = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                                           y * surface->pitch)[x];
        uint8_t r, g, b;
        SDL_GetRGB(value, surface->format, &r, &g, &b);
        return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
    }
    V_HWND window_ = nullptr;
};

TEST_F(WindowScreenTest, SoftwarePresentTransfersThePicture) {
    OpenWindow(960, 720);
    StartGraphics(false);
    MEMIMG& screen = g_ScreenImages.primary;
    FillMemImgRect(&screen, nullptr, GetScreenColor(0, 0, 255));
    V_RECT corner{0, 0, 320, 240};
    FillMemImgRect(&screen, &corner, GetScreenColor(255, 0, 0));
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(At(0, 0), 0xFF0000u);
    EXPECT_EQ(At(639, 479), 0x0000FFu);

    // Scaled window: the picture fills (0, 0, 960, 720).
    SetScale(1.5);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(At(479, 359), 0xFF0000u);
    EXPECT_EQ(At(481, 361), 0x0000FFu);
    EXPECT_EQ(At(959, 719), 0x0000FFu);

    // Emulated 320 x 240: the top-left quarter doubled over 640 x 480.
    SetScale(1.0);
    SetEmulation320x240(1);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(At(639, 479), 0xFF0000u);
    SetEmulation320x240(0);
}

// A screen width that is not a multiple of 8 keeps its rows straight (the row length is the
// image's pitch).
TEST_F(WindowScreenTest, SoftwarePresentAtOddWidth) {
    OpenWindow(322, 10);
    g_ScreenSettings.width = 322;
    g_ScreenSettings.height = 10;
    StartGraphics(false);
    MEMIMG& screen = g_ScreenImages.primary;
    FillMemImgRect(&screen, nullptr, 0);
    V_RECT column{321, 0, 322, 10};
    FillMemImgRect(&screen, &column, GetScreenColor(0, 255, 0));
    ASSERT_EQ(PresentScreen(), 0);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(At(321, y), 0x00FF00u) << y;
        EXPECT_EQ(At(0, y), 0u) << y;
    }
}

TEST_F(WindowScreenTest, PresentTimerShowsTheFrontScreen) {
    OpenWindow(640, 480);
    StartGraphics(false);
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(0, 255, 0));
    ASSERT_EQ(SetDrawTarget(-4), 0);
    V_MSG message{};
    uint32_t start = V_GetTickCount();
    while (At(5, 5) != 0x00FF00u && V_GetTickCount() - start < 2000) {
        while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
        V_Sleep(5);
    }
    EXPECT_EQ(At(5, 5), 0x00FF00u);
    // With the back screen as target the timer lapses at its next tick.
    ASSERT_EQ(SetDrawTarget(-2), 0);
    start = V_GetTickCount();
    while (V_GetTickCount() - start < 100) {
        while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
        V_Sleep(5);
    }
    FillMemImgRect(&g_ScreenImages.primary, nullptr, GetScreenColor(255, 0, 0));
    start = V_GetTickCount();
    while (V_GetTickCount() - start < 100) {
        while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
        V_Sleep(5);
    }
    EXPECT_EQ(At(5, 5), 0x00FF00u);
}

}  // namespace

namespace {

std::vector<std::string> g_ModesTried;
int g_StartsToFail = 0;

int FakeStart() {
    int w = 0, h = 0;
    GetScreenSize(&w, &h);
    g_ModesTried.push_back(std::to_string(w) + "x" + std::to_string(h) + "x" +
                           std::to_string(GetColorBitDepth()) + "e" +
                           std::to_string(g_DrawSettings.emulation320x240));
    return g_StartsToFail-- > 0 ? -1 : 0;
}

TEST_F(ScreenTest, ModeChangeFallbackChain) {
    g_ScreenSettings.width = 320;
    g_ScreenSettings.height = 240;
    g_ScreenSettings.colorDepth = 32;
    g_StartsToFail = 3;
    g_ModesTried.clear();
    EXPECT_EQ(StartGraphicsWithFallbacks(800, 600, 16, 0, FakeStart), 0);
    EXPECT_EQ(g_ModesTried, (std::vector<std::string>{"320x240x32e0", "640x480x32e1",
                                                      "800x600x16e1", "640x480x16e1"}));
    g_DrawSettings.emulation320x240 = 0;
    // The first fallback that starts ends the chain; every start failing reports -1.
    g_ScreenSettings.width = 1024;
    g_ScreenSettings.height = 768;
    g_StartsToFail = 1;
    g_ModesTried.clear();
    EXPECT_EQ(StartGraphicsWithFallbacks(800, 600, 16, 0, FakeStart), 0);
    EXPECT_EQ(g_ModesTried, (std::vector<std::string>{"1024x768x16e0", "800x600x16e0"}));
    g_StartsToFail = 9;
    EXPECT_EQ(StartGraphicsWithFallbacks(800, 600, 16, 0, FakeStart), -1);
    g_ScreenSettings = {};
}

}  // namespace
