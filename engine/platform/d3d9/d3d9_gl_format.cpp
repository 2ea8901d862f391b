// Logical pixel formats of the OpenGL Direct3D device: layouts, conversion to and from RGBA
// bytes, and block decoding of DXT1-5.
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace {

struct Channels {
    uint32_t r, g, b, a;  // masks within the pixel
};

bool ChannelsOf(V_D3DFORMAT format, Channels* c) {
    switch (format) {
    case V_D3DFMT_A8R8G8B8: *c = {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}; return true;
    case V_D3DFMT_X8R8G8B8: *c = {0xFF0000, 0xFF00, 0xFF, 0}; return true;
    case V_D3DFMT_R5G6B5: *c = {0xF800, 0x7E0, 0x1F, 0}; return true;
    case V_D3DFMT_X1R5G5B5: *c = {0x7C00, 0x3E0, 0x1F, 0}; return true;
    case V_D3DFMT_A1R5G5B5: *c = {0x7C00, 0x3E0, 0x1F, 0x8000}; return true;
    case V_D3DFMT_A4R4G4B4: *c = {0xF00, 0xF0, 0xF, 0xF000}; return true;
    default: return false;
    }
}

int Shift(uint32_t mask) { return mask != 0 ? __builtin_ctz(mask) : 0; }
int Width(uint32_t mask) { return __builtin_popcount(mask); }

// A channel widened to 8 bits by repeating its top bits (as GL does for normalised values).
uint8_t Expand(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 255;
    uint32_t value = (pixel & mask) >> Shift(mask);
    int bits = Width(mask);
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    return static_cast<uint8_t>((value * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
}

// Expand's result for every value of one channel (channels are at most 8 bits wide), so that a
// picture's pixels take a table look-up a channel.
struct ChannelTable {
    uint32_t mask = 0;
    int shift = 0;
    uint8_t values[256] = {};

    void Fill(uint32_t channelMask) {
        mask = channelMask;
        shift = Shift(channelMask);
        const uint32_t top = channelMask >> shift;
        for (uint32_t v = 0; v <= top && v < 256; ++v) values[v] = Expand(v << shift, channelMask);
    }
    uint8_t operator()(uint32_t pixel) const { return values[((pixel & mask) >> shift) & 0xFF]; }
};

template <int Bytes>
void ExpandRows(const ChannelTable* tables, const uint8_t* source, int pitch, int width, int height,
                uint8_t* rgba) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = source + static_cast<size_t>(y) * pitch;
        uint8_t* out = rgba + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, row + x * Bytes, Bytes);
            out[4 * x] = tables[0](pixel);
            out[4 * x + 1] = tables[1](pixel);
            out[4 * x + 2] = tables[2](pixel);
            out[4 * x + 3] = tables[3](pixel);
        }
    }
}

uint32_t Narrow(uint8_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int bits = Width(mask);
    uint32_t top = (1u << bits) - 1;
    uint32_t narrowed = bits >= 8 ? value : (value * top + 127) / 255;
    return (narrowed << Shift(mask)) & mask;
}

void Colour565(uint16_t value, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(((value >> 11) & 31) * 255 / 31);
    rgb[1] = static_cast<uint8_t>(((value >> 5) & 63) * 255 / 63);
    rgb[2] = static_cast<uint8_t>((value & 31) * 255 / 31);
}

// The colour part of a DXT block into 16 RGBA pixels (alpha 255 or 0 for DXT1's transparent).
void DecodeColourBlock(const uint8_t* block, bool dxt1, uint8_t out[16][4]) {
    uint16_t c0 = static_cast<uint16_t>(block[0] | block[1] << 8);
    uint16_t c1 = static_cast<uint16_t>(block[2] | block[3] << 8);
    uint8_t palette[4][4];
    Colour565(c0, palette[0]);
    Colour565(c1, palette[1]);
    palette[0][3] = palette[1][3] = palette[2][3] = palette[3][3] = 255;
    for (int i = 0; i < 3; ++i) {
        if (!dxt1 || c0 > c1) {
            palette[2][i] = static_cast<uint8_t>((2 * palette[0][i] + palette[1][i]) / 3);
            palette[3][i] = static_cast<uint8_t>((palette[0][i] + 2 * palette[1][i]) / 3);
        } else {
            palette[2][i] = static_cast<uint8_t>((palette[0][i] + palette[1][i]) / 2);
            palette[3][i] = 0;
        }
    }
    if (dxt1 && c0 <= c1) palette[3][3] = 0;
    uint32_t indices = static_cast<uint32_t>(block[4] | block[5] << 8 | block[6] << 16) |
                       static_cast<uint32_t>(block[7]) << 24;
    for (int i = 0; i < 16; ++i) std::memcpy(out[i], palette[(indices >> (2 * i)) & 3], 4);
}

