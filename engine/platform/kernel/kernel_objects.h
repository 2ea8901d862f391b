// Kernel objects behind the opaque V_HANDLE: a tagged object kept in a handle table by
// shared ownership, so a waiter that holds an object keeps it alive when its handle is closed.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

enum class KernelObjectKind { File, Find, Thread, Event };

struct KernelObject {
    explicit KernelObject(KernelObjectKind kind) : kind(kind) {}
    virtual ~KernelObject() = default;
    const KernelObjectKind kind;
};

struct FileObject : KernelObject {
    FileObject() : KernelObject(KernelObjectKind::File) {}
    ~FileObject() override;
    int fd = -1;
};

struct FindObject : KernelObject {
    FindObject() : KernelObject(KernelObjectKind::Find) {}
    std::string directory;           // Linux path of the searched folder, ends with '/'
    std::vector<std::string> names;  // matching entries (UTF-8), sorted
    size_t next = 0;
};

struct KernelWaiter;  // a thread inside a wait (kernel_sync.cpp)

// Events and threads: their states and the lists of threads waiting on them are guarded by
// WaitLock(), which is held for short steps only, never while a thread sleeps. Each waiting
// thread sleeps on a wake-up of its own, which only the objects it waits on set off, so an
// idle waiter costs the other threads nothing.
struct WaitableObject : KernelObject {
    using KernelObject::KernelObject;
    bool signalled = false;
    bool manualReset = true;             // threads stay signalled once ended
    std::vector<KernelWaiter*> waiters;  // threads waiting on this object, first come first
};

struct EventObject : WaitableObject {
    EventObject() : WaitableObject(KernelObjectKind::Event) {}
};

struct ThreadObject : WaitableObject {
    ThreadObject() : WaitableObject(KernelObjectKind::Thread) {}
    V_LPTHREAD_START_ROUTINE start = nullptr;
    void* parameter = nullptr;
    V_DWORD id = 0;
    V_DWORD suspendCount = 0;
    V_DWORD exitCode = V_STILL_ACTIVE;
    int priority = V_THREAD_PRIORITY_NORMAL;
    std::condition_variable resumed;  // a suspended start waits on it
};

std::mutex& WaitLock();

// Puts an object into the handle table; returns null when the table cannot grow.
V_HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object);
// The object behind a handle when it is open and of the kind asked, else null (last error set).
std::shared_ptr<KernelObject> LookupKernelObject(V_HANDLE handle);
template <typename T>
std::shared_ptr<T> LookupKernelObject(V_HANDLE handle, KernelObjectKind kind) {
    std::shared_ptr<KernelObject> object = LookupKernelObject(handle);
    if (!object || object->kind != kind) {
        V_SetLastError(V_ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
// Takes the object out of the table; false when the handle was not open.
bool ReleaseKernelObject(V_HANDLE handle);

// The pseudo handles of the process heap and the current thread (not in the table).
#define V_PSEUDO_PROCESS_HEAP (reinterpret_cast<V_HANDLE>(static_cast<intptr_t>(-3)))
#define V_PSEUDO_CURRENT_THREAD (reinterpret_cast<V_HANDLE>(static_cast<intptr_t>(-2)))

// Errors of the C library as the platform's error codes.
V_DWORD ErrorFromErrno(int error);

// Seconds and nanoseconds since 1970 as a file time (100 ns since 1601).
V_FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// The error of a failed lookup of a Linux path: file not found, or path not found when the
// folder that should hold it is missing.
V_DWORD MissingPathError(const std::string& linuxPath);
