// Stand-ins for the kernel services the library uses: files, find searches, directories,
// temporary files, threads, events, critical sections, sleeping, the performance counter,
// the process heap, version and memory information, local time and debugger output.
// Built on POSIX and the C++ standard library.
#pragma once

#include "platform/types.h"

// ---- Errors ----
constexpr V_DWORD V_ERROR_SUCCESS = 0;
constexpr V_DWORD V_ERROR_FILE_NOT_FOUND = 2;
constexpr V_DWORD V_ERROR_PATH_NOT_FOUND = 3;
constexpr V_DWORD V_ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr V_DWORD V_ERROR_ACCESS_DENIED = 5;
constexpr V_DWORD V_ERROR_INVALID_HANDLE = 6;
constexpr V_DWORD V_ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr V_DWORD V_ERROR_NO_MORE_FILES = 18;
constexpr V_DWORD V_ERROR_FILE_EXISTS = 80;
constexpr V_DWORD V_ERROR_INVALID_PARAMETER = 87;
constexpr V_DWORD V_ERROR_ALREADY_EXISTS = 183;
constexpr V_DWORD V_ERROR_BUFFER_OVERFLOW = 111;
constexpr V_DWORD V_ERROR_DISK_FULL = 112;
constexpr V_DWORD V_ERROR_INSUFFICIENT_BUFFER = 122;
constexpr V_DWORD V_ERROR_INVALID_NAME = 123;
constexpr V_DWORD V_ERROR_NEGATIVE_SEEK = 131;
constexpr V_DWORD V_ERROR_DIR_NOT_EMPTY = 145;
constexpr V_DWORD V_ERROR_FILENAME_EXCED_RANGE = 206;
V_DWORD V_GetLastError();
void V_SetLastError(V_DWORD error);

// ---- Files ----
constexpr V_DWORD V_GENERIC_READ = 0x80000000u;
constexpr V_DWORD V_GENERIC_WRITE = 0x40000000u;
constexpr V_DWORD V_FILE_SHARE_READ = 0x1;
constexpr V_DWORD V_FILE_SHARE_WRITE = 0x2;
constexpr V_DWORD V_CREATE_NEW = 1;
constexpr V_DWORD V_CREATE_ALWAYS = 2;
constexpr V_DWORD V_OPEN_EXISTING = 3;
constexpr V_DWORD V_OPEN_ALWAYS = 4;
constexpr V_DWORD V_TRUNCATE_EXISTING = 5;
constexpr V_DWORD V_FILE_ATTRIBUTE_READONLY = 0x01;
constexpr V_DWORD V_FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr V_DWORD V_FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr V_DWORD V_FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr V_DWORD V_FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr V_DWORD V_FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr V_DWORD V_FILE_BEGIN = 0;
constexpr V_DWORD V_FILE_CURRENT = 1;
constexpr V_DWORD V_FILE_END = 2;
constexpr V_DWORD V_INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr V_DWORD V_INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr V_DWORD V_INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Names are code page 932; '\' and '/' both separate; a name missing as written is looked up
// again component by component without regard to case; a drive prefix ("C:") is dropped,
// and a leading separator starts an absolute Linux path (see platform/file_names.h).
// Security attributes are ignored, sharing modes accepted but not enforced, and a template
// file must be null.
V_HANDLE V_CreateFileA(const char* name, V_DWORD access, V_DWORD share, void* security,
                       V_DWORD creation, V_DWORD flags, V_HANDLE templateFile);
V_BOOL V_ReadFile(V_HANDLE file, void* buffer, V_DWORD toRead, V_DWORD* read, void* overlapped);
V_BOOL V_WriteFile(V_HANDLE file, const void* buffer, V_DWORD toWrite, V_DWORD* written,
                   void* overlapped);
V_DWORD V_SetFilePointer(V_HANDLE file, V_LONG distance, V_LONG* distanceHigh, V_DWORD method);
V_DWORD V_GetFileSize(V_HANDLE file, V_DWORD* sizeHigh);
V_BOOL V_GetFileTime(V_HANDLE file, V_FILETIME* creation, V_FILETIME* access, V_FILETIME* write);
V_BOOL V_FlushFileBuffers(V_HANDLE file);
V_BOOL V_DeleteFileA(const char* name);
V_DWORD V_GetFileAttributesA(const char* name);
V_BOOL V_CreateDirectoryA(const char* name, void* security);
V_BOOL V_RemoveDirectoryA(const char* name);

