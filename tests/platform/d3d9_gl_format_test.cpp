// Pixel layouts of the OpenGL Direct3D device: logical pixels to RGBA bytes and back (no GL needed).
#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d9/d3d9_gl_internal.h"

// Every value of each 16-bit layout, in one row and in rows of a wider pitch, widens to RGBA
// with full scale kept full and narrows back to itself (less the unused bit).
TEST(GlFormat, SixteenBitLayoutsWidenAndNarrowBack) {
    const V_D3DFORMAT formats[] = {V_D3DFMT_R5G6B5, V_D3DFMT_X1R5G5B5, V_D3DFMT_A1R5G5B5,
                                   V_D3DFMT_A4R4G4B4};
    std::vector<uint16_t> pixels(65536);
    for (int i = 0; i < 65536; ++i) pixels[i] = static_cast<uint16_t>(i);
    for (V_D3DFORMAT format : formats) {
        std::vector<uint8_t> rgba(65536 * 4);
        // 256 rows of 256 pixels, read with a pitch of 512 bytes.
        GlLogicalToRgba(format, reinterpret_cast<const uint8_t*>(pixels.data()), 512, 256, 256, rgba.data());
        std::vector<uint16_t> back(65536);
        GlRgbaToLogical(format, rgba.data(), 256, 256, reinterpret_cast<uint8_t*>(back.data()), 512);
        const uint16_t unused = format == V_D3DFMT_X1R5G5B5 ? 0x8000 : 0;
        for (int i = 0; i < 65536; ++i)
            ASSERT_EQ(back[i], pixels[i] & ~unused) << "format " << format << " value " << i;
        // White, and the alpha of layouts without one.
        const uint8_t* white = &rgba[size_t{0xFFFF} * 4];
        EXPECT_EQ(white[0] + white[1] + white[2] + white[3], 4 * 255) << "format " << format;
    }
    // A 5-bit 16 widens to 132 (top bits repeated, rounded), a 4-bit 8 to 136.
    uint16_t one = 16 << 11;
    uint8_t out[4];
    GlLogicalToRgba(V_D3DFMT_R5G6B5, reinterpret_cast<const uint8_t*>(&one), 2, 1, 1, out);
    EXPECT_EQ(out[0], 132);
    one = 0x8000;
    GlLogicalToRgba(V_D3DFMT_A4R4G4B4, reinterpret_cast<const uint8_t*>(&one), 2, 1, 1, out);
    EXPECT_EQ(out[3], 136);
}
