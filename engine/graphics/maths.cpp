// Matrix and vector maths for the camera, and the integer rectangle clip of every drawing routine.
#include <cmath>
#include <cstring>

#include "graphics/graphics.h"

namespace {

constexpr Matrix4 kIdentityMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// Height over width of the screen, used when a caller passes a negative aspect (640 x 480 until a
// mode is set).
float DefaultScreenAspect() {
    int width = 0;
    int height = 0;
    GetScreenSize(&width, &height);
    return static_cast<float>(height) / static_cast<float>(width);
}

Vector3 Subtract(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace

int SetIdentityMatrix(Matrix4* out) {
    *out = kIdentityMatrix;
    return 0;
}

int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b) {
    Matrix4 product;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a->m[row][k]) * static_cast<double>(b->m[k][column]);
            product.m[row][column] = static_cast<float>(sum);
        }
    }
    if (out != nullptr) *out = product;
    return 0;
}

int TransposeMatrix(Matrix4* out, const Matrix4* in) {
    Matrix4 copy = *in;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) out->m[row][column] = copy.m[column][row];
    return 0;
}

int InvertMatrix(Matrix4* out, const Matrix4* in) {
    double a[16];
    for (int i = 0; i < 16; ++i) a[i] = in->m[i / 4][i % 4];
    double c[16];
    c[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
           a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    c[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
           a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    c[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
           a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    c[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
            a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    c[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
           a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    c[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
           a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    c[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
           a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    c[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
            a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    c[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] +
           a[5] * a[3] * a[14] + a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    c[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
           a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    c[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
            a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    c[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
            a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    c[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
           a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    c[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] +
           a[4] * a[3] * a[10] + a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    c[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] -
            a[4] * a[3] * a[9] - a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    c[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] +
            a[4] * a[2] * a[9] + a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    double determinant = a[0] * c[0] + a[1] * c[4] + a[2] * c[8] + a[3] * c[12];
    if (determinant >= -1e-7 && determinant < 1e-7) return -1;
    for (int i = 0; i < 16; ++i) out->m[i / 4][i % 4] = static_cast<float>(c[i] / determinant);
    return 0;
}

int MakePerspectiveMatrix(Matrix4* out, float fieldOfView, float nearZ, float farZ, float aspect) {
    if (aspect < 0.0f) aspect = DefaultScreenAspect();
    float sine = std::sin(fieldOfView * 0.5f);
    float cosine = std::cos(fieldOfView * 0.5f);
    if (std::fabs(farZ - nearZ) < 1e-4f || std::fabs(sine) < 1e-4f) return -1;
    float cotangent = cosine / sine;
    float q = farZ / (farZ - nearZ);
    std::memset(out, 0, sizeof(*out));
    out->m[0][0] = aspect * cotangent;
    out->m[1][1] = cotangent;
    out->m[2][2] = q;
    out->m[2][3] = 1.0f;
    out->m[3][2] = -q * nearZ;
    return 0;
}

int MakeOrthoMatrix(Matrix4* out, float height, float nearZ, float farZ, float aspect) {
    if (aspect < 0.0f || std::isnan(aspect)) aspect = DefaultScreenAspect();
    if (std::fabs(nearZ - farZ) < 1e-4f) return -1;
    float width = height / aspect;
    std::memset(out, 0, sizeof(*out));
    out->m[0][0] = 2.0f / width;
    out->m[1][1] = 2.0f / height;
    out->m[2][2] = 1.0f / (farZ - nearZ);
    out->m[3][2] = nearZ / (nearZ - farZ);
    out->m[3][3] = 1.0f;
    return 0;
}

int MakeViewportMatrix(Matrix4* out, float x, float y, float width, float height) {
    std::memset(out, 0, sizeof(*out));
    out->m[0][0] = 0.5f * width;
    out->m[1][1] = -0.5f * height;
    out->m[2][2] = 1.0f;
    out->m[3][3] = 1.0f;
    out->m[3][0] = x;
    out->m[3][1] = y;
    return 0;
}

int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up) {
    Vector3 z = Subtract(*target, *eye);
    Vector3 x = Cross(*up, z);
    Vector3 y = Cross(z, x);
    NormalizeVector(&x, &x);
    NormalizeVector(&y, &y);
    NormalizeVector(&z, &z);
    *out = {{{x.x, y.x, z.x, 0.0f},
             {x.y, y.y, z.y, 0.0f},
             {x.z, y.z, z.z, 0.0f},
             {-DotVector(&x, eye), -DotVector(&y, eye), -DotVector(&z, eye), 1.0f}}};
    return 0;
}

int NormalizeVector(Vector3* out, const Vector3* in) {
    float length = std::sqrt(in->x * in->x + in->y * in->y + in->z * in->z);
    *out = {in->x / length, in->y / length, in->z / length};
    return 0;
}

Vector3* MakeUnitVector(Vector3* out, float x, float y, float z) {
    Vector3 in = {x, y, z};
    NormalizeVector(out, &in);
    return out;
}

float DotVector(const Vector3* a, const Vector3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

int TransformPoint(Vector3* out, const Vector3* v, const Matrix4* m) {
    Vector3 in = *v;
    out->x = in.x * m->m[0][0] + in.y * m->m[1][0] + in.z * m->m[2][0] + m->m[3][0];
    out->y = in.x * m->m[0][1] + in.y * m->m[1][1] + in.z * m->m[2][1] + m->m[3][1];
    out->z = in.x * m->m[0][2] + in.y * m->m[1][2] + in.z * m->m[2][2] + m->m[3][2];
    return 0;
}

int ClipRect(V_RECT* rect, const V_RECT* clip) {
    if (rect->right < rect->left) rect->right = rect->left;
    if (rect->bottom < rect->top) rect->bottom = rect->top;
    auto limit = [](V_LONG value, V_LONG low, V_LONG high) {
        if (value > high) return high;
        if (value < low) return low;
        return value;
    };
    rect->bottom = limit(rect->bottom, clip->top, clip->bottom);
    rect->top = limit(rect->top, clip->top, clip->bottom);
    rect->right = limit(rect->right, clip->left, clip->right);
    rect->left = limit(rect->left, clip->left, clip->right);
    return 0;
}
