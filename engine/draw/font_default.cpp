// The default font and its settings, the font system's start and end, and the re-creation of
// every font after the graphics device is made again.
#include <cstring>

#include "core/core.h"
#include "draw/draw.h"
#include "draw/draw_services.h"
#include "draw/font.h"
#include "graphics/graph_handle.h"

DefaultFontSettings g_DefaultFont;
int32_t g_FontCacheSize = 0;

namespace {

int g_FontSystemUp = 0;

// The creation values of a font, as kept across its deletion.
struct FontKeep {
    char face[kFontFaceSize];
    int size, thickness, type, charsetIndex, edgeSize, italic;
    uint32_t checkNumber;
    int charSpacing;
    int32_t* lostFlag;
};

FontKeep KeepFont(const FontRecord* font) {
    FontKeep keep{};
    std::memcpy(keep.face, font->face, kFontFaceSize);
    keep.size = font->size;
    keep.thickness = font->thickness;
    keep.type = font->type;
    keep.charsetIndex = font->charsetIndex;
    keep.edgeSize = font->edgeSize;
    keep.italic = font->italic;
    keep.checkNumber = font->checkNumber;
    keep.charSpacing = font->charSpacing;
    keep.lostFlag = font->lostFlag;
    return keep;
}

// The settings the current default font was made with: a font's record keeps normalised values
// (type bits, clamped sizes), so a refresh compares the settings, not the record.
DefaultFontSettings g_DefaultFontMadeWith;

bool SameSettings(const DefaultFontSettings& a, const DefaultFontSettings& b) {
    return std::strcmp(a.face, b.face) == 0 && a.type == b.type && a.size == b.size &&
           a.thickness == b.thickness && a.charsetIndex == b.charsetIndex &&
           a.edgeSize == b.edgeSize && a.italic == b.italic;
}

int CreateDefaultFont() {
    const DefaultFontSettings& d = g_DefaultFont;
    g_DefaultFontMadeWith = d;
    int edge = (d.type & kFontEdged) ? d.edgeSize : -1;
    int handle = CreateFontToHandle(d.face, d.size, d.thickness, d.type, d.charsetIndex, edge,
                                    d.italic, -1, -1);
    g_DefaultFont.handle = handle;
    SetFontCharSpacing(d.charSpacing, handle);
    return handle;
}

void SetDefaultValues() {
    DefaultFontSettings& d = g_DefaultFont;
    d = DefaultFontSettings{};
    d.handle = -1;
    d.size = 16;
    d.thickness = 6;
    d.type = 0;
    d.charsetIndex = 1;
    d.edgeSize = 1;
    d.italic = 0;
    d.charSpacing = 0;
}

}  // namespace

int FontSystemUp() { return g_FontSystemUp; }

int GetDefaultFontHandle() {
    if (!g_FontSystemUp) return -1;
    return g_DefaultFont.handle;
}

int RefreshDefaultFont() {
    if (!g_FontSystemUp) return -1;
    const DefaultFontSettings& d = g_DefaultFont;
    if (GetFontRecord(d.handle) != nullptr && SameSettings(d, g_DefaultFontMadeWith)) return 0;
    ReleaseFont(d.handle);
    CreateDefaultFont();
    return 0;
}

int SetDefaultFontSize(int size) {
    if (!g_FontSystemUp) return -1;
    g_DefaultFont.size = size == -1 ? 16 : size;
    return RefreshDefaultFont();
}

int SetDefaultFontThickness(int thickness) {
    if (!g_FontSystemUp) return -1;
    g_DefaultFont.thickness = thickness == -1 ? 6 : thickness;
    return RefreshDefaultFont();
}

int SetDefaultFontType(int fontType) {
    if (!g_FontSystemUp) return -1;
    g_DefaultFont.type = fontType == -1 ? 0 : fontType;
    return RefreshDefaultFont();
}

int SetDefaultFontSizeAndThickness(const char*, int size, int thickness) {
    if (!g_FontSystemUp) return -1;
    g_DefaultFont.size = size == -1 ? 16 : size;
    g_DefaultFont.thickness = thickness == -1 ? 6 : thickness;
    return RefreshDefaultFont();
}

int RecreateAllFonts() {
    for (int slot = 0; slot < kFontSlots; ++slot) {
        FontRecord* font = g_FontTable.slots[slot];
        if (font == nullptr) continue;
        FontKeep keep = KeepFont(font);
        // The font lives on under the same handle: its owner's lost flag stays down.
        font->lostFlag = nullptr;
        ReleaseFont(MakeHandle(keep.checkNumber, kFontHandleKind, slot));
        int edge = (keep.type & kFontEdged) ? keep.edgeSize : -1;
        int handle = CreateFontToHandle(keep.face, keep.size, keep.thickness, keep.type,
                                        keep.charsetIndex, edge, keep.italic, slot,
                                        static_cast<int>(keep.checkNumber));
        FontRecord* made = GetFontRecord(handle);
        if (made == nullptr) {
            if (keep.lostFlag != nullptr) *keep.lostFlag = 1;
            continue;
        }
        made->charSpacing = keep.charSpacing;
        made->lostFlag = keep.lostFlag;
    }
    return 0;
}

int InitFonts() {
    WriteLog("フォントの初期化を行います\n");
    IncreaseLogIndent();
    FontKeep keep{};
    bool hadDefault = false;
    if (const FontRecord* font = GetFontRecord(g_DefaultFont.handle)) {
        keep = KeepFont(font);
        hadDefault = true;
    }
    for (int slot = 0; slot < kFontSlots; ++slot) {
        FontRecord* font = g_FontTable.slots[slot];
        if (font != nullptr) ReleaseFont(MakeHandle(font->checkNumber, kFontHandleKind, slot));
    }
    int handle;
    if (hadDefault) {
        int edge = (keep.type & kFontEdged) ? keep.edgeSize : -1;
        handle = CreateFontToHandle(keep.face, keep.size, keep.thickness, keep.type,
                                    keep.charsetIndex, edge, keep.italic, -1, -1);
    } else {
        handle = CreateFontToHandle("", 16, 6, -1, -1, -1, 0, -1, -1);
    }
    g_DefaultFont.handle = handle;
    g_DefaultFontMadeWith = g_DefaultFont;
    DecreaseLogIndent();
    WriteLog("フォントの初期化は正常に終了しました\n");
    return 0;
}

int InitFontSystem() {
    g_FontTable = FontTable{};
    g_FontCacheSize = 0;
    SetDefaultValues();
    g_FontSystemUp = 1;
    return InitFonts();
}

int EndFonts() {
    // A graphics start that failed before the font system came up has no fonts to end.
    if (!g_FontSystemUp) return 0;
    InitFonts();
    ReleaseFont(g_DefaultFont.handle);
    g_DefaultFont.handle = -1;
    ReleaseTextWorkImages();
    g_FontSystemUp = 0;
    return 0;
}
