#include "core/api_lock.h"

#include <atomic>
#include <mutex>

#include "platform/kernel/kernel.h"

namespace {

struct QueueSlot {
    uint32_t threadId;
    V_HANDLE event;
};

struct ApiLock {
    int32_t recursionCount = 0;
    uint32_t held = 0;
    uint32_t owner = 0;
    QueueSlot queue[kApiLockQueueSize] = {};
    std::atomic<uint32_t> built{0};
    int32_t waitingCount = 0;
    V_CRITICAL_SECTION guard;
};

ApiLock g_ApiLock;

// Building and dismantling are serialised, and a dismantle waits for no one: it is skipped
// while any thread is inside an acquire or release, holds the lock or waits for it.
std::mutex& ConstructionMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
int g_Users = 0;  // threads inside acquire or release; guarded by the construction mutex

void Enter() {
    std::lock_guard<std::mutex> lock(ConstructionMutex());
    ++g_Users;
    if (g_ApiLock.built.load(std::memory_order_acquire)) return;
    for (QueueSlot& slot : g_ApiLock.queue) {
        slot.threadId = 0;
        slot.event = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    }
    V_InitializeCriticalSection(&g_ApiLock.guard);
    g_ApiLock.recursionCount = 0;
    g_ApiLock.held = 0;
    g_ApiLock.owner = 0;
    g_ApiLock.waitingCount = 0;
    g_ApiLock.built.store(1, std::memory_order_release);
}

void Leave() {
    std::lock_guard<std::mutex> lock(ConstructionMutex());
    --g_Users;
}

}  // namespace

void AcquireApiLock() {
    Enter();
    ApiLock& lock = g_ApiLock;
    uint32_t self = V_GetCurrentThreadId();
    for (;;) {
        V_EnterCriticalSection(&lock.guard);
        bool take = false;
        if (!lock.held) {
            take = lock.waitingCount == 0 || lock.owner == self || lock.queue[0].threadId == self;
        } else if (lock.owner == self) {
            take = true;
        }
        if (take) {
            // Taking from the head of the queue: the others move up, the head's event goes last.
            if (lock.held == 0 && lock.waitingCount > 0 && lock.queue[0].threadId == self) {
                if (lock.waitingCount > 1) {
                    V_HANDLE kept = lock.queue[0].event;
                    for (int i = 1; i < lock.waitingCount; ++i) lock.queue[i - 1] = lock.queue[i];
                    lock.queue[lock.waitingCount - 1] = {0, kept};
                }
                --lock.waitingCount;
            }
            ++lock.recursionCount;
            lock.held = 1;
            lock.owner = self;
            V_LeaveCriticalSection(&lock.guard);
            break;
        }
        if (lock.waitingCount < kApiLockQueueSize) {
            QueueSlot& slot = lock.queue[lock.waitingCount];
            slot.threadId = self;
            V_HANDLE event = slot.event;
            ++lock.waitingCount;
            V_LeaveCriticalSection(&lock.guard);
            V_WaitForSingleObject(event, V_INFINITE);
            V_ResetEvent(event);
            continue;
        }
        V_LeaveCriticalSection(&lock.guard);
        V_Sleep(1);  // every place is taken: retry until one frees
    }
    Leave();
}

void ReleaseApiLock() {
    Enter();
    ApiLock& lock = g_ApiLock;
    V_EnterCriticalSection(&lock.guard);
    bool wake = false;
    V_HANDLE head = nullptr;
    if (lock.recursionCount == 1) {
        lock.held = 0;
        lock.owner = static_cast<uint32_t>(-1);
        wake = lock.waitingCount >= 1;
        head = lock.queue[0].event;
    }
    if (lock.recursionCount > 0) --lock.recursionCount;
    V_LeaveCriticalSection(&lock.guard);
    if (wake) {
        V_SetEvent(head);
        V_Sleep(0);
    }
    Leave();
}

void DismantleApiLock() {
    std::lock_guard<std::mutex> construction(ConstructionMutex());
    ApiLock& lock = g_ApiLock;
    if (!lock.built.load(std::memory_order_acquire) || g_Users != 0) return;
    V_EnterCriticalSection(&lock.guard);
    bool busy = lock.held != 0 || lock.waitingCount != 0;
    V_LeaveCriticalSection(&lock.guard);
    if (busy) return;
    lock.built.store(0, std::memory_order_release);
    for (QueueSlot& slot : lock.queue) {
        if (slot.event != nullptr) V_CloseHandle(slot.event);
        slot = {0, nullptr};
    }
    V_DeleteCriticalSection(&lock.guard);
}

int GetApiLockWaitingCount() {
    std::lock_guard<std::mutex> construction(ConstructionMutex());
    if (!g_ApiLock.built.load(std::memory_order_acquire)) return 0;
    V_EnterCriticalSection(&g_ApiLock.guard);
    int count = g_ApiLock.waitingCount;
    V_LeaveCriticalSection(&g_ApiLock.guard);
    return count;
}

int IsApiLockBuilt() { return g_ApiLock.built.load(std::memory_order_acquire) ? 1 : 0; }
