// The 14.18 sine and cosine from a short polynomial in double precision. The library's double
// result and the polynomial's lie within kTolerance of each other, and the 14.18 value of a
// float-rounded sine is monotone in it; so where both ends of the tolerance give the same 14.18
// value, that is the library's value too. Elsewhere (about one angle in two million) and for
// large angles the library is called.
#include "softblit/fixed_sincos.h"

#include <cmath>

#include "core/core.h"

namespace softblit {
namespace {

// Angles up to this size (in radians) are reduced here.
constexpr double kMaxReducedAngle = 4096.0;
// Reduction by multiples k of pi/2: the high part has 32 significant bits, so that k times it
// is exact for every k here, and the difference from the angle is exact too (the two lie within
// a factor of two of each other when k is not 0).
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kHalfPiHigh = 0x1.921fb544p+0;
constexpr double kHalfPiLow = 0x1.0b4611a626331p-34;
// Adding and taking away 1.5 * 2^52 rounds a double below 2^51 to the nearest integer.
constexpr double kRoundingShift = 0x1.8p52;
// The reduction errs by less than 2^-52, the series below by less than 2e-15 (their first
// terms left out, at |r| <= pi/4), the rounding by a few units of 2^-53; the library by one
// unit of 2^-53. The tolerance leaves a wide margin over all of them.
constexpr double kTolerance = 0x1p-40;

// sin r and cos r for |r| <= pi/4 (plus a hair), by their Taylor series up to r^15 and r^14,
// the powers grouped in pairs so that the additions do not wait on one another.
double SineSeries(double r) {
    double z = r * r;
    double z2 = z * z;
    double z4 = z2 * z2;
    double low = (-1.0 / 6.0 + z * (1.0 / 120.0)) + z2 * (-1.0 / 5040.0 + z * (1.0 / 362880.0));
    double high = (-1.0 / 39916800.0 + z * (1.0 / 6227020800.0)) + z2 * (-1.0 / 1307674368000.0);
    return r + (r * z) * (low + z4 * high);
}

double CosineSeries(double r) {
    double z = r * r;
    double z2 = z * z;
    double z4 = z2 * z2;
    double low = (-0.5 + z * (1.0 / 24.0)) + z2 * (-1.0 / 720.0 + z * (1.0 / 40320.0));
    double high = (-1.0 / 3628800.0 + z * (1.0 / 479001600.0)) + z2 * (-1.0 / 87178291200.0);
    return 1.0 + z * (low + z4 * high);
}

// The 14.18 value that the library's float result takes, from its double result.
int64_t FixedFromDouble(double value) {
    return static_cast<int64_t>(static_cast<float>(value) * 262144.0f);
}

// The 14.18 value of a result known within kTolerance, or false when the tolerance straddles
// a step of it.
bool DecideFixed(double value, int64_t* out) {
    int64_t low = FixedFromDouble(value - kTolerance);
    if (low != FixedFromDouble(value + kTolerance)) return false;
    *out = low;
    return true;
}

} // namespace

void ComputeFixedSinCos(float angle, int64_t* sine, int64_t* cosine) {
    const double a = angle;
    if (std::fabs(a) <= kMaxReducedAngle) {
        double k = (a * kTwoOverPi + kRoundingShift) - kRoundingShift;
        double r = (a - k * kHalfPiHigh) - k * kHalfPiLow;
        double s = SineSeries(r);
        double c = CosineSeries(r);
        // The quadrant picks and signs the two without branches: its value is unforeseeable.
        const int quadrant = static_cast<int>(static_cast<int64_t>(k) & 3);
        const double values[2] = {s, c};
        static constexpr double kSineSign[4] = {1.0, 1.0, -1.0, -1.0};
        static constexpr double kCosineSign[4] = {1.0, -1.0, -1.0, 1.0};
        double sinValue = values[quadrant & 1] * kSineSign[quadrant];
        double cosValue = values[(quadrant & 1) ^ 1] * kCosineSign[quadrant];
        if (DecideFixed(sinValue, sine) && DecideFixed(cosValue, cosine)) return;
    }
    float sp, cp;
    ComputeSinCos(angle, &sp, &cp);
    *sine = static_cast<int64_t>(sp * 262144.0f);
    *cosine = static_cast<int64_t>(cp * 262144.0f);
}

} // namespace softblit
