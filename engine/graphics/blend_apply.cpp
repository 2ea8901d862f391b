// Applying the blend key: picking the blend row and the stage set-up for the draw, adjusting
// them for the blend graph's threshold, and sending what differs from the cache.
#include <cstring>

#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/shader.h"

V_IDirect3DTexture9* (*g_GetGraphTexture)(int graphHandle) = nullptr;

namespace {

V_IDirect3DTexture9* TextureOf(intptr_t field, int handles) {
    if (!handles) return reinterpret_cast<V_IDirect3DTexture9*>(field);
    if (g_GetGraphTexture == nullptr) return nullptr;
    return g_GetGraphTexture(static_cast<int>(field));
}

void SendTextureFactor(V_IDirect3DDevice9* device, uint32_t factor) {
    device->SetRenderState(V_D3DRS_TEXTUREFACTOR, factor);
    float c5[4];
    MakeFloat4(c5, (factor & 0xFF) / 255.0f, ((factor >> 8) & 0xFF) / 255.0f,
               ((factor >> 16) & 0xFF) / 255.0f, (factor >> 24) / 255.0f);
    SetPSConstants(5, c5, 1);
}

// Sends a header value when forced or changed; -1 in the blend columns leaves the device value.
// Forced, a left value goes again as it was kept (every blend value from ZERO = 1 up), so that a
// new device holds what the cache says.
void ApplyHeaderValue(V_IDirect3DDevice9* device, int32_t* cached, int32_t value, uint32_t state,
                      bool leaveMarker) {
    bool force = g_RenderStates.force != 0;
    if (leaveMarker && value == -1) {
        if (force && *cached >= 1) device->SetRenderState(state, static_cast<uint32_t>(*cached));
        return;
    }
    if (!force && *cached == value) return;
    *cached = value;
    device->SetRenderState(state, static_cast<uint32_t>(value));
}

void ApplyStageValue(V_IDirect3DDevice9* device, int stage, uint16_t* cached, uint16_t value,
                     uint32_t type) {
    if (value == kStageLeave) return;
    if (!g_RenderStates.force && *cached == value) return;
    *cached = value;
    device->SetTextureStageState(stage, type, value);
}

void ApplyStageTexture(V_IDirect3DDevice9* device, int stage, V_IDirect3DTexture9* texture) {
    StageEntry& cached = g_RenderStates.current.stages[stage];
    if (!g_RenderStates.force && cached.texture == reinterpret_cast<intptr_t>(texture)) return;
    cached.texture = reinterpret_cast<intptr_t>(texture);
    device->SetTexture(stage, texture);
}

void Apply(V_IDirect3DDevice9* device, const StageSetupHeader& header,
           V_IDirect3DTexture9* const textures[kStageCount], const StageEntry* stages,
           int entries, bool texturesOnly) {
    StageSetupHeader& kept = g_RenderStates.current.header;
    ApplyHeaderValue(device, &kept.alphaTestEnable, header.alphaTestEnable,
                     V_D3DRS_ALPHATESTENABLE, false);
    ApplyHeaderValue(device, &kept.alphaRef, header.alphaRef, V_D3DRS_ALPHAREF, false);
    ApplyHeaderValue(device, &kept.alphaFunc, header.alphaFunc, V_D3DRS_ALPHAFUNC, false);
    ApplyHeaderValue(device, &kept.alphaBlendEnable, header.alphaBlendEnable,
                     V_D3DRS_ALPHABLENDENABLE, false);
    if (g_RenderStates.force || kept.textureFactor != header.textureFactor) {
        kept.textureFactor = header.textureFactor;
        SendTextureFactor(device, header.textureFactor);
    }
    ApplyHeaderValue(device, &kept.srcBlend, header.srcBlend, V_D3DRS_SRCBLEND, true);
    ApplyHeaderValue(device, &kept.destBlend, header.destBlend, V_D3DRS_DESTBLEND, true);
    ApplyHeaderValue(device, &kept.blendOp, header.blendOp, V_D3DRS_BLENDOP, true);

    for (int i = 0; i < entries && i < kStageCount; ++i) {
        StageEntry& cached = g_RenderStates.current.stages[i];
        if (!texturesOnly && i >= 2 &&
            g_RenderStates.current.stages[i - 1].alphaOp == V_D3DTOP_DISABLE)
            break;
        const StageEntry& stage = stages[i];
        ApplyStageTexture(device, i, textures[i]);
        if (stage.texCoordIndex != -1 &&
            (g_RenderStates.force || cached.texCoordIndex != stage.texCoordIndex)) {
            cached.texCoordIndex = stage.texCoordIndex;
            device->SetTextureStageState(i, V_D3DTSS_TEXCOORDINDEX,
                                         static_cast<uint32_t>(stage.texCoordIndex));
        }
        if (texturesOnly) continue;
        ApplyStageValue(device, i, &cached.alphaOp, stage.alphaOp, V_D3DTSS_ALPHAOP);
        ApplyStageValue(device, i, &cached.alphaArg1, stage.alphaArg1, V_D3DTSS_ALPHAARG1);
        ApplyStageValue(device, i, &cached.alphaArg2, stage.alphaArg2, V_D3DTSS_ALPHAARG2);
        ApplyStageValue(device, i, &cached.colorOp, stage.colorOp, V_D3DTSS_COLOROP);
        ApplyStageValue(device, i, &cached.colorArg1, stage.colorArg1, V_D3DTSS_COLORARG1);
        ApplyStageValue(device, i, &cached.colorArg2, stage.colorArg2, V_D3DTSS_COLORARG2);
    }
}

// A caller's set-up (given or installed): its header, its textures, its stage values.
int ApplySetup(V_IDirect3DDevice9* device, int handles, const StageSetup& setup,
               int texturesOnly) {
    V_IDirect3DTexture9* textures[kStageCount];
    for (int i = 0; i < kStageCount; ++i) textures[i] = TextureOf(setup.stages[i].texture, handles);
    int entries = setup.header.stageCount;
    if (entries < 0) entries = 0;
    if (entries > kStageCount) entries = kStageCount;
    Apply(device, setup.header, textures, setup.stages, entries, texturesOnly != 0);
    return 0;
}

// Only the draw's texture changed: it goes to the stage that holds the drawn texture.
int ApplyTextureOnly(V_IDirect3DDevice9* device) {
    int stage = 0;
    if (g_RenderStates.blendTexture != nullptr) stage = g_RenderStates.alphaFlag ? 2 : 1;
    g_RenderStates.current.stages[stage].texture =
        reinterpret_cast<intptr_t>(g_RenderStates.texture);
    device->SetTexture(stage, g_RenderStates.texture);
    g_RenderStates.stageDirty = 0;
    return 0;
}

void SetStageCount(int count) {
    if (g_RenderStates.current.header.stageCount == count) return;
    g_RenderStates.current.header.stageCount = count;
    int force = g_RenderStates.force;
    g_RenderStates.force = 1;
    SetDeviceTextureFilter(g_RenderStates.filterMode);
    SetDeviceMaxAnisotropy(static_cast<int>(g_RenderStates.maxAnisotropy));
    g_RenderStates.force = force;
}

}  // namespace

