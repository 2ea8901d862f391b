// Window classes and windows over SDL windows: creation, destruction, geometry, styles,
// showing, activation and the second-copy lock.
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user_internal.h"

namespace {

struct UserClass {
    V_WNDCLASSEXA definition;
    std::string name;
};

struct WindowTable {
    std::map<uintptr_t, std::unique_ptr<UserWindow>> windows;
    std::map<std::string, UserClass> classes;  // keyed by upper-cased name
    std::map<std::string, int> claims;         // lock files held by the double-start look
    uintptr_t nextId = 0x100;
    uintptr_t activeId = 0;
    bool videoStarted = false;
    V_DWORD videoThread = 0;
};

WindowTable& Table() {
    static WindowTable* table = new WindowTable;  // lives to the end of the process
    return *table;
}

// Stands for a window of another process found through its lock file.
const uintptr_t kForeignWindowId = 0x7FFF0000;

std::string UpperName(const char* name) {
    std::string upper = name != nullptr ? name : "";
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// The dummy and off-screen drivers have no display that processes share. There a process and
// the processes it starts share one, as the programs of a desktop session share its display:
// the first process names it in the environment, which the others inherit.
const char kDummyDisplayVariable[] = "VELK_DUMMY_DISPLAY";
const bool g_DummyDisplayNamed = [] {
    if (std::getenv(kDummyDisplayVariable) != nullptr) return false;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char name[64];
    std::snprintf(name, sizeof(name), "%d.%lld.%ld", static_cast<int>(getpid()),
                  static_cast<long long>(now.tv_sec), static_cast<long>(now.tv_nsec));
    return setenv(kDummyDisplayVariable, name, 0) == 0;
}();

// The display the windows appear on, as SDL will choose it: the X server or the Wayland
// compositor named in the environment, or the dummy display above.
std::string DisplayName() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked == nullptr) asked = "";
    std::string display(asked, std::strcspn(asked, ","));  // the first driver SDL tries
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (display.empty()) display = x11 != nullptr && x11[0] != '\0' ? "x11" : "wayland";
    if (display == "x11") {
        // "host:display.screen": every screen of one server is one desktop.
        std::string name = x11 != nullptr ? x11 : "";
        size_t colon = name.rfind(':');
        if (colon != std::string::npos) {
            size_t dot = name.find('.', colon);
            if (dot != std::string::npos) name.erase(dot);
            if (name.compare(0, colon, "unix") == 0) name.erase(0, colon);
        }
        display.append(" ").append(name);
    } else if (display == "wayland") {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        display.append(" ");
        if (wayland == nullptr || wayland[0] == '\0') wayland = "wayland-0";
        if (wayland[0] != '/' && runtime != nullptr) display.append(runtime).append("/");
        display.append(wayland);
    } else if (display == "dummy" || display == "offscreen") {
        const char* name = std::getenv(kDummyDisplayVariable);
        display.assign("dummy ").append(name != nullptr ? name : "");
    }
    return display;
}

