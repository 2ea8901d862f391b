#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "core/core.h"
#include "core/library_state.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "platform/winmm/winmm.h"
#include "test_window_support.h"

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

// ---- The 31-bit wrap, with the platform clock shifted to just before it.
namespace {

// Shifts the platform clock so that GetMilliseconds reads `before` milliseconds short of the wrap.
void PutClockBeforeWrap(int before) {
    V_SetTimeOffsetForTest(0);
    V_DWORD raw = V_timeGetTime();
    V_SetTimeOffsetForTest(0x80000000u - static_cast<V_DWORD>(before) - raw);
}

struct ClockOffsetReset {
    ~ClockOffsetReset() { V_SetTimeOffsetForTest(0); }
};

void OnWrapHang(int) {
    static const char text[] = "a wait did not end across the clock's wrap\n";
    ssize_t ignored = write(2, text, sizeof(text) - 1);
    (void)ignored;
    _exit(3);
}

}  // namespace

TEST(ClockWrap, DifferencesAreCountedAcrossTheWrap) {
    ClockOffsetReset reset;
    PutClockBeforeWrap(20);
    int earlier = GetMilliseconds();
    EXPECT_GE(earlier, 0x7FFFFFFF - 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    int before = GetMilliseconds();
    int since = GetMillisecondsSince(earlier);
    int after = GetMilliseconds();
    EXPECT_LT(before, earlier) << "the clock has wrapped";
    EXPECT_GE(since, ((before - earlier) & 0x7FFFFFFF));
    EXPECT_LE(since, ((after - earlier) & 0x7FFFFFFF));
    EXPECT_GE(since, 60);
}

TEST(ClockWrap, StartModeChangesAndEndFinishAcrossTheWrap) {
    ScratchFolder folder;
    ClockOffsetReset reset;
    // A display with the screen's mode, so that the switches are made.
    V_DEVMODEA modes[2] = {};
    for (int i = 0; i < 2; ++i) {
        modes[i].dmPelsWidth = 640;
        modes[i].dmPelsHeight = 480;
        modes[i].dmBitsPerPel = i == 0 ? 16 : 32;
    }
    V_SetDisplayModesForTest(modes, 2);
    signal(SIGALRM, OnWrapHang);
    alarm(30);
    // Start-up times the processor over 100 ms, so it runs across the wrap.
    PutClockBeforeWrap(50);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    // The mode change waits up to 3 s for the display change.
    PutClockBeforeWrap(10);
    EXPECT_EQ(ChangeWindowMode(0), 0);
    PutClockBeforeWrap(10);
    EXPECT_EQ(ChangeWindowMode(1), 0);
    PutClockBeforeWrap(10);
    EXPECT_EQ(EndLibraryLocked(), 0);
    alarm(0);
    signal(SIGALRM, SIG_DFL);
    V_SetDisplayModesForTest(nullptr, -1);
}
