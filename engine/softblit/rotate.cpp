// Rotated and scaled drawing: the corners and bounding box of the turned image, the inverse
// mapping of every destination pixel of the clipped box into the source (14.18, single-precision
// set-up), and the row walk; the mirrored case goes to the quadrilateral kernel.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "softblit/blit_frame.h"
#include "softblit/kernel_common.h"
#include "softblit/softblit.h"

namespace softblit {
namespace {

// A float truncated toward zero, refused when it lies outside the 32-bit range.
bool TruncateChecked(float value, int64_t* out) {
    if (!(value > -2147483649.0f && value < 2147483648.0f)) return false;
    *out = TruncateFloatToInt(value);
    return true;
}

struct RotatedJob {
    BlitContext context;
    uint8_t* destination;       // first pixel of the clipped box
    int64_t destinationPitch;
    const uint8_t* source;
    int64_t sourcePitch;
    int sourceBytes;
    const uint8_t* blend;
    int64_t blendPitch;
    uint32_t uLimit;
    uint32_t vLimit;
    uint32_t u;                 // source position at the box's top-left pixel
    uint32_t v;
    uint32_t columnU;           // change per destination column
    uint32_t columnV;
    uint32_t rowU;              // change per destination row
    uint32_t rowV;
    int64_t columns;
    int64_t rows;
};

template <class Loop>
void WalkRotated(const RotatedJob& job) {
    using Px = typename Loop::Pixel;
    const BlitContext c = job.context;
    for (int64_t row = 0; row < job.rows; ++row) {
        uint8_t* to = job.destination + job.destinationPitch * row;
        uint32_t u = job.u + static_cast<uint32_t>(row) * job.rowU;
        uint32_t v = job.v + static_cast<uint32_t>(row) * job.rowV;
        for (int64_t i = 0; i < job.columns; ++i, to += Px::kBytes, u += job.columnU, v += job.columnV) {
            if (u >= job.uLimit || v >= job.vLimit) continue;
            size_t column = u >> kFixedShift;
            size_t sourceRow = v >> kFixedShift;
            const uint8_t* texel = job.source + job.sourcePitch * sourceRow + job.sourceBytes * column;
            const uint8_t* blendByte = nullptr;
            if constexpr (Loop::kBlend) blendByte = job.blend + job.blendPitch * sourceRow + column;
            Loop::Draw(c, to, texel, blendByte);
        }
    }
}

} // namespace
} // namespace softblit

using namespace softblit;

