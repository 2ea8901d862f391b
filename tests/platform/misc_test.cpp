// Clocks, the process heap, system information, debugger output and code page conversion.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"
#include "scratch.h"

TEST(Heap, ZeroingReallocationClearsOnlyTheNewBytes) {
    V_HANDLE heap = V_GetProcessHeap();
    auto* block = static_cast<unsigned char*>(V_HeapAlloc(heap, 0, 10));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % 16);
    memset(block, 0xAB, 10);
    block = static_cast<unsigned char*>(V_HeapReAlloc(heap, V_HEAP_ZERO_MEMORY, block, 5000));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0xAB, block[i]);
    for (int i = 10; i < 5000; ++i) ASSERT_EQ(0, block[i]) << i;
    // Shrinking and growing again: the bytes beyond the shrunk size are new.
    memset(block, 0xCD, 5000);
    block = static_cast<unsigned char*>(V_HeapReAlloc(heap, 0, block, 4));
    block = static_cast<unsigned char*>(V_HeapReAlloc(heap, V_HEAP_ZERO_MEMORY, block, 64));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0xCD, block[3]);
    for (int i = 4; i < 64; ++i) ASSERT_EQ(0, block[i]) << i;
    EXPECT_TRUE(V_HeapFree(heap, 0, block));
    auto* zeroed = static_cast<unsigned char*>(V_HeapAlloc(heap, V_HEAP_ZERO_MEMORY, 100));
    for (int i = 0; i < 100; ++i) ASSERT_EQ(0, zeroed[i]);
    V_HeapFree(heap, 0, zeroed);
    EXPECT_EQ(nullptr, V_HeapAlloc(heap, 0, SIZE_MAX - 4));  // the size prefix must not wrap
}

TEST(Clocks, CountersAndCalendar) {
    V_LARGE_INTEGER frequency, first, second;
    EXPECT_TRUE(V_QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(1000000000LL, frequency.QuadPart);
    V_QueryPerformanceCounter(&first);
    V_DWORD ticks = V_GetTickCount();
    V_DWORD milliseconds = V_timeGetTime();
    V_Sleep(2);
    V_QueryPerformanceCounter(&second);
    EXPECT_GE(second.QuadPart - first.QuadPart, 2000000LL);
    V_DWORD elapsed = V_timeGetTime() - milliseconds;
    EXPECT_GE(elapsed, 2u);
    EXPECT_LE(elapsed, 1000u);
    EXPECT_LE(static_cast<V_DWORD>(V_timeGetTime() - ticks), 1000u);

    V_TIMECAPS caps;
    EXPECT_EQ(V_TIMERR_NOERROR, V_timeGetDevCaps(&caps, sizeof(caps)));
    EXPECT_EQ(V_TIMERR_NOERROR, V_timeBeginPeriod(caps.wPeriodMin));
    EXPECT_EQ(V_TIMERR_NOERROR, V_timeEndPeriod(caps.wPeriodMin));

    // 2001-02-03 04:05:06.789 UTC.
    uint64_t value = (981173106ULL + 11644473600ULL) * 10000000ULL + 7890000ULL;
    V_FILETIME fileTime{static_cast<V_DWORD>(value), static_cast<V_DWORD>(value >> 32)};
    V_SYSTEMTIME time;
    ASSERT_TRUE(V_FileTimeToSystemTime(&fileTime, &time));
    EXPECT_EQ(2001, time.wYear);
    EXPECT_EQ(2, time.wMonth);
    EXPECT_EQ(3, time.wDay);
    EXPECT_EQ(6, time.wDayOfWeek);  // a Saturday
    EXPECT_EQ(4, time.wHour);
    EXPECT_EQ(5, time.wMinute);
    EXPECT_EQ(6, time.wSecond);
    EXPECT_EQ(789, time.wMilliseconds);
    V_FILETIME bad{0, 0x80000000u};
    EXPECT_FALSE(V_FileTimeToSystemTime(&bad, &time));

    V_FILETIME local;
    ASSERT_TRUE(V_FileTimeToLocalFileTime(&fileTime, &local));
    int64_t shift = static_cast<int64_t>((static_cast<uint64_t>(local.dwHighDateTime) << 32) |
                                         local.dwLowDateTime) -
                    static_cast<int64_t>(value);
    EXPECT_LE(std::llabs(shift), 15LL * 3600 * 10000000);

    V_SYSTEMTIME now;
    V_GetSystemTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    V_GetLocalTime(&now);
    EXPECT_LE(now.wHour, 23);
}

TEST(SystemInformation, VersionMemoryAndProgramName) {
    V_OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(V_GetVersionExA(&version));
    EXPECT_EQ(V_VER_PLATFORM_WIN32_NT, version.dwPlatformId);
    EXPECT_EQ(6u, version.dwMajorVersion);
    EXPECT_EQ(1u, version.dwMinorVersion);
    EXPECT_LT(strlen(version.szCSDVersion), sizeof(version.szCSDVersion));
    version.dwOSVersionInfoSize = 4;
    EXPECT_FALSE(V_GetVersionExA(&version));

    V_MEMORYSTATUS memory;
    V_GlobalMemoryStatus(&memory);
    EXPECT_EQ(sizeof(memory), memory.dwLength);
    EXPECT_GT(memory.dwTotalPhys, 16u << 20);
    EXPECT_LE(memory.dwAvailPhys, memory.dwTotalPhys);
    EXPECT_LE(memory.dwMemoryLoad, 100u);

    char name[V_MAX_PATH];
    V_DWORD length = V_GetModuleFileNameA(nullptr, name, sizeof(name));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(name), length);
    EXPECT_NE(nullptr, strstr(name, "velk_tests_platform"));
    char small[5];
    EXPECT_EQ(5u, V_GetModuleFileNameA(nullptr, small, sizeof(small)));
    EXPECT_EQ(V_ERROR_INSUFFICIENT_BUFFER, V_GetLastError());
    EXPECT_EQ(4u, strlen(small));
}

