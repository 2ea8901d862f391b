// The recording Direct3D 9 device for unit tests: every call is written as a line of text
// ("SetRenderState(27,1)"), any method can be told to fail, and the adapter's answers are set
// by the test.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"

struct V_D3D9Recording {
    std::vector<std::string> calls;
    std::set<std::string> failing;           // method names that return D3DERR_INVALIDCALL
    std::set<V_D3DFORMAT> refusedFormats;    // CheckDeviceFormat refuses these
    std::set<V_D3DFORMAT> refusedDepths;     // CheckDepthStencilMatch refuses these
    V_D3DFORMAT desktopFormat = V_D3DFMT_R5G6B5;
    V_DWORD vertexShaderVersion = V_D3DVS_VERSION(2, 0);
    V_DWORD pixelShaderVersion = V_D3DPS_VERSION(2, 0);
    bool blendOperation = true;
    bool squareOnly = false;
    bool deviceLost = false;
    int nextObject = 1;
    // The vertex bytes of the last DrawPrimitiveUP, so that tests can read what was drawn.
    std::vector<unsigned char> lastVertices;

    // Forgets the calls; keeps the settings.
    void ClearCalls() { calls.clear(); }
    // Calls whose text starts with the prefix, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
};

// The recording of every recording object (one per process; tests reset it).
V_D3D9Recording& V_GetD3D9Recording();
void V_ResetD3D9Recording();

// A recording Direct3D object (what V_Direct3DCreate9 hands out in recording mode).
V_IDirect3D9* V_CreateRecordingDirect3D9();
// Makes V_Direct3DCreate9 hand out recording objects instead of the OpenGL ones, through the
// platform's creation hook.
void V_D3D9UseRecordingDevice(bool on);
// A recording texture of its own, for tests that set textures without a graph.
V_IDirect3DTexture9* V_CreateRecordingTexture(V_UINT width, V_UINT height, V_D3DFORMAT format);
// The name a recording object carries in the call lines ("tex3", "surf2"; "null" for none).
std::string V_RecordingName(const void* object);
