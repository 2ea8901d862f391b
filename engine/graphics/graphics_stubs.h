// Least versions of the graphics calls that library start and end, the window code and the
// window procedure make, until the graphics core is built: a 640 x 480 16-bit screen setting,
// no device, no display-mode list. Delete with graphics_stubs.cpp.
#pragma once

#include "platform/types.h"

// The screen size setting; 640 x 480 when none is set.
int GetScreenSize(int* width, int* height);
int GetDisplayModeCount();
int GetDisplayMode(int index, int* width, int* height, int* bits);
int GetColorBitDepth();
int GetForceSoftwareFlag();
int GetScreenState(int* width, int* height, int* bits);

int SetGraphRestoreCallback(void (*callback)());
int IsGraphRestoreCallbackSet();

int InitGraphics();
int EndGraphics();
int SetDrawTarget(int target);
int GetDrawTarget();
int ChangeScreenMode(int width, int height, int bits, int switched, int refreshRate);
int RefreshScreen(const V_RECT* area);
int RecreateDeviceSameMode();
// Ends the open scene and presents the device once; non-zero when presenting failed.
int PresentDeviceOnce();
int IsDirect3DInUse();
int HasDirectDrawObject();
int GetWaitVSyncFlag();
int SetWaitVSyncFlag(int flag);
