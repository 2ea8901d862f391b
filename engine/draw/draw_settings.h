// The draw settings block read by every draw call and by the software kernels.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9_types.h"
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
    int32_t blendBorder = {};            // threshold and range of the blend graph
    int32_t blendRange = {};
    float blendTextureWidth = {};        // the blend graph's texture size (device path)
    float blendTextureHeight = {};
    int32_t transparentFromCorner = {};  // take the transparent colour from pixel (0, 0)
    int32_t edgeBleeding = {};           // bleed neighbour colours into transparent pixels

    // Camera.
    int32_t projectionMode = {};         // 0 perspective, 1 orthographic, 2 the caller's matrix
    float nearZ = 10.0f;
    float farZ = 10000.0f;
    float aspectScale = 1.0f;            // multiplies the target's height / width
    float fieldOfView = 1.0471976f;      // radians (60 degrees)
    float orthoSize = 1.0f;
    V_D3DMATRIX userProjection = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

    // Matrices: what is sent to the device and the products the 3D side reads.
    V_D3DMATRIX worldMatrix = {};
    V_D3DMATRIX viewMatrix = {};
    V_D3DMATRIX projectionMatrix = {};
    V_D3DMATRIX viewportMatrix = {};     // screen-space matrix of the draw target
    V_D3DMATRIX viewportInverse = {};    // adjustment: inverse screen-space of the draw area
    int32_t worldSet = {}, viewSet = {}, projectionSet = {};
    int32_t combinedValid = {};          // the products below are up to date
    V_D3DMATRIX viewProjectionScreen = {};       // view x projection x screen-space
    V_D3DMATRIX worldViewProjectionScreen = {};  // world x the above
    int32_t textureTransformChanged = {};  // texture transforms to send before the next draw
    int32_t textureTransformOn[8] = {};
    V_D3DMATRIX textureMatrices[8] = {};
    float cameraAxes[3][4] = {};         // x, y and z axes of the camera (view columns)
    float cameraExtra[4] = {};           // reset with the products
    int32_t cameraFlags[2] = {};

    // Material and material sources of lit draws.
    int32_t materialDirty = {};
    V_D3DMATERIAL9 material = {};
    int32_t diffuseSource = {};          // 0: the vertex colour, else the material
    int32_t specularSource = {};

    // Device settings of the vertex builders and the draw-state preparation.
    float vertexZ = 0.2f;                 // z of every pre-transformed 2D vertex
    int32_t zEnable2D = 0, zWrite2D = 0, zFunc2D = 4, depthBias2D = 0;
    int32_t zEnable3D = 0, zWrite3D = 0, zFunc3D = 4, depthBias3D = 0;
    int32_t cullMode = 0;
    int32_t maxAnisotropy = 1;
    int32_t addressU[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    int32_t addressV[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    int32_t drawAreaOffsetX = 0, drawAreaOffsetY = 0;  // added to the stretched clip bounds
    // The blend graph's place in its texture (a sub-graph's), added before blend-graph scaling.
    int32_t texelOffsetU = 0, texelOffsetV = 0;
    int32_t parameterAsAlpha = 0;
    int32_t lightingOff = 0;
    int32_t specularOff = 0;
    int32_t movieGraphMarker = 0;
};

// Zero until the graphics start-up resets it.
inline DrawSettings g_DrawSettings = {};

// Reciprocals of the blend graph's texture size, read by the quad builders.
extern float g_BlendScaleX;
extern float g_BlendScaleY;

// Resets the block to its defaults (graphics start-up), keeping the fields that outlive a
// restart: the restore callback, vsync, 320 x 240 emulation, suspension and the light settings.
int InitDrawSettings();