// The lock file of a class: one per user and display, in the system's temporary folder, where
// every process of the user finds it whatever its environment.
std::string LockFilePath(const char* className) {
    std::string display = DisplayName();
    uint64_t hash = 1469598103934665603ull;  // FNV-1a over class name, a separator, display
    auto mix = [&hash](const char* text) {
        for (; *text; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 1099511628211ull;
    };
    mix(UpperName(className).c_str());
    hash = (hash ^ 0xFF) * 1099511628211ull;
    mix(display.c_str());
    char name[96];
    std::snprintf(name, sizeof(name), "/tmp/velk-window-%u-%016llx.lock",
                  static_cast<unsigned>(getuid()), static_cast<unsigned long long>(hash));
    return name;
}

// Opens the lock file; -1 when it cannot be opened or belongs to another user (who could
// otherwise hold it to keep this user's program from starting).
int OpenClassLock(const char* className, int flags) {
    int fd = open(LockFilePath(className).c_str(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || info.st_uid != getuid())) {
        close(fd);
        return -1;
    }
    return fd;
}

int TakeClassLock(const char* className) {
    int fd = OpenClassLock(className, O_CREAT);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The look: the first byte of the lock file, locked apart from the claim (a lock of the open
// file, which the claim's flock does not meet). A look holds it while it tries the claim, and a
// look that claims keeps it until its program has started its log (V_EndWindowClassLook), made
// its window or given the claim up; so a copy refused by the claim writes its lines after the
// running copy has made its log anew. A look held longer than this (a program that never ends
// its look) is waited for no more.
constexpr int kLookWaitMs = 10000;

bool SetLookLock(int fd, short type, bool wait) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_len = 1;
    for (int waited = 0;; waited += 10) {
        if (fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
        if (!wait || (errno != EAGAIN && errno != EACCES) || waited >= kLookWaitMs) return false;
        usleep(10000);
    }
}

// Takes the class's lock for this process unless it holds it already: false when another
// process holds it. A lock file that cannot be had (another user's) tells nothing: true.
bool ClaimClassLock(const char* className) {
    auto& claims = Table().claims;
    std::string key = UpperName(className);
    if (claims.count(key) != 0) return true;
    int fd = OpenClassLock(className, O_CREAT);
    if (fd < 0) return true;
    SetLookLock(fd, F_WRLCK, true);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        claims[key] = fd;  // the look stays locked on it
        return true;
    }
    close(fd);  // gives the look up too
    return false;
}

void EndClassLook(const std::string& key) {
    auto& claims = Table().claims;
    auto found = claims.find(key);
    if (found != claims.end()) SetLookLock(found->second, F_UNLCK, false);
}

std::string TitleToUtf8(const char* title) {
    if (title == nullptr) return "";
    char utf8[1024];
    if (!V_Cp932ToUtf8(title, utf8, sizeof(utf8))) return "";
    return utf8;
}

V_LPARAM PackPoint(int x, int y) {
    return static_cast<V_LPARAM>((static_cast<uint32_t>(x) & 0xFFFF) |
                                 ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

// Moves and sizes the record and the SDL window; sends WM_MOVE and WM_SIZE for real changes.
void ApplyGeometry(V_HWND handle, int x, int y, int width, int height, bool move, bool size) {
    bool moved = false, sized = false;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr) return;
        V_RECT& r = window->rect;
        if (width < 1) width = 1;
        if (height < 1) height = 1;
        int w = r.right - r.left, h = r.bottom - r.top;
        if (!move) x = r.left, y = r.top;
        if (!size) width = w, height = h;
        moved = x != r.left || y != r.top;
        sized = width != w || height != h;
        r = {x, y, x + width, y + height};
        if (moved) SDL_SetWindowPosition(window->sdl, x, y);
        if (sized) SDL_SetWindowSize(window->sdl, width, height);
        if (sized) window->invalid = true;
    }
    if (moved) V_SendMessageA(handle, V_WM_MOVE, 0, PackPoint(x, y));
    if (sized) V_SendMessageA(handle, V_WM_SIZE, V_SIZE_RESTORED, PackPoint(width, height));
}

}  // namespace

std::recursive_mutex& UserLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

UserWindow* UserFindWindow(V_HWND window) {
    auto& windows = Table().windows;
    auto found = windows.find(reinterpret_cast<uintptr_t>(window));
    return found == windows.end() ? nullptr : found->second.get();
}

UserWindow* UserFindWindowBySdlId(uint32_t sdlId) {
    for (auto& entry : Table().windows)
        if (entry.second->sdlId == sdlId) return entry.second.get();
    return nullptr;
}

std::vector<V_HWND> UserAllWindows() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    std::vector<V_HWND> handles;
    for (auto& entry : Table().windows)
        if (!entry.second->destroying) handles.push_back(UserHandle(entry.second.get()));
    return handles;
}

UserWindow* UserFirstWindow() {
    auto& windows = Table().windows;
    return windows.empty() ? nullptr : windows.begin()->second.get();
}

UserWindow* UserFindDuePaint(V_DWORD threadId) {
    for (auto& entry : Table().windows) {
        UserWindow* window = entry.second.get();
        if (window->invalid && window->visible && !window->destroying &&
            window->threadId == threadId)
            return window;
    }
    return nullptr;
}

SDL_Window* UserGetSdlWindow(V_HWND window) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* record = UserFindWindow(window);
    return record != nullptr ? record->sdl : nullptr;
}

