// The run-table walk of blit_run_lanes.h compiled for processors with AVX2.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "softblit/blit_frame.h"

namespace softblit {

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

using Lanes16 = uint16_t __attribute__((vector_size(32)));

// Whole steps moved as they are, the last one of a row through a buffer; a step with pixels left
// out keeps the destination's in them.
struct Level {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    static Lanes Load32(const uint8_t* at, int n) {
        Lanes v = {};
        if (n == 16) std::memcpy(&v, at, sizeof v);
        else std::memcpy(&v, at, 4 * static_cast<size_t>(n));
        return v;
    }
    static Lanes Load16(const uint8_t* at, int n) {
        Lanes16 v = {};
        if (n == 16) std::memcpy(&v, at, sizeof v);
        else std::memcpy(&v, at, 2 * static_cast<size_t>(n));
        return __builtin_convertvector(v, Lanes);
    }
    static Lanes Select(uint32_t m, Lanes set, Lanes clear) {
        const Lanes bit = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
        Lanes chosen = (Lanes)((Lanes{} + m) & bit) != 0;
        return (set & chosen) | (clear & ~chosen);
    }
    static void Store32(uint8_t* at, Lanes v, uint32_t m, int n) {
        if (m != (1u << n) - 1) v = Select(m, v, Load32(at, n));
        if (n == 16) std::memcpy(at, &v, sizeof v);
        else std::memcpy(at, &v, 4 * static_cast<size_t>(n));
    }
    static void Store16(uint8_t* at, Lanes v, uint32_t m, int n) {
        if (m != (1u << n) - 1) v = Select(m, v, Load16(at, n));
        Lanes16 narrow = __builtin_convertvector(v, Lanes16);
        if (n == 16) std::memcpy(at, &narrow, sizeof narrow);
        else std::memcpy(at, &narrow, 2 * static_cast<size_t>(n));
    }
};

#include "softblit/blit_run_lanes.h"

} // namespace

void DrawRunsAvx2(const KernelChoice& choice, const BlitJob& job, const RunMasks& masks) {
    DrawRunsOfLevel(choice, job, masks);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

} // namespace softblit
