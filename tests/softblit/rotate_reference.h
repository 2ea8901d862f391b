// A plain model of the rotated draw, written from its rules and kept apart from the kernel: which
// source texel each destination pixel takes (the 14.18 geometry and walk), and what the texel does
// to the pixel under each blend mode, for 16-bit and 32-bit, direct, alpha and palette sources.
#pragma once

#include <algorithm>
#include <map>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "blit_test_support.h"
#include "graphics/graphics_services.h"
#include "draw/soft_alpha_target.h"

// A draw into an image with alpha as the kernels make one: the model's draw on the colour and on
// the alpha stand-ins. The colour pass's count of pixels that reached a texel.
template <class F>
int ThroughAlphaTarget(MEMIMG* dest, const MEMIMG* src, int trans, F draw) {
    int reached = -1;
    softblit::DrawIntoAlphaTarget(dest, src, trans, 0, [&](MEMIMG* to, const MEMIMG* from, uint32_t) {
        const int n = draw(to, from);
        if (reached < 0) reached = n;
    });
    return std::max(reached, 0);
}

// The texel each destination pixel takes by the exact rules of the rotated draw: the 14.18
// sine and cosine of the library's float values, the corners and the box with its margins, the
// start values on the box's left edge in float, the row steps in 64-bit, and the walk in 32-bit
// arithmetic that wraps. Empty when the call draws nothing (a truncation out of range, an empty
// box, no rows). Turned, the same pixels take the mirrored column w - 1 - u.
struct ReferencePixel {
    int x, y;      // destination
    int u, v;      // source
};

inline bool Truncated(float value, int64_t* out) {
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    *out = TruncateFloatToInt(value);
    return true;
}

// The 14.18 sines and cosines of -angle (minus) and angle (plus), and the four corners of the
// scaled source about (x, y): top-left, bottom-left, bottom-right, top-right. False when a sine
// or cosine leaves the 32-bit range.
struct RotationFrame {
    int64_t sMinus, cMinus, sPlus, cPlus;
    int64_t cornerX[4], cornerY[4];
};

inline bool ReferenceFrame(int w, int h, int x, int y, float angle, float scale, RotationFrame* f) {
    if (!std::isfinite(angle) || !std::isfinite(scale)) return false;
    float sn, cn, sp, cp;
    ComputeSinCos(-angle, &sn, &cn);
    ComputeSinCos(angle, &sp, &cp);
    if (!Truncated(sn * 262144.0f, &f->sMinus) || !Truncated(cn * 262144.0f, &f->cMinus) ||
        !Truncated(sp * 262144.0f, &f->sPlus) || !Truncated(cp * 262144.0f, &f->cPlus))
        return false;
    float hw = static_cast<float>(w) * scale * 0.5f, hh = static_cast<float>(h) * scale * 0.5f;
    float a = hw * static_cast<float>(f->cPlus), b = hw * static_cast<float>(f->sPlus);
    float c = hh * static_cast<float>(f->cPlus), d = hh * static_cast<float>(f->sPlus);
    const float offsets[4][2] = {{d - a, -c - b}, {-a - d, c - b}, {a - d, c + b}, {a + d, b - c}};
    for (int i = 0; i < 4; ++i) {
        int64_t ox, oy;
        // The corners in 64 bits, held at 2^62: a large scale's box is clipped, not refused.
        auto wide = [](float value, int64_t* out) {
            constexpr float kLimit = 4611686018427387904.0f;
            *out = std::fabs(value) < kLimit ? static_cast<int64_t>(value)
                                             : value < 0 ? -static_cast<int64_t>(kLimit) : static_cast<int64_t>(kLimit);
        };
        wide(offsets[i][0], &ox);
        wide(offsets[i][1], &oy);
        f->cornerX[i] = int64_t{x} * 262144 + ox;
        f->cornerY[i] = int64_t{y} * 262144 + oy;
    }
    return true;
}

