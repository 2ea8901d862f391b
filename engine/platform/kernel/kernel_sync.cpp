// Threads, events, waits, critical sections and sleeping.
// The states of events and threads are read and changed under one short-held lock, which makes
// waits on several objects exact; a waiting thread sleeps on a condition variable of its own and
// is woken only when an object it waits on hands it its signal, so idle waiters (one reader thread
// per threaded file and archive) cost the threads that work nothing.
#include <algorithm>
#include <atomic>
#include <condition_variable>  // with the clocks; <chrono> itself does not build with the code page 932 literals
#include <mutex>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include "platform/kernel/kernel_objects.h"

namespace {

std::atomic<V_DWORD> g_NextThreadId{1};
thread_local V_DWORD t_ThreadId = 0;

// Takes the signal when the objects are signalled (all of them, or any), resetting the
// auto-reset events it consumes; false when the wait must go on.
bool TakeSignal(std::vector<std::shared_ptr<WaitableObject>>& objects, bool waitAll,
                V_DWORD& result) {
    if (waitAll) {
        for (auto& object : objects)
            if (!object->signalled) return false;
        for (auto& object : objects)
            if (!object->manualReset) object->signalled = false;
        result = V_WAIT_OBJECT_0;
        return true;
    }
    for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->signalled) {
            if (!objects[i]->manualReset) objects[i]->signalled = false;
            result = V_WAIT_OBJECT_0 + static_cast<V_DWORD>(i);
            return true;
        }
    }
    return false;
}

}  // namespace

// A thread inside a wait: the objects it waits on, whether on all of them, and its wake-up.
// It lives on the waiting thread's stack and is listed in each of its objects while it sleeps.
struct KernelWaiter {
    KernelWaiter(std::vector<std::shared_ptr<WaitableObject>>& objects, bool waitAll)
        : objects(objects), waitAll(waitAll) {}
    std::vector<std::shared_ptr<WaitableObject>>& objects;
    bool waitAll;
    bool satisfied = false;  // the wait is over with result; set under the wait lock
    V_DWORD result = V_WAIT_TIMEOUT;
    std::condition_variable wake;
};

namespace {

// Hands a newly signalled object to its waiters, first come first, while it stays signalled:
// each waiter whose wait it completes takes its signals (an auto-reset event goes to one waiter
// only) and is woken. Called under the wait lock.
void PassSignal(WaitableObject& object) {
    for (KernelWaiter* waiter : object.waiters) {
        if (!object.signalled) break;
        if (waiter->satisfied) continue;
        if (TakeSignal(waiter->objects, waiter->waitAll, waiter->result)) {
            waiter->satisfied = true;
            waiter->wake.notify_one();  // under the lock: the waiter cannot leave before it
        }
    }
}

void* RunThread(void* argument) {
    // The thread holds its own reference: the record stays while it runs, handle or not.
    std::shared_ptr<ThreadObject> owner =
        std::move(*static_cast<std::shared_ptr<ThreadObject>*>(argument));
    delete static_cast<std::shared_ptr<ThreadObject>*>(argument);
    t_ThreadId = owner->id;
    {
        std::unique_lock<std::mutex> lock(WaitLock());
        owner->resumed.wait(lock, [&] { return owner->suspendCount == 0; });
    }
    V_DWORD code = owner->start(owner->parameter);
    std::lock_guard<std::mutex> lock(WaitLock());
    owner->exitCode = code;
    owner->signalled = true;
    PassSignal(*owner);
    return nullptr;
}

bool IsWaitable(const std::shared_ptr<KernelObject>& object) {
    return object &&
           (object->kind == KernelObjectKind::Event || object->kind == KernelObjectKind::Thread);
}

// Waits until the objects are signalled (all, or any) or the time is up. A wait that cannot
// be met at once lists itself in each object and sleeps until one of them hands it the signal.
V_DWORD WaitForObjects(std::vector<std::shared_ptr<WaitableObject>>& objects, bool waitAll,
                       V_DWORD milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(WaitLock());
    V_DWORD result;
    if (TakeSignal(objects, waitAll, result)) return result;
    if (milliseconds == 0) return V_WAIT_TIMEOUT;
    KernelWaiter waiter(objects, waitAll);
    for (auto& object : objects) object->waiters.push_back(&waiter);
    const auto handed = [&waiter] { return waiter.satisfied; };
    if (milliseconds == V_INFINITE)
        waiter.wake.wait(lock, handed);
    else
        waiter.wake.wait_until(lock, deadline, handed);
    for (auto& object : objects) {
        std::vector<KernelWaiter*>& list = object->waiters;
        list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
    }
    return waiter.result;  // V_WAIT_TIMEOUT unless an object handed it the signal
}

std::recursive_mutex* SectionMutex(V_CRITICAL_SECTION* section) {
    static_assert(sizeof(std::recursive_mutex) <= sizeof(section->storage));
    static_assert(alignof(std::recursive_mutex) <= alignof(V_CRITICAL_SECTION));
    return std::launder(reinterpret_cast<std::recursive_mutex*>(section->storage));
}

}  // namespace

