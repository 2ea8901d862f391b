// The blend graph: a second image whose values, against a threshold, mask what is drawn (a wipe
// between two pictures). On the device path it is the blend texture of the stage set-up, weighed
// by its alpha; on the software path the kernels read an 8-bit map made from the graph's picture
// with the same value.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw_settings.h"
#include "draw/draw_soft.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"

namespace {

int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// Hands the blend graph's first texture (or none) to the device's stage set-up. A sub-graph's
// rectangle starts inside that texture: the builders add the offset to the blend coordinates.
int AttachDeviceBlendTexture(const GraphRecord* record, int threshold, int range) {
    if (GetDevice() == nullptr) return -1;
    DrawSettings& s = g_DrawSettings;
    if (record == nullptr) {
        s.texelOffsetU = s.texelOffsetV = 0;
        int result = SetDeviceBlendTexture(nullptr, threshold, range);
        ReleaseBlendKeyTexture();
        return result;
    }
    if (record->pieceCount <= 0 || record->pieces[0].piece == nullptr ||
        record->pieces[0].piece->texture == nullptr)
        return -1;
    const TexturePiece* piece = record->pieces[0].piece;
    V_IDirect3DTexture9* texture =
        NeedsBlendKeyTexture(record->image)
            ? UpdateBlendKeyTexture(*piece, record->image->transparentColor)
            : nullptr;
    SetDeviceBlendTexture(texture != nullptr ? texture : piece->texture, threshold, range);
    if (texture == nullptr) ReleaseBlendKeyTexture();
    s.texelOffsetU = record->pieces[0].textureX - record->pieces[0].x;
    s.texelOffsetV = record->pieces[0].textureY - record->pieces[0].y;
    s.blendTextureWidth = static_cast<float>(piece->textureWidth);
    s.blendTextureHeight = static_cast<float>(piece->textureHeight);
    g_BlendScaleX = 1.0f / s.blendTextureWidth;
    g_BlendScaleY = 1.0f / s.blendTextureHeight;
    return 0;
}

// ---------------------------------------------------------------- the software's blend map

// One byte a pixel over the blend graph's rectangle: the value the device's blend texture holds
// in its alpha. A graph with alpha gives its alpha; one without gives 255, or 0 where its colour
// is the transparent colour and graphs are keyed (the device writes the key into the alpha of an
// alpha-test texture when the image is put in; the settings as they are now stand for those of
// that moment); an 8- or 16-bit channel image gives its channel.
MEMIMG g_SoftBlendMap;

struct MapRule {
    int colorType;
    int palette;
    int alpha;
    int bytes;                 // per source pixel
    uint32_t key;              // the transparent colour as the pixels hold it
    uint32_t keyMask;          // the colour bits compared with the key
    bool keyed;
    uint8_t paletteWeight[256];
};

MapRule MakeRule(const SharedImage* shared) {
    const MemImgBase* base = shared->image.base;
    MapRule rule{};
    rule.colorType = base->colorType;
    rule.palette = base->paletteFlag;
    rule.alpha = base->alphaFlag;
    rule.bytes = GetMemImgBytesPerPixel(base);
    const DrawSettings& s = g_DrawSettings;
    rule.keyed = !s.noColorKey && s.alphaTest;
    const uint32_t rgb = shared->transparentColor;
    const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    if (rule.colorType == kMemImgR5G6B5) {
        rule.key = ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3);
        rule.keyMask = 0xFFFF;
    } else {
        rule.key = rgb & 0xFFFFFF;
        rule.keyMask = 0xFFFFFF;
    }
    if (rule.palette) {
        const int entryBytes = rule.colorType == kMemImgR5G6B5 ? 2 : 4;
        for (int i = 0; i < 256; ++i) {
            uint32_t entry = 0;
            if (base->palette != nullptr)
                std::memcpy(&entry, base->palette + i * entryBytes, entryBytes);
            rule.paletteWeight[i] = rule.keyed && (entry & rule.keyMask) == rule.key ? 0 : 255;
        }
    }
    return rule;
}

void WeighRow(const MapRule& rule, const uint8_t* from, uint8_t* to, int width) {
    if (rule.colorType == kMemImgChannel8) {
        std::memcpy(to, from, static_cast<size_t>(width));
    } else if (rule.colorType == kMemImgChannel16) {
        for (int x = 0; x < width; ++x) to[x] = from[2 * x + 1];
    } else if (rule.palette) {
        for (int x = 0; x < width; ++x) to[x] = rule.paletteWeight[from[x]];
    } else if (rule.alpha) {
        // 32-bit pixels with the alpha in the top byte, 16-bit ones with it in the third byte.
        const int at = rule.colorType == kMemImgR5G6B5 ? 2 : 3;
        for (int x = 0; x < width; ++x) to[x] = from[4 * x + at];
    } else if (!rule.keyed) {
        std::memset(to, 255, static_cast<size_t>(width));
    } else {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, from + static_cast<size_t>(rule.bytes) * x, rule.bytes);
            to[x] = (pixel & rule.keyMask) == rule.key ? 0 : 255;
        }
    }
}

void ReleaseSoftBlendMap() {
    if (IsMemImgValid(&g_SoftBlendMap)) ReleaseMemImg(&g_SoftBlendMap);
    g_SoftBlendMap = MEMIMG{};
    g_SoftBlendImage = nullptr;
}

