// The camera and the 3D matrices: world, view, projection and the screen-space matrix of the
// draw target, the projection rebuilt from the camera settings, and the combined products.
#pragma once

#include "platform/d3d9/d3d9_types.h"

int SetWorldMatrix(const V_D3DMATRIX* matrix);
int SetViewMatrix(const V_D3DMATRIX* matrix);
int SetProjectionMatrix(const V_D3DMATRIX* matrix);
int SetViewportMatrix(const V_D3DMATRIX* matrix);
// Sends projection x screen-space x adjustment as the device projection (device path only).
void SendProjectionProduct();

int SetCameraNearFar(float nearZ, float farZ);
int SetCameraFov(float fieldOfView);
int SetUserProjectionMatrix(const V_D3DMATRIX* matrix);
void UpdateProjectionMatrix();
void UpdateCombinedMatrices();

// World, screen-space matrix and default camera for a draw target of width x height.
void ResetTargetTransforms(int width, int height);
