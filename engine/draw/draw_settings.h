// The draw settings block read by every draw call and by the software kernels.
#pragma once

#include <cstdint>

#include "platform/d3d9_types.h"
#include "platform/types.h"

struct DrawSettings {
    V_RECT drawArea;        // clipping rectangle of every draw; right and bottom exclusive
    int32_t blendMode;      // 0..11
    int32_t blendParameter; // 0..255
    uint32_t brightColor;   // 0x00RRGGBB (bytes blue, green, red, 0); 0x00FFFFFF is white

    // Settings that also reach the device.
    uint32_t drawColor = {};        // vertex colour 0xAARRGGBB from brightness and blend parameter
    int32_t drawMode = {};          // texture filter: 0 nearest, 1 bilinear, 2 anisotropic
    int32_t emulation320x240 = {};  // draw into the top-left 320 x 240, shown doubled
    int32_t drawAreaEmpty = {};     // every draw returns at once
    V_RECT requestedArea = {};      // the corners as asked
    float drawAreaF[4] = {};        // the draw area as floats (x1, y1, x2, y2)
    int32_t fogEnable = {};
    int32_t fogMode = {};
    uint32_t fogColor = {};         // 0xFFRRGGBB
    float fogStart = {};
    float fogEnd = {};

    // Draw target and graph creation.
    void (*graphRestoreCallback)() = {};  // null: the built-in restore
    int32_t graphRestoreRegistered = {};  // a callback (or the built-in one) was chosen
    int32_t drawTarget = {};             // graph handle, -2 back screen, -4 front screen
    int32_t targetWidth = {};
    int32_t targetHeight = {};
    int32_t blendGraph = -1;
    int32_t createBitDepth = {};         // 0: the screen depth (32 for graphs with alpha)
    int32_t drawableGraphs = {};         // new graphs are render targets
    int32_t drawableAlpha = {};
    int32_t makeGraphAlpha = {};
    int32_t alphaTest = 1;
    int32_t blendGraphFormat = {};
    int32_t defaultPool = {};
    uint32_t transparentColor = {};      // 0x00RRGGBB
    int32_t noColorKey = {};
    int32_t suspended = {};              // draws and setters do nothing
    V_D3DMATRIX worldMatrix = {};
    V_D3DMATRIX viewMatrix = {};
    V_D3DMATRIX projectionMatrix = {};
    V_D3DMATRIX viewportMatrix = {};     // screen-space matrix of the draw target
    V_D3DMATRIX viewportInverse = {};
    float fieldOfView = {};
    float nearZ = {};
    float farZ = {};

    // Device settings of the vertex builders and the draw-state preparation.
    float vertexZ = 0.2f;                 // z of every pre-transformed 2D vertex
    int32_t zEnable2D = 0, zWrite2D = 0, zFunc2D = 4, depthBias2D = 0;
    int32_t zEnable3D = 0, zWrite3D = 0, zFunc3D = 4, depthBias3D = 0;
    int32_t cullMode = 0;
    int32_t maxAnisotropy = 1;
    int32_t addressU[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    int32_t addressV[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    int32_t drawAreaOffsetX = 0, drawAreaOffsetY = 0;  // added to the stretched clip bounds
    int32_t texelOffsetU = 0, texelOffsetV = 0;        // added before blend-graph scaling
    int32_t parameterAsAlpha = 0;
    int32_t lightingOff = 0;
    int32_t specularOff = 0;
    int32_t movieGraphMarker = 0;
};

// Zero until the graphics start-up resets it.
inline DrawSettings g_DrawSettings = {};
