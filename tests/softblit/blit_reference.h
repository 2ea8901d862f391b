// A plain per-pixel model of the blit kernels, written straight from the rules and kept
// independent of the kernels' templates, to compare whole draws against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "blit_test_support.h"
#include "core/core_services.h"
#include "graphics/graphics_services.h"

namespace reference {

struct Fields {
    int32_t v[3]; // blue, green, red
};

inline uint32_t Load(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    std::memcpy(&value, at, bytes);
    return value;
}

inline int Bits(bool wide, int i) { return wide ? 8 : (i == 1 ? 6 : 5); }
inline int Shift(bool wide, int i) { return wide ? 8 * i : (i == 0 ? 0 : i == 1 ? 5 : 11); }
inline Fields Split(bool wide, uint32_t value) {
    Fields f;
    for (int i = 0; i < 3; ++i) f.v[i] = (value >> Shift(wide, i)) & ((1 << Bits(wide, i)) - 1);
    return f;
}
inline uint32_t Join(bool wide, const Fields& f) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) out |= static_cast<uint32_t>(f.v[i]) << Shift(wide, i);
    return out;
}

// Mix(d, t; product W of n weights).
inline int32_t Mix(int64_t d, int64_t t, int64_t w, int n) {
    return static_cast<int32_t>((d * (int64_t{1} << (8 * n)) + (t - d) * w) >> (8 * n));
}

struct Draw {
    bool wide;
    int kind;        // 0 palette, 1 direct, 2 alpha
    int mode;
    int p;
    int brightChannel[3];
    bool white;
    bool blend;
    bool mmx;
    bool keyed;
    int road;        // 0 general, 1 run table, 2 stretched
    uint32_t key;
};

