// Box fill: one prepared colour over every pixel of a clipped rectangle.
#include <algorithm>

#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/kernel_common.h"
#include "softblit/softblit.h"

using namespace softblit;

void FillMemImgBox(MEMIMG* destination, const int32_t* rectangle, uint32_t colour) {
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, nullptr, 0, colour, [&](MEMIMG* to, const MEMIMG*, uint32_t c) {
            FillMemImgBox(to, rectangle, c);
        });
    FlatSetup setup;
    if (!PrepareFlat(destination, colour, BrightRule::Shift, &setup)) return;
    DrawBounds box = {0, 0, destination->width, destination->height};
    if (rectangle != nullptr) {
        box.left = std::min(rectangle[0], rectangle[2]);
        box.right = std::max(rectangle[0], rectangle[2]);
        box.top = std::min(rectangle[1], rectangle[3]);
        box.bottom = std::max(rectangle[1], rectangle[3]);
    }
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &box)) return;

    int64_t pitch = destination->base->pitch;
    int64_t width = box.right - box.left;
    WithFlatOp(setup, [&](auto op) {
        using Op = decltype(op);
        const BlitContext c = setup.context;
        if constexpr (kChannelwise16<Op>) {
            const ChannelTables tables = MakeChannelTables<Op>(c, setup.colour);
            for (int64_t y = box.top; y < box.bottom; ++y) {
                uint8_t* to = destination->pixels + pitch * y + 2 * box.left;
                for (int64_t i = 0; i < width; ++i, to += 2) Store16(to, tables.Apply(Load16(to)));
            }
            return;
        }
        for (int64_t y = box.top; y < box.bottom; ++y) {
            uint8_t* to = destination->pixels + pitch * y + setup.bytes * box.left;
            for (int64_t i = 0; i < width; ++i, to += setup.bytes)
                Op::template Apply<false>(c, to, setup.colour, 0, 0);
        }
    });
}
