// The reset of the draw settings and the setters and getters of the graph-creation settings.
#include "draw/draw_settings.h"

#include "draw/draw.h"
#include "draw/draw_soft.h"
#include "draw/mask.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics.h"
#include "graphics/light.h"

int SetCreateGraphColorBitDepth(int bits) {
    g_DrawSettings.createBitDepth = bits;
    return 0;
}
int GetCreateGraphColorBitDepth() { return g_DrawSettings.createBitDepth; }

int SetCreateDrawValidGraphFlag(int flag) {
    g_DrawSettings.drawableGraphs = flag;
    return 0;
}
int GetCreateDrawValidGraphFlag() { return g_DrawSettings.drawableGraphs; }

int SetUseAlphaTestFlag(int flag) {
    g_DrawSettings.alphaTest = flag;
    return 0;
}
int GetUseAlphaTestFlag() { return g_DrawSettings.alphaTest; }

int GetMovieGraphMarker() { return g_DrawSettings.movieGraphMarker; }

int SetMakeGraphAlphaFlag(int flag) {
    g_DrawSettings.makeGraphAlpha = flag;
    return 0;
}
int GetMakeGraphAlphaFlag() { return g_DrawSettings.makeGraphAlpha; }

int SetUseDefaultPoolFlag(int flag) {
    g_DrawSettings.defaultPool = flag;
    return 0;
}
int GetUseDefaultPoolFlag() { return g_DrawSettings.defaultPool; }

int InitDrawSettings() {
    DrawSettings& s = g_DrawSettings;
    // What outlives the reset: the restore callback, the emulation, suspension and the light
    // settings.
    auto callback = s.graphRestoreCallback;
    int registered = s.graphRestoreRegistered;
    int emulation = s.emulation320x240;
    int suspended = s.suspended;
    int lightingOff = s.lightingOff;
    int diffuseSource = s.diffuseSource;
    int specularSource = s.specularSource;

    s = DrawSettings{};
    s.graphRestoreCallback = callback;
    s.graphRestoreRegistered = registered;
    s.emulation320x240 = emulation;
    s.suspended = suspended;
    s.lightingOff = lightingOff;
    s.diffuseSource = diffuseSource;
    s.specularSource = specularSource;
    s.blendGraph = -1;
    g_SoftBlendImage = nullptr;
    for (int stage = 0; stage < 8; ++stage) {
        if (s.addressU[stage] == 0) s.addressU[stage] = 3;
        if (s.addressV[stage] == 0) s.addressV[stage] = 3;
    }
    s.vertexZ = 0.2f;
    s.zEnable2D = s.zWrite2D = s.zEnable3D = s.zWrite3D = 0;
    s.zFunc2D = s.zFunc3D = 4;
    g_LightTable.dirty = 1;
    s.maxAnisotropy = 1;
    s.drawMode = 0;
    s.blendMode = 0;

    SetDrawBrightness(255, 255, 255);
    SetFogMode(3);
    SetFogColor(255, 255, 255);
    SetFogRange(0.0f, 1500.0f);

    s.createBitDepth = 0;
    ResetMaskScreenFlags();
    s.drawTarget = -2;
    SetDrawTarget(-4);
    int width = 0;
    int height = 0;
    GetGraphSize(s.drawTarget, &width, &height);
    SetDrawArea(0, 0, width, height);
    s.suspended = 0;

    g_LightTable.defaultLight = MakeLightDirectional(1.0f, -1.0f, 1.0f);

    // The camera settings of the reset; the projection sent by the draw target stays until the
    // next camera call.
    s.nearZ = 10.0f;
    s.farZ = 10000.0f;
    s.projectionMode = 0;
    s.aspectScale = 1.0f;
    s.fieldOfView = 1.0471976f;
    s.orthoSize = 1.0f;
    s.userProjection = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

    s.materialDirty = 1;
    s.material = {};
    s.material.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    s.material.Specular = {0.8f, 0.8f, 0.8f, 0.0f};
    s.material.Power = 20.0f;
    return 0;
}
