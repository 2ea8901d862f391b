// Strings on the software path: glyph pixels from a font's memory cache written into a software
// image, straight or through a screen-sized work image that is then blended once.
#include <algorithm>

#include "core/core.h"
#include "draw/draw_coords.h"
#include "draw/draw_settings.h"
#include "draw/font.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "softblit/softblit.h"

namespace {

MEMIMG g_TextWorkImage;       // the screen's colour type
MEMIMG g_TextAlphaWorkImage;  // the screen's colour type with an alpha byte in every pixel

enum PixelKind { kPixel8, kPixel16, kPixel16Alpha, kPixel32 };

PixelKind KindOf(const MEMIMG* image) {
    const MemImgBase* base = image->base;
    if (base->paletteFlag || base->colorType == kMemImgChannel8) return kPixel8;
    if (base->colorType == kMemImgX8R8G8B8) return kPixel32;
    return base->alphaFlag ? kPixel16Alpha : kPixel16;
}

// One glyph pixel as the writer sees it: whether to write, the colour and the alpha (0..255).
struct Texel {
    bool write;
    uint32_t colour;
    uint32_t alpha;
};

// Mixes two pixel values channel by channel: edge + (body - edge) * ratio / 256.
uint32_t MixChannels(uint32_t body, uint32_t edge, uint32_t ratio, bool sixteen) {
    static const uint32_t kMasks16[3] = {0xF800, 0x07E0, 0x001F};
    static const uint32_t kMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const uint32_t* masks = sixteen ? kMasks16 : kMasks32;
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        int b = static_cast<int>(body & masks[i]);
        int e = static_cast<int>(edge & masks[i]);
        int v = e + static_cast<int>((static_cast<int64_t>(b - e) * static_cast<int>(ratio)) / 256);
        out |= static_cast<uint32_t>(v) & masks[i];
    }
    return out;
}

template <int Type>
Texel ReadTexel(const FontRecord* font, int x, int y, const GlyphColors& colors, bool sixteen) {
    const uint8_t* row = font->memoryCache + static_cast<size_t>(y) * font->memoryPitch;
    if constexpr (Type == 0) {
        bool set = (row[x >> 3] >> (7 - (x & 7))) & 1;
        return {set, colors.body, 255};
    } else if constexpr (Type == 1) {
        uint8_t v = row[x];
        if (v == 1) return {true, colors.body, 255};
        if (v == 2) return {true, colors.edge, 255};
        return {false, 0, 0};
    } else if constexpr (Type == 2) {
        // Levels 0 to 15 of the cache spread over 0 to 255, as the device's 4-bit alpha reads.
        uint8_t v = row[x];
        return {v != 0, colors.body, v * 17u};
    } else {
        uint8_t v = row[x];
        uint32_t b = v & 15, k = v >> 4;
        if (b == 15) return {true, colors.body, 255};
        if (b == 0) return {k != 0, colors.edge, k * 17};
        // The body over the edge: coverage b + k (15 - b) / 15 in fifteenths, of which the body's
        // share b takes its colour.
        uint32_t covered = 15 * b + k * (15 - b);
        uint32_t ratio = (b * 3840) / covered;
        return {true, MixChannels(colors.body, colors.edge, ratio, sixteen), covered * 17 / 15};
    }
}

template <int Type, int Kind>
void WriteGlyph(const FontRecord* font, const GlyphPlacement& place, const GlyphColors& colors,
                MEMIMG* target, const V_RECT& rect, int trans) {
    const int pitch = target->base->pitch;
    constexpr int kBytes = Kind == kPixel8 ? 1 : Kind == kPixel16 ? 2 : 4;
    constexpr bool kSixteen = Kind == kPixel16 || Kind == kPixel16Alpha;
    for (int dy = rect.top; dy < rect.bottom; ++dy) {
        uint8_t* out = target->pixels + static_cast<size_t>(dy) * pitch;
        for (int dx = rect.left; dx < rect.right; ++dx) {
            // The glyph column and row that land on (dx, dy).
            int c = place.vertical ? dy - place.y : dx - place.x;
            int r = place.vertical ? place.x - dx : dy - place.y;
            Texel t = ReadTexel<Type>(font, place.cellX + c, place.cellY + r, colors, kSixteen);
            if (!t.write) {
                if (trans) continue;
                t = {true, 0, 0};
            }
            uint8_t* p = out + static_cast<size_t>(dx) * kBytes;
            if constexpr (Kind == kPixel8) {
                *p = static_cast<uint8_t>(t.colour);
            } else if constexpr (Kind == kPixel16) {
                *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(t.colour);
            } else if constexpr (Kind == kPixel16Alpha) {
                *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(t.colour);
                p[2] = static_cast<uint8_t>(t.alpha);
            } else {
                uint32_t alpha = (Type & kFontAntialiased) || target->base->alphaFlag
                                     ? t.alpha << 24
                                     : 0;
                *reinterpret_cast<uint32_t*>(p) = (t.colour & 0x00FFFFFF) | alpha;
            }
        }
    }
}

