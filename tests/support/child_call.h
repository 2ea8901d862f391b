// Runs a call in a child process with a time limit, so that a test survives a call that hangs
// or crashes and reports it as a failure.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>
#include <functional>
#include <string>

struct ChildResult {
    bool returned = false;  // the call came back and its value is in `value`
    bool hung = false;      // still running at the time limit (the child was killed)
    int signal = 0;         // the signal that ended the child, 0 for none
    int value = 0;

    std::string Describe() const {
        if (hung) return "hung";
        if (signal != 0) return "crashed with signal " + std::to_string(signal);
        if (!returned) return "ended without a result";
        return "returned " + std::to_string(value);
    }
};

// Runs call() in a forked child and hands its int result back through a pipe.
inline ChildResult RunInChild(const std::function<int()>& call, int limitMs = 5000) {
    ChildResult result;
    int channel[2];
    if (pipe(channel) != 0) return result;
    pid_t child = fork();
    if (child < 0) return result;
    if (child == 0) {
        close(channel[0]);
        int value = call();
        ssize_t sent = write(channel[1], &value, sizeof value);
        _exit(sent == sizeof value ? 0 : 1);
    }
    close(channel[1]);
    int status = 0;
    // (<chrono> does not build under the tests' code page 932 execution character set.)
    auto nowMs = [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    };
    const long long deadline = nowMs() + limitMs;
    while (true) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (nowMs() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            result.hung = true;
            close(channel[0]);
            return result;
        }
        usleep(2000);
    }
    int value = 0;
    if (read(channel[0], &value, sizeof value) == sizeof value) {
        result.returned = true;
        result.value = value;
    }
    close(channel[0]);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}