void BlitMemImgRotated(MEMIMG* destination, const MEMIMG* source, int x, int y, float angle,
                       float scale, int trans, int turn, const MEMIMG* blend) {
    FrameSetup setup;
    if (!IsMemImgValid(destination)) return;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    if (source->width >= kMaxKernelSource || source->height >= kMaxKernelSource) return;
    if (!std::isfinite(angle) || !std::isfinite(scale) || scale == 0.0f) return;

    float sn, cn, sp, cp;
    ComputeSinCos(-angle, &sn, &cn);
    ComputeSinCos(angle, &sp, &cp);
    int64_t sinMinus = TruncateFloatToInt(sn * 262144.0f);
    int64_t cosMinus = TruncateFloatToInt(cn * 262144.0f);
    int64_t sinPlus = TruncateFloatToInt(sp * 262144.0f);
    int64_t cosPlus = TruncateFloatToInt(cp * 262144.0f);

    const uint32_t width = static_cast<uint32_t>(source->width);
    const uint32_t height = static_cast<uint32_t>(source->height);
    float hw = static_cast<float>(width) * scale * 0.5f;
    float hh = static_cast<float>(height) * scale * 0.5f;
    float a = hw * static_cast<float>(cosPlus);
    float b = hw * static_cast<float>(sinPlus);
    float c = hh * static_cast<float>(cosPlus);
    float d = hh * static_cast<float>(sinPlus);
    // Corners 0 to 3: the source's top-left, bottom-left, bottom-right and top-right.
    const float offsets[4][2] = {{d - a, -c - b}, {-a - d, c - b}, {a - d, c + b}, {a + d, b - c}};
    int64_t cornerX[4];
    int64_t cornerY[4];
    for (int i = 0; i < 4; ++i) {
        int64_t ox, oy;
        if (!TruncateChecked(offsets[i][0], &ox) || !TruncateChecked(offsets[i][1], &oy)) return;
        cornerX[i] = int64_t{x} * kFixedOne + ox;
        cornerY[i] = int64_t{y} * kFixedOne + oy;
    }

    if (turn != 0) {
        // Corners 3, 0, 2, 1 take the source's top-left, top-right, bottom-left and bottom-right:
        // the image comes out mirrored left to right.
        static constexpr int kOrder[4] = {3, 0, 2, 1};
        int32_t points[8];
        for (int i = 0; i < 4; ++i) {
            int64_t px = cornerX[kOrder[i]] / kFixedOne;
            int64_t py = cornerY[kOrder[i]] / kFixedOne;
            if (px != static_cast<int32_t>(px) || py != static_cast<int32_t>(py)) return;
            points[2 * i] = static_cast<int32_t>(px);
            points[2 * i + 1] = static_cast<int32_t>(py);
        }
        FillMemImgQuad(destination, source, points, trans, blend);
        return;
    }

    int64_t columnU, columnV;
    if (!TruncateChecked(static_cast<float>(cosPlus) / scale, &columnU) ||
        !TruncateChecked(static_cast<float>(sinMinus) / scale, &columnV))
        return;

    int64_t minX = *std::min_element(cornerX, cornerX + 4);
    int64_t maxX = *std::max_element(cornerX, cornerX + 4);
    int64_t minY = *std::min_element(cornerY, cornerY + 4);
    int64_t maxY = *std::max_element(cornerY, cornerY + 4);
    if (minY == maxY) return;
    DrawBounds box = {minX / kFixedOne - 2, minY / kFixedOne - 2, maxX / kFixedOne + 4,
                      maxY / kFixedOne + 4};
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &box)) return;

    // Source positions on the box's left edge at its top and bottom rows.
    int64_t ex = box.left - x;
    int64_t et = box.top - y;
    int64_t eb = box.bottom - y;
    int64_t uTop, vTop, uBottom, vBottom;
    if (!TruncateChecked(static_cast<float>(ex * cosMinus - et * sinMinus) / scale, &uTop) ||
        !TruncateChecked(static_cast<float>(et * cosMinus + ex * sinMinus) / scale, &vTop) ||
        !TruncateChecked(static_cast<float>(ex * cosMinus - eb * sinMinus) / scale, &uBottom) ||
        !TruncateChecked(static_cast<float>(eb * cosMinus + ex * sinMinus) / scale, &vBottom))
        return;
    uint32_t centreU = (width >> 1) << kFixedShift;
    uint32_t centreV = (height >> 1) << kFixedShift;
    uint32_t u0 = static_cast<uint32_t>(uTop) + centreU;
    uint32_t v0 = static_cast<uint32_t>(vTop) + centreV;
    uint32_t u1 = static_cast<uint32_t>(uBottom) + centreU;
    uint32_t v1 = static_cast<uint32_t>(vBottom) + centreV;
    int64_t rows = box.bottom - box.top;

    RotatedJob job;
    job.context = setup.context;
    job.destinationPitch = destination->base->pitch;
    job.destination = destination->pixels + job.destinationPitch * box.top + setup.destinationBytes * box.left;
    job.source = source->pixels;
    job.sourcePitch = source->base->pitch;
    job.sourceBytes = setup.sourceBytes;
    job.blend = blend != nullptr ? blend->pixels : nullptr;
    job.blendPitch = blend != nullptr ? blend->base->pitch : 0;
    job.uLimit = width << kFixedShift;
    job.vLimit = height << kFixedShift;
    job.u = u0;
    job.v = v0;
    job.columnU = static_cast<uint32_t>(columnU);
    job.columnV = static_cast<uint32_t>(columnV);
    job.rowU = static_cast<uint32_t>(static_cast<int32_t>(u1 - u0) / rows);
    job.rowV = static_cast<uint32_t>(static_cast<int32_t>(v1 - v0) / rows);
    job.columns = box.right - box.left;
    job.rows = rows;
    WithTexelLoop(setup.choice, [&](auto loop) { WalkRotated<decltype(loop)>(job); });
}
