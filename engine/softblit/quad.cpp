// Free quadrilateral: the whole source drawn as two triangles that share the diagonal from the
// source's top-right to its bottom-left, with one set-up for both.
#include <algorithm>

#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"
#include "softblit/kernel_common.h"
#include "softblit/softblit.h"
#include "softblit/triangle.h"

using namespace softblit;

void FillMemImgQuad(MEMIMG* destination, const MEMIMG* source, const int32_t* points, int trans,
                    const MEMIMG* blend) {
    if (!IsMemImgValid(destination) || !IsMemImgValid(source) || points == nullptr) return;
    if (IsAlphaTarget(destination))
        return DrawIntoAlphaTarget(destination, source, trans, 0, [&](MEMIMG* to, const MEMIMG* from, uint32_t) {
            FillMemImgQuad(to, from, points, trans, blend);
        });
    int32_t p[8];
    std::copy(points, points + 8, p);
    // A box with margins around the points; when it misses the draw area nothing is drawn.
    DrawBounds box = {p[0], p[1], p[0], p[1]};
    for (int i = 1; i < 4; ++i) {
        box.left = std::min<int64_t>(box.left, p[2 * i]);
        box.right = std::max<int64_t>(box.right, p[2 * i]);
        box.top = std::min<int64_t>(box.top, p[2 * i + 1]);
        box.bottom = std::max<int64_t>(box.bottom, p[2 * i + 1]);
    }
    box.left -= 2;
    box.top -= 2;
    box.right += 4;
    box.bottom += 4;
    DrawBounds bounds;
    if (!GetDrawBounds(destination, &bounds) || !ClampToBounds(bounds, &box)) return;

    int32_t w = source->width;
    int32_t h = source->height;
    TriangleVertex v[4] = {{p[0], p[1], 0, 0}, {p[2], p[3], w, 0}, {p[4], p[5], 0, h}, {p[6], p[7], w, h}};
    DrawTexturedQuad(destination, source, v, trans, blend);
}
