// Pixel-format conversion of a rectangle between any two colour formats, with the colour-key,
// alpha and dither rules, and fast paths for the common screen formats.
#include <cstring>

#include "core/core_services.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/pixel_rows.h"

namespace {

constexpr int kOrderedDither[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

enum class Layout { Other, Palette8, R5G6B5, X1R5G5B5, A1R5G5B5, R8G8B8, X8R8G8B8, A8R8G8B8 };

Layout Classify(const ColorFormat* f) {
    if (f->bytesPerPixel == 1) return Layout::Palette8;
    bool rgb888 = f->redMask == 0xFF0000 && f->greenMask == 0xFF00 && f->blueMask == 0xFF;
    bool rgb555 = f->redMask == 0x7C00 && f->greenMask == 0x3E0 && f->blueMask == 0x1F;
    bool rgb565 = f->redMask == 0xF800 && f->greenMask == 0x7E0 && f->blueMask == 0x1F;
    if (f->bitDepth == 16 && rgb565 && f->alphaMask == 0) return Layout::R5G6B5;
    if (f->bitDepth == 16 && rgb555 && f->alphaMask == 0) return Layout::X1R5G5B5;
    if (f->bitDepth == 16 && rgb555 && f->alphaMask == 0x8000) return Layout::A1R5G5B5;
    if (f->bitDepth == 24 && rgb888 && f->alphaMask == 0) return Layout::R8G8B8;
    if (f->bitDepth == 32 && rgb888 && f->alphaMask == 0) return Layout::X8R8G8B8;
    if (f->bitDepth == 32 && rgb888 && f->alphaMask == 0xFF000000u) return Layout::A8R8G8B8;
    return Layout::Other;
}

inline uint32_t ReadValue(const uint8_t* p, int bytes) {
    switch (bytes) {
        case 1: return p[0];
        case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
        case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

inline void WriteValue(uint8_t* p, int bytes, uint32_t v) {
    switch (bytes) {
        case 1: p[0] = static_cast<uint8_t>(v); break;
        case 2: {
            uint16_t w = static_cast<uint16_t>(v);
            std::memcpy(p, &w, 2);
            break;
        }
        case 3:
            p[0] = static_cast<uint8_t>(v);
            p[1] = static_cast<uint8_t>(v >> 8);
            p[2] = static_cast<uint8_t>(v >> 16);
            break;
        default: std::memcpy(p, &v, 4); break;
    }
}

inline uint32_t PaletteValue(const ColorFormat* f, int index) {
    uint32_t v;
    std::memcpy(&v, &f->palette[index], 4);
    return v;
}

inline uint32_t DepthMask(int depth) { return depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1u; }

// Everything the conversion needs, settled before any pixel is touched.
struct Job {
    uint8_t* dst;
    int dstPitch;
    const ColorFormat* df;
    const uint8_t* src;
    int srcPitch;
    const ColorFormat* sf;
    const uint8_t* alpha;
    int alphaPitch;
    const ColorFormat* af;
    int dstX, dstY;
    int left, top, width, height;
    bool mirror, transparentToAlpha, alphaOnly, alphaFromRed, skip, useAlphaImage;
    bool alphaFromData;
    uint32_t transparent;
    int dither;
    int db, sb;  // bytes per pixel
};

inline const uint8_t* SourceRow(const Job& j, int y) {
    return j.src + static_cast<ptrdiff_t>(j.top + y) * j.srcPitch + static_cast<ptrdiff_t>(j.left) * j.sb;
}
inline uint8_t* DestRow(const Job& j, int y) {
    return j.dst + static_cast<ptrdiff_t>(j.dstY + y) * j.dstPitch + static_cast<ptrdiff_t>(j.dstX) * j.db;
}
inline int DestColumn(const Job& j, int x) { return j.mirror ? j.width - 1 - x : x; }

// ---------------------------------------------------------------- 1: palette remap

int RemapPalette(const Job& j) {
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = j.sf->palette[i];
        map[i] = static_cast<uint8_t>(EncodePixel(j.df, e.red, e.green, e.blue, 0));
    }
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x) d[DestColumn(j, x)] = map[s[x]];
    }
    return 0;
}

// ---------------------------------------------------------------- 2: 8-bit destinations

// Scales a channel of the given width to 8 bits.
inline int To8(uint32_t v, int width) {
    if (width <= 0) return 0;
    if (width >= 8) return static_cast<int>(v >> (width - 8));
    return static_cast<int>(v * 255u / ((1u << width) - 1u));
}

int ConvertTo8(const Job& j) {
    const ColorFormat* sf = j.sf;
    if (j.sb == 1) {
        int highest = 0;
        for (int y = 0; y < j.height; ++y) {
            const uint8_t* s = SourceRow(j, y);
            uint8_t* d = DestRow(j, y);
            for (int x = 0; x < j.width; ++x) {
                if (s[x] > highest) highest = s[x];
                if (!j.mirror) continue;
                d[DestColumn(j, x)] = s[x];
            }
            if (!j.mirror) std::memcpy(d, s, static_cast<size_t>(j.width));
        }
        return highest;
    }
    // Channels are widened to 8 bits before the nearest-colour search.
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x) {
            uint32_t v = ReadValue(s + x * j.sb, j.sb);
            int r = To8((v & sf->redMask) >> sf->redShift, sf->redWidth);
            int g = To8((v & sf->greenMask) >> sf->greenShift, sf->greenWidth);
            int b = To8((v & sf->blueMask) >> sf->blueShift, sf->blueWidth);
            int a = To8((v & sf->alphaMask) >> sf->alphaShift, sf->alphaWidth);
            d[DestColumn(j, x)] = static_cast<uint8_t>(EncodePixel(j.df, r, g, b, a));
        }
    }
    return 0;
}