void DecodeAlphaBlock(const uint8_t* block, bool explicitAlpha, uint8_t out[16][4]) {
    if (explicitAlpha) {
        for (int i = 0; i < 16; ++i) {
            int nibble = (block[i / 2] >> (4 * (i & 1))) & 0xF;
            out[i][3] = static_cast<uint8_t>(nibble * 17);
        }
        return;
    }
    int a0 = block[0], a1 = block[1];
    int palette[8] = {a0, a1};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i < 5; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = static_cast<uint8_t>(palette[(bits >> (3 * i)) & 7]);
}

void DecodeDxt(V_D3DFORMAT format, const uint8_t* source, int pitch, int width, int height,
               uint8_t* rgba) {
    bool dxt1 = format == V_D3DFMT_DXT1;
    bool explicitAlpha = format == V_D3DFMT_DXT2 || format == V_D3DFMT_DXT3;
    int blockBytes = dxt1 ? 8 : 16;
    for (int by = 0; by < (height + 3) / 4; ++by) {
        for (int bx = 0; bx < (width + 3) / 4; ++bx) {
            const uint8_t* block = source + by * pitch + bx * blockBytes;
            uint8_t pixels[16][4];
            DecodeColourBlock(dxt1 ? block : block + 8, dxt1, pixels);
            if (!dxt1) DecodeAlphaBlock(block, explicitAlpha, pixels);
            for (int i = 0; i < 16; ++i) {
                int x = bx * 4 + (i & 3), y = by * 4 + i / 4;
                if (x < width && y < height)
                    std::memcpy(rgba + (static_cast<size_t>(y) * width + x) * 4, pixels[i], 4);
            }
        }
    }
}

}  // namespace

bool GlIsDxt(V_D3DFORMAT format) {
    return format == V_D3DFMT_DXT1 || format == V_D3DFMT_DXT2 || format == V_D3DFMT_DXT3 ||
           format == V_D3DFMT_DXT4 || format == V_D3DFMT_DXT5;
}

int GlBytesPerPixel(V_D3DFORMAT format) {
    switch (format) {
    case V_D3DFMT_A8R8G8B8:
    case V_D3DFMT_X8R8G8B8: return 4;
    case V_D3DFMT_R5G6B5:
    case V_D3DFMT_X1R5G5B5:
    case V_D3DFMT_A1R5G5B5:
    case V_D3DFMT_A4R4G4B4: return 2;
    default: return 0;
    }
}

int GlPitch(V_D3DFORMAT format, int width) {
    if (GlIsDxt(format)) return ((width + 3) / 4) * (format == V_D3DFMT_DXT1 ? 8 : 16);
    return width * GlBytesPerPixel(format);
}

int GlRows(V_D3DFORMAT format, int height) { return GlIsDxt(format) ? (height + 3) / 4 : height; }

bool GlFormatHasAlpha(V_D3DFORMAT format) {
    return format == V_D3DFMT_A8R8G8B8 || format == V_D3DFMT_A1R5G5B5 ||
           format == V_D3DFMT_A4R4G4B4 || (GlIsDxt(format));
}

bool GlTextureFormatSupported(V_D3DFORMAT format) {
    return GlBytesPerPixel(format) != 0 || GlIsDxt(format);
}

bool GlTargetFormatSupported(V_D3DFORMAT format) { return GlBytesPerPixel(format) != 0; }

void GlLogicalToRgba(V_D3DFORMAT format, const uint8_t* source, int pitch, int width, int height,
                     uint8_t* rgba) {
    if (GlIsDxt(format)) {
        DecodeDxt(format, source, pitch, width, height, rgba);
        return;
    }
    Channels c;
    if (!ChannelsOf(format, &c)) {
        std::memset(rgba, 0, static_cast<size_t>(width) * height * 4);
        return;
    }
    ChannelTable tables[4];
    const uint32_t masks[4] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i) tables[i].Fill(masks[i]);
    if (GlBytesPerPixel(format) == 2)
        ExpandRows<2>(tables, source, pitch, width, height, rgba);
    else
        ExpandRows<4>(tables, source, pitch, width, height, rgba);
}

void GlRgbaToLogical(V_D3DFORMAT format, const uint8_t* rgba, int width, int height,
                     uint8_t* destination, int pitch) {
    Channels c;
    if (!ChannelsOf(format, &c)) return;  // block formats are never written back
    int bytes = GlBytesPerPixel(format);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
        uint8_t* row = destination + static_cast<size_t>(y) * pitch;
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = Narrow(in[4 * x], c.r) | Narrow(in[4 * x + 1], c.g) |
                             Narrow(in[4 * x + 2], c.b) | Narrow(in[4 * x + 3], c.a);
            std::memcpy(row + x * bytes, &pixel, static_cast<size_t>(bytes));
        }
    }
}

uint32_t GlEncodeColor(V_D3DFORMAT format, V_D3DCOLOR color) {
    Channels c;
    if (!ChannelsOf(format, &c)) return 0;
    return Narrow(static_cast<uint8_t>(color >> 16), c.r) |
           Narrow(static_cast<uint8_t>(color >> 8), c.g) | Narrow(static_cast<uint8_t>(color), c.b) |
           Narrow(static_cast<uint8_t>(color >> 24), c.a);
}
