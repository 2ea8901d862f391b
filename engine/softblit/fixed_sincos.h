// The 14.18 sine and cosine of the rotated kernel.
#pragma once

#include <cstdint>

namespace softblit {

// The library's float sine and cosine of the angle (ComputeSinCos) times 262144, each truncated
// toward zero; the same values, found mostly without the library call.
void ComputeFixedSinCos(float angle, int64_t* sine, int64_t* cosine);

} // namespace softblit