// ---------------------------------------------------------------- 3: plain copy

int PlainCopy(const Job& j) {
    size_t rowBytes = static_cast<size_t>(j.width) * j.sb;
    uint32_t key = j.transparent & DepthMask(j.sf->bitDepth);
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        if (!j.mirror && !j.skip) {
            std::memmove(d, s, rowBytes);
            continue;
        }
        for (int x = 0; x < j.width; ++x) {
            const uint8_t* p = s + x * j.sb;
            if (j.skip && ReadValue(p, j.sb) == key) continue;
            std::memcpy(d + DestColumn(j, x) * j.db, p, j.sb);
        }
    }
    return 0;
}

// ---------------------------------------------------------------- 4: colour key to alpha, same layout

int KeyToAlphaSameLayout(const Job& j) {
    const ColorFormat* df = j.df;
    uint32_t outside = DepthMask(df->bitDepth) & ~(df->redMask | df->greenMask | df->blueMask);
    uint32_t key = EncodePixel(df, (j.transparent >> 16) & 0xFF, (j.transparent >> 8) & 0xFF,
                               j.transparent & 0xFF, 255) | outside;
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x) {
            uint32_t v = ReadValue(s + x * j.sb, j.sb) | outside;
            if (v == key) v &= ~df->alphaMask;
            WriteValue(d + DestColumn(j, x) * j.db, j.db, v);
        }
    }
    return 0;
}

// ---------------------------------------------------------------- 5: fast conversions

// The pixel sizes are template arguments so that the reads and writes compile to plain loads and
// stores and the operation is inlined into the row loop.
template <int SourceBytes, int DestinationBytes, typename Op>
void EachPixelSized(const Job& j, Op op) {
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x)
            WriteValue(d + x * DestinationBytes, DestinationBytes,
                       op(ReadValue(s + x * SourceBytes, SourceBytes)));
    }
}

template <int SourceBytes, typename Op>
void EachPixelTo(const Job& j, Op op) {
    switch (j.db) {
        case 1: EachPixelSized<SourceBytes, 1>(j, op); break;
        case 2: EachPixelSized<SourceBytes, 2>(j, op); break;
        case 3: EachPixelSized<SourceBytes, 3>(j, op); break;
        default: EachPixelSized<SourceBytes, 4>(j, op); break;
    }
}

