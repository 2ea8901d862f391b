// Test fixture: the graphics device brought up on the recording Direct3D device.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/window.h"
#include "draw/draw_settings.h"
#include "graphics/blend_mode.h"
#include "graphics/device.h"
#include "graphics/light.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"
#include "support/d3d9_record.h"

inline void ResetGraphicsState() {
    if (g_GraphicsDevice.device != nullptr || g_GraphicsDevice.directDraw != nullptr)
        TerminateGraphicsDevice();
    DeleteAllLights();
    if (g_LightTable.defaultLight != 0) DeleteLight(g_LightTable.defaultLight);
    FreeShaderPack();
    FreeDisplayModeList();
    g_GraphicsDevice = {};
    g_ScreenSettings = {};
    g_RenderStates = {};
    g_ShaderState = {};
    g_LightTable = {};
    g_DrawSettings = DrawSettings{{0, 0, 640, 480}, 0, 0, 0x00FFFFFF};
    g_DrawSettings.drawTarget = -4;  // the front screen, as the library leaves it after start
    g_FlushVertexBatch = nullptr;
    g_Window.settings.windowed = 1;
    g_Window.active = 1;  // no window here to become active: draws and targets must not wait
}

class RecordingDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGraphicsState();
        V_ResetD3D9Recording();
        V_D3D9SetHardwareAllowed(true);
        V_D3D9UseRecordingDevice(true);
    }
    void TearDown() override {
        ResetGraphicsState();
        SetShaderPackImageForTest(nullptr, 0);
        V_D3D9UseRecordingDevice(false);
        V_ResetD3D9Recording();
    }

    // Brings the device up and forgets the calls of the set-up.
    void StartDevice() {
        ASSERT_EQ(SetupGraphicsDevice(), 0);
        ASSERT_EQ(g_ScreenSettings.useDirect3D, 1);
        Recording().ClearCalls();
    }

    static V_D3D9Recording& Recording() { return V_GetD3D9Recording(); }
    static const std::vector<std::string>& Calls() { return V_GetD3D9Recording().calls; }
    static bool Called(const std::string& call) {
        const auto& calls = Calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    static std::string RenderState(uint32_t state, uint32_t value) {
        return "SetRenderState(" + std::to_string(state) + "," + std::to_string(value) + ")";
    }
    static std::string StageState(int stage, uint32_t type, uint32_t value) {
        return "SetTextureStageState(" + std::to_string(stage) + "," + std::to_string(type) + "," +
               std::to_string(value) + ")";
    }
};
