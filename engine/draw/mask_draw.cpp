// The masked-draw bracket: before a draw the destination rectangle of the draw target is copied
// into the mask screen, the draw goes there, and afterwards the rectangle is composed back onto
// the draw target through the byte mask.
#include <cstring>

#include "draw/draw_settings.h"
#include "draw/mask.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"

namespace {

// Software path: the bracket's image for a target with alpha, of the target's own kind, so that
// the draws write its alpha as they do unmasked (the screen-kind mask image has none).
MEMIMG g_MaskAlphaImage;

// The rectangle clipped to the draw area and the mask screen; false when nothing is left.
bool ClipToDrawArea(int left, int top, int right, int bottom, V_RECT* rect) {
    const MaskScreen& m = g_MaskScreen;
    *rect = {left, top, right, bottom};
    ClipRect(rect, &g_DrawSettings.drawArea);
    V_RECT screen{0, 0, m.width, m.height};
    ClipRect(rect, &screen);
    return rect->right > rect->left && rect->bottom > rect->top;
}

const GraphRecord* TargetGraph() {
    int target = g_DrawSettings.drawTarget;
    return target >= 0 ? GetGraphRecord(target) : nullptr;
}

MEMIMG* TargetImage() {
    const GraphRecord* graph = TargetGraph();
    if (graph != nullptr) return const_cast<MEMIMG*>(&graph->view);
    return &g_ScreenImages.primary;
}

V_IDirect3DSurface9* TargetSurface(int* originX, int* originY) {
    V_IDirect3DSurface9* surface = GetTargetSurface(TargetGraph(), originX, originY);
    if (surface != nullptr) return surface;
    *originX = *originY = 0;
    return GetScreenTargetSurface();
}

// Clips the rectangle further to an image; false when nothing is left.
bool ClipToImage(V_RECT* rect, const MEMIMG* image) {
    V_RECT whole{0, 0, image->width, image->height};
    ClipRect(rect, &whole);
    return rect->right > rect->left && rect->bottom > rect->top;
}

bool Passes(uint8_t maskByte, int reverse) { return reverse ? maskByte != 0 : maskByte == 0; }

template <typename Pixel>
void ComposeRows(MEMIMG* target, const MEMIMG* source, const V_RECT& rect) {
    const MaskScreen& m = g_MaskScreen;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* mask = m.buffer + static_cast<size_t>(y) * m.pitch;
        auto* out = reinterpret_cast<Pixel*>(target->pixels + static_cast<size_t>(y) * target->base->pitch);
        auto* in = reinterpret_cast<const Pixel*>(source->pixels +
                                                  static_cast<size_t>(y) * source->base->pitch);
        for (int x = rect.left; x < rect.right; ++x)
            if (Passes(mask[x], m.reverse)) out[x] = in[x];
    }
}

// Images of different pixel layouts: each run of passing pixels is converted across.
void ComposeRuns(MEMIMG* target, const MEMIMG* source, const V_RECT& rect) {
    const MaskScreen& m = g_MaskScreen;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* mask = m.buffer + static_cast<size_t>(y) * m.pitch;
        int x = rect.left;
        while (x < rect.right) {
            while (x < rect.right && !Passes(mask[x], m.reverse)) ++x;
            int start = x;
            while (x < rect.right && Passes(mask[x], m.reverse)) ++x;
            if (x > start) {
                V_RECT run{start, y, x, y + 1};
                CopyMemImg(target, source, &run, start, y);
            }
        }
    }
}

void EndMaskedDrawSoftware(V_RECT rect) {
    MaskScreen& m = g_MaskScreen;
    MEMIMG* target = TargetImage();
    if (!IsMemImgValid(target) || !IsMemImgValid(&m.image) || !ClipToImage(&rect, target)) return;
    const MemImgBase* to = target->base;
    const MemImgBase* from = m.image.base;
    int bytes = GetMemImgBytesPerPixel(to);
    bool sameLayout = to->colorFormat == from->colorFormat && bytes == GetMemImgBytesPerPixel(from);
    if (sameLayout && bytes == 2)
        ComposeRows<uint16_t>(target, &m.image, rect);
    else if (sameLayout && bytes == 4)
        ComposeRows<uint32_t>(target, &m.image, rect);
    else if (!sameLayout)
        ComposeRuns(target, &m.image, rect);
}

