// Unscaled blit along the source's run table (whole, unclipped, keyed draws): the walk of
// blit_run_lanes.h for the processor's level, and its plain level, which any x86-64 processor
// runs (SSE2).
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "softblit/blit_frame.h"

namespace softblit {

namespace {

using Lanes16 = uint16_t __attribute__((vector_size(32)));

// The first n pixels of a step: whole steps moved as they are, the last one through a buffer.
struct Level {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    static Lanes Load32(const uint8_t* at, int n) {
        Lanes v = {};
        std::memcpy(&v, at, 4 * static_cast<size_t>(n));
        return v;
    }
    static Lanes Load16(const uint8_t* at, int n) {
        Lanes16 v = {};
        std::memcpy(&v, at, 2 * static_cast<size_t>(n));
        return __builtin_convertvector(v, Lanes);
    }
    static void Store32(uint8_t* at, Lanes v, int n) {
        std::memcpy(at, &v, 4 * static_cast<size_t>(n));
    }
    static void Store16(uint8_t* at, Lanes v, int n) {
        Lanes16 narrow = __builtin_convertvector(v, Lanes16);
        std::memcpy(at, &narrow, 2 * static_cast<size_t>(n));
    }
};

#include "softblit/blit_run_lanes.h"

} // namespace

void RunFastKernel(const KernelChoice& choice, const BlitJob& job) {
    if (HasAvx512Rows()) RunFastKernelAvx512(choice, job);
    else if (HasAvx2()) RunFastKernelAvx2(choice, job);
    else DrawRunsOfLevel(choice, job);
}

} // namespace softblit
