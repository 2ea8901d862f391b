// Screen-mode change (by ending and starting the graphics system again, with fallbacks) and
// re-creation of the device in the same or a new mode.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/window.h"
#include "draw/draw.h"
#include "draw/draw_services.h"
#include "draw/draw_settings.h"
#include "draw/mask.h"
#include "draw/model.h"
#include "graphics/blend_mode.h"
#include "graphics/camera.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/light.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "graphics/shader.h"
#include "movie/movie.h"
#include "movie/movie_services.h"

namespace {

struct Mode {
    int width, height, bits, rate;
};

Mode CurrentMode() {
    const ScreenSettings& s = g_ScreenSettings;
    return {s.width != 0 ? s.width : 640, s.height != 0 ? s.height : 480,
            s.colorDepth != 0 ? s.colorDepth : 16, s.refreshRate};
}

void StoreMode(const Mode& mode) {
    g_ScreenSettings.width = mode.width;
    g_ScreenSettings.height = mode.height;
    g_ScreenSettings.colorDepth = mode.bits;
    g_ScreenSettings.refreshRate = mode.rate;
}

// The draw target to set again after a restart of the graphics system, which resets it and
// deletes every graph: a screen target stays, a graph's gives way to the back screen.
int TargetAfterRestart(int target) {
    return target == -2 || target == -3 || target == -4 || target == -5 ? target : -2;
}

// The end of a mode change: the window takes the new size, pending messages are seen once and
// the draw target (and with it the camera) is set again.
int Finish(int target) {
    if (IsWindowedMode()) ApplyWindowStyle();
    DecreaseLogIndent();
    WriteLog("画面モード変更処理は正常に終了しました\n");
    ProcessMessage();
    SetDrawTarget(target);
    return 0;
}

// Ends the graphics system and starts it again in the stored mode, as a mode change does.
void RestartGraphics() {
    const int target = TargetAfterRestart(g_DrawSettings.drawTarget);
    EndGraphics();
    if (InitGraphics() != 0) GraphicsFatalExit("予期せぬ画面モード変更不能現象が起きました2\n");
    SetDrawTarget(target);
}

}  // namespace

int StartGraphicsWithFallbacks(int oldWidth, int oldHeight, int oldBits, int oldRate,
                               int (*start)()) {
    if (start() == 0) return 0;
    Mode want = CurrentMode();
    if (want.width == 320 && want.height == 240) {
        StoreMode({640, 480, want.bits, want.rate});
        SetEmulation320x240(1);
        if (start() == 0) return 0;
    }
    StoreMode({oldWidth, oldHeight, oldBits, oldRate});
    if (start() == 0) return 0;
    StoreMode({640, 480, 16, 0});
    return start();
}

int ChangeScreenMode(int width, int height, int bits, int switched, int refreshRate) {
    ScreenState& state = g_ScreenState;
    if (!IsWindowedMode()) {
        if (width == 320 && height == 240) {
            state.doubled = 1;
            width = 640;
            height = 480;
        } else {
            state.doubled = 0;
        }
    } else {
        if (switched == 1 && state.doubled) {
            width = 320;
            height = 240;
        }
        state.doubled = 0;
    }
    Mode old = CurrentMode();
    Mode want{width != -1 ? width : old.width, height != -1 ? height : old.height,
              bits != -1 ? bits : old.bits, refreshRate != -1 ? refreshRate : old.rate};
    if (want.width == old.width && want.height == old.height && want.bits == old.bits &&
        want.rate == old.rate && switched == 0)
        return 0;
    WriteLog("画面モード変更処理を開始します\n");
    IncreaseLogIndent();
    if (!IsLibraryUp()) {
        DecreaseLogIndent();
        return 0;
    }
    if (state.inPlaceChange) {
        if (!IsWindowedMode() && !IsDisplayModeAvailable(want.width, want.height, want.bits)) {
            DecreaseLogIndent();
            return 0;
        }
        RecreateDevice(want.width, want.height, want.bits, want.rate, 1);
        return Finish(g_DrawSettings.drawTarget);
    }
    // The default font's size and thickness outlive the restart.
    int fontSize = -1, fontThickness = -1;
    bool keepFont = g_ScreenSettings.initialised &&
                    GetFontParams(nullptr, &fontSize, &fontThickness, GetDefaultFontHandle()) == 0;
    // An asked depth outlives the restart (and later mode changes that leave the depth alone).
    const int depthAsked = bits != -1 ? want.bits : g_ScreenState.depthAsked;
    // The target the program had, or the one the start sets when there was no screen.
    const int target = g_ScreenSettings.initialised ? TargetAfterRestart(g_DrawSettings.drawTarget) : -4;
    if (g_ScreenSettings.initialised) EndGraphics();
    g_ScreenState.depthAsked = depthAsked;
    StoreMode(want);
    if (StartGraphicsWithFallbacks(old.width, old.height, old.bits, old.rate, InitGraphics) != 0)
        GraphicsFatalExit("予期せぬ画面モード変更不能現象が起きました2\n");
    if (keepFont) SetDefaultFontSizeAndThickness(nullptr, fontSize, fontThickness);
    return Finish(target);
}

