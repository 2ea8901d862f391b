// Bringing the device in line with the draw settings before vertices are written.
#include <cstdint>

#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/light.h"

namespace {

void PrepareTextureAndBlend(const GraphFormatDesc* desc, V_IDirect3DTexture9* texture,
                            uint32_t flags) {
    const DrawSettings& s = g_DrawSettings;
    RenderStateCache& cache = g_RenderStates;
    int alpha = 0;
    int alphaTest = 0;
    if (texture != nullptr && desc != nullptr && (flags & kDrawTransparent) &&
        (desc->alphaChannel || desc->alphaTest)) {
        if ((s.blendMode == 0 || s.blendMode == 8) &&
            ((flags & kDrawIntegerPlacement) || s.drawMode != 1)) {
            alpha = desc->alphaChannel;
            alphaTest = desc->alphaTest;
        } else {
            alpha = 1;
        }
    }
    int colorModulation =
        (flags & kDrawColorModulation) || (s.brightColor & 0x00FFFFFF) != 0x00FFFFFF ? 1 : 0;
    int alphaModulation =
        (flags & kDrawAlphaModulation) || s.blendMode != 0 || s.parameterAsAlpha ? 1 : 0;
    if (colorModulation != cache.colorModulation) {
        FlushVertexBatch();
        cache.colorModulation = colorModulation;
        cache.blendDirty = 1;
    }
    if (alphaModulation != cache.alphaModulation) {
        FlushVertexBatch();
        cache.alphaModulation = alphaModulation;
        cache.blendDirty = 1;
    }
    if (texture != cache.texture) SetDeviceTexture(texture);
    if (s.blendMode != cache.blendMode || alphaTest != cache.alphaTestFlag ||
        alpha != cache.alphaFlag)
        SetDeviceBlendState(s.blendMode, alphaTest, alpha);
    if (cache.blendDirty || cache.stageDirty) ApplyTextureBlendState(1, nullptr, 0);
}

void SendIfDifferent(uint32_t* cached, uint32_t wanted, uint32_t state) {
    if (*cached == wanted) return;
    FlushVertexBatch();
    *cached = wanted;
    GetDevice()->SetRenderState(state, wanted);
}

}  // namespace

