// The screen: set-up and end of the graphics system, the draw target, presenting, screen pixel
// access, screen-mode change and device re-creation.
#pragma once

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/d3d9/d3d9.h"

struct GraphRecord;

// The software screen: the primary image and its two companions.
struct ScreenImages {
    MEMIMG primary;
    MEMIMG companions[2];
    MEMIMG* drawSurface;  // where software draws go (the primary image or a graph's view)
};
extern ScreenImages g_ScreenImages;

// Extra state of the screen beside ScreenSettings.
struct ScreenState {
    int32_t doubled;           // a 320 x 240 full screen run as 640 x 480, shown doubled
    int32_t inPlaceChange;     // re-create the device instead of re-initialising (never set)
    int32_t presentTimerArmed;
    int32_t noGraphics;        // the library runs without graphics (never set)
    int32_t depthAsked;        // the depth a mode change asked for (0: none since the start)
    V_IDirect3DSurface9* extraTarget;  // extra render target of the screen (none here)
};
extern ScreenState g_ScreenState;

int CreatePrimaryMemImg();
// Fills a software image with the window's background colour in the image's own format.
void FillMemImgWithBackground(MEMIMG* image);
int InitGraphics();
int EndGraphics();
int SetDrawTarget(int target);
int GetDrawTarget();
// The part of SetDrawTarget after the checks: points drawing at the target (a validated drawable
// graph's record, or null for a screen target) and resets the draw area and the camera.
int SwitchDrawTarget(int target, GraphRecord* record);
// Called before a graph is deleted: when it is the draw target, the back screen becomes the
// target, without waiting for the window.
void LeaveDeletedDrawTarget(int handle);
int SetGraphRestoreCallback(void (*callback)());
int RestoreGraphsAfterLoss();
// The surface that screen draws go to on the device path.
V_IDirect3DSurface9* GetScreenTargetSurface();
// Device path: the surface a draw target (a drawable graph's record, or null for the screen)
// lives in, and where the target's (0, 0) lies in it (a sub-graph's place in its sheet).
V_IDirect3DSurface9* GetTargetSurface(const GraphRecord* record, int* originX, int* originY);

// Presenting.
struct PresentRects {
    V_RECT source;
    V_RECT destination;
    int doubled;
};
void ComputePresentRects(PresentRects* rects);
int PresentScreen();
int RefreshScreen(const V_RECT* area);
int PrepareSubBackBuffer();
void PresentTimerProc(V_HWND window, V_UINT message, uintptr_t id, V_DWORD time);
// The bitmap header of a software image for a transfer to the window.
void FillScreenBitmapInfo(const MEMIMG* image, V_BITMAPINFO* info, uint32_t* masks);

// Screen pixel access.
int LockScreenPixels(const V_RECT* rect, ImageRecord* record);
int UnlockScreenPixels();
int CopyScreenRectToGraph(int x1, int y1, int x2, int y2, int graph);

// Mode change and device re-creation.
int ChangeScreenMode(int width, int height, int bits, int switched, int refreshRate);
int RecreateDevice(int width, int height, int bits, int refreshRate, int newMode);
int RecreateDeviceSameMode();
int RestoreDrawStates();
// Starts the graphics system in the stored mode, else walks the fallbacks: 640 x 480 with the
// 320 x 240 emulation (for a 320 x 240 request), the old mode, 640 x 480 16-bit. -1 when every
// start failed.
int StartGraphicsWithFallbacks(int oldWidth, int oldHeight, int oldBits, int oldRate,
                               int (*start)());
