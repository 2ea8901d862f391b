#include <gtest/gtest.h>

#include <thread>

#include "core/core.h"
#include "core/library_state.h"
#include "platform/kernel.h"

TEST(Clock, MillisecondsAreNonNegativeAndMonotonic) {
    int previous = GetMilliseconds();
    for (int i = 0; i < 1000; ++i) {
        int now = GetMilliseconds();
        ASSERT_GE(now, 0);
        ASSERT_GE((now - previous) & 0x7FFFFFFF, 0);
        previous = now;
    }
}

TEST(Clock, MicrosecondsAdvanceOnEveryPath) {
    int64_t a = GetMicroseconds(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int64_t b = GetMicroseconds(0);
    EXPECT_GE(b - a, 15000);

    V_LARGE_INTEGER frequency;
    ASSERT_TRUE(V_QueryPerformanceFrequency(&frequency));
    g_Library.performanceCounterFlag = 1;
    g_Library.performanceFrequency = frequency.QuadPart;
    a = GetMicroseconds(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    b = GetMicroseconds(0);
    EXPECT_GE(b - a, 15000);
    EXPECT_LT(b - a, 2000000);
    g_Library.performanceCounterFlag = 0;
}

TEST(Clock, LocalDateTimeIsPlausible) {
    DateTimeRecord now;
    EXPECT_EQ(GetLocalDateTime(&now), 0u);
    EXPECT_GE(now.year, 2024u);
    EXPECT_GE(now.month, 1u);
    EXPECT_LE(now.month, 12u);
    EXPECT_LE(now.hour, 23u);
    // 2000-01-02 03:04:05 UTC as a file time, converted through local time.
    V_FILETIME fileTime;
    uint64_t ticks = (946782245ull + 11644473600ull) * 10000000ull;
    fileTime.dwLowDateTime = static_cast<V_DWORD>(ticks);
    fileTime.dwHighDateTime = static_cast<V_DWORD>(ticks >> 32);
    DateTimeRecord record;
    ConvertFileTimeToDateTime(&fileTime, &record);
    EXPECT_EQ(record.year, 2000u);
    EXPECT_EQ(record.minute, 4u);
    EXPECT_EQ(record.second, 5u);
}
