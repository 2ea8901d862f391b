// The OpenGL device under the library: start, clear, present and read back; the surfaces'
// rules; the fall-back to the software screen.
#include <SDL.h>

#include "gl/gl_fixture.h"

namespace {

constexpr uint32_t kClear = 0x804020;

uint32_t Near565(uint32_t rgb) {
    // The 16-bit screen keeps 5, 6 and 5 bits: compare in those.
    return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31);
}

TEST_F(GlLibraryTest, DevicePathClearsPresentsAndReadsBack) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    std::vector<std::string> log = ReadLogLines();
    EXPECT_GE(FindLogLine(log, "Driver:OpenGL"), 0);
    EXPECT_GE(FindLogLine(log, "DXT5"), 0);
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);

    ASSERT_EQ(device->Clear(0, nullptr, V_D3DCLEAR_TARGET, 0xFF000000u | kClear, 1.0f, 0), V_S_OK);
    std::vector<uint32_t> screen = ReadScreen();
    ASSERT_EQ(screen.size(), 640u * 480u);
    EXPECT_EQ(Near565(screen[240 * 640 + 320]), Near565(kClear));
    EXPECT_EQ(Near565(screen[0]), Near565(kClear));
    EXPECT_EQ(PresentScreen(), 0);
    // The back buffer survives presenting.
    EXPECT_EQ(Near565(ReadScreen()[479 * 640 + 639]), Near565(kClear));

    // A render target copied from the back buffer and read with GetRenderTargetData.
    V_IDirect3DSurface9* target = nullptr;
    V_IDirect3DSurface9* memory = nullptr;
    V_D3DFORMAT format = g_GraphicsDevice.backBufferFormat;
    ASSERT_EQ(device->CreateRenderTarget(16, 8, format, 0, 0, V_FALSE, &target, nullptr), V_S_OK);
    ASSERT_EQ(
        device->CreateOffscreenPlainSurface(16, 8, format, V_D3DPOOL_SYSTEMMEM, &memory, nullptr),
        V_S_OK);
    V_D3DLOCKED_RECT locked{};
    EXPECT_NE(target->LockRect(&locked, nullptr, V_D3DLOCK_READONLY), V_S_OK);  // default pool
    V_RECT from{100, 100, 116, 108};
    EXPECT_EQ(
        device->StretchRect(g_GraphicsDevice.backBuffer, &from, target, nullptr, V_D3DTEXF_NONE),
        V_S_OK);
    V_RECT corner{0, 0, 4, 4};
    EXPECT_EQ(device->ColorFill(target, &corner, 0xFF00FF00u), V_S_OK);
    ASSERT_EQ(device->GetRenderTargetData(target, memory), V_S_OK);
    ASSERT_EQ(memory->LockRect(&locked, nullptr, V_D3DLOCK_READONLY), V_S_OK);
    const auto* row = static_cast<const uint16_t*>(locked.pBits);
    EXPECT_EQ(row[0], 0x07E0);            // green from the fill
    EXPECT_EQ(row[15], Near565(kClear));  // the copied back buffer
    memory->UnlockRect();

    // Clear keeps to the viewport; ColorFill does not.
    V_D3DVIEWPORT9 viewport{10, 20, 30, 40, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), V_S_OK);
    device->Clear(0, nullptr, V_D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0);
    screen = ReadScreen();
    EXPECT_EQ(screen[20 * 640 + 10] & 0xF8F8F8, 0xF8F8F8u);
    EXPECT_EQ(Near565(screen[19 * 640 + 10]), Near565(kClear));
    EXPECT_EQ(Near565(screen[20 * 640 + 40]), Near565(kClear));
    EXPECT_EQ(device->ColorFill(g_GraphicsDevice.backBuffer, nullptr, 0xFF000000u), V_S_OK);
    EXPECT_EQ(ReadScreen()[0], 0u);
    target->Release();
    memory->Release();

    // Device loss, when a test asks for it.
    V_D3D9GlSetDeviceLost(true);
    EXPECT_EQ(device->TestCooperativeLevel(), V_D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), V_D3DERR_DEVICELOST);
    V_D3D9GlSetDeviceLost(false);
    EXPECT_EQ(device->TestCooperativeLevel(), V_S_OK);
}

TEST_F(GlLibraryTest, FilledBoxReachesTheBackBuffer) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    FillBox(0, 0, 640, 480, GetScreenColor(0, 0, 0));
    FillBox(10, 10, 20, 30, GetScreenColor(255, 0, 0));
    std::vector<uint32_t> screen = ReadScreen();
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen[10 * 640 + 10], 0xFF0000u);
    EXPECT_EQ(screen[29 * 640 + 19], 0xFF0000u);
    EXPECT_EQ(screen[30 * 640 + 19], 0u);
    EXPECT_EQ(screen[29 * 640 + 20], 0u);
    EXPECT_EQ(screen[9 * 640 + 10], 0u);
}

// Presents that wait for the vertical blank keep to the display's rate even where the driver
// ignores the swap interval (as the virtual display does).
TEST_F(GlLibraryTest, PresentsKeepToTheRefreshRate) {
    ASSERT_TRUE(Start(true)) << "no OpenGL device on this display";
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), V_S_OK);
    uint64_t start = SDL_GetTicks64();
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), V_S_OK);
    SDL_DisplayMode mode{};
    int refresh =
        SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
    EXPECT_GE(SDL_GetTicks64() - start, static_cast<uint64_t>(9 * 1000 / refresh));
}

TEST_F(GlLibraryTest, WithoutOpenGlTheSoftwareScreenIsTaken) {
    ASSERT_TRUE(Start(false));
    EXPECT_EQ(g_GraphicsDevice.device, nullptr);
    std::vector<std::string> log = ReadLogLines();
    EXPECT_GE(FindLogLine(log, "IDirect3D9 オブジェクトの取得に失敗しました"), 0);
    FillBox(0, 0, 640, 480, GetScreenColor(0x80, 0x40, 0x20));
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(Near565(ReadScreen()[100]), Near565(kClear));
}

}  // namespace
