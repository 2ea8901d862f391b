// The blend graph: a second image whose values, against a threshold, mask what is drawn (a wipe
// between two pictures). On the device path it is the blend texture of the stage set-up, on the
// software path the blend image the kernels read.
#include "core/core.h"
#include "draw/draw_settings.h"
#include "draw/draw_soft.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
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
        return SetDeviceBlendTexture(nullptr, threshold, range);
    }
    if (record->pieceCount <= 0 || record->pieces[0].piece == nullptr ||
        record->pieces[0].piece->texture == nullptr)
        return -1;
    const TexturePiece* piece = record->pieces[0].piece;
    SetDeviceBlendTexture(piece->texture, threshold, range);
    s.texelOffsetU = record->pieces[0].textureX - record->pieces[0].x;
    s.texelOffsetV = record->pieces[0].textureY - record->pieces[0].y;
    s.blendTextureWidth = static_cast<float>(piece->textureWidth);
    s.blendTextureHeight = static_cast<float>(piece->textureHeight);
    g_BlendScaleX = 1.0f / s.blendTextureWidth;
    g_BlendScaleY = 1.0f / s.blendTextureHeight;
    return 0;
}

}  // namespace

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
        g_SoftBlendImage = record != nullptr ? &record->image->image : nullptr;
        SetBlendImageTable(threshold, range);
        return 0;
    }
    return AttachDeviceBlendTexture(record, threshold, range);
}

void ForgetDeletedBlendGraph(int handle) {
    if (handle != g_DrawSettings.blendGraph) return;
    // The handle stays set, so that graph draws fail the size check; the pixels are gone.
    g_SoftBlendImage = nullptr;
    if (GetDevice() != nullptr) SetDeviceBlendTexture(nullptr, -1, -1);
}

void ReattachBlendGraph() {
    // The texture the cache holds went with the old device; the graph has a new one now.
    g_RenderStates.blendTexture = nullptr;
    g_RenderStates.blendDirty = 1;
    const DrawSettings& s = g_DrawSettings;
    if (s.blendGraph == -1) return;
    const GraphRecord* record = GetGraphRecord(s.blendGraph);
    if (record == nullptr || record->image == nullptr) return;
    AttachDeviceBlendTexture(record, s.blendBorder, s.blendRange);
}