template <int Kind>
void WriteGlyphOfType(const FontRecord* font, const GlyphPlacement& place,
                      const GlyphColors& colors, MEMIMG* target, const V_RECT& rect, int trans) {
    switch (font->type & 3) {
    case 0: WriteGlyph<0, Kind>(font, place, colors, target, rect, trans); break;
    case 1: WriteGlyph<1, Kind>(font, place, colors, target, rect, trans); break;
    case 2: WriteGlyph<2, Kind>(font, place, colors, target, rect, trans); break;
    default: WriteGlyph<3, Kind>(font, place, colors, target, rect, trans); break;
    }
}

// Keeps a work image screen-sized and of the screen's colour type.
MEMIMG* PrepareWorkImage(MEMIMG* image, int alpha) {
    const MEMIMG& screen = g_ScreenImages.primary;
    if (!IsMemImgValid(&screen)) return nullptr;
    if (IsMemImgValid(image) && image->width == screen.width && image->height == screen.height &&
        image->base->colorType == screen.base->colorType)
        return image;
    ReleaseMemImg(image);
    *image = MEMIMG{};
    if (CreateMemImg(image, screen.width, screen.height, -1, 0, screen.base->colorType, 0, alpha,
                     0, nullptr) != 0)
        return nullptr;
    return image;
}

}  // namespace

MEMIMG* GetTextWorkImage(int alpha) {
    return PrepareWorkImage(alpha ? &g_TextAlphaWorkImage : &g_TextWorkImage, alpha);
}

void ReleaseTextWorkImages() {
    if (IsMemImgValid(&g_TextWorkImage)) ReleaseMemImg(&g_TextWorkImage);
    if (IsMemImgValid(&g_TextAlphaWorkImage)) ReleaseMemImg(&g_TextAlphaWorkImage);
    g_TextWorkImage = MEMIMG{};
    g_TextAlphaWorkImage = MEMIMG{};
}

V_RECT GlyphRect(const GlyphPlacement& place) {
    return place.vertical
               ? V_RECT{place.x - place.height + 1, place.y, place.x + 1, place.y + place.width}
               : V_RECT{place.x, place.y, place.x + place.width, place.y + place.height};
}

void DrawGlyphSoft(const FontRecord* font, const GlyphPlacement& place, const GlyphColors& colors,
                   MEMIMG* target, const V_RECT* clip, int trans) {
    if (font->memoryCache == nullptr || !IsMemImgValid(target)) return;
    V_RECT rect = GlyphRect(place);
    if (clip != nullptr) ClipRect(&rect, clip);
    V_RECT bounds{0, 0, target->width, target->height};
    ClipRect(&rect, &bounds);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    switch (KindOf(target)) {
    case kPixel8: WriteGlyphOfType<kPixel8>(font, place, colors, target, rect, trans); break;
    case kPixel16: WriteGlyphOfType<kPixel16>(font, place, colors, target, rect, trans); break;
    case kPixel16Alpha:
        WriteGlyphOfType<kPixel16Alpha>(font, place, colors, target, rect, trans);
        break;
    default: WriteGlyphOfType<kPixel32>(font, place, colors, target, rect, trans); break;
    }
}

