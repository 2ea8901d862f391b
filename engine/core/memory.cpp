// Tracked memory allocator: every block carries a header recording its owner and size, and all
// live blocks form one list (newest first) so that the library end can report leaks.
#include <cstring>
#include <mutex>

#include "core/memory.h"

#include "core/core.h"
#include "core/core_services.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr size_t kHeaderSize = sizeof(AllocationHeader);
constexpr size_t kGuardedBytes = offsetof(AllocationHeader, guard);
static_assert(kGuardedBytes == sizeof(AllocationHeader::guard), "the guard copies the first half");
constexpr uint32_t kMaxBlockSize = 0xFFFFFFFFu;

struct AllocatorState {
    std::recursive_mutex lock;       // built on first use, never destroyed
    AllocationHeader anchor{};       // the oldest end of the list, never reported
    AllocationHeader* newest = nullptr;
    uint16_t serial = 0;
    int32_t totalSize = 0;
    int32_t blockCount = 0;
    int traceAll = 0;
    int logTotals = 0;
    int checkAlways = 0;
    int64_t traceSize = 0;
};

AllocatorState& State() {
    // Constructed on first use and never destroyed: threads may allocate during process exit.
    static AllocatorState* state = new AllocatorState();
    return *state;
}

void RefreshGuard(AllocationHeader* header) {
    std::memcpy(header->guard, header, kGuardedBytes);
}

void StoreOwner(AllocationHeader* header, const char* sourceName, int line, AllocatorState& s) {
    std::memset(header->sourceName, 0, sizeof header->sourceName);
    if (sourceName != nullptr) {
        size_t length = std::strlen(sourceName);
        const char* tail = length > 15 ? sourceName + (length - 15) : sourceName;
        std::memcpy(header->sourceName, tail, std::strlen(tail));
    }
    header->line = static_cast<uint16_t>(line);
    header->serial = s.serial++;
}

// The trace, totals and check steps that end every operation.
void FinishOperation(const AllocatorState& s, const AllocationHeader* header, const char* label,
                     bool check) {
    if (s.traceSize < 0 || s.traceSize == static_cast<int64_t>(header->size) || s.traceAll) {
        WriteLog(label);
        LogAllocationRecord(header);
    }
    if (s.logTotals) LogAllocationTotals();
    if (check && s.checkAlways) CheckAllocations();
}

void* AllocateLocked(AllocatorState& s, size_t size, const char* sourceName, int line, bool zeroed) {
    if (size > kMaxBlockSize - kHeaderSize) {
        DumpAllocations();
        CheckAllocations();
        return nullptr;
    }
    auto* header = static_cast<AllocationHeader*>(
        V_HeapAlloc(V_GetProcessHeap(), zeroed ? V_HEAP_ZERO_MEMORY : 0, size + kHeaderSize));
    if (header == nullptr) {
        DumpAllocations();
        CheckAllocations();
        return nullptr;
    }
    header->size = static_cast<uint32_t>(size);
    StoreOwner(header, sourceName, line, s);

    AllocationHeader* older = s.newest != nullptr ? s.newest : &s.anchor;
    older->newer = header;
    header->older = older;
    header->newer = nullptr;
    s.newest = header;
    RefreshGuard(header);
    RefreshGuard(older);

    s.totalSize += static_cast<int32_t>(size);
    s.blockCount += 1;
    FinishOperation(s, header, "mem alloc  ", true);
    return reinterpret_cast<unsigned char*>(header) + kHeaderSize;
}

AllocationHeader* HeaderOf(void* memory) {
    return reinterpret_cast<AllocationHeader*>(static_cast<unsigned char*>(memory) - kHeaderSize);
}

}  // namespace

void* AllocateMemory(size_t size, const char* sourceName, int line) {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    return AllocateLocked(s, size, sourceName, line, false);
}

void* AllocateZeroedMemory(size_t size, const char* sourceName, int line) {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    return AllocateLocked(s, size, sourceName, line, true);
}

