// Unscaled blit: the general loops and the entry point that chooses between them and the
// run-table walk.
#include "core/core.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
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

// The loops of the calls without a block form: the run-table walk (fast) or the general loops,
// with the special forms of the latter, through the job and the dispatch. Kept out of line, so
// that the calls with a form pay nothing for its frame.
[[gnu::noinline]] void DrawByLoops(const MEMIMG* destination, const MEMIMG* source, const MEMIMG* blend, int trans,
                                   bool fast, uint8_t* to, ptrdiff_t toPitch, const uint8_t* from,
                                   ptrdiff_t fromPitch, const uint8_t* blendStart, int width, int height) {
    // The frame again: passing it would keep the callers' copy in memory on every call.
    FrameSetup loops;
    if (!CheckFrame(destination, source, blend, trans, &loops)) return;
    KernelChoice& choice = loops.choice;
    const int p = loops.parameter;
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
    job.source = from;
    job.sourcePitch = fromPitch;
    if (blend != nullptr) {
        job.blend = blendStart;
        job.blendPitch = blend->base->pitch;
    }
    job.width = width;
    job.height = height;
    if (fast) {
        const MemImgBase* base = source->base;
        job.runCode = base->runBuffer;
        job.runCodeEnd = base->runBuffer + (static_cast<size_t>(base->width) + 5) * static_cast<size_t>(base->height);
        RunFastKernel(choice, job);
        return;
    }
    RunGeneralKernel(choice, job);
}

} // namespace

} // namespace softblit

using namespace softblit;

void BlitMemImg(MEMIMG* destination, const MEMIMG* source, int x, int y, int trans,
                const MEMIMG* blend) {
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, 0, [&](MEMIMG* to, const MEMIMG* from, uint32_t) {
            BlitMemImg(to, from, x, y, trans, blend);
        });
    FrameSetup setup;
    if (!CheckFrame(destination, source, blend, trans, &setup)) return;
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds)) return;
    const MemImgBase* from = source->base;
    const ptrdiff_t toPitch = destination->base->pitch;
    const int p = setup.parameter;
    const int64_t right = int64_t{x} + source->width, bottom = int64_t{y} + source->height;
    if (trans == 1 && from->runCodeValid == 1 && from->runBuffer != nullptr && source->width == from->width &&
        source->height == from->height && x >= bounds.left && y >= bounds.top && right <= bounds.right &&
        bottom <= bounds.bottom) {
        // The whole image inside the draw area: the run-table walk. No clip to make.
        uint8_t* to = destination->pixels + toPitch * int64_t{y} + setup.destinationBytes * int64_t{x};
        DrawByLoops(destination, source, blend, trans, true, to, toPitch, source->pixels, from->pitch,
                    blend != nullptr ? blend->pixels : nullptr, from->width, from->height);
        return;
    }
    // The clip of ClipToDrawArea, inlined: at sprite sizes the call is a noticeable share.
    DrawBounds rect = {x, y, right, bottom};
    if (!ClampToBounds(bounds, &rect)) return;
    const int width = static_cast<int>(rect.right - rect.left);
    const int height = static_cast<int>(rect.bottom - rect.top);
    const int64_t offsetX = rect.left - x;
    const int64_t offsetY = rect.top - y;
    uint8_t* to = destination->pixels + toPitch * rect.top + setup.destinationBytes * rect.left;
    const uint8_t* sourceStart = source->pixels + from->pitch * offsetY + setup.sourceBytes * offsetX;
    // A loop with a block form goes straight to it, without the table rows, the job and the
    // dispatch.
    BlockOp op;
    uint32_t parameter;
    if (BlockFormOf(setup.choice, static_cast<uint32_t>(p), &op, &parameter) && HasAvx512Rows()) {
        const RowBlock block = {to, toPitch, sourceStart, from->pitch, width, height};
        if (setup.choice.wide) DrawBlock32Avx512(op, block, setup.context.key, parameter, setup.choice.keyed);
        else DrawBlock16Avx512(op, block, setup.context.key, parameter, setup.choice.keyed);
        return;
    }
    const uint8_t* blendStart = blend != nullptr ? blend->pixels + blend->base->pitch * offsetY + offsetX : nullptr;
    DrawByLoops(destination, source, blend, trans, false, to, toPitch, sourceStart, from->pitch, blendStart, width,
                height);
}