int ApplyTextureBlendState(int handles, const StageSetup* setup, int texturesOnly) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return -1;
    if (setup != nullptr) return ApplySetup(device, handles, *setup, texturesOnly);
    if (g_RenderStates.installedInUse)
        return ApplySetup(device, handles, g_RenderStates.installed,
                          g_RenderStates.installedTexturesOnly);

    if (!g_RenderStates.force && !g_RenderStates.blendDirty) {
        if (!g_RenderStates.stageDirty) return -1;
        return ApplyTextureOnly(device);
    }
    g_RenderStates.blendDirty = 0;
    g_RenderStates.stageDirty = 0;

    const StageSetupHeader& cached = g_RenderStates.current.header;
    int mode = g_RenderStates.blendMode;
    StageSetupHeader header{};
    int variant = 0;
    int blending = 1;
    if (mode >= 0 && mode < kBlendModeCount) {
        const BlendModeRow& row = kBlendModeTable[mode];
        header.destBlend = row.destBlend;
        header.srcBlend = row.srcBlend;
        header.blendOp = row.blendOp;
        variant = row.variant;
        blending = (mode == 0 || mode == 6) ? 0 : 1;
        if (mode == 3 && g_GraphicsDevice.blendOperation) {
            header.destBlend = V_D3DBLEND_ONE;
            header.srcBlend = V_D3DBLEND_SRCALPHA;
            header.blendOp = V_D3DBLENDOP_REVSUBTRACT;
        }
    } else {
        // A mode outside the table draws nothing: the source is weighted by zero.
        header.destBlend = V_D3DBLEND_ONE;
        header.srcBlend = V_D3DBLEND_ZERO;
        header.blendOp = V_D3DBLENDOP_ADD;
    }
    header.textureFactor = 0xFFFFFFFF;

    StageEntry stages[kStageCount];
    V_IDirect3DTexture9* textures[kStageCount] = {};
    int count;
    int am = g_RenderStates.alphaModulation ? 1 : 0;
    int cm = g_RenderStates.colorModulation ? 1 : 0;
    if (g_RenderStates.texture == nullptr) {
        if (mode == 3) {
            const StageBlock& block = GetMode3StageBlock();
            std::memcpy(stages, block.stages, sizeof stages);
            count = block.stageCount;
        } else {
            const uint16_t D = V_D3DTA_DIFFUSE;
            stages[0] = {0, 0, D, D, V_D3DTOP_SELECTARG2, D, D, V_D3DTOP_SELECTARG2};
            if (variant == 1) {
                stages[0].colorOp = V_D3DTOP_BLENDDIFFUSEALPHA;
                stages[0].colorArg2 = V_D3DTA_TFACTOR;
            } else if (variant == 2) {
                stages[0].colorOp = V_D3DTOP_SELECTARG1;
                stages[0].colorArg1 = D | V_D3DTA_COMPLEMENT;
            }
            for (int i = 1; i < kStageCount; ++i)
                stages[i] = {0, 0, 0, 0, V_D3DTOP_DISABLE, 0, 0, V_D3DTOP_DISABLE};
            count = 1;
        }
        header.alphaTestEnable = 0;
        header.alphaRef = cached.alphaRef;
        header.alphaFunc = cached.alphaFunc;
        header.textureFactor = variant == 1 ? 0xFFFFFFFF : cached.textureFactor;
        header.alphaBlendEnable = blending;
        g_RenderStates.threshold255 = 0;
    } else if (g_RenderStates.blendTexture == nullptr) {
        int kind = g_RenderStates.alphaFlag ? 1
                   : (g_RenderStates.alphaTestFlag || g_RenderStates.zEnable) ? 2
                                                                               : 0;
        const StageBlock& block = GetStageBlock(kind + 3 * am + 6 * cm + 24 * variant);
        std::memcpy(stages, block.stages, sizeof stages);
        count = block.stageCount;
        if (g_RenderStates.alphaTestFlag) {
            header.alphaTestEnable = 1;
            header.alphaRef = 16;
            header.alphaFunc = V_D3DCMP_GREATER;
        } else if (g_RenderStates.zEnable) {
            header.alphaTestEnable = 1;
            header.alphaRef = 0;
            header.alphaFunc = V_D3DCMP_GREATER;
        } else {
            header.alphaTestEnable = 0;
            header.alphaRef = cached.alphaRef;
            header.alphaFunc = cached.alphaFunc;
            if (g_RenderStates.alphaFlag && blending == 0) {
                header.destBlend = V_D3DBLEND_INVSRCALPHA;
                header.srcBlend = V_D3DBLEND_SRCALPHA;
            }
        }
        header.alphaBlendEnable = (g_RenderStates.alphaFlag || blending) ? 1 : 0;
        textures[0] = g_RenderStates.texture;
        g_RenderStates.threshold255 = 0;
    } else {
        int kind = g_RenderStates.alphaFlag ? 1 : g_RenderStates.alphaTestFlag ? 2 : 0;
        const StageBlock& block = GetStageBlock(kind + 3 * am + 6 * cm + 12);
        std::memcpy(stages, block.stages, sizeof stages);
        count = block.stageCount;
        if (blending == 0) {
            header.destBlend = V_D3DBLEND_INVSRCALPHA;
            header.srcBlend = V_D3DBLEND_SRCALPHA;
        }
        textures[0] = g_RenderStates.blendTexture;
        textures[g_RenderStates.alphaFlag ? 2 : 1] = g_RenderStates.texture;
        int t = g_RenderStates.blendThreshold;
        int r = g_RenderStates.blendRange;
        if (r <= 1) {
            header.alphaTestEnable = 1;
            header.alphaRef =
                (t == 0 && (g_RenderStates.alphaFlag || g_RenderStates.alphaTestFlag)) ? 1 : t;
            header.alphaFunc = V_D3DCMP_GREATEREQUAL;
            header.alphaBlendEnable = 0;
            header.textureFactor = 0x00FFFFFF;
        } else {
            header.alphaTestEnable = 0;
            header.alphaRef = cached.alphaRef;
            header.alphaFunc = cached.alphaFunc;
            header.alphaBlendEnable = 1;
            int scale, knee, slope;
            uint16_t stage1Op;
            if (r <= 64) {
                scale = 1280, knee = 1024, slope = 64, stage1Op = V_D3DTOP_MODULATE4X;
            } else if (r <= 128) {
                scale = 768, knee = 512, slope = 128, stage1Op = V_D3DTOP_MODULATE2X;
            } else {
                scale = 512, knee = 256, slope = 255, stage1Op = V_D3DTOP_MODULATE;
            }
            stages[1].alphaOp = stage1Op;
            int q = scale - t * scale / 255;
            uint32_t alphaByte;
            if (q < knee) {
                alphaByte = static_cast<uint32_t>(255 - q * 255 / knee);
                stages[0].alphaOp = V_D3DTOP_SUBTRACT;
            } else {
                alphaByte = static_cast<uint32_t>((q - knee) * slope / 256);
                stages[0].alphaOp = V_D3DTOP_ADD;
            }
            header.textureFactor = (alphaByte << 24) | 0xFFFFFF;
        }
        g_RenderStates.threshold255 = t == 255;
    }

    SetStageCount(count);
    int entries = count + 1 > kStageCount ? kStageCount : count + 1;
    Apply(device, header, textures, stages, entries, false);
    return 0;
}

