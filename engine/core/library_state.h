// Process-wide library state: the start-up flags and the processor abilities found at start.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/core.h"
#include "platform/types.h"

struct LibraryState {
    std::atomic<int> initialised{0};  // 1 between a successful InitLibrary and EndLibrary
    std::atomic<int> initialising{0}; // 1 while InitLibrary runs
    std::atomic<int> ending{0};       // set when EndLibrary starts
    int comStarted = 0;
    int performanceCounterFlag = 0;   // 1 when the performance counter has a non-zero frequency
    int64_t performanceFrequency = 0;
    char logFolder[kPathBufferSize] = {};  // a folder of any depth the platform can name
    int osCode = 0;
    char osName[256] = {};
    int mmxFlag = 0;
    int sseFlag = 0;
    int sse2Flag = 0;
    int timeStampCounterFlag = 0;
    uint64_t timeStampTicksPerSecond = 0;
    int processorMhz = 0;
    char processorName[64] = {};
};

extern LibraryState g_Library;