// One pixel; returns false when the destination stays as it is.
inline bool Pixel(const Draw& w, uint32_t& D, uint32_t S, uint32_t raw, int a, int b) {
    bool wide = w.wide;
    bool hasA = false;
    // Classification.
    if (w.kind != 2) {
        if (w.keyed && raw == w.key) return false;
    } else if (w.keyed) {
        if (a == 0) {
            if (!(w.mode == 4 && w.road == 0)) return false;
            hasA = true;
        } else if (a != 255) {
            hasA = true;
        }
    } else {
        hasA = !(w.mode == 0 && !w.blend && w.white && w.road == 0);
    }
    bool plain = !w.blend && w.white && w.kind != 2;
    Fields d = Split(wide, D), s = Split(wide, S), out = d;
    auto bright = [&](int i, int value) { return w.white ? value : value * w.brightChannel[i] / 255; };
    auto step = [&](int dv, int t) { return dv + (w.p * (t - dv)) / 255; };
    uint32_t topKeep = wide ? (D & 0xFF000000u) : 0;
    switch (w.mode) {
    case 0:
        if (!w.blend && w.white && !hasA) {
            D = wide ? S : (S & 0xFFFF);
            return true;
        }
        for (int i = 0; i < 3; ++i) {
            int t = bright(i, s.v[i]);
            if (w.blend) out.v[i] = hasA ? Mix(d.v[i], t, int64_t{b} * a, 2) : Mix(d.v[i], t, b, 1);
            else out.v[i] = hasA ? Mix(d.v[i], t, a, 1) : t;
        }
        break;
    case 1:
    case 10:
    case 11:
        if (w.mode == 1 && plain && w.road == 0 && w.p == 128) {
            D = wide ? ((S >> 1) & 0x7F7F7F) + ((D >> 1) & 0x7F7F7F)
                     : ((S >> 1) & 0x7BEF) + ((D >> 1) & 0x7BEF);
            return true;
        }
        for (int i = 0; i < 3; ++i) {
            int top = (1 << Bits(wide, i)) - 1;
            int t;
            if (w.mode == 1) t = bright(i, s.v[i]);
            else if (w.mode == 10) t = bright(i, top - s.v[i]);
            else t = (bright(i, s.v[i]) * d.v[i]) >> Bits(wide, i);
            if (w.mode == 1 && !wide && plain && w.road == 0) {
                int q = w.p >> 2;
                out.v[i] = (s.v[i] * q + d.v[i] * (63 - q)) / 63;
            } else if (w.mode == 11 && !wide && !w.blend && w.white && hasA && i == 1) {
                int64_t num = (int64_t{d.v[i]} << 21) +
                              (int64_t{(s.v[i] * d.v[i]) >> 1} - 32 * d.v[i]) * a * w.p;
                out.v[i] = static_cast<int32_t>(num >> 21);
            } else if (w.blend) {
                out.v[i] = hasA ? Mix(d.v[i], t, int64_t{w.p} * b * a, 3) : Mix(d.v[i], t, w.p * b, 2);
            } else if (wide) {
                out.v[i] = hasA ? Mix(d.v[i], t, w.p * a, 2) : Mix(d.v[i], t, w.p, 1);
            } else {
                out.v[i] = hasA ? Mix(d.v[i], t, w.p * a, 2) : step(d.v[i], t);
            }
        }
        break;
    case 4:
        for (int i = 0; i < 3; ++i) {
            int64_t product = int64_t{bright(i, s.v[i])} * d.v[i];
            int shift = Bits(wide, i);
            if (w.blend) product *= b, shift += 8;
            if (hasA) product *= a, shift += 8;
            out.v[i] = static_cast<int32_t>(product >> shift);
        }
        break;
    case 2:
    case 3: {
        bool special = plain && w.p == 255 && w.road != 1;
        if (special && wide && w.mmx && (w.road == 0 || w.mode == 3)) {
            uint32_t r = 0;
            for (int k = 0; k < 32; k += 8) {
                int dv = (D >> k) & 0xFF, sv = (S >> k) & 0xFF;
                r |= static_cast<uint32_t>(std::clamp(w.mode == 2 ? dv + sv : dv - sv, 0, 255)) << k;
            }
            D = r;
            return true;
        }
        if (special && wide && w.mode == 2 && w.road == 0) {
            uint32_t x = (S & 0x00FEFEFF) + (D & 0x00FEFEFF), k = x & 0x01010100;
            D = x | (k - (k >> 8));
            return true;
        }
        Fields c;
        for (int i = 0; i < 3; ++i) {
            int sv = s.v[i];
            if (wide) {
                int t = bright(i, sv);
                if (w.blend) c.v[i] = static_cast<int32_t>(hasA ? (int64_t{t} * b * a * w.p) >> 24 : (t * b * w.p) >> 16);
                else c.v[i] = hasA ? (t * a * w.p) >> 16 : t * w.p / 255;
            } else {
                int u;
                if (!w.blend && hasA) u = bright(i, (sv * a) >> 8);
                else if (w.blend) u = hasA ? (bright(i, sv) * a * b) >> 16 : (bright(i, sv) * b) >> 8;
                else u = bright(i, sv);
                c.v[i] = u * w.p / 255;
            }
        }
        uint32_t V = Join(wide, c);
        if (wide) {
            if (w.mode == 2) {
                uint32_t x = (D & 0x00FEFEFF) + (V & 0x00FEFEFF), k = x & 0x01010100;
                D = x | (k - (k >> 8)) | ((D | V) & 0x00010100);
            } else {
                uint32_t x = (D | 0x01010100) - (V & 0x00FEFEFF), k = x & 0x01010100;
                D = x & (k - (k >> 8));
            }
        } else {
            if (w.mode == 2) {
                uint32_t x = (D & 0xF7DF) + (V & 0xF7DF), k = x & 0x08210820;
                D = (x | (k - (k >> 5)) | ((D | V) & 0x0820)) & 0xFFFF;
            } else {
                uint32_t x = (D | 0x08210820) - (V & 0xF7DF), k = x & 0x08210820;
                D = (x & (k - (k >> 5))) & 0xFFFF;
            }
        }
        return true;
    }
    default:
        return false;
    }
    D = Join(wide, out) | topKeep;
    return true;
}

} // namespace reference