template <typename Op>
void EachPixel(const Job& j, Op op) {
    switch (j.sb) {
        case 1: EachPixelTo<1>(j, op); break;
        case 2: EachPixelTo<2>(j, op); break;
        case 3: EachPixelTo<3>(j, op); break;
        default: EachPixelTo<4>(j, op); break;
    }
}

// The same with a vector kernel taking the front of each row when the processor has one.
template <int SourceBytes, int DestinationBytes, typename Op>
void EachPixelRows(const Job& j, int (*kernel)(uint8_t*, const uint8_t*, int), Op op) {
    if (j.sb != SourceBytes || j.db != DestinationBytes) return EachPixel(j, op);
    if (!HasPixelRowKernels()) return EachPixelSized<SourceBytes, DestinationBytes>(j, op);
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = kernel(d, s, j.width); x < j.width; ++x)
            WriteValue(d + x * DestinationBytes, DestinationBytes,
                       op(ReadValue(s + x * SourceBytes, SourceBytes)));
    }
}

inline uint32_t To565(uint32_t argb) {
    return ((argb >> 8) & 0xF800) | ((argb >> 5) & 0x7E0) | ((argb >> 3) & 0x1F);
}
inline uint32_t To555(uint32_t argb) {
    return ((argb >> 9) & 0x7C00) | ((argb >> 6) & 0x3E0) | ((argb >> 3) & 0x1F);
}
inline uint32_t From565(uint32_t p) {
    return ((p & 0xF800) << 8) | ((p & 0x7E0) << 5) | ((p & 0x1F) << 3);
}

// The two 16-bit to 16-bit conversions, on Word-sized groups of pixels at a time (four in a
// 64-bit word, two in a 32-bit word); both give the same bits.
template <typename Word, bool toX555>
void Convert16(const Job& j) {
    constexpr int kPerWord = sizeof(Word) / 2;
    constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFFFF;  // 0x0001 in every lane
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        int x = 0;
        for (; x + kPerWord <= j.width; x += kPerWord) {
            Word p;
            std::memcpy(&p, s + x * 2, sizeof(Word));
            Word out = toX555 ? static_cast<Word>(((p & (kOnes * 0xFFC0)) >> 1) | (p & (kOnes * 0x1F)))
                              : static_cast<Word>(((p << 1) & (kOnes * 0xFFC0)) | (p & (kOnes * 0x3F)));
            std::memcpy(d + x * 2, &out, sizeof(Word));
        }
        for (; x < j.width; ++x) {
            uint32_t p = ReadValue(s + x * 2, 2);
            uint32_t out = toX555 ? ((p & 0xFFC0) >> 1) | (p & 0x1F) : ((p << 1) & 0xFFC0) | (p & 0x3F);
            WriteValue(d + x * 2, 2, out);
        }
    }
}

