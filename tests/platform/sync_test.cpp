// Events, waits, threads and critical sections.
#include <atomic>
#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

V_DWORD SetEventThread(void* event) {
    V_Sleep(5);
    V_SetEvent(static_cast<V_HANDLE>(event));
    return 7;
}

struct WaiterState {
    V_HANDLE event;
    std::atomic<int> released{0};
};

V_DWORD WaitOnceThread(void* argument) {
    auto* state = static_cast<WaiterState*>(argument);
    if (V_WaitForSingleObject(state->event, V_INFINITE) != V_WAIT_OBJECT_0) return 1;
    state->released.fetch_add(1);
    return 0;
}

}  // namespace

TEST(Events, ManualAndAutoReset) {
    V_HANDLE manual = V_CreateEventA(nullptr, V_TRUE, V_TRUE, nullptr);
    V_HANDLE automatic = V_CreateEventA(nullptr, V_FALSE, V_FALSE, nullptr);
    ASSERT_NE(nullptr, manual);
    ASSERT_NE(nullptr, automatic);
    // A manual-reset event stays signalled until reset.
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(manual, 0));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(manual, V_INFINITE));
    EXPECT_TRUE(V_ResetEvent(manual));
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(manual, 0));
    // An auto-reset event lets one wait through per signal.
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(automatic, 10));
    EXPECT_TRUE(V_SetEvent(automatic));
    EXPECT_TRUE(V_SetEvent(automatic));  // signals do not add up
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(automatic, 0));
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(automatic, 0));

    // Waiting for any reports the first signalled object; waiting for all takes nothing
    // until all are signalled.
    V_HANDLE both[2] = {manual, automatic};
    V_SetEvent(automatic);
    EXPECT_EQ(V_WAIT_OBJECT_0 + 1, V_WaitForMultipleObjects(2, both, V_FALSE, 0));
    V_SetEvent(automatic);
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForMultipleObjects(2, both, V_TRUE, 5));
    V_SetEvent(manual);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForMultipleObjects(2, both, V_TRUE, 0));
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(automatic, 0));  // taken by the wait for all
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(manual, 0));

    EXPECT_TRUE(V_CloseHandle(manual));
    EXPECT_TRUE(V_CloseHandle(automatic));
    EXPECT_FALSE(V_CloseHandle(manual));
    EXPECT_EQ(V_WAIT_FAILED, V_WaitForSingleObject(automatic, 0));
    EXPECT_EQ(V_ERROR_INVALID_HANDLE, V_GetLastError());
    EXPECT_EQ(nullptr, V_CreateEventA(nullptr, V_TRUE, V_FALSE, "named"));
}

TEST(Events, SignalFromAnotherThreadWakesTheWaiter) {
    V_HANDLE event = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_DWORD id = 0;
    V_HANDLE thread = V_CreateThread(nullptr, 0, SetEventThread, event, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_NE(0u, id);
    EXPECT_NE(V_GetCurrentThreadId(), id);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(event, V_INFINITE));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(thread, V_INFINITE));
    V_DWORD code = 0;
    EXPECT_TRUE(V_GetExitCodeThread(thread, &code));
    EXPECT_EQ(7u, code);
    V_CloseHandle(thread);
    V_CloseHandle(event);
}

TEST(Events, AutoResetReleasesExactlyOneOfTwoWaiters) {
    WaiterState state;
    state.event = V_CreateEventA(nullptr, V_FALSE, V_FALSE, nullptr);
    V_HANDLE threads[2];
    for (V_HANDLE& thread : threads) {
        thread = V_CreateThread(nullptr, 0, WaitOnceThread, &state, 0, nullptr);
        ASSERT_NE(nullptr, thread);
    }
    V_SetEvent(state.event);
    V_DWORD first = V_WaitForMultipleObjects(2, threads, V_FALSE, V_INFINITE);
    ASSERT_LT(first, 2u);
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(threads[1 - first], 30));
    EXPECT_EQ(1, state.released.load());
    V_SetEvent(state.event);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForMultipleObjects(2, threads, V_TRUE, V_INFINITE));
    EXPECT_EQ(2, state.released.load());
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(state.event, 0));
    for (V_HANDLE thread : threads) V_CloseHandle(thread);
    V_CloseHandle(state.event);
}

