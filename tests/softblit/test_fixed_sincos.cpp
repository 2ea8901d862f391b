// The 14.18 sine and cosine of the rotated kernel against the library's float results: a sweep
// over the float range of angles, the angles next to multiples of pi/2 (where one of the two is
// near 0 and the other near 1), and the values the reduction treats apart.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/core.h"
#include "softblit/fixed_sincos.h"

namespace {

// The 14.18 values through the library, as the rotated kernel took them before.
void LibraryFixedSinCos(float angle, int64_t* sine, int64_t* cosine) {
    float sp, cp;
    ComputeSinCos(angle, &sp, &cp);
    *sine = static_cast<int64_t>(sp * 262144.0f);
    *cosine = static_cast<int64_t>(cp * 262144.0f);
}

float FromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint32_t ToBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

::testing::AssertionResult AgreesWithLibrary(float angle) {
    int64_t s, c, ls, lc;
    softblit::ComputeFixedSinCos(angle, &s, &c);
    LibraryFixedSinCos(angle, &ls, &lc);
    if (s == ls && c == lc) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "angle " << angle << " (bits " << std::hex
                                         << ToBits(angle) << std::dec << "): " << s << ", " << c
                                         << " against " << ls << ", " << lc;
}

TEST(FixedSinCos, AgreesWithTheLibrary) {
    // Every 997th float of either sign, from the smallest up to beyond the reduced range.
    const uint32_t top = ToBits(16384.0f);
    for (uint32_t bits = 0; bits <= top; bits += 997) {
        ASSERT_TRUE(AgreesWithLibrary(FromBits(bits)));
        ASSERT_TRUE(AgreesWithLibrary(FromBits(bits | 0x80000000u)));
    }
    // Around multiples of pi/2 up to 4096 and beyond: 64 floats either side of each.
    for (int k = -2700; k <= 2700; k += (k > -20 && k < 20) ? 1 : 7) {
        uint32_t centre = ToBits(static_cast<float>(k * M_PI_2));
        for (int step = -64; step <= 64; ++step) {
            // At 0 the floats run from the negative side through both zeros to the positive.
            uint32_t sign = step < 0 ? 0x80000000u : 0u;
            uint32_t nearZero = static_cast<uint32_t>(std::abs(step)) | sign;
            float angle = FromBits(k == 0 ? nearZero : centre + static_cast<uint32_t>(step));
            ASSERT_TRUE(AgreesWithLibrary(angle));
        }
    }
    // The ends of the reduced range, zeros, subnormals and the values beyond any range.
    for (float angle : {4096.0f, std::nextafter(4096.0f, 0.0f), std::nextafter(4096.0f, 1e9f),
                        -4096.0f, 0.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
                        std::numeric_limits<float>::min(), 1e-20f, 0.7853982f, 1e10f, -3e38f,
                        std::numeric_limits<float>::max()})
        EXPECT_TRUE(AgreesWithLibrary(angle));
}

} // namespace
