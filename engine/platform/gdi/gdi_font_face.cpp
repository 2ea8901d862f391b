// The FreeType library and the cache of sized faces.
#include "platform/gdi/gdi_font_face.h"

#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

namespace {

// Unused faces beyond this many are closed (fonts of many different sizes come and go).
constexpr size_t kMaxCachedFaces = 24;

using FaceKey = std::tuple<std::string, int, int>;  // file, face index, cell height
// Never destroyed: faces stay valid for fonts still alive while the process ends.
std::map<FaceKey, GdiSizedFace*>& g_Faces = *new std::map<FaceKey, GdiSizedFace*>;

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        return FT_Init_FreeType(&made) == 0 ? made : nullptr;
    }();
    return library;
}

// Ascender and descender (both positive, font units) that the cell is made of: the face's
// own (horizontal header or typographic), else the OS/2 table's Windows metrics. The
// Japanese gothics have ascender + descender equal to the em, so the cell is the em.
void CellUnits(FT_Face face, FT_Pos* ascender, FT_Pos* descender) {
    *ascender = face->ascender;
    *descender = face->descender < 0 ? -face->descender : face->descender;
    if (*ascender > 0 && *ascender + *descender > 0) return;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        *ascender = os2->usWinAscent;
        *descender = os2->usWinDescent;
        return;
    }
    *ascender = face->units_per_EM * 4 / 5;
    *descender = face->units_per_EM / 5;
}

FT_Pos AdvanceUnits(FT_Face face, FT_ULong code) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    FT_Fixed advance = 0;
    if (!index || FT_Get_Advance(face, index, FT_LOAD_NO_SCALE, &advance) != 0) return 0;
    return advance;
}

GdiSizedFace* Open(const GdiFaceMatch& match, int height) {
    if (!Library()) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(Library(), match.path.c_str(), match.index, &face) != 0) return nullptr;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    FT_Pos ascender = 0, descender = 0;
    CellUnits(face, &ascender, &descender);
    FT_Pos cellUnits = ascender + descender;
    int units = face->units_per_EM ? face->units_per_EM : cellUnits;
    // The em that makes the cell exactly `height` pixels, in 26.6.
    int em26 = static_cast<int>(std::max<int64_t>(
        1, (static_cast<int64_t>(height) * 64 * units + cellUnits / 2) / cellUnits));
    if (FT_Set_Char_Size(face, 0, em26, 72, 72) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    auto* sized = new GdiSizedFace{};
    sized->face = face;
    sized->height = height;
    sized->ascent = static_cast<int>((static_cast<int64_t>(height) * ascender + cellUnits / 2) /
                                     cellUnits);
    sized->ascent = std::clamp(sized->ascent, 0, height);
    sized->descent = height - sized->ascent;
    sized->emPixels26 = em26;
    auto toPixels = [&](FT_Pos fontUnits) {
        return static_cast<int>((static_cast<int64_t>(fontUnits) * em26 / units + 32) / 64);
    };
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    FT_Pos narrow = AdvanceUnits(face, '0');
    if (!narrow) narrow = AdvanceUnits(face, ' ');
    if (match.dualWidth && narrow > 0) {
        sized->dualWidth = true;
        sized->narrowUnits = narrow;
        sized->narrowWidth = std::max(1, toPixels(narrow));
        sized->aveWidth = sized->narrowWidth;
        // The widest glyph of a dual-width face is two cells.
        int cells = static_cast<int>((face->max_advance_width + narrow / 2) / narrow);
        sized->maxWidth = sized->narrowWidth * std::clamp(cells, 1, 2);
    } else {
        sized->aveWidth = std::max(1, toPixels(os2 && os2->version != 0xFFFF &&
                                                       os2->xAvgCharWidth > 0
                                                   ? os2->xAvgCharWidth
                                                   : units / 2));
        sized->maxWidth = std::max(sized->aveWidth, toPixels(face->max_advance_width));
    }
    return sized;
}

void Close(GdiSizedFace* sized) {
    FT_Done_Face(sized->face);
    delete sized;
}

void TrimUnused() {
    for (auto it = g_Faces.begin(); it != g_Faces.end() && g_Faces.size() > kMaxCachedFaces;) {
        if (it->second->users == 0) {
            Close(it->second);
            it = g_Faces.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

std::mutex& GdiFontMutex() {
    static std::mutex mutex;
    return mutex;
}

GdiSizedFace* GdiAcquireFace(const GdiFaceMatch& match, int height) {
    if (height < 1) return nullptr;
    FaceKey key{match.path, match.index, height};
    auto found = g_Faces.find(key);
    if (found != g_Faces.end()) {
        ++found->second->users;
        return found->second;
    }
    GdiSizedFace* sized = Open(match, height);
    if (!sized) return nullptr;
    sized->users = 1;
    g_Faces.emplace(key, sized);
    TrimUnused();
    return sized;
}

void GdiReleaseFace(GdiSizedFace* face) {
    if (!face || face->users <= 0) return;
    --face->users;
    TrimUnused();
}