bool FastConvert(const Job& j) {
    Layout s = Classify(j.sf), d = Classify(j.df);
    const ColorFormat* sf = j.sf;
    uint32_t key = j.transparent & 0xFFFFFF;
    if (!j.transparentToAlpha) {
        if (s == Layout::Palette8 && (d == Layout::R5G6B5 || d == Layout::X1R5G5B5 || d == Layout::X8R8G8B8)) {
            uint32_t table[256];
            for (int i = 0; i < 256; ++i) {
                uint32_t e = PaletteValue(sf, i) & 0xFFFFFF;
                table[i] = d == Layout::R5G6B5 ? To565(e) : d == Layout::X1R5G5B5 ? To555(e) | 0x8000 : e | 0xFF000000u;
            }
            EachPixel(j, [&](uint32_t v) { return table[v & 0xFF]; });
            return true;
        }
        if (s == Layout::R8G8B8 && d == Layout::R5G6B5) {
            EachPixelRows<3, 2>(j, Rgb24To565Row, [](uint32_t v) { return To565(v); });
            return true;
        }
        if (s == Layout::R8G8B8 && d == Layout::X1R5G5B5) {
            EachPixel(j, [](uint32_t v) { return To555(v) | 0x8000; });
            return true;
        }
        if (s == Layout::R8G8B8 && d == Layout::X8R8G8B8) {
            EachPixelRows<3, 4>(j, Rgb24ToXrgb32Row, [](uint32_t v) { return v | 0xFF000000u; });
            return true;
        }
        if (s == Layout::X8R8G8B8 && d == Layout::R5G6B5 && !j.alphaFromData) {
            EachPixelRows<4, 2>(j, Xrgb32To565Row, [](uint32_t v) { return To565(v); });
            return true;
        }
        if (s == Layout::R5G6B5 && (d == Layout::R8G8B8 || d == Layout::X8R8G8B8) && !j.alphaFromData) {
            EachPixel(j, [](uint32_t v) { return From565(v); });
            return true;
        }
        if ((s == Layout::R5G6B5 && d == Layout::X1R5G5B5) || (s == Layout::X1R5G5B5 && d == Layout::R5G6B5)) {
            bool toX555 = s == Layout::R5G6B5;
            if (GetMmxFlag())
                toX555 ? Convert16<uint64_t, true>(j) : Convert16<uint64_t, false>(j);
            else
                toX555 ? Convert16<uint32_t, true>(j) : Convert16<uint32_t, false>(j);
            return true;
        }
        return false;
    }
    if (d != Layout::A1R5G5B5 && d != Layout::A8R8G8B8) return false;
    bool to1555 = d == Layout::A1R5G5B5;
    auto finish = [to1555](uint32_t rgb888, bool opaque) -> uint32_t {
        if (to1555) return To555(rgb888) | (opaque ? 0x8000u : 0u);
        return rgb888 | (opaque ? 0xFF000000u : 0u);
    };
    if (s == Layout::Palette8) {
        uint32_t table[256];
        for (int i = 0; i < 256; ++i) {
            uint32_t e = PaletteValue(sf, i) & 0xFFFFFF;
            table[i] = finish(e, e != key);
        }
        EachPixel(j, [&](uint32_t v) { return table[v & 0xFF]; });
        return true;
    }
    if (s == Layout::R8G8B8) {
        EachPixel(j, [&](uint32_t v) { return finish(v, v != key); });
        return true;
    }
    if (s == Layout::R5G6B5) {
        uint32_t key555 = To555(key);
        EachPixel(j, [&](uint32_t v) {
            uint32_t rgb = From565(v);
            return finish(rgb, To555(rgb) != key555);
        });
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- 6a: narrowing without options

// The general path's result for the common case of channels that only narrow (or keep their
// width) with no colour key, alpha image, alpha option or dither: each channel is one shift
// and mask, so whole rows go through a few operations a pixel.
struct NarrowPlan {
    int rightShift[4];
    uint32_t mask[4];
    int leftShift[4];
    int count;
    uint32_t constant;  // unused bits and, without source alpha, full destination alpha
};

bool MakeNarrowPlan(const Job& j, NarrowPlan* plan) {
    const ColorFormat* sf = j.sf;
    const ColorFormat* df = j.df;
    if (j.sb == 1 || j.transparentToAlpha || j.useAlphaImage || j.alphaOnly || j.alphaFromRed ||
        j.dither != 0)
        return false;
    const int srcShift[4] = {sf->redShift, sf->greenShift, sf->blueShift, sf->alphaShift};
    const int srcWidth[4] = {sf->redWidth, sf->greenWidth, sf->blueWidth, sf->alphaWidth};
    const int dstShift[4] = {df->redShift, df->greenShift, df->blueShift, df->alphaShift};
    const int dstWidth[4] = {df->redWidth, df->greenWidth, df->blueWidth, df->alphaWidth};
    plan->count = 0;
    plan->constant = df->unusedMask;
    for (int c = 0; c < 4; ++c) {
        if (dstWidth[c] == 0 || dstWidth[c] >= 32) {
            if (dstWidth[c] >= 32) return false;
            continue;
        }
        uint32_t max = (1u << dstWidth[c]) - 1u;
        if (c == 3 && sf->alphaMask == 0) {
            plan->constant |= max << dstShift[c];
            continue;
        }
        if (srcWidth[c] == 0) continue;
        if (srcWidth[c] < dstWidth[c]) return false;
        int n = plan->count++;
        plan->rightShift[n] = srcShift[c] + srcWidth[c] - dstWidth[c];
        plan->mask[n] = max;
        plan->leftShift[n] = dstShift[c];
    }
    return true;
}

template <int SourceBytes, int DestinationBytes>
void NarrowRows(const Job& j, const NarrowPlan& plan) {
    uint32_t skipKey = j.transparent & DepthMask(j.sf->bitDepth);
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x) {
            uint32_t v = ReadValue(s + x * SourceBytes, SourceBytes);
            if (j.skip && v == skipKey) continue;
            uint32_t out = plan.constant;
            for (int c = 0; c < plan.count; ++c)
                out |= ((v >> plan.rightShift[c]) & plan.mask[c]) << plan.leftShift[c];
            WriteValue(d + DestColumn(j, x) * DestinationBytes, DestinationBytes, out);
        }
    }
}

