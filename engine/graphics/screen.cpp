// Start and end of the graphics system and the draw target.
#include "graphics/screen.h"

#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw.h"
#include "draw/draw_services.h"
#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "draw/mask.h"
#include "draw/model.h"
#include "graphics/camera.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/light.h"
#include "graphics/render_state.h"
#include "graphics/screen_env.h"
#include "graphics/shader.h"

ScreenImages g_ScreenImages;
ScreenState g_ScreenState;

int CreatePrimaryMemImg() {
    int width = 0;
    int height = 0;
    GetScreenSize(&width, &height);
    int type = GetColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
    ScreenImages& images = g_ScreenImages;
    ReleaseMemImg(&images.primary);
    if (CreateScreenDepthMemImg(&images.primary, width, height, -1) != 0)
        GraphicsFatalExit("プライマリサーフェス用の MEMIMG の作成に失敗しました");
    // The companions: an alpha-carrying screen image and a single-channel mask of the same size.
    for (MEMIMG& companion : images.companions) ReleaseMemImg(&companion);
    CreateMemImg(&images.companions[0], width, height, -1, 0, type, 0, 1, 0, nullptr);
    CreateMemImg(&images.companions[1], width, height, -1, 0, kMemImgChannel8, 0, 0, 0, nullptr);
    FillMemImgWithBackground(&images.primary);
    images.drawSurface = &images.primary;
    return 0;
}

V_IDirect3DSurface9* GetScreenTargetSurface() {
    if (g_ScreenState.extraTarget != nullptr) return g_ScreenState.extraTarget;
    if (g_GraphicsDevice.subBackBuffer != nullptr) return g_GraphicsDevice.subBackBuffer;
    return g_GraphicsDevice.backBuffer;
}

V_IDirect3DSurface9* GetTargetSurface(const GraphRecord* record, int* originX, int* originY) {
    *originX = 0;
    *originY = 0;
    if (record == nullptr) return GetScreenTargetSurface();
    if (record->pieceCount <= 0 || record->pieces == nullptr) return nullptr;
    const PieceDrawRecord& first = record->pieces[0];
    *originX = first.textureX - first.x;
    *originY = first.textureY - first.y;
    return first.piece->surface;
}

int InitGraphics() {
    ScreenSettings& screen = g_ScreenSettings;
    if (screen.initialised) return 0;
    g_GraphTable.count = 0;
    g_GraphTable.highWater = 0;
    if (screen.width == 0) screen.width = 640;
    if (screen.height == 0) screen.height = 480;
    if (screen.colorDepth == 0) screen.colorDepth = 16;
    if (!IsWindowedMode() && screen.width == 320 && screen.height == 240) {
        g_ScreenState.doubled = 1;
        screen.width = 640;
        screen.height = 480;
    }
    if (SetupGraphicsDevice() != 0) {
        EndGraphics();
        return -1;
    }
    screen.initialised = 1;
    if (!screen.useDirect3D) CreatePrimaryMemImg();
    InitMemImgTables();
    InitDrawSettings();
    if (screen.useDirect3D) SetupVertexBatch();
    InitFontSystem();
    return 0;
}

int EndGraphics() {
    EndFonts();
    ScreenSettings& screen = g_ScreenSettings;
    if (!screen.initialised) {
        // A failed start gives back what it took: the DirectDraw object and the loaded module.
        if (g_GraphicsDevice.directDraw != nullptr || g_GraphicsDevice.module != nullptr)
            TerminateGraphicsDevice();
        return 0;
    }
    DeleteAllGraphs();
    DeleteAllShaders();
    EndMaskScreen();
    DeleteAllMasks();
    DeleteAllLights();
    if (g_LightTable.defaultLight > 0) DeleteLight(g_LightTable.defaultLight);
    g_LightTable.defaultLight = -1;
    ArmPresentTimer(0);
    g_ScreenState.presentTimerArmed = 0;
    TerminateGraphicsDevice();
    ReleaseMemImg(&g_ScreenImages.primary);
    for (MEMIMG& companion : g_ScreenImages.companions) ReleaseMemImg(&companion);
    g_ScreenImages.drawSurface = nullptr;
    FreeShaderPack();
    g_ScreenState.depthAsked = 0;
    screen.initialised = 0;
    return 0;
}

