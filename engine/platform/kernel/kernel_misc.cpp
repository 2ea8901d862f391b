// Last error, clocks and calendar time, the process heap, version and memory information,
// and debugger output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <time.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel_objects.h"

namespace {

thread_local V_DWORD t_LastError = V_ERROR_SUCCESS;

int64_t MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void FillSystemTime(const tm& calendar, long milliseconds, V_SYSTEMTIME* time) {
    time->wYear = static_cast<V_WORD>(calendar.tm_year + 1900);
    time->wMonth = static_cast<V_WORD>(calendar.tm_mon + 1);
    time->wDayOfWeek = static_cast<V_WORD>(calendar.tm_wday);
    time->wDay = static_cast<V_WORD>(calendar.tm_mday);
    time->wHour = static_cast<V_WORD>(calendar.tm_hour);
    time->wMinute = static_cast<V_WORD>(calendar.tm_min);
    time->wSecond = static_cast<V_WORD>(calendar.tm_sec);
    time->wMilliseconds = static_cast<V_WORD>(milliseconds);
}

void CurrentTime(V_SYSTEMTIME* time, bool local) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm calendar;
    if (local)
        localtime_r(&now.tv_sec, &calendar);
    else
        gmtime_r(&now.tv_sec, &calendar);
    FillSystemTime(calendar, now.tv_nsec / 1000000, time);
}

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

uint64_t Ticks(const V_FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Blocks of the process heap carry their size in front, so a zeroing re-allocation knows
// which bytes are new. 16 bytes keep the data 16-byte aligned.
constexpr size_t kHeapPrefix = 16;

}  // namespace

V_DWORD V_GetLastError() {
    return t_LastError;
}

void V_SetLastError(V_DWORD error) {
    t_LastError = error;
}

// ---- Clocks ----

// The counter counts nanoseconds of the monotonic clock.
V_BOOL V_QueryPerformanceCounter(V_LARGE_INTEGER* counter) {
    if (counter == nullptr) return V_FALSE;
    counter->QuadPart = MonotonicNanoseconds();
    return V_TRUE;
}

V_BOOL V_QueryPerformanceFrequency(V_LARGE_INTEGER* frequency) {
    if (frequency == nullptr) return V_FALSE;
    frequency->QuadPart = 1000000000LL;
    return V_TRUE;
}

V_DWORD V_GetTickCount() {
    return static_cast<V_DWORD>(MonotonicNanoseconds() / 1000000);
}

void V_GetLocalTime(V_SYSTEMTIME* time) {
    CurrentTime(time, true);
}

void V_GetSystemTime(V_SYSTEMTIME* time) {
    CurrentTime(time, false);
}

V_BOOL V_FileTimeToLocalFileTime(const V_FILETIME* fileTime, V_FILETIME* localTime) {
    if (fileTime == nullptr || localTime == nullptr) return V_FALSE;
    uint64_t ticks = Ticks(*fileTime);
    time_t seconds =
        static_cast<time_t>(static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970);
    tm calendar;
    if (localtime_r(&seconds, &calendar) == nullptr) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_FALSE;
    }
    int64_t shifted =
        static_cast<int64_t>(ticks) + static_cast<int64_t>(calendar.tm_gmtoff) * kTicksPerSecond;
    if (shifted < 0) shifted = 0;
    localTime->dwLowDateTime = static_cast<V_DWORD>(shifted);
    localTime->dwHighDateTime = static_cast<V_DWORD>(static_cast<uint64_t>(shifted) >> 32);
    return V_TRUE;
}

V_BOOL V_FileTimeToSystemTime(const V_FILETIME* fileTime, V_SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) return V_FALSE;
    uint64_t ticks = Ticks(*fileTime);
    if (ticks > 0x7FFFFFFFFFFFFFFFull) {  // the platform refuses the upper half
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_FALSE;
    }
    time_t seconds =
        static_cast<time_t>(static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970);
    tm calendar;
    if (gmtime_r(&seconds, &calendar) == nullptr) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_FALSE;
    }
    FillSystemTime(calendar, static_cast<long>((ticks % kTicksPerSecond) / 10000), systemTime);
    return V_TRUE;
}

// ---- Process heap ----

V_HANDLE V_GetProcessHeap() {
    return V_PSEUDO_PROCESS_HEAP;
}

