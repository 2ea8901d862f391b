// Unscaled blit: the general loops and the entry point that chooses between them and the
// run-table walk.
#include "core/core.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"
#include "softblit/blit_frame.h"
#include "softblit/softblit.h"

namespace softblit {

void RunGeneralKernel(const KernelChoice& choice, const BlitJob& job) {
    RunKernel<Road::General>(choice, job);
}

namespace {

// The block form (blit_rows.h) that draws the call's general loop, with its parameter; false when
// it has none. Takes the choice before the special forms are picked: of those, only the 32-bit
// saturating add and subtract have a block form, the half sum and the 16-bit pair loops have none.
inline bool BlockFormOf(const KernelChoice& choice, uint32_t p, BlockOp* op, uint32_t* parameter) {
    if (choice.blend || !choice.white) return false;
    *parameter = 0;
    if (choice.kind == SourceKind::Direct) {
        switch (choice.mode) {
        case 0: *op = BlockOp::Copy; return true;
        case 1:
            *op = BlockOp::Mix;
            *parameter = choice.wide ? p : p >> 2;
            return p != 128;
        case 2:
        case 3:
            // The saturating byte form: 32-bit, full parameter, with the MMX flag.
            *op = choice.mode == 2 ? BlockOp::AddBytes : BlockOp::SubtractBytes;
            return p == 255 && choice.wide && GetMmxFlag();
        case 4: *op = BlockOp::Multiply; return true;
        default: return false;
        }
    }
    *op = BlockOp::AlphaCopy;
    return choice.kind == SourceKind::Alpha && choice.keyed && choice.mode == 0;
}

// The AVX-512 run form (blit_rows.h) that draws the call's run-table walk, if there is one: the
// plain copies, and without modifiers the 32-bit mix, the 16-bit step (with VBMI) and the multiply
// of a direct source.
inline bool RunFormOf(const KernelChoice& choice, RunOp* op) {
    if (choice.blend || !choice.white) return false;
    if (choice.kind == SourceKind::Alpha) {
        *op = RunOp::AlphaCopy;
        return choice.mode == 0;
    }
    if (choice.kind != SourceKind::Direct) return false;
    switch (choice.mode) {
    case 0: *op = RunOp::Copy; return true;
    case 1:
        *op = choice.wide ? RunOp::Mix : RunOp::Step;
        return choice.wide || HasAvx512Vbmi();
    case 4: *op = RunOp::Multiply; return true;
    default: return false;
    }
}

} // namespace

} // namespace softblit

using namespace softblit;

void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend) {
    FrameSetup setup;
    if (!CheckFrame(destination, source, blend, trans, &setup)) return;
    DrawBounds rect = {x, y, int64_t{x} + source->width, int64_t{y} + source->height};
    // The clip of ClipToDrawArea, inlined: at sprite sizes the call is a noticeable share.
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &rect)) return;
    const int width = static_cast<int>(rect.right - rect.left);
    const int height = static_cast<int>(rect.bottom - rect.top);
    const MemImgBase* from = source->base;
    const ptrdiff_t toPitch = destination->base->pitch;
    const int64_t offsetX = rect.left - x;
    const int64_t offsetY = rect.top - y;
    uint8_t* to = destination->pixels + toPitch * rect.top + setup.destinationBytes * rect.left;
    const uint8_t* sourceStart = source->pixels + from->pitch * offsetY + setup.sourceBytes * offsetX;
    const bool fast = trans == 1 && from->runCodeValid == 1 && from->runMasks != nullptr &&
                      width == source->width && height == source->height &&
                      source->width == from->width && source->height == from->height;
    const int p = setup.parameter;
    RunMasks runMasks = {};
    int drawnHeight = height;  // the run-table walk's rows: those from the first to the last drawn
    if (fast) {
        const int first = from->runFirstRow;
        drawnHeight = from->runEndRow - first;
        if (drawnHeight <= 0) return;
        const size_t words = static_cast<size_t>(from->runMaskWords);
        runMasks = {from->runMasks + words * first, from->runMasks + words * (from->height + first),
                    from->runMaskWords};
        to += toPitch * first;
        sourceStart += from->pitch * first;
        // As below, a call with a run form goes straight to it.
        RunOp op;
        if (RunFormOf(setup.choice, &op) && HasAvx512Rows()) {
            RowBlock block = {to, toPitch, sourceStart, from->pitch, width, drawnHeight};
            if (setup.choice.wide) DrawRuns32Avx512(op, block, runMasks, static_cast<uint32_t>(p));
            else if (op == RunOp::Step) DrawStepRuns16Avx512Vbmi(block, runMasks, static_cast<uint32_t>(p));
            else DrawRuns16Avx512(op, block, runMasks, static_cast<uint32_t>(p));
            return;
        }
    } else {
        // A loop with a block form goes straight to it, without the table rows, the job and the
        // dispatch.
        BlockOp op;
        uint32_t parameter;
        if (BlockFormOf(setup.choice, static_cast<uint32_t>(p), &op, &parameter) && HasAvx512Rows()) {
            RowBlock block = {to, toPitch, sourceStart, from->pitch, width, height};
            if (setup.choice.wide) DrawBlock32Avx512(op, block, setup.context.key, parameter, setup.choice.keyed);
            else DrawBlock16Avx512(op, block, setup.context.key, parameter, setup.choice.keyed);
            return;
        }
    }
    // The loops get a copy: the setup itself is never addressed, so the compiler is free to keep
    // it in registers on the block path.
    FrameSetup loops = setup;
    KernelChoice& choice = loops.choice;
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
    }
    FillFrameTables(&loops);
    BlitJob job = {};
    job.context = loops.context;
    job.destination = to;
    job.destinationPitch = toPitch;
    job.source = sourceStart;
    job.sourcePitch = from->pitch;
    if (blend != nullptr) {
        job.blend = blend->pixels + blend->base->pitch * (offsetY + (fast ? from->runFirstRow : 0)) + offsetX;
        job.blendPitch = blend->base->pitch;
    }
    job.width = width;
    job.height = drawnHeight;

    if (fast) {
        job.runMasks = runMasks;
        RunFastKernel(choice, job);
        return;
    }
    RunGeneralKernel(choice, job);
}
