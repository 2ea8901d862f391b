// Float coordinates to integers for rectangles and the software path, without overflow: far
// coordinates are held where sums and differences of two of them still fit an int.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>

constexpr int kCoordLimit = 0x3FFFFFFF;

// Truncates toward zero, holding the result within ±kCoordLimit; a NaN gives 0.
inline int TruncateCoord(double value) {
    if (std::isnan(value)) return 0;
    if (value >= kCoordLimit) return kCoordLimit;
    if (value <= -kCoordLimit) return -kCoordLimit;
    return static_cast<int>(value);
}

inline bool AllFinite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// a + b held within the int range.
inline int SaturatingAdd(int a, int b) {
    int64_t sum = static_cast<int64_t>(a) + b;
    return sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : static_cast<int>(sum);
}