// The two-stage set-up of the compose: colour from the screen texture (stage 0), alpha from the
// mask's image texture (stage 1), and the alpha test letting through what the mask allows.
StageSetup ComposeSetup(intptr_t screen, intptr_t image) {
    StageSetup setup{};
    setup.header.alphaTestEnable = 1;
    setup.header.alphaRef = 0;
    setup.header.alphaFunc = g_MaskScreen.reverse ? V_D3DCMP_GREATER : V_D3DCMP_EQUAL;
    setup.header.alphaBlendEnable = 0;
    setup.header.textureFactor = 0xFFFFFFFF;
    setup.header.srcBlend = -1;
    setup.header.destBlend = -1;
    setup.header.blendOp = -1;
    setup.header.stageCount = 3;
    setup.stages[0] = {screen,           0, V_D3DTA_TEXTURE, V_D3DTA_DIFFUSE, V_D3DTOP_SELECTARG1,
                       V_D3DTA_TEXTURE, V_D3DTA_DIFFUSE, V_D3DTOP_SELECTARG1};
    setup.stages[1] = {image,           0, V_D3DTA_TEXTURE, V_D3DTA_CURRENT, V_D3DTOP_SELECTARG1,
                       V_D3DTA_CURRENT, V_D3DTA_TEXTURE, V_D3DTOP_SELECTARG1};
    setup.stages[2] = {0, 0, V_D3DTA_CURRENT, V_D3DTA_CURRENT, V_D3DTOP_DISABLE,
                       V_D3DTA_CURRENT, V_D3DTA_CURRENT, V_D3DTOP_DISABLE};
    for (int i = 3; i < kStageCount; ++i)
        setup.stages[i] = {0, -1, kStageLeave, kStageLeave, kStageLeave, kStageLeave, kStageLeave,
                           kStageLeave};
    return setup;
}

void EndMaskedDrawDevice(const V_RECT& rect) {
    MaskScreen& m = g_MaskScreen;
    V_IDirect3DDevice9* device = GetDevice();
    // The mask surface's viewport and scissor of the draw, which may be narrower than the draw
    // area (a part draw narrows the area for itself), come back after the compose.
    const V_D3DVIEWPORT9 viewport = g_RenderStates.viewport;
    const V_RECT scissor = g_RenderStates.scissor;
    SetRenderTargetSurface(m.savedTargetSurface);
    // Installed with no textures (its texture fields are graph handles), then the two textures
    // are bound directly.
    StageSetup installed = ComposeSetup(-1, -1);
    SetUserTextureStageState(&installed, 0);
    StageSetup bound = ComposeSetup(reinterpret_cast<intptr_t>(m.screenTexture),
                                    reinterpret_cast<intptr_t>(m.imageTexture));
    FlushAndApplyStageBlock(&bound, 0, 1);

    float l = static_cast<float>(rect.left), t = static_cast<float>(rect.top);
    float r = static_cast<float>(rect.right), b = static_cast<float>(rect.bottom);
    float tw = static_cast<float>(m.textureWidth), th = static_cast<float>(m.textureHeight);
    // The mask screen holds the rectangle at target coordinates; the target's surface at its
    // origin.
    float ox = static_cast<float>(m.savedOriginX) - 0.5f;
    float oy = static_cast<float>(m.savedOriginY) - 0.5f;
    const Vertex2DTex quad[4] = {
        {l + ox, t + oy, 0.0f, 1.0f, 0xFFFFFFFF, l / tw, t / th},
        {r + ox, t + oy, 0.0f, 1.0f, 0xFFFFFFFF, r / tw, t / th},
        {l + ox, b + oy, 0.0f, 1.0f, 0xFFFFFFFF, l / tw, b / th},
        {r + ox, b + oy, 0.0f, 1.0f, 0xFFFFFFFF, r / tw, b / th},
    };
    BeginDeviceScene();
    if (g_RenderStates.fvf != kVertexTypeTable[1].fvf) {
        g_RenderStates.fvf = kVertexTypeTable[1].fvf;
        device->SetFVF(kVertexTypeTable[1].fvf);
    }
    device->DrawPrimitiveUP(V_D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex2DTex));

    SetUserTextureStageState(nullptr, 0);
    g_RenderStates.stageDirty = 1;
    SetRenderTargetSurface(m.savedMaskSurface);
    SetDeviceViewport(&viewport);
    SetDeviceScissorRect(&scissor);
}

}  // namespace

