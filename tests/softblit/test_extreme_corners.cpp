// Triangles and quadrilaterals with corners at the ends of the 32-bit range are clipped or
// refused without signed overflow (the sanitizer build aborts on one), and draw nothing outside
// the destination.
#include <gtest/gtest.h>

#include <climits>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"

namespace {

TEST(ExtremeCorners, TrianglesAndQuadsAtTheRangeEndsStayInsideTheImage) {
    const int32_t big = INT_MAX, small = INT_MIN + 1;
    const TriangleVertex triangles[][3] = {
        {{small, small, 0, 0}, {big, small, 7, 0}, {small, big, 0, 7}},
        {{big, big, 0, 0}, {small, big, 7, 0}, {big, small, 0, 7}},
        {{0, 0, 0, 0}, {big, 1, 7, 0}, {1, big, 0, 7}},
        {{INT_MIN, 0, 0, 0}, {INT_MAX, 0, 7, 0}, {0, INT_MAX, 0, 7}},
        {{-5, -5, 0, 0}, {big, big - 1, 7, 7}, {big - 1, big, 0, 7}},
    };
    for (int type : {kMemImgR5G6B5, kMemImgX8R8G8B8}) {
        SetBlend(0, 255);
        TestImage destination(24, 20, type);
        TestImage source(8, 8, type);
        source.fill(1);
        for (const auto& corners : triangles) {
            FillMemImgTriangle(destination.get(), nullptr, corners, 0, nullptr, 2);
            FillMemImgTriangle(destination.get(), source.get(), corners, 0, nullptr, 0);
        }
        const int32_t quads[][8] = {
            {small, small, big, small, small, big, big, big},
            {big, big, small, big, big, small, small, small},
            {INT_MIN, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX},
        };
        for (const auto& points : quads)
            FillMemImgQuad(destination.get(), source.get(), points, 0, nullptr);
        EXPECT_NE(IsMemImgValid(destination.get()), 0);
        // Every pixel holds one of the values drawn (0 untouched, 1 source, 2 colour), the
        // unused top byte aside.
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 24; ++x)
                EXPECT_LE(destination.get(x, y) & 0xFFFFFFu, 2u) << x << "," << y;
    }
}

}  // namespace
