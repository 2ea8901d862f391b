// Stretched and mirrored blit: nearest-pixel sampling by 16.16 counters.
#include <algorithm>

#include "core/core.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/blit_frame.h"
#include "softblit/softblit.h"

namespace softblit {

void RunStretchedKernel(const KernelChoice& choice, const BlitJob& job) {
    RunKernel<Road::Stretched>(choice, job);
}

} // namespace softblit

using namespace softblit;

void BlitMemImgStretched(MEMIMG* destination, const MEMIMG* source, const V_RECT* rectangle,
                         int trans, const MEMIMG* blend) {
    if (rectangle == nullptr) return;
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, 0, [&](MEMIMG* to, const MEMIMG* from, uint32_t) {
            BlitMemImgStretched(to, from, rectangle, trans, blend);
        });
    FrameSetup setup;
    if (!PrepareFrame(destination, source, blend, trans, &setup)) return;
    int64_t x1 = rectangle->left, y1 = rectangle->top, x2 = rectangle->right, y2 = rectangle->bottom;
    bool mirrorX = x1 > x2;
    bool mirrorY = y1 > y2;
    int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    int64_t width = right - left;
    int64_t height = bottom - top;
    if (width == 0 || height == 0) return;
    int sourceWidth = source->width;
    int sourceHeight = source->height;
    if (width == sourceWidth && height == sourceHeight && !mirrorX && !mirrorY) {
        BlitMemImg(destination, source, static_cast<int>(left), static_cast<int>(top), trans, blend);
        return;
    }
    int64_t qx = width * 65536 / sourceWidth;
    int64_t qy = height * 65536 / sourceHeight;
    if (qx == 0 || qy == 0) return;
    DrawBounds rect = {left, top, right, bottom};
    if (!ClipToDrawArea(destination, &rect)) return;
    int64_t ox = rect.left - left;
    int64_t oy = rect.top - top;
    int64_t fx = std::min<int64_t>(ox * 65536 / qx, sourceWidth - 1);
    int64_t fy = std::min<int64_t>(oy * 65536 / qy, sourceHeight - 1);

    const MemImgBase* from = source->base;
    BlitJob job = {};
    job.context = setup.context;
    job.destination = destination->pixels + destination->base->pitch * rect.top +
                      setup.destinationBytes * rect.left;
    job.destinationPitch = destination->base->pitch;
    job.source = source->pixels;
    job.sourcePitch = from->pitch;
    if (blend != nullptr) {
        job.blend = blend->pixels;
        job.blendPitch = blend->base->pitch;
    }
    job.width = static_cast<int>(rect.right - rect.left);
    job.height = static_cast<int>(rect.bottom - rect.top);
    job.sourceWidth = sourceWidth;
    job.sourceHeight = sourceHeight;
    job.startColumn = static_cast<int>(mirrorX ? sourceWidth - 1 - fx : fx);
    job.startRow = static_cast<int>(mirrorY ? sourceHeight - 1 - fy : fy);
    job.columnStep = mirrorX ? -1 : 1;
    job.rowStep = mirrorY ? -1 : 1;
    job.columnQuantum = qx;
    job.rowQuantum = qy;
    job.columnCounterStart = qx - ox * 65536 % qx;
    job.rowCounterStart = qy - oy * 65536 % qy;

    // The plain copy and the subtract at 255 (no blend image, white bright, no alpha) sample by
    // the strict rule; every other loop by the general rule.
    KernelChoice choice = setup.choice;
    int p = setup.parameter;
    bool plain = !choice.blend && choice.white && choice.kind != SourceKind::Alpha;
    bool strict = plain && (choice.mode == 0 || (choice.mode == 3 && p == 255));
    job.advanceLimit = strict ? 0 : 1;
    if (plain && choice.mode == 3 && p == 255 && choice.wide && GetMmxFlag())
        choice.form = Form::SaturateBytes;
    RunStretchedKernel(choice, job);
}
