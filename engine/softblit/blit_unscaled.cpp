// Unscaled blit: the general loops and the entry point that chooses between them and the
// run-table walk.
#include "core/core.h"
#include "softblit/blit_frame.h"
#include "softblit/softblit.h"

namespace softblit {

void RunGeneralKernel(const KernelChoice& choice, const BlitJob& job) {
    RunKernel<Road::General>(choice, job);
}

namespace {

// The block form that the general loop of the choice runs (the row kernels with a block form in
// blit_rows.h), with its parameter; false when it has none.
bool BlockFormOf(const KernelChoice& choice, uint32_t p, BlockOp* op, uint32_t* parameter) {
    if (choice.blend || !choice.white || choice.pairs) return false;
    *parameter = 0;
    if (choice.kind == SourceKind::Alpha) {
        *op = BlockOp::AlphaCopy;
        return choice.keyed && choice.mode == 0;
    }
    if (choice.kind != SourceKind::Direct) return false;
    switch (choice.mode) {
    case 0: *op = BlockOp::Copy; return true;
    case 1:
        if (choice.form == Form::HalfSum) return false;
        *op = BlockOp::Mix;
        *parameter = choice.wide ? p : p >> 2;
        return true;
    case 2:
    case 3:
        *op = choice.mode == 2 ? BlockOp::AddBytes : BlockOp::SubtractBytes;
        return choice.form == Form::SaturateBytes;
    case 4: *op = BlockOp::Multiply; return true;
    default: return false;
    }
}

} // namespace

} // namespace softblit

using namespace softblit;

void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend) {
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    DrawBounds rect = {x, y, int64_t{x} + source->width, int64_t{y} + source->height};
    // The clip of ClipToDrawArea, inlined: at sprite sizes the call is a noticeable share.
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &rect)) return;
    int width = static_cast<int>(rect.right - rect.left);
    int height = static_cast<int>(rect.bottom - rect.top);
    const MemImgBase* from = source->base;
    bool fast = trans == 1 && from->runCodeValid == 1 && from->runBuffer != nullptr &&
                width == source->width && height == source->height &&
                source->width == from->width && source->height == from->height;

    int64_t offsetX = rect.left - x;
    int64_t offsetY = rect.top - y;
    uint8_t* to = destination->pixels + destination->base->pitch * rect.top + setup.destinationBytes * rect.left;
    const uint8_t* sourceStart = source->pixels + from->pitch * offsetY + setup.sourceBytes * offsetX;
    KernelChoice choice = setup.choice;
    int p = setup.parameter;
    if (!fast) {
        // The special forms of the general loops: no blend image, white bright, no alpha.
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
        // A loop with a block form goes straight to it, without the job and the dispatch.
        BlockOp op;
        uint32_t parameter;
        if (BlockFormOf(choice, static_cast<uint32_t>(p), &op, &parameter) && HasAvx512Rows()) {
            RowBlock block = {to, destination->base->pitch, sourceStart, from->pitch, width, height};
            if (choice.wide) DrawBlock32Avx512(op, block, setup.context.key, parameter, choice.keyed);
            else DrawBlock16Avx512(op, block, setup.context.key, parameter, choice.keyed);
            return;
        }
    }
    BlitJob job = {};
    job.context = setup.context;
    job.destination = to;
    job.destinationPitch = destination->base->pitch;
    job.source = sourceStart;
    job.sourcePitch = from->pitch;
    if (blend != nullptr) {
        job.blend = blend->pixels + blend->base->pitch * offsetY + offsetX;
        job.blendPitch = blend->base->pitch;
    }
    job.width = width;
    job.height = height;

    if (fast) {
        job.runCode = from->runBuffer;
        job.runCodeEnd = from->runBuffer + (static_cast<size_t>(from->width) + 5) * from->height;
        RunFastKernel(choice, job);
        return;
    }
    RunGeneralKernel(choice, job);
}