bool UserEnsureVideo() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    WindowTable& table = Table();
    if (table.videoStarted) return true;
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // The termination signals are the window stand-ins' own (user_signals.cpp), not SDL's.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");  // long compositions in one event
    // The software screen's present writes into the window's own pixel surface. Left to itself,
    // SDL backs that surface with an OpenGL texture, which under a software OpenGL costs more
    // than the frame and holds a second copy of it; the Direct3D path draws through its own
    // context and never uses the surface. (The environment variable still overrides this.)
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // Where no display can be opened SDL falls back to its off-screen driver: windows there would
    // be made and "shown" while nobody sees them, so that driver is taken only when asked for.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver != nullptr && SDL_strcmp(driver, "offscreen") == 0 &&
        (asked == nullptr || SDL_strstr(asked, "offscreen") == nullptr)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_SetError("no display could be opened");
        return false;
    }
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    SDL_EventState(SDL_DROPBEGIN, SDL_ENABLE);
    SDL_EventState(SDL_DROPCOMPLETE, SDL_ENABLE);
    table.videoStarted = true;
    table.videoThread = V_GetCurrentThreadId();
    return true;
}

bool UserIsVideoThread() {
    WindowTable& table = Table();
    return table.videoStarted && table.videoThread == V_GetCurrentThreadId();
}

void UserReleaseVideoIfUnused() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    WindowTable& table = Table();
    if (!table.videoStarted || !table.windows.empty() || !table.classes.empty()) return;
    if (table.videoThread != V_GetCurrentThreadId()) return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    table.videoStarted = false;
    table.videoThread = 0;
}

V_ATOM V_RegisterClassExA(const V_WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName[0] == '\0')
        return 0;
    if (!UserEnsureVideo()) return 0;
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    std::string key = UpperName(windowClass->lpszClassName);
    auto& classes = Table().classes;
    if (classes.count(key) != 0) return 0;  // already registered
    UserClass& entry = classes[key];
    entry.definition = *windowClass;
    entry.name = windowClass->lpszClassName;
    entry.definition.lpszClassName = entry.name.c_str();
    return static_cast<V_ATOM>(0xC000 + classes.size());
}

V_BOOL V_UnregisterClassA(const char* className, V_HINSTANCE) {
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        std::string key = UpperName(className);
        for (auto& entry : Table().windows)
            if (UpperName(entry.second->className.c_str()) == key) return V_FALSE;
        if (Table().classes.erase(key) == 0) return V_FALSE;
    }
    UserReleaseVideoIfUnused();
    return V_TRUE;
}

V_HWND V_CreateWindowExA(V_DWORD exStyle, const char* className, const char* title, V_DWORD style,
                         int x, int y, int width, int height, V_HWND, V_HMENU, V_HINSTANCE,
                         void*) {
    V_HWND handle;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        WindowTable& table = Table();
        auto found = table.classes.find(UpperName(className));
        if (found == table.classes.end() || !UserIsVideoThread()) return nullptr;
        if (width < 1) width = 1;
        if (height < 1) height = 1;
        // Made for OpenGL so that the Direct3D device can draw into it; made again without
        // when OpenGL cannot be loaded (the software screen presents through SDL either way).
        std::string utf8 = TitleToUtf8(title);
        SDL_Window* sdl = nullptr;
        if (V_D3D9HardwareIsAllowed())
            sdl = SDL_CreateWindow(utf8.c_str(), x, y, width, height,
                                   SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
        if (sdl == nullptr)
            sdl = SDL_CreateWindow(utf8.c_str(), x, y, width, height, SDL_WINDOW_HIDDEN);
        if (sdl == nullptr) return nullptr;
        auto window = std::make_unique<UserWindow>();
        window->id = table.nextId++;
        window->sdl = sdl;
        window->sdlId = SDL_GetWindowID(sdl);
        window->className = found->second.name;
        window->procedure = found->second.definition.lpfnWndProc;
        window->style = style & ~V_WS_VISIBLE;
        window->exStyle = exStyle;
        window->rect = {x, y, x + width, y + height};
        window->threadId = V_GetCurrentThreadId();
        window->invalid = true;
        // A class this process has claimed is held by the claim; otherwise the window holds it.
        if (table.claims.count(UpperName(className)) == 0) window->lockFd = TakeClassLock(className);
        EndClassLook(UpperName(className));
        handle = UserHandle(window.get());
        table.windows[window->id] = std::move(window);
        if (table.windows.size() == 1) UserInstallCloseSignals();
    }
    V_SendMessageA(handle, V_WM_CREATE, 0, 0);
    if (!V_IsWindow(handle)) return nullptr;  // destroyed while being created
    if (style & V_WS_VISIBLE) V_ShowWindow(handle, V_SW_SHOW);
    return handle;
}