// Brings the map's rectangle (0, 0, width, height) up to date with the blend graph's pixels,
// making the map first when it is missing or of another size. Null when the blend graph has no
// software image or the map cannot be made.
MEMIMG* UpdateSoftBlendMap(const GraphRecord* record, int width, int height) {
    if (record == nullptr || record->image == nullptr || record->image->desc.textureMode != 0 ||
        !IsMemImgValid(&record->view)) {
        ReleaseSoftBlendMap();
        return nullptr;
    }
    const MEMIMG& view = record->view;
    if (!IsMemImgValid(&g_SoftBlendMap) || g_SoftBlendMap.width != view.width ||
        g_SoftBlendMap.height != view.height) {
        ReleaseSoftBlendMap();
        if (CreateMemImg(&g_SoftBlendMap, view.width, view.height, -1, 0, kMemImgChannel8, 0, 0, 0,
                         nullptr) != 0) {
            g_SoftBlendMap = MEMIMG{};
            WriteLog("ブレンド画像用メモリイメージの作成に失敗しました\n");
            return nullptr;
        }
        width = view.width;
        height = view.height;
    }
    if (width > view.width) width = view.width;
    if (height > view.height) height = view.height;
    const MapRule rule = MakeRule(record->image);
    const int64_t sourcePitch = view.base->pitch;
    const int64_t mapPitch = g_SoftBlendMap.base->pitch;
    for (int y = 0; y < height; ++y)
        WeighRow(rule, view.pixels + sourcePitch * y, g_SoftBlendMap.pixels + mapPitch * y, width);
    g_SoftBlendImage = &g_SoftBlendMap;
    return g_SoftBlendImage;
}

}  // namespace

MEMIMG* RefreshSoftBlendImage(int width, int height) {
    if (g_SoftBlendImage == nullptr || width <= 0 || height <= 0) return g_SoftBlendImage;
    // The graph's pixels may have changed since the last draw (drawn into, reloaded, a movie
    // frame): the part that this draw reads is made again from them.
    return UpdateSoftBlendMap(GetGraphRecord(g_DrawSettings.blendGraph), width, height);
}

int SetBlendGraph(int handle, int threshold, int range) {
    // No screen to blend with before start-up and after the end.
    if (!g_ScreenSettings.initialised) return -1;
    DrawSettings& s = g_DrawSettings;
    if (s.suspended) return 0;
    if (handle == s.blendGraph && threshold == s.blendBorder && range == s.blendRange) return 0;
    GraphRecord* record = nullptr;
    if (handle != -1) {
        record = GetGraphRecord(handle);
        if (record == nullptr || record->image == nullptr) return -1;
    }
    WaitWhileInactive();
    threshold = Clamp255(threshold);
    range = Clamp255(range);
    s.blendGraph = handle;
    s.blendBorder = threshold;
    s.blendRange = range;

    if (!g_ScreenSettings.useDirect3D) {
        SetBlendImageTable(threshold, range);
        if (record == nullptr) {
            ReleaseSoftBlendMap();
            return 0;
        }
        return UpdateSoftBlendMap(record, record->width, record->height) != nullptr ? 0 : -1;
    }
    return AttachDeviceBlendTexture(record, threshold, range);
}

void ForgetDeletedBlendGraph(int handle) {
    DrawSettings& s = g_DrawSettings;
    if (handle == -1 || handle != s.blendGraph) return;
    // A deleted graph stops being the blend graph, as a deleted draw target stops being the
    // target: later draws are not wiped. Threshold and range stay as they were set.
    s.blendGraph = -1;
    s.texelOffsetU = s.texelOffsetV = 0;
    ReleaseSoftBlendMap();
    if (GetDevice() != nullptr) {
        SetDeviceBlendTexture(nullptr, -1, -1);
        ReleaseBlendKeyTexture();
    }
}

void UseDeviceBlendGraph() {
    const DrawSettings& s = g_DrawSettings;
    if (s.blendGraph == -1 || GetDevice() == nullptr) return;
    // A road that took the blend texture off the device (a polygon list) leaves the setting on;
    // a drawable blend graph's weights follow its pixels as they are now.
    const GraphRecord* record = GetGraphRecord(s.blendGraph);
    if (record == nullptr || record->image == nullptr) return;
    if (g_RenderStates.blendTexture != nullptr && !NeedsBlendKeyTexture(record->image)) return;
    AttachDeviceBlendTexture(record, s.blendBorder, s.blendRange);
}

void ReattachBlendGraph() {
    // The texture the cache holds went with the old device; the graph has a new one now.
    g_RenderStates.blendTexture = nullptr;
    g_RenderStates.blendDirty = 1;
    const DrawSettings& s = g_DrawSettings;
    if (s.blendGraph == -1) return;
    const GraphRecord* record = GetGraphRecord(s.blendGraph);
    if (record == nullptr || record->image == nullptr) return;
    // Weights read from a drawable graph are made at the next graph draw: vertices still pending
    // now were meant for the old device and are not drawn.
    if (NeedsBlendKeyTexture(record->image)) return;
    AttachDeviceBlendTexture(record, s.blendBorder, s.blendRange);
}
