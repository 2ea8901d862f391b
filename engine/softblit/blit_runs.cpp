// Unscaled blit along the source's run table (whole, unclipped, keyed draws), read as the masks
// the table's writer keeps beside it (MemImgBase::runMasks), for the calls without an AVX-512 run
// form (blit_unscaled.cpp): the walk of blit_run_lanes.h at the processor's level. This file holds
// the plain level, which any x86-64 processor runs (SSE2).
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "softblit/blit_frame.h"

namespace softblit {

namespace {

#include "softblit/blit_run_vector_level.h"
#include "softblit/blit_run_lanes.h"

} // namespace

void RunFastKernel(const KernelChoice& choice, const BlitJob& job) {
    if (HasAvx512Rows()) DrawRunsAvx512(choice, job, job.runMasks);
    else if (HasAvx2()) DrawRunsAvx2(choice, job, job.runMasks);
    else DrawRunsOfLevel(choice, job, job.runMasks);
}

} // namespace softblit
