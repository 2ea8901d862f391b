// Switches of the OpenGL Direct3D device for tests and for the window stand-in.
#pragma once

// Whether the OpenGL device may be used at all (off with VELK_NO_GL=1 or V_D3D9SetHardwareAllowed
// (false)); the window stand-in then makes its windows without OpenGL.
bool V_D3D9HardwareIsAllowed();

// Test switches: report the device lost (TestCooperativeLevel and Present), leave out the
// blend-operation capability, ask for square textures only. Each holds until switched back.
void V_D3D9GlSetDeviceLost(bool lost);
void V_D3D9GlSetBlendOperationCap(bool on);
void V_D3D9GlSetSquareOnly(bool on);

// Programs generated and cached by the devices so far (for tests).
int V_D3D9GlProgramCount();
