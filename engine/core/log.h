// Internal state of the log writer.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "platform/types.h"

struct LogState {
    char fileName[64] = "Log.txt";
    char folder[kPathBufferSize] = {};  // empty until start-up sets it: nothing is written before
    int logOff = 0;                    // 1 suppresses the file
    int timeStampOff = 0;              // 1 suppresses the "%d:" stamp
    int dateName = 0;                  // 1 names the file after the date
    int indentLevel = 0;
    int midLine = 0;                   // 1 when the last text did not end with a line feed
    uint32_t startTime = 0;
};

extern LogState g_Log;