int RecreateDevice(int width, int height, int bits, int refreshRate, int newMode) {
    if (g_ScreenState.noGraphics) return 0;
    const int deviceBefore = g_ScreenSettings.useDirect3D;
    const Mode before = CurrentMode();
    if (deviceBefore) {
        ReleaseMaskScreen();
        ReleaseAllTextures();
        ReleaseBlendKeyTexture();
    }
    TerminateGraphicsDevice();
    if (newMode) {
        StoreMode({width, height, bits, refreshRate});
    } else {
        EndInput();  // input starts again at its next use
    }
    // A software-path re-creation stays on that path: its graphs are software images.
    const int32_t forced = g_ScreenSettings.softwareForced;
    if (!deviceBefore) g_ScreenSettings.softwareForced = 1;
    const int setup = SetupGraphicsDevice();
    g_ScreenSettings.softwareForced = forced;
    if (setup == 0 && !deviceBefore && !g_ScreenSettings.useDirect3D) {
        // The software path ran all along: its screen images, graphs, fonts, lights, masks and
        // the draw target live in memory and stay. A new size or depth needs new screen images.
        const Mode now = CurrentMode();
        if (now.width != before.width || now.height != before.height || now.bits != before.bits)
            RestartGraphics();
        return 0;
    }
    if (setup != 0 || !g_ScreenSettings.useDirect3D) {
        // Without a device the software screen must exist: start the graphics system again, as a
        // mode change does.
        WriteLog("デバイスの再作成でソフトウエアレンダリングに切り替わったためグラフィックシステムを再起動します\n");
        RestartGraphics();
        return 0;
    }
    RecreateAllTextures();
    ReattachBlendGraph();
    RestoreMaskScreen();
    const V_D3DMATRIX view = g_DrawSettings.viewMatrix;
    const V_D3DMATRIX projection = g_DrawSettings.projectionMatrix;
    const V_D3DMATRIX viewport = g_DrawSettings.viewportMatrix;
    SetDrawTarget(g_DrawSettings.drawTarget);
    RestoreDrawStates();
    for (int i = 0; i < 2; ++i) {
        ClearDrawScreen();
        PresentScreen();
    }
    if (newMode) {
        RestoreGraphs();
        ReloadModelTextures();
        RecreateAllFonts();
    } else {
        RestoreGraphsAfterLoss();
    }
    // Movie graphs are not reloaded from their files: their movies hand over their frames.
    RestoreMovieFrames();
    ReapplyRenderStates();
    RebuildModelBuffers();
    g_LightTable.reapply = 1;
    if (!newMode) {
        // The camera of before the loss, in place of the one the draw target reset.
        const V_D3DMATRIX world = g_DrawSettings.worldMatrix;
        SetWorldMatrix(&world);
        SetViewMatrix(&view);
        SetUserProjectionMatrix(&projection);
        SetViewportMatrix(&viewport);
    }
    return 0;
}

int RecreateDeviceSameMode() { return RecreateDevice(-1, -1, -1, -1, 0); }