namespace reference {

// The whole draw by the model: refusals, clip, road choice, sampling, pairs.
inline void Blit(TestImage& destination, TestImage& source, const MEMIMG* blend, int trans,
                 bool stretched, int x, int y, V_RECT rect) {
    const DrawSettings& settings = g_DrawSettings;
    MemImgBase* base = source->base;
    Draw w = {};
    w.wide = base->colorType == 1;
    w.kind = base->paletteFlag ? 0 : base->alphaFlag ? 2 : 1;
    w.mode = settings.blendMode;
    w.p = settings.blendParameter;
    uint32_t bright = settings.brightColor;
    for (int i = 0; i < 3; ++i) w.brightChannel[i] = (bright >> (8 * i)) & 0xFF;
    w.white = (bright & 0xFFFFFF) == 0xFFFFFF;
    w.blend = blend != nullptr;
    w.mmx = GetMmxFlag() != 0;
    w.keyed = trans != 0;
    w.key = w.kind == 0 ? base->transparentColor  // an index: a key beyond 255 matches none
            : w.wide    ? base->transparentColor
                        : (base->transparentColor & 0xFFFF);
    if (w.mode < 0 || w.mode > 11 || (w.mode >= 5 && w.mode <= 9)) return;
    if (w.mode == 1 && w.p == 255) w.mode = 0;
    if ((w.mode == 1 || w.mode == 2) && w.p == 0) return;
    if (w.mode == 3 && w.p == 0 && w.kind != 0) return;
    int sw = source->width, sh = source->height;
    bool mirrorX = false, mirrorY = false;
    int64_t left, top, right, bottom;
    if (stretched) {
        mirrorX = rect.left > rect.right;
        mirrorY = rect.top > rect.bottom;
        left = std::min(rect.left, rect.right);
        right = std::max(rect.left, rect.right);
        top = std::min(rect.top, rect.bottom);
        bottom = std::max(rect.top, rect.bottom);
        if (left == right || top == bottom) return;
        if (right - left == sw && bottom - top == sh && !mirrorX && !mirrorY) {
            Blit(destination, source, blend, trans, false, static_cast<int>(left), static_cast<int>(top), {});
            return;
        }
    } else {
        left = x, top = y, right = int64_t{x} + sw, bottom = int64_t{y} + sh;
    }
    int64_t cl = std::max<int64_t>(settings.drawArea.left, 0), ct = std::max<int64_t>(settings.drawArea.top, 0);
    int64_t cr = std::min<int64_t>(settings.drawArea.right, destination->width);
    int64_t cb = std::min<int64_t>(settings.drawArea.bottom, destination->height);
    if (cr <= cl || cb <= ct) return;
    int64_t l = std::clamp(left, cl, cr), r = std::clamp(right, cl, cr);
    int64_t t = std::clamp(top, ct, cb), b = std::clamp(bottom, ct, cb);
    if (r <= l || b <= t) return;
    bool plain = !w.blend && w.white && w.kind != 2;
    w.road = stretched ? 2
             : (trans == 1 && base->runCodeValid && r - l == sw && b - t == sh && sw == base->width &&
                sh == base->height)
                 ? 1
                 : 0;
    auto fetch = [&](int sx, int sy, uint32_t& S, uint32_t& raw, int& a, int& weight) {
        raw = source.get(sx, sy);
        a = 255;
        if (w.kind == 0) S = w.wide ? reference::Load(base->palette + 4 * raw, 4) : reference::Load(base->palette + 2 * raw, 2);
        else S = raw;
        if (w.kind == 2) a = w.wide ? raw >> 24 : (raw >> 16) & 0xFF;
        if (w.kind == 2 && !w.wide) S = raw & 0xFFFF;
        weight = blend ? GetBlendImageMapEntry(blend->pixels[blend->base->pitch * sy + sx]) : 0;
    };
    if (!stretched) {
        bool pairs = !w.wide && plain && w.road == 0 && (w.mode == 2 || w.mode == 3) && w.p == 255;
        for (int64_t dy = t; dy < b; ++dy) {
            for (int64_t dx = l; dx < r; ++dx) {
                int sx = static_cast<int>(dx - left), sy = static_cast<int>(dy - top);
                uint32_t S, raw;
                int a, weight;
                fetch(sx, sy, S, raw, a, weight);
                uint32_t D = destination.get(static_cast<int>(dx), static_cast<int>(dy));
                if (pairs) {
                    bool first = (dx - l) % 2 == 0;
                    bool hasPartner = first ? dx + 1 < r : true;
                    uint32_t S2, raw2;
                    int a2, weight2;
                    int px = first ? sx + 1 : sx - 1;
                    bool partnerKey = true;
                    if (hasPartner) {
                        fetch(px, sy, S2, raw2, a2, weight2);
                        partnerKey = w.keyed && raw2 == w.key;
                    }
                    if (w.keyed && raw == w.key) continue;
                    if (hasPartner && !partnerKey) {
                        if (!first) continue; // drawn with its left partner
                        uint32_t D2 = D | destination.get(static_cast<int>(dx + 1), static_cast<int>(dy)) << 16;
                        uint32_t SS = S | S2 << 16, out;
                        if (w.mode == 2) {
                            uint64_t sum = uint64_t{SS & 0xF7DEF7DF} + (D2 & 0xF7DEF7DF);
                            uint32_t F = static_cast<uint32_t>(sum >> 32), X = static_cast<uint32_t>(sum);
                            uint32_t K = X & 0x08210820;
                            out = X | (K - ((K >> 5) | (F << 27)));
                        } else {
                            uint32_t A = D2 | 0x08210820, B = SS & 0xF7DEF7DF;
                            uint32_t X = A - B, K = X & 0x08210820;
                            out = X & ((K - (K >> 5)) | (A < B ? 0 : 0xF8000000));
                        }
                        destination.set(static_cast<int>(dx), static_cast<int>(dy), out & 0xFFFF);
                        destination.set(static_cast<int>(dx + 1), static_cast<int>(dy), out >> 16);
                        continue;
                    }
                    // Alone: the single forms without the low-bit term.
                    uint32_t out;
                    if (w.mode == 2) {
                        uint32_t X = (S & 0xF7DF) + (D & 0xF7DF), K = X & 0x08210820;
                        out = X | (K - (K >> 5));
                    } else {
                        uint32_t X = (D | 0x08210820) - (S & 0xF7DF), K = X & 0x08210820;
                        out = X & (K - (K >> 5));
                    }
                    destination.set(static_cast<int>(dx), static_cast<int>(dy), out & 0xFFFF);
                    continue;
                }
                if (Pixel(w, D, S, raw, a, weight)) destination.set(static_cast<int>(dx), static_cast<int>(dy), D);
            }
        }
        return;
    }
    // Stretched: the source index of each destination column and row by the counters.
    int64_t width = right - left, height = bottom - top;
    int64_t qx = width * 65536 / sw, qy = height * 65536 / sh;
    if (qx == 0 || qy == 0) return;
    bool strict = plain && (w.mode == 0 || (w.mode == 3 && w.p == 255));
    auto sample = [&](int64_t count, int64_t q, int64_t offset, int size, bool mirror) {
        std::vector<int> index;
        int64_t fx = std::min<int64_t>(offset * 65536 / q, size - 1);
        int64_t c = q - offset * 65536 % q;
        int64_t pos = fx;
        for (int64_t i = 0; i < count; ++i) {
            index.push_back(static_cast<int>(mirror ? size - 1 - pos : pos));
            c -= 65536;
            if (c <= 0) {
                do {
                    ++pos;
                    c += q;
                } while (strict ? c < 0 : c <= 0);
                pos = std::min<int64_t>(pos, size - 1);
            }
        }
        return index;
    };
    auto columns = sample(r - l, qx, l - left, sw, mirrorX);
    auto rows = sample(b - t, qy, t - top, sh, mirrorY);
    for (int64_t dy = t; dy < b; ++dy) {
        for (int64_t dx = l; dx < r; ++dx) {
            int sx = columns[static_cast<size_t>(dx - l)], sy = rows[static_cast<size_t>(dy - t)];
            uint32_t S, raw;
            int a, weight;
            fetch(sx, sy, S, raw, a, weight);
            uint32_t D = destination.get(static_cast<int>(dx), static_cast<int>(dy));
            if (Pixel(w, D, S, raw, a, weight)) destination.set(static_cast<int>(dx), static_cast<int>(dy), D);
        }
    }
}

} // namespace reference
