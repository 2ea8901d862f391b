// Clocks: the 31-bit millisecond clock, the 64-bit microsecond clock and local calendar time.
#include <x86intrin.h>

#include "core/core.h"
#include "core/library_state.h"
#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

int GetMilliseconds() {
    return static_cast<int>(V_timeGetTime() & 0x7FFFFFFFu);
}

int GetMillisecondsSince(int earlier) { return (GetMilliseconds() - earlier) & 0x7FFFFFFF; }

int64_t GetMicroseconds(int useTimeStampCounter) {
    UInt128 product;
    UInt128 quotient;
    if (g_Library.timeStampCounterFlag && useTimeStampCounter == 1 && g_Library.initialised.load() &&
        g_Library.timeStampTicksPerSecond != 0) {
        MultiplyUnsigned64To128(__rdtsc(), 1000000, &product);
        DivideUnsigned128By64(&product, g_Library.timeStampTicksPerSecond, &quotient);
        return static_cast<int64_t>(quotient.low);
    }
    if (!g_Library.performanceCounterFlag || g_Library.performanceFrequency <= 0)
        return static_cast<int64_t>(V_timeGetTime()) * 1000;
    V_LARGE_INTEGER counter;
    V_QueryPerformanceCounter(&counter);
    MultiplyUnsigned64To128(static_cast<uint64_t>(counter.QuadPart), 1000000, &product);
    DivideUnsigned128By64(&product, static_cast<uint64_t>(g_Library.performanceFrequency), &quotient);
    return static_cast<int64_t>(quotient.low);
}

namespace {
void FromSystemTime(const V_SYSTEMTIME& time, DateTimeRecord* record) {
    record->year = time.wYear;
    record->month = time.wMonth;
    record->day = time.wDay;
    record->hour = time.wHour;
    record->minute = time.wMinute;
    record->second = time.wSecond;
}
}  // namespace

uint32_t GetLocalDateTime(DateTimeRecord* record) {
    V_SYSTEMTIME now;
    V_GetLocalTime(&now);
    FromSystemTime(now, record);
    return 0;
}

void ConvertFileTimeToDateTime(const V_FILETIME* fileTime, DateTimeRecord* record) {
    V_FILETIME local;
    V_SYSTEMTIME time{};
    V_FileTimeToLocalFileTime(fileTime, &local);
    V_FileTimeToSystemTime(&local, &time);
    FromSystemTime(time, record);
}