int SetDeviceBlendTexture(V_IDirect3DTexture9* texture, int threshold, int range) {
    if (GetDevice() == nullptr) return -1;
    if (!g_RenderStates.force) {
        if (texture == nullptr && g_RenderStates.blendTexture == nullptr) return 0;
        if (texture == g_RenderStates.blendTexture &&
            (threshold == -1 || threshold == g_RenderStates.blendThreshold) &&
            (range == -1 || range == g_RenderStates.blendRange))
            return 0;
    }
    FlushPendingVertices();
    g_RenderStates.blendTexture = texture;
    if (threshold != -1) g_RenderStates.blendThreshold = threshold;
    if (range != -1) g_RenderStates.blendRange = range;
    g_RenderStates.blendDirty = 1;
    return 0;
}

int SetUserTextureStageState(const StageSetup* setup, int texturesOnly) {
    FlushPendingVertices();
    if (setup == nullptr) {
        g_RenderStates.installedInUse = 0;
        g_RenderStates.blendDirty = 1;
        return 0;
    }
    g_RenderStates.installed = *setup;
    g_RenderStates.installedTexturesOnly = texturesOnly;
    g_RenderStates.installedInUse = 1;
    g_RenderStates.blendDirty = 1;
    g_RenderStates.stageDirty = 1;
    ApplyTextureBlendState(1, nullptr, texturesOnly);
    return 0;
}
