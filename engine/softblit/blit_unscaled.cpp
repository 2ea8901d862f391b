// Unscaled blit: the general loops and the entry point that chooses between them and the
// run-table walk.
#include "core/core.h"
#include "softblit/blit_frame.h"
#include "softblit/softblit.h"

namespace softblit {

void RunGeneralKernel(const KernelChoice& choice, const BlitJob& job) {
    RunKernel<Road::General>(choice, job);
}

} // namespace softblit

using namespace softblit;

void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend) {
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    DrawBounds rect = {x, y, int64_t{x} + source->width, int64_t{y} + source->height};
    if (!ClipToDrawArea(destination, &rect)) return;
    int width = static_cast<int>(rect.right - rect.left);
    int height = static_cast<int>(rect.bottom - rect.top);
    const MemImgBase* from = source->base;
    bool fast = trans == 1 && from->runCodeValid == 1 && from->runBuffer != nullptr &&
                width == source->width && height == source->height &&
                source->width == from->width && source->height == from->height;

    int64_t offsetX = rect.left - x;
    int64_t offsetY = rect.top - y;
    BlitJob job = {};
    job.context = setup.context;
    job.destination = destination->pixels + destination->base->pitch * rect.top +
                      setup.destinationBytes * rect.left;
    job.destinationPitch = destination->base->pitch;
    job.source = source->pixels + from->pitch * offsetY + setup.sourceBytes * offsetX;
    job.sourcePitch = from->pitch;
    if (blend != nullptr) {
        job.blend = blend->pixels + blend->base->pitch * offsetY + offsetX;
        job.blendPitch = blend->base->pitch;
    }
    job.width = width;
    job.height = height;

    KernelChoice choice = setup.choice;
    if (fast) {
        job.runCode = from->runBuffer;
        job.runCodeEnd = from->runBuffer + (static_cast<size_t>(from->width) + 5) * from->height;
        RunFastKernel(choice, job);
        return;
    }
    // The special forms of the general loops: no blend image, white bright, no alpha.
    int p = setup.parameter;
    if (!choice.blend && choice.white && choice.kind != SourceKind::Alpha) {
        if (choice.mode == 1) {
            if (p == 128) choice.form = Form::HalfSum;
            else if (!choice.wide) choice.form = Form::Mix16;
        } else if ((choice.mode == 2 || choice.mode == 3) && p == 255) {
            if (!choice.wide) choice.pairs = true;
            else if (GetMmxFlag()) choice.form = Form::SaturateBytes;
            else if (choice.mode == 2) choice.form = Form::NoLowBits;
        }
    }
    RunGeneralKernel(choice, job);
}
