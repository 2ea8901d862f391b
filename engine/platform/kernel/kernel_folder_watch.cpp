// Folder listings kept under a change watch. A folder's listing is read after the watch on it
// is in place, so every later change to its names is reported; it stays valid until then. The
// path that names a folder stays valid while no folder above it reports a change of the name on
// the way down, so each folder above is watched too, and only paths without links, "." or ".."
// are kept (the path is then the folder's one name). A report of a name in a folder makes its
// listing stale (read again on the next look, the watch staying in place) and drops every kept
// folder below that name; a report that the folder itself went drops it and all below it.
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/kernel/folder_listing.h"

namespace {

constexpr uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr size_t kMaxWatchedFolders = 512;
constexpr size_t kMaxRefusedFolders = 256;

struct WatchedFolder {
    int watch;
    bool stale;
    FolderListing listing;
};

struct FolderWatch {
    std::mutex lock;
    int descriptor = -1;
    bool unavailable = false;
    std::map<std::string, WatchedFolder> folders;  // by path without its closing '/' ("/" alone)
    std::unordered_map<int, std::string> paths;    // watch -> path
    std::unordered_set<std::string> refused;       // paths that are not a folder's one name
};

FolderWatch* g_Watch;
FolderWatch* g_LeftByFork;  // the parent's watch in a forked child, left as it was

FolderWatch& Watch() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_Watch = new FolderWatch;
        // A forked child must not take the parent's reports, and its copy of the table may have
        // been in use by another thread: it starts a watch of its own.
        pthread_atfork(nullptr, nullptr, [] {
            if (g_Watch->descriptor >= 0) close(g_Watch->descriptor);
            g_LeftByFork = g_Watch;
            g_Watch = new FolderWatch;
        });
    });
    return *g_Watch;
}

void Forget(FolderWatch& watch, std::map<std::string, WatchedFolder>::iterator it) {
    inotify_rm_watch(watch.descriptor, it->second.watch);
    watch.paths.erase(it->second.watch);
    watch.folders.erase(it);
}

// Drops the folder and every kept folder below it.
void ForgetFrom(FolderWatch& watch, const std::string& path) {
    const std::string below = path == "/" ? "/" : path + "/";
    auto it = watch.folders.lower_bound(path);
    while (it != watch.folders.end() &&
           (it->first == path || it->first.compare(0, below.size(), below) == 0))
        Forget(watch, it++);
}

void ForgetAll(FolderWatch& watch) {
    if (watch.descriptor >= 0) close(watch.descriptor);
    watch.descriptor = -1;
    watch.folders.clear();
    watch.paths.clear();
    watch.refused.clear();
}

// Takes every report that has arrived.
void TakeReports(FolderWatch& watch) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t length = read(watch.descriptor, buffer, sizeof buffer);
        if (length <= 0) return;
        watch.refused.clear();
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                ForgetAll(watch);
                return;
            }
            auto path = watch.paths.find(event->wd);
            if (path == watch.paths.end()) continue;
            const std::string folder = path->second;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                ForgetFrom(watch, folder);
                continue;
            }
            watch.folders[folder].stale = true;
            if (event->len > 0 && event->name[0] != '\0')
                ForgetFrom(watch, (folder == "/" ? "/" : folder + "/") + event->name);
        }
    }
}

bool Open(FolderWatch& watch) {
    if (watch.descriptor >= 0) return true;
    if (watch.unavailable) return false;
    watch.descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch.descriptor < 0) watch.unavailable = true;
    return watch.descriptor >= 0;
}

// Watches and lists the folder (path without its closing '/'). The watch comes first.
WatchedFolder* Keep(FolderWatch& watch, const std::string& path) {
    if (watch.folders.size() >= 2 * kMaxWatchedFolders) return nullptr;
    const int id = inotify_add_watch(watch.descriptor, path.c_str(), kWatchedChanges);
    if (id < 0) return nullptr;
    if (watch.paths.count(id) != 0) {  // one folder by two names: keep neither
        ForgetFrom(watch, watch.paths[id]);
        inotify_rm_watch(watch.descriptor, id);
        return nullptr;
    }
    WatchedFolder folder{id, false, {}};
    if (!ReadFolderListing(path, folder.listing)) {
        inotify_rm_watch(watch.descriptor, id);
        return nullptr;
    }
    watch.paths[id] = path;
    return &watch.folders.emplace(path, std::move(folder)).first->second;
}

// The kept folder of the path, with every folder above it kept too; none when one of them is
// not a folder's one name or cannot be watched.
WatchedFolder* Find(FolderWatch& watch, const std::string& path) {
    auto it = watch.folders.find(path);
    if (it != watch.folders.end()) {
        // Its folders above were kept before it and are dropped with it.
        if (it->second.stale) {
            FolderListing listing;
            if (!ReadFolderListing(path, listing)) {
                ForgetFrom(watch, path);
                return nullptr;
            }
            it->second.listing = std::move(listing);
            it->second.stale = false;
        }
        return &it->second;
    }
    if (watch.refused.count(path) != 0) return nullptr;
    if (path != "/") {
        const size_t slash = path.find_last_of('/');
        if (Find(watch, slash == 0 ? "/" : path.substr(0, slash)) == nullptr) return nullptr;
    }
    char real[PATH_MAX];
    WatchedFolder* kept = nullptr;
    if (realpath(path.c_str(), real) != nullptr && path == real) kept = Keep(watch, path);
    if (kept == nullptr) {
        if (watch.refused.size() >= kMaxRefusedFolders) watch.refused.clear();
        watch.refused.insert(path);
    }
    return kept;
}

}  // namespace

bool LookUpInWatchedFolder(const std::string& folder, const std::string& name, std::string& found,
                           int& result) {
    std::string path = folder;
    if (path.empty() || path[0] != '/') {  // below the current folder
        char current[PATH_MAX];
        if (getcwd(current, sizeof current) == nullptr || current[0] != '/') return false;
        path = path.empty() ? current : std::string(current) + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    FolderWatch& watch = Watch();
    std::lock_guard<std::mutex> guard(watch.lock);
    if (!Open(watch)) return false;
    TakeReports(watch);
    if (watch.folders.size() >= kMaxWatchedFolders) ForgetAll(watch);
    if (watch.descriptor < 0 && !Open(watch)) return false;
    WatchedFolder* kept = Find(watch, path);
    if (kept == nullptr) return false;
    result = AnswerFromListing(kept->listing, name, found);
    return true;
}
