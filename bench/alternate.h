// Side-by-side comparisons in one process: the library and each other library run a batch of the
// same calls in turn (A B C, A B C, ...) for several rounds, so that load from other work on the
// machine falls on all of them alike. Each comparison is a Google Benchmark whose iterations are
// the rounds; at the end a table gives, per comparison and other library, the ratio of each round
// (other's time / ours: above 1, ours is faster), their median and their spread. The machine load
// and the cores the process may run on are printed first: run it pinned (taskset -c N). Batches
// are timed by the thread's own CPU time, so that the time slices other processes take on a
// loaded machine do not land on one side's batch; the wall-clock medians are printed beside.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

#include "platform/kernel/kernel.h"

namespace alternate {

// Makes `calls` calls of one contender.
using Batch = std::function<void(int64_t calls)>;

struct Contender {
    std::string name;
    Batch run;
};

struct Result {
    std::string name;
    std::string oursName;
    double oursNanoseconds = 0;             // per call, median over the rounds (CPU time)
    double oursWallNanoseconds = 0;         // the same by the wall clock
    std::vector<std::string> others;
    std::vector<std::vector<double>> ratios;  // per other, per round
    std::vector<double> othersNanoseconds;    // per call, median over the rounds (CPU time)
    std::vector<double> othersWallNanoseconds;
};

inline std::vector<Result>& Results() {
    static std::vector<Result> results;
    return results;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The platform's performance counter in seconds.
inline double Now() {
    static const double period = [] {
        V_LARGE_INTEGER frequency;
        V_QueryPerformanceFrequency(&frequency);
        return 1.0 / static_cast<double>(frequency.QuadPart);
    }();
    V_LARGE_INTEGER counter;
    V_QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * period;
}

// The CPU time this thread has used, in seconds.
inline double ThreadCpu() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
    double cpu;
    double wall;
};

inline Timing Measure(const Batch& run, int64_t calls) {
    double wall = Now();
    double cpu = ThreadCpu();
    run(calls);
    return {ThreadCpu() - cpu, Now() - wall};
}

inline double Seconds(const Batch& run, int64_t calls) {
    return Measure(run, calls).cpu;
}

// The first line of a file, or "?".
inline std::string FirstLine(const char* path, const char* prefix = "") {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return line;
    return "?";
}

// The load average and the cores this process may use, as `uptime` and taskset report them.
inline void PrintMachine() {
    std::printf("load average: %s\n", FirstLine("/proc/loadavg").c_str());
    std::printf("%s\n", FirstLine("/proc/self/status", "Cpus_allowed_list").c_str());
}

// Runs one round per iteration of the state: a batch of each contender in turn, ours first. The
// batch is sized so that ours takes about `roundSeconds`; every contender makes the same calls.
inline void Compare(benchmark::State& state, const std::string& name, const Contender& ours,
                    const std::vector<Contender>& others, double roundSeconds = 0.004) {
    // Warm every contender (caches, first-call set-up), then size the batch on ours.
    ours.run(1);
    for (const Contender& other : others) other.run(1);
    int64_t calls = 1;
    // Sized by CPU time, as the rounds are timed.
    while (calls < (int64_t{1} << 30)) {
        double t = Seconds(ours.run, calls);
        if (t >= roundSeconds / 4) {
            calls = std::max<int64_t>(1, static_cast<int64_t>(calls * roundSeconds / t));
            break;
        }
        calls *= 4;
    }
    Result result;
    result.name = name;
    result.oursName = ours.name;
    result.ratios.resize(others.size());
    std::vector<double> oursTimes, oursWall;
    std::vector<std::vector<double>> otherTimes(others.size()), otherWall(others.size());
    for (auto _ : state) {
        Timing mine = Measure(ours.run, calls);
        oursTimes.push_back(mine.cpu);
        oursWall.push_back(mine.wall);
        for (size_t i = 0; i < others.size(); ++i) {
            Timing theirs = Measure(others[i].run, calls);
            otherTimes[i].push_back(theirs.cpu);
            otherWall[i].push_back(theirs.wall);
            result.ratios[i].push_back(theirs.cpu / mine.cpu);
        }
        state.SetIterationTime(mine.cpu);
    }
    const double perCall = 1e9 / static_cast<double>(calls);
    result.oursNanoseconds = Median(oursTimes) * perCall;
    result.oursWallNanoseconds = Median(oursWall) * perCall;
    state.counters[ours.name + "_ns"] = result.oursNanoseconds;
    for (size_t i = 0; i < others.size(); ++i) {
        result.others.push_back(others[i].name);
        result.othersNanoseconds.push_back(Median(otherTimes[i]) * perCall);
        result.othersWallNanoseconds.push_back(Median(otherWall[i]) * perCall);
        state.counters[others[i].name + "_ns"] = result.othersNanoseconds.back();
        state.counters[others[i].name + "/" + ours.name] = Median(result.ratios[i]);
    }
    state.counters["calls_per_round"] = static_cast<double>(calls);
    Results().push_back(std::move(result));
}

// Registers a comparison of `rounds` rounds under the name.
template <class F>
benchmark::internal::Benchmark* Register(const std::string& name, int rounds, F&& body) {
    return benchmark::RegisterBenchmark(name.c_str(),
                                        [name, body](benchmark::State& state) { body(state, name); })
        ->Iterations(rounds)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

// The table of ratios: per comparison and other library, the median, the least and greatest
// round, then every round.
inline void PrintRatios() {
    std::printf("\nRatios per round: other library's time / ours (above 1: ours is faster)\n");
    PrintMachine();
    std::printf("(ns per call: thread CPU time, then wall clock; ratios from CPU time)\n");
    std::printf("%-26s %-7s %10s %10s %10s %10s %7s %6s %6s  rounds\n", "comparison", "other", "ours ns",
                "other ns", "ours wall", "other wall", "median", "min", "max");
    for (const Result& r : Results()) {
        for (size_t i = 0; i < r.others.size(); ++i) {
            const std::vector<double>& ratios = r.ratios[i];
            if (ratios.empty()) continue;
            auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
            std::printf("%-26s %-7s %10.1f %10.1f %10.1f %10.1f %7.2f %6.2f %6.2f ", r.name.c_str(),
                        r.others[i].c_str(), r.oursNanoseconds, r.othersNanoseconds[i],
                        r.oursWallNanoseconds, r.othersWallNanoseconds[i], Median(ratios), *low, *high);
            for (double ratio : ratios) std::printf(" %.2f", ratio);
            std::printf("%s\n", Median(ratios) < 1.0 ? "  (ours slower)" : "");
        }
    }
    // Per group (the name up to its first '/') and other: the median of the comparisons' medians.
    std::vector<std::pair<std::string, std::vector<double>>> groups;
    for (const Result& r : Results()) {
        for (size_t i = 0; i < r.others.size(); ++i) {
            if (r.ratios[i].empty()) continue;
            std::string group = r.name.substr(0, r.name.find('/')) + " " + r.others[i];
            auto found = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == group; });
            if (found == groups.end()) found = groups.insert(groups.end(), {group, {}});
            found->second.push_back(Median(r.ratios[i]));
        }
    }
    for (const auto& [group, medians] : groups) {
        auto [low, high] = std::minmax_element(medians.begin(), medians.end());
        std::printf("%s: median of %zu medians %.2f (least %.2f, greatest %.2f)\n", group.c_str(), medians.size(),
                    Median(medians), *low, *high);
    }
}

// main() of a comparison program: the machine first, the benchmarks, then the ratio table.
inline int Main(int argc, char** argv, const std::function<void()>& registerAll) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrintMachine();
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
    benchmark::Shutdown();
    return 0;
}

} // namespace alternate