template <int SourceBytes>
bool NarrowTo(const Job& j, const NarrowPlan& plan) {
    switch (j.db) {
        case 2: NarrowRows<SourceBytes, 2>(j, plan); return true;
        case 3: NarrowRows<SourceBytes, 3>(j, plan); return true;
        case 4: NarrowRows<SourceBytes, 4>(j, plan); return true;
        default: return false;
    }
}

bool NarrowConvert(const Job& j) {
    NarrowPlan plan;
    if (!MakeNarrowPlan(j, &plan)) return false;
    switch (j.sb) {
        case 2: return NarrowTo<2>(j, plan);
        case 3: return NarrowTo<3>(j, plan);
        case 4: return NarrowTo<4>(j, plan);
        default: return false;
    }
}

// ---------------------------------------------------------------- 6: general path

struct ChannelPlan {
    uint32_t srcMask;
    int srcShift;
    int srcWidth;
    int dstShift;
    int dstWidth;
};

// A channel value carried from one width to another; a wider channel keeps full scale full.
inline uint32_t Rewiden(uint32_t v, int from, int to, uint32_t* dropped) {
    *dropped = 0;
    if (from == to || from == 0) return from == 0 ? 0 : v;
    if (to < from) {
        *dropped = v & ((1u << (from - to)) - 1u);
        return v >> (from - to);
    }
    int d = to - from;
    uint64_t full = (from >= 32) ? 0xFFFFFFFFull : ((1ull << from) - 1);
    return static_cast<uint32_t>((static_cast<uint64_t>(v) << d) + static_cast<uint64_t>(v) * ((1ull << d) - 1) / full);
}

inline uint32_t ChannelMax(int width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u; }

