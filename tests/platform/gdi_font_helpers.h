// A memory DC holding a font, and glyph fetching helpers for the font tests.
#pragma once

#include <cstring>
#include <vector>

#include "platform/gdi/gdi_dib.h"
#include "platform/gdi/gdi_font.h"

// The character code of a one- or two-byte code-page-932 character (narrow literals are
// compiled to code page 932).
inline V_UINT Code(const char* text) {
    auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80 || text[1] == '\0') return lead;
    return (static_cast<V_UINT>(lead) << 8) | static_cast<unsigned char>(text[1]);
}

class FontDc {
public:
    explicit FontDc(int height, int weight = V_FW_NORMAL, const char* face = nullptr,
                    V_DWORD charSet = V_SHIFTJIS_CHARSET) {
        font_ = V_CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, charSet, 0, 0,
                              V_NONANTIALIASED_QUALITY, V_FIXED_PITCH, face);
        dc_ = V_CreateCompatibleDC(nullptr);
        if (font_) old_ = V_SelectObject(dc_, reinterpret_cast<V_HGDIOBJ>(font_));
    }
    ~FontDc() {
        if (old_) V_SelectObject(dc_, old_);
        V_DeleteDC(dc_);
        if (font_) V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(font_));
    }
    V_HFONT font() const { return font_; }
    V_HDC dc() const { return dc_; }
    V_TEXTMETRICA Metrics() const {
        V_TEXTMETRICA metrics{};
        V_GetTextMetricsA(dc_, &metrics);
        return metrics;
    }

private:
    V_HFONT font_ = nullptr;
    V_HDC dc_ = nullptr;
    V_HGDIOBJ old_ = nullptr;
};

struct Glyph {
    V_DWORD result = V_GDI_ERROR;  // of the call with a buffer
    V_DWORD size = V_GDI_ERROR;    // of the size query
    V_GLYPHMETRICS metrics{};
    std::vector<uint8_t> bits;
    V_DWORD Pitch() const { return metrics.gmBlackBoxY ? size / metrics.gmBlackBoxY : 0; }
    // Set pixels (1-bit) or the sum of levels (grey), within the black box.
    long Coverage(V_UINT format) const {
        long total = 0;
        for (V_UINT y = 0; y < metrics.gmBlackBoxY && size; ++y)
            for (V_UINT x = 0; x < metrics.gmBlackBoxX; ++x) {
                const uint8_t* row = bits.data() + y * Pitch();
                total += format == V_GGO_BITMAP ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
            }
        return total;
    }
};

inline Glyph FetchGlyph(V_HDC dc, V_UINT code, V_UINT format) {
    static const V_MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    Glyph glyph;
    glyph.size = V_GetGlyphOutlineA(dc, code, format, &glyph.metrics, 0, nullptr, &identity);
    if (glyph.size == V_GDI_ERROR) return glyph;
    glyph.bits.assign(glyph.size, 0xEE);
    glyph.result = V_GetGlyphOutlineA(dc, code, format, &glyph.metrics, glyph.size,
                                      glyph.size ? glyph.bits.data() : nullptr, &identity);
    return glyph;
}