V_BOOL V_DestroyWindow(V_HWND handle) {
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr || window->destroying) return V_FALSE;
        window->destroying = true;
    }
    V_SendMessageA(handle, V_WM_DESTROY, 0, 0);
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        WindowTable& table = Table();
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr) return V_TRUE;
        SDL_DestroyWindow(window->sdl);
        if (window->lockFd >= 0) close(window->lockFd);
        if (table.activeId == window->id) table.activeId = 0;
        table.windows.erase(window->id);
        if (table.windows.empty()) {
            UserResetInputState();
            UserRemoveCloseSignals();
        }
    }
    return V_TRUE;
}

V_BOOL V_IsWindow(V_HWND handle) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    return UserFindWindow(handle) != nullptr ? V_TRUE : V_FALSE;
}

V_HWND V_FindWindowA(const char* className, const char*) {
    if (className == nullptr) return nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        std::string key = UpperName(className);
        for (auto& entry : Table().windows)
            if (!entry.second->destroying && UpperName(entry.second->className.c_str()) == key)
                return UserHandle(entry.second.get());
        // Looking and claiming are one step: of two programs that look at once, one finds the
        // other's claim.
        if (!ClaimClassLock(className)) return reinterpret_cast<V_HWND>(kForeignWindowId);
    }
    return nullptr;
}

void V_EndWindowClassLook(const char* className) {
    if (className == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    EndClassLook(UpperName(className));
}

void V_ReleaseWindowClassClaim(const char* className) {
    if (className == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    auto& claims = Table().claims;
    auto found = claims.find(UpperName(className));
    if (found == claims.end()) return;
    close(found->second);
    claims.erase(found);
}

void UserSetActiveWindow(UserWindow* window, bool active, bool send) {
    V_HWND handle;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        WindowTable& table = Table();
        if (active) {
            if (table.activeId == window->id) return;
            table.activeId = window->id;
        } else {
            if (table.activeId != window->id) return;
            table.activeId = 0;
        }
        handle = UserHandle(window);
    }
    // Activation tells the application first; deactivation tells the window first.
    V_UINT first = active ? V_WM_ACTIVATEAPP : V_WM_ACTIVATE;
    V_UINT second = active ? V_WM_ACTIVATE : V_WM_ACTIVATEAPP;
    V_WPARAM flag = active ? V_WA_ACTIVE : V_WA_INACTIVE;
    if (send) {
        V_SendMessageA(handle, first, flag, 0);
        V_SendMessageA(handle, second, flag, 0);
    } else {
        V_PostMessageA(handle, first, flag, 0);
        V_PostMessageA(handle, second, flag, 0);
    }
}

V_HWND UserGetActiveWindow() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    return reinterpret_cast<V_HWND>(Table().activeId);
}

V_BOOL V_ShowWindow(V_HWND handle, int command) {
    UserWindow* window;
    bool wasVisible, activate = false;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        window = UserFindWindow(handle);
        if (window == nullptr) return V_FALSE;
        wasVisible = window->visible;
        if (command == V_SW_HIDE) {
            SDL_HideWindow(window->sdl);
            window->visible = false;
        } else if (command == V_SW_MINIMIZE) {
            SDL_MinimizeWindow(window->sdl);
        } else {
            SDL_ShowWindow(window->sdl);
            window->visible = true;
            if (!window->shownOnce) {
                window->shownOnce = true;
                window->invalid = true;
                activate = true;
            }
        }
    }
    // The first showing activates the window, as the platform does for a new top-level window.
    if (activate) UserSetActiveWindow(window, true, true);
    return wasVisible ? V_TRUE : V_FALSE;
}

V_BOOL V_UpdateWindow(V_HWND handle) {
    bool due;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr) return V_FALSE;
        due = window->invalid && window->visible;
    }
    if (due) V_SendMessageA(handle, V_WM_PAINT, 0, 0);
    return V_TRUE;
}

V_BOOL V_InvalidateRect(V_HWND handle, const V_RECT*, V_BOOL) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr) return V_FALSE;
    window->invalid = true;
    return V_TRUE;
}

