// The render-state cache: a shadow copy of every device state the library sends, so that an
// unchanged value costs nothing, and the flush of pending vertices before any change.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

constexpr int kStageCount = 8;
constexpr int kMaxLights = 256;
constexpr uint16_t kStageLeave = 0xFFFF;  // a stage value that is left as it is
// What the cache holds for a stage of a new device: values that no set-up sends.
constexpr uint16_t kStageValueUnknown = 0xFFFE;
constexpr int32_t kStageIndexUnknown = -2;
constexpr intptr_t kStageTextureUnknown = -1;

// One texture stage of a stage set-up. The texture is a texture pointer, or in a caller's
// set-up a graph handle (pointer-sized either way).
struct StageEntry {
    intptr_t texture;
    int32_t texCoordIndex;  // -1: leave
    uint16_t alphaArg1;
    uint16_t alphaArg2;
    uint16_t alphaOp;
    uint16_t colorArg1;
    uint16_t colorArg2;
    uint16_t colorOp;
};

struct StageSetupHeader {
    int32_t alphaTestEnable;
    int32_t alphaRef;
    int32_t alphaFunc;
    int32_t alphaBlendEnable;
    uint32_t textureFactor;
    int32_t srcBlend;   // -1: leave
    int32_t destBlend;  // -1: leave
    int32_t blendOp;    // -1: leave
    int32_t stageCount;
};

struct StageSetup {
    StageSetupHeader header;
    StageEntry stages[kStageCount];
};

struct RenderStateCache {
    int32_t sceneOpen;
    int32_t force;
    int32_t blendDirty;
    int32_t stageDirty;

    V_IDirect3DTexture9* texture;       // stage-0 texture of the draw
    V_IDirect3DTexture9* blendTexture;
    int32_t blendThreshold;
    int32_t blendRange;
    int32_t threshold255;               // read by the batch flush

    // Blend key.
    int32_t blendMode;
    int32_t alphaFlag;
    int32_t alphaTestFlag;
    int32_t colorModulation;
    int32_t alphaModulation;

    StageSetup current;                 // what the device holds (header and stages)
    StageSetup installed;               // a caller's set-up, when one is installed
    int32_t installedInUse;
    int32_t installedTexturesOnly;

    int32_t filterMode;
    uint32_t magFilter[kStageCount];
    uint32_t minFilter[kStageCount];
    uint32_t mipFilter[kStageCount];
    uint32_t maxAnisotropy;
    uint32_t stageAnisotropy[kStageCount];

    int32_t zEnable;
    uint32_t zWrite;
    uint32_t zFunc;
    uint32_t depthBias;

    int32_t textureTransform[kStageCount];
    V_D3DMATRIX textureMatrix[kStageCount];

    uint32_t shadeMode;
    int32_t cullMode;
    uint32_t addressU[kStageCount];
    uint32_t addressV[kStageCount];

    int32_t fogEnable;
    uint32_t fogMode;
    uint32_t fogColor;
    float fogStart;
    float fogEnd;
    float fogDensity;

    int32_t lighting;
    int32_t lightEnabled[kMaxLights];
    int32_t highestLight;
    V_D3DLIGHT9 lights[kMaxLights];
    int32_t lightUsed[kMaxLights];  // a light was set in the slot (enabled or not)
    V_D3DMATERIAL9 material;
    float ambient[4];  // R, G, B, A, 0..1

    uint32_t diffuseSource;
    uint32_t specularSource;

    V_D3DVIEWPORT9 viewport;
    V_RECT scissor;
    V_IDirect3DSurface9* renderTarget;
    // Where the draw target's (0, 0) lies in the render target: a sub-graph of a drawable sheet
    // draws into the sheet's surface at its own place.
    int32_t originX, originY;

    V_IDirect3DVertexShader9* vertexShader;
    void* vertexShaderRecord;
    V_IDirect3DPixelShader9* pixelShader;
    uint32_t fvf;
    void* currentObjects[3];  // per-scene records of the draw-state preparation
};
extern RenderStateCache g_RenderStates;

// Hook by which the vertex batch is flushed before a state changes (set by the drawing code).
extern void (*g_FlushVertexBatch)();
void FlushPendingVertices();

V_IDirect3DDevice9* GetDevice();

int SetDeviceLighting(int on);
int SetDeviceLightingArg(int on);
int SetDeviceTextureFilter(int mode);
int SetDeviceMaxAnisotropy(int count);
int SetDeviceBlendState(int mode, int alphaTest, int alpha);
int SetDeviceZEnable(int value);
int SetDeviceZWrite(uint32_t value);
int SetDeviceZFunc(uint32_t value);
int SetDeviceDepthBias(uint32_t value);
int SetDeviceTexture(V_IDirect3DTexture9* texture);
int SetDeviceDiffuseSource(int value);
int SetDeviceSpecularSource(int value);
int SetDeviceCullMode(int value);
int SetDeviceAddressU(int stage, uint32_t mode);
int SetDeviceAddressV(int stage, uint32_t mode);
int SetDeviceTextureTransform(int stage, int on, const V_D3DMATRIX* matrix);
int SetDeviceFogEnable(int on);
int SetDeviceFogMode(uint32_t mode);
int SetDeviceFogColor(uint32_t color);
int SetDeviceFogRange(float start, float end);
int SetDeviceFogDensity(float density);
int SetDeviceViewport(const V_D3DVIEWPORT9* viewport);
int SetDeviceScissorRect(const V_RECT* rect);
int SetRenderTargetSurface(V_IDirect3DSurface9* surface);
int ResetTexCoordIndices();
int SetViewportRect(int x1, int y1, int x2, int y2);
// Viewport and scissor rectangle on a rectangle of the draw target (moved by the origin).
int SetDeviceDrawArea(const V_RECT& area);
int BeginDeviceScene();
int EndDeviceScene();
int SetDeviceWorldTransform(const V_D3DMATRIX* matrix);
int SetDefaultRenderStates();
int ReapplyRenderStates();
// Forgets the current shaders, FVF, per-scene records and texture-stage values (after device
// creation).
void ForgetCurrentDeviceObjects();
float* MakeFloat4(float* out, float a, float b, float c, float d);
int ReturnZero();