int DrawStringToMemImg(int handle, int x, int y, const char* text, uint32_t colour,
                       uint32_t edgeColour, int vertical) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) return -1;
    DrawSettings& s = g_DrawSettings;
    MEMIMG* target = g_ScreenImages.drawSurface;
    if (target == nullptr || !IsMemImgValid(target)) return 0;
    V_RECT glyphs{};
    MeasureGlyphRun(handle, text, vertical, nullptr, &glyphs);
    bool antialiased = (font->type & kFontAntialiased) != 0;
    if (!antialiased && (s.blendMode == 0 || (s.blendMode == 1 && s.blendParameter == 255))) {
        DrawGlyphRun(1, x, y, 0, 1.0, 1.0, text, colour, target, &s.drawArea, 1, handle,
                     edgeColour, -1, vertical, nullptr);
        return 0;
    }
    MEMIMG* work = GetTextWorkImage(antialiased ? 1 : 0);
    if (work == nullptr) return 0;
    // The draw area's fields are put back as they were (the software path has no device state).
    V_RECT keptArea = s.drawArea;
    V_RECT keptRequest = s.requestedArea;
    float keptAreaF[4];
    std::copy(s.drawAreaF, s.drawAreaF + 4, keptAreaF);
    int keptEmpty = s.drawAreaEmpty;
    uint32_t keptBright = s.brightColor;
    // The work image holds the rectangle the glyphs really cover (italic overhangs and turned
    // vertical glyphs reach past the advances), its corner at the work image's origin.
    if (glyphs.left >= glyphs.right || glyphs.top >= glyphs.bottom) return 0;
    V_RECT area{0, 0, glyphs.right - glyphs.left, glyphs.bottom - glyphs.top};
    V_RECT screen{0, 0, work->width, work->height};
    ClipRect(&area, &screen);
    SetDrawArea(area.left, area.top, area.right, area.bottom);
    if (antialiased) {
        work->base->transparentColor = 0;
        FillMemImgRect(work, &area, 0);
    } else {
        // The key must differ from every pixel the glyphs write: the colours as tinted.
        GlyphColors colors = TintGlyphColors(colour, edgeColour);
        uint32_t key = work->base->transparentColor;
        uint32_t keyMask = work->base->colorType == kMemImgR5G6B5 ? 0xFFFFu : 0x00FFFFFFu;
        while ((key & keyMask) == (colors.body & keyMask) ||
               (key & keyMask) == (colors.edge & keyMask))
            key = (key + 1) & keyMask;
        work->base->transparentColor = key;
        FillMemImgRect(work, &area, key);
    }
    DrawGlyphRun(1, -glyphs.left, -glyphs.top, 0, 1.0, 1.0, text, colour, work, &area, 1, handle,
                 edgeColour, -1, vertical, nullptr);
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    x = SaturatingAdd(x, glyphs.left);
    y = SaturatingAdd(y, glyphs.top);
    SetDrawArea(x, y, SaturatingAdd(x, width), SaturatingAdd(y, height));
    V_RECT placed = s.drawArea;
    ClipRect(&placed, &keptArea);
    SetDrawArea(placed.left, placed.top, placed.right, placed.bottom);
    SetDrawBrightness(255, 255, 255);
    // The glyphs' empty pixels carry alpha 0, which multiplying would weigh by (blackening): a
    // multiplied string is drawn as the product weighed by the alpha instead.
    const int keptMode = s.blendMode, keptParameter = s.blendParameter;
    if (antialiased && keptMode == kMultiplyMode) {
        s.blendMode = kTowardProductMode;
        s.blendParameter = 255;
    }
    MEMIMG view{};
    MakeMemImgView(&view, work, 0, 0, std::max(width, 1), std::max(height, 1));
    // Strings are drawn without the blend graph, as glyphs are on the device.
    if (width > 0 && height > 0 && !s.drawAreaEmpty) BlitMemImg(target, &view, x, y, 1, nullptr);
    ReleaseMemImg(&view);
    s.blendMode = keptMode;
    s.blendParameter = keptParameter;
    s.drawArea = keptArea;
    s.requestedArea = keptRequest;
    std::copy(keptAreaF, keptAreaF + 4, s.drawAreaF);
    s.drawAreaEmpty = keptEmpty;
    SetDrawBrightnessPacked(keptBright);
    return 0;
}
