// The global API lock: first come first served, recursion, and the locked entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "core/api_lock.h"
#include "core/core.h"
#include "core/library_state.h"
#include "platform/kernel/kernel.h"

namespace {

void WaitForQueued(int count) {
    for (int i = 0; i < 5000 && GetApiLockWaitingCount() < count; ++i) V_Sleep(1);
    ASSERT_EQ(GetApiLockWaitingCount(), count);
}

}  // namespace

TEST(ApiLock, QueuedThreadsEnterInArrivalOrderAfterTheOutermostRelease) {
    std::mutex orderMutex;
    std::vector<int> order;
    std::atomic<int> inside{0};

    AcquireApiLock();
    AcquireApiLock();  // the holder takes it again
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&, i] {
            AcquireApiLock();
            AcquireApiLock();  // recursion inside a waiter too
            {
                std::lock_guard<std::mutex> lock(orderMutex);
                order.push_back(i);
            }
            inside.fetch_add(1);
            ReleaseApiLock();
            ReleaseApiLock();
        });
        WaitForQueued(i + 1);
    }
    ReleaseApiLock();
    V_Sleep(20);
    EXPECT_EQ(inside.load(), 0) << "one release of two must keep the lock";

    // A newcomer arriving as the holder lets go queues behind those already waiting.
    ReleaseApiLock();
    std::thread late([&] {
        AcquireApiLock();
        {
            std::lock_guard<std::mutex> lock(orderMutex);
            order.push_back(3);
        }
        ReleaseApiLock();
    });
    for (auto& thread : threads) thread.join();
    late.join();
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 1);
    EXPECT_EQ(order[2], 2);
    EXPECT_EQ(order[3], 3);
    EXPECT_EQ(GetApiLockWaitingCount(), 0);
}

TEST(ApiLock, DismantledOnlyWhenFreeAndBuiltAgainByTheNextUse) {
    AcquireApiLock();
    DismantleApiLock();
    EXPECT_EQ(IsApiLockBuilt(), 1) << "a held lock is not dismantled";
    ReleaseApiLock();
    DismantleApiLock();
    EXPECT_EQ(IsApiLockBuilt(), 0);

    // The locked entry points on a library that is not initialised.
    ASSERT_EQ(g_Library.initialised.load(), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
    EXPECT_EQ(IsApiLockBuilt(), 0) << "ending a library that is not up does not touch the lock";
    EXPECT_GE(ProcessMessageLocked(), -1);
    EXPECT_EQ(IsApiLockBuilt(), 1);
    EXPECT_EQ(GetApiLockWaitingCount(), 0);
}
