// The exact rules of the rotated draw, computed independently of the kernel: which source
// texel each destination pixel takes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "blit_test_support.h"

// The texel each destination pixel takes by the exact rules of the rotated draw: the 14.18
// sine and cosine of the library's float values, the corners and the box with its margins, the
// start values on the box's left edge in float, the row steps in 64-bit, and the walk in 32-bit
// arithmetic that wraps. Empty when the call draws nothing (a truncation out of range, an empty
// box, no rows).
struct ReferencePixel {
    int x, y;      // destination
    int u, v;      // source
};

inline bool Truncated(float value, int64_t* out) {
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    *out = TruncateFloatToInt(value);
    return true;
}

inline std::vector<ReferencePixel> ReferenceRotation(int destWidth, int destHeight, int w, int h, int x,
                                                     int y, float angle, float scale) {
    std::vector<ReferencePixel> drawn;
    if (!std::isfinite(angle) || !std::isfinite(scale) || scale == 0.0f) return drawn;
    float sn, cn, sp, cp;
    ComputeSinCos(-angle, &sn, &cn);
    ComputeSinCos(angle, &sp, &cp);
    int64_t sMinus, cMinus, sPlus, cPlus;
    if (!Truncated(sn * 262144.0f, &sMinus) || !Truncated(cn * 262144.0f, &cMinus) ||
        !Truncated(sp * 262144.0f, &sPlus) || !Truncated(cp * 262144.0f, &cPlus))
        return drawn;
    float hw = static_cast<float>(w) * scale * 0.5f, hh = static_cast<float>(h) * scale * 0.5f;
    float a = hw * static_cast<float>(cPlus), b = hw * static_cast<float>(sPlus);
    float c = hh * static_cast<float>(cPlus), d = hh * static_cast<float>(sPlus);
    const float offsets[4][2] = {{d - a, -c - b}, {-a - d, c - b}, {a - d, c + b}, {a + d, b - c}};
    int64_t cornerX[4], cornerY[4];
    for (int i = 0; i < 4; ++i) {
        int64_t ox, oy;
        if (!Truncated(offsets[i][0], &ox) || !Truncated(offsets[i][1], &oy)) return drawn;
        cornerX[i] = int64_t{x} * 262144 + ox;
        cornerY[i] = int64_t{y} * 262144 + oy;
    }
    int64_t cu, cv;
    if (!Truncated(static_cast<float>(cPlus) / scale, &cu) ||
        !Truncated(static_cast<float>(sMinus) / scale, &cv))
        return drawn;
    int64_t minX = cornerX[0], maxX = cornerX[0], minY = cornerY[0], maxY = cornerY[0];
    for (int i = 1; i < 4; ++i) {
        minX = std::min(minX, cornerX[i]);
        maxX = std::max(maxX, cornerX[i]);
        minY = std::min(minY, cornerY[i]);
        maxY = std::max(maxY, cornerY[i]);
    }
    if (minY == maxY) return drawn;
    const V_RECT& area = g_DrawSettings.drawArea;
    int64_t left = std::clamp<int64_t>(minX / 262144 - 2, std::max(area.left, 0), std::min(area.right, destWidth));
    int64_t right = std::clamp<int64_t>(maxX / 262144 + 4, std::max(area.left, 0), std::min(area.right, destWidth));
    int64_t top = std::clamp<int64_t>(minY / 262144 - 2, std::max(area.top, 0), std::min(area.bottom, destHeight));
    int64_t bottom = std::clamp<int64_t>(maxY / 262144 + 4, std::max(area.top, 0), std::min(area.bottom, destHeight));
    if (left >= right || top >= bottom) return drawn;
    int64_t ex = left - x, et = top - y, eb = bottom - y;
    int64_t uTop, vTop, uBottom, vBottom;
    if (!Truncated(static_cast<float>(ex * cMinus - et * sMinus) / scale, &uTop) ||
        !Truncated(static_cast<float>(et * cMinus + ex * sMinus) / scale, &vTop) ||
        !Truncated(static_cast<float>(ex * cMinus - eb * sMinus) / scale, &uBottom) ||
        !Truncated(static_cast<float>(eb * cMinus + ex * sMinus) / scale, &vBottom))
        return drawn;
    const int64_t rows = bottom - top;
    const int64_t ru = (uBottom - uTop) / rows, rv = (vBottom - vTop) / rows;
    const uint32_t uLimit = uint32_t(w) << 18, vLimit = uint32_t(h) << 18;
    for (int64_t k = 0; k < rows; ++k) {
        uint32_t u = uint32_t(uTop + (w >> 1) * 262144) + uint32_t(k) * uint32_t(ru);
        uint32_t v = uint32_t(vTop + (h >> 1) * 262144) + uint32_t(k) * uint32_t(rv);
        for (int64_t i = left; i < right; ++i, u += uint32_t(cu), v += uint32_t(cv))
            if (u < uLimit && v < vLimit)
                drawn.push_back({int(i), int(top + k), int(u >> 18), int(v >> 18)});
    }
    return drawn;
}