inline std::vector<ReferencePixel> ReferenceRotation(int destWidth, int destHeight, int w, int h, int x,
                                                     int y, float angle, float scale, bool turn = false) {
    std::vector<ReferencePixel> drawn;
    RotationFrame f;
    if (scale == 0.0f || !ReferenceFrame(w, h, x, y, angle, scale, &f)) return drawn;
    const int64_t sMinus = f.sMinus, cMinus = f.cMinus, cPlus = f.cPlus;
    int64_t cu, cv;
    if (!Truncated(static_cast<float>(cPlus) / scale, &cu) ||
        !Truncated(static_cast<float>(sMinus) / scale, &cv))
        return drawn;
    int64_t minX = f.cornerX[0], maxX = f.cornerX[0], minY = f.cornerY[0], maxY = f.cornerY[0];
    for (int i = 1; i < 4; ++i) {
        minX = std::min(minX, f.cornerX[i]);
        maxX = std::max(maxX, f.cornerX[i]);
        minY = std::min(minY, f.cornerY[i]);
        maxY = std::max(maxY, f.cornerY[i]);
    }
    if (minY == maxY) return drawn;
    const V_RECT& area = g_DrawSettings.drawArea;
    int64_t left = std::clamp<int64_t>(minX / 262144 - 2, std::max(area.left, 0), std::min(area.right, destWidth));
    int64_t right = std::clamp<int64_t>(maxX / 262144 + 4, std::max(area.left, 0), std::min(area.right, destWidth));
    int64_t top = std::clamp<int64_t>(minY / 262144 - 2, std::max(area.top, 0), std::min(area.bottom, destHeight));
    int64_t bottom = std::clamp<int64_t>(maxY / 262144 + 4, std::max(area.top, 0), std::min(area.bottom, destHeight));
    if (left >= right || top >= bottom) return drawn;
    int64_t ex = left - x, et = top - y, eb = bottom - y;
    int64_t uTop, vTop, uBottom, vBottom;
    if (!Truncated(static_cast<float>(ex * cMinus - et * sMinus) / scale, &uTop) ||
        !Truncated(static_cast<float>(et * cMinus + ex * sMinus) / scale, &vTop) ||
        !Truncated(static_cast<float>(ex * cMinus - eb * sMinus) / scale, &uBottom) ||
        !Truncated(static_cast<float>(eb * cMinus + ex * sMinus) / scale, &vBottom))
        return drawn;
    const int64_t rows = bottom - top;
    const int64_t ru = (uBottom - uTop) / rows, rv = (vBottom - vTop) / rows;
    const uint32_t uLimit = uint32_t(w) << 18, vLimit = uint32_t(h) << 18;
    for (int64_t k = 0; k < rows; ++k) {
        uint32_t u = uint32_t(uTop + (w >> 1) * 262144) + uint32_t(k) * uint32_t(ru);
        uint32_t v = uint32_t(vTop + (h >> 1) * 262144) + uint32_t(k) * uint32_t(rv);
        for (int64_t i = left; i < right; ++i, u += uint32_t(cu), v += uint32_t(cv))
            if (u < uLimit && v < vLimit)
                drawn.push_back({int(i), int(top + k), turn ? w - 1 - int(u >> 18) : int(u >> 18), int(v >> 18)});
    }
    return drawn;
}