void FreeMemory(void* memory) {
    if (memory == nullptr) return;
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    AllocationHeader* header = HeaderOf(memory);
    s.totalSize -= static_cast<int32_t>(header->size);
    s.blockCount -= 1;
    if (s.checkAlways) CheckAllocations();

    AllocationHeader* older = header->older;
    AllocationHeader* newer = header->newer;
    if (older != nullptr) older->newer = newer;
    if (newer != nullptr) newer->older = older;
    if (s.newest == header) s.newest = older;
    if (older != nullptr) RefreshGuard(older);
    if (newer != nullptr) RefreshGuard(newer);

    FinishOperation(s, header, "mem free  ", false);
    V_HeapFree(V_GetProcessHeap(), 0, header);
}

void* ReallocateMemory(void* memory, size_t size, const char* sourceName, int line) {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    if (memory == nullptr) return AllocateLocked(s, size, sourceName, line, false);
    if (size > kMaxBlockSize - kHeaderSize) {
        DumpAllocations();
        return nullptr;
    }
    AllocationHeader* old = HeaderOf(memory);
    const bool wasNewest = s.newest == old;
    auto* header = static_cast<AllocationHeader*>(
        V_HeapReAlloc(V_GetProcessHeap(), V_HEAP_ZERO_MEMORY, old, size + kHeaderSize));
    if (header == nullptr) {
        DumpAllocations();
        return nullptr;
    }
    StoreOwner(header, sourceName, line, s);
    if (header->older != nullptr) header->older->newer = header;
    if (header->newer != nullptr) header->newer->older = header;
    if (wasNewest) s.newest = header;
    s.totalSize -= static_cast<int32_t>(header->size);
    s.totalSize += static_cast<int32_t>(size);
    header->size = static_cast<uint32_t>(size);
    RefreshGuard(header);
    if (header->older != nullptr) RefreshGuard(header->older);
    if (header->newer != nullptr) RefreshGuard(header->newer);

    FinishOperation(s, header, "mem realloc  ", true);
    return reinterpret_cast<unsigned char*>(header) + kHeaderSize;
}

int CheckAllocations() {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    for (AllocationHeader* h = s.newest; h != nullptr && h != &s.anchor; h = h->older) {
        if (std::memcmp(h, h->guard, kGuardedBytes) != 0) {
            WriteLog("以下のメモリ確保情報が破損しました");
            LogAllocationRecord(h);
            return -1;
        }
    }
    return 0;
}

void DumpAllocations() {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    WriteLog("\n");
    WriteLog("Alloc memory dump\n");
    for (AllocationHeader* h = s.newest; h != nullptr && h != &s.anchor; h = h->older)
        LogAllocationRecord(h);
    LogAllocationTotals();
    WriteLog("\n");
}

void LogAllocationRecord(const AllocationHeader* header) {
    const auto* data = reinterpret_cast<const unsigned char*>(header) + kHeaderSize;
    const uint32_t shown = header->size < 16 ? header->size : 16;
    char line[512];
    int used = FormatString(line, sizeof line,
                            "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%08llx  data:<",
                            static_cast<int>(header->size), header->size / 1024.0,
                            header->sourceName, header->line, header->serial,
                            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(data)));
    size_t at = static_cast<size_t>(used);
    for (uint32_t i = 0; i < shown; ++i)
        line[at++] = (data[i] < 0x20 || data[i] >= 0x80) ? '.' : static_cast<char>(data[i]);
    if (shown == 0) {
        std::memcpy(line + at, "> ]\n", 5);
    } else {
        std::memcpy(line + at, "> [", 3);
        at += 3;
        for (uint32_t i = 0; i < shown; ++i) at += FormatString(line + at, 4, "%02x ", data[i]);
        std::memcpy(line + at - 1, "]\n", 3);
    }
    WriteLog(line);
}

int LogAllocationTotals() {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    return WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", s.totalSize,
                          s.totalSize / 1024.0, s.blockCount);
}

// Test and diagnostics access to the allocator's settings.
void SetAllocationTraceSize(int64_t size) {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    s.traceSize = size;
}

void GetAllocationTotals(int32_t* totalSize, int32_t* blockCount) {
    AllocatorState& s = State();
    std::lock_guard guard(s.lock);
    *totalSize = s.totalSize;
    *blockCount = s.blockCount;
}