struct V_WIN32_FIND_DATAA {
    V_DWORD dwFileAttributes;
    V_FILETIME ftCreationTime;
    V_FILETIME ftLastAccessTime;
    V_FILETIME ftLastWriteTime;
    V_DWORD nFileSizeHigh;
    V_DWORD nFileSizeLow;
    V_DWORD dwReserved0;
    V_DWORD dwReserved1;
    char cFileName[V_MAX_PATH];
    char cAlternateFileName[14];
};
// The pattern's last component may hold '*' and '?'; names come back in code page 932.
V_HANDLE V_FindFirstFileA(const char* pattern, V_WIN32_FIND_DATAA* data);
V_BOOL V_FindNextFileA(V_HANDLE find, V_WIN32_FIND_DATAA* data);
V_BOOL V_FindClose(V_HANDLE find);

// Directories are reported in Windows form on the way out only when asked; the current
// directory is the process's real one, in code page 932 with '/' separators as on Linux.
V_DWORD V_GetCurrentDirectoryA(V_DWORD size, char* buffer);
V_BOOL V_SetCurrentDirectoryA(const char* name);
// TMPDIR when it names a folder, else "/tmp", always ending with '/'.
V_DWORD V_GetTempPathA(V_DWORD size, char* buffer);
// Makes the file atomically when unique is 0 and returns the number used, 0 on failure.
V_UINT V_GetTempFileNameA(const char* path, const char* prefix, V_UINT unique, char* name);
V_DWORD V_GetModuleFileNameA(V_HMODULE module, char* buffer, V_DWORD size);

// Every kernel handle (file, find, thread, event) is closed here.
V_BOOL V_CloseHandle(V_HANDLE handle);

// ---- Threads and synchronisation ----
typedef V_DWORD (*V_LPTHREAD_START_ROUTINE)(void* parameter);
constexpr V_DWORD V_CREATE_SUSPENDED = 0x4;
constexpr int V_THREAD_PRIORITY_LOWEST = -2;
constexpr int V_THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int V_THREAD_PRIORITY_NORMAL = 0;
constexpr int V_THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int V_THREAD_PRIORITY_HIGHEST = 2;
constexpr int V_THREAD_PRIORITY_TIME_CRITICAL = 15;

V_HANDLE V_CreateThread(void* security, size_t stackSize, V_LPTHREAD_START_ROUTINE start,
                        void* parameter, V_DWORD flags, V_DWORD* threadId);
V_DWORD V_ResumeThread(V_HANDLE thread);
V_BOOL V_SetThreadPriority(V_HANDLE thread, int priority);
V_BOOL V_GetExitCodeThread(V_HANDLE thread, V_DWORD* code);
V_DWORD V_GetCurrentThreadId();
V_HANDLE V_GetCurrentThread();
constexpr V_DWORD V_STILL_ACTIVE = 259;

constexpr V_DWORD V_INFINITE = 0xFFFFFFFFu;
constexpr V_DWORD V_WAIT_OBJECT_0 = 0;
constexpr V_DWORD V_WAIT_TIMEOUT = 258;
constexpr V_DWORD V_WAIT_FAILED = 0xFFFFFFFFu;

V_HANDLE V_CreateEventA(void* security, V_BOOL manualReset, V_BOOL initialState, const char* name);
V_BOOL V_SetEvent(V_HANDLE event);
V_BOOL V_ResetEvent(V_HANDLE event);
// Waits on an event (signalled state) or a thread (ended).
V_DWORD V_WaitForSingleObject(V_HANDLE handle, V_DWORD milliseconds);
V_DWORD V_WaitForMultipleObjects(V_DWORD count, const V_HANDLE* handles, V_BOOL waitAll,
                                 V_DWORD milliseconds);

// A recursive lock. The storage is large enough for the platform's mutex.
struct V_CRITICAL_SECTION {
    alignas(16) unsigned char storage[64];
};
void V_InitializeCriticalSection(V_CRITICAL_SECTION* section);
void V_DeleteCriticalSection(V_CRITICAL_SECTION* section);
void V_EnterCriticalSection(V_CRITICAL_SECTION* section);
V_BOOL V_TryEnterCriticalSection(V_CRITICAL_SECTION* section);
void V_LeaveCriticalSection(V_CRITICAL_SECTION* section);

void V_Sleep(V_DWORD milliseconds);