namespace rotated {

// The facts of one call that pick the per-pixel operation.
struct Call {
    bool wide;       // 32-bit images
    bool palette;    // the source's pixels are indices
    bool alpha;      // the source carries an alpha byte per pixel
    bool keyed;      // transparent flag
    bool blend;      // a blend image weighs each pixel
    bool white;      // bright colour 0xFFFFFF
    int mode;
    int p;
    int k[3];        // bright bytes: blue, green, red
    uint32_t key;    // the source's transparent colour
};

// floor(x * k / 255), the bright table.
inline int64_t Bright(int64_t x, int k) { return x * k / 255; }
// (d << n + (x - d) * w) >> n; the sum is never negative.
inline int64_t Step(int64_t d, int64_t x, int64_t w, int n) { return ((d << n) + (x - d) * w) >> n; }

inline uint32_t Add32(uint32_t d, uint32_t e) {
    uint32_t x = (d & 0x00FEFEFF) + (e & 0x00FEFEFF), q = x & 0x01010100;
    return x | (q - (q >> 8)) | ((d | e) & 0x00010100);
}
inline uint32_t Subtract32(uint32_t d, uint32_t e) {
    uint32_t x = (d | 0x01010100) - (e & 0xFEFEFEFF), q = x & 0x01010100;
    return (q - (q >> 8)) & x;
}
inline uint32_t Add16(uint32_t d, uint32_t c) {
    uint32_t x = (d & 0xF7DEF7DF) + (c & 0xF7DEF7DF), q = x & 0x08210820;
    return (x | (q - (q >> 5)) | ((d | c) & 0x0820)) & 0xFFFF;
}
inline uint32_t Subtract16(uint32_t d, uint32_t c) {
    uint32_t x = (d | 0x08210820) - (c & 0xF7DEF7DF), q = x & 0x08210820;
    return (q - (q >> 5)) & x & 0xFFFF;
}

// False when the call draws nothing at all (refused mode, or p = 0 where that ends the call).
// Mode 1 at p = 255 becomes mode 0.
inline bool Draws(Call& c) {
    if (c.mode < 0 || c.mode > 11 || (c.mode >= 5 && c.mode <= 9)) return false;
    if (c.mode == 1 && c.p == 255) c.mode = 0;
    if ((c.mode == 1 || c.mode == 2) && c.p == 0) return false;
    if (c.mode == 3 && c.p == 0 && !c.palette) return false;
    return true;
}

// One texel onto one 32-bit pixel: raw is the stored source pixel (the index for a palette source),
// s its colour, a its alpha, b the blend weight. False when the pixel is skipped.
inline bool Pixel32(const Call& c, uint32_t& d, uint32_t raw, uint32_t s, int a, int b) {
    if (c.keyed && !c.alpha && raw == c.key) return false;
    if (c.keyed && c.alpha && a == 0 && c.mode <= 3) return false;
    const bool hasA = c.alpha && !(c.keyed && a == 255);
    int64_t w = 1;
    int m = 0;
    if (c.blend) w *= b, ++m;
    if (hasA) w *= a, ++m;
    const bool usesP = c.mode == 1 || c.mode == 2 || c.mode == 3 || c.mode == 10 || c.mode == 11;
    if (usesP) w *= c.p, ++m;
    if (c.mode == 0 && m == 0 && c.white) {
        d = s;
        return true;
    }
    int64_t out[3];
    for (int i = 0; i < 3; ++i) {
        int64_t sc = (s >> (8 * i)) & 0xFF, dc = (d >> (8 * i)) & 0xFF;
        if (c.mode == 10) sc = 255 - sc;
        int64_t sb = c.white ? sc : Bright(sc, c.k[i]);
        switch (c.mode) {
        case 0: out[i] = m == 0 ? sb : Step(dc, sb, w, 8 * m); break;
        case 1:
        case 10: out[i] = Step(dc, sb, w, 8 * m); break;
        case 11: out[i] = Step(dc, (sb * dc) >> 8, w, 8 * m); break;
        case 4: out[i] = (dc * sb * w) >> (8 * (m + 1)); break;
        default: out[i] = m == 1 ? Bright(sb, c.p) : (sb * w) >> (8 * m); break; // 2, 3: contribution
        }
    }
    uint32_t packed = uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16;
    if (c.mode == 2) d = Add32(d, packed);
    else if (c.mode == 3) d = Subtract32(d, packed);
    else d = (d & 0xFF000000u) | packed;
    return true;
}

// One texel onto one 16-bit R5G6B5 pixel, with the same arguments.
inline bool Pixel16(const Call& c, uint32_t& d, uint32_t raw, uint32_t s, int a, int b) {
    if (c.keyed && !c.alpha && raw == c.key) return false;
    if (c.keyed && c.alpha && a == 0 && c.mode != 4) return false;
    const bool hasA = c.alpha && !(c.keyed && a == 255);
    const int shift[3] = {0, 5, 11}, width[3] = {5, 6, 5};
    int64_t out[3];
    for (int i = 0; i < 3; ++i) {
        const int64_t top = (1 << width[i]) - 1;
        const int64_t sf = (s >> shift[i]) & top, df = (d >> shift[i]) & top;
        const int64_t sb = c.white ? sf : Bright(sf, c.k[i]);
        const int n = width[i];
        switch (c.mode) {
        case 0:
            if (c.blend) out[i] = hasA ? Step(df, sb, int64_t{b} * a, 16) : Step(df, sb, b, 8);
            else out[i] = hasA ? Step(df, sb, a, 8) : sb;
            break;
        case 1:
        case 10:
        case 11: {
            int64_t x = c.mode == 1    ? sb
                        : c.mode == 10 ? (c.white ? top - sf : Bright(top - sf, c.k[i]))
                                       : (sb * df) >> n;
            if (c.mode == 11 && i == 1 && hasA && !c.blend && c.white) {
                int64_t g = 32 * df, product = (sf * df) >> 1;
                out[i] = ((g << 16) + (product - g) * a * c.p) >> 21;
            } else if (c.blend) {
                out[i] = hasA ? Step(df, x, int64_t{b} * a * c.p, 24) : Step(df, x, int64_t{b} * c.p, 16);
            } else {
                out[i] = hasA ? Step(df, x, int64_t{a} * c.p, 16) : df + (x - df) * c.p / 255;
            }
            break;
        }
        case 4:
            if (c.blend) out[i] = hasA ? (df * sb * b * a) >> (n + 16) : (df * sb * b) >> (n + 8);
            else out[i] = hasA ? (df * sb * a) >> (n + 8) : (df * sb) >> n;
            break;
        default: { // 2, 3: the colour to add or subtract
            int64_t y;
            if (c.blend) y = hasA ? (sb * b * a) >> 16 : (sb * b) >> 8;
            else y = hasA ? (c.white ? (sf * a) >> 8 : Bright((sf * a) >> 8, c.k[i])) : sb;
            out[i] = Bright(y, c.p);
            break;
        }
        }
    }
    uint32_t packed = uint32_t(out[0]) | uint32_t(out[1]) << 5 | uint32_t(out[2]) << 11;
    if (c.mode == 2) d = Add16(d, packed);
    else if (c.mode == 3) d = Subtract16(d, packed);
    else d = packed;
    return true;
}

// Reads the stored pixel of an image (view) at (x, y): 1, 2 or 4 bytes.
inline uint32_t Stored(const MEMIMG* image, int x, int y) {
    int bytes = GetMemImgBytesPerPixel(image->base);
    uint32_t value = 0;
    std::memcpy(&value, image->pixels + static_cast<size_t>(image->base->pitch) * y + static_cast<size_t>(bytes) * x,
                bytes);
    return value;
}
inline void Store(MEMIMG* image, int x, int y, uint32_t value) {
    int bytes = GetMemImgBytesPerPixel(image->base);
    std::memcpy(image->pixels + static_cast<size_t>(image->base->pitch) * y + static_cast<size_t>(bytes) * x, &value,
                bytes);
}

// The facts of a textured draw under the current draw settings; false when it is refused as a
// whole (colour types, destination palette or alpha plane, blend mode and parameter).
inline bool Begin(const MEMIMG* dest, const MEMIMG* src, int trans, const MEMIMG* blend, Call* out) {
    const MemImgBase* sb = src->base;
    const MemImgBase* db = dest->base;
    if (sb->colorType != db->colorType || db->paletteFlag == 1 || db->alphaFlag == 1) return false;
    if (sb->colorType != 0 && sb->colorType != 1) return false;
    Call& c = *out;
    c = {};
    c.wide = sb->colorType == 1;
    c.palette = sb->paletteFlag == 1;
    c.alpha = !c.palette && sb->alphaFlag == 1;
    c.keyed = trans != 0;
    c.blend = blend != nullptr;
    uint32_t bright = g_DrawSettings.brightColor;
    c.white = (bright & 0xFFFFFF) == 0xFFFFFF;
    // Bright bytes per field: blue, green, red.
    for (int i = 0; i < 3; ++i) c.k[i] = (bright >> (8 * i)) & 0xFF;
    c.mode = g_DrawSettings.blendMode;
    c.p = g_DrawSettings.blendParameter;
    c.key = sb->transparentColor;
    return Draws(c);
}

// Source texel (u, v) onto destination pixel (x, y).
inline void Texel(const Call& c, MEMIMG* dest, const MEMIMG* src, const MEMIMG* blend, int x, int y, int u, int v) {
    uint32_t raw = Stored(src, u, v), s = raw;
    int a = 255;
    if (c.palette) {
        s = 0;
        std::memcpy(&s, src->base->palette + (c.wide ? 4 : 2) * raw, c.wide ? 4 : 2);
    } else if (c.alpha) {
        a = c.wide ? raw >> 24 : (raw >> 16) & 0xFF;
        if (!c.wide) s = raw & 0xFFFF, raw = s;
    }
    int b = c.blend ? static_cast<int>(GetBlendImageMapEntry(Stored(blend, u, v))) : 0;
    uint32_t d = Stored(dest, x, y);
    if (c.wide ? Pixel32(c, d, raw, s, a, b) : Pixel16(c, d, raw, s, a, b)) Store(dest, x, y, d);
}

// The whole rotated draw by the model, under the current draw settings. Returns the number of
// destination pixels that reached a texel (drawn or skipped by the texel's rules).
inline int Draw(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, int trans,
                const MEMIMG* blend, bool turn = false) {
    if (softblit::IsAlphaTarget(dest))
        return ThroughAlphaTarget(dest, src, trans, [&](MEMIMG* to, const MEMIMG* from) {
            return Draw(to, from, x, y, angle, scale, trans, blend, turn);
        });
    Call c;
    if (!Begin(dest, src, trans, blend, &c)) return 0;
    const std::vector<ReferencePixel> reached =
        ReferenceRotation(dest->width, dest->height, src->width, src->height, x, y, angle, scale, turn);
    for (const ReferencePixel& at : reached) Texel(c, dest, src, blend, at.x, at.y, at.u, at.v);
    return static_cast<int>(reached.size());
}

// The integer part of a 14.18 value, rounded toward zero.
inline int64_t Whole(int64_t fixed) { return fixed / 262144; }

// The spans a triangle has drawn, row by row (first and last column), for the second triangle of
// a quadrilateral, which leaves them out when the two meet along their shared edge.
struct WalkedRows {
    bool record = true;
    std::map<int64_t, std::pair<int64_t, int64_t>> rows;
};

// Corners 0 and 3 strictly on either side of the line through corners 1 and 2.
inline bool EitherSide(const TriangleVertex* v) {
    auto side = [&](const TriangleVertex& p) {
        const int64_t c = (int64_t{v[2].x} - v[1].x) * (int64_t{p.y} - v[1].y) -
                          (int64_t{v[2].y} - v[1].y) * (int64_t{p.x} - v[1].x);
        return (c > 0) - (c < 0);
    };
    return side(v[0]) * side(v[3]) < 0;
}

// One textured triangle by the model: corners at pixel centres, the source plane from the corner
// with the smallest x, the edge walk of one or two segments per side, spans with both ends drawn
// and clipped to the draw area (within the destination). Returns the pixels that reached a texel.
inline int Triangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex* vertices, int trans,
                    const MEMIMG* blend, WalkedRows* walked = nullptr) {
    if (walked == nullptr && softblit::IsAlphaTarget(dest))
        return ThroughAlphaTarget(dest, src, trans, [&](MEMIMG* to, const MEMIMG* from) {
            return Triangle(to, from, vertices, trans, blend);
        });
    Call c;
    const MemImgBase* sb = src->base;
    const MemImgBase* db = dest->base;
    if (sb->colorType != db->colorType || db->paletteFlag == 1 || db->alphaFlag == 1) return 0;
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = int64_t{vertices[i].x} * 262144 + 131072;
        Y[i] = int64_t{vertices[i].y} * 262144 + 131072;
    }
    auto sorted = [&](const int32_t TriangleVertex::*key) {
        int order[3] = {0, 1, 2};
        for (int i = 0; i < 2; ++i)
            for (int j = i + 1; j < 3; ++j)
                if (vertices[order[i]].*key > vertices[order[j]].*key) std::swap(order[i], order[j]);
        return std::vector<int>(order, order + 3);
    };
    const std::vector<int> byX = sorted(&TriangleVertex::x), byY = sorted(&TriangleVertex::y);
    const TriangleVertex& r = vertices[byX[0]];
    const TriangleVertex& o1 = vertices[byX[1]];
    const TriangleVertex& o2 = vertices[byX[2]];
    const int32_t dx1 = o1.x - r.x, dy1 = o1.y - r.y, du1 = o1.u - r.u, dv1 = o1.v - r.v;
    const int32_t dx2 = o2.x - r.x, dy2 = o2.y - r.y, du2 = o2.u - r.u, dv2 = o2.v - r.v;
    const int32_t D = dy1 * dx2 - dy2 * dx1;
    if (D == 0) return 0;
    auto gradient = [&](int32_t numerator) {
        return static_cast<int64_t>(TruncateDoubleToInt(static_cast<double>(numerator) * 262144.0 / D));
    };
    const int64_t ux = gradient(dy1 * du2 - dy2 * du1), uy = gradient(du1 * dx2 - dx1 * du2);
    const int64_t vx = gradient(dy1 * dv2 - dy2 * dv1), vy = gradient(dv1 * dx2 - dx1 * dv2);
    const int64_t xRef = Whole(X[byX[0]]), yRef = Whole(Y[byX[0]]);
    // A map running backwards puts a position on a texel border into the texel before it.
    const int64_t uRef = int64_t{r.u} * 262144 - (static_cast<int32_t>(ux + uy) < 0),
                  vRef = int64_t{r.v} * 262144 - (static_cast<int32_t>(vx + vy) < 0);
    if (!Begin(dest, src, trans, blend, &c)) return 0;

    struct Segment {
        int64_t x, step, rows, row;
    };
    auto segment = [&](int from, int to, int64_t startX) {
        int64_t rows = int64_t{vertices[to].y} - vertices[from].y;
        return Segment{startX, (X[to] - startX) / rows, rows, Whole(Y[from])};
    };
    const int T = byY[0], M = byY[1], B = byY[2];
    std::vector<Segment> left, right;
    if (vertices[T].y == vertices[M].y) {
        const int tl = vertices[T].x < vertices[M].x ? T : M, tr = tl == T ? M : T;
        left.push_back(segment(tl, B, X[tl]));
        right.push_back(segment(tr, B, X[tr]));
    } else if (vertices[M].y == vertices[B].y) {
        const int bl = vertices[M].x < vertices[B].x ? M : B, br = bl == M ? B : M;
        left.push_back(segment(T, bl, X[T]));
        right.push_back(segment(T, br, X[T]));
    } else {
        const double toMiddle = (double(vertices[M].x) - vertices[T].x) * 262144.0 / (double(vertices[M].y) - vertices[T].y);
        const double toBottom = (double(vertices[B].x) - vertices[T].x) * 262144.0 / (double(vertices[B].y) - vertices[T].y);
        if (toMiddle < toBottom) {
            left.push_back(segment(T, M, X[T]));
            left.push_back(segment(M, B, X[M]));
            right.push_back(segment(T, B, X[T]));
        } else {
            left.push_back(segment(T, B, X[T]));
            right.push_back(segment(T, M, X[T]));
            right.push_back(segment(M, B, X[M] + 1));
        }
    }
    const V_RECT& area = g_DrawSettings.drawArea;
    const int64_t areaLeft = std::max(area.left, 0), areaRight = std::min(area.right, dest->width);
    const int64_t areaTop = std::max(area.top, 0), areaBottom = std::min(area.bottom, dest->height);
    const uint32_t uLimit = uint32_t(src->width) << 18, vLimit = uint32_t(src->height) << 18;
    size_t l = 0, rs = 0;
    int64_t y = left[0].row, lx = left[0].x, rx = right[0].x, lRows = left[0].rows, rRows = right[0].rows;
    int reached = 0;
    for (;;) {
        const int64_t first = Whole(lx), last = Whole(rx);
        const int64_t x0 = std::max(first, areaLeft);
        if (y >= areaTop && y < areaBottom && x0 < areaRight && last - x0 + 1 > 0) {
            uint32_t u = uint32_t(uRef + (x0 - xRef) * ux + (y - yRef) * uy);
            uint32_t v = uint32_t(vRef + (x0 - xRef) * vx + (y - yRef) * vy);
            const int64_t end = std::min(last, areaRight - 1);
            std::pair<int64_t, int64_t> skip{1, 0};
            if (walked != nullptr && walked->record) {
                auto [it, fresh] = walked->rows.try_emplace(y, x0, end);
                if (!fresh) it->second = {std::min(it->second.first, x0), std::max(it->second.second, end)};
            } else if (walked != nullptr && walked->rows.count(y)) {
                skip = walked->rows[y];
            }
            for (int64_t x = x0; x <= end; ++x, u += uint32_t(ux), v += uint32_t(vx))
                if (u < uLimit && v < vLimit && (x < skip.first || x > skip.second)) {
                    Texel(c, dest, src, blend, int(x), int(y), int(u >> 18), int(v >> 18));
                    ++reached;
                }
        }
        lx += left[l].step, rx += right[rs].step, ++y, --lRows, --rRows;
        if (lRows == 0) {
            if (++l == left.size()) break;
            lx = left[l].x, lRows = left[l].rows, y = left[l].row;
        }
        if (rRows == 0) {
            if (++rs == right.size()) break;
            rx = right[rs].x, rRows = right[rs].rows;
        }
    }
    return reached;
}

// The triangles of corners 0, 1, 2 and 1, 2, 3: when they meet along the diagonal 1-2, the second
// leaves out what the first has drawn.
inline int TrianglePair(MEMIMG* dest, const MEMIMG* src, const TriangleVertex* v, int trans, const MEMIMG* blend) {
    if (softblit::IsAlphaTarget(dest))
        return ThroughAlphaTarget(dest, src, trans, [&](MEMIMG* to, const MEMIMG* from) {
            return TrianglePair(to, from, v, trans, blend);
        });
    WalkedRows walked;
    WalkedRows* shared = EitherSide(v) ? &walked : nullptr;
    const int reached = Triangle(dest, src, v, trans, blend, shared);
    walked.record = false;
    return reached + Triangle(dest, src, v + 1, trans, blend, shared);
}

} // namespace rotated
