// The file-name adapter: code-page-932 names with either separator to Linux paths, with a
// case-insensitive lookup of names that do not exist as written.
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "platform/file_names.h"
#include "platform/kernel.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Reads one UTF-8 character; a byte that does not start a valid sequence stands for itself
// (offset out of the character range so it never equals a real character).
char32_t NextCharacter(const char*& text) {
    unsigned char lead = static_cast<unsigned char>(*text);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    char32_t value = length == 1   ? lead
                     : length == 2 ? (lead & 0x1F)
                     : length == 3 ? (lead & 0x0F)
                                   : (lead & 0x07);
    for (int i = 1; i < length; ++i) {
        unsigned char trail = static_cast<unsigned char>(text[i]);
        if ((trail & 0xC0) != 0x80) {
            length = 0;
            break;
        }
        value = (value << 6) | (trail & 0x3F);
    }
    if (length == 0) {
        ++text;
        return 0x110000 + lead;
    }
    text += length;
    return value;
}

// Upper case to lower case for the letters code page 932 holds.
char32_t FoldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;                 // full-width Latin
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return c + 0x20;  // Greek
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;                 // Cyrillic
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    return c;
}

std::vector<char32_t> FoldedCharacters(const char* text) {
    std::vector<char32_t> characters;
    while (*text != '\0') characters.push_back(FoldCase(NextCharacter(text)));
    return characters;
}

// The entry of a folder whose name equals the component without regard to case; the
// smallest such name when several do, so the choice does not depend on the folder's order.
bool FindFolded(const std::string& folder, const std::string& component, std::string& found) {
    DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
    if (directory == nullptr) return false;
    bool any = false;
    while (dirent* entry = readdir(directory)) {
        if (!FileNamesEqualFolded(entry->d_name, component.c_str())) continue;
        if (!any || strcmp(entry->d_name, found.c_str()) < 0) found = entry->d_name;
        any = true;
    }
    closedir(directory);
    return any;
}

}  // namespace

bool FileNamesEqualFolded(const char* a, const char* b) {
    while (*a != '\0' && *b != '\0') {
        if (FoldCase(NextCharacter(a)) != FoldCase(NextCharacter(b))) return false;
    }
    return *a == '\0' && *b == '\0';
}

bool MatchFileNamePattern(const char* pattern, const char* name) {
    if (strcmp(pattern, "*.*") == 0 || strcmp(pattern, "*") == 0) return true;
    std::vector<char32_t> p = FoldedCharacters(pattern);
    std::vector<char32_t> n = FoldedCharacters(name);
    // Greedy match with one back-track point: the last '*' seen.
    size_t pi = 0, ni = 0, starP = SIZE_MAX, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == U'*') {
            starP = pi++;
            starN = ni;
        } else if (starP != SIZE_MAX) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

bool NormalizeFileName(const char* name, std::string& path) {
    path.clear();
    if (name == nullptr || name[0] == '\0' || !Cp932ToUtf8String(name, path)) {
        V_SetLastError(V_ERROR_INVALID_NAME);
        return false;
    }
    // Converted text holds '\' only as the separator (never as a trail byte).
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        path.erase(0, 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty()) path = ".";  // "C:" alone: the current folder
    return true;
}

std::string ResolveNormalizedPath(const std::string& path) {
    if (Exists(path)) return path;
    std::string resolved = path[0] == '/' ? "/" : "";
    size_t position = 0;
    bool searching = true;
    while (position < path.size()) {
        size_t end = path.find('/', position);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(position, end - position);
        position = end + 1;
        if (component.empty()) continue;
        if (!resolved.empty() && resolved.back() != '/') resolved += '/';
        if (searching && component != "." && component != ".." && !Exists(resolved + component)) {
            std::string found;
            if (FindFolded(resolved, component, found))
                component = found;
            else
                searching = false;  // nothing below a missing folder can exist
        }
        resolved += component;
    }
    if (path.back() == '/' && !resolved.empty() && resolved.back() != '/') resolved += '/';
    return resolved;
}

bool V_ResolveFileName(const char* name, std::string& linuxPath) {
    std::string path;
    if (!NormalizeFileName(name, path)) {
        linuxPath.clear();
        return false;
    }
    linuxPath = ResolveNormalizedPath(path);
    return true;
}
