// Face names of font requests matched to installed font files through fontconfig.
#pragma once

#include <string>

#include "platform/types.h"

struct GdiFaceMatch {
    std::string path;      // the font file
    int index = 0;         // the face within the file
    bool hasBold = false;  // the face itself is bold (no emboldening needed)
    bool hasItalic = false;
    bool dualWidth = false;  // fixed pitch: every advance is one or two narrow cells
};

// The installed face closest to a request. face is a code-page-932 name, or null / "" for the
// default face (the system's Japanese fixed-pitch gothic). Japanese face names of the platform
// are taken through an alias table; an unknown name gives the closest font for the character
// set. Results are cached. False only when no font is installed. Callers hold the font lock.
bool GdiMatchFace(const char* face, bool bold, bool italic, V_DWORD charSet, GdiFaceMatch* out);

// A face name brought to a comparable form: UTF-8, full-width Latin letters and digits made
// ASCII, ASCII letters lower case, spaces (ASCII and full-width) removed.
std::string GdiNormalizeFaceName(const std::string& utf8Face);
