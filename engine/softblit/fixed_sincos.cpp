// The 14.18 sine and cosine from a short polynomial in double precision. The library's double
// result and the polynomial's lie within kTolerance of each other, and the 14.18 value of a
// float-rounded sine is monotone in it; so where both ends of the tolerance give the same 14.18
// value, that is the library's value too. Elsewhere (about one angle in 250) and for large
// angles the library is called.
#include "softblit/fixed_sincos.h"

#include <cmath>

#include "core/core.h"

namespace softblit {
namespace {

// Angles up to this size (in radians) are reduced here.
constexpr double kMaxReducedAngle = 4096.0;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kHalfPi = 0x1.921fb54442d18p+0;
// Adding and taking away 1.5 * 2^52 rounds a double below 2^51 to the nearest integer.
constexpr double kRoundingShift = 0x1.8p52;
// The reduction by k pi/2 (k below 2^12) errs by less than 1e-12, the series below by less than
// 1.2e-10 (their first terms left out, at |r| <= pi/4), the rounding by a few units of 2^-53,
// the library by one. The tolerance leaves a margin of thirty times over all of them.
constexpr double kTolerance = 0x1p-28;

// sin r and cos r for |r| <= pi/4 (plus a hair), by their Taylor series up to r^11 and r^10,
// the powers grouped so that the additions do not wait on one another.
double SineSeries(double r, double z, double z2) {
    double p = (-1.0 / 6.0 + z * (1.0 / 120.0)) + z2 * ((-1.0 / 5040.0 + z * (1.0 / 362880.0)) +
                                                       z2 * (-1.0 / 39916800.0));
    return r + (r * z) * p;
}

double CosineSeries(double z, double z2) {
    double p = (-0.5 + z * (1.0 / 24.0)) + z2 * ((-1.0 / 720.0 + z * (1.0 / 40320.0)) +
                                                z2 * (-1.0 / 3628800.0));
    return 1.0 + z * p;
}

// The 14.18 value that the library's float result takes, from its double result.
int64_t FixedFromDouble(double value) {
    return static_cast<int64_t>(static_cast<float>(value) * 262144.0f);
}

// The 14.18 value of a result known within kTolerance; false when the tolerance straddles a
// step of it.
bool DecideFixed(double value, int64_t* out) {
    *out = FixedFromDouble(value - kTolerance);
    return *out == FixedFromDouble(value + kTolerance);
}

} // namespace

void ComputeFixedSinCos(float angle, int64_t* sine, int64_t* cosine) {
    const double a = angle;
    if (std::fabs(a) <= kMaxReducedAngle) {
        double k = (a * kTwoOverPi + kRoundingShift) - kRoundingShift;
        double r = a - k * kHalfPi;
        double z = r * r;
        double z2 = z * z;
        int64_t s, c;
        bool decided = DecideFixed(SineSeries(r, z, z2), &s);
        decided &= DecideFixed(CosineSeries(z, z2), &c);
        if (decided) {
            // The quadrant swaps and negates the two (the 14.18 value of -x is minus that of x),
            // chosen without branches: the quadrant cannot be foreseen.
            const int64_t quadrant = static_cast<int64_t>(k);
            const int64_t swap = -(quadrant & 1);
            const int64_t sineSign = -((quadrant >> 1) & 1);
            const int64_t cosineSign = -(((quadrant + 1) >> 1) & 1);
            const int64_t sineValue = s ^ ((s ^ c) & swap);
            const int64_t cosineValue = c ^ ((s ^ c) & swap);
            *sine = (sineValue ^ sineSign) - sineSign;
            *cosine = (cosineValue ^ cosineSign) - cosineSign;
            return;
        }
    }
    float sp, cp;
    ComputeSinCos(angle, &sp, &cp);
    *sine = static_cast<int64_t>(sp * 262144.0f);
    *cosine = static_cast<int64_t>(cp * 262144.0f);
}

} // namespace softblit
