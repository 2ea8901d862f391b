// FFmpeg writes its warnings and errors to stderr by default; the layer's callers report their
// own failures, so FFmpeg's messages are switched off once, before its first use.
#pragma once

extern "C" {
#include <libavutil/log.h>
}

inline void QuietAvLog() {
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
}