V_HANDLE V_CreateThread(void* /*security*/, size_t stackSize, V_LPTHREAD_START_ROUTINE start,
                        void* parameter, V_DWORD flags, V_DWORD* threadId) {
    if (start == nullptr) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->start = start;
    thread->parameter = parameter;
    thread->id = g_NextThreadId.fetch_add(1);
    thread->suspendCount = (flags & V_CREATE_SUSPENDED) ? 1 : 0;
    V_HANDLE handle = RegisterKernelObject(thread);
    if (handle == nullptr) return nullptr;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize >= static_cast<size_t>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attributes, stackSize);
    auto* reference = new std::shared_ptr<ThreadObject>(thread);
    pthread_t system;
    int result = pthread_create(&system, &attributes, RunThread, reference);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete reference;
        ReleaseKernelObject(handle);
        V_SetLastError(V_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId != nullptr) *threadId = thread->id;
    return handle;
}

V_DWORD V_ResumeThread(V_HANDLE handle) {
    auto thread = LookupKernelObject<ThreadObject>(handle, KernelObjectKind::Thread);
    if (!thread) return 0xFFFFFFFFu;
    V_DWORD previous;
    {
        std::lock_guard<std::mutex> lock(WaitLock());
        previous = thread->suspendCount;
        if (thread->suspendCount > 0) --thread->suspendCount;
        if (previous == 1) thread->resumed.notify_one();
    }
    return previous;
}

// Priorities are accepted and kept: raising a thread's priority needs privileges an
// ordinary user does not have, and the library's threads work at any priority.
V_BOOL V_SetThreadPriority(V_HANDLE handle, int priority) {
    if (handle == V_PSEUDO_CURRENT_THREAD) return V_TRUE;
    auto thread = LookupKernelObject<ThreadObject>(handle, KernelObjectKind::Thread);
    if (!thread) return V_FALSE;
    std::lock_guard<std::mutex> lock(WaitLock());
    thread->priority = priority;
    return V_TRUE;
}

V_BOOL V_GetExitCodeThread(V_HANDLE handle, V_DWORD* code) {
    auto thread = LookupKernelObject<ThreadObject>(handle, KernelObjectKind::Thread);
    if (!thread || code == nullptr) return V_FALSE;
    std::lock_guard<std::mutex> lock(WaitLock());
    *code = thread->exitCode;
    return V_TRUE;
}

V_DWORD V_GetCurrentThreadId() {
    if (t_ThreadId == 0) t_ThreadId = g_NextThreadId.fetch_add(1);
    return t_ThreadId;
}

V_HANDLE V_GetCurrentThread() {
    return V_PSEUDO_CURRENT_THREAD;
}

V_HANDLE V_CreateEventA(void* /*security*/, V_BOOL manualReset, V_BOOL initialState,
                        const char* name) {
    if (name != nullptr) {  // named events are shared between processes: not offered
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto event = std::make_shared<EventObject>();
    event->manualReset = manualReset != V_FALSE;
    event->signalled = initialState != V_FALSE;
    return RegisterKernelObject(std::move(event));
}

V_BOOL V_SetEvent(V_HANDLE handle) {
    auto event = LookupKernelObject<EventObject>(handle, KernelObjectKind::Event);
    if (!event) return V_FALSE;
    std::lock_guard<std::mutex> lock(WaitLock());
    event->signalled = true;
    PassSignal(*event);
    return V_TRUE;
}

V_BOOL V_ResetEvent(V_HANDLE handle) {
    auto event = LookupKernelObject<EventObject>(handle, KernelObjectKind::Event);
    if (!event) return V_FALSE;
    std::lock_guard<std::mutex> lock(WaitLock());
    event->signalled = false;
    return V_TRUE;
}

V_DWORD V_WaitForSingleObject(V_HANDLE handle, V_DWORD milliseconds) {
    return V_WaitForMultipleObjects(1, &handle, V_TRUE, milliseconds);
}

V_DWORD V_WaitForMultipleObjects(V_DWORD count, const V_HANDLE* handles, V_BOOL waitAll,
                                 V_DWORD milliseconds) {
    constexpr V_DWORD kMaximumWaitObjects = 64;
    if (count == 0 || count > kMaximumWaitObjects || handles == nullptr) {
        V_SetLastError(V_ERROR_INVALID_PARAMETER);
        return V_WAIT_FAILED;
    }
    // The references taken here keep each object alive while this thread waits on it,
    // even when another thread closes its handle meanwhile.
    std::vector<std::shared_ptr<WaitableObject>> objects;
    objects.reserve(count);
    for (V_DWORD i = 0; i < count; ++i) {
        std::shared_ptr<KernelObject> object = LookupKernelObject(handles[i]);
        if (!IsWaitable(object)) {
            V_SetLastError(V_ERROR_INVALID_HANDLE);
            return V_WAIT_FAILED;
        }
        objects.push_back(std::static_pointer_cast<WaitableObject>(object));
    }
    return WaitForObjects(objects, waitAll != V_FALSE, milliseconds);
}

void V_InitializeCriticalSection(V_CRITICAL_SECTION* section) {
    new (section->storage) std::recursive_mutex;
}

void V_DeleteCriticalSection(V_CRITICAL_SECTION* section) {
    SectionMutex(section)->~recursive_mutex();
}

void V_EnterCriticalSection(V_CRITICAL_SECTION* section) {
    SectionMutex(section)->lock();
}

V_BOOL V_TryEnterCriticalSection(V_CRITICAL_SECTION* section) {
    return SectionMutex(section)->try_lock() ? V_TRUE : V_FALSE;
}

void V_LeaveCriticalSection(V_CRITICAL_SECTION* section) {
    SectionMutex(section)->unlock();
}

// Sleep(0) gives up the rest of the time slice, as the polling loops of the library expect.
void V_Sleep(V_DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == V_INFINITE) {
        for (;;) pause();
    }
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}