void PrepareDrawState(const GraphFormatDesc* desc, V_IDirect3DTexture9* texture, uint32_t flags) {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return;
    DrawSettings& s = g_DrawSettings;
    RenderStateCache& cache = g_RenderStates;

    // Shaders.
    if (!(flags & kDrawKeepShaders)) {
        if (cache.vertexShader != nullptr) {
            FlushVertexBatch();
            device->SetVertexShader(nullptr);
            cache.vertexShader = nullptr;
            cache.vertexShaderRecord = nullptr;
            cache.fvf = 0;
        }
        if (cache.pixelShader != nullptr) {
            FlushVertexBatch();
            device->SetPixelShader(nullptr);
            cache.pixelShader = nullptr;
        }
    }

    // The per-draw object records; nothing reads them back.
    cache.currentObjects[1] = nullptr;
    cache.currentObjects[2] = nullptr;

    // Lighting: lit 3D draws get the lights, the material and the material sources.
    if ((flags & kDrawLighting) && !s.lightingOff) {
        // After a device re-creation every light is sent again, even when none changed.
        if (g_LightTable.dirty || g_LightTable.reapply) {
            ApplyLights();
        } else if (!cache.lighting) {
            SetDeviceLighting(1);
        }
        if (s.materialDirty) {
            s.materialDirty = 0;
            SetDeviceMaterial(&s.material);
        }
        SetDeviceDiffuseSource(s.diffuseSource == 0 ? 1 : 0);
        SetDeviceSpecularSource(s.specularSource == 0 ? 1 : 0);
    } else if (cache.lighting) {
        SetDeviceLighting(0);
    }

    // Specular.
    uint32_t specular = (flags & kDrawSpecular) && !s.specularOff ? 1 : 0;
    SendIfDifferent(&g_VertexBatch.specularEnable, specular, V_D3DRS_SPECULARENABLE);

    // Depth.
    bool depth3D = (flags & kDrawDepth3D) != 0;
    int zEnable = depth3D ? s.zEnable3D : s.zEnable2D;
    if (zEnable == 0) {
        if (cache.zEnable) {
            FlushVertexBatch();
            cache.zEnable = 0;
            device->SetRenderState(V_D3DRS_ZENABLE, 0);
        }
    } else {
        if (cache.zEnable != zEnable) SetDeviceZEnable(zEnable);
        uint32_t zWrite = static_cast<uint32_t>(depth3D ? s.zWrite3D : s.zWrite2D);
        uint32_t zFunc = static_cast<uint32_t>(depth3D ? s.zFunc3D : s.zFunc2D);
        uint32_t bias = static_cast<uint32_t>(depth3D ? s.depthBias3D : s.depthBias2D);
        if (cache.zWrite != zWrite) SetDeviceZWrite(zWrite);
        if (cache.zFunc != zFunc) SetDeviceZFunc(zFunc);
        if (cache.depthBias != bias) SetDeviceDepthBias(bias);
    }

    // Fog.
    int fog = (flags & kDrawFog) ? s.fogEnable : 0;
    if (fog != cache.fogEnable) SetDeviceFogEnable(fog);

    if (!(flags & kDrawKeepBlend)) PrepareTextureAndBlend(desc, texture, flags);

    // Shading: flat unless Gouraud is asked for.
    uint32_t shade = (flags & kDrawGouraud) ? 2 : 1;
    SendIfDifferent(&cache.shadeMode, shade, V_D3DRS_SHADEMODE);

    if (cache.filterMode != s.drawMode) SetDeviceTextureFilter(s.drawMode);
    if (cache.maxAnisotropy != static_cast<uint32_t>(s.maxAnisotropy))
        SetDeviceMaxAnisotropy(s.maxAnisotropy);
    if (cache.cullMode != s.cullMode) SetDeviceCullMode(s.cullMode);

    // Texture transforms of the draw settings, sent for every stage after they changed.
    if (s.textureTransformChanged) {
        for (int stage = 0; stage < 8; ++stage)
            SetDeviceTextureTransform(stage, s.textureTransformOn[stage],
                                      &s.textureMatrices[stage]);
        s.textureTransformChanged = 0;
    }

    // Address modes.
    if (!(flags & kDrawSettingsAddress)) {
        for (int stage = 0; stage < 4; ++stage) {
            if (cache.addressU[stage] == 3 && cache.addressV[stage] == 3) continue;
            FlushVertexBatch();
            cache.addressU[stage] = 3;
            cache.addressV[stage] = 3;
            device->SetSamplerState(stage, V_D3DSAMP_ADDRESSU, 3);
            device->SetSamplerState(stage, V_D3DSAMP_ADDRESSV, 3);
        }
    } else {
        for (int stage = 0; stage < 8; ++stage)
            if (cache.addressU[stage] != static_cast<uint32_t>(s.addressU[stage]))
                SetDeviceAddressU(stage, static_cast<uint32_t>(s.addressU[stage]));
        for (int stage = 0; stage < 8; ++stage)
            if (cache.addressV[stage] != static_cast<uint32_t>(s.addressV[stage]))
                SetDeviceAddressV(stage, static_cast<uint32_t>(s.addressV[stage]));
    }
}

int FlushAndApplyStageBlock(const StageSetup* block, int handles, int apply) {
    FlushVertexBatch();
    ApplyTextureBlendState(handles, block, apply);
    g_RenderStates.blendDirty = 1;
    g_RenderStates.stageDirty = 1;
    return 0;
}

// The colour format of the texture a graph of these creation settings gets (plain pixels).
const ColorFormat* GetCreationFormatColorFormat(int alpha, int alphaTest, int is32, int drawable) {
    GraphFormatDesc desc{};
    desc.textureMode = 1;
    desc.alphaChannel = alpha != 0 ? 1 : 0;
    desc.alphaTest = alphaTest != 0 ? 1 : 0;
    desc.drawable = drawable != 0 ? 1 : 0;
    desc.dxtKind = 0;
    desc.bitDepth = is32 != 0 ? 32 : 16;
    return GetD3DFormatColorFormat(
        g_GraphicsDevice.textureFormats.formats[GetTextureFormatIndex(&desc)]);
}
