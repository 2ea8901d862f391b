// The blend-mode table, the constant texture-stage set-ups and the blend graph: turning the
// draw's blend mode and texture into device states.
#pragma once

#include <cstdint>

#include "graphics/render_state.h"

constexpr int kBlendModeCount = 13;
constexpr int kStageBlockCount = 72;

struct BlendModeRow {
    int32_t destBlend;  // -1: leave
    int32_t srcBlend;   // -1: leave
    int32_t variant;    // 0 plain, 1 toward the texture factor, 2 inverted colour
    int32_t blendOp;
};
extern const BlendModeRow kBlendModeTable[kBlendModeCount];

// A constant stage block: the stages in use and eight entries (the texture fields are unused).
struct StageBlock {
    int32_t stageCount;
    StageEntry stages[kStageCount];
};
const StageBlock& GetStageBlock(int index);
const StageBlock& GetMode3StageBlock();

// The texture of a graph's first texture piece, or null (set by the graph code).
extern V_IDirect3DTexture9* (*g_GetGraphTexture)(int graphHandle);

int ApplyTextureBlendState(int handles, const StageSetup* setup, int texturesOnly);
int SetDeviceBlendTexture(V_IDirect3DTexture9* texture, int threshold, int range);
int SetUserTextureStageState(const StageSetup* setup, int texturesOnly);

struct SharedImage;
struct TexturePiece;
// A drawable graph without alpha weighs by its key: the device reads its weights from an alpha
// texture made from its pixels (made again at each call; null when it cannot be made).
bool NeedsBlendKeyTexture(const SharedImage* image);
V_IDirect3DTexture9* UpdateBlendKeyTexture(const TexturePiece& piece, uint32_t transparentColor);
// Releases the key texture; the caller puts another blend texture (or none) in the cache.
void ReleaseBlendKeyTexture();
// Puts the blend graph of the draw settings on the device for the coming graph draw.
void UseDeviceBlendGraph();
