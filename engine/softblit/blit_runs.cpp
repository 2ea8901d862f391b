// Unscaled blit along the source's run table (whole, unclipped, keyed draws).
#include "softblit/blit_frame.h"

namespace softblit {

void RunFastKernel(const KernelChoice& choice, const BlitJob& job) {
    RunKernel<Road::Fast>(choice, job);
}

} // namespace softblit
