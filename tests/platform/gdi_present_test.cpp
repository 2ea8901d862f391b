// DIB rows into window pixels: channel widening, row order, nearest scaling and clipping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi/gdi_present.h"

namespace {

// A header followed by its three bit-field masks, as a bit-field DIB is laid out.
struct Dib {
    union {
        V_BITMAPINFO info;
        struct {
            V_BITMAPINFOHEADER header;
            uint32_t masks[3];
        } withMasks{};
    };
    std::vector<uint8_t> rows;
};

// A 16-bit R5G6B5 picture (bit fields) whose pixel (x, y), counted from the top, is x + 16y in
// its red and green and 31 - x in blue.
Dib MakeDib565(int width, int height, bool bottomUp) {
    Dib dib;
    V_BITMAPINFOHEADER& h = dib.info.bmiHeader;
    h.biSize = sizeof(V_BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = bottomUp ? height : -height;
    h.biPlanes = 1;
    h.biBitCount = 16;
    h.biCompression = V_BI_BITFIELDS;
    uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(dib.withMasks.masks, masks, sizeof masks);
    int rowBytes = (width * 2 + 3) / 4 * 4;
    dib.rows.assign(static_cast<size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        int stored = bottomUp ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            uint16_t v = static_cast<uint16_t>(((x + y) & 31) << 11 | ((x + 16 * y) & 63) << 5 |
                                               (31 - (x & 31)));
            std::memcpy(&dib.rows[static_cast<size_t>(stored) * rowBytes + x * 2], &v, 2);
        }
    }
    return dib;
}

uint32_t Expected565(int x, int y) {
    uint32_t r = (x + y) & 31, g = (x + 16 * y) & 63, b = 31 - (x & 31);
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

struct Target {
    std::vector<uint32_t> pixels;
    V_DibTarget view;
    Target(int w, int h) : pixels(static_cast<size_t>(w) * h, 0xDEADBEEF) {
        view = V_DibTarget{reinterpret_cast<uint8_t*>(pixels.data()), w * 4, w, h};
    }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * view.width + x]; }
};

}  // namespace

TEST(DibTransfer, SixteenBitRowsInBothOrdersWidenEachChannel) {
    for (bool bottomUp : {true, false}) {
        Dib dib = MakeDib565(7, 5, bottomUp);  // odd width: rows padded to 4 bytes
        Target target(7, 5);
        EXPECT_EQ(V_TransferDibToPixels(&target.view, 0, 0, 7, 5, 0, 0, 7, 5, dib.rows.data(),
                                        &dib.info),
                  5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(target.At(x, y), Expected565(x, y)) << x << "," << y << " " << bottomUp;
    }
}

TEST(DibTransfer, ScalingPicksTheNearestSourcePixelAndClipsToTheTarget) {
    Dib dib = MakeDib565(4, 4, true);
    // Doubled into a target that holds only part of it, shifted left and up by one pixel.
    Target target(6, 6);
    int lines = V_TransferDibToPixels(&target.view, -1, -1, 8, 8, 0, 0, 4, 4, dib.rows.data(),
                                      &dib.info);
    EXPECT_EQ(lines, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(target.At(x, y), Expected565((x + 1) / 2, (y + 1) / 2)) << x << "," << y;

    // The source rectangle counts its y from the bottom: (1, 1, 2, 2) of a 4 × 4 picture is
    // rows 1 and 2 from the top, columns 1 and 2.
    Target part(2, 2);
    EXPECT_EQ(V_TransferDibToPixels(&part.view, 0, 0, 2, 2, 1, 1, 2, 2, dib.rows.data(),
                                    &dib.info),
              2);
    EXPECT_EQ(part.At(0, 0), Expected565(1, 1));
    EXPECT_EQ(part.At(1, 1), Expected565(2, 2));

    // A source rectangle reaching past the picture leaves those pixels alone.
    Target beyond(4, 1);
    V_TransferDibToPixels(&beyond.view, 0, 0, 4, 1, 2, 0, 4, 1, dib.rows.data(), &dib.info);
    EXPECT_EQ(beyond.At(0, 0), Expected565(2, 3));
    EXPECT_EQ(beyond.At(2, 0), 0xDEADBEEFu);
}

TEST(DibTransfer, ThirtyTwoBitAndUnreadableLayouts) {
    V_BITMAPINFO info{};
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = V_BI_RGB;
    uint32_t row[2] = {0x00123456, 0xFF00FF00};
    Target target(2, 1);
    EXPECT_EQ(V_TransferDibToPixels(&target.view, 0, 0, 2, 1, 0, 0, 2, 1, row, &info), 1);
    EXPECT_EQ(target.At(0, 0), 0x123456u);
    EXPECT_EQ(target.At(1, 0), 0x00FF00u);

    info.bmiHeader.biBitCount = 24;
    EXPECT_EQ(V_TransferDibToPixels(&target.view, 0, 0, 2, 1, 0, 0, 2, 1, row, &info), 0);
    info.bmiHeader.biBitCount = 32;
    EXPECT_EQ(V_TransferDibToPixels(&target.view, 0, 0, 0, 1, 0, 0, 2, 1, row, &info), 0);
}
