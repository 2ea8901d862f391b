// Events, waits, threads and critical sections.
#include <atomic>
#include <ctime>
#include <vector>
#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

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

namespace {
struct WaitCase {
    const V_HANDLE* handles;
    V_DWORD count;
    V_BOOL waitAll;
    V_DWORD milliseconds;
    V_DWORD result = 12345;
};

V_DWORD WaitCaseThread(void* argument) {
    auto* wait = static_cast<WaitCase*>(argument);
    wait->result =
        V_WaitForMultipleObjects(wait->count, wait->handles, wait->waitAll, wait->milliseconds);
    return 0;
}

V_HANDLE StartWait(WaitCase* wait) {
    return V_CreateThread(nullptr, 0, WaitCaseThread, wait, 0, nullptr);
}

struct Toggler {
    V_HANDLE event;
    std::atomic<bool> stop{false};
};

V_DWORD ToggleThread(void* argument) {
    auto* toggler = static_cast<Toggler*>(argument);
    while (!toggler->stop.load()) {
        V_SetEvent(toggler->event);
        V_ResetEvent(toggler->event);
    }
    return 0;
}

double Seconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Ample for any wait below to have ended; reached only when a wait hangs.
constexpr V_DWORD kHang = 20000;
}  // namespace

// Each object releases only what waits on it: a wait for all takes nothing while one of its
// objects is unsignalled, so a single waiter gets the auto-reset event first; time-outs run out
// while other objects are busy and across the clock's wraps.
TEST(Events, EachObjectReleasesOnlyItsOwnWaiters) {
    V_HANDLE automatic = V_CreateEventA(nullptr, V_FALSE, V_FALSE, nullptr);
    V_HANDLE manual = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_HANDLE pair[2] = {automatic, manual};
    WaitCase all{pair, 2, V_TRUE, V_INFINITE};
    WaitCase single{pair, 1, V_FALSE, V_INFINITE};
    V_HANDLE allThread = StartWait(&all);
    V_HANDLE singleThread = StartWait(&single);
    V_SetEvent(automatic);
    ASSERT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(singleThread, kHang))
        << "the wait for all held the event while the other one was unsignalled";
    EXPECT_EQ(V_WAIT_OBJECT_0, single.result);
    V_SetEvent(manual);
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(allThread, 20)) << "the event was taken";
    V_SetEvent(automatic);
    ASSERT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(allThread, kHang));
    EXPECT_EQ(V_WAIT_OBJECT_0, all.result);
    EXPECT_EQ(V_WAIT_TIMEOUT, V_WaitForSingleObject(automatic, 0));
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(manual, 0));
    V_CloseHandle(allThread);
    V_CloseHandle(singleThread);

    // A manual-reset event releases every waiter; an auto-reset one, one per signal.
    V_ResetEvent(manual);
    WaitCase onManual[3] = {{&manual, 1, V_FALSE, V_INFINITE}, {&manual, 1, V_FALSE, V_INFINITE},
                            {&manual, 1, V_FALSE, V_INFINITE}};
    WaitCase onAuto[3] = {{&automatic, 1, V_FALSE, V_INFINITE},
                          {&automatic, 1, V_FALSE, V_INFINITE},
                          {&automatic, 1, V_FALSE, V_INFINITE}};
    V_HANDLE manualThreads[3], autoThreads[3];
    for (int i = 0; i < 3; ++i) {
        manualThreads[i] = StartWait(&onManual[i]);
        autoThreads[i] = StartWait(&onAuto[i]);
    }
    V_SetEvent(manual);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForMultipleObjects(3, manualThreads, V_TRUE, kHang));
    std::vector<V_HANDLE> waiting(autoThreads, autoThreads + 3);
    while (!waiting.empty()) {
        V_SetEvent(automatic);
        V_DWORD count = static_cast<V_DWORD>(waiting.size());
        V_DWORD ended = V_WaitForMultipleObjects(count, waiting.data(), V_FALSE, kHang);
        ASSERT_LT(ended, count);
        waiting.erase(waiting.begin() + ended);
        if (waiting.empty()) break;
        ASSERT_EQ(V_WAIT_TIMEOUT, V_WaitForMultipleObjects(count - 1, waiting.data(), V_FALSE, 20))
            << "one signal released more than one waiter";
    }
    for (int i = 0; i < 3; ++i) {
        V_CloseHandle(manualThreads[i]);
        V_CloseHandle(autoThreads[i]);
    }

    // A time-out runs out while another event is set and reset without pause.
    Toggler toggler;
    toggler.event = manual;
    V_HANDLE busy = V_CreateThread(nullptr, 0, ToggleThread, &toggler, 0, nullptr);
    V_ResetEvent(automatic);
    WaitCase timed{&automatic, 1, V_FALSE, 50};
    V_HANDLE timedThread = StartWait(&timed);
    EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(timedThread, kHang))
        << "the time-out never ran out beside a busy event";
    EXPECT_EQ(V_WAIT_TIMEOUT, timed.result);
    toggler.stop = true;
    V_WaitForSingleObject(busy, V_INFINITE);
    V_CloseHandle(busy);
    V_CloseHandle(timedThread);

    // Time-outs that span the wrap of the 31-bit and of the 32-bit millisecond clock.
    for (V_DWORD wrap : {0x80000000u, 0u}) {
        V_SetTimeOffsetForTest(0);
        V_SetTimeOffsetForTest(wrap - V_timeGetTime() - 10);
        const double start = Seconds();
        WaitCase acrossWrap{&automatic, 1, V_FALSE, 40};
        V_HANDLE thread = StartWait(&acrossWrap);
        EXPECT_EQ(V_WAIT_OBJECT_0, V_WaitForSingleObject(thread, kHang)) << "wrap " << wrap;
        EXPECT_EQ(V_WAIT_TIMEOUT, acrossWrap.result);
        EXPECT_GE(Seconds() - start, 0.03) << "ended early at the wrap " << wrap;
        V_CloseHandle(thread);
    }
    V_SetTimeOffsetForTest(0);
    V_CloseHandle(automatic);
    V_CloseHandle(manual);
}
