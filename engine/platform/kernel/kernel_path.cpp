// The file-name adapter: code-page-932 names with either separator to Linux paths, with a
// case-insensitive lookup of names that do not exist as written.
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/kernel/file_names.h"
#include "platform/kernel/folder_listing.h"
#include "platform/kernel/kernel.h"

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

std::u32string FoldedName(const std::string& name) {
    std::vector<char32_t> key = FoldedCharacters(name.c_str());
    return std::u32string(key.begin(), key.end());
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Listings by device and inode, so that a relative folder follows the current directory.
struct ListingCache {
    std::mutex lock;
    std::map<std::pair<dev_t, ino_t>, FolderListing> folders;
};

ListingCache& Listings() {
    static ListingCache* cache = new ListingCache;
    return *cache;
}

constexpr size_t kMaxCachedFolders = 256;

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool ReadFolderListing(const std::string& folder, FolderListing& listing) {
    DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
    if (directory == nullptr) return false;
    while (dirent* entry = readdir(directory)) AddToListing(listing, entry->d_name);
    closedir(directory);
    return true;
}

void AddToListing(FolderListing& listing, const std::string& name) {
    listing.folded[FoldedName(name)].insert(name);
}

void RemoveFromListing(FolderListing& listing, const std::string& name) {
    auto it = listing.folded.find(FoldedName(name));
    if (it == listing.folded.end()) return;
    it->second.erase(name);
    if (it->second.empty()) listing.folded.erase(it);
}

int FindOtherCase(const FolderListing& listing, const std::string& name, std::string& found) {
    auto it = listing.folded.find(FoldedName(name));
    if (it == listing.folded.end()) return 0;
    for (const std::string& other : it->second) {
        if (other != name) {
            found = other;
            return 2;
        }
    }
    return 0;
}

int AnswerFromListing(const FolderListing& listing, const std::string& name, std::string& found) {
    auto it = listing.folded.find(FoldedName(name));
    if (it != listing.folded.end() && it->second.count(name) != 0) return 1;
    return FindOtherCase(listing, name, found);
}

namespace {

// Looks a name up in a folder: 1 when the system has it as written, 2 when only in another
// case (found gets that name), 0 when not at all, -1 when the folder cannot be listed. A folder
// kept under a change watch answers from its listing. Any other folder is asked for the name as
// written first, so that a kept listing never hides a name the system has; its listing answers
// only for other cases, and is kept only once the folder's time is at least a second old (so
// that changes made within the file system's time step are never missed) and while that time
// stays the same.
int LookUpInFolder(const std::string& folder, const std::string& name, std::string& found) {
    int watched = 0;
    if (LookUpInWatchedFolder(folder, name, found, watched)) return watched;
    if (Exists(InFolder(folder, name))) return 1;
    struct stat info;
    if (stat(folder.empty() ? "." : folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return -1;
    ListingCache& cache = Listings();
    const std::pair<dev_t, ino_t> id{info.st_dev, info.st_ino};
    {
        std::lock_guard<std::mutex> guard(cache.lock);
        auto it = cache.folders.find(id);
        if (it != cache.folders.end() && SameTime(it->second.modified, info.st_mtim))
            return FindOtherCase(it->second, name, found);
    }
    FolderListing listing;
    listing.modified = info.st_mtim;
    if (!ReadFolderListing(folder, listing)) return -1;
    int result = FindOtherCase(listing, name, found);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec - info.st_mtim.tv_sec >= 2) {
        std::lock_guard<std::mutex> guard(cache.lock);
        if (cache.folders.size() >= kMaxCachedFolders) cache.folders.clear();
        cache.folders[id] = std::move(listing);
    }
    return result;
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
    if (path.empty()) path.push_back('.');  // "C:" alone: the current folder
    return true;
}

namespace {

// A component that resolved to another case: looked up in parent as written, found as resolved.
struct FoldedStep {
    std::string parent;
    std::string written;
    std::string resolved;
};

// The component-by-component lookup: each component that does not exist as written takes the
// name that equals it without regard to case; below a missing folder the rest is kept. steps
// gets the components that took another case; complete tells whether every component was found.
std::string WalkFolded(const std::string& path, std::vector<FoldedStep>* steps = nullptr,
                       bool* complete = nullptr) {
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
        if (searching && component != "." && component != "..") {
            std::string found;
            int result = LookUpInFolder(resolved, component, found);
            if (result == 2) {
                if (steps != nullptr) steps->push_back({resolved, component, found});
                component = found;
            } else if (result <= 0) {
                searching = false;  // nothing below a missing folder can exist
            }
        }
        resolved += component;
    }
    if (path.back() == '/' && !resolved.empty() && resolved.back() != '/') resolved += '/';
    if (complete != nullptr) *complete = searching;
    return resolved;
}

// Absolute folders that do not exist as written -> the folders they resolved to, with the
// components that took another case on the way. An answer holds while each of those components
// still does not exist as written and still takes the same name, and the folder it resolved to
// exists (so every component found as written is still there as written).
struct MemoFolder {
    std::string real;
    std::vector<FoldedStep> steps;
};

struct FolderMemo {
    std::mutex lock;
    std::unordered_map<std::string, MemoFolder> folders;
};

FolderMemo& Memo() {
    static FolderMemo* memo = new FolderMemo;
    return *memo;
}

constexpr size_t kMaxMemoFolders = 1024;

bool StillResolves(const MemoFolder& entry) {
    for (const FoldedStep& step : entry.steps) {
        std::string found;
        if (LookUpInFolder(step.parent, step.written, found) != 2 || found != step.resolved)
            return false;
    }
    return true;
}

// A folder (ending with '/') that cannot be listed as written, as the system has it: as
// remembered while that still holds, else looked up component by component. fromMemo tells the
// answer came from the memo (the caller confirms the folder still exists).
std::string ResolveFolder(const std::string& folder, bool& fromMemo) {
    fromMemo = false;
    const bool absolute = folder.size() > 1 && folder[0] == '/';
    if (absolute) {
        MemoFolder entry;
        {
            FolderMemo& memo = Memo();
            std::lock_guard<std::mutex> guard(memo.lock);
            auto it = memo.folders.find(folder);
            if (it != memo.folders.end()) entry = it->second;
        }
        if (!entry.real.empty() && StillResolves(entry)) {
            fromMemo = true;
            return entry.real;
        }
    }
    MemoFolder entry;
    bool complete = false;
    entry.real = WalkFolded(folder, &entry.steps, &complete);
    if (!absolute) return entry.real;
    FolderMemo& memo = Memo();
    std::lock_guard<std::mutex> guard(memo.lock);
    if (!complete || entry.steps.empty()) {
        memo.folders.erase(folder);
        return entry.real;
    }
    if (memo.folders.size() >= kMaxMemoFolders) memo.folders.clear();
    memo.folders[folder] = entry;
    return entry.real;
}

}  // namespace

std::string ResolveNormalizedPath(const std::string& path, bool* missing) {
    if (missing != nullptr) *missing = false;
    std::string watched;
    bool watchedMissing = false;
    if (ResolveInWatchedFolders(path, watched, watchedMissing)) {
        if (missing != nullptr) *missing = watchedMissing;
        return watched;
    }
    std::string body = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1)
                                                             : path;
    const std::string tail = body.size() < path.size() ? "/" : "";
    size_t slash = body.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : body.substr(0, slash + 1);
    std::string leaf = slash == std::string::npos ? body : body.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") return Exists(path) ? path : WalkFolded(path);
    // The name's folder as written first (an exact name always wins, for the folders on the way
    // as for the name), else as it resolves in other cases; then one look in it for the name.
    std::string real = folder;
    std::string found;
    int result = LookUpInFolder(folder, leaf, found);
    if (result < 0 && !folder.empty()) {
        bool fromMemo = false;
        real = ResolveFolder(folder, fromMemo);
        result = real == folder ? -1 : LookUpInFolder(real, leaf, found);
        if (result < 0 && fromMemo) {  // the remembered folder went: look it up afresh
            {
                FolderMemo& memo = Memo();
                std::lock_guard<std::mutex> guard(memo.lock);
                memo.folders.erase(folder);
            }
            real = ResolveFolder(folder, fromMemo);
            result = real == folder ? -1 : LookUpInFolder(real, leaf, found);
        }
    }
    switch (result) {
    case 1: return real + leaf + tail;
    case 2: return real + found + tail;
    case 0:  // not there in any case: kept as written
        if (missing != nullptr) *missing = true;
        return real + leaf + tail;
    default: break;
    }
    return Exists(path) ? path : WalkFolded(path);
}

bool V_ResolveFileNameExactName(const char* name, std::string& linuxPath) {
    std::string path;
    if (!NormalizeFileName(name, path)) {
        linuxPath.clear();
        return false;
    }
    const size_t end = path.size() > 1 && path.back() == '/' ? path.size() - 1 : path.size();
    const size_t slash = path.find_last_of('/', end - 1);
    if (slash == std::string::npos || end == 1) {
        linuxPath = path;
        return true;
    }
    linuxPath = ResolveNormalizedPath(path.substr(0, slash + 1));
    if (!linuxPath.empty() && linuxPath.back() != '/') linuxPath += '/';
    linuxPath += path.substr(slash + 1);
    return true;
}

bool V_ResolveFileName(const char* name, std::string& linuxPath) {
    return V_ResolveFileName(name, linuxPath, nullptr);
}

bool V_ResolveFileName(const char* name, std::string& linuxPath, bool* missing) {
    std::string path;
    if (!NormalizeFileName(name, path)) {
        linuxPath.clear();
        if (missing != nullptr) *missing = false;
        return false;
    }
    linuxPath = ResolveNormalizedPath(path, missing);
    return true;
}
