// Path routines: full paths from relative ones, splitting and wildcard matching. Output paths use
// '\' between components; both '\' and '/' separate on input. A path is a prefix (a drive "X:",
// a network start, or nothing for a root of this platform's file system) followed by components.
// Every output is bounded by kPathBufferSize; a result that does not fit fails with -1.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "platform/kernel/kernel.h"

namespace {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

inline size_t CharLength(const char* text) {
    return (IsShiftJisLead(static_cast<unsigned char>(text[0])) && text[1] != '\0') ? 2 : 1;
}

enum class PathRule { Plain, Unc, Archive };

struct PathBuilder {
    std::string prefix;                   // "C:", "\" for a network path, or "" for a root
    std::vector<std::string> components;  // never empty strings

    void Append(const std::string& component) {
        if (component == ".") return;
        if (component == "..") {
            if (!components.empty()) components.pop_back();  // never climbs above the prefix
            return;
        }
        components.push_back(component);
    }

    int Write(char* output) const {
        std::string result = prefix;
        for (const std::string& component : components) {
            result += '\\';
            result += component;
        }
        if (components.empty()) result += '\\';
        if (result.size() + 1 > static_cast<size_t>(kPathBufferSize)) return -1;
        std::memcpy(output, result.c_str(), result.size() + 1);
        return 0;
    }
};

std::string UpperCased(std::string text) {
    for (size_t i = 0; i < text.size();) {
        size_t length = CharLength(text.c_str() + i);
        if (length == 1 && text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
        i += length;
    }
    return text;
}

// Splits text into components at separators; Shift-JIS pairs are kept whole. Returns false when
// an empty component appears in the middle and the rule refuses it.
bool AddComponents(const char* text, PathRule rule, PathBuilder& builder) {
    std::string component;
    for (const char* p = text; *p != '\0';) {
        if (IsSeparator(*p)) {
            if (component.empty()) {
                if (rule == PathRule::Plain) return false;
            } else {
                builder.Append(rule == PathRule::Archive ? UpperCased(component) : component);
            }
            component.clear();
            ++p;
            continue;
        }
        size_t length = CharLength(p);
        component.append(p, length);
        p += length;
    }
    if (!component.empty()) builder.Append(rule == PathRule::Archive ? UpperCased(component) : component);
    return true;
}

bool HasDrive(const char* text) {
    return ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) && text[1] == ':';
}

// Reads a base directory into prefix and components. Empty components of a base are skipped.
void ParseBase(const char* base, PathBuilder& builder) {
    if (HasDrive(base)) {
        builder.prefix.assign(base, 2);
        base += 2;
    } else if (IsSeparator(base[0]) && IsSeparator(base[1])) {
        builder.prefix = "\\";
        base += 2;
    }
    AddComponents(base, PathRule::Unc, builder);
}

int BuildFullPath(const char* path, char* output, const char* base, PathRule rule) {
    if (output == nullptr) return -1;
    char current[kPathBufferSize];
    if (base == nullptr) {
        if (rule == PathRule::Archive) {
            V_DWORD length = V_GetCurrentDirectoryA(sizeof current, current);
            if (length == 0 || length >= sizeof current) return -1;
            UpperCaseString(current);
        } else {
            // The file-access table's get-directory operation gives the default base.
            current[0] = '\0';
            GetFileAccessFunctions()->getCurrentDir(current);
            if (current[0] == '\0') return -1;
        }
        base = current;
    }
    PathBuilder builder;
    ParseBase(base, builder);
    if (path == nullptr) return builder.Write(output);

    if (HasDrive(path)) {
        builder.prefix.assign(path, 2);
        if (rule == PathRule::Archive) builder.prefix[0] = static_cast<char>(std::toupper(builder.prefix[0]));
        builder.components.clear();
        path += 2;
        if (IsSeparator(*path)) ++path;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1]) && rule != PathRule::Plain) {
        builder.prefix = "\\";  // network path: "\\server\share..."
        builder.components.clear();
        path += 2;
    } else if (IsSeparator(path[0])) {
        // From the root of the base's drive; on this platform a base without a drive makes this
        // an absolute path of the file system.
        builder.components.clear();
        ++path;
    }
    if (!AddComponents(path, rule, builder)) return -1;
    return builder.Write(output);
}

}  // namespace

int ConvertFullPath(const char* path, char* output, const char* baseDirectory) {
    return BuildFullPath(path, output, baseDirectory, PathRule::Plain);
}

int ConvertFullPathUnc(const char* path, char* output, const char* baseDirectory) {
    return BuildFullPath(path, output, baseDirectory, PathRule::Unc);
}

int ConvertArchiveFullPath(const char* path, char* output) {
    return BuildFullPath(path, output, nullptr, PathRule::Archive);
}

int SplitPathName(const char* path, char* directory, char* name) {
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p != '\0'; p += CharLength(p))
        if (IsSeparator(*p) || *p == ':') lastSeparator = p;
    const char* namePart = lastSeparator != nullptr ? lastSeparator + 1 : path;
    size_t directoryLength = lastSeparator != nullptr ? static_cast<size_t>(lastSeparator - path) : 0;
    size_t nameLength = std::strlen(namePart);
    if (directoryLength + 1 > static_cast<size_t>(kPathBufferSize) ||
        nameLength + 1 > static_cast<size_t>(kPathBufferSize))
        return -1;
    if (directory != nullptr) {
        std::memcpy(directory, path, directoryLength);
        directory[directoryLength] = '\0';
    }
    if (name != nullptr) std::memcpy(name, namePart, nameLength + 1);
    return 0;
}

int MatchWildcard(const char* name, const char* pattern) {
    const char* n = name;
    const char* p = pattern;
    while (*p != '\0') {
        if (*p == '?') {
            if (*n == '\0') return -1;
            ++n;
            ++p;
        } else if (*p == '*') {
            while (*p == '*') ++p;
            if (*p == '\0') return 0;
            // No backtracking: jump to the first occurrence of the next pattern byte.
            const char* found = nullptr;
            if (IsShiftJisLead(static_cast<unsigned char>(*p))) {
                found = std::strchr(n, *p);
            } else {
                found = FindCharInString(n, static_cast<unsigned char>(*p));
            }
            if (found == nullptr) return -1;
            n = found;
        } else if (CharLength(p) == 2) {
            if (n[0] != p[0] || n[1] != p[1]) return -1;
            n += 2;
            p += 2;
        } else {
            if (*n != *p) return -1;
            ++n;
            ++p;
        }
    }
    return *n == '\0' ? 0 : -1;
}
