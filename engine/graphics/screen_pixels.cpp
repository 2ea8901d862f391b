// Reading the pixels of the draw target, and copying a rectangle of it into a graph.
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"

const ColorFormat* GetD3DFormatColorFormat(V_D3DFORMAT format);

namespace {

struct ScreenLock {
    int locked;
    V_IDirect3DSurface9* direct;  // the surface locked directly
    V_IDirect3DSurface9* copy;    // the system-memory copy locked instead
};
ScreenLock g_ScreenLock;

// The draw-target graph when the target is a valid graph, else null (the screen).
GraphRecord* TargetGraph() { return GetGraphRecord(g_DrawSettings.drawTarget); }

bool RectInsideTarget(const V_RECT* rect) {
    const DrawSettings& s = g_DrawSettings;
    return rect->left >= 0 && rect->left < rect->right && rect->right <= s.targetWidth &&
           rect->top >= 0 && rect->top < rect->bottom && rect->bottom <= s.targetHeight;
}

// The draw target's surface and the rectangle moved to the target's place in it.
V_IDirect3DSurface9* TargetSurface(GraphRecord* graph, V_D3DFORMAT* format, V_RECT* rect) {
    int originX = 0, originY = 0;
    V_IDirect3DSurface9* surface = GetTargetSurface(graph, &originX, &originY);
    *format = graph != nullptr ? g_GraphicsDevice.textureFormats.formats[graph->image->formatIndex]
                               : g_GraphicsDevice.backBufferFormat;
    *rect = {rect->left + originX, rect->top + originY, rect->right + originX,
             rect->bottom + originY};
    return surface;
}

const MEMIMG* TargetImage(GraphRecord* graph) {
    return graph != nullptr ? &graph->view : &g_ScreenImages.primary;
}

template <class T>
void ReleaseObject(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

}  // namespace

int LockScreenPixels(const V_RECT* rect, ImageRecord* record) {
    FlushPendingVertices();
    EndDeviceScene();
    if (g_ScreenLock.locked || rect == nullptr || record == nullptr || !RectInsideTarget(rect))
        return -1;
    GraphRecord* graph = TargetGraph();
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    if (g_ScreenSettings.useDirect3D) {
        V_IDirect3DDevice9* device = g_GraphicsDevice.device;
        V_D3DFORMAT format = V_D3DFMT_UNKNOWN;
        V_RECT area = *rect;
        V_IDirect3DSurface9* surface = TargetSurface(graph, &format, &area);
        const ColorFormat* colorFormat = GetD3DFormatColorFormat(format);
        if (device == nullptr || surface == nullptr || colorFormat == nullptr) return -1;
        V_D3DLOCKED_RECT locked{};
        if (V_SUCCEEDED(surface->LockRect(&locked, nullptr, V_D3DLOCK_READONLY))) {
            g_ScreenLock.direct = surface;
            // The whole surface is locked; step to the rectangle.
            locked.pBits = static_cast<uint8_t*>(locked.pBits) +
                           static_cast<size_t>(locked.Pitch) * area.top +
                           static_cast<size_t>(colorFormat->bytesPerPixel) * area.left;
        } else {
            V_IDirect3DSurface9* target = nullptr;
            if (V_FAILED(device->CreateRenderTarget(static_cast<V_UINT>(width),
                                                    static_cast<V_UINT>(height), format, 0, 0,
                                                    V_FALSE, &target, nullptr))) {
                WriteLog("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
                return -1;
            }
            V_IDirect3DSurface9* copy = nullptr;
            if (V_FAILED(device->CreateOffscreenPlainSurface(static_cast<V_UINT>(width),
                                                             static_cast<V_UINT>(height), format,
                                                             V_D3DPOOL_SYSTEMMEM, &copy,
                                                             nullptr))) {
                WriteLog("バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
                target->Release();
                return -1;
            }
            V_RECT whole{0, 0, width, height};
            device->StretchRect(surface, &area, target, &whole, V_D3DTEXF_NONE);
            device->GetRenderTargetData(target, copy);
            target->Release();
            if (V_FAILED(copy->LockRect(&locked, nullptr, V_D3DLOCK_READONLY))) {
                copy->Release();
                return -1;
            }
            g_ScreenLock.copy = copy;
        }
        std::memcpy(&record->format, colorFormat, sizeof(ColorFormat));
        record->pitch = locked.Pitch;
        record->pixels = static_cast<uint8_t*>(locked.pBits);
    } else {
        const MEMIMG* image = TargetImage(graph);
        if (!IsMemImgValid(image)) return -1;
        std::memcpy(&record->format, image->base->colorFormat, sizeof(ColorFormat));
        record->pitch = image->base->pitch;
        record->pixels = image->pixels + static_cast<size_t>(record->pitch) * rect->top +
                         static_cast<size_t>(GetMemImgBytesPerPixel(image->base)) * rect->left;
    }
    record->width = width;
    record->height = height;
    record->mipCount = 0;
    g_ScreenLock.locked = 1;
    return 0;
}

int UnlockScreenPixels() {
    if (!g_ScreenLock.locked) return 0;
    if (g_ScreenLock.copy != nullptr) {
        g_ScreenLock.copy->UnlockRect();
        ReleaseObject(&g_ScreenLock.copy);
    } else if (g_ScreenLock.direct != nullptr) {
        g_ScreenLock.direct->UnlockRect();
        g_ScreenLock.direct = nullptr;
    }
    g_ScreenLock.locked = 0;
    return 0;
}

static int CopyScreenRectIntoGraph(int x1, int y1, int x2, int y2, int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->image == nullptr) return -1;
    FlushPendingVertices();
    EndDeviceScene();
    V_RECT rect{x1, y1, x2, y2};
    if (!RectInsideTarget(&rect) || x2 - x1 != record->width || y2 - y1 != record->height)
        return -1;
    GraphRecord* target = TargetGraph();
    SharedImage* image = record->image;
    // The pixels go in as an image loaded into the graph would: converted into its format (a
    // palette given the colours, compressed textures unpacked), the transparent colour keyed
    // where the graph keeps a key. Only a render target without alpha takes the plain copy.
    const ColorFormat* textureFormat =
        image->desc.textureMode
            ? GetD3DFormatColorFormat(g_GraphicsDevice.textureFormats.formats[image->formatIndex])
            : nullptr;
    if (!image->desc.textureMode || !image->desc.drawable ||
        (textureFormat != nullptr && textureFormat->alphaMask != 0)) {
        ImageRecord pixels{};
        if (LockScreenPixels(&rect, &pixels) != 0) return -1;
        const V_RECT whole{0, 0, pixels.width, pixels.height};
        int result = TransferImageToTextures(graph, &pixels, nullptr, &whole, 0, 0,
                                             g_DrawSettings.noColorKey ? 0 : 1, 0);
        UnlockScreenPixels();
        return result;
    }
    V_D3DFORMAT sourceFormat = V_D3DFMT_UNKNOWN;
    V_IDirect3DSurface9* source = TargetSurface(target, &sourceFormat, &rect);
    int toX = 0, toY = 0;
    V_IDirect3DSurface9* destination = GetTargetSurface(record, &toX, &toY);
    if (g_GraphicsDevice.device == nullptr || source == nullptr || destination == nullptr)
        return -1;
    // A drawable sub-graph takes the copy at its own place in its sheet.
    V_RECT whole{toX, toY, toX + record->width, toY + record->height};
    g_GraphicsDevice.device->StretchRect(source, &rect, destination, &whole, V_D3DTEXF_NONE);
    return 0;
}

int CopyScreenRectToGraph(int x1, int y1, int x2, int y2, int graph) {
    const int result = CopyScreenRectIntoGraph(x1, y1, x2, y2, graph);
    // The graph now shows the program's pixels, which no file holds.
    if (result == 0) ForgetFileUnderGraph(GetGraphRecord(graph));
    return result;
}