void* V_HeapAlloc(V_HANDLE /*heap*/, V_DWORD flags, size_t size) {
    if (size > SIZE_MAX - kHeapPrefix) return nullptr;
    unsigned char* block = static_cast<unsigned char*>(
        (flags & V_HEAP_ZERO_MEMORY) ? calloc(1, size + kHeapPrefix) : malloc(size + kHeapPrefix));
    if (block == nullptr) return nullptr;
    memcpy(block, &size, sizeof(size));
    return block + kHeapPrefix;
}

void* V_HeapReAlloc(V_HANDLE /*heap*/, V_DWORD flags, void* data, size_t size) {
    if (data == nullptr || size > SIZE_MAX - kHeapPrefix) return nullptr;
    unsigned char* block = static_cast<unsigned char*>(data) - kHeapPrefix;
    size_t oldSize;
    memcpy(&oldSize, block, sizeof(oldSize));
    unsigned char* moved = static_cast<unsigned char*>(realloc(block, size + kHeapPrefix));
    if (moved == nullptr) return nullptr;  // the old block stays valid
    if ((flags & V_HEAP_ZERO_MEMORY) && size > oldSize)
        memset(moved + kHeapPrefix + oldSize, 0, size - oldSize);
    memcpy(moved, &size, sizeof(size));
    return moved + kHeapPrefix;
}

V_BOOL V_HeapFree(V_HANDLE /*heap*/, V_DWORD /*flags*/, void* data) {
    if (data != nullptr) free(static_cast<unsigned char*>(data) - kHeapPrefix);
    return V_TRUE;
}

// ---- System information ----

// Reports an NT-family system, version 6.1 (the newest the library tells apart). The build
// number comes from the kernel release (major * 10000 + minor * 100 + patch, e.g. 6.1.55
// gives 60155) and the service-pack text names the kernel ("Linux 6.1.0-18-amd64").
V_BOOL V_GetVersionExA(V_OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(V_OSVERSIONINFOA)) {
        V_SetLastError(V_ERROR_INSUFFICIENT_BUFFER);
        return V_FALSE;
    }
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwPlatformId = V_VER_PLATFORM_WIN32_NT;
    info->dwBuildNumber = 0;
    info->szCSDVersion[0] = '\0';
    utsname system;
    if (uname(&system) == 0) {
        unsigned major = 0, minor = 0, patch = 0;
        sscanf(system.release, "%u.%u.%u", &major, &minor, &patch);
        info->dwBuildNumber = (major % 1000) * 10000 + (minor % 100) * 100 + (patch % 100);
        std::string text = std::string(system.sysname) + " " + system.release;
        size_t length = std::min(text.size(), sizeof(info->szCSDVersion) - 1);
        memcpy(info->szCSDVersion, text.c_str(), length);
        info->szCSDVersion[length] = '\0';
    }
    return V_TRUE;
}

// Physical memory from the kernel; "available" counts free memory and buffers. The page
// file is memory plus swap; the virtual space is the 47-bit user address space.
void V_GlobalMemoryStatus(V_MEMORYSTATUS* status) {
    if (status == nullptr) return;
    struct sysinfo system;
    memset(status, 0, sizeof(*status));
    status->dwLength = sizeof(*status);
    if (sysinfo(&system) != 0) return;
    size_t unit = system.mem_unit != 0 ? system.mem_unit : 1;
    status->dwTotalPhys = system.totalram * unit;
    status->dwAvailPhys = (system.freeram + system.bufferram) * unit;
    status->dwTotalPageFile = (system.totalram + system.totalswap) * unit;
    status->dwAvailPageFile = (system.freeram + system.bufferram + system.freeswap) * unit;
    status->dwTotalVirtual = static_cast<size_t>(1) << 47;
    status->dwAvailVirtual = status->dwTotalVirtual;
    if (status->dwTotalPhys > 0)
        status->dwMemoryLoad =
            static_cast<V_DWORD>(100 - status->dwAvailPhys * 100 / status->dwTotalPhys);
}

void V_OutputDebugStringA(const char* text) {
    const char* enabled = getenv("VELK_DEBUG_OUTPUT");
    if (text == nullptr || enabled == nullptr || enabled[0] == '\0' || strcmp(enabled, "0") == 0)
        return;
    std::string converted;
    if (!Cp932ToUtf8String(text, converted))
        converted = text;  // show the bytes rather than nothing
    fputs(converted.c_str(), stderr);
    fflush(stderr);
}
