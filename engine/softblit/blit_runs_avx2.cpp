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

#include "softblit/blit_run_vector_level.h"
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