int GeneralConvert(const Job& j) {
    const ColorFormat* sf = j.sf;
    const ColorFormat* df = j.df;
    ChannelPlan rgb[3] = {
        {sf->redMask, sf->redShift, sf->redWidth, df->redShift, df->redWidth},
        {sf->greenMask, sf->greenShift, sf->greenWidth, df->greenShift, df->greenWidth},
        {sf->blueMask, sf->blueShift, sf->blueWidth, df->blueShift, df->blueWidth},
    };
    int dstAlphaWidth = df->alphaWidth;
    uint32_t dstAlphaFull = dstAlphaWidth ? ChannelMax(dstAlphaWidth) : 0;
    uint32_t skipKey = j.transparent & DepthMask(sf->bitDepth);
    // The transparent colour as the source's own channels.
    uint32_t keyChannels[3] = {(j.transparent >> 16) & 0xFF, (j.transparent >> 8) & 0xFF, j.transparent & 0xFF};
    if (j.sb == 1) {
        uint32_t nearest = EncodePixel(sf, keyChannels[0], keyChannels[1], keyChannels[2], 0);
        const PaletteEntry& e = sf->palette[nearest];
        keyChannels[0] = e.red;
        keyChannels[1] = e.green;
        keyChannels[2] = e.blue;
    } else {
        for (int c = 0; c < 3; ++c) {
            int w = rgb[c].srcWidth;
            keyChannels[c] = w == 0 ? 0 : w <= 8 ? keyChannels[c] >> (8 - w) : keyChannels[c] << (w - 8);
        }
    }
    // An alpha image whose format has no valid pixel size (a null format) reads as all zero.
    int ab = j.useAlphaImage && j.af->bytesPerPixel >= 1 && j.af->bytesPerPixel <= 4 ? j.af->bytesPerPixel : 0;
    uint32_t remainders[3] = {0, 0, 0};
    for (int y = 0; y < j.height; ++y) {
        const uint8_t* s = SourceRow(j, y);
        const uint8_t* a = ab
                               ? j.alpha + static_cast<ptrdiff_t>(j.top + y) * j.alphaPitch + static_cast<ptrdiff_t>(j.left) * ab
                               : nullptr;
        uint8_t* d = DestRow(j, y);
        for (int x = 0; x < j.width; ++x) {
            uint32_t raw = ReadValue(s + x * j.sb, j.sb);
            if (j.skip && raw == skipKey) continue;
            uint32_t v = j.sb == 1 ? PaletteValue(sf, static_cast<int>(raw)) : raw;
            uint32_t ch[3];
            for (int c = 0; c < 3; ++c) ch[c] = (v & rgb[c].srcMask) >> rgb[c].srcShift;

            // Alpha, at the destination's alpha width.
            uint32_t alpha = 0;
            if (dstAlphaWidth) {
                if (j.transparentToAlpha) {
                    bool key = ch[0] == keyChannels[0] && ch[1] == keyChannels[1] && ch[2] == keyChannels[2];
                    alpha = key ? 0 : dstAlphaFull;
                } else if (j.useAlphaImage) {
                    uint32_t av = ab ? ReadValue(a + x * ab, ab) : 0;
                    if (ab == 1) av = PaletteValue(j.af, static_cast<int>(av));
                    uint32_t dropped;
                    alpha = Rewiden((av & j.af->redMask) >> j.af->redShift, j.af->redWidth, dstAlphaWidth, &dropped);
                } else if (sf->alphaMask) {
                    uint32_t dropped;
                    alpha = Rewiden((v & sf->alphaMask) >> sf->alphaShift, sf->alphaWidth, dstAlphaWidth, &dropped);
                } else {
                    alpha = dstAlphaFull;
                }
                if (j.alphaFromRed) {
                    uint32_t dropped;
                    alpha = Rewiden(ch[0], rgb[0].srcWidth, dstAlphaWidth, &dropped);
                }
            }

            uint32_t out = df->unusedMask;
            if (dstAlphaWidth) out |= (alpha << df->alphaShift) & df->alphaMask;
            if (!j.alphaOnly) {
                for (int c = 0; c < 3; ++c) {
                    const ChannelPlan& p = rgb[c];
                    uint32_t dropped;
                    uint32_t value = Rewiden(ch[c], p.srcWidth, p.dstWidth, &dropped);
                    int drop = p.srcWidth - p.dstWidth;
                    if (drop > 0 && drop < 32 && j.dither == 1) {
                        uint32_t threshold = (static_cast<uint32_t>(kOrderedDither[(x & 3) + 4 * (y & 3)]) << drop) >> 4;
                        if (dropped > threshold) ++value;
                    } else if (drop > 0 && drop < 32 && j.dither == 2) {
                        remainders[c] += dropped;
                        if (remainders[c] >= (1u << drop)) {
                            remainders[c] -= 1u << drop;
                            ++value;
                        }
                    }
                    uint32_t max = ChannelMax(p.dstWidth);
                    if (value > max) value = max;
                    out |= (value << p.dstShift) & (max << p.dstShift);
                }
            }
            uint8_t* target = d + DestColumn(j, x) * j.db;
            WriteValue(target, j.db, out);
        }
    }
    return 0;
}

}  // namespace