TEST(CodePage, ConversionsAreBoundedAndCheckInput) {
    char utf8[64];
    char cp932[64];
    ASSERT_TRUE(V_Cp932ToUtf8("表示テスト\\ok", utf8, sizeof(utf8)));
    EXPECT_EQ(Utf8(u8"表示テスト\\ok"), utf8);
    ASSERT_TRUE(V_Utf8ToCp932(utf8, cp932, sizeof(cp932)));
    EXPECT_STREQ("表示テスト\\ok", cp932);
    // Too small: false, cut at a whole character, terminated.
    EXPECT_FALSE(V_Cp932ToUtf8("表示", utf8, 5));  // each character is 3 bytes in UTF-8
    EXPECT_EQ(Utf8(u8"表"), utf8);
    EXPECT_FALSE(
        V_Utf8ToCp932(Utf8(u8"あいう").c_str(), cp932, 4));  // each is 2 bytes in code page 932
    EXPECT_STREQ("あ", cp932);
    // Invalid input: false and an empty output.
    EXPECT_FALSE(V_Cp932ToUtf8("ab\x81", utf8, sizeof(utf8)));
    EXPECT_STREQ("", utf8);
    EXPECT_FALSE(V_Utf8ToCp932("\xC3", cp932, sizeof(cp932)));
    EXPECT_FALSE(
        V_Utf8ToCp932(Utf8(u8"\U0001F600").c_str(), cp932, sizeof(cp932)));  // not in the code page
}

TEST(DebugOutput, WritesUtf8ToStandardErrorOnlyWhenSwitchedOn) {
    unsetenv("VELK_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    V_OutputDebugStringA("silent\n");
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    setenv("VELK_DEBUG_OUTPUT", "0", 1);
    testing::internal::CaptureStderr();
    V_OutputDebugStringA("silent\n");
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    setenv("VELK_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    V_OutputDebugStringA("空き 12.50MB\n");
    EXPECT_EQ(Utf8(u8"空き 12.50MB\n"), testing::internal::GetCapturedStderr());
    unsetenv("VELK_DEBUG_OUTPUT");
}