int SetDrawTarget(int target) {
    if (!g_ScreenSettings.initialised) return -1;
    GraphRecord* record = nullptr;
    bool screenTarget = target == -4 || target == -2 || target == -3 || target == -5;
    if (!screenTarget) {
        record = GetGraphRecord(target);
        if (record == nullptr || record->image == nullptr || !record->image->desc.drawable)
            return -1;
    }
    WaitWhileInactive();
    return SwitchDrawTarget(target, record);
}

int SwitchDrawTarget(int target, GraphRecord* record) {
    DrawSettings& s = g_DrawSettings;
    // Mask-screen use is off while the target changes and comes back afterwards.
    const int maskUse = GetUseMaskScreen();
    SetUseMaskScreen(0);
    const MaskScreen& mask = g_MaskScreen;
    if (!g_ScreenSettings.useDirect3D) {
        if (mask.active && IsMemImgValid(&mask.image))
            g_ScreenImages.drawSurface = const_cast<MEMIMG*>(&mask.image);
        else
            g_ScreenImages.drawSurface =
                record != nullptr ? &record->view : &g_ScreenImages.primary;
    } else {
        FlushPendingVertices();
        EndDeviceScene();
        if (g_RenderStates.texture != nullptr || g_RenderStates.force) {
            FlushPendingVertices();
            g_RenderStates.stageDirty = 1;
            if (g_RenderStates.texture != nullptr) g_RenderStates.blendDirty = 1;
            g_RenderStates.texture = nullptr;
        }
        int originX = 0, originY = 0;
        V_IDirect3DSurface9* surface = GetTargetSurface(record, &originX, &originY);
        if (surface == nullptr) surface = GetScreenTargetSurface();
        // The mask screen takes the draws at the target's own coordinates.
        if (mask.active && mask.screenSurface != nullptr) {
            surface = mask.screenSurface;
            originX = originY = 0;
        }
        SetRenderTargetSurface(surface);
        g_RenderStates.originX = originX;
        g_RenderStates.originY = originY;
    }
    int oldWidth = s.targetWidth;
    int oldHeight = s.targetHeight;
    s.drawTarget = target;
    if (target == -4) {
        ArmPresentTimer(1);
        g_ScreenState.presentTimerArmed = 1;
    }
    if (target != -3 && target != -5) GetGraphSize(target, &s.targetWidth, &s.targetHeight);
    if (s.targetWidth != oldWidth || s.targetHeight != oldHeight) {
        SetDrawArea(0, 0, s.targetWidth, s.targetHeight);
    } else {
        SetDrawArea(s.drawArea.left, s.drawArea.top, s.drawArea.right, s.drawArea.bottom);
    }
    ResetTargetTransforms(s.targetWidth, s.targetHeight);
    SetUseMaskScreen(maskUse);
    return 0;
}

int GetDrawTarget() { return g_DrawSettings.drawTarget; }

void LeaveDeletedDrawTarget(int handle) {
    if (!g_ScreenSettings.initialised || handle < 0 || g_DrawSettings.drawTarget != handle) return;
    // Drawing must not go on into the record or the textures that are about to be freed: it
    // goes to the back screen, where a program's frames are drawn.
    SwitchDrawTarget(-2, nullptr);
}

int SetGraphRestoreCallback(void (*callback)()) {
    g_DrawSettings.graphRestoreCallback = callback;
    g_DrawSettings.graphRestoreRegistered = 1;  // null selects the built-in restore
    return 0;
}

int IsGraphRestoreCallbackSet() { return g_DrawSettings.graphRestoreRegistered; }

int RestoreGraphsAfterLoss() {
    if (g_DrawSettings.graphRestoreCallback != nullptr) {
        g_DrawSettings.graphRestoreCallback();
    } else {
        RestoreGraphs();
    }
    ReloadModelTextures();
    RecreateAllFonts();
    return 0;
}
