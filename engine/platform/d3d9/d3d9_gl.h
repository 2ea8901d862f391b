// Switches of the OpenGL Direct3D device for tests and for the window stand-in.
#pragma once

#include <cstdint>

// Whether the OpenGL device may be used at all (off with VELK_NO_GL=1 or V_D3D9SetHardwareAllowed
// (false)); the window stand-in then makes its windows without OpenGL.
bool V_D3D9HardwareIsAllowed();

// Test switches: report the device lost (TestCooperativeLevel and Present), leave out the
// blend-operation capability, ask for square textures only. Each holds until switched back.
void V_D3D9GlSetDeviceLost(bool lost);
void V_D3D9GlSetBlendOperationCap(bool on);
void V_D3D9GlSetSquareOnly(bool on);

// Test switch: draws of the same state join into one GL draw, also past other draws where the
// picture stays the same (on by default, off with the environment setting VELK_GL_JOIN=0); off,
// every draw is sent in order as a GL draw of its own primitives.
void V_D3D9GlSetJoinDraws(bool on);

// Programs generated and cached by the devices so far (for tests).
int V_D3D9GlProgramCount();

// What the OpenGL devices did for one presented frame. Counting always runs; with the environment
// setting VELK_GL_COUNTERS=1 every present also writes the frame's line to the error output.
struct V_D3D9GlFrameCounts {
    uint64_t drawsReceived;       // DrawPrimitiveUP and DrawIndexedPrimitiveUP calls
    uint64_t glDraws;             // GL draw calls issued
    uint64_t stateChanges;        // GL state calls (programs, uniforms, bindings, switches)
    uint64_t textureUploads;      // texture images sent to GL
    uint64_t textureUploadBytes;  // bytes of those images
    uint64_t bufferBytes;         // bytes held by the devices' GL buffers at the present
};

// The last presented frame, the sum over all presented frames and the number of them.
V_D3D9GlFrameCounts V_D3D9GlLastFrameCounts();
V_D3D9GlFrameCounts V_D3D9GlTotalCounts();
uint64_t V_D3D9GlPresentedFrames();
void V_D3D9GlResetCounts();
