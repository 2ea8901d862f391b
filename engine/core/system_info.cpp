// The system information written to the log at start-up: OS, timer, processor and its speed.
#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/library.h"
#include "core/library_state.h"
#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

const char kLibraryVersion[] = "1.00";

namespace {

// Appends the version's name to the OS name and sets the OS code, by the version table.
void NameOperatingSystem(const V_OSVERSIONINFOA& info, char* name, size_t size) {
    const char* appended = nullptr;
    const char* extra = nullptr;
    int code = g_Library.osCode;
    switch (info.dwPlatformId) {
    case 0:
        appended = "3.1", code = 0;
        break;
    case 1:
        if (info.dwMinorVersion == 0) {
            appended = "95", code = 1;
            if (info.szCSDVersion[0] == 'C') extra = "OSR2";
        } else if (info.dwMinorVersion == 10) {
            appended = "98", code = 2;
            if (info.szCSDVersion[0] == 'A') extra = "SE";
        } else if (info.dwMinorVersion == 90) {
            appended = "Me", code = 3;
        }
        break;
    case 2:
        if (info.dwMajorVersion == 3) appended = "NT 3.51", code = 0x104;
        else if (info.dwMajorVersion == 4) appended = "4.0", code = 0x105;
        else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) appended = "2000", code = 0x106;
        else if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) appended = "XP", code = 0x107;
        else if (info.dwMajorVersion == 6 && info.dwMinorVersion == 0) appended = "Vista", code = 0x108;
        else if (info.dwMajorVersion == 6 && info.dwMinorVersion == 1) appended = "7", code = 0x109;
        break;
    default:
        break;
    }
    FormatString(name, size, "Windows%s%s", appended != nullptr ? appended : "",
                 extra != nullptr ? extra : "");
    g_Library.osCode = code;
}

}  // namespace

int LogSystemInfo() {
    WriteLog("システムの情報を出力します\n");
    IncreaseLogIndent();
    WriteLogFormat("ＶＥＬＫライブラリ Ver%s", kLibraryVersion);
    WriteLog("ＯＳ  ");

    V_OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    V_GetVersionExA(&version);
    char name[128];
    NameOperatingSystem(version, name, sizeof(name));
    FormatString(g_Library.osName, sizeof(g_Library.osName), "%s ( Build %d %s )", name,
                 static_cast<int>(version.dwBuildNumber), version.szCSDVersion);
    WriteLogFormat("%s", g_Library.osName);

    V_TIMECAPS caps{1, 1000};
    V_timeGetDevCaps(&caps, sizeof(caps));
    V_timeBeginPeriod(caps.wPeriodMin);

    // Processor: this platform always has CPUID.
    unsigned int a = 0, b = 0, c = 0, d = 0;
    char vendor[13] = {};
    char brand[49] = {};
    int level = 1;
    __cpuid(0, a, b, c, d);
    std::memcpy(vendor + 0, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    __cpuid(1, a, b, c, d);
    g_Library.timeStampCounterFlag = (d >> 4) & 1;
    if (d & (1u << 23)) {
        level = 3;
        if (d & (1u << 25)) {
            level = 4;
            if (d & (1u << 26)) level = 5;
        }
    }
    __cpuid(0x80000000u, a, b, c, d);
    if (a >= 0x80000004u) {
        for (unsigned int leaf = 0; leaf < 3; ++leaf) {
            __cpuid(0x80000002u + leaf, a, b, c, d);
            std::memcpy(brand + leaf * 16 + 0, &a, 4);
            std::memcpy(brand + leaf * 16 + 4, &b, 4);
            std::memcpy(brand + leaf * 16 + 8, &c, 4);
            std::memcpy(brand + leaf * 16 + 12, &d, 4);
        }
    }

    if (g_Library.timeStampCounterFlag) {
        uint64_t start = __rdtsc();
        int begin = GetMilliseconds();
        while (GetMillisecondsSince(begin) < 100) {
        }
        uint64_t ticks = __rdtsc() - start;
        g_Library.processorMhz = static_cast<int>(ticks / 100000.0);
        g_Library.timeStampTicksPerSecond = ticks * 10;
        WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", g_Library.processorMhz / 1000.0);
    }

    switch (level) {
    case 0:
        WriteLog("ＣＰＵＩＤ命令は使えません\n");
        break;
    case 1:
        WriteLog("ＭＭＸは使えません\n");
        break;
    default:
        WriteLog("ＭＭＸ命令を使用します\n");
        g_Library.mmxFlag = 1;
        if (level >= 4) {
            WriteLog("ＳＳＥ命令が使用可能です\n");
            g_Library.sseFlag = 1;
        }
        if (level >= 5) {
            WriteLog("ＳＳＥ２命令が使用可能です\n");
            g_Library.sse2Flag = 1;
        }
        break;
    }
    SetMmxFlag(g_Library.mmxFlag);

    if (level > 0) {
        char piece[5] = {};
        WriteLog("ＣＰＵベンダ：");
        for (int i = 0; i < 3; ++i) {
            std::memcpy(piece, vendor + i * 4, 4);
            WriteLog(piece);
        }
        WriteLog("\n");
        if (brand[0] != '\0') {
            WriteLogFormat("ＣＰＵ名：%s", brand);
            FormatString(g_Library.processorName, sizeof(g_Library.processorName), "%s", brand);
        }
    }
    DecreaseLogIndent();
    return 0;
}
