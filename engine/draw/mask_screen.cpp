// The mask screen: its byte buffer, its software image or device textures, and the switch that
// sends drawing to it.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "draw/mask.h"
#include "draw/vertex_batch.h"
#include "graphics/device.h"
#include "graphics/device_format_masks.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"

MaskScreen g_MaskScreen;

namespace {

template <typename T>
void ReleaseObject(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

void FreeKeptBuffer() {
    MaskScreen& m = g_MaskScreen;
    if (m.keptBuffer != nullptr) FreeMemory(m.keptBuffer);
    m.keptBuffer = nullptr;
}

int PowerOfTwoNotBelow(int value) {
    int size = 1;
    while (size < value) size <<= 1;
    return size;
}

const DeviceFormatMasks* FindFormatMasks(V_D3DFORMAT format) {
    for (const DeviceFormatMasks& row : kDeviceFormatMasks)
        if (row.format == static_cast<int>(format)) return &row;
    return nullptr;
}

// Writes one rectangle of the mask buffer into the image texture's alpha.
void UploadMaskRect(const V_RECT& rect) {
    MaskScreen& m = g_MaskScreen;
    if (m.imageTexture == nullptr) return;
    V_D3DSURFACE_DESC desc{};
    m.imageTexture->GetLevelDesc(0, &desc);
    const DeviceFormatMasks* masks = FindFormatMasks(desc.Format);
    if (masks == nullptr || masks->alpha == 0) return;
    int bytes = masks->bits / 8;
    V_D3DLOCKED_RECT locked{};
    if (V_FAILED(m.imageTexture->LockRect(0, &locked, &rect, 0)) || locked.pBits == nullptr)
        return;
    for (int y = rect.top; y < rect.bottom; ++y) {
        auto* out = static_cast<uint8_t*>(locked.pBits) + (y - rect.top) * locked.Pitch;
        const uint8_t* in = m.buffer + static_cast<size_t>(y) * m.pitch + rect.left;
        for (int x = rect.left; x < rect.right; ++x, out += bytes) {
            uint32_t value = *in++ != 0 ? masks->alpha : 0;
            if (bytes == 2) {
                uint16_t v16 = static_cast<uint16_t>(value);
                std::memcpy(out, &v16, 2);
            } else {
                std::memcpy(out, &value, 4);
            }
        }
    }
    m.imageTexture->UnlockRect(0);
}

void CreateDeviceObjects(int width, int height) {
    MaskScreen& m = g_MaskScreen;
    const TextureFormatTable& formats = g_GraphicsDevice.textureFormats;
    V_D3DFORMAT colourFormat = formats.formats[kTextureTargetScreen];
    V_D3DFORMAT alphaFormat = formats.formats[kTextureAlphaTestScreen];
    if (colourFormat == 0)
        GraphicsFatalExit("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
    if (alphaFormat == 0)
        GraphicsFatalExit(
            "マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
    m.textureWidth = PowerOfTwoNotBelow(width);
    m.textureHeight = PowerOfTwoNotBelow(height);
    V_IDirect3DDevice9* device = GetDevice();
    if (m.imageTexture == nullptr) {
        if (V_FAILED(device->CreateTexture(static_cast<V_UINT>(m.textureWidth),
                                           static_cast<V_UINT>(m.textureHeight), 1, 0,
                                           alphaFormat, V_D3DPOOL_MANAGED, &m.imageTexture,
                                           nullptr)) ||
            m.imageTexture == nullptr)
            GraphicsFatalExit("マスク用イメージテクスチャの作成に失敗しました");
        const DeviceFormatMasks* masks = FindFormatMasks(alphaFormat);
        int bytes = masks != nullptr ? masks->bits / 8 : 4;
        V_D3DLOCKED_RECT locked{};
        if (V_SUCCEEDED(m.imageTexture->LockRect(0, &locked, nullptr, 0)) &&
            locked.pBits != nullptr) {
            auto* row = static_cast<uint8_t*>(locked.pBits);
            for (int y = 0; y < height; ++y, row += locked.Pitch)
                std::memset(row, 0, static_cast<size_t>(width) * static_cast<size_t>(bytes));
            m.imageTexture->UnlockRect(0);
        }
        // A new texture (after a device re-creation) takes the mask the buffer holds.
        UploadMaskRect(V_RECT{0, 0, width, height});
    }
    if (m.screenTexture == nullptr) {
        if (V_FAILED(device->CreateTexture(static_cast<V_UINT>(m.textureWidth),
                                           static_cast<V_UINT>(m.textureHeight), 1,
                                           V_D3DUSAGE_RENDERTARGET, colourFormat,
                                           V_D3DPOOL_DEFAULT, &m.screenTexture, nullptr)) ||
            m.screenTexture == nullptr)
            GraphicsFatalExit("マスク用スクリーンテクスチャの作成に失敗しました");
    }
    if (m.screenSurface == nullptr) m.screenTexture->GetSurfaceLevel(0, &m.screenSurface);
}

// Points drawing at the mask screen while it is active, else at the draw target.
void PointDrawingAtTarget() {
    MaskScreen& m = g_MaskScreen;
    GraphRecord* target = g_DrawSettings.drawTarget >= 0 ? GetGraphRecord(g_DrawSettings.drawTarget)
                                                         : nullptr;
    if (g_ScreenSettings.useDirect3D) {
        if (GetDevice() == nullptr) return;
        FlushVertexBatch();
        int originX = 0, originY = 0;
        V_IDirect3DSurface9* surface = GetTargetSurface(target, &originX, &originY);
        if (surface == nullptr) surface = GetScreenTargetSurface();
        // The mask screen takes the draws at the target's own coordinates.
        if (m.active && m.screenSurface != nullptr) {
            surface = m.screenSurface;
            originX = originY = 0;
        }
        SetRenderTargetSurface(surface);
        g_RenderStates.originX = originX;
        g_RenderStates.originY = originY;
        SetDeviceDrawArea(g_DrawSettings.drawArea);
    } else {
        if (m.active && IsMemImgValid(&m.image))
            g_ScreenImages.drawSurface = &m.image;
        else if (target != nullptr)
            g_ScreenImages.drawSurface = &target->view;
        else
            g_ScreenImages.drawSurface = &g_ScreenImages.primary;
    }
}

}  // namespace

int CreateMaskScreen(int made) {
    if (made == 0) return 0;
    MaskScreen& m = g_MaskScreen;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (m.buffer == nullptr) {
        m.pitch = (width + 3) & ~3;
        m.width = width;
        m.height = height;
        if (m.keptBuffer != nullptr && m.keptWidth == width && m.keptHeight == height) {
            m.buffer = m.keptBuffer;
            m.keptBuffer = nullptr;
        } else {
            m.buffer = static_cast<uint8_t*>(
                VELK_ALLOC_ZEROED(static_cast<size_t>(m.pitch) * static_cast<size_t>(height)));
            if (m.buffer == nullptr) GraphicsFatalExit("マスク用バッファの作成に失敗しました");
            // Of a mask kept at another screen size, what lies on the new screen.
            if (m.keptBuffer != nullptr) {
                int rows = std::min(height, m.keptHeight);
                int columns = std::min(width, m.keptWidth);
                for (int y = 0; y < rows; ++y)
                    std::memcpy(m.buffer + static_cast<size_t>(y) * m.pitch,
                                m.keptBuffer + static_cast<size_t>(y) * m.keptPitch,
                                static_cast<size_t>(columns));
            }
        }
        FreeKeptBuffer();
    }
    if (g_ScreenSettings.useDirect3D) {
        if (GetDevice() != nullptr) CreateDeviceObjects(m.width, m.height);
    } else if (!IsMemImgValid(&m.image)) {
        int type = GetColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
        if (CreateMemImg(&m.image, m.width, m.height, -1, 0, type, 0, 0, 0, nullptr) != 0)
            GraphicsFatalExit("マスク用 MEMIMG の作成に失敗しました");
        m.imageMade = 1;
    }
    m.made = 1;
    return 0;
}

int ReleaseMaskScreen() {
    MaskScreen& m = g_MaskScreen;
    // Drawing that goes to the mask screen goes back to the draw target before the image and
    // the surface are freed; the use flag stays, so a restore points drawing at it again.
    if (m.active) {
        m.active = 0;
        PointDrawingAtTarget();
    }
    // The bytes stay aside for the next make: the mask outlives a device re-creation, as every
    // graph's pixels do.
    if (m.buffer != nullptr) {
        FreeKeptBuffer();
        m.keptBuffer = m.buffer;
        m.keptPitch = m.pitch;
        m.keptWidth = m.width;
        m.keptHeight = m.height;
    }
    m.buffer = nullptr;
    if (m.imageMade) ReleaseMemImg(&m.image);
    m.image = {};
    m.imageMade = 0;
    ReleaseObject(&m.imageTexture);
    ReleaseObject(&m.screenSurface);
    ReleaseObject(&m.screenTexture);
    m.savedMaskSurface = nullptr;
    m.savedTargetSurface = nullptr;
    return 0;
}

int SetUseMaskScreen(int flag) {
    MaskScreen& m = g_MaskScreen;
    if (m.buffer == nullptr) return -1;
    m.use = flag;
    m.active = flag != 0 && m.made != 0 ? 1 : 0;
    PointDrawingAtTarget();
    return 0;
}

int GetUseMaskScreen() { return g_MaskScreen.use; }

int RestoreMaskScreen() {
    CreateMaskScreen(g_MaskScreen.made);
    if (g_MaskScreen.use) SetUseMaskScreen(1);
    return 0;
}

int EndMaskScreen() {
    if (g_MaskScreen.use) SetUseMaskScreen(0);
    ReleaseMaskScreen();
    FreeKeptBuffer();
    g_MaskScreen.made = 0;
    g_MaskScreen.active = 0;
    return 0;
}

void ResetMaskScreenFlags() {
    g_MaskScreen.use = 1;
    g_MaskScreen.active = 0;
}

int SetMaskScreenReverse(int reverse) {
    g_MaskScreen.reverse = reverse != 0 ? 1 : 0;
    return 0;
}

int WriteMaskScreenRect(int x, int y, int width, int height, const uint8_t* bytes, int pitch) {
    MaskScreen& m = g_MaskScreen;
    if (m.buffer == nullptr || bytes == nullptr) return -1;
    V_RECT rect{x, y, x + width, y + height};
    V_RECT screen{0, 0, m.width, m.height};
    ClipRect(&rect, &screen);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
    for (int row = rect.top; row < rect.bottom; ++row)
        std::memcpy(m.buffer + static_cast<size_t>(row) * m.pitch + rect.left,
                    bytes + static_cast<ptrdiff_t>(row - y) * pitch + (rect.left - x),
                    static_cast<size_t>(rect.right - rect.left));
    if (g_ScreenSettings.useDirect3D) UploadMaskRect(rect);
    return 0;
}
