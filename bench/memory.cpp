// Allocate/free pairs of the tracked allocator against plain malloc/free.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "core/core.h"

static void TrackedAllocFree(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        void* block = AllocateMemory(size, "bench", 1);
        benchmark::DoNotOptimize(block);
        FreeMemory(block);
    }
}
BENCHMARK(TrackedAllocFree)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536);

static void PlainMallocFree(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        void* block = std::malloc(size);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
}
BENCHMARK(PlainMallocFree)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536);

// Many live blocks: freeing from the middle of the list is still constant time.
static void TrackedManyLiveBlocks(benchmark::State& state) {
    std::vector<void*> blocks(1024);
    for (auto _ : state) {
        for (auto& block : blocks) block = AllocateMemory(64, "bench", 1);
        for (size_t i = 0; i < blocks.size(); i += 2) FreeMemory(blocks[i]);
        for (size_t i = 1; i < blocks.size(); i += 2) FreeMemory(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks.size()));
}
BENCHMARK(TrackedManyLiveBlocks);

static void PlainManyLiveBlocks(benchmark::State& state) {
    std::vector<void*> blocks(1024);
    for (auto _ : state) {
        for (auto& block : blocks) block = std::malloc(64);
        for (size_t i = 0; i < blocks.size(); i += 2) std::free(blocks[i]);
        for (size_t i = 1; i < blocks.size(); i += 2) std::free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks.size()));
}
BENCHMARK(PlainManyLiveBlocks);

BENCHMARK_MAIN();
