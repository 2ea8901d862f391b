// The camera settings, the matrix setters and the combined matrices of the 3D side.
#include "graphics/camera.h"

#include <cstring>

#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graphics.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"

namespace {

Matrix4& AsMatrix4(V_D3DMATRIX& m) { return reinterpret_cast<Matrix4&>(m); }

bool OnDevice() { return g_ScreenSettings.useDirect3D && GetDevice() != nullptr; }

// Stores a matrix and rebuilds the combined products.
void StoreMatrix(V_D3DMATRIX* field, const V_D3DMATRIX* matrix) {
    FlushPendingVertices();
    *field = *matrix;
    g_DrawSettings.combinedValid = 0;
    UpdateCombinedMatrices();
}

}  // namespace

static_assert(sizeof(Matrix4) == sizeof(V_D3DMATRIX));

void SendProjectionProduct() {
    if (!OnDevice()) return;
    DrawSettings& s = g_DrawSettings;
    Matrix4 product;
    MultiplyMatrix(&product, &AsMatrix4(s.projectionMatrix), &AsMatrix4(s.viewportMatrix));
    MultiplyMatrix(&product, &product, &AsMatrix4(s.viewportInverse));
    V_D3DMATRIX out;
    std::memcpy(&out, &product, sizeof out);
    SetDeviceProjection(&out);
}

int SetWorldMatrix(const V_D3DMATRIX* matrix) {
    StoreMatrix(&g_DrawSettings.worldMatrix, matrix);
    if (OnDevice()) GetDevice()->SetTransform(V_D3DTS_WORLD, matrix);
    g_DrawSettings.worldSet = 1;
    return 0;
}

int SetViewMatrix(const V_D3DMATRIX* matrix) {
    StoreMatrix(&g_DrawSettings.viewMatrix, matrix);
    if (OnDevice()) SetDeviceViewTransform(matrix);
    g_DrawSettings.viewSet = 1;
    return 0;
}

int SetProjectionMatrix(const V_D3DMATRIX* matrix) {
    StoreMatrix(&g_DrawSettings.projectionMatrix, matrix);
    SendProjectionProduct();
    g_DrawSettings.projectionSet = 1;
    return 0;
}

int SetViewportMatrix(const V_D3DMATRIX* matrix) {
    StoreMatrix(&g_DrawSettings.viewportMatrix, matrix);
    SendProjectionProduct();
    g_DrawSettings.projectionSet = 1;
    return 0;
}

int SetCameraNearFar(float nearZ, float farZ) {
    g_DrawSettings.nearZ = nearZ;
    g_DrawSettings.farZ = farZ;
    UpdateProjectionMatrix();
    return 0;
}

int SetCameraFov(float fieldOfView) {
    g_DrawSettings.projectionMode = 0;
    g_DrawSettings.fieldOfView = fieldOfView;
    UpdateProjectionMatrix();
    return 0;
}

int SetUserProjectionMatrix(const V_D3DMATRIX* matrix) {
    g_DrawSettings.projectionMode = 2;
    g_DrawSettings.userProjection = *matrix;
    UpdateProjectionMatrix();
    return 0;
}

void UpdateProjectionMatrix() {
    DrawSettings& s = g_DrawSettings;
    float aspect = 0.0f;
    if (s.projectionMode != 2 && s.targetWidth != 0)
        aspect = static_cast<float>(s.targetHeight) / static_cast<float>(s.targetWidth) *
                 s.aspectScale;
    V_D3DMATRIX matrix = s.projectionMatrix;
    Matrix4& m = AsMatrix4(matrix);
    if (s.projectionMode == 0) {
        // Unusable settings (near = far, no angle) keep the projection that was there.
        if (MakePerspectiveMatrix(&m, s.fieldOfView, s.nearZ, s.farZ, aspect) != 0) return;
    } else if (s.projectionMode == 1) {
        if (MakeOrthoMatrix(&m, s.orthoSize, s.nearZ, s.farZ, aspect) != 0) return;
    } else {
        matrix = s.userProjection;
    }
    SetProjectionMatrix(&matrix);
}

void UpdateCombinedMatrices() {
    DrawSettings& s = g_DrawSettings;
    if (s.combinedValid) return;
    Matrix4& product = AsMatrix4(s.viewProjectionScreen);
    MultiplyMatrix(&product, &AsMatrix4(s.viewMatrix), &AsMatrix4(s.projectionMatrix));
    MultiplyMatrix(&product, &product, &AsMatrix4(s.viewportMatrix));
    MultiplyMatrix(&AsMatrix4(s.worldViewProjectionScreen), &AsMatrix4(s.worldMatrix), &product);
    for (int axis = 0; axis < 3; ++axis) {
        for (int row = 0; row < 3; ++row) s.cameraAxes[axis][row] = s.viewMatrix.m[row][axis];
        s.cameraAxes[axis][3] = 0.0f;
    }
    std::memset(s.cameraExtra, 0, sizeof s.cameraExtra);
    s.cameraFlags[0] = s.cameraFlags[1] = 0;
    s.combinedValid = 1;
}

void ResetTargetTransforms(int width, int height) {
    DrawSettings& s = g_DrawSettings;
    V_D3DMATRIX matrix;
    Matrix4& m = AsMatrix4(matrix);
    SetIdentityMatrix(&m);
    SetWorldMatrix(&matrix);

    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    MakeViewportMatrix(&m, 0.5f * w, 0.5f * h, w, h);
    InvertMatrix(&AsMatrix4(s.viewportInverse), &m);
    SetViewportMatrix(&matrix);

    // The camera looks along +z at the target's centre from where a 60-degree view just
    // covers its height.
    const float distance = static_cast<float>(height / 2) / 0.57735026f;
    Vector3 eye{0.5f * w, 0.5f * h, -distance};
    Vector3 target{eye.x, eye.y, -distance + 1.0f};
    Vector3 up{0.0f, 1.0f, 0.0f};
    MakeLookAtMatrix(&m, &eye, &target, &up);
    SetViewMatrix(&matrix);

    SetCameraFov(1.0471976f);
    SetCameraNearFar(0.1f * distance, distance + 20000.0f);
}
