// Calls that must be refused at once, run in a child process under an alarm so that a call that
// waits (for a window that is not there) fails the test instead of stopping it.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

#include "core/core.h"
#include "core/memory.h"

// Runs the calls in a child with the always-run flag as given. The calls return a bit per call
// that did not answer -1; bit 6 is added when the tracked allocator's block count changed. The
// child must end by itself within 10 seconds with no bit set.
inline void ExpectCallsRefusedInChild(int alwaysRun, const std::function<int()>& calls) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        SetAlwaysRunFlag(alwaysRun);
        int32_t size = 0, blocksBefore = 0, blocksAfter = 0;
        GetAllocationTotals(&size, &blocksBefore);
        int bad = calls();
        GetAllocationTotals(&size, &blocksAfter);
        if (blocksAfter != blocksBefore) bad |= 64;
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "a font call waited";
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "calls that did not refuse (bits): " << WEXITSTATUS(status);
}
