// Face matching: the request (name, weight, slant, character set) becomes a fontconfig pattern;
// the match's file, index, weight, slant and spacing are kept per request.
#include "platform/gdi/gdi_font_match.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <tuple>

#include "platform/kernel/file_names.h"
#include "platform/gdi/gdi_font.h"

namespace {

// The platform's Japanese face names (normalised) and the installed families that stand in
// for them; fontconfig picks the closest installed font when a family is absent.
// Names are UTF-8 (u8 literals keep their bytes whatever the narrow literals' code page).
struct FaceAlias {
    const char8_t* name;
    const char* family;
};
constexpr FaceAlias kFaceAliases[] = {
    {u8"", "IPAGothic"},  // no face: the system's fixed-pitch gothic
    {u8"msゴシック", "IPAGothic"},
    {u8"msgothic", "IPAGothic"},
    {u8"mspゴシック", "IPAPGothic"},
    {u8"mspgothic", "IPAPGothic"},
    {u8"ms明朝", "IPAMincho"},
    {u8"msmincho", "IPAMincho"},
    {u8"msp明朝", "IPAPMincho"},
    {u8"mspmincho", "IPAPMincho"},
};

using MatchKey = std::tuple<std::string, bool, bool, V_DWORD>;
std::map<MatchKey, GdiFaceMatch>& g_Matches = *new std::map<MatchKey, GdiFaceMatch>;

const char* LanguageOf(V_DWORD charSet) {
    if (charSet == V_HANGEUL_CHARSET) return "ko";
    if (charSet == V_SHIFTJIS_CHARSET || charSet == V_DEFAULT_CHARSET) return "ja";
    return nullptr;
}

bool RunMatch(const std::string& family, bool bold, bool italic, V_DWORD charSet,
              GdiFaceMatch* out) {
    static bool initialised = FcInit() == FcTrue;
    if (!initialised) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (const char* language = LanguageOf(charSet))
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* file = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (found) {
        int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN,
            spacing = FC_PROPORTIONAL;
        // fontconfig's own synthesis marks a plain face as bold or oblique; those faces are
        // emboldened or slanted by the renderer instead.
        FcBool embolden = FcFalse;
        FcMatrix* matrix = nullptr;
        FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
        bool synthesizedSlant = FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch;
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
        out->path = reinterpret_cast<const char*>(file);
        out->index = index;
        out->hasBold = weight >= FC_WEIGHT_DEMIBOLD && !embolden;
        out->hasItalic = slant != FC_SLANT_ROMAN && !synthesizedSlant;
        out->dualWidth = spacing == FC_MONO || spacing == FC_DUAL;
    }
    FcPatternDestroy(match);
    return found;
}

}  // namespace

std::string GdiNormalizeFaceName(const std::string& utf8Face) {
    std::string out;
    for (size_t i = 0; i < utf8Face.size();) {
        auto byte = static_cast<unsigned char>(utf8Face[i]);
        // Full-width forms U+FF01..U+FF5E (EF BC 81..EF BD 9E) become ASCII.
        if (byte == 0xEF && i + 2 < utf8Face.size()) {
            auto b1 = static_cast<unsigned char>(utf8Face[i + 1]);
            auto b2 = static_cast<unsigned char>(utf8Face[i + 2]);
            unsigned code = ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu) | 0xF000u;
            if (code >= 0xFF01 && code <= 0xFF5E) {
                byte = static_cast<unsigned char>(code - 0xFF01 + 0x21);
                i += 3;
                if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
                out.push_back(static_cast<char>(byte));
                continue;
            }
        }
        // U+3000 (E3 80 80), the full-width space, is dropped like an ASCII one.
        if (byte == 0xE3 && i + 2 < utf8Face.size() && utf8Face[i + 1] == '\x80' &&
            utf8Face[i + 2] == '\x80') {
            i += 3;
            continue;
        }
        ++i;
        if (byte == ' ') continue;
        if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
        out.push_back(static_cast<char>(byte));
    }
    return out;
}

bool GdiMatchFace(const char* face, bool bold, bool italic, V_DWORD charSet, GdiFaceMatch* out) {
    std::string utf8;
    if (face && *face && !Cp932ToUtf8String(face, utf8)) utf8.clear();
    std::string family = utf8;
    std::string normalized = GdiNormalizeFaceName(utf8);
    for (const FaceAlias& alias : kFaceAliases)
        if (normalized == reinterpret_cast<const char*>(alias.name)) family = alias.family;
    MatchKey key{family, bold, italic, charSet};
    auto cached = g_Matches.find(key);
    if (cached != g_Matches.end()) {
        *out = cached->second;
        return true;
    }
    GdiFaceMatch match;
    if (!RunMatch(family, bold, italic, charSet, &match)) return false;
    g_Matches.emplace(key, match);
    *out = match;
    return true;
}

// g++ marks an AddressSanitizer build with __SANITIZE_ADDRESS__, clang (the fuzz build) through
// __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELK_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VELK_LEAK_CHECKED)
// fontconfig keeps blocks of its configuration parse that the leak checker cannot reach; D-Bus,
// which SDL opens while it looks for a display, keeps its connection data to the end.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif
