// Folder listings kept under a change watch. A folder's listing is read after the watch on it
// is in place, so every later change to its names is reported, and each report is applied to
// the listing as it comes (a name made or moved in is added, one removed or moved out taken
// away): other programs' changes cost a look no new reading of the folder. The path that names
// a folder stays valid while no folder above it reports a change of the name on the way down,
// so each folder above is watched too, and only paths without links, "." or ".." are kept (the
// path is then the folder's one name). A report of a name drops every kept folder below that
// name; a report that the folder itself went drops it and all below it. What no report tells
// drops every listing, to be read again on the next look: a lost report (the queue overflowed)
// and any change of the mounts (a folder mounted over names another folder from then on). Only
// folders on file systems that report every change made to them are kept: a network or
// user-space file system changed from elsewhere reports nothing.
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/kernel/folder_listing.h"

namespace {

constexpr uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr size_t kMaxWatchedFolders = 512;
constexpr size_t kMaxRefusedFolders = 256;

struct WatchedFolder {
    int watch;
    FolderListing listing;
};

struct FolderWatch {
    std::mutex lock;
    int descriptor = -1;
    int mounts = -1;  // the mount table, which reports its changes as urgent data
    int ready = -1;   // tells at once whether reports or a change of the mounts arrived
    bool unavailable = false;
    std::map<std::string, WatchedFolder> folders;  // by path without its closing '/' ("/" alone)
    std::unordered_map<int, std::string> paths;    // watch -> path
    std::set<std::string> refused;                 // paths that could not be kept
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
            if (g_Watch->mounts >= 0) close(g_Watch->mounts);
            if (g_Watch->ready >= 0) close(g_Watch->ready);
            g_LeftByFork = g_Watch;
            g_Watch = new FolderWatch;
        });
    });
    return *g_Watch;
}

std::map<std::string, WatchedFolder>::iterator Forget(
    FolderWatch& watch, std::map<std::string, WatchedFolder>::iterator it) {
    inotify_rm_watch(watch.descriptor, it->second.watch);
    watch.paths.erase(it->second.watch);
    return watch.folders.erase(it);
}

const std::string& KeyOf(const std::string& path) { return path; }
template <typename Value>
const std::string& KeyOf(const std::pair<const std::string, Value>& entry) {
    return entry.first;
}

// Calls drop(it) for the entry of the path and every entry below it, in a map or set by path;
// drop returns the next iterator. ("a/b-c" sorts between "a/b" and "a/b/c".)
template <typename Table, typename Drop>
void DropFrom(Table& table, const std::string& path, Drop drop) {
    auto exact = table.find(path);
    if (exact != table.end()) drop(exact);
    const std::string below = path == "/" ? "/" : path + "/";
    auto it = table.lower_bound(below);
    while (it != table.end() && KeyOf(*it).compare(0, below.size(), below) == 0) it = drop(it);
}

// Drops the folder and every kept folder below it; the paths at and below it that could not be
// kept may be kept now.
void ForgetFrom(FolderWatch& watch, const std::string& path) {
    DropFrom(watch.folders, path, [&](auto it) { return Forget(watch, it); });
    DropFrom(watch.refused, path, [&](auto it) { return watch.refused.erase(it); });
}

void ForgetAll(FolderWatch& watch) {
    if (watch.descriptor >= 0) close(watch.descriptor);
    watch.descriptor = -1;
    watch.folders.clear();
    watch.paths.clear();
    watch.refused.clear();
}

// Takes every report that has arrived and applies it.
void TakeReports(FolderWatch& watch) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t length = read(watch.descriptor, buffer, sizeof buffer);
        if (length <= 0) return;
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
            if (event->len == 0 || event->name[0] == '\0') continue;
            auto kept = watch.folders.find(folder);
            if (kept == watch.folders.end()) continue;
            FolderListing& listing = kept->second.listing;
            if (event->mask & (IN_CREATE | IN_MOVED_TO))
                AddToListing(listing, event->name);
            else if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                RemoveFromListing(listing, event->name);
            ForgetFrom(watch, (folder == "/" ? "/" : folder + "/") + event->name);
        }
    }
}

bool Open(FolderWatch& watch) {
    if (watch.descriptor >= 0) return true;
    if (watch.unavailable) return false;
    if (watch.ready < 0) {
        watch.mounts = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        watch.ready = epoll_create1(EPOLL_CLOEXEC);
        epoll_event mounts{EPOLLPRI, {.fd = watch.mounts}};
        if (watch.mounts < 0 || watch.ready < 0 ||
            epoll_ctl(watch.ready, EPOLL_CTL_ADD, watch.mounts, &mounts) != 0) {
            watch.unavailable = true;  // changes of the mounts could not be followed
            return false;
        }
    }
    watch.descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    epoll_event reports{EPOLLIN, {.fd = watch.descriptor}};
    if (watch.descriptor < 0 ||
        epoll_ctl(watch.ready, EPOLL_CTL_ADD, watch.descriptor, &reports) != 0) {
        if (watch.descriptor >= 0) close(watch.descriptor);
        watch.descriptor = -1;
        watch.unavailable = true;
        return false;
    }
    return true;
}

// File systems whose every change to a folder's names is made on this machine and reported to
// its watches. Network, cluster and user-space file systems are not among them.
bool ReportsEveryChange(long type) {
    switch (static_cast<unsigned long>(type)) {
    case EXT4_SUPER_MAGIC:  // ext2, ext3, ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
    case F2FS_SUPER_MAGIC:
    case 0x2FC12FC1:  // ZFS
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case 0x7366746E:  // NTFS (ntfs3)
    case 0x5346544E:  // NTFS (ntfs)
    case REISERFS_SUPER_MAGIC:
    case 0x3153464A:  // JFS
    case NILFS_SUPER_MAGIC:
    case 0x482B:  // HFS+
    case 0xCA451A4E:  // bcachefs
    case ISOFS_SUPER_MAGIC:
    case SQUASHFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:  // changes made through the overlay
        return true;
    default:
        return false;
    }
}

// Watches and lists the folder (path without its closing '/'). The watch comes first.
WatchedFolder* Keep(FolderWatch& watch, const std::string& path) {
    if (watch.folders.size() >= 2 * kMaxWatchedFolders) return nullptr;
    struct statfs system;
    if (statfs(path.c_str(), &system) != 0 || !ReportsEveryChange(system.f_type)) return nullptr;
    const int id = inotify_add_watch(watch.descriptor, path.c_str(), kWatchedChanges);
    if (id < 0) return nullptr;
    if (watch.paths.count(id) != 0) {  // one folder by two names: keep neither
        ForgetFrom(watch, watch.paths[id]);
        inotify_rm_watch(watch.descriptor, id);
        return nullptr;
    }
    WatchedFolder folder{id, {}};
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
    if (it != watch.folders.end()) return &it->second;  // its folders above were kept before it
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

namespace {

// The absolute folder a path starts from: "/" or the current folder. False when there is none.
bool StartFolder(const std::string& path, std::string& start) {
    if (!path.empty() && path[0] == '/') {
        start = "/";
        return true;
    }
    char current[PATH_MAX];
    if (getcwd(current, sizeof current) == nullptr || current[0] != '/') return false;
    start = current;
    return true;
}

// The watch with every report taken; false when there is none. One call asks whether anything
// arrived: a change of the mounts drops every listing, reports are applied.
bool Ready(FolderWatch& watch) {
    if (!Open(watch)) return false;
    epoll_event arrived[2];
    const int count = epoll_wait(watch.ready, arrived, 2, 0);
    bool mounts = count < 0, reports = false;
    for (int i = 0; i < count; ++i) (arrived[i].data.fd == watch.mounts ? mounts : reports) = true;
    if (mounts)
        ForgetAll(watch);
    else if (reports)
        TakeReports(watch);
    if (watch.folders.size() >= kMaxWatchedFolders) ForgetAll(watch);
    return watch.descriptor >= 0 || Open(watch);
}

std::string Below(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

bool ResolveInWatchedFolders(const std::string& path, std::string& resolved, bool& missing) {
    std::string folderPath;
    if (!StartFolder(path, folderPath)) return false;
    std::vector<std::string> components;
    for (size_t position = 0; position < path.size();) {
        size_t end = path.find('/', position);
        if (end == std::string::npos) end = path.size();
        if (end > position) components.push_back(path.substr(position, end - position));
        position = end + 1;
    }
    for (const std::string& component : components)
        if (component == "." || component == "..") return false;
    FolderWatch& watch = Watch();
    std::lock_guard<std::mutex> guard(watch.lock);
    if (!Ready(watch)) return false;
    WatchedFolder* folder = Find(watch, folderPath);
    if (folder == nullptr) return false;
    resolved = path[0] == '/' ? "/" : "";
    missing = false;
    for (size_t i = 0; i < components.size(); ++i) {
        if (!resolved.empty() && resolved.back() != '/') resolved += '/';
        if (folder == nullptr) {  // below a missing folder the rest is kept as written
            resolved += components[i];
            continue;
        }
        std::string found;
        const int answer = AnswerFromListing(folder->listing, components[i], found);
        if (answer == 0) {
            missing = i + 1 == components.size();
            folder = nullptr;
            resolved += components[i];
            continue;
        }
        const std::string& name = answer == 2 ? found : components[i];
        resolved += name;
        if (i + 1 == components.size()) break;
        folderPath = Below(folderPath, name);
        folder = Find(watch, folderPath);
        if (folder == nullptr) return false;
    }
    if (path.back() == '/' && !resolved.empty() && resolved.back() != '/') resolved += '/';
    return true;
}

bool LookUpInWatchedFolder(const std::string& folder, const std::string& name, std::string& found,
                           int& result) {
    std::string path = folder;
    if (path.empty() || path[0] != '/') {  // below the current folder
        std::string current;
        if (!StartFolder(path, current)) return false;
        path = path.empty() ? current : current + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    FolderWatch& watch = Watch();
    std::lock_guard<std::mutex> guard(watch.lock);
    if (!Ready(watch)) return false;
    WatchedFolder* kept = Find(watch, path);
    if (kept == nullptr) return false;
    result = AnswerFromListing(kept->listing, name, found);
    return true;
}