int ConvertPixelFormatRect(void* destination, int destinationPitch,
                           const ColorFormat* destinationFormat, const void* source,
                           int sourcePitch, const ColorFormat* sourceFormat,
                           const void* alphaImage, int alphaPitch,
                           const ColorFormat* alphaFormat, int destinationX, int destinationY,
                           const V_RECT* sourceRect, int mirror, int transparentToAlpha,
                           uint32_t transparentColor, int dither, int alphaOnly,
                           int alphaFromRed, int skipTransparent, int paletteRemap) {
    Job j = {};
    j.width = sourceRect->right - sourceRect->left;
    j.height = sourceRect->bottom - sourceRect->top;
    if (j.width <= 0 || j.height <= 0) return -1;
    // DXT blocks are no pixels: their records are decoded before they reach the converter.
    if (destinationFormat->formatCode != 0 || sourceFormat->formatCode != 0 ||
        (alphaImage != nullptr && alphaFormat != nullptr && alphaFormat->formatCode != 0))
        return -1;
    static const ColorFormat kNoFormat = {};
    j.dst = static_cast<uint8_t*>(destination);
    j.dstPitch = destinationPitch;
    j.df = destinationFormat;
    j.src = static_cast<const uint8_t*>(source);
    j.srcPitch = sourcePitch;
    j.sf = sourceFormat;
    j.alpha = static_cast<const uint8_t*>(alphaImage);
    j.alphaPitch = alphaPitch;
    j.af = alphaFormat ? alphaFormat : &kNoFormat;
    j.dstX = destinationX;
    j.dstY = destinationY;
    j.left = sourceRect->left;
    j.top = sourceRect->top;
    j.db = j.df->bytesPerPixel;
    j.sb = j.sf->bytesPerPixel;
    if (j.db < 1 || j.db > 4 || j.sb < 1 || j.sb > 4) return -1;
    j.transparent = transparentColor;
    j.dither = dither;
    j.mirror = mirror != 0;
    j.alphaOnly = alphaOnly != 0;
    j.alphaFromRed = alphaFromRed != 0;

    bool dstAlpha = j.df->alphaMask != 0;
    bool srcAlpha = j.sf->alphaMask != 0;
    bool haveAlphaImage = alphaImage != nullptr;
    j.alphaFromData = dstAlpha && (srcAlpha || haveAlphaImage);
    j.useAlphaImage = dstAlpha && haveAlphaImage && !srcAlpha;
    j.transparentToAlpha = transparentToAlpha && !j.alphaFromData && dstAlpha && !j.alphaFromRed;
    j.skip = skipTransparent && !j.mirror;

    if (paletteRemap && j.sb == 1 && j.db == 1 &&
        std::memcmp(j.sf->palette, j.df->palette, sizeof(j.sf->palette)) != 0)
        return RemapPalette(j);
    // An 8-bit destination holds palette indices, except under the alpha-from-red option, where
    // it is a single channel that takes the source's red value (general path).
    if (j.df->bitDepth == 8 && !j.alphaFromRed) {
        if (j.sf->bitDepth == 16 || j.sf->bitDepth == 24 || j.sf->bitDepth == 32) return ConvertTo8(j);
        if (j.sf->bitDepth == 8 && !j.alphaOnly && !j.skip) return ConvertTo8(j);
    }
    bool sameDepth = j.df->bitDepth == j.sf->bitDepth;
    bool sameRgb = j.df->redMask == j.sf->redMask && j.df->greenMask == j.sf->greenMask &&
                   j.df->blueMask == j.sf->blueMask;
    if (!j.transparentToAlpha && !j.useAlphaImage && !j.alphaOnly && !j.alphaFromRed && sameDepth &&
        sameRgb && j.df->alphaMask == j.sf->alphaMask)
        return PlainCopy(j);
    if (dstAlpha && j.transparentToAlpha && !j.skip && !j.alphaOnly && !j.alphaFromRed && sameDepth &&
        sameRgb)
        return KeyToAlphaSameLayout(j);
    if (!j.skip && j.dither == 0 && !j.alphaOnly && !j.alphaFromRed && !j.mirror && !j.useAlphaImage &&
        FastConvert(j))
        return 0;
    if (NarrowConvert(j)) return 0;
    return GeneralConvert(j);
}