int BeginMaskedDraw(int left, int top, int right, int bottom) {
    MaskScreen& m = g_MaskScreen;
    if (++m.bracketDepth > 1) return 0;
    if (!m.active || m.buffer == nullptr) return 0;
    V_RECT rect;
    if (!ClipToDrawArea(left, top, right, bottom, &rect)) return 0;
    if (!g_ScreenSettings.useDirect3D) {
        MEMIMG* target = TargetImage();
        if (!IsMemImgValid(target) || !IsMemImgValid(&m.image) || !ClipToImage(&rect, target)) return 0;
        const MemImgBase* base = target->base;
        g_MaskAlphaImage = MEMIMG{};
        if (base->alphaFlag == 1 && g_ScreenImages.drawSurface == &m.image &&
            CreateMemImg(&g_MaskAlphaImage, target->width, target->height, -1, 0, base->colorType, 0, 1, 0,
                         nullptr) == 0) {
            CopyMemImg(&g_MaskAlphaImage, target, &rect, rect.left, rect.top);
            g_ScreenImages.drawSurface = &g_MaskAlphaImage;
            return 0;
        }
        CopyMemImg(&m.image, target, &rect, rect.left, rect.top);
        return 0;
    }
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr || m.screenSurface == nullptr) return 0;
    FlushVertexBatch();
    EndDeviceScene();
    m.savedMaskSurface = m.screenSurface;
    int originX = 0, originY = 0;
    m.savedTargetSurface = TargetSurface(&originX, &originY);
    m.savedOriginX = originX;
    m.savedOriginY = originY;
    V_RECT from{rect.left + originX, rect.top + originY, rect.right + originX, rect.bottom + originY};
    device->StretchRect(m.savedTargetSurface, &from, m.savedMaskSurface, &rect, V_D3DTEXF_NONE);
    return 0;
}

int EndMaskedDraw(int left, int top, int right, int bottom) {
    MaskScreen& m = g_MaskScreen;
    if (m.bracketDepth > 0 && --m.bracketDepth > 0) return 0;
    V_RECT rect;
    const bool clipped = ClipToDrawArea(left, top, right, bottom, &rect);
    if (IsMemImgValid(&g_MaskAlphaImage)) {
        MEMIMG* target = TargetImage();
        if (clipped && m.buffer != nullptr && ClipToImage(&rect, target))
            ComposeRows<uint32_t>(target, &g_MaskAlphaImage, rect);
        ReleaseMemImg(&g_MaskAlphaImage);
        g_ScreenImages.drawSurface = &m.image;
        return 0;
    }
    if (!clipped) return 0;
    if (!m.active || m.buffer == nullptr) return 0;
    if (!g_ScreenSettings.useDirect3D) {
        EndMaskedDrawSoftware(rect);
        return 0;
    }
    if (GetDevice() == nullptr || m.savedMaskSurface == nullptr || m.savedTargetSurface == nullptr)
        return 0;
    EndMaskedDrawDevice(rect);
    return 0;
}
