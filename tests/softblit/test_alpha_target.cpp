// Draws into an image with alpha: every kernel writes the colour and the alpha there, the alpha
// blended by the mode with the draw's alpha as the value, and leaves what it does not draw.
#include <gtest/gtest.h>

#include <functional>

#include "blit_test_support.h"

namespace {

using Draw = std::function<void(MEMIMG* to, const MEMIMG* source, uint32_t colour)>;

TEST(AlphaTarget, EveryKernelWritesColourAndAlpha) {
    const int32_t box[4] = {2, 2, 6, 6};
    const int32_t quad[8] = {2, 2, 6, 2, 2, 6, 6, 6};
    const TriangleVertex corners[4] = {{2, 2, 0, 0}, {6, 2, 4, 0}, {2, 6, 0, 4}, {6, 6, 4, 4}};
    const V_RECT mirrored{6, 2, 2, 6};
    const std::pair<const char*, Draw> draws[] = {
        {"unscaled",
         [](MEMIMG* to, const MEMIMG* s, uint32_t) { BlitMemImg(to, s, 2, 2, 1, nullptr); }},
        {"stretched", [&](MEMIMG* to, const MEMIMG* s,
                          uint32_t) { BlitMemImgStretched(to, s, &mirrored, 1, nullptr); }},
        {"rotated", [](MEMIMG* to, const MEMIMG* s,
                       uint32_t) { BlitMemImgRotated(to, s, 4, 4, 0, 1, 1, 0, nullptr); }},
        {"quadrilateral",
         [&](MEMIMG* to, const MEMIMG* s, uint32_t) { FillMemImgQuad(to, s, quad, 1, nullptr); }},
        {"triangle", [&](MEMIMG* to, const MEMIMG* s,
                         uint32_t) { FillMemImgTriangle(to, s, corners, 1, nullptr, 0); }},
        {"flat pair",
         [&](MEMIMG* to, const MEMIMG*, uint32_t c) {
             FillMemImgTrianglePair(to, nullptr, corners, 0, nullptr, c);
         }},
        {"box", [&](MEMIMG* to, const MEMIMG*, uint32_t c) { FillMemImgBox(to, box, c); }},
        {"line", [](MEMIMG* to, const MEMIMG*, uint32_t c) { DrawMemImgLine(to, 2, 3, 6, 3, c); }},
    };
    for (int type : {kMemImgR5G6B5, kMemImgX8R8G8B8}) {
        const bool wide = type == kMemImgX8R8G8B8;
        const uint32_t red = wide ? 0x00FF0000u : 0xF800u;
        // The red with alpha 255, as the image keeps it.
        const uint32_t drawn = wide ? 0xFF000000u | red : 0x00FF0000u | red;
        TestImage source(4, 4, type);
        source.fill(red);
        source.set(0, 0, 0);  // the transparent colour
        for (const auto& [name, draw] : draws) {
            SCOPED_TRACE(std::string(name) + (wide ? ", 32 bits" : ", 16 bits"));
            SetBlend(0, 255);
            TestImage target(8, 8, type, 0, 1);
            draw(target.get(), source.get(), red);
            EXPECT_EQ(target.get(3, 3), drawn);
            EXPECT_EQ(target.get(7, 7), 0u);
            if (std::string(name) == "unscaled") {
                EXPECT_EQ(target.get(2, 2), 0u) << "the key is not drawn";
            }
        }
        // A box at 128 blends the alpha a with the value 128 as the device does: mode 1 and 10
        // give a + (128 - a) / 2, mode 4 a / 2; mode 11 leaves it (within a step of rounding);
        // mode 10 at 64 gives a + (64 - a) / 4.
        const struct {
            int mode;
            uint32_t start, alpha;
            int param = 128;
        } blended[] = {{1, 0, 64}, {10, 255, 191}, {4, 255, 128}, {11, 255, 255}, {10, 0, 16, 64}};
        for (const auto& row : blended) {
            SetBlend(row.mode, row.param);
            TestImage target(8, 8, type, 0, 1);
            target.fill(wide ? row.start << 24 : row.start << 16);
            FillMemImgBox(target.get(), box, wide ? 0x00FFFFFFu : 0xFFFFu);
            const uint32_t alpha = wide ? target.get(3, 3) >> 24 : target.get(3, 3) >> 16 & 0xFF;
            EXPECT_NEAR(static_cast<int>(alpha), static_cast<int>(row.alpha), 1)
                << "mode " << row.mode << ", " << type;
        }
        // The run code follows the drawn alpha: a keyed draw of the image shows the box.
        SetBlend(0, 255);
        TestImage coded(8, 8, type, 0, 1, 1), plain(8, 8, type);
        UpdateMemImgRunCode(coded.get(), 8, 8);
        FillMemImgBox(coded.get(), box, red);
        BlitMemImg(plain.get(), coded.get(), 0, 0, 1, nullptr);
        EXPECT_EQ(plain.get(3, 3) & 0xFFFFFFu, red) << type;
    }
    SetBlend(0, 255);
}

}  // namespace