namespace {
V_DWORD WaitOnClosedEventThread(void* event) {
    V_DWORD result = V_WaitForSingleObject(static_cast<V_HANDLE>(event), 30);
    return result == V_WAIT_TIMEOUT || result == V_WAIT_FAILED ? 0 : 1;
}
V_DWORD ReturnParameterThread(void* parameter) {
    return static_cast<V_DWORD>(reinterpret_cast<uintptr_t>(parameter));
}
V_DWORD ReturnIdThread(void*) { return V_GetCurrentThreadId(); }
}  // namespace

TEST(Threads, ClosingHandlesWhileInUseAndSuspendedStart) {
    // The waiter keeps the event alive while the handle is closed under it.
    V_HANDLE event = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_HANDLE waiter = V_CreateThread(nullptr, 0, WaitOnClosedEventThread, event, 0, nullptr);
    V_CloseHandle(event);
    ASSERT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(waiter, V_INFINITE));
    V_DWORD code = 1;
    V_GetExitCodeThread(waiter, &code);
    EXPECT_EQ(0u, code);
    V_CloseHandle(waiter);

    // A suspended thread runs only once resumed; a thread handle is signalled once it ends.
    V_HANDLE thread = V_CreateThread(nullptr, 1 << 20, ReturnParameterThread,
                                     reinterpret_cast<void*>(42), V_CREATE_SUSPENDED, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(V_SetThreadPriority(thread, V_THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(thread, 10));
    EXPECT_TRUE(V_GetExitCodeThread(thread, &code));
    EXPECT_EQ(V_STILL_ACTIVE, code);
    EXPECT_EQ(1u, V_ResumeThread(thread));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(thread, V_INFINITE));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(thread, 0));
    EXPECT_TRUE(V_GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_EQ(0u, V_ResumeThread(thread));
    V_CloseHandle(thread);

    // The thread knows itself by the number its creator was given.
    V_DWORD id = 0;
    thread = V_CreateThread(nullptr, 0, ReturnIdThread, nullptr, 0, &id);
    ASSERT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(thread, V_INFINITE));
    EXPECT_TRUE(V_GetExitCodeThread(thread, &code));
    EXPECT_EQ(id, code);
    V_CloseHandle(thread);

    // Closing a running thread's handle leaves the thread running to its end.
    V_HANDLE done = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_CloseHandle(V_CreateThread(nullptr, 0, SetEventThread, done, 0, nullptr));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(done, V_INFINITE));
    V_CloseHandle(done);
}

namespace {
struct SectionState {
    V_CRITICAL_SECTION section;
    int counter = 0;
};

V_DWORD TryEnterThread(void* argument) {
    auto* state = static_cast<SectionState*>(argument);
    if (!V_TryEnterCriticalSection(&state->section)) return 0;
    V_LeaveCriticalSection(&state->section);
    return 1;
}

V_DWORD CountThread(void* argument) {
    auto* state = static_cast<SectionState*>(argument);
    for (int i = 0; i < 5000; ++i) {
        V_EnterCriticalSection(&state->section);
        V_EnterCriticalSection(&state->section);
        ++state->counter;
        V_LeaveCriticalSection(&state->section);
        V_LeaveCriticalSection(&state->section);
    }
    return 0;
}

V_DWORD RunAndGetCode(V_LPTHREAD_START_ROUTINE start, void* parameter) {
    V_HANDLE thread = V_CreateThread(nullptr, 0, start, parameter, 0, nullptr);
    V_WaitForSingleObject(thread, V_INFINITE);
    V_DWORD code = 99;
    V_GetExitCodeThread(thread, &code);
    V_CloseHandle(thread);
    return code;
}
}  // namespace

TEST(CriticalSections, RecursiveOwnershipAcrossThreads) {
    SectionState state;
    V_InitializeCriticalSection(&state.section);
    V_EnterCriticalSection(&state.section);
    EXPECT_TRUE(V_TryEnterCriticalSection(&state.section));  // the owner enters again
    EXPECT_EQ(0u, RunAndGetCode(TryEnterThread, &state));
    V_LeaveCriticalSection(&state.section);
    EXPECT_EQ(0u, RunAndGetCode(TryEnterThread, &state));  // still held once
    V_LeaveCriticalSection(&state.section);
    EXPECT_EQ(1u, RunAndGetCode(TryEnterThread, &state));

    V_HANDLE threads[4];
    for (V_HANDLE& thread : threads)
        thread = V_CreateThread(nullptr, 0, CountThread, &state, 0, nullptr);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForMultipleObjects(4, threads, V_TRUE, V_INFINITE));
    for (V_HANDLE thread : threads) V_CloseHandle(thread);
    EXPECT_EQ(20000, state.counter);
    V_DeleteCriticalSection(&state.section);
}
