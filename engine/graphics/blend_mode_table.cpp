// The blend-mode table and the constant stage blocks, built once from their rules.
#include "graphics/blend_mode.h"

const BlendModeRow kBlendModeTable[kBlendModeCount] = {
    {-1, -1, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_INVSRCALPHA, V_D3DBLEND_SRCALPHA, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ONE, V_D3DBLEND_SRCALPHA, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ZERO, V_D3DBLEND_INVDESTCOLOR, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_SRCCOLOR, V_D3DBLEND_ZERO, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ONE, V_D3DBLEND_SRCALPHA, 0, V_D3DBLENDOP_ADD},
    {-1, -1, 0, V_D3DBLENDOP_ADD},
    {-1, -1, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ONE, V_D3DBLEND_ZERO, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ZERO, V_D3DBLEND_INVDESTCOLOR, 0, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_INVSRCALPHA, V_D3DBLEND_SRCALPHA, 2, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_SRCCOLOR, V_D3DBLEND_ZERO, 1, V_D3DBLENDOP_ADD},
    {V_D3DBLEND_ONE, V_D3DBLEND_SRCALPHA, 0, V_D3DBLENDOP_REVSUBTRACT},
};

namespace {

constexpr uint16_t L = kStageLeave;

StageEntry Stage(int texCoord, uint16_t colorOp, uint16_t colorArg1, uint16_t colorArg2,
                 uint16_t alphaOp, uint16_t alphaArg1, uint16_t alphaArg2) {
    return {0, texCoord, alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp};
}

StageEntry ClosingStage() {
    return Stage(-1, V_D3DTOP_DISABLE, L, L, V_D3DTOP_DISABLE, L, L);
}

void Finish(StageBlock* block, int count) {
    block->stageCount = count;
    for (int i = count; i < kStageCount; ++i) block->stages[i] = ClosingStage();
}

// Stage 0 of a textured draw without a blend texture.
StageEntry TexturedStage(int kind, int alphaModulation, int colorModulation, bool inverted) {
    uint16_t texture = static_cast<uint16_t>(V_D3DTA_TEXTURE | (inverted ? 0x10u : 0u));
    StageEntry stage = colorModulation
                           ? Stage(0, V_D3DTOP_MODULATE, texture, V_D3DTA_DIFFUSE, 0, L, L)
                           : Stage(0, V_D3DTOP_SELECTARG1, texture, L, 0, L, L);
    if (kind == 0) {
        stage.alphaOp = V_D3DTOP_SELECTARG2;
        stage.alphaArg2 = V_D3DTA_DIFFUSE;
    } else if (alphaModulation == 0) {
        stage.alphaOp = V_D3DTOP_SELECTARG1;
        stage.alphaArg1 = V_D3DTA_TEXTURE;
    } else {
        stage.alphaOp = V_D3DTOP_MODULATE;
        stage.alphaArg1 = V_D3DTA_TEXTURE;
        stage.alphaArg2 = V_D3DTA_DIFFUSE;
    }
    return stage;
}

// Blend-texture blocks: stage 0 adds the threshold factor to the blend texture's alpha, the
// following stages bring in the drawn texture and the vertex colour.
StageBlock BlendTextureBlock(int kind, int alphaModulation, int colorModulation) {
    StageBlock block{};
    const uint16_t T = V_D3DTA_TEXTURE, C = V_D3DTA_CURRENT, D = V_D3DTA_DIFFUSE,
                   S = V_D3DTA_SPECULAR;
    // The colour step of a stage that takes the drawn texture.
    auto textureStage = [&](uint16_t alphaArg1, uint16_t alphaArg2) {
        return colorModulation
                   ? Stage(1, V_D3DTOP_MODULATE, T, D, V_D3DTOP_MODULATE, alphaArg1, alphaArg2)
                   : Stage(1, V_D3DTOP_SELECTARG1, T, L, V_D3DTOP_MODULATE, alphaArg1, alphaArg2);
    };
    int count = 0;
    block.stages[count++] =
        Stage(0, V_D3DTOP_SELECTARG2, L, D, V_D3DTOP_ADD, T, V_D3DTA_TFACTOR);
    if (kind == 0 && alphaModulation) {
        // The range's steepening (stage 1's alpha operation) applies to the blend value alone;
        // the vertex alpha weighs the result in a stage of its own, as with the other kinds.
        block.stages[count++] = textureStage(S, C);
        block.stages[count++] = Stage(1, V_D3DTOP_SELECTARG1, C, L, V_D3DTOP_MODULATE, D, C);
    } else if (kind == 0) {
        block.stages[count++] = textureStage(C, D);
    } else if (kind == 1) {
        block.stages[count++] = Stage(1, V_D3DTOP_SELECTARG1, C, L, V_D3DTOP_MODULATE, S, C);
        block.stages[count++] = textureStage(T, C);
        if (alphaModulation)
            block.stages[count++] = Stage(0, V_D3DTOP_SELECTARG1, C, L, V_D3DTOP_MODULATE, D, C);
    } else {
        block.stages[count++] = textureStage(T, C);
        if (alphaModulation)
            block.stages[count++] = Stage(1, V_D3DTOP_SELECTARG1, C, L, V_D3DTOP_MODULATE, D, C);
    }
    Finish(&block, count);
    return block;
}

struct StageBlocks {
    StageBlock blocks[kStageBlockCount];
    StageBlock mode3;

    StageBlocks() : blocks{}, mode3{} {
        for (int colorModulation = 0; colorModulation < 2; ++colorModulation)
            for (int alphaModulation = 0; alphaModulation < 2; ++alphaModulation)
                for (int kind = 0; kind < 3; ++kind) {
                    int index = kind + 3 * alphaModulation + 6 * colorModulation;
                    StageBlock& plain = blocks[index];
                    plain.stages[0] = TexturedStage(kind, alphaModulation, colorModulation, false);
                    Finish(&plain, 1);

                    StageBlock& toFactor = blocks[index + 24];
                    toFactor.stages[0] = plain.stages[0];
                    toFactor.stages[1] =
                        Stage(1, V_D3DTOP_BLENDCURRENTALPHA, V_D3DTA_CURRENT, V_D3DTA_TFACTOR,
                              V_D3DTOP_SELECTARG1, V_D3DTA_CURRENT, L);
                    Finish(&toFactor, 2);

                    StageBlock& inverted = blocks[index + 48];
                    inverted.stages[0] =
                        TexturedStage(kind, alphaModulation, colorModulation, true);
                    Finish(&inverted, 1);

                    blocks[index + 12] = BlendTextureBlock(kind, alphaModulation, colorModulation);
                }
        for (int i = 36; i < 48; ++i) Finish(&blocks[i], 0);
        for (int i = 60; i < 72; ++i) Finish(&blocks[i], 0);
        mode3.stages[0] = Stage(0, V_D3DTOP_SELECTARG1, V_D3DTA_DIFFUSE, L, V_D3DTOP_SELECTARG2, L,
                                V_D3DTA_DIFFUSE);
        mode3.stages[1] = Stage(0, V_D3DTOP_DISABLE, L, L, V_D3DTOP_DISABLE, L, L);
        Finish(&mode3, 1);
        mode3.stages[1].texCoordIndex = 0;
    }
};

const StageBlocks& Blocks() {
    static const StageBlocks blocks;
    return blocks;
}

}  // namespace

const StageBlock& GetStageBlock(int index) { return Blocks().blocks[index]; }
const StageBlock& GetMode3StageBlock() { return Blocks().mode3; }