// ---- Clocks ----
V_BOOL V_QueryPerformanceCounter(V_LARGE_INTEGER* counter);
V_BOOL V_QueryPerformanceFrequency(V_LARGE_INTEGER* frequency);
V_DWORD V_GetTickCount();
void V_GetLocalTime(V_SYSTEMTIME* time);
void V_GetSystemTime(V_SYSTEMTIME* time);
V_BOOL V_FileTimeToLocalFileTime(const V_FILETIME* fileTime, V_FILETIME* localTime);
V_BOOL V_FileTimeToSystemTime(const V_FILETIME* fileTime, V_SYSTEMTIME* systemTime);

// ---- Process heap ----
constexpr V_DWORD V_HEAP_ZERO_MEMORY = 0x8;
V_HANDLE V_GetProcessHeap();
void* V_HeapAlloc(V_HANDLE heap, V_DWORD flags, size_t size);
// With V_HEAP_ZERO_MEMORY the bytes beyond the old size read as zero.
void* V_HeapReAlloc(V_HANDLE heap, V_DWORD flags, void* block, size_t size);
V_BOOL V_HeapFree(V_HANDLE heap, V_DWORD flags, void* block);

// ---- System information ----
struct V_OSVERSIONINFOA {
    V_DWORD dwOSVersionInfoSize;
    V_DWORD dwMajorVersion;
    V_DWORD dwMinorVersion;
    V_DWORD dwBuildNumber;
    V_DWORD dwPlatformId;
    char szCSDVersion[128];
};
constexpr V_DWORD V_VER_PLATFORM_WIN32_NT = 2;
// Reports platform NT, version 6.1, a build number from the kernel release (major * 10000 +
// minor * 100 + patch) and the kernel's name and release as the service-pack text.
V_BOOL V_GetVersionExA(V_OSVERSIONINFOA* info);

struct V_MEMORYSTATUS {
    V_DWORD dwLength;
    V_DWORD dwMemoryLoad;
    size_t dwTotalPhys;
    size_t dwAvailPhys;
    size_t dwTotalPageFile;
    size_t dwAvailPageFile;
    size_t dwTotalVirtual;
    size_t dwAvailVirtual;
};
void V_GlobalMemoryStatus(V_MEMORYSTATUS* status);

// Sends code-page-932 text to stderr (as UTF-8) when the environment variable
// VELK_DEBUG_OUTPUT is set to a non-empty value other than "0"; otherwise does nothing.
void V_OutputDebugStringA(const char* text);

// ---- Code page 932 ----
// Conversions at the layer's edge. Both return false when the output does not fit or the
// input is not valid in its encoding; the output is always NUL-terminated when size > 0.
bool V_Cp932ToUtf8(const char* in, char* out, size_t outSize);
bool V_Utf8ToCp932(const char* in, char* out, size_t outSize);
// UTF-8 text from the system (device names) in code page 932, never refused: a character the
// code page cannot write becomes its plain letter (accented Latin letters) or '?', as does a
// byte that is not UTF-8; the text is cut after the last whole character that fits.
void V_Utf8ToCp932Replacing(const char* in, char* out, size_t outSize);
// Typed or pasted text in code page 932, as the system converts it: every character the code
// page can write arrives, each one it cannot (or a byte that is not UTF-8) becomes one '?'.
void V_Utf8ToCp932WithDefault(const char* in, char* out, size_t outSize);
// Code page 932 (the system's code page) to UTF-16 and back. A length of -1 takes the text up
// to and with its NUL; an output size of 0 asks for the size needed. Both give the number of
// units written (with the NUL when it was taken), 0 on failure or when the output is short.
typedef char16_t V_WCHAR;
constexpr V_UINT V_CP_ACP = 0;
int V_MultiByteToWideChar(V_UINT codePage, V_DWORD flags, const char* in, int inLength,
                          V_WCHAR* out, int outSize);
int V_WideCharToMultiByte(V_UINT codePage, V_DWORD flags, const V_WCHAR* in, int inLength,
                          char* out, int outSize, const char* defaultChar, V_BOOL* usedDefault);

// ---- Modules ----
// The platform libraries the library looks up functions in by name; only those the library
// asks for are known ("DSOUND.DLL", "d3d9.dll"). Names compare without regard to case.
typedef void (*V_FARPROC)();
V_HMODULE V_LoadLibraryA(const char* name);
V_FARPROC V_GetProcAddress(V_HMODULE module, const char* name);
V_BOOL V_FreeLibrary(V_HMODULE module);