V_BOOL V_AdjustWindowRectEx(V_RECT* rect, V_DWORD, V_BOOL, V_DWORD) {
    return rect != nullptr ? V_TRUE : V_FALSE;  // no frame: the rectangle stays as it is
}

V_BOOL V_GetWindowRect(V_HWND handle, V_RECT* rect) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr || rect == nullptr) return V_FALSE;
    *rect = window->rect;
    return V_TRUE;
}

V_BOOL V_GetClientRect(V_HWND handle, V_RECT* rect) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr || rect == nullptr) return V_FALSE;
    *rect = {0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return V_TRUE;
}

V_BOOL V_ClientToScreen(V_HWND handle, V_POINT* point) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr || point == nullptr) return V_FALSE;
    point->x += window->rect.left;
    point->y += window->rect.top;
    return V_TRUE;
}

V_BOOL V_MoveWindow(V_HWND handle, int x, int y, int width, int height, V_BOOL) {
    if (!V_IsWindow(handle)) return V_FALSE;
    ApplyGeometry(handle, x, y, width, height, true, true);
    return V_TRUE;
}

V_BOOL V_SetWindowPos(V_HWND handle, V_HWND insertAfter, int x, int y, int width, int height,
                      V_UINT flags) {
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        UserWindow* window = UserFindWindow(handle);
        if (window == nullptr) return V_FALSE;
        if (!(flags & V_SWP_NOZORDER)) {
            if (insertAfter == V_HWND_TOPMOST) {
                window->exStyle |= V_WS_EX_TOPMOST;
                SDL_SetWindowAlwaysOnTop(window->sdl, SDL_TRUE);
            } else if (insertAfter == V_HWND_NOTOPMOST) {
                window->exStyle &= ~V_WS_EX_TOPMOST;
                SDL_SetWindowAlwaysOnTop(window->sdl, SDL_FALSE);
            } else if (insertAfter == V_HWND_TOP && window->visible) {
                SDL_RaiseWindow(window->sdl);
            }
        }
    }
    ApplyGeometry(handle, x, y, width, height, !(flags & V_SWP_NOMOVE), !(flags & V_SWP_NOSIZE));
    return V_TRUE;
}

V_LONG V_SetWindowLongA(V_HWND handle, int index, V_LONG value) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr) return 0;
    V_DWORD previous;
    if (index == V_GWL_STYLE) {
        previous = window->style | (window->visible ? V_WS_VISIBLE : 0);
        window->style = static_cast<V_DWORD>(value) & ~V_WS_VISIBLE;
        SDL_SetWindowBordered(window->sdl, (window->style & V_WS_CAPTION) ? SDL_TRUE : SDL_FALSE);
    } else if (index == V_GWL_EXSTYLE) {
        previous = window->exStyle;
        window->exStyle = static_cast<V_DWORD>(value);
    } else {
        return 0;
    }
    return static_cast<V_LONG>(previous);
}

V_LONG V_GetWindowLongA(V_HWND handle, int index) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr) return 0;
    if (index == V_GWL_STYLE)
        return static_cast<V_LONG>(window->style | (window->visible ? V_WS_VISIBLE : 0));
    if (index == V_GWL_EXSTYLE) return static_cast<V_LONG>(window->exStyle);
    return 0;
}

V_BOOL V_BringWindowToTop(V_HWND handle) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr) return V_FALSE;
    if (window->visible) SDL_RaiseWindow(window->sdl);
    return V_TRUE;
}

V_HWND V_SetActiveWindow(V_HWND handle) {
    V_HWND previous = UserGetActiveWindow();
    UserWindow* window;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        window = UserFindWindow(handle);
        if (window == nullptr) return nullptr;
    }
    UserSetActiveWindow(window, true, true);
    return previous;
}

V_HWND V_GetForegroundWindow() { return UserGetActiveWindow(); }

V_BOOL V_SetForegroundWindow(V_HWND handle) {
    if (!V_BringWindowToTop(handle)) return V_FALSE;
    V_SetActiveWindow(handle);
    return V_TRUE;
}

V_DWORD V_GetWindowThreadProcessId(V_HWND handle, V_DWORD* processId) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFindWindow(handle);
    if (window == nullptr) return 0;
    if (processId != nullptr) *processId = static_cast<V_DWORD>(getpid());
    return window->threadId;
}

V_BOOL V_AttachThreadInput(V_DWORD, V_DWORD, V_BOOL) { return V_TRUE; }
